// The records list of the table shown, in pages of at most 1000 rows: the
// first page when the table is selected, then "Next Records" and
// "Previous Records". Rows go into the list as soon as they are decoded;
// Next and Previous re-read the table from remembered page starts instead
// of keeping earlier pages.
//
// The pager keeps its bookkeeping in RecoveryState::paging and drives the
// records panel through RecoveryView. Each operation runs on the job's
// worker; the job (not the pager) clears `busy` when it returns. Every
// listing ends early when `stopRequested` is set.

#ifndef RAVELIN_RECOVERY_RECORDS_PAGER_H_
#define RAVELIN_RECOVERY_RECORDS_PAGER_H_

#include <optional>
#include <string>

#include "recovery/recovery_state.h"
#include "rows/table_rows.h"
#include "storage/progress_sink.h"

namespace ravelin {

inline constexpr int kRecordsPageSize = 1000;
inline constexpr char kTextPage[] = "Page";

// "Page2 - [1000](1001-2000) Records": the pager label of the page holding
// rows first..last (count of them).
std::string PagerLabel(int32_t pageNumber, int64_t count, int64_t first, int64_t last);

class RecordsPager {
 public:
  // `state` and `sink` must outlive the pager.
  RecordsPager(RecoveryState& state, ProgressSink& sink) : state_(state), sink_(sink) {}

  // Lists the first page of the table the catalog prepared last (its
  // columnDescriptors), with the first-page listing flag set. The caller
  // sets the pager label and buttons afterwards (Next when
  // state.paging.HasNextPage()).
  void ListFirstPage();
  // The page after the one shown; refused (Next disabled) at the end.
  void ListNextPage();
  // The page before the one shown, with its own label. From the first
  // page it lists the first page again.
  void ListPreviousPage();

 private:
  // Lists rows from `start` until a page is full; returns the start of the
  // row that did not fit, or nothing when the table (or a stop) ended the
  // page first. `firstPage`: the listing of ListFirstPage.
  std::optional<PageStart> ListFrom(PageStart start, bool firstPage);
  // Inserts one row (and removes it again when it is blank).
  void InsertRow(const TableRow& row, const RowColumnSet& columns, bool nullIsBlank, bool logRow);
  void WarnAboutDamage(const TableRow& row, const RowColumnSet& columns);
  // Marks cell `cell` of list row `index` when the value of column
  // `column` did not come out whole (only rows read with data values).
  void MarkCell(int index, int cell, const TableRow& row, size_t column);
  void BeginListing();
  void ShowPageLabel();
  void EndPageListing();
  bool StopRequested() const;

  RecoveryState& state_;
  ProgressSink& sink_;
  // Rows of the listing that are in the list (inserted less removed): the
  // list index of the next row.
  int listRows_ = 0;
};

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_RECORDS_PAGER_H_
