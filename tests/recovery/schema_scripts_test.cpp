#include "recovery/schema_scripts.h"

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

TEST(SchemaScripts, LegacyKeyColumnsByTypeStatus) {
  RecoverySettings settings;
  SystemCatalog catalog(settings);
  catalog.legacyTables = {{7, "Orders", {}, {{"Id", {}, 1, 1}, {"Note", {}, 2, 0}, {"Qty", {}, 3, 8}}},
                          {8, "Other", {}, {{"X", {}, 1, 1}}}};
  KeyColumns primary = LegacyKeyColumns(catalog, 7, false);
  EXPECT_EQ(primary.table, "Orders");
  EXPECT_EQ(primary.columns, (std::vector<std::string>{"Id"}));
  EXPECT_EQ(LegacyKeyColumns(catalog, 7, true).columns, (std::vector<std::string>{"Id", "Note"}));
  EXPECT_TRUE(LegacyKeyColumns(catalog, 0, false).table.empty());
}

}  // namespace
}  // namespace ravelin
