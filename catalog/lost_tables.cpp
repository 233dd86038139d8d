#include "catalog/lost_tables.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "catalog/system_catalog.h"
#include "storage/allocation_map.h"
#include "storage/database_file.h"
#include "storage/page.h"

namespace ravelin {
namespace {

// Bounds: the columns come from a sample, and a file whose catalog is gone
// altogether must not become thousands of tables read page by page.
constexpr size_t kPagesSampled = 64;
constexpr size_t kRecordsSampled = 2000;
constexpr size_t kMaxLostTables = 2000;
// Object ids given to the lost tables of the 2005+ layout, from here on.
constexpr int32_t kFirstLostObjectId = 0x70000000;

// SQL Server system type ids.
constexpr uint8_t kTinyInt = 48;
constexpr uint8_t kSmallInt = 52;
constexpr uint8_t kInt = 56;
constexpr uint8_t kDateTime = 61;
constexpr uint8_t kBigInt = 127;
constexpr uint8_t kVarBinary = 165;
constexpr uint8_t kVarChar = 167;
constexpr uint8_t kBinary = 173;
constexpr uint8_t kChar = 175;
constexpr uint8_t kNVarChar = 231;
constexpr uint8_t kNChar = 239;

// What the sampled records of one group look like.
struct Sample {
  std::map<std::pair<int16_t, int16_t>, size_t> shapes;  // (fixed length, column count) -> records
  struct Record {
    int16_t fixedLength = 0;
    int16_t columnCount = 0;
    Bytes fixed;
    std::vector<const ColumnValue*> variable;
  };
  std::vector<Record> records;
  // The pages the records stay in, so that their values can be looked at.
  std::vector<std::unique_ptr<PrimaryRecordPage>> pages;
};

bool PrintableByte(uint8_t b) { return b >= 0x20 ? b != 0x7F : (b == '\t' || b == '\n' || b == '\r'); }

// Bytes that read as single-byte text: printable, no controls, no zeros.
bool LooksLikeText(ByteSpan bytes) { return std::all_of(bytes.begin(), bytes.end(), PrintableByte); }

// Bytes that read as UTF-16LE text: whole code units, no controls, and
// surrogates only in pairs.
bool LooksLikeUtf16(ByteSpan bytes) {
  if (bytes.size() % 2 != 0) return false;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const uint16_t unit = static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit < 0x20 && unit != '\t' && unit != '\n' && unit != '\r') return false;
    if (unit == 0xFFFE || unit == 0xFFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return false;
      const uint16_t next = static_cast<uint16_t>(bytes[i + 2] | (bytes[i + 3] << 8));
      if (next < 0xDC00 || next > 0xDFFF) return false;
      i += 2;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

// A datetime between 1900 and 2100 with a time of day that exists.
bool LooksLikeDateTime(ByteSpan bytes) {
  if (bytes.size() != 8) return false;
  const auto le32 = [&](size_t at) {
    return static_cast<int32_t>(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
                                (static_cast<uint32_t>(bytes[at + 3]) << 24));
  };
  const int32_t ticks = le32(0);
  const int32_t days = le32(4);
  return ticks >= 0 && ticks < 25920000 && days >= 0 && days <= 73050;
}

// The type of a group of values of one column: single-byte text, UTF-16
// text, or binary. `fixed`: the values fill a fixed-length slice.
uint8_t TextOrBinary(const std::vector<ByteSpan>& values, bool fixed) {
  bool any = false;
  bool text = true;
  bool utf16 = true;
  for (ByteSpan v : values) {
    if (v.empty()) continue;
    any = true;
    text = text && LooksLikeText(v);
    utf16 = utf16 && LooksLikeUtf16(v);
  }
  if (!any) return fixed ? kBinary : kVarBinary;
  if (text) return fixed ? kChar : kVarChar;
  if (utf16) return fixed ? kNChar : kNVarChar;
  return fixed ? kBinary : kVarBinary;
}

void ReadSample(const CDatabaseFile& file, const std::vector<PageRef>& pages, Sample& sample) {
  // Pages spread over the group: the first ones and then every n-th.
  const size_t step = std::max<size_t>(1, pages.size() / kPagesSampled);
  for (size_t i = 0; i < pages.size() && sample.pages.size() < kPagesSampled; i += step) {
    std::unique_ptr<PrimaryRecordPage> page = file.ReadTableDataPage(pages[i]);
    if (!page || !page->header || page->header->pageType != kPageTypeData || page->header->level != 0) continue;
    for (const std::unique_ptr<CRecord>& record : page->records) {
      if (sample.records.size() >= kRecordsSampled) break;
      if (!record || record->recordType != kRecordPrimary || record->hasError || record->isCompressed) continue;
      if (!record->fixedData || record->columnCount < 1) continue;
      Sample::Record r;
      r.fixedLength = record->fixedLength;
      r.columnCount = record->columnCount;
      r.fixed = *record->fixedData;
      for (const ColumnValue& value : record->varValues) r.variable.push_back(&value);
      ++sample.shapes[{r.fixedLength, r.columnCount}];
      sample.records.push_back(std::move(r));
    }
    sample.pages.push_back(std::move(page));
  }
}

// Fixed columns `count` of `width` bytes from offset 4 on, at null bitmap
// positions 1, 2, ...
void AddSlices(std::vector<InferredColumn>& columns, int count, int width, uint8_t type) {
  for (int i = 0; i < count; ++i)
    columns.push_back({"", type, static_cast<int16_t>(width), static_cast<int16_t>(4 + i * width), i + 1});
}

// The columns of records of `fixedLength` data bytes and `columnCount`
// columns, `variableCount` of them variable.
std::vector<InferredColumn> InferColumns(const Sample& sample, int16_t fixedLength, int16_t columnCount,
                                         int variableCount) {
  std::vector<const Sample::Record*> records;
  for (const Sample::Record& r : sample.records)
    if (r.fixedLength == fixedLength && r.columnCount == columnCount) records.push_back(&r);
  const int fixedCount = columnCount - variableCount;
  std::vector<InferredColumn> columns;
  const int bytes = fixedLength;
  if (bytes > 0) {
    if (fixedCount > 1 && bytes == 4 * fixedCount) {
      AddSlices(columns, fixedCount, 4, kInt);
    } else if (fixedCount > 1 && bytes == 8 * fixedCount) {
      AddSlices(columns, fixedCount, 8, kBigInt);
    } else if (fixedCount <= 1 && (bytes == 1 || bytes == 2 || bytes == 4)) {
      AddSlices(columns, 1, bytes, bytes == 1 ? kTinyInt : bytes == 2 ? kSmallInt : kInt);
    } else if (fixedCount <= 1 && bytes == 8) {
      bool dates = !records.empty();
      for (const Sample::Record* r : records) dates = dates && LooksLikeDateTime(ByteSpan(r->fixed).subspan(0, 8));
      AddSlices(columns, 1, 8, dates ? kDateTime : kBigInt);
    } else {
      // Where the columns of the fixed part begin and end cannot be told:
      // one slice of all of it, as text when it reads as text.
      std::vector<ByteSpan> values;
      for (const Sample::Record* r : records) values.emplace_back(r->fixed);
      AddSlices(columns, 1, bytes, fixedCount <= 1 ? TextOrBinary(values, true) : kBinary);
    }
  }
  const int firstVariable = std::max(fixedCount, columns.empty() ? 0 : 1);
  for (int j = 0; j < variableCount; ++j) {
    std::vector<ByteSpan> values;
    bool large = false;
    for (const Sample::Record* r : records) {
      if (static_cast<size_t>(j) >= r->variable.size()) continue;
      const ColumnValue& v = *r->variable[static_cast<size_t>(j)];
      if (v.complex) {
        large = true;
        continue;
      }
      if (!v.data) continue;
      values.emplace_back(*v.data);
    }
    InferredColumn column;
    column.systemTypeId = large ? kVarBinary : TextOrBinary(values, false);
    // As long as a value kept in the row can be: the sample's longest
    // need not be the table's.
    column.length = large ? int16_t{-1} : int16_t{8000};
    column.offset = static_cast<int16_t>(-1 - j);
    column.position = std::min(firstVariable + j + 1, static_cast<int>(columnCount));
    columns.push_back(column);
  }
  for (size_t i = 0; i < columns.size(); ++i) columns[i].name = "c" + std::to_string(i + 1);
  return columns;
}

RecordShape ShapeOf(const std::vector<InferredColumn>& columns, int16_t fixedLength, int16_t columnCount,
                    int variableCount) {
  RecordShape shape;
  shape.known = true;
  shape.maxColumns = columnCount;
  shape.fullFixedEnd = 4 + fixedLength;
  shape.variableColumns = variableCount;
  for (const InferredColumn& c : columns)
    if (c.offset > 0) shape.fixedColumns.push_back({c.position, c.offset + c.length});
  return shape;
}

// The page keys the catalog's tables claim.
std::set<uint32_t> ClaimedKeys(const SystemCatalog& catalog) {
  std::set<uint32_t> keys{0};  // zeroed pages
  if (catalog.IsSql2000()) {
    // The key is the table's object id; a table whose object row stands
    // but whose column rows are lost gets its columns inferred.
    for (const LegacyColumnRow& column : catalog.legacyColumns) keys.insert(static_cast<uint32_t>(column.objectId));
    return keys;
  }
  for (const AllocUnitRow& unit : catalog.allocUnits) keys.insert(AllocUnitPageKey(unit.allocUnitId));
  for (const RowsetRow& rowset : catalog.rowsets) {
    keys.insert(AllocUnitPageKey(rowset.rowsetId));
    keys.insert(static_cast<uint32_t>(rowset.objectId));
  }
  // Tables upgraded from SQL Server 2000 keep their object id in their
  // pages' headers.
  for (const ObjectRow& object : catalog.objects) keys.insert(static_cast<uint32_t>(object.objectId));
  return keys;
}

void AddLegacyColumnRows(SystemCatalog& catalog, const LostTable& table) {
  int16_t id = 0;
  for (const InferredColumn& c : table.columns) {
    LegacyColumnRow row;
    row.name = c.name;
    row.objectId = table.objectId;
    row.systemTypeId = c.systemTypeId;
    row.userTypeId = c.systemTypeId;
    row.typeStatus = 0;  // NULL allowed
    row.length = c.length < 0 ? int16_t{8000} : c.length;
    row.precision = 0;
    row.scale = 0;
    row.columnId = ++id;
    row.fixedOffset = c.offset;
    row.offset = c.offset;
    row.bitPosition = 0;
    row.columnOrder = static_cast<int16_t>(c.position);
    catalog.legacyColumns.push_back(row);
  }
}

// A heap rowset with one in-row unit, and the column rows with their
// physical places.
void AddStorageAndColumnRows(SystemCatalog& catalog, const LostTable& table) {
  const int64_t rowsetId = table.unitId;
  RowsetRow rowset;
  rowset.rowsetId = rowsetId;
  rowset.ownerType = 1;
  rowset.objectId = table.objectId;
  rowset.indexId = 0;
  rowset.partitionNumber = 1;
  rowset.status = 0;
  rowset.rowCount = -1;
  catalog.rowsets.push_back(rowset);
  AllocUnitRow unit;
  unit.allocUnitId = table.unitId;
  unit.type = 1;
  unit.ownerId = rowsetId;
  unit.status = 0;
  unit.firstPage = table.pages.front();
  catalog.allocUnits.push_back(unit);
  int32_t id = 0;
  for (const InferredColumn& c : table.columns) {
    ColumnRow row;
    row.objectId = table.objectId;
    row.number = 0;
    row.columnId = ++id;
    row.name = c.name;
    row.systemTypeId = c.systemTypeId;
    row.userTypeId = c.systemTypeId;
    row.length = c.length;
    row.precision = 0;
    row.scale = 0;
    row.status = 0;  // NULL allowed
    row.maxInRowLength = c.length < 0 ? int16_t{8000} : c.length;
    catalog.columns.push_back(row);
    RowsetColumnRow physical;
    physical.rowsetId = rowsetId;
    physical.rowsetColumnId = id;
    physical.hobtColumnId = c.position;
    physical.typeInfo = c.systemTypeId;
    physical.maxInRowLength = row.maxInRowLength;
    physical.offset = static_cast<uint16_t>(c.offset);
    physical.nullBit = c.position;
    catalog.rowsetColumns.push_back(physical);
  }
}

}  // namespace

std::vector<LostTable> FindLostTables(const CDatabaseFile& file, const SystemCatalog& catalog) {
  std::vector<LostTable> lost;
  const std::set<uint32_t> claimed = ClaimedKeys(catalog);
  const bool legacy = catalog.IsSql2000();
  const AllocationMap& maps = file.allocation();
  for (const auto& [key, entries] : file.dataPageMap) {
    if (lost.size() >= kMaxLostTables || file.stop().requested()) break;
    if (claimed.count(key)) continue;
    // In the 2000 layout the small ids are the system tables'.
    if (legacy && IsSystemObjectId(key)) continue;
    std::set<PageRef> systemPages;
    if (auto it = file.systemPageMap.find(key); it != file.systemPageMap.end())
      for (const PageMapEntry& entry : it->second) systemPages.insert(entry.ToPageRef());
    LostTable table;
    table.pageKey = key;
    std::set<PageRef> seen;
    for (const PageMapEntry& entry : entries) {
      const PageRef ref = entry.ToPageRef();
      if (entry.pageType != kPageTypeData || systemPages.count(ref) || !seen.insert(ref).second) continue;
      // A page the maps mark free is history, not a table's data.
      if (maps.StateOf(ref) == AllocationState::kFree) continue;
      table.pages.push_back(ref);
    }
    if (table.pages.empty()) continue;

    Sample sample;
    ReadSample(file, table.pages, sample);
    if (sample.shapes.empty()) continue;
    // The shape most records have; of two alike the one with more columns.
    auto best = sample.shapes.begin();
    for (auto it = sample.shapes.begin(); it != sample.shapes.end(); ++it)
      if (it->second > best->second || (it->second == best->second && it->first.second > best->first.second)) best = it;
    const auto [fixedLength, columnCount] = best->first;
    int variableCount = 0;
    for (const Sample::Record& r : sample.records)
      if (r.fixedLength == fixedLength && r.columnCount == columnCount)
        variableCount = std::max(variableCount, static_cast<int>(r.variable.size()));
    variableCount = std::min<int>(variableCount, columnCount);
    table.recordsRead = best->second;
    table.columns = InferColumns(sample, fixedLength, columnCount, variableCount);
    if (table.columns.empty()) continue;
    table.shape = ShapeOf(table.columns, fixedLength, columnCount, variableCount);

    table.name.clear();
    if (legacy) {
      table.unitId = key;
      table.objectId = static_cast<int32_t>(key);
      for (const ObjectRow& object : catalog.objects)
        if (object.objectId == table.objectId && !object.name.empty()) table.name = object.name;
    } else {
      std::unique_ptr<CPage_Header> header = file.ReadPageHeader(table.pages.front());
      const uint64_t indexPart = header ? header->indexId : 0;
      table.unitId = static_cast<int64_t>((indexPart << 48) | (static_cast<uint64_t>(key) << 16));
    }
    table.namedByCatalog = !table.name.empty();
    if (table.name.empty()) table.name = "Lost table " + std::to_string(table.unitId);
    lost.push_back(std::move(table));
  }
  return lost;
}

void AddLostTables(SystemCatalog& catalog, std::vector<LostTable> tables) {
  if (tables.empty()) return;
  std::set<int32_t> usedIds;
  for (const ObjectRow& object : catalog.objects) usedIds.insert(object.objectId & kObjectIdMask);
  int32_t nextId = kFirstLostObjectId;
  const bool legacy = catalog.IsSql2000();
  for (LostTable& table : tables) {
    if (!legacy) {
      while (usedIds.count(nextId & kObjectIdMask)) ++nextId;
      table.objectId = nextId++;
    }
    usedIds.insert(table.objectId & kObjectIdMask);
    // In the 2000 layout a table whose object row stands lost only its
    // column rows.
    if (!table.namedByCatalog) {
      ObjectRow object;
      object.objectId = table.objectId;
      object.name = table.name;
      object.baseName = table.name;
      object.typeCode = "U ";
      object.status = 0;
      object.parentId = 0;
      catalog.objects.push_back(object);
    }
    if (legacy)
      AddLegacyColumnRows(catalog, table);
    else
      AddStorageAndColumnRows(catalog, table);
    catalog.inferredShapes[table.objectId] = table.shape;
  }
  for (LostTable& table : tables) catalog.lostTables.push_back(std::move(table));
  catalog.BuildIndexes();
}

}  // namespace ravelin
