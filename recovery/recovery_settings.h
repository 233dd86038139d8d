// The options of a recovery run and the values discovered during it.
//
// One record lives as long as the process. It is shared by the front end
// and the one worker that runs at a time; `busy` and `stopRequested` are
// the only fields both sides write while a job runs, so they are atomic.

#ifndef RAVELIN_RECOVERY_RECOVERY_SETTINGS_H_
#define RAVELIN_RECOVERY_RECOVERY_SETTINGS_H_

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

namespace ravelin {

struct CollationEntry {
  std::string name;
  int32_t codePage = 0;  // 0: Unicode-only collation
};

// Collation id (sign-extended) -> name and code page.
using CollationTable = std::map<int64_t, CollationEntry>;

enum class RecoveryMode : int32_t { kUnset = 0, kStandard = 1, kAdvanced = 2 };

struct RecoverySettings {
  // A job runs (1) or not (0).
  std::atomic<int32_t> busy{0};
  // Index of the next output pane line.
  std::atomic<int32_t> logLineCounter{0};
  // Set by Stop; polled by every long loop of the workers.
  std::atomic<bool> stopRequested{false};

  // The database has the SQL Server 2000 catalog layout (set by the loader).
  std::atomic<bool> isSql2000{false};
  bool showDeleted = false;
  bool showAdvancedDeleted = false;
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
};

// The code page of 8-bit text stored under collation `collationId`: the
// database's own code page for its detected collation, the collation
// table's entry otherwise, and the ANSI code page for ids 0 and -1, ids the
// table lacks and Unicode-only collations.
int CodePageForCollation(const RecoverySettings& settings, int64_t collationId);

// Takes the collation of a database (the id its boot page records) into the
// settings when auto-detection is on, or the manual choice otherwise. The
// id is looked up whole (sign-extended) and then by its low 16 bits; when
// nothing matches the settings stay as they are.
void ApplyDatabaseCollation(RecoverySettings& settings, int32_t bootCollationId);

// Parses "collation.txt" text: name TAB id TAB code page per line. Lines
// without both tabs are skipped; a repeated id replaces the earlier line.
CollationTable ParseCollationTable(const std::string& text);

// Reads the collation table from `path`; a missing file gives an empty table.
CollationTable LoadCollationTable(const std::string& path);

// The folder of the running executable, ending in '/'.
std::string ExecutableFolder();

// The default folder for log files: the user's desktop as XDG names it.
// Created when missing.
std::string DefaultLogFolder();

// What the open-database dialog's OK button checks, in its order. An empty
// result means the choice is valid and has been stored in `settings`.
struct OpenChoice {
  std::string dataFilePath;
  std::string logFolder;
  int modeIndex = 0;  // 0 Standard, 1 Advanced
  bool isSql2000 = false;
  bool showDeleted = false;
  bool showAdvancedDeleted = false;
};
std::string ValidateAndApplyOpenChoice(const OpenChoice& choice, RecoverySettings& settings);

// The two halves of the above, for callers that check at once but store
// later (a run may only touch the settings once the previous one ended).
std::string CheckOpenChoice(const OpenChoice& choice);

// The log folder check of the dialog alone: the refusal text when `folder`
// is not a directory, else empty.
std::string CheckLogFolder(const std::string& folder);
void ApplyOpenChoice(const OpenChoice& choice, RecoverySettings& settings);

// A log folder with a final '/' added when it lacks one.
std::string NormalizeLogFolder(const std::string& folder);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_RECOVERY_SETTINGS_H_
