// The export driver over a synthetic database of awkward tables: odd and
// non-Latin names, an unreadable value, a table of only NULLs, an empty
// table, a table whose only page is lost; one range per table; Stop.

#include "export/export_driver.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>

#include "export/csv_writer.h"
#include "export/export_fixture.h"
#include "export/export_values.h"
#include "export/script_writer.h"
#include "export/sqlite_writer.h"
#include "export/tsql_reader.h"
#include "support/export_image.h"
#include "support/recording_sink.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::EntriesOf;
using testing::ReadText;
using testing::RecordingSink;
using testing::TempDir;

const std::string kOdd = std::string(testing::kOddSchema) + "." + testing::kOddTable;
const std::string kNonLatin = std::string("dbo.") + testing::kNonLatinTable;

std::string Cell(sqlite3_stmt* s, int i) {
  switch (sqlite3_column_type(s, i)) {
    case SQLITE_NULL:
      return "null";
    case SQLITE_INTEGER:
      return "int:" + std::to_string(sqlite3_column_int64(s, i));
    case SQLITE_FLOAT:
      return "real:" + std::to_string(sqlite3_column_double(s, i));
    case SQLITE_TEXT:
      return "text:" + std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, i)));
    default:
      return "blob:" + std::to_string(sqlite3_column_bytes(s, i));
  }
}

// Every row of `sql`, its cells joined by "|".
std::vector<std::string> Query(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::vector<std::string> rows;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
    sqlite3_close(db);
    return rows;
  }
  while (sqlite3_step(s) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(s); ++i) row += (i > 0 ? "|" : "") + Cell(s, i);
    rows.push_back(row);
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  return rows;
}

using Rows = std::vector<std::string>;

// `text` with its quotes doubled, for an SQL string literal.
std::string SqlText(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out;
}

class ExportDriverTest : public ::testing::Test {
 protected:
  void SetUp() override { database_ = std::make_unique<testing::TestDatabase>(testing::ExportEdgeImage()); }
  // Opens the database with `options` and exports it through `writer`.
  ExportResult Export(ExportWriter& writer, ReadOptions options = {}, ExportJob job = {}) {
    database_->options() = options;
    EXPECT_TRUE(database_->OpenDatabase());
    job.runTime = "2026-01-01T00:00:00Z";
    return RunExportJob(database_->opened(), writer, job, sink_, StopToken(stop_));
  }
  std::string Out(const std::string& name) const { return dir_.path() + "/" + name; }

  TempDir dir_;
  std::unique_ptr<testing::TestDatabase> database_;
  RecordingSink sink_;
  std::atomic<bool> stop_{false};
};

TEST_F(ExportDriverTest, AwkwardTablesReadBackThroughSqlite) {
  SqliteWriter writer({Out("edge.db")});
  const ExportResult result = Export(writer);
  ASSERT_TRUE(result.ok) << result.error;
  const std::string db = Out("edge.db");

  EXPECT_EQ(Query(db, "SELECT table_name, row_count, pages, values_unreadable, status FROM ravelin_tables"),
            (Rows{"text:" + kOdd + "|int:3|int:1|int:1|text:written",
                  "text:" + std::string(testing::kNonLatinTable) + "|int:3|int:1|int:0|text:written",
                  "text:Empty|int:0|int:0|int:0|text:written", "text:Lost|int:0|int:0|int:0|text:written"}));
  // Names, quotes and brackets as they are; the unreadable value NULL and
  // listed; dates as their data text.
  EXPECT_EQ(Query(db, "SELECT * FROM \"" + kOdd + "\" ORDER BY rowid"),
            (Rows{"int:1|text:1900-01-01 00:00:00.000|text:" + std::string(testing::kOddText), "int:2|null|text:x",
                  "int:3|null|null"}));
  EXPECT_EQ(Query(db, "SELECT table_name, row_number, column_name FROM ravelin_unreadable"),
            Rows{"text:" + kOdd + "|int:2|text:Placed"});
  EXPECT_EQ(Query(db, std::string("SELECT * FROM \"") + testing::kNonLatinTable + "\""),
            (Rows{"null|null", "null|null", "null|null"}));
  EXPECT_EQ(Query(db, "SELECT count(*) FROM Empty"), Rows{"int:0"});
  EXPECT_EQ(Query(db,
                  "SELECT column_name, sql_type, nullable, identity, primary_key FROM ravelin_columns WHERE "
                  "table_name = '" +
                      SqlText(kOdd) + "'"),
            (Rows{"text:Id|text:int|int:0|text:IDENTITY(1,1)|int:1", "text:Placed|text:datetime|int:1|null|null",
                  "text:Name|text:nvarchar(50)|int:1|null|null"}));
  EXPECT_EQ(Query(db, "SELECT schema_name, name, type, definition FROM ravelin_modules WHERE type <> 'other'"),
            Rows{"text:dbo|text:V|text:view|text:"});
  EXPECT_EQ(Query(db, "SELECT recovery_mode, deleted_options, run_time, completed FROM ravelin_run"),
            Rows{"text:standard|text:none|text:2026-01-01T00:00:00Z|int:1"});

  // The summary counts what is missing; the sink heard it in the words of rows.
  EXPECT_FALSE(result.summary.Whole());
  EXPECT_EQ(result.summary.unreadableValues, 1u);
  ASSERT_EQ(result.summary.unreadable.size(), 1u);
  EXPECT_EQ(result.summary.unreadable[0].row, 2u);
  const Rows warnings = sink_.Texts('W');
  EXPECT_NE(std::find(warnings.begin(), warnings.end(),
                      "warning: " + kOdd + ": a value cannot be read, row 2 (page 1:30 slot 1), column Placed"),
            warnings.end());
  // The table whose only page is lost says so; the empty one does not.
  EXPECT_NE(std::find(warnings.begin(), warnings.end(),
                      "warning: dbo.Lost: none of the table's pages can be read, its first page 1:32 does not read "
                      "as a page"),
            warnings.end());
  ASSERT_EQ(result.summary.tables.size(), 4u);
  EXPECT_TRUE(result.summary.tables[2].warnings.empty());
  EXPECT_EQ(result.summary.tables[3].warnings.size(), 1u);
}

TEST_F(ExportDriverTest, OneProgressRangePerTableNamedInTheStatus) {
  CsvWriter writer({Out("csv")});
  ASSERT_TRUE(Export(writer).ok);
  Rows statuses;
  std::vector<std::pair<int64_t, int64_t>> ranges;
  for (const auto& e : sink_.events()) {
    if (e.kind == 'S') statuses.push_back(e.text);
    if (e.kind == 'R') ranges.emplace_back(e.a, e.b);
  }
  EXPECT_EQ(statuses, (Rows{kOdd, kNonLatin, "dbo.Empty", "dbo.Lost"}));
  EXPECT_EQ(ranges, (std::vector<std::pair<int64_t, int64_t>>{{0, 1}, {0, 1}, {0, 0}, {0, 0}}));

  // The CSV files: odd names kept, NULL an empty field, the unreadable marker.
  EXPECT_EQ(EntriesOf(Out("csv")), (Rows{"dbo.Empty.csv", "dbo.Lost.csv", kNonLatin + ".csv", kOdd + ".csv"}));
  EXPECT_EQ(ReadText(Out("csv/" + kNonLatin + ".csv")), "A,B\r\n,\r\n,\r\n,\r\n");
  EXPECT_EQ(ReadText(Out("csv/" + kOdd + ".csv")),
            "Id,Placed,Name\r\n1,1900-01-01 00:00:00.000," + std::string(testing::kOddText) + "\r\n2,\\?,x\r\n3,,\r\n");
  EXPECT_EQ(ReadText(Out("csv/dbo.Empty.csv")), "Note\r\n");
}

TEST_F(ExportDriverTest, TheScriptQuotesNamesAndLiterals) {
  ScriptWriter writer({Out("edge.sql")});
  ASSERT_TRUE(Export(writer).ok);
  const std::string script = ReadText(Out("edge.sql"));
  EXPECT_NE(script.find("CREATE SCHEMA [sales ]]app]"), std::string::npos);
  EXPECT_NE(script.find("CREATE TABLE [sales ]]app].[Order [Details]] 'q']"), std::string::npos);
  EXPECT_NE(script.find("SET IDENTITY_INSERT [sales ]]app].[Order [Details]] 'q'] ON"), std::string::npos);
  const std::vector<testing::TsqlInsert> inserts = testing::ReadInserts(script);
  size_t rows = 0;
  for (const auto& insert : inserts) {
    rows += insert.rows.size();
    if (insert.table != kOdd) continue;
    for (const auto& row : insert.rows) {
      if (row[0].text == "1") {
        EXPECT_EQ(row[2].text, testing::kOddText);
      }
      if (row[0].text == "2") {
        EXPECT_TRUE(row[1].unreadable);
      }
    }
  }
  EXPECT_EQ(rows, 6u);
}

TEST_F(ExportDriverTest, DeletedOptionsAddTheStatusColumn) {
  SqliteWriter writer({Out("deleted.db")});
  ReadOptions options;
  options.showDeleted = true;
  ASSERT_TRUE(Export(writer, options).ok);
  EXPECT_EQ(Query(Out("deleted.db"), "SELECT ravelin_status FROM \"" + kOdd + "\""),
            (Rows{"text:live", "text:live", "text:live"}));
  EXPECT_EQ(Query(Out("deleted.db"), "SELECT deleted_options FROM ravelin_run"), Rows{"text:deleted"});
}

TEST_F(ExportDriverTest, ChosenTablesOnlyInTheirOrder) {
  ASSERT_TRUE(database_->OpenDatabase());
  const SystemCatalog& catalog = database_->catalog();
  ExportJob job;
  for (size_t i = 0; i < catalog.objects.size(); ++i)
    if (catalog.objects[i].name == "dbo.Empty" || catalog.objects[i].name == kNonLatin)
      job.tables.insert(job.tables.begin(), i);
  SqliteWriter writer({Out("chosen.db")});
  ASSERT_TRUE(Export(writer, {}, job).ok);
  EXPECT_EQ(Query(Out("chosen.db"), "SELECT table_name FROM ravelin_tables"),
            (Rows{"text:Empty", "text:" + std::string(testing::kNonLatinTable)}));
}

TEST_F(ExportDriverTest, StopKeepsTheCompletedTablesOfTheSqliteFileOnly) {
  // Stop once the first table's page is read: it completes, nothing after.
  sink_.onPosition = [this](int64_t) { stop_ = true; };
  SqliteWriter sqlite({Out("stopped.db")});
  ExportResult result = Export(sqlite);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(result.summary.stopped);
  EXPECT_EQ(Query(Out("stopped.db"), "SELECT table_name, row_count FROM ravelin_tables"),
            Rows{"text:" + kOdd + "|int:3"});
  EXPECT_EQ(Query(Out("stopped.db"), "SELECT completed FROM ravelin_run"), Rows{"int:0"});
  EXPECT_EQ(Query(Out("stopped.db"), "SELECT count(*) FROM sqlite_master WHERE name = 'Empty'"), Rows{"int:0"});

  stop_ = false;
  ScriptWriter script({Out("stopped.sql")});
  result = Export(script);
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(result.summary.stopped);
  EXPECT_FALSE(std::filesystem::exists(Out("stopped.sql")));
  EXPECT_EQ(EntriesOf(dir_.path()), Rows{"stopped.db"});
}

// A stop in the middle of a table of the sample (Order Details, nine
// pages): the SQLite file keeps the tables before it, whole, and drops it.
TEST(ExportDriverStop, AStopInsideATableLeavesItOut) {
  auto db = testing::OpenDatabaseFile(std::string(RAVELIN_SOURCE_DIR) + "/samples/northwind-sql2000.mdf");
  ASSERT_TRUE(db);
  TempDir dir;
  RecordingSink sink;
  std::atomic<bool> stop{false};
  sink.onPosition = [&](int64_t position) {
    const Rows statuses = sink.Texts('S');
    if (!statuses.empty() && statuses.back() == "dbo.Order Details" && position == 3) stop = true;
  };
  SqliteWriter writer({dir.path() + "/stopped.db"});
  const ExportResult result = RunExportJob(*db, writer, {}, sink, StopToken(stop));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(result.summary.stopped);
  EXPECT_EQ(result.summary.stoppedIn, "dbo.Order Details");
  const std::string path = dir.path() + "/stopped.db";
  EXPECT_EQ(Query(path, "SELECT table_name, row_count FROM ravelin_tables"),
            (Rows{"text:Orders|int:830", "text:Products|int:77"}));
  EXPECT_EQ(Query(path, "SELECT count(*) FROM Orders"), Rows{"int:830"});
  EXPECT_EQ(Query(path, "SELECT count(*) FROM sqlite_master WHERE name = 'Order Details'"), Rows{"int:0"});
  EXPECT_EQ(Query(path, "SELECT count(*) FROM ravelin_columns WHERE table_name = 'Order Details'"), Rows{"int:0"});
  EXPECT_EQ(Query(path, "SELECT completed FROM ravelin_run"), Rows{"int:0"});
}

TEST(ExportValues, EveryDataKindMapsOntoItsExportKind) {
  ExportValue v;
  v.SetText("left over");
  ToExportValue(DataValue::Null(), v);
  EXPECT_EQ(v.kind, ValueKind::kNull);
  ToExportValue(DataValue::Unreadable(), v);
  EXPECT_TRUE(IsUnreadable(v));
  ToExportValue(DataValue::Exact("1234.5600"), v);
  EXPECT_EQ(v.kind, ValueKind::kExact);
  EXPECT_EQ(v.text, "1234.5600");
  ToExportValue(DataValue::Bit(true), v);
  EXPECT_EQ(v.kind, ValueKind::kBit);
  EXPECT_EQ(v.integer, 1);
  ToExportValue(DataValue::Binary(std::string("\x00\xFF", 2)), v);
  EXPECT_EQ(v.kind, ValueKind::kBinary);
  EXPECT_EQ(v.text.size(), 2u);
  // A sql_variant value keeps the type it carries; a 4-byte real its float text.
  DataValue real = DataValue::Real(0.1f, true);
  real.variantType = "real";
  real.variantTypeId = 59;
  ToExportValue(real, v);
  EXPECT_EQ(v.variantType, "real");
  EXPECT_EQ(v.variantFamily, ValueFamily::kReal);
  std::string text;
  AppendDataText(text, v, v.variantFamily);
  EXPECT_EQ(text, DataText(real));
  ToExportValue(DataValue::Integer(-5), v);
  EXPECT_TRUE(v.variantType.empty());
  EXPECT_EQ(FamilyOfTypeCode(kTypeSmallMoney), ValueFamily::kMoney);
  EXPECT_EQ(FamilyOfTypeCode(kTypeSystem232), ValueFamily::kUnicode);
  EXPECT_EQ(FamilyOfSystemType(165), ValueFamily::kBinary);
}

}  // namespace
}  // namespace ravelin
