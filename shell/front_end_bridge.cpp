#include "shell/front_end_bridge.h"

#include "shell/main_window.h"
#include "shell/records_panel.h"
#include "shell/records_table_model.h"

namespace ravelin {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

FrontEndBridge::FrontEndBridge(MainWindow& window) : window_(window) {}

void FrontEndBridge::SetProgressRange(int64_t low, int64_t high) {
  Deliver([this, low, high] { window_.SetProgressRange(low, high); });
}

void FrontEndBridge::SetProgressPos(int64_t position) {
  Deliver([this, position] { window_.SetProgressPos(position); });
}

void FrontEndBridge::SetStatusText(const std::string& text) {
  Deliver([this, &text] { window_.records().SetDefinitionText(Text(text)); });
}

void FrontEndBridge::ReportError(const std::string& text) {
  Deliver([this, &text] { window_.ShowErrorText(Text(text)); });
}

void FrontEndBridge::AppendLogLine(const std::string& text) {
  Deliver([this, &text] { window_.AppendOutputLine(Text(text)); });
}

MessageAnswer FrontEndBridge::ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons) {
  MessageAnswer answer = MessageAnswer::kOk;
  Deliver([&] { answer = window_.ShowMessage(Text(text), icon, buttons); });
  return answer;
}

void FrontEndBridge::SetCaptionText(const std::string& text) {
  Deliver([this, &text] { window_.SetCaptionText(Text(text)); });
}

void FrontEndBridge::ShowProgressBar(bool shown) {
  Deliver([this, shown] { window_.ShowProgressBar(shown); });
}

void FrontEndBridge::TreeChanged() {
  Deliver([this] { window_.TreeChanged(); });
}

void FrontEndBridge::ShowDefinitionPane(bool shown) {
  Deliver([this, shown] { window_.records().ShowDefinitionPane(shown); });
}

void FrontEndBridge::SetDefinitionText(const std::string& text) {
  Deliver([this, &text] { window_.records().SetDefinitionText(Text(text)); });
}

void FrontEndBridge::ClearDefinitionText() {
  Deliver([this] { window_.records().ClearDefinitionText(); });
}

void FrontEndBridge::ShowRecordsPanel(bool shown) {
  Deliver([this, shown] { window_.records().ShowRecordsFace(shown); });
}

void FrontEndBridge::DeleteAllRecordRows() {
  Deliver([this] { window_.records().model().RemoveAllRows(); });
}

void FrontEndBridge::InsertRecordRow(int index, const std::string& text) {
  Deliver([this, index, &text] { window_.records().model().InsertRow(index, text); });
}

void FrontEndBridge::SetRecordCell(int row, int column, const std::string& text) {
  Deliver([this, row, column, &text] { window_.records().model().SetCell(row, column, text); });
}

void FrontEndBridge::SelectRecordRow(int row) {
  Deliver([this, row] { window_.records().SelectRow(row); });
}

void FrontEndBridge::DeleteSelectedRecordRows() {
  Deliver([this] { window_.records().DeleteSelectedRows(); });
}

void FrontEndBridge::DeleteRecordRow(int row) {
  Deliver([this, row] { window_.records().model().RemoveRow(row); });
}

int FrontEndBridge::RecordRowCount() {
  int count = 0;
  Deliver([this, &count] { count = window_.records().model().TotalRows(); });
  return count;
}

void FrontEndBridge::RepaintRecords() {
  Deliver([this] { window_.ShowPendingChanges(); });
}

void FrontEndBridge::InsertRecordColumn(int position, const std::string& header, int width) {
  Deliver([this, position, &header, width] { window_.records().InsertColumn(position, Text(header), width); });
}

void FrontEndBridge::DeleteRecordColumn(int position) {
  Deliver([this, position] { window_.records().model().RemoveColumn(position); });
}

void FrontEndBridge::SetRecordRowStatus(int row, const std::string& status) {
  Deliver([this, row, &status] { window_.records().SetRowStatus(row, status); });
}

void FrontEndBridge::MarkRecordCell(int row, int column, CellMark mark) {
  Deliver([this, row, column, mark] { window_.records().model().MarkCell(row, column, mark); });
}

void FrontEndBridge::SetRecordsLabel(const std::string& text) {
  Deliver([this, &text] { window_.records().SetRecordsLabel(Text(text)); });
}

void FrontEndBridge::EnablePreviousRecords(bool enabled) {
  Deliver([this, enabled] { window_.records().EnablePrevious(enabled); });
}

void FrontEndBridge::EnableNextRecords(bool enabled) {
  Deliver([this, enabled] { window_.records().EnableNext(enabled); });
}

}  // namespace ravelin
