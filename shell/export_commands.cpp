#include "shell/export_commands.h"

namespace ravelin {
namespace {

// Until the export module is linked in, every kind says so.
ExportOutcome NotAvailable(const char* command) {
  return {false, std::string(command) + " is not available in this build."};
}

}  // namespace

// --- The export module's entry points -------------------------------------

ExportOutcome ExportSqlScript(RecoveryState&, ProgressSink&, const ExportRequest&) {
  return NotAvailable("Save SQL Data");
}

ExportOutcome ExportCsvFolder(RecoveryState&, ProgressSink&, const ExportRequest&) {
  return NotAvailable("Save Records Data");
}

ExportOutcome ExportCsvTable(RecoveryState&, ProgressSink&, const ExportRequest&) { return NotAvailable("Save Table"); }

ExportOutcome ExportSqliteDatabase(RecoveryState&, ProgressSink&, const ExportRequest&) {
  return NotAvailable("Save as SQLite database");
}

// ---------------------------------------------------------------------------

ExportOutcome RunExport(RecoveryState& state, ProgressSink& sink, const ExportRequest& request) {
  switch (request.kind) {
    case ExportKind::kSqlScript:
      return ExportSqlScript(state, sink, request);
    case ExportKind::kCsvFolder:
      return ExportCsvFolder(state, sink, request);
    case ExportKind::kCsvTable:
      return ExportCsvTable(state, sink, request);
    case ExportKind::kSqlite:
      return ExportSqliteDatabase(state, sink, request);
  }
  return {};
}

}  // namespace ravelin
