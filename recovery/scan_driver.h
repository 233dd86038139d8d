// The scan driver: one recovery run on a worker thread. It opens the data
// file (or takes the page maps from a snapshot), has the catalog rebuilt,
// logs the version and collation, builds the object tree, reads the
// definition rows and reports how the run ended.

#ifndef RAVELIN_RECOVERY_SCAN_DRIVER_H_
#define RAVELIN_RECOVERY_SCAN_DRIVER_H_

#include "recovery/job_runner.h"
#include "recovery/recovery_state.h"
#include "storage/progress_sink.h"

namespace ravelin {

inline constexpr char kTextBrowseFilePath[] = "Browse File Path:\t";
inline constexpr char kTextAdvancedMode[] = "Advanced mode is selected for file recovery.";
inline constexpr char kTextStandardMode[] = "Standard mode is selected for file recovery.";
inline constexpr char kTextScanStarts[] = "Scanning of file starts...";
inline constexpr char kTextScanAborted[] = "Scanning process aborted.";
inline constexpr char kTextNoObjectEntry[] =
    "Either it is not valid mdf file or highly corrupted, select another file to recover.";
inline constexpr char kTextNoObjectPlaced[] =
    "Whether it is not valid mdf file or highly corrupted, select another file to recover.";
inline constexpr char kTextVersionPrefix[] = "Database version: ";
inline constexpr char kTextUnknownVersion[] = "Database version: Unknown SQL Version";
inline constexpr char kTextUnknownCollation[] = "Unknown Collation";
inline constexpr char kTextCollationPrefix[] = "Collation Type: ";
inline constexpr char kTextScanCompletedCaption[] = "Scanning completed for selected mdf file";
inline constexpr char kTextScanCompletedLog[] = "Scanning completed for selected mdf file.";
inline constexpr char kTextScanCompleted[] = "Scanning process completed.";

// Runs one scan with `state`, reporting through `sink` (which becomes the
// state's notification target and must outlive the loaded database). In
// snapshot mode the data file path comes from the snapshot, otherwise from
// state.currentDataFilePath. Clears `busy` through `token` on every path.
// True when the run completed ("Scanning process completed."); false on
// the three failure endings.
bool ScanWorker(RecoveryState& state, ProgressSink& sink, JobToken& token);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_SCAN_DRIVER_H_
