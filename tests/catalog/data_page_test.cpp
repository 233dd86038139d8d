#include "catalog/data_page.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "storage/database_file.h"
#include "support/catalog_rows.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using namespace testing;  // the builders of the test support

// A page of system table `objectId` holding `records`, read without a
// database (default settings).
std::unique_ptr<CDataPage> Page(uint32_t objectId, const std::vector<Bytes>& records) {
  PageBuilder page(2);
  page.ObjectId(objectId);
  for (const Bytes& record : records) page.AddRecord(record);
  return std::make_unique<CDataPage>(page.Build(), nullptr);
}

// A record whose fixed part holds `bytes` bytes of `fill`.
Bytes Short(size_t bytes, uint8_t fill = 0x11) { return RecordBuilder().Fixed(Bytes(bytes, fill)).Build(); }
// A record without a fixed part.
Bytes NoFixed() { return RecordBuilder().ColumnCount(1).Build(); }
// A record of `type` (index record, text fragment) with a fixed part.
Bytes OfType(int type) { return RecordBuilder().Type(type).Fixed(Bytes(64, 0x22)).Build(); }
// The first `bytes` bytes of a fixed part, as a record.
Bytes Cut(const Bytes& fixed, size_t bytes) {
  return RecordBuilder().Fixed(Bytes(fixed.begin(), fixed.begin() + static_cast<std::ptrdiff_t>(bytes))).Build();
}

// A database whose page 2 is a catalog page, for reads that depend on the
// run's settings.
class CatalogPageTest : public ::testing::Test {
 protected:
  std::unique_ptr<CDataPage> Read(const PageBuilder& page) {
    DatabaseImage image(4);
    image.SetRaw(2, page.Build());
    database_ = std::make_unique<TestDatabase>(image);
    database_->options().showDeleted = showDeleted;
    if (!database_->Open()) return nullptr;
    return std::make_unique<CDataPage>(database_->PageBytes(2), &database_->db());
  }
  bool showDeleted = false;
  bool sql2000 = false;
  std::unique_ptr<TestDatabase> database_;
};

TEST(DataPageLoop, ReadsNoFurtherThanSlotCountAndRecords) {
  std::vector<Bytes> rows;
  for (int i = 1; i <= 4; ++i) rows.push_back(SysRowsetsRow{.rowsetId = i}.Build());

  PageBuilder two(2);
  two.ObjectId(5);
  for (const Bytes& record : rows) two.AddRecord(record);
  two.SlotCount(2);
  auto page = std::make_unique<CDataPage>(two.Build(), nullptr);
  std::vector<RowsetRow> out;
  page->ReadRowsetRows(out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1].rowsetId, 2);

  page = Page(5, rows);
  page->records.resize(3);  // fewer record objects than slots
  out.clear();
  page->ReadRowsetRows(out);
  EXPECT_EQ(out.size(), 3u);

  two.SlotCount(0);
  page = std::make_unique<CDataPage>(two.Build(), nullptr);
  out.clear();
  page->ReadRowsetRows(out);
  EXPECT_TRUE(out.empty());
}

TEST(DataPageLoop, AppendRulesAndSkippedRecordTypes) {
  // Slots: a good row, a record without a fixed part, an index record, a
  // text fragment.
  const Bytes unit = SysAllocUnitsRow{.allocUnitId = 7}.Build();
  const std::vector<Bytes> records = {unit, NoFixed(), OfType(kRecordIndex), OfType(kRecordTextFragment)};

  // Every row: the undecoded ones carry their initial values.
  std::vector<AllocUnitRow> units;
  Page(7, records)->ReadAllocUnitRows(units);
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[0].allocUnitId, 7);
  EXPECT_EQ(units[1].type, 255);
  EXPECT_EQ(units[2].status, -1);

  // The column readers also skip index records.
  std::vector<ColumnRow> columns;
  uint64_t counter = 0;
  Page(41, {SysColParsRow{.objectId = 9, .name = "a"}.Build(), NoFixed(), OfType(kRecordIndex)})
      ->ReadColumnRows(columns, counter);
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns[1].objectId, -1);
  EXPECT_EQ(columns[1].name, "") << "naming runs for decoded rows only";
  EXPECT_EQ(counter, 0u);

  // Rows with a fixed part only.
  std::vector<ObjectRefRow> refs;
  Page(74, {SysSingleObjRefsRow{.dependentId = 3}.Build(), NoFixed()})->ReadObjectRefRows(refs);
  ASSERT_EQ(refs.size(), 1u);
  EXPECT_EQ(refs[0].dependentId, 3);

  // Decoded rows only.
  std::vector<ObjectRow> objects;
  Page(34, {NoFixed(), Short(19)})->ReadObjectRows(objects, {}, false, counter);
  EXPECT_TRUE(objects.empty());
}

TEST(DataPageLoop, AllocationPagesHoldNoRows) {
  // A catalog table's IAM page is filed under the table's object id; its
  // bitmap record must not become an object named Repairname0.
  PageBuilder iam(2);
  iam.PageType(10).ObjectId(34);
  iam.AddRecord(RecordBuilder().Fixed(Bytes(90, 0)).Build());
  iam.AddRecord(RecordBuilder().Fixed(Concat({LE32(0x44800000), Bytes(600, 0)})).Build());
  CDataPage page(iam.Build(), nullptr);
  std::vector<ObjectRow> objects;
  uint64_t counter = 0;
  page.ReadObjectRows(objects, {}, false, counter);
  std::vector<DataFileInfo> files;
  page.ReadFileRows(files);
  EXPECT_TRUE(objects.empty());
  EXPECT_TRUE(files.empty());
  EXPECT_EQ(counter, 0u);
}

TEST(DataPageLoop, OneParsedPageServesEveryReader) {
  // The loader reads sysindexes pages with two readers; a page parsed once
  // gives each reader every row, however often it is read.
  auto page = Page(2, {SysIndexesRow{.objectId = 200}.Build(), OfType(kRecordTextFragment)});
  for (int pass = 0; pass < 2; ++pass) {
    std::map<int32_t, LegacyIndexRoot> roots;
    page->ReadLegacyIndexRoots(roots);
    EXPECT_TRUE(roots.count(200)) << pass;
    std::vector<RowsetRow> rows;
    page->ReadRowsetRows(rows);
    EXPECT_EQ(rows.size(), 1u) << "the text fragment is no row; pass " << pass;
  }
}

TEST(ObjectRows, DecodesAndPrefixesTheSchema) {
  const std::vector<ClassObjectRow> schemas = {{.id = 5, .name = "hidden", .status = 1},
                                               {.id = 1, .name = "dbo", .status = 0},
                                               {.id = 1, .name = "x", .status = 0}};
  auto page = Page(34, {
                           SysSchObjsRow{.id = 101, .name = "Orders"}.Build(),
                           SysSchObjsRow{.id = 102, .name = "PK_Orders", .type = "PK", .parentId = 101}.Build(),
                           SysSchObjsRow{.id = 103, .name = "Secret", .schemaId = 5}.Build(),
                           SysSchObjsRow{.id = 104, .name = "Loose", .schemaId = 9, .type = "U"}.Build(),
                       });
  std::vector<ObjectRow> rows;
  uint64_t counter = 0;
  page->ReadObjectRows(rows, schemas, false, counter);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].name, "dbo.Orders");
  EXPECT_EQ(rows[0].typeCode, "U ");
  EXPECT_EQ(rows[0].objectId, 101);
  EXPECT_EQ(rows[0].schemaId, 1);
  EXPECT_EQ(rows[0].parentClass, 1);
  EXPECT_EQ(rows[1].typeCode, "PK");
  EXPECT_EQ(rows[1].parentId, 101);
  EXPECT_EQ(rows[2].name, "Secret") << "a schema row with a non-zero status gives no prefix";
  EXPECT_EQ(rows[3].name, "Loose");
  EXPECT_EQ(rows[3].typeCode, "U") << "a zero byte ends the type code";
  EXPECT_EQ(counter, 0u);
}

TEST(ObjectRows, DropsRowsWithoutAPositiveIdAndNamesTheNameless) {
  const Bytes fixed = SysSchObjsRow{.id = 300}.Fixed();
  auto page = Page(34, {
                           SysSchObjsRow{.id = 0, .name = "Zero"}.Build(),
                           SysSchObjsRow{.id = -7, .name = "Negative"}.Build(),
                           SysSchObjsRow{.id = 301}.Build(),                       // no variable column
                           RecordBuilder().Fixed(fixed).Var(Bytes()).Build(),      // absent buffer
                           RecordBuilder().Fixed(fixed).Var(Bytes{0, 0}).Build(),  // empty text
                           Short(19),
                       });
  std::vector<ObjectRow> rows;
  uint64_t counter = 0;
  page->ReadObjectRows(rows, {{.id = 1, .name = "dbo", .status = 0}}, false, counter);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].name, "dbo.Repairname0");
  EXPECT_EQ(rows[1].name, "dbo.Repairname1");
  EXPECT_EQ(rows[2].name, "dbo.RepairColumn2");
  EXPECT_EQ(counter, 3u);
}

TEST(ObjectRows, FieldsBeyondTheFixedPartKeepTheirInitialValues) {
  // 22 bytes: intProp (20..23) is only partly present.
  auto page = Page(34, {Cut(SysSchObjsRow{.id = 5, .intProp = 77}.Fixed(), 22)});
  std::vector<ObjectRow> rows;
  uint64_t counter = 0;
  page->ReadObjectRows(rows, {}, false, counter);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].intProp, -1);
  EXPECT_EQ(rows[0].parentClass, 1);
  EXPECT_EQ(rows[0].name, "dbo.Repairname0") << "schema 1 is dbo in every database";
}

TEST_F(CatalogPageTest, ObjectRowsOfThe2000Layout) {
  sql2000 = true;
  const Bytes full = SysObjectsRow{.id = 77, .type = "PK", .parentId = 55}.Fixed();
  PageBuilder page(2);
  page.ObjectId(1);
  page.AddRecord(SysObjectsRow{.id = 55, .name = "Orders"}.Build());
  page.AddRecord(RecordBuilder().Fixed(full).Var(Utf16("PK_Orders")).Build());
  // 26 bytes: the parent id at 24 is cut, so it stays unset.
  page.AddRecord(RecordBuilder().Fixed(Bytes(full.begin(), full.begin() + 26)).Var(Utf16("Cut")).Build());
  auto read = Read(page);
  ASSERT_TRUE(read);
  std::vector<ObjectRow> rows;
  uint64_t counter = 0;
  read->ReadObjectRows(rows, {{.id = 1, .name = "dbo", .status = 0}}, sql2000, counter);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].name, "Orders") << "sysobjects' uid is not a schema id";
  EXPECT_EQ(rows[0].typeCode, "U ");
  EXPECT_EQ(rows[1].typeCode, "PK");
  EXPECT_EQ(rows[1].parentId, 55);
  EXPECT_EQ(rows[2].parentId, -1);
}

TEST_F(CatalogPageTest, GhostRowsAreReadWithShowDeleted) {
  PageBuilder page(2);
  page.ObjectId(34);
  page.AddRecord(SysSchObjsRow{.id = 101, .name = "Live"}.Build());
  page.AddRecord(
      RecordBuilder().Type(kRecordGhostData).Fixed(SysSchObjsRow{.id = 102}.Fixed()).Var(Utf16("Gone")).Build());
  page.GhostCount(1);
  for (bool show : {false, true}) {
    showDeleted = show;
    auto read = Read(page);
    ASSERT_TRUE(read);
    std::vector<ObjectRow> rows;
    uint64_t counter = 0;
    read->ReadObjectRows(rows, {}, false, counter);
    ASSERT_EQ(rows.size(), show ? 2u : 1u) << show;
    if (show) {
      EXPECT_EQ(rows[1].name, "dbo.Gone");
    }
  }
}

TEST(ColumnRows, NamesAndIdentityTexts) {
  auto identityColumn = [](int32_t status, std::optional<Bytes> identity) {
    return SysColParsRow{.objectId = 9, .name = "Id", .status = status, .identity = std::move(identity)}.Build();
  };
  const Bytes int13 = Concat({LE32(0x2B45), LE32(1), LE32(1), Bytes{0x82}});  // as SQL Server stores it
  auto page = Page(41, {
                           identityColumn(5, int13),
                           identityColumn(4, int13),
                           identityColumn(5, std::nullopt),
                           SysColParsRow{.objectId = 9, .columnId = 2}.Build(),
                           RecordBuilder().Fixed(SysColParsRow{}.Fixed()).Var(Bytes{0, 0}).Build(),
                           Cut(SysColParsRow{.objectId = 9, .checkObjectId = 5}.Fixed(), 39),
                       });
  std::vector<ColumnRow> rows;
  uint64_t counter = 4;
  page->ReadColumnRows(rows, counter);
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0].identityText, "identity(1,1)");
  EXPECT_EQ(rows[1].identityText, "") << "status 4 alone";
  EXPECT_EQ(rows[2].identityText, "") << "a single variable column";
  EXPECT_EQ(rows[3].name, "RepairColumn4");
  EXPECT_EQ(rows[3].columnId, 2);
  EXPECT_EQ(rows[4].name, "RepairColumn5");
  EXPECT_EQ(rows[5].name, "RepairColumn6");
  EXPECT_EQ(rows[5].objectId, 9);
  EXPECT_EQ(rows[5].checkObjectId, -1) << "only partly present";
  EXPECT_EQ(counter, 7u);
}

TEST(ColumnRows, IdentityBufferLayouts) {
  struct Case {
    const char* what;
    Bytes buffer;
    const char* text;
  } cases[] = {
      {"smallint, 8 bytes", Concat({LE16(0), LE16(1), LE16(1), LE16(0)}), "identity(1,1)"},
      {"smallint, negative seed", Concat({LE16(0), LE16(0xFFF6), LE16(2), Bytes{1}}), "identity(-10,2)"},
      {"int, increment 0", Concat({LE32(9), LE32(100), LE32(0)}), "identity(100,1)"},
      {"int, negative seed", Concat({LE32(0), LE32(static_cast<uint32_t>(-2147483647 - 1)), LE32(1), Bytes{1}}),
       "identity(-2147483648,1)"},
      {"bigint, 24 bytes", Concat({LE64(63), LE64(1000), LE64(5)}), "identity(1000,5)"},
      {"bigint, no value yet", Concat({LE64(0), LE64(1), LE64(1), Bytes{0}}), "identity(1,1)"},
      {"bigint, negative seed", Concat({LE64(3), LE64(static_cast<uint64_t>(-5)), LE64(1), Bytes{1}}),
       "identity(-5,1)"},
      {"24 bytes, not a bigint", Concat({LE32(0), LE32(7), LE32(3), Bytes(12, 0)}), "identity(7,3)"},
      {"tinyint", Bytes{4, 5, 5, 1}, "identity(5,5)"},
      {"too short", Bytes{1, 2, 3}, "identity(1,1)"},
      {"absent", Bytes(), "identity(1,1)"},
  };
  for (const Case& c : cases) EXPECT_EQ(IdentityText(c.buffer), c.text) << c.what;
}

TEST(LegacyColumnRows, CopiesFieldsAndTheCollationOfNewerRows) {
  auto page =
      Page(3, {
                  SysColumnsRow{.objectId = 50, .name = "au_id", .columnId = 1, .collationId = 0x3400d008}.Build(),
                  SysColumnsRow{.objectId = 50, .name = "old", .collationId = 7, .columnCount = 20}.Build(),
                  SysColumnsRow{.objectId = 50}.Build(),
                  NoFixed(),
                  OfType(kRecordIndex),
              });
  std::vector<LegacyColumnRow> rows;
  uint64_t counter = 0;
  page->ReadLegacyColumnRows(rows, counter);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].name, "au_id");
  EXPECT_EQ(rows[0].objectId, 50);
  EXPECT_EQ(rows[0].systemTypeId, 56);
  EXPECT_EQ(rows[0].columnOrder, 1);
  EXPECT_EQ(rows[0].collationId, 0x3400d008);
  EXPECT_EQ(rows[0].status, 255) << "42-byte rows end before the status";
  EXPECT_EQ(rows[1].collationId, -1) << "20 columns or fewer: no collation";
  EXPECT_EQ(rows[2].name, "RepairColumn0");
  EXPECT_EQ(rows[3].objectId, -1);
  EXPECT_EQ(rows[3].userTypeId, -1);
  EXPECT_EQ(rows[3].name, "");
}

TEST(LegacyIndexRoots, KeepsTheLastClusteredIndexOfEachObject) {
  auto page =
      Page(2, {
                  SysIndexesRow{.objectId = 200, .firstPage = {1, 80}, .indexId = 1}.Build(),
                  SysIndexesRow{.objectId = 201, .firstPage = {1, 90}, .indexId = 0}.Build(),
                  SysIndexesRow{.objectId = 202, .firstPage = {1, 91}, .indexId = 2}.Build(),
                  SysIndexesRow{.objectId = 200, .firstPage = {1, 81}, .indexId = 1, .firstIamPage = {1, 82}}.Build(),
                  SysIndexesRow{.objectId = 203, .firstPage = {3, 12}, .indexId = 1}.Build(),
                  Cut(SysIndexesRow{.objectId = 204, .firstIamPage = {1, 5}}.Fixed(), 66),
                  Short(63),
              });
  page->header->thisPage.fileId = 1;
  std::map<int32_t, LegacyIndexRoot> roots;
  page->ReadLegacyIndexRoots(roots);
  ASSERT_EQ(roots.size(), 3u);
  EXPECT_EQ(roots[200].firstPage, 81);
  EXPECT_EQ(roots[200].firstIamPage, 82);
  EXPECT_EQ(roots[200].fileId, 1);
  EXPECT_EQ(roots[203].fileId, 3) << "the first page's own file";
  EXPECT_EQ(roots[204].fileId, 1) << "no first page: the catalog page's file";
  EXPECT_EQ(roots[204].firstIamPage, 0) << "only partly present";
}

TEST(FileRows, TrimsPaddingAndNeedsTheWholeField) {
  const Bytes full =
      SysFiles1Row{.fileId = 2, .logicalName = "Sales_2", .physicalName = "D:\\old\\Sales_2.ndf"}.Fixed();
  auto page = Page(
      8,
      {
          SysFiles1Row{.status = 2, .fileId = 1, .logicalName = "Sales", .physicalName = "D:\\old\\Sales.mdf"}.Build(),
          Cut(full, 600),
          Short(519),
          SysFiles1Row{.fileId = -1}.Build(),
      });
  std::vector<DataFileInfo> files;
  page->ReadFileRows(files);
  ASSERT_EQ(files.size(), 4u);
  EXPECT_EQ(files[0].status, 2);
  EXPECT_EQ(files[0].logicalName, "Sales");
  EXPECT_EQ(files[0].physicalName, "D:\\old\\Sales.mdf");
  EXPECT_EQ(files[1].fileId, 2);
  EXPECT_EQ(files[1].logicalName, "Sales_2");
  EXPECT_EQ(files[1].physicalName, "") << "the path is cut";
  EXPECT_EQ(files[2].fileId, 0) << "too short: appended undecoded";
  EXPECT_EQ(files[3].fileId, -1);
}

TEST(OtherReaders, CopyTheirFields) {
  std::vector<ClassObjectRow> classes;
  Page(64, {SysClsObjsRow{.id = 4, .name = "sys"}.Build(), Short(9)})->ReadClassObjectRows(classes);
  ASSERT_EQ(classes.size(), 2u);
  EXPECT_EQ(classes[0].id, 4);
  EXPECT_EQ(classes[0].name, "sys");
  EXPECT_EQ(classes[0].status, 0);
  EXPECT_EQ(classes[1].id, std::numeric_limits<int32_t>::min()) << "matches no schema";
  EXPECT_NE(classes[1].status, 0);

  std::vector<AllocUnitRow> units;
  const SysAllocUnitsRow unit{.allocUnitId = 1LL << 56,
                              .type = 2,
                              .ownerId = 3LL << 48,
                              .status = 4,
                              .fileGroupId = 1,
                              .firstPage = {1, 40},
                              .rootPage = {2, 41},
                              .firstIamPage = {1, 42}};
  Page(7, {unit.Build(), Cut(unit.Fixed(), 39)})->ReadAllocUnitRows(units);
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].allocUnitId, 1LL << 56);
  EXPECT_EQ(units[0].ownerId, 3LL << 48);
  EXPECT_EQ(units[0].rootPage, (PageRef{2, 41}));
  EXPECT_EQ(units[0].firstIamPage, (PageRef{1, 42}));
  EXPECT_EQ(units[1].rootPage, (PageRef{2, 41}));
  EXPECT_EQ(units[1].firstIamPage, (PageRef{0, 0})) << "only partly present";

  std::vector<RowsetRow> rowsets;
  const SysRowsetsRow rowset{.rowsetId = 99, .objectId = 5, .indexId = 1, .rowCount = 830};
  Page(5, {rowset.Build(), Cut(rowset.Fixed(), 27), Short(26)})->ReadRowsetRows(rowsets);
  ASSERT_EQ(rowsets.size(), 3u);
  EXPECT_EQ(rowsets[0].rowCount, 830);
  EXPECT_EQ(rowsets[1].objectId, 5);
  EXPECT_EQ(rowsets[1].rowCount, -1);
  EXPECT_EQ(rowsets[2].objectId, -1);

  std::vector<TypeRow> types;
  Page(50, {SysScalarTypesRow{.typeId = 257, .name = "Phone", .systemTypeId = 167, .length = 24}.Build(),
            RecordBuilder().Fixed(Bytes(10, 0)).Var(Utf16("Short")).Build(), NoFixed()})
      ->ReadTypeRows(types);
  ASSERT_EQ(types.size(), 2u);
  EXPECT_EQ(types[0].typeId, 257);
  EXPECT_EQ(types[0].length, 24);
  EXPECT_EQ(types[1].name, "Short") << "the name is taken from a row too short to decode";
  EXPECT_EQ(types[1].typeId, -1);

  std::vector<IndexRow> indexes;
  Page(54, {SysIdxStatsRow{.objectId = 5, .indexId = 2, .name = "IX", .rowsetId = 77}.Build(),
            RecordBuilder().Fixed(Bytes(26, 0)).Var(Utf16("Cut")).Build()})
      ->ReadIndexRows(indexes);
  ASSERT_EQ(indexes.size(), 2u);
  EXPECT_EQ(indexes[0].name, "IX");
  EXPECT_EQ(indexes[0].rowsetId, 77);
  EXPECT_EQ(indexes[1].name, "Cut");
  EXPECT_EQ(indexes[1].objectId, -1);

  std::vector<RowsetColumnRow> rsColumns;
  const SysRsColsRow rsColumn{.rowsetId = 99, .columnId = 3, .offset = 0x10008, .bitPosition = 2};
  Page(3, {rsColumn.Build(), Cut(rsColumn.Fixed(), 48)})->ReadRowsetColumnRows(rsColumns);
  ASSERT_EQ(rsColumns.size(), 2u);
  EXPECT_EQ(rsColumns[0].offset, 0x10008);
  EXPECT_EQ(rsColumns[0].bitPosition, 2);
  EXPECT_EQ(rsColumns[1].columnId, 3);
  EXPECT_EQ(rsColumns[1].bitPosition, -1);

  std::vector<IndexColumnRow> indexColumns;
  const SysIsColsRow indexColumn{.objectId = 5, .columnId = 2, .keyOrdinal = 1, .partitionOrdinal = 3};
  Page(55, {indexColumn.Build(), Cut(indexColumn.Fixed(), 21)})->ReadIndexColumnRows(indexColumns);
  ASSERT_EQ(indexColumns.size(), 2u);
  EXPECT_EQ(indexColumns[0].partitionOrdinal, 3);
  EXPECT_EQ(indexColumns[1].keyOrdinal, 1);
  EXPECT_EQ(indexColumns[1].partitionOrdinal, 255);
  EXPECT_EQ(indexColumns[1].indexStatus, 0);

  std::vector<HobtColumnRow> hobtColumns;
  const SysHobtColumnsRow hobtColumn{.hobtId = 88, .hobtColumnId = 2, .leafOffset = 8, .nullBit = 2};
  Page(13, {hobtColumn.Build(), Cut(hobtColumn.Fixed(), 30)})->ReadHobtColumnRows(hobtColumns);
  ASSERT_EQ(hobtColumns.size(), 2u);
  EXPECT_EQ(hobtColumns[0].leafOffset, 8);
  EXPECT_EQ(hobtColumns[0].nullBit, 2);
  EXPECT_EQ(hobtColumns[0].mappedColumnId, -1);
  EXPECT_EQ(hobtColumns[1].leafOffset, 8);
  EXPECT_EQ(hobtColumns[1].nullBit, 0);

  std::vector<RowsetColumnMapRow> map;
  Page(4, {SysRowsetColumnsRow{.rowsetId = 88, .rowsetColumnId = 3, .hobtColumnId = 2}.Build()})
      ->ReadRowsetColumnMapRows(map);
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(map[0].hobtColumnId, 2);

  std::vector<ObjectRefRow> refs;
  Page(74, {SysSingleObjRefsRow{.refClass = 1, .dependentId = 5, .independentId = 6, .status = 2}.Build(), Short(7, 0)})
      ->ReadObjectRefRows(refs);
  ASSERT_EQ(refs.size(), 2u);
  EXPECT_EQ(refs[0].independentId, 6);
  EXPECT_EQ(refs[0].status, 2);
  EXPECT_EQ(refs[1].dependentId, 0);
  EXPECT_EQ(refs[1].dependentSubId, -1);
}

TEST(DataPageReaders, RandomPagesNeverCrash) {
  std::mt19937 rng(21);
  for (int round = 0; round < 200; ++round) {
    Bytes bytes(kPageSize);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    bytes[1] = 1;                                                                     // data page
    StoreLE16(&bytes[22], static_cast<uint16_t>(rng() % 40));                         // slot count
    for (size_t at : {8u, 12u, 16u, 20u, 28u, 32u, 36u, 58u}) bytes[at + 1] &= 0x7F;  // sound header signs
    auto page = [&] { return std::make_unique<CDataPage>(bytes, nullptr); };
    uint64_t counter = 0;
    std::vector<DataFileInfo> files;
    std::vector<ClassObjectRow> classes;
    std::vector<ObjectRow> objects;
    std::vector<ColumnRow> columns;
    std::vector<LegacyColumnRow> legacyColumns;
    std::map<int32_t, LegacyIndexRoot> roots;
    std::vector<AllocUnitRow> units;
    std::vector<TypeRow> types;
    std::vector<IndexRow> indexes;
    std::vector<HobtColumnRow> hobtColumns;
    page()->ReadFileRows(files);
    page()->ReadClassObjectRows(classes);
    page()->ReadObjectRows(objects, classes, false, counter);
    page()->ReadColumnRows(columns, counter);
    page()->ReadLegacyColumnRows(legacyColumns, counter);
    page()->ReadLegacyIndexRoots(roots);
    page()->ReadAllocUnitRows(units);
    page()->ReadTypeRows(types);
    page()->ReadIndexRows(indexes);
    page()->ReadHobtColumnRows(hobtColumns);
    for (const ObjectRow& row : objects) EXPECT_FALSE(row.name.empty());
  }
}

TEST(DataPageReaders, PageZeroIsReadOnlyForTheCatalog) {
  DatabaseImage image(4);
  image.Page(0).ObjectId(0).PageType(15);
  image.Page(2).ObjectId(34);
  TestDatabase database(image);
  ASSERT_TRUE(database.Open());
  CDatabaseFile& db = database.db();
  EXPECT_TRUE(db.ReadDataPage({1, 0}));
  EXPECT_FALSE(db.ReadTableDataPage({1, 0}));
  auto page = db.ReadTableDataPage({1, 2});
  ASSERT_TRUE(page);
  EXPECT_EQ(page->header->objectId, 34u);
  EXPECT_FALSE(db.ReadDataPage({1, 4}));
  EXPECT_FALSE(db.ReadDataPage({1, -1}));
  EXPECT_FALSE(db.ReadDataPage({2, 1}));
}

// --- the real files --------------------------------------------------------

// Reads every page the map files under `objectId` with `read`.
template <typename Fn>
void ForEachCatalogPage(CDatabaseFile& db, uint32_t objectId, Fn read) {
  auto it = db.systemPageMap.find(objectId);
  if (it == db.systemPageMap.end()) return;
  for (const PageMapEntry& entry : it->second) {
    if (auto bytes = db.ReadPageBytes(entry.ToPageRef(), true)) {
      CDataPage page(std::move(*bytes), &db);
      read(page);
    }
  }
}

struct Opened {
  std::unique_ptr<CDatabaseFile> db;
  explicit Opened(const std::string& path) : db(OpenMappedFile(path)) {}
};

bool HasObject(const std::vector<ObjectRow>& rows, const std::string& name, const std::string& type) {
  for (const ObjectRow& row : rows)
    if (row.name == name && row.typeCode == type) return true;
  return false;
}

TEST(RealFiles, CatalogObjectsOfTheNewerLayout) {
  const std::string dir = TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "no test data";
  const std::pair<const char*, const char*> files[] = {
      {"aspnetdb-sql2005-tractis.mdf", "dbo.aspnet_Users"},
      {"aspnetdb-sql2008-webshopinholland.mdf", "dbo.Events"},
      {"contosouniversity-ef-sql2012.mdf", "dbo.Person"},
      {"empty-sql2005-database1.mdf", nullptr},
      {"mvcmusicstore-sql2012.mdf", "dbo.Albums"},
      {"myshop-heap-sql2016-kancheng.mdf", "dbo.Books"},
      {"newsengine-sql2008-irinabutaru.mdf", "dbo.news"},
      {"northwind-sql2005-renthouse.mdf", "dbo.Orders"},
      {"northwind-sql2008r2-sankaranarayanan.mdf", "dbo.Orders"},
      {"phonebook-sql2012-unn.mdf", "dbo.Guschin_abonent"},
      {"pubs-sql2005-anhnbt.mdf", "dbo.authors"},
      {"pubs-sql2008-itsligo.mdf", "dbo.authors"},
      {"school-sql2016-kancheng.mdf", "dbo.Students"},
  };
  for (const auto& [file, table] : files) {
    Opened o(dir + "/" + file);
    ASSERT_TRUE(o.db) << file;
    std::vector<ClassObjectRow> classes;
    ForEachCatalogPage(*o.db, 64, [&](CDataPage& page) { page.ReadClassObjectRows(classes); });
    std::vector<ObjectRow> objects;
    uint64_t counter = 0;
    ForEachCatalogPage(*o.db, 34, [&](CDataPage& page) { page.ReadObjectRows(objects, classes, false, counter); });
    EXPECT_TRUE(HasObject(objects, "sys.sysschobjs", "S ")) << file;
    if (table) {
      EXPECT_TRUE(HasObject(objects, table, "U ")) << file << " " << table;
    }
    for (const ObjectRow& row : objects) EXPECT_GT(row.objectId, 0) << file;
    EXPECT_EQ(counter, 0u) << file << ": every object has a name";

    std::vector<DataFileInfo> dataFiles;
    ForEachCatalogPage(*o.db, 8, [&](CDataPage& page) { page.ReadFileRows(dataFiles); });
    ASSERT_FALSE(dataFiles.empty()) << file;
    EXPECT_EQ(dataFiles[0].fileId, 1) << file;
    EXPECT_FALSE(dataFiles[0].physicalName.empty()) << file;
    EXPECT_NE(dataFiles[0].physicalName.back(), ' ') << file;
  }
}

TEST(RealFiles, IdentityColumnsOfNorthwind) {
  const std::string dir = TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "no test data";
  Opened o(dir + "/northwind-sql2008r2-sankaranarayanan.mdf");
  ASSERT_TRUE(o.db);
  std::vector<ObjectRow> objects;
  std::vector<ColumnRow> columns;
  uint64_t counter = 0;
  ForEachCatalogPage(*o.db, 34, [&](CDataPage& page) { page.ReadObjectRows(objects, {}, false, counter); });
  ForEachCatalogPage(*o.db, 41, [&](CDataPage& page) { page.ReadColumnRows(columns, counter); });
  int32_t orders = 0;
  for (const ObjectRow& row : objects)
    if (row.baseName == "Orders") orders = row.objectId;
  ASSERT_NE(orders, 0);
  int found = 0;
  for (const ColumnRow& column : columns) {
    if (column.objectId != orders) continue;
    ++found;
    EXPECT_EQ(column.identityText, column.name == "OrderID" ? "identity(1,1)" : "") << column.name;
  }
  EXPECT_EQ(found, 14);
}

TEST(RealFiles, CatalogOfThe2000Layout) {
  const std::string dir = TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "no test data";
  const std::pair<const char*, const char*> files[] = {{"northwind-sql2000.mdf", "Orders"},
                                                       {"pubs-sql2000.mdf", "authors"}};
  for (const auto& [file, table] : files) {
    Opened o(dir + "/" + file);
    ASSERT_TRUE(o.db) << file;
    std::vector<ObjectRow> objects;
    uint64_t counter = 0;
    ForEachCatalogPage(*o.db, 1, [&](CDataPage& page) { page.ReadObjectRows(objects, {}, true, counter); });
    ASSERT_TRUE(HasObject(objects, table, "U ")) << file;
    EXPECT_TRUE(HasObject(objects, "sysobjects", "S ")) << file;
    int32_t tableId = 0;
    for (const ObjectRow& row : objects)
      if (row.name == table) tableId = row.objectId;

    // Torn-page protected pages: names come out whole.
    std::vector<LegacyColumnRow> columns;
    ForEachCatalogPage(*o.db, 3, [&](CDataPage& page) { page.ReadLegacyColumnRows(columns, counter); });
    int tableColumns = 0;
    for (const LegacyColumnRow& column : columns) tableColumns += column.objectId == tableId;
    EXPECT_EQ(tableColumns, std::string(file) == "pubs-sql2000.mdf" ? 9 : 14) << file;
    EXPECT_EQ(counter, 0u) << file;

    std::map<int32_t, LegacyIndexRoot> roots;
    ForEachCatalogPage(*o.db, 2, [&](CDataPage& page) { page.ReadLegacyIndexRoots(roots); });
    ASSERT_TRUE(roots.count(tableId)) << file;
    EXPECT_EQ(roots[tableId].fileId, 1) << file;
    EXPECT_GT(roots[tableId].firstPage, 0) << file;
  }
}

}  // namespace
}  // namespace ravelin
