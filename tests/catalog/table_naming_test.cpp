// Tables as DBAs name and declare them: declared types, schema and owner
// names, and what the 2000 layout keeps of owners, identity columns, keys
// and foreign keys.

#include <gtest/gtest.h>

#include "catalog/declared_type.h"
#include "catalog/legacy_catalog.h"
#include "catalog/object_names.h"
#include "catalog/system_catalog.h"
#include "support/catalog_rows.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using namespace testing;

ColumnDescriptor Typed(const std::string& typeText, int32_t typeCode, uint8_t precision = 0, uint8_t scale = 0) {
  ColumnDescriptor d = MakeColumnDescriptor("c", typeText, typeCode);
  d.precision = precision;
  d.scale = scale;
  return d;
}

TEST(DeclaredType, AsADbaWritesIt) {
  EXPECT_EQ(DeclaredType(Typed("int(4)", kTypeInt)), "int");
  EXPECT_EQ(DeclaredType(Typed("nvarchar(30)", kTypeNVarChar)), "nvarchar(15)");
  EXPECT_EQ(DeclaredType(Typed("nvarchar(-1)", kTypeNVarChar)), "nvarchar(max)");
  EXPECT_EQ(DeclaredType(Typed("nchar(10)", kTypeNChar)), "nchar(5)");
  EXPECT_EQ(DeclaredType(Typed("varchar(40)", kTypeVarChar)), "varchar(40)");
  EXPECT_EQ(DeclaredType(Typed("varbinary(-1)", kTypeVarBinary)), "varbinary(max)");
  EXPECT_EQ(DeclaredType(Typed("binary(16)", kTypeBinary)), "binary(16)");
  EXPECT_EQ(DeclaredType(Typed("decimal(9)", kTypeDecimal, 19, 4)), "decimal(19,4)");
  EXPECT_EQ(DeclaredType(Typed("numeric(5)", kTypeNumeric, 5, 0)), "numeric(5,0)");
  EXPECT_EQ(DeclaredType(Typed("datetime2(8)", kTypeDateTime2, 27, 7)), "datetime2(7)");
  EXPECT_EQ(DeclaredType(Typed("time(3)", kTypeTime, 8, 0)), "time(0)");
  EXPECT_EQ(DeclaredType(Typed("datetimeoffset(10)", kTypeDateTimeOffset, 34, 7)), "datetimeoffset(7)");
  for (const char* plain : {"money", "datetime", "smalldatetime", "float", "real", "bit", "text", "ntext", "image",
                            "timestamp", "uniqueidentifier", "xml", "sql_variant", "date", "bigint", "tinyint"}) {
    EXPECT_EQ(DeclaredType(Typed(std::string(plain) + "(8)", kTypeChar)), plain);
  }
  // Alias types are their system types; CLR types keep their names.
  EXPECT_EQ(DeclaredType(Typed("empid(9)", kTypeChar)), "char(9)");
  EXPECT_EQ(DeclaredType(Typed("tid(6)", kTypeVarChar)), "varchar(6)");
  EXPECT_EQ(DeclaredType(Typed("sysname(256)", kTypeNVarChar)), "nvarchar(128)");
  EXPECT_EQ(DeclaredType(Typed("geography(-1)", kTypeClr)), "geography");
}

// A 2000-layout catalog: sysobjects, sysusers, syscolumns, sysreferences.
DatabaseImage LegacyImage() {
  DatabaseImage image(20);
  SystemTablePage(image, 10, 1,
                  {SysObjectsRow{.id = 55, .name = "Orders", .userId = 5}.Build(),
                   SysObjectsRow{.id = 56, .name = "Customers"}.Build(),
                   SysObjectsRow{.id = 77, .name = "PK_Orders", .type = "PK", .userId = 5, .parentId = 55}.Build(),
                   SysObjectsRow{.id = 78, .name = "FK_Orders", .type = "F ", .userId = 5, .parentId = 55}.Build()});
  auto user = [](int16_t uid, const std::string& name) {
    return RecordBuilder().Fixed(Concat({LE16(static_cast<uint16_t>(uid)), Bytes(20, 0)})).Var(Utf16(name)).Build();
  };
  SystemTablePage(image, 11, 10, {user(1, "dbo"), user(5, "sales")});
  // An identity's autoval: last value, seed and increment, a flag byte.
  const Bytes autoval = Concat({LE32(300), LE32(10), LE32(5), Bytes{0x82}});
  SystemTablePage(
      image, 12, 3,
      {RecordBuilder()
           .Fixed(SysColumnsRow{.objectId = 55, .columnId = 1, .columnStatus = 1}.Fixed())
           .Var(Utf16("OrderID"))
           .Var(autoval)
           .Build(),
       SysColumnsRow{.objectId = 55, .name = "CustomerID", .columnId = 2}.Build(),
       SysColumnsRow{.objectId = 55, .name = "Total", .columnId = 3, .fixedOffset = 0, .columnStatus = 4}.Build(),
       SysColumnsRow{.objectId = 56, .name = "Id", .columnId = 1}.Build()});
  const Bytes reference = Concat({LE32(78), LE32(55), LE32(56), LE16(1), LE16(1), Bytes(10, 0)});
  SystemTablePage(image, 13, 14, {RecordBuilder().Fixed(reference).Var(LE16(2)).Var(LE16(1)).Build()});
  return image;
}

TEST(LegacyCatalog, OwnersIdentityKeysAndReferences) {
  TestDatabase database(LegacyImage());
  ASSERT_TRUE(database.Open());
  const LegacyCatalog legacy = ReadLegacyCatalog(database.db());
  EXPECT_EQ(legacy.OwnerOf(55), "sales");
  EXPECT_EQ(legacy.OwnerOf(56), "dbo");
  EXPECT_EQ(legacy.OwnerOf(99), "");
  EXPECT_EQ(legacy.identities.at({55, 1}), "identity(10,5)");
  EXPECT_EQ(legacy.computedColumns.count({55, 3}), 1u);
  ASSERT_EQ(legacy.references.size(), 1u);
  EXPECT_EQ(legacy.references[0].parentColumns, (std::vector<int16_t>{2}));

  SystemCatalog catalog;
  catalog.SetLayout(true);
  catalog.file = &database.db();
  catalog.objects = {ObjectRow{.objectId = 55, .name = "Orders", .typeCode = "U "},
                     ObjectRow{.objectId = 56, .name = "Customers", .typeCode = "U "},
                     ObjectRow{.objectId = 77, .name = "PK_Orders", .typeCode = "PK", .parentId = 55}};
  catalog.legacyIndexKeys = {
      LegacyIndexKey{.objectId = 55, .indexId = 1, .name = "PK_Orders", .keyColumns = {{.columnId = 1}}}};
  const ObjectNames names(catalog);
  EXPECT_EQ(names.Qualified(catalog.objects[0]), "sales.Orders");
  EXPECT_EQ(names.Schema(catalog.objects[1]), "dbo");
  EXPECT_EQ(names.Bare(catalog.objects[1]), "Customers");
  EXPECT_EQ(names.Qualified(56), "dbo.Customers");

  std::vector<ColumnDescriptor> columns(3);
  for (int i = 0; i < 3; ++i) columns[i].columnId = i + 1;
  ApplyLegacyKeys(
      catalog, *names.legacy(), 55, [&names](int32_t id) { return names.Qualified(id); }, columns);
  EXPECT_EQ(columns[0].identityText, "identity(10,5)");
  EXPECT_EQ(columns[0].primaryKey, 1);
  EXPECT_EQ(columns[1].foreignKey, 1);
  EXPECT_EQ(columns[1].referencedTable, "dbo.Customers");
  EXPECT_EQ(columns[1].referencedColumn, "Id");
  EXPECT_EQ(columns[2].primaryKey, 0);
}

TEST(ObjectNames, LaterLayoutsNameBySchema) {
  SystemCatalog catalog;
  catalog.classObjects = {ClassObjectRow{.id = 1, .name = "dbo", .status = 0},
                          ClassObjectRow{.id = 5, .name = "sales", .status = 0}};
  const ObjectRow orders{.objectId = 1, .name = "sales.Orders", .schemaId = 5};
  const ObjectRow lost{.objectId = 2, .name = "Orphan", .schemaId = 9};
  const ObjectNames names(catalog);
  EXPECT_EQ(names.legacy(), nullptr);
  EXPECT_EQ(names.Schema(orders), "sales");
  EXPECT_EQ(names.Bare(orders), "Orders");
  EXPECT_EQ(names.Qualified(orders), "sales.Orders");
  EXPECT_EQ(names.Schema(lost), "");
  EXPECT_EQ(names.Qualified(lost), "Orphan");

  // The schema row of dbo lost, or the object's schema id damaged after
  // its name was put together: the prefix still names the schema.
  catalog.classObjects = {ClassObjectRow{.id = 5, .name = "sales", .status = 0}};
  const ObjectRow customers{.objectId = 3, .name = "dbo.Customers", .schemaId = 1};
  const ObjectRow damaged{.objectId = 4, .name = "sales.Invoices", .schemaId = 0x4005};
  const ObjectNames again(catalog);
  EXPECT_EQ(again.Schema(customers), "dbo");
  EXPECT_EQ(again.Bare(customers), "Customers");
  EXPECT_EQ(again.Schema(damaged), "sales");
  EXPECT_EQ(again.Bare(damaged), "Invoices");
}

}  // namespace
}  // namespace ravelin
