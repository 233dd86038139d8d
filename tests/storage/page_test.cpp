#include "storage/page.h"

#include <gtest/gtest.h>

#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::DatabaseImage;
using testing::LE32;
using testing::PageBuilder;
using testing::RecordBuilder;
using testing::TestDatabase;

Bytes Row(uint32_t value) { return RecordBuilder().Fixed(LE32(value)).ColumnCount(1).Build(); }

int NonNull(const RecordPage& page) {
  int n = 0;
  for (const auto& r : page.records) n += r != nullptr;
  return n;
}

TEST(PrimaryRecordPage, SlotCountsOutOfRangeYieldNothing) {
  for (int16_t count : {int16_t{0}, int16_t{4000}, int16_t{-3}}) {
    PageBuilder b;
    b.AddRecord(Row(1));
    b.SlotCount(count);
    PrimaryRecordPage page(b.Build(), nullptr);
    EXPECT_TRUE(page.records.empty()) << count;
  }
}

TEST(PrimaryRecordPage, ABadSlotCostsItsRecordAndABadSlotArrayIsWalked) {
  // Three good slots and one that points before the records: that slot
  // alone yields nothing.
  PageBuilder few;
  for (uint32_t v : {1u, 2u, 3u}) few.AddRecord(Row(v));
  few.Slot(3, 95);
  PrimaryRecordPage page(few.Build(), nullptr);
  ASSERT_EQ(page.records.size(), 4u);
  EXPECT_FALSE(page.slotArrayRepaired);
  EXPECT_TRUE(page.records[0] && page.records[1] && page.records[2]);
  EXPECT_FALSE(page.records[3]);

  // A slot array that mostly points where no record stands (before the
  // records, beyond the page, twice at one record) was overwritten: the
  // records are found by walking the page.
  PageBuilder many;
  many.MinLen(8);
  for (uint32_t v : {1u, 2u, 3u}) many.AddRecord(Row(v));
  many.Slot(0, 95).Slot(1, 8193).Slot(2, 0).Slot(3, 96).Slot(4, 96).Slot(5, 7000);
  PrimaryRecordPage walked(many.Build(), nullptr);
  EXPECT_TRUE(walked.slotArrayRepaired);
  ASSERT_EQ(walked.records.size(), 3u);
  for (uint32_t v = 0; v < 3; ++v) EXPECT_EQ(*walked.records[v]->fixedData, LE32(v + 1));
}

// A slot entry whose high byte took damage, where the low byte it kept
// fits both its record and a deleted one further on: the record between
// its neighbours' records is the one.
TEST(PrimaryRecordPage, ADamagedSlotEntryTakesTheRecordBetweenItsNeighbours) {
  PageBuilder b;
  b.MinLen(8);
  std::vector<uint16_t> offsets;
  for (uint32_t v = 1; v <= 8; ++v) offsets.push_back(b.AddRecord(Row(v)));
  b.Put(static_cast<uint16_t>(offsets[3] + 0x100), Row(99));  // deleted, its slot gone
  b.Slot(3, static_cast<uint16_t>(0xF500 | (offsets[3] & 0xFF)));
  PrimaryRecordPage page(b.Build(), nullptr);
  ASSERT_EQ(page.records.size(), 8u);
  for (uint32_t v = 0; v < 8; ++v) {
    ASSERT_TRUE(page.records[v]) << v;
    EXPECT_EQ(*page.records[v]->fixedData, LE32(v + 1));
  }
}

// A slot entry with one byte damaged that points into another record, at
// bytes reading as a forwarding stub: a stub whose address names no page of
// the database is no record, and the entry is mended to the record it
// lost; a stub into the file stays a row whose record is lost.
TEST(PrimaryRecordPage, AStubThatNamesNoPageIsDamage) {
  for (const bool impossible : {true, false}) {
    DatabaseImage image(32);
    image.Page(1).ObjectId(34);  // a catalog page, so that the file opens
    PageBuilder& b = image.Page(20);
    b.MinLen(16);
    std::vector<uint16_t> offsets;
    for (uint32_t v = 1; v <= 8; ++v) {
      // The last record's fixed part holds the bytes of a stub.
      Bytes fixed = LE32(v);
      fixed.push_back(0x04);
      for (uint8_t byte : LE32(impossible ? 0x7FFF0000u : 30u)) fixed.push_back(byte);
      for (uint8_t byte : {static_cast<uint8_t>(impossible ? 0x61 : 1), uint8_t{0}, uint8_t{0}, uint8_t{0}})
        fixed.push_back(byte);
      offsets.push_back(b.AddRecord(RecordBuilder().Fixed(fixed).ColumnCount(1).Build()));
    }
    const uint16_t stub = static_cast<uint16_t>(offsets[7] + 8);
    ASSERT_LT(stub, 0x100);  // one byte away from the entry it replaces
    b.Slot(3, stub);
    TestDatabase db(image);
    ASSERT_TRUE(db.Open());
    auto page = db.db().ReadDataPage({1, 20});
    ASSERT_TRUE(page);
    ASSERT_EQ(page->records.size(), 8u);
    const CRecord& third = *page->records[3];
    if (impossible) {
      EXPECT_EQ(third.recordType, kRecordPrimary);
      EXPECT_EQ(LoadLE<uint32_t>(*third.fixedData, 0), 4u);
    } else {
      EXPECT_EQ(third.recordType, kRecordForwardingStub);
      EXPECT_EQ(third.fixedLength, kUnreadableForward);
    }
  }
}

// A page whose header was lost: the slot array at its end still names the
// live records, emptied slots included, and leaves out a deleted record
// standing in the free space; without a slot array the page is walked.
TEST(PrimaryRecordPage, ARepairedHeaderKeepsTheSlotArray) {
  PageBuilder b(40);
  b.MinLen(8);
  b.AddUnslottedRecord(Row(9));  // deleted, its slot reused
  b.AddRecord(Row(1));
  b.AddRecord(Row(2));
  b.AddRecord(Row(3));
  b.Slot(1, 0);
  Bytes bytes = b.Build();
  std::fill_n(bytes.begin(), kPageHeaderSize, uint8_t{0xA5});
  auto page = PrimaryRecordPage::WithRepairedHeader(bytes, nullptr, PageRef{1, 40}, 8);
  ASSERT_EQ(page->records.size(), 3u);
  EXPECT_EQ(*page->records[0]->fixedData, LE32(1));
  EXPECT_FALSE(page->records[1]);
  EXPECT_EQ(*page->records[2]->fixedData, LE32(3));

  // The slot array overwritten as well: every record the walk finds.
  std::fill_n(bytes.end() - 8, 8, uint8_t{0xFF});
  page = PrimaryRecordPage::WithRepairedHeader(bytes, nullptr, PageRef{1, 40}, 8);
  EXPECT_EQ(NonNull(*page), 4);
}

TEST(PrimaryRecordPage, UpperIndexLevelsAndDamagedHeadersYieldNoRecords) {
  PageBuilder index;
  index.PageType(2).Level(1);
  index.AddRecord(Row(1));
  index.AddRecord(Row(2));
  PrimaryRecordPage upper(index.Build(), nullptr);
  ASSERT_EQ(upper.records.size(), 2u);
  EXPECT_EQ(NonNull(upper), 0);

  PageBuilder damaged;
  damaged.AddRecord(Row(1));
  damaged.Next({1, -5});
  PrimaryRecordPage d(damaged.Build(), nullptr);
  EXPECT_TRUE(d.records.empty());
}

TEST(PrimaryRecordPage, APageOfGhostsShowsOnlyWithDeletedRecords) {
  DatabaseImage image(4);
  image.Page(1).ObjectId(34);
  TestDatabase t(image);
  ASSERT_TRUE(t.Open());
  PageBuilder b;
  for (uint32_t i = 0; i < 3; ++i) b.AddRecord(RecordBuilder().Type(6).Fixed(LE32(i)).ColumnCount(1).Build());
  b.GhostCount(3);
  PrimaryRecordPage hidden(b.Build(), &t.db());
  EXPECT_EQ(hidden.records.size(), 3u);
  EXPECT_EQ(NonNull(hidden), 0);
  t.options().showDeleted = true;
  ASSERT_TRUE(t.Open());
  PrimaryRecordPage shown(b.Build(), &t.db());
  ASSERT_EQ(NonNull(shown), 3);
  for (const auto& r : shown.records) EXPECT_TRUE(r->IsListed());
}

TEST(PrimaryRecordPage, HuntFindsRecordsTheSlotArrayLost) {
  DatabaseImage image(4);
  image.Page(1).ObjectId(34);
  TestDatabase t(image);
  ASSERT_TRUE(t.Open());
  auto record = [](int type, uint8_t fill, const char* text) {
    return RecordBuilder().Type(type).Fixed(Bytes(20, fill)).ColumnCount(2).Var(testing::Ascii(text)).Build();
  };
  // A live record at 96, a deleted one right behind it, a gap of junk, and
  // a second deleted record further on. Records of this table have a fixed
  // part of 24 bytes, which is what marks where a record starts.
  PageBuilder b;
  b.MinLen(24);
  b.AddRecord(record(0, 0x11, "live"));
  b.AddUnslottedRecord(record(6, 0x22, "gone"));
  b.AddUnslottedRecord(Bytes(37, 0xA5));
  b.AddUnslottedRecord(record(6, 0x33, "late"));
  Bytes page = b.Build();

  t.options().showDeleted = true;
  ASSERT_TRUE(t.Open());
  PrimaryRecordPage plain(page, &t.db());
  EXPECT_EQ(NonNull(plain), 1) << "no hunt without the advanced option";

  t.options().huntDeleted = true;
  ASSERT_TRUE(t.Open());
  PrimaryRecordPage hunted(page, &t.db());
  ASSERT_EQ(NonNull(hunted), 3);
  // The header keeps the page's own slot count; the records found follow.
  EXPECT_EQ(hunted.header->slotCount, 1);
  EXPECT_EQ(hunted.huntedFrom, 1u);
  EXPECT_EQ((*hunted.records[0]->fixedData)[0], 0x11);
  EXPECT_EQ((*hunted.records[1]->fixedData)[0], 0x22);
  EXPECT_EQ((*hunted.records[2]->fixedData)[0], 0x33);
  EXPECT_EQ(hunted.records[2]->recordType, 6);
}

TEST(PrimaryRecordPage, HuntKnowsTheClassicRecordSignature) {
  // Records with a 128-byte fixed part start with 30 00 84 00 (3C 00 84 00
  // when deleted); the hunt recognises them even without the page's minLen.
  DatabaseImage image(4);
  image.Page(1).ObjectId(34);
  TestDatabase t(image);
  t.options().showDeleted = true;
  t.options().huntDeleted = true;
  ASSERT_TRUE(t.Open());
  Bytes gone = RecordBuilder().Type(6).Fixed(Bytes(128, 0x22)).ColumnCount(1).Build();
  ASSERT_EQ(gone[0], 0x1C);
  Bytes goneVar = RecordBuilder().Type(6).Fixed(Bytes(128, 0x44)).ColumnCount(2).Var(testing::Ascii("v")).Build();
  ASSERT_EQ(goneVar[0], 0x3C);
  ASSERT_EQ(goneVar[2], 0x84);
  PageBuilder b;
  b.AddRecord(Row(1));
  b.AddUnslottedRecord(Bytes(11, 0xA5));
  b.AddUnslottedRecord(goneVar);
  PrimaryRecordPage hunted(b.Build(), &t.db());
  ASSERT_EQ(NonNull(hunted), 2);
  EXPECT_EQ((*hunted.records[1]->fixedData)[0], 0x44);
}

TEST(PrimaryRecordPage, HuntStopsWhenAsked) {
  DatabaseImage image(4);
  image.Page(1).ObjectId(34);
  TestDatabase t(image);
  t.options().showDeleted = true;
  t.options().huntDeleted = true;
  ASSERT_TRUE(t.Open());
  t.stopFlag() = true;
  PageBuilder b;
  b.AddRecord(Row(5));
  PrimaryRecordPage page(b.Build(), &t.db());
  EXPECT_EQ(NonNull(page), 1);
}

TEST(PrimaryRecordPage, OneSlotConstruction) {
  PageBuilder b;
  b.AddRecord(Row(1));
  b.AddRecord(Row(2));
  PrimaryRecordPage second(b.Build(), nullptr, 1);
  ASSERT_EQ(second.records.size(), 1u);
  ASSERT_TRUE(second.records[0]);
  EXPECT_EQ(*second.records[0]->fixedData, LE32(2));
  PrimaryRecordPage beyond(b.Build(), nullptr, 2);
  ASSERT_EQ(beyond.records.size(), 1u);
  EXPECT_FALSE(beyond.records[0]);
}

TEST(PrimaryRecordPage, TornPagesAreRestoredBeforeRecordsAreRead) {
  PageBuilder b;
  Bytes name = testing::Utf16(std::string(600, 's'));  // crosses the end of sector 1
  b.AddRecord(RecordBuilder().Fixed(LE32(9)).ColumnCount(2).Var(name).Build());
  PrimaryRecordPage page(b.TornProtect(3).Build(), nullptr);
  ASSERT_EQ(NonNull(page), 1);
  EXPECT_EQ(*page.records[0]->varValues[0].data, name);
}

}  // namespace
}  // namespace ravelin
