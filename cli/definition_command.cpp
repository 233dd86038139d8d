// ravelin definition FILE NAME: the definition text of one view, procedure,
// function, trigger, default or constraint, exactly as the database holds
// it, for scripts.

#include <cstdio>
#include <memory>
#include <string>

#include "catalog/object_names.h"
#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "cli/cli_context.h"
#include "cli/commands.h"
#include "cli/name_lookup.h"
#include "cli/output.h"
#include "cli/terminal_sink.h"
#include "recovery/object_selection.h"
#include "recovery/records_panel_model.h"
#include "recovery/recovery_settings.h"
#include "recovery/recovery_state.h"

namespace ravelin {
namespace {

struct DefinitionOptions {
  std::string file;
  std::string name;
  bool quiet = false;
};

int RunDefinition(const DefinitionOptions& o) {
  RecoverySettings settings;
  settings.collationTable = LoadCollationTable(ExecutableFolder() + "collation.txt");
  TerminalSink sink(o.quiet, false);
  sink.SetDataFile(o.file, *Cli().env);
  Output out(&sink);
  RecordsPanelModel view;
  RecoveryState state(settings, view);
  OpenRequest request = OpenRequestFor(settings, o.file);
  request.env = Cli().env;
  std::unique_ptr<OpenedDatabase> db = OpenedDatabase::Open(request, sink, StopToken());
  if (!db) {
    sink.Finish();
    return kExitFailure;
  }
  state.SetDatabase(std::move(db));
  const SystemCatalog& catalog = *state.catalog();
  const ObjectNames names(catalog);
  std::vector<NameCandidate> candidates;
  for (size_t i = 0; i < catalog.objects.size(); ++i) {
    const ObjectRow& row = catalog.objects[i];
    if (!IsTableTypeCode(row.typeCode) && !row.name.empty())
      candidates.push_back({names.Schema(row), names.Bare(row), i});
  }
  const NameMatch match = MatchName(candidates, o.name);
  std::optional<std::string> text;
  if (match.found) text = ObjectDefinition(state, sink, catalog.objects[match.index].name);
  sink.Finish();
  if (!text) {
    std::string message =
        "No view, procedure, function, trigger, default or constraint named " + o.name + " in " + o.file + ".";
    if (match.found) message = o.name + " is no view, procedure, function, trigger, default or constraint.";
    if (!match.ambiguous.empty()) message = "More than one object is named " + o.name + " in " + o.file + ".";
    if (const std::string hint = SuggestionText(match); !hint.empty()) message += " " + hint;
    sink.Error(message);
    return kExitFailure;
  }
  if (text->empty()) {
    sink.Error(o.name + " has no definition text in " + o.file +
               ": none of the definition rows that could be read is its.");
    return kExitFailure;
  }
  out.Write(*text);
  return FinishCommand(out, &sink, kExitOk);
}

}  // namespace

void AddDefinitionCommand(CLI::App& app, int& exitCode) {
  auto o = std::make_shared<DefinitionOptions>();
  CLI::App* cmd = app.add_subcommand(
      "definition",
      "Print the definition text of a view, procedure, function, trigger, default or constraint exactly as stored "
      "(line breaks as they are, no newline added). Exit code 1 when there is none.");
  cmd->add_option("FILE", o->file, "Primary data file (.mdf)")->required();
  cmd->add_option("NAME", o->name,
                  "Object name, with or without its schema, in any case: dbo.CustOrderHist, [dbo].[Sales by Year]")
      ->required();
  cmd->add_flag("--quiet", o->quiet, "No status texts or progress bar");
  cmd->callback([o, &exitCode] { exitCode = RunDefinition(*o); });
}

}  // namespace ravelin
