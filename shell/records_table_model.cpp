#include "shell/records_table_model.h"

#include <QColor>
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
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return CellText(index.row(), index.column());
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  if (role == Qt::BackgroundRole && IsMarked(index.row())) return QColor(0xff, 0xe9, 0xc4);
  if (role == Qt::ForegroundRole && IsMarked(index.row())) return QColor(0x5a, 0x3a, 0x00);
  return {};
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
  const int at = std::clamp(position, 0, static_cast<int>(headers_.size()));
  beginInsertColumns(QModelIndex(), at, at);
  headers_.insert(headers_.begin() + at, header);
  for (Row& cells : rows_)
    if (static_cast<size_t>(at) < cells.size()) cells.insert(cells.begin() + at, std::string());
  if (fillerColumn_ >= at) ++fillerColumn_;
  FindStatusColumn();
  endInsertColumns();
}

void RecordsTableModel::RemoveColumn(int position) {
  if (position < 0 || position >= static_cast<int>(headers_.size())) return;
  Commit();
  beginRemoveColumns(QModelIndex(), position, position);
  headers_.erase(headers_.begin() + position);
  for (Row& cells : rows_)
    if (static_cast<size_t>(position) < cells.size()) cells.erase(cells.begin() + position);
  if (fillerColumn_ == position)
    fillerColumn_ = -1;
  else if (fillerColumn_ > position)
    --fillerColumn_;
  FindStatusColumn();
  endRemoveColumns();
}

void RecordsTableModel::InsertRow(int index, const std::string& text) {
  const int shown = static_cast<int>(rows_.size());
  if (index >= shown) {
    const size_t at = std::min(static_cast<size_t>(index - shown), staged_.size());
    staged_.insert(staged_.begin() + static_cast<std::ptrdiff_t>(at), Row{text});
    if (staged_.size() == 1) emit rowsStaged();
    return;
  }
  Commit();
  const int at = std::max(index, 0);
  beginInsertRows(QModelIndex(), at, at);
  rows_.insert(rows_.begin() + at, Row{text});
  endInsertRows();
}

void RecordsTableModel::SetCell(int row, int column, const std::string& text) {
  Row* cells = RowAt(row);
  if (!cells || column < 0) return;
  if (static_cast<size_t>(column) >= cells->size()) cells->resize(static_cast<size_t>(column) + 1);
  (*cells)[static_cast<size_t>(column)] = text;
  if (row < static_cast<int>(rows_.size())) {
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
  }
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
  const Row& cells = rows_[static_cast<size_t>(row)];
  if (static_cast<size_t>(column) >= cells.size()) return {};
  return QString::fromStdString(cells[static_cast<size_t>(column)]);
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
