// Loading whole catalogs from files: the layout decision, which system
// tables are read, the joins, and preparing the tables of real files.

#include "catalog/system_catalog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "storage/database_file.h"
#include "support/catalog_image.h"
#include "support/catalog_rows.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using namespace testing;

const ColumnDescriptor* Column(const std::vector<ColumnDescriptor>& d, const std::string& name) {
  for (const ColumnDescriptor& c : d)
    if (c.name == name) return &c;
  return nullptr;
}

TEST(CatalogLoader, LoadsAndJoinsTheNewerLayout) {
  TestDatabase database(SmallCatalogImage());
  ASSERT_TRUE(database.OpenDatabase());
  SystemCatalog& catalog = database.catalog();
  EXPECT_FALSE(catalog.IsSql2000());
  EXPECT_EQ(catalog.objects.size(), 9u);
  EXPECT_EQ(catalog.objects[1].name, "dbo.Customers");
  ASSERT_EQ(catalog.columns.size(), 6u);
  EXPECT_EQ(catalog.columns.back().name, "Qty");  // from the page filed under 2187, after 41's
  EXPECT_EQ(catalog.rowsetColumns.size(), 5u);
  ASSERT_EQ(catalog.foreignKeyColumns.size(), 1u);
  const ForeignKeyColumn& fk = catalog.foreignKeyColumns[0];
  EXPECT_EQ(fk.constraintName, "dbo.FK_Orders_Customers");
  EXPECT_EQ(fk.parentTableName + "." + fk.parentColumnName, "dbo.Orders.CustomerId");
  EXPECT_EQ(fk.referencedTableName + "." + fk.referencedColumnName, "dbo.Customers.Id");

  auto customers = catalog.PrepareObject("dbo.Customers", "U ", {});
  ASSERT_EQ(customers.size(), 2u);
  EXPECT_EQ(customers[0].identityText, "identity(1,1)");
  EXPECT_EQ(customers[0].primaryKey, 1);
  EXPECT_EQ(customers[1].typeText, "nvarchar(100)");
  EXPECT_EQ(customers[1].leafOffset, -1);
  ASSERT_EQ(catalog.tablePages.size(), 1u);
  EXPECT_EQ(catalog.tablePages[0], (PageRef{1, 30}));
  ASSERT_EQ(catalog.keyConstraints.size(), 1u);
  EXPECT_TRUE(catalog.keyConstraints[0].isPrimaryKey);

  auto orders = catalog.PrepareObject("dbo.Orders", "U ", {});
  ASSERT_EQ(orders.size(), 3u);
  EXPECT_EQ(orders[1].referencedTable, "dbo.Customers");
  EXPECT_EQ(orders[2].typeText, "smallint(2)");
  EXPECT_EQ(catalog.tablePages.size(), 2u);
  EXPECT_EQ(catalog.keyConstraints.size(), 2u);

  EXPECT_EQ(catalog.PrepareObject("dbo.Empty", "U ", {}).size(), 1u);
  EXPECT_TRUE(catalog.tablePages.empty());

  // A catalog released by an error forgets everything.
  catalog.Clear();
  EXPECT_TRUE(catalog.objects.empty() && catalog.columns.empty() && catalog.foreignKeyColumns.empty());
  EXPECT_TRUE(catalog.PrepareObject("dbo.Customers", "U ", {}).empty());
}

TEST(CatalogLoader, RepairCounterRestartsForObjectsAndColumns) {
  DatabaseImage image(24);
  SystemTablePage(image, 16, 64, {SysClsObjsRow{}.Build()});
  SystemTablePage(image, 17, 34, {SysSchObjsRow{.id = 101}.Build(), SysSchObjsRow{.id = 102}.Build()});
  SystemTablePage(image, 18, 41, {SysColParsRow{.objectId = 101}.Build()});
  TestDatabase database(image);
  ASSERT_TRUE(database.OpenDatabase());
  SystemCatalog& catalog = database.catalog();
  ASSERT_EQ(catalog.objects.size(), 2u);
  EXPECT_EQ(catalog.objects[0].name, "dbo.Repairname0");
  EXPECT_EQ(catalog.objects[1].name, "dbo.Repairname1");
  ASSERT_EQ(catalog.columns.size(), 1u);
  EXPECT_EQ(catalog.columns[0].name, "RepairColumn0");
}

TEST(CatalogLoader, TablesOfThe2000Layout) {
  DatabaseImage image(32);
  SystemTablePage(image, 16, 1,
                  {SysObjectsRow{.id = 1977058079, .name = "Orders"}.Build(),
                   SysObjectsRow{.id = 2009058193, .name = "Heap"}.Build(),
                   SysObjectsRow{.id = 2041058307, .name = "PK_Orders", .type = "PK", .parentId = 1977058079}.Build()});
  SystemTablePage(image, 17, 2,
                  {SysIndexesRow{.objectId = 1977058079, .firstPage = {1, 24}}.Build(),
                   SysIndexesRow{.objectId = 2009058193, .indexId = 0}.Build(),
                   SysIndexesRow{.objectId = 2073058421, .firstPage = {1, 25}}.Build(),  // no object row
                   SysIndexesRow{.objectId = 5}.Build()});
  SystemTablePage(image, 18, 3,
                  {SysColumnsRow{.objectId = 1977058079, .name = "OrderID", .typeStatus = 1}.Build(),
                   SysColumnsRow{.objectId = 1977058079,
                                 .name = "ShipName",
                                 .systemTypeId = 231,
                                 .typeStatus = 2,
                                 .userTypeId = 231,
                                 .length = 80,
                                 .columnId = 2}
                       .Build()});
  image.Page(24).ObjectId(1977058079);
  TestDatabase database(image);
  ASSERT_TRUE(database.OpenDatabase());
  SystemCatalog& catalog = database.catalog();
  EXPECT_TRUE(catalog.IsSql2000());
  ASSERT_EQ(catalog.legacyTables.size(), 2u);  // the heap and the system object make none
  EXPECT_EQ(catalog.legacyTables[0].name, "Orders");
  ASSERT_EQ(catalog.legacyTables[0].columns.size(), 2u);
  EXPECT_EQ(catalog.legacyTables[0].columns[1].name, "ShipName");
  EXPECT_EQ(catalog.legacyTables[1].name, "");
  EXPECT_TRUE(catalog.childObjects.empty());

  auto d = catalog.PrepareObject("Orders", "U ", {});
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].typeText, "int(4)");
  EXPECT_EQ(d[0].nullable, 0);
  EXPECT_EQ(d[1].typeText, "nvarchar(80)");
  EXPECT_EQ(d[1].nullable, 1);
  EXPECT_EQ(catalog.tablePages, (std::vector<PageRef>{{1, 24}}));
  ASSERT_EQ(catalog.keyConstraints.size(), 1u);
  EXPECT_EQ(catalog.keyConstraints[0].id, 1977058079);
}

// --- Real files ------------------------------------------------------------

struct RealFile {
  std::unique_ptr<OpenedDatabase> db;
  SystemCatalog* catalog = nullptr;
  explicit RealFile(const std::string& path) : db(OpenDatabaseFile(path)) {
    if (db) catalog = db->catalog();
  }
};

std::vector<std::string> RealFiles() {
  std::vector<std::string> files;
  const std::string dir = TestDataDir();
  if (dir.empty()) return files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".mdf") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(RealCatalogs, LayoutTablesAndNoHiddenSystemObjects) {
  const auto files = RealFiles();
  if (files.empty()) GTEST_SKIP() << "no test data";
  for (const std::string& path : files) {
    RealFile f(path);
    ASSERT_TRUE(f.catalog) << path;
    const std::string name = std::filesystem::path(path).filename().string();
    const bool sql2000 = name.find("sql2000") != std::string::npos;
    EXPECT_EQ(f.catalog->IsSql2000(), sql2000) << name;
    size_t userTables = 0;
    for (const ObjectRow& o : f.catalog->objects) {
      EXPECT_GT(o.objectId, 0) << name << " " << o.name;
      userTables += o.typeCode == "U ";
    }
    // The 2012+ files hold some 2,000 system objects with negative ids.
    EXPECT_LT(f.catalog->objects.size(), 1000u) << name;
    if (name == "northwind-sql2000.mdf") {
      EXPECT_EQ(userTables, 13u);
    }
    if (name == "pubs-sql2000.mdf") {
      EXPECT_EQ(userTables, 11u);
    }
    if (name.rfind("pubs", 0) == 0) {
      // Alias types (tid, id, empid) show their system type.
      auto authors = f.catalog->PrepareObject(sql2000 ? "authors" : "dbo.authors", "U ", {});
      ASSERT_TRUE(Column(authors, "au_id")) << name;
      EXPECT_EQ(Column(authors, "au_id")->typeText, "varchar(11)") << name;
      auto employee = f.catalog->PrepareObject(sql2000 ? "employee" : "dbo.employee", "U ", {});
      ASSERT_TRUE(Column(employee, "emp_id")) << name;
      EXPECT_EQ(Column(employee, "emp_id")->typeText, "char(9)") << name;
      EXPECT_FALSE(f.catalog->tablePages.empty()) << name;
    }
  }
}

// No user table of the real files is compressed; three internal tables of
// the 2016 files are PAGE-compressed, and the 2005 rowset rows end before
// the compression level.
TEST(RealCatalogs, CompressionOfEveryRowset) {
  const auto files = RealFiles();
  if (files.empty()) GTEST_SKIP() << "no test data";
  for (const std::string& path : files) {
    const std::string name = std::filesystem::path(path).filename().string();
    if (name.find("sql2000") != std::string::npos) continue;
    RealFile f(path);
    ASSERT_TRUE(f.catalog) << name;
    std::vector<int32_t> compressed;
    for (const RowsetRow& rowset : f.catalog->rowsets) {
      if (rowset.compression == 0) continue;
      EXPECT_EQ(CompressionName(rowset.compression), "PAGE") << name << " object " << rowset.objectId;
      compressed.push_back(rowset.objectId);
    }
    std::sort(compressed.begin(), compressed.end());
    if (name.find("sql2016") != std::string::npos)
      EXPECT_EQ(compressed, (std::vector<int32_t>{35, 62, 63})) << name;
    else
      EXPECT_TRUE(compressed.empty()) << name;
  }
}

TEST(RealCatalogs, LostSysschobjsRowsComeBackFromItsIndexes) {
  const std::string dir = TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "no test data";
  const std::string path = dir + "/northwind-sql2008r2-sankaranarayanan.mdf";
  Bytes bytes = ReadFileBytes(path);
  RealFile intact(path);
  ASSERT_TRUE(intact.catalog);
  // Every data page of sysschobjs zeroed: the object rows are gone, their
  // ids and names stand in the index pages still.
  for (const PageMapEntry& entry : intact.db->file().systemPageMap.at(34))
    if (entry.pageType == kPageTypeData)
      std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(entry.pageIndex) * kPageSize, kPageSize, 0);
  TempDir tmp;
  RealFile damaged(tmp.Write("damaged.mdf", bytes));
  ASSERT_TRUE(damaged.catalog);
  EXPECT_FALSE(damaged.catalog->IsSql2000()) << "the boot page's version keeps the layout";
  for (const ObjectRow& table : intact.catalog->objects) {
    if (table.typeCode != "U ") continue;
    const ObjectRow found = damaged.catalog->FindObject(table.name, "U ");
    ASSERT_EQ(found.objectId, table.objectId) << table.name;
    EXPECT_EQ(damaged.catalog->PrepareObject(table.name, "U ", {}), intact.catalog->PrepareObject(table.name, "U ", {}))
        << table.name;
    EXPECT_EQ(damaged.catalog->tablePages, intact.catalog->tablePages) << table.name;
  }
}

// Everything a preparation produces, for comparing two ways of making it.
struct Prepared {
  std::vector<ColumnDescriptor> descriptors;
  std::vector<PageRef> pages;
  std::vector<std::string> keys;
  std::vector<int64_t> units;
  int64_t rowset = 0;
  int64_t unit = 0;
  PageRef firstPage;
  PageRef firstIamPage;
  int32_t firstStored = 0;
  bool isTable = false;
  bool derived = false;
  std::vector<PrimaryKeyColumn> addedPrimaryKeyColumns;
  size_t tableColumns = 0;
  size_t physicalColumns = 0;
  size_t indexes = 0;
  friend bool operator==(const Prepared&, const Prepared&) = default;
};

Prepared PrepareEach(SystemCatalog& c, const ObjectRow& o) {
  Prepared p;
  const size_t keysBefore = c.primaryKeyColumns.size();
  p.descriptors = c.PrepareObject(o.name, o.typeCode, {});
  p.pages = c.tablePages;
  for (const KeyConstraint& k : c.keyConstraints) p.keys.push_back(k.typeCode + k.name + std::to_string(k.id));
  for (const AllocUnitRow& u : c.tableAllocUnits) p.units.push_back(u.allocUnitId);
  p.rowset = c.currentRowset.rowsetId;
  p.unit = c.currentAllocUnit.allocUnitId;
  p.firstPage = c.currentAllocUnit.firstPage;
  p.firstIamPage = c.currentAllocUnit.firstIamPage;
  p.firstStored = c.firstStoredColumn;
  p.isTable = c.isTable;
  p.derived = c.derivedStorage;
  p.addedPrimaryKeyColumns.assign(c.primaryKeyColumns.begin() + static_cast<std::ptrdiff_t>(keysBefore),
                                  c.primaryKeyColumns.end());
  p.tableColumns = c.tableColumns.size() + c.tableLegacyColumns.size();
  p.physicalColumns = c.tableRowsetColumns.size() + c.tableHobtColumns.size() + c.tableRowsetColumnMap.size();
  p.indexes = c.tableIndexes.size();
  return p;
}

TEST(RealCatalogs, IndexedLookupsGiveWhatTheWalksGive) {
  const auto files = RealFiles();
  if (files.empty()) GTEST_SKIP() << "no test data";
  for (const std::string& path : files) {
    RealFile f(path);
    ASSERT_TRUE(f.catalog) << path;
    SystemCatalog& c = *f.catalog;
    const auto children = c.childObjects;
    const auto referencing = c.referencingChildObjects;
    const auto foreignKeys = c.foreignKeyColumns;
    c.useIndexes = false;
    c.JoinChildObjects();
    EXPECT_EQ(c.childObjects, children) << path;
    EXPECT_EQ(c.referencingChildObjects, referencing) << path;
    EXPECT_EQ(c.foreignKeyColumns, foreignKeys) << path;

    const std::vector<ObjectRow> objects = c.objects;
    size_t tables = 0;
    for (const ObjectRow& o : objects) {
      c.useIndexes = true;
      const Prepared indexed = PrepareEach(c, o);
      c.useIndexes = false;
      const Prepared walked = PrepareEach(c, o);
      EXPECT_TRUE(indexed == walked) << path << " " << o.name;
      tables += indexed.isTable;
    }
    EXPECT_GT(tables, 0u) << path;
  }
}

}  // namespace
}  // namespace ravelin
