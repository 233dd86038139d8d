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

// Splits the first `length` bytes of the sampled records' fixed data
// (`fixedParts`) into exactly `count` slices, so that every sampled value
// fits its type and the types explain the bytes better than any other
// split. nullopt when no split is clearly best (too few records, bytes
// that fit no type, or a part too long to search).
std::optional<std::vector<FixedSlice>> SplitFixedPart(const std::vector<ByteSpan>& fixedParts, int length, int count);

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_FIXED_PART_SPLIT_H_
