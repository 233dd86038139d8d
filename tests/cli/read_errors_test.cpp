// A disk that fails to read some pages: every command names the page it
// could not read and goes on with the rest.

#include <gtest/gtest.h>

#include <cerrno>

#include "catalog/opened_database.h"
#include "storage/memory_env.h"
#include "support/run_command.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::RunInProcess;

constexpr char kSample[] = RAVELIN_SOURCE_DIR "/samples/northwind-sql2000.mdf";

// The sample in memory with the first data page of Orders unreadable.
class ReadErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    auto db = testing::OpenDatabaseFile(kSample);
    ASSERT_TRUE(db);
    db->catalog()->PrepareObject("Orders", "U ", {});
    ASSERT_FALSE(db->catalog()->tablePages.empty());
    failed_ = db->catalog()->tablePages.front();
    env_.AddFile("/db/northwind.mdf", testing::ReadFileBytes(kSample));
    env_.FailReads("/db/northwind.mdf", static_cast<uint64_t>(failed_.pageNo) * kPageSize + 100, 1, EIO);
    warning_ = "warning: northwind.mdf: page could not be read (Input/output error), page 1:" +
               std::to_string(failed_.pageNo) + "\n";
  }

  size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

  MemoryEnv env_;
  PageRef failed_;
  std::string warning_;
};

TEST_F(ReadErrors, InfoNamesThePageAndShowsTheRest) {
  auto r = RunInProcess({"info", "/db/northwind.mdf"}, &env_);
  // Something is known to be missing: a partial result.
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(Count(r.err, warning_), 1u) << r.err;
  EXPECT_NE(r.out.find("Database:      Northwind"), std::string::npos) << r.out;
}

TEST_F(ReadErrors, RowsNamesThePageOnceAndListsTheOtherPages) {
  auto intact = RunInProcess({"rows", kSample, "Orders", "--quiet"});
  auto r = RunInProcess({"rows", "/db/northwind.mdf", "Orders", "--quiet"}, &env_);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(Count(r.err, warning_), 1u) << r.err;
  // The failed page loses the rows past its first 100 bytes; every other
  // page's rows are there.
  const size_t intactRows = Count(intact.out, "\n"), rows = Count(r.out, "\n");
  EXPECT_LT(rows, intactRows);
  EXPECT_GT(rows, intactRows - 60);
}

TEST_F(ReadErrors, ScanLogsTheWarningAndCompletes) {
  testing::TempDir logs;
  auto r = RunInProcess({"scan", "/db/northwind.mdf", "--log-dir", logs.path()}, &env_);
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(Count(r.err, warning_), 1u) << r.err;
  EXPECT_NE(r.err.find("Scanning completed for selected mdf file."), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("\n      Orders *\n"), std::string::npos) << r.out;
  auto quiet = RunInProcess({"scan", "/db/northwind.mdf", "--log-dir", logs.path(), "--quiet"}, &env_);
  EXPECT_EQ(quiet.exitCode, 3);
  EXPECT_EQ(quiet.err, warning_) << "with --quiet only the warning";
}

// A copy that stopped part-way: every command says once that the file is
// shorter than its header records, lists what lies before the cut, and
// ends as a partial result.
TEST(CutFile, SaysSoOnceAndReadsWhatIsThere) {
  const Bytes whole = testing::ReadFileBytes(kSample);
  const size_t pages = whole.size() / kPageSize;
  auto db = testing::OpenDatabaseFile(kSample);
  ASSERT_TRUE(db);
  db->catalog()->PrepareObject("Orders", "U ", {});
  int32_t last = 0;
  for (const PageRef& ref : db->catalog()->tablePages) last = std::max(last, ref.pageNo);
  ASSERT_LT(static_cast<size_t>(last) + 1, pages);
  const size_t cut = pages - 1;  // the catalog and Orders are before it
  MemoryEnv env;
  env.AddFile("/db/cut.mdf", Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut * kPageSize)));
  const std::string warning = "warning: cut.mdf: the file is shorter than its header records: " + std::to_string(cut) +
                              " of " + std::to_string(pages) +
                              " pages are there, the rest is lost, pages 1:" + std::to_string(cut) +
                              " to 1:" + std::to_string(pages - 1) + "\n";

  auto info = RunInProcess({"info", "/db/cut.mdf"}, &env);
  EXPECT_EQ(info.exitCode, 3);
  EXPECT_EQ(info.err, warning);

  auto intact = RunInProcess({"rows", kSample, "Orders", "--quiet"});
  auto rows = RunInProcess({"rows", "/db/cut.mdf", "Orders", "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3);
  EXPECT_EQ(rows.err, warning);
  EXPECT_EQ(rows.out, intact.out);

  // The whole file: no word about its size.
  MemoryEnv wholeEnv;
  wholeEnv.AddFile("/db/whole.mdf", whole);
  auto plain = RunInProcess({"info", "/db/whole.mdf"}, &wholeEnv);
  EXPECT_EQ(plain.exitCode, 0);
  EXPECT_EQ(plain.err, "");
}

}  // namespace
}  // namespace ravelin
