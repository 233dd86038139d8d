// ravelin info FILE [--json]: geometry and page maps of a data file.

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/file_table.h"
#include "cli/json_writer.h"
#include "cli/terminal_sink.h"
#include "recovery/recovery_settings.h"
#include "recovery/scan_driver.h"
#include "storage/database_file.h"

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
  RecoverySettings settings;
  settings.collationTable = LoadCollationTable(ExecutableFolder() + "collation.txt");
  TerminalSink sink(options.quiet, false);
  CDatabaseFile db(options.file, sink, settings);
  sink.Finish();
  if (!db.isOpen) return 1;

  db.LoadDatabaseName();
  const std::vector<FileEntry> files = ReadFileTable(db);
  const std::string versionText = db.bootPageRead ? settings.versionText : "Unknown SQL Version";
  const std::string collationName = settings.collationName.empty() ? kTextUnknownCollation : settings.collationName;
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
        .String(db.databaseName)
        .Key("versionNumber")
        .UInt(db.databaseVersion)
        .Key("versionText")
        .String(versionText)
        .Key("collationId")
        .Int(db.databaseCollationId)
        .Key("collationName")
        .String(collationName)
        .Key("codePage")
        .Int(settings.codePage);
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
    json.EndArray().EndObject();
    std::printf("%s\n", json.str().c_str());
    return 0;
  }
  std::printf("File:          %s\n", db.path.c_str());
  std::printf("Database:      %s\n", db.databaseName.c_str());
  std::printf("Version:       %u (%s)\n", db.databaseVersion, versionText.c_str());
  std::printf("Collation:     %s (id %d, code page %d)\n", collationName.c_str(), db.databaseCollationId,
              settings.codePage);
  std::printf("File size:     %llu bytes\n", static_cast<unsigned long long>(db.fileSize));
  std::printf("Pages:         %llu\n", static_cast<unsigned long long>(db.pageCount));
  std::printf("Start offset:  %llu\n", static_cast<unsigned long long>(db.startOffset));
  std::printf("System pages:  %llu in %zu objects\n", static_cast<unsigned long long>(systemPages),
              db.systemPageMap.size());
  std::printf("Data pages:    %llu in %zu objects\n", static_cast<unsigned long long>(dataPages),
              db.dataPageMap.size());
  std::printf("IAM pages:     %llu in %zu objects\n", static_cast<unsigned long long>(iamPages), db.iamPageMap.size());
  for (const FileEntry& f : files)
    std::printf("File %d:        %s  %s  (%llu pages)\n", f.recorded.fileId, f.recorded.logicalName.c_str(),
                f.recorded.physicalName.c_str(), static_cast<unsigned long long>(f.pageCount));
  return 0;
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
