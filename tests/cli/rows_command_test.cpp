// End-to-end: `ravelin rows` on the bundled sample and the real files.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::RunRavelin;

const std::string kSample = std::string(RAVELIN_SOURCE_DIR) + "/samples/northwind-sql2000.mdf";

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

// Field `column` of every data line of TSV output, keyed by the first field.
std::map<std::string, std::string> Column(const std::string& tsv, const std::string& column) {
  std::vector<std::string> lines = Split(tsv, '\n');
  std::map<std::string, std::string> values;
  if (lines.empty()) return values;
  const std::vector<std::string> header = Split(lines[0], '\t');
  const size_t at = std::find(header.begin(), header.end(), column) - header.begin();
  for (size_t i = 1; i < lines.size(); ++i) {
    std::vector<std::string> fields = Split(lines[i], '\t');
    if (at < fields.size()) values[fields[0]] = fields[at];
  }
  return values;
}

// The same from a reference dump (its values are escaped as ours are).
std::map<std::string, std::string> ReferenceColumn(const std::string& path, const std::string& table,
                                                   const std::string& column) {
  std::ifstream in(path);
  std::string line;
  std::string tsv;
  bool inside = false;
  std::vector<std::string> names;
  while (std::getline(in, line)) {
    std::vector<std::string> f = Split(line, '\t');
    if (f.empty()) continue;
    if (f[0] == "TABLE") inside = f.size() > 1 && f[1] == table;
    if (!inside) continue;
    if (f[0] == "COLUMN") names.push_back(f[1]);
    if (f[0] == "ROW") tsv += line.substr(4) + "\n";
  }
  std::string header;
  for (const std::string& n : names) header += (header.empty() ? "" : "\t") + n;
  return Column(header + "\n" + tsv, column);
}

size_t LineCount(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(RowsCommand, ListsEveryRowOfTheSample) {
  for (const auto& [table, rows] : std::vector<std::pair<std::string, size_t>>{
           {"dbo.Order Details", 2155}, {"dbo.Orders", 830}, {"Customers", 91}}) {
    for (const char* mode : {"standard", "advanced"}) {
      auto r = RunRavelin({"rows", kSample, table, "--mode", mode, "--quiet"});
      ASSERT_EQ(r.exitCode, 0) << table << r.err;
      EXPECT_EQ(LineCount(r.out), rows + 1) << table << " " << mode;
    }
  }
  auto limited = RunRavelin({"rows", kSample, "dbo.Orders", "--limit", "5", "--quiet"});
  EXPECT_EQ(LineCount(limited.out), 6u);

  auto missing = RunRavelin({"rows", kSample, "dbo.NoSuchTable", "--quiet"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("dbo.NoSuchTable"), std::string::npos);
  EXPECT_TRUE(missing.out.empty());
}

TEST(RowsCommand, OutputFormats) {
  auto tsv = RunRavelin({"rows", kSample, "dbo.Employees", "--quiet"});
  ASSERT_EQ(tsv.exitCode, 0);
  EXPECT_EQ(Split(tsv.out, '\n')[0].substr(0, 29), "EmployeeID\tLastName\tFirstName");
  EXPECT_EQ(Column(tsv.out, "Address")["1"], "507 - 20th Ave. E.\\r\\nApt. 2A");

  auto csv = RunRavelin({"rows", kSample, "dbo.Employees", "--format", "csv", "--quiet"});
  EXPECT_NE(csv.out.find(",\"507 - 20th Ave. E.\r\nApt. 2A\","), std::string::npos);

  auto json = RunRavelin({"rows", kSample, "dbo.Customers", "--format", "json", "--limit", "3", "--quiet"});
  ASSERT_EQ(json.exitCode, 0);
  EXPECT_EQ(
      json.out.rfind("{\"table\":\"dbo.Customers\",\"columns\":[{\"name\":\"CustomerID\",\"type\":\"nchar(5)\"}", 0),
      0u)
      << json.out;
  EXPECT_NE(json.out.find("\"CustomerID\":\"ALFKI\""), std::string::npos);
  EXPECT_NE(json.out.find("\"Region\":null"), std::string::npos);
}

// Large values (image, text, ntext) come out whole: equal to the dumps
// rebuilt from the scripts that created the databases.
TEST(RowsCommand, LargeValuesMatchTheScriptedDumps) {
  const std::string dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "no test data";
  struct Case {
    std::string file, table, column;
  };
  for (const Case& c : std::vector<Case>{{"northwind-sql2000", "dbo.Employees", "Photo"},
                                         {"northwind-sql2000", "dbo.Employees", "Notes"},
                                         {"northwind-sql2000", "dbo.Categories", "Picture"},
                                         {"northwind-sql2008r2-sankaranarayanan", "dbo.Employees", "Photo"},
                                         {"northwind-sql2008r2-sankaranarayanan", "dbo.Suppliers", "HomePage"},
                                         {"pubs-sql2000", "dbo.pub_info", "logo"},
                                         {"pubs-sql2000", "dbo.pub_info", "pr_info"}}) {
    const std::string reference = dir + "/reference/scripted/" +
                                  (c.file.rfind("pubs", 0) == 0 ? "pubs-sql2000" : "northwind-sql2000") + ".mdf.tsv";
    auto r = RunRavelin({"rows", dir + "/" + c.file + ".mdf", c.table, "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> ours = Column(r.out, c.column);
    EXPECT_EQ(ours, ReferenceColumn(reference, c.table, c.column)) << c.file << " " << c.table << "." << c.column;
  }
}

}  // namespace
}  // namespace ravelin
