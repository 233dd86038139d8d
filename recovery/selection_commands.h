// The front end's commands that start a selection or a records page: a
// click on an item of the object tree, "Next Records" and "Previous
// Records". Each runs as a job (JobRunner), so a request while another job
// runs is refused with kTextPleaseWait.
//
// Called on the front end's thread only.

#ifndef RAVELIN_RECOVERY_SELECTION_COMMANDS_H_
#define RAVELIN_RECOVERY_SELECTION_COMMANDS_H_

#include <string>

#include "recovery/job_runner.h"
#include "recovery/object_tree.h"
#include "recovery/recovery_state.h"
#include "storage/progress_sink.h"

namespace ravelin {

class SelectionCommands {
 public:
  // All three must outlive the commands and the jobs they start.
  SelectionCommands(JobRunner& runner, RecoveryState& state, ProgressSink& sink)
      : runner_(runner), state_(state), sink_(sink) {}

  // A click on `item`. Refused while a job runs: the tree then selects
  // the item being shown again. Answers the text to show instead of
  // starting, or empty when the selection started.
  std::string Select(TreeItem item);
  std::string NextRecords();
  std::string PreviousRecords();

 private:
  JobRunner& runner_;
  RecoveryState& state_;
  ProgressSink& sink_;
  // The item the last started selection shows. Kept here, not read from
  // the state, which only jobs touch.
  TreeItem shown_ = kNoTreeItem;
};

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_SELECTION_COMMANDS_H_
