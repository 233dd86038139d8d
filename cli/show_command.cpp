// ravelin show FILE OBJECT | --snapshot FILE.MDBSNP OBJECT: runs the scan,
// then shows what a click on OBJECT in the object tree shows: a page of a
// table's records, the definition text of a view, procedure, function,
// trigger, default or constraint, or a key or check constraint's script.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "cli/command_line_run.h"
#include "cli/command_options.h"
#include "cli/commands.h"
#include "cli/name_lookup.h"
#include "cli/output.h"
#include "cli/tsv.h"
#include "recovery/selection_commands.h"
#include "recovery/tree_lookup.h"

namespace ravelin {
namespace {

struct ShowOptions {
  RunOptions run;
  std::string object;
  int64_t page = 1;
};

void AppendTsvLine(std::string& out, const std::vector<std::string>& fields, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) out += '\t';
    if (i < fields.size()) AppendTsvField(out, fields[i]);
  }
  out += '\n';
}

// The pager label, the caption, an empty line, then the list: its column
// headers and its rows, tab-separated.
void PrintRecords(Output& out, const RecordsPanelModel& panel) {
  out.Write(panel.recordsLabel + "\n" + panel.caption + "\n\n");
  const size_t count = panel.columns.size();
  AppendTsvLine(out.buffer(), panel.columns, count);
  for (const std::vector<std::string>& row : panel.rows) {
    AppendTsvLine(out.buffer(), row, count);
    out.MaybeFlush();
  }
}

// The labels of the items the tree shows (objects, categories, columns),
// each as a name that may carry a schema.
void CollectLabels(const ObjectTree& tree, TreeItem item, std::vector<std::string>& labels) {
  for (TreeItem child : tree.Children(item)) {
    labels.push_back(tree.Label(child));
    CollectLabels(tree, child, labels);
  }
}

// The item a name that no label matches exactly stands for: the same name
// in another case, in brackets or quotes, or without its schema; or a
// message with the candidates or the closest labels.
TreeItem FindByName(RecoveryState& state, const std::string& typed, std::string& message) {
  std::vector<std::string> labels;
  CollectLabels(state.tree, kNoTreeItem, labels);
  std::sort(labels.begin(), labels.end());
  labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
  std::vector<NameCandidate> candidates;
  for (size_t i = 0; i < labels.size(); ++i) {
    const size_t dot = labels[i].find('.');
    if (dot != std::string::npos && dot > 0)
      candidates.push_back({labels[i].substr(0, dot), labels[i].substr(dot + 1), i});
    else
      candidates.push_back({"", labels[i], i});
  }
  const NameMatch match = MatchName(candidates, typed);
  if (match.found) return FindTreeItem(state, labels[match.index]);
  message = (match.ambiguous.empty() ? typed + " is not in the object tree of the database."
                                     : "More than one item of the object tree is named " + typed + ".");
  if (const std::string hint = SuggestionText(match); !hint.empty()) message += " " + hint;
  return kNoTreeItem;
}

int RunShow(ShowOptions options) {
  // With --snapshot the only positional argument is the object.
  if (!options.run.snapshot.empty() && options.object.empty()) std::swap(options.object, options.run.file);
  if (options.object.empty()) {
    std::fprintf(Cli().err, "ravelin: name the object to show\n");
    return kExitUsage;
  }
  CommandLineRun run(options.run, false);
  if (int failed = run.Scan()) return failed;
  RecoveryState& state = run.state();
  JobRunner& runner = run.runner();
  TerminalSink& terminal = run.terminal();
  Output out(&terminal);

  TreeItem item = kNoTreeItem;
  std::string missing;
  runner.RunInline([&] {
    item = FindTreeItem(state, options.object);
    if (item == kNoTreeItem && options.object.find('/') == std::string::npos)
      item = FindByName(state, options.object, missing);
  });
  if (item == kNoTreeItem) {
    terminal.Error(missing.empty() ? options.object + " is not in the object tree of the database." : missing);
    return kExitFailure;
  }

  SelectionCommands commands(runner, state, run.sink());
  const std::string refusal = commands.Select(item);
  runner.Wait();
  CommandLineFrontEnd& panel = run.frontEnd();
  panel.Finish();
  if (!refusal.empty()) {
    terminal.Error(refusal);
    return kExitFailure;
  }

  if (!panel.recordsPanelShown) {
    if (options.page != 1) {
      terminal.Error(options.object + " is not a table: it has no pages of records.");
      return kExitFailure;
    }
    const std::string& text = panel.definitionText;
    if (text.empty()) {
      terminal.Error("Nothing to show for " + options.object + ": it has no definition text or script.");
      return kExitFailure;
    }
    out.Write(text);
    if (text.back() != '\n') out.Write("\n");
    return FinishCommand(out, &terminal, kExitOk);
  }

  for (int64_t page = 2; page <= options.page; ++page) {
    const int32_t before = state.paging.pageNumber;
    commands.NextRecords();
    runner.Wait();
    panel.Finish();
    if (state.paging.pageNumber == before) {
      terminal.Error(options.object + " has " + std::to_string(before) + " page" + (before == 1 ? "" : "s") +
                     " of records.");
      return kExitFailure;
    }
  }
  PrintRecords(out, panel);
  return FinishCommand(out, &terminal, kExitOk);
}

}  // namespace

void AddShowCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ShowOptions>();
  CLI::App* cmd = app.add_subcommand(
      "show",
      "Run a recovery scan, then show what a click on OBJECT in the object tree shows. A table: one page of its "
      "records (1000 rows a page), printed as the pager label, the caption, an empty line, then the list's column "
      "headers and rows tab-separated (\\\\, \\t, \\n, \\r escaped). A view, procedure, function, trigger, default "
      "or constraint: its definition text; a primary key, unique key or check constraint under a table: its "
      "script. OBJECT is a label of the tree (dbo.Orders, PK_Orders) or a path of labels joined by '/' "
      "(dbo.Orders/Constraint/CK_Orders_Qty); in the 2000 layout an owner prefix may be given. Exit code 1 when "
      "the scan fails, OBJECT is not found, or there is nothing to show; 3 when something was left out (a warning says "
      "what).");
  cmd->add_option("FILE", options->run.file, "Primary data file (.mdf); left out with --snapshot");
  cmd->add_option("OBJECT", options->object, "The tree item to show");
  AddRunOptions(cmd, options->run);
  AddCountOption(cmd, "--page", options->page,
                 "The page of records to show (Next Records pressed N-1 times; default 1)", 1);
  cmd->callback([options, &exitCode] { exitCode = RunShow(*options); });
}

}  // namespace ravelin
