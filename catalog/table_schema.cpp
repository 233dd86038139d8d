// Preparing a table: its storage (rowset, allocation units, data pages)
// and its column descriptors with their physical positions and keys.

#include <algorithm>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "catalog/system_catalog.h"
#include "storage/database_file.h"
#include "storage/page.h"
#include "storage/page_header.h"

namespace ravelin {
namespace {

// The positions of the rows of `rows` whose owner (`ownerOf`) is none of
// `owners` and that no other row shares it with: a damaged id leaves one
// row apart, while the rows of an owner whose own row is lost share theirs.
template <typename Row, typename Owner, typename OwnerFn>
std::vector<uint32_t> LoneRowsOfNoOwner(const std::vector<Row>& rows, const std::unordered_set<Owner>& owners,
                                        OwnerFn ownerOf) {
  std::unordered_map<Owner, int> rowsOf;
  for (const Row& row : rows) ++rowsOf[ownerOf(row)];
  std::vector<uint32_t> positions;
  for (size_t i = 0; i < rows.size(); ++i)
    if (!owners.count(ownerOf(rows[i])) && rowsOf[ownerOf(rows[i])] == 1) positions.push_back(static_cast<uint32_t>(i));
  return positions;
}

// Whether `id` is one damaged byte from `own` and from no other of `ids`.
template <typename Id, typename Range, typename IdFn>
bool OneByteFromItAlone(Id id, Id own, const Range& ids, IdFn idOf) {
  if (!DifferInOneByte(id, own)) return false;
  for (const auto& item : ids)
    if (idOf(item) != own && DifferInOneByte(id, idOf(item))) return false;
  return true;
}

// The index id part of an allocation unit id (bits 48 to 63), which SQL
// Server writes into the header index id of the unit's pages.
uint64_t IndexPart(int64_t allocUnitId) { return static_cast<uint64_t>(allocUnitId) >> 48; }

// A column row for column `id` of `objectId` whose own row is lost: a
// stand-in name, NULL allowed (a NULL shows as NULL); its type comes from
// the physical row.
ColumnRow StandInColumn(int32_t objectId, int32_t id) {
  ColumnRow row;
  row.objectId = objectId;
  row.number = 0;
  row.columnId = id;
  row.name = "Column" + std::to_string(id);
  row.status = 0;
  return row;
}

}  // namespace

TypeRow SystemCatalog::FindType(uint8_t systemTypeId, int32_t userTypeId) {
  const std::vector<uint32_t> candidates = TypesWithId(systemTypeId);
  for (uint32_t i : candidates) {
    const TypeRow& row = types[i];
    if (row.typeId == userTypeId && row.systemTypeId == systemTypeId && row.schemaId == 1) return row;
  }
  return candidates.empty() ? TypeRow{} : types[candidates.front()];
}

RowsetRow SystemCatalog::SelectTableRowset(int32_t objectId) {
  const RowsetRow* best = nullptr;
  const RowsetRow* last = nullptr;
  for (uint32_t i : RowsetsOf(objectId)) {
    const RowsetRow& row = rowsets[i];
    last = &row;
    isTable = true;
    // The heap (0) or the clustered index (1); of two alike the later.
    if (row.indexId >= 0 && row.indexId <= 1 && row.indexId <= (best ? best->indexId : 8)) best = &row;
  }
  if (best) {
    currentRowset = *best;
    return currentRowset;
  }
  // Without the rowset row of the heap or clustered index, that index's
  // own row names the rowset; a nonclustered index's rows are not the
  // table's.
  for (uint32_t i : IndexesOf(objectId)) {
    const IndexRow& index = indexes[i];
    if (index.rowsetId == 0 || index.indexId < 0 || index.indexId > 1) continue;
    derivedStorage = true;
    RowsetRow derived = last ? *last : RowsetRow{};
    derived.rowCount = RowsetRow{}.rowCount;  // another index's count is not the table's
    derived.indexId = index.indexId;
    derived.rowsetId = index.rowsetId;
    derived.objectId = index.objectId;
    derived.status = index.status;
    currentRowset = derived;
    return currentRowset;
  }
  currentRowset = last ? *last : RowsetRow{};
  return currentRowset;
}

AllocUnitRow SystemCatalog::SelectAllocUnit(int64_t rowsetId) {
  AllocUnitRow unit;
  for (uint32_t i : AllocUnitsOwnedBy(rowsetId))
    if (allocUnits[i].type == 1) unit = allocUnits[i];

  if (unit.firstPage.pageNo != 0 || unit.rootPage.pageNo != 0 || unit.firstIamPage.pageNo != 0) {
    TakeLastDataPage(unit.allocUnitId, unit.firstPage);
  } else if (RowsetIdNamesUnit(rowsetId)) {
    // No unit, or one without pages: the rowset id stands for the unit id.
    unit.allocUnitId = rowsetId;
    unit.ownerId = rowsetId;
    const uint32_t key = AllocUnitPageKey(rowsetId);
    if (const std::vector<PageMapEntry>* pages = PagesUnder(dataPages_, key); pages && !pages->empty()) {
      derivedStorage = true;
      TakeLastDataPage(rowsetId, unit.firstPage);
    }
    if (const std::vector<PageMapEntry>* pages = PagesUnder(iamPages_, key); pages && !pages->empty()) {
      derivedStorage = true;
      for (const PageMapEntry& entry : *pages)
        if (entry.pageType == kPageTypeIam) unit.firstIamPage = entry.ToPageRef();
    }
  }
  currentAllocUnit = unit;
  return unit;
}

// Whether the in-row unit of `rowsetId` has the rowset's own id. Rowsets
// numbered from their object id (system tables, tables from SQL Server
// 2000) have; those numbered from 2^56 on (tables made by SQL Server 2005
// and later) get units numbered apart, and a unit with such a rowset's id
// is another structure's. Units that survive in the file may show
// otherwise.
bool SystemCatalog::RowsetIdNamesUnit(int64_t rowsetId) const {
  constexpr int64_t kNumberedApart = int64_t{1} << 56;
  if (rowsetId < kNumberedApart) return true;
  if (!rowsetIdsNameUnits_) {
    size_t same = 0;
    size_t apart = 0;
    for (const AllocUnitRow& unit : allocUnits) {
      if (unit.type != 1 || unit.ownerId < kNumberedApart) continue;
      (unit.allocUnitId == unit.ownerId ? same : apart) += 1;
    }
    rowsetIdsNameUnits_ = same > apart;
  }
  return *rowsetIdsNameUnits_;
}

// The last data page of the unit stands as its first page.
void SystemCatalog::TakeLastDataPage(int64_t unitId, PageRef& firstPage) {
  const uint32_t key = AllocUnitPageKey(unitId);
  const std::vector<PageMapEntry>* pages = PagesUnder(dataPages_, key);
  if (!pages) return;
  for (const PageMapEntry& entry : *pages)
    if (entry.pageType == kPageTypeData && UnitHoldsPage(unitId, key, entry)) firstPage = entry.ToPageRef();
}

bool SystemCatalog::UnitHoldsPage(int64_t unitId, uint32_t key, const PageMapEntry& entry) {
  // User allocation units (index part 256) may carry the same small object
  // id in their page headers as a system table does; the page maps file
  // both under that id. The system table's pages are the ones filed as
  // system pages.
  if (!IsSystemObjectId(key)) return true;
  const bool systemPage = SystemPagesUnder(key).count(entry.ToPageRef()) != 0;
  return IndexPart(unitId) < 256 ? systemPage : !systemPage;
}

void SystemCatalog::AppendDataPages(uint32_t key, int64_t unitId) {
  const std::vector<PageMapEntry>* entries = PagesUnder(dataPages_, key);
  if (!entries) return;
  for (const PageMapEntry& entry : *entries) {
    if (entry.pageType != kPageTypeData || !UnitHoldsPage(unitId, key, entry)) continue;
    // Units that share a page key (the indexes of a system table, a unit
    // read twice) must not list a page twice.
    const PageRef ref = entry.ToPageRef();
    if (IsMisfiledCatalogPage(ref) || !seenPages.insert(ref).second) continue;
    tablePages.push_back(ref);
  }
}

void SystemCatalog::CollectTablePages() {
  tableAllocUnits.clear();
  tablePages.clear();
  for (const RowsetRow& rowset : objectRowsets)
    for (uint32_t i : AllocUnitsOwnedBy(rowset.rowsetId)) tableAllocUnits.push_back(allocUnits[i]);
  if (derivedStorage && tableAllocUnits.empty()) {
    for (const RowsetRow& rowset : objectRowsets)
      for (uint32_t i : AllocUnitsWithId(rowset.rowsetId)) tableAllocUnits.push_back(allocUnits[i]);
    if (tableAllocUnits.empty()) {
      for (const RowsetRow& rowset : objectRowsets) {
        if (!RowsetIdNamesUnit(rowset.rowsetId)) continue;
        AllocUnitRow unit;
        unit.allocUnitId = rowset.rowsetId;
        unit.ownerId = rowset.rowsetId;
        unit.type = 255;
        unit.status = -1;
        tableAllocUnits.push_back(unit);
      }
    }
  }
  seenPages.clear();
  for (const AllocUnitRow& unit : tableAllocUnits)
    AppendDataPages(AllocUnitPageKey(unit.allocUnitId), unit.allocUnitId);
}

void SystemCatalog::CollectLegacyPages(int32_t objectId) {
  tablePages.clear();
  auto lost = lostPageKeys.find(objectId);
  const uint32_t key = lost == lostPageKeys.end() ? static_cast<uint32_t>(objectId) : lost->second;
  const std::vector<PageMapEntry>* entries = PagesUnder(dataPages_, key);
  if (!entries) return;
  for (const PageMapEntry& entry : *entries)
    if (entry.pageType == kPageTypeData && !IsMisfiledCatalogPage(entry.ToPageRef()))
      tablePages.push_back(entry.ToPageRef());
}

void SystemCatalog::SelectTableColumns(int32_t objectId) {
  if (IsSql2000()) {
    tableLegacyColumns.clear();
    std::unordered_set<int32_t> seen;
    for (uint32_t i : LegacyColumnsOf(objectId))
      if (seen.insert(legacyColumns[i].columnId).second) tableLegacyColumns.push_back(legacyColumns[i]);
    // As below: a row whose object id took a damaged byte.
    bool adopted = false;
    for (uint32_t i : OrphanLegacyColumns()) {
      const LegacyColumnRow& row = legacyColumns[i];
      if (seen.count(row.columnId) || row.columnId <= 0) continue;
      if (!OneByteFromItAlone(row.objectId, objectId, objects, [](const ObjectRow& o) { return o.objectId; })) continue;
      seen.insert(row.columnId);
      tableLegacyColumns.push_back(row);
      tableLegacyColumns.back().objectId = objectId;
      adopted = true;
    }
    if (adopted)
      std::stable_sort(tableLegacyColumns.begin(), tableLegacyColumns.end(),
                       [](const LegacyColumnRow& a, const LegacyColumnRow& b) { return a.columnId < b.columnId; });
    return;
  }
  tableColumns.clear();
  std::unordered_set<int32_t> seen;
  const std::vector<uint32_t> rows = ColumnsOf(objectId);
  for (uint32_t i : rows) {
    const ColumnRow& row = columns[i];
    if (row.number == 0 && seen.insert(row.columnId).second) tableColumns.push_back(row);
  }
  // A table's columns are all number 0 (numbers tell apart the parameters
  // of numbered procedures); another number on a table's row is damage.
  if (currentObject.typeCode != "U " && currentObject.typeCode != "S " && currentObject.typeCode != "IT") return;
  for (uint32_t i : rows) {
    const ColumnRow& row = columns[i];
    if (row.number != 0 && seen.insert(row.columnId).second) tableColumns.push_back(row);
  }
  // A column row whose object id took a damaged byte belongs to no object;
  // it is this table's where its id is one byte from the table's alone and
  // its column id is free here.
  for (uint32_t i : OrphanColumns()) {
    const ColumnRow& row = columns[i];
    if (seen.count(row.columnId)) continue;
    if (!OneByteFromItAlone(row.objectId, objectId, objects, [](const ObjectRow& o) { return o.objectId; })) continue;
    seen.insert(row.columnId);
    ColumnRow adopted = row;
    adopted.objectId = objectId;
    tableColumns.push_back(adopted);
  }
}

const std::vector<uint32_t>& SystemCatalog::OrphanColumns() {
  const std::pair<size_t, size_t> stamp{columns.size(), objects.size()};
  if (orphanColumns_.builtFor != stamp) {
    std::unordered_set<int32_t> ids;
    for (const ObjectRow& object : objects) ids.insert(object.objectId);
    orphanColumns_ = {LoneRowsOfNoOwner(columns, ids, [](const ColumnRow& r) { return r.objectId; }), stamp};
  }
  return orphanColumns_.positions;
}

const std::vector<uint32_t>& SystemCatalog::OrphanLegacyColumns() {
  const std::pair<size_t, size_t> stamp{legacyColumns.size(), objects.size()};
  if (orphanLegacyColumns_.builtFor != stamp) {
    std::unordered_set<int32_t> ids;
    for (const ObjectRow& object : objects) ids.insert(object.objectId);
    orphanLegacyColumns_ = {LoneRowsOfNoOwner(legacyColumns, ids, [](const LegacyColumnRow& r) { return r.objectId; }),
                            stamp};
  }
  return orphanLegacyColumns_.positions;
}

const std::vector<uint32_t>& SystemCatalog::OrphanRowsetColumns() {
  const std::pair<size_t, size_t> stamp{rowsetColumns.size(), rowsets.size()};
  if (orphanRowsetColumns_.builtFor != stamp) {
    std::unordered_set<int64_t> ids;
    for (const RowsetRow& rowset : rowsets) ids.insert(rowset.rowsetId);
    orphanRowsetColumns_ = {LoneRowsOfNoOwner(rowsetColumns, ids, [](const RowsetColumnRow& r) { return r.rowsetId; }),
                            stamp};
  }
  return orphanRowsetColumns_.positions;
}

void SystemCatalog::SelectRowsetColumns(int64_t rowsetId) {
  tableRowsetColumns.clear();
  tableHobtColumns.clear();
  tableRowsetColumnMap.clear();
  for (uint32_t i : RowsetColumnsOf(rowsetId)) tableRowsetColumns.push_back(rowsetColumns[i]);
  if (!tableRowsetColumns.empty() && rowsetId != 0) {
    // A physical row whose rowset id took a damaged byte belongs to no
    // rowset; it is this rowset's where its id is one byte from this
    // rowset's alone and its place is free here.
    std::unordered_set<int32_t> ids;
    int32_t highest = 0;
    for (const RowsetColumnRow& row : tableRowsetColumns) {
      ids.insert(row.rowsetColumnId);
      if (row.rowsetColumnId < 0x4000000) highest = std::max(highest, row.rowsetColumnId);
    }
    // Rowsets are numbered one after another, so only a row that fills a
    // gap among this rowset's columns is taken.
    for (uint32_t i : OrphanRowsetColumns()) {
      const RowsetColumnRow& row = rowsetColumns[i];
      if (ids.count(row.rowsetColumnId) || row.rowsetColumnId <= 0 || row.rowsetColumnId > highest) continue;
      if (!OneByteFromItAlone(row.rowsetId, rowsetId, rowsets, [](const RowsetRow& r) { return r.rowsetId; })) continue;
      ids.insert(row.rowsetColumnId);
      RowsetColumnRow adopted = row;
      adopted.rowsetId = rowsetId;
      tableRowsetColumns.push_back(adopted);
    }
    return;
  }
  if (!tableRowsetColumns.empty()) return;
  // SQL Server 2005 keeps the physical columns in objects 13 and 4.
  for (uint32_t i : HobtColumnsOf(rowsetId)) tableHobtColumns.push_back(hobtColumns[i]);
  for (uint32_t i : RowsetColumnMapOf(rowsetId)) {
    const RowsetColumnMapRow& map = rowsetColumnMap[i];
    for (HobtColumnRow& hobt : tableHobtColumns)
      if (hobt.hobtColumnId == map.rowsetColumnId) hobt.mappedColumnId = map.hobtColumnId;
    tableRowsetColumnMap.push_back(map);
  }
}

std::vector<IndexColumnRow> SystemCatalog::SelectIndexColumns(int32_t objectId) {
  tableIndexes.clear();
  for (uint32_t i : IndexesOf(objectId)) {
    const IndexRow& index = indexes[i];
    if ((index.status & 1) != 0 && index.indexId > 0) tableIndexes.push_back(index);
  }
  const std::vector<uint32_t> collected = IndexColumnsOf(objectId);
  std::vector<IndexColumnRow> result;
  for (const IndexRow& index : tableIndexes) {
    for (uint32_t i : collected) {
      if (indexColumns[i].indexId != index.indexId) continue;
      IndexColumnRow column = indexColumns[i];
      column.indexStatus = index.status;
      result.push_back(column);
    }
  }
  return result;
}

namespace {

// Bytes a decimal or numeric value of `precision` digits takes.
int DecimalStorageLength(int precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

}  // namespace

// Bytes a value of a fixed-length system type takes; `scale` for the time
// types. 0 for types without a fixed length.
int FixedTypeLength(uint8_t systemTypeId, uint8_t scale) {
  const int fraction = scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
  switch (systemTypeId) {
    case 48:   // tinyint
    case 104:  // bit
      return 1;
    case 52:  // smallint
      return 2;
    case 40:  // date
      return 3;
    case 56:   // int
    case 58:   // smalldatetime
    case 59:   // real
    case 122:  // smallmoney
      return 4;
    case 41:  // time
      return fraction;
    case 42:  // datetime2
      return fraction + 3;
    case 43:  // datetimeoffset
      return fraction + 5;
    case 60:   // money
    case 61:   // datetime
    case 62:   // float
    case 127:  // bigint
    case 189:  // timestamp
      return 8;
    case 36:  // uniqueidentifier
      return 16;
    default:
      return 0;
  }
}

// Bytes a fixed-length physical column takes, from the type its row
// carries (SQL Server leaves its in-row length 0); 0 when not known.
int PhysicalFixedLength(const RowsetColumnRow& row) {
  const auto typeInfo = static_cast<uint32_t>(row.typeInfo);
  const auto systemTypeId = static_cast<uint8_t>(typeInfo & 0xFF);
  switch (systemTypeId) {
    case 106:  // decimal
    case 108:  // numeric
      return DecimalStorageLength(static_cast<int>((typeInfo >> 8) & 0xFF));
    case 173:  // binary
    case 175:  // char
    case 239:  // nchar
      return static_cast<int>((typeInfo >> 8) & 0xFFFF);
    default:
      return FixedTypeLength(systemTypeId, static_cast<uint8_t>((typeInfo >> 8) & 0xFF));
  }
}

namespace {

// "name(length)"; a catalog without the type's row still names the
// system types.
std::string TypeText(const TypeRow& type, uint8_t systemTypeId, int32_t userTypeId, int16_t length) {
  const std::string name = type.name.empty() ? BuiltInTypeName(systemTypeId, userTypeId) : type.name;
  return name + "(" + std::to_string(length) + ")";
}

}  // namespace

std::optional<ColumnDescriptor> SystemCatalog::DescribeColumn(const ColumnRow& row) {
  if (row.systemTypeId == 0) return std::nullopt;
  const TypeRow type = FindType(row.systemTypeId, row.userTypeId);
  ColumnDescriptor d = MakeColumnDescriptor(row.name, TypeText(type, row.systemTypeId, row.userTypeId, row.length),
                                            TypeCodeForSystemType(row.systemTypeId));
  if (d.typeCode == kTypeClr) {
    if (row.userTypeId == 129) d.typeCode = kTypeGeometry;
    if (row.userTypeId == 128) d.typeCode = kTypeHierarchyId;
  }
  d.nullable = (row.status & 1) == 0 ? 1 : 0;
  d.statusBit24 = (row.status >> 24) & 1;
  d.statusBit3 = (row.status & 8) != 0 ? 1 : 0;
  d.columnId = row.columnId;
  d.hobtColumnId = row.columnId;
  d.precision = row.precision;
  d.scale = row.scale;
  d.collationId = row.collationId;
  d.identityText = row.identityText;
  d.stored = 1;
  return d;
}

std::optional<ColumnDescriptor> SystemCatalog::DescribeColumn(const LegacyColumnRow& row) {
  if (row.systemTypeId == 0) return std::nullopt;
  const TypeRow type = FindType(row.systemTypeId, row.userTypeId);
  ColumnDescriptor d = MakeColumnDescriptor(row.name, TypeText(type, row.systemTypeId, row.userTypeId, row.length),
                                            TypeCodeForSystemType(row.systemTypeId));
  // syscolumns marks a column NOT NULL in bit 0 of its type status; the
  // status byte that follows the collation is absent from the rows SQL
  // Server 2000 writes.
  d.nullable = (row.typeStatus & 1) == 0 ? 1 : 0;
  d.columnId = row.columnId;
  d.hobtColumnId = row.columnId;
  d.precision = row.precision;
  d.scale = row.scale;
  d.statusBit24 = 0;
  d.nullBit = row.bitPosition;
  d.collationId = row.collationId;
  d.leafOffset = row.offset;
  d.legacyFixedOffset = row.fixedOffset;
  return d;
}

// The storage of a table of the 2005+ layout: its rowset and allocation
// units, and from them its data pages.
void SystemCatalog::CollectObjectPages(int32_t objectId) {
  derivedStorage = false;
  SelectTableRowset(objectId);
  SelectAllocUnit(currentRowset.rowsetId);
  LoadObjectRowsets(objectId);
  CollectTablePages();
  if (!tablePages.empty()) return;
  // Pages of an upgraded 2000 table keep the object id in their headers.
  seenPages.clear();
  AppendDataPages(static_cast<uint32_t>(objectId), static_cast<int64_t>(static_cast<uint32_t>(objectId)) << 16);
}

void SystemCatalog::ApplyPhysicalLayout(std::vector<ColumnDescriptor>& descriptors) {
  // Column id -> first descriptor with that id.
  std::unordered_map<int32_t, size_t> byColumnId;
  for (size_t i = 0; i < descriptors.size(); ++i) byColumnId.emplace(descriptors[i].columnId, i);

  for (const RowsetColumnRow& column : tableRowsetColumns) {
    auto it = byColumnId.find(column.rowsetColumnId);
    if (it == byColumnId.end()) continue;
    ColumnDescriptor& d = descriptors[it->second];
    d.leafOffset = static_cast<int16_t>(column.offset & 0xFFFF);
    d.hobtColumnId = column.hobtColumnId;
    d.nullBit = column.nullBit;
    d.stored = 1;
  }
  if (tableRowsetColumns.empty() && tableHobtColumns.empty())
    for (ColumnDescriptor& d : descriptors) d.stored = 1;

  // SQL Server 2005: a physical column without a catalog row is a dropped
  // column whose values are still in the records; it keeps its place. With
  // no catalog row at all the columns' names and types are lost: values
  // read without a type would be blanks, not data.
  const size_t catalogColumns = descriptors.size();
  if (catalogColumns == 0) return;
  for (const HobtColumnRow& hobt : tableHobtColumns) {
    if (auto it = byColumnId.find(hobt.hobtColumnId); it != byColumnId.end()) {
      ColumnDescriptor& d = descriptors[it->second];
      d.leafOffset = hobt.leafOffset;
      d.nullBit = hobt.nullBit;
      d.hobtColumnId = hobt.mappedColumnId;
      d.stored = 1;
      continue;
    }
    if (descriptors.size() == tableHobtColumns.size()) continue;
    ColumnDescriptor dropped;
    dropped.columnId = hobt.hobtColumnId;
    dropped.leafOffset = hobt.leafOffset;
    dropped.nullBit = hobt.nullBit;
    dropped.stored = 0;
    dropped.hobtColumnId = kDroppedColumnId;
    byColumnId.emplace(dropped.columnId, descriptors.size());
    descriptors.push_back(std::move(dropped));
  }
}

void SystemCatalog::ApplyKeys(std::vector<ColumnDescriptor>& descriptors, const std::vector<IndexColumnRow>& keyColumns,
                              const std::string& tableName) {
  for (ColumnDescriptor& d : descriptors) {
    for (const IndexColumnRow& key : keyColumns) {
      if (key.columnId != d.columnId) continue;
      if ((key.indexStatus & 0x20) != 0) {
        primaryKeyColumns.push_back({tableName, d.name, {}, key.keyOrdinal});
        d.primaryKey = 1;
      }
      if ((key.indexStatus & 0x08) != 0) d.unique = 1;
      if ((key.indexStatus & 0x40) != 0) {
        d.uniqueConstraint = 1;
        d.keyOrdinal = key.keyOrdinal;
      }
    }
  }
  for (uint32_t i : ForeignKeysOf(currentObject.objectId)) {
    const ForeignKeyColumn& key = foreignKeyColumns[i];
    if (key.referencedTableName.empty() || key.referencedColumnName.empty()) continue;
    for (ColumnDescriptor& d : descriptors) {
      if (d.columnId != key.parentColumnId) continue;
      d.foreignKey = 1;
      d.referencedTable = key.referencedTableName;
      d.referencedColumn = key.referencedColumnName;
    }
  }
}

std::vector<ColumnDescriptor> SystemCatalog::PrepareTable(const std::string& tableName) {
  const int32_t objectId = currentObject.objectId;
  const bool sql2000 = IsSql2000();
  isTable = false;
  if (sql2000) {
    // The 2000 layout has no rowsets; nothing of the table before stays.
    derivedStorage = false;
    currentRowset = {};
    currentAllocUnit = {};
    objectRowsets.clear();
    tableAllocUnits.clear();
    seenPages.clear();
    CollectLegacyPages(objectId);
    tableRowsetColumns.clear();
    tableHobtColumns.clear();
    tableRowsetColumnMap.clear();
  } else {
    CollectObjectPages(objectId);
    // The physical columns of a nonclustered index are laid out as its
    // index rows are, not as the table's records.
    const bool tableRowset = currentRowset.indexId >= 0 && currentRowset.indexId <= 1;
    SelectRowsetColumns(tableRowset ? currentRowset.rowsetId : 0);
  }
  SelectTableColumns(objectId);
  if (!sql2000) {
    RepairColumnFields();
    MendRowsetColumns();
  }
  RepairColumnPlaces();
  const std::vector<IndexColumnRow> keyColumns = SelectIndexColumns(objectId);

  std::vector<ColumnDescriptor> descriptors;
  tableNamelessColumns.clear();
  const auto add = [&](std::optional<ColumnDescriptor> d) {
    if (d) descriptors.push_back(std::move(*d));
  };
  if (sql2000) {
    for (const LegacyColumnRow& row : tableLegacyColumns) add(DescribeColumn(row));
    for (const LegacyColumnRow& row : ColumnsFromIndexKeys()) {
      const size_t before = descriptors.size();
      add(DescribeColumn(row));
      if (descriptors.size() > before) tableNamelessColumns.push_back(row.name);
    }
  } else {
    for (const ColumnRow& row : tableColumns) add(DescribeColumn(row));
    // A column whose syscolpars row is lost still has its physical row,
    // which carries its type; its name is lost with the row.
    const std::vector<ColumnRow> nameless =
        tableRowsetColumns.empty() ? ColumnsFromHobtColumns() : ColumnsFromRowsetColumns();
    for (const ColumnRow& row : nameless) {
      const size_t before = descriptors.size();
      add(DescribeColumn(row));
      if (descriptors.size() > before) tableNamelessColumns.push_back(row.name);
    }
  }
  std::stable_sort(descriptors.begin(), descriptors.end(),
                   [](const ColumnDescriptor& a, const ColumnDescriptor& b) { return a.columnId < b.columnId; });

  ApplyPhysicalLayout(descriptors);
  ApplyKeys(descriptors, keyColumns, tableName);

  firstStoredColumn = 0;
  for (size_t i = 0; i < descriptors.size(); ++i) {
    if (descriptors[i].hobtColumnId != kDroppedColumnId) {
      firstStoredColumn = static_cast<int32_t>(i);
      break;
    }
  }
  isTable = true;
  return descriptors;
}

// The physical column rows of a table are read from pages of their own,
// apart from the catalog column rows; damage can take some and change the
// ids of others. Where every intact row shows the plain layout (physical
// id, rowset id and null bit the same), a row whose rowset id is damaged
// gets back the id its physical id names, and the catalog columns without
// a row get one in the places left free, as far as the records on the
// table's first page have columns: fixed columns after the fixed column
// before them, variable ones in the order of their ids.
void SystemCatalog::MendRowsetColumns() {
  if (tableRowsetColumns.empty() || tableColumns.empty() || !file) return;
  std::set<int32_t> catalogIds;
  for (const ColumnRow& row : tableColumns) catalogIds.insert(row.columnId);
  std::set<int32_t> claimed;
  for (const RowsetColumnRow& row : tableRowsetColumns) {
    if ((row.nullBit & 0xFFFF) != row.hobtColumnId) return;  // not the plain layout
    if (catalogIds.count(row.rowsetColumnId)) claimed.insert(row.rowsetColumnId);
  }
  for (RowsetColumnRow& row : tableRowsetColumns) {
    if (catalogIds.count(row.rowsetColumnId) || row.rowsetColumnId == 0) continue;
    if (catalogIds.count(row.hobtColumnId) && claimed.insert(row.hobtColumnId).second)
      row.rowsetColumnId = row.hobtColumnId;
  }
  for (const RowsetColumnRow& row : tableRowsetColumns)
    if (catalogIds.count(row.rowsetColumnId) && row.rowsetColumnId != row.hobtColumnId) return;
  if (claimed.size() == catalogIds.size() || tablePages.empty()) return;

  // How many columns the records have: the most common count on the first
  // page that reads.
  int32_t recordColumns = 0;
  for (size_t i = 0; i < tablePages.size() && i < 4 && recordColumns == 0; ++i) {
    std::unique_ptr<PrimaryRecordPage> page = file->ReadTableDataPage(tablePages[i]);
    if (!page) continue;
    std::map<int32_t, size_t> counts;
    for (const auto& record : page->records)
      if (record && record->recordType == kRecordPrimary && !record->hasError) ++counts[record->columnCount];
    size_t best = 0;
    for (const auto& [count, records] : counts)
      if (records > best) best = records, recordColumns = count;
  }
  std::set<int32_t> positions;
  for (const RowsetColumnRow& row : tableRowsetColumns) positions.insert(row.hobtColumnId);

  // Each catalog column in id order: its place, its fixed offset or its
  // variable index, from the columns before it.
  int32_t fixedEnd = 4;
  int32_t variables = 0;
  bool previousBit = false;
  int32_t previousBitOffset = 0;
  int bitsInByte = 0;
  std::vector<RowsetColumnRow> added;
  std::vector<ColumnRow> ordered = tableColumns;
  std::sort(ordered.begin(), ordered.end(),
            [](const ColumnRow& a, const ColumnRow& b) { return a.columnId < b.columnId; });
  std::map<int32_t, const RowsetColumnRow*> byId;
  for (const RowsetColumnRow& row : tableRowsetColumns) byId.emplace(row.rowsetColumnId, &row);
  for (const ColumnRow& column : ordered) {
    const std::optional<ColumnDescriptor> d = DescribeColumn(column);
    if (!d || d->statusBit24) return;  // sparse columns live elsewhere
    const bool variable = d->variableLength && d->typeCode != kTypeUniqueIdentifier;
    const bool bit = d->typeCode == kTypeBit;
    const int32_t length = d->typeCode == kTypeUniqueIdentifier ? 16 : LengthInParentheses(d->typeText);
    if (auto it = byId.find(column.columnId); it != byId.end()) {
      const auto offset = static_cast<int16_t>(it->second->offset & 0xFFFF);
      if (variable) {
        variables = std::max<int32_t>(variables, -offset);
      } else if (offset > 0) {
        fixedEnd = offset + (bit ? 1 : length);
        previousBit = bit, previousBitOffset = offset, bitsInByte = bit ? 1 : 0;
      }
      continue;
    }
    const int32_t position = column.columnId;
    if (position < 1 || position > recordColumns || positions.count(position)) return;
    RowsetColumnRow row;
    row.rowsetId = currentRowset.rowsetId;
    row.rowsetColumnId = column.columnId;
    row.hobtColumnId = position;
    row.nullBit = position;
    row.typeInfo = column.systemTypeId;
    if (variable) {
      row.offset = static_cast<uint16_t>(-(++variables));
      row.maxInRowLength = static_cast<int16_t>(column.length < 0 ? 8000 : column.length);
    } else {
      if (length <= 0) return;
      int32_t offset = fixedEnd;
      if (bit && previousBit && bitsInByte < 8) {
        offset = previousBitOffset;
        ++bitsInByte;
      } else {
        bitsInByte = bit ? 1 : 0;
      }
      row.offset = offset;
      row.maxInRowLength = static_cast<int16_t>(bit ? 1 : length);
      fixedEnd = offset + row.maxInRowLength;
      previousBit = bit, previousBitOffset = offset;
    }
    positions.insert(position);
    added.push_back(row);
  }
  for (RowsetColumnRow& row : added) tableRowsetColumns.push_back(row);
}

std::vector<ColumnRow> SystemCatalog::ColumnsFromHobtColumns() const {
  std::vector<ColumnRow> rows;
  if (tableColumns.empty()) return rows;  // nothing of the table's columns is known
  std::set<int32_t> known;
  for (const ColumnRow& row : tableColumns) known.insert(row.columnId);
  for (const HobtColumnRow& physical : tableHobtColumns) {
    const int32_t id = physical.hobtColumnId;
    // The uniquifier has no rowset column; a dropped column's mapping went
    // with it.
    if (id <= 0 || id > kMostColumns || physical.mappedColumnId <= 0 || known.count(id)) continue;
    ColumnRow row = StandInColumn(currentObject.objectId, id);
    row.systemTypeId = physical.systemTypeId;
    row.userTypeId = row.systemTypeId;
    row.length = physical.length;
    row.precision = physical.precision;
    row.scale = physical.scale;
    if (row.systemTypeId == 106 || row.systemTypeId == 108)
      row.length = static_cast<int16_t>(DecimalStorageLength(row.precision));
    row.collationId = physical.collationId;
    if (row.systemTypeId == 0 || row.length == 0) continue;
    known.insert(id);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<LegacyColumnRow> SystemCatalog::ColumnsFromIndexKeys() const {
  std::vector<LegacyColumnRow> rows;
  if (tableLegacyColumns.empty()) return rows;  // nothing of the table's columns is known
  std::set<int32_t> known;
  for (const LegacyColumnRow& row : tableLegacyColumns) known.insert(row.columnId);
  for (const LegacyIndexKey& index : legacyIndexKeys) {
    if (index.objectId != currentObject.objectId) continue;
    for (const LegacyKeyColumn& key : index.keyColumns) {
      // A column an index or a statistic is kept on cannot have been
      // dropped: its column row was lost.
      if (key.columnId <= 0 || key.columnId > kMostColumns || known.count(key.columnId)) continue;
      if (key.systemTypeId == 0 || key.length <= 0 || key.offset == 0) continue;
      // A key whose column id took a damaged byte names a column the table
      // has: one of the same type and place.
      const bool copy =
          std::any_of(tableLegacyColumns.begin(), tableLegacyColumns.end(), [&](const LegacyColumnRow& c) {
            return c.systemTypeId == key.systemTypeId && c.fixedOffset == key.offset &&
                   DifferInOneByte(int32_t{c.columnId}, int32_t{key.columnId});
          });
      if (copy) continue;
      LegacyColumnRow row;
      row.name = "Column" + std::to_string(key.columnId);
      row.objectId = currentObject.objectId;
      row.systemTypeId = key.systemTypeId;
      row.typeStatus = 0;
      row.userTypeId = key.systemTypeId;
      row.length = key.length;
      row.precision = key.precision;
      row.scale = key.scale;
      row.columnId = key.columnId;
      row.fixedOffset = key.offset;
      row.bitPosition = 0;
      row.offset = key.offset;
      row.collationId = key.collationId;
      known.insert(key.columnId);
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

std::vector<ColumnRow> SystemCatalog::ColumnsFromRowsetColumns() const {
  std::vector<ColumnRow> rows;
  std::set<int32_t> known;
  for (const ColumnRow& row : tableColumns) known.insert(row.columnId);
  for (const RowsetColumnRow& physical : tableRowsetColumns) {
    const int32_t id = physical.rowsetColumnId;
    // The uniquifier (0) and dropped columns (ids from 0x4000000 on) are
    // no columns of the table.
    if (id <= 0 || id >= 0x4000000 || known.count(id)) continue;
    const auto typeInfo = static_cast<uint32_t>(physical.typeInfo);
    ColumnRow row = StandInColumn(currentObject.objectId, id);
    row.systemTypeId = static_cast<uint8_t>(typeInfo & 0xFF);
    row.userTypeId = row.systemTypeId;
    switch (row.systemTypeId) {
      case 106:  // decimal
      case 108:  // numeric
        row.precision = static_cast<uint8_t>((typeInfo >> 8) & 0xFF);
        row.scale = static_cast<uint8_t>((typeInfo >> 16) & 0xFF);
        row.length = static_cast<int16_t>(DecimalStorageLength(row.precision));
        break;
      case 165:  // varbinary
      case 167:  // varchar
      case 173:  // binary
      case 175:  // char
      case 231:  // nvarchar
      case 239:  // nchar
      case 34:   // image
      case 35:   // text
      case 99:   // ntext
      case 241:  // xml
      case 240:  // CLR types
        row.length = static_cast<int16_t>((typeInfo >> 8) & 0xFFFF);
        if (row.length == 0 && physical.maxInRowLength == 8000) row.length = -1;  // a max type
        break;
      default:
        row.length =
            static_cast<int16_t>(FixedTypeLength(row.systemTypeId, static_cast<uint8_t>((typeInfo >> 8) & 0xFF)));
        row.scale = static_cast<uint8_t>((typeInfo >> 8) & 0xFF);
        break;
    }
    row.collationId = physical.columnId;  // the field that holds the column's collation
    if (row.systemTypeId == 0 || row.length == 0) continue;
    rows.push_back(std::move(row));
  }
  return rows;
}

RecordShape SystemCatalog::DescribeRecordShape(const std::vector<ColumnDescriptor>& descriptors) const {
  RecordShape shape;
  if (!isTable || descriptors.empty()) return shape;
  if (auto inferred = inferredShapes.find(currentObject.objectId); inferred != inferredShapes.end())
    return inferred->second;
  std::unordered_map<int32_t, const ColumnDescriptor*> byColumnId;
  for (const ColumnDescriptor& d : descriptors) byColumnId.emplace(d.columnId, &d);
  auto fixedLength = [](const ColumnDescriptor& d) {
    return d.typeCode == kTypeBit ? 1 : LengthInParentheses(d.typeText);
  };
  shape.known = true;
  shape.namesLost = tableNamelessColumns;
  shape.namesLostFromIndexRows = IsSql2000();

  if (!tableRowsetColumns.empty()) {
    // Every physical column has its row, dropped and hidden ones included,
    // with its offset and in-row length.
    int32_t variable = 0;
    bool sparse = false;
    for (const RowsetColumnRow& row : tableRowsetColumns) {
      const int32_t position = row.nullBit & 0xFFFF;
      shape.maxColumns = std::max(shape.maxColumns, position);
      auto it = byColumnId.find(row.rowsetColumnId);
      const ColumnDescriptor* d = it == byColumnId.end() ? nullptr : it->second;
      if (d && d->statusBit24) {
        sparse = true;
        continue;
      }
      const auto offset = static_cast<int16_t>(row.offset & 0xFFFF);
      if (offset > 0) {
        const int32_t length = row.maxInRowLength > 0 ? row.maxInRowLength : PhysicalFixedLength(row);
        if (length <= 0) return RecordShape();  // a fixed column needs its length
        const int32_t end = offset + length;
        shape.fixedColumns.push_back({position, end});
        shape.fullFixedEnd = std::max(shape.fullFixedEnd, end);
      } else {
        ++variable;
      }
      if (d && d->nullable == 0 && position > 0) shape.notNullColumns.push_back({position, position - 1});
    }
    shape.maxColumns = std::max<int32_t>(shape.maxColumns, static_cast<int32_t>(tableRowsetColumns.size()));
    shape.variableColumns = variable + (sparse ? 1 : 0);
    if (shape.fullFixedEnd == 0) shape.fullFixedEnd = 4;
    // Places with no physical row: rows were lost, and how many columns
    // the records have is the records' own word.
    std::set<int32_t> places;
    for (const RowsetColumnRow& row : tableRowsetColumns) places.insert(row.nullBit & 0xFFFF);
    bool gaps = false;
    for (int32_t position = 1; position <= shape.maxColumns; ++position) gaps = gaps || !places.count(position);
    if (gaps) WidenToTheRecords(shape);
    return shape;
  }

  // Otherwise the descriptors: for SQL Server 2005 with the offsets of the
  // physical columns, for the 2000 layout with those of syscolumns, and
  // without either in column order. A hidden uniquifier column is allowed
  // for.
  int32_t variable = 0;
  bool lengthsKnown = true;
  int32_t position = 0;
  const bool legacy = IsSql2000();
  for (const ColumnDescriptor& d : descriptors) {
    ++position;
    if (d.statusBit24) continue;
    // syscolumns gives a fixed column's offset in its own field.
    const int32_t offset = legacy ? d.legacyFixedOffset : d.leafOffset;
    // Where offsets are known they tell; otherwise the type does (a
    // uniqueidentifier counts as variable for decoding but is stored fixed).
    const bool isVariable = offset != 0 ? offset < 0 : d.variableLength != 0 && d.typeCode != kTypeUniqueIdentifier;
    if (isVariable) {
      ++variable;
      continue;
    }
    const int32_t length = d.hobtColumnId == kDroppedColumnId ? 0 : fixedLength(d);
    if (length <= 0 || offset <= 0) {
      lengthsKnown = false;
      continue;
    }
    const int32_t end = offset + length;
    shape.fixedColumns.push_back({position, end});
    shape.fullFixedEnd = std::max(shape.fullFixedEnd, end);
  }
  // Column rows that damage took leave gaps in the ids: the records still
  // hold those columns, of a kind not known. Only where every column's own
  // offset places it are the others still read right.
  int32_t highestId = 0;
  bool placed = true;
  for (const ColumnDescriptor& d : descriptors) {
    highestId = std::max(highestId, d.columnId);
    if ((legacy ? d.legacyFixedOffset : d.leafOffset) == 0) placed = false;
  }
  const int32_t missing = placed ? std::max<int32_t>(0, highestId - position) : 0;
  shape.layoutAssumed =
      !legacy && !tablePages.empty() &&
      std::none_of(descriptors.begin(), descriptors.end(), [](const ColumnDescriptor& d) { return d.leafOffset != 0; });
  shape.maxColumns = position + missing + 1;
  shape.variableColumns = variable + missing + 1;
  if (!lengthsKnown) {
    shape.fullFixedEnd = 0;
    shape.fixedColumns.clear();
  }
  return shape;
}

}  // namespace ravelin
