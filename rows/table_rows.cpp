#include "rows/table_rows.h"

#include <algorithm>
#include <memory>

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "storage/database_file.h"
#include "storage/iam_walk.h"
#include "storage/page.h"

namespace ravelin {
namespace {

bool StopRequested(const CDatabaseFile& file) { return file.stop().requested(); }

// The page chain from `start` by the headers' next-page pointers. A page is
// taken when the page before it is a data page.
std::vector<PageRef> WalkHeaderChain(const CDatabaseFile& file, PageRef start) {
  std::vector<PageRef> pages;
  std::set<PageRef> visited;
  if (IsUsablePageRef(start)) pages.push_back(start);
  visited.insert(start);
  PageRef current = start;
  while (current.pageNo != 0 && !StopRequested(file)) {
    auto read = file.ReadPageHeaderKeepBuffer(current);
    if (!read || !read->header) break;
    const PageRef next = read->header->nextPage;
    if (next.pageNo == 0 || !visited.insert(next).second) break;
    if (IsUsablePageRef(next) && read->header->pageType == kPageTypeData) pages.push_back(next);
    current = next;
  }
  return pages;
}

// The page chain of a 2000-layout table from its clustered index root.
std::vector<PageRef> WalkDataPageChain(const CDatabaseFile& file, PageRef start) {
  std::vector<PageRef> pages;
  std::set<PageRef> visited;
  PageRef current = start;
  while (current.pageNo != 0 && !StopRequested(file)) {
    auto header = file.ReadPageHeader(current);
    if (!header) break;
    if (IsUsablePageRef(current)) {
      if (!visited.insert(current).second) break;
      pages.push_back(current);
    }
    current = header->nextPage;
  }
  return pages;
}

// The data page at `ref` when its header names one of `owners` (any
// object, when there are none); null otherwise.
std::unique_ptr<PrimaryRecordPage> ReadOwnedDataPage(const CDatabaseFile& file, PageRef ref,
                                                     const std::set<uint32_t>& owners) {
  auto page = file.ReadTableDataPage(ref);
  if (!page || !page->header || page->header->pageType != kPageTypeData) return nullptr;
  if (!owners.empty() && owners.count(page->header->objectId) == 0) return nullptr;
  return page;
}

// Whether any page of `list` that belongs to the table holds a record a
// listing shows; reads pages only until the first such one.
bool ListsAnyRow(const CDatabaseFile& file, const TablePageList& list) {
  for (const PageRef& ref : list.pages) {
    if (StopRequested(file)) return false;
    auto page = ReadOwnedDataPage(file, ref, list.owners);
    if (!page) continue;
    for (const auto& record : page->records)
      if (record && record->IsListed()) return true;
  }
  return false;
}

TablePageList ScanPages(const TableStorage& table) {
  TablePageList list;
  list.source = PageSource::kTablePages;
  for (const PageRef& ref : table.tablePages)
    if (IsUsablePageRef(ref)) list.pages.push_back(ref);
  return list;
}

TablePageList Walked(std::vector<PageRef> pages, PageSource source, const TableStorage& table) {
  TablePageList list;
  list.source = source;
  list.owners.insert(static_cast<uint32_t>(table.objectId));
  const uint32_t key = AllocUnitPageKey(table.allocUnitId);
  if (table.allocUnitId != 0) list.owners.insert(key);
  // Page keys that user allocation units share with system tables: pages
  // filed under them are told apart by the catalog, not by their headers.
  if (table.allocUnitId != 0 && IsSystemObjectId(key)) {
    // Only the pages the catalog gave the table, in the order walked.
    const std::set<PageRef> own(table.tablePages.begin(), table.tablePages.end());
    std::erase_if(pages, [&own](const PageRef& ref) { return own.count(ref) == 0; });
  }
  list.pages = std::move(pages);
  return list;
}

TablePageList StandardPages(const CDatabaseFile& file, const TableStorage& table) {
  if (table.legacyLayout) {
    if (table.legacyRoot)
      return Walked(WalkDataPageChain(file, PageRef{table.legacyRoot->fileId, table.legacyRoot->firstPage}),
                    PageSource::kDataPageChain, table);
    return Walked(CollectIamMapPages(file, static_cast<uint32_t>(table.objectId)), PageSource::kIamMap, table);
  }
  if (table.firstIamPage.pageNo <= 0) return ScanPages(table);
  const bool firstValid = IsValidPageRef(file, table.firstPage);
  const bool iamValid = IsValidPageRef(file, table.firstIamPage);
  if (table.indexId != 0) {
    if (firstValid) {
      auto header = file.ReadPageHeader(table.firstPage);
      if (header && header->pageType == kPageTypeData && header->prevPage.pageNo == 0) {
        TablePageList chain = Walked(WalkHeaderChain(file, table.firstPage), PageSource::kPageChain, table);
        if (ListsAnyRow(file, chain)) return chain;
      }
    }
    if (iamValid) return Walked(CollectIamChainPages(file, table.firstIamPage), PageSource::kIamChain, table);
    return {};
  }
  if (!iamValid) return Walked(WalkHeaderChain(file, table.firstPage), PageSource::kPageChain, table);
  TablePageList iam = Walked(CollectIamChainPages(file, table.firstIamPage), PageSource::kIamChain, table);
  if (firstValid && !ListsAnyRow(file, iam))
    return Walked(WalkHeaderChain(file, table.firstPage), PageSource::kPageChain, table);
  return iam;
}

}  // namespace

const char* RowStatusText(RowStatus status) {
  switch (status) {
    case RowStatus::kLive:
      return "live";
    case RowStatus::kGhost:
      return "ghost";
    case RowStatus::kHunted:
      return "hunted";
    case RowStatus::kFreePage:
      return "free page";
    case RowStatus::kSuspect:
      return "suspect";
  }
  return "live";
}

bool IsUsablePageRef(PageRef ref) { return ref.fileId != 0 && ref.pageNo != 0; }

bool IsValidPageRef(const CDatabaseFile& file, PageRef ref) {
  if (ref.fileId < 0 || ref.pageNo < 1) return false;
  uint64_t pageCount = file.pageCount;
  if (ref.fileId >= 2) {
    auto it = file.secondaryFiles.find(ref.fileId);
    if (it == file.secondaryFiles.end()) return false;
    pageCount = it->second.pageCount;
  }
  return static_cast<uint64_t>(ref.pageNo) < pageCount;
}

TableStorage DescribeTableStorage(const SystemCatalog& catalog) {
  TableStorage table;
  table.objectId = catalog.currentObject.objectId;
  table.tablePages = catalog.tablePages;
  table.allocUnitId = catalog.currentAllocUnit.allocUnitId;
  table.firstPage = catalog.currentAllocUnit.firstPage;
  table.firstIamPage = catalog.currentAllocUnit.firstIamPage;
  table.indexId = catalog.currentRowset.indexId;
  table.legacyLayout = catalog.IsSql2000();
  if (auto it = catalog.legacyIndexRoots.find(table.objectId); it != catalog.legacyIndexRoots.end())
    table.legacyRoot = it->second;
  return table;
}

ColumnReader ChooseColumnReader(const SystemCatalog& catalog) {
  return !catalog.IsSql2000() && !catalog.tableRowsetColumns.empty() ? ColumnReader::kLayout
                                                                     : ColumnReader::kPositional;
}

TablePageList CollectListingPages(const CDatabaseFile& file, const SystemCatalog& catalog) {
  return CollectListingPages(file, DescribeTableStorage(catalog));
}

TablePageList CollectListingPages(const CDatabaseFile& file, const TableStorage& table) {
  if (file.options().IsAdvancedMode()) return ScanPages(table);
  TablePageList list = StandardPages(file, table);
  // Allocation structures that lead to none of the table's rows leave the
  // pages the scan found under the table.
  if (!StopRequested(file) && !table.tablePages.empty() && (list.empty() || !ListsAnyRow(file, list)))
    return ScanPages(table);
  return list;
}

TableRowReader::TableRowReader(const OpenedDatabase& db, RowColumnSet columns, ColumnReader reader,
                               bool firstPageListing)
    : TableRowReader(db.file(), db.collation(), db.catalog() && db.catalog()->IsSql2000(), std::move(columns), reader,
                     firstPageListing) {}

TableRowReader::TableRowReader(const CDatabaseFile& file, const CollationContext& collation, bool legacyLayout,
                               RowColumnSet columns, ColumnReader reader, bool firstPageListing)
    : file_(file),
      collation_(collation),
      legacyLayout_(legacyLayout),
      columns_(std::move(columns)),
      reader_(reader),
      firstPageListing_(firstPageListing) {}

void TableRowReader::SetListingPages(const TablePageList& pages) {
  knowsPages_ = true;
  listingPages_ = std::set<PageRef>(pages.pages.begin(), pages.pages.end());
  owners_ = pages.owners;
}

std::vector<TableRow> TableRowReader::ReadPageRows(PageRef ref) {
  auto page = ReadOwnedDataPage(file_, ref, owners_);
  return page ? ReadRecordRows(*page, ref) : std::vector<TableRow>();
}

std::vector<TableRow> TableRowReader::ReadRecordRows(const PrimaryRecordPage& page, PageRef where) {
  return ReadRows(page, where, false);
}

std::vector<TableRow> TableRowReader::ReadSystemRows(const PrimaryRecordPage& page, PageRef where) {
  return ReadRows(page, where, true);
}

std::vector<TableRow> TableRowReader::ReadRows(const PrimaryRecordPage& page, PageRef where, bool systemVariant) {
  std::vector<TableRow> rows;
  if (!page.header) return rows;
  DecodeContext context(collation_);
  context.file = &file_;
  context.firstPageListing = firstPageListing_;
  context.legacyLayout = legacyLayout_;
  context.systemVariant = systemVariant;
  // Every record the page built: the listed ones, then any the deleted-
  // record hunt found.
  rows.reserve(page.records.size());
  for (size_t i = 0; i < page.records.size(); ++i) {
    const CRecord* record = page.records[i].get();
    if (!record) continue;
    const RecordLocation here{where, static_cast<int32_t>(i)};
    if (!TakeRecord(*record, here)) continue;
    TableRow row = DecodeRecord(*record, here, context);
    if (i >= page.huntedFrom)
      row.status = RowStatus::kHunted;
    else if (record->recordType == kRecordGhostData)
      row.status = RowStatus::kGhost;
    // The positional reader keeps a record only when its first column says
    // something; an unreadable forwarded row is kept so that it is noticed.
    if (reader_ == ColumnReader::kPositional && !systemVariant && !row.forwardUnreadable && !row.values.empty() &&
        row.values[0].empty())
      continue;
    rows.push_back(std::move(row));
  }
  return rows;
}

bool TableRowReader::TakeRecord(const CRecord& record, const RecordLocation& here) {
  if (!record.IsListed()) return false;
  const bool showDeleted = file_.options().showDeleted;
  const int type = record.recordType;
  const bool isRowType = type == kRecordPrimary || type == kRecordForwarded || type == kRecordForwardingStub ||
                         (showDeleted && type == kRecordGhostData);
  if (!isRowType) return false;
  if (type == kRecordForwardingStub && record.forwardTarget) {
    const RecordLocation& target = *record.forwardTarget;
    if (knowsPages_) return listingPages_.count(target.page) == 0;
    return forwardedListed_.insert(target).second;
  }
  if (type == kRecordForwarded && !knowsPages_) return forwardedListed_.insert(here).second;
  return true;
}

TableRow TableRowReader::DecodeRecord(const CRecord& record, const RecordLocation& here, const DecodeContext& context) {
  TableRow row;
  row.location = here;
  row.values.reserve(columns_.size());
  if (record.recordType == kRecordForwardingStub && !record.forwardTarget) {
    // The row's values went with the record the stub points at.
    row.forwardUnreadable = true;
    for (const ColumnDescriptor& d : columns_)
      row.values.push_back(d.hobtColumnId == kDroppedColumnId ? d.definitionText : std::string());
    if (dataValues_) row.data.assign(columns_.size(), DataValue::Unreadable());
    return row;
  }
  if (dataValues_) row.data.assign(columns_.size(), DataValue::Null());
  const ColumnReader reader = reader_;
  DecodeCounters counters = DecodeCounters::ForRecord(record, columns_.size());
  const size_t decoded = static_cast<size_t>(counters.columnsDecoded);
  for (size_t c = 0; c < columns_.size(); ++c) {
    if (c >= decoded) {
      // Columns added after the record was written hold nothing for it; a
      // record whose column count cannot be read gives no value at all.
      const bool unreadable = record.columnCount <= 0;
      if (unreadable || (context.systemVariant && reader == ColumnReader::kPositional)) {
        if (columns_[c].hobtColumnId != kDroppedColumnId) columns_[c].definitionText.clear();
      } else {
        MarkColumnAbsent(columns_[c]);
      }
      if (dataValues_ && unreadable) row.data[c] = DataValue::Unreadable();
      continue;
    }
    DecodeColumnValue(record, columns_[c], counters, reader, context, dataValues_ ? &row.data[c] : nullptr);
    if (counters.valueTruncated || counters.valueIncomplete)
      row.issues.push_back(ValueIssue{c, counters.valueTruncated, counters.valueIncomplete});
  }
  for (const ColumnDescriptor& d : columns_) row.values.push_back(d.definitionText);
  return row;
}

}  // namespace ravelin
