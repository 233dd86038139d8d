// The desktop of a run nobody watches (RAVELIN_GUI_UNATTENDED set): every
// box, picker, dialog and browser call is written to stderr as one line
// instead of shown, questions take their answers from a list, pickers and
// dialogs are cancelled. For scripted checks of the real program.

#ifndef RAVELIN_SHELL_UNATTENDED_DESKTOP_H_
#define RAVELIN_SHELL_UNATTENDED_DESKTOP_H_

#include <QStringList>

#include "shell/desktop.h"

namespace ravelin {

inline constexpr char kUnattendedVariable[] = "RAVELIN_GUI_UNATTENDED";
inline constexpr char kCloseAfterVariable[] = "RAVELIN_GUI_CLOSE_AFTER_MS";

class UnattendedDesktop : public Desktop {
 public:
  // `answers`: "yes" or "no" for each question in turn; once they are
  // spent every question is answered No.
  explicit UnattendedDesktop(QStringList answers) : answers_(std::move(answers)) {}

  MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon, MessageButtons buttons) override;
  QString ChooseFileToOpen(QWidget* parent, const FileRequest& request) override;
  QString ChooseFileToSave(QWidget* parent, const FileRequest& request) override;
  QString ChooseFolder(QWidget* parent, const QString& title) override;
  int RunDialog(QDialog& dialog) override;
  void OpenUrl(const QUrl& url) override;
  [[noreturn]] void EndProcess(int code) override;

 private:
  QStringList answers_;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_UNATTENDED_DESKTOP_H_
