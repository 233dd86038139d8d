#include "support/compressed_table_image.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "rows/value_render.h"
#include "support/catalog_image.h"
#include "support/catalog_rows.h"

namespace ravelin::testing {
namespace {

struct TypeName {
  int32_t typeCode;
  uint8_t systemTypeId;
  const char* name;
  int16_t length;
};

constexpr TypeName kTypes[] = {
    {kTypeBigInt, 127, "bigint", 8},
    {kTypeBinary, 173, "binary", 8000},
    {kTypeBit, 104, "bit", 1},
    {kTypeChar, 175, "char", 8000},
    {kTypeDateTime, 61, "datetime", 8},
    {kTypeDate, 40, "date", 3},
    {kTypeTime, 41, "time", 5},
    {kTypeDateTime2, 42, "datetime2", 8},
    {kTypeDateTimeOffset, 43, "datetimeoffset", 10},
    {kTypeInt, 56, "int", 4},
    {kTypeNChar, 239, "nchar", 8000},
    {kTypeNVarChar, 231, "nvarchar", 8000},
    {kTypeSmallInt, 52, "smallint", 2},
    {kTypeTinyInt, 48, "tinyint", 1},
    {kTypeUniqueIdentifier, 36, "uniqueidentifier", 16},
    {kTypeVarBinary, 165, "varbinary", 8000},
    {kTypeVarChar, 167, "varchar", 8000},
    {kTypeNText, 99, "ntext", 16},
    {kTypeSqlVariant, 98, "sql_variant", 8016},
    {kTypeMoney, 60, "money", 8},
    {kTypeFloat, 62, "float", 8},
    {kTypeNumeric, 108, "numeric", 17},
    {kTypeDecimal, 106, "decimal", 17},
    {kTypeImage, 34, "image", 16},
    {kTypeText, 35, "text", 16},
    {kTypeSmallDateTime, 58, "smalldatetime", 4},
    {kTypeReal, 59, "real", 4},
    {kTypeSmallMoney, 122, "smallmoney", 4},
    {kTypeTimestamp, 189, "timestamp", 8},
    {kTypeXml, 241, "xml", -1},
};

// SmallCatalogImage already has these type rows.
bool AlreadyListed(uint8_t systemTypeId) {
  return systemTypeId == 56 || systemTypeId == 231 || systemTypeId == 52 || systemTypeId == 167;
}

// Bytes of records (and their slots) a system page is given.
constexpr size_t kSystemPageRoom = 7000;

// The next page SmallCatalogImage leaves free: 27-29, then 33-39.
uint32_t NextFree(uint32_t& pageNo) {
  if (pageNo == 30) pageNo = 33;
  if (pageNo >= 40) throw std::length_error("too many catalog rows");
  return pageNo++;
}

constexpr int64_t kRowsetBase = 72057594039000000;

// A rowset's in-row allocation unit, filed under page key `key`.
int64_t AllocUnitId(uint32_t key) { return (int64_t{256} << 48) | (static_cast<int64_t>(key) << 16); }

Bytes RecordFor(const TableSpec& table, const CompressedRow& row) {
  CdRecord kind;
  kind.type = row.type;
  return UncompressedRecord(table.columns, row.values, kind.IsGhost() ? 6 : 0);
}

void AddDataPages(DatabaseImage& image, const TableSpec& table, uint32_t key) {
  if (table.firstPage == 0) return;
  const size_t pages = std::max<size_t>(1, (table.rows.size() + table.rowsPerPage - 1) / table.rowsPerPage);
  for (size_t p = 0; p < pages; ++p) {
    const auto pageNo = static_cast<uint32_t>(table.firstPage + p);
    PageBuilder& page = image.Page(pageNo).ObjectId(key).IndexId(256);
    if (p > 0) page.Prev(PageRef{1, static_cast<int32_t>(pageNo - 1)});
    if (p + 1 < pages) page.Next(PageRef{1, static_cast<int32_t>(pageNo + 1)});
    const size_t first = p * table.rowsPerPage;
    const size_t last = std::min(table.rows.size(), first + table.rowsPerPage);
    const std::vector<CompressedRow> rows(table.rows.begin() + static_cast<std::ptrdiff_t>(first),
                                          table.rows.begin() + static_cast<std::ptrdiff_t>(last));
    if (table.compression) {
      FillCompressedPage(page, table.columns, rows, *table.compression);
      continue;
    }
    int16_t ghosts = 0;
    for (const CompressedRow& row : rows) {
      const Bytes record = RecordFor(table, row);
      ghosts = static_cast<int16_t>(ghosts + ((record[0] >> 1) & 7) / 6);
      page.AddRecord(record);
    }
    page.GhostCount(ghosts);
  }
}

}  // namespace

std::vector<ColumnDescriptor> AssortedColumns() {
  std::vector<ColumnDescriptor> c = {
      SqlColumn("Id", "int(4)", kTypeInt),
      SqlColumn("Big", "bigint(8)", kTypeBigInt),
      SqlColumn("Small", "smallint(2)", kTypeSmallInt),
      SqlColumn("Tiny", "tinyint(1)", kTypeTinyInt),
      SqlColumn("B1", "bit(1)", kTypeBit),
      SqlColumn("Price", "money(8)", kTypeMoney),
      SqlColumn("Fee", "smallmoney(4)", kTypeSmallMoney),
      SqlColumn("Stamp", "datetime(8)", kTypeDateTime),
      SqlColumn("Minute", "smalldatetime(4)", kTypeSmallDateTime),
      SqlColumn("Day", "date(3)", kTypeDate),
      SqlColumn("B2", "bit(1)", kTypeBit),
      SqlColumn("Clock", "time(5)", kTypeTime, 16, 7),
      SqlColumn("Moment", "datetime2(6)", kTypeDateTime2, 19, 2),
      SqlColumn("Zoned", "datetimeoffset(10)", kTypeDateTimeOffset, 34, 7),
      SqlColumn("Amount", "decimal(9)", kTypeDecimal, 18, 4),
      SqlColumn("Rate", "numeric(5)", kTypeNumeric, 9, 9),
      SqlColumn("Huge", "decimal(17)", kTypeDecimal, 38, 0),
      SqlColumn("Ratio", "float(8)", kTypeFloat),
      SqlColumn("Weight", "real(4)", kTypeReal),
      SqlColumn("Guid", "uniqueidentifier(16)", kTypeUniqueIdentifier),
      SqlColumn("Code", "char(10)", kTypeChar),
      SqlColumn("Raw", "binary(6)", kTypeBinary),
      SqlColumn("Letter", "nchar(20)", kTypeNChar),
      SqlColumn("B3", "bit(1)", kTypeBit),
      SqlColumn("Name", "varchar(50)", kTypeVarChar),
      SqlColumn("Title", "nvarchar(100)", kTypeNVarChar),
      SqlColumn("Blob", "varbinary(100)", kTypeVarBinary),
      SqlColumn("Notes", "text(16)", kTypeText),
      SqlColumn("Long", "nvarchar(-1)", kTypeNVarChar),
      SqlColumn("Version", "timestamp(8)", kTypeTimestamp),
  };
  for (int i = 0; i < 9; ++i) c.push_back(SqlColumn("F" + std::to_string(i), "bit(1)", kTypeBit));
  c.push_back(SqlColumn("Tail", "int(4)", kTypeInt));
  LayOutColumns(c);
  return c;
}

std::vector<RowValues> AssortedRows(size_t generated) {
  const auto bit = [](int v) { return Value(Bytes{static_cast<uint8_t>(v)}); };
  std::vector<RowValues> rows;
  rows.push_back(
      {Value(SqlIntBytes(1, 4)),
       Value(SqlIntBytes(-9223372036854775807LL - 1, 8)),
       Value(SqlIntBytes(-130, 2)),
       Value(SqlIntBytes(0, 1)),
       bit(1),
       Value(SqlIntBytes(-123456789, 8)),  // -12345.6789
       Value(SqlIntBytes(-1, 4)),
       Value(SqlDateTimeBytes(1899, 1, 2, 18, 22, 11, 123)),
       Value(SqlSmallDateTimeBytes(2079, 6, 6, 23, 59)),
       Value(SqlDateBytes(1, 1, 1)),
       bit(0),
       Value(SqlTimeBytes(23, 59, 59, 9999999, 7)),
       Value(SqlDateTime2Bytes(9999, 12, 31, 23, 59, 59, 99, 2)),
       Value(SqlDateTimeOffsetBytes(2020, 2, 29, 3, 4, 5, 1234567, 7, -480)),
       Value(SqlDecimalBytes("-12345.6789", 18, 4)),
       Value(SqlDecimalBytes("0.000000001", 9, 9)),
       Value(SqlDecimalBytes("-99999999999999999999999999999999999999", 38, 0)),
       Value(SqlFloatBytes(-1234.5678e-12)),
       Value(SqlRealBytes(3.25f)),
       Value(Bytes{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}),
       Value(SqlCharBytes("AB", 10)),
       Value(SqlBinaryBytes({0x01, 0x00}, 6)),
       Value(SqlNCharBytes("Öl fließt", 20)),
       bit(1),
       Value(Ascii("")),
       Value(Utf16("Москва, 日本 and ASCII")),
       Value(Bytes{0x00}),
       Value(TextPointer(PageRef{1, 77}, 3), true),
       Value(Utf16(std::string(300, 'w'))),
       Value(Bytes{0, 0, 0, 0, 0, 0xAB, 0xCD, 0xEF}),
       bit(1),
       bit(0),
       bit(1),
       bit(1),
       bit(0),
       bit(0),
       bit(1),
       bit(0),
       bit(1),
       Value(SqlIntBytes(2147483647, 4))});
  RowValues zeros;
  for (const ColumnDescriptor& d : AssortedColumns()) {
    BitCursor cursor;
    const ValueLayout shape = DescribeValue(d, cursor);
    zeros.push_back(Value(shape.variable ? Bytes{} : Bytes(d.typeCode == kTypeBit ? 1 : shape.fixedLength, 0)));
  }
  zeros[0] = Value(SqlIntBytes(2, 4));
  zeros[14] = Value(SqlDecimalBytes("0", 18, 4));
  zeros[15] = Value(SqlDecimalBytes("0", 9, 9));
  zeros[16] = Value(SqlDecimalBytes("0", 38, 0));
  zeros[20] = Value(SqlCharBytes("", 10));
  zeros[22] = Value(SqlNCharBytes("", 20));
  zeros[27] = Null();  // text pointer column
  rows.push_back(zeros);
  RowValues nulls(AssortedColumns().size(), Null());
  nulls[0] = Value(SqlIntBytes(3, 4));
  nulls[24] = Value(Ascii("between NULLs"));
  rows.push_back(nulls);
  for (size_t n = 0; n < generated; ++n) {
    const auto i = static_cast<int>(n);
    const std::string tag = std::to_string(i);
    RowValues r = {
        Value(SqlIntBytes(100 + i, 4)),
        Value(SqlIntBytes(-int64_t{1000003} * i, 8)),
        Value(SqlIntBytes((i % 2 ? -7 : 7) * i, 2)),
        Value(SqlIntBytes(i % 256, 1)),
        bit(i % 2),
        Value(SqlIntBytes(-12345 * i, 8)),
        Value(SqlIntBytes(333 * i, 4)),
        Value(SqlDateTimeBytes(2000 + i % 30, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60, (i * 7) % 1000)),
        Value(SqlSmallDateTimeBytes(1990 + i % 50, 1 + i % 12, 1 + i % 28, i % 24, i % 60)),
        Value(SqlDateBytes(1 + i * 37, 1 + i % 12, 1 + i % 28)),
        bit(i / 2 % 2),
        Value(SqlTimeBytes(i % 24, i % 60, i % 60, static_cast<uint64_t>(i) * 12345 % 10000000, 7)),
        Value(SqlDateTime2Bytes(2020, 1 + i % 12, 1 + i % 28, i % 24, 0, 0, static_cast<uint64_t>(i % 100), 2)),
        Value(SqlDateTimeOffsetBytes(2021, 6, 1 + i % 28, 12, 0, 0, 0, 7, static_cast<int16_t>(i % 2 ? 330 : -480))),
        Value(SqlDecimalBytes(i % 3 ? "-" + tag + ".5" : tag + "000", 18, 4)),
        Value(SqlDecimalBytes(i % 2 ? "-0.5" : "0.123456789", 9, 9)),
        Value(SqlDecimalBytes(tag + "00000000000000000000", 38, 0)),
        Value(SqlFloatBytes(i * 0.1 - 3)),
        Value(SqlRealBytes(static_cast<float>(i) * 0.25f)),
        Value(Bytes(16, static_cast<uint8_t>(i))),
        Value(SqlCharBytes("C" + std::to_string(i % 5), 10)),
        Value(SqlBinaryBytes({static_cast<uint8_t>(i), 0, static_cast<uint8_t>(i)}, 6)),
        Value(SqlNCharBytes(i % 3 == 0 ? "日本" : "name" + std::to_string(i % 4), 20)),
        bit(i % 3 == 0),
        i % 4 == 0 ? Null() : Value(Ascii("Customer number " + std::to_string(i % 7))),
        Value(Utf16("Заголовок " + tag)),
        Value(Bytes(static_cast<size_t>(i % 12), static_cast<uint8_t>(i))),
        i % 2 ? Null() : Value(TextPointer(PageRef{1, 77}, static_cast<uint16_t>(i)), true),
        Value(Utf16(std::string(20 + static_cast<size_t>(i % 9), 'L'))),
        Value(Bytes{0, 0, 0, 0, 0, 0, 0x01, static_cast<uint8_t>(i)}),
    };
    for (int k = 0; k < 9; ++k) r.push_back(bit((i >> k) & 1));
    r.push_back(Value(SqlIntBytes(int64_t{i} * i * (i % 2 ? -1 : 1), 4)));
    rows.push_back(std::move(r));
  }
  return rows;
}

uint8_t SystemTypeIdOf(int32_t typeCode) {
  for (const TypeName& t : kTypes)
    if (t.typeCode == typeCode) return t.systemTypeId;
  return 175;
}

namespace {

// The type information of a physical column row: the system type in the
// low byte, then the length of the types declared with one, the precision
// and scale of decimals, or the scale of the time types.
int32_t TypeInfoOf(uint8_t systemType, int16_t length, uint8_t precision, uint8_t scale) {
  switch (systemType) {
    case 106:
    case 108:
      return systemType | (precision << 8) | (scale << 16);
    case 165:
    case 167:
    case 173:
    case 175:
    case 231:
    case 239:
      return systemType | ((static_cast<uint16_t>(length) & 0xFFFF) << 8);
    case 41:
    case 42:
    case 43:
      return systemType | (scale << 8);
    default:
      return systemType;
  }
}

}  // namespace

DatabaseImage ImageWithTables(const std::vector<TableSpec>& tables, uint32_t pageCount) {
  DatabaseImage image = SmallCatalogImage(pageCount);
  std::map<uint32_t, std::vector<Bytes>> rows;  // system table -> its new rows
  for (const TypeName& t : kTypes)
    if (!AlreadyListed(t.systemTypeId))
      rows[50].push_back(SysScalarTypesRow{
          .typeId = t.systemTypeId, .name = t.name, .systemTypeId = t.systemTypeId, .length = t.length}
                             .Build());
  for (size_t k = 0; k < tables.size(); ++k) {
    const TableSpec& table = tables[k];
    const auto key = static_cast<uint32_t>(300 + k);
    const int64_t rowsetId =
        table.upgradedRowsetId ? static_cast<int64_t>(table.objectId) << 16 : kRowsetBase + table.objectId;
    if (!table.catalogRows) {
      AddDataPages(image, table, key);
      continue;
    }
    if (table.objectRow) rows[34].push_back(SysSchObjsRow{.id = table.objectId, .name = table.name}.Build());
    const uint8_t compression = !table.compression                        ? 0
                                : *table.compression == Compression::kRow ? uint8_t{1}
                                                                          : uint8_t{2};
    // SQL Server keeps the rowset's row count in its row.
    SysRowsetsRow heap{.rowsetId = rowsetId,
                       .objectId = table.objectId,
                       .indexId = 0,
                       .rowCount = static_cast<int64_t>(table.rows.size()),
                       .compression = compression};
    if (table.rowsetDamage) table.rowsetDamage(heap);
    if (table.rowsetRow) rows[5].push_back(heap.Build());
    if (table.indexRow)
      rows[54].push_back(
          SysIdxStatsRow{.objectId = table.objectId, .indexId = 0, .indexType = 0, .rowsetId = rowsetId}.Build());
    if (table.damagedIndexRowset) {
      rows[5].push_back(SysRowsetsRow{
          .rowsetId = rowsetId + 1, .objectId = table.objectId, .indexId = static_cast<int32_t>(0xFF000002u)}
                            .Build());
      // An index row: status byte, then the key.
      rows[3].push_back(
          SysRsColsRow{.rowsetId = rowsetId + 1, .typeInfo = 56, .maxInRowLength = 4, .offset = 1, .nullBit = 1}
              .Build());
    }
    const auto pointer = [](uint32_t pageNo) {
      return pageNo == 0 ? PageRef{0, 0} : PageRef{1, static_cast<int32_t>(pageNo)};
    };
    if (table.allocUnitRow)
      rows[7].push_back(SysAllocUnitsRow{.allocUnitId = AllocUnitId(key),
                                         .ownerId = rowsetId,
                                         .firstPage = pointer(table.firstPage),
                                         .firstIamPage = pointer(table.iamPage)}
                            .Build());
    for (const ColumnDescriptor& d : table.columns) {
      if (!table.columnRows) break;
      const uint8_t systemType = SystemTypeIdOf(d.typeCode);
      const auto length = static_cast<int16_t>(LengthInParentheses(d.typeText));
      SysColParsRow catalogRow{.objectId = table.objectId,
                               .columnId = d.columnId,
                               .name = d.name,
                               .systemTypeId = systemType,
                               .userTypeId = systemType,
                               .length = length,
                               .precision = d.precision,
                               .scale = d.scale,
                               .status = d.nullable ? 0 : 1,
                               .maxInRowLength = length};
      if (auto damage = table.catalogColumnDamage.find(d.columnId); damage != table.catalogColumnDamage.end())
        damage->second(catalogRow);
      if (table.catalogColumnRows) rows[41].push_back(catalogRow.Build());
      if (std::find(table.physicalRowsLost.begin(), table.physicalRowsLost.end(), d.columnId) !=
          table.physicalRowsLost.end())
        continue;
      SysRsColsRow physicalRow{.rowsetId = rowsetId,
                               .rowsetColumnId = d.columnId == table.physicalIdDamaged ? 248 : d.columnId,
                               .hobtColumnId = d.hobtColumnId,
                               .typeInfo = TypeInfoOf(systemType, length, d.precision, d.scale),
                               .columnId = d.columnId,
                               .maxInRowLength = length,
                               .offset = static_cast<int32_t>(static_cast<uint16_t>(d.leafOffset)),
                               .nullBit = d.nullBit};
      if (auto damage = table.physicalColumnDamage.find(d.columnId); damage != table.physicalColumnDamage.end())
        damage->second(physicalRow);
      rows[3].push_back(physicalRow.Build());
    }
    AddDataPages(image, table, key);
  }
  // The new catalog rows on pages of their own, after SmallCatalogImage's.
  uint32_t pageNo = 27;
  for (const auto& [objectId, records] : rows) {
    size_t used = 0;
    std::vector<Bytes> onPage;
    for (const Bytes& record : records) {
      if (used + record.size() + 2 > kSystemPageRoom) {
        SystemTablePage(image, NextFree(pageNo), objectId, onPage);
        onPage.clear();
        used = 0;
      }
      onPage.push_back(record);
      used += record.size() + 2;
    }
    if (!onPage.empty()) SystemTablePage(image, NextFree(pageNo), objectId, onPage);
  }
  return image;
}

}  // namespace ravelin::testing
