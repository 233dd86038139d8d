// The centre of the main window: the records list of the selected table
// with its page label and the "Previous Records" and "Next Records"
// buttons, or the read-only definition text pane. Selections decide which
// face shows; the controls sit where the layout rule puts them.

#ifndef RAVELIN_SHELL_RECORDS_PANEL_H_
#define RAVELIN_SHELL_RECORDS_PANEL_H_

#include <QWidget>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace ravelin {

class RecordsTableModel;

inline constexpr char kLabelRecords[] = "Records";
inline constexpr char kTipPreviousRecords[] = "Previous Records";
inline constexpr char kTipNextRecords[] = "Next Records";

class RecordsPanel : public QWidget {
  Q_OBJECT

 public:
  explicit RecordsPanel(QWidget* parent = nullptr);

  // The records list, its label and both pager buttons together.
  void ShowRecordsFace(bool shown);
  void ShowDefinitionPane(bool shown);
  bool RecordsFaceShown() const;
  bool DefinitionPaneShown() const;

  void SetDefinitionText(const QString& text);
  void ClearDefinitionText();
  QString DefinitionText() const;

  void SetRecordsLabel(const QString& text);
  QString RecordsLabel() const;
  void EnablePrevious(bool enabled);
  void EnableNext(bool enabled);

  // A column named `header`, `width` pixels wide, at `position`.
  void InsertColumn(int position, const QString& header, int width);
  // The state of row `row`; the first one shows the status column.
  void SetRowStatus(int row, const std::string& status);
  void SelectRow(int row);
  void DeleteSelectedRows();

  // Deletes every row, clears the definition text pane and the label.
  void Clear();
  // Deletes the rows and then `count` columns from the left, when `count`
  // is above 0; clears the definition text pane in every case.
  void RemoveColumns(int count);

  // The selected rows as tab-separated text on the clipboard.
  void CopySelection(bool withHeaders);

  RecordsTableModel& model() const { return *model_; }
  QTableView& list() const { return *list_; }
  QPushButton& previousButton() const { return *previous_; }
  QPushButton& nextButton() const { return *next_; }

 signals:
  void previousRequested();
  void nextRequested();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ShowListMenu(const QPoint& position);

  RecordsTableModel* model_;
  QPushButton* previous_;
  QPushButton* next_;
  QTableView* list_;
  QPlainTextEdit* definition_;
  QLabel* label_;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_RECORDS_PANEL_H_
