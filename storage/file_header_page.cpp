// Reads the size field of the file header record.

#include "storage/file_header_page.h"

#include "storage/page_types.h"

namespace ravelin {
namespace {

constexpr size_t kSizeColumn = 4;  // zero-based among the variable columns

// The lengths of the first five variable columns of a header record: the
// binding id (a GUID), an empty field, the file and filegroup ids (two bytes
// each), then the size.
constexpr uint16_t kLeadingLengths[kSizeColumn + 1] = {16, 0, 2, 2, 4};

// The size field of a header record starting at `at`, when the bytes there
// read as one: a primary record with a null bitmap and variable columns,
// whose first five columns have the lengths above.
std::optional<uint32_t> SizeOfRecordAt(ByteSpan page, size_t at) {
  const ByteSpan record = SubSpan(page, at, page.size());
  const uint8_t status = LoadLE<uint8_t>(record, 0);
  if ((status & 0x0E) != 0 || (status & 0x30) != 0x30) return std::nullopt;
  const uint16_t fixedEnd = LoadLE<uint16_t>(record, 2);
  if (fixedEnd < 4 || fixedEnd > 256) return std::nullopt;
  uint16_t columns = 0;
  if (!ReadLE(record, fixedEnd, columns) || columns <= kSizeColumn || columns > 1024) return std::nullopt;
  const size_t varCountAt = fixedEnd + 2 + (columns + 7u) / 8u;
  uint16_t varColumns = 0;
  if (!ReadLE(record, varCountAt, varColumns) || varColumns <= kSizeColumn || varColumns > columns) return std::nullopt;
  size_t start = varCountAt + 2 + 2u * varColumns;
  for (size_t k = 0; k <= kSizeColumn; ++k) {
    uint16_t end = 0;
    if (!ReadLE(record, varCountAt + 2 + 2 * k, end)) return std::nullopt;
    if (end < start || end > record.size() || end - start != kLeadingLengths[k]) return std::nullopt;
    if (k == kSizeColumn) {
      uint32_t size = 0;
      if (!ReadLE(record, start, size) || size == 0) return std::nullopt;
      return size;
    }
    start = end;
  }
  return std::nullopt;
}

}  // namespace

std::optional<uint32_t> RecordedPageCount(ByteSpan page) {
  constexpr size_t kPage = kPageSize;
  if (page.size() < kPage || page[1] != kPageTypeFileHeader) return std::nullopt;
  // Slot 0 first. Some versions write each new header after the old ones
  // and leave the slot pointing elsewhere: then the last record on the page
  // is the current one.
  const uint16_t slot0 = LoadLE<uint16_t>(page, kPage - 2);
  if (slot0 >= kPageHeaderSize && slot0 < kPage)
    if (std::optional<uint32_t> size = SizeOfRecordAt(page, slot0)) return size;
  std::optional<uint32_t> last;
  for (size_t at = kPageHeaderSize; at + 16 < kPage; ++at)
    if (std::optional<uint32_t> size = SizeOfRecordAt(page, at)) last = size;
  return last;
}

}  // namespace ravelin
