// Rows per second of the export writers on a large synthetic table: the
// SQLite database, the T-SQL script and the CSV folder.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "export/csv_writer.h"
#include "export/script_writer.h"
#include "export/sqlite_writer.h"

namespace ravelin {
namespace {

constexpr int64_t kRows = 200000;

ExportColumn MakeColumn(const std::string& name, const std::string& type, ValueFamily family) {
  ExportColumn c;
  c.name = name;
  c.declaredType = type;
  c.family = family;
  return c;
}

// An orders-like table: keys, texts, an exact amount, a date, a float and a
// short binary value.
ExportTable BenchTable() {
  ExportTable t;
  t.name = "Orders";
  t.columns = {MakeColumn("OrderID", "int", ValueFamily::kInteger),
               MakeColumn("CustomerID", "nchar(5)", ValueFamily::kUnicode),
               MakeColumn("ShipName", "nvarchar(40)", ValueFamily::kUnicode),
               MakeColumn("Freight", "money", ValueFamily::kMoney),
               MakeColumn("OrderDate", "datetime", ValueFamily::kDateTime),
               MakeColumn("Weight", "float", ValueFamily::kFloat),
               MakeColumn("Shipped", "bit", ValueFamily::kBit),
               MakeColumn("Stamp", "varbinary(16)", ValueFamily::kBinary)};
  t.columns[0].identity = ExportIdentity{};
  t.columns[0].nullable = false;
  t.primaryKey = ExportKey{"PK_Orders", {"OrderID"}, true};
  return t;
}

// Fills `row` with the values of row `i`, as a driver refills one vector.
void FillRow(std::vector<ExportValue>& row, int64_t i) {
  row[0].SetInteger(i);
  row[1].SetText("VINET");
  row[2].SetText(i % 7 == 0 ? "Vins et alcools Chevalier, l'entrepôt" : "Toms Spezialitäten");
  row[3].SetExact(std::to_string(i % 1000) + "." + std::to_string(1000 + i % 9000).substr(0, 4));
  row[4].SetText("1996-07-04 00:00:00.000");
  row[5].SetReal(static_cast<double>(i) / 3.0);
  row[6].SetBit(i % 2 == 0);
  if (i % 5 == 0)
    row[7].SetNull();
  else
    row[7].SetBinary(std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
}

template <typename Writer, typename... Extra>
void WriteTable(benchmark::State& state, const std::string& name, Extra... extra) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "ravelin-export-bench";
  std::filesystem::create_directories(dir);
  const std::string out = (dir / name).string();
  const ExportTable table = BenchTable();
  ExportRun run;
  run.sourceFile = "bench.mdf";
  std::vector<ExportValue> row(table.columns.size());
  for (auto _ : state) {
    std::filesystem::remove_all(out);
    Writer writer(ExportOutput{out, true}, extra...);
    bool ok = writer.Begin(run) && writer.BeginTable(table);
    for (int64_t i = 1; ok && i <= kRows; ++i) {
      FillRow(row, i);
      ok = writer.WriteRow(row);
    }
    ok = ok && writer.EndTable() && writer.Finish();
    if (!ok) {
      state.SkipWithError(writer.error().c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  std::filesystem::remove_all(dir);
}

void BM_ExportSqlite(benchmark::State& state) { WriteTable<SqliteWriter>(state, "bench.db"); }
void BM_ExportScript(benchmark::State& state) { WriteTable<ScriptWriter>(state, "bench.sql"); }
void BM_ExportCsv(benchmark::State& state) { WriteTable<CsvWriter>(state, "bench-csv", CsvWriter::Layout::kFolder); }

BENCHMARK(BM_ExportSqlite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportScript)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ravelin
