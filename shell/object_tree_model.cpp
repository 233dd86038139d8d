#include "shell/object_tree_model.h"

#include <QApplication>
#include <algorithm>
#include <deque>
#include <unordered_set>

#include "recovery/tree_builder.h"
#include "shell/icons.h"

namespace ravelin {
namespace {

bool IsNodeOfTable(const std::string& label) {
  return label == kLabelColumns || label == kLabelPrimaryKey || label == kLabelConstraint || label == kLabelUnique ||
         label == kLabelForeignKey;
}

}  // namespace

ObjectTreeModel::ObjectTreeModel(const ObjectTree& tree, QObject* parent) : QAbstractItemModel(parent), tree_(tree) {
  nodes_[kNoTreeItem] = Node();
  SetBaseFont(QApplication::font());
}

const ObjectTreeModel::Node* ObjectTreeModel::Find(TreeItem item) const {
  auto it = nodes_.find(item);
  return it == nodes_.end() ? nullptr : &it->second;
}

TreeItem ObjectTreeModel::ItemOf(const QModelIndex& index) {
  return index.isValid() ? static_cast<TreeItem>(index.internalId()) : kNoTreeItem;
}

QModelIndex ObjectTreeModel::IndexOfKnown(TreeItem item) const {
  const Node* node = item == kNoTreeItem ? nullptr : Find(item);
  return node ? createIndex(node->row, 0, static_cast<quintptr>(item)) : QModelIndex();
}

QModelIndex ObjectTreeModel::index(int row, int column, const QModelIndex& parent) const {
  const Node* node = Find(ItemOf(parent));
  if (!node || column != 0 || row < 0 || row >= static_cast<int>(node->children.size())) return {};
  return createIndex(row, 0, static_cast<quintptr>(node->children[static_cast<size_t>(row)]));
}

QModelIndex ObjectTreeModel::parent(const QModelIndex& child) const {
  const Node* node = Find(ItemOf(child));
  return node ? IndexOfKnown(node->parent) : QModelIndex();
}

int ObjectTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  const Node* node = Find(ItemOf(parent));
  return node ? static_cast<int>(node->children.size()) : 0;
}

int ObjectTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant ObjectTreeModel::data(const QModelIndex& index, int role) const {
  const TreeItem item = ItemOf(index);
  const Node* node = Find(item);
  if (!node || item == kNoTreeItem) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return QString::fromStdString(tree_.Label(item));
    case Qt::FontRole:
      if (tree_.Bold(item)) return boldFont_;
      return {};
    case Qt::DecorationRole:
      switch (node->kind) {
        case Kind::kDatabase:
          return ShellIcon(IconId::kDatabase);
        case Kind::kFolder:
          return ShellIcon(IconId::kFolder);
        case Kind::kTable:
          return ShellIcon(IconId::kTable);
        case Kind::kColumn:
          return ShellIcon(IconId::kColumn);
        case Kind::kObject:
          return ShellIcon(IconId::kObject);
      }
      return {};
    default:
      return {};
  }
}

bool ObjectTreeModel::hasChildren(const QModelIndex& parent) const {
  const TreeItem item = ItemOf(parent);
  const Node* node = Find(item);
  if (!node) return false;
  if (node->fetched) return !node->children.empty();
  return item == kNoTreeItem ? !tree_.empty() : tree_.FirstChild(item) != kNoTreeItem;
}

bool ObjectTreeModel::canFetchMore(const QModelIndex& parent) const {
  const Node* node = Find(ItemOf(parent));
  return node && !node->fetched;
}

void ObjectTreeModel::fetchMore(const QModelIndex& parent) {
  const TreeItem item = ItemOf(parent);
  auto it = nodes_.find(item);
  if (it == nodes_.end() || it->second.fetched) return;
  const std::vector<TreeItem> children = tree_.Children(item);
  if (children.empty()) {
    it->second.fetched = true;
    return;
  }
  beginInsertRows(parent, 0, static_cast<int>(children.size()) - 1);
  for (size_t i = 0; i < children.size(); ++i) AddNode(children[i], item, static_cast<int>(i));
  Node& node = nodes_[item];
  node.children = children;
  node.fetched = true;
  endInsertRows();
}

bool ObjectTreeModel::HasColumnList(TreeItem item) const {
  for (TreeItem child : tree_.Children(item))
    if (tree_.Label(child) == kLabelColumns) return true;
  return false;
}

ObjectTreeModel::Kind ObjectTreeModel::KindOf(TreeItem item, TreeItem parent) const {
  if (parent == kNoTreeItem) return Kind::kDatabase;
  const Node* parentNode = Find(parent);
  if (!parentNode) return Kind::kObject;
  const std::string parentLabel = tree_.Label(parent);
  const TreeItem grandparent = parentNode->parent;
  if (grandparent == kNoTreeItem) return Kind::kFolder;
  const Node* grandNode = Find(grandparent);
  if (grandNode && grandNode->parent == kNoTreeItem && (parentLabel == "Tables" || parentLabel == "Programmability"))
    return Kind::kFolder;
  if (grandNode && grandNode->kind == Kind::kFolder && (parentLabel == "User Tables" || parentLabel == "System Tables"))
    return Kind::kTable;
  // Any other item with a column list is a table as well: a table the core
  // recovered without its catalog rows ("Lost table" items), wherever the
  // core puts it.
  if (parentLabel != kLabelColumns && HasColumnList(item)) return Kind::kTable;
  if (parentNode->kind == Kind::kTable && IsNodeOfTable(tree_.Label(item))) return Kind::kFolder;
  if (parentLabel == kLabelColumns && grandNode && grandNode->kind == Kind::kTable) return Kind::kColumn;
  return Kind::kObject;
}

void ObjectTreeModel::AddNode(TreeItem item, TreeItem parent, int row) {
  Node node;
  node.parent = parent;
  node.row = row;
  nodes_[item] = node;
  nodes_[item].kind = KindOf(item, parent);
}

void ObjectTreeModel::Renumber(Node& node) {
  for (size_t i = 0; i < node.children.size(); ++i) nodes_[node.children[i]].row = static_cast<int>(i);
}

bool ObjectTreeModel::RefreshNode(TreeItem item) {
  const std::vector<TreeItem> now = tree_.Children(item);
  std::vector<TreeItem>& cached = nodes_[item].children;
  if (now == cached) {
    if (!cached.empty()) {
      const QModelIndex parentIndex = IndexOfKnown(item);
      emit dataChanged(index(0, 0, parentIndex), index(static_cast<int>(cached.size()) - 1, 0, parentIndex));
    }
    return true;
  }
  const std::unordered_set<TreeItem> inNow(now.begin(), now.end());
  for (TreeItem child : cached)
    if (!inNow.count(child)) return false;

  // New children go to the end first; a reorder then puts them in place.
  const QModelIndex parentIndex = IndexOfKnown(item);
  const std::unordered_set<TreeItem> known(cached.begin(), cached.end());
  std::vector<TreeItem> added;
  for (TreeItem child : now)
    if (!known.count(child)) added.push_back(child);
  if (!added.empty()) {
    const int first = static_cast<int>(nodes_[item].children.size());
    beginInsertRows(parentIndex, first, first + static_cast<int>(added.size()) - 1);
    for (size_t i = 0; i < added.size(); ++i) AddNode(added[i], item, first + static_cast<int>(i));
    std::vector<TreeItem>& children = nodes_[item].children;
    children.insert(children.end(), added.begin(), added.end());
    endInsertRows();
  }
  if (nodes_[item].children != now) {
    emit layoutAboutToBeChanged({QPersistentModelIndex(parentIndex)}, QAbstractItemModel::VerticalSortHint);
    Node& node = nodes_[item];
    node.children = now;
    Renumber(node);
    QModelIndexList from, to;
    for (const QModelIndex& old : persistentIndexList()) {
      const Node* moved = Find(ItemOf(old));
      if (!moved || moved->parent != item || moved->row == old.row()) continue;
      from.append(old);
      to.append(createIndex(moved->row, old.column(), old.internalId()));
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({QPersistentModelIndex(parentIndex)}, QAbstractItemModel::VerticalSortHint);
  }
  return true;
}

void ObjectTreeModel::Refresh() {
  // Handles are never reused: a cached item the tree no longer holds means
  // the whole tree was replaced.
  const Node& top = nodes_[kNoTreeItem];
  const bool replaced = !top.children.empty() && !tree_.Contains(top.children.front());
  bool consistent = !replaced;
  if (consistent) {
    std::deque<TreeItem> open{kNoTreeItem};
    while (!open.empty() && consistent) {
      const TreeItem item = open.front();
      open.pop_front();
      if (!nodes_[item].fetched) continue;
      consistent = RefreshNode(item);
      for (TreeItem child : nodes_[item].children) open.push_back(child);
    }
  }
  if (!consistent) {
    beginResetModel();
    nodes_.clear();
    nodes_[kNoTreeItem] = Node();
    endResetModel();
  }
  // Items not yet opened may have gained children: let the view ask again.
  emit layoutAboutToBeChanged();
  emit layoutChanged();
}

QModelIndex ObjectTreeModel::IndexOf(TreeItem item) {
  if (item == kNoTreeItem || !tree_.Contains(item)) return {};
  std::vector<TreeItem> path;
  for (TreeItem at = item; at != kNoTreeItem; at = tree_.Parent(at)) path.push_back(at);
  TreeItem parent = kNoTreeItem;
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    QModelIndex parentIndex = IndexOfKnown(parent);
    if (!nodes_[parent].fetched) fetchMore(parentIndex);
    if (!Find(*it)) {
      RefreshNode(parent);
      if (!Find(*it)) return {};
    }
    parent = *it;
  }
  return IndexOfKnown(item);
}

}  // namespace ravelin
