// ravelin info FILE [--json]: geometry and page maps of a data file.

#include <cstdio>
#include <memory>
#include <string>

#include "catalog/opened_database.h"
#include "cli/cli_context.h"
#include "cli/commands.h"
#include "cli/file_table.h"
#include "cli/json_writer.h"
#include "cli/output.h"
#include "cli/terminal_sink.h"
#include "recovery/recovery_settings.h"
#include "recovery/scan_driver.h"

namespace ravelin {
namespace {

struct InfoOptions {
  std::string file;
  bool json = false;
  bool quiet = false;
};

uint64_t CountEntries(const PageMap& map) {
  uint64_t n = 0;
  for (const auto& [id, entries] : map) n += entries.size();
  return n;
}

int RunInfo(const InfoOptions& options) {
  const CollationTable collations = LoadCollationTable(ExecutableFolder() + "collation.txt");
  TerminalSink sink(options.quiet, false);
  sink.SetDataFile(options.file, *Cli().env);
  Output out(&sink);
  OpenRequest request;
  request.path = options.file;
  request.env = Cli().env;
  request.collations = &collations;
  request.loadCatalog = false;
  std::unique_ptr<OpenedDatabase> opened = OpenedDatabase::Open(request, sink, StopToken());
  sink.Finish();
  if (!opened) return kExitFailure;
  const CDatabaseFile& db = opened->file();
  const BootInfo boot = opened->boot().value_or(BootInfo());
  const std::vector<FileEntry> files = FileTableOf(*opened);
  const std::string versionName = opened->boot() ? VersionName(boot.version) : std::string();
  const std::string versionText = versionName.empty() ? "Unknown SQL Version" : versionName;
  const CollationContext& collation = opened->collation();
  const std::string collationName = collation.name.empty() ? kTextUnknownCollation : collation.name;
  const uint64_t systemPages = CountEntries(db.systemPageMap);
  const uint64_t dataPages = CountEntries(db.dataPageMap);
  const uint64_t iamPages = CountEntries(db.iamPageMap);
  if (options.json) {
    JsonWriter json;
    json.BeginObject()
        .Key("fileSize")
        .UInt(db.fileSize)
        .Key("pageCount")
        .UInt(db.pageCount)
        .Key("startOffset")
        .UInt(db.startOffset)
        .Key("systemPages")
        .UInt(systemPages)
        .Key("dataPages")
        .UInt(dataPages)
        .Key("iamPages")
        .UInt(iamPages)
        .Key("databaseName")
        .String(boot.databaseName)
        .Key("versionNumber")
        .UInt(boot.version)
        .Key("versionText")
        .String(versionText)
        .Key("collationId")
        .Int(boot.collationId)
        .Key("collationName")
        .String(collationName)
        .Key("codePage")
        .Int(collation.codePage);
    json.Key("files").BeginArray();
    for (const FileEntry& f : files) {
      json.BeginObject()
          .Key("id")
          .Int(f.recorded.fileId)
          .Key("logicalName")
          .String(f.recorded.logicalName)
          .Key("physicalName")
          .String(f.recorded.physicalName)
          .Key("pageCount")
          .UInt(f.pageCount)
          .EndObject();
    }
    json.EndArray().Key("warnings").BeginArray();
    for (const std::string& warning : sink.warnings()) json.String(warning);
    json.EndArray().EndObject();
    out.Line(json.str());
    return FinishCommand(out, &sink, kExitOk);
  }
  out.Printf("File:          %s\n", db.path.c_str());
  out.Printf("Database:      %s\n", boot.databaseName.c_str());
  out.Printf("Version:       %u (%s)\n", boot.version, versionText.c_str());
  out.Printf("Collation:     %s (id %d, code page %d)\n", collationName.c_str(), boot.collationId, collation.codePage);
  out.Printf("File size:     %llu bytes\n", static_cast<unsigned long long>(db.fileSize));
  out.Printf("Pages:         %llu\n", static_cast<unsigned long long>(db.pageCount));
  out.Printf("Start offset:  %llu\n", static_cast<unsigned long long>(db.startOffset));
  out.Printf("System pages:  %llu in %zu objects\n", static_cast<unsigned long long>(systemPages),
             db.systemPageMap.size());
  out.Printf("Data pages:    %llu in %zu objects\n", static_cast<unsigned long long>(dataPages), db.dataPageMap.size());
  out.Printf("IAM pages:     %llu in %zu objects\n", static_cast<unsigned long long>(iamPages), db.iamPageMap.size());
  for (const FileEntry& f : files)
    out.Printf("File %d:        %s  %s  (%llu pages)\n", f.recorded.fileId, f.recorded.logicalName.c_str(),
               f.recorded.physicalName.c_str(), static_cast<unsigned long long>(f.pageCount));
  return FinishCommand(out, &sink, kExitOk);
}

}  // namespace

void AddInfoCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* cmd = app.add_subcommand("info", "Show the geometry, page maps and boot page of a data file");
  cmd->add_option("FILE", options->file, "Primary data file (.mdf)")->required();
  cmd->add_flag("--json", options->json, "Print one JSON object");
  cmd->add_flag("--quiet", options->quiet, "No status texts or progress bar");
  cmd->callback([options, &exitCode] { exitCode = RunInfo(*options); });
}

}  // namespace ravelin
