// The object tree as text, one item a line, indented two blanks per level,
// bold items marked " *" and, when asked, item data in brackets: trees
// compare as strings and failures show them whole.

#ifndef RAVELIN_TESTS_SUPPORT_TREE_DUMP_H_
#define RAVELIN_TESTS_SUPPORT_TREE_DUMP_H_

#include <string>

#include "recovery/object_tree.h"

namespace ravelin::testing {

inline void DumpItem(const ObjectTree& tree, TreeItem item, int depth, bool withData, std::string& out) {
  out += std::string(static_cast<size_t>(depth) * 2, ' ') + tree.Label(item);
  if (tree.Bold(item)) out += " *";
  if (withData) out += " [" + std::to_string(tree.Data(item)) + "]";
  out += "\n";
  for (TreeItem child : tree.Children(item)) DumpItem(tree, child, depth + 1, withData, out);
}

// The whole tree, or the subtree of `item`.
inline std::string DumpTree(const ObjectTree& tree, TreeItem item = kNoTreeItem, bool withData = false) {
  std::string out;
  if (item != kNoTreeItem) {
    DumpItem(tree, item, 0, withData, out);
    return out;
  }
  for (TreeItem top : tree.Children(kNoTreeItem)) DumpItem(tree, top, 0, withData, out);
  return out;
}

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_TREE_DUMP_H_
