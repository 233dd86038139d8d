// Rows per second of a whole export of the largest test table (Order
// Details, 2155 rows), to SQLite and to the T-SQL script, beside `rows
// --format tsv` of the same table in the same run, as time ratios: the
// commands as a user runs them, the rows alone, and whole exports of the
// one table beside its listing (the SQLite export should cost at most
// twice the TSV listing).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "catalog/declared_type.h"
#include "catalog/object_names.h"
#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "cli/cli_context.h"
#include "cli/output.h"
#include "cli/row_writer.h"
#include "export/export_driver.h"
#include "export/script_writer.h"
#include "export/sqlite_writer.h"
#include "rows/table_rows.h"

namespace ravelin {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// The process's CPU time: the machine's other work (and waits for the
// disk) left out.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// What `rows --format tsv` does for the table, into /dev/null.
uint64_t ListAsTsv(OpenedDatabase& db, const ObjectRow& object, std::FILE* sink) {
  SystemCatalog& catalog = *db.catalog();
  const std::vector<ColumnDescriptor> columns = catalog.PrepareObject(object.name, object.typeCode, {});
  std::vector<size_t> shown;
  std::vector<RowColumn> header;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].hobtColumnId == kDroppedColumnId) continue;
    shown.push_back(i);
    header.push_back({columns[i].name, DeclaredType(columns[i])});
  }
  const TablePageList pages = CollectListingPages(db.file(), catalog);
  TableRowReader reader(db, columns, ChooseColumnReader(catalog));
  reader.SetListingPages(pages);
  reader.SetRecordShape(catalog.DescribeRecordShape(columns), nullptr, object.name);
  reader.SetDataValues(true);
  Output out(sink, nullptr);
  RowWriter writer(out, RowFormat::kTsv, object.name, header, false, std::nullopt);
  std::vector<const DataValue*> values(shown.size());
  uint64_t rows = 0;
  for (const PageRef& ref : pages.pages) {
    for (const TableRow& row : reader.ReadPageRows(ref)) {
      for (size_t k = 0; k < shown.size(); ++k) values[k] = &row.data[shown[k]];
      writer.Write(values, "live");
      ++rows;
    }
  }
  writer.Finish({});
  out.Flush();
  return rows;
}

// Runs a command line in this process, its output into `out`.
void RunCommand(const std::vector<std::string>& args, std::FILE* out) {
  std::vector<const char*> argv = {"ravelin"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  CliContext context;
  context.out = out;
  context.err = out;
  RunCommandLine(static_cast<int>(argv.size()), argv.data(), context);
}

// Times, per iteration: the table listed as TSV; the table exported to
// SQLite and to the script; an empty table of the same database exported
// both ways (what an export costs beside its rows: the file, the
// provenance and definitions, the flush to the device); and the two
// commands as a user runs them, `rows --format tsv` and `export --sqlite`.
void ExportBesideTsv(benchmark::State& state, const std::string& path, const std::string& table,
                     const std::string& emptyTable) {
  NullProgressSink sink;
  OpenRequest request;
  request.path = path;
  std::unique_ptr<OpenedDatabase> db = OpenedDatabase::Open(request, sink, StopToken());
  if (!db) {
    state.SkipWithError("cannot open");
    return;
  }
  const SystemCatalog& catalog = *db->catalog();
  const ObjectNames names(catalog);
  ExportJob job, empty;
  for (size_t i = 0; i < catalog.objects.size(); ++i) {
    if (names.Qualified(catalog.objects[i]) == table) job.tables = {i};
    if (names.Qualified(catalog.objects[i]) == emptyTable) empty.tables = {i};
  }
  if (job.tables.empty() || empty.tables.empty()) {
    state.SkipWithError("table not found");
    return;
  }
  const ObjectRow object = catalog.objects[job.tables[0]];
  const std::string folder = std::filesystem::temp_directory_path() / ("ravelin-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  std::FILE* devNull = std::fopen("/dev/null", "w");
  double tsv = 0, sqlite = 0, script = 0, sqliteFixed = 0, scriptFixed = 0, rowsCommand = 0, exportCommand = 0;
  double tsvCpu = 0, sqliteCpu = 0, sqliteFixedCpu = 0;
  uint64_t rows = 0;
  auto timed = [](double& total, auto&& work, double* cpu = nullptr) {
    const Clock::time_point start = Clock::now();
    const double cpuStart = CpuSeconds();
    work();
    total += Seconds(start);
    if (cpu) *cpu += CpuSeconds() - cpuStart;
  };
  for (auto _ : state) {
    timed(
        tsv, [&] { rows += ListAsTsv(*db, object, devNull); }, &tsvCpu);
    for (auto [chosen, sqliteTime, scriptTime, sqliteCpuTime] :
         {std::tuple{&job, &sqlite, &script, &sqliteCpu},
          std::tuple{&empty, &sqliteFixed, &scriptFixed, &sqliteFixedCpu}}) {
      timed(
          *sqliteTime,
          [&] {
            SqliteWriter writer({folder + "/bench.db", true});
            if (!RunExportJob(*db, writer, *chosen, sink, StopToken()).ok) state.SkipWithError("sqlite export failed");
          },
          sqliteCpuTime);
      timed(*scriptTime, [&] {
        ScriptWriter writer({folder + "/bench.sql", true});
        if (!RunExportJob(*db, writer, *chosen, sink, StopToken()).ok) state.SkipWithError("script export failed");
      });
    }
    timed(rowsCommand, [&] { RunCommand({"rows", path, table, "--format", "tsv", "--quiet"}, devNull); });
    timed(exportCommand, [&] {
      RunCommand({"export", path, "--sqlite", folder + "/command.db", "--table", table, "--force", "--quiet"}, devNull);
    });
  }
  std::fclose(devNull);
  std::filesystem::remove_all(folder);
  const double n = static_cast<double>(rows);
  state.counters["tsv rows/s"] = n / tsv;
  state.counters["sqlite rows/s"] = n / sqlite;
  state.counters["script rows/s"] = n / script;
  // The cost of the rows alone, beside the same rows as TSV.
  state.counters["sqlite/tsv rows"] = (sqlite - sqliteFixed) / tsv;
  state.counters["script/tsv rows"] = (script - scriptFixed) / tsv;
  state.counters["sqlite/tsv rows cpu"] = (sqliteCpu - sqliteFixedCpu) / tsvCpu;
  // Whole exports of the one table, beside its listing alone.
  state.counters["sqlite/tsv"] = sqlite / tsv;
  state.counters["script/tsv"] = script / tsv;
  // The commands as run: export --sqlite beside rows --format tsv.
  state.counters["command sqlite/tsv"] = exportCommand / rowsCommand;
}

const bool kRegistered = [] {
  const std::filesystem::path source(RAVELIN_SOURCE_DIR);
  // The largest table of the test files: Order Details (2155 rows).
  std::vector<std::pair<std::string, std::string>> cases = {{"samples/northwind-sql2000.mdf", "dbo.Order Details"}};
  if (std::filesystem::is_directory(source / ".." / "shared" / "testdata"))
    cases.push_back({"../shared/testdata/northwind-sql2008r2-sankaranarayanan.mdf", "dbo.Order Details"});
  for (const auto& [file, table] : cases) {
    const std::string name = "ExportBesideTsv/" + std::filesystem::path(file).stem().string() + "/" + table;
    benchmark::RegisterBenchmark(name.c_str(), ExportBesideTsv, (source / file).string(), table,
                                 "dbo.CustomerDemographics")
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
}  // namespace ravelin
