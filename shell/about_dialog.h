// The about box: the program's title, what it is, and links to the maker's
// site and mail addresses. Only its OK button closes it (Enter and Escape
// do nothing), and it can be dragged by any spot of its face.

#ifndef RAVELIN_SHELL_ABOUT_DIALOG_H_
#define RAVELIN_SHELL_ABOUT_DIALOG_H_

#include <QDialog>
#include <QPoint>

#include "shell/web_addresses.h"

namespace ravelin {

class Desktop;

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  AboutDialog(const WebAddresses& addresses, Desktop& desktop, QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPoint dragOffset_;
  bool dragging_ = false;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_ABOUT_DIALOG_H_
