// Lookups of catalog rows by key. Each lookup names its list and its key
// once, so the index and the walk over the list can never disagree on
// which rows match.

#include "catalog/catalog_lookups.h"

namespace ravelin {

namespace {

int64_t PairKey(int32_t high, int32_t low) {
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | static_cast<uint32_t>(low));
}

// The positions of the rows of `rows` whose key is `key`: from the index,
// (re)built when the list has changed length, or by walking the list.
template <typename Key, typename Row, typename KeyFn>
std::vector<uint32_t> Find(bool useIndex, LazyIndex<Key>& lazy, const std::vector<Row>& rows, const Key& key,
                           KeyFn keyOf) {
  if (useIndex) {
    if (lazy.builtFor != rows.size()) {
      lazy.byKey = BuildRowIndex<Key>(rows, keyOf);
      lazy.builtFor = rows.size();
    }
    auto it = lazy.byKey.find(key);
    return it == lazy.byKey.end() ? std::vector<uint32_t>{} : it->second;
  }
  std::vector<uint32_t> positions;
  for (size_t i = 0; i < rows.size(); ++i)
    if (static_cast<Key>(keyOf(rows[i])) == key) positions.push_back(static_cast<uint32_t>(i));
  return positions;
}

int64_t MaskedId(int32_t objectId) { return objectId & kObjectIdMask; }

}  // namespace

void SystemCatalog::BuildIndexes() {
  lookups_ = std::make_unique<Lookups>();
  if (!useIndexes) return;
  // Touch every index once so that the first preparation pays nothing.
  ObjectsNamed("");
  ObjectsWithId(0);
  ObjectsWithParent(0);
  RowsetsOf(0);
  IndexesOf(0);
  IndexColumnsOf(0);
  AllocUnitsOwnedBy(0);
  AllocUnitsWithId(0);
  ColumnsOf(0);
  LegacyColumnsOf(0);
  RowsetColumnsOf(0);
  HobtColumnsOf(0);
  RowsetColumnMapOf(0);
  TypesWithId(0);
  ForeignKeysOf(0);
  ChildObjectsWithId(0);
  ObjectRefsOf(0, 0);
}

std::vector<uint32_t> SystemCatalog::ObjectsNamed(const std::string& name) {
  return Find(useIndexes, lookups_->objectsByName, objects, name, [](const ObjectRow& r) { return r.name; });
}

std::vector<uint32_t> SystemCatalog::ObjectsWithId(int32_t objectId) {
  return Find(useIndexes, lookups_->objectsById, objects, int64_t{objectId},
              [](const ObjectRow& r) { return int64_t{r.objectId}; });
}

std::vector<uint32_t> SystemCatalog::ObjectsWithParent(int32_t parentId) {
  return Find(useIndexes, lookups_->objectsByParent, objects, int64_t{parentId},
              [](const ObjectRow& r) { return int64_t{r.parentId}; });
}

std::vector<uint32_t> SystemCatalog::RowsetsOf(int32_t objectId) {
  return Find(useIndexes, lookups_->rowsetsByObject, rowsets, int64_t{objectId},
              [](const RowsetRow& r) { return int64_t{r.objectId}; });
}

std::vector<uint32_t> SystemCatalog::IndexesOf(int32_t objectId) {
  return Find(useIndexes, lookups_->indexesByObject, indexes, int64_t{objectId},
              [](const IndexRow& r) { return int64_t{r.objectId}; });
}

std::vector<uint32_t> SystemCatalog::IndexColumnsOf(int32_t objectId) {
  return Find(useIndexes, lookups_->indexColumnsByObject, indexColumns, int64_t{objectId},
              [](const IndexColumnRow& r) { return int64_t{r.objectId}; });
}

std::vector<uint32_t> SystemCatalog::AllocUnitsOwnedBy(int64_t rowsetId) {
  return Find(useIndexes, lookups_->allocUnitsByOwner, allocUnits, rowsetId,
              [](const AllocUnitRow& r) { return r.ownerId; });
}

std::vector<uint32_t> SystemCatalog::AllocUnitsWithId(int64_t allocUnitId) {
  return Find(useIndexes, lookups_->allocUnitsById, allocUnits, allocUnitId,
              [](const AllocUnitRow& r) { return r.allocUnitId; });
}

std::vector<uint32_t> SystemCatalog::ColumnsOf(int32_t objectId) {
  return Find(useIndexes, lookups_->columnsByObject, columns, MaskedId(objectId),
              [](const ColumnRow& r) { return MaskedId(r.objectId); });
}

std::vector<uint32_t> SystemCatalog::LegacyColumnsOf(int32_t objectId) {
  return Find(useIndexes, lookups_->legacyColumnsByObject, legacyColumns, MaskedId(objectId),
              [](const LegacyColumnRow& r) { return MaskedId(r.objectId); });
}

std::vector<uint32_t> SystemCatalog::RowsetColumnsOf(int64_t rowsetId) {
  return Find(useIndexes, lookups_->rowsetColumnsByRowset, rowsetColumns, rowsetId,
              [](const RowsetColumnRow& r) { return r.rowsetId; });
}

std::vector<uint32_t> SystemCatalog::HobtColumnsOf(int64_t hobtId) {
  return Find(useIndexes, lookups_->hobtColumnsByHobt, hobtColumns, hobtId,
              [](const HobtColumnRow& r) { return r.hobtId; });
}

std::vector<uint32_t> SystemCatalog::RowsetColumnMapOf(int64_t rowsetId) {
  return Find(useIndexes, lookups_->rowsetColumnMapByRowset, rowsetColumnMap, rowsetId,
              [](const RowsetColumnMapRow& r) { return r.rowsetId; });
}

std::vector<uint32_t> SystemCatalog::TypesWithId(int32_t typeId) {
  return Find(useIndexes, lookups_->typesById, types, int64_t{typeId},
              [](const TypeRow& r) { return int64_t{r.typeId}; });
}

std::vector<uint32_t> SystemCatalog::ForeignKeysOf(int32_t parentObjectId) {
  return Find(useIndexes, lookups_->foreignKeysByParent, foreignKeyColumns, int64_t{parentObjectId},
              [](const ForeignKeyColumn& r) { return int64_t{r.parentObjectId}; });
}

std::vector<uint32_t> SystemCatalog::ChildObjectsWithId(int32_t objectId) {
  return Find(useIndexes, lookups_->childObjectsById, childObjects, int64_t{objectId},
              [](const ChildObject& r) { return int64_t{r.objectId}; });
}

std::vector<uint32_t> SystemCatalog::ObjectRefsOf(int32_t dependentId, int32_t dependentSubId) {
  return Find(useIndexes, lookups_->objectRefsByDependent, objectRefs, PairKey(dependentId, dependentSubId),
              [](const ObjectRefRow& r) { return PairKey(r.dependentId, r.dependentSubId); });
}

const std::set<PageRef>& SystemCatalog::SystemPagesUnder(uint32_t key) {
  auto [it, added] = lookups_->systemPagesByKey.try_emplace(key);
  if (added) {
    if (const std::vector<PageMapEntry>* entries = PagesUnder(systemPages_, key))
      for (const PageMapEntry& entry : *entries) it->second.insert(entry.ToPageRef());
  }
  return it->second;
}

}  // namespace ravelin
