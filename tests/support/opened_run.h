// A front end that has opened a data file as the desktop's Open command
// does: its settings, sinks, view, state and activity log.

#ifndef RAVELIN_TESTS_SUPPORT_OPENED_RUN_H_
#define RAVELIN_TESTS_SUPPORT_OPENED_RUN_H_

#include <string>

#include "recovery/activity_log.h"
#include "recovery/job_runner.h"
#include "recovery/recovery_state.h"
#include "recovery/run_commands.h"
#include "support/recording_sink.h"
#include "support/recording_view.h"

namespace ravelin::testing {

struct OpenedRun {
  // Runs the scan of `path` with the log file in `logFolder`; true when it
  // completed.
  bool Open(const std::string& path, const std::string& logFolder) {
    JobToken token(settings);
    return RunOpen(state, logging, OpenChoice{.dataFilePath = path, .logFolder = logFolder}, LocalTimeNow(), token);
  }

  RecoverySettings settings;
  RecordingSink sink;
  RecordingView view;
  RecoveryState state{settings, view};
  ActivityLog log;
  LoggingSink logging{sink, log};
};

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_OPENED_RUN_H_
