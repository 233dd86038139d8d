// The desktop as a person meets it: Qt's message boxes and file dialogs,
// the default browser, and an immediate end of the process.

#ifndef RAVELIN_SHELL_WIDGET_DESKTOP_H_
#define RAVELIN_SHELL_WIDGET_DESKTOP_H_

#include "shell/desktop.h"

namespace ravelin {

class WidgetDesktop : public Desktop {
 public:
  MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon, MessageButtons buttons) override;
  QString ChooseFileToOpen(QWidget* parent, const FileRequest& request) override;
  QString ChooseFileToSave(QWidget* parent, const FileRequest& request) override;
  QString ChooseFolder(QWidget* parent, const QString& title) override;
  int RunDialog(QDialog& dialog) override;
  void OpenUrl(const QUrl& url) override;
  [[noreturn]] void EndProcess(int code) override;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_WIDGET_DESKTOP_H_
