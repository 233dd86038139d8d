// What a listed row lost, in the words every listing warns with: its
// forwarded record, values that could not be read, large values that did
// not come out whole. `rows` and the exports report the same warnings.

#ifndef RAVELIN_ROWS_ROW_WARNINGS_H_
#define RAVELIN_ROWS_ROW_WARNINGS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "rows/table_rows.h"
#include "storage/progress_sink.h"

namespace ravelin {

inline constexpr char kTextValueUnreadable[] = "a value cannot be read";

// "row N (page F:P slot S)".
std::string RowWhere(uint64_t rowNumber, const TableRow& row);

// Appends the warnings about `row` of `table` (the `rowNumber`th listed) to
// `out`, for the columns of `columns` at the indexes `shown`: a row whose
// forwarded record is lost gets one warning; otherwise one per value that
// cannot be read (kTextValueUnreadable) and one per large value that is
// incomplete or cut short.
void AppendRowWarnings(const std::string& table, const TableRow& row, const RowColumnSet& columns,
                       const std::vector<size_t>& shown, uint64_t rowNumber, std::vector<Warning>& out);

// Reports, once per listing of `table`, the columns of its records that no
// column row describes any more.
void ReportColumnsWithoutRows(const RecordShape& shape, const std::string& table, ProgressSink* sink);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_ROW_WARNINGS_H_
