#include "catalog/schema_scripts.h"

#include <gtest/gtest.h>

#include "catalog/system_catalog.h"

namespace ravelin {
namespace {

TEST(SchemaScripts, Texts) {
  EXPECT_EQ(PrimaryKeyScript({"Orders", {"OrderId", "LineNo"}}),
            "ALTER TABLE Orders ADD PRIMARY KEY (OrderId , LineNo )");
  // Nothing known: an empty table and column text.
  EXPECT_EQ(PrimaryKeyScript({}), "ALTER TABLE  ADD PRIMARY KEY ()");
  EXPECT_EQ(UniqueKeyScript({"T", {"A"}}, "UQ_T"),
            "ALTER TABLE[dbo].[T] WITH NOCHECK ADD CONSTRAINT[UQ_T] UNIQUE CLUSTERED \r\n(\r\n[A ] DSC\r\n)");
  EXPECT_EQ(CheckScript("T", "CK_%s", "([a]>(0))"),
            "ALTER TABLE  [dbo].[T] WITH NOCHECK ADD CONSTRAINT[CK_%s] CHECK ([a]>(0))");
}

TEST(SchemaScripts, LegacyKeyColumnsFromTheIndexOrByTypeStatus) {
  SystemCatalog catalog;
  catalog.legacyTables = {{7, "Orders", {}, {{"Id", {}, 1, 1}, {"Note", {}, 2, 0}, {"Qty", {}, 3, 9}}},
                          {8, "Other", {}, {{"X", {}, 1, 1}}}};
  for (auto [id, name] : {std::pair{1, "Id"}, {2, "Note"}, {3, "Qty"}}) {
    LegacyColumnRow row;
    row.objectId = 7;
    row.columnId = static_cast<int16_t>(id);
    row.name = name;
    catalog.legacyColumns.push_back(row);
  }
  catalog.legacyIndexKeys = {{7, 1, "PK_Orders", {{.columnId = 3}, {.columnId = 1}}},
                             {8, 1, "PK_Other", {{.columnId = 1}}}};

  // The key's own index, in key order.
  KeyColumns primary = LegacyKeyColumns(catalog, 7, "PK_Orders", false);
  EXPECT_EQ(primary.table, "Orders");
  EXPECT_EQ(primary.columns, (std::vector<std::string>{"Qty", "Id"}));
  // No index of that name: the NOT NULL columns stand in.
  EXPECT_EQ(LegacyKeyColumns(catalog, 7, "UQ_Orders", false).columns, (std::vector<std::string>{"Id", "Qty"}));
  EXPECT_EQ(LegacyKeyColumns(catalog, 7, "UQ_Orders", true).columns, (std::vector<std::string>{"Id", "Note", "Qty"}));
  EXPECT_TRUE(LegacyKeyColumns(catalog, 0, "PK_Orders", false).table.empty());
}

}  // namespace
}  // namespace ravelin
