// Finding objects, constraints, the joins of child objects, references and
// foreign keys, and what preparing a non-table yields.

#include <gtest/gtest.h>

#include "catalog_fixture.h"

namespace ravelin {
namespace {

using ObjectModel = CatalogTest;
INSTANTIATE_TEST_SUITE_P(IndexedAndWalked, ObjectModel, ::testing::Bool());

ObjectRefRow Ref(uint8_t refClass, int32_t dependent, int32_t dependentSub, int32_t independent,
                 int32_t independentSub) {
  ObjectRefRow row;
  row.refClass = refClass;
  row.dependentId = dependent;
  row.dependentSubId = dependentSub;
  row.independentId = independent;
  row.independentSubId = independentSub;
  return row;
}

TEST_P(ObjectModel, FindObjectPrefersTheTypeButFallsBackToNonTables) {
  AddObject(10, "N", "U ");
  AddObject(11, "N", "V ");
  EXPECT_EQ(catalog.FindObject("N", "U ").objectId, 10);
  EXPECT_EQ(catalog.FindObject("N", "P ").objectId, 11);

  catalog.objects.clear();
  AddObject(11, "N", "V ");
  AddObject(10, "N", "U ");
  catalog.BuildIndexes();  // same length, other rows
  EXPECT_EQ(catalog.FindObject("N", "U ").objectId, 11);

  catalog.objects.clear();
  AddObject(20, "T", "U ");
  AddObject(21, "T", "S ");
  catalog.BuildIndexes();
  EXPECT_EQ(catalog.FindObject("T", "U ").objectId, 20);
  EXPECT_EQ(catalog.FindObject("T", "S ").objectId, 21);
  EXPECT_EQ(catalog.FindObject("T", "P ").objectId, -1);  // tables never match by name alone
  EXPECT_EQ(catalog.FindObject("t", "U ").objectId, -1);
}

TEST_P(ObjectModel, KeyConstraintsOfAnObject) {
  AddObject(1, "T", "U ");
  AddObject(2, "PK_T", "PK", 1);
  AddObject(3, "UQ_T", "UQ", 1);
  AddObject(4, "FK_T", "F ", 1);
  AddObject(5, "Other", "PK", 9);
  catalog.LoadKeyConstraints(1);
  ASSERT_EQ(catalog.keyConstraints.size(), 3u);
  EXPECT_TRUE(catalog.keyConstraints[0].isPrimaryKey);
  EXPECT_TRUE(catalog.keyConstraints[1].isUnique);
  EXPECT_TRUE(catalog.keyConstraints[2].isForeignKey);
  EXPECT_EQ(catalog.keyConstraints[2].id, 4);
  EXPECT_EQ(catalog.keyConstraints[2].name, "FK_T");

  catalog.SetLayout(true);  // the 2000 layout names the table instead
  catalog.LoadKeyConstraints(1);
  EXPECT_EQ(catalog.keyConstraints[0].id, 1);
}

TEST_P(ObjectModel, ForeignKeyColumnPairsAndTheirNames) {
  AddObject(100, "dbo.Parent", "U ");
  AddObject(200, "dbo.Child", "U ");
  AddObject(300, "dbo.FK_Child", "F ", 200);
  AddObject(301, "dbo.FK_Lonely", "F ", 200);
  AddColumn(100, 1, "A");
  AddColumn(100, 2, "B");
  AddColumn(200, 5, "PA");
  AddColumn(200, 6, "PB");
  catalog.objectRefs = {Ref(28, 300, 1, 200, 5), Ref(28, 300, 2, 200, 6), Ref(29, 300, 1, 100, 1),
                        Ref(29, 300, 2, 100, 2), Ref(28, 301, 1, 200, 5)};
  catalog.JoinChildObjects();

  ASSERT_EQ(catalog.foreignKeyColumns.size(), 2u);  // the class-28 row without a partner yields nothing
  const ForeignKeyColumn& second = catalog.foreignKeyColumns[1];
  EXPECT_EQ(catalog.foreignKeyColumns[0].constraintColumnId, 1);
  EXPECT_EQ(second.constraintId, 300);
  EXPECT_EQ(second.constraintColumnId, 2);
  EXPECT_EQ(second.constraintName, "dbo.FK_Child");
  EXPECT_EQ(second.parentTableName, "dbo.Child");
  EXPECT_EQ(second.parentColumnName, "PB");
  EXPECT_EQ(second.referencedTableName, "dbo.Parent");
  EXPECT_EQ(second.referencedColumnName, "B");
}

TEST_P(ObjectModel, ReferencingChildObjects) {
  AddObject(1, "T", "U ");
  AddObject(2, "PK_T", "PK", 1);
  AddObject(3, "Schemaless", "U ");
  catalog.objects.back().schemaClass = 1;  // not a child object
  catalog.objectRefs = {Ref(97, 2, 0, 1, 0), Ref(27, 2, 0, 1, 7), Ref(27, 2, 4, 1, 9), Ref(12, 2, 0, 1, 0)};
  catalog.JoinChildObjects();

  EXPECT_EQ(catalog.childObjects.size(), 2u);
  // Both references of class 97 and 27 list the child; the class-27 one
  // with a sub id and the class-12 one change nothing.
  ASSERT_EQ(catalog.referencingChildObjects.size(), 2u);
  EXPECT_EQ(catalog.referencingChildObjects[0].referencedIndependentId, 1);
  EXPECT_EQ(catalog.referencingChildObjects[0].referencedIndexId, 0);
  EXPECT_EQ(catalog.referencingChildObjects[1].referencedIndexId, 7);
  EXPECT_EQ(catalog.childObjects[1].referencedIndexId, 7);
}

TEST_P(ObjectModel, PreparingNonTablesUniqueKeysAndUnknownObjects) {
  AddObject(42, "dbo.V1", "V ");
  AddObject(43, "dbo.UQ_T", "UQ", 1);
  AddObject(1, "dbo.T", "U ");
  AddColumn(1, 1, "c");

  auto view = Prepare("dbo.V1", "P ");
  ASSERT_EQ(view.size(), 3u);
  EXPECT_EQ(view[0].definitionText, "42");
  EXPECT_EQ(view[1].definitionText, "V ");
  EXPECT_EQ(view[2].definitionText, "dbo.V1");
  EXPECT_FALSE(catalog.isTable);

  Prepare("dbo.UQ_T", "UQ");  // goes through the table preparation
  EXPECT_TRUE(catalog.isTable);

  EXPECT_EQ(Prepare("dbo.T").size(), 1u);
  EXPECT_TRUE(Prepare("dbo.Missing").empty());
  EXPECT_FALSE(catalog.isTable);
  EXPECT_EQ(catalog.currentObject.objectId, -1);
}

}  // namespace
}  // namespace ravelin
