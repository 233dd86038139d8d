#include "gui_support.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFont>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "shell/main_window.h"
#include "shell/open_dialog.h"

namespace ravelin::testing {

MessageAnswer TestDesktop::ShowMessage(QWidget*, const QString& text, MessageIcon icon, MessageButtons buttons) {
  messages.push_back({text, icon, buttons});
  calls.push_back("message");
  if (buttons != MessageButtons::kYesNo) return MessageAnswer::kOk;
  if (answers.empty()) return MessageAnswer::kNo;
  const MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

QString TestDesktop::ChooseFileToOpen(QWidget*, const FileRequest& request) {
  fileRequests.push_back(request);
  calls.push_back("file");
  if (files.empty()) return {};
  const QString answer = files.front();
  files.pop_front();
  return answer;
}

QString TestDesktop::ChooseFileToSave(QWidget* parent, const FileRequest& request) {
  return ChooseFileToOpen(parent, request);
}

QString TestDesktop::ChooseFolder(QWidget* parent, const QString& title) {
  FileRequest request;
  request.title = title;
  return ChooseFileToOpen(parent, request);
}

int TestDesktop::RunDialog(QDialog& dialog) {
  dialogsRun.push_back(dialog.objectName());
  calls.push_back("dialog");
  return onDialog ? onDialog(dialog) : QDialog::Rejected;
}

void TestDesktop::OpenUrl(const QUrl& url) {
  urls.push_back(url);
  calls.push_back("url");
}

void TestDesktop::EndProcess(int code) {
  endedWith = code;
  calls.push_back("end");
}

QStringList TestDesktop::Texts() const {
  QStringList texts;
  for (const Message& m : messages) texts << m.text;
  return texts;
}

QStringList TestDesktop::Take() {
  QStringList texts = Texts();
  messages.clear();
  return texts;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

bool WaitForJobs(MainWindow& window) {
  return WaitUntil([&window] { return !window.runner().Active() && !window.ChangesPending(); });
}

namespace {

void DumpItems(QAbstractItemModel& model, const QModelIndex& parent, int depth, std::string& out) {
  if (model.canFetchMore(parent)) model.fetchMore(parent);
  for (int row = 0; row < model.rowCount(parent); ++row) {
    const QModelIndex index = model.index(row, 0, parent);
    const QVariant font = index.data(Qt::FontRole);
    out += std::string(static_cast<size_t>(depth) * 2, ' ') + index.data().toString().toStdString();
    if (font.isValid() && font.value<QFont>().bold()) out += " *";
    out += "\n";
    DumpItems(model, index, depth + 1, out);
  }
}

QModelIndex FindBelow(QAbstractItemModel& model, const QModelIndex& parent, const QString& label) {
  if (model.canFetchMore(parent)) model.fetchMore(parent);
  for (int row = 0; row < model.rowCount(parent); ++row) {
    const QModelIndex index = model.index(row, 0, parent);
    if (index.data().toString() == label) return index;
    if (QModelIndex found = FindBelow(model, index, label); found.isValid()) return found;
  }
  return {};
}

}  // namespace

std::string DumpTreePane(QAbstractItemModel& model) {
  std::string out;
  DumpItems(model, QModelIndex(), 0, out);
  return out;
}

QModelIndex FindTreeItem(QAbstractItemModel& model, const QString& labelOrPath) {
  const QStringList labels = labelOrPath.split('/');
  QModelIndex at = FindBelow(model, QModelIndex(), labels.front());
  for (int i = 1; i < labels.size() && at.isValid(); ++i) {
    QModelIndex next;
    if (model.canFetchMore(at)) model.fetchMore(at);
    for (int row = 0; row < model.rowCount(at) && !next.isValid(); ++row)
      if (model.index(row, 0, at).data().toString() == labels[i]) next = model.index(row, 0, at);
    at = next;
  }
  return at;
}

void ClickTreeItem(QTreeView& view, const QModelIndex& index) {
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) view.expand(up);
  view.scrollTo(index);
  QApplication::processEvents();
  const QRect rect = view.visualRect(index);
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(rect.left() + 30, rect.center().y()));
}

int FillOpenDialog(QDialog& dialog, TestDesktop& desktop, const QString& dataFile, const QString& logFolder) {
  auto* open = qobject_cast<OpenDialog*>(&dialog);
  if (!open) return QDialog::Rejected;
  desktop.files.push_back(dataFile);
  QTest::mouseClick(&open->browseButton(), Qt::LeftButton);
  desktop.files.push_back(logFolder);
  QTest::mouseClick(&open->logBrowseButton(), Qt::LeftButton);
  QTest::mouseClick(&open->okButton(), Qt::LeftButton);
  return dialog.result();
}

std::string SamplePath() { return std::string(RAVELIN_SOURCE_DIR) + "/samples/northwind-sql2000.mdf"; }

std::string BinaryDir() { return RAVELIN_BINARY_DIR; }

}  // namespace ravelin::testing
