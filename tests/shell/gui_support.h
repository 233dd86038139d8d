// What the desktop program's tests share: a Desktop that answers questions
// and records what would have been shown, waiting for jobs while serving
// the window, and reading the object tree pane as `ravelin scan` prints a
// tree.

#ifndef RAVELIN_TESTS_SHELL_GUI_SUPPORT_H_
#define RAVELIN_TESTS_SHELL_GUI_SUPPORT_H_

#include <QModelIndex>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/desktop.h"

class QAbstractItemModel;
class QTreeView;

namespace ravelin {

class MainWindow;

namespace testing {

class TestDesktop : public Desktop {
 public:
  struct Message {
    QString text;
    MessageIcon icon;
    MessageButtons buttons;
  };

  MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon, MessageButtons buttons) override;
  QString ChooseFileToOpen(QWidget* parent, const FileRequest& request) override;
  QString ChooseFileToSave(QWidget* parent, const FileRequest& request) override;
  QString ChooseFolder(QWidget* parent, const QString& title) override;
  int RunDialog(QDialog& dialog) override;
  void OpenUrl(const QUrl& url) override;
  void EndProcess(int code) override;

  // The texts of the boxes shown so far; Take() also forgets them.
  QStringList Texts() const;
  QStringList Take();

  // Answers to Yes/No questions, in turn; No once they are spent.
  std::deque<MessageAnswer> answers;
  // Answers to the file and folder pickers, in turn; cancelled once spent.
  std::deque<QString> files;
  // Runs a modal dialog instead of a person; the dialog is rejected when
  // it is not set.
  std::function<int(QDialog&)> onDialog;

  std::vector<Message> messages;
  std::vector<FileRequest> fileRequests;
  std::vector<QString> dialogsRun;
  std::vector<QUrl> urls;
  std::optional<int> endedWith;
  // Every call in order, one word each: "message", "file", "dialog",
  // "url", "end".
  std::vector<std::string> calls;
};

// Serves the window's events until `done` holds or `timeoutMs` passed;
// answers whether it holds.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 60000);
// Until no job runs, no stopped job is still ending, and the window shows
// every change the jobs made.
bool WaitForJobs(MainWindow& window);

// The tree pane's items, one a line, indented two blanks per level, a bold
// item marked " *": the tree as `ravelin scan` prints it. Opens every item.
std::string DumpTreePane(QAbstractItemModel& model);
// The first item labelled `label` (depth first, opening items on the way),
// or the item at the end of a path of labels joined by '/'.
QModelIndex FindTreeItem(QAbstractItemModel& model, const QString& labelOrPath);
// A left click on the label of `index`, made visible first.
void ClickTreeItem(QTreeView& view, const QModelIndex& index);

// Fills the Open dialog in with `dataFile` (through its browse button) and
// `logFolder`, then presses OK.
int FillOpenDialog(QDialog& dialog, TestDesktop& desktop, const QString& dataFile, const QString& logFolder);

// The sample database and the built programs.
std::string SamplePath();
std::string BinaryDir();

}  // namespace testing
}  // namespace ravelin

#endif  // RAVELIN_TESTS_SHELL_GUI_SUPPORT_H_
