// The rows of the records list: the one page of a table the list shows,
// held as the texts the core rendered. The view paints only the cells in
// sight, so a page of a thousand rows costs no widget per cell.
//
// The list starts with one column without a header, a filler that stays
// to the right of every table's columns (the core counts only the columns
// it set up, so it never removes the filler). It is left out when cells
// are copied.

#ifndef RAVELIN_SHELL_RECORDS_TABLE_MODEL_H_
#define RAVELIN_SHELL_RECORDS_TABLE_MODEL_H_

#include <QAbstractTableModel>
#include <QModelIndexList>
#include <string>
#include <vector>

namespace ravelin {

class RecordsTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit RecordsTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // A column at `position` (clamped to the end).
  void InsertColumn(int position, const QString& header);
  void RemoveColumn(int position);
  // A row at `index` (past the end: appended) whose first cell is `text`.
  void InsertRow(int index, const std::string& text);
  void SetCell(int row, int column, const std::string& text);
  void RemoveRow(int row);
  void RemoveAllRows();

  // Whether `column` is the filler column the list was created with.
  bool IsFiller(int column) const { return column == fillerColumn_; }
  QStringList Headers() const;
  // The text of one cell; empty when the row never got one.
  QString CellText(int row, int column) const;

  // The cells of the rows and columns `selected` touches, as tab-separated
  // lines (with a header line of column names when `withHeaders`). A
  // field holding a tab, a line break or a quote is quoted, its quotes
  // doubled, as spreadsheets read it.
  QString SelectionAsTsv(const QModelIndexList& selected, bool withHeaders) const;

 private:
  std::vector<QString> headers_;
  std::vector<std::vector<std::string>> rows_;
  int fillerColumn_ = 0;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_RECORDS_TABLE_MODEL_H_
