// The desktop's four export commands, run through the export driver with
// the loaded database and the options it was opened with.

#include "shell/export_commands.h"

#include <memory>

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "export/csv_writer.h"
#include "export/export_driver.h"
#include "export/output_file.h"
#include "export/script_writer.h"
#include "export/sqlite_writer.h"

#ifndef RAVELIN_VERSION
#define RAVELIN_VERSION "unknown"
#endif

namespace ravelin {
namespace {

// "Save SQL Data", ...: the command's own name, for its messages.
const char* CommandName(ExportKind kind) {
  switch (kind) {
    case ExportKind::kSqlScript:
      return "Save SQL Data";
    case ExportKind::kCsvFolder:
      return "Save Records Data";
    case ExportKind::kCsvTable:
      return "Save Table";
    case ExportKind::kSqlite:
      return "Save as SQLite database";
  }
  return "Export";
}

std::unique_ptr<ExportWriter> WriterFor(const ExportRequest& request) {
  // The user confirmed the file dialog's own question about replacing a
  // file, so an existing output is replaced.
  const ExportOutput output{request.outputPath, true};
  switch (request.kind) {
    case ExportKind::kSqlScript:
      return std::make_unique<ScriptWriter>(output);
    case ExportKind::kCsvFolder:
      return std::make_unique<CsvWriter>(output);
    case ExportKind::kCsvTable:
      return std::make_unique<CsvWriter>(output, CsvWriter::Layout::kSingleFile);
    case ExportKind::kSqlite:
      return std::make_unique<SqliteWriter>(output);
  }
  return nullptr;
}

// The catalog indexes of the tables named as the object tree labels them;
// false when one is not in the catalog.
bool FindTables(const SystemCatalog& catalog, const std::vector<std::string>& labels, std::vector<size_t>& out,
                std::string& missing) {
  for (const std::string& label : labels) {
    bool found = false;
    for (size_t i = 0; i < catalog.objects.size() && !found; ++i) {
      if (catalog.objects[i].name == label && IsTableTypeCode(catalog.objects[i].typeCode)) {
        out.push_back(i);
        found = true;
      }
    }
    if (!found) {
      missing = label;
      return false;
    }
  }
  return true;
}

std::string Plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

ExportOutcome Run(RecoveryState& state, ProgressSink& sink, const ExportRequest& request) {
  const std::string command = CommandName(request.kind);
  const OpenedDatabase* db = state.database();
  if (!db || !db->catalog()) return {false, command + ": no database is loaded."};
  ExportJob job;
  job.sourceFile = state.settings().dataFilePath.empty() ? db->file().path : state.settings().dataFilePath;
  job.programVersion = std::string("ravelin ") + RAVELIN_VERSION;
  // Every user table, in the order `ravelin export` writes them, unless the
  // command names its table.
  if (request.kind == ExportKind::kCsvTable) {
    std::string missing;
    if (request.tables.empty() || !FindTables(*db->catalog(), request.tables, job.tables, missing))
      return {false, command + ": the table " + missing + " is not in the catalog."};
  }
  std::unique_ptr<ExportWriter> writer = WriterFor(request);
  const ExportResult result = RunExportJob(*db, *writer, job, sink, StopToken(state.settings().stopRequested));
  if (!result.ok) return {false, command + " failed: " + result.error};
  const ExportSummary& summary = result.summary;
  if (summary.stopped) {
    if (request.kind == ExportKind::kSqlite && !summary.tables.empty())
      return {true, command + " was stopped: " + request.outputPath + " holds the " +
                        Plural(summary.tables.size(), "table", "tables") + " completed before the stop."};
    return {false, command + " was stopped: nothing was written."};
  }
  std::string message = command + ": " + Plural(summary.tables.size(), "table", "tables") + " and " +
                        Plural(summary.TotalRows(), "row", "rows") + " written to " + request.outputPath + ".";
  if (summary.unreadableValues > 0)
    message += " " + Plural(summary.unreadableValues, "value", "values") + " could not be read.";
  if (!summary.skipped.empty())
    message += " " + Plural(summary.skipped.size(), "table was", "tables were") + " skipped.";
  return {true, message};
}

}  // namespace

ExportOutcome ExportSqlScript(RecoveryState& state, ProgressSink& sink, const ExportRequest& request) {
  ExportRequest r = request;
  r.kind = ExportKind::kSqlScript;
  return Run(state, sink, r);
}

ExportOutcome ExportCsvFolder(RecoveryState& state, ProgressSink& sink, const ExportRequest& request) {
  ExportRequest r = request;
  r.kind = ExportKind::kCsvFolder;
  return Run(state, sink, r);
}

ExportOutcome ExportCsvTable(RecoveryState& state, ProgressSink& sink, const ExportRequest& request) {
  ExportRequest r = request;
  r.kind = ExportKind::kCsvTable;
  return Run(state, sink, r);
}

ExportOutcome ExportSqliteDatabase(RecoveryState& state, ProgressSink& sink, const ExportRequest& request) {
  ExportRequest r = request;
  r.kind = ExportKind::kSqlite;
  return Run(state, sink, r);
}

ExportOutcome RunExport(RecoveryState& state, ProgressSink& sink, const ExportRequest& request) {
  return Run(state, sink, request);
}

}  // namespace ravelin
