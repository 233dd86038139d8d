// The rows of the records list: the one page of a table the list shows,
// held as the texts the core rendered. The view paints only the cells in
// sight, so a page of a thousand rows costs no widget per cell.
//
// A listing adds its rows one call at a time. Rows added at the end are
// first staged: they count (TotalRows) and can be filled in at once, but
// the views learn of them in batches (Commit), so that the list is not
// laid out and painted again for every row. Any other change commits the
// staged rows first.
//
// The list starts with one column without a header, a filler that stays
// to the right of every table's columns (the core counts only the columns
// it set up, so it never removes the filler). It is left out when cells
// are copied.

#ifndef RAVELIN_SHELL_RECORDS_TABLE_MODEL_H_
#define RAVELIN_SHELL_RECORDS_TABLE_MODEL_H_

#include <QAbstractTableModel>
#include <QModelIndexList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recovery/recovery_view.h"

namespace ravelin {

// A column of this name tells each row's state; rows that are not "live"
// (deleted, found by the byte search, on free pages, suspect) are tinted.
// The model adds it at the left when the listing first gives a row's
// state, and drops it when the table's columns go; the core's column
// positions never count it.
inline constexpr char kRowStatusHeader[] = "ravelin_status";
inline constexpr char kRowStatusLive[] = "live";
// What a value that exists but cannot be read shows: never NULL, never
// blank like an empty value.
inline constexpr char kUnreadableCellText[] = "<unreadable>";

class RecordsTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit RecordsTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // The rows the list holds, staged ones included.
  int TotalRows() const { return static_cast<int>(rows_.size() + staged_.size()); }
  bool HasStaged() const { return !staged_.empty(); }
  // Shows the staged rows.
  void Commit();

  // Columns are counted as the core counts them (the status column left
  // out); ModelColumn gives a column's place among the model's columns.
  // A column at `position` (clamped to the end).
  void InsertColumn(int position, const QString& header);
  void RemoveColumn(int position);
  int ModelColumn(int column) const { return column + (statusShown_ ? 1 : 0); }
  // A row at `index` (past the end: appended) whose first cell is `text`;
  // at the end it is staged.
  void InsertRow(int index, const std::string& text);
  void SetCell(int row, int column, const std::string& text);
  void RemoveRow(int row);
  void RemoveAllRows();
  // The state of row `row`, in the status column (shown from then on).
  void SetRowStatus(int row, const std::string& status);
  bool StatusShown() const { return statusShown_; }
  // Cell `column` of row `row` did not come out whole: an unreadable one
  // shows kUnreadableCellText, both are set apart in colour.
  void MarkCell(int row, int column, CellMark mark);
  // The mark of a shown cell (model column), if it has one.
  std::optional<CellMark> CellMarkAt(int row, int column) const;

  // Whether `column` is the filler column the list was created with.
  bool IsFiller(int column) const { return column == fillerColumn_; }
  QStringList Headers() const;
  // The text of one shown cell (model column) as the list shows it; empty
  // when the row never got one.
  QString CellText(int row, int column) const;

  // The cells of the rows and columns `selected` touches, as tab-separated
  // lines (with a header line of column names when `withHeaders`). A
  // field holding a tab, a line break or a quote is quoted, its quotes
  // doubled, as spreadsheets read it.
  QString SelectionAsTsv(const QModelIndexList& selected, bool withHeaders) const;

 signals:
  // Rows were staged while none were: a Commit is due.
  void rowsStaged();

 private:
  // Cells by model column; marks beside them (kNoMark when none).
  struct Row {
    std::vector<std::string> cells;
    std::vector<uint8_t> marks;
  };
  static constexpr uint8_t kNoMark = 0xFF;
  // The row `row` counts among all rows, staged ones included.
  Row* RowAt(int row);
  // Whether shown row `row` has a status other than live.
  bool IsMarked(int row) const;
  void FindStatusColumn();
  // Adds or drops the status column at the left, with a cell in each row.
  void ShowStatusColumn(bool shown);
  // The core's columns the model holds (the filler and status left out).
  int ListColumns() const;

  std::vector<QString> headers_;
  std::vector<Row> rows_;
  std::vector<Row> staged_;
  int fillerColumn_ = 0;
  int statusColumn_ = -1;
  bool statusShown_ = false;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_RECORDS_TABLE_MODEL_H_
