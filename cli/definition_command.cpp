// ravelin definition FILE NAME: the definition text of one view, procedure,
// function, trigger, default or constraint, exactly as the database holds
// it, for scripts.

#include <cstdio>
#include <memory>
#include <string>

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "cli/cli_context.h"
#include "cli/commands.h"
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

// The name the catalog knows the object `name` by. The 2000 layout names
// objects without their owner: "dbo.CustOrderHist" then finds
// "CustOrderHist" when no object has the full name.
std::string CatalogName(const SystemCatalog& catalog, const std::string& name) {
  for (const ObjectRow& row : catalog.objects)
    if (row.name == name && !IsTableTypeCode(row.typeCode)) return name;
  const size_t dot = name.find('.');
  if (!catalog.IsSql2000() || dot == std::string::npos) return name;
  return name.substr(dot + 1);
}

int RunDefinition(const DefinitionOptions& o) {
  RecoverySettings settings;
  settings.collationTable = LoadCollationTable(ExecutableFolder() + "collation.txt");
  TerminalSink sink(o.quiet, false);
  RecordsPanelModel view;
  RecoveryState state(settings, view);
  OpenRequest request = OpenRequestFor(settings, o.file);
  request.env = Cli().env;
  std::unique_ptr<OpenedDatabase> db = OpenedDatabase::Open(request, sink, StopToken());
  if (!db) {
    sink.Finish();
    return 1;
  }
  state.SetDatabase(std::move(db));
  const std::string name = CatalogName(*state.catalog(), o.name);
  const std::optional<std::string> text = ObjectDefinition(state, sink, name);
  sink.Finish();
  if (!text) {
    std::fprintf(Cli().err, "No view, procedure, function, trigger, default or constraint named %s in %s.\n",
                 o.name.c_str(), o.file.c_str());
    return 1;
  }
  if (text->empty()) {
    std::fprintf(Cli().err, "%s has no definition text in %s: none of the definition rows that could be read is its.\n",
                 o.name.c_str(), o.file.c_str());
    return 1;
  }
  std::fwrite(text->data(), 1, text->size(), Cli().out);
  return std::fflush(Cli().out) == 0 ? 0 : 1;
}

}  // namespace

void AddDefinitionCommand(CLI::App& app, int& exitCode) {
  auto o = std::make_shared<DefinitionOptions>();
  CLI::App* cmd = app.add_subcommand(
      "definition",
      "Print the definition text of a view, procedure, function, trigger, default or constraint exactly as stored "
      "(line breaks as they are, no newline added). Exit code 1 when there is none.");
  cmd->add_option("FILE", o->file, "Primary data file (.mdf)")->required();
  cmd->add_option("NAME", o->name, "Object name with its schema, e.g. dbo.CustOrderHist")->required();
  cmd->add_flag("--quiet", o->quiet, "No status texts or progress bar");
  cmd->callback([o, &exitCode] { exitCode = RunDefinition(*o); });
}

}  // namespace ravelin
