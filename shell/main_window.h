// The main window: the command bar, the caption banner, the object tree
// pane on the left, the output pane at the bottom, the records panel in the
// middle and the status bar with the program's title, the maker's link and
// the progress bar. It owns the state of the loaded database and carries
// out every command; the core's workers reach it through FrontEndBridge.
//
// Workers report a row, a cell, a caption or a progress step at a time.
// Each report is carried out at once, but what it changes on the screen
// (the rows and lines added at the end of the lists, the caption, the
// progress position) is shown in batches a few times a second, so that a
// listing of a thousand rows does not lay out and paint the window a
// thousand times.

#ifndef RAVELIN_SHELL_MAIN_WINDOW_H_
#define RAVELIN_SHELL_MAIN_WINDOW_H_

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "recovery/activity_log.h"
#include "recovery/job_runner.h"
#include "recovery/recovery_settings.h"
#include "recovery/recovery_state.h"
#include "recovery/selection_commands.h"
#include "shell/export_commands.h"
#include "shell/front_end_bridge.h"
#include "shell/web_addresses.h"

class QLabel;
class QProgressBar;
class QTimer;
class QTreeView;

namespace ravelin {

class CommandBar;
class Desktop;
class ObjectTreeModel;
class OutputPane;
class RecordsPanel;

inline constexpr char kTextSelectDatabase[] = "Select MDF database file to continue the recovery process.";
inline constexpr char kTextStopToContinue[] = "Please stop the running process to continue the process.";
inline constexpr char kTextStopToClose[] = "Please stop the running process to close the application.";
inline constexpr char kTextConfirmClose[] = "Do you want to close the application?";
inline constexpr char kTreePaneTitle[] = "MS SQL Database Objects";
inline constexpr char kOutputPaneTitle[] = "Output";
inline constexpr char kSnapshotFilter[] = ".VelmoraMDB Files (*.MDBSNP *.mdbsnp)";

struct MainWindowOptions {
  // The start-up splash.
  bool splash = true;
  // Read, apply and write back the stored application look.
  bool applyLook = true;
  // The folder of a snapshot Load's log; empty: the program's folder (or
  // the user's state folder when that cannot be written).
  std::string snapshotLogFolder;
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // `settings` (the process's run settings, with the collation table
  // loaded) and `desktop` must outlive the window.
  MainWindow(RecoverySettings& settings, Desktop& desktop, const WebAddresses& web,
             const MainWindowOptions& options = {});
  ~MainWindow() override;

  // Carries out command `id` as its button does.
  void RunCommand(int id);
  // Enables Stop while a job runs.
  void UpdateCommandStates();

  // Shows at once what waits for the next batch; whether anything waits.
  void ShowPendingChanges();
  bool ChangesPending() const;

  // --- Effects of the core's notifications (window thread only) ----------
  void SetProgressRange(int64_t low, int64_t high);
  void SetProgressPos(int64_t position);
  void ShowProgressBar(bool shown);
  void ShowErrorText(const QString& text);
  void AppendOutputLine(const QString& text);
  MessageAnswer ShowMessage(const QString& text, MessageIcon icon, MessageButtons buttons);
  void SetCaptionText(const QString& text);
  void TreeChanged();

  // --- Parts, for the bridge and for tests ---------------------------------
  RecordsPanel& records() const { return *records_; }
  QTreeView& treeView() const { return *treeView_; }
  ObjectTreeModel& treeModel() const { return *treeModel_; }
  OutputPane& output() const { return *output_; }
  CommandBar& commandBar() const { return *commandBar_; }
  QProgressBar& progressBar() const { return *progress_; }
  // The caption shown.
  QString CaptionText() const;
  RecoveryState& state() { return state_; }
  JobRunner& runner() { return runner_; }
  ActivityLog& activityLog() { return log_; }

 signals:
  // A progress position reported by a worker, while the worker waits.
  void progressReported(qint64 position);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildStatusBar();
  void BuildPanes();
  void SchedulePendingChanges();
  void Inform(const QString& text);
  void Inform(const std::string& text) { Inform(QString::fromStdString(text)); }
  void Inform(const char* text) { Inform(QString::fromUtf8(text)); }

  // The commands.
  void Open();
  void Stop();
  void Export(ExportKind kind);
  void LoadSnapshot();
  void SaveSnapshot();
  void Help();
  void About();
  void TreeItemClicked(const QModelIndex& index);
  void PreviousRecords();
  void NextRecords();

  // The table item at or above the tree's selected item, or kNoTreeItem.
  TreeItem SelectedTable() const;
  std::vector<std::string> UserTables() const;
  // Where a snapshot Load writes its log: the program's folder, or the
  // user's state folder when the program's folder cannot be written.
  std::string SnapshotLogFolder() const;

  RecoverySettings& settings_;
  Desktop& desktop_;
  WebAddresses web_;
  std::string snapshotLogFolder_;

  FrontEndBridge bridge_;
  RecoveryState state_;
  ReleasingSink releasing_;
  ActivityLog log_;
  LoggingSink sink_;
  // After everything its workers use: its destructor joins the last one.
  JobRunner runner_;
  SelectionCommands selection_;

  CommandBar* commandBar_ = nullptr;
  QLabel* caption_ = nullptr;
  QTreeView* treeView_ = nullptr;
  ObjectTreeModel* treeModel_ = nullptr;
  OutputPane* output_ = nullptr;
  RecordsPanel* records_ = nullptr;
  QLabel* statusTitle_ = nullptr;
  QLabel* makerLink_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QTimer* commandTimer_ = nullptr;
  QTimer* pendingTimer_ = nullptr;
  QString pendingCaption_;
  bool captionPending_ = false;
  int pendingProgress_ = 0;
  bool progressPending_ = false;
  // Positions are divided by this to fit the progress bar's int range.
  int64_t progressScale_ = 1;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_MAIN_WINDOW_H_
