// The T-SQL script export: statements, literals read back, batches, the
// deleted-row tables, the order of constraints and modules, names, output
// safety, and an independent parse of the generated statements.

#include "export/script_writer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cfloat>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "export/export_fixture.h"
#include "export/tsql_reader.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::Column;
using testing::EntriesOf;
using testing::EveryFamilyTable;
using testing::ReadInserts;
using testing::ReadText;
using testing::SampleRun;
using testing::SimpleTable;
using testing::SplitBatches;
using testing::TempDir;
using testing::TsqlInsert;
using testing::TsqlLiteral;
using testing::WriteAll;

TsqlLiteral Null(bool unreadable = false) { return {TsqlLiteral::kNull, "", "", false, unreadable}; }
TsqlLiteral Num(const std::string& text, const std::string& cast = "") {
  return {TsqlLiteral::kNumber, text, cast, false, false};
}
TsqlLiteral NStr(const std::string& text, const std::string& cast = "") {
  return {TsqlLiteral::kString, text, cast, true, false};
}
TsqlLiteral Str(const std::string& text, const std::string& cast = "") {
  return {TsqlLiteral::kString, text, cast, false, false};
}
TsqlLiteral Bin(const std::string& hex, const std::string& cast = "") {
  return {TsqlLiteral::kBinary, hex, cast, false, false};
}

class ScriptWriterTest : public ::testing::Test {
 protected:
  std::string Out(const std::string& name = "out.sql") const { return dir_.path() + "/" + name; }
  // Writes `tables` and `modules` and returns the script.
  std::string Script(const std::vector<testing::SampleTable>& tables, const std::vector<ExportModule>& modules = {},
                     const ExportRun& run = SampleRun()) {
    std::filesystem::remove(Out());
    ScriptWriter writer({Out()});
    EXPECT_TRUE(WriteAll(writer, run, tables, modules));
    return ReadText(Out());
  }
  TempDir dir_;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(ScriptWriterTest, CreatesTheTableAndInsertsEveryValueExactly) {
  const std::string script = Script({EveryFamilyTable()});
  ASSERT_TRUE(script.starts_with("\xEF\xBB\xBF-- Database Sample DB recovered from /nonexistent/sample.mdf"));
  EXPECT_NE(script.find("SET NOCOUNT ON;\r\nSET ANSI_NULLS ON;\r\nSET QUOTED_IDENTIFIER ON;\r\nGO\r\n"),
            std::string::npos);
  EXPECT_NE(script.find("CREATE TABLE [dbo].[Every Family] (\r\n"
                        "  [id] int IDENTITY(1,1) NOT NULL,\r\n"
                        "  [big] bigint NULL,\r\n"
                        "  [flag] bit NULL,\r\n"
                        "  [f] float NULL,\r\n"
                        "  [r] real NULL,\r\n"
                        "  [price] decimal(38,4) NULL,\r\n"
                        "  [amount] money NULL,\r\n"
                        "  [name] nvarchar(40) NULL,\r\n"
                        "  [code] varchar(10) NULL,\r\n"
                        "  [d] date NULL,\r\n"
                        "  [t] time(7) NULL,\r\n"
                        "  [dt] datetime NULL,\r\n"
                        "  [sdt] smalldatetime NULL,\r\n"
                        "  [dt2] datetime2(7) NULL,\r\n"
                        "  [dto] datetimeoffset(7) NULL,\r\n"
                        "  [guid] uniqueidentifier NULL,\r\n"
                        "  [bin] varbinary(max) NULL,\r\n"
                        "  [ts] timestamp NOT NULL,\r\n"
                        "  [x] xml NULL,\r\n"
                        "  [v] sql_variant NULL,\r\n"
                        "  [h] hierarchyid NULL,\r\n"
                        "  CONSTRAINT [PK_Every Family] PRIMARY KEY CLUSTERED ([id])\r\n"
                        ");\r\nGO\r\n"),
            std::string::npos)
      << script;

  const std::vector<TsqlInsert> inserts = ReadInserts(script);
  ASSERT_EQ(inserts.size(), 3u);  // rows 1-2, then rows 3 and 4 alone: they hold unreadable values
  EXPECT_EQ(inserts[0].table, "dbo.Every Family");
  EXPECT_EQ(inserts[0].columns.size(), 20u);  // every column but the timestamp, which the server sets
  EXPECT_EQ(std::count(inserts[0].columns.begin(), inserts[0].columns.end(), "ts"), 0);
  ASSERT_EQ(inserts[0].rows.size(), 2u);
  EXPECT_EQ(inserts[0].rows[0], (std::vector<TsqlLiteral>{Num("1"),
                                                          Num("-9223372036854775808"),
                                                          Num("1"),
                                                          Num("0.1E0"),
                                                          Num("1.5E0"),
                                                          Num("12345678901234567890.1234"),
                                                          Num("1234.5600"),
                                                          NStr("it's \"quoted\", ünï 名前 [x]"),
                                                          NStr("abc"),
                                                          Str("2024-02-29", "date"),
                                                          Str("23:59:59.9999999", "time(7)"),
                                                          Str("1753-01-01T00:00:00.003", "datetime"),
                                                          Str("2079-06-06T23:59:00", "smalldatetime"),
                                                          Str("0001-01-01T00:00:00.0000000", "datetime2(7)"),
                                                          Str("2024-05-01T10:30:00.1234567+05:30", "datetimeoffset(7)"),
                                                          Str("6F9619FF-8B86-D011-B42D-00C04FC964FF"),
                                                          Bin("0001FF"),
                                                          NStr("<a>x &amp; y</a>"),
                                                          Num("42", "int"),
                                                          Bin("58", "hierarchyid")}));
  const std::vector<TsqlLiteral>& second = inserts[0].rows[1];
  EXPECT_EQ(second[1], Num("9223372036854775807"));
  EXPECT_EQ(second[3], Num("-1e+300"));
  EXPECT_EQ(second[4], Num("3.4028235e+38"));
  EXPECT_EQ(std::stof(second[4].text), FLT_MAX);
  EXPECT_EQ(second[6], Num("-922337203685477.5808"));
  EXPECT_EQ(second[7], NStr(""));  // an empty text, not NULL
  EXPECT_EQ(second[8], Null());
  EXPECT_EQ(second[14], Str("2024-05-01T10:30:00.0000000-08:00", "datetimeoffset(7)"));
  EXPECT_EQ(second[16], Bin(""));
  EXPECT_EQ(second[18], NStr("hi, 'you'", "nvarchar(10)"));

  ASSERT_EQ(inserts[1].rows.size(), 1u);
  const std::vector<TsqlLiteral>& third = inserts[1].rows[0];
  EXPECT_EQ(third[1], Null(true));
  EXPECT_EQ(third[3], Num("2.2250738585072014e-308"));
  EXPECT_EQ(third[7], NStr("line1\r\nline2\ttab\x01"));
  EXPECT_EQ(third[8], NStr("NULL"));
  EXPECT_EQ(third[18], Num("3.50", "decimal(10,2)"));
  EXPECT_NE(script.find("-- row 3: could not be read: [big]\r\nINSERT INTO"), std::string::npos);
  // Line breaks of the data never reach the script's lines.
  EXPECT_NE(script.find("N'line1'+NCHAR(13)+NCHAR(10)+N'line2\ttab'+NCHAR(1)"), std::string::npos);

  const std::vector<TsqlLiteral>& fourth = inserts[2].rows[0];
  EXPECT_EQ(fourth[7], NStr("\\?"));
  EXPECT_EQ(fourth[8], Null(true));
  EXPECT_EQ(fourth[16], Null(true));
  EXPECT_EQ(fourth[18], Str("2020-01-01T00:00:00.000", "datetime"));
  EXPECT_NE(script.find("-- row 4: could not be read: [code] [bin]\r\n"), std::string::npos);

  // Identity values go in between IDENTITY_INSERT ON and OFF.
  const size_t on = script.find("SET IDENTITY_INSERT [dbo].[Every Family] ON;");
  const size_t off = script.find("SET IDENTITY_INSERT [dbo].[Every Family] OFF;");
  ASSERT_NE(on, std::string::npos);
  ASSERT_NE(off, std::string::npos);
  EXPECT_LT(on, script.find("INSERT INTO"));
  EXPECT_GT(off, script.rfind("INSERT INTO"));
  EXPECT_EQ(Count(script, "IDENTITY_INSERT"), 2u);
}

TEST_F(ScriptWriterTest, LongTextsWithControlCharactersAreNotCut) {
  auto s = SimpleTable("dbo", "T", 1);
  const std::string text = std::string(5000, 'a') + "\n" + std::string(5000, 'b');
  s.rows[0][1].SetText(text);
  const auto inserts = ReadInserts(Script({s}));
  ASSERT_EQ(inserts.size(), 1u);
  EXPECT_EQ(inserts[0].rows[0][1], NStr(text));
  EXPECT_NE(ReadText(Out()).find("CAST(N'' AS nvarchar(max))+N'aaa"), std::string::npos);
}

TEST_F(ScriptWriterTest, InsertsHoldAtMostAThousandRowsEachInItsOwnBatch) {
  const std::string script = Script({SimpleTable("dbo", "Many", 2500)});
  const auto inserts = ReadInserts(script);
  ASSERT_EQ(inserts.size(), 3u);
  EXPECT_EQ(inserts[0].rows.size(), 1000u);
  EXPECT_EQ(inserts[1].rows.size(), 1000u);
  EXPECT_EQ(inserts[2].rows.size(), 500u);
  EXPECT_EQ(inserts[2].rows.back()[1], NStr("text 2500"));
  size_t batchesWithInserts = 0;
  for (const std::string& batch : SplitBatches(script))
    if (batch.find("INSERT INTO") != std::string::npos) {
      ++batchesWithInserts;
      EXPECT_EQ(Count(batch, "INSERT INTO"), 1u);
    }
  EXPECT_EQ(batchesWithInserts, 3u);
  EXPECT_EQ(Count(script, "IDENTITY_INSERT"), 0u);  // no identity column
}

TEST_F(ScriptWriterTest, DeletedRowsGoToTheirOwnTable) {
  auto s = SimpleTable("dbo", "T", 6);
  s.table.columns[0].identity = ExportIdentity{"100", "-5"};
  s.table.columns.push_back(Column("ts", "rowversion", ValueFamily::kTimestamp, false));
  s.table.columns.push_back(Column("ravelin_status", "int", ValueFamily::kInteger));
  for (auto& row : s.rows) {
    row.push_back(ExportValue::Binary(std::string(8, '\x07')));
    row.push_back(ExportValue::Integer(9));
  }
  ScriptWriter writer({Out()});
  ASSERT_TRUE(writer.Begin(SampleRun("/x.mdf", true)));
  ASSERT_TRUE(writer.BeginTable(s.table));
  const RowStatus statuses[] = {RowStatus::kLive,   RowStatus::kGhost,    RowStatus::kLive,
                                RowStatus::kHunted, RowStatus::kFreePage, RowStatus::kLive};
  for (size_t i = 0; i < s.rows.size(); ++i) ASSERT_TRUE(writer.WriteRow(s.rows[i], statuses[i]));
  ASSERT_TRUE(writer.EndTable());
  ASSERT_TRUE(writer.Finish());
  const std::string script = ReadText(Out());

  EXPECT_NE(script.find("  [id] int IDENTITY(100,-5) NOT NULL,\r\n"), std::string::npos);
  EXPECT_NE(script.find("CREATE TABLE [dbo].[T_deleted] (\r\n"
                        "  [id] int NULL,\r\n"
                        "  [text] nvarchar(20) NULL,\r\n"
                        "  [ts] binary(8) NULL,\r\n"
                        "  [ravelin_status] int NULL,\r\n"
                        "  [ravelin_status_2] nvarchar(10) NOT NULL\r\n"
                        ");\r\nGO\r\n"),
            std::string::npos)
      << script;
  const auto inserts = ReadInserts(script);
  std::vector<std::string> liveIds, deletedIds, deletedStatus;
  for (const TsqlInsert& insert : inserts) {
    for (const auto& row : insert.rows) {
      if (insert.table == "dbo.T") {
        liveIds.push_back(row[0].text);
        EXPECT_EQ(insert.columns, (std::vector<std::string>{"id", "text", "ravelin_status"}));
      } else {
        EXPECT_EQ(insert.table, "dbo.T_deleted");
        EXPECT_EQ(insert.columns, (std::vector<std::string>{"id", "text", "ts", "ravelin_status", "ravelin_status_2"}));
        deletedIds.push_back(row[0].text);
        EXPECT_EQ(row[2], Bin("0707070707070707"));
        deletedStatus.push_back(row[4].text);
      }
    }
  }
  EXPECT_EQ(liveIds, (std::vector<std::string>{"1", "3", "6"}));
  EXPECT_EQ(deletedIds, (std::vector<std::string>{"2", "4", "5"}));
  EXPECT_EQ(deletedStatus, (std::vector<std::string>{"ghost", "hunted", "free page"}));
  EXPECT_LT(script.find("CREATE TABLE [dbo].[T_deleted]"), script.find("INSERT INTO [dbo].[T_deleted]"));
  EXPECT_EQ(Count(script, "CREATE TABLE [dbo].[T_deleted]"), 1u);
  // Deleted rows never need IDENTITY_INSERT: their table has no identity.
  EXPECT_GT(script.find("INSERT INTO [dbo].[T_deleted]"), script.find("CREATE TABLE [dbo].[T_deleted]"));
}

TEST_F(ScriptWriterTest, ConstraintsAndModulesFollowTheRowsInAWorkableOrder) {
  auto customers = SimpleTable("sales", "Customers", 2);
  auto orders = SimpleTable("dbo", "Orders", 2);
  orders.table.foreignKeys = {{"FK_Orders_Customers", {"id"}, "sales", "Customers", {"id"}, "CASCADE", "bogus"}};
  orders.table.defaults = {{"DF_Orders_text", "text", "(N'none')"}, {"", "id", "((0))"}};
  orders.table.checks = {{"CK_Orders_id", "([id]>(0))"}};
  orders.table.uniqueKeys = {{"UQ_Orders_text", {"text"}, false}};
  const std::vector<ExportModule> modules = {
      {"dbo", "usp_Report", ModuleType::kProcedure, "CREATE PROCEDURE usp_Report AS SELECT * FROM dbo.vOrders"},
      {"dbo", "trg_vOrders", ModuleType::kTrigger,
       "CREATE TRIGGER trg_vOrders ON [dbo].[vOrders] INSTEAD OF INSERT AS SELECT 1"},
      {"dbo", "vOrders", ModuleType::kView,
       "-- orders with their totals\r\nCREATE VIEW vOrders AS SELECT id, sales.fnTotal(id) AS total FROM Orders"},
      {"sales", "fnTotal", ModuleType::kScalarFunction,
       "CREATE FUNCTION sales.fnTotal(@id int) RETURNS int AS BEGIN RETURN @id /* not usp_Report */ END"},
      {"dbo", "DF_Orders_text", ModuleType::kDefault, "(N'none')"},
      {"dbo", "lost", ModuleType::kView, ""},
      {"dbo", "withGo", ModuleType::kProcedure, "CREATE PROCEDURE withGo AS\r\nSELECT 'it''s'\r\ngo\r\nSELECT 2"},
  };
  const std::string script = Script({customers, orders}, modules);

  auto at = [&](const std::string& what) {
    const size_t pos = script.find(what);
    EXPECT_NE(pos, std::string::npos) << what << "\n" << script;
    return pos;
  };
  EXPECT_LT(at("CREATE SCHEMA [sales];\r\nGO\r\n"), at("CREATE TABLE [sales].[Customers]"));
  EXPECT_NE(script.find("  CONSTRAINT [UQ_Orders_text] UNIQUE NONCLUSTERED ([text])\r\n);"), std::string::npos);
  const size_t lastInsert = script.rfind("INSERT INTO");
  const size_t fk =
      at("ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [FK_Orders_Customers] FOREIGN KEY ([id]) "
         "REFERENCES [sales].[Customers] ([id]) ON DELETE CASCADE;\r\n");
  EXPECT_LT(lastInsert, fk);
  const size_t function = at("CREATE FUNCTION sales.fnTotal");
  const size_t view = at("-- orders with their totals\r\nCREATE VIEW vOrders");
  const size_t trigger = at("CREATE TRIGGER trg_vOrders");
  const size_t procedure = at("CREATE PROCEDURE usp_Report");
  EXPECT_LT(fk, function);
  EXPECT_LT(function, view);
  EXPECT_LT(view, trigger);
  EXPECT_LT(view, procedure);
  EXPECT_NE(script.find("GO\r\n-- orders with their totals\r\nCREATE VIEW"), std::string::npos)
      << "a module starts its own batch";
  EXPECT_NE(script.find("-- [dbo].[lost] (view): no definition text was recovered."), std::string::npos);
  EXPECT_NE(script.find("EXEC(N'CREATE PROCEDURE withGo AS\r\nSELECT ''it''''s''\r\ngo\r\nSELECT 2');\r\nGO\r\n"),
            std::string::npos);
  EXPECT_EQ(Count(script, "(N'none')"), 1u) << "a default's expression is scripted once, with its table";
  const size_t defaults =
      at("ALTER TABLE [dbo].[Orders] ADD CONSTRAINT [DF_Orders_text] DEFAULT (N'none') FOR [text];\r\n"
         "ALTER TABLE [dbo].[Orders] ADD DEFAULT ((0)) FOR [id];\r\n");
  const size_t checks =
      at("ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK_Orders_id] CHECK (([id]>(0)));\r\n");
  EXPECT_LT(procedure, defaults);
  EXPECT_LT(defaults, checks);
}

TEST_F(ScriptWriterTest, NamesAreQuotedWhateverTheyHold) {
  auto s = SimpleTable("x y", "a]b [c] 'd' \"e\" Ünï 名前", 1);
  s.table.columns[1].name = "]]";
  s.table.primaryKey->name = "PK]";
  const std::string script = Script({s});
  EXPECT_NE(script.find("CREATE SCHEMA [x y];"), std::string::npos);
  EXPECT_NE(script.find("CREATE TABLE [x y].[a]]b [c]] 'd' \"e\" Ünï 名前] (\r\n  [id] int NOT NULL,\r\n  []]]]] "
                        "nvarchar(20) NULL,\r\n  CONSTRAINT [PK]]] PRIMARY KEY"),
            std::string::npos)
      << script;
  const auto inserts = ReadInserts(script);
  ASSERT_EQ(inserts.size(), 1u);
  EXPECT_EQ(inserts[0].table, "x y.a]b [c] 'd' \"e\" Ünï 名前");
  EXPECT_EQ(inserts[0].columns, (std::vector<std::string>{"id", "]]"}));
  EXPECT_EQ(testing::ReadQualifiedName("[x y].[a]]b]"), (std::vector<std::string>{"x y", "a]b"}));
}

TEST_F(ScriptWriterTest, ComputedAndUnstoredColumnsAreScriptedAsWhatTheyAre) {
  auto s = SimpleTable("dbo", "C", 1);
  s.table.columns.push_back(Column("twice", "int", ValueFamily::kInteger));
  s.table.columns.back().computedExpression = "[id]*(2)";
  s.table.columns.back().persisted = true;
  s.table.columns.back().nullable = false;
  s.table.columns.push_back(Column("half", "int", ValueFamily::kInteger));
  s.table.columns.back().computedExpression = "[id]/(2)";
  s.table.columns.back().stored = false;
  s.table.columns.push_back(Column("lost", "int", ValueFamily::kInteger));
  s.table.columns.back().stored = false;
  s.table.columns.push_back(Column("sparse", "int", ValueFamily::kInteger));
  s.table.columns.back().sparse = true;
  s.table.columns.push_back(Column("all", "xml", ValueFamily::kXml));
  s.table.columns.back().columnSet = true;
  s.table.columns.back().stored = false;
  s.table.columns.push_back(Column("odd type", "int); DROP TABLE x; --", ValueFamily::kInteger));
  s.rows[0].insert(s.rows[0].end(), {ExportValue::Integer(2), ExportValue::Null(), ExportValue::Null(),
                                     ExportValue::Integer(5), ExportValue::Null(), ExportValue::Integer(6)});
  const std::string script = Script({s});
  EXPECT_NE(script.find("  [twice] AS ([id]*(2)) PERSISTED NOT NULL,\r\n"
                        "  [half] AS ([id]/(2)),\r\n"
                        "  [lost] int NULL /* not stored: no values */,\r\n"
                        "  [sparse] int SPARSE NULL,\r\n"
                        "  [all] xml COLUMN_SET FOR ALL_SPARSE_COLUMNS,\r\n"
                        "  [odd type] [int); DROP TABLE x; --] NULL,\r\n"),
            std::string::npos)
      << script;
  const auto inserts = ReadInserts(script);
  ASSERT_EQ(inserts.size(), 1u);
  EXPECT_EQ(inserts[0].columns, (std::vector<std::string>{"id", "text", "sparse", "odd type"}));
  EXPECT_EQ(inserts[0].rows[0], (std::vector<TsqlLiteral>{Num("1"), NStr("text 1"), Num("5"), Num("6")}));
}

TEST_F(ScriptWriterTest, EmptyTablesAndTablesOfNulls) {
  auto empty = SimpleTable("dbo", "Empty", 0);
  empty.table.columns[0].identity = ExportIdentity{};
  auto nulls = SimpleTable("dbo", "Nulls", 0);
  nulls.rows = {{ExportValue::Null(), ExportValue::Null()}};
  const std::string script = Script({empty, nulls});
  EXPECT_NE(script.find("CREATE TABLE [dbo].[Empty]"), std::string::npos);
  EXPECT_EQ(Count(script, "IDENTITY_INSERT"), 0u);
  const auto inserts = ReadInserts(script);
  ASSERT_EQ(inserts.size(), 1u);
  EXPECT_EQ(inserts[0].rows[0], (std::vector<TsqlLiteral>{Null(), Null()}));
}

TEST_F(ScriptWriterTest, StopAndFailuresLeaveNoFile) {
  {
    ScriptWriter writer({Out()});
    ASSERT_TRUE(writer.Begin(SampleRun()));
    auto s = SimpleTable("dbo", "T", 3);
    ASSERT_TRUE(writer.BeginTable(s.table));
    ASSERT_TRUE(writer.WriteRow(s.rows[0]));
    ASSERT_TRUE(writer.Stop());
    EXPECT_TRUE(writer.summary().stopped);
  }
  EXPECT_TRUE(EntriesOf(dir_.path()).empty());

  const std::string existing = dir_.Write("old.sql", {'o'});
  ScriptWriter refused({existing});
  EXPECT_FALSE(refused.Begin(SampleRun()));
  EXPECT_EQ(ReadText(existing), "o");
  ScriptWriter onInput({existing, true});
  EXPECT_FALSE(onInput.Begin(SampleRun(existing)));
  EXPECT_EQ(ReadText(existing), "o");
  ScriptWriter forced({existing, true});
  ASSERT_TRUE(WriteAll(forced, SampleRun(), {SimpleTable("dbo", "T", 1)}));
  EXPECT_NE(ReadText(existing).find("CREATE TABLE [dbo].[T]"), std::string::npos);

  const std::string message = testing::InChildWithFileLimit(32 * 1024, [&] {
    ScriptWriter writer({Out("big.sql")});
    WriteAll(writer, SampleRun(), {SimpleTable("dbo", "Big", 50000)}, {}, false);
    return writer.error();
  });
  EXPECT_EQ(message, "cannot write " + Out("big.sql") + ": File too large");
  EXPECT_EQ(EntriesOf(dir_.path()), std::vector<std::string>{"old.sql"});
}

// --- an independent parser --------------------------------------------------

// The sqlglot of Debian's python3-sqlglot, when it is there.
std::string SqlglotPython() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    const std::string command = std::string(python) + " -c 'import sqlglot' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) return python;
  }
  return "";
}

std::string Hex(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

// A literal as tsql_check.py prints it.
std::string CheckLine(const TsqlLiteral& l) {
  std::string prefix = l.castType.empty() ? "V " : "V C ";
  switch (l.kind) {
    case TsqlLiteral::kNull:
      return prefix + "N";
    case TsqlLiteral::kString:
      return prefix + "S " + Hex(l.text);
    case TsqlLiteral::kNumber:
      return prefix + "D " + l.text;
    case TsqlLiteral::kBinary: {
      const size_t first = l.text.find_first_not_of('0');
      return prefix + "X " + (first == std::string::npos ? "0" : l.text.substr(first));
    }
  }
  return "";
}

TEST_F(ScriptWriterTest, AnIndependentParserReadsTheGeneratedStatements) {
  const std::string python = SqlglotPython();
  if (python.empty()) GTEST_SKIP() << "python3-sqlglot is not installed";

  auto every = EveryFamilyTable();
  auto customers = SimpleTable("sales", "Customers", 1200);
  customers.table.name = "Cüstomers 'quoted' names";
  auto orders = SimpleTable("dbo", "Orders", 3);
  orders.table.columns[0].identity = ExportIdentity{"1", "1"};
  orders.table.foreignKeys = {{"FK_o", {"id"}, "sales", customers.table.name, {"id"}, "", ""}};
  orders.table.defaults = {{"DF_o", "text", "(N'none')"}};
  orders.table.checks = {{"CK_o", "([id]>(0))"}};
  orders.table.uniqueKeys = {{"UQ_o", {"text"}, false}};
  auto empty = SimpleTable("dbo", "Empty", 0);
  ScriptWriter writer({Out()});
  ASSERT_TRUE(writer.Begin(SampleRun("/x.mdf", true)));
  for (auto* s : {&every, &customers, &orders, &empty}) {
    ASSERT_TRUE(writer.BeginTable(s->table));
    for (size_t i = 0; i < s->rows.size(); ++i)
      ASSERT_TRUE(writer.WriteRow(s->rows[i], i % 3 == 1 ? RowStatus::kGhost : RowStatus::kLive));
    ASSERT_TRUE(writer.EndTable());
  }
  ASSERT_TRUE(writer.AddModule({"dbo", "v", ModuleType::kView, "CREATE VIEW v AS SELECT TOP 1 * FROM Orders"}));
  ASSERT_TRUE(writer.Finish());

  const std::string output = Out("parsed.txt");
  const std::string command = python + " " RAVELIN_SOURCE_DIR "/tests/export/tsql_check.py '" + Out() + "' > '" +
                              output + "' 2> '" + output + ".err'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadText(output + ".err");

  std::vector<std::string> parsedValues;
  std::map<std::string, int> kinds;
  std::istringstream lines(ReadText(output));
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("V ")) parsedValues.push_back(line);
    if (line.starts_with("K ")) ++kinds[line.substr(2)];
  }
  std::vector<std::string> expected;
  const auto inserts = ReadInserts(ReadText(Out()));
  for (const TsqlInsert& insert : inserts)
    for (const auto& row : insert.rows)
      for (const TsqlLiteral& literal : row) expected.push_back(CheckLine(literal));
  EXPECT_EQ(parsedValues, expected);
  EXPECT_EQ(kinds["Insert"], static_cast<int>(inserts.size()));
  EXPECT_EQ(kinds["Create"], 4 + 3 + 1);  // tables, deleted tables, schema
  EXPECT_EQ(kinds["AlterTable"], 2);      // the foreign key and the check
  EXPECT_EQ(kinds["DefaultConstraint"], 1);
}

}  // namespace
}  // namespace ravelin
