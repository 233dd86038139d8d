#include "shell/records_table_model.h"

#include <QColor>
#include <QFont>
#include <algorithm>
#include <set>

namespace ravelin {
namespace {

QString TsvField(const QString& text) {
  if (!text.contains('\t') && !text.contains('\n') && !text.contains('\r') && !text.contains('"')) return text;
  QString quoted = text;
  quoted.replace("\"", "\"\"");
  return "\"" + quoted + "\"";
}

}  // namespace

RecordsTableModel::RecordsTableModel(QObject* parent) : QAbstractTableModel(parent), headers_(1) {}

int RecordsTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordsTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant RecordsTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const std::optional<CellMark> mark = CellMarkAt(index.row(), index.column());
  switch (role) {
    case Qt::DisplayRole:
      return CellText(index.row(), index.column());
    case Qt::ToolTipRole:
      if (mark == CellMark::kUnreadable) return tr("This value exists but could not be read.");
      if (mark == CellMark::kPartlyUnreadable)
        return tr("Only part of this value could be read; the marker at its end says where reading stopped.");
      return CellText(index.row(), index.column());
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::BackgroundRole:
      if (IsMarked(index.row())) return QColor(0xff, 0xe9, 0xc4);
      return {};
    case Qt::ForegroundRole:
      if (mark) return QColor(0xb0, 0x00, 0x20);
      if (IsMarked(index.row())) return QColor(0x5a, 0x3a, 0x00);
      return {};
    case Qt::FontRole:
      if (mark == CellMark::kUnreadable) {
        QFont font;
        font.setItalic(true);
        return font;
      }
      return {};
    default:
      return {};
  }
}

bool RecordsTableModel::IsMarked(int row) const {
  if (statusColumn_ < 0) return false;
  const QString status = CellText(row, statusColumn_);
  return !status.isEmpty() && status != QLatin1String(kRowStatusLive);
}

void RecordsTableModel::FindStatusColumn() {
  const auto it = std::find(headers_.begin(), headers_.end(), QLatin1String(kRowStatusHeader));
  statusColumn_ = it == headers_.end() ? -1 : static_cast<int>(it - headers_.begin());
}

QVariant RecordsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= static_cast<int>(headers_.size())) return {};
    if (role == Qt::DisplayRole) return headers_[static_cast<size_t>(section)];
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
  }
  if (role == Qt::DisplayRole) return section + 1;
  return {};
}

void RecordsTableModel::Commit() {
  if (staged_.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(staged_.size()) - 1);
  for (Row& row : staged_) rows_.push_back(std::move(row));
  staged_.clear();
  endInsertRows();
}

RecordsTableModel::Row* RecordsTableModel::RowAt(int row) {
  if (row < 0 || row >= TotalRows()) return nullptr;
  const size_t at = static_cast<size_t>(row);
  return at < rows_.size() ? &rows_[at] : &staged_[at - rows_.size()];
}

void RecordsTableModel::InsertColumn(int position, const QString& header) {
  Commit();
  const int at = std::clamp(ModelColumn(std::max(position, 0)), 0, static_cast<int>(headers_.size()));
  beginInsertColumns(QModelIndex(), at, at);
  headers_.insert(headers_.begin() + at, header);
  for (Row& row : rows_) {
    if (static_cast<size_t>(at) < row.cells.size()) row.cells.insert(row.cells.begin() + at, std::string());
    if (static_cast<size_t>(at) < row.marks.size()) row.marks.insert(row.marks.begin() + at, kNoMark);
  }
  if (fillerColumn_ >= at) ++fillerColumn_;
  FindStatusColumn();
  endInsertColumns();
}

void RecordsTableModel::RemoveColumn(int position) {
  if (position < 0) return;
  const int at = ModelColumn(position);
  if (at >= static_cast<int>(headers_.size())) return;
  Commit();
  beginRemoveColumns(QModelIndex(), at, at);
  headers_.erase(headers_.begin() + at);
  for (Row& row : rows_) {
    if (static_cast<size_t>(at) < row.cells.size()) row.cells.erase(row.cells.begin() + at);
    if (static_cast<size_t>(at) < row.marks.size()) row.marks.erase(row.marks.begin() + at);
  }
  if (fillerColumn_ == at)
    fillerColumn_ = -1;
  else if (fillerColumn_ > at)
    --fillerColumn_;
  FindStatusColumn();
  endRemoveColumns();
  // The table's columns went: the next table says again whether it lists
  // row states.
  if (statusShown_ && ListColumns() == 0) ShowStatusColumn(false);
}

int RecordsTableModel::ListColumns() const {
  return static_cast<int>(headers_.size()) - (fillerColumn_ >= 0 ? 1 : 0) - (statusShown_ ? 1 : 0);
}

void RecordsTableModel::ShowStatusColumn(bool shown) {
  if (shown == statusShown_) return;
  Commit();
  if (shown) {
    beginInsertColumns(QModelIndex(), 0, 0);
    headers_.insert(headers_.begin(), QString::fromLatin1(kRowStatusHeader));
    for (Row& row : rows_) {
      row.cells.insert(row.cells.begin(), std::string());
      if (!row.marks.empty()) row.marks.insert(row.marks.begin(), kNoMark);
    }
    if (fillerColumn_ >= 0) ++fillerColumn_;
  } else {
    beginRemoveColumns(QModelIndex(), 0, 0);
    headers_.erase(headers_.begin());
    for (Row& row : rows_) {
      if (!row.cells.empty()) row.cells.erase(row.cells.begin());
      if (!row.marks.empty()) row.marks.erase(row.marks.begin());
    }
    if (fillerColumn_ > 0) --fillerColumn_;
  }
  statusShown_ = shown;
  FindStatusColumn();
  if (shown)
    endInsertColumns();
  else
    endRemoveColumns();
}

void RecordsTableModel::InsertRow(int index, const std::string& text) {
  Row row;
  if (statusShown_) row.cells.emplace_back();
  row.cells.push_back(text);
  const int shown = static_cast<int>(rows_.size());
  if (index >= shown) {
    const size_t at = std::min(static_cast<size_t>(index - shown), staged_.size());
    staged_.insert(staged_.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
    if (staged_.size() == 1) emit rowsStaged();
    return;
  }
  Commit();
  const int at = std::max(index, 0);
  beginInsertRows(QModelIndex(), at, at);
  rows_.insert(rows_.begin() + at, std::move(row));
  endInsertRows();
}

void RecordsTableModel::SetCell(int row, int column, const std::string& text) {
  Row* cells = RowAt(row);
  if (!cells || column < 0) return;
  const auto at = static_cast<size_t>(ModelColumn(column));
  if (at >= cells->cells.size()) cells->cells.resize(at + 1);
  cells->cells[at] = text;
  if (row < static_cast<int>(rows_.size())) {
    const QModelIndex changed = index(row, static_cast<int>(at));
    emit dataChanged(changed, changed, {Qt::DisplayRole});
  }
}

void RecordsTableModel::SetRowStatus(int row, const std::string& status) {
  if (!RowAt(row)) return;
  ShowStatusColumn(true);
  Row* cells = RowAt(row);
  if (cells->cells.empty()) cells->cells.resize(1);
  cells->cells[0] = status;
  if (row < static_cast<int>(rows_.size()))
    emit dataChanged(index(row, 0), index(row, static_cast<int>(headers_.size()) - 1));
}

void RecordsTableModel::MarkCell(int row, int column, CellMark mark) {
  Row* cells = RowAt(row);
  if (!cells || column < 0) return;
  const auto at = static_cast<size_t>(ModelColumn(column));
  if (at >= cells->marks.size()) cells->marks.resize(at + 1, kNoMark);
  cells->marks[at] = static_cast<uint8_t>(mark);
  if (row < static_cast<int>(rows_.size())) {
    const QModelIndex changed = index(row, static_cast<int>(at));
    emit dataChanged(changed, changed);
  }
}

std::optional<CellMark> RecordsTableModel::CellMarkAt(int row, int column) const {
  if (row < 0 || column < 0 || row >= static_cast<int>(rows_.size())) return std::nullopt;
  const std::vector<uint8_t>& marks = rows_[static_cast<size_t>(row)].marks;
  if (static_cast<size_t>(column) >= marks.size() || marks[static_cast<size_t>(column)] == kNoMark) return std::nullopt;
  return static_cast<CellMark>(marks[static_cast<size_t>(column)]);
}

void RecordsTableModel::RemoveRow(int row) {
  if (row < 0 || row >= TotalRows()) return;
  const int shown = static_cast<int>(rows_.size());
  if (row >= shown) {
    staged_.erase(staged_.begin() + (row - shown));
    return;
  }
  Commit();
  beginRemoveRows(QModelIndex(), row, row);
  rows_.erase(rows_.begin() + row);
  endRemoveRows();
}

void RecordsTableModel::RemoveAllRows() {
  staged_.clear();
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

QStringList RecordsTableModel::Headers() const { return QStringList(headers_.begin(), headers_.end()); }

QString RecordsTableModel::CellText(int row, int column) const {
  if (row < 0 || column < 0 || row >= static_cast<int>(rows_.size())) return {};
  const std::vector<std::string>& cells = rows_[static_cast<size_t>(row)].cells;
  const std::string none;
  const std::string& text = static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)] : none;
  if (text.empty() && CellMarkAt(row, column) == CellMark::kUnreadable) return QString::fromLatin1(kUnreadableCellText);
  return QString::fromStdString(text);
}

QString RecordsTableModel::SelectionAsTsv(const QModelIndexList& selected, bool withHeaders) const {
  std::set<int> rows, columns;
  for (const QModelIndex& index : selected) {
    if (!index.isValid() || IsFiller(index.column())) continue;
    rows.insert(index.row());
    columns.insert(index.column());
  }
  QString out;
  auto line = [&out, &columns](const auto& field) {
    bool first = true;
    for (int column : columns) {
      if (!first) out += '\t';
      out += TsvField(field(column));
      first = false;
    }
    out += '\n';
  };
  if (withHeaders && !columns.empty()) line([this](int column) { return headers_[static_cast<size_t>(column)]; });
  for (int row : rows) line([this, row](int column) { return CellText(row, column); });
  return out;
}

}  // namespace ravelin
