// Lookup of catalog rows by a key field, so that preparing a table costs
// time in proportion to its own rows rather than to the whole catalog.
//
// An index lists the positions of the rows with each key in list order, so
// visiting them gives exactly the rows, in exactly the order, that a walk
// over the whole list testing the key would give. ForEachMatch does one or
// the other; the walk stays available to check the index against.

#ifndef RAVELIN_CATALOG_ROW_INDEX_H_
#define RAVELIN_CATALOG_ROW_INDEX_H_

#include <cstdint>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace ravelin {

template <typename Key>
using RowIndexOf = std::unordered_map<Key, std::vector<uint32_t>>;
using RowIndex = RowIndexOf<int64_t>;

template <typename Key, typename Row, typename KeyFn>
RowIndexOf<Key> BuildRowIndex(const std::vector<Row>& rows, KeyFn keyOf) {
  RowIndexOf<Key> index;
  index.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) index[static_cast<Key>(keyOf(rows[i]))].push_back(static_cast<uint32_t>(i));
  return index;
}

// Calls `visit` on every row of `rows` whose key is `key`, in list order:
// through `index` when it is given, by walking the list otherwise. A visit
// that returns false ends the search.
template <typename Key, typename Rows, typename KeyFn, typename Visit>
void ForEachMatch(Rows& rows, const RowIndexOf<Key>* index, const Key& key, KeyFn keyOf, Visit visit) {
  auto call = [&](auto& row) {
    if constexpr (std::is_same_v<decltype(visit(row)), bool>) {
      return visit(row);
    } else {
      visit(row);
      return true;
    }
  };
  if (index) {
    auto it = index->find(key);
    if (it == index->end()) return;
    for (uint32_t position : it->second)
      if (!call(rows[position])) return;
    return;
  }
  for (auto& row : rows) {
    if (static_cast<Key>(keyOf(row)) != key) continue;
    if (!call(row)) return;
  }
}

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_ROW_INDEX_H_
