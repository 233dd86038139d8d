// `ravelin export`: usage and output safety on the bundled sample, the
// exit codes, and the exports of the real test files checked against
// `rows`, `schema --json` and `definition`.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "export/tsql_reader.h"
#include "support/export_image.h"
#include "support/run_command.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::CommandResult;
using testing::RunRavelin;
using testing::TempDir;

const std::string kSample = std::string(RAVELIN_SOURCE_DIR) + "/samples/northwind-sql2000.mdf";

std::string ReadAll(const std::string& path) {
  const Bytes bytes = testing::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::string Python(const char* module) {
  for (const char* python : {"/usr/bin/python3", "python3"})
    if (std::system((std::string(python) + " -c 'import " + module + "' > /dev/null 2>&1").c_str()) == 0) return python;
  return {};
}

TEST(ExportCommand, UsageErrorsAndOutputSafety) {
  TempDir dir;
  const std::string db = dir.path() + "/out.db";
  EXPECT_EQ(RunRavelin({"export", kSample}).exitCode, 2);
  EXPECT_EQ(RunRavelin({"export", kSample, "--sqlite", db, "--sql", dir.path() + "/x.sql"}).exitCode, 2);
  EXPECT_EQ(RunRavelin({"export", kSample, "--csv", dir.path() + "/c", "--mode", "fast"}).exitCode, 2);
  EXPECT_EQ(RunRavelin({"export", kSample, "--sqlite", db, "--collation", "No_Such_Collation"}).exitCode, 2);
  EXPECT_FALSE(std::filesystem::exists(db));

  // A first export succeeds and says what it wrote; a second one refuses
  // to replace it unless forced.
  CommandResult first = RunRavelin({"export", kSample, "--sqlite", db});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_NE(first.err.find("dbo.Order Details: 2155 rows\n"), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("total: 13 tables, 3308 rows"), std::string::npos) << first.err;
  const auto written = std::filesystem::last_write_time(db);
  CommandResult again = RunRavelin({"export", kSample, "--sqlite", db, "--quiet"});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find(db), std::string::npos) << again.err;
  EXPECT_EQ(std::filesystem::last_write_time(db), written);
  EXPECT_EQ(RunRavelin({"export", kSample, "--sqlite", db, "--force", "--quiet"}).exitCode, 0);

  // Never over the data file itself, forced or not, by any spelling.
  const std::string copy = dir.path() + "/copy.mdf";
  std::filesystem::copy_file(kSample, copy);
  const std::string before = ReadAll(copy);
  for (const std::string& target : {copy, dir.path() + "/./copy.mdf"})
    EXPECT_EQ(RunRavelin({"export", copy, "--sql", target, "--force", "--quiet"}).exitCode, 1);
  EXPECT_EQ(ReadAll(copy), before);
  std::filesystem::create_symlink(copy, dir.path() + "/link.sql");
  EXPECT_EQ(RunRavelin({"export", copy, "--sql", dir.path() + "/link.sql", "--force", "--quiet"}).exitCode, 1);
  EXPECT_EQ(ReadAll(copy), before);

  // A folder with files in it is refused without --force; nothing is left
  // under a temporary name.
  std::filesystem::create_directory(dir.path() + "/full");
  testing::TempDir unused;
  dir.Write("full/keep.txt", Bytes{'k'});
  EXPECT_EQ(RunRavelin({"export", kSample, "--csv", dir.path() + "/full", "--quiet"}).exitCode, 1);
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".ravelin-"), std::string::npos) << entry.path();
}

TEST(ExportCommand, TablesAreFoundAsRowsFindsThem) {
  TempDir dir;
  const std::string csv = dir.path() + "/csv";
  CommandResult r =
      RunRavelin({"export", kSample, "--csv", csv, "--table", "[dbo].[Order Details]", "--table", "orders", "--quiet"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(csv)) files.push_back(entry.path().filename());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"dbo.Order Details.csv", "dbo.Orders.csv"}));
  EXPECT_EQ(ReadAll(csv + "/dbo.Orders.csv"),
            RunRavelin({"rows", kSample, "Orders", "--format", "csv", "--quiet"}).out);

  r = RunRavelin({"export", kSample, "--csv", dir.path() + "/none", "--table", "Ordrs", "--quiet"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("No table named Ordrs in " + kSample + ". Did you mean"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/none"));
}

TEST(ExportCommand, MissingValuesGiveExitCodeThreeAndWarnings) {
  TempDir dir;
  const std::string file = dir.Write("edge.mdf", testing::ExportEdgeImage().Build());
  const CommandResult r = RunRavelin({"export", file, "--sqlite", dir.path() + "/edge.db"});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_NE(r.err.find("a value cannot be read, row 2 (page 1:30 slot 1), column Placed"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("1 value cannot be read"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.path() + "/edge.db"));
  EXPECT_NE(r.err.find("warning: dbo.Lost: none of the table's pages can be read, its first page 1:32 does not read "
                       "as a page\n"),
            std::string::npos)
      << r.err;

  // rows says the same of the table whose only page is lost, and nothing
  // of the empty one.
  const CommandResult lost = RunRavelin({"rows", file, "dbo.Lost", "--quiet"});
  EXPECT_EQ(lost.exitCode, 3);
  EXPECT_NE(lost.err.find("dbo.Lost: none of the table's pages can be read"), std::string::npos) << lost.err;
  const CommandResult empty = RunRavelin({"rows", file, "dbo.Empty", "--quiet"});
  EXPECT_EQ(empty.exitCode, 0) << empty.err;
  EXPECT_EQ(empty.out, "Note\n");
}

// Every real test file, in both modes (and with the deleted-record options
// where there are deleted rows): the SQLite database and the CSV files
// against rows, schema --json and definition (export_check.py).
TEST(ExportCommand, RealFilesExportAsRowsListsThem) {
  const std::string data = testing::TestDataDir();
  if (data.empty()) GTEST_SKIP() << "no test data";
  const std::string python = Python("sqlite3");
  if (python.empty()) GTEST_SKIP() << "no python3";
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(data))
    if (entry.path().extension() == ".mdf") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  auto check = [&](const std::string& file, const std::string& options) {
    SCOPED_TRACE(file + " " + options);
    TempDir work;
    const std::string log = work.path() + "/check.log";
    const std::string command =
        python + " " RAVELIN_SOURCE_DIR "/tests/export/export_check.py '" + testing::RavelinPath() + "' '" + file +
        "' " + options.substr(0, options.find(' ')) + " '" + work.path() + "'" +
        (options.find(' ') == std::string::npos ? "" : options.substr(options.find(' '))) + " > '" + log + "' 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadAll(log);
  };
  for (const std::string& file : files) {
    check(file, "standard --modules");
    check(file, "advanced");
  }
  // Deleted rows, each with its status, in the files that hold some.
  for (const char* file :
       {"myshop-heap-sql2016-kancheng.mdf", "phonebook-sql2012-unn.mdf", "pubs-sql2005-anhnbt.mdf"}) {
    check(data + "/" + file, "standard --deleted");
    check(data + "/" + file, "advanced --deleted-advanced");
  }
}

// Unescapes a field of rows' TSV: \\ \t \n \r.
std::string TsvField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out += field[i];
      continue;
    }
    const char c = field[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

std::vector<std::vector<std::string>> TsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    rows.push_back(fields);
  }
  return rows;
}

// The scripts of the two 2000 files: every table created, the row counts
// the test data lists, and every literal equal to the value rows lists.
TEST(ExportCommand, ScriptsOfThe2000FilesInsertEveryRowExactly) {
  const std::string data = testing::TestDataDir();
  if (data.empty()) GTEST_SKIP() << "no test data";
  const std::map<std::string, std::map<std::string, size_t>> counts = {
      {"northwind-sql2000.mdf",
       {{"Categories", 8},
        {"Customers", 91},
        {"Employees", 9},
        {"EmployeeTerritories", 49},
        {"Order Details", 2155},
        {"Orders", 830},
        {"Products", 77},
        {"Region", 4},
        {"Shippers", 3},
        {"Suppliers", 29},
        {"Territories", 53},
        {"CustomerCustomerDemo", 0},
        {"CustomerDemographics", 0}}},
      {"pubs-sql2000.mdf",
       {{"authors", 23},
        {"titles", 18},
        {"publishers", 8},
        {"sales", 21},
        {"stores", 6},
        {"employee", 43},
        {"jobs", 14},
        {"titleauthor", 25},
        {"roysched", 86},
        {"discounts", 3},
        {"pub_info", 8}}},
  };
  const std::string sqlglot = Python("sqlglot");
  for (const auto& [name, tables] : counts) {
    SCOPED_TRACE(name);
    const std::string file = data + "/" + name;
    TempDir dir;
    const std::string out = dir.path() + "/out.sql";
    const CommandResult r = RunRavelin({"export", file, "--sql", out, "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string script = ReadAll(out);
    ASSERT_EQ(script.rfind("\xEF\xBB\xBF", 0), 0u) << "UTF-8 with a byte order mark";
    std::map<std::string, size_t> inserted;
    std::map<std::string, std::vector<const testing::TsqlInsert*>> byTable;
    const std::vector<testing::TsqlInsert> inserts = testing::ReadInserts(script);
    for (const testing::TsqlInsert& insert : inserts) {
      inserted[insert.table] += insert.rows.size();
      byTable[insert.table].push_back(&insert);
    }
    for (const auto& [table, count] : tables) {
      EXPECT_NE(script.find("CREATE TABLE [dbo].[" + table + "]"), std::string::npos) << table;
      EXPECT_EQ(inserted["dbo." + table], count) << table;
      // Each literal against the value rows lists in that row and column.
      const auto listed = TsvRows(RunRavelin({"rows", file, "dbo." + table, "--quiet"}).out);
      ASSERT_FALSE(listed.empty());
      size_t row = 1, compared = 0;
      for (const testing::TsqlInsert* insert : byTable["dbo." + table]) {
        for (const auto& literals : insert->rows) {
          ASSERT_LT(row, listed.size());
          for (size_t c = 0; c < insert->columns.size(); ++c) {
            const auto at = std::find(listed[0].begin(), listed[0].end(), insert->columns[c]);
            ASSERT_NE(at, listed[0].end()) << insert->columns[c];
            const std::string& field = listed[row][static_cast<size_t>(at - listed[0].begin())];
            const testing::TsqlLiteral& l = literals[c];
            if (l.kind == testing::TsqlLiteral::kNull) {
              EXPECT_EQ(field, "\\N") << table << " row " << row << " " << insert->columns[c];
            } else if (l.kind == testing::TsqlLiteral::kBinary) {
              EXPECT_EQ("0x" + l.text, field) << table << " row " << row;
            } else if (l.kind == testing::TsqlLiteral::kString && l.castType.empty()) {
              EXPECT_EQ(l.text, TsvField(field)) << table << " row " << row << " " << insert->columns[c];
            }
            ++compared;
          }
          ++row;
        }
      }
      EXPECT_EQ(row, listed.size()) << table;
      EXPECT_EQ(compared, count * (listed[0].size())) << table << ": every column gets a literal";
    }
    // An independent parser reads the generated statements.
    if (!sqlglot.empty()) {
      const std::string log = dir.path() + "/parsed.txt";
      const int status = std::system(
          (sqlglot + " " RAVELIN_SOURCE_DIR "/tests/export/tsql_check.py '" + out + "' > '" + log + "' 2>&1").c_str());
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadAll(log).substr(0, 2000);
    }
  }
}

}  // namespace
}  // namespace ravelin
