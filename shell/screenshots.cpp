// ravelin-gui-screenshots OUT_FOLDER SAMPLE.mdf [DELETED.mdf TABLE]:
// pictures of the desktop program at 1280x800, taken under Qt's offscreen
// platform. Opens SAMPLE through the Open dialog (pictured filled in), shows
// "Order Details" page 2, then a view's definition, and writes one PNG of
// each. Given a second file, opens it with deleted records shown and
// pictures TABLE with its status column and tinted rows.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTreeView>
#include <cstdio>

#include "recovery/recovery_settings.h"
#include "shell/application_look.h"
#include "shell/command_bar.h"
#include "shell/desktop.h"
#include "shell/desktop_program.h"
#include "shell/main_window.h"
#include "shell/object_tree_model.h"
#include "shell/open_dialog.h"
#include "shell/records_panel.h"
#include "shell/records_table_model.h"

namespace ravelin {
namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 800;

// Fills the Open dialog in, pictures it and confirms it; answers every box
// with OK, writing its text to stderr.
class PicturingDesktop : public Desktop {
 public:
  PicturingDesktop(QString folder, QString sample) : folder_(std::move(folder)), sample_(std::move(sample)) {}

  MessageAnswer ShowMessage(QWidget*, const QString& text, MessageIcon, MessageButtons) override {
    std::fprintf(stderr, "[message] %s\n", text.toUtf8().constData());
    return MessageAnswer::kOk;
  }
  QString ChooseFileToOpen(QWidget*, const FileRequest&) override { return {}; }
  QString ChooseFileToSave(QWidget*, const FileRequest&) override { return {}; }
  QString ChooseFolder(QWidget*, const QString&) override { return {}; }
  int RunDialog(QDialog& dialog) override {
    auto* open = qobject_cast<OpenDialog*>(&dialog);
    if (!open) return QDialog::Rejected;
    open->pathEdit().setText(sample_);
    open->deletedBox().setChecked(showDeleted_);
    open->logFolderEdit().setText(folder_ + "/logs");
    open->adjustSize();
    open->show();
    QApplication::processEvents();
    if (!showDeleted_) Save(open->grab(), "open-dialog.png");
    open->okButton().click();
    return open->result();
  }
  void OpenUrl(const QUrl&) override {}
  void EndProcess(int) override {}

  bool Save(const QPixmap& picture, const char* name) {
    const QString path = folder_ + "/" + name;
    const bool saved = picture.save(path, "PNG");
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", path.toUtf8().constData());
    failed_ |= !saved;
    return saved;
  }
  bool failed() const { return failed_; }
  // The next Open confirms `sample` with deleted records shown.
  void OpenDeleted(QString sample) {
    sample_ = std::move(sample);
    showDeleted_ = true;
  }

 private:
  QString folder_;
  QString sample_;
  bool failed_ = false;
  bool showDeleted_ = false;
};

// Serves the window until the job that runs has ended and the window
// shows all it did.
bool WaitForJob(MainWindow& window) {
  QElapsedTimer clock;
  clock.start();
  while (window.runner().Active() || window.ChangesPending()) {
    if (clock.elapsed() > 60000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  QApplication::processEvents();
  return true;
}

// Clicks the first tree item labelled `label` (searching depth first).
bool ClickItem(MainWindow& window, const QString& label) {
  ObjectTreeModel& model = window.treeModel();
  std::vector<QModelIndex> open{QModelIndex()};
  while (!open.empty()) {
    const QModelIndex at = open.back();
    open.pop_back();
    if (model.canFetchMore(at)) model.fetchMore(at);
    for (int row = model.rowCount(at) - 1; row >= 0; --row) {
      const QModelIndex child = model.index(row, 0, at);
      if (child.data().toString() == label) {
        window.treeView().scrollTo(child);
        window.treeView().setCurrentIndex(child);
        emit window.treeView().clicked(child);
        return WaitForJob(window);
      }
      open.push_back(child);
    }
  }
  std::fprintf(stderr, "no tree item %s\n", label.toUtf8().constData());
  return false;
}

int TakePictures(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: ravelin-gui-screenshots OUT_FOLDER SAMPLE.mdf [DELETED.mdf TABLE]\n");
    return 2;
  }
  const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  const QString sample = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
  QDir().mkpath(folder + "/logs");
  ApplyApplicationLook(kDefaultApplicationLook);

  RecoverySettings settings;
  settings.collationTable = LoadCollationTable(CollationFilePath());
  PicturingDesktop desktop(folder, sample);
  WebAddresses web;
  web.makerSite = QStringLiteral("https://www.velmora.example/");
  MainWindowOptions options;
  options.splash = false;
  options.applyLook = false;
  MainWindow window(settings, desktop, web, options);
  window.resize(kWidth, kHeight);
  window.show();
  QApplication::processEvents();

  window.RunCommand(kCommandOpen);
  if (!WaitForJob(window)) return 1;
  if (!ClickItem(window, QStringLiteral("Order Details"))) return 1;
  window.records().nextButton().click();
  if (!WaitForJob(window)) return 1;
  desktop.Save(window.grab(), "main-window.png");

  if (!ClickItem(window, QStringLiteral("Alphabetical list of products"))) return 1;
  desktop.Save(window.grab(), "main-window-definition.png");

  if (argc == 5) {
    desktop.OpenDeleted(QDir(QString::fromLocal8Bit(argv[3])).absolutePath());
    window.RunCommand(kCommandOpen);
    if (!WaitForJob(window)) return 1;
    if (!ClickItem(window, QString::fromLocal8Bit(argv[4]))) return 1;
    // Bring the first deleted row to the top.
    RecordsTableModel& model = window.records().model();
    for (int row = 0; row < model.rowCount(); ++row) {
      if (model.CellText(row, 0) == QLatin1String("live")) continue;
      window.records().list().scrollTo(model.index(std::max(row - 2, 0), 0), QAbstractItemView::PositionAtTop);
      break;
    }
    QApplication::processEvents();
    desktop.Save(window.grab(), "main-window-deleted.png");
  }
  return desktop.failed() ? 1 : 0;
}

}  // namespace
}  // namespace ravelin

int main(int argc, char** argv) { return ravelin::TakePictures(argc, argv); }
