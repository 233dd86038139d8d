// The four export commands' work, as the desktop hands it to the export
// module: which kind, where to, and which tables. The commands themselves
// (refusals, file dialogs, the worker, progress and Stop) live in the main
// window; this file is the one place that calls the export module.

#ifndef RAVELIN_SHELL_EXPORT_COMMANDS_H_
#define RAVELIN_SHELL_EXPORT_COMMANDS_H_

#include <string>
#include <vector>

#include "storage/progress_sink.h"
#include "recovery/recovery_state.h"

namespace ravelin {

enum class ExportKind {
  kSqlScript,  // "Save SQL Data": a T-SQL script that rebuilds the database
  kCsvFolder,  // "Save Records Data": one CSV file per table, in a folder
  kCsvTable,   // "Save Table": the selected table as one CSV file
  kSqlite,     // "Save as SQLite database"
};

struct ExportRequest {
  ExportKind kind = ExportKind::kSqlScript;
  // The file chosen, or the folder for kCsvFolder.
  std::string outputPath;
  // The tables to write, named as the object tree labels them.
  std::vector<std::string> tables;
};

struct ExportOutcome {
  // Something was written.
  bool written = false;
  // What the user is told: shown in a box and added to the output pane.
  std::string message;
};

// Each runs on the export job's worker with the loaded database of
// `state`, reports its progress through `sink` and ends early when the
// run's stop flag is set.
ExportOutcome ExportSqlScript(RecoveryState& state, ProgressSink& sink, const ExportRequest& request);
ExportOutcome ExportCsvFolder(RecoveryState& state, ProgressSink& sink, const ExportRequest& request);
ExportOutcome ExportCsvTable(RecoveryState& state, ProgressSink& sink, const ExportRequest& request);
ExportOutcome ExportSqliteDatabase(RecoveryState& state, ProgressSink& sink, const ExportRequest& request);

// The one of the four that `request.kind` names.
ExportOutcome RunExport(RecoveryState& state, ProgressSink& sink, const ExportRequest& request);

}  // namespace ravelin

#endif  // RAVELIN_SHELL_EXPORT_COMMANDS_H_
