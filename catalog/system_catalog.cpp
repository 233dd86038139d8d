// Loading the catalog: which system tables are read, in which order, with
// which reader, and how the catalog layout is decided.

#include "catalog/system_catalog.h"

#include "catalog/catalog_lookups.h"
#include "catalog/data_page.h"
#include "storage/database_file.h"
#include "storage/page_header.h"

namespace ravelin {

void CatalogLoader::ReadSystemTable(uint32_t objectId, PageFilter filter, const std::function<void(CDataPage&)>& read) {
  const PageMap& map = file_.systemPageMap;
  if (map.empty()) return;
  auto it = map.find(objectId);
  if (it == map.end()) return;
  for (const PageMapEntry& entry : it->second) {
    if (filter == PageFilter::kDataPagesByEntry && entry.pageType != kPageTypeData) continue;
    std::optional<Bytes> bytes = file_.ReadPageBytes(entry.ToPageRef(), true);
    if (!bytes) continue;
    CDataPage page(std::move(*bytes), &file_);
    if (filter == PageFilter::kDataPagesByHeader && (!page.header || page.header->pageType != kPageTypeData)) continue;
    read(page);
  }
}

SystemCatalog::~SystemCatalog() = default;

SystemCatalog::SystemCatalog() { BuildIndexes(); }

SystemCatalog::SystemCatalog(const CDatabaseFile& databaseFile, std::vector<DataFileInfo> fileTable)
    : file(&databaseFile) {
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

  l.ReadSystemTable(64, Filter::kAllPages, [&](CDataPage& page) { page.ReadClassObjectRows(classObjects); });

  // The layout: a database with sysschobjs rows is read as 2005 and later,
  // anything else as 2000.
  sql2000_ = false;
  if (!file->systemPageMap.empty()) {
    counter = 0;
    l.ReadSystemTable(34, Filter::kAllPages,
                      [&](CDataPage& page) { page.ReadObjectRows(objects, classObjects, false, counter); });
    if (objects.empty()) {
      sql2000_ = true;
      l.ReadSystemTable(1, Filter::kAllPages,
                        [&](CDataPage& page) { page.ReadObjectRows(objects, classObjects, true, counter); });
    }
    counter = 0;
  }
  const bool sql2000 = IsSql2000();

  l.ReadSystemTable(sql2000 ? 99 : 7, Filter::kAllPages, [&](CDataPage& page) { page.ReadAllocUnitRows(allocUnits); });
  l.ReadSystemTable(5, Filter::kAllPages, [&](CDataPage& page) { page.ReadRowsetRows(rowsets); });

  if (sql2000) {
    LoadLegacyTables();
  } else {
    counter = 0;
    l.ReadSystemTable(41, Filter::kAllPages, [&](CDataPage& page) { page.ReadColumnRows(columns, counter); });
    l.ReadSystemTable(2187, Filter::kAllPages, [&](CDataPage& page) { page.ReadColumnRows(columns, counter); });
    counter = 0;
  }

  l.ReadSystemTable(50, Filter::kAllPages, [&](CDataPage& page) { page.ReadTypeRows(types); });

  if (!sql2000) {
    l.ReadSystemTable(3, Filter::kAllPages, [&](CDataPage& page) { page.ReadRowsetColumnRows(rowsetColumns); });
    l.ReadSystemTable(74, Filter::kDataPagesByEntry, [&](CDataPage& page) { page.ReadObjectRefRows(objectRefs); });
    l.ReadSystemTable(54, Filter::kAllPages, [&](CDataPage& page) { page.ReadIndexRows(indexes); });
    l.ReadSystemTable(55, Filter::kAllPages, [&](CDataPage& page) { page.ReadIndexColumnRows(indexColumns); });
    l.ReadSystemTable(13, Filter::kAllPages, [&](CDataPage& page) { page.ReadHobtColumnRows(hobtColumns); });
    l.ReadSystemTable(4, Filter::kAllPages, [&](CDataPage& page) { page.ReadRowsetColumnMapRows(rowsetColumnMap); });
    JoinChildObjects();
  }
  BuildIndexes();
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
  classObjects.clear();
  tableHobtColumns.clear();
  tableRowsetColumnMap.clear();
  types.clear();
  rowsetColumns.clear();
  objectRefs.clear();
  indexes.clear();
  indexColumns.clear();
  keyConstraints.clear();
  tableIndexes.clear();
  allocUnits.clear();
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
