// Splitting fixed parts of records without column rows into typed columns.

#include "catalog/fixed_part_split.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace ravelin {
namespace {

// Builds fixed parts field by field, little-endian as SQL Server stores
// them.
class Part {
 public:
  Part& Int(int64_t v, int width) {
    for (int i = 0; i < width; ++i) bytes_.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
    return *this;
  }
  Part& Money(double amount) { return Int(static_cast<int64_t>(amount * 10000), 8); }
  Part& DateTime(int days, int ticks) { return Int(ticks, 4).Int(days, 4); }
  Part& NChar(const std::string& ascii, size_t n) {
    for (size_t i = 0; i < n; ++i) Int(i < ascii.size() ? ascii[i] : ' ', 2);
    return *this;
  }
  Part& Real(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return Int(v, 4);
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

std::string Types(const std::vector<FixedSlice>& slices) {
  std::string out;
  for (const FixedSlice& s : slices) out += std::to_string(s.systemTypeId) + "/" + std::to_string(s.width) + " ";
  return out;
}

std::optional<std::vector<FixedSlice>> Split(const std::vector<Part>& parts, int count) {
  std::vector<ByteSpan> samples;
  for (const Part& p : parts) samples.emplace_back(p.bytes());
  return SplitFixedPart(samples, static_cast<int>(parts.front().bytes().size()), count);
}

TEST(FixedPartSplit, TypesTellWhereColumnsBeginAndEnd) {
  // An order line: int, int, money, smallint, real. The money read two
  // bytes early is still a round amount; it must not win.
  std::vector<Part> lines;
  const float discounts[] = {0, 0.15f, 0.05f, 0.25f, 0.1f};
  for (int i = 0; i < 40; ++i)
    lines.push_back(
        Part().Int(10248 + i / 3, 4).Int(1 + (i * 7) % 77, 4).Money(9.8 + i).Int(1 + i % 30, 2).Real(discounts[i % 5]));
  auto split = Split(lines, 5);
  ASSERT_TRUE(split);
  EXPECT_EQ(Types(*split), "56/4 56/4 60/8 52/2 59/4 ");

  // An order: int, nchar(5), int, three datetimes (one NULL: zeros), int,
  // money.
  std::vector<Part> orders;
  const char* customers[] = {"VINET", "TOMSP", "HANAR", "SUPRD", "CHOPS"};
  for (int i = 0; i < 30; ++i)
    orders.push_back(Part()
                         .Int(10248 + i, 4)
                         .NChar(customers[i % 5], 5)
                         .Int(1 + i % 9, 4)
                         .DateTime(35248 + i, 0)
                         .DateTime(35276 + i, 0)
                         .DateTime(i % 4 == 0 ? 0 : 35260 + i, 0)
                         .Int(1 + i % 3, 4)
                         .Money(32.38 + i * 1.5));
  split = Split(orders, 8);
  ASSERT_TRUE(split);
  EXPECT_EQ(Types(*split), "56/4 239/10 56/4 61/8 61/8 61/8 56/4 60/8 ");
  EXPECT_EQ((*split)[3].offset, 18);
}

TEST(FixedPartSplit, NoSplitWithoutEvidence) {
  // Random bytes fit no type better than another; a single record is no
  // sample; a part longer than the search covers is left whole.
  std::mt19937 random(7);
  std::vector<Part> noise(20);
  for (Part& p : noise)
    for (int i = 0; i < 16; ++i) p.Int(random() & 0xFF, 1);
  EXPECT_FALSE(Split(noise, 3));
  EXPECT_FALSE(Split({Part().Int(1, 4).Int(2, 4)}, 2));
  std::vector<Part> longParts(5);
  for (Part& p : longParts)
    for (int i = 0; i < 100; ++i) p.Int(i, 4);
  EXPECT_FALSE(Split(longParts, 100));
  EXPECT_FALSE(Split(noise, 17));  // more columns than bytes
}

}  // namespace
}  // namespace ravelin
