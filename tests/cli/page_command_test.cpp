// End-to-end: `ravelin page` on the real files, and what torn-bit restoring
// does to catalog names.

#include <gtest/gtest.h>

#include <filesystem>

#include "storage/page.h"
#include "storage/text_codec.h"
#include "support/catalog_rows.h"
#include "support/run_command.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::RunRavelin;

std::string DataFile(const std::string& name) {
  std::string dir = testing::TestDataDir();
  return dir.empty() ? "" : dir + "/" + name;
}

TEST(PageCommand, BootPageOfEveryFile) {
  std::string dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "no test data";
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".mdf") continue;
    auto r = RunRavelin({"page", entry.path().string(), "9", "--json"});
    ASSERT_EQ(r.exitCode, 0) << entry.path() << r.err;
    EXPECT_NE(r.out.find("\"pageType\":13"), std::string::npos) << entry.path();
    EXPECT_NE(r.out.find("\"thisPage\":{\"fileId\":1,\"pageNo\":9}"), std::string::npos) << entry.path();
  }
}

TEST(PageCommand, RefusesPagesThatDoNotExist) {
  std::string file = DataFile("pubs-sql2000.mdf");
  if (file.empty()) GTEST_SKIP() << "no test data";
  auto beyond = RunRavelin({"page", file, "100000"});
  EXPECT_EQ(beyond.exitCode, 1);
  EXPECT_NE(beyond.err.find("Page 1:100000 cannot be read: the file has 160 pages"), std::string::npos) << beyond.err;
  // A number that is no page number is a usage error, said plainly.
  auto negative = RunRavelin({"page", file, "-1"});
  EXPECT_EQ(negative.exitCode, 2);
  EXPECT_NE(negative.err.find("PAGE: must be a whole number, 0 or more (not -1)"), std::string::npos) << negative.err;
  EXPECT_EQ(RunRavelin({"page", file, "3", "--file-id", "2"}).exitCode, 1);
  EXPECT_EQ(RunRavelin({"page", file, "3", "--file-id", "0"}).exitCode, 2);
}

TEST(PageCommand, PagesOfASecondaryFile) {
  testing::TempDir dir;
  testing::DatabaseImage primary(16);
  testing::SystemTablePage(
      primary, 10, 8,
      {testing::SysFiles1Row{.fileId = 1, .logicalName = "two", .physicalName = "D:\\old\\two.mdf"}.Build(),
       testing::SysFiles1Row{.fileId = 2, .logicalName = "two_2", .physicalName = "D:\\old\\two_2.ndf"}.Build()});
  primary.Page(11).PageType(1).ObjectId(34);
  const std::string path = dir.Write("two.mdf", primary.Build());
  testing::DatabaseImage secondary(8);
  for (uint32_t n = 0; n < 8; ++n) secondary.Page(n, 2).PageType(0);
  secondary.Page(5, 2).PageType(1).ObjectId(0x12345).IndexId(256);
  dir.Write("two_2.ndf", secondary.Build());

  auto r = RunRavelin({"page", path, "5", "--file-id", "2", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"thisPage\":{\"fileId\":2,\"pageNo\":5}"), std::string::npos) << r.out;
  EXPECT_EQ(RunRavelin({"page", path, "8", "--file-id", "2"}).exitCode, 1);
  EXPECT_EQ(RunRavelin({"page", path, "1", "--file-id", "3"}).exitCode, 1);
}

// The names of the first variable column of every record of `page`.
std::vector<std::string> Names(const PrimaryRecordPage& page) {
  std::vector<std::string> names;
  for (const auto& r : page.records) {
    const bool named = r && !r->varValues.empty() && r->varValues[0].data;
    names.push_back(named ? Utf16ToUtf8(*r->varValues[0].data) : "");
  }
  return names;
}

TEST(PageCommand, SysobjectsNamesNeedTheTornBitsRestored) {
  for (const char* name : {"northwind-sql2000.mdf", "pubs-sql2000.mdf"}) {
    std::string file = DataFile(name);
    if (file.empty()) GTEST_SKIP() << "no test data";
    // Page 8 holds the sysobjects rows in both files.
    const Bytes whole = testing::ReadFileBytes(file);
    ASSERT_GE(whole.size(), 9u * kPageSize);
    Bytes raw(whole.begin() + 8 * kPageSize, whole.begin() + 9 * kPageSize);
    ASSERT_EQ(LoadLE<uint32_t>(raw, 24), 1u) << name;
    ASSERT_TRUE(LoadLE<uint16_t>(raw, 4) & kFlagTornBits) << name;

    PrimaryRecordPage restored(raw, nullptr);
    Bytes unrestored = raw;
    unrestored[5] &= ~0x01;  // drop the torn-page flag: bytes stay as stored
    PrimaryRecordPage asStored(unrestored, nullptr);

    std::vector<std::string> clean = Names(restored), garbled = Names(asStored);
    ASSERT_EQ(clean.size(), garbled.size());
    ASSERT_GT(clean.size(), 20u);
    int differing = 0;
    for (size_t i = 0; i < clean.size(); ++i) {
      if (clean[i].empty()) continue;
      for (unsigned char c : clean[i]) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << name << ": " << clean[i];
      differing += clean[i] != garbled[i];
    }
    EXPECT_GT(differing, 0) << name << ": no name crosses a sector end";

    auto r = RunRavelin({"page", file, "8"});
    ASSERT_EQ(r.exitCode, 0);
    for (const std::string& n : clean) {
      EXPECT_TRUE(n.empty() || r.out.find(n) != std::string::npos) << n;
    }
  }
}

TEST(PageCommand, DeletedOptionsShowGhosts) {
  testing::TempDir dir;
  testing::DatabaseImage image(12);
  image.Page(1).ObjectId(34);
  auto& p = image.Page(5).ObjectId(34);
  p.AddRecord(testing::RecordBuilder().Fixed(testing::LE32(1)).ColumnCount(1).Build());
  p.AddRecord(testing::RecordBuilder().Type(6).Fixed(testing::LE32(2)).ColumnCount(1).Build());
  std::string path = dir.Write("g.mdf", image.Build());
  auto hidden = RunRavelin({"page", path, "5"});
  auto shown = RunRavelin({"page", path, "5", "--deleted"});
  ASSERT_EQ(hidden.exitCode, 0);
  EXPECT_NE(hidden.out.find("ghost data (ghost)  (rejected)"), std::string::npos) << hidden.out;
  EXPECT_EQ(shown.out.find("(rejected)"), std::string::npos) << shown.out;
}

}  // namespace
}  // namespace ravelin
