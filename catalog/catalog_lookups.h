// The indexes of a SystemCatalog over its row lists: for each, the
// positions of the rows by key and the list length it was built for.

#ifndef RAVELIN_CATALOG_CATALOG_LOOKUPS_H_
#define RAVELIN_CATALOG_CATALOG_LOOKUPS_H_

#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string>

#include "catalog/row_index.h"
#include "catalog/system_catalog.h"

namespace ravelin {

constexpr size_t kNeverBuilt = std::numeric_limits<size_t>::max();

template <typename Key>
struct LazyIndex {
  RowIndexOf<Key> byKey;
  size_t builtFor = kNeverBuilt;
};

struct SystemCatalog::Lookups {
  LazyIndex<std::string> objectsByName;
  LazyIndex<int64_t> objectsById;
  LazyIndex<int64_t> objectsByParent;
  LazyIndex<int64_t> rowsetsByObject;
  LazyIndex<int64_t> indexesByObject;
  LazyIndex<int64_t> indexColumnsByObject;
  LazyIndex<int64_t> allocUnitsByOwner;
  LazyIndex<int64_t> allocUnitsById;
  LazyIndex<int64_t> columnsByObject;
  LazyIndex<int64_t> legacyColumnsByObject;
  LazyIndex<int64_t> rowsetColumnsByRowset;
  LazyIndex<int64_t> hobtColumnsByHobt;
  LazyIndex<int64_t> rowsetColumnMapByRowset;
  LazyIndex<int64_t> typesById;
  LazyIndex<int64_t> foreignKeysByParent;
  LazyIndex<int64_t> childObjectsById;
  LazyIndex<int64_t> objectRefsByDependent;
  std::map<uint32_t, std::set<PageRef>> systemPagesByKey;
};

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_CATALOG_LOOKUPS_H_
