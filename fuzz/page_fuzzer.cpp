// Builds pages from arbitrary bytes and reads them the way a recovery run
// does. Any crash, hang, leak or undefined behaviour is a finding.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "catalog/column_descriptor.h"
#include "catalog/data_page.h"
#include "recovery/progress_sink.h"
#include "recovery/recovery_settings.h"
#include "rows/table_rows.h"
#include "storage/boot_page.h"
#include "storage/database_file.h"
#include "storage/page.h"

namespace {

using namespace ravelin;

// A small database on disk, so that forwarding stubs and other page
// references in the fuzzed page have somewhere to lead.
struct Fixture {
  RecoverySettings settings;
  NullProgressSink sink;
  std::unique_ptr<CDatabaseFile> db;

  Fixture() {
    std::string path = std::filesystem::temp_directory_path() / ("ravelin-fuzz-" + std::to_string(getpid()) + ".mdf");
    Bytes file(16 * kPageSize, 0);
    for (int n = 0; n < 16; ++n) {
      uint8_t* page = &file[static_cast<size_t>(n) * kPageSize];
      page[0] = 1;
      page[1] = 1;
      page[24] = 34;  // a catalog page, so the file opens
      page[32] = static_cast<uint8_t>(n);
      page[36] = 1;
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    db = std::make_unique<CDatabaseFile>(path, sink, settings);
    std::filesystem::remove(path);
  }
};

// Each reader consumes the records it reads, so every reader gets a page
// of its own.
void ReadEverySystemTable(const Bytes& page, CDatabaseFile* db) {
  uint64_t repair = 0;
  std::vector<ClassObjectRow> classObjects;
  CDataPage(page, db).ReadClassObjectRows(classObjects);
  std::vector<DataFileInfo> files;
  CDataPage(page, db).ReadFileRows(files);
  std::vector<ObjectRow> objects;
  CDataPage(page, db).ReadObjectRows(objects, classObjects, repair);
  std::vector<AllocUnitRow> allocUnits;
  CDataPage(page, db).ReadAllocUnitRows(allocUnits);
  std::vector<RowsetRow> rowsets;
  CDataPage(page, db).ReadRowsetRows(rowsets);
  std::map<int32_t, LegacyIndexRoot> roots;
  CDataPage(page, db).ReadLegacyIndexRoots(roots);
  std::vector<LegacyColumnRow> legacyColumns;
  CDataPage(page, db).ReadLegacyColumnRows(legacyColumns, repair);
  std::vector<ColumnRow> columns;
  CDataPage(page, db).ReadColumnRows(columns, repair);
  std::vector<TypeRow> types;
  CDataPage(page, db).ReadTypeRows(types);
  std::vector<RowsetColumnRow> rowsetColumns;
  CDataPage(page, db).ReadRowsetColumnRows(rowsetColumns);
  std::vector<ObjectRefRow> refs;
  CDataPage(page, db).ReadObjectRefRows(refs);
  std::vector<IndexRow> indexes;
  CDataPage(page, db).ReadIndexRows(indexes);
  std::vector<IndexColumnRow> indexColumns;
  CDataPage(page, db).ReadIndexColumnRows(indexColumns);
  std::vector<HobtColumnRow> hobtColumns;
  CDataPage(page, db).ReadHobtColumnRows(hobtColumns);
  std::vector<RowsetColumnMapRow> map;
  CDataPage(page, db).ReadRowsetColumnMapRows(map);
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
void DecodeEveryRow(const PrimaryRecordPage& page, CDatabaseFile& db, bool firstPage) {
  static const RowColumnSet kColumns = FuzzColumns();
  for (ColumnReader reader : {ColumnReader::kLayout, ColumnReader::kPositional}) {
    TableRowReader rows(db, kColumns, reader, firstPage);
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
  f.settings.showDeleted = options & 1;
  f.settings.showAdvancedDeleted = options & 2;
  f.settings.isSql2000 = options & 4;
  Bytes page(kPageSize, 0);
  if (size > 1) std::copy(data + 1, data + std::min<size_t>(size, kPageSize + 1), page.begin());

  PrimaryRecordPage records(page, f.db.get());
  DecodeEveryRow(records, *f.db, options & 8);
  ReadEverySystemTable(page, f.db.get());
  for (size_t at = 0; at < page.size(); at += 97) MeasureRecordLength(ByteSpan(page).subspan(at), options & 1);
  CBootPage boot(page, f.settings);
  return 0;
}
