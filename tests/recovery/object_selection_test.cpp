#include "recovery/object_selection.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "catalog/system_catalog.h"
#include "recovery/records_pager.h"
#include "recovery/records_panel_model.h"
#include "recovery/run_commands.h"
#include "recovery/selection_commands.h"
#include "recovery/tree_builder.h"
#include "recovery/tree_lookup.h"
#include "support/recording_sink.h"
#include "support/synthetic.h"
#include "support/tree_dump.h"

namespace ravelin {
namespace {

using namespace testing;

// A front end with the sample (or a real file) scanned.
class ObjectSelectionTest : public ::testing::Test {
 protected:
  void Scan(const std::string& path) {
    JobToken token(settings);
    ASSERT_TRUE(
        RunOpen(state, sink, OpenChoice{.dataFilePath = path, .logFolder = logs.path()}, LocalTimeNow(), token));
  }
  void ScanSample() { Scan(std::string(RAVELIN_SOURCE_DIR) + "/samples/northwind-sql2000.mdf"); }

  TreeItem Item(const std::string& name) {
    const TreeItem item = FindTreeItem(state, name);
    EXPECT_NE(item, kNoTreeItem) << name;
    return item;
  }
  // The log lines since the last call.
  std::vector<std::string> NewLogLines() {
    const std::vector<std::string> all = front.Texts('L');
    std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }
  std::string Script(const std::string& name) {
    RunSelection(state, sink, Item(name));
    EXPECT_FALSE(panel.recordsPanelShown);
    return panel.definitionText;
  }

  TempDir logs;
  RecoverySettings settings;
  RecordingSink front;
  RecordsPanelModel panel;
  RecoveryState state{settings, panel};
  ActivityLog log;
  LoggingSink sink{front, log};
  size_t seen_ = 0;
};

TEST_F(ObjectSelectionTest, TableListsInPagesOfAThousand) {
  ScanSample();
  NewLogLines();
  RunSelection(state, sink, Item("Order Details"));
  EXPECT_TRUE(panel.recordsPanelShown);
  EXPECT_EQ(panel.columns, (std::vector<std::string>{"OrderID", "ProductID", "UnitPrice", "Quantity", "Discount"}));
  EXPECT_EQ(panel.recordsLabel, "Page1 - [1000](1-1000) Records");
  EXPECT_EQ(panel.caption, "Order Details[1000]");
  EXPECT_TRUE(panel.nextEnabled);
  EXPECT_FALSE(panel.previousEnabled);
  EXPECT_EQ(NewLogLines(),
            (std::vector<std::string>{"Please wait while Order Details folder is scanning.", "0 rows to 1000",
                                      "Order Details[1000]", "Scanning process completed."}));

  RecordsPager pager(state, sink);
  pager.ListNextPage();
  EXPECT_EQ(panel.recordsLabel, "Page2 - [1000](1001-2000) Records");
  const auto page2 = panel.rows;
  pager.ListNextPage();
  EXPECT_EQ(panel.recordsLabel, "Page3 - [155](2001-2155) Records");
  EXPECT_EQ(panel.rows.size(), 155u);
  EXPECT_FALSE(panel.nextEnabled);
  pager.ListPreviousPage();
  EXPECT_EQ(panel.recordsLabel, "Page2 - [1000](1001-2000) Records");
  EXPECT_EQ(panel.rows, page2);
}

TEST_F(ObjectSelectionTest, SameTableTwiceAddsItsNodesOnce) {
  ScanSample();
  const TreeItem orders = Item("Orders");
  RunSelection(state, sink, orders);
  const std::string once = DumpTree(state.tree, orders, true);
  EXPECT_NE(once.find("\n  PrimaryKey [0]\n    PK_Orders ["), std::string::npos) << once;
  RunSelection(state, sink, orders);
  EXPECT_EQ(DumpTree(state.tree, orders, true), once);
  EXPECT_EQ(panel.recordsLabel, "Page1 - [830](1-830) Records");
}

TEST_F(ObjectSelectionTest, DefinitionsAndScripts) {
  ScanSample();
  EXPECT_EQ(Script("Orders/PrimaryKey/PK_Orders"), "ALTER TABLE Orders ADD PRIMARY KEY (OrderID )");
  EXPECT_EQ(Script("CK_Birthdate"),
            "ALTER TABLE  [dbo].[Employees] WITH NOCHECK ADD CONSTRAINT[CK_Birthdate] CHECK ([BirthDate] < getdate())");
  EXPECT_EQ(Script("dbo.CustOrderHist").rfind("CREATE PROCEDURE CustOrderHist @CustomerID nchar(5)\r\nAS\r\n", 0), 0u);
  EXPECT_EQ(panel.caption, "CustOrderHist[0]");
  EXPECT_TRUE(state.catalog()->columnDescriptors.empty());
}

TEST_F(ObjectSelectionTest, RootAndCategoryItems) {
  ScanSample();
  NewLogLines();
  RunSelection(state, sink, state.categories.root);
  EXPECT_EQ(NewLogLines().size(), 1u);  // the start only
  RunSelection(state, sink, state.categories.tables);
  EXPECT_EQ(NewLogLines(), (std::vector<std::string>{"Please wait while Tables folder is scanning.", "Tables[0]",
                                                     "Scanning process completed."}));
  EXPECT_EQ(panel.recordsLabel, "Page1 - [0](0-0) Records");
}

TEST_F(ObjectSelectionTest, ClickWhileBusyIsRefused) {
  ScanSample();
  JobRunner runner(settings);
  SelectionCommands commands(runner, state, sink);
  const TreeItem orders = Item("Orders");
  EXPECT_EQ(commands.Select(orders), "");
  runner.Wait();
  EXPECT_EQ(panel.caption, "Orders[830]");

  settings.busy = 1;
  EXPECT_EQ(commands.Select(Item("Customers")), kTextPleaseWait);
  EXPECT_EQ(commands.NextRecords(), kTextPleaseWait);
  EXPECT_EQ(state.tree.Selected(), orders);
  settings.busy = 0;
  EXPECT_EQ(commands.NextRecords(), "");
  runner.Wait();
  EXPECT_EQ(panel.recordsLabel, "Page1 - [830](1-830) Records");  // a single page: nothing after it
}

TEST_F(ObjectSelectionTest, KeyScriptsOfLaterLayoutsNameTableAndColumns) {
  const std::string data = TestDataDir();
  if (data.empty()) GTEST_SKIP() << "no test data";
  Scan(data + "/northwind-sql2008r2-sankaranarayanan.mdf");
  EXPECT_EQ(Script("dbo.PK_Order_Details"), "ALTER TABLE dbo.Order Details ADD PRIMARY KEY (OrderID , ProductID )");
  Scan(data + "/phonebook-sql2012-unn.mdf");
  EXPECT_EQ(Script("dbo.key646"),
            "ALTER TABLE[dbo].[dbo.Guschin_abonent_has_contact] WITH NOCHECK ADD CONSTRAINT[dbo.key646] UNIQUE "
            "CLUSTERED \r\n(\r\n[abonent_id , contact_id ] DSC\r\n)");
}

}  // namespace
}  // namespace ravelin
