// The controls of the front end that workers operate beyond the progress
// protocol: message boxes, the caption bar, the progress bar, the object
// tree's redraw, the definition text pane and the records panel (list,
// page label, pager buttons).
//
// Like ProgressSink, every call is synchronous: the worker goes on only
// once the front end has carried it out, so a front end with windows
// marshals each call to its own thread and must never wait for a worker.
// Every method has a no-op default; a front end implements what it shows.

#ifndef RAVELIN_RECOVERY_RECOVERY_VIEW_H_
#define RAVELIN_RECOVERY_RECOVERY_VIEW_H_

#include <cstdint>
#include <string>

namespace ravelin {

enum class MessageIcon { kInformation, kStop, kQuestion };
enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };
// A value of the records list that did not come out whole: one that exists
// but cannot be read (its text is empty, which is neither NULL nor an
// empty value), or one read only in part (its text ends with a marker).
enum class CellMark : uint8_t { kUnreadable, kPartlyUnreadable };

class RecoveryView {
 public:
  virtual ~RecoveryView() = default;

  // A message box captioned with the application title. A Yes/No box
  // answers kYes or kNo; a front end that cannot ask answers kNo.
  virtual MessageAnswer ShowMessage(const std::string& /*text*/, MessageIcon /*icon*/, MessageButtons buttons) {
    return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
  }
  // An information box with an OK button.
  void Inform(const std::string& text) { ShowMessage(text, MessageIcon::kInformation, MessageButtons::kOk); }

  virtual void SetCaptionText(const std::string& /*text*/) {}
  virtual void ShowProgressBar(bool /*shown*/) {}

  // The object tree (RecoveryState::tree) changed: redraw it now.
  virtual void TreeChanged() {}

  // --- Definition text pane -------------------------------------------------
  virtual void ShowDefinitionPane(bool /*shown*/) {}
  virtual void SetDefinitionText(const std::string& /*text*/) {}
  virtual void ClearDefinitionText() {}

  // --- Records panel --------------------------------------------------------
  // The records list, its page label and both pager buttons together.
  virtual void ShowRecordsPanel(bool /*shown*/) {}
  virtual void DeleteAllRecordRows() {}
  // A new row at `index` whose first column reads `text`.
  virtual void InsertRecordRow(int /*index*/, const std::string& /*text*/) {}
  // Column `column` (0: the first) of row `row`.
  virtual void SetRecordCell(int /*row*/, int /*column*/, const std::string& /*text*/) {}
  virtual void SelectRecordRow(int /*row*/) {}
  virtual void DeleteSelectedRecordRows() {}
  // Deletes row `row` alone, whatever else is selected.
  virtual void DeleteRecordRow(int /*row*/) {}
  virtual int RecordRowCount() { return 0; }
  virtual void RepaintRecords() {}
  // A column with header `header` at `position`, left-aligned, `width`
  // pixels wide.
  virtual void InsertRecordColumn(int /*position*/, const std::string& /*header*/, int /*width*/) {}
  virtual void DeleteRecordColumn(int /*position*/) {}
  // What row `row` is ("live", "ghost", "hunted", "free page", "suspect"):
  // given for every row when the run lists deleted or suspect records, and
  // for any row that is not live.
  virtual void SetRecordRowStatus(int /*row*/, const std::string& /*status*/) {}
  // Whether the list marks values that did not come out whole; only then
  // does the listing work out which did and call MarkRecordCell.
  virtual bool MarksRecordCells() { return false; }
  virtual void MarkRecordCell(int /*row*/, int /*column*/, CellMark /*mark*/) {}
  virtual void SetRecordsLabel(const std::string& /*text*/) {}
  virtual void EnablePreviousRecords(bool /*enabled*/) {}
  virtual void EnableNextRecords(bool /*enabled*/) {}
};

// Removes `count` columns of the records list (with its rows, when there
// are columns to remove) and clears the definition text pane.
inline void RemoveRecordColumns(RecoveryView& view, int count) {
  if (count > 0) {
    view.DeleteAllRecordRows();
    for (int i = 0; i < count; ++i) view.DeleteRecordColumn(0);
  }
  view.ClearDefinitionText();
}

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_RECOVERY_VIEW_H_
