// Builds pages from arbitrary bytes and reads them the way a recovery run
// does. Any crash, hang, leak or undefined behaviour is a finding.

#include <cstdint>
#include <memory>
#include <string>

#include "catalog/column_descriptor.h"
#include "catalog/data_page.h"
#include "rows/table_rows.h"
#include "storage/boot_page.h"
#include "storage/database_file.h"
#include "storage/memory_env.h"
#include "storage/page.h"
#include "storage/progress_sink.h"

namespace {

using namespace ravelin;

// A small database in memory, so that forwarding stubs and other page
// references in the fuzzed page have somewhere to lead; one file per set of
// reading options.
struct Fixture {
  MemoryEnv env;
  NullProgressSink sink;
  std::unique_ptr<CDatabaseFile> db[4];
  CollationContext collation;

  Fixture() {
    Bytes file(16 * kPageSize, 0);
    for (int n = 0; n < 16; ++n) {
      uint8_t* page = &file[static_cast<size_t>(n) * kPageSize];
      page[0] = 1;
      page[1] = 1;
      page[24] = 34;  // a catalog page, so the file opens
      page[32] = static_cast<uint8_t>(n);
      page[36] = 1;
    }
    env.AddFile("/fuzz.mdf", file);
    for (int options = 0; options < 4; ++options) {
      ReadOptions read;
      read.showDeleted = options & 1;
      read.huntDeleted = options & 2;
      db[options] = std::make_unique<CDatabaseFile>("/fuzz.mdf", env, sink, StopToken(), read);
      db[options]->MapPages();
    }
  }
};

// Every system-table reader over one parsed page.
void ReadEverySystemTable(const CDataPage& page, bool sql2000) {
  uint64_t repair = 0;
  std::vector<ClassObjectRow> classObjects;
  page.ReadClassObjectRows(classObjects);
  std::vector<DataFileInfo> files;
  page.ReadFileRows(files);
  std::vector<ObjectRow> objects;
  page.ReadObjectRows(objects, classObjects, sql2000, repair);
  std::vector<AllocUnitRow> allocUnits;
  page.ReadAllocUnitRows(allocUnits);
  std::vector<RowsetRow> rowsets;
  page.ReadRowsetRows(rowsets);
  std::map<int32_t, LegacyIndexRoot> roots;
  page.ReadLegacyIndexRoots(roots);
  std::vector<LegacyIndexKey> keys;
  page.ReadLegacyIndexKeys(keys);
  std::vector<LegacyColumnRow> legacyColumns;
  page.ReadLegacyColumnRows(legacyColumns, repair);
  std::vector<ColumnRow> columns;
  page.ReadColumnRows(columns, repair);
  std::vector<TypeRow> types;
  page.ReadTypeRows(types);
  std::vector<RowsetColumnRow> rowsetColumns;
  page.ReadRowsetColumnRows(rowsetColumns);
  std::vector<ObjectRefRow> refs;
  page.ReadObjectRefRows(refs);
  std::vector<IndexRow> indexes;
  page.ReadIndexRows(indexes);
  std::vector<IndexColumnRow> indexColumns;
  page.ReadIndexColumnRows(indexColumns);
  std::vector<HobtColumnRow> hobtColumns;
  page.ReadHobtColumnRows(hobtColumns);
  std::vector<RowsetColumnMapRow> map;
  page.ReadRowsetColumnMapRows(map);
}

ColumnDescriptor Column(int id, const char* typeText, int32_t typeCode, int16_t leafOffset) {
  ColumnDescriptor d = MakeColumnDescriptor("c" + std::to_string(id), typeText, typeCode);
  d.columnId = d.hobtColumnId = d.nullBit = id;
  d.leafOffset = leafOffset;
  d.legacyFixedOffset = leafOffset;
  d.stored = 1;
  d.nullable = 1;
  return d;
}

// A table of assorted kinds: fixed columns (int, nine bits sharing two
// bytes, datetime, decimal, uniqueidentifier), variable ones (nvarchar,
// varchar, a text pointer image, sql_variant) and a sparse column.
RowColumnSet FuzzColumns() {
  RowColumnSet columns = {Column(1, "int(4)", kTypeInt, 4)};
  for (int i = 0; i < 9; ++i) columns.push_back(Column(2 + i, "bit(1)", kTypeBit, i < 8 ? 8 : 9));
  columns.push_back(Column(11, "datetime(8)", kTypeDateTime, 10));
  columns.push_back(Column(12, "decimal(9)", kTypeDecimal, 18));
  columns.back().precision = 18;
  columns.back().scale = 2;
  columns.push_back(Column(13, "uniqueidentifier(16)", kTypeUniqueIdentifier, 27));
  columns.push_back(Column(14, "nvarchar(100)", kTypeNVarChar, -1));
  columns.push_back(Column(15, "varchar(50)", kTypeVarChar, -2));
  columns.push_back(Column(16, "image(16)", kTypeImage, -3));
  columns.push_back(Column(17, "sql_variant(8016)", kTypeSqlVariant, -4));
  columns.push_back(Column(18, "text(16)", kTypeText, -5));
  columns.push_back(Column(19, "int(4)", kTypeInt, 0));
  columns.back().statusBit24 = 1;
  return columns;
}

// Decodes every record of the page against the fixed column set with both
// column readers, as table rows and as definition-table rows.
void DecodeEveryRow(const PrimaryRecordPage& page, const CDatabaseFile& db, const CollationContext& collation,
                    bool legacy, bool firstPage) {
  static const RowColumnSet kColumns = FuzzColumns();
  for (ColumnReader reader : {ColumnReader::kLayout, ColumnReader::kPositional}) {
    TableRowReader rows(db, collation, legacy, kColumns, reader, firstPage);
    rows.ReadRecordRows(page, PageRef{1, 3});
    rows.ReadSystemRows(page, PageRef{1, 3});
  }
}

Fixture& GetFixture() {
  static Fixture fixture;
  return fixture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = GetFixture();
  // The first byte chooses the options, the rest is the page.
  const uint8_t options = size > 0 ? data[0] : 0;
  const CDatabaseFile& db = *f.db[options & 3];
  const bool sql2000 = options & 4;
  Bytes page(kPageSize, 0);
  if (size > 1) std::copy(data + 1, data + std::min<size_t>(size, kPageSize + 1), page.begin());

  CDataPage records(page, &db);
  DecodeEveryRow(records, db, f.collation, sql2000, options & 8);
  ReadEverySystemTable(records, sql2000);
  for (size_t at = 0; at < page.size(); at += 97) MeasureRecordLength(ByteSpan(page).subspan(at), options & 1);
  DecodeBootPage(page);
  return 0;
}
