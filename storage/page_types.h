// Small value types shared by the whole storage layer: page geometry, page
// references, page map entries and the description of one data file.

#ifndef RAVELIN_STORAGE_PAGE_TYPES_H_
#define RAVELIN_STORAGE_PAGE_TYPES_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ravelin {

constexpr int kPageSize = 8192;
constexpr int kPageHeaderSize = 96;
constexpr int kPagesPerExtent = 8;

// A page reference in memory: file id, then page number. On disk SQL Server
// writes page pointers the other way round (page number, then file id).
struct PageRef {
  int16_t fileId = 1;
  int32_t pageNo = 0;

  friend bool operator==(const PageRef&, const PageRef&) = default;
  friend auto operator<=>(const PageRef&, const PageRef&) = default;
};

// One mapped page: the file id its header claims, where it was found (in
// pages from the file's start offset) and its page type byte.
struct PageMapEntry {
  uint16_t fileId = 0;
  uint32_t pageIndex = 0;
  uint32_t pageType = 0;

  friend bool operator==(const PageMapEntry&, const PageMapEntry&) = default;
  PageRef ToPageRef() const { return PageRef{static_cast<int16_t>(fileId), static_cast<int32_t>(pageIndex)}; }
};

// Object id (from the page header) -> pages in the order they were met.
using PageMap = std::map<uint32_t, std::vector<PageMapEntry>>;

// One data file of the database.
struct DataFileInfo {
  int32_t status = 0;
  int32_t fileId = 0;
  std::string logicalName;
  std::string physicalName;  // the path
  uint64_t fileSize = 0;
  uint64_t pageCount = 0;
  int32_t startOffset = 0;
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_PAGE_TYPES_H_
