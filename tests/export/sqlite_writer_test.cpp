// The SQLite export read back through libsqlite3: every value with its
// storage class, the provenance tables, names, Stop and output safety.

#include "export/sqlite_writer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "export/export_fixture.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::Column;
using testing::EntriesOf;
using testing::EveryFamilyTable;
using testing::SampleRun;
using testing::SimpleTable;
using testing::TempDir;
using testing::WriteAll;

// One cell as "typeof:text" (blobs in hex), read back through SQLite.
class Db {
 public:
  explicit Db(const std::string& path) {
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK) << path;
  }
  ~Db() { sqlite3_close(db_); }

  // Every row of `sql`, each cell as typeof:value.
  std::vector<std::vector<std::string>> Query(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db_) << " in " << sql;
      return rows;
    }
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(s); ++i) row.push_back(Cell(s, i));
      rows.push_back(row);
    }
    sqlite3_finalize(s);
    return rows;
  }
  std::string One(const std::string& sql) {
    auto rows = Query(sql);
    return rows.empty() || rows[0].empty() ? "<none>" : rows[0][0];
  }
  double Real(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr);
    double v = std::nan("");
    if (sqlite3_step(s) == SQLITE_ROW) v = sqlite3_column_double(s, 0);
    sqlite3_finalize(s);
    return v;
  }

 private:
  static std::string Cell(sqlite3_stmt* s, int i) {
    switch (sqlite3_column_type(s, i)) {
      case SQLITE_NULL:
        return "null";
      case SQLITE_INTEGER:
        return "integer:" + std::to_string(sqlite3_column_int64(s, i));
      case SQLITE_FLOAT:
        return "real";
      case SQLITE_TEXT:
        return "text:" + std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, i)),
                                     static_cast<size_t>(sqlite3_column_bytes(s, i)));
      default: {
        std::string hex = "blob:";
        const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(s, i));
        for (int k = 0; k < sqlite3_column_bytes(s, i); ++k) {
          static constexpr char kHex[] = "0123456789ABCDEF";
          hex += kHex[p[k] >> 4];
          hex += kHex[p[k] & 15];
        }
        return hex;
      }
    }
  }
  sqlite3* db_ = nullptr;
};

class SqliteWriterTest : public ::testing::Test {
 protected:
  std::string Out(const std::string& name = "out.db") const { return dir_.path() + "/" + name; }
  TempDir dir_;
};

TEST_F(SqliteWriterTest, EveryValueReadsBackWithItsStorageClass) {
  SqliteWriter writer({Out()});
  ASSERT_TRUE(WriteAll(writer, SampleRun(), {EveryFamilyTable()}));
  Db db(Out());
  auto rows = db.Query("SELECT * FROM \"Every Family\" ORDER BY rowid");
  ASSERT_EQ(rows.size(), 4u);
  const std::vector<std::string> first = {"integer:1",
                                          "integer:-9223372036854775808",
                                          "integer:1",
                                          "real",
                                          "real",
                                          "text:12345678901234567890.1234",
                                          "text:1234.5600",
                                          "text:it's \"quoted\", ünï 名前 [x]",
                                          "text:abc",
                                          "text:2024-02-29",
                                          "text:23:59:59.9999999",
                                          "text:1753-01-01 00:00:00.003",
                                          "text:2079-06-06 23:59:00",
                                          "text:0001-01-01 00:00:00.0000000",
                                          "text:2024-05-01 10:30:00.1234567 +05:30",
                                          "text:6F9619FF-8B86-D011-B42D-00C04FC964FF",
                                          "blob:0001FF",
                                          "blob:00000000000007D1",
                                          "text:<a>x &amp; y</a>",
                                          "integer:42",
                                          "blob:58"};
  EXPECT_EQ(rows[0], first);
  EXPECT_EQ(db.Real("SELECT f FROM \"Every Family\" WHERE id = 1"), 0.1);
  EXPECT_EQ(db.Real("SELECT r FROM \"Every Family\" WHERE id = 1"), 1.5);
  EXPECT_EQ(db.Real("SELECT f FROM \"Every Family\" WHERE id = 2"), -1e300);
  // NULL, an empty text and an empty binary stay apart; sql_variant keeps
  // the class of the type it carries.
  EXPECT_EQ(rows[1][7], "text:");
  EXPECT_EQ(rows[1][8], "null");
  EXPECT_EQ(rows[1][16], "blob:");
  EXPECT_EQ(rows[1][19], "text:hi, 'you'");
  EXPECT_EQ(rows[2][8], "text:NULL");
  EXPECT_EQ(rows[2][7], "text:line1\r\nline2\ttab\x01");
  EXPECT_EQ(rows[2][19], "text:3.50");
  EXPECT_EQ(rows[2][5], "text:0.0000");
  // Unreadable values are NULL in the table and listed beside it.
  EXPECT_EQ(rows[2][1], "null");
  EXPECT_EQ(db.Query("SELECT * FROM ravelin_unreadable ORDER BY row_number, column_name"),
            (std::vector<std::vector<std::string>>{{"text:Every Family", "integer:3", "text:big"},
                                                   {"text:Every Family", "integer:4", "text:bin"},
                                                   {"text:Every Family", "integer:4", "text:code"}}));
  // SQLite's date functions read the data texts.
  EXPECT_EQ(db.One("SELECT julianday(dt2) FROM \"Every Family\" WHERE id = 1"), "real");
  EXPECT_EQ(db.One("SELECT datetime(dto) FROM \"Every Family\" WHERE id = 1"), "text:2024-05-01 05:00:00");
  EXPECT_EQ(writer.summary().unreadableValues, 3u);
  ASSERT_EQ(writer.summary().unreadable.size(), 3u);
  EXPECT_EQ(writer.summary().unreadable[0].row, 3u);
  EXPECT_EQ(writer.summary().unreadable[0].column, "big");
  EXPECT_FALSE(writer.summary().Whole());
}

TEST_F(SqliteWriterTest, DeclaresTypesWhoseAffinityKeepsValues) {
  SqliteWriter writer({Out()});
  ASSERT_TRUE(WriteAll(writer, SampleRun(), {EveryFamilyTable()}));
  Db db(Out());
  std::string types;
  for (const auto& row : db.Query("SELECT type FROM pragma_table_info('Every Family')"))
    types += row[0].substr(5) + " ";
  EXPECT_EQ(types,
            "INTEGER INTEGER INTEGER REAL REAL TEXT TEXT TEXT TEXT TEXT TEXT TEXT TEXT TEXT TEXT TEXT BLOB BLOB TEXT "
            "BLOB BLOB ");
}

TEST_F(SqliteWriterTest, ProvenanceTablesDescribeRunTablesColumnsAndModules) {
  testing::SampleTable orders = SimpleTable("sales", "Orders", 3);
  orders.table.columns[1].identity.reset();
  orders.table.foreignKeys = {{"FK_x", {"text"}, "dbo", "Every Family", {"name"}, "", ""}};
  orders.table.objectId = 77;
  orders.table.columns.push_back(Column("total", "int", ValueFamily::kInteger));
  orders.table.columns.back().computedExpression = "([id]*(2))";
  for (auto& row : orders.rows) row.push_back(ExportValue::Null());
  SqliteWriter writer({Out()});
  ASSERT_TRUE(writer.Begin(SampleRun("/data/in.mdf")));
  ASSERT_TRUE(writer.SkipTable("dbo", "Lost", "its columns are not in the catalog"));
  ASSERT_TRUE(writer.BeginTable(orders.table));
  for (const auto& row : orders.rows) ASSERT_TRUE(writer.WriteRow(row));
  ASSERT_TRUE(writer.EndTable({5, {"warning: sales.Orders: page 1:80 cannot be read"}}));
  ASSERT_TRUE(writer.AddModule({"dbo", "v1", ModuleType::kView, "CREATE VIEW v1 AS SELECT 1 AS one"}));
  ASSERT_TRUE(writer.Finish());

  Db db(Out());
  EXPECT_EQ(db.Query("SELECT * FROM ravelin_run"),
            (std::vector<std::vector<std::string>>{{"text:/data/in.mdf", "integer:3145728", "text:Sample DB",
                                                    "text:SQL Server 2019", "text:SQL_Latin1_General_CP1_CI_AS",
                                                    "text:2024-05-01T02:00:00Z", "text:ravelin test", "text:standard",
                                                    "text:none", "integer:1"}}));
  EXPECT_EQ(
      db.Query("SELECT * FROM ravelin_tables ORDER BY status DESC"),
      (std::vector<std::vector<std::string>>{
          {"text:sales.Orders", "text:sales", "text:Orders", "integer:77", "integer:3", "integer:5", "text:standard",
           "text:none", "integer:0", "text:written", "text:warning: sales.Orders: page 1:80 cannot be read"},
          {"null", "text:dbo", "text:Lost", "null", "integer:0", "integer:0", "text:standard", "text:none", "integer:0",
           "text:skipped", "text:its columns are not in the catalog"}}));
  EXPECT_EQ(db.Query("SELECT * FROM ravelin_columns ORDER BY position"),
            (std::vector<std::vector<std::string>>{
                {"text:sales.Orders", "integer:1", "text:id", "text:id", "text:int", "integer:0", "null", "integer:1",
                 "null", "null"},
                {"text:sales.Orders", "integer:2", "text:text", "text:text", "text:nvarchar(20)", "integer:1", "null",
                 "null", "text:dbo.Every Family(name)", "null"},
                {"text:sales.Orders", "integer:3", "text:total", "text:total", "text:int", "integer:1", "null", "null",
                 "null", "text:([id]*(2))"}}));
  EXPECT_EQ(db.Query("SELECT * FROM ravelin_modules"),
            (std::vector<std::vector<std::string>>{
                {"text:dbo", "text:v1", "text:view", "text:CREATE VIEW v1 AS SELECT 1 AS one"}}));
}

TEST_F(SqliteWriterTest, ClashingNamesAreMadeUnique) {
  auto a = SimpleTable("dbo", "Orders", 1);
  auto b = SimpleTable("dbo", "ORDERS", 1);
  auto c = SimpleTable("dbo", "ravelin_tables", 1);
  auto d = SimpleTable("dbo", "sqlite_stat1", 1);
  auto e = SimpleTable("x\"y", "it's [odd]", 1);
  auto f = SimpleTable("dbo", "Orders_2", 1);
  e.table.columns[1].name = "ravelin_status";
  e.table.columns[0].name = "Ünïcode \"名\"";
  SqliteWriter writer({Out()});
  ASSERT_TRUE(WriteAll(writer, SampleRun("/x.mdf", true), {a, b, c, d, e, f}));
  Db db(Out());
  EXPECT_EQ(db.Query("SELECT table_name, source_name FROM ravelin_tables ORDER BY rowid"),
            (std::vector<std::vector<std::string>>{{"text:Orders", "text:Orders"},
                                                   {"text:ORDERS_2", "text:ORDERS"},
                                                   {"text:ravelin_tables_2", "text:ravelin_tables"},
                                                   {"text:_sqlite_stat1", "text:sqlite_stat1"},
                                                   {"text:x\"y.it's [odd]", "text:it's [odd]"},
                                                   {"text:Orders_2_2", "text:Orders_2"}}));
  EXPECT_EQ(db.Query("SELECT * FROM \"x\"\"y.it's [odd]\""),
            (std::vector<std::vector<std::string>>{{"integer:1", "text:text 1", "text:live"}}));
  EXPECT_EQ(db.Query("SELECT name FROM pragma_table_info('x\"y.it''s [odd]')"),
            (std::vector<std::vector<std::string>>{
                {"text:Ünïcode \"名\""}, {"text:ravelin_status_2"}, {"text:ravelin_status"}}));
}

TEST_F(SqliteWriterTest, DeletedRowsCarryTheirStatus) {
  auto s = SimpleTable("dbo", "T", 4);
  SqliteWriter writer({Out()});
  ASSERT_TRUE(writer.Begin(SampleRun("/x.mdf", true)));
  ASSERT_TRUE(writer.BeginTable(s.table));
  const RowStatus statuses[] = {RowStatus::kLive, RowStatus::kGhost, RowStatus::kHunted, RowStatus::kFreePage};
  for (size_t i = 0; i < 4; ++i) ASSERT_TRUE(writer.WriteRow(s.rows[i], statuses[i]));
  ASSERT_TRUE(writer.EndTable());
  ASSERT_TRUE(writer.Finish());
  Db db(Out());
  EXPECT_EQ(db.Query("SELECT id, ravelin_status FROM T ORDER BY id"),
            (std::vector<std::vector<std::string>>{{"integer:1", "text:live"},
                                                   {"integer:2", "text:ghost"},
                                                   {"integer:3", "text:hunted"},
                                                   {"integer:4", "text:free page"}}));
  EXPECT_EQ(db.One("SELECT deleted_options FROM ravelin_tables"), "text:deleted");
}

TEST_F(SqliteWriterTest, RowsThatAreNotLiveNeedTheDeletedOptions) {
  auto s = SimpleTable("dbo", "T", 1);
  SqliteWriter writer({Out()});
  ASSERT_TRUE(writer.Begin(SampleRun()));
  ASSERT_TRUE(writer.BeginTable(s.table));
  EXPECT_FALSE(writer.WriteRow(s.rows[0], RowStatus::kGhost));
  EXPECT_FALSE(writer.Finish());
  EXPECT_TRUE(EntriesOf(dir_.path()).empty());
}

TEST_F(SqliteWriterTest, EmptyTablesAndTablesOfNullsAreWritten) {
  auto empty = SimpleTable("dbo", "Empty", 0);
  auto nulls = SimpleTable("dbo", "Nulls", 0);
  nulls.rows = {{ExportValue::Null(), ExportValue::Null()}, {ExportValue::Null(), ExportValue::Null()}};
  SqliteWriter writer({Out()});
  ASSERT_TRUE(WriteAll(writer, SampleRun(), {empty, nulls}));
  Db db(Out());
  EXPECT_EQ(db.One("SELECT count(*) FROM Empty"), "integer:0");
  EXPECT_EQ(db.Query("SELECT * FROM Nulls"),
            (std::vector<std::vector<std::string>>{{"null", "null"}, {"null", "null"}}));
  EXPECT_EQ(db.One("SELECT group_concat(row_count) FROM ravelin_tables"), "text:0,2");
  EXPECT_TRUE(writer.summary().Whole());
}

TEST_F(SqliteWriterTest, StopKeepsFinishedTablesInAValidFile) {
  auto first = SimpleTable("dbo", "First", 3);
  auto second = SimpleTable("dbo", "Second", 3);
  second.rows[1][1].SetUnreadable();
  SqliteWriter writer({Out()});
  ASSERT_TRUE(writer.Begin(SampleRun()));
  ASSERT_TRUE(writer.BeginTable(first.table));
  for (const auto& row : first.rows) ASSERT_TRUE(writer.WriteRow(row));
  ASSERT_TRUE(writer.EndTable());
  ASSERT_TRUE(writer.BeginTable(second.table));
  ASSERT_TRUE(writer.WriteRow(second.rows[0]));
  ASSERT_TRUE(writer.WriteRow(second.rows[1]));
  ASSERT_TRUE(writer.Stop());
  EXPECT_TRUE(writer.summary().stopped);
  EXPECT_EQ(writer.summary().stoppedIn, "dbo.Second");
  EXPECT_EQ(writer.summary().tables.size(), 1u);

  EXPECT_EQ(EntriesOf(dir_.path()), std::vector<std::string>{"out.db"});
  Db db(Out());
  EXPECT_EQ(db.One("PRAGMA integrity_check"), "text:ok");
  EXPECT_EQ(db.One("SELECT count(*) FROM First"), "integer:3");
  EXPECT_EQ(db.One("SELECT count(*) FROM sqlite_master WHERE name = 'Second'"), "integer:0");
  EXPECT_EQ(db.One("SELECT count(*) FROM ravelin_columns WHERE table_name = 'Second'"), "integer:0");
  EXPECT_EQ(db.One("SELECT count(*) FROM ravelin_unreadable"), "integer:0");
  EXPECT_EQ(db.One("SELECT completed FROM ravelin_run"), "integer:0");
}

TEST_F(SqliteWriterTest, AbandonedExportLeavesNothing) {
  {
    SqliteWriter writer({Out()});
    ASSERT_TRUE(writer.Begin(SampleRun()));
    auto s = SimpleTable("dbo", "T", 2);
    ASSERT_TRUE(writer.BeginTable(s.table));
    ASSERT_TRUE(writer.WriteRow(s.rows[0]));
    EXPECT_EQ(EntriesOf(dir_.path()).size(), 1u);  // the temporary file
  }
  EXPECT_TRUE(EntriesOf(dir_.path()).empty());
  SqliteWriter writer({Out()});
  ASSERT_TRUE(writer.Begin(SampleRun()));
  writer.Abort();
  EXPECT_TRUE(EntriesOf(dir_.path()).empty());
  EXPECT_FALSE(writer.Finish());
}

TEST_F(SqliteWriterTest, RefusesExistingOutputsAndTheInputFiles) {
  const std::string existing = dir_.Write("existing.db", {'x'});
  const std::string input = dir_.Write("data.mdf", {'m'});
  const std::string secondary = dir_.Write("data2.ndf", {'n'});
  ExportRun run = SampleRun(input);
  run.inputFiles.push_back(secondary);

  SqliteWriter exists({existing});
  EXPECT_FALSE(exists.Begin(run));
  EXPECT_NE(exists.error().find("already exists"), std::string::npos) << exists.error();
  EXPECT_EQ(testing::ReadText(existing), "x");

  // The input, even forced, under another spelling or through a link.
  ASSERT_EQ(symlink(secondary.c_str(), Out("link.db").c_str()), 0);
  ASSERT_EQ(link(input.c_str(), Out("hard.db").c_str()), 0);
  for (const std::string& path : {input, dir_.path() + "/./data.mdf", secondary, Out("link.db"), Out("hard.db")}) {
    SqliteWriter writer({path, true});
    EXPECT_FALSE(writer.Begin(run)) << path;
    EXPECT_NE(writer.error().find("file of the database being read"), std::string::npos) << writer.error();
  }
  EXPECT_EQ(testing::ReadText(input), "m");
  EXPECT_EQ(testing::ReadText(secondary), "n");

  SqliteWriter folder({dir_.path(), true});
  EXPECT_FALSE(folder.Begin(run));

  SqliteWriter forced({existing, true});
  ASSERT_TRUE(WriteAll(forced, run, {SimpleTable("dbo", "T", 1)}));
  Db db(existing);
  EXPECT_EQ(db.One("SELECT count(*) FROM T"), "integer:1");
}

TEST_F(SqliteWriterTest, WriteErrorsAreReportedWithTheirReason) {
  const std::string message = testing::InChildWithFileLimit(64 * 1024, [&] {
    SqliteWriter writer({Out()});
    testing::WriteAll(writer, SampleRun(), {SimpleTable("dbo", "Big", 20000)}, {}, false);
    return writer.error();
  });
  EXPECT_NE(message.find(Out()), std::string::npos) << message;
  EXPECT_NE(message.find("File too large"), std::string::npos) << message;
  EXPECT_TRUE(EntriesOf(dir_.path()).empty());

  SqliteWriter missing({dir_.path() + "/no/such/folder/out.db"});
  EXPECT_FALSE(missing.Begin(SampleRun()));
  EXPECT_NE(missing.error().find("No such file or directory"), std::string::npos) << missing.error();
}

TEST_F(SqliteWriterTest, CallsOutOfOrderFail) {
  SqliteWriter writer({Out()});
  EXPECT_FALSE(writer.BeginTable(SimpleTable("dbo", "T", 0).table));
  EXPECT_NE(writer.error().find("out of order"), std::string::npos);
  SqliteWriter wrongWidth({Out()});
  ASSERT_TRUE(wrongWidth.Begin(SampleRun()));
  ASSERT_TRUE(wrongWidth.BeginTable(SimpleTable("dbo", "T", 0).table));
  EXPECT_FALSE(wrongWidth.WriteRow(std::vector<ExportValue>{ExportValue::Integer(1)}));
  EXPECT_NE(wrongWidth.error().find("1 values for 2 columns"), std::string::npos) << wrongWidth.error();
  EXPECT_TRUE(EntriesOf(dir_.path()).empty());
}

}  // namespace
}  // namespace ravelin
