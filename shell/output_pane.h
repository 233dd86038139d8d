// The output pane's list: one line per activity-log line, in one column
// without a header. Lines are never removed; the list follows the newest
// line while the user has not scrolled away from the end.

#ifndef RAVELIN_SHELL_OUTPUT_PANE_H_
#define RAVELIN_SHELL_OUTPUT_PANE_H_

#include <QListView>
#include <QStringList>

class QStringListModel;

namespace ravelin {

class OutputPane : public QListView {
  Q_OBJECT

 public:
  explicit OutputPane(QWidget* parent = nullptr);

  // Inserts `text` as the line at `index` (past the end: appended).
  void InsertLine(int index, const QString& text);
  QStringList Lines() const;
  int LineCount() const;

 private:
  QStringListModel* model_;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_OUTPUT_PANE_H_
