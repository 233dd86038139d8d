#include "recovery/records_panel_model.h"

#include <algorithm>

namespace ravelin {

void RecordsPanelModel::DeleteAllRecordRows() {
  rows.clear();
  selectedRows.clear();
}

void RecordsPanelModel::InsertRecordRow(int index, const std::string& text) {
  const size_t at = std::min(static_cast<size_t>(std::max(index, 0)), rows.size());
  std::vector<std::string> row(std::max<size_t>(columns.size(), 1));
  row[0] = text;
  rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
  // Selected rows below the new one move down with it.
  std::set<int> moved;
  for (int r : selectedRows) moved.insert(r >= static_cast<int>(at) ? r + 1 : r);
  selectedRows = std::move(moved);
}

void RecordsPanelModel::SetRecordCell(int row, int column, const std::string& text) {
  if (row < 0 || column < 0 || row >= static_cast<int>(rows.size())) return;
  std::vector<std::string>& cells = rows[static_cast<size_t>(row)];
  if (static_cast<size_t>(column) >= cells.size()) cells.resize(static_cast<size_t>(column) + 1);
  cells[static_cast<size_t>(column)] = text;
}

void RecordsPanelModel::SelectRecordRow(int row) {
  if (row >= 0 && row < static_cast<int>(rows.size())) selectedRows.insert(row);
}

void RecordsPanelModel::DeleteSelectedRecordRows() {
  for (auto it = selectedRows.rbegin(); it != selectedRows.rend(); ++it) rows.erase(rows.begin() + *it);
  selectedRows.clear();
}

void RecordsPanelModel::DeleteRecordRow(int row) {
  if (row < 0 || row >= static_cast<int>(rows.size())) return;
  rows.erase(rows.begin() + row);
  std::set<int> moved;
  for (int r : selectedRows)
    if (r != row) moved.insert(r > row ? r - 1 : r);
  selectedRows = std::move(moved);
}

void RecordsPanelModel::InsertRecordColumn(int position, const std::string& header, int /*width*/) {
  const size_t at = std::min(static_cast<size_t>(std::max(position, 0)), columns.size());
  columns.insert(columns.begin() + static_cast<std::ptrdiff_t>(at), header);
}

void RecordsPanelModel::DeleteRecordColumn(int position) {
  if (position < 0 || position >= static_cast<int>(columns.size())) return;
  columns.erase(columns.begin() + position);
  for (std::vector<std::string>& cells : rows)
    if (static_cast<size_t>(position) < cells.size()) cells.erase(cells.begin() + position);
}

}  // namespace ravelin
