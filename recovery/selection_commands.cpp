#include "recovery/selection_commands.h"

#include "recovery/object_selection.h"
#include "recovery/records_pager.h"

namespace ravelin {

std::string SelectionCommands::Select(TreeItem item) {
  const bool started = runner_.Start([this, item](JobToken&) { RunSelection(state_, sink_, item); });
  if (!started) {
    state_.tree.Select(shown_);
    return kTextPleaseWait;
  }
  shown_ = item;
  return {};
}

std::string SelectionCommands::NextRecords() {
  const bool started = runner_.Start([this](JobToken&) { RecordsPager(state_, sink_).ListNextPage(); });
  return started ? std::string() : std::string(kTextPleaseWait);
}

std::string SelectionCommands::PreviousRecords() {
  const bool started = runner_.Start([this](JobToken&) { RecordsPager(state_, sink_).ListPreviousPage(); });
  return started ? std::string() : std::string(kTextPleaseWait);
}

}  // namespace ravelin
