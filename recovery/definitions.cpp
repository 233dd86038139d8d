#include "recovery/definitions.h"

#include "catalog/data_page.h"
#include "catalog/system_catalog.h"
#include "rows/table_rows.h"
#include "storage/database_file.h"

namespace ravelin {
namespace {

// One row in the display form: id, number and value columns by layout. A
// 2000 row needs its id only; a later one at least id and number.
bool MakeEntry(const TableRow &row, bool sql2000, DefinitionEntry &entry) {
  const std::vector<std::string> &v = row.values;
  if (sql2000) {
    if (v.empty()) return false;
    entry.objectIdText = v[0];
    if (v.size() >= 2) entry.numberText = v[1];
    if (v.size() >= 5) entry.valueText = v[4];
    return true;
  }
  if (v.size() < 3) return false;
  entry.objectIdText = v[1];
  entry.numberText = v[2];
  entry.valueText = v.back();
  return true;
}

}  // namespace

std::vector<ColumnDescriptor> SysCommentsColumns() {
  return {MakeColumnDescriptor("id", "int", kTypeInt), MakeColumnDescriptor("number", "int", kTypeSmallInt),
          MakeColumnDescriptor("colid", "short", kTypeSmallInt), MakeColumnDescriptor("status", "short", kTypeSmallInt),
          MakeColumnDescriptor("ctext", "varbinary(-1)", kTypeVarBinary)};
}

std::vector<ColumnDescriptor> SysObjValuesColumns() {
  return {MakeColumnDescriptor("valclass", "tinyint(1)", kTypeTinyInt),
          MakeColumnDescriptor("objid", "int(4)", kTypeInt),
          MakeColumnDescriptor("subobjid", "int(4)", kTypeInt),
          MakeColumnDescriptor("valnum", "int(4)", kTypeInt),
          MakeColumnDescriptor("value", "sql_variant(8016)", kTypeSqlVariant),
          MakeColumnDescriptor("imageval", "varbinary(-1)", kTypeVarBinary)};
}

void ReadDefinitionRows(CDatabaseFile &file, const std::vector<ColumnDescriptor> &columns, bool sql2000,
                        ProgressSink &sink, std::vector<DefinitionEntry> &entries) {
  sink.AppendLogLine(kTextRetrievingDefinitions);
  const uint32_t objectId = sql2000 ? kSysCommentsObjectId : kSysObjValuesObjectId;
  std::vector<PageMapEntry> pages;
  if (auto it = file.systemPageMap.find(objectId); it != file.systemPageMap.end()) pages = it->second;
  const auto count = static_cast<int64_t>(pages.size());
  sink.SetProgressRange(0, count);

  // The pseudo-tables have no physical layout in the catalog: their
  // columns are found by position, in both layouts.
  TableRowReader reader(file, columns, ColumnReader::kPositional);
  const std::atomic<bool> &stopRequested = file.settings().stopRequested;
  for (int64_t i = 0; i < count && !stopRequested.load(); ++i) {
    const PageMapEntry &entry = pages[static_cast<size_t>(i)];
    // Index and allocation pages of the table hold no definition rows,
    // only records that would decode into false ones.
    if (entry.pageType != kPageTypeData) continue;
    const PageRef where = entry.ToPageRef();
    std::unique_ptr<CDataPage> page = file.ReadDataPage(where);
    if (!page) continue;
    for (const TableRow &row : reader.ReadSystemRows(*page, where)) {
      DefinitionEntry definition;
      if (MakeEntry(row, sql2000, definition)) entries.push_back(std::move(definition));
    }
    sink.SetProgressPos(i);
  }
  sink.SetProgressPos(count);
  sink.AppendLogLine(kTextRetrievingDefinitionsDone);
}

void ReadScanDefinitions(RecoveryState &state, ProgressSink &sink) {
  SystemCatalog *catalog = state.catalog();
  CDatabaseFile *file = state.database();
  if (!catalog || !file) return;
  RemoveRecordColumns(state.view(), static_cast<int>(catalog->tableColumns.size()));
  catalog->tableColumns.clear();
  state.recordsColumnCount = 0;
  const bool sql2000 = catalog->IsSql2000();
  // In the 2000 layout too the syscomments columns are used, not those of
  // the table prepared last.
  catalog->columnDescriptors = sql2000 ? SysCommentsColumns() : SysObjValuesColumns();
  ReadDefinitionRows(*file, catalog->columnDescriptors, sql2000, sink, state.scanDefinitions);
  catalog->columnDescriptors.clear();
}

}  // namespace ravelin
