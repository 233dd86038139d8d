#include "catalog/schema_scripts.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "catalog/system_catalog.h"

namespace ravelin {
namespace {

std::string Format(const char* format, const std::string& a, const std::string& b, const std::string& c = {}) {
  const int length = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str(), c.c_str());
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, a.c_str(), b.c_str(), c.c_str());
  text.resize(static_cast<size_t>(length));
  return text;
}

// Whether the index name `indexName` names the key `keyName`, which may
// carry a schema prefix the index name lacks.
bool NamesKey(const std::string& indexName, const std::string& keyName) {
  if (indexName.empty()) return false;
  if (indexName == keyName) return true;
  return keyName.size() > indexName.size() && keyName.ends_with(indexName) &&
         keyName[keyName.size() - indexName.size() - 1] == '.';
}

}  // namespace

std::string KeyColumnText(const std::vector<std::string>& columns) {
  std::string text;
  for (const std::string& name : columns) text += name + " , ";
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  if (!text.empty()) text.pop_back();
  return text;
}

std::string PrimaryKeyScript(const KeyColumns& key) {
  return Format("ALTER TABLE %s ADD PRIMARY KEY (%s)", key.table, KeyColumnText(key.columns));
}

std::string UniqueKeyScript(const KeyColumns& key, const std::string& keyName) {
  return Format("ALTER TABLE[dbo].[%s] WITH NOCHECK ADD CONSTRAINT[%s] UNIQUE CLUSTERED \r\n(\r\n[%s] DSC\r\n)",
                key.table, keyName, KeyColumnText(key.columns));
}

std::string CheckScript(const std::string& table, const std::string& constraintName, const std::string& definition) {
  return Format("ALTER TABLE  [dbo].[%s] WITH NOCHECK ADD CONSTRAINT[%s] CHECK %s", table, constraintName, definition);
}

KeyColumns LegacyKeyColumns(const SystemCatalog& catalog, int32_t keyData, const std::string& keyName, bool unique) {
  KeyColumns key;
  const LegacyTable* found = nullptr;
  for (const LegacyTable& table : catalog.legacyTables)
    if (table.objectId == keyData) found = &table;
  if (!found) return key;
  key.table = found->name;

  std::map<int16_t, std::string> names;
  for (const LegacyColumnRow& row : catalog.legacyColumns)
    if (row.objectId == keyData) names.emplace(row.columnId, row.name);
  for (const LegacyIndexKey& index : catalog.legacyIndexKeys) {
    if (index.objectId != keyData || !NamesKey(index.name, keyName)) continue;
    for (const LegacyKeyColumn& column : index.keyColumns)
      if (auto it = names.find(column.columnId); it != names.end()) key.columns.push_back(it->second);
    if (!key.columns.empty()) return key;
  }

  // typeStatus bit 0 is the column's NOT NULL flag: a poor guess at the
  // key, kept for catalogs whose index rows are lost.
  for (const LegacyTableColumn& column : found->columns)
    if ((column.typeStatus & 1) != 0 || (unique && column.typeStatus == 0)) key.columns.push_back(column.name);
  return key;
}

KeyColumns CatalogKeyColumns(SystemCatalog& catalog, const std::string& table, const std::string& typeCode,
                             const std::string& keyName, bool unique, const std::vector<DefinitionEntry>& definitions) {
  KeyColumns key;
  key.table = table;
  const std::vector<ColumnDescriptor> descriptors = catalog.PrepareObject(table, typeCode, definitions);
  if (!catalog.isTable) return key;

  std::map<int32_t, std::string> names;
  for (const ColumnDescriptor& d : descriptors) names.emplace(d.columnId, d.name);
  const int32_t objectId = catalog.currentObject.objectId;
  for (const IndexRow& index : catalog.tableIndexes) {
    if (!NamesKey(index.name, keyName)) continue;
    std::vector<const IndexColumnRow*> keyColumns;
    for (const IndexColumnRow& column : catalog.indexColumns)
      if (column.objectId == objectId && column.indexId == index.indexId && column.keyOrdinal > 0)
        keyColumns.push_back(&column);
    std::stable_sort(keyColumns.begin(), keyColumns.end(),
                     [](const IndexColumnRow* a, const IndexColumnRow* b) { return a->keyOrdinal < b->keyOrdinal; });
    for (const IndexColumnRow* column : keyColumns)
      if (auto it = names.find(column->columnId); it != names.end()) key.columns.push_back(it->second);
    if (!key.columns.empty()) return key;
  }

  for (const ColumnDescriptor& d : descriptors) {
    const bool taken = unique ? d.unique || d.uniqueConstraint : d.primaryKey;
    if (taken && d.hobtColumnId != kDroppedColumnId && !d.name.empty()) key.columns.push_back(d.name);
  }
  return key;
}

}  // namespace ravelin
