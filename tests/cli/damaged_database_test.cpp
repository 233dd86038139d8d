// Whole databases with damage or history, read through the command line:
// what each table lists, what is marked and what is warned about.

#include <gtest/gtest.h>

#include <algorithm>

#include "storage/memory_env.h"
#include "support/refilled_table_image.h"
#include "support/run_command.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::RunInProcess;

constexpr char kSample[] = RAVELIN_SOURCE_DIR "/samples/northwind-sql2000.mdf";

std::string Lines(const std::vector<std::vector<std::string>>& rows, const std::string& status = "") {
  std::string text;
  for (const auto& row : rows) {
    std::string line = status.empty() ? "" : status + "\t";
    for (size_t i = 0; i < row.size(); ++i) line += (i ? "\t" : "") + row[i];
    text += line + "\n";
  }
  return text;
}

// A table emptied and refilled: its old pages are free but intact and still
// carry its id. Without the deleted-record options only the live rows are
// the table's, in both modes; with them the old rows come too, marked.
TEST(DamagedDatabase, FreePagesAreHistoryNotData) {
  const testing::RefilledTableImage built = testing::EmptiedAndRefilledImage(3, 10, 4);
  MemoryEnv env;
  env.AddFile("/db/refilled.mdf", built.image.Build());
  for (const char* mode : {"standard", "advanced"}) {
    SCOPED_TRACE(mode);
    auto live = RunInProcess({"rows", "/db/refilled.mdf", "dbo.Refilled", "--mode", mode, "--quiet"}, &env);
    EXPECT_EQ(live.exitCode, 0) << live.err;
    EXPECT_EQ(live.out, "Id\tName\n" + Lines(built.liveRows));
    auto emptied = RunInProcess({"rows", "/db/refilled.mdf", "dbo.Emptied", "--mode", mode, "--quiet"}, &env);
    EXPECT_EQ(emptied.out, "Id\tName\n");

    auto withDeleted =
        RunInProcess({"rows", "/db/refilled.mdf", "dbo.Refilled", "--mode", mode, "--deleted", "--quiet"}, &env);
    EXPECT_EQ(withDeleted.out.rfind("ravelin_status\tId\tName\n" + Lines(built.liveRows, "live"), 0), 0u)
        << withDeleted.out;
    const std::string old = Lines(built.oldRows, "free page");
    EXPECT_NE(withDeleted.out.find(old), std::string::npos) << withDeleted.out;
    auto emptiedDeleted =
        RunInProcess({"rows", "/db/refilled.mdf", "dbo.Emptied", "--mode", mode, "--deleted", "--quiet"}, &env);
    EXPECT_EQ(emptiedDeleted.out, "ravelin_status\tId\tName\n" + Lines(built.emptiedRows, "free page"));
  }
}

// The sample with one page of Orders' chain zeroed: Standard mode's walk
// breaks there, says so, and the rest of the table comes from the pages
// the scan filed under it.
TEST(DamagedDatabase, ABrokenChainIsFinishedFromTheMaps) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  auto db = testing::OpenDatabaseFile(kSample);
  ASSERT_TRUE(db);
  db->catalog()->PrepareObject("Orders", "U ", {});
  const std::vector<PageRef> pages = db->catalog()->tablePages;
  ASSERT_GE(pages.size(), 3u);
  const int32_t zeroed = pages[1].pageNo;
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(zeroed) * kPageSize, kPageSize, 0);
  MemoryEnv env;
  env.AddFile("/db/broken.mdf", bytes);

  auto intact = RunInProcess({"rows", kSample, "Orders", "--quiet"});
  auto rows = RunInProcess({"rows", "/db/broken.mdf", "Orders", "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3);
  EXPECT_NE(rows.err.find("warning: dbo.Orders: "), std::string::npos) << rows.err;
  EXPECT_NE(rows.err.find("1:" + std::to_string(zeroed)), std::string::npos) << rows.err;
  // Every row listed is an intact row, and only the zeroed page's are gone.
  size_t listed = 0;
  for (size_t at = 0, next; (next = rows.out.find('\n', at)) != std::string::npos; at = next + 1, ++listed)
    EXPECT_NE(intact.out.find(rows.out.substr(at, next - at + 1)), std::string::npos);
  const size_t intactLines = static_cast<size_t>(std::count(intact.out.begin(), intact.out.end(), '\n'));
  EXPECT_GT(listed, intactLines / 2);
  EXPECT_LT(listed, intactLines);
}

}  // namespace
}  // namespace ravelin
