// The size a file header records, read from where SQL Server leaves it.

#include "storage/file_header_page.h"

#include <gtest/gtest.h>

#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::FileHeaderRecord;
using testing::PageBuilder;

PageBuilder HeaderPage() {
  PageBuilder page;
  page.PageType(kPageTypeFileHeader);
  return page;
}

TEST(FileHeaderPage, SizeFromTheSlottedRecordOrTheLastOfTheCopies) {
  PageBuilder slotted = HeaderPage();
  slotted.AddRecord(FileHeaderRecord(432));
  EXPECT_EQ(RecordedPageCount(slotted.Build()), 432u);

  // Older headers stay on the page as the file grows; the slot points at
  // none of them. The last one written is the current size.
  PageBuilder appended = HeaderPage();
  appended.AddUnslottedRecord(FileHeaderRecord(80));
  appended.AddUnslottedRecord(FileHeaderRecord(88));
  appended.AddUnslottedRecord(FileHeaderRecord(336));
  appended.SlotCount(1).Slot(0, 8000);
  EXPECT_EQ(RecordedPageCount(appended.Build()), 336u);
}

TEST(FileHeaderPage, NothingFromOtherPagesOrRecordsThatDoNotMatch) {
  PageBuilder dataPage;
  dataPage.PageType(1).AddRecord(FileHeaderRecord(432));
  EXPECT_FALSE(RecordedPageCount(dataPage.Build()));

  // A record whose leading fields have other lengths is not a header.
  PageBuilder other = HeaderPage();
  other.AddRecord(testing::RecordBuilder().Fixed(Bytes(4, 0)).Var(Bytes(16, 1)).Var(Bytes(3, 2)).Build());
  EXPECT_FALSE(RecordedPageCount(other.Build()));

  EXPECT_FALSE(RecordedPageCount(HeaderPage().Build()));
  EXPECT_FALSE(RecordedPageCount(Bytes(100, 0x0F)));
}

}  // namespace
}  // namespace ravelin
