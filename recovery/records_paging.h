// Where the records list stands in the listing of the table shown: the
// page number of the pager label and the bookkeeping that Next and
// Previous continue from. Part of RecoveryState; reset with every table
// shown and with every scan. RecordsPager (recovery/records_pager.h) drives it.

#ifndef RAVELIN_RECOVERY_RECORDS_PAGING_H_
#define RAVELIN_RECOVERY_RECORDS_PAGING_H_

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/column_descriptor.h"
#include "catalog/record_shape.h"
#include "rows/table_rows.h"
#include "rows/value_decoder.h"

namespace ravelin {

// A position in a listing: a page of its page list and a row of that
// page's rows.
struct PageStart {
  int64_t pageIndex = 0;
  int64_t rowIndex = 0;

  friend bool operator==(const PageStart&, const PageStart&) = default;
};

struct RecordsPagingState {
  // The number the pager label shows; 0 before the first page is listed.
  int32_t pageNumber = 0;
  // Starts of the pages listed so far; the bottom entry is {0, 0}.
  std::vector<PageStart> pageStarts;
  // Where the page after the one shown begins.
  PageStart nextStart;
  // The top of pageStarts is the start of the page after the one shown
  // (the page shown was full). When it is not, the top is the shown
  // page's own start and there is no page after it.
  bool nextPagePushed = false;
  // Rows before the page shown, and up to its last row.
  int64_t rangeStart = 0;
  int64_t rangeEnd = 0;
  // Running total of rows listed; bookkeeping only.
  int64_t totalRows = 0;
  // Rows inserted for the page shown, blank rows removed again included.
  int32_t insertedCount = 0;

  // The table the listing belongs to, as its first page found it: its
  // page list, its columns, the reader they need and the first column
  // stored in the records. Next and Previous re-read from these.
  TablePageList pages;
  std::vector<ColumnDescriptor> columns;
  ColumnReader reader = ColumnReader::kPositional;
  int32_t firstStoredColumn = 0;
  RecordShape shape;
  std::string table;

  // Depth of pageStarts, the number of page starts known.
  int32_t depth() const { return static_cast<int32_t>(pageStarts.size()); }
  // Whether a page follows the one shown.
  bool HasNextPage() const { return nextPagePushed && depth() >= 2; }

  void Reset() { *this = RecordsPagingState(); }
};

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_RECORDS_PAGING_H_
