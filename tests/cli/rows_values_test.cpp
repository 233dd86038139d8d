// `ravelin rows` writes exact values: NULL, an empty text, the text 'NULL'
// and a value that cannot be read stay apart in every format; the three
// formats read back through standard parsers to the same values; damaged
// copies of real files give markers, warnings and exit code 3; a failed
// write is an error.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/opened_database.h"
#include "cli/cli_context.h"
#include "storage/page.h"
#include "support/catalog_image.h"
#include "support/run_command.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::CommandResult;
using testing::RunRavelin;
using testing::TempDir;

const std::string kSample = std::string(RAVELIN_SOURCE_DIR) + "/samples/northwind-sql2000.mdf";

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// python3, when there is one.
std::string Python() {
  for (const char* python : {"/usr/bin/python3", "python3"})
    if (std::system((std::string(python) + " -c 'import csv, json' > /dev/null 2>&1").c_str()) == 0) return python;
  return {};
}

// Runs `rows` in the three formats and reads them back with Python's json
// and csv and a TSV reader of the documented escapes: the rows as JSON
// text (one array of values per row, header first) when the three agree,
// else the differences; empty without python3.
struct Formats {
  CommandResult tsv, csv, json;
  std::string checked;
};

Formats RowsInEveryFormat(const std::string& file, const std::string& table, std::vector<std::string> extra = {}) {
  Formats f;
  auto run = [&](const char* format) {
    std::vector<std::string> args = {"rows", file, table, "--format", format, "--quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunRavelin(args);
  };
  f.tsv = run("tsv");
  f.csv = run("csv");
  f.json = run("json");
  const std::string python = Python();
  if (python.empty()) return f;
  TempDir dir;
  const std::string out = dir.path() + "/checked";
  const std::string command = python + " " RAVELIN_SOURCE_DIR "/tests/cli/rows_formats_check.py '" +
                              dir.Write("t.tsv", ToBytes(f.tsv.out)) + "' '" + dir.Write("t.csv", ToBytes(f.csv.out)) +
                              "' '" + dir.Write("t.json", ToBytes(f.json.out)) + "' > '" + out + "' 2>&1";
  const int status = std::system(command.c_str());
  const Bytes checked = testing::ReadFileBytes(out);
  f.checked = (status == 0 ? "" : "FAILED: ") + std::string(checked.begin(), checked.end());
  return f;
}

// A small database whose dbo.Customers holds the text 'NULL', a NULL, an
// empty text, control characters and the text of the unreadable marker.
std::string CustomersFile(const TempDir& dir) {
  testing::DatabaseImage image = testing::SmallCatalogImage();
  testing::PageBuilder& page = image.Page(30).PageType(1);
  auto row = [](uint32_t id) { return testing::RecordBuilder().Fixed(testing::LE32(id)).ColumnCount(2); };
  page.AddRecord(row(1).Var(testing::Utf16("NULL")).Build());
  page.AddRecord(row(2).Var({}).NullColumn(1).Build());
  page.AddRecord(row(3).Var({}).Build());
  page.AddRecord(row(4)
                     .Var(testing::Utf16("a\tb\\c\nd\x01"
                                         "e\r"))
                     .Build());
  page.AddRecord(row(5).Var(testing::Utf16("\\?")).Build());
  return dir.Write("customers.mdf", image.Build());
}

TEST(RowsValues, NullTheTextNullAndEmptyDifferInEveryFormat) {
  TempDir dir;
  const std::string file = CustomersFile(dir);
  const Formats f = RowsInEveryFormat(file, "dbo.Customers");
  ASSERT_EQ(f.tsv.exitCode, 0) << f.tsv.err;
  EXPECT_EQ(f.tsv.out, "Id\tName\n1\tNULL\n2\t\\N\n3\t\n4\ta\\tb\\\\c\\nd\x01" "e\\r\n5\t\\\\?\n");
  EXPECT_EQ(f.csv.out,
            "Id,Name\r\n1,NULL\r\n2,\r\n3,\"\"\r\n4,\"a\tb\\c\nd\x01"
            "e\r\"\r\n5,\"\\?\"\r\n");
  EXPECT_EQ(f.json.out,
            "{\"table\":\"dbo.Customers\",\"columns\":[{\"name\":\"Id\",\"type\":\"int\"},{\"name\":\"Name\",\"type\":"
            "\"nvarchar(50)\"}],\"rows\":[\n"
            "{\"Id\":1,\"Name\":\"NULL\"},\n{\"Id\":2,\"Name\":null},\n{\"Id\":3,\"Name\":\"\"},\n"
            "{\"Id\":4,\"Name\":\"a\\tb\\\\c\\nd\\u0001e\\r\"},\n{\"Id\":5,\"Name\":\"\\\\?\"}\n],\"warnings\":[]}\n");
  if (!f.checked.empty()) {
    EXPECT_EQ(
        f.checked,
        "[[\"Id\", \"Name\"], [\"1\", \"NULL\"], [\"2\", null], [\"3\", \"\"], [\"4\", \"a\\tb\\\\c\\nd\\u0001e\\r\"],"
        " [\"5\", \"\\\\?\"]]\n");
  }

  // --suspect asks for the records that do not fit as well: every row says
  // what it is.
  auto suspect = RunRavelin({"rows", file, "dbo.Customers", "--suspect", "--quiet"});
  EXPECT_EQ(suspect.out.rfind("ravelin_status\tId\tName\nlive\t1\tNULL\n", 0), 0u) << suspect.out;

  // --null names NULL in TSV and CSV; JSON keeps null.
  auto named = RunRavelin({"rows", file, "Customers", "--null", "(null)", "--quiet"});
  EXPECT_NE(named.out.find("\n2\t(null)\n3\t\n"), std::string::npos) << named.out;
  auto namedCsv = RunRavelin({"rows", file, "customers", "--format", "csv", "--null", "(null)", "--quiet"});
  EXPECT_NE(namedCsv.out.find("\r\n2,(null)\r\n3,\"\"\r\n"), std::string::npos) << namedCsv.out;
}

// Tables of many types read back alike in the three formats.
TEST(RowsValues, RealTablesReadBackAlikeInEveryFormat) {
  if (Python().empty()) GTEST_SKIP() << "no python3";
  struct Case {
    std::string file, table;
  };
  std::vector<Case> cases = {{kSample, "dbo.Employees"}, {kSample, "Order Details"}, {kSample, "[dbo].[Products]"}};
  const std::string data = testing::TestDataDir();
  if (!data.empty()) {
    for (const Case& c : std::vector<Case>{{"aspnetdb-sql2008-webshopinholland.mdf", "dbo.Events"},
                                           {"aspnetdb-sql2008-webshopinholland.mdf", "dbo.aspnet_Membership"},
                                           {"myshop-heap-sql2016-kancheng.mdf", "dbo.Books"},
                                           {"school-sql2016-kancheng.mdf", "dbo.Students"},
                                           {"phonebook-sql2012-unn.mdf", "dbo.Guschin_abonent"},
                                           {"contosouniversity-ef-sql2012.mdf", "dbo.Person"},
                                           {"newsengine-sql2008-irinabutaru.mdf", "dbo.users"},
                                           {"pubs-sql2000.mdf", "titles"}})
      cases.push_back({data + "/" + c.file, c.table});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " " + c.table);
    const Formats f = RowsInEveryFormat(c.file, c.table);
    EXPECT_EQ(f.tsv.exitCode, 0) << f.tsv.err;
    EXPECT_EQ(f.checked.rfind("[[", 0), 0u) << f.checked.substr(0, 300);
    // With the deleted-record options every row says what it is.
    const Formats deleted = RowsInEveryFormat(c.file, c.table, {"--deleted"});
    EXPECT_EQ(deleted.tsv.out.rfind("ravelin_status\t", 0), 0u);
    EXPECT_EQ(deleted.checked.rfind("[[\"ravelin_status\", ", 0), 0u) << deleted.checked.substr(0, 300);
    EXPECT_EQ(Count(deleted.checked, "[\"live\", "), Count(f.checked, "], [")) << "every row live";
  }
}

TEST(RowsValues, DatesNumbersAndBitsAreExact) {
  auto r = RunRavelin({"rows", kSample, "orders", "--limit", "1", "--format", "json", "--quiet"});
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("{\"OrderID\":10248,\"CustomerID\":\"VINET\",\"EmployeeID\":5,\"OrderDate\":\"1996-07-04 "
                       "00:00:00.000\""),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"Freight\":\"32.3800\""), std::string::npos);
  auto products = RunRavelin({"rows", kSample, "Products", "--limit", "1", "--format", "json", "--quiet"});
  EXPECT_NE(products.out.find("\"Discontinued\":false}"), std::string::npos) << products.out;
  auto details = RunRavelin({"rows", kSample, "Order Details", "--quiet"});
  EXPECT_NE(details.out.find("\n10248\t11\t14.0000\t12\t0\n"), std::string::npos);
  EXPECT_NE(details.out.find("\t0.15\n"), std::string::npos) << "a real's shortest text";
  const std::string data = testing::TestDataDir();
  if (data.empty()) return;
  // Milliseconds as SQL Server rounds 1/300 s.
  auto members = RunRavelin({"rows", data + "/aspnetdb-sql2008-webshopinholland.mdf", "aspnet_Membership", "--quiet"});
  EXPECT_NE(members.out.find("\t2009-11-07 23:43:37.650\t"), std::string::npos);
  EXPECT_NE(members.out.find(" 23:57:37.633\t"), std::string::npos);
  EXPECT_NE(members.out.find(" 23:56:54.983\t"), std::string::npos);
}

// The byte offset of column `column`'s value in the first record of the
// first data page of 2000-layout table `table` in `file`.
uint64_t FirstValueOffset(const std::string& file, const std::string& table, const std::string& column) {
  auto db = testing::OpenDatabaseFile(file);
  if (!db) return 0;
  const std::vector<ColumnDescriptor> columns = db->catalog()->PrepareObject(table, "U ", {});
  const PageRef page = db->catalog()->tablePages.front();
  // The page as read, torn bits restored: the slot array's last bytes are
  // among those the protection overwrites.
  const PrimaryRecordPage read(*db->file().ReadPageBytes(page, false), &db->file());
  const uint16_t slot0 = read.slotOffsets.at(0);
  for (const ColumnDescriptor& d : columns)
    if (d.name == column) return uint64_t{static_cast<uint32_t>(page.pageNo)} * kPageSize + slot0 + d.legacyFixedOffset;
  return 0;
}

// Damaged copies of the sample, made here: a large value whose page is
// zeroed, a datetime whose bytes are no datetime.
TEST(RowsValues, DamagedValuesCarryTheirMarkerAndAWarning) {
  TempDir dir;
  Bytes bytes = testing::ReadFileBytes(kSample);
  // Zero every text page of Employees (object 1977058079): its photos and
  // notes are lost.
  Bytes lostText = bytes;
  for (size_t p = 0; p < lostText.size() / kPageSize; ++p) {
    const ByteSpan header(lostText.data() + p * kPageSize, 96);
    if (header[1] == 3 && LoadLE<uint32_t>(header, 24) == 1977058079u)
      std::fill(lostText.begin() + static_cast<std::ptrdiff_t>(p * kPageSize),
                lostText.begin() + static_cast<std::ptrdiff_t>((p + 1) * kPageSize), 0);
  }
  const Formats text = RowsInEveryFormat(dir.Write("lost-text.mdf", lostText), "dbo.Employees");
  for (const CommandResult* r : {&text.tsv, &text.csv, &text.json}) {
    EXPECT_EQ(r->exitCode, 3);
    EXPECT_NE(r->err.find("warning: dbo.Employees: a value cannot be read, row 1 (page 1:136 slot 0), column Photo\n"),
              std::string::npos)
        << r->err;
  }
  EXPECT_EQ(Count(text.tsv.out, "\t\\?\t"), 2 * Count(text.tsv.out, "\n") - 2) << "Photo and Notes of every row";
  EXPECT_NE(text.csv.out.find(",\\?,"), std::string::npos);
  EXPECT_NE(text.json.out.find("\"Photo\":{\"unreadable\":true}"), std::string::npos);
  EXPECT_NE(text.json.out.find(
                "\"warnings\":[\"dbo.Employees: a value cannot be read, row 1 (page 1:136 slot 0), column Photo\""),
            std::string::npos);
  if (!Python().empty()) {
    EXPECT_EQ(text.checked.rfind("[[", 0), 0u) << text.checked.substr(0, 300);
  }

  // OrderDate of the first order: ticks past midnight.
  Bytes badDate = bytes;
  const uint64_t at = FirstValueOffset(kSample, "Orders", "OrderDate");
  ASSERT_GT(at, 0u);
  for (int i = 0; i < 4; ++i) badDate[at + static_cast<size_t>(i)] = i == 3 ? 0x7F : 0xFF;
  const Formats date = RowsInEveryFormat(dir.Write("bad-date.mdf", badDate), "dbo.Orders");
  EXPECT_EQ(date.tsv.exitCode, 3);
  EXPECT_NE(date.tsv.out.find("\n10248\tVINET\t5\t\\?\t1996-08-01 00:00:00.000\t"), std::string::npos);
  EXPECT_NE(date.csv.out.find("\r\n10248,VINET,5,\\?,1996-08-01 00:00:00.000,"), std::string::npos);
  EXPECT_NE(date.json.out.find("{\"OrderID\":10248,\"CustomerID\":\"VINET\",\"EmployeeID\":5,\"OrderDate\":{"
                               "\"unreadable\":true},"),
            std::string::npos);
  EXPECT_EQ(Count(date.tsv.err, "warning: dbo.Orders: a value cannot be read, row 1 (page 1:"), 1u) << date.tsv.err;
  EXPECT_NE(date.tsv.err.find("column OrderDate"), std::string::npos);
  EXPECT_EQ(Count(date.tsv.out, "\\?"), 1u);
}

// A copy of a real file cut short: the large values past the cut are named.
TEST(RowsValues, TruncatedFileNamesWhatIsMissing) {
  const std::string data = testing::TestDataDir();
  if (data.empty()) GTEST_SKIP() << "no test data";
  TempDir dir;
  Bytes bytes = testing::ReadFileBytes(data + "/newsengine-sql2008-irinabutaru.mdf");
  // Past page 214 lie only the text pages of dbo.news.
  bytes.resize(215 * kPageSize);
  const Formats f = RowsInEveryFormat(dir.Write("cut.mdf", bytes), "news");
  for (const CommandResult* r : {&f.tsv, &f.csv, &f.json}) {
    EXPECT_EQ(r->exitCode, 3);
    EXPECT_NE(r->err.find("warning: dbo.news: a value cannot be read, row 4 (page 1:209 slot 3), column photo\n"),
              std::string::npos)
        << r->err;
  }
  EXPECT_EQ(Count(f.tsv.out, "\n"), 10u) << "every row is still listed";
  EXPECT_NE(f.tsv.out.find("\t\\?\t"), std::string::npos);
  EXPECT_NE(f.csv.out.find(",\\?,"), std::string::npos);
  EXPECT_NE(f.json.out.find("\"photo\":{\"unreadable\":true}"), std::string::npos);
  if (!Python().empty()) {
    EXPECT_EQ(f.checked.rfind("[[", 0), 0u) << f.checked.substr(0, 300);
  }
}

// Runs a command in this process with stdout on /dev/full.
CommandResult RunIntoFullDisk(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"ravelin"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<const char*> cargv;
  for (const std::string& a : argv) cargv.push_back(a.c_str());
  CliContext context;
  context.out = std::fopen("/dev/full", "w");
  context.err = std::tmpfile();
  CommandResult result;
  result.exitCode = RunCommandLine(static_cast<int>(cargv.size()), cargv.data(), context);
  std::fflush(context.err);
  std::rewind(context.err);
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, context.err)) > 0;) result.err.append(buffer, n);
  std::fclose(context.out);
  std::fclose(context.err);
  return result;
}

TEST(RowsValues, AFullDiskIsAnError) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"rows", kSample, "dbo.Orders", "--quiet"},
           {"rows", kSample, "dbo.Orders", "--format", "json", "--limit", "1", "--quiet"},
           {"schema", kSample, "--quiet"},
           {"info", kSample, "--json"},
           {"page", kSample, "9"},
           {"definition", kSample, "CustOrderHist"},
           {"--help"}}) {
    const CommandResult r = RunIntoFullDisk(args);
    EXPECT_EQ(r.exitCode, 1) << args[0];
    EXPECT_NE(r.err.find("ravelin: cannot write the output: No space left on device\n"), std::string::npos)
        << args[0] << ": " << r.err;
  }
}

}  // namespace
}  // namespace ravelin
