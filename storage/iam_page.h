// Allocation maps: which extents and single pages of one file interval
// belong to one allocation unit (a heap, an index or large-value storage).
//
// An IAM page holds two records: slot 0 is the IAM header with up to eight
// single-page slots, slot 1 the extent bitmap of the interval.

#ifndef RAVELIN_STORAGE_IAM_PAGE_H_
#define RAVELIN_STORAGE_IAM_PAGE_H_

#include <array>
#include <cstdint>
#include <vector>

#include "storage/bytes.h"
#include "storage/page.h"
#include "storage/page_types.h"

namespace ravelin {

// One bitmap covers this many extents of a file, i.e. 511232 pages.
constexpr int32_t kExtentsPerInterval = 63904;
constexpr int32_t kPagesPerInterval = kExtentsPerInterval * kPagesPerExtent;

// One allocated extent: its first and last page; pageCount is filled by
// ExpandExtent.
struct ExtentEntry {
  int32_t pageCount = 0;
  PageRef firstPage;
  PageRef lastPage;
};

class ExtentAllocationMap : public PrimaryRecordPage {
 public:
  // Builds the page's records and expands the bitmap of slot 1 into flags.
  ExtentAllocationMap(Bytes buffer, const CDatabaseFile* databaseFile);

  // One flag (0 or 1) per extent of the interval.
  std::vector<uint8_t> extentBits;
  // Flags filled from the bitmap: 8 per bitmap byte, at most 63904.
  int32_t bitCount = 0;
  // Extents in the last list produced by ListAllocatedExtents.
  int32_t allocatedExtentCount = 0;

  // The allocated extents in bitmap order; empty when there are none.
  // Flags at or beyond the extent count of the mapped file are not listed.
  std::vector<ExtentEntry> ListAllocatedExtents();

  // Every page of `entry`, first to last; sets entry.pageCount.
  static std::vector<PageRef> ExpandExtent(ExtentEntry& entry);

 protected:
  PageRef intervalStart_{1, 0};

 private:
  int64_t MappedFileExtentCount() const;
};

class IamPage : public ExtentAllocationMap {
 public:
  // The above, then the IAM header of slot 0.
  IamPage(Bytes buffer, const CDatabaseFile* databaseFile);

  // First page of the mapped interval as the header records it.
  PageRef startPage{1, 0};
  // Single-page allocations; {1, 0} where a slot is empty or unreadable.
  std::array<PageRef, 8> singlePages;

 private:
  void ReadIamHeader();
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_IAM_PAGE_H_
