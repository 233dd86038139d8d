// The options of a recovery run and the values discovered during it: the
// front ends' record of a run.
//
// One record lives as long as the process. It is shared by the front end
// and the one worker that runs at a time; `busy` and `stopRequested` are
// the only fields both sides write while a job runs, so they are atomic.
// The layers below never see it: a run hands them its read options, its
// stop flag and a collation context (OpenRequestFor), and copies back what
// the opened database showed (TakeDiscoveredValues).

#ifndef RAVELIN_RECOVERY_RECOVERY_SETTINGS_H_
#define RAVELIN_RECOVERY_RECOVERY_SETTINGS_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "catalog/opened_database.h"
#include "storage/collation.h"
#include "storage/env.h"
#include "storage/read_options.h"

namespace ravelin {

struct RecoverySettings {
  // A job runs (1) or not (0).
  std::atomic<int32_t> busy{0};
  // Index of the next output pane line.
  std::atomic<int32_t> logLineCounter{0};
  // Set by Stop; polled by every long loop of the workers.
  std::atomic<bool> stopRequested{false};

  // The database has the SQL Server 2000 catalog layout (as the catalog
  // loader found it).
  std::atomic<bool> isSql2000{false};
  bool showDeleted = false;
  bool showAdvancedDeleted = false;
  // Records that do not fit their table are listed too, marked suspect.
  bool listSuspects = false;
  RecoveryMode recoveryMode = RecoveryMode::kUnset;

  std::string dataFilePath;
  std::string logFilePath;
  std::string logFolder;  // ends in '/' once set
  std::string versionText;

  CollationTable collationTable;
  bool collationFound = false;
  int64_t detectedCollationId = -1;
  int64_t columnCollationId = 0;
  int32_t codePage = 1252;
  std::string collationName;
  bool autoDetectCollation = true;
  int64_t manualCollationId = 0;

  std::string snapshotDataFilePath;
  bool snapshotMode = false;
  std::string snapshotFilePath;

  // 1 while the first page of a table's records is listed.
  std::atomic<bool> firstPageListing{false};

  bool IsAdvancedMode() const { return recoveryMode == RecoveryMode::kAdvanced; }

  // How the run reads tables.
  ReadOptions readOptions() const;
};

// What opening `path` for the run of `settings` asks of the layers below:
// its read options and collation choice (the table stays the settings').
OpenRequest OpenRequestFor(const RecoverySettings& settings, const std::string& path);

// Copies what the opened database showed into the run's record: the version
// text, the collation found and the catalog layout. Values of an earlier
// database are forgotten first.
void TakeDiscoveredValues(RecoverySettings& settings, const OpenedDatabase& db);

// Forgets the version text and collation an earlier run found.
void ForgetDiscoveredValues(RecoverySettings& settings);

// The folder of the running executable, ending in '/'.
std::string ExecutableFolder();

// The desktop dialog's default folder for log files: the user's desktop as
// XDG names it. Created when missing.
std::string DefaultLogFolder();

// The command line's default folder for log files: $XDG_STATE_HOME/ravelin,
// else ~/.local/state/ravelin, created when missing (and nothing else is
// created). Empty, with the reason in `problem`, when there is no usable
// home to put it in.
std::string StateLogFolder(std::string* problem = nullptr);

// Why log files cannot be written into `folder` (missing, not a folder, no
// permission), with the folder named; empty when they can.
std::string LogFolderProblem(const std::string& folder);

// What the open-database dialog chose.
struct OpenChoice {
  std::string dataFilePath;
  std::string logFolder;
  int modeIndex = 0;  // 0 Standard, 1 Advanced
  bool isSql2000 = false;
  bool showDeleted = false;
  bool showAdvancedDeleted = false;
  // Beyond the dialog's three check boxes: list records that do not fit
  // their table, marked suspect.
  bool listSuspects = false;
  // The run keeps no log file (a command line without a usable home):
  // logFolder is not used, and its lines reach the front end only.
  bool withoutLogFile = false;
};
// What the dialog's OK button checks, in its order: the refusal text, or
// empty when the choice is valid. Storing the choice (ApplyOpenChoice) is
// left to the run, which may only touch the settings once the previous one
// ended.
std::string CheckOpenChoice(const OpenChoice& choice, Env& env = Env::Default());

// The log folder check of the dialog alone: the refusal text when `folder`
// is not a directory, else empty.
std::string CheckLogFolder(const std::string& folder);
void ApplyOpenChoice(const OpenChoice& choice, RecoverySettings& settings);

// A log folder with a final '/' added when it lacks one.
std::string NormalizeLogFolder(const std::string& folder);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_RECOVERY_SETTINGS_H_
