#include "catalog/lost_tables.h"

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <set>

#include "catalog/data_page.h"
#include "catalog/definition_names.h"
#include "catalog/fixed_part_split.h"
#include "catalog/system_catalog.h"
#include "storage/allocation_map.h"
#include "storage/database_file.h"
#include "storage/lob.h"
#include "storage/page.h"
#include "storage/record.h"
#include "storage/text_codec.h"

namespace ravelin {
namespace {

// Bounds: the columns come from a sample, and a file whose catalog is gone
// altogether must not become thousands of tables read page by page.
constexpr size_t kPagesSampled = 64;
constexpr size_t kRecordsSampled = 2000;
constexpr size_t kMaxLostTables = 2000;
// Large values read of a column, and bytes of each, to tell text from binary.
constexpr size_t kLargeValuesSampled = 16;
constexpr uint64_t kLargeBytesSampled = 8192;
// Records a table's inferred columns must come from to stand in for its own.
constexpr size_t kRecordsForConfidence = 8;
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
    Bytes nullBitmap;
    std::vector<const ColumnValue*> variable;
  };
  std::vector<Record> records;
  // The pages the records stay in, so that their values can be looked at.
  std::vector<std::unique_ptr<PrimaryRecordPage>> pages;
  // The header index id of the group's first page: the high part of its
  // allocation unit id.
  uint16_t firstIndexId = 0;
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

// The type of a column whose values are stored outside the row: text or
// UTF-16 text where the bytes of every value read say so (a value cut at
// the sample's limit ends on a whole character), binary otherwise.
// `pointers` are the complex entries the rows hold.
uint8_t LargeValueType(const CDatabaseFile& file, const std::vector<ByteSpan>& pointers) {
  std::vector<Bytes> values;
  for (ByteSpan pointer : pointers) {
    if (values.size() >= kLargeValuesSampled || file.stop().requested()) break;
    const bool textPointer = pointer.size() == kTextPointerSize;
    if (!textPointer) {
      const int kind = ComplexKind(pointer);
      // Anything else (a sparse column set) is not a value of its own.
      if (kind != kInRowRoot && kind != kLargeInRowRoot) return kVarBinary;
    }
    LobReadOptions options;
    options.collect = true;
    options.byteLimit = kLargeBytesSampled;
    LobReadOutcome outcome;
    if (textPointer)
      ReadTextPointerValue(pointer, file, options, &outcome);
    else
      ReadInRowRootValue(pointer, file, options, &outcome);
    if (outcome.incomplete) continue;
    Bytes value;
    for (const Bytes& piece : outcome.pieces) value.insert(value.end(), piece.begin(), piece.end());
    if (!value.empty()) values.push_back(std::move(value));
  }
  if (values.empty()) return kVarBinary;
  std::vector<ByteSpan> spans(values.begin(), values.end());
  return TextOrBinary(spans, false);
}

void ReadSample(const CDatabaseFile& file, const std::vector<PageRef>& pages, Sample& sample) {
  // Pages spread over the group: the first ones and then every n-th.
  const size_t step = std::max<size_t>(1, pages.size() / kPagesSampled);
  for (size_t i = 0; i < pages.size() && sample.pages.size() < kPagesSampled; i += step) {
    std::unique_ptr<PrimaryRecordPage> page = file.ReadTableDataPage(pages[i]);
    if (i == 0 && page && page->header) sample.firstIndexId = page->header->indexId;
    if (!page || !page->header || page->header->pageType != kPageTypeData || page->header->level != 0) continue;
    for (const std::unique_ptr<CRecord>& record : page->records) {
      if (sample.records.size() >= kRecordsSampled) break;
      if (!record || record->recordType != kRecordPrimary || record->hasError || record->isCompressed) continue;
      if (!record->fixedData || record->columnCount < 1) continue;
      Sample::Record r;
      r.fixedLength = record->fixedLength;
      r.columnCount = record->columnCount;
      r.fixed = *record->fixedData;
      if (record->nullBitmap) r.nullBitmap = *record->nullBitmap;
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

std::vector<ByteSpan> FixedParts(const std::vector<const Sample::Record*>& records) {
  std::vector<ByteSpan> out;
  for (const Sample::Record* r : records) out.emplace_back(r->fixed);
  return out;
}

// The columns of records of `fixedLength` data bytes and `columnCount`
// columns, `variableCount` of them variable.
std::vector<InferredColumn> InferColumns(const CDatabaseFile& file, const Sample& sample, int16_t fixedLength,
                                         int16_t columnCount, int variableCount, bool* typed = nullptr) {
  if (typed) *typed = true;
  std::vector<const Sample::Record*> records;
  for (const Sample::Record& r : sample.records)
    if (r.fixedLength == fixedLength && r.columnCount == columnCount) records.push_back(&r);
  const int fixedCount = columnCount - variableCount;
  std::vector<InferredColumn> columns;
  const int bytes = fixedLength;
  if (bytes > 0) {
    if (auto slices = fixedCount >= 1 ? SplitFixedPart(FixedParts(records), bytes, fixedCount) : std::nullopt) {
      for (size_t i = 0; i < slices->size(); ++i) {
        const FixedSlice& slice = (*slices)[i];
        columns.push_back(
            {"", slice.systemTypeId, slice.width, static_cast<int16_t>(4 + slice.offset), static_cast<int32_t>(i + 1)});
      }
    } else if (fixedCount > 1 && bytes == 4 * fixedCount) {
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
      if (typed) *typed = fixedCount <= 1;
      std::vector<ByteSpan> values;
      for (const Sample::Record* r : records) values.emplace_back(r->fixed);
      AddSlices(columns, 1, bytes, fixedCount <= 1 ? TextOrBinary(values, true) : kBinary);
    }
  }
  const int firstVariable = std::max(fixedCount, columns.empty() ? 0 : 1);
  for (int j = 0; j < variableCount; ++j) {
    std::vector<ByteSpan> values;
    std::vector<ByteSpan> pointers;
    bool large = false;
    for (const Sample::Record* r : records) {
      if (static_cast<size_t>(j) >= r->variable.size()) continue;
      const ColumnValue& v = *r->variable[static_cast<size_t>(j)];
      if (v.complex) {
        large = true;
        if (v.data && !v.data->empty()) pointers.emplace_back(*v.data);
        continue;
      }
      if (!v.data) continue;
      values.emplace_back(*v.data);
    }
    InferredColumn column;
    // A large column's short values may stay in the row: they count too.
    if (large) {
      const uint8_t type = LargeValueType(file, pointers);
      column.systemTypeId = values.empty() || TextOrBinary(values, false) == type ? type : kVarBinary;
    } else {
      column.systemTypeId = TextOrBinary(values, false);
    }
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

// Whether the variable columns' places agree with the records' null
// bitmaps: a NULL variable column is empty, and a column with a value is
// not NULL.
bool NullsFitPositions(const Sample& sample, int16_t fixedLength, int16_t columnCount,
                       const std::vector<InferredColumn>& columns) {
  for (const Sample::Record& r : sample.records) {
    if (r.fixedLength != fixedLength || r.columnCount != columnCount) continue;
    size_t index = 0;
    for (const InferredColumn& c : columns) {
      if (c.offset >= 0) continue;
      const auto bit = static_cast<size_t>(c.position - 1);
      if (bit / 8 >= r.nullBitmap.size()) return false;
      const bool isNull = (r.nullBitmap[bit / 8] >> (bit % 8)) & 1;
      const bool present = index < r.variable.size();
      const bool empty = !present || (!r.variable[index]->complex && r.variable[index]->length == 0);
      if ((isNull && !empty) || (!isNull && !present)) return false;
      ++index;
    }
  }
  return true;
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

// The page keys the catalog's tables claim: `any` by some unit, `user`
// by a unit of a user table (index part 256 and up), which alone claims
// the pages of a small key that are not a system table's.
struct Claims {
  std::set<uint32_t> any{0};  // zeroed pages
  std::set<uint32_t> user{0};
  void Add(uint32_t key, int64_t unitId) {
    any.insert(key);
    if ((static_cast<uint64_t>(unitId) >> 48) >= 256) user.insert(key);
  }
  // Whether the pages of `key` that are not a system table's are claimed.
  bool Claimed(uint32_t key) const { return IsSystemObjectId(key) ? user.count(key) != 0 : any.count(key) != 0; }
  // Keys of units whose rows stand while their rowset rows are lost: no
  // table reads their pages unless their records' layout gives them one.
  std::set<uint32_t> rowsetLost;
};

Claims ClaimedKeys(const SystemCatalog& catalog) {
  Claims claims;
  if (catalog.IsSql2000()) {
    // The key is the table's object id; a table whose object row stands
    // but whose column rows are lost gets its columns inferred.
    for (const LegacyColumnRow& column : catalog.legacyColumns) {
      claims.any.insert(static_cast<uint32_t>(column.objectId));
      claims.user.insert(static_cast<uint32_t>(column.objectId));
    }
    return claims;
  }
  // A table none of whose column rows stand (catalog or physical) cannot
  // read its pages; they are listed as a lost table, its columns inferred,
  // as in the 2000 layout.
  std::set<int32_t> described;
  for (const ColumnRow& column : catalog.columns) described.insert(column.objectId);
  std::set<int64_t> physical;
  for (const RowsetColumnRow& row : catalog.rowsetColumns) physical.insert(row.rowsetId);
  for (const HobtColumnRow& row : catalog.hobtColumns) physical.insert(row.hobtId);
  std::map<int64_t, int32_t> objectOfRowset;
  for (const RowsetRow& rowset : catalog.rowsets) {
    objectOfRowset[rowset.rowsetId] = rowset.objectId;
    if (physical.count(rowset.rowsetId)) described.insert(rowset.objectId);
  }
  std::set<int32_t> userTables;
  std::set<int32_t> present;
  for (const ObjectRow& object : catalog.objects) {
    present.insert(object.objectId);
    if (object.typeCode == "U ") userTables.insert(object.objectId);
  }
  // A unit of an object the catalog has no row for (its object and column
  // rows cut off or lost) cannot be read as a table's either.
  const auto readable = [&](int32_t objectId) {
    if (!IsSystemObjectId(static_cast<uint32_t>(objectId)) && !present.count(objectId)) return false;
    return !userTables.count(objectId) || described.count(objectId);
  };
  for (const AllocUnitRow& unit : catalog.allocUnits) {
    auto owner = objectOfRowset.find(unit.ownerId);
    if (owner != objectOfRowset.end() && !readable(owner->second)) continue;
    if (owner == objectOfRowset.end() && unit.type == 1 && (static_cast<uint64_t>(unit.allocUnitId) >> 48) >= 256)
      claims.rowsetLost.insert(AllocUnitPageKey(unit.allocUnitId));
    claims.Add(AllocUnitPageKey(unit.allocUnitId), unit.allocUnitId);
  }
  // Nor does another unit row that names the same pages claim them: their
  // records' layout decides whose they are.
  for (uint32_t key : claims.rowsetLost) {
    claims.any.erase(key);
    claims.user.erase(key);
  }
  for (const RowsetRow& rowset : catalog.rowsets) {
    // A rowset without unit rows claims the pages its id names only where
    // the catalog reads them as its pages.
    if (catalog.RowsetIdNamesUnit(rowset.rowsetId) && readable(rowset.objectId))
      claims.Add(AllocUnitPageKey(rowset.rowsetId), rowset.rowsetId);
  }
  // Tables upgraded from SQL Server 2000 keep their object id in their
  // pages' headers.
  for (const ObjectRow& object : catalog.objects) {
    if (!readable(object.objectId)) continue;
    const auto key = static_cast<uint32_t>(object.objectId);
    claims.Add(key, static_cast<int64_t>(key) << 16);
  }
  return claims;
}

// The catalog rows of a user table named `name`, of a heap rowset of it
// and of an in-row allocation unit.
void AddTableObject(SystemCatalog& catalog, int32_t objectId, const std::string& name) {
  ObjectRow object;
  object.objectId = objectId;
  object.name = name;
  object.baseName = name;
  object.typeCode = "U ";
  object.status = 0;
  object.parentId = 0;
  catalog.objects.push_back(object);
}

void AddHeapRowset(SystemCatalog& catalog, int64_t rowsetId, int32_t objectId, int32_t indexId = 0) {
  RowsetRow rowset;
  rowset.rowsetId = rowsetId;
  rowset.ownerType = 1;
  rowset.objectId = objectId;
  rowset.indexId = indexId;
  rowset.partitionNumber = 1;
  rowset.status = 0;
  catalog.rowsets.push_back(rowset);
}

void AddInRowUnit(SystemCatalog& catalog, int64_t unitId, int64_t rowsetId, PageRef firstPage) {
  AllocUnitRow unit;
  unit.allocUnitId = unitId;
  unit.type = 1;
  unit.ownerId = rowsetId;
  unit.status = 0;
  unit.firstPage = firstPage;
  catalog.allocUnits.push_back(unit);
}

// `group` given to the catalog table `object`.
void GiveTo(LostTable& group, const ObjectRow& object) {
  group.name = object.name;
  group.objectId = object.objectId;
  group.matchedByLayout = true;
  group.columns.clear();
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

// The column rows with their physical places.
void AddColumnRows(SystemCatalog& catalog, const LostTable& table, int64_t rowsetId) {
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

// A heap rowset with one in-row unit, and the column rows.
void AddStorageAndColumnRows(SystemCatalog& catalog, const LostTable& table, int64_t rowsetId) {
  AddHeapRowset(catalog, rowsetId, table.objectId);
  AddInRowUnit(catalog, table.unitId, rowsetId, table.pages.front());
  AddColumnRows(catalog, table, rowsetId);
}

// A 2000-layout table's name as its sysindexes rows keep it: a heap's row
// (index 0) by the table's name, its text and image row (255) by "t" and
// the name.
void NameFromIndexRows(const SystemCatalog& catalog, LostTable& table) {
  for (const LegacyIndexKey& index : catalog.legacyIndexKeys) {
    if (index.objectId != table.objectId) continue;
    if (index.indexId == 0 && !index.name.empty()) {
      table.name = index.name;
      table.nameSource = "the one its heap's index row keeps";
      return;
    }
    if (index.indexId == 255 && index.name.size() > 1 && index.name[0] == 't') {
      table.name = index.name.substr(1);
      table.nameSource = "the one its text and image index row keeps";
    }
  }
}

// The definition texts of syscomments, one per object and number, their
// pieces joined in order; encrypted ones are left out. A row marked
// compressed holds its text in 8-bit characters.
std::vector<std::string> LegacyDefinitionTexts(SystemCatalog& catalog) {
  std::vector<LegacyCommentRow> rows;
  catalog.loader->ReadSystemTable(6, CatalogLoader::PageFilter::kDataPagesByHeader, [&](CDataPage& page) {
    // Deleted rows are the texts of dropped objects.
    const CDataPage::Selection selection = page.selection;
    page.selection = CDataPage::Selection::kLive;
    page.ReadLegacyCommentRows(rows);
    page.selection = selection;
  });
  std::map<std::pair<int32_t, int16_t>, std::map<int16_t, const LegacyCommentRow*>> pieces;
  for (const LegacyCommentRow& row : rows)
    if ((row.status & 1) == 0) pieces[{row.objectId, row.number}][row.pieceId] = &row;
  std::vector<std::string> texts;
  for (const auto& [object, parts] : pieces) {
    std::string text;
    for (const auto& [pieceId, row] : parts)
      text += (row->status & 2) != 0 ? CodePageToUtf8(ByteSpan(row->text), AnsiCodePage())
                                     : Utf16ToUtf8(ByteSpan(row->text));
    texts.push_back(std::move(text));
  }
  return texts;
}

// Names for the tables of `added` that are still unnamed, from the
// definitions that use them.
void NameFromDefinitionTexts(SystemCatalog& catalog, std::vector<LostTable>& added) {
  std::map<int32_t, std::vector<std::string>> unnamed;
  for (const LostTable& table : added)
    if (table.nameSource.empty()) unnamed[table.objectId];
  if (unnamed.empty()) return;
  for (const LegacyColumnRow& column : catalog.legacyColumns)
    if (auto it = unnamed.find(column.objectId); it != unnamed.end()) it->second.push_back(column.name);
  std::vector<std::string> known;
  for (const ObjectRow& object : catalog.objects)
    known.push_back(object.baseName.empty() ? object.name : object.baseName);
  for (const LostTable& table : added)
    if (!table.nameSource.empty()) known.push_back(table.name);
  const std::map<int32_t, NameFromDefinitions> names =
      NamesFromDefinitions(LegacyDefinitionTexts(catalog), unnamed, known);
  for (LostTable& table : added) {
    auto it = names.find(table.objectId);
    if (it == names.end()) continue;
    table.name = it->second.name;
    const int d = it->second.definitions;
    const int c = it->second.columnsNamed;
    table.nameSource =
        "guessed from " + std::to_string(d) +
        (d == 1 ? " definition that uses it as a table and names " : " definitions that use it as a table and name ") +
        std::to_string(c) + " of its columns";
  }
}

// Whether the physical column rows of `rowsetId` (their ids `ids`) are all
// there: user columns numbered 1 on without a gap, and as many rows as the
// records of the rowset's first pages have columns.
bool PhysicalRowsComplete(const CDatabaseFile& file, const SystemCatalog& catalog, int64_t rowsetId,
                          const std::set<int32_t>& ids) {
  int32_t expected = 1;
  for (int32_t id : ids) {
    if (id <= 0 || id >= 0x4000000) continue;  // the uniquifier, dropped columns
    if (id != expected++) return false;
  }
  if (expected == 1) return false;
  std::vector<PageRef> pages;
  const auto addPages = [&](int64_t unitId) {
    auto it = file.dataPageMap.find(AllocUnitPageKey(unitId));
    if (it == file.dataPageMap.end()) return;
    for (const PageMapEntry& entry : it->second)
      if (entry.pageType == kPageTypeData && pages.size() < 4) pages.push_back(entry.ToPageRef());
  };
  for (const AllocUnitRow& unit : catalog.allocUnits)
    if (unit.type == 1 && unit.ownerId == rowsetId) addPages(unit.allocUnitId);
  if (pages.empty() && catalog.RowsetIdNamesUnit(rowsetId)) addPages(rowsetId);
  Sample sample;
  ReadSample(file, pages, sample);
  if (sample.shapes.empty()) return false;
  auto best = sample.shapes.begin();
  for (auto it = sample.shapes.begin(); it != sample.shapes.end(); ++it)
    if (it->second > best->second) best = it;
  return best->first.second == static_cast<int16_t>(ids.size());
}

}  // namespace

std::vector<LostTable> AddOrphanObjects(const CDatabaseFile& file, SystemCatalog& catalog) {
  std::vector<LostTable> added;
  std::set<int32_t> present;
  for (const ObjectRow& object : catalog.objects) present.insert(object.objectId);
  std::set<int32_t> withColumns;
  if (catalog.IsSql2000()) {
    for (const LegacyColumnRow& column : catalog.legacyColumns) withColumns.insert(column.objectId);
  } else {
    for (const ColumnRow& column : catalog.columns) withColumns.insert(column.objectId);
    // The physical column rows of a table's heap or clustered rowset carry
    // its columns' types and places, though not their names: they stand in
    // where every one of them is there, as many as its records have.
    std::map<int64_t, std::set<int32_t>> physical;
    for (const RowsetColumnRow& column : catalog.rowsetColumns) physical[column.rowsetId].insert(column.rowsetColumnId);
    for (const RowsetRow& rowset : catalog.rowsets) {
      if (rowset.indexId != 0 && rowset.indexId != 1) continue;
      auto it = physical.find(rowset.rowsetId);
      if (it != physical.end() && PhysicalRowsComplete(file, catalog, rowset.rowsetId, it->second))
        withColumns.insert(rowset.objectId);
    }
  }
  // Ids that hold rows: the 2000 layout's page keys, the later layouts'
  // heap and clustered rowsets.
  std::set<int32_t> candidates;
  if (catalog.IsSql2000()) {
    for (const auto& [key, entries] : file.dataPageMap)
      if (!IsSystemObjectId(key) && key <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
        candidates.insert(static_cast<int32_t>(key));
  } else {
    // Only tables with data pages: internal objects without rows are no
    // loss worth a table.
    const auto hasPages = [&](int64_t unitId) {
      const uint32_t key = AllocUnitPageKey(unitId);
      auto it = file.dataPageMap.find(key);
      if (it == file.dataPageMap.end()) return false;
      // A small key is a system table's too; its pages filed as system
      // pages are not a user unit's.
      if (!IsSystemObjectId(key) || (static_cast<uint64_t>(unitId) >> 48) < 256) return !it->second.empty();
      std::set<PageRef> system;
      if (auto sys = file.systemPageMap.find(key); sys != file.systemPageMap.end())
        for (const PageMapEntry& entry : sys->second) system.insert(entry.ToPageRef());
      for (const PageMapEntry& entry : it->second)
        if (entry.pageType == kPageTypeData && !system.count(entry.ToPageRef())) return true;
      return false;
    };
    std::map<int64_t, std::vector<int64_t>> unitsOf;
    for (const AllocUnitRow& unit : catalog.allocUnits)
      if (unit.type == 1) unitsOf[unit.ownerId].push_back(unit.allocUnitId);
    for (const RowsetRow& rowset : catalog.rowsets) {
      if (rowset.indexId != 0 && rowset.indexId != 1) continue;
      bool pages = catalog.RowsetIdNamesUnit(rowset.rowsetId) && hasPages(rowset.rowsetId);
      for (int64_t unit : unitsOf[rowset.rowsetId]) pages = pages || hasPages(unit);
      if (pages) candidates.insert(rowset.objectId);
    }
  }
  for (int32_t id : candidates) {
    if (id <= 100 || present.count(id) || !withColumns.count(id)) continue;
    LostTable table;
    table.objectId = id;
    table.objectRowLost = true;
    table.name = "Lost table " + std::to_string(id);
    if (catalog.IsSql2000()) NameFromIndexRows(catalog, table);
    present.insert(id);
    added.push_back(std::move(table));
  }
  if (catalog.IsSql2000()) NameFromDefinitionTexts(catalog, added);
  for (const LostTable& table : added) AddTableObject(catalog, table.objectId, table.name);
  if (!added.empty()) catalog.BuildIndexes();
  return added;
}

std::vector<LostTable> FindLostTables(const CDatabaseFile& file, const SystemCatalog& catalog) {
  std::vector<LostTable> lost;
  const Claims claims = ClaimedKeys(catalog);
  const bool legacy = catalog.IsSql2000();
  const AllocationMap& maps = file.allocation();
  for (const auto& [key, entries] : file.dataPageMap) {
    if (lost.size() >= kMaxLostTables || file.stop().requested()) break;
    if (claims.Claimed(key)) continue;
    // In the 2000 layout the small ids are the system tables'.
    if (legacy && IsSystemObjectId(key)) continue;
    std::set<PageRef> systemPages;
    if (auto it = file.systemPageMap.find(key); it != file.systemPageMap.end())
      for (const PageMapEntry& entry : it->second) systemPages.insert(entry.ToPageRef());
    LostTable table;
    table.pageKey = key;
    table.rowsetLost = claims.rowsetLost.count(key) != 0;
    std::set<PageRef> seen;
    for (const PageMapEntry& entry : entries) {
      const PageRef ref = entry.ToPageRef();
      if (entry.pageType != kPageTypeData || systemPages.count(ref) || catalog.IsMisfiledCatalogPage(ref) ||
          !seen.insert(ref).second)
        continue;
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
    table.wholeGroupRead = sample.pages.size() == table.pages.size() && sample.records.size() < kRecordsSampled;
    for (const Sample::Record& r : sample.records)
      if (r.fixedLength == fixedLength && r.columnCount == columnCount) table.nullBitmaps.push_back(r.nullBitmap);
    bool typed = false;
    table.columns = InferColumns(file, sample, fixedLength, columnCount, variableCount, &typed);
    // Inferred columns stand in for a named table's own only where they
    // are likely right: every fixed column typed, records enough to tell,
    // and the variable columns' NULLs where the null bitmap puts them.
    table.confident = typed && table.recordsRead >= kRecordsForConfidence &&
                      NullsFitPositions(sample, fixedLength, columnCount, table.columns);
    if (table.columns.empty()) continue;
    table.shape = ShapeOf(table.columns, fixedLength, columnCount, variableCount);

    int64_t nameId = key;
    if (legacy) {
      table.unitId = key;
      for (const ObjectRow& object : catalog.objects)
        if (object.objectId == static_cast<int32_t>(key) && !object.name.empty()) {
          table.columnsLostOf = object.name;
          table.ownerObjectId = object.objectId;
        }
    } else {
      const uint64_t indexPart = sample.firstIndexId;
      table.unitId = static_cast<int64_t>((indexPart << 48) | (static_cast<uint64_t>(key) << 16));
      // Pages of an upgraded table name its object in their headers.
      if (indexPart == 0 && !IsSystemObjectId(key)) {
        for (const ObjectRow& object : catalog.objects) {
          if (object.objectId != static_cast<int32_t>(key) || object.name.empty()) continue;
          table.columnsLostOf = object.name;
          table.ownerObjectId = object.objectId;
          for (const RowsetRow& rowset : catalog.rowsets)
            if (rowset.objectId == object.objectId && rowset.indexId >= 0 && rowset.indexId <= 1)
              table.ownerRowsetId = rowset.rowsetId;
        }
      }
      if (table.columnsLostOf.empty()) {
        nameId = table.unitId;
        // A unit whose rows stand names its table.
        for (const AllocUnitRow& unit : catalog.allocUnits) {
          if (AllocUnitPageKey(unit.allocUnitId) != key) continue;
          for (const RowsetRow& rowset : catalog.rowsets) {
            if (rowset.rowsetId != unit.ownerId) continue;
            for (const ObjectRow& object : catalog.objects)
              if (object.objectId == rowset.objectId && object.typeCode == "U " && !object.name.empty()) {
                table.columnsLostOf = object.name;
                table.ownerObjectId = object.objectId;
                table.ownerRowsetId = rowset.rowsetId;
              }
          }
        }
      }
    }
    table.name = "Lost table " + std::to_string(nameId);
    lost.push_back(std::move(table));
  }
  return lost;
}

namespace {

// The layout of the records of a table whose columns were never altered:
// the fixed columns in column order from byte 4 (bits eight to a byte),
// then the variable ones. Not known where a column's length is not.
RecordShape UnalteredShape(const std::vector<ColumnDescriptor>& columns) {
  RecordShape shape;
  int32_t end = 4;
  int32_t bits = 0;
  int32_t variable = 0;
  int32_t position = 0;
  for (const ColumnDescriptor& d : columns) {
    ++position;
    if (d.statusBit24) return RecordShape();  // sparse columns share one
    if (d.variableLength != 0 && d.typeCode != kTypeUniqueIdentifier) {
      ++variable;
    } else if (d.typeCode == kTypeBit) {
      if (bits++ % 8 == 0) ++end;
      shape.fixedColumns.push_back({position, end});
    } else {
      const int32_t length = LengthInParentheses(d.typeText);
      if (length <= 0) return RecordShape();
      end += length;
      shape.fixedColumns.push_back({position, end});
    }
    if (d.nullable == 0) shape.notNullColumns.push_back({position, position - 1});
  }
  shape.known = true;
  shape.fullFixedEnd = end;
  shape.maxColumns = position;
  shape.variableColumns = variable;
  return shape;
}

// Whether records of `group`'s layout can be a table's of `table`'s: the
// same fixed part, as many columns (or one fewer: a clustered table's
// hidden uniquifier), no more variable columns.
bool LayoutFits(const LostTable& group, const RecordShape& table) {
  const RecordShape& shape = group.shape;
  if (!table.known || table.fullFixedEnd <= 4 || shape.fullFixedEnd != table.fullFixedEnd) return false;
  if (shape.maxColumns != table.maxColumns && shape.maxColumns + 1 != table.maxColumns) return false;
  if (table.variableColumns >= 0 && shape.variableColumns > table.variableColumns) return false;
  // No record leaves a NOT NULL column NULL.
  for (const Bytes& bitmap : group.nullBitmaps) {
    for (const RecordShape::NotNullColumn& column : table.notNullColumns) {
      if (column.position > shape.maxColumns || column.nullBit < 0) continue;
      const auto byte = static_cast<size_t>(column.nullBit) / 8;
      if (byte < bitmap.size() && ((bitmap[byte] >> (column.nullBit % 8)) & 1)) return false;
    }
  }
  return true;
}

}  // namespace

std::vector<LostTable> MatchLostTables(SystemCatalog& catalog, std::vector<LostTable>& lost) {
  std::vector<LostTable> matched;
  if (catalog.IsSql2000() || lost.empty()) return matched;
  // A group whose unit id (read from its pages' headers) is a rowset's id
  // is that rowset's: SQL Server numbers a partition's in-row unit so.
  std::map<int64_t, const RowsetRow*> rowsetsById;
  for (const RowsetRow& rowset : catalog.rowsets) rowsetsById.emplace(rowset.rowsetId, &rowset);
  std::map<int32_t, const ObjectRow*> objectsById;
  for (const ObjectRow& object : catalog.objects) objectsById.emplace(object.objectId, &object);
  bool given = false;
  std::vector<LostTable> unnamed;
  for (LostTable& group : lost) {
    if (!group.columnsLostOf.empty()) {
      unnamed.push_back(std::move(group));
      continue;
    }
    auto rowset = rowsetsById.find(group.unitId);
    if (rowset != rowsetsById.end() && !catalog.RowsetIdNamesUnit(group.unitId)) rowset = rowsetsById.end();
    auto object = rowset == rowsetsById.end() ? objectsById.end() : objectsById.find(rowset->second->objectId);
    if (object == objectsById.end() || object->second->name.empty()) {
      unnamed.push_back(std::move(group));
      continue;
    }
    AddInRowUnit(catalog, group.unitId, group.unitId, group.pages.front());
    GiveTo(group, *object->second);
    matched.push_back(std::move(group));
    given = true;
  }
  lost = std::move(unnamed);
  if (given) catalog.BuildIndexes();
  if (lost.empty()) return matched;
  struct Candidate {
    ObjectRow object;
    RecordShape shape;
    int64_t rowsetId = 0;
    int32_t indexId = 0;
    int64_t rowCount = -1;  // as its rowset row recorded it
  };
  std::vector<Candidate> candidates;
  const std::vector<ObjectRow> objects = catalog.objects;
  for (const ObjectRow& object : objects) {
    if (object.typeCode != "U " || object.name.empty()) continue;
    const std::vector<ColumnDescriptor> descriptors = catalog.PrepareObject(object.name, "U ", {});
    if (!catalog.isTable || descriptors.empty() || !catalog.tablePages.empty()) continue;
    if (catalog.currentObject.objectId != object.objectId) continue;  // a name held twice
    Candidate candidate{object, catalog.DescribeRecordShape(descriptors), catalog.currentRowset.rowsetId,
                        catalog.currentRowset.indexId, catalog.currentRowset.rowCount};
    // Without physical column rows the records' layout is the one columns
    // never altered have.
    if (std::none_of(descriptors.begin(), descriptors.end(),
                     [](const ColumnDescriptor& d) { return d.leafOffset != 0; }))
      candidate.shape = UnalteredShape(descriptors);
    if (candidate.shape.known) candidates.push_back(std::move(candidate));
  }
  catalog.PrepareObject("", "U ", {});  // nothing of the last table prepared passes for another
  if (candidates.empty()) {
    std::erase_if(lost, [](const LostTable& group) { return group.rowsetLost; });
    return matched;
  }

  // How well a group fits a candidate: 0 not at all, 1 by its layout, 2
  // also by its row count (every page read, as many records as the
  // rowset row counted). A pair counts when each is the other's only best.
  const auto score = [&](const LostTable& group, const Candidate& candidate) {
    if (!LayoutFits(group, candidate.shape)) return 0;
    // A table whose rowset row counted no rows does not own records that
    // merely share its layout (another structure's, whose rows were lost).
    if (candidate.rowCount == 0 && group.recordsRead > 0) return 0;
    const bool counted = group.wholeGroupRead && candidate.rowCount >= 0 &&
                         static_cast<int64_t>(group.recordsRead) == candidate.rowCount;
    return counted ? 2 : 1;
  };
  std::vector<std::vector<int>> scores(lost.size(), std::vector<int>(candidates.size(), 0));
  std::vector<int> groupBest(lost.size(), 0), candidateBest(candidates.size(), 0);
  for (size_t g = 0; g < lost.size(); ++g) {
    for (size_t c = 0; c < candidates.size(); ++c) {
      scores[g][c] = score(lost[g], candidates[c]);
      groupBest[g] = std::max(groupBest[g], scores[g][c]);
      candidateBest[c] = std::max(candidateBest[c], scores[g][c]);
    }
  }
  const auto onlyBest = [&](size_t g, size_t c) {
    if (scores[g][c] == 0 || scores[g][c] != groupBest[g] || scores[g][c] != candidateBest[c]) return false;
    for (size_t other = 0; other < candidates.size(); ++other)
      if (other != c && scores[g][other] == groupBest[g]) return false;
    for (size_t other = 0; other < lost.size(); ++other)
      if (other != g && scores[other][c] == candidateBest[c]) return false;
    return true;
  };

  std::vector<LostTable> rest;
  for (size_t g = 0; g < lost.size(); ++g) {
    LostTable& group = lost[g];
    size_t found = candidates.size();
    for (size_t c = 0; c < candidates.size() && found == candidates.size(); ++c)
      if (onlyBest(g, c)) found = c;
    if (found == candidates.size()) {
      if (!group.rowsetLost) rest.push_back(std::move(group));
      continue;
    }
    const Candidate& table = candidates[found];
    // The group's unit row may stand, naming the rowset whose row was lost:
    // that rowset is put back, so that the unit and the table's other units
    // (large values) and physical column rows are found by it again.
    const AllocUnitRow* standing = nullptr;
    if (table.rowsetId == 0)
      for (const AllocUnitRow& row : catalog.allocUnits)
        if (row.allocUnitId == group.unitId && row.ownerId > 0 && !rowsetsById.count(row.ownerId)) standing = &row;
    const int64_t rowsetId = table.rowsetId != 0 ? table.rowsetId : standing ? standing->ownerId : group.unitId;
    // A rowset without its row (only the table's index row names it, or
    // none: a heap's) gets one, so that the unit is found by it.
    if (table.rowsetId == 0)
      AddHeapRowset(catalog, rowsetId, table.object.objectId);
    else if (!rowsetsById.count(rowsetId))
      AddHeapRowset(catalog, rowsetId, table.object.objectId, table.indexId);
    if (!standing) AddInRowUnit(catalog, group.unitId, rowsetId, group.pages.front());
    GiveTo(group, table.object);
    matched.push_back(std::move(group));
  }
  lost = std::move(rest);
  catalog.BuildIndexes();
  return matched;
}

void AddLostTables(SystemCatalog& catalog, std::vector<LostTable> tables) {
  if (tables.empty()) return;
  std::set<int32_t> usedIds;
  for (const ObjectRow& object : catalog.objects) usedIds.insert(object.objectId & kObjectIdMask);
  int32_t nextId = kFirstLostObjectId;
  const bool legacy = catalog.IsSql2000();
  std::set<int64_t> usedRowsets;
  for (const RowsetRow& rowset : catalog.rowsets) usedRowsets.insert(rowset.rowsetId);
  for (const RowsetColumnRow& column : catalog.rowsetColumns) usedRowsets.insert(column.rowsetId);
  int64_t nextRowsetId = std::numeric_limits<int64_t>::max();
  for (LostTable& table : tables) {
    if (!table.columnsLostOf.empty() && table.confident && (legacy || table.ownerRowsetId != 0)) {
      // The pages are the table's: the columns inferred from them are its.
      table.objectId = table.ownerObjectId;
      table.name = table.columnsLostOf;
      table.columnsGiven = true;
      if (legacy)
        AddLegacyColumnRows(catalog, table);
      else
        AddColumnRows(catalog, table, table.ownerRowsetId);
      catalog.inferredShapes[table.objectId] = table.shape;
      continue;
    }
    while (usedIds.count(nextId & kObjectIdMask)) ++nextId;
    table.objectId = nextId++;
    usedIds.insert(table.objectId & kObjectIdMask);
    AddTableObject(catalog, table.objectId, table.name);
    if (legacy) {
      // Its pages carry the key in their headers, not the id it is known by.
      catalog.lostPageKeys[table.objectId] = table.pageKey;
      AddLegacyColumnRows(catalog, table);
    } else {
      // The unit's own id names its rowset, unless a rowset of the catalog
      // has that id already (units and rowsets are numbered apart).
      int64_t rowsetId = table.unitId;
      while (usedRowsets.count(rowsetId)) rowsetId = nextRowsetId--;
      usedRowsets.insert(rowsetId);
      AddStorageAndColumnRows(catalog, table, rowsetId);
    }
    catalog.inferredShapes[table.objectId] = table.shape;
  }
  for (LostTable& table : tables) catalog.lostTables.push_back(std::move(table));
  catalog.BuildIndexes();
}

}  // namespace ravelin
