#include "recovery/definitions.h"

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"

namespace ravelin {

void ReadScanDefinitions(RecoveryState& state, ProgressSink& sink) {
  SystemCatalog* catalog = state.catalog();
  OpenedDatabase* db = state.database();
  if (!catalog || !db) return;
  RemoveRecordColumns(state.view(), static_cast<int>(catalog->tableColumns.size()));
  catalog->tableColumns.clear();
  state.recordsColumnCount = 0;
  // In the 2000 layout too the syscomments columns are used, not those of
  // the table prepared last.
  catalog->columnDescriptors = catalog->IsSql2000() ? SysCommentsColumns() : SysObjValuesColumns();
  ReadDefinitionRows(*db, catalog->columnDescriptors, sink, state.scanDefinitions);
  catalog->columnDescriptors.clear();
}

}  // namespace ravelin
