// The object tree as a plain model: labelled items with item data, a bold
// flag and ordered children. The core builds it (recovery/tree_builder.h);
// a front end shows it and is told of changes through RecoveryView.
//
// Handles are stable: an item keeps its handle until DeleteAll, and handles
// are never reused, so a handle kept across a DeleteAll names nothing.
// Asking about a handle that names nothing gives empty answers.
//
// Every operation takes an internal lock, so a front end may read the tree
// (to paint it) while the one running worker changes it.

#ifndef RAVELIN_RECOVERY_OBJECT_TREE_H_
#define RAVELIN_RECOVERY_OBJECT_TREE_H_

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace ravelin {

using TreeItem = uint32_t;

// No item; as a parent, the top level of the tree.
inline constexpr TreeItem kNoTreeItem = 0;

enum class InsertAt { kFirst, kLast };

class ObjectTree {
 public:
  ObjectTree() = default;
  ObjectTree(const ObjectTree&) = delete;
  ObjectTree& operator=(const ObjectTree&) = delete;

  // Inserts an item under `parent` (kNoTreeItem: the top level) and
  // returns its handle; kNoTreeItem when `parent` names nothing.
  TreeItem Insert(const std::string& label, TreeItem parent, InsertAt where, int32_t data = 0);

  bool Contains(TreeItem item) const;
  std::string Label(TreeItem item) const;
  // kNoTreeItem for a top-level item.
  TreeItem Parent(TreeItem item) const;
  TreeItem FirstChild(TreeItem item) const;
  // The children of `item` in display order (kNoTreeItem: the top level).
  std::vector<TreeItem> Children(TreeItem item) const;
  int32_t Data(TreeItem item) const;
  void SetData(TreeItem item, int32_t data);
  bool Bold(TreeItem item) const;
  void SetBold(TreeItem item, bool bold);

  TreeItem Selected() const;
  // Selects `item`; kNoTreeItem (or a stale handle) clears the selection.
  void Select(TreeItem item);

  // Sorts the direct children of `item` by label, not recursively. Labels
  // compare as the Windows tree compares them, without regard to case:
  // ASCII letters are folded, other bytes of the UTF-8 text compare by
  // value. The sort is stable, so equal labels keep their order.
  void SortChildren(TreeItem item);

  void DeleteAll();
  bool empty() const;
  size_t size() const;

 private:
  struct Node {
    std::string label;
    TreeItem parent = kNoTreeItem;
    int32_t data = 0;
    bool bold = false;
    std::vector<TreeItem> children;
  };

  // The node of `item`, or null when it names nothing (mutex_ held).
  const Node* Find(TreeItem item) const;
  Node* Find(TreeItem item);
  std::vector<TreeItem>* ChildList(TreeItem item);

  mutable std::mutex mutex_;
  // Handle of nodes_[i] is base_ + i + 1.
  TreeItem base_ = 0;
  std::vector<Node> nodes_;
  std::vector<TreeItem> topLevel_;
  TreeItem selected_ = kNoTreeItem;
};

// The labels compared as SortChildren compares them.
bool TreeLabelLess(const std::string& a, const std::string& b);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_OBJECT_TREE_H_
