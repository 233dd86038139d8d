// The object tree pane's model: the core's ObjectTree as Qt sees it. Items
// are identified by their tree handles; a node's children are read from
// the tree when the view first opens it, and Refresh() brings every opened
// node up to date after the core reports a change (items added, children
// sorted, bold marks, or the whole tree replaced).

#ifndef RAVELIN_SHELL_OBJECT_TREE_MODEL_H_
#define RAVELIN_SHELL_OBJECT_TREE_MODEL_H_

#include <QAbstractItemModel>
#include <QFont>
#include <unordered_map>
#include <vector>

#include "recovery/object_tree.h"

namespace ravelin {

class ObjectTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  // `tree` must outlive the model.
  explicit ObjectTreeModel(const ObjectTree& tree, QObject* parent = nullptr);

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  // Brings the opened nodes up to date with the tree.
  void Refresh();

  // The tree item of `index`; kNoTreeItem for the invisible top.
  static TreeItem ItemOf(const QModelIndex& index);
  // The index of `item`, opening its ancestors as needed; invalid when the
  // tree holds no such item.
  QModelIndex IndexOf(TreeItem item);

  void SetBaseFont(const QFont& font) { boldFont_ = font, boldFont_.setBold(true); }

 private:
  enum class Kind { kDatabase, kFolder, kTable, kColumn, kObject };
  struct Node {
    TreeItem parent = kNoTreeItem;
    int row = 0;  // position among its parent's children
    Kind kind = Kind::kObject;
    bool fetched = false;
    std::vector<TreeItem> children;
  };

  const Node* Find(TreeItem item) const;
  QModelIndex IndexOfKnown(TreeItem item) const;
  Kind KindOf(TreeItem item, TreeItem parent) const;
  bool HasColumnList(TreeItem item) const;
  void AddNode(TreeItem item, TreeItem parent, int row);
  void Renumber(Node& node);
  // Brings one opened node's children up to date; false when the node
  // lost children, which only a full reset can show.
  bool RefreshNode(TreeItem item);

  const ObjectTree& tree_;
  // Every item the model has met; kNoTreeItem is the invisible top.
  std::unordered_map<TreeItem, Node> nodes_;
  QFont boldFont_;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_OBJECT_TREE_MODEL_H_
