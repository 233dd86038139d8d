// Positions of catalog rows by a key field, so that preparing a table costs
// time in proportion to its own rows rather than to the whole catalog.
//
// An index lists the positions of the rows with each key in list order, so
// visiting them gives exactly the rows, in exactly the order, that a walk
// over the whole list testing the key would give.

#ifndef RAVELIN_CATALOG_ROW_INDEX_H_
#define RAVELIN_CATALOG_ROW_INDEX_H_

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace ravelin {

template <typename Key>
using RowIndexOf = std::unordered_map<Key, std::vector<uint32_t>>;

template <typename Key, typename Row, typename KeyFn>
RowIndexOf<Key> BuildRowIndex(const std::vector<Row>& rows, KeyFn keyOf) {
  RowIndexOf<Key> index;
  index.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) index[static_cast<Key>(keyOf(rows[i]))].push_back(static_cast<uint32_t>(i));
  return index;
}

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_ROW_INDEX_H_
