// Table row extraction: which pages hold a table's records, and the rows
// the records of one page give.
//
// A listing first collects the table's page list (CollectListingPages),
// then reads the pages one at a time through a TableRowReader, which owns
// the listing's copy of the column descriptors and decodes every record
// column by column (rows/value_decoder.h).

#ifndef RAVELIN_ROWS_TABLE_ROWS_H_
#define RAVELIN_ROWS_TABLE_ROWS_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "catalog/column_descriptor.h"
#include "catalog/record_shape.h"
#include "catalog/system_rows.h"
#include "rows/data_value.h"
#include "rows/row_status.h"
#include "rows/value_decoder.h"
#include "storage/page_types.h"
#include "storage/progress_sink.h"
#include "storage/record.h"

namespace ravelin {

class CDatabaseFile;
class OpenedDatabase;
class PrimaryRecordPage;
class SystemCatalog;

// Where the pages of a listing came from.
enum class PageSource {
  kNone,
  kTablePages,     // the pages the full scan filed under the table
  kPageChain,      // next-page pointers of the page headers
  kDataPageChain,  // next-page pointers, 2000 layout
  kIamChain,       // IAM pages linked by their headers
  kIamMap,         // the table's IAM pages in the page maps, 2000 layout
};

// The ordered pages of one listing of a table.
struct TablePageList {
  std::vector<PageRef> pages;
  PageSource source = PageSource::kNone;
  // Page header object ids of the table's pages; empty when the pages were
  // chosen by them already. A stale allocation pointer can lead into
  // another table's pages, whose rows must not be listed as this table's.
  std::set<uint32_t> owners;
  // The walk broke off at this page (unreadable, zeroed, not a page of the
  // chain), and this many of the table's pages it did not reach were added
  // from the page maps.
  std::optional<PageRef> brokenAt;
  size_t completedFromMaps = 0;
  // The pages were reached through the table's own allocation structures
  // (its IAM or page chain): one whose header is damaged is still the
  // table's. In Advanced mode only the pages of `repairHeaders` are.
  bool fromAllocation = false;
  std::set<PageRef> repairHeaders;
  // Pages the links of listed pages name that do not read as pages (zeroed
  // or unreadable), each with the page that links to it; looked for where
  // the table's IAM pages cannot tell its pages.
  std::vector<std::pair<PageRef, PageRef>> lostLinks;
  // Pages the allocation maps mark as free: their rows are deleted data,
  // listed only with the deleted-record options (and then marked).
  std::set<PageRef> freePages;
  size_t freePagesLeftOut = 0;

  size_t size() const { return pages.size(); }
  bool empty() const { return pages.empty(); }
};

// What the page sources need to know of a prepared table.
struct TableStorage {
  int32_t objectId = 0;
  // The pages the full scan filed under the table (Advanced mode).
  std::vector<PageRef> tablePages;
  // 2005 and later: the in-row data unit and the index id of its rowset.
  int64_t allocUnitId = 0;
  PageRef firstPage{0, 0};
  PageRef firstIamPage{0, 0};
  int32_t indexId = 0;
  // The 2000 catalog layout, and its clustered index root when the table
  // has one.
  bool legacyLayout = false;
  std::optional<LegacyIndexRoot> legacyRoot;
};

// The storage of the table `catalog` prepared last.
TableStorage DescribeTableStorage(const SystemCatalog& catalog);

// A usable page pointer: file id and page number both non-zero.
bool IsUsablePageRef(PageRef ref);
// A reference to a page that exists: 1 <= page number < its file's page
// count.
bool IsValidPageRef(const CDatabaseFile& file, PageRef ref);

// The table's pages for one listing. Advanced mode takes the pages the
// scan found; Standard mode follows the table's page chain or IAM pages
// and falls back to the scan's pages when those lead nowhere, or finishes
// a walk that broke off with the scan's pages it did not reach. Every walk
// ends at a page met before, an unreadable page, a zero page number or a
// stop request.
TablePageList CollectListingPages(const CDatabaseFile& file, const TableStorage& table);
TablePageList CollectListingPages(const CDatabaseFile& file, const SystemCatalog& catalog);

// The warning for a listing whose walk broke off, about `table`; nothing
// when the walk ended as it should.
std::optional<Warning> ListingWarning(const TablePageList& pages, const std::string& table);

// The warning for a listing that found no page while the table's first
// data page is named but does not read as a page (zeroed, or holding
// another page's bytes): the table's rows are lost, which an empty
// table's are not. Nothing otherwise.
std::optional<Warning> LostPagesWarning(const CDatabaseFile& file, const TableStorage& storage,
                                        const TablePageList& pages, const std::string& table);

// The warning for a listing that could not read pages the table's
// allocation gives it: pages its IAM pages list and the page maps call in
// use that read as nothing (zeroed, random, cut off with the file), whose
// rows, if they held any, are lost. Nothing when there are none, or when
// the listing found no page at all (LostPagesWarning speaks then).
std::optional<Warning> UnreadablePagesWarning(const CDatabaseFile& file, const TableStorage& storage,
                                              const TablePageList& pages, const std::string& table);

// The layout reader when the catalog gives the physical position of every
// column (2005+ with rowset columns), the positional reader otherwise.
ColumnReader ChooseColumnReader(const SystemCatalog& catalog);

// A listing's copy of the table's column descriptors.
using RowColumnSet = std::vector<ColumnDescriptor>;

// A value of a row that did not come out whole: a large value cut short or
// missing parts, or a value damaged part-way.
struct ValueIssue {
  size_t column = 0;        // index into the row's values
  bool truncated = false;   // longer than the reader assembles
  bool incomplete = false;  // parts of it could not be read
  bool damaged = false;     // read only in part: its text ends with a damage marker
};

// One decoded record: the value text of every column of the listing's
// column set, in its order ("NULL" for NULL, empty when unreadable). A
// dropped column (hobtColumnId kDroppedColumnId) keeps its descriptor's
// definition text. The descriptors themselves are the reader's columns():
// copying them for every row would cost more than decoding the row.
struct TableRow {
  std::vector<std::string> values;
  // The slot the row was listed from (a forwarding stub's own slot).
  RecordLocation location;
  std::vector<ValueIssue> issues;
  // A forwarding stub whose record could not be read: the row exists but
  // its values are lost.
  bool forwardUnreadable = false;
  RowStatus status = RowStatus::kLive;
  // The exact value of every column, in the order of `values`, when the
  // reader was asked for them (SetDataValues); empty otherwise.
  std::vector<DataValue> data;
};

// Reads the rows of a table's pages for one listing.
//
// Forwarded rows are listed once: when the listing's pages are known
// (SetListingPages), a row moved to a page of the listing is listed there
// and its forwarding stub is passed over, which keeps every page's rows the
// same however often and in whatever order pages are read. Otherwise the
// reader remembers the forwarded records it has listed, by either road,
// and skips them when met again.
class TableRowReader {
 public:
  // `db` must outlive the reader.
  TableRowReader(const OpenedDatabase& db, RowColumnSet columns, ColumnReader reader, bool firstPageListing = false);
  // The same over a data file whose text is read in `collation` and whose
  // catalog has the 2000 layout when `legacyLayout`; both must outlive the
  // reader.
  TableRowReader(const CDatabaseFile& file, const CollationContext& collation, bool legacyLayout, RowColumnSet columns,
                 ColumnReader reader, bool firstPageListing = false);

  void SetListingPages(const TablePageList& pages);
  // Rows carry their data values as well as their value texts.
  void SetDataValues(bool wanted) { dataValues_ = wanted; }

  // Records that do not fit `shape` are not rows (or, with the suspect
  // option, rows marked suspect); how many each page held is reported to
  // `sink` as a warning about `table`.
  void SetRecordShape(const RecordShape& shape, ProgressSink* sink, std::string table);

  // The rows of the data page `ref`; none when it cannot be read or is not
  // a data page.
  std::vector<TableRow> ReadPageRows(PageRef ref);
  // The rows of the records of `page`, which was read from `where`.
  std::vector<TableRow> ReadRecordRows(const PrimaryRecordPage& page, PageRef where);
  // The same for the definition tables: the null bitmap is not consulted
  // and large values are always read in full.
  std::vector<TableRow> ReadSystemRows(const PrimaryRecordPage& page, PageRef where);

  // The listing's column set; its definition texts hold the values of the
  // record decoded last.
  const RowColumnSet& columns() const { return columns_; }

 private:
  // Warns that `count` rows of the page at `where` were `what` (nothing for
  // none).
  void ReportPageRows(size_t count, const std::string& what, PageRef where);

  std::vector<TableRow> ReadRows(const PrimaryRecordPage& page, PageRef where, bool systemVariant);
  // Whether the record in `slot` is a row of this listing.
  bool TakeRecord(const CRecord& record, const RecordLocation& here);
  TableRow DecodeRecord(const CRecord& record, const RecordLocation& here, const DecodeContext& context,
                        ColumnReader reader);
  // A compressed record rebuilt as an ordinary record with the listing's
  // columns, and which of its columns could not be rebuilt.
  struct RebuiltRow {
    Bytes bytes;
    std::unique_ptr<CRecord> record;  // null: the record as it is
    std::vector<bool> unreadable;     // by column of the column set
    bool positional = false;          // laid out in column-set order
    int32_t storedColumns = 0;        // columns the compressed record holds
  };
  RebuiltRow RebuildRow(const CRecord& record) const;
  // Whether `record` (the rebuilt form of a compressed one, if any) fits
  // the table's record shape.
  bool Fits(const CRecord& record, const RebuiltRow& rebuilt) const;

  const CDatabaseFile& file_;
  const CollationContext& collation_;
  bool legacyLayout_;
  RowColumnSet columns_;
  ColumnReader reader_;
  bool firstPageListing_;
  bool dataValues_ = false;
  bool knowsPages_ = false;
  std::set<PageRef> listingPages_;
  std::set<uint32_t> owners_;
  bool fromAllocation_ = false;
  std::set<PageRef> repairHeaders_;
  std::set<PageRef> freePages_;
  std::set<RecordLocation> forwardedListed_;
  RecordShape shape_;
  ProgressSink* sink_ = nullptr;
  std::string table_;
};

}  // namespace ravelin

#endif  // RAVELIN_ROWS_TABLE_ROWS_H_
