#include "recovery/tree_builder.h"

#include "catalog/system_catalog.h"

namespace ravelin {
namespace {

// The category an object of `typeCode` goes under; kNoTreeItem when it
// is not placed (keys, constraints, internal tables, ...).
TreeItem CategoryFor(const TreeCategories& c, const std::string& typeCode) {
  if (typeCode == "V ") return c.views;
  if (typeCode == "FN" || typeCode == "IF" || typeCode == "TF") return c.function;
  if (typeCode == "P ") return c.storeProcedure;
  if (typeCode == "TR") return c.triggers;
  if (typeCode == "D ") return c.defaultItem;
  if (typeCode == "U ") return c.userTables;
  if (typeCode == "S ") return c.systemTables;
  return kNoTreeItem;
}

}  // namespace

void BuildSkeleton(RecoveryState& state, const std::string& rootLabel) {
  ObjectTree& tree = state.tree;
  TreeCategories& c = state.categories;
  c.root = tree.Insert(rootLabel, kNoTreeItem, InsertAt::kLast);
  c.tables = tree.Insert("Tables", c.root, InsertAt::kFirst);
  c.userTables = tree.Insert("User Tables", c.tables, InsertAt::kFirst);
  c.systemTables = tree.Insert("System Tables", c.tables, InsertAt::kFirst);
  c.programmability = tree.Insert("Programmability", c.root, InsertAt::kFirst);
  c.function = tree.Insert("Function", c.programmability, InsertAt::kFirst);
  c.storeProcedure = tree.Insert("Store Procedure", c.programmability, InsertAt::kFirst);
  c.views = tree.Insert("Views", c.root, InsertAt::kFirst);
  c.defaultItem = tree.Insert("Default", c.programmability, InsertAt::kFirst);
  c.triggers = tree.Insert("Triggers", c.programmability, InsertAt::kFirst);
}

bool FillTree(RecoveryState& state, ProgressSink& sink) {
  SystemCatalog* catalog = state.catalog();
  if (!catalog || catalog->objects.empty()) return false;
  ObjectTree& tree = state.tree;
  const size_t n = catalog->objects.size();
  sink.SetProgressRange(0, static_cast<int64_t>(n));
  state.view().SetCaptionText(kTextCreatingTree);
  sink.AppendLogLine(kTextCreatingTree);
  sink.SetProgressPos(0);

  size_t placed = 0;
  for (size_t i = 0; i < n; ++i) {
    // Preparing a table leaves the object list as it is.
    const std::string& name = catalog->objects[i].name;
    const std::string& typeCode = catalog->objects[i].typeCode;
    if (name.empty()) continue;
    const TreeItem category = CategoryFor(state.categories, typeCode);
    if (category != kNoTreeItem) {
      const TreeItem item = tree.Insert(name, category, InsertAt::kFirst, 1);
      if (IsTableTypeCode(typeCode)) {
        tree.Insert(kLabelColumns, item, InsertAt::kFirst, 0);
        catalog->columnDescriptors = catalog->PrepareObject(name, typeCode, state.scanDefinitions);
        if (!catalog->columnDescriptors.empty() && !catalog->tablePages.empty()) tree.SetBold(item, true);
      }
    }
    state.objectNames.push_back(name);
    ++placed;
    sink.SetProgressPos(static_cast<int64_t>(i));
  }

  tree.SortChildren(state.categories.storeProcedure);
  tree.SortChildren(state.categories.function);
  state.view().SetCaptionText(kTextProcessDone);
  sink.AppendLogLine(kTextProcessDone);
  sink.SetProgressPos(static_cast<int64_t>(n));
  return placed > 0;
}

std::string ColumnItemLabel(const ColumnDescriptor& column) {
  std::string label = column.name + "  " + column.typeText;
  if (column.primaryKey)
    label += "[Primary Key]";
  else if (column.unique || column.uniqueConstraint)
    label += "[Unique]";
  if (column.foreignKey)
    label += "  (foreign key) references " + column.referencedTable + "( " + column.referencedColumn + ")";
  return label;
}

void ExpandTable(RecoveryState& state, TreeItem tableItem, TreeItem columnsItem, const std::string& tableName,
                 const std::string& typeCode) {
  SystemCatalog* catalog = state.catalog();
  if (!catalog) return;
  RemoveRecordColumns(state.view(), static_cast<int>(catalog->tableColumns.size()));
  catalog->tableColumns.clear();
  catalog->columnDescriptors = catalog->PrepareObject(tableName, typeCode, state.scanDefinitions);
  ObjectTree& tree = state.tree;
  // Once expanded, "Columns" is no longer the first child: a second call
  // must not add the nodes again.
  if (!catalog->isTable || tree.FirstChild(tableItem) != columnsItem) return;

  const TreeItem primaryKey = tree.Insert(kLabelPrimaryKey, tableItem, InsertAt::kFirst, 0);
  const TreeItem constraint = tree.Insert(kLabelConstraint, tableItem, InsertAt::kFirst, 0);
  const TreeItem unique = tree.Insert(kLabelUnique, tableItem, InsertAt::kFirst, 0);
  const TreeItem foreignKey = tree.Insert(kLabelForeignKey, tableItem, InsertAt::kFirst, 0);
  tree.SetData(columnsItem, 0);
  const std::vector<ColumnDescriptor>& columns = catalog->columnDescriptors;
  for (auto it = columns.rbegin(); it != columns.rend(); ++it)
    if (!it->name.empty()) tree.Insert(ColumnItemLabel(*it), columnsItem, InsertAt::kFirst, 0);

  // In the 2000 layout a key's id is its table's, which the key scripts
  // look the table up by.
  const bool sql2000 = catalog->IsSql2000();
  for (const KeyConstraint& key : catalog->keyConstraints) {
    if (key.typeCode == "PK")
      tree.Insert(key.name, primaryKey, InsertAt::kLast, sql2000 ? key.id : 0);
    else if (key.typeCode == "F ")
      tree.Insert(key.name, foreignKey, InsertAt::kLast, 0);
    else if (key.typeCode == "C " || key.typeCode == "D ")
      tree.Insert(key.name, constraint, InsertAt::kLast, 1);
    else if (key.typeCode == "UQ")
      tree.Insert(key.name, unique, InsertAt::kLast, sql2000 ? key.id : 0);
  }
  state.view().TreeChanged();
}

bool IsTableItem(const RecoveryState& state, TreeItem item) {
  const TreeItem parent = state.tree.Parent(item);
  return parent != kNoTreeItem && (parent == state.categories.userTables || parent == state.categories.systemTables);
}

std::string TableTypeCode(const RecoveryState& state, TreeItem category) {
  return category == state.categories.systemTables ? "S " : "U ";
}

}  // namespace ravelin
