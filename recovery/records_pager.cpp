#include "recovery/records_pager.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "rows/row_warnings.h"

namespace ravelin {
namespace {

std::string RowsToText(int64_t from, int64_t to) {
  char text[64];
  std::snprintf(text, sizeof text, "%" PRId64 " rows to %" PRId64, from, to);
  return text;
}

}  // namespace

std::string PagerLabel(int32_t pageNumber, int64_t count, int64_t first, int64_t last) {
  char text[128];
  std::snprintf(text, sizeof text, "%s%d - [%" PRId64 "](%" PRId64 "-%" PRId64 ") Records", kTextPage, pageNumber,
                count, first, last);
  return text;
}

bool RecordsPager::StopRequested() const { return state_.settings().stopRequested.load(); }

void RecordsPager::BeginListing() {
  state_.view().DeleteAllRecordRows();
  state_.paging.insertedCount = 0;
  listRows_ = 0;
}

void RecordsPager::ShowPageLabel() {
  const RecordsPagingState& p = state_.paging;
  state_.view().SetRecordsLabel(PagerLabel(p.pageNumber, p.rangeEnd - p.rangeStart, p.rangeStart + 1, p.rangeEnd));
}

void RecordsPager::MarkCell(int index, int cell, const TableRow& row, size_t column) {
  if (column >= row.data.size()) return;
  const DataValue& value = row.data[column];
  if (value.IsUnreadable())
    state_.view().MarkRecordCell(index, cell, CellMark::kUnreadable);
  else if (value.IsPartlyUnreadable())
    state_.view().MarkRecordCell(index, cell, CellMark::kPartlyUnreadable);
}

// A value read only in part shows its text up to the damage and a marker;
// the warning says which row and column lost the rest.
void RecordsPager::WarnAboutDamage(const TableRow& row, const RowColumnSet& columns) {
  for (const ValueIssue& issue : row.issues) {
    if (!issue.damaged || issue.column >= columns.size()) continue;
    const PageRef page = row.location.page;
    sink_.ReportWarning({state_.paging.table, "a value cannot be read",
                         "page " + std::to_string(page.fileId) + ":" + std::to_string(page.pageNo) + " slot " +
                             std::to_string(row.location.slot) + ", column " + columns[issue.column].name});
  }
}

void RecordsPager::InsertRow(const TableRow& row, const RowColumnSet& columns, bool nullIsBlank, bool logRow) {
  RecordsPagingState& p = state_.paging;
  RecoveryView& view = state_.view();
  const size_t n = std::min(columns.size(), row.values.size());
  const size_t f = static_cast<size_t>(std::max(p.firstStoredColumn, 0));
  if (f < n) {
    const int index = listRows_;
    const std::string& first = row.values[f];
    view.InsertRecordRow(index, first);
    const RecoverySettings& settings = state_.settings();
    if (settings.showDeleted || settings.listSuspects || row.status != RowStatus::kLive)
      view.SetRecordRowStatus(index, RowStatusText(row.status));
    MarkCell(index, 0, row, f);
    // A row is blank when every column says nothing: such a row is noise
    // of a damaged page, not a record.
    size_t blank = first.empty() || first == kNullText ? 1 : 0;
    int cell = 1;
    for (size_t k = f + 1; k < n; ++k) {
      if (columns[k].hobtColumnId == kDroppedColumnId) continue;
      const std::string& value = row.values[k];
      MarkCell(index, cell, row, k);
      view.SetRecordCell(index, cell++, value);
      if (nullIsBlank ? value == kNullText : value.empty()) ++blank;
    }
    // Only the row just inserted goes; rows the user selected stay.
    if (blank == columns.size())
      view.DeleteRecordRow(index);
    else
      ++listRows_;
  }
  WarnAboutDamage(row, columns);
  ++p.insertedCount;
  char text[48];
  std::snprintf(text, sizeof text, " row %d inserted", p.insertedCount);
  view.SetCaptionText(text);
  if (logRow) {
    sink_.AppendLogLine(text);
    sink_.SetProgressPos(p.insertedCount);
  }
}

std::optional<PageStart> RecordsPager::ListFrom(PageStart start, bool firstPage) {
  RecordsPagingState& p = state_.paging;
  OpenedDatabase* db = state_.database();
  if (!db || p.columns.empty()) return std::nullopt;
  // A reader that knows the listing's pages lists every row on the same
  // page and at the same index however often a page is read again.
  TableRowReader reader(*db, p.columns, p.reader, firstPage);
  reader.SetListingPages(p.pages);
  reader.SetRecordShape(p.shape, &sink_, p.table);
  if (firstPage && start.pageIndex <= 0) ReportColumnsWithoutRows(p.shape, p.table, &sink_);
  // Which values are unreadable takes their data values; only a list that
  // marks them pays for that.
  reader.SetDataValues(state_.view().MarksRecordCells());
  // The first page of a page-chain listing counts NULL columns as blank.
  const bool nullIsBlank = firstPage && p.pages.source == PageSource::kPageChain;
  const auto pageCount = static_cast<int64_t>(p.pages.size());
  for (int64_t i = std::max<int64_t>(start.pageIndex, 0); i < pageCount; ++i) {
    if (StopRequested()) return std::nullopt;
    const std::vector<TableRow> rows = reader.ReadPageRows(p.pages.pages[static_cast<size_t>(i)]);
    const int64_t rowCount = static_cast<int64_t>(rows.size());
    for (int64_t j = i == start.pageIndex ? std::max<int64_t>(start.rowIndex, 0) : 0; j < rowCount; ++j) {
      if (StopRequested()) return std::nullopt;
      if (p.insertedCount >= kRecordsPageSize) return PageStart{i, j};
      InsertRow(rows[static_cast<size_t>(j)], reader.columns(), nullIsBlank, !firstPage);
    }
    if (firstPage) sink_.SetProgressPos(i + 1);
  }
  return std::nullopt;
}

void RecordsPager::ListFirstPage() {
  RecordsPagingState& p = state_.paging;
  RecoverySettings& settings = state_.settings();
  settings.firstPageListing = true;
  p.pageStarts.assign(1, PageStart{});
  p.nextStart = PageStart{};
  p.nextPagePushed = false;
  p.totalRows = 0;
  p.insertedCount = 0;
  listRows_ = 0;

  OpenedDatabase* db = state_.database();
  SystemCatalog* catalog = state_.catalog();
  if (db && catalog) {
    p.pages = CollectListingPages(db->file(), *catalog);
    p.columns = catalog->columnDescriptors;
    p.reader = ChooseColumnReader(*catalog);
    p.firstStoredColumn = catalog->firstStoredColumn;
    p.shape = catalog->DescribeRecordShape(p.columns);
    p.table = catalog->currentObject.name;
    if (std::optional<Warning> broken = ListingWarning(p.pages, p.table)) sink_.ReportWarning(*broken);
    if (std::optional<Warning> unreadable =
            UnreadablePagesWarning(db->file(), DescribeTableStorage(*catalog), p.pages, p.table))
      sink_.ReportWarning(*unreadable);
  } else {
    p.pages = TablePageList();
    p.columns.clear();
  }
  sink_.SetProgressRange(0, static_cast<int64_t>(p.pages.size()));
  sink_.SetProgressPos(0);

  if (std::optional<PageStart> next = ListFrom(PageStart{}, true)) {
    p.pageStarts.push_back(*next);
    p.nextStart = *next;
    p.nextPagePushed = true;
  }

  const int32_t c = p.insertedCount;
  p.totalRows += c;
  if (c > 0) {
    std::string text;
    p.rangeStart = 0;
    if (p.pages.source == PageSource::kPageChain) {
      const int count = state_.view().RecordRowCount();
      text = std::to_string(count);
      p.rangeEnd = count;
    } else {
      text = RowsToText(0, c);
      p.rangeEnd = c;
    }
    state_.view().SetCaptionText(text);
    sink_.AppendLogLine(text);
  }
  if (settings.stopRequested.load()) settings.stopRequested = false;
  settings.firstPageListing = false;
}

void RecordsPager::ListNextPage() {
  RecordsPagingState& p = state_.paging;
  RecoveryView& view = state_.view();
  if (p.depth() < 2) {
    view.EnableNextRecords(false);
    return;
  }
  view.ShowProgressBar(true);
  sink_.SetProgressRange(0, kRecordsPageSize);
  // The page shown did not fill up: it is the last one.
  if (!p.nextPagePushed) {
    view.EnableNextRecords(false);
    view.ShowProgressBar(false);
    return;
  }
  view.EnablePreviousRecords(true);
  view.EnableNextRecords(true);
  BeginListing();

  const std::optional<PageStart> next = ListFrom(p.nextStart, false);
  if (next) {
    p.pageStarts.push_back(*next);
    p.nextStart = *next;
  }
  p.nextPagePushed = next.has_value();

  const int32_t c = p.insertedCount;
  p.rangeStart = p.rangeEnd;
  p.rangeEnd += c;
  p.totalRows += c;
  ++p.pageNumber;
  EndPageListing();
  if (!next) view.EnableNextRecords(false);
}

void RecordsPager::ListPreviousPage() {
  RecordsPagingState& p = state_.paging;
  RecoveryView& view = state_.view();
  if (p.depth() < 2) {
    view.EnablePreviousRecords(false);
    view.EnableNextRecords(p.HasNextPage());
    return;
  }
  view.ShowProgressBar(true);
  sink_.SetProgressRange(0, kRecordsPageSize);
  view.EnableNextRecords(true);

  // The shown page's own start is the entry below the top when the page
  // was full (the top is then the start of the page after it), else the
  // top itself. The page before it is full, and the entry above its start
  // is where the shown page begins: that stays the top.
  const int32_t shown = p.nextPagePushed ? p.depth() - 2 : p.depth() - 1;
  const int32_t target = shown - 1;
  const bool backToFirst = target <= 0;
  PageStart from{};
  if (backToFirst) {
    view.EnablePreviousRecords(false);
    p.pageStarts.resize(2);
  } else {
    from = p.pageStarts[static_cast<size_t>(target)];
    p.pageStarts.resize(static_cast<size_t>(target) + 2);
  }
  p.nextStart = p.pageStarts.back();
  p.nextPagePushed = true;

  if (p.totalRows >= kRecordsPageSize) p.totalRows -= kRecordsPageSize;
  BeginListing();
  // The row after the page is known already: it is the page start kept on
  // top, also when a stop cuts the listing short.
  ListFrom(from, false);

  const int32_t c = p.insertedCount;
  if (p.depth() > 1) p.totalRows += c;
  if (backToFirst) {
    p.rangeStart = 0;
    p.pageNumber = 1;
  } else {
    p.rangeStart = std::max<int64_t>(p.rangeStart - kRecordsPageSize, 0);
    --p.pageNumber;
  }
  p.rangeEnd = p.rangeStart + c;
  EndPageListing();
}

// The closing steps of Next and Previous: the range as log line and
// caption, the pager label, and the list shown.
void RecordsPager::EndPageListing() {
  RecordsPagingState& p = state_.paging;
  RecoveryView& view = state_.view();
  const std::string text = RowsToText(p.rangeStart, p.rangeEnd);
  sink_.AppendLogLine(text);
  view.SetCaptionText(text);
  ShowPageLabel();
  view.ShowProgressBar(false);
  view.RepaintRecords();
}

}  // namespace ravelin
