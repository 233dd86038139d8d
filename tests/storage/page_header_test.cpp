#include "storage/page_header.h"

#include <gtest/gtest.h>

#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::PageBuilder;

TEST(PageHeader, DecodesEveryField) {
  Bytes page = PageBuilder(77, 1)
                   .PageType(10)
                   .ObjectId(0x12345678)
                   .IndexId(256)
                   .Level(2)
                   .TypeFlagBits(0x80)
                   .Next({1, 78})
                   .Prev({3, 76})
                   .GhostCount(2)
                   .SlotCount(5)
                   .Build();
  CPage_Header h(page);
  EXPECT_EQ(h.pageType, 10u);
  EXPECT_EQ(h.objectId, 0x12345678u);
  EXPECT_EQ(h.indexId, 256);
  EXPECT_EQ(h.level, 2);
  EXPECT_EQ(h.typeFlagBits, 0x80);
  EXPECT_EQ(h.slotCount, 5);
  EXPECT_EQ(h.ghostRecordCount, 2);
  EXPECT_EQ(h.nextPage, (PageRef{1, 78}));
  EXPECT_EQ(h.prevPage, (PageRef{3, 76}));
  EXPECT_EQ(h.thisPage, (PageRef{1, 77}));
  EXPECT_FALSE(h.tornBitsRestored);
}

TEST(PageHeader, ShortBufferLeavesDefaults) {
  Bytes tiny = {1, 1, 0, 0};
  CPage_Header h(tiny);
  EXPECT_EQ(h.pageType, 1u);
  EXPECT_EQ(h.thisPage, (PageRef{1, 0}));
  EXPECT_EQ(h.slotCount, 0);
}

TEST(PageHeader, RestoresTornBitsOfEverySectorButTheFirst) {
  Bytes page(kPageSize, 0xFF);
  for (size_t i = 0; i < 96; ++i) page[i] = 0;
  page[0] = 1;  // header version
  page[4] = 0x00;
  page[5] = 0x01;  // flagBits 0x100
  page[60] = 15;   // tornBits 15: the stamp 3, which every sector ends with; sector 1 gets 3, the others 0
  CPage_Header h(page);
  EXPECT_TRUE(h.tornBitsRestored);
  EXPECT_EQ(page[511], 0xFF);
  EXPECT_EQ(page[1023] & 3, 3);
  for (int k = 2; k <= 15; ++k) EXPECT_EQ(page[k * 512 + 511] & 3, 0) << "sector " << k;
  EXPECT_EQ(page[1023] & ~3, 0xFC);

  // A saved word whose stamp the sectors do not carry is not of this page's
  // write (a damaged header): the bytes stay as read.
  Bytes other(kPageSize, 0xFF);
  for (size_t i = 0; i < 96; ++i) other[i] = 0;
  other[0] = 1;  // header version
  other[5] = 0x01;
  other[60] = 0x5C;  // stamp 0
  const Bytes before = other;
  CPage_Header damaged(other);
  EXPECT_FALSE(damaged.tornBitsRestored);
  EXPECT_EQ(other, before);

  // A sector whose end took damage gets the saved bits like the others.
  Bytes torn(kPageSize, 0xFF);
  for (size_t i = 0; i < 96; ++i) torn[i] = 0;
  torn[0] = 1;  // header version
  torn[5] = 0x01;
  torn[60] = 15;
  torn[4 * 512 + 511] = 0x10;  // stamp 0
  CPage_Header partly(torn);
  EXPECT_TRUE(partly.tornBitsRestored);
  EXPECT_EQ(torn[4 * 512 + 511], 0x10);
  EXPECT_EQ(torn[1023] & 3, 3);
  EXPECT_EQ(torn[5 * 512 + 511] & 3, 0);

  // A damaged byte elsewhere in the header leaves the saved word good.
  Bytes flipped(kPageSize, 0xFF);
  for (size_t i = 0; i < 96; ++i) flipped[i] = 0;
  flipped[0] = 0x05;  // version 1 with a bit flipped
  flipped[5] = 0x01;
  flipped[60] = 15;
  CPage_Header damagedVersion(flipped);
  EXPECT_TRUE(damagedVersion.tornBitsRestored);
  EXPECT_EQ(flipped[1023] & 3, 3);
  EXPECT_EQ(flipped[2047] & 3, 0);
}

TEST(PageHeader, StampedSectorEndsTellATornProtectedPage) {
  PageBuilder builder(5, 1);
  builder.AddRecord(Bytes(3000, 0x61));
  const Bytes torn = builder.TornProtect(2).Build();
  EXPECT_TRUE(SectorEndsStamped(torn));
  Bytes other = torn;
  other[3 * 512 + 511] ^= 1;
  EXPECT_FALSE(SectorEndsStamped(other));
  EXPECT_FALSE(SectorEndsStamped(Bytes(100, 0)));
}

TEST(PageHeader, TornRoundTripRecoversTheWrittenBytes) {
  PageBuilder builder(5, 1);
  builder.AddRecord(Bytes(3000, 0x61));  // spans sectors 0..6 with 'a' bytes
  Bytes clean = builder.Build();
  Bytes torn = builder.TornProtect(2).Build();
  ASSERT_NE(clean[1023], torn[1023]);
  CPage_Header h(torn);
  for (size_t i = 96; i < kPageSize; ++i) ASSERT_EQ(torn[i], clean[i]) << "offset " << i;
}

}  // namespace
}  // namespace ravelin
