// The object model over the catalog rows: finding objects, their
// constraints and rowsets, the joins of child objects, references and
// foreign keys, and what preparing an object yields.

#include <cstdio>

#include "catalog/system_catalog.h"

namespace ravelin {
namespace {

// Objects shown by their definition rather than their rows. "UQ" is not
// among them: a unique constraint is prepared like a table.
bool IsNonTableTypeCode(const std::string& typeCode) {
  static const char* const kCodes[] = {"PK", "X ", "P ", "C ", "FN", "IF", "TR", "V ", "D ", "TT", "F ", "TF"};
  for (const char* code : kCodes)
    if (typeCode == code) return true;
  return false;
}

}  // namespace

ObjectRow SystemCatalog::FindObject(const std::string& name, const std::string& typeCode) {
  for (uint32_t i : ObjectsNamed(name)) {
    const ObjectRow& row = objects[i];
    if (row.typeCode == typeCode || !IsTableTypeCode(row.typeCode)) return row;
  }
  return ObjectRow{};
}

void SystemCatalog::LoadKeyConstraints(int32_t objectId) {
  keyConstraints.clear();
  const bool sql2000 = IsSql2000();
  for (uint32_t i : ObjectsWithParent(objectId)) {
    const ObjectRow& row = objects[i];
    KeyConstraint key;
    key.typeCode = row.typeCode;
    key.name = row.name;
    key.id = sql2000 ? row.parentId : row.objectId;
    key.isPrimaryKey = row.typeCode == "PK";
    key.isUnique = row.typeCode == "UQ";
    key.isForeignKey = row.typeCode == "F ";
    keyConstraints.push_back(std::move(key));
  }
}

void SystemCatalog::LoadObjectRowsets(int32_t objectId) {
  objectRowsets.clear();
  for (uint32_t i : RowsetsOf(objectId)) objectRowsets.push_back(rowsets[i]);
  if (!objectRowsets.empty()) return;
  for (uint32_t i : IndexesOf(objectId)) {
    const IndexRow& index = indexes[i];
    if (index.rowsetId == 0) continue;
    RowsetRow rowset;
    rowset.rowsetId = index.rowsetId;
    rowset.objectId = objectId;
    rowset.status = index.status;
    objectRowsets.push_back(rowset);
  }
}

void SystemCatalog::JoinChildObjects() {
  childObjects.clear();
  referencingChildObjects.clear();
  foreignKeyColumns.clear();

  for (const ObjectRow& row : objects) {
    if (row.schemaClass != 0 || row.parentClass != 1) continue;
    ChildObject child;
    child.name = row.name;
    child.objectId = row.objectId;
    child.schemaId = row.schemaId;
    child.parentId = row.parentId;
    child.typeCode = row.typeCode;
    child.intProp = row.intProp;
    childObjects.push_back(std::move(child));
  }

  // Class 97 names what a child depends on; class 27 the index a key uses.
  for (const ObjectRefRow& ref : objectRefs) {
    if (ref.dependentSubId != 0 || (ref.refClass != 97 && ref.refClass != 27)) continue;
    for (uint32_t i : ChildObjectsWithId(ref.dependentId)) {
      ChildObject& child = childObjects[i];
      if (ref.refClass == 97) {
        child.referencedIndependentId = ref.independentId;
      } else {
        child.referencedObjectId = ref.independentId;
        child.referencedIndexId = ref.independentSubId;
      }
      referencingChildObjects.push_back(child);
    }
  }

  // A foreign key column: class 28 gives the parent column, class 29 with
  // the same constraint and column number the referenced one.
  for (const ObjectRefRow& from : objectRefs) {
    if (from.refClass != 28) continue;
    for (uint32_t i : ObjectRefsOf(from.dependentId, from.dependentSubId)) {
      const ObjectRefRow& to = objectRefs[i];
      if (to.refClass != 29) continue;
      ForeignKeyColumn key;
      key.constraintId = from.dependentId;
      key.constraintColumnId = from.dependentSubId;
      key.parentObjectId = from.independentId;
      key.parentColumnId = from.independentSubId;
      key.referencedObjectId = to.independentId;
      key.referencedColumnId = to.independentSubId;
      foreignKeyColumns.push_back(std::move(key));
    }
  }

  // Names: of several rows with the same id, the last one read wins.
  for (ForeignKeyColumn& key : foreignKeyColumns) {
    for (uint32_t i : ObjectsWithId(key.parentObjectId)) key.parentTableName = objects[i].name;
    for (uint32_t i : ObjectsWithId(key.referencedObjectId)) key.referencedTableName = objects[i].name;
    for (uint32_t i : ObjectsWithId(key.constraintId)) {
      key.constraintName = objects[i].name;
      key.constraintStatus = objects[i].status;
    }
    for (uint32_t i : ColumnsOf(key.parentObjectId)) {
      const ColumnRow& column = columns[i];
      if (column.objectId == key.parentObjectId && column.columnId == key.parentColumnId)
        key.parentColumnName = column.name;
    }
    for (uint32_t i : ColumnsOf(key.referencedObjectId)) {
      const ColumnRow& column = columns[i];
      if (column.objectId == key.referencedObjectId && column.columnId == key.referencedColumnId)
        key.referencedColumnName = column.name;
    }
  }
}

std::vector<ColumnDescriptor> SystemCatalog::PrepareObject(const std::string& name, const std::string& typeCode,
                                                           const std::vector<DefinitionEntry>& /*definitions*/) {
  currentObject = FindObject(name, typeCode);
  if (currentObject.objectId == -1) {
    // Nothing of an earlier object may pass for this one.
    isTable = false;
    keyConstraints.clear();
    return {};
  }
  char idText[16];
  std::snprintf(idText, sizeof idText, "%d", currentObject.objectId);
  LoadKeyConstraints(currentObject.objectId);
  if (IsNonTableTypeCode(currentObject.typeCode)) {
    isTable = false;
    std::vector<ColumnDescriptor> described(3);
    described[0].definitionText = idText;
    described[1].definitionText = currentObject.typeCode;
    described[2].definitionText = currentObject.name;
    return described;
  }
  return PrepareTable(name);
}

}  // namespace ravelin
