// The output pane's list: one line per activity-log line, in one column
// without a header. Lines are never removed; the list follows the newest
// line while the user has not scrolled away from the end.
//
// Lines added at the end are staged and shown in batches (Commit), as a
// listing can log a line per row.

#ifndef RAVELIN_SHELL_OUTPUT_PANE_H_
#define RAVELIN_SHELL_OUTPUT_PANE_H_

#include <QListView>
#include <QStringList>

class QStringListModel;

namespace ravelin {

// The start of the lines the core's warnings give; the pane shows them in
// a colour of their own.
inline constexpr char kWarningLinePrefix[] = "warning: ";
bool IsWarningLine(const QString& line);

class OutputPane : public QListView {
  Q_OBJECT

 public:
  explicit OutputPane(QWidget* parent = nullptr);

  // Inserts `text` as the line at `index` (past the end: appended); at
  // the end it is staged.
  void InsertLine(int index, const QString& text);
  // Shows the staged lines.
  void Commit();
  bool HasStaged() const { return !staged_.isEmpty(); }

  // The lines shown.
  QStringList Lines() const;
  int LineCount() const;

 signals:
  // Lines were staged while none were: a Commit is due.
  void linesStaged();

 private:
  QStringListModel* model_;
  QStringList staged_;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_OUTPUT_PANE_H_
