// Rows per second for full listings of the largest tables: the bundled
// sample always, the shared test files when they are there.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "rows/table_rows.h"
#include "storage/database_file.h"
#include "storage/progress_sink.h"

namespace ravelin {
namespace {

struct Case {
  std::string file;  // relative to the source folder
  std::string table;
};

// One database opened and one table prepared, as a listing finds them.
struct PreparedTable {
  NullProgressSink sink;
  std::unique_ptr<OpenedDatabase> db;
  SystemCatalog* catalog = nullptr;
  RowColumnSet columns;
  ColumnReader reader = ColumnReader::kPositional;

  PreparedTable(const std::string& path, const std::string& table, RecoveryMode mode) {
    OpenRequest request;
    request.path = path;
    request.options.mode = mode;
    db = OpenedDatabase::Open(request, sink, StopToken());
    if (!db) return;
    catalog = db->catalog();
    columns = catalog->PrepareObject(table, "U ", {});
    reader = ChooseColumnReader(*catalog);
  }
};

void ListTable(benchmark::State& state, const std::string& path, const std::string& table, RecoveryMode mode) {
  PreparedTable prepared(path, table, mode);
  if (!prepared.catalog || !prepared.catalog->isTable) {
    state.SkipWithError("table not found");
    return;
  }
  int64_t rows = 0;
  for (auto _ : state) {
    const TablePageList pages = CollectListingPages(prepared.db->file(), *prepared.catalog);
    TableRowReader reader(*prepared.db, prepared.columns, prepared.reader);
    reader.SetListingPages(pages);
    for (const PageRef& ref : pages.pages) {
      std::vector<TableRow> pageRows = reader.ReadPageRows(ref);
      rows += static_cast<int64_t>(pageRows.size());
      benchmark::DoNotOptimize(pageRows.data());
    }
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

const bool kRegistered = [] {
  const std::filesystem::path source(RAVELIN_SOURCE_DIR);
  std::vector<Case> cases = {{"samples/northwind-sql2000.mdf", "Order Details"},
                             {"samples/northwind-sql2000.mdf", "Orders"},
                             {"samples/northwind-sql2000.mdf", "Employees"}};
  const std::filesystem::path shared = source / ".." / "shared" / "testdata";
  if (std::filesystem::is_directory(shared)) {
    for (const Case& c : std::vector<Case>{{"northwind-sql2008r2-sankaranarayanan.mdf", "dbo.Order Details"},
                                           {"northwind-sql2008r2-sankaranarayanan.mdf", "dbo.Employees"},
                                           {"pubs-sql2000.mdf", "pub_info"},
                                           {"pubs-sql2000.mdf", "roysched"},
                                           {"mvcmusicstore-sql2012.mdf", "dbo.Albums"},
                                           {"aspnetdb-sql2008-webshopinholland.mdf", "dbo.aspnet_Membership"},
                                           {"newsengine-sql2008-irinabutaru.mdf", "dbo.news"}})
      cases.push_back({"../shared/testdata/" + c.file, c.table});
  }
  for (const Case& c : cases) {
    const std::string path = (source / c.file).string();
    const std::string file = std::filesystem::path(c.file).stem().string();
    for (RecoveryMode mode : {RecoveryMode::kStandard, RecoveryMode::kAdvanced}) {
      const std::string name =
          "ListTable/" + file + "/" + c.table + (mode == RecoveryMode::kStandard ? "/standard" : "/advanced");
      benchmark::RegisterBenchmark(name.c_str(), ListTable, path, c.table, mode)->Unit(benchmark::kMillisecond);
    }
  }
  return true;
}();

}  // namespace
}  // namespace ravelin
