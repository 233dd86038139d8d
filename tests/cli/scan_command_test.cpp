// End-to-end: `ravelin scan` on synthetic and real files.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "support/catalog_image.h"
#include "support/reference_dump.h"
#include "support/run_command.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using namespace testing;

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) files.push_back(entry.path().string());
  return files;
}

TEST(ScanCommand, SmallDatabaseAndItsSnapshot) {
  TempDir dir, logs;
  const std::string path = dir.Write("small.mdf", SmallCatalogImage().Build());
  const std::string snapshot = dir.path() + "/small.MDBSNP";
  auto r = RunRavelin({"scan", path, "--log-dir", logs.path(), "--snapshot-out", snapshot});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // The log lines on stderr, the tree alone on stdout.
  EXPECT_EQ(r.err.rfind(path + " File is selected for recovery....\nBrowse File Path:\t" + path + "\n", 0), 0u)
      << r.err;
  const std::string& tree = r.out;
  EXPECT_EQ(tree.rfind(path + "\n  Views\n    dbo.OrderSummary\n  Programmability\n", 0), 0u) << tree;
  EXPECT_NE(tree.find("\n    User Tables\n      dbo.Customers *\n        Columns\n      dbo.Empty\n"),
            std::string::npos);
  EXPECT_NE(r.err.find("Saving Snapshot..Please wait....\nSnapshot Saved successfully in path " + snapshot + "\n"),
            std::string::npos)
      << r.err;
  // The box repeats the line: printed once.
  EXPECT_NE(r.err.find("Scanning completed for selected mdf file.\nScanning process completed.\n"), std::string::npos);
  EXPECT_EQ(r.err.find("Scanning process completed.\nScanning process completed."), std::string::npos);

  EXPECT_EQ(FilesIn(logs.path()).size(), 1u);

  auto loaded = RunRavelin({"scan", "--snapshot", snapshot, "--log-dir", logs.path()});
  ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
  EXPECT_EQ(loaded.err.rfind("Browse File Path:\t" + path + "\n", 0), 0u) << loaded.err;
  EXPECT_EQ(loaded.out, tree);
  // The log file of the Load is named on leaving.
  EXPECT_NE(loaded.err.find("Log file path : " + logs.path() + "/VelmoraSQLDatabaseRec_log_"), std::string::npos);
}

TEST(ScanCommand, RefusedChoicesAndAbortedScan) {
  TempDir dir;
  const std::string bin = dir.Write("data.bin", Bytes(8192));
  auto notMdf = RunRavelin({"scan", bin, "--log-dir", dir.path()});
  EXPECT_EQ(notMdf.exitCode, 1);
  // The desktop's words, then why.
  EXPECT_EQ(notMdf.err.rfind("Please select valid SQL file path to continue the recovery process. " + bin +
                                 ": its name does not contain .mdf",
                             0),
            0u)
      << notMdf.err;
  auto missing = RunRavelin({"scan", dir.path() + "/gone.mdf", "--log-dir", dir.path()});
  EXPECT_EQ(missing.err, "Please select valid SQL file path to continue the recovery process. " + dir.path() +
                             "/gone.mdf: No such file or directory\n");
  const std::string path = dir.Write("small.mdf", SmallCatalogImage().Build());
  // A log folder that cannot take the log: one error, before the run.
  auto noLogDir = RunRavelin({"scan", path, "--log-dir", dir.path() + "/none"});
  EXPECT_EQ(noLogDir.exitCode, 1);
  EXPECT_EQ(noLogDir.err,
            "ravelin: the log folder " + dir.path() + "/none cannot be used: No such file or directory (--log-dir)\n");
  auto collation = RunRavelin({"scan", path, "--log-dir", dir.path(), "--collation", "No_Such_CI_AS"});
  EXPECT_EQ(collation.exitCode, 2);
  EXPECT_NE(collation.err.find("unknown collation No_Such_CI_AS"), std::string::npos);
  EXPECT_EQ(RunRavelin({"scan", path, "--snapshot", path}).exitCode, 2);
  // Where the log went is said on leaving, unless quiet.
  auto told = RunRavelin({"scan", path, "--log-dir", dir.path()});
  EXPECT_EQ(told.exitCode, 0);
  EXPECT_NE(told.err.find("Log file path : " + dir.path() + "/VelmoraSQLDatabaseRec_log_"), std::string::npos);
  // Not a database: aborted, exit code 1, no tree.
  const std::string zerosPath = dir.Write("zeros.mdf", Bytes(64 * 8192));
  auto zeros = RunRavelin({"scan", zerosPath, "--log-dir", dir.path()});
  EXPECT_EQ(zeros.exitCode, 1);
  EXPECT_TRUE(zeros.out.empty());
  EXPECT_NE(zeros.err.find("Wheteher File is not valid mdf file or file is highly corrupted........... " + zerosPath +
                           ": none of its pages is a page of a SQL Server system table"),
            std::string::npos)
      << zeros.err;
  EXPECT_NE(zeros.err.find("\nScanning process aborted.\n"), std::string::npos);
}

// The labels of every item's children, read from the printed tree.
std::map<std::string, std::set<std::string>> Children(const std::string& tree) {
  std::map<std::string, std::set<std::string>> found;
  std::vector<std::string> path;
  std::istringstream in(tree);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    const size_t level = line.find_first_not_of(' ') / 2;
    std::string label = line.substr(level * 2);
    if (label.size() > 2 && label.compare(label.size() - 2, 2, " *") == 0) label.resize(label.size() - 2);
    path.resize(level);
    if (level > 0) found[path.back()].insert(label);
    path.push_back(label);
  }
  return found;
}

const char* CategoryOfModule(const std::string& type) {
  if (type == "V") return "Views";
  if (type == "P") return "Store Procedure";
  if (type == "FN" || type == "IF" || type == "TF") return "Function";
  if (type == "TR") return "Triggers";
  if (type == "D") return "Default";
  return nullptr;
}

TEST(ScanCommand, RealFilesShowTheReferencesTablesAndModules) {
  const std::string data = TestDataDir();
  if (data.empty()) GTEST_SKIP() << "no test data";
  TempDir logs;
  const std::vector<std::string> references = ReferenceDumps(data);
  ASSERT_FALSE(references.empty());
  for (const std::string& reference : references) {
    const bool sql2000 = reference.find("/scripted/") != std::string::npos;
    SCOPED_TRACE(reference);
    auto r = RunRavelin({"scan", DumpedDataFile(data, reference), "--log-dir", logs.path(), "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto tree = Children(r.out);
    size_t checked = 0;
    for (const std::vector<std::string>& fields : DumpLines(reference)) {
      if (fields.size() < 3 || (fields[0] != "TABLE" && fields[0] != "MODULE")) continue;
      std::string object = fields[1];
      // The 2000 layout has no schemas: its names come bare.
      if (sql2000 && object.rfind("dbo.", 0) == 0) object = object.substr(4);
      const char* category = fields[0] == "TABLE" ? "User Tables" : CategoryOfModule(fields[2]);
      if (!category) continue;
      auto it = tree.find(category);
      EXPECT_TRUE(it != tree.end() && it->second.count(object)) << object << " not under " << category;
      ++checked;
    }
    EXPECT_GT(checked, 0u);
  }
}

}  // namespace
}  // namespace ravelin
