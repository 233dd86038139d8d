#include "shell/widget_desktop.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

namespace ravelin {
namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kStop:
      return QMessageBox::Critical;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kInformation:
      break;
  }
  return QMessageBox::Information;
}

QString RunFileDialog(QWidget* parent, const FileRequest& request, bool save) {
  QFileDialog dialog(parent, request.title);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilter(request.filter);
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  if (!request.initialName.isEmpty()) dialog.selectFile(request.initialName);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

}  // namespace

MessageAnswer WidgetDesktop::ShowMessage(QWidget* parent, const QString& text, MessageIcon icon,
                                         MessageButtons buttons) {
  const bool question = buttons == MessageButtons::kYesNo;
  QMessageBox box(BoxIcon(icon), QString::fromUtf8(kApplicationTitle), text,
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
  const int answer = box.exec();
  if (!question) return MessageAnswer::kOk;
  return answer == QMessageBox::Yes ? MessageAnswer::kYes : MessageAnswer::kNo;
}

QString WidgetDesktop::ChooseFileToOpen(QWidget* parent, const FileRequest& request) {
  return RunFileDialog(parent, request, false);
}

QString WidgetDesktop::ChooseFileToSave(QWidget* parent, const FileRequest& request) {
  return RunFileDialog(parent, request, true);
}

QString WidgetDesktop::ChooseFolder(QWidget* parent, const QString& title) {
  return QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
}

int WidgetDesktop::RunDialog(QDialog& dialog) { return dialog.exec(); }

void WidgetDesktop::OpenUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

void WidgetDesktop::EndProcess(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace ravelin
