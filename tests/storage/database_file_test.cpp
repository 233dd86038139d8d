#include "storage/database_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "storage/memory_env.h"
#include "storage/text_page.h"
#include "support/recording_sink.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::Concat;
using testing::DatabaseImage;
using testing::RecordingSink;
using testing::TempDir;

// A small database: catalog pages of objects 34 and 41, a user data page
// whose object id collides with a catalog id, an IAM page, and pages whose
// headers carry their own numbers.
DatabaseImage SmallDatabase(uint32_t pages = 24) {
  DatabaseImage image(pages);
  for (uint32_t n = 0; n < pages; ++n) image.Page(n).PageType(0);
  image.Page(9).PageType(13);
  image.Page(16).PageType(1).ObjectId(34);
  image.Page(17).PageType(1).ObjectId(41).IndexId(1);
  image.Page(18).PageType(1).ObjectId(41).IndexId(256);  // user allocation unit
  image.Page(19).PageType(10).ObjectId(0x10000);
  image.Page(20).PageType(1).ObjectId(0x10000).IndexId(256);
  image.Page(21).PageType(3).ObjectId(0x10001).IndexId(256);
  return image;
}

struct Opened {
  std::atomic<bool> stop{false};
  RecordingSink sink;
  std::unique_ptr<CDatabaseFile> db;
  void Open(const std::string& path, Env& env = Env::Default()) {
    db = std::make_unique<CDatabaseFile>(path, env, sink, StopToken(stop), ReadOptions());
    if (db->isOpen) db->MapPages();
  }
};

// Bytes that no page header makes sense of.
Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes junk(size);
  for (auto& b : junk) b = static_cast<uint8_t>(rng());
  return junk;
}

TEST(DatabaseFile, RefusesWhatIsNotADataFile) {
  TempDir dir;
  struct Case {
    std::string name;
    std::string path;
    std::string error;
  } cases[] = {
      {"missing", dir.path() + "/nope.mdf", kTextFileCannotBeOpen},
      {"directory", dir.path(), kTextFileCannotBeOpen},
      {"short", dir.Write("short.mdf", Bytes(8191, 0x11)), kTextNotValidMdf},
      {"empty", dir.Write("empty.mdf", Bytes()), kTextNotValidMdf},
      {"zeros", dir.Write("zeros.mdf", Bytes(20 * kPageSize, 0)), kTextNotValidMdf},
      {"random page", dir.Write("random1.mdf", RandomBytes(kPageSize, 7)), kTextNotValidMdf},
      {"random, odd length", dir.Write("random2.mdf", RandomBytes(kPageSize * 5 + 17, 8)), kTextNotValidMdf},
      {"random pages", dir.Write("random3.mdf", RandomBytes(kPageSize * 40, 9)), kTextNotValidMdf},
  };
  for (const Case& c : cases) {
    Opened o;
    o.Open(c.path);
    EXPECT_FALSE(o.db->isOpen) << c.name;
    auto errors = o.sink.Texts('E');
    ASSERT_EQ(errors.size(), 1u) << c.name;
    EXPECT_EQ(errors[0], c.error) << c.name;
  }
}

TEST(DatabaseFile, ZeroedPagesAreFiledButDoNotMakeADatabase) {
  // Unused pages read as object 0 and are filed with the system pages, but
  // only a page of a real system table makes the file a database.
  TempDir dir;
  DatabaseImage image(3);
  image.SetRaw(0, Bytes());
  image.SetRaw(1, Bytes());
  image.Page(2).ObjectId(34);
  Opened o;
  o.Open(dir.Write("mostly-zero.mdf", image.Build()));
  ASSERT_TRUE(o.db->isOpen);
  EXPECT_EQ(o.db->systemPageMap.at(0).size(), 2u);
  EXPECT_EQ(o.db->systemPageMap.at(34).size(), 1u);
}

TEST(DatabaseFile, GeometryAndMaps) {
  TempDir dir;
  Opened o;
  o.Open(dir.Write("db.mdf", SmallDatabase().Build()));
  ASSERT_TRUE(o.db->isOpen);
  EXPECT_EQ(o.db->pageCount, 24u);
  EXPECT_EQ(o.db->extentCount, 3u);
  EXPECT_EQ(o.db->startOffset, 0u);
  const auto& sys = o.db->systemPageMap;
  ASSERT_TRUE(sys.count(34));
  EXPECT_EQ(sys.at(34).front(), (PageMapEntry{1, 16, 1}));
  ASSERT_TRUE(sys.count(41));
  ASSERT_EQ(sys.at(41).size(), 1u) << "a page with index id 256 is a user page";
  EXPECT_EQ(sys.at(41).front().pageIndex, 17u);
  // The catalog's data pages stand in the data map as well.
  ASSERT_EQ(o.db->dataPageMap.at(41).size(), 2u);
  EXPECT_EQ(o.db->dataPageMap.at(0x10000).front().pageIndex, 20u);
  EXPECT_EQ(o.db->iamPageMap.at(0x10000).front(), (PageMapEntry{1, 19, 10}));
  EXPECT_FALSE(o.db->dataPageMap.count(0x10001)) << "text pages are in no map";
}

TEST(DatabaseFile, StrayBytesInFrontAreSkipped) {
  TempDir dir;
  Bytes file = Concat({Bytes(100, 0xEE), SmallDatabase().Build()});
  Opened o;
  o.Open(dir.Write("front.mdf", file));
  ASSERT_TRUE(o.db->isOpen);
  EXPECT_EQ(o.db->startOffset, 100u);
  EXPECT_EQ(o.db->pageCount, 24u);
  EXPECT_EQ(o.db->systemPageMap.at(34).front().pageIndex, 16u);
  auto header = o.db->ReadPageHeader({1, 17});
  ASSERT_TRUE(header);
  EXPECT_EQ(header->objectId, 41u);
}

TEST(DatabaseFile, GarbageBehindTheLastPageIsIgnored) {
  TempDir dir;
  Bytes file = Concat({SmallDatabase().Build(), Bytes(100, 0xEE)});
  Opened o;
  o.Open(dir.Write("back.mdf", file));
  ASSERT_TRUE(o.db->isOpen);
  EXPECT_EQ(o.db->startOffset, 0u);
  EXPECT_EQ(o.db->pageCount, 24u);
  EXPECT_EQ(o.db->systemPageMap.at(34).front().pageIndex, 16u);
}

TEST(DatabaseFile, NoAlignedPageKeepsTheRemainder) {
  TempDir dir;
  DatabaseImage image = SmallDatabase();
  for (uint32_t n = 0; n < image.pageCount(); ++n) image.Page(n).This({1, 5000});
  Opened o;
  o.Open(dir.Write("lost.mdf", Concat({Bytes(40, 0), image.Build()})));
  EXPECT_EQ(o.db->startOffset, 40u);
}

TEST(DatabaseFile, StartCheckBeginsAtPageEightOrAQuarter) {
  // Only page 0 carries its own number: a check that starts at 8 (or at
  // pageCount / 4 = 1 for four pages) finds nothing and keeps the remainder;
  // with three pages it starts at position 0 and finds the page.
  TempDir dir;
  for (uint32_t pages : {3u, 4u, 12u}) {
    DatabaseImage image(pages);
    for (uint32_t n = 0; n < pages; ++n)
      image.Page(n).This({1, static_cast<int32_t>(n == 0 ? 0 : 9999)}).Put(40, Bytes(10, 0x5A));
    Opened o;
    o.Open(dir.Write("q.mdf", Concat({image.Build(), Bytes(10, 0)})));
    EXPECT_EQ(o.db->startOffset, pages == 3 ? 0u : 10u) << pages << " pages";
  }
}

TEST(DatabaseFile, ExactlyOnePage) {
  TempDir dir;
  DatabaseImage image(1);
  image.Page(0).ObjectId(7);
  Opened o;
  o.Open(dir.Write("one.mdf", image.Build()));
  ASSERT_TRUE(o.db->isOpen);
  EXPECT_EQ(o.db->pageCount, 1u);
  EXPECT_EQ(o.db->systemPageMap.at(7).size(), 1u);
}

TEST(DatabaseFile, MappingProgressRisesSteadilyToThePageCount) {
  // What the progress bar shows while a file is mapped: a range of the
  // page count, then positions that only move forward, a hundred or so of
  // them (not one per page), ending full.
  TempDir dir;
  for (uint32_t pages : {7u, 250u, 1000u}) {
    DatabaseImage image(pages);
    for (uint32_t n = 0; n < pages; ++n) image.Page(n).ObjectId(5);
    Opened o;
    o.Open(dir.Write("p.mdf", image.Build()));
    ASSERT_TRUE(o.db->isOpen);
    auto events = o.sink.events();
    size_t mapStart = 0;
    for (size_t i = 0; i < events.size(); ++i)
      if (events[i].kind == 'S' && events[i].text == kTextMapping) mapStart = i;
    std::vector<int64_t> ranges;
    std::vector<int64_t> positions;
    for (size_t i = 0; i < events.size(); ++i) {
      if (events[i].kind == 'R') ranges.push_back(events[i].b);
      if (events[i].kind == 'P' && i > mapStart) positions.push_back(events[i].a);
    }
    EXPECT_EQ(ranges, std::vector<int64_t>(2, pages)) << "the start check's and the mapping's";
    ASSERT_FALSE(positions.empty());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << pages << " pages";
    EXPECT_EQ(positions.back(), pages);
    EXPECT_LE(positions.size(), std::min<size_t>(pages, 100) + 2) << pages << " pages";
    EXPECT_GE(positions.size(), std::min<size_t>(pages, 50)) << pages << " pages";
    EXPECT_EQ(o.sink.Texts('S'), (std::vector<std::string>{kTextCheckingCorruption, kTextCheckingCorruptionDone,
                                                           kTextMapping, kTextMappingDone}));
  }
}

TEST(DatabaseFile, StopDuringMappingEndsTheScan) {
  TempDir dir;
  DatabaseImage image(1000);
  for (uint32_t n = 0; n < 1000; ++n) image.Page(n).ObjectId(n < 500 ? 5 : 0x20000).IndexId(n < 500 ? 0 : 256);
  Opened o;
  std::string path = dir.Write("stop.mdf", image.Build());
  bool mapping = false;
  o.sink.onPosition = [&](int64_t pos) {
    auto texts = o.sink.Texts('S');
    mapping = !texts.empty() && texts.back() == kTextMapping;
    if (mapping && pos >= 100) o.stop = true;
  };
  o.Open(path);
  ASSERT_TRUE(o.db->isOpen);
  EXPECT_LT(o.db->systemPageMap.at(5).size(), 200u);
  EXPECT_FALSE(o.db->dataPageMap.count(0x20000));
  // The flag belongs to the run: reading never clears it.
  EXPECT_TRUE(o.stop.load());
}

TEST(DatabaseFile, PageReadersCheckTheAddress) {
  TempDir dir;
  Opened o;
  o.Open(dir.Write("db.mdf", SmallDatabase().Build()));
  ASSERT_TRUE(o.db->isOpen);
  EXPECT_FALSE(o.db->ReadRawPage({1, 0}));
  EXPECT_FALSE(o.db->ReadRawPage({1, 24}));
  EXPECT_FALSE(o.db->ReadRawPage({1, -1}));
  EXPECT_FALSE(o.db->ReadRawPage({0, 5}));
  EXPECT_FALSE(o.db->ReadRawPage({2, 5})) << "no secondary file registered";
  auto raw = o.db->ReadRawPage({1, 23});
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->size(), 8193u);
  EXPECT_EQ(raw->back(), 0);
  EXPECT_TRUE(o.db->ReadPageBytes({1, 0}, true));
  EXPECT_FALSE(o.db->ReadPageHeader({1, 0}));
  auto kept = o.db->ReadPageHeaderKeepBuffer({1, 16});
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->header->objectId, 34u);
  EXPECT_EQ(kept->buffer.size(), static_cast<size_t>(kPageSize));
}

TEST(DatabaseFile, ReadsPagesOfARegisteredSecondaryFile) {
  TempDir dir;
  Opened o;
  o.Open(dir.Write("db.mdf", SmallDatabase().Build()));
  DatabaseImage second(10);
  second.Page(4, 2).ObjectId(0x30000);
  std::string ndf = dir.Write("db_2.ndf", Concat({Bytes(7, 0), second.Build()}));
  DataFileInfo info;
  info.fileId = 2;
  info.physicalName = ndf;
  info.fileSize = 10 * kPageSize + 7;
  info.pageCount = 10;
  info.startOffset = 7;
  o.db->secondaryFiles[2] = info;
  auto header = o.db->ReadPageHeader({2, 4});
  ASSERT_TRUE(header);
  EXPECT_EQ(header->objectId, 0x30000u);
  EXPECT_EQ(header->thisPage, (PageRef{2, 4}));
  EXPECT_FALSE(o.db->ReadPageHeader({2, 10}));
  o.db->secondaryFiles[2].physicalName = dir.path() + "/gone.ndf";
  EXPECT_FALSE(o.db->ReadPageHeader({2, 4}));
}

TEST(DatabaseFile, TextPagesOfADisplacedFileAreFoundWhereTheyLie) {
  MemoryEnv env;
  DatabaseImage image(30);
  image.Page(3).ObjectId(7);
  image.Page(18).This({1, 20}).ObjectId(0x40000);  // page 20, two places early
  image.Page(20).This({1, 22});
  image.Page(21).This({1, 21}).ObjectId(0x50000);
  image.Page(23).This({1, 25});  // displaced, but its stand-in says another number
  env.AddFile("/t.mdf", image.Build());
  Opened o;
  o.Open("/t.mdf", env);
  ASSERT_TRUE(o.db->isOpen);
  auto moved = o.db->ReadTextPage({1, 20});
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->header->objectId, 0x40000u);
  EXPECT_EQ(o.db->ReadTextPage({1, 21})->header->objectId, 0x50000u);
  EXPECT_EQ(o.db->ReadTextPage({1, 23})->header->thisPage.pageNo, 25) << "no stand-in: the page read stays";
  EXPECT_FALSE(o.db->ReadTextPage({1, 99}));
}

TEST(DatabaseFile, ReadErrorsAreWarnedOncePerPageAndReadAsZeros) {
  MemoryEnv env;
  env.AddFile("/e.mdf", SmallDatabase().Build());
  // Page 20 fails half-way, page 21 from its first byte.
  env.FailReads("/e.mdf", 20 * kPageSize + 4096, 16, EIO);
  env.FailReads("/e.mdf", 21 * kPageSize, kPageSize, EIO);
  Opened o;
  o.Open("/e.mdf", env);
  ASSERT_TRUE(o.db->isOpen) << "the rest of the file still maps";
  EXPECT_TRUE(o.db->dataPageMap.count(0x10000)) << "page 20's header was read before the fault";
  const std::vector<std::string> mapped = o.sink.Texts('W');
  ASSERT_EQ(mapped.size(), 2u);
  EXPECT_EQ(mapped[0], "warning: e.mdf: page could not be read (Input/output error), page 1:20");
  EXPECT_EQ(mapped[1], "warning: e.mdf: page could not be read (Input/output error), page 1:21");

  auto bytes = o.db->ReadPageBytes({1, 20}, false);
  ASSERT_TRUE(bytes) << "a page that fails still reads as what could be had";
  EXPECT_EQ((*bytes)[4095], SmallDatabase().Build()[20 * kPageSize + 4095]);
  EXPECT_EQ((*bytes)[4096], 0);
  o.db->ReadPageBytes({1, 21}, false);
  EXPECT_EQ(o.sink.Texts('W').size(), 2u) << "each page is warned about once";
}

TEST(DatabaseFile, NeverWritesItsInput) {
  TempDir dir;
  std::string path = dir.Write("ro.mdf", SmallDatabase().Build());
  std::filesystem::permissions(path, std::filesystem::perms::owner_read, std::filesystem::perm_options::replace);
  auto before = std::filesystem::last_write_time(path);
  Opened o;
  o.Open(path);
  EXPECT_TRUE(o.db->isOpen);
  o.db.reset();
  EXPECT_EQ(std::filesystem::last_write_time(path), before);
}

}  // namespace
}  // namespace ravelin
