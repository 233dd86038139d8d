// The file header page (page 0 of every data file): the size in pages the
// file had when SQL Server last wrote its header, to tell a cut file.

#ifndef RAVELIN_STORAGE_FILE_HEADER_PAGE_H_
#define RAVELIN_STORAGE_FILE_HEADER_PAGE_H_

#include <cstdint>
#include <optional>

#include "storage/bytes.h"

namespace ravelin {

constexpr uint8_t kPageTypeFileHeader = 15;

// The page count the header records, or nothing when the page is not a
// file header or its record cannot be read. The record keeps its fields as
// variable-length columns; the fifth is the size, four bytes.
std::optional<uint32_t> RecordedPageCount(ByteSpan page);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_FILE_HEADER_PAGE_H_
