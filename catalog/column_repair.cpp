// Mending single damaged fields of a table's column rows. The catalog
// column rows (syscolpars) and the physical column rows (sysrscols) are
// read from pages of their own and carry a column's id and type twice; a
// physical row carries the column's place three times (its id, its
// physical id and its null bit). Where one copy of a field disagrees with
// the others, the copies that agree are taken.

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "catalog/system_catalog.h"
#include "storage/database_file.h"
#include "storage/page.h"
#include "storage/record.h"

namespace ravelin {
namespace {

bool IsDecimalType(uint8_t systemTypeId) { return systemTypeId == 106 || systemTypeId == 108; }

uint8_t PhysicalSystemType(const RowsetColumnRow& row) { return static_cast<uint8_t>(row.typeInfo & 0xFF); }

// Whether a type's declared length is its storage length (binary and text
// types).
bool LengthIsDeclared(uint8_t systemTypeId) {
  switch (systemTypeId) {
    case 165:  // varbinary
    case 167:  // varchar
    case 173:  // binary
    case 175:  // char
    case 231:  // nvarchar
    case 239:  // nchar
      return true;
    default:
      return false;
  }
}

// The length a physical row's type information gives for the types whose
// declared length is their storage length, or -1.
int32_t PhysicalDeclaredLength(const RowsetColumnRow& row) {
  return LengthIsDeclared(PhysicalSystemType(row))
             ? static_cast<int32_t>((static_cast<uint32_t>(row.typeInfo) >> 8) & 0xFFFF)
             : -1;
}

struct PhysicalColumn {
  int32_t id = 0;
  uint8_t type = 0;
  int32_t declaredLength = -1;
};

// The physical columns of either layout with what the catalog rows are
// checked against: the id the catalog knows the column by, its type and
// its declared length where that is its storage length (-1 otherwise).
std::vector<PhysicalColumn> PhysicalColumns(const std::vector<RowsetColumnRow>& rowsetColumns,
                                            const std::vector<HobtColumnRow>& hobtColumns) {
  std::vector<PhysicalColumn> out;
  for (const RowsetColumnRow& row : rowsetColumns)
    out.push_back({row.rowsetColumnId, PhysicalSystemType(row), PhysicalDeclaredLength(row)});
  if (!out.empty()) return out;
  for (const HobtColumnRow& row : hobtColumns)
    out.push_back({row.hobtColumnId, row.systemTypeId, LengthIsDeclared(row.systemTypeId) ? row.length : -1});
  return out;
}

// A column's place in the record as its physical row gives it: a fixed
// column's offset and length, or a variable column's index (-1, -2, ...).
struct Place {
  int32_t offset = 0;
  int32_t length = 0;
  bool bit = false;
  bool variable = false;
  // The column's id: variable columns take their indexes in id order
  // where no column was added to the table since.
  int32_t order = 0;
};

// Whether fixed column `c` sits where a neighbour confirms it: it starts at
// the record's fixed start, at another column's end or beside another bit
// column, or it ends where another column starts. A damaged offset almost
// never lands on such a place.
bool Placed(const std::vector<Place>& places, size_t c) {
  const Place& p = places[c];
  if (p.offset == 4) return true;
  for (size_t d = 0; d < places.size(); ++d) {
    const Place& q = places[d];
    if (d == c || q.variable) continue;
    if (p.bit && q.bit && q.offset == p.offset) return true;
    if (q.offset + q.length == p.offset || q.offset == p.offset + p.length) return true;
  }
  return false;
}

// Puts back the offset of a fixed column that fits nowhere, where exactly
// one gap between the others has its length, and the index of a variable
// column that is out of range or taken twice, where exactly one index is
// free. More than two misplaced columns are left as they are: the rows
// then disagree with each other, not with damage. `columns` is how many
// columns the table has by its other rows: fewer places than that means
// rows of it are lost, and which indexes are free is not known.
void RepairPlaces(std::vector<Place>& places, size_t columns) {
  columns = std::max(columns, places.size());
  std::vector<bool> trusted(places.size(), true);
  std::vector<size_t> misplaced;
  for (size_t c = 0; c < places.size(); ++c)
    if (!places[c].variable && places[c].length <= 0) return;  // a length not known: no layout to check
  for (size_t c = 0; c < places.size(); ++c)
    if (!places[c].variable && !Placed(places, c)) misplaced.push_back(c);
  if (misplaced.size() <= 2) {
    for (size_t c : misplaced) trusted[c] = false;
    for (size_t c : misplaced) {
      if (places[c].bit) continue;
      std::set<int32_t> starts, ends{4};
      for (size_t d = 0; d < places.size(); ++d) {
        if (places[d].variable || !trusted[d]) continue;
        starts.insert(places[d].offset);
        ends.insert(places[d].offset + places[d].length);
      }
      // A gap between two columns that the column fills exactly.
      int32_t found = 0;
      int candidates = 0;
      for (int32_t hole : ends) {
        if (starts.count(hole) || !starts.count(hole + places[c].length)) continue;
        found = hole;
        ++candidates;
      }
      if (candidates != 1) continue;
      places[c].offset = found;
      trusted[c] = true;
    }
  }

  // Variable columns take the indexes 1..n once each.
  std::vector<size_t> variables;
  for (size_t c = 0; c < places.size(); ++c)
    if (places[c].variable) variables.push_back(c);
  // Rows may be missing, so an index is wrong only past every column.
  const auto count = static_cast<int32_t>(variables.size());
  std::map<int32_t, int> uses;
  for (size_t c : variables) ++uses[-places[c].offset];
  std::vector<size_t> wrong;
  for (size_t c : variables) {
    const int32_t index = -places[c].offset;
    if (index < 1 || index > static_cast<int32_t>(columns)) wrong.push_back(c);
  }
  if (places.size() < columns) return;
  std::vector<int32_t> free;
  for (int32_t index = 1; index <= count; ++index)
    if (!uses.count(index)) free.push_back(index);
  if (wrong.size() == 1 && free.size() == 1) {
    places[wrong.front()].offset = -free.front();
    return;
  }
  // Several: where the other variable columns have their indexes in id
  // order, the free indexes go to the wrong ones in id order, as long as
  // the whole stays in order.
  if (wrong.empty() || wrong.size() != free.size()) return;
  const auto byOrder = [&](size_t a, size_t b) { return places[a].order < places[b].order; };
  std::sort(variables.begin(), variables.end(), byOrder);
  std::sort(wrong.begin(), wrong.end(), byOrder);
  std::vector<int32_t> indexes(places.size(), 0);
  for (size_t c : variables) indexes[c] = -places[c].offset;
  for (size_t i = 0; i < wrong.size(); ++i) indexes[wrong[i]] = free[i];
  for (size_t i = 1; i < variables.size(); ++i) {
    if (places[variables[i]].order == places[variables[i - 1]].order) return;
    if (indexes[variables[i]] <= indexes[variables[i - 1]]) return;
  }
  for (size_t c : wrong) places[c].offset = -indexes[c];
}

// A place from a stored offset and the column's type: a column of a
// variable type, or with a negative offset that is a plausible index (the
// uniquifier is an int kept among the variable columns), is variable.
Place MakePlace(int32_t offset, uint8_t systemTypeId, int32_t length, size_t columns) {
  Place place;
  place.offset = offset;
  place.bit = systemTypeId == 104;
  place.variable = IsVariableSystemType(systemTypeId) || (offset < 0 && -offset <= static_cast<int32_t>(columns));
  place.length = place.variable ? 0 : (place.bit ? 1 : length);
  if (place.variable && offset > 0) place.offset = -offset;  // read as an index out of range below
  return place;
}

// An id no column of a table can have.
bool ImpossibleColumnId(int32_t id) { return id <= 0 || id > kMostColumns; }

}  // namespace

bool IsVariableSystemType(uint8_t systemTypeId) {
  switch (systemTypeId) {
    case 34:   // image
    case 35:   // text
    case 98:   // sql_variant
    case 99:   // ntext
    case 165:  // varbinary
    case 167:  // varchar
    case 231:  // nvarchar
    case 240:  // CLR types
    case 241:  // xml
      return true;
    default:
      return false;
  }
}

void SystemCatalog::RepairColumnPlaces() {
  std::vector<Place> places;
  if (IsSql2000()) {
    // syscolumns keeps a column's id twice, as its id and its order: an id
    // past the table's run of ids, one byte from an order inside it that no
    // row has as its id, took damage (where the order took it, the id is
    // the one inside the run).
    std::set<int32_t> ids;
    for (const LegacyColumnRow& row : tableLegacyColumns) ids.insert(row.columnId);
    const auto run = static_cast<int32_t>(tableLegacyColumns.size());
    for (LegacyColumnRow& row : tableLegacyColumns) {
      if ((row.columnId > 0 && row.columnId <= run) || row.columnOrder <= 0 || row.columnOrder > run ||
          ids.count(row.columnOrder) || !DifferInOneByte(int32_t{row.columnId}, int32_t{row.columnOrder}))
        continue;
      ids.erase(row.columnId);
      row.columnId = row.columnOrder;
      ids.insert(row.columnId);
    }
    // syscolumns keeps a built-in column's type twice (its user type is
    // the type itself), and a fixed type has one length.
    for (LegacyColumnRow& row : tableLegacyColumns) {
      if (row.userTypeId <= 0 || row.userTypeId > 255) continue;
      const auto userType = static_cast<uint8_t>(row.userTypeId);
      if (row.systemTypeId != userType && FixedTypeLength(userType, row.scale) == row.length &&
          FixedTypeLength(row.systemTypeId, row.scale) != row.length)
        row.systemTypeId = userType;
      const int length = FixedTypeLength(row.systemTypeId, row.scale);
      if (row.systemTypeId == userType && length > 0 && row.length != length && !IsDecimalType(row.systemTypeId))
        row.length = static_cast<int16_t>(length);
    }
    for (const LegacyColumnRow& row : tableLegacyColumns) {
      places.push_back(MakePlace(row.fixedOffset, row.systemTypeId, row.length, tableLegacyColumns.size()));
      places.back().order = row.columnId;
    }
    RepairPlaces(places, places.size());
    for (size_t i = 0; i < places.size(); ++i)
      tableLegacyColumns[i].fixedOffset = static_cast<int16_t>(places[i].offset);
  } else if (!tableRowsetColumns.empty()) {
    for (const RowsetColumnRow& row : tableRowsetColumns) {
      places.push_back(MakePlace(static_cast<int16_t>(row.offset & 0xFFFF), PhysicalSystemType(row),
                                 PhysicalFixedLength(row), tableRowsetColumns.size()));
      places.back().order = row.rowsetColumnId;
    }
    RepairPlaces(places, tableColumns.size());
    for (size_t i = 0; i < places.size(); ++i) {
      RowsetColumnRow& row = tableRowsetColumns[i];
      row.offset = static_cast<int32_t>((static_cast<uint32_t>(row.offset) & 0xFFFF0000u) |
                                        (static_cast<uint32_t>(places[i].offset) & 0xFFFFu));
    }
  } else if (!tableHobtColumns.empty()) {
    for (const HobtColumnRow& row : tableHobtColumns) {
      places.push_back(MakePlace(row.leafOffset, row.systemTypeId, row.length, tableHobtColumns.size()));
      places.back().order = row.hobtColumnId;
    }
    RepairPlaces(places, tableColumns.size());
    for (size_t i = 0; i < places.size(); ++i) tableHobtColumns[i].leafOffset = static_cast<int16_t>(places[i].offset);
  }
}

void SystemCatalog::RepairColumnFields() {
  // SQL Server 2005: a physical row keeps its place twice, as its id and
  // as its null bit.
  std::multiset<int32_t> hobtPlaces, hobtBits;
  for (const HobtColumnRow& row : tableHobtColumns) {
    hobtPlaces.insert(row.hobtColumnId);
    hobtBits.insert(row.nullBit);
  }
  std::set<int32_t> catalogColumnIds;
  for (const ColumnRow& column : tableColumns) catalogColumnIds.insert(column.columnId);
  for (HobtColumnRow& row : tableHobtColumns) {
    if (row.hobtColumnId == row.nullBit || row.nullBit <= 0 || row.hobtColumnId <= 0) {
      if (row.nullBit <= 0 && row.hobtColumnId > 0 && DifferInOneByte(row.nullBit, row.hobtColumnId) &&
          hobtBits.count(static_cast<int16_t>(row.hobtColumnId)) == 0)
        row.nullBit = static_cast<int16_t>(row.hobtColumnId);
      continue;
    }
    if (!DifferInOneByte(row.hobtColumnId, row.nullBit)) continue;
    // An id no column can have, or one no catalog column has while the
    // null bit names a catalog column that no other physical row takes.
    const bool idDamaged = row.hobtColumnId > kMostColumns ||
                           (!catalogColumnIds.count(row.hobtColumnId) && catalogColumnIds.count(row.nullBit));
    if (idDamaged && hobtPlaces.count(row.nullBit) == 0) {
      // The id put back maps as the map rows say.
      row.hobtColumnId = row.nullBit;
      for (const RowsetColumnMapRow& map : tableRowsetColumnMap)
        if (map.rowsetColumnId == row.hobtColumnId) row.mappedColumnId = map.hobtColumnId;
    } else if (row.nullBit > kMostColumns && row.hobtColumnId <= kMostColumns &&
               hobtBits.count(static_cast<int16_t>(row.hobtColumnId)) == 0)
      row.nullBit = static_cast<int16_t>(row.hobtColumnId);
  }
  // A fixed-length built-in type has one length; a catalog row whose
  // length says otherwise had it damaged.
  for (ColumnRow& column : tableColumns) {
    const int length = FixedTypeLength(column.systemTypeId, column.scale);
    if (length > 0 && column.length != length && column.maxInRowLength == length && !IsDecimalType(column.systemTypeId))
      column.length = static_cast<int16_t>(length);
  }
  std::set<int32_t> catalogIds;
  for (const ColumnRow& row : tableColumns) catalogIds.insert(row.columnId);
  if (!tableRowsetColumns.empty()) RepairRowsetPlaces(catalogIds);
  RepairColumnIdsAndTypes(catalogIds);
}

void SystemCatalog::RepairRowsetPlaces(const std::set<int32_t>& catalogIds) {
  // The place of a physical column: where two of its three copies agree
  // and the third names a place no other row takes, the third is put back.
  std::multiset<int32_t> ids, hobtIds, nullBits;
  for (const RowsetColumnRow& row : tableRowsetColumns) {
    ids.insert(row.rowsetColumnId);
    hobtIds.insert(row.hobtColumnId);
    nullBits.insert(row.nullBit & 0xFFFF);
  }
  std::set<int32_t> claimed;
  for (const RowsetColumnRow& row : tableRowsetColumns)
    if (catalogIds.count(row.rowsetColumnId)) claimed.insert(row.rowsetColumnId);
  for (RowsetColumnRow& row : tableRowsetColumns) {
    const int32_t nullBit = row.nullBit & 0xFFFF;
    // An id no column can have is damage even where no catalog row confirms
    // the place (dropped columns take ids from 0x4000000 on).
    const bool impossible =
        row.rowsetColumnId < 0 || (row.rowsetColumnId > kMostColumns && row.rowsetColumnId < 0x4000000);
    if (row.rowsetColumnId != row.hobtColumnId && row.hobtColumnId == nullBit &&
        !catalogIds.count(row.rowsetColumnId) && (catalogIds.count(nullBit) || impossible) && !claimed.count(nullBit) &&
        ids.count(nullBit) == 0 && DifferInOneByte(row.rowsetColumnId, nullBit)) {
      row.rowsetColumnId = nullBit;
      claimed.insert(nullBit);
    } else if (row.hobtColumnId != nullBit && row.rowsetColumnId == nullBit && hobtIds.count(nullBit) == 0 &&
               DifferInOneByte(row.hobtColumnId, nullBit)) {
      row.hobtColumnId = nullBit;
    } else if (row.rowsetColumnId == row.hobtColumnId && nullBit != row.hobtColumnId &&
               nullBits.count(row.hobtColumnId) == 0 && DifferInOneByte(nullBit, row.hobtColumnId)) {
      row.nullBit = static_cast<int32_t>((static_cast<uint32_t>(row.nullBit) & 0xFFFF0000u) |
                                         static_cast<uint32_t>(row.hobtColumnId & 0xFFFF));
    } else if (impossible && nullBit > kMostColumns && row.hobtColumnId > 0 && row.hobtColumnId <= kMostColumns &&
               ids.count(row.hobtColumnId) == 0 && nullBits.count(row.hobtColumnId) == 0 &&
               !claimed.count(row.hobtColumnId) && DifferInOneByte(row.rowsetColumnId, row.hobtColumnId) &&
               DifferInOneByte(nullBit, row.hobtColumnId)) {
      // Two copies damaged, each a value no column can have and one byte
      // from the third, which names a free place.
      row.rowsetColumnId = row.hobtColumnId;
      row.nullBit = static_cast<int32_t>((static_cast<uint32_t>(row.nullBit) & 0xFFFF0000u) |
                                         static_cast<uint32_t>(row.hobtColumnId & 0xFFFF));
      claimed.insert(row.hobtColumnId);
    }
  }
}

void SystemCatalog::RepairColumnIdsAndTypes(std::set<int32_t>& catalogIds) {
  const std::vector<PhysicalColumn> physicals = PhysicalColumns(tableRowsetColumns, tableHobtColumns);
  if (physicals.empty()) {
    RepairImpossibleColumnIds(catalogIds);
    return;
  }
  // A catalog row whose id damage changed: the one physical row without a
  // catalog row whose id differs from it in one byte and whose type is the
  // row's gives the id back (of several, the one whose length is the row's
  // as well). A physical row two catalog rows could take goes to the one
  // whose id no column can have, or to neither: a catalog row whose own
  // physical row was lost is not damage.
  std::unordered_map<int32_t, const PhysicalColumn*> physicalById;
  for (const PhysicalColumn& row : physicals) physicalById.emplace(row.id, &row);
  std::map<const PhysicalColumn*, std::vector<ColumnRow*>> takers;
  for (ColumnRow& column : tableColumns) {
    if (physicalById.count(column.columnId)) continue;
    const PhysicalColumn* match = nullptr;
    int matches = 0;
    const PhysicalColumn* sameLength = nullptr;
    int sameLengths = 0;
    for (const PhysicalColumn& row : physicals) {
      if (catalogIds.count(row.id) || row.id <= 0) continue;
      if (!DifferInOneByte(row.id, column.columnId)) continue;
      if (row.type != column.systemTypeId && static_cast<int32_t>(row.type) != column.userTypeId) continue;
      match = &row;
      ++matches;
      const int32_t length = row.declaredLength;
      if (length > 0 && (length == column.length || length == column.maxInRowLength)) sameLength = &row, ++sameLengths;
    }
    if (matches > 1 && sameLengths == 1) match = sameLength, matches = 1;
    if (matches != 1) continue;
    takers[match].push_back(&column);
  }
  for (auto& [physical, columns] : takers) {
    ColumnRow* taker = columns.size() == 1 ? columns.front() : nullptr;
    if (!taker) {
      int impossible = 0;
      for (ColumnRow* column : columns)
        if (ImpossibleColumnId(column->columnId)) taker = column, ++impossible;
      if (impossible != 1) continue;
    }
    catalogIds.erase(taker->columnId);
    taker->columnId = physical->id;
    catalogIds.insert(taker->columnId);
  }
  // A physical row whose type took damage as well leaves the id to the
  // run of ids.
  RepairImpossibleColumnIds(catalogIds);

  // The type of a catalog row: its system type is written twice in the
  // row (the user type of a built-in type is the type itself) and once in
  // the physical row; its length twice in the row (the in-row length) and
  // once in the physical row.
  for (ColumnRow& column : tableColumns) {
    auto it = physicalById.find(column.columnId);
    if (it == physicalById.end()) continue;
    const PhysicalColumn& physical = *it->second;
    const uint8_t type = physical.type;
    if (column.systemTypeId != type && column.userTypeId == type) column.systemTypeId = type;
    if (column.userTypeId != column.systemTypeId && column.systemTypeId == type &&
        DifferInOneByte(column.userTypeId, column.systemTypeId) && TypesWithId(column.userTypeId).empty())
      column.userTypeId = column.systemTypeId;
    if (column.systemTypeId != type) continue;
    const int32_t length = physical.declaredLength;
    if (length > 0 && column.length != length && column.maxInRowLength == length)
      column.length = static_cast<int16_t>(length);
  }
}

void SystemCatalog::WidenToTheRecords(RecordShape& shape) const {
  if (!file || tablePages.empty()) return;
  // The layout most records of the table's first pages share; a page of
  // other data among them is outvoted.
  std::map<std::tuple<int32_t, int32_t, int32_t>, size_t> counts;
  size_t records = 0;
  for (size_t i = 0; i < tablePages.size() && i < 4; ++i) {
    std::unique_ptr<PrimaryRecordPage> page = file->ReadTableDataPage(tablePages[i]);
    if (!page) continue;
    for (const auto& record : page->records) {
      if (!record || record->recordType != kRecordPrimary || record->hasError || record->isCompressed) continue;
      ++records;
      ++counts[{record->columnCount, 4 + std::max<int32_t>(record->fixedLength, 0), record->varColumnCount}];
    }
  }
  size_t best = 0;
  std::tuple<int32_t, int32_t, int32_t> layout{};
  for (const auto& [key, count] : counts)
    if (count > best) best = count, layout = key;
  if (best < 2 || best * 2 <= records) return;
  const auto [columns, fixedEnd, variables] = layout;
  if (columns <= shape.maxColumns) return;
  std::set<int32_t> described;
  for (const RowsetColumnRow& row : tableRowsetColumns) described.insert(row.nullBit & 0xFFFF);
  int32_t unknown = 0;
  for (int32_t position = 1; position <= columns; ++position) unknown += described.count(position) ? 0 : 1;
  shape.columnsWithoutRows = unknown;
  shape.maxColumns = columns;
  shape.fullFixedEnd = std::max(shape.fullFixedEnd, fixedEnd);
  shape.variableColumns = std::max(shape.variableColumns, variables);
}

void SystemCatalog::RepairImpossibleColumnIds(std::set<int32_t>& catalogIds) {
  // Without physical rows to compare with, a catalog row whose id no column
  // can have takes the one id missing from the table's run of ids that is
  // one byte from its own, where no other such row could take it.
  std::vector<ColumnRow*> damaged;
  int32_t highest = 0;
  for (ColumnRow& column : tableColumns) {
    if (ImpossibleColumnId(column.columnId))
      damaged.push_back(&column);
    else
      highest = std::max(highest, column.columnId);
  }
  if (damaged.empty()) return;
  const int32_t last = std::min<int32_t>(kMostColumns, highest + static_cast<int32_t>(damaged.size()));
  std::map<int32_t, std::vector<ColumnRow*>> takers;
  for (ColumnRow* column : damaged) {
    int32_t match = 0;
    int matches = 0;
    for (int32_t id = 1; id <= last; ++id) {
      if (catalogIds.count(id) || !DifferInOneByte(id, column->columnId)) continue;
      match = id;
      ++matches;
    }
    if (matches != 1) continue;
    takers[match].push_back(column);
  }
  for (auto& [id, columns] : takers) {
    if (columns.size() != 1) continue;
    catalogIds.erase(columns.front()->columnId);
    columns.front()->columnId = id;
    catalogIds.insert(id);
  }
}

}  // namespace ravelin
