#include "storage/record.h"

#include <gtest/gtest.h>

#include "storage/page.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::Concat;
using testing::DatabaseImage;
using testing::LE16;
using testing::LE32;
using testing::PageBuilder;
using testing::RecordBuilder;
using testing::TestDatabase;

// The first record of a page built from `record` (slot 0 at offset 96).
struct OnePage {
  std::unique_ptr<PrimaryRecordPage> page;
  const CRecord* record = nullptr;
};
OnePage Parse(const Bytes& record, CDatabaseFile* file = nullptr) {
  PageBuilder builder(3);
  builder.AddRecord(record);
  OnePage out;
  out.page = std::make_unique<PrimaryRecordPage>(builder.Build(), file);
  if (!out.page->records.empty()) out.record = out.page->records[0].get();
  return out;
}

TEST(Record, SplitsEveryPart) {
  // 0x30: primary record with null bitmap and variable columns; fixed part
  // of 4 bytes, 3 columns, one variable column ending at offset 20.
  Bytes record =
      RecordBuilder().Fixed(LE32(0xDEADBEEF)).ColumnCount(3).NullColumn(1).Var(testing::Ascii("hello")).Build();
  ASSERT_EQ(record.size(), 20u);
  ASSERT_EQ(record[0], 0x30);
  OnePage p = Parse(record);
  ASSERT_TRUE(p.record);
  const CRecord& r = *p.record;
  EXPECT_FALSE(r.hasError);
  EXPECT_EQ(r.recordType, kRecordPrimary);
  EXPECT_EQ(r.fixedLength, 4);
  EXPECT_EQ(*r.fixedData, LE32(0xDEADBEEF));
  EXPECT_EQ(r.columnCount, 3);
  ASSERT_TRUE(r.nullBitmap);
  EXPECT_EQ(r.nullBitmap->size(), 1u);
  EXPECT_TRUE(r.IsNullBitSet(1));
  EXPECT_FALSE(r.IsNullBitSet(0));
  EXPECT_EQ(r.varColumnCount, 1);
  ASSERT_EQ(r.varValues.size(), 1u);
  EXPECT_EQ(*r.varValues[0].data, testing::Ascii("hello"));
  EXPECT_EQ(r.varColumnEnds, std::vector<uint16_t>{20});
  EXPECT_EQ(r.recordLength, 20);
  EXPECT_EQ(*r.recordBytes, record);
  EXPECT_EQ(r.maxLength, 8192 - 96);
  EXPECT_TRUE(r.IsListed());
}

TEST(Record, GhostsAndRejectedTypes) {
  Bytes ghost = RecordBuilder().Type(kRecordGhostData).Fixed(LE32(1)).ColumnCount(1).Build();
  ASSERT_EQ(ghost[0], 0x1C);
  DatabaseImage image(4);
  image.Page(1).ObjectId(34);
  TestDatabase t(image);
  ASSERT_TRUE(t.Open());

  OnePage hidden = Parse(ghost, &t.db());
  EXPECT_TRUE(hidden.record->hasError);
  EXPECT_TRUE(hidden.record->isHiddenGhost);
  EXPECT_FALSE(hidden.record->IsListed());

  t.options().showDeleted = true;
  ASSERT_TRUE(t.Open());
  OnePage shown = Parse(ghost, &t.db());
  EXPECT_FALSE(shown.record->hasError);
  EXPECT_FALSE(shown.record->isHiddenGhost);
  EXPECT_EQ(*shown.record->fixedData, LE32(1));

  for (int type : {kRecordTextFragment, kRecordGhostIndex, kRecordGhostVersion}) {
    OnePage p = Parse(RecordBuilder().Type(type).Fixed(LE32(1)).Build(), &t.db());
    EXPECT_TRUE(p.record->hasError) << type;
  }
  OnePage index = Parse(RecordBuilder().Type(kRecordIndex).Fixed(LE32(1)).Build(), &t.db());
  EXPECT_TRUE(index.record->hasError) << "index records are not accepted";
}

TEST(Record, VariableColumnEdgeCases) {
  // An end offset equal to the previous one: an empty column.
  Bytes twoVars = RecordBuilder().Fixed(LE32(7)).ColumnCount(3).Var(testing::Ascii("ab")).Var({}).Build();
  OnePage p = Parse(twoVars);
  ASSERT_EQ(p.record->varValues.size(), 2u);
  EXPECT_TRUE(p.record->varValues[0].data);
  EXPECT_FALSE(p.record->varValues[1].data);

  // More variable columns than columns: nothing is kept.
  Bytes tooMany =
      RecordBuilder().Fixed(LE32(7)).ColumnCount(1).Var(testing::Ascii("ab")).Var(testing::Ascii("c")).Build();
  OnePage q = Parse(tooMany);
  EXPECT_TRUE(q.record->varValues.empty());
  EXPECT_EQ(q.record->varColumnCount, 0);
  EXPECT_FALSE(q.record->recordBytes);

  // An end offset beyond the record's room: the column has no data, and
  // the next column still starts where it would have.
  Bytes damaged =
      RecordBuilder().Fixed(LE32(7)).ColumnCount(3).Var(testing::Ascii("ab")).Var(testing::Ascii("cd")).Build();
  const size_t firstEnd = 4 + 4 + 2 + 1 + 2;  // header, fixed, count, bitmap, var count
  damaged[firstEnd] = 0xFF;
  damaged[firstEnd + 1] = 0x7F;
  OnePage d = Parse(damaged);
  ASSERT_EQ(d.record->varValues.size(), 2u);
  EXPECT_FALSE(d.record->varValues[0].data);
  ASSERT_TRUE(d.record->varValues[1].data);
  EXPECT_EQ(*d.record->varValues[1].data, testing::Ascii("abcd"));
}

TEST(Record, SparseVectorAndSixteenByteComplexColumns) {
  // kind 5, two sparse columns (ids 7 and 9) holding "xy" and "z".
  Bytes sparse = Concat({LE16(5), LE16(2), LE16(7), LE16(9), LE16(14), LE16(15), testing::Ascii("xyz")});
  OnePage p = Parse(RecordBuilder().Fixed(LE32(1)).ColumnCount(2).Var(sparse, true).Build());
  ASSERT_TRUE(p.record->sparseValues);
  ASSERT_EQ(p.record->sparseValues->size(), 2u);
  EXPECT_EQ((*p.record->sparseValues)[0].columnId, 7);
  EXPECT_EQ(*(*p.record->sparseValues)[0].data, testing::Ascii("xy"));
  EXPECT_EQ((*p.record->sparseValues)[1].columnId, 9);
  EXPECT_EQ(*(*p.record->sparseValues)[1].data, testing::Ascii("z"));
  EXPECT_TRUE(p.record->varValues[0].complex);

  Bytes pointer = Concat({LE16(5), Bytes(14, 1)});  // 16 bytes: a text pointer, never a vector
  OnePage q = Parse(RecordBuilder().Fixed(LE32(1)).ColumnCount(2).Var(pointer, true).Build());
  EXPECT_FALSE(q.record->sparseValues);
  EXPECT_EQ(q.record->varValues[0].length, 16);

  // Counts that do not fit the column are refused.
  EXPECT_FALSE(ParseSparseVector(Concat({LE16(5), LE16(40), LE16(1)})));
  EXPECT_FALSE(ParseSparseVector(Concat({LE16(5), LE16(0xFFFF), Bytes(10, 0)})));
}

TEST(Record, ForwardingStubsAreFollowedOnce) {
  DatabaseImage image(12);
  image.Page(1).ObjectId(34);
  Bytes target =
      RecordBuilder().Type(kRecordForwarded).Fixed(LE32(42)).ColumnCount(2).Var(testing::Ascii("far")).Build();
  image.Page(8).AddRecord(RecordBuilder().Fixed(LE32(1)).Build());
  image.Page(8).AddRecord(target);
  // Two stubs pointing at each other.
  image.Page(9).AddRecord(RecordBuilder::ForwardingStub({1, 10}, 0));
  image.Page(10).AddRecord(RecordBuilder::ForwardingStub({1, 9}, 0));
  TestDatabase t(image);
  ASSERT_TRUE(t.Open());

  OnePage ok = Parse(RecordBuilder::ForwardingStub({1, 8}, 1), &t.db());
  EXPECT_EQ(ok.record->recordType, kRecordForwardingStub);
  EXPECT_FALSE(ok.record->hasError);
  EXPECT_EQ(*ok.record->fixedData, LE32(42));
  ASSERT_EQ(ok.record->varValues.size(), 1u);
  EXPECT_EQ(*ok.record->varValues[0].data, testing::Ascii("far"));

  // Addresses of no page of the file mark the bytes as no stub at all.
  for (PageRef nowhere : {PageRef{1, 0}, PageRef{1, 500}, PageRef{3, 8}})
    EXPECT_EQ(Parse(RecordBuilder::ForwardingStub(nowhere, 0), &t.db()).record->fixedLength, kImpossibleForward);
  for (Bytes stub : {RecordBuilder::ForwardingStub({1, 0}, 0), RecordBuilder::ForwardingStub({1, 500}, 0),
                     RecordBuilder::ForwardingStub({1, 8}, 7), RecordBuilder::ForwardingStub({1, 8}, -1),
                     RecordBuilder::ForwardingStub({1, 9}, 0)}) {
    OnePage bad = Parse(stub, &t.db());
    EXPECT_LT(bad.record->fixedLength, 0);
    EXPECT_FALSE(bad.record->fixedData);
    EXPECT_FALSE(bad.record->hasError);
    EXPECT_TRUE(bad.record->IsListed());
  }
}

TEST(Record, MeasureFindsTheEndOrRefuses) {
  Bytes record = RecordBuilder().Fixed(LE32(1)).ColumnCount(3).Var(testing::Ascii("abc")).Build();
  EXPECT_EQ(MeasureRecordLength(record, false), static_cast<int>(record.size()));
  Bytes ghost = RecordBuilder().Type(kRecordGhostData).Fixed(LE32(1)).ColumnCount(1).Build();
  EXPECT_EQ(MeasureRecordLength(ghost, false), -1);
  EXPECT_EQ(MeasureRecordLength(ghost, true), static_cast<int>(ghost.size()));
  EXPECT_EQ(MeasureRecordLength(RecordBuilder::ForwardingStub({1, 3}, 0), false), -1);
  EXPECT_EQ(MeasureRecordLength(RecordBuilder().Fixed(LE32(1)).ColumnCount(0).Build(), false), -1);
  EXPECT_EQ(MeasureRecordLength(ByteSpan(), false), -1);
}

}  // namespace
}  // namespace ravelin
