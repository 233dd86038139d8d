// The warnings a listed row gives.

#include "rows/row_warnings.h"

namespace ravelin {

std::string RowWhere(uint64_t rowNumber, const TableRow& row) {
  const PageRef page = row.location.page;
  return "row " + std::to_string(rowNumber) + " (page " + std::to_string(page.fileId) + ":" +
         std::to_string(page.pageNo) + " slot " + std::to_string(row.location.slot) + ")";
}

void AppendRowWarnings(const std::string& table, const TableRow& row, const RowColumnSet& columns,
                       const std::vector<size_t>& shown, uint64_t rowNumber, std::vector<Warning>& out) {
  if (row.forwardUnreadable) {
    out.push_back({table, "the row's forwarded record cannot be read", RowWhere(rowNumber, row)});
    return;
  }
  for (size_t c : shown) {
    if (c < row.data.size() && row.data[c].IsUnreadable())
      out.push_back({table, kTextValueUnreadable, RowWhere(rowNumber, row) + ", column " + columns[c].name});
  }
  for (const ValueIssue& issue : row.issues) {
    // A value that could not be read at all was named above.
    if (issue.column < row.data.size() && row.data[issue.column].IsUnreadable()) continue;
    if (issue.column >= columns.size()) continue;
    // A large value that lost parts says so; a value damaged otherwise is
    // unreadable past its marker.
    const char* what = issue.truncated    ? "a large value is longer than can be assembled and was cut short"
                       : issue.incomplete ? "a large value is incomplete: some of its parts cannot be read"
                                          : kTextValueUnreadable;
    out.push_back({table, what, RowWhere(rowNumber, row) + ", column " + columns[issue.column].name});
  }
}

void ReportColumnsWithoutRows(const RecordShape& shape, const std::string& table, ProgressSink* sink) {
  if (!sink) return;
  if (shape.layoutAssumed)
    sink->ReportWarning(Warning{table,
                                "the physical rows of its columns are lost; its values are read in the columns' "
                                "declared order, which its records may not follow",
                                ""});
  if (!shape.namesLost.empty()) {
    const size_t n = shape.namesLost.size();
    std::string names;
    for (const std::string& name : shape.namesLost) names += (names.empty() ? "" : ", ") + name;
    sink->ReportWarning(Warning{
        table,
        std::to_string(n) + (n == 1 ? " column has" : " columns have") + " lost " +
            (n == 1 ? "its column row and its name" : "their column rows and names") + "; read with the types their " +
            (shape.namesLostFromIndexRows ? "index rows" : "physical rows") + " give, listed as " + names,
        ""});
  }
  if (shape.columnsWithoutRows <= 0) return;
  const int32_t n = shape.columnsWithoutRows;
  Warning warning;
  warning.subject = table;
  warning.what = std::to_string(n) + (n == 1 ? " column of its records has" : " columns of its records have") +
                 " lost " + (n == 1 ? "its column row; its values are" : "their column rows; their values are") +
                 " left out";
  sink->ReportWarning(warning);
}

}  // namespace ravelin
