// What a click on an item of the object tree shows: the records of a table
// (its first page), the definition text of a view, procedure, function,
// trigger, default or constraint, or the script of a primary key, unique
// key or check constraint.
//
// A selection is one job: BeginSelection does what the front end does when
// the click arrives, SelectionWorker the rest. Both run on the job's
// worker; the job clears `busy` when they return.

#ifndef RAVELIN_RECOVERY_OBJECT_SELECTION_H_
#define RAVELIN_RECOVERY_OBJECT_SELECTION_H_

#include <optional>
#include <string>

#include "recovery/object_tree.h"
#include "recovery/recovery_state.h"
#include "storage/progress_sink.h"

namespace ravelin {

inline constexpr char kTextSelectionCompleted[] = "Scanning process completed.";

// "Please wait while " + label + " folder is scanning."
std::string SelectionStartText(const std::string& label);
// "Page1 - [25](1-25) Records" for `rows` rows on page `pageNumber`.
std::string SelectionRecordsLabel(int32_t pageNumber, int32_t rows);

// Sets up the records list columns for the catalog's columnDescriptors:
// one column per descriptor in order, named like it, except (outside the
// 2000 layout) the dropped columns the records still hold. The records
// column count becomes the number of descriptors.
void SetUpRecordColumns(RecoveryState& state);

// The front end's part of a click on `item`: it becomes the item shown
// (and the tree's selection), the records panel and the definition text
// pane are cleared, the caption shows the label and the start is logged,
// the progress bar is shown at 0, and the records paging is reset.
void BeginSelection(RecoveryState& state, ProgressSink& sink, TreeItem item);

// Shows state.itemShown: decides by its parent what it is and fills the
// records panel or the definition text pane, then sets the records label
// and caption and logs the end. A click on the root or on an item without
// a label shows nothing and logs nothing more.
void SelectionWorker(RecoveryState& state, ProgressSink& sink);

// The definition text of the object named `name` that is not a table, as
// a click on it shows it; nothing when there is no such object or its
// type has no definition text. The text may be empty: no definition rows
// carry the object's id.
std::optional<std::string> ObjectDefinition(RecoveryState& state, ProgressSink& sink, const std::string& name);

// BeginSelection, then SelectionWorker, on the calling thread.
void RunSelection(RecoveryState& state, ProgressSink& sink, TreeItem item);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_OBJECT_SELECTION_H_
