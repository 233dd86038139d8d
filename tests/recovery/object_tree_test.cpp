#include "recovery/object_tree.h"

#include <gtest/gtest.h>

#include "catalog/system_catalog.h"
#include "recovery/recovery_state.h"
#include "recovery/tree_builder.h"
#include "support/catalog_image.h"
#include "support/catalog_rows.h"
#include "support/recording_sink.h"
#include "support/recording_view.h"
#include "support/test_database.h"
#include "support/tree_dump.h"

namespace ravelin {
namespace {

using namespace testing;

TEST(ObjectTree, InsertPositionsSortingAndStaleHandles) {
  ObjectTree tree;
  const TreeItem root = tree.Insert("root", kNoTreeItem, InsertAt::kLast);
  const TreeItem b = tree.Insert("b", root, InsertAt::kFirst, 7);
  tree.Insert("a", root, InsertAt::kFirst);
  tree.Insert("C", root, InsertAt::kLast);
  const TreeItem second = tree.Insert("B", root, InsertAt::kLast);
  tree.Insert("z", b, InsertAt::kLast);
  tree.Insert("y", b, InsertAt::kLast);
  EXPECT_EQ(DumpTree(tree), "root\n  a\n  b\n    z\n    y\n  C\n  B\n");
  EXPECT_EQ(tree.Parent(b), root);
  EXPECT_EQ(tree.Parent(root), kNoTreeItem);
  EXPECT_EQ(tree.Data(b), 7);
  EXPECT_EQ(tree.Label(tree.FirstChild(b)), "z");

  // Case is ignored and equal labels keep their order; grandchildren stay.
  tree.SortChildren(root);
  EXPECT_EQ(DumpTree(tree), "root\n  a\n  b\n    z\n    y\n  B\n  C\n");
  EXPECT_EQ(tree.Children(root)[2], second);

  tree.Select(b);
  tree.DeleteAll();
  EXPECT_TRUE(tree.empty());
  EXPECT_EQ(tree.Selected(), kNoTreeItem);
  EXPECT_FALSE(tree.Contains(b));
  EXPECT_EQ(tree.Label(b), "");
  EXPECT_EQ(tree.Insert("x", b, InsertAt::kFirst), kNoTreeItem);
  // New items never take an old handle.
  EXPECT_GT(tree.Insert("new", kNoTreeItem, InsertAt::kLast), second);
}

// A catalog of the 2005+ layout holding `objects` in schema dbo.
DatabaseImage ObjectsImage(const std::vector<SysSchObjsRow>& objects) {
  DatabaseImage image(40);
  SystemTablePage(image, 16, 64, {SysClsObjsRow{.id = 1, .name = "dbo"}.Build()});
  std::vector<Bytes> records;
  for (const SysSchObjsRow& row : objects) records.push_back(row.Build());
  SystemTablePage(image, 17, 34, records);
  return image;
}

struct Loaded {
  explicit Loaded(const DatabaseImage& image) : database(image) {
    EXPECT_TRUE(database.OpenDatabase());
    state.SetDatabase(database.Release());
    BuildSkeleton(state, "/data/x.mdf");
  }
  TestDatabase database;
  RecoverySettings settings;
  RecordingSink sink;
  RecordingView view;
  RecoveryState state{settings, view};
};

TEST(TreeBuilder, SkeletonAndPlacementByTypeCode) {
  Loaded loaded(ObjectsImage({
      {.id = 201, .name = "VA", .type = "V "},
      {.id = 202, .name = "VB", .type = "V "},
      {.id = 203, .name = "pb", .type = "P "},
      {.id = 204, .name = "PA", .type = "P "},
      {.id = 205, .name = "tf", .type = "TF"},
      {.id = 206, .name = "fn", .type = "FN"},
      {.id = 207, .name = "if", .type = "IF"},
      {.id = 208, .name = "trg", .type = "TR"},
      {.id = 209, .name = "PK_x", .type = "PK"},
      {.id = 210, .name = "queue", .type = "SQ"},
  }));
  ASSERT_TRUE(FillTree(loaded.state, loaded.sink));
  // Views unsorted (reverse catalog order), procedures and functions sorted.
  EXPECT_EQ(DumpTree(loaded.state.tree),
            "/data/x.mdf\n"
            "  Views\n    dbo.VB\n    dbo.VA\n"
            "  Programmability\n    Triggers\n      dbo.trg\n    Default\n"
            "    Store Procedure\n      dbo.PA\n      dbo.pb\n"
            "    Function\n      dbo.fn\n      dbo.if\n      dbo.tf\n"
            "  Tables\n    System Tables\n    User Tables\n");
  // Unplaced objects are counted and named all the same.
  EXPECT_EQ(loaded.state.objectNames.size(), 10u);
  EXPECT_EQ(loaded.sink.Texts('L'), (std::vector<std::string>{kTextCreatingTree, kTextProcessDone}));
  EXPECT_EQ(loaded.view.captions(), (std::vector<std::string>{kTextCreatingTree, kTextProcessDone}));
  const auto events = loaded.sink.events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().kind, 'P');
  EXPECT_EQ(events.back().a, 10);
}

TEST(TreeBuilder, TablesBoldWithDataAndExpandedOnce) {
  Loaded loaded(SmallCatalogImage());
  ASSERT_TRUE(FillTree(loaded.state, loaded.sink));
  ObjectTree& tree = loaded.state.tree;
  tree.SortChildren(loaded.state.categories.userTables);
  EXPECT_EQ(DumpTree(tree, loaded.state.categories.tables, true),
            "Tables [0]\n"
            "  System Tables [0]\n    sys.sysschobjs [1]\n      Columns [0]\n"
            "  User Tables [0]\n"
            "    dbo.Customers * [1]\n      Columns [0]\n"
            "    dbo.Empty [1]\n      Columns [0]\n"
            "    dbo.Orders * [1]\n      Columns [0]\n");

  const auto expand = [&](const std::string& name) {
    for (TreeItem table : tree.Children(loaded.state.categories.userTables))
      if (tree.Label(table) == name) {
        ExpandTable(loaded.state, table, tree.Children(table).back(), name, "U ");
        return DumpTree(tree, table, true);
      }
    return std::string();
  };
  EXPECT_EQ(expand("dbo.Customers"),
            "dbo.Customers * [1]\n  ForeignKey [0]\n  Unique [0]\n  Constraint [0]\n"
            "  PrimaryKey [0]\n    dbo.PK_Customers [0]\n"
            "  Columns [0]\n    Id  int(4)[Primary Key] [0]\n    Name  nvarchar(100) [0]\n");
  const std::string orders = expand("dbo.Orders");
  EXPECT_EQ(orders,
            "dbo.Orders * [1]\n  ForeignKey [0]\n    dbo.FK_Orders_Customers [0]\n  Unique [0]\n"
            "  Constraint [0]\n    dbo.DF_Orders_Qty [1]\n  PrimaryKey [0]\n"
            "  Columns [0]\n    Id  int(4) [0]\n"
            "    CustomerId  int(4)  (foreign key) references dbo.Customers( Id) [0]\n"
            "    Qty  smallint(2) [0]\n");
  // A second display only prepares the table again.
  EXPECT_EQ(expand("dbo.Orders"), orders);
  EXPECT_FALSE(loaded.state.catalog()->columnDescriptors.empty());
}

}  // namespace
}  // namespace ravelin
