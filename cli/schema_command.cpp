// ravelin schema FILE [--json]: the objects of a database grouped as the
// object tree groups them, and for every table its columns, keys,
// constraints and data pages.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "catalog/declared_type.h"
#include "catalog/object_names.h"
#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "cli/cli_context.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/output.h"
#include "cli/terminal_sink.h"
#include "recovery/object_tree.h"
#include "recovery/recovery_settings.h"
#include "recovery/scan_driver.h"

namespace ravelin {
namespace {

struct SchemaOptions {
  std::string file;
  bool json = false;
  bool deleted = false;
  bool deletedAdvanced = false;
  bool quiet = false;
};

// The categories of the object tree, each with the type codes placed in it
// and whether the tree sorts its items.
struct Category {
  const char* label;
  std::vector<std::string> typeCodes;
  bool sorted;
  bool tables;
};

const std::vector<Category>& Categories() {
  static const std::vector<Category> kCategories = {
      {"User Tables", {"U "}, true, true},      {"System Tables", {"S "}, false, true},
      {"Views", {"V "}, false, false},          {"Function", {"FN", "IF", "TF"}, true, false},
      {"Store Procedure", {"P "}, true, false}, {"Default", {"D "}, false, false},
      {"Triggers", {"TR"}, false, false},
  };
  return kCategories;
}

// The objects of one category in the tree's order: each is inserted as the
// first child, so the catalog order is reversed, then some are sorted.
std::vector<const ObjectRow*> ObjectsIn(const Category& category, const std::vector<ObjectRow>& objects,
                                        const ObjectNames& names) {
  std::vector<const ObjectRow*> placed;
  for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
    if (it->name.empty()) continue;
    if (std::find(category.typeCodes.begin(), category.typeCodes.end(), it->typeCode) != category.typeCodes.end())
      placed.push_back(&*it);
  }
  if (category.sorted)
    std::stable_sort(placed.begin(), placed.end(), [&names](const ObjectRow* a, const ObjectRow* b) {
      return TreeLabelLess(names.Qualified(*a), names.Qualified(*b));
    });
  return placed;
}

struct TableSchema {
  const ObjectRow* object = nullptr;
  std::string name;                       // with its schema or owner
  std::vector<ColumnDescriptor> columns;  // listed ones only
  std::vector<KeyConstraint> constraints;
  bool hasData = false;
  size_t pageCount = 0;
  uint8_t compression = 0;  // of the rowset that holds the rows
};

TableSchema DescribeTable(SystemCatalog& catalog, const ObjectNames& names, const ObjectRow& object) {
  TableSchema table;
  table.object = &object;
  table.name = names.Qualified(object);
  std::vector<ColumnDescriptor> descriptors = catalog.PrepareObject(object.name, object.typeCode, {});
  // The 2000 layout keeps keys, identity and foreign keys where table
  // preparation does not look.
  if (const LegacyCatalog* legacy = names.legacy(); legacy && catalog.isTable)
    ApplyLegacyKeys(
        catalog, *legacy, object.objectId, [&names](int32_t id) { return names.Qualified(id); }, descriptors);
  table.hasData = !descriptors.empty() && !catalog.tablePages.empty();
  table.pageCount = catalog.isTable ? catalog.tablePages.size() : 0;
  table.compression = catalog.isTable && !catalog.IsSql2000() ? catalog.currentRowset.compression : 0;
  for (ColumnDescriptor& d : descriptors) {
    // Dropped columns still in the records, and columns without a name,
    // are not columns of the table.
    if (d.hobtColumnId == kDroppedColumnId || d.name.empty()) continue;
    table.columns.push_back(std::move(d));
  }
  for (const KeyConstraint& key : catalog.keyConstraints) {
    if (!IsKeyOrConstraintTypeCode(key.typeCode)) continue;
    table.constraints.push_back(key);
    // Constraints are named as the objects they are.
    if (names.legacy()) {
      std::string owner = names.legacy()->OwnerOf(object.objectId);
      for (const ObjectRow& row : catalog.objects)
        if (row.name == key.name && row.parentId == object.objectId) owner = names.Schema(row);
      if (!owner.empty()) table.constraints.back().name = owner + "." + key.name;
    }
  }
  return table;
}

std::string ColumnLine(const ColumnDescriptor& d) {
  std::string line = d.name + "  " + DeclaredType(d) + (d.nullable ? "  NULL" : "  NOT NULL");
  if (!d.identityText.empty()) line += "  " + d.identityText;
  if (d.primaryKey)
    line += "  [Primary Key]";
  else if (d.unique || d.uniqueConstraint)
    line += "  [Unique]";
  if (d.foreignKey) line += "  (foreign key) references " + d.referencedTable + "( " + d.referencedColumn + ")";
  return line;
}

void PrintText(Output& out, const OpenedDatabase& db, const SystemCatalog& catalog, const ObjectNames& names,
               const std::vector<TableSchema>& tables) {
  out.Printf("Database: %s\n", db.boot() ? db.boot()->databaseName.c_str() : "");
  out.Printf("Layout: %s\n", catalog.IsSql2000() ? "2000" : "2005+");
  size_t next = 0;
  for (const Category& category : Categories()) {
    const std::vector<const ObjectRow*> placed = ObjectsIn(category, catalog.objects, names);
    out.Printf("\n%s (%zu)\n", category.label, placed.size());
    for (const ObjectRow* object : placed) {
      if (!category.tables) {
        out.Printf("  %s\n", names.Qualified(*object).c_str());
        continue;
      }
      const TableSchema& table = tables[next++];
      const std::string compression =
          table.compression ? "  " + CompressionName(table.compression) + " compressed" : std::string();
      if (table.hasData)
        out.Printf("  %s  (%zu data page%s)%s\n", table.name.c_str(), table.pageCount, table.pageCount == 1 ? "" : "s",
                   compression.c_str());
      else
        out.Printf("  %s  (no data pages)%s\n", table.name.c_str(), compression.c_str());
      for (const ColumnDescriptor& d : table.columns) out.Printf("    %s\n", ColumnLine(d).c_str());
      for (const KeyConstraint& key : table.constraints)
        out.Printf("    constraint %s  %s\n", key.typeCode.c_str(), key.name.c_str());
    }
  }
}

void PrintJson(Output& out, const SystemCatalog& catalog, const ObjectNames& names,
               const std::vector<TableSchema>& tables, const std::vector<std::string>& warnings) {
  JsonWriter j;
  j.BeginObject().Key("layout").String(catalog.IsSql2000() ? "2000" : "2005+");
  j.Key("objects").BeginArray();
  for (const ObjectRow& o : catalog.objects) {
    j.BeginObject().Key("id").Int(o.objectId).Key("name").String(names.Qualified(o));
    j.Key("typeCode").String(o.typeCode).Key("parentId").Int(o.parentId).EndObject();
  }
  j.EndArray().Key("tables").BeginArray();
  for (const TableSchema& t : tables) {
    j.BeginObject().Key("name").String(t.name).Key("typeCode").String(t.object->typeCode);
    j.Key("objectId").Int(t.object->objectId).Key("hasData").Bool(t.hasData).Key("pageCount").UInt(t.pageCount);
    j.Key("compression").String(CompressionName(t.compression));
    j.Key("columns").BeginArray();
    for (const ColumnDescriptor& d : t.columns) {
      j.BeginObject().Key("name").String(d.name).Key("typeText").String(d.typeText);
      j.Key("declaredType").String(DeclaredType(d)).Key("typeCode").Int(d.typeCode);
      j.Key("nullable").Bool(d.nullable != 0).Key("identity");
      if (d.identityText.empty())
        j.Null();
      else
        j.String(d.identityText);
      j.Key("primaryKey").Bool(d.primaryKey != 0).Key("unique").Bool(d.unique != 0 || d.uniqueConstraint != 0);
      j.Key("foreignKey");
      if (d.foreignKey)
        j.BeginObject().Key("table").String(d.referencedTable).Key("column").String(d.referencedColumn).EndObject();
      else
        j.Null();
      j.EndObject();
    }
    j.EndArray().Key("constraints").BeginArray();
    for (const KeyConstraint& key : t.constraints)
      j.BeginObject().Key("name").String(key.name).Key("typeCode").String(key.typeCode).EndObject();
    j.EndArray().EndObject();
  }
  j.EndArray().Key("warnings").BeginArray();
  for (const std::string& warning : warnings) j.String(warning);
  j.EndArray().EndObject();
  out.Line(j.str());
}

int RunSchema(const SchemaOptions& options) {
  const CollationTable collations = LoadCollationTable(ExecutableFolder() + "collation.txt");
  TerminalSink sink(options.quiet, false);
  sink.SetDataFile(options.file, *Cli().env);
  Output out(&sink);
  OpenRequest request;
  request.path = options.file;
  request.env = Cli().env;
  request.options.showDeleted = options.deleted || options.deletedAdvanced;
  request.options.huntDeleted = options.deletedAdvanced;
  request.collations = &collations;
  std::unique_ptr<OpenedDatabase> db = OpenedDatabase::Open(request, sink, StopToken());
  if (!db) {
    sink.Finish();
    return kExitFailure;
  }
  SystemCatalog& catalog = *db->catalog();
  sink.Finish();
  if (catalog.objects.empty()) {
    sink.Error(kTextNoObjectEntry);
    return kExitFailure;
  }
  const ObjectNames names(catalog);

  // Tables in the order they are shown, each prepared as the tree does.
  std::vector<TableSchema> tables;
  for (const Category& category : Categories()) {
    if (!category.tables) continue;
    for (const ObjectRow* object : ObjectsIn(category, catalog.objects, names))
      tables.push_back(DescribeTable(catalog, names, *object));
  }
  sink.Finish();
  if (options.json)
    PrintJson(out, catalog, names, tables, sink.warnings());
  else
    PrintText(out, *db, catalog, names, tables);
  return FinishCommand(out, &sink, kExitOk);
}

}  // namespace

void AddSchemaCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<SchemaOptions>();
  CLI::App* cmd = app.add_subcommand("schema", "List the objects, tables, columns and keys of a data file");
  cmd->add_option("FILE", options->file, "Primary data file (.mdf)")->required();
  cmd->add_flag("--json", options->json, "Print one JSON object");
  cmd->add_flag("--deleted", options->deleted, "Read deleted (ghost) catalog rows as well");
  cmd->add_flag("--deleted-advanced", options->deletedAdvanced,
                "Also search catalog pages for deleted rows byte by byte (implies --deleted)");
  cmd->add_flag("--quiet", options->quiet, "No status texts or progress bar");
  cmd->callback([options, &exitCode] { exitCode = RunSchema(*options); });
}

}  // namespace ravelin
