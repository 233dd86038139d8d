// Finding lost table names again in the definitions that use them.

#include "catalog/definition_names.h"

#include <gtest/gtest.h>

#include <string>

namespace ravelin {
namespace {

const std::map<int32_t, std::vector<std::string>> kTables = {
    {10, {"OrderID", "CustomerID", "OrderDate"}},
    {20, {"OrderID", "ProductID", "Quantity"}},
};

TEST(DefinitionNames, NamesUsedAsTablesAndQualifyingTheirColumns) {
  const std::vector<std::string> texts = {
      "create view \"Order Lines Ext\" AS\r\nSELECT Orders.OrderID, \"Order Lines\".ProductID, "
      "\"Order Lines\".Quantity\r\nFROM Orders INNER JOIN \"Order Lines\" ON Orders.OrderID = \"Order Lines\".OrderID",
      // Aliases are no names; comments and strings say nothing.
      "CREATE PROCEDURE Latest AS\n-- FROM Fake, Fake.OrderID, Fake.ProductID\n"
      "SELECT o.OrderID, 'FROM Other' FROM dbo.[Orders] o, [Order Lines] ol /* Other.OrderID Other.Quantity */\n"
      "WHERE o.OrderID = ol.OrderID AND dbo.Orders.CustomerID > 0 ORDER BY orders.OrderDate",
      "UPDATE Other SET Other.OrderID = 1, Other.ProductID = 2",
  };
  const auto names = NamesFromDefinitions(texts, kTables, {});
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names.at(10).name, "Orders");
  EXPECT_EQ(names.at(10).columnsNamed, 3);
  EXPECT_EQ(names.at(10).definitions, 2);
  EXPECT_EQ(names.at(20).name, "Order Lines");
  EXPECT_EQ(names.at(20).columnsNamed, 3);
}

TEST(DefinitionNames, DoubtfulNamesAreLeftOut) {
  // Orders qualifies a column the lines table lacks, and the lines table's
  // name appears only as an alias's table: neither table is named.
  EXPECT_TRUE(NamesFromDefinitions({"SELECT Orders.OrderID, Orders.Quantity, Orders.Shipped FROM Orders",
                                    "SELECT l.OrderID, l.ProductID FROM Lines l"},
                                   kTables, {})
                  .empty());
  // A name the catalog still gives another object, or a defined object's
  // own name, is none of these tables'.
  const std::vector<std::string> views = {"CREATE VIEW Recent AS SELECT Orders.OrderID FROM Orders",
                                          "SELECT Recent.OrderID, Recent.CustomerID FROM Recent",
                                          "SELECT Orders.OrderID, Orders.CustomerID FROM Orders"};
  EXPECT_TRUE(NamesFromDefinitions(views, kTables, {"orders"}).empty());
  // One name that fits two tables equally names neither.
  EXPECT_TRUE(NamesFromDefinitions({"SELECT Log.OrderID FROM Log"}, kTables, {}).empty());
  // Names in a select list after a subquery are not tables.
  EXPECT_TRUE(NamesFromDefinitions({"SELECT (SELECT MAX(OrderID) FROM Orders), Lines.ProductID, Lines.Quantity FROM X"},
                                   kTables, {})
                  .empty());
}

TEST(DefinitionNames, TriggerTablesAndFromLists) {
  const std::vector<std::string> texts = {
      "CREATE TRIGGER trOrders ON [Orders] FOR INSERT AS UPDATE Orders SET Orders.OrderDate = GETDATE() "
      "FROM inserted WHERE inserted.OrderID = Orders.OrderID AND Orders.CustomerID IS NULL",
      "SELECT * FROM Customers c, [Order Lines], Products p WHERE [Order Lines].ProductID = p.ProductID "
      "AND [Order Lines].Quantity > 1"};
  const auto names = NamesFromDefinitions(texts, kTables, {"Customers", "Products"});
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names.at(10).name, "Orders");
  EXPECT_EQ(names.at(20).name, "Order Lines");
}

}  // namespace
}  // namespace ravelin
