// ravelin rows FILE TABLE: every row of one table, as TSV, CSV or JSON, with
// exact data values, for users who want the data out of a damaged file.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/declared_type.h"
#include "catalog/object_names.h"
#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "cli/cli_context.h"
#include "cli/command_options.h"
#include "cli/commands.h"
#include "cli/name_lookup.h"
#include "cli/output.h"
#include "cli/row_writer.h"
#include "cli/terminal_sink.h"
#include "recovery/recovery_settings.h"
#include "rows/row_warnings.h"
#include "rows/table_rows.h"

namespace ravelin {
namespace {

struct RowsOptions {
  std::string file;
  std::string table;
  std::string mode = "standard";
  std::string format = "tsv";
  int64_t limit = -1;
  bool deleted = false;
  bool deletedAdvanced = false;
  bool suspect = false;
  bool quiet = false;
  std::optional<std::string> nullText;
};

RowFormat FormatOf(const std::string& name) {
  if (name == "csv") return RowFormat::kCsv;
  if (name == "json") return RowFormat::kJson;
  return RowFormat::kTsv;
}

int RunRows(const RowsOptions& o) {
  const CollationTable collations = LoadCollationTable(ExecutableFolder() + "collation.txt");
  TerminalSink sink(o.quiet, false);
  sink.SetDataFile(o.file, *Cli().env);
  Output out(&sink);
  OpenRequest request;
  request.path = o.file;
  request.env = Cli().env;
  request.options.mode = o.mode == "advanced" ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
  request.options.showDeleted = o.deleted || o.deletedAdvanced;
  request.options.huntDeleted = o.deletedAdvanced;
  request.options.suspect = o.suspect;
  request.collations = &collations;
  std::unique_ptr<OpenedDatabase> db = OpenedDatabase::Open(request, sink, StopToken());
  if (!db) return kExitFailure;
  SystemCatalog& catalog = *db->catalog();
  const ObjectNames names(catalog);

  std::vector<NameCandidate> candidates;
  for (size_t i = 0; i < catalog.objects.size(); ++i) {
    const ObjectRow& row = catalog.objects[i];
    if (IsTableTypeCode(row.typeCode) && !row.name.empty())
      candidates.push_back({names.Schema(row), names.Bare(row), i});
  }
  const NameMatch match = MatchName(candidates, o.table);
  if (auto warning = DamagedNameWarning(match, o.table)) sink.ReportWarning(*warning);
  if (!match.found) {
    std::string text = (match.ambiguous.empty() ? "No table named " : "More than one table is named ") + o.table +
                       " in " + o.file + ".";
    if (const std::string hint = SuggestionText(match); !hint.empty()) text += " " + hint;
    sink.Error(text);
    return kExitFailure;
  }
  const ObjectRow table = catalog.objects[match.index];
  const std::string tableName = names.Qualified(table);
  const std::vector<ColumnDescriptor> columns = catalog.PrepareObject(table.name, table.typeCode, {});
  if (!catalog.isTable) {
    sink.Error("Table " + tableName + " cannot be prepared: its columns are not in the catalog.");
    return kExitFailure;
  }

  std::vector<size_t> shown;
  std::vector<RowColumn> header;
  // The 2000 layout's computed columns have no stored value: NULL.
  std::vector<bool> computed;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].hobtColumnId == kDroppedColumnId) continue;
    shown.push_back(i);
    header.push_back({columns[i].name, DeclaredType(columns[i])});
    const LegacyCatalog* legacy = names.legacy();
    computed.push_back(legacy &&
                       legacy->computedColumns.count({table.objectId, static_cast<int16_t>(columns[i].columnId)}) > 0);
  }

  const TablePageList pages = CollectListingPages(db->file(), catalog);
  TableRowReader reader(*db, columns, ChooseColumnReader(catalog));
  reader.SetListingPages(pages);
  const RecordShape shape = catalog.DescribeRecordShape(columns);
  reader.SetRecordShape(shape, &sink, tableName);
  ReportColumnsWithoutRows(shape, tableName, &sink);
  if (std::optional<Warning> broken = ListingWarning(pages, tableName)) sink.ReportWarning(*broken);
  if (std::optional<Warning> lost = LostPagesWarning(db->file(), DescribeTableStorage(catalog), pages, tableName))
    sink.ReportWarning(*lost);
  if (std::optional<Warning> unreadable =
          UnreadablePagesWarning(db->file(), DescribeTableStorage(catalog), pages, tableName))
    sink.ReportWarning(*unreadable);
  reader.SetDataValues(true);
  sink.SetProgressRange(0, static_cast<int64_t>(pages.size()));

  const bool statusColumn = o.deleted || o.deletedAdvanced || o.suspect;
  RowWriter writer(out, FormatOf(o.format), tableName, header, statusColumn, o.nullText);
  const DataValue kNull;
  std::vector<size_t> stored;
  for (size_t k = 0; k < shown.size(); ++k)
    if (!computed[k]) stored.push_back(shown[k]);
  std::vector<const DataValue*> values(shown.size());
  uint64_t written = 0;
  std::vector<Warning> rowWarnings;
  bool full = o.limit == 0;
  for (size_t p = 0; p < pages.size() && !full && !out.failed(); ++p) {
    for (const TableRow& row : reader.ReadPageRows(pages.pages[p])) {
      if (o.limit >= 0 && written >= static_cast<uint64_t>(o.limit)) {
        full = true;
        break;
      }
      for (size_t k = 0; k < shown.size(); ++k) values[k] = computed[k] ? &kNull : &row.data[shown[k]];
      writer.Write(values, RowStatusText(row.status));
      ++written;
      rowWarnings.clear();
      AppendRowWarnings(tableName, row, reader.columns(), stored, written, rowWarnings);
      for (const Warning& warning : rowWarnings) sink.ReportWarning(warning);
    }
    sink.SetProgressPos(static_cast<int64_t>(p + 1));
  }
  sink.Finish();
  writer.Finish(sink.warnings());
  return FinishCommand(out, &sink, kExitOk);
}

}  // namespace

void AddRowsCommand(CLI::App& app, int& exitCode) {
  auto o = std::make_shared<RowsOptions>();
  CLI::App* cmd = app.add_subcommand(
      "rows",
      "List every row of one table with exact values: TSV (NULL \\N, unreadable \\?), CSV (NULL an empty field, "
      "unreadable \\?) or JSON. A value that cannot be read gets its marker and a warning naming the table, the row "
      "and the column.");
  cmd->add_option("FILE", o->file, "Primary data file (.mdf)")->required();
  cmd->add_option("TABLE", o->table,
                  "The table: dbo.Orders, Orders, [dbo].[Order Details] or \"Order Details\"; case does not matter")
      ->required();
  cmd->add_option("--mode", o->mode, "standard: follow the allocation structures; advanced: every page the scan found")
      ->check(CLI::IsMember({"standard", "advanced"}));
  cmd->add_flag("--deleted", o->deleted,
                "Also list deleted (ghost) records; a first column ravelin_status says what each row is");
  cmd->add_flag("--deleted-advanced", o->deletedAdvanced,
                "Also hunt for records the slot array no longer lists (implies --deleted)");
  cmd->add_flag("--suspect", o->suspect,
                "Also list records that do not fit the table, marked suspect in the ravelin_status column");
  cmd->add_option("--format", o->format, "Output format: tsv, csv or json")
      ->check(CLI::IsMember({"tsv", "csv", "json"}));
  AddCountOption(cmd, "--limit", o->limit, "List at most this many rows", 0);
  auto nullText = std::make_shared<std::string>();
  CLI::Option* nullOption =
      cmd->add_option("--null", *nullText, "Write NULL as this text in TSV and CSV (JSON keeps null)");
  cmd->add_flag("--quiet", o->quiet, "No status texts or progress bar (warnings and errors are still written)");
  cmd->callback([o, nullText, nullOption, &exitCode] {
    if (nullOption->count() > 0) o->nullText = *nullText;
    exitCode = RunRows(*o);
  });
}

}  // namespace ravelin
