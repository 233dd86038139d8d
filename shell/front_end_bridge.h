// The core's two front-end interfaces, ProgressSink and RecoveryView, as
// the main window carries them out. A call from a worker thread is handed
// to the window's thread and waits there until it is done (so the worker
// goes on only afterwards, as the core expects); a call on the window's own
// thread runs at once. The window's thread never waits for a worker.

#ifndef RAVELIN_SHELL_FRONT_END_BRIDGE_H_
#define RAVELIN_SHELL_FRONT_END_BRIDGE_H_

#include <QObject>
#include <QThread>

#include "recovery/recovery_view.h"
#include "storage/progress_sink.h"

namespace ravelin {

class MainWindow;

class FrontEndBridge : public QObject, public ProgressSink, public RecoveryView {
  Q_OBJECT

 public:
  // Lives on the thread that creates it, the thread of `window`, which
  // must outlive it.
  explicit FrontEndBridge(MainWindow& window);

  // --- ProgressSink ---------------------------------------------------------
  void SetProgressRange(int64_t low, int64_t high) override;
  void SetProgressPos(int64_t position) override;
  void SetStatusText(const std::string& text) override;
  void ReportError(const std::string& text) override;
  // The output pane only: the activity log file is written by the core's
  // LoggingSink in front of this one.
  void AppendLogLine(const std::string& text) override;

  // --- RecoveryView ---------------------------------------------------------
  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons) override;
  void SetCaptionText(const std::string& text) override;
  void ShowProgressBar(bool shown) override;
  void TreeChanged() override;
  void ShowDefinitionPane(bool shown) override;
  void SetDefinitionText(const std::string& text) override;
  void ClearDefinitionText() override;
  void ShowRecordsPanel(bool shown) override;
  void DeleteAllRecordRows() override;
  void InsertRecordRow(int index, const std::string& text) override;
  void SetRecordCell(int row, int column, const std::string& text) override;
  void SelectRecordRow(int row) override;
  void DeleteSelectedRecordRows() override;
  void DeleteRecordRow(int row) override;
  int RecordRowCount() override;
  void RepaintRecords() override;
  void InsertRecordColumn(int position, const std::string& header, int width) override;
  void DeleteRecordColumn(int position) override;
  void SetRecordRowStatus(int row, const std::string& status) override;
  bool MarksRecordCells() override { return true; }
  void MarkRecordCell(int row, int column, CellMark mark) override;
  void SetRecordsLabel(const std::string& text) override;
  void EnablePreviousRecords(bool enabled) override;
  void EnableNextRecords(bool enabled) override;

 private:
  // Runs `effect` on the window's thread and returns when it is done.
  template <typename Effect>
  void Deliver(Effect&& effect) {
    if (QThread::currentThread() == thread())
      effect();
    else
      QMetaObject::invokeMethod(this, std::forward<Effect>(effect), Qt::BlockingQueuedConnection);
  }

  MainWindow& window_;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_FRONT_END_BRIDGE_H_
