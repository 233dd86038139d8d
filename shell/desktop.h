// Everything the desktop program asks of the user or of the desktop beyond
// its own windows: message boxes, file and folder pickers, modal dialogs,
// the default browser, and ending the process. One small interface, so that
// tests answer the questions and record what would have been shown.

#ifndef RAVELIN_SHELL_DESKTOP_H_
#define RAVELIN_SHELL_DESKTOP_H_

#include <QString>
#include <QUrl>

#include "recovery/recovery_view.h"

class QDialog;
class QWidget;

namespace ravelin {

inline constexpr char kApplicationTitle[] = "Velmora Ravelin";

// What a file picker is asked for.
struct FileRequest {
  QString title;
  // Qt's filter syntax: "MDF files (*.mdf);;All files (*)".
  QString filter;
  // Added to a name typed without one.
  QString defaultSuffix;
  // The name first shown.
  QString initialName;
};

class Desktop {
 public:
  virtual ~Desktop() = default;

  // A box captioned with the application title; `parent` null for a box
  // without an owner window.
  virtual MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon, MessageButtons buttons) = 0;
  // An existing file chosen to open, or empty when cancelled.
  virtual QString ChooseFileToOpen(QWidget* parent, const FileRequest& request) = 0;
  // A file to write (the user confirmed replacing an existing one), or
  // empty when cancelled.
  virtual QString ChooseFileToSave(QWidget* parent, const FileRequest& request) = 0;
  // An existing folder, or empty when cancelled.
  virtual QString ChooseFolder(QWidget* parent, const QString& title) = 0;
  // Runs `dialog` modally; QDialog::Accepted or QDialog::Rejected.
  virtual int RunDialog(QDialog& dialog) = 0;
  // Opens a web page, a local page or a mail address with the desktop's
  // default program.
  virtual void OpenUrl(const QUrl& url) = 0;
  // Ends the process at once with `code`: no further shutdown step runs.
  virtual void EndProcess(int code) = 0;

  void Inform(QWidget* parent, const QString& text) {
    ShowMessage(parent, text, MessageIcon::kInformation, MessageButtons::kOk);
  }
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_DESKTOP_H_
