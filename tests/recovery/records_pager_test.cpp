#include "recovery/records_pager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "recovery/records_panel_model.h"
#include "storage/database_file.h"
#include "storage/memory_env.h"
#include "support/recording_sink.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::DatabaseImage;
using testing::LE32;
using testing::RecordBuilder;

constexpr uint32_t kTable = 100;

// A records panel whose user selects the first row as soon as a second
// one arrives.
class SelectingPanel : public RecordsPanelModel {
 public:
  void InsertRecordRow(int index, const std::string& text) override {
    RecordsPanelModel::InsertRecordRow(index, text);
    if (rows.size() == 2) SelectRecordRow(0);
  }
};

// A one-column int table of `values` ("" for NULL) on data pages 20, 21,
// ... of `perPage` rows each, listed in Advanced mode from the scan's pages.
class RecordsPagerTest : public ::testing::Test {
 protected:
  void Load(const std::vector<std::string>& values, size_t perPage = 500) {
    DatabaseImage image(40);
    image.Page(1).ObjectId(34);
    std::vector<PageRef> pages;
    for (size_t i = 0; i < values.size(); ++i) {
      const auto pageNo = static_cast<uint32_t>(20 + i / perPage);
      if (i % perPage == 0) pages.push_back({1, static_cast<int32_t>(pageNo)});
      RecordBuilder record;
      record.Fixed(LE32(values[i].empty() ? 0 : static_cast<uint32_t>(std::stoul(values[i])))).ColumnCount(1);
      if (values[i].empty()) record.NullColumn(0);
      image.Page(pageNo).ObjectId(kTable).AddRecord(record.Build());
    }
    env_.AddFile("/pager.mdf", image.Build());
    settings_.recoveryMode = RecoveryMode::kAdvanced;
    OpenRequest request = OpenRequestFor(settings_, "/pager.mdf");
    request.env = &env_;
    state_.SetDatabase(OpenedDatabase::Open(request, sink_, StopToken(settings_.stopRequested)));
    ASSERT_NE(state_.catalog(), nullptr);
    SystemCatalog& catalog = *state_.catalog();
    catalog.columnDescriptors = {MakeColumnDescriptor("id", "int(4)", kTypeInt)};
    catalog.tablePages = pages;
  }

  static std::vector<std::string> Numbers(int from, int to) {
    std::vector<std::string> out;
    for (int i = from; i <= to; ++i) out.push_back(std::to_string(i));
    return out;
  }
  std::vector<std::string> Shown() const {
    std::vector<std::string> out;
    for (const auto& row : panel_.rows) out.push_back(row[0]);
    return out;
  }
  // What the selection shows after the first page.
  void ListFirstPage() {
    pager_.ListFirstPage();
    state_.paging.pageNumber = 1;
  }

  MemoryEnv env_;
  RecoverySettings settings_;
  SelectingPanel panel_;
  testing::RecordingSink sink_;
  RecoveryState state_{settings_, panel_};
  RecordsPager pager_{state_, sink_};
};

TEST_F(RecordsPagerTest, PagesOfAThousandRowsForwardAndBack) {
  Load(Numbers(1, 2155));
  ListFirstPage();
  EXPECT_EQ(Shown(), Numbers(1, 1000));
  EXPECT_TRUE(state_.paging.HasNextPage());
  EXPECT_EQ(panel_.caption, "0 rows to 1000");
  EXPECT_FALSE(settings_.firstPageListing.load());

  pager_.ListNextPage();
  EXPECT_EQ(Shown(), Numbers(1001, 2000));
  EXPECT_EQ(panel_.recordsLabel, "Page2 - [1000](1001-2000) Records");
  EXPECT_EQ(panel_.caption, "1000 rows to 2000");
  pager_.ListNextPage();
  EXPECT_EQ(Shown(), Numbers(2001, 2155));
  EXPECT_EQ(panel_.recordsLabel, "Page3 - [155](2001-2155) Records");
  EXPECT_FALSE(panel_.nextEnabled);

  // At the end Next lists nothing and the page stays.
  pager_.ListNextPage();
  EXPECT_EQ(Shown(), Numbers(2001, 2155));
  EXPECT_EQ(panel_.recordsLabel, "Page3 - [155](2001-2155) Records");

  // Back from the short last page: the page before it, not two back.
  pager_.ListPreviousPage();
  EXPECT_EQ(Shown(), Numbers(1001, 2000));
  EXPECT_EQ(panel_.recordsLabel, "Page2 - [1000](1001-2000) Records");
  EXPECT_TRUE(panel_.nextEnabled);
  EXPECT_TRUE(panel_.previousEnabled);

  // And forward again from there.
  pager_.ListNextPage();
  EXPECT_EQ(Shown(), Numbers(2001, 2155));
  EXPECT_EQ(panel_.recordsLabel, "Page3 - [155](2001-2155) Records");

  pager_.ListPreviousPage();
  pager_.ListPreviousPage();
  EXPECT_EQ(Shown(), Numbers(1, 1000));
  EXPECT_EQ(panel_.recordsLabel, "Page1 - [1000](1-1000) Records");
  EXPECT_FALSE(panel_.previousEnabled);
  pager_.ListNextPage();
  EXPECT_EQ(panel_.recordsLabel, "Page2 - [1000](1001-2000) Records");
  EXPECT_EQ(Shown(), Numbers(1001, 2000));
}

TEST_F(RecordsPagerTest, PageBoundaries) {
  Load(Numbers(1, 1000));
  ListFirstPage();
  EXPECT_EQ(Shown().size(), 1000u);
  EXPECT_FALSE(state_.paging.HasNextPage());

  Load(Numbers(1, 1001));
  ListFirstPage();
  ASSERT_EQ(state_.paging.pageStarts.size(), 2u);
  // Row 1001 is the first row of the third data page.
  EXPECT_EQ(state_.paging.pageStarts[1], (PageStart{2, 0}));
  pager_.ListNextPage();
  EXPECT_EQ(Shown(), Numbers(1001, 1001));
  EXPECT_EQ(panel_.recordsLabel, "Page2 - [1](1001-1001) Records");
  EXPECT_FALSE(panel_.nextEnabled);
  pager_.ListPreviousPage();
  EXPECT_EQ(panel_.recordsLabel, "Page1 - [1000](1-1000) Records");
  EXPECT_FALSE(panel_.previousEnabled);
}

TEST_F(RecordsPagerTest, BlankRowGoesAloneAndStillCounts) {
  std::vector<std::string> values = Numbers(1, 1001);
  values[2] = "";  // a row whose only column reads NULL
  Load(values);
  ListFirstPage();
  std::vector<std::string> expected = Numbers(1, 1000);
  expected.erase(expected.begin() + 2);
  EXPECT_EQ(Shown(), expected);
  // The row the user selected stays.
  EXPECT_EQ(panel_.selectedRows, (std::set<int>{0}));
  EXPECT_EQ(state_.paging.insertedCount, 1000);
  pager_.ListNextPage();
  EXPECT_EQ(Shown(), Numbers(1001, 1001));
}

TEST_F(RecordsPagerTest, StopEndsTheFirstPageAndIsCleared) {
  Load(Numbers(1, 1500));
  sink_.onPosition = [this](int64_t position) {
    if (position == 1) settings_.stopRequested = true;
  };
  ListFirstPage();
  EXPECT_EQ(Shown(), Numbers(1, 500));
  EXPECT_FALSE(state_.paging.HasNextPage());
  EXPECT_FALSE(settings_.stopRequested.load());
}

}  // namespace
}  // namespace ravelin
