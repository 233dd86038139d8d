// ravelin show FILE OBJECT | --snapshot FILE.MDBSNP OBJECT: runs the scan,
// then shows what a click on OBJECT in the object tree shows: a page of a
// table's records, the definition text of a view, procedure, function,
// trigger, default or constraint, or a key or check constraint's script.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "cli/command_line_run.h"
#include "cli/commands.h"
#include "cli/tsv.h"
#include "recovery/selection_commands.h"
#include "recovery/tree_lookup.h"

namespace ravelin {
namespace {

struct ShowOptions {
  RunOptions run;
  std::string object;
  int page = 1;
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
void PrintRecords(const RecordsPanelModel& panel) {
  std::string out = panel.recordsLabel + "\n" + panel.caption + "\n\n";
  const size_t count = panel.columns.size();
  AppendTsvLine(out, panel.columns, count);
  for (const std::vector<std::string>& row : panel.rows) {
    AppendTsvLine(out, row, count);
    if (out.size() > (1u << 16)) {
      std::fwrite(out.data(), 1, out.size(), Cli().out);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), Cli().out);
}

int RunShow(ShowOptions options) {
  // With --snapshot the only positional argument is the object.
  if (!options.run.snapshot.empty() && options.object.empty()) std::swap(options.object, options.run.file);
  if (options.object.empty()) {
    std::fprintf(Cli().err, "Name the object to show.\n");
    return 1;
  }
  CommandLineRun run(options.run, false);
  if (int failed = run.Scan()) return failed;
  RecoveryState& state = run.state();
  JobRunner& runner = run.runner();

  TreeItem item = kNoTreeItem;
  runner.RunInline([&] { item = FindTreeItem(state, options.object); });
  if (item == kNoTreeItem) {
    std::fprintf(Cli().err, "%s is not in the object tree of the database.\n", options.object.c_str());
    return 1;
  }

  SelectionCommands commands(runner, state, run.sink());
  const std::string refusal = commands.Select(item);
  runner.Wait();
  CommandLineFrontEnd& panel = run.frontEnd();
  panel.Finish();
  if (!refusal.empty()) {
    std::fprintf(Cli().err, "%s\n", refusal.c_str());
    return 1;
  }

  if (!panel.recordsPanelShown) {
    if (options.page != 1) {
      std::fprintf(Cli().err, "%s is not a table: it has no pages of records.\n", options.object.c_str());
      return 1;
    }
    const std::string& text = panel.definitionText;
    if (text.empty()) {
      std::fprintf(Cli().err, "Nothing to show for %s: it has no definition text or script.\n", options.object.c_str());
      return 1;
    }
    std::fwrite(text.data(), 1, text.size(), Cli().out);
    if (text.back() != '\n') std::fputc('\n', Cli().out);
    return std::fflush(Cli().out) == 0 ? 0 : 1;
  }

  for (int page = 2; page <= options.page; ++page) {
    const int32_t before = state.paging.pageNumber;
    commands.NextRecords();
    runner.Wait();
    panel.Finish();
    if (state.paging.pageNumber == before) {
      std::fprintf(Cli().err, "%s has %d page%s of records.\n", options.object.c_str(), before, before == 1 ? "" : "s");
      return 1;
    }
  }
  PrintRecords(panel);
  return std::fflush(Cli().out) == 0 ? 0 : 1;
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
      "the scan fails, OBJECT is not found, or there is nothing to show.");
  cmd->add_option("FILE", options->run.file, "Primary data file (.mdf); left out with --snapshot");
  cmd->add_option("OBJECT", options->object, "The tree item to show");
  AddRunOptions(cmd, options->run);
  cmd->add_option("--page", options->page, "The page of records to show (Next Records pressed N-1 times)")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  cmd->callback([options, &exitCode] { exitCode = RunShow(*options); });
}

}  // namespace ravelin
