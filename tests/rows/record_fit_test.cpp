// Which records fit a table: what damage to a record's structure is caught
// before its bytes are read as the table's values.

#include "rows/record_fit.h"

#include <gtest/gtest.h>

#include "storage/page.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::LE32;
using testing::RecordBuilder;

// (Id int NOT NULL, Code int NOT NULL, Note varchar NULL): two fixed
// columns ending at 8 and 12, one variable column.
RecordShape Shape() {
  RecordShape shape;
  shape.known = true;
  shape.maxColumns = 3;
  shape.fullFixedEnd = 12;
  shape.variableColumns = 1;
  shape.fixedColumns = {{1, 8}, {2, 12}};
  shape.notNullColumns = {{1, 0}, {2, 1}};
  return shape;
}

RecordFit Fit(const Bytes& bytes) {
  testing::PageBuilder builder(3);
  builder.AddRecord(bytes);
  PrimaryRecordPage page(builder.Build(), nullptr);
  if (page.records.empty() || !page.records[0]) return RecordFit::kColumnCount;
  return CheckRecordFit(*page.records[0], Shape());
}

Bytes Fixed(uint32_t id, uint32_t code) {
  Bytes fixed = LE32(id);
  const Bytes second = LE32(code);
  fixed.insert(fixed.end(), second.begin(), second.end());
  return fixed;
}

TEST(RecordFit, WholeAndOlderRecordsFit) {
  EXPECT_EQ(Fit(RecordBuilder().Fixed(Fixed(1, 2)).ColumnCount(3).Var(testing::Ascii("note")).Build()),
            RecordFit::kFits);
  // Empty and NULL values are values.
  EXPECT_EQ(Fit(RecordBuilder().Fixed(Fixed(0, 0)).ColumnCount(3).NullColumn(2).Build()), RecordFit::kFits);
  // Written before Note and Code were added: a shorter fixed part, fewer
  // columns.
  EXPECT_EQ(Fit(RecordBuilder().Fixed(LE32(7)).ColumnCount(1).Build()), RecordFit::kFits);
}

TEST(RecordFit, DamagedStructureDoesNotFit) {
  // More columns than the table ever had.
  EXPECT_EQ(Fit(RecordBuilder().Fixed(Fixed(1, 2)).ColumnCount(9).Build()), RecordFit::kColumnCount);
  // A column count cut down while the fixed part still holds every column:
  // the count, not the table, changed.
  EXPECT_EQ(Fit(RecordBuilder().Fixed(Fixed(1, 2)).ColumnCount(1).Build()), RecordFit::kColumnCount);
  // A fixed part longer than the table's.
  EXPECT_EQ(Fit(RecordBuilder().Fixed(Bytes(20, 1)).ColumnCount(3).Build()), RecordFit::kFixedPart);
  // A fixed part too short for the columns the record says it holds.
  EXPECT_EQ(Fit(RecordBuilder().Fixed(LE32(1)).ColumnCount(2).Build()), RecordFit::kFixedPart);
  // Two variable columns where the table has one.
  EXPECT_EQ(
      Fit(RecordBuilder().Fixed(Fixed(1, 2)).ColumnCount(3).Var(testing::Ascii("a")).Var(testing::Ascii("b")).Build()),
      RecordFit::kVariableColumns);
  // A NOT NULL column marked NULL.
  EXPECT_EQ(Fit(RecordBuilder().Fixed(Fixed(1, 2)).ColumnCount(3).NullColumn(1).Build()), RecordFit::kNotNull);
}

}  // namespace
}  // namespace ravelin
