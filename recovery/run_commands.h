// The commands that start or save a recovery run, as every front end
// carries them out: Open (after the settings dialog), snapshot Load and
// snapshot Save. Dialogs stay with the front end; these take their results.
//
// Open and Load run wholly on the job's worker: the settings and the state
// are touched only once the previous worker has ended (see JobRunner), so
// a run started right after a Stop never races the stopped one.

#ifndef RAVELIN_RECOVERY_RUN_COMMANDS_H_
#define RAVELIN_RECOVERY_RUN_COMMANDS_H_

#include <ctime>
#include <functional>
#include <string>

#include "recovery/activity_log.h"
#include "recovery/job_runner.h"
#include "recovery/recovery_settings.h"
#include "recovery/recovery_state.h"

namespace ravelin {

inline constexpr char kTextSelectDatabaseFirst[] = "Please select database file to scan records.";
inline constexpr char kTextSelectTableToSave[] = "Please select the table from tree which you want to save";

// Called on the worker when a started run's scan has ended: true when it
// completed.
using ScanDone = std::function<void(bool completed)>;

// The Open command once the settings dialog was confirmed with `choice`.
// Answers the text to show instead of starting: kTextPleaseWait while a
// job runs, the dialog's text when the choice is not valid. An empty
// answer means the run started on a worker. `sink` (the front end's sink
// with the log) must outlive the loaded database.
std::string StartOpenRun(JobRunner& runner, RecoveryState& state, LoggingSink& sink, const OpenChoice& choice,
                         ScanDone done = {});

// The Open run itself: stores the choice, clears the records panel, starts
// the log file for an Open at `startTime`, leaves snapshot mode, resets the
// state and scans. A log file that cannot be started is said in a box; the
// run goes on with the output pane only. True when the scan completed.
bool RunOpen(RecoveryState& state, LoggingSink& sink, const OpenChoice& choice, const std::tm& startTime,
             JobToken& token);

// The snapshot Load command once the snapshot file was chosen. Its log file
// goes to `logFolder` (the executable's folder, as the desktop does).
// Answers kTextPleaseWait while a job runs, empty when the run started.
std::string StartSnapshotLoad(JobRunner& runner, RecoveryState& state, LoggingSink& sink,
                              const std::string& snapshotPath, const std::string& logFolder, ScanDone done = {});

// The Load run itself: starts the log file for a Load, takes the
// snapshot's header into the settings and scans in snapshot mode. A
// snapshot that cannot be read ends the scan with "Scanning process
// aborted.". True when the scan completed.
bool RunSnapshotLoad(RecoveryState& state, LoggingSink& sink, const std::string& snapshotPath,
                     const std::string& logFolder, const std::tm& startTime, JobToken& token);

// The checks of the Save Snapshot command before its file dialog: the text
// to show, or empty to go on. `itemSelected`: an item of the tree is
// selected (a front end without a selection passes true).
std::string SnapshotSaveRefusal(const JobRunner& runner, const RecoveryState& state, bool itemSelected);

// Saves the loaded database's page maps and the run's options to `path`,
// naming the data file the maps were taken from. The progress and outcome
// lines go to `outputPane` only, never to the log file; the outcome is
// also shown in a box. An empty path does nothing. True when saved.
bool SaveSnapshot(JobRunner& runner, RecoveryState& state, ProgressSink& outputPane, const std::string& path);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_RUN_COMMANDS_H_
