#include "recovery/object_tree.h"

#include <algorithm>

namespace ravelin {
namespace {

unsigned char FoldCase(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

}  // namespace

bool TreeLabelLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return FoldCase(x) < FoldCase(y); });
}

const ObjectTree::Node* ObjectTree::Find(TreeItem item) const {
  if (item <= base_ || item - base_ > nodes_.size()) return nullptr;
  return &nodes_[item - base_ - 1];
}

ObjectTree::Node* ObjectTree::Find(TreeItem item) {
  return const_cast<Node*>(static_cast<const ObjectTree*>(this)->Find(item));
}

std::vector<TreeItem>* ObjectTree::ChildList(TreeItem item) {
  if (item == kNoTreeItem) return &topLevel_;
  Node* node = Find(item);
  return node ? &node->children : nullptr;
}

TreeItem ObjectTree::Insert(const std::string& label, TreeItem parent, InsertAt where, int32_t data) {
  std::lock_guard lock(mutex_);
  std::vector<TreeItem>* siblings = ChildList(parent);
  if (!siblings) return kNoTreeItem;
  const TreeItem handle = base_ + static_cast<TreeItem>(nodes_.size()) + 1;
  if (where == InsertAt::kFirst)
    siblings->insert(siblings->begin(), handle);
  else
    siblings->push_back(handle);
  // After the sibling list is used: the push may move every node.
  nodes_.push_back(Node{label, parent, data, false, {}});
  return handle;
}

bool ObjectTree::Contains(TreeItem item) const {
  std::lock_guard lock(mutex_);
  return Find(item) != nullptr;
}

std::string ObjectTree::Label(TreeItem item) const {
  std::lock_guard lock(mutex_);
  const Node* node = Find(item);
  return node ? node->label : std::string();
}

TreeItem ObjectTree::Parent(TreeItem item) const {
  std::lock_guard lock(mutex_);
  const Node* node = Find(item);
  return node ? node->parent : kNoTreeItem;
}

TreeItem ObjectTree::FirstChild(TreeItem item) const {
  std::lock_guard lock(mutex_);
  const Node* node = Find(item);
  return node && !node->children.empty() ? node->children.front() : kNoTreeItem;
}

std::vector<TreeItem> ObjectTree::Children(TreeItem item) const {
  std::lock_guard lock(mutex_);
  if (item == kNoTreeItem) return topLevel_;
  const Node* node = Find(item);
  return node ? node->children : std::vector<TreeItem>();
}

int32_t ObjectTree::Data(TreeItem item) const {
  std::lock_guard lock(mutex_);
  const Node* node = Find(item);
  return node ? node->data : 0;
}

void ObjectTree::SetData(TreeItem item, int32_t data) {
  std::lock_guard lock(mutex_);
  if (Node* node = Find(item)) node->data = data;
}

bool ObjectTree::Bold(TreeItem item) const {
  std::lock_guard lock(mutex_);
  const Node* node = Find(item);
  return node && node->bold;
}

void ObjectTree::SetBold(TreeItem item, bool bold) {
  std::lock_guard lock(mutex_);
  if (Node* node = Find(item)) node->bold = bold;
}

TreeItem ObjectTree::Selected() const {
  std::lock_guard lock(mutex_);
  return selected_;
}

void ObjectTree::Select(TreeItem item) {
  std::lock_guard lock(mutex_);
  selected_ = Find(item) ? item : kNoTreeItem;
}

void ObjectTree::SortChildren(TreeItem item) {
  std::lock_guard lock(mutex_);
  std::vector<TreeItem>* children = ChildList(item);
  if (!children) return;
  std::stable_sort(children->begin(), children->end(),
                   [this](TreeItem a, TreeItem b) { return TreeLabelLess(Find(a)->label, Find(b)->label); });
}

void ObjectTree::DeleteAll() {
  std::lock_guard lock(mutex_);
  base_ += static_cast<TreeItem>(nodes_.size());
  nodes_.clear();
  topLevel_.clear();
  selected_ = kNoTreeItem;
}

bool ObjectTree::empty() const {
  std::lock_guard lock(mutex_);
  return nodes_.empty();
}

size_t ObjectTree::size() const {
  std::lock_guard lock(mutex_);
  return nodes_.size();
}

}  // namespace ravelin
