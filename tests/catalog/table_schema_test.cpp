// Preparing a table: rowset and allocation unit choice, data pages, column
// selection, descriptors, physical layout and keys.

#include <gtest/gtest.h>

#include "catalog_fixture.h"

namespace ravelin {
namespace {

using TableSchema = CatalogTest;
INSTANTIATE_TEST_SUITE_P(IndexedAndWalked, TableSchema, ::testing::Bool());

using Pages = std::vector<int32_t>;

TEST_P(TableSchema, RowsetOfHeapsClusteredAndNonclusteredTables) {
  AddRowset(11, 1, 2);
  AddRowset(10, 1, 0);  // heap
  AddRowset(21, 2, 1);  // clustered
  AddRowset(22, 2, 2);
  AddRowset(31, 3, 2);
  AddRowset(32, 3, 3);  // only nonclustered: the last one found
  EXPECT_EQ(catalog.SelectTableRowset(1).rowsetId, 10);
  EXPECT_EQ(catalog.SelectTableRowset(2).rowsetId, 21);
  EXPECT_EQ(catalog.SelectTableRowset(3).rowsetId, 32);
  EXPECT_EQ(catalog.currentRowset.rowsetId, 32);
  EXPECT_FALSE(catalog.derivedStorage);

  // Without rowset rows the index rows name the rowset: the clustered
  // index's, never a nonclustered one's.
  IndexRow index;
  index.objectId = 4;
  index.indexId = 1;
  index.rowsetId = 44;
  index.status = 7;
  IndexRow nonclustered = index;
  nonclustered.indexId = 2;
  nonclustered.rowsetId = 45;
  catalog.indexes.push_back(nonclustered);
  catalog.indexes.push_back(index);
  RowsetRow derived = catalog.SelectTableRowset(4);
  EXPECT_EQ(derived.rowsetId, 44);
  EXPECT_EQ(derived.status, 7);
  EXPECT_TRUE(catalog.derivedStorage);
}

TEST_P(TableSchema, AllocationUnitAndItsLastDataPage) {
  AddUnit(UserUnit(500), 7, 2);  // LOB unit: never the in-row one
  AddUnit(UserUnit(501), 7, 1);
  AddUnit(UserUnit(502), 7, 1);  // the last in-row unit wins
  AddDataPages(502, {40, 41});
  AllocUnitRow unit = catalog.SelectAllocUnit(7);
  EXPECT_EQ(unit.allocUnitId, UserUnit(502));
  EXPECT_EQ(unit.firstPage.pageNo, 41);

  // No unit, a rowset numbered from its object id: the rowset id stands
  // for the unit, and its pages are found under its key.
  const int64_t rowset = int64_t{600} << 16;
  AddDataPages(600, {60, 61});
  iamPages[600].push_back({1, 59, 10});
  unit = catalog.SelectAllocUnit(rowset);
  EXPECT_EQ(unit.allocUnitId, rowset);
  EXPECT_EQ(unit.ownerId, rowset);
  EXPECT_EQ(unit.firstPage.pageNo, 61);
  EXPECT_EQ(unit.firstIamPage.pageNo, 59);
  EXPECT_TRUE(catalog.derivedStorage);

  // A rowset of a later version's table, whose units are numbered apart:
  // the unit with its id belongs to another structure, whose pages are
  // not the table's.
  catalog.derivedStorage = false;
  AddDataPages(700, {70});
  unit = catalog.SelectAllocUnit(UserUnit(700));
  EXPECT_EQ(unit.firstPage.pageNo, 0);
  EXPECT_FALSE(catalog.derivedStorage);
}

TEST_P(TableSchema, DataPagesThroughUnitsAndTheirFallbacks) {
  AddObject(1, "Units", "U ");
  AddRowset(10, 1, 1);
  AddRowset(11, 1, 2);
  AddUnit(UserUnit(300), 10);
  AddUnit(UserUnit(300), 11);  // a second unit with the same key lists nothing twice
  AddUnit(UserUnit(301), 10, 3);
  AddDataPages(300, {5, 6});
  AddDataPages(301, {7});
  Prepare("Units");
  EXPECT_EQ(PageNumbers(catalog.tablePages), (Pages{5, 6, 7}));
  EXPECT_EQ(catalog.tableAllocUnits.size(), 3u);

  // Neither rowset nor unit: pages filed under the object id itself, as an
  // upgraded 2000 table's are.
  AddObject(2000, "Upgraded", "U ");
  AddDataPages(2000, {9, 8});
  Prepare("Upgraded");
  EXPECT_EQ(PageNumbers(catalog.tablePages), (Pages{9, 8}));
}

TEST_P(TableSchema, UserPagesAndSystemPagesUnderOneSmallKey) {
  // A user unit whose pages carry object id 34, as sysschobjs' do.
  AddObject(1, "dbo.T", "U ");
  AddObject(34, "sys.sysschobjs", "S ");
  AddRowset(10, 1, 0);
  AddUnit(UserUnit(34), 10);
  AddRowset(20, 34, 1);
  AddRowset(21, 34, 2);
  AddUnit((int64_t{1} << 48) | (int64_t{34} << 16), 20);
  AddUnit((int64_t{2} << 48) | (int64_t{34} << 16), 21);
  AddDataPages(34, {3, 4}, true);
  AddDataPages(34, {90});
  Prepare("dbo.T");
  EXPECT_EQ(PageNumbers(catalog.tablePages), (Pages{90}));
  EXPECT_EQ(catalog.currentAllocUnit.firstPage.pageNo, 90);
  Prepare("sys.sysschobjs", "S ");
  EXPECT_EQ(PageNumbers(catalog.tablePages), (Pages{3, 4}));
}

TEST_P(TableSchema, ColumnSelectionMasksIdsAndDropsRepeats) {
  AddObject(5, "T", "U ");
  AddColumn(0x01000005, 2, "b");
  AddColumn(5, 1, "a");
  AddColumn(5, 2, "b again");  // read twice (pages under 41 and 2187)
  AddColumn(5, 1, "numbered repeat").number = 1;
  AddColumn(5, 3, "damaged number").number = 255;  // a table's columns are all number 0
  AddColumn(6, 1, "other");
  auto d = Prepare("T");
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].name, "a");
  EXPECT_EQ(d[1].name, "b");  // sorted by column id, the first row of id 2 kept
  EXPECT_EQ(d[2].name, "damaged number");
}

TEST_P(TableSchema, TypeTextsCodesAndLengths) {
  AddObject(1, "T", "U ");
  AddType(231, "nvarchar");
  AddType(167, "varchar");
  AddType(257, "tid", 1);  // an alias type of varchar
  AddType(256, "sysname");
  AddColumn(1, 1, "nv", 231, 100);
  AddColumn(1, 2, "v", 167, 50);
  AddColumn(1, 3, "alias", 167, 6).userTypeId = 257;
  AddColumn(1, 4, "name", 231, 256).userTypeId = 256;
  AddColumn(1, 5, "h", 240, 892).userTypeId = 128;
  AddColumn(1, 6, "g", 240, -1).userTypeId = 129;
  AddColumn(1, 7, "odd", 232, 10);
  AddColumn(1, 8, "unknown", 200, 3);
  AddColumn(1, 9, "none", 0, 4);
  AddColumn(1, 10, "img", 34, 16);
  AddColumn(1, 11, "x", 241, -1);
  auto d = Prepare("T");
  ASSERT_EQ(d.size(), 10u);
  EXPECT_EQ(d[0].typeText, "nvarchar(100)");
  EXPECT_EQ(d[0].length, 100);
  EXPECT_EQ(d[0].variableLength, 1);
  EXPECT_EQ(d[1].typeText, "varchar(50)");
  EXPECT_EQ(d[1].length, 0);
  EXPECT_EQ(d[1].typeCode, kTypeVarChar);
  EXPECT_EQ(d[2].typeText, "varchar(6)");
  EXPECT_EQ(d[3].typeText, "nvarchar(256)");
  EXPECT_EQ(d[4].typeCode, kTypeHierarchyId);
  EXPECT_EQ(d[4].typeText, "hierarchyid(892)");  // no type row: SQL Server's name
  EXPECT_EQ(d[4].length, 892);
  EXPECT_EQ(d[5].typeCode, kTypeGeometry);
  EXPECT_EQ(d[6].typeCode, kTypeNVarChar);
  EXPECT_EQ(d[6].length, 10);
  EXPECT_EQ(d[7].typeCode, kTypeChar);
  EXPECT_EQ(d[7].typeText, "(3)");
  EXPECT_EQ(d[8].typeCode, kTypeImage);
  EXPECT_EQ(d[8].variableLength, 1);
  EXPECT_EQ(d[9].typeCode, kTypeXml);
  EXPECT_EQ(d[9].length, -1);
}

TEST_P(TableSchema, StatusBitsAndThePhysicalLayout) {
  AddObject(1, "T", "U ");
  AddRowset(10, 1, 0);
  AddColumn(1, 1, "id").status = 5;
  catalog.columns.back().identityText = "identity(1,1)";
  AddColumn(1, 2, "sparse").status = 0x01000008;
  RowsetColumnRow physical;
  physical.rowsetId = 10;
  physical.rowsetColumnId = 2;
  physical.hobtColumnId = 7;
  physical.offset = 0x00120008;
  physical.nullBit = 3;
  catalog.rowsetColumns.push_back(physical);
  auto d = Prepare("T");
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].nullable, 0);
  EXPECT_EQ(d[0].identityText, "identity(1,1)");
  EXPECT_EQ(d[1].nullable, 1);
  EXPECT_EQ(d[1].statusBit24, 1);
  EXPECT_EQ(d[1].statusBit3, 1);
  EXPECT_EQ(d[1].leafOffset, 8);
  EXPECT_EQ(d[1].hobtColumnId, 7);
  EXPECT_EQ(d[1].nullBit, 3);
  EXPECT_EQ(d[1].stored, 1);

  catalog.rowsetColumns.clear();  // no physical information: all stored
  catalog.columns[1].status = 0;
  d = Prepare("T");
  EXPECT_EQ(d[0].stored, 1);
  EXPECT_EQ(d[1].leafOffset, 0);
}

TEST_P(TableSchema, Sql2005DroppedColumnsStayInPlace) {
  AddObject(1, "T", "U ");
  AddRowset(10, 1, 0);
  AddColumn(1, 1, "a");
  AddColumn(1, 3, "c");
  auto hobt = [&](int32_t id, int16_t offset) {
    HobtColumnRow row;
    row.hobtId = 10;
    row.hobtColumnId = id;
    row.leafOffset = offset;
    row.nullBit = static_cast<int16_t>(id);
    catalog.hobtColumns.push_back(row);
  };
  hobt(1, 4);
  hobt(2, 8);  // the dropped column, still in the records
  hobt(3, 12);
  RowsetColumnMapRow map;
  map.rowsetId = 10;
  map.rowsetColumnId = 3;
  map.hobtColumnId = 2;
  catalog.rowsetColumnMap.push_back(map);

  auto d = Prepare("T");
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].hobtColumnId, -1);  // no map row
  EXPECT_EQ(d[1].name, "c");
  EXPECT_EQ(d[1].hobtColumnId, 2);
  EXPECT_EQ(d[1].leafOffset, 12);
  EXPECT_EQ(d[2].columnId, 2);
  EXPECT_EQ(d[2].hobtColumnId, kDroppedColumnId);
  EXPECT_EQ(d[2].leafOffset, 8);
  EXPECT_EQ(d[2].stored, 0);
  EXPECT_EQ(catalog.firstStoredColumn, 0);
}

// Column rows lost while their physical rows stand: a column the rowset
// still maps is read with the type of its physical row under a stand-in
// name; one it no longer maps is a dropped column.
TEST_P(TableSchema, Sql2005ColumnsWithoutColumnRowsKeepTheirTypes) {
  AddObject(1, "T", "U ");
  AddRowset(10, 1, 0);
  AddColumn(1, 1, "a");
  auto hobt = [&](int32_t id, uint8_t type, int16_t length, int16_t offset, bool mapped) {
    HobtColumnRow row;
    row.hobtId = 10;
    row.hobtColumnId = id;
    row.systemTypeId = type;
    row.length = length;
    row.precision = type == 106 ? 9 : 0;
    row.scale = type == 106 ? 2 : 0;
    row.leafOffset = offset;
    row.nullBit = static_cast<int16_t>(id);
    catalog.hobtColumns.push_back(row);
    if (!mapped) return;
    RowsetColumnMapRow map;
    map.rowsetId = 10;
    map.rowsetColumnId = id;
    map.hobtColumnId = id;
    catalog.rowsetColumnMap.push_back(map);
  };
  hobt(1, 56, 4, 4, true);
  hobt(2, 106, 5, 8, true);
  hobt(3, 167, 40, -1, true);
  hobt(4, 56, 4, 13, false);  // dropped

  auto d = Prepare("T");
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[1].name, "Column2");
  EXPECT_EQ(d[1].typeCode, kTypeDecimal);
  EXPECT_EQ(d[1].precision, 9);
  EXPECT_EQ(d[1].scale, 2);
  EXPECT_EQ(d[1].leafOffset, 8);
  EXPECT_EQ(d[2].name, "Column3");
  EXPECT_EQ(d[2].typeText, "varchar(40)");
  EXPECT_EQ(d[2].leafOffset, -1);
  EXPECT_EQ(d[3].hobtColumnId, kDroppedColumnId);
  EXPECT_EQ(catalog.DescribeRecordShape(d).namesLost, (std::vector<std::string>{"Column2", "Column3"}));

  // With no column row of the table left nothing is made up.
  catalog.columns.clear();
  EXPECT_TRUE(Prepare("T").empty());
}

// SQL Server 2005: a column row whose id or system type took damage gets
// them back from the hobt column rows, as later versions' rows do from
// their physical rows.
TEST_P(TableSchema, Sql2005ColumnIdsAndTypesAreTakenFromThePhysicalRows) {
  AddObject(1, "T", "U ");
  AddRowset(10, 1, 0);
  AddColumn(1, 1, "a");
  AddColumn(1, 0x00FF0002, "b", 175, 12);  // one byte of its id inverted
  AddColumn(1, 3, "c", 52, 2).systemTypeId = 52 ^ 0xFF;
  auto hobt = [&](int32_t id, uint8_t type, int16_t length, int16_t offset) {
    HobtColumnRow row;
    row.hobtId = 10;
    row.hobtColumnId = id;
    row.systemTypeId = type;
    row.length = length;
    row.leafOffset = offset;
    row.nullBit = static_cast<int16_t>(id);
    catalog.hobtColumns.push_back(row);
  };
  hobt(1, 56, 4, 4);
  hobt(2, 175, 12, 8);
  hobt(3, 52, 2, 20);

  AddColumn(1, 4, "d", 56, 4);
  hobt(4, 56, 4, 22);
  catalog.hobtColumns.back().hobtColumnId = 4 ^ 0x20;  // a possible id no column has; the null bit keeps 4

  auto d = Prepare("T");
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[1].name, "b");
  EXPECT_EQ(d[1].columnId, 2);
  EXPECT_EQ(d[1].leafOffset, 8);
  EXPECT_EQ(d[2].name, "c");
  EXPECT_EQ(d[2].typeCode, kTypeSmallInt);
  EXPECT_EQ(d[3].name, "d");
  EXPECT_EQ(d[3].columnId, 4);
  EXPECT_EQ(d[3].leafOffset, 22);
}

// The physical rows of a table's first columns lost: the variable column
// whose index lies past the rows that remain (not past the table's
// columns) keeps its index.
TEST_P(TableSchema, Sql2005VariableIndexesSurviveLostPhysicalRows) {
  AddObject(1, "T", "U ");
  AddRowset(10, 1, 0);
  AddColumn(1, 1, "a");
  for (int32_t id = 2; id <= 4; ++id) AddColumn(1, id, std::string(1, static_cast<char>('a' + id - 1)), 231);
  auto hobt = [&](int32_t id, int16_t offset) {
    HobtColumnRow row;
    row.hobtId = 10;
    row.hobtColumnId = id;
    row.systemTypeId = 231;
    row.length = 20;
    row.leafOffset = offset;
    row.nullBit = static_cast<int16_t>(id);
    catalog.hobtColumns.push_back(row);
  };
  hobt(3, -2);
  hobt(4, -3);
  auto d = Prepare("T");
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[3].name, "d");
  EXPECT_EQ(d[3].leafOffset, -3);
}

TEST_P(TableSchema, KeyFlagsAndForeignKeys) {
  AddObject(1, "T", "U ");
  AddColumn(1, 1, "id");
  AddColumn(1, 2, "code");
  auto index = [&](int32_t indexId, int32_t status) {
    IndexRow row;
    row.objectId = 1;
    row.indexId = indexId;
    row.status = status;
    catalog.indexes.push_back(row);
  };
  auto key = [&](int32_t indexId, int32_t columnId, uint8_t ordinal) {
    IndexColumnRow row;
    row.objectId = 1;
    row.indexId = indexId;
    row.columnId = columnId;
    row.keyOrdinal = ordinal;
    catalog.indexColumns.push_back(row);
  };
  index(1, 0x29);  // primary key
  index(2, 0x49);  // unique constraint
  index(3, 0x28);  // not an index (bit 0 clear): ignored
  key(1, 1, 1);
  key(2, 2, 2);
  key(3, 2, 1);
  ForeignKeyColumn fk;
  fk.parentObjectId = 1;
  fk.parentColumnId = 2;
  fk.referencedTableName = "A";
  fk.referencedColumnName = "x";
  catalog.foreignKeyColumns.push_back(fk);
  fk.referencedTableName = "B";  // met last: supplies the reference
  catalog.foreignKeyColumns.push_back(fk);
  fk.referencedColumnName = "";  // incomplete: ignored
  catalog.foreignKeyColumns.push_back(fk);

  auto d = Prepare("T");
  EXPECT_EQ(d[0].primaryKey, 1);
  EXPECT_EQ(d[0].unique, 1);
  EXPECT_EQ(d[1].primaryKey, 0);
  EXPECT_EQ(d[1].uniqueConstraint, 1);
  EXPECT_EQ(d[1].keyOrdinal, 2);
  EXPECT_EQ(d[1].foreignKey, 1);
  EXPECT_EQ(d[1].referencedTable, "B");
  EXPECT_EQ(d[1].referencedColumn, "x");
  ASSERT_EQ(catalog.primaryKeyColumns.size(), 1u);
  EXPECT_EQ(catalog.primaryKeyColumns[0], (PrimaryKeyColumn{"T", "id", "", 1}));
  Prepare("T");  // every preparation adds its primary key columns again
  EXPECT_EQ(catalog.primaryKeyColumns.size(), 2u);
}

TEST_P(TableSchema, TablesOfThe2000Layout) {
  catalog.SetLayout(true);
  AddObject(1977058079, "Orders", "U ");
  AddDataPages(1977058079, {20, 21});
  auto legacy = [&](int16_t columnId, const std::string& name, uint8_t type, int16_t userType, uint8_t typeStatus) {
    LegacyColumnRow row;
    row.objectId = 1977058079;
    row.columnId = columnId;
    row.name = name;
    row.systemTypeId = type;
    row.userTypeId = userType;
    row.length = 11;
    row.typeStatus = typeStatus;
    row.offset = -1;
    row.fixedOffset = -2;
    row.bitPosition = 0;
    catalog.legacyColumns.push_back(row);
  };
  legacy(2, "note", 167, 167, 2);
  legacy(1, "id", 167, 257, 3);  // alias type: no type rows in this layout
  legacy(2, "note again", 167, 167, 2);

  auto d = Prepare("Orders");
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].name, "id");
  EXPECT_EQ(d[0].typeText, "varchar(11)");
  EXPECT_EQ(d[0].nullable, 0);
  EXPECT_EQ(d[1].nullable, 1);
  EXPECT_EQ(d[1].leafOffset, -1);
  EXPECT_EQ(d[1].legacyFixedOffset, -2);
  EXPECT_EQ(d[1].stored, 1);
  EXPECT_EQ(PageNumbers(catalog.tablePages), (Pages{20, 21}));
  EXPECT_TRUE(catalog.isTable);
}

}  // namespace
}  // namespace ravelin
