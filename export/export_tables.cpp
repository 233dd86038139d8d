// Tables and modules described for the exports from the catalog.

#include "export/export_tables.h"

#include <algorithm>
#include <map>
#include <optional>

#include "catalog/declared_type.h"
#include "catalog/opened_database.h"
#include "export/export_values.h"
#include "rows/definition_rows.h"

namespace ravelin {
namespace {

// Passes warnings and errors on, but keeps the definition reading's
// progress and status out of the export's one range per table.
class QuietSink : public ProgressSink {
 public:
  explicit QuietSink(ProgressSink& outer) : outer_(outer) {}
  void SetProgressRange(int64_t, int64_t) override {}
  void SetProgressPos(int64_t) override {}
  void SetStatusText(const std::string&) override {}
  void ReportError(const std::string& text) override { outer_.ReportError(text); }
  void AppendLogLine(const std::string&) override {}
  void ReportWarning(const Warning& warning) override { outer_.ReportWarning(warning); }

 private:
  ProgressSink& outer_;
};

// "identity(1,1)" -> seed and increment; nothing for another text.
std::optional<ExportIdentity> ParseIdentity(const std::string& text) {
  const size_t open = text.find('(');
  const size_t comma = text.find(',', open == std::string::npos ? 0 : open);
  const size_t close = text.find(')', comma == std::string::npos ? 0 : comma);
  if (open == std::string::npos || comma == std::string::npos || close == std::string::npos) return std::nullopt;
  ExportIdentity identity;
  identity.seed = text.substr(open + 1, comma - open - 1);
  identity.increment = text.substr(comma + 1, close - comma - 1);
  auto number = [](const std::string& s) {
    size_t start = !s.empty() && s[0] == '-' ? 1 : 0;
    return s.size() > start && std::all_of(s.begin() + start, s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!number(identity.seed) || !number(identity.increment)) return std::nullopt;
  return identity;
}

std::string IdText(int32_t id) { return std::to_string(id); }

const ObjectRow* ObjectWithId(const SystemCatalog& catalog, int32_t id) {
  const ObjectRow* found = nullptr;
  // Of several rows with one id the last read wins, as the catalog's joins do.
  for (const ObjectRow& row : catalog.objects)
    if (row.objectId == id) found = &row;
  return found;
}

std::string SchemaOr(const ObjectNames& names, const ObjectRow& row) {
  std::string schema = names.Schema(row);
  return schema.empty() ? "dbo" : schema;
}

const std::string* ColumnName(const PreparedTable& prepared, int32_t columnId) {
  for (size_t k = 0; k < prepared.descriptorOf.size(); ++k)
    if (prepared.descriptors[prepared.descriptorOf[k]].columnId == columnId) return &prepared.table.columns[k].name;
  return nullptr;
}

void DescribePrimaryKey(const SystemCatalog& catalog, const ObjectRow& object,
                        const std::vector<ColumnDescriptor>& keyed, PreparedTable& prepared) {
  const ObjectRow* constraint = nullptr;
  for (const ObjectRow& row : catalog.objects)
    if (row.parentId == object.objectId && row.typeCode == "PK") constraint = &row;
  std::vector<std::string> columns;
  bool clustered = false;
  if (catalog.IsSql2000()) {
    for (const LegacyIndexKey& key : catalog.legacyIndexKeys) {
      if (!constraint || key.objectId != object.objectId || key.name != constraint->name) continue;
      for (const LegacyKeyColumn& keyColumn : key.keyColumns)
        if (const std::string* name = ColumnName(prepared, keyColumn.columnId)) columns.push_back(*name);
      clustered = key.indexId == 1;
      break;
    }
  } else {
    std::vector<PrimaryKeyColumn> keys;
    for (const PrimaryKeyColumn& key : catalog.primaryKeyColumns)
      if (key.tableName == object.name) keys.push_back(key);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const PrimaryKeyColumn& a, const PrimaryKeyColumn& b) { return a.keyOrdinal < b.keyOrdinal; });
    for (const PrimaryKeyColumn& key : keys)
      if (std::find(columns.begin(), columns.end(), key.columnName) == columns.end()) columns.push_back(key.columnName);
    if (constraint) {
      const std::string bare = constraint->baseName.empty() ? constraint->name : constraint->baseName;
      for (const IndexRow& index : catalog.tableIndexes)
        if (index.name == bare || index.name == constraint->name) clustered = index.indexId == 1;
    }
  }
  if (columns.empty()) {
    // The key's index is lost: the columns marked as key stand in.
    for (size_t k = 0; k < prepared.descriptorOf.size(); ++k)
      if (keyed[prepared.descriptorOf[k]].primaryKey) columns.push_back(prepared.table.columns[k].name);
  }
  if (columns.empty()) return;
  ExportKey key;
  if (constraint) key.name = constraint->baseName.empty() ? constraint->name : constraint->baseName;
  key.columns = std::move(columns);
  key.clustered = clustered;
  prepared.table.primaryKey = std::move(key);
}

void DescribeForeignKeys(const SystemCatalog& catalog, const ObjectNames& names, const ObjectRow& object,
                         PreparedTable& prepared) {
  auto reference = [&](int32_t referencedId, ExportForeignKey& fk) {
    if (const ObjectRow* to = ObjectWithId(catalog, referencedId)) {
      fk.referencedSchema = SchemaOr(names, *to);
      fk.referencedTable = names.Bare(*to);
    }
  };
  auto constraintName = [&](int32_t id) {
    const ObjectRow* row = ObjectWithId(catalog, id);
    return row ? names.Bare(*row) : std::string();
  };
  if (const LegacyCatalog* legacy = names.legacy()) {
    for (const LegacyReference& r : legacy->references) {
      if (r.parentId != object.objectId) continue;
      ExportForeignKey fk;
      fk.name = constraintName(r.constraintId);
      reference(r.referencedId, fk);
      bool whole = true;
      for (size_t k = 0; k < r.parentColumns.size() && k < r.referencedColumns.size(); ++k) {
        const std::string* from = ColumnName(prepared, r.parentColumns[k]);
        const auto to = legacy->columnNames.find({r.referencedId, r.referencedColumns[k]});
        if (!from || to == legacy->columnNames.end()) {
          whole = false;
          break;
        }
        fk.columns.push_back(*from);
        fk.referencedColumns.push_back(to->second);
      }
      if (whole && !fk.columns.empty() && !fk.referencedTable.empty())
        prepared.table.foreignKeys.push_back(std::move(fk));
    }
    return;
  }
  std::map<int32_t, std::vector<const ForeignKeyColumn*>> byConstraint;
  for (const ForeignKeyColumn& key : catalog.foreignKeyColumns)
    if (key.parentObjectId == object.objectId) byConstraint[key.constraintId].push_back(&key);
  for (auto& [id, keys] : byConstraint) {
    std::stable_sort(keys.begin(), keys.end(), [](const ForeignKeyColumn* a, const ForeignKeyColumn* b) {
      return a->constraintColumnId < b->constraintColumnId;
    });
    ExportForeignKey fk;
    fk.name = constraintName(id);
    reference(keys.front()->referencedObjectId, fk);
    bool whole = true;
    for (const ForeignKeyColumn* key : keys) {
      const std::string* from = ColumnName(prepared, key->parentColumnId);
      if (!from || key->referencedColumnName.empty()) {
        whole = false;
        break;
      }
      fk.columns.push_back(*from);
      fk.referencedColumns.push_back(key->referencedColumnName);
    }
    if (whole && !fk.columns.empty() && !fk.referencedTable.empty())
      prepared.table.foreignKeys.push_back(std::move(fk));
  }
}

void DescribeConstraints(const SystemCatalog& catalog, const ObjectNames& names, const ObjectRow& object,
                         const std::vector<DefinitionEntry>& definitions, PreparedTable& prepared) {
  for (const ObjectRow& row : catalog.objects) {
    if (row.parentId != object.objectId || row.objectId == object.objectId) continue;
    if (row.typeCode == "C ") {
      const std::string text = AssembleDefinition(definitions, IdText(row.objectId));
      if (!text.empty()) prepared.table.checks.push_back({names.Bare(row), text});
      continue;
    }
    if (row.typeCode != "D ") continue;
    // The column whose default this is.
    const std::string* column = nullptr;
    if (catalog.IsSql2000()) {
      for (const LegacyColumnRow& c : catalog.tableLegacyColumns)
        if (c.objectId == object.objectId && c.defaultIdLow == static_cast<int16_t>(row.objectId & 0xFFFF))
          column = ColumnName(prepared, c.columnId);
    } else {
      for (const ColumnRow& c : catalog.tableColumns)
        if (c.defaultObjectId == row.objectId) column = ColumnName(prepared, c.columnId);
    }
    const std::string text = AssembleDefinition(definitions, IdText(row.objectId));
    if (column && !text.empty()) prepared.table.defaults.push_back({names.Bare(row), *column, text});
  }
}

}  // namespace

std::vector<size_t> UserTableIndexes(const SystemCatalog& catalog) {
  std::vector<size_t> tables;
  for (size_t i = 0; i < catalog.objects.size(); ++i)
    if (catalog.objects[i].typeCode == "U " && !catalog.objects[i].name.empty()) tables.push_back(i);
  return tables;
}

std::vector<DefinitionEntry> ReadAllDefinitions(const OpenedDatabase& db, ProgressSink& sink) {
  SystemCatalog& catalog = *db.catalog();
  std::vector<ColumnDescriptor> columns = SysObjValuesColumns();
  if (catalog.IsSql2000()) {
    // The catalog's own syscomments columns where it has them.
    columns = catalog.PrepareObject("syscomments", "S ", {});
    if (!catalog.isTable || columns.empty()) columns = SysCommentsColumns();
  }
  QuietSink quiet(sink);
  std::vector<DefinitionEntry> entries;
  ReadDefinitionRows(db, columns, quiet, entries);
  return entries;
}

bool PrepareExportTable(SystemCatalog& catalog, const ObjectNames& names, const ObjectRow& object,
                        const std::vector<DefinitionEntry>& definitions, PreparedTable& out, std::string& why) {
  out = PreparedTable();
  out.qualifiedName = names.Qualified(object);
  out.table.schema = SchemaOr(names, object);
  out.table.name = names.Bare(object);
  out.table.objectId = object.objectId;
  out.descriptors = catalog.PrepareObject(object.name, object.typeCode, {});
  if (!catalog.isTable) {
    why = "its columns are not in the catalog";
    return false;
  }
  // Keys and identities as a DBA knows them; the reader keeps the
  // descriptors as preparation gave them.
  std::vector<ColumnDescriptor> keyed = out.descriptors;
  const LegacyCatalog* legacy = names.legacy();
  if (legacy)
    ApplyLegacyKeys(
        catalog, *legacy, object.objectId, [&names](int32_t id) { return names.Qualified(id); }, keyed);
  for (size_t i = 0; i < keyed.size(); ++i) {
    const ColumnDescriptor& d = keyed[i];
    if (d.hobtColumnId == kDroppedColumnId) continue;
    ExportColumn column;
    column.name = d.name;
    column.declaredType = DeclaredType(d);
    column.family = FamilyOf(d);
    column.nullable = d.nullable != 0;
    if (!d.identityText.empty()) column.identity = ParseIdentity(d.identityText);
    column.sparse = d.statusBit24 != 0;
    const bool computed = legacy && legacy->computedColumns.count({object.objectId, static_cast<int16_t>(d.columnId)});
    if (computed) column.stored = false;
    out.table.columns.push_back(std::move(column));
    out.descriptorOf.push_back(i);
    out.computed.push_back(computed);
  }
  if (out.table.columns.empty()) {
    why = "none of its columns is in the catalog";
    return false;
  }
  DescribePrimaryKey(catalog, object, keyed, out);
  DescribeForeignKeys(catalog, names, object, out);
  DescribeConstraints(catalog, names, object, definitions, out);
  return true;
}

std::vector<ExportModule> CollectModules(const SystemCatalog& catalog, const ObjectNames& names,
                                         const std::vector<DefinitionEntry>& definitions) {
  static const std::map<std::string, ModuleType> kTypes = {
      {"V ", ModuleType::kView},           {"P ", ModuleType::kProcedure},     {"FN", ModuleType::kScalarFunction},
      {"IF", ModuleType::kInlineFunction}, {"TF", ModuleType::kTableFunction}, {"TR", ModuleType::kTrigger},
      {"D ", ModuleType::kDefault},        {"C ", ModuleType::kCheck},         {"R ", ModuleType::kRule},
  };
  std::vector<ExportModule> modules;
  for (const ObjectRow& row : catalog.objects) {
    const auto type = kTypes.find(row.typeCode);
    if (type == kTypes.end() || row.name.empty()) continue;
    ExportModule module;
    module.schema = SchemaOr(names, row);
    module.name = names.Bare(row);
    module.type = type->second;
    module.definition = AssembleDefinition(definitions, IdText(row.objectId));
    modules.push_back(std::move(module));
  }
  return modules;
}

}  // namespace ravelin
