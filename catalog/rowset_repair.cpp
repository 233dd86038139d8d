// Mending single damaged fields of rowset rows (sysrowsets). A rowset row
// ties a rowset id to its object and index; the index's own row
// (sysidxstats) keeps the same three values, and a rowset made by SQL
// Server 2000 (a table upgraded since) has its object and index written
// into its id. Where one copy of a field disagrees with the others, the
// copies that agree are taken; a table whose heap or clustered rowset row
// took damage would otherwise lose every page.

#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "catalog/system_catalog.h"

namespace ravelin {
namespace {

// Rowset ids from 2^56 on are numbered apart from their object.
constexpr int64_t kNumberedApart = int64_t{1} << 56;
// More index ids than a table has (heap, clustered, nonclustered, xml and
// spatial indexes): a larger one is damage.
constexpr int32_t kMostIndexId = 0xFFFF;

// The object and index a rowset id made from them names, if it is one:
// (index << 48) | (object << 16), for user objects.
std::optional<std::pair<int32_t, int32_t>> EncodedIn(int64_t rowsetId) {
  if (rowsetId <= 0 || rowsetId >= kNumberedApart || (rowsetId & 0xFFFF) != 0) return std::nullopt;
  const auto objectId = static_cast<int32_t>((rowsetId >> 16) & 0xFFFFFFFF);
  const auto indexId = static_cast<int32_t>(rowsetId >> 48);
  if (objectId <= 100) return std::nullopt;
  return std::pair(objectId, indexId);
}

int64_t Encoded(int32_t objectId, int32_t indexId) {
  return (static_cast<int64_t>(indexId) << 48) | (static_cast<int64_t>(static_cast<uint32_t>(objectId)) << 16);
}

// Puts `other` into `field` where the two differ in one byte, or where a
// third copy (`third`) agrees with `other`.
template <typename T>
void Vote(T& field, T other, std::optional<T> third) {
  if (field == other) return;
  if (DifferInOneByte(field, other) || (third && *third == other)) field = other;
}

}  // namespace

void SystemCatalog::RepairRowsetRows() {
  std::map<int64_t, const IndexRow*> indexByRowset;
  std::set<int64_t> twice;
  for (const IndexRow& index : indexes) {
    if (index.rowsetId <= 0) continue;
    if (!indexByRowset.emplace(index.rowsetId, &index).second) twice.insert(index.rowsetId);
  }
  for (int64_t id : twice) indexByRowset.erase(id);
  std::set<int64_t> rowsetIds;
  for (const RowsetRow& row : rowsets) rowsetIds.insert(row.rowsetId);
  // A rowset id a unit row names as its owner stands; another id is taken
  // for it only where a unit names that one.
  std::set<int64_t> owners;
  for (const AllocUnitRow& unit : allocUnits) owners.insert(unit.ownerId);
  const auto betterId = [&](int64_t current, int64_t other) {
    return !owners.count(current) && owners.count(other) && !rowsetIds.count(other) && DifferInOneByte(current, other);
  };

  for (RowsetRow& row : rowsets) {
    // The rowset id itself first: where it names no index row and no
    // unit, but its object and index name an index row whose rowset id a
    // unit names and no rowset row has, one byte away.
    if (!indexByRowset.count(row.rowsetId)) {
      for (const IndexRow& index : indexes) {
        if (index.objectId != row.objectId || index.indexId != row.indexId || index.rowsetId <= 0) continue;
        if (!betterId(row.rowsetId, index.rowsetId)) continue;
        row.rowsetId = index.rowsetId;
        break;
      }
    }
    if (!indexByRowset.count(row.rowsetId) && row.objectId > 100 && row.indexId >= 0 && row.indexId <= kMostIndexId) {
      const int64_t encoded = Encoded(row.objectId, row.indexId);
      if (row.rowsetId < kNumberedApart && betterId(row.rowsetId, encoded)) row.rowsetId = encoded;
    }

    const auto encoded = EncodedIn(row.rowsetId);
    std::optional<int32_t> encodedObject;
    std::optional<int32_t> encodedIndex;
    if (encoded) encodedObject = encoded->first, encodedIndex = encoded->second;
    if (auto it = indexByRowset.find(row.rowsetId); it != indexByRowset.end()) {
      const IndexRow& index = *it->second;
      Vote(row.objectId, index.objectId, encodedObject);
      Vote(row.indexId, index.indexId, encodedIndex);
    } else if (encoded) {
      // The id's copy alone: only a field the other one confirms is put
      // back.
      if (row.objectId == encoded->first) Vote(row.indexId, encoded->second, encodedIndex);
      if (row.indexId == encoded->second) Vote(row.objectId, encoded->first, encodedObject);
    }
  }

  // Index ids no index has, one byte away from the heap's or the clustered
  // index's, for a table that has no rowset of either.
  std::set<int32_t> withBase;
  for (const RowsetRow& row : rowsets)
    if (row.indexId == 0 || row.indexId == 1) withBase.insert(row.objectId);
  for (RowsetRow& row : rowsets) {
    if (withBase.count(row.objectId) || (row.indexId >= 0 && row.indexId <= kMostIndexId)) continue;
    int32_t candidate = -1;
    int fits = 0;
    for (int32_t base : {0, 1})
      if (DifferInOneByte(row.indexId, base)) candidate = base, ++fits;
    if (fits != 1) continue;
    row.indexId = candidate;
    withBase.insert(row.objectId);
  }

  // An object id no object has, one byte away from the id of one table
  // alone that has no heap or clustered rowset.
  std::set<int32_t> objectIds;
  for (const ObjectRow& object : objects) objectIds.insert(object.objectId);
  for (RowsetRow& row : rowsets) {
    if (objectIds.count(row.objectId) || (row.indexId != 0 && row.indexId != 1)) continue;
    int32_t candidate = 0;
    int fits = 0;
    for (const ObjectRow& object : objects)
      if (IsTableTypeCode(object.typeCode) && !withBase.count(object.objectId) &&
          DifferInOneByte(row.objectId, object.objectId) && candidate != object.objectId)
        candidate = object.objectId, ++fits;
    if (fits != 1) continue;
    row.objectId = candidate;
    withBase.insert(candidate);
  }
}

}  // namespace ravelin
