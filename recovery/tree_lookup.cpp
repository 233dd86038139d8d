#include "recovery/tree_lookup.h"

#include <vector>

#include "catalog/system_catalog.h"
#include "recovery/tree_builder.h"

namespace ravelin {
namespace {

TreeItem ChildLabelled(const ObjectTree& tree, TreeItem parent, const std::string& label) {
  for (TreeItem child : tree.Children(parent))
    if (tree.Label(child) == label) return child;
  return kNoTreeItem;
}

// Adds the key and constraint nodes of a table item not shown yet.
void EnsureExpanded(RecoveryState& state, TreeItem table) {
  const TreeItem first = state.tree.FirstChild(table);
  if (first == kNoTreeItem || state.tree.Label(first) != kLabelColumns) return;
  ExpandTable(state, table, first, state.tree.Label(table), TableTypeCode(state, state.tree.Parent(table)));
}

TreeItem KeyItemOf(RecoveryState& state, TreeItem table, const std::string& label) {
  EnsureExpanded(state, table);
  for (const char* node : {kLabelPrimaryKey, kLabelUnique, kLabelConstraint, kLabelForeignKey})
    if (TreeItem found = ChildLabelled(state.tree, ChildLabelled(state.tree, table, node), label)) return found;
  return kNoTreeItem;
}

TreeItem TableItemNamed(const RecoveryState& state, const std::string& name) {
  if (TreeItem item = ChildLabelled(state.tree, state.categories.userTables, name)) return item;
  return ChildLabelled(state.tree, state.categories.systemTables, name);
}

TreeItem FindKeyItem(RecoveryState& state, const std::string& label) {
  if (const SystemCatalog* catalog = state.catalog()) {
    for (const ObjectRow& object : catalog->objects) {
      if (object.name != label || !IsKeyOrConstraintTypeCode(object.typeCode)) continue;
      for (const ObjectRow& parent : catalog->objects) {
        if (parent.objectId != object.parentId || parent.name.empty()) continue;
        if (TreeItem table = TableItemNamed(state, parent.name))
          if (TreeItem found = KeyItemOf(state, table, label)) return found;
      }
    }
  }
  for (TreeItem category : {state.categories.userTables, state.categories.systemTables})
    for (TreeItem table : state.tree.Children(category))
      if (TreeItem found = KeyItemOf(state, table, label)) return found;
  return kNoTreeItem;
}

TreeItem FindObjectItem(RecoveryState& state, const std::string& label) {
  const TreeCategories& c = state.categories;
  for (TreeItem category :
       {c.userTables, c.systemTables, c.views, c.storeProcedure, c.function, c.triggers, c.defaultItem})
    if (TreeItem item = ChildLabelled(state.tree, category, label)) return item;
  return kNoTreeItem;
}

void CollectLabelled(const ObjectTree& tree, TreeItem item, const std::string& label, std::vector<TreeItem>& out) {
  for (TreeItem child : tree.Children(item)) {
    if (tree.Label(child) == label) out.push_back(child);
    CollectLabelled(tree, child, label, out);
  }
}

TreeItem FindPath(RecoveryState& state, const std::string& path) {
  std::vector<std::string> labels;
  for (size_t start = 0;;) {
    const size_t slash = path.find('/', start);
    labels.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  std::vector<TreeItem> starts;
  CollectLabelled(state.tree, kNoTreeItem, labels.front(), starts);
  for (TreeItem item : starts) {
    for (size_t i = 1; i < labels.size() && item != kNoTreeItem; ++i) {
      if (IsTableItem(state, item)) EnsureExpanded(state, item);
      item = ChildLabelled(state.tree, item, labels[i]);
    }
    if (item != kNoTreeItem) return item;
  }
  return kNoTreeItem;
}

}  // namespace

TreeItem FindTreeItem(RecoveryState& state, const std::string& name) {
  if (name.empty()) return kNoTreeItem;
  // The 2000 layout names objects without their owner.
  std::vector<std::string> names = {name};
  const SystemCatalog* catalog = state.catalog();
  if (const size_t dot = name.find('.'); catalog && catalog->IsSql2000() && dot != std::string::npos)
    names.push_back(name.substr(dot + 1));
  for (const std::string& n : names)
    if (TreeItem item = FindObjectItem(state, n)) return item;
  if (name.find('/') != std::string::npos)
    if (TreeItem item = FindPath(state, name)) return item;
  // The database and category items, or anything else already shown.
  std::vector<TreeItem> shown;
  CollectLabelled(state.tree, kNoTreeItem, name, shown);
  if (!shown.empty()) return shown.front();
  for (const std::string& n : names)
    if (TreeItem item = FindKeyItem(state, n)) return item;
  return kNoTreeItem;
}

}  // namespace ravelin
