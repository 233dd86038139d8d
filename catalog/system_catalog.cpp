// Loading the catalog: which system tables are read, in which order, with
// which reader, and how the catalog layout is decided.

#include "catalog/system_catalog.h"

#include <algorithm>
#include <set>

#include "catalog/catalog_lookups.h"
#include "catalog/data_page.h"
#include "storage/allocation_map.h"
#include "storage/database_file.h"
#include "storage/page_header.h"

namespace ravelin {

namespace {

// Pages a system table's page chain leads to whose header damage hid them
// from the scan, at most this many per table.
constexpr size_t kMaxChainedPages = 64;
// Pages read to find those of a system table whose header names another
// object or index by one damaged byte, at most this many per table.
constexpr size_t kMaxMisfiledReads = 256;

// The slots a page's slot array holds, counted from the page end while
// each entry points where a record can start; 0 when none does.
uint16_t CountSlots(const Bytes& page) {
  std::set<uint16_t> seen;
  uint16_t slots = 0;
  while (slots < 2048) {
    const size_t at = static_cast<size_t>(kPageSize) - 2 * (slots + 1u);
    const auto offset = static_cast<uint16_t>(page[at] | (page[at + 1] << 8));
    if (offset < kPageHeaderSize || offset >= at || !seen.insert(offset).second) break;
    ++slots;
  }
  return slots;
}

}  // namespace

// A page whose header is damaged but whose slot array stands: a data page
// header of `objectId` at `where` with the slots counted, and its records.
std::unique_ptr<CDataPage> CatalogLoader::RepairedPage(Bytes bytes, PageRef where, uint32_t objectId,
                                                       const ReadOptions& reading) const {
  if (bytes.size() < static_cast<size_t>(kPageSize)) return nullptr;
  const uint16_t slots = CountSlots(bytes);
  if (slots == 0) return nullptr;
  std::fill(bytes.begin(), bytes.begin() + kPageHeaderSize, uint8_t{0});
  bytes[0] = 1;
  bytes[1] = static_cast<uint8_t>(kPageTypeData);
  StoreLE16(&bytes[22], slots);
  StoreLE16(&bytes[24], static_cast<uint16_t>(objectId & 0xFFFF));
  StoreLE16(&bytes[26], static_cast<uint16_t>(objectId >> 16));
  StoreLE16(&bytes[30], static_cast<uint16_t>(kPageSize - 2 * slots));
  StoreLE16(&bytes[32], static_cast<uint16_t>(where.pageNo));
  StoreLE16(&bytes[34], static_cast<uint16_t>(static_cast<uint32_t>(where.pageNo) >> 16));
  StoreLE16(&bytes[36], static_cast<uint16_t>(where.fileId));
  return std::make_unique<CDataPage>(std::move(bytes), &file_, &reading);
}

std::vector<std::unique_ptr<CDataPage>> CatalogLoader::ReadPages(uint32_t objectId, PageFilter filter) const {
  std::vector<std::unique_ptr<CDataPage>> pages;
  const PageMap& map = file_.systemPageMap;
  auto it = map.find(objectId);
  static const std::vector<PageMapEntry> kNone;
  ReadOptions catalogReading;
  catalogReading.showDeleted = true;
  std::set<PageRef> known;
  for (const PageMapEntry& entry : it == map.end() ? kNone : it->second) {
    known.insert(entry.ToPageRef());
    if (filter == PageFilter::kDataPagesByEntry && entry.pageType != kPageTypeData) continue;
    std::optional<Bytes> bytes = file_.ReadPageBytes(entry.ToPageRef(), true);
    if (!bytes) continue;
    MendImpossibleHeaderFields(*bytes, entry.ToPageRef());
    auto page = std::make_unique<CDataPage>(std::move(*bytes), &file_, &catalogReading);
    if (filter == PageFilter::kDataPagesByHeader && (!page->header || page->header->pageType != kPageTypeData))
      continue;
    pages.push_back(std::move(page));
  }
  // The table's data pages link to their neighbours; a neighbour the scan
  // did not file here and whose header does not even name its own place is
  // one of the table's pages with a damaged header.
  size_t chained = 0;
  for (size_t i = 0; i < pages.size() && chained < kMaxChainedPages; ++i) {
    if (!pages[i]->header || pages[i]->header->pageType != kPageTypeData || pages[i]->header->level != 0) continue;
    for (PageRef next : {pages[i]->header->prevPage, pages[i]->header->nextPage}) {
      if (next.pageNo <= 0 || !known.insert(next).second || chained >= kMaxChainedPages) continue;
      std::optional<Bytes> bytes = file_.ReadPageBytes(next, false);
      if (!bytes || bytes->size() < static_cast<size_t>(kPageSize)) continue;
      const CPage_Header header(std::span<uint8_t>(bytes->data(), bytes->size()));
      // A page that names its own place is no page whose header is lost;
      // one whose ids took a damaged byte is looked at below.
      if (header.thisPage == next) {
        known.erase(next);
        continue;
      }
      std::unique_ptr<CDataPage> page = RepairedPage(std::move(*bytes), next, objectId, catalogReading);
      if (!page) continue;
      pages.push_back(std::move(page));
      ++chained;
    }
  }
  AddMisfiledPages(objectId, pages, known, catalogReading);
  return pages;
}

// A header byte damaged in the object id files the page under an id no
// table has; one damaged in the index id files it among user pages. Such a
// page still names its own place, and most of its records have the layouts
// the table's other pages show; where the table has no other page, the
// unit its ids name must have no IAM page.
void CatalogLoader::AddMisfiledPages(uint32_t objectId, std::vector<std::unique_ptr<CDataPage>>& pages,
                                     std::set<PageRef>& known, const ReadOptions& reading) const {
  std::set<std::pair<int16_t, int16_t>> shapes;
  std::set<uint16_t> indexIds;
  for (const auto& page : pages) {
    if (!page->header || page->header->pageType != kPageTypeData || page->header->level != 0) continue;
    indexIds.insert(page->header->indexId);
    for (const auto& record : page->records)
      if (record && record->recordType == kRecordPrimary && !record->hasError)
        shapes.emplace(record->fixedLength, record->columnCount);
  }
  if (indexIds.empty()) indexIds = {0, 1};
  const auto nearIndexId = [&](uint16_t indexId) {
    return std::any_of(indexIds.begin(), indexIds.end(),
                       [&](uint16_t own) { return DifferInOneByte(uint64_t{own}, uint64_t{indexId}); });
  };

  size_t reads = 0;
  // Whether an IAM page names the unit of page key `key` and index id
  // `indexId`: a unit that exists.
  const auto unitHasIamPage = [&](uint32_t key, uint16_t indexId) {
    auto it = file_.iamPageMap.find(key);
    if (it == file_.iamPageMap.end()) return false;
    size_t looked = 0;
    for (const PageMapEntry& entry : it->second) {
      if (++looked > kMaxMisfiledReads) return true;  // too many to tell: taken as a unit's
      auto header = file_.ReadPageHeader(entry.ToPageRef());
      if (header && header->indexId == indexId) return true;
    }
    return false;
  };
  const auto consider = [&](uint32_t key, const PageMapEntry& entry) {
    const PageRef ref = entry.ToPageRef();
    if (entry.pageType != kPageTypeData || known.count(ref) || reads >= kMaxMisfiledReads) return;
    ++reads;
    uint16_t indexId = 0;
    std::optional<Bytes> bytes = file_.ReadPageBytes(ref, true);
    if (!bytes || bytes->size() < static_cast<size_t>(kPageSize)) return;
    {
      const CPage_Header header(std::span<uint8_t>(bytes->data(), bytes->size()));
      if (header.thisPage != ref || header.pageType != kPageTypeData || header.level != 0) return;
      // The object id damaged, the index id not; or the other way round
      // (an index id of a user unit is no damage).
      if (key != objectId ? !indexIds.count(header.indexId) : header.indexId == 256 || !nearIndexId(header.indexId))
        return;
      indexId = header.indexId;
    }
    MendImpossibleHeaderFields(*bytes, ref);
    auto page = std::make_unique<CDataPage>(std::move(*bytes), &file_, &reading);
    size_t records = 0;
    size_t fitting = 0;
    for (const auto& record : page->records) {
      if (!record || record->recordType != kRecordPrimary || record->hasError) continue;
      ++records;
      fitting += shapes.count({record->fixedLength, record->columnCount});
    }
    if (records == 0) return;
    // Damage that changed the header changes some records too.
    if (shapes.empty() ? unitHasIamPage(key, indexId) : fitting * 3 < records * 2) return;
    known.insert(ref);
    misfiledPages_.insert(ref);
    pages.push_back(std::move(page));
  };
  for (const auto& [key, entries] : file_.dataPageMap) {
    if (key == 0 || (key != objectId && (IsSystemObjectId(key) || !DifferInOneByte(uint64_t{key}, uint64_t{objectId}))))
      continue;
    for (const PageMapEntry& entry : entries) consider(key, entry);
  }
}

void CatalogLoader::ReadSystemTable(uint32_t objectId, PageFilter filter, const std::function<void(CDataPage&)>& read) {
  for (const auto& page : ReadPages(objectId, filter)) {
    SelectRecords(*page, true);
    read(*page);
  }
}

void CatalogLoader::SelectRecords(CDataPage& page, bool live) {
  page.selection = live ? CDataPage::Selection::kLive : CDataPage::Selection::kGhosts;
}

SystemCatalog::~SystemCatalog() = default;

SystemCatalog::SystemCatalog() { BuildIndexes(); }

SystemCatalog::SystemCatalog(const CDatabaseFile& databaseFile, std::vector<DataFileInfo> fileTable,
                             std::optional<uint16_t> databaseVersion)
    : file(&databaseFile), databaseVersion_(databaseVersion) {
  files = std::move(fileTable);
  BindPageMaps(&databaseFile.systemPageMap, &databaseFile.dataPageMap, &databaseFile.iamPageMap);
  Load();
}

std::vector<DataFileInfo> SystemCatalog::ReadFileTable(const CDatabaseFile& databaseFile) {
  std::vector<DataFileInfo> recorded;
  CatalogLoader(databaseFile).ReadSystemTable(8, CatalogLoader::PageFilter::kAllPages, [&recorded](CDataPage& page) {
    page.ReadFileRows(recorded);
  });
  return recorded;
}

void SystemCatalog::BindPageMaps(const PageMap* systemPages, const PageMap* dataPages, const PageMap* iamPages) {
  systemPages_ = systemPages;
  dataPages_ = dataPages;
  iamPages_ = iamPages;
  BuildIndexes();
}

const std::vector<PageMapEntry>* SystemCatalog::PagesUnder(const PageMap* map, uint32_t key) const {
  if (!map) return nullptr;
  auto it = map->find(key);
  return it == map->end() ? nullptr : &it->second;
}

void SystemCatalog::Load() {
  using Filter = CatalogLoader::PageFilter;
  loader = std::make_unique<CatalogLoader>(*file);
  CatalogLoader& l = *loader;
  uint64_t& counter = l.repairCounter;

  l.ReadRows(
      64, Filter::kAllPages, classObjects, [](CDataPage& page, auto& rows) { page.ReadClassObjectRows(rows); },
      [](const ClassObjectRow& row) { return row.id; });

  // The layout: the boot page's version says it (SQL Server 2005 is version
  // 611); without it, a database with sysschobjs rows is read as 2005 and
  // later, anything else as 2000.
  sql2000_ = false;
  if (!file->systemPageMap.empty()) {
    auto objectId = [](const ObjectRow& row) { return row.objectId; };
    counter = 0;
    l.ReadRows(
        34, Filter::kAllPages, objects,
        [&](CDataPage& page, auto& rows) { page.ReadObjectRows(rows, classObjects, false, counter); }, objectId);
    const bool newerLayout = databaseVersion_ && *databaseVersion_ >= 611;
    const bool olderLayout = databaseVersion_ && *databaseVersion_ < 611;
    if (olderLayout || (objects.empty() && !newerLayout)) {
      objects.clear();
      sql2000_ = true;
      l.ReadRows(
          1, Filter::kAllPages, objects,
          [&](CDataPage& page, auto& rows) { page.ReadObjectRows(rows, classObjects, true, counter); }, objectId);
    }
    counter = 0;
  }
  const bool sql2000 = IsSql2000();

  l.ReadRows(
      sql2000 ? 99 : 7, Filter::kAllPages, allocUnits,
      [](CDataPage& page, auto& rows) { page.ReadAllocUnitRows(rows); },
      [](const AllocUnitRow& row) { return row.allocUnitId; });
  l.ReadRows(
      5, Filter::kAllPages, rowsets, [](CDataPage& page, auto& rows) { page.ReadRowsetRows(rows); },
      [](const RowsetRow& row) { return row.rowsetId; });
  if (!sql2000) {
    l.ReadRows(
        54, Filter::kAllPages, indexes, [](CDataPage& page, auto& rows) { page.ReadIndexRows(rows); },
        [](const IndexRow& row) { return std::pair(row.objectId, row.indexId); });
    std::vector<ObjectNameRow> nameRows;
    l.ReadSystemTable(34, Filter::kAllPages, [&](CDataPage& page) { page.ReadObjectNameRows(nameRows, false); });
    std::set<int32_t> withRows;
    for (const RowsetRow& rowset : rowsets)
      if (rowset.indexId == 0 || rowset.indexId == 1) withRows.insert(rowset.objectId);
    // The heap's or clustered index's own row says so as well.
    for (const IndexRow& index : indexes)
      if ((index.indexId == 0 || index.indexId == 1) && index.rowsetId > 0) withRows.insert(index.objectId);
    MendObjectsFromNameIndexes(nameRows, withRows);
  } else if (!file->systemPageMap.empty()) {
    // The 2000 layout's pages carry the id of the table that owns them.
    std::vector<ObjectNameRow> nameRows;
    l.ReadSystemTable(1, Filter::kAllPages, [&](CDataPage& page) { page.ReadObjectNameRows(nameRows, true); });
    std::set<int32_t> withRows;
    for (const auto& [objectId, pages] : file->dataPageMap)
      if (objectId > 100 && !pages.empty()) withRows.insert(static_cast<int32_t>(objectId));
    MendObjectsFromNameIndexes(nameRows, withRows);
  }

  if (sql2000) {
    LoadLegacyTables();
  } else {
    auto columnKey = [](const ColumnRow& row) { return std::tuple(row.objectId, row.number, row.columnId); };
    auto readColumns = [&](CDataPage& page, auto& rows) { page.ReadColumnRows(rows, counter); };
    counter = 0;
    l.ReadRows(41, Filter::kAllPages, columns, readColumns, columnKey);
    l.ReadRows(2187, Filter::kAllPages, columns, readColumns, columnKey);
    counter = 0;
  }

  l.ReadRows(
      50, Filter::kAllPages, types, [](CDataPage& page, auto& rows) { page.ReadTypeRows(rows); },
      [](const TypeRow& row) { return row.typeId; });

  if (!sql2000) {
    l.ReadRows(
        3, Filter::kAllPages, rowsetColumns, [](CDataPage& page, auto& rows) { page.ReadRowsetColumnRows(rows); },
        [](const RowsetColumnRow& row) { return std::pair(row.rowsetId, row.rowsetColumnId); });
    l.ReadRows(
        74, Filter::kDataPagesByEntry, objectRefs, [](CDataPage& page, auto& rows) { page.ReadObjectRefRows(rows); },
        [](const ObjectRefRow& row) {
          return std::tuple(row.refClass, row.dependentId, row.dependentSubId, row.independentId, row.independentSubId);
        });
    l.ReadRows(
        55, Filter::kAllPages, indexColumns, [](CDataPage& page, auto& rows) { page.ReadIndexColumnRows(rows); },
        [](const IndexColumnRow& row) { return std::tuple(row.objectId, row.indexId, row.indexColumnId); });
    l.ReadRows(
        13, Filter::kAllPages, hobtColumns, [](CDataPage& page, auto& rows) { page.ReadHobtColumnRows(rows); },
        [](const HobtColumnRow& row) { return std::pair(row.hobtId, row.hobtColumnId); });
    l.ReadRows(
        4, Filter::kAllPages, rowsetColumnMap, [](CDataPage& page, auto& rows) { page.ReadRowsetColumnMapRows(rows); },
        [](const RowsetColumnMapRow& row) { return std::pair(row.rowsetId, row.rowsetColumnId); });
    RepairRowsetRows();
    JoinChildObjects();
  }
  BuildIndexes();
  std::vector<LostTable> orphans = AddOrphanObjects(*file, *this);
  std::vector<LostTable> lost = FindLostTables(*file, *this);
  std::vector<LostTable> matched = MatchLostTables(*this, lost);
  AddLostTables(*this, std::move(lost));
  for (LostTable& table : matched) lostTables.push_back(std::move(table));
  for (LostTable& table : orphans) lostTables.push_back(std::move(table));
}

// sysindexes names the tables (one clustered index root each), syscolumns
// their columns.
void SystemCatalog::LoadLegacyTables() {
  using Filter = CatalogLoader::PageFilter;
  CatalogLoader& l = *loader;
  l.ReadSystemTable(2, Filter::kDataPagesByHeader, [&](CDataPage& page) {
    page.ReadLegacyIndexRoots(legacyIndexRoots);
    page.ReadLegacyIndexKeys(legacyIndexKeys);
  });

  std::map<int32_t, size_t> tablesById;
  for (const auto& [objectId, root] : legacyIndexRoots) {
    if (objectId <= 100) continue;
    LegacyTable table;
    table.objectId = objectId;
    const std::vector<uint32_t> named = ObjectsWithId(objectId);
    if (!named.empty()) table.name = objects[named.front()].name;
    tablesById[objectId] = legacyTables.size();
    legacyTables.push_back(std::move(table));
  }

  l.repairCounter = 0;
  l.ReadSystemTable(3, Filter::kAllPages, [&](CDataPage& page) {
    const size_t first = legacyColumns.size();
    page.ReadLegacyColumnRows(legacyColumns, l.repairCounter);
    for (size_t i = first; i < legacyColumns.size(); ++i) {
      const LegacyColumnRow& row = legacyColumns[i];
      auto it = tablesById.find(row.objectId);
      if (it == tablesById.end()) continue;
      legacyTables[it->second].columns.push_back({row.name, {}, row.columnOrder, row.typeStatus});
    }
  });
  l.repairCounter = 0;
}

void SystemCatalog::Clear() {
  currentAllocUnit = {};
  currentRowset = {};
  hobtColumns.clear();
  rowsetColumnMap.clear();
  legacyColumns.clear();
  legacyTables.clear();
  legacyIndexRoots.clear();
  legacyIndexKeys.clear();
  columns.clear();
  tableColumns.clear();
  tableLegacyColumns.clear();
  objects.clear();
  lostTables.clear();
  inferredShapes.clear();
  lostPageKeys.clear();
  classObjects.clear();
  tableHobtColumns.clear();
  tableNamelessColumns.clear();
  tableRowsetColumnMap.clear();
  types.clear();
  rowsetColumns.clear();
  objectRefs.clear();
  indexes.clear();
  indexColumns.clear();
  keyConstraints.clear();
  tableIndexes.clear();
  allocUnits.clear();
  rowsetIdsNameUnits_.reset();
  childObjects.clear();
  referencingChildObjects.clear();
  foreignKeyColumns.clear();
  rowsets.clear();
  objectRowsets.clear();
  tableAllocUnits.clear();
  tableRowsetColumns.clear();
  tablePages.clear();
  primaryKeyColumns.clear();
  files.clear();
  isTable = false;
  firstStoredColumn = 0;
  columnDescriptors.clear();
  currentObject = {};
  derivedStorage = false;
  seenPages.clear();
  BuildIndexes();
}

}  // namespace ravelin
