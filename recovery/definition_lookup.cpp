#include "recovery/definition_lookup.h"

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "recovery/definitions.h"

namespace ravelin {

std::string LookUpDefinition(RecoveryState& state, ProgressSink& sink, const std::string& objectIdText) {
  SystemCatalog* catalog = state.catalog();
  OpenedDatabase* db = state.database();
  if (!catalog || !db) return {};
  RemoveRecordColumns(state.view(), static_cast<int>(catalog->tableColumns.size()));
  catalog->tableColumns.clear();

  const bool sql2000 = catalog->IsSql2000();
  if (!sql2000)
    catalog->columnDescriptors = SysObjValuesColumns();
  else if (catalog->columnDescriptors.empty())
    catalog->columnDescriptors = SysCommentsColumns();
  if (!state.lookupLoaded) {
    state.lookupLoaded = true;
    ReadDefinitionRows(*db, catalog->columnDescriptors, sink, state.lookupDefinitions);
    if (state.lookupDefinitions.empty()) state.lookupLoaded = false;
  }
  std::string text = AssembleDefinition(state.lookupDefinitions, objectIdText);
  catalog->columnDescriptors.clear();
  return text;
}

}  // namespace ravelin
