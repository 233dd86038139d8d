// Splitting the fixed part of records whose column rows are lost into
// typed columns, by what the bytes of many records look like: dates that
// fall in a plausible range, text, small integers, amounts with few
// decimals. Used for tables whose catalog is gone, where nothing else
// tells where one column ends and the next begins.

#ifndef RAVELIN_CATALOG_FIXED_PART_SPLIT_H_
#define RAVELIN_CATALOG_FIXED_PART_SPLIT_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "storage/bytes.h"

namespace ravelin {

struct FixedSlice {
  uint8_t systemTypeId = 0;
  int16_t offset = 0;  // from the first byte of the fixed part's data
  int16_t width = 0;   // bytes
};

// One sampled record: its fixed data bytes and its null bitmap.
struct FixedSample {
  ByteSpan fixed;
  ByteSpan nullBitmap;
};

// Splits `length` bytes into exactly `count` slices, the k-th at null
// bitmap position k (0-based), so that every sampled value fits its type
// and the types explain the bytes better than any other split. nullopt
// when no split is clearly best (too few records, bytes that fit no type,
// or a part too long to search).
std::optional<std::vector<FixedSlice>> SplitFixedPart(const std::vector<FixedSample>& records, int length, int count);

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_FIXED_PART_SPLIT_H_
