// ReadEverything (fuzz_support.h), apart from the rest so that only the
// targets that open whole databases link the catalog and row readers.

#include <cstdlib>

#include "catalog/system_catalog.h"
#include "fuzz_support.h"
#include "rows/definition_rows.h"
#include "rows/table_rows.h"

namespace ravelin::fuzz {
namespace {

// A row holds a value for every column of its listing, and its issues name
// columns of it.
void CheckRow(const TableRow& row, size_t columns) {
  if (row.values.size() != columns) std::abort();
  for (const ValueIssue& issue : row.issues)
    if (issue.column >= columns) std::abort();
}

}  // namespace

void ReadEverything(const OpenedDatabase& db, ProgressSink& sink) {
  SystemCatalog* catalog = db.catalog();
  if (!catalog) return;
  std::vector<DefinitionEntry> definitions;
  ReadDefinitionRows(db, catalog->IsSql2000() ? SysCommentsColumns() : SysObjValuesColumns(), sink, definitions);

  const std::vector<ObjectRow> objects = catalog->objects;
  for (size_t i = 0; i < objects.size() && i < kMaxObjects; ++i) {
    const ObjectRow& object = objects[i];
    const std::vector<ColumnDescriptor> columns = catalog->PrepareObject(object.name, object.typeCode, definitions);
    if (!catalog->isTable) {
      AssembleDefinition(definitions, std::to_string(object.objectId));
      continue;
    }
    // The rows of system tables take the same roads as a user table's and
    // would only slow the run down.
    if (object.typeCode != "U ") continue;
    const TablePageList pages = CollectListingPages(db.file(), *catalog);
    const ColumnReader reader = ChooseColumnReader(*catalog);
    TableRowReader rows(db, columns, reader);
    rows.SetListingPages(pages);
    for (const PageRef& ref : pages.pages)
      for (const TableRow& row : rows.ReadPageRows(ref)) CheckRow(row, rows.columns().size());
    if (pages.empty()) continue;
    TableRowReader firstPage(db, columns, reader, true);
    firstPage.SetListingPages(pages);
    firstPage.ReadPageRows(pages.pages.front());
  }
}

}  // namespace ravelin::fuzz
