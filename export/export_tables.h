// What the exports say about a database beyond its rows, taken from the
// rebuilt catalog: each table's columns, keys, defaults and checks as an
// ExportTable, and the definitions of its views, procedures, functions,
// triggers, defaults and constraints as ExportModules.

#ifndef RAVELIN_EXPORT_EXPORT_TABLES_H_
#define RAVELIN_EXPORT_EXPORT_TABLES_H_

#include <cstddef>
#include <string>
#include <vector>

#include "catalog/catalog_types.h"
#include "catalog/column_descriptor.h"
#include "catalog/object_names.h"
#include "catalog/system_catalog.h"
#include "export/export_model.h"

namespace ravelin {

class OpenedDatabase;
class ProgressSink;

// A table prepared for export: how it is described and how its rows are
// read. The catalog's working lists describe this table until the next
// object is prepared.
struct PreparedTable {
  ExportTable table;
  // The descriptors as preparation gave them, for the row reader.
  std::vector<ColumnDescriptor> descriptors;
  // For each column of `table`: its descriptor, and whether it has no
  // stored value (a computed column of the 2000 layout, exported as NULL).
  std::vector<size_t> descriptorOf;
  std::vector<bool> computed;
  // "schema.name" as `rows` and the warnings name the table.
  std::string qualifiedName;
};

// The indexes into catalog.objects of every named user table, in catalog
// order: what an export writes when no table is chosen.
std::vector<size_t> UserTableIndexes(const SystemCatalog& catalog);

// The text of every definition row of the database, read once; progress
// and status are not reported (warnings are).
std::vector<DefinitionEntry> ReadAllDefinitions(const OpenedDatabase& db, ProgressSink& sink);

// Prepares `object` (a table of `catalog`). False, with the reason in
// `why`, when its columns are not in the catalog.
bool PrepareExportTable(SystemCatalog& catalog, const ObjectNames& names, const ObjectRow& object,
                        const std::vector<DefinitionEntry>& definitions, PreparedTable& out, std::string& why);

// Every view, procedure, function, trigger, default, check constraint and
// rule of the catalog with its definition text (empty when none of its
// rows could be read), in catalog order.
std::vector<ExportModule> CollectModules(const SystemCatalog& catalog, const ObjectNames& names,
                                         const std::vector<DefinitionEntry>& definitions);

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_EXPORT_TABLES_H_
