#include "rows/table_rows.h"

#include <algorithm>
#include <memory>

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "rows/compressed_values.h"
#include "rows/record_fit.h"
#include "storage/allocation_map.h"
#include "storage/database_file.h"
#include "storage/iam_walk.h"
#include "storage/page.h"
#include "storage/page_header.h"
#include "storage/page_protection.h"

namespace ravelin {
namespace {

bool StopRequested(const CDatabaseFile& file) { return file.stop().requested(); }

// Whether a page of a walk is what the walk expects there: a data page
// that calls itself by the number it was reached by.
bool IsChainPage(const CPage_Header& header, PageRef where) {
  return header.pageType == kPageTypeData && header.thisPage.pageNo == where.pageNo;
}

// The pages of a walk, and the page where it broke off when it did not end
// as a chain ends (at a next-page pointer of 0 or a page met before).
struct WalkedPages {
  std::vector<PageRef> pages;
  std::optional<PageRef> brokenAt;
};

// The page chain from `start` by the headers' next-page pointers. A page is
// taken when the page before it is a data page.
WalkedPages WalkHeaderChain(const CDatabaseFile& file, PageRef start) {
  WalkedPages walk;
  std::set<PageRef> visited;
  if (IsUsablePageRef(start)) walk.pages.push_back(start);
  visited.insert(start);
  PageRef current = start;
  while (current.pageNo != 0 && !StopRequested(file)) {
    auto read = file.ReadPageHeaderKeepBuffer(current);
    if (!read || !read->header || !IsChainPage(*read->header, current)) {
      walk.brokenAt = current;
      break;
    }
    const PageRef next = read->header->nextPage;
    if (next.pageNo == 0 || !visited.insert(next).second) break;
    if (IsUsablePageRef(next)) walk.pages.push_back(next);
    current = next;
  }
  return walk;
}

// The page chain of a 2000-layout table from its clustered index root.
WalkedPages WalkDataPageChain(const CDatabaseFile& file, PageRef start) {
  WalkedPages walk;
  std::set<PageRef> visited;
  PageRef current = start;
  while (current.pageNo != 0 && !StopRequested(file)) {
    auto header = file.ReadPageHeader(current);
    if (!header || !IsChainPage(*header, current)) {
      walk.brokenAt = current;
      break;
    }
    if (IsUsablePageRef(current)) {
      if (!visited.insert(current).second) break;
      walk.pages.push_back(current);
    }
    current = header->nextPage;
  }
  return walk;
}

// "1:182": a page as the warnings name it.
std::string PageName(PageRef ref) { return std::to_string(ref.fileId) + ":" + std::to_string(ref.pageNo); }

// Whether a page's header is too damaged to be its own: it does not name
// the page that holds it.
bool HeaderDamaged(const CPage_Header& header, PageRef where) {
  return header.thisPage.pageNo != where.pageNo || header.thisPage.fileId != where.fileId;
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

TablePageList Walked(WalkedPages walk, PageSource source, const TableStorage& table) {
  std::vector<PageRef>& pages = walk.pages;
  TablePageList list;
  list.source = source;
  list.brokenAt = walk.brokenAt;
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
  list.fromAllocation = true;
  return list;
}

TablePageList WalkIam(const CDatabaseFile& file, const TableStorage& table) {
  WalkedPages walk;
  walk.pages = CollectIamChainPages(file, table.firstIamPage, &walk.brokenAt);
  return Walked(std::move(walk), PageSource::kIamChain, table);
}

TablePageList StandardPages(const CDatabaseFile& file, const TableStorage& table) {
  if (table.legacyLayout) {
    if (table.legacyRoot)
      return Walked(WalkDataPageChain(file, PageRef{table.legacyRoot->fileId, table.legacyRoot->firstPage}),
                    PageSource::kDataPageChain, table);
    return Walked({CollectIamMapPages(file, static_cast<uint32_t>(table.objectId)), {}}, PageSource::kIamMap, table);
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
    if (iamValid) return WalkIam(file, table);
    return {};
  }
  if (!iamValid) return Walked(WalkHeaderChain(file, table.firstPage), PageSource::kPageChain, table);
  TablePageList iam = WalkIam(file, table);
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
  if (ref.fileId < 1 || ref.pageNo < 1) return false;
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

std::optional<Warning> LostPagesWarning(const CDatabaseFile& file, const TableStorage& storage,
                                        const TablePageList& pages, const std::string& table) {
  if (!pages.empty() || !IsValidPageRef(file, storage.firstPage)) return std::nullopt;
  const std::optional<Bytes> bytes = file.ReadPageBytes(storage.firstPage, false);
  if (bytes && ReadDiskPageRef(*bytes, 32) == storage.firstPage) return std::nullopt;
  return Warning{table, "none of the table's pages can be read",
                 "its first page " + std::to_string(storage.firstPage.fileId) + ":" +
                     std::to_string(storage.firstPage.pageNo) + " does not read as a page"};
}

namespace {

bool IsZeroed(const Bytes& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

// "N pages the table's allocation gives it do not read as pages ...",
// naming the first few.
Warning LostAllocatedPagesWarning(const std::string& table, const std::vector<PageRef>& lost,
                                  const std::string& how = "the table's allocation gives it") {
  constexpr size_t kNamed = 5;
  std::string where = lost.size() == 1 ? "page " : "pages ";
  const size_t named = std::min(lost.size(), kNamed);
  for (size_t i = 0; i < named; ++i) {
    if (i > 0) where += i + 1 == named && lost.size() <= kNamed ? " and " : ", ";
    where += PageName(lost[i]);
  }
  if (lost.size() > kNamed) where += " and " + std::to_string(lost.size() - kNamed) + " more";
  return Warning{table,
                 lost.size() == 1
                     ? "1 page " + how + " does not read as a page (zeroed or damaged); any rows it held are lost"
                     : std::to_string(lost.size()) + " pages " + how +
                           " do not read as pages (zeroed or damaged); any rows they held are lost",
                 where};
}

// The pages the table's IAM pages allocate to its rows; those named one by
// one in the IAM pages' single-page slots also go to `singlePages`.
std::vector<PageRef> AllocatedPages(const CDatabaseFile& file, const TableStorage& storage,
                                    std::set<PageRef>* singlePages = nullptr) {
  if (!storage.legacyLayout)
    return IsValidPageRef(file, storage.firstIamPage)
               ? CollectIamChainPages(file, storage.firstIamPage, nullptr, singlePages)
               : std::vector<PageRef>{};
  // The 2000 layout files the IAM pages of a table's text and indexes
  // under its id too; those of its rows say index 0 or 1.
  std::vector<PageRef> iams;
  if (auto it = file.iamPageMap.find(static_cast<uint32_t>(storage.objectId)); it != file.iamPageMap.end()) {
    for (const PageMapEntry& entry : it->second) {
      auto header = file.ReadPageHeader(entry.ToPageRef());
      if (header && (header->indexId == 0 || header->indexId == 1)) iams.push_back(entry.ToPageRef());
    }
  }
  return CollectIamListPages(file, iams, singlePages);
}

// With the table's IAM pages lost, the links of its listed pages still
// name its pages: one they link to that does not read as a page held rows.
std::optional<Warning> LostLinkedPagesWarning(const TablePageList& pages, const std::string& table) {
  const std::set<PageRef> listed(pages.pages.begin(), pages.pages.end());
  std::set<PageRef> lost;
  for (const auto& [from, link] : pages.lostLinks)
    if (listed.count(from)) lost.insert(link);
  if (lost.empty()) return std::nullopt;
  return LostAllocatedPagesWarning(table, std::vector<PageRef>(lost.begin(), lost.end()),
                                   "the table's page chain links to");
}

}  // namespace

std::optional<Warning> UnreadablePagesWarning(const CDatabaseFile& file, const TableStorage& storage,
                                              const TablePageList& pages, const std::string& table) {
  if (StopRequested(file)) return std::nullopt;
  // A table none of whose pages could be listed is reported by its first page.
  if (pages.empty() && LostPagesWarning(file, storage, pages, table)) return std::nullopt;
  std::set<PageRef> singlePages;
  const std::vector<PageRef> allocated = AllocatedPages(file, storage, &singlePages);
  if (allocated.empty()) return LostLinkedPagesWarning(pages, table);
  const std::set<PageRef> listed(pages.pages.begin(), pages.pages.end());
  const AllocationMap& maps = file.allocation();
  std::vector<PageRef> unreadable;
  for (const PageRef& ref : allocated) {
    if (StopRequested(file)) return std::nullopt;
    if (!IsValidPageRef(file, ref)) continue;
    // Pages of an extent the unit owns that the maps do not call in use
    // were never written, or are free: no loss.
    const AllocationState state = maps.StateOf(ref);
    if (state == AllocationState::kFree) continue;
    const std::optional<Bytes> bytes = file.ReadPageBytes(ref, false);
    if (bytes && ReadDiskPageRef(*bytes, 32) == ref) continue;
    // A listed page whose header alone is damaged is read by its records.
    const bool zeroed = bytes && IsZeroed(*bytes);
    if (bytes && listed.count(ref) && !zeroed) continue;
    // Where the maps cannot be read, a zeroed page of an extent may never
    // have been written; a page the IAM names alone was.
    if (state == AllocationState::kUnknown && zeroed && !singlePages.count(ref)) continue;
    unreadable.push_back(ref);
  }
  if (unreadable.empty()) return std::nullopt;
  return LostAllocatedPagesWarning(table, unreadable);
}

ColumnReader ChooseColumnReader(const SystemCatalog& catalog) {
  return !catalog.IsSql2000() && !catalog.tableRowsetColumns.empty() ? ColumnReader::kLayout
                                                                     : ColumnReader::kPositional;
}

TablePageList CollectListingPages(const CDatabaseFile& file, const SystemCatalog& catalog) {
  return CollectListingPages(file, DescribeTableStorage(catalog));
}

// The pages the table's IAM pages allocate whose headers are too damaged
// for the scan to have filed them under the table: they are appended to
// `list`, to be read with a repaired header. Returns how many.
size_t AddDamagedAllocatedPages(const CDatabaseFile& file, const TableStorage& table, TablePageList& list) {
  const std::set<PageRef> listed(list.pages.begin(), list.pages.end());
  size_t added = 0;
  for (const PageRef& ref : AllocatedPages(file, table)) {
    if (StopRequested(file)) return added;
    if (listed.count(ref) || !IsValidPageRef(file, ref)) continue;
    auto header = file.ReadPageHeader(ref);
    if (!header || !HeaderDamaged(*header, ref)) continue;
    list.pages.push_back(ref);
    list.repairHeaders.insert(ref);
    ++added;
  }
  return added;
}

// Pages the links of the listed pages name that do not read as pages.
// Those with bytes other than zeros had their headers damaged too much for
// the scan to file them under the table: they are appended to `list`, to
// be read with a repaired header. The others held nothing that can be read
// and go to `list.lostLinks` (unless the maps call them free). Returns how
// many pages were appended.
size_t AddDamagedLinkedPages(const CDatabaseFile& file, TablePageList& list) {
  std::set<PageRef> listed(list.pages.begin(), list.pages.end());
  const AllocationMap& maps = file.allocation();
  const std::vector<PageRef> pages = list.pages;
  size_t added = 0;
  for (const PageRef& ref : pages) {
    if (StopRequested(file)) return added;
    const auto header = file.ReadPageHeader(ref);
    if (!header || HeaderDamaged(*header, ref) || header->pageType != kPageTypeData || header->level != 0) continue;
    for (const PageRef& link : {header->nextPage, header->prevPage}) {
      if (link.pageNo == 0 || link.fileId != ref.fileId || listed.count(link) || !IsValidPageRef(file, link)) continue;
      const std::optional<Bytes> bytes = file.ReadPageBytes(link, false);
      if (bytes && ReadDiskPageRef(*bytes, 32) == link) continue;
      if (!bytes || IsZeroed(*bytes)) {
        if (maps.StateOf(link) != AllocationState::kFree) list.lostLinks.emplace_back(ref, link);
        continue;
      }
      list.pages.push_back(link);
      list.repairHeaders.insert(link);
      listed.insert(link);
      ++added;
    }
  }
  return added;
}

// The first page the catalog gives the table (its clustered index's first
// leaf page, or its heap's first page) where its header is damaged: the
// scan could not file it under the table and no walk starts from it, so
// it is read by its records. Returns 1 when added.
size_t AddDamagedFirstPage(const CDatabaseFile& file, const TableStorage& table, TablePageList& list) {
  PageRef first = table.firstPage;
  if (table.legacyLayout) {
    if (!table.legacyRoot) return 0;
    first = PageRef{table.legacyRoot->fileId, table.legacyRoot->firstPage};
  }
  if (!IsValidPageRef(file, first) || std::find(list.pages.begin(), list.pages.end(), first) != list.pages.end())
    return 0;
  const std::optional<Bytes> bytes = file.ReadPageBytes(first, false);
  if (!bytes || IsZeroed(*bytes) || ReadDiskPageRef(*bytes, 32) == first) return 0;
  if (file.allocation().StateOf(first) == AllocationState::kFree) return 0;
  list.pages.push_back(first);
  list.repairHeaders.insert(first);
  return 1;
}

// Pages the allocation maps clearly mark as free are no longer the table's:
// they go, or with the deleted-record options stay marked as free.
void SetAsideFreePages(const CDatabaseFile& file, TablePageList& list) {
  const AllocationMap& maps = file.allocation();
  const bool keep = file.options().showDeleted;
  std::vector<PageRef> kept;
  kept.reserve(list.pages.size());
  for (const PageRef& ref : list.pages) {
    if (maps.StateOf(ref) != AllocationState::kFree) {
      kept.push_back(ref);
    } else if (keep) {
      kept.push_back(ref);
      list.freePages.insert(ref);
    } else {
      ++list.freePagesLeftOut;
    }
  }
  list.pages = std::move(kept);
}

// The table's pages as its allocation structures and the scan give them,
// before free pages are set aside.
TablePageList CollectAllocatedListingPages(const CDatabaseFile& file, const TableStorage& table);

TablePageList CollectListingPages(const CDatabaseFile& file, const TableStorage& table) {
  TablePageList list = CollectAllocatedListingPages(file, table);
  // The table's history: pages the scan filed under it that the maps call
  // free, which no walk of its live structures reaches.
  if (file.options().showDeleted && !file.options().IsAdvancedMode()) {
    const AllocationMap& maps = file.allocation();
    const std::set<PageRef> listed(list.pages.begin(), list.pages.end());
    for (const PageRef& ref : table.tablePages)
      if (IsUsablePageRef(ref) && !listed.count(ref) && maps.StateOf(ref) == AllocationState::kFree)
        list.pages.push_back(ref);
  }
  SetAsideFreePages(file, list);
  return list;
}

TablePageList CollectAllocatedListingPages(const CDatabaseFile& file, const TableStorage& table) {
  if (file.options().IsAdvancedMode()) {
    TablePageList list = ScanPages(table);
    AddDamagedAllocatedPages(file, table, list);
    AddDamagedFirstPage(file, table, list);
    AddDamagedLinkedPages(file, list);
    return list;
  }
  TablePageList list = StandardPages(file, table);
  // Allocation structures that lead to none of the table's rows leave the
  // pages the scan found under the table.
  if (!StopRequested(file) && !table.tablePages.empty() && (list.empty() || !ListsAnyRow(file, list))) {
    TablePageList scanned = ScanPages(table);
    AddDamagedFirstPage(file, table, scanned);
    AddDamagedLinkedPages(file, scanned);
    return scanned;
  }
  // A walk that broke off is finished with the table's pages it did not
  // reach (those the maps call free are set aside afterwards).
  if (list.brokenAt) {
    const std::set<PageRef> walked(list.pages.begin(), list.pages.end());
    for (const PageRef& ref : table.tablePages) {
      if (!IsUsablePageRef(ref) || walked.count(ref)) continue;
      list.pages.push_back(ref);
      ++list.completedFromMaps;
    }
    // Pages whose damaged headers the scan could not file under the table.
    list.completedFromMaps += AddDamagedAllocatedPages(file, table, list);
    list.completedFromMaps += AddDamagedFirstPage(file, table, list);
    list.completedFromMaps += AddDamagedLinkedPages(file, list);
  } else if (!StopRequested(file) && AllocatedPages(file, table).empty()) {
    // Without the IAM pages a page whose header is damaged is the table's
    // where the chain links to it.
    AddDamagedLinkedPages(file, list);
  }
  return list;
}

std::optional<Warning> ListingWarning(const TablePageList& pages, const std::string& table) {
  if (!pages.brokenAt) return std::nullopt;
  const PageRef at = *pages.brokenAt;
  Warning warning;
  warning.subject = table;
  warning.what = std::string(pages.source == PageSource::kIamChain ? "the IAM chain" : "the page chain") +
                 " breaks off; " + std::to_string(pages.completedFromMaps) +
                 (pages.completedFromMaps == 1 ? " page it did not reach is" : " pages it did not reach are") +
                 " listed from the page maps";
  warning.where = "at page " + std::to_string(at.fileId) + ":" + std::to_string(at.pageNo);
  return warning;
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

void TableRowReader::SetRecordShape(const RecordShape& shape, ProgressSink* sink, std::string table) {
  shape_ = shape;
  sink_ = sink;
  table_ = std::move(table);
}

void TableRowReader::SetListingPages(const TablePageList& pages) {
  knowsPages_ = true;
  listingPages_ = std::set<PageRef>(pages.pages.begin(), pages.pages.end());
  owners_ = pages.owners;
  fromAllocation_ = pages.fromAllocation;
  repairHeaders_ = pages.repairHeaders;
  freePages_ = pages.freePages;
}

std::vector<TableRow> TableRowReader::ReadPageRows(PageRef ref) {
  std::optional<Bytes> bytes = file_.ReadPageBytes(ref, false);
  if (!bytes) return {};
  const PageRef claimed = ReadDiskPageRef(*bytes, 32);
  if (claimed != ref && (fromAllocation_ || repairHeaders_.count(ref))) {
    // A page the table's allocation gives it whose header is damaged: its
    // records are found by walking it.
    const auto fixedEnd = static_cast<uint16_t>(std::max<int32_t>(shape_.fullFixedEnd, 0));
    const bool stamped = SectorEndsStamped(*bytes);
    const bool zeroed = IsZeroed(*bytes);
    auto page = PrimaryRecordPage::WithRepairedHeader(std::move(*bytes), &file_, ref, fixedEnd);
    std::vector<TableRow> rows = ReadRecordRows(*page, ref);
    // Nothing on it reads as a record: the page was overwritten, and the
    // rows it held are lost (zeroed pages are told apart with the table's
    // allocation before the listing; a free page held no rows).
    if (rows.empty() && sink_ && !zeroed && !freePages_.count(ref) &&
        std::none_of(page->records.begin(), page->records.end(), [](const auto& record) { return record != nullptr; }))
      sink_->ReportWarning(LostAllocatedPagesWarning(table_, {ref}));
    // The torn-page bits the header kept are lost with it: a byte at a
    // sector's end may be wrong in any of these rows.
    if (stamped)
      ReportPageRows(rows.size(),
                     "read from a page whose header is damaged; the bytes at its sector ends may be wrong (its "
                     "torn-page bits are lost)",
                     ref);
    return rows;
  }
  // A checksum or torn-page bits that disagree with the page's bytes: some
  // byte changed after SQL Server wrote it, maybe inside a record.
  const bool protectionFails = CheckPageProtection(*bytes) == PageProtection::kDamaged;
  MendImpossibleHeaderFields(*bytes, ref);
  PrimaryRecordPage page(std::move(*bytes), &file_);
  if (!page.header || page.header->pageType != kPageTypeData) return {};
  if (!owners_.empty() && owners_.count(page.header->objectId) == 0) return {};
  std::vector<TableRow> rows = ReadRecordRows(page, ref);
  if (protectionFails)
    ReportPageRows(rows.size(),
                   "read from a page whose checksum or torn-page bits do not agree with its bytes; some of their "
                   "values may be wrong",
                   ref);
  return rows;
}

void TableRowReader::ReportPageRows(size_t count, const std::string& what, PageRef where) {
  if (count == 0 || !sink_) return;
  sink_->ReportWarning(Warning{table_, std::to_string(count) + (count == 1 ? " row was " : " rows were ") + what,
                               "page " + PageName(where)});
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
  const bool checkFit = shape_.known && !systemVariant;
  const bool listSuspects = file_.options().suspect;
  // Without columns (their catalog rows lost) no record can be shown as a
  // row; each one is counted as not fitting.
  const bool noColumns = columns_.empty() && !systemVariant;
  const bool onFreePage = freePages_.count(where) != 0;
  int misfits = 0;
  // Every record the page built: the listed ones, then any the deleted-
  // record hunt found.
  rows.reserve(page.records.size());
  for (size_t i = 0; i < page.records.size(); ++i) {
    const CRecord* record = page.records[i].get();
    if (!record) continue;
    const RecordLocation here{where, static_cast<int32_t>(i)};
    if (!TakeRecord(*record, here)) continue;
    // A compressed record is read as the ordinary record it rebuilds into.
    const RebuiltRow rebuilt = RebuildRow(*record);
    const CRecord& readable = rebuilt.record ? *rebuilt.record : *record;
    // A stub whose record is lost is a row whose values are unreadable; one
    // whose address names no page is damage, not a row.
    const bool resolved = !(record->recordType == kRecordForwardingStub && !record->forwardTarget);
    const bool impossible = !resolved && record->fixedLength == kImpossibleForward;
    const bool fits = !noColumns && !impossible && (!checkFit || !resolved || Fits(readable, rebuilt));
    if (!fits) {
      ++misfits;
      if (!listSuspects || noColumns) continue;
    }
    TableRow row = DecodeRecord(readable, here, context, rebuilt.positional ? ColumnReader::kPositional : reader_);
    for (size_t c = 0; c < rebuilt.unreadable.size() && c < row.values.size(); ++c) {
      if (!rebuilt.unreadable[c] || columns_[c].hobtColumnId == kDroppedColumnId) continue;
      row.values[c].clear();
      if (c < row.data.size()) row.data[c] = DataValue::Unreadable();
    }
    if (!fits)
      row.status = RowStatus::kSuspect;
    else if (onFreePage)
      row.status = RowStatus::kFreePage;
    else if (i >= page.huntedFrom)
      row.status = RowStatus::kHunted;
    else if (record->recordType == kRecordGhostData)
      row.status = RowStatus::kGhost;
    // Without a known record shape the positional reader keeps a record
    // only when its first column says something; an unreadable forwarded
    // row is kept so that it is noticed.
    if (!checkFit && reader_ == ColumnReader::kPositional && !systemVariant && !row.forwardUnreadable &&
        !row.values.empty() && row.values[0].empty())
      continue;
    rows.push_back(std::move(row));
  }
  if (misfits > 0 && sink_) {
    Warning warning;
    warning.subject = table_;
    if (noColumns)
      warning.what = std::to_string(misfits) + (misfits == 1 ? " record was" : " records were") +
                     " left out: the table's columns could not be read";
    else
      warning.what = std::to_string(misfits) + (misfits == 1 ? " record" : " records") +
                     (misfits == 1 ? " does" : " do") + " not fit the table and " +
                     (listSuspects ? (misfits == 1 ? "is listed as suspect" : "are listed as suspect")
                                   : (misfits == 1 ? "was left out" : "were left out"));
    warning.where = "page " + std::to_string(where.fileId) + ":" + std::to_string(where.pageNo);
    sink_->ReportWarning(warning);
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

bool TableRowReader::Fits(const CRecord& record, const RebuiltRow& rebuilt) const {
  if (!rebuilt.record || rebuilt.storedColumns >= record.columnCount)
    return CheckRecordFit(record, shape_) == RecordFit::kFits;
  // A compressed record written before columns were added holds fewer
  // columns than its rebuilt form, which gives those NULL, as a record of
  // the uncompressed layout that ends before them reads.
  RecordShape shape = shape_;
  std::erase_if(shape.notNullColumns,
                [&](const RecordShape::NotNullColumn& c) { return c.position > rebuilt.storedColumns; });
  return CheckRecordFit(record, shape) == RecordFit::kFits;
}

TableRowReader::RebuiltRow TableRowReader::RebuildRow(const CRecord& record) const {
  RebuiltRow out;
  if (!record.isCompressed || !record.compressed) return out;
  const ResolvedCdRecord& stored = *record.compressed;
  if (legacyLayout_ || !stored.readable) {
    // No column of it can be read (the 2000 layout has no compressed
    // tables: such bytes are damage).
    out.unreadable.assign(columns_.size(), true);
    return out;
  }
  RebuiltRecord rebuilt = RebuildCompressedRecord(stored.AsRowCompressed(), nullptr, columns_);
  out.unreadable.assign(columns_.size(), false);
  for (size_t c = 0; c < rebuilt.columns.size() && c < columns_.size(); ++c)
    out.unreadable[c] = rebuilt.columns[c] == RebuiltColumn::kUnreadable;
  if (rebuilt.bytes.empty() || rebuilt.bytes.size() > 0xFFFF) {
    out.unreadable.assign(columns_.size(), true);
    return out;
  }
  out.positional = !rebuilt.catalogLayout;
  out.storedColumns = stored.columnCount;
  out.bytes = std::move(rebuilt.bytes);
  auto plain = std::make_unique<CPrimaryRecord>(ByteSpan(out.bytes), record.page,
                                                static_cast<uint16_t>(out.bytes.size()), false);
  plain->forwardTarget = record.forwardTarget;
  out.record = std::move(plain);
  return out;
}

TableRow TableRowReader::DecodeRecord(const CRecord& record, const RecordLocation& here, const DecodeContext& context,
                                      ColumnReader reader) {
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
    if (counters.valueTruncated || counters.valueIncomplete || counters.valueDamaged)
      row.issues.push_back(ValueIssue{c, counters.valueTruncated, counters.valueIncomplete, counters.valueDamaged});
  }
  for (const ColumnDescriptor& d : columns_) row.values.push_back(d.definitionText);
  return row;
}

}  // namespace ravelin
