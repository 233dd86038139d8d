#include "shell/unattended_desktop.h"

#include <QDialog>
#include <cstdio>
#include <cstdlib>

namespace ravelin {
namespace {

void Say(const char* kind, const QString& text) {
  std::fprintf(stderr, "[%s] %s\n", kind, text.toUtf8().constData());
  std::fflush(stderr);
}

const char* IconWord(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kStop:
      return "stop";
    case MessageIcon::kQuestion:
      return "question";
    case MessageIcon::kInformation:
      break;
  }
  return "information";
}

}  // namespace

MessageAnswer UnattendedDesktop::ShowMessage(QWidget*, const QString& text, MessageIcon icon, MessageButtons buttons) {
  if (buttons != MessageButtons::kYesNo) {
    Say(IconWord(icon), text);
    return MessageAnswer::kOk;
  }
  const bool yes = !answers_.isEmpty() && answers_.takeFirst().trimmed().compare("yes", Qt::CaseInsensitive) == 0;
  Say(IconWord(icon), text + (yes ? " -> yes" : " -> no"));
  return yes ? MessageAnswer::kYes : MessageAnswer::kNo;
}

QString UnattendedDesktop::ChooseFileToOpen(QWidget*, const FileRequest& request) {
  Say("open file", request.title + " -> cancelled");
  return {};
}

QString UnattendedDesktop::ChooseFileToSave(QWidget*, const FileRequest& request) {
  Say("save file", request.title + " -> cancelled");
  return {};
}

QString UnattendedDesktop::ChooseFolder(QWidget*, const QString& title) {
  Say("folder", title + " -> cancelled");
  return {};
}

int UnattendedDesktop::RunDialog(QDialog& dialog) {
  Say("dialog", dialog.windowTitle() + " -> cancelled");
  return QDialog::Rejected;
}

void UnattendedDesktop::OpenUrl(const QUrl& url) { Say("browser", url.toString()); }

void UnattendedDesktop::EndProcess(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace ravelin
