#include "storage/iam_page.h"

#include <gtest/gtest.h>

#include "storage/database_file.h"
#include "storage/iam_walk.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::DatabaseImage;
using testing::MakeIamPage;
using testing::PageBuilder;
using testing::TestDatabase;

constexpr uint32_t kUnitId = 0x20000;

std::vector<PageRef> Pages(int16_t fileId, int32_t first, int32_t last) {
  std::vector<PageRef> pages;
  for (int32_t n = first; n <= last; ++n) pages.push_back({fileId, n});
  return pages;
}

std::vector<PageRef> Join(std::initializer_list<std::vector<PageRef>> parts) {
  std::vector<PageRef> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Every page of every allocated extent, in list order.
std::vector<PageRef> ExtentPages(ExtentAllocationMap& map) {
  std::vector<PageRef> pages;
  for (ExtentEntry& e : map.ListAllocatedExtents()) {
    auto expanded = ExtentAllocationMap::ExpandExtent(e);
    EXPECT_EQ(e.pageCount, static_cast<int32_t>(expanded.size()));
    pages.insert(pages.end(), expanded.begin(), expanded.end());
  }
  return pages;
}

// A database of 32 pages (4 extents) with a catalog page so that it opens.
DatabaseImage SmallImage() {
  DatabaseImage image(32);
  image.Page(1).ObjectId(34);
  return image;
}

TEST(IamPage, ReadsHeaderAndListsBitmapExtents) {
  DatabaseImage image = SmallImage();
  MakeIamPage(image.Page(10).ObjectId(kUnitId), {1, 0}, {{1, 12}, {1, 0}, {3, 7}}, {0x05});
  TestDatabase t(image);
  ASSERT_TRUE(t.Open());
  auto iam = t.db().ReadIamPage({1, 10});
  ASSERT_TRUE(iam);
  EXPECT_EQ(iam->startPage, (PageRef{1, 0}));
  EXPECT_EQ(iam->singlePages[0], (PageRef{1, 12}));
  EXPECT_EQ(iam->singlePages[1], (PageRef{1, 0}));
  EXPECT_EQ(iam->singlePages[2], (PageRef{3, 7}));
  EXPECT_EQ(iam->singlePages[3], (PageRef{0, 0}));
  EXPECT_EQ(iam->bitCount, kExtentsPerInterval);
  EXPECT_EQ(ExtentPages(*iam), Join({Pages(1, 0, 7), Pages(1, 16, 23)}));
  EXPECT_EQ(iam->allocatedExtentCount, 2);
  EXPECT_FALSE(t.db().ReadIamPage({1, 0}));
  EXPECT_FALSE(t.db().ReadIamPage({1, 32}));
}

TEST(IamPage, ListsNoExtentBeyondTheMappedFile) {
  DatabaseImage image = SmallImage();
  MakeIamPage(image.Page(10), {1, 0}, {}, {0xFF, 0xFF});
  MakeIamPage(image.Page(11), {2, 0}, {}, {0xFF, 0xFF});
  MakeIamPage(image.Page(12), {3, 0}, {}, {0xFF});
  TestDatabase t(image);
  ASSERT_TRUE(t.Open());
  // The primary file has 4 extents.
  auto primary = t.db().ReadIamPage({1, 10});
  EXPECT_EQ(ExtentPages(*primary), Pages(1, 0, 31));
  // A secondary file of 16 pages has 2; a file the database does not know
  // has none that could be read.
  t.db().secondaryFiles[2] = DataFileInfo{0, 2, "second", "/nowhere.ndf", 16 * kPageSize, 16, 0};
  auto secondary = t.db().ReadIamPage({1, 11});
  EXPECT_EQ(ExtentPages(*secondary), Pages(2, 0, 15));
  auto unknown = t.db().ReadIamPage({1, 12});
  EXPECT_TRUE(unknown->ListAllocatedExtents().empty());
  EXPECT_EQ(unknown->allocatedExtentCount, 0);
}

TEST(IamPage, IntervalComesFromStartPageOrOwnPosition) {
  // Without a usable start page the interval is the one holding the page.
  PageBuilder own(511240);
  MakeIamPage(own, {0, 0}, {}, {0x01});
  IamPage second(own.Build(), nullptr);
  EXPECT_EQ(ExtentPages(second), Pages(1, 511232, 511239));

  PageBuilder named(10);
  MakeIamPage(named, {2, 511232}, {}, {0x02});
  EXPECT_EQ(ExtentPages(*std::make_unique<IamPage>(named.Build(), nullptr)), Pages(2, 511240, 511247));

  // The last interval that page numbers reach is listed only up to them.
  PageBuilder last(10);
  MakeIamPage(last, {1, 4200 * kPagesPerInterval}, {}, Bytes(7988, 0xFF));
  auto extents = IamPage(last.Build(), nullptr).ListAllocatedExtents();
  ASSERT_EQ(extents.size(), 38656u);
  EXPECT_EQ(extents.back().lastPage.pageNo, INT32_MAX);

  // A start page that cannot begin an interval is damage: the page's own
  // interval (the file's first) is taken.
  PageBuilder odd(10);
  MakeIamPage(odd, {1, 77}, {}, {0x01});
  IamPage damaged(odd.Build(), nullptr);
  EXPECT_EQ(ExtentPages(damaged), Pages(1, 0, 7));
}

TEST(IamPage, DamagedPagesYieldNothing) {
  PageBuilder headerOnly(10);
  headerOnly.PageType(10).AddRecord(testing::IamHeaderRecord({1, 0}, {{1, 5}}));
  IamPage noBitmap(headerOnly.Build(), nullptr);
  EXPECT_EQ(noBitmap.bitCount, 0);
  EXPECT_TRUE(noBitmap.ListAllocatedExtents().empty());
  EXPECT_EQ(noBitmap.singlePages[0], (PageRef{1, 5}));

  PageBuilder empty(10);
  empty.PageType(10);
  IamPage nothing(empty.Build(), nullptr);
  EXPECT_EQ(nothing.singlePages[0], (PageRef{1, 0}));
  EXPECT_TRUE(nothing.ListAllocatedExtents().empty());

  ExtentEntry reversed{0, {1, 9}, {1, 2}};
  EXPECT_TRUE(ExtentAllocationMap::ExpandExtent(reversed).empty());
  EXPECT_EQ(reversed.pageCount, 0);
}

// Two IAM pages whose next pointers form a loop, a data page, and a third
// IAM page that is reachable only through the page maps.
class IamWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DatabaseImage image = SmallImage();
    // Slot {1,0}, file id 0 and pages beyond the file are not taken.
    MakeIamPage(image.Page(10).ObjectId(kUnitId), {1, 0}, {{1, 20}, {1, 0}, {0, 5}, {1, 40}}, {0x02}).Next({1, 11});
    MakeIamPage(image.Page(11).ObjectId(kUnitId), {1, 0}, {{1, 21}, {1, 20}}, {0x0A}).Next({1, 10});
    image.Page(5).ObjectId(kUnitId);
    db_ = std::make_unique<TestDatabase>(image);
    ASSERT_TRUE(db_->Open());
  }
  CDatabaseFile& db() { return db_->db(); }

  // IAM 10 then IAM 11; pages met before are not repeated.
  const std::vector<PageRef> expected_ = Join({{{1, 20}}, Pages(1, 8, 15), {{1, 21}}, Pages(1, 24, 31)});
  std::unique_ptr<TestDatabase> db_;
};

TEST_F(IamWalkTest, ChainEndsWhereItLoops) {
  EXPECT_EQ(CollectIamChainPages(db(), {1, 10}), expected_);
  EXPECT_EQ(CollectIamChainPages(db(), {1, 0}), std::vector<PageRef>{});
  // A data page is no IAM page: nothing it says is taken.
  EXPECT_EQ(CollectIamChainPages(db(), {1, 5}), std::vector<PageRef>{});
  db_->stopFlag() = true;
  EXPECT_EQ(CollectIamChainPages(db(), {1, 10}), std::vector<PageRef>{});
}

TEST_F(IamWalkTest, ListSkipsWhatIsNotAnIamPage) {
  const std::vector<PageRef> list = {{1, 10}, {1, 5}, {1, 0}, {1, 99}, {1, 11}, {1, 10}};
  EXPECT_EQ(CollectIamListPages(db(), list), expected_);
  EXPECT_EQ(CollectIamMapPages(db(), kUnitId), expected_);
  EXPECT_EQ(CollectIamMapPages(db(), 0x777), std::vector<PageRef>{});
}

}  // namespace
}  // namespace ravelin
