#include "storage/secondary_files.h"

#include <gtest/gtest.h>

#include "catalog/data_page.h"
#include "storage/database_file.h"
#include "support/catalog_rows.h"
#include "support/recording_sink.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using namespace testing;  // the builders of the test support

constexpr uint32_t kUserObject = 0x12345;

// The primary file: its file table lists itself, a data file recorded as
// D:\old\test_2.dat and the log.
DatabaseImage PrimaryImage() {
  DatabaseImage image(16);
  SystemTablePage(
      image, 10, 8,
      {SysFiles1Row{.fileId = 1, .logicalName = "test", .physicalName = "D:\\old\\test.mdf"}.Build(),
       SysFiles1Row{.fileId = 2, .logicalName = "test_2", .physicalName = "D:\\old\\test_2.dat"}.Build(),
       SysFiles1Row{.fileId = 3, .logicalName = "test_log", .physicalName = "D:\\old\\test_log.ldf"}.Build()});
  image.Page(11).PageType(1).ObjectId(34);
  image.Page(12).PageType(1).ObjectId(kUserObject).IndexId(256);
  return image;
}

// A secondary file of twelve pages whose headers carry `headerFileId`: a
// catalog page, a user page whose object id collides with a catalog id, two
// data pages and an IAM page.
DatabaseImage SecondaryImage(uint16_t headerFileId) {
  DatabaseImage image(12);
  for (uint32_t n = 0; n < 12; ++n) image.Page(n, headerFileId).PageType(0);
  image.Page(3, headerFileId).PageType(1).ObjectId(41);
  image.Page(4, headerFileId).PageType(1).ObjectId(41).IndexId(256);
  image.Page(5, headerFileId).PageType(1).ObjectId(kUserObject).IndexId(256);
  image.Page(6, headerFileId).PageType(1).ObjectId(kUserObject).IndexId(256);
  image.Page(7, headerFileId).PageType(10).ObjectId(kUserObject).IndexId(256);
  return image;
}

class SecondaryFilesTest : public ::testing::Test {
 protected:
  // Writes the primary file and opens it; `files` gets its file table.
  void OpenPrimary() {
    primaryPath_ = dir_.Write("test.mdf", PrimaryImage().Build());
    db_ = std::make_unique<CDatabaseFile>(primaryPath_, Env::Default(), sink_, StopToken(stop_), ReadOptions());
    ASSERT_TRUE(db_->isOpen && db_->MapPages());
    auto bytes = db_->ReadPageBytes({1, 10}, true);
    ASSERT_TRUE(bytes);
    CDataPage(std::move(*bytes), db_.get()).ReadFileRows(files_);
    ASSERT_EQ(files_.size(), 3u);
  }
  void Map() { MapSecondaryFiles(*db_, files_, primaryPath_); }

  TempDir dir_;
  std::atomic<bool> stop_{false};
  RecordingSink sink_;
  std::string primaryPath_;
  std::unique_ptr<CDatabaseFile> db_;
  std::vector<DataFileInfo> files_;
};

TEST_F(SecondaryFilesTest, ListedFileIsFoundBesideThePrimaryUnderItsNdfName) {
  dir_.Write("test_2.ndf", SecondaryImage(2).Build());
  dir_.Write("test_log.ldf", SecondaryImage(3).Build());  // the log is never read as data
  OpenPrimary();
  const auto mapsBefore = db_->systemPageMap.size();
  Map();

  ASSERT_EQ(db_->secondaryFiles.size(), 1u);
  const DataFileInfo& info = db_->secondaryFiles.at(2);
  EXPECT_EQ(info.physicalName, dir_.path() + "/test_2.ndf");
  EXPECT_EQ(info.logicalName, "test_2");
  EXPECT_EQ(info.pageCount, 12u);
  EXPECT_EQ(info.fileSize, 12u * kPageSize);
  EXPECT_EQ(info.startOffset, 0);
  EXPECT_EQ(files_[1].physicalName, info.physicalName) << "the catalog's entry is completed too";
  EXPECT_EQ(files_[1].pageCount, 12u);
  EXPECT_EQ(files_[0].physicalName, "D:\\old\\test.mdf") << "the primary keeps its recorded path";
  EXPECT_EQ(files_[2].physicalName, dir_.path() + "/test_log.ndf");

  auto page = db_->ReadDataPage({2, 5});
  ASSERT_TRUE(page);
  EXPECT_EQ(page->header->objectId, kUserObject);
  EXPECT_EQ(page->header->thisPage, (PageRef{2, 5}));

  EXPECT_EQ(db_->systemPageMap.at(41), (std::vector<PageMapEntry>{{2, 3, 1}}));
  EXPECT_EQ(db_->dataPageMap.at(41).size(), 2u) << "catalog and colliding user page";
  EXPECT_EQ(db_->dataPageMap.at(kUserObject), (std::vector<PageMapEntry>{{1, 12, 1}, {2, 5, 1}, {2, 6, 1}}));
  EXPECT_FALSE(db_->iamPageMap.count(kUserObject) && db_->iamPageMap.at(kUserObject).size() > 0)
      << "IAM pages of secondary files are not mapped";
  EXPECT_EQ(db_->systemPageMap.size(), mapsBefore + 1);

  // The scan reported its own range and finished at the page count.
  auto events = sink_.events();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[events.size() - 1].kind, 'P');
  EXPECT_EQ(events[events.size() - 1].a, 12);
}

TEST_F(SecondaryFilesTest, ListedFileKeepsTheListedIdWhateverItsHeadersSay) {
  dir_.Write("TEST_2.NDF", SecondaryImage(1).Build());  // copied from Windows
  OpenPrimary();
  Map();
  ASSERT_TRUE(db_->secondaryFiles.count(2));
  EXPECT_EQ(db_->secondaryFiles.at(2).physicalName, dir_.path() + "/TEST_2.NDF");
  EXPECT_EQ(db_->systemPageMap.at(41), (std::vector<PageMapEntry>{{2, 3, 1}}));
  auto page = db_->ReadDataPage({2, 6});
  ASSERT_TRUE(page);
  EXPECT_EQ(page->header->objectId, kUserObject);
}

TEST_F(SecondaryFilesTest, DiscoveredFileIsRegisteredUnderTheIdOfItsPages) {
  // 100 stray bytes in front of the first page: the start check finds them.
  dir_.Write("other.ndf", Concat({Bytes(100, 0xEE), SecondaryImage(2).Build()}));
  OpenPrimary();
  files_.clear();  // no file table: look for *.ndf
  Map();

  ASSERT_EQ(files_.size(), 1u);
  EXPECT_EQ(files_[0].fileId, 2);
  EXPECT_EQ(files_[0].logicalName, "");
  EXPECT_EQ(files_[0].physicalName, dir_.path() + "/other.ndf");
  EXPECT_EQ(files_[0].startOffset, 100);
  EXPECT_EQ(files_[0].pageCount, 12u);
  ASSERT_TRUE(db_->secondaryFiles.count(2));
  auto page = db_->ReadDataPage({2, 5});
  ASSERT_TRUE(page);
  EXPECT_EQ(page->header->thisPage, (PageRef{2, 5}));
  EXPECT_EQ(db_->systemPageMap.at(41), (std::vector<PageMapEntry>{{2, 3, 1}}));

  auto status = sink_.Texts('S');
  ASSERT_GE(status.size(), 2u);
  EXPECT_EQ(status[status.size() - 2], kTextCheckingCorruption);
  EXPECT_EQ(status.back(), kTextCheckingCorruptionDone);
}

TEST_F(SecondaryFilesTest, DiscoveredFileWithoutAnIdOfItsOwnIsNotRegistered) {
  dir_.Write("stray.ndf", SecondaryImage(1).Build());
  dir_.Write("zeros.NDF", Bytes(3 * kPageSize, 0));
  dir_.Write("tiny.ndf", Bytes(100, 0));
  OpenPrimary();
  files_.clear();
  Map();
  EXPECT_TRUE(files_.empty());
  EXPECT_TRUE(db_->secondaryFiles.empty());
  // Its pages stay in the maps, but reading them finds no file.
  EXPECT_EQ(db_->systemPageMap.at(41), (std::vector<PageMapEntry>{{1, 3, 1}}));
  EXPECT_FALSE(db_->ReadDataPage({2, 5}));
}

TEST_F(SecondaryFilesTest, NothingChangesWithoutSecondaryFiles) {
  dir_.Write("notes.txt", Bytes(kPageSize, 1));
  OpenPrimary();
  const PageMap system = db_->systemPageMap;
  const PageMap data = db_->dataPageMap;

  Map();  // listed, but not there
  EXPECT_TRUE(db_->secondaryFiles.empty());
  EXPECT_EQ(files_.size(), 3u);

  files_.clear();  // nothing to discover
  Map();
  EXPECT_TRUE(files_.empty());
  EXPECT_TRUE(db_->secondaryFiles.empty());
  EXPECT_EQ(db_->systemPageMap, system);
  EXPECT_EQ(db_->dataPageMap, data);
}

TEST_F(SecondaryFilesTest, StopEndsEveryScanAtOnce) {
  dir_.Write("test_2.ndf", SecondaryImage(2).Build());
  OpenPrimary();
  const PageMap system = db_->systemPageMap;
  stop_ = true;
  Map();
  EXPECT_EQ(db_->systemPageMap, system);
  EXPECT_TRUE(db_->secondaryFiles.count(2)) << "a listed file is registered before its scan";
}

TEST(SecondaryFileNames, FolderAndNdfName) {
  EXPECT_EQ(FolderOf("/data/db/Sales.mdf"), "/data/db/");
  EXPECT_EQ(FolderOf("Sales.mdf"), "");
  EXPECT_EQ(SecondaryFileName("D:\\old\\Sales_2.ndf"), "Sales_2.ndf");
  EXPECT_EQ(SecondaryFileName("D:\\old\\Sales_3.dat"), "Sales_3.ndf");
  EXPECT_EQ(SecondaryFileName("D:\\old\\a.b.c"), "a.b.ndf");
  EXPECT_EQ(SecondaryFileName("D:\\old\\noext"), "noext");
  EXPECT_EQ(SecondaryFileName("D:\\old\\.hidden"), ".hidden");
  EXPECT_EQ(SecondaryFileName("/mnt/old/x.NDF"), "x.ndf");
  EXPECT_EQ(SecondaryFileName(""), "");
  EXPECT_TRUE(IsSecondarySystemPage(34, 0));
  EXPECT_FALSE(IsSecondarySystemPage(34, 256));
  EXPECT_FALSE(IsSecondarySystemPage(1, 0)) << "narrower than the primary file's rule";
  EXPECT_FALSE(IsSecondarySystemPage(64, 0));
}

}  // namespace
}  // namespace ravelin
