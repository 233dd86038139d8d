#include "storage/iam_page.h"

#include <algorithm>
#include <cstdint>

#include "storage/database_file.h"
#include "storage/page_header.h"

namespace ravelin {
namespace {

// Offsets within the fixed-length data of the IAM header record.
constexpr size_t kStartPageOffset = 36;
constexpr size_t kSinglePagesOffset = 42;
constexpr size_t kDiskPageRefSize = 6;

}  // namespace

ExtentAllocationMap::ExtentAllocationMap(Bytes buffer, const CDatabaseFile* databaseFile)
    : PrimaryRecordPage(std::move(buffer), databaseFile), extentBits(kExtentsPerInterval, 0) {
  // Without a start page in the header, the interval is the one that holds
  // this page itself.
  if (header && header->thisPage.pageNo >= 0) {
    intervalStart_.fileId = header->thisPage.fileId;
    intervalStart_.pageNo = header->thisPage.pageNo / kPagesPerInterval * kPagesPerInterval;
  }
  if (records.size() < 2 || !records[1] || !records[1]->fixedData) return;
  const Bytes& bitmap = *records[1]->fixedData;
  for (uint8_t byte : bitmap) {
    for (int bit = 0; bit < 8 && bitCount < kExtentsPerInterval; ++bit)
      extentBits[static_cast<size_t>(bitCount++)] = (byte >> bit) & 1;
    if (bitCount >= kExtentsPerInterval) break;
  }
}

int64_t ExtentAllocationMap::MappedFileExtentCount() const {
  if (!file) return kExtentsPerInterval;
  if (intervalStart_.fileId == 1) return static_cast<int64_t>(file->extentCount);
  // A secondary file has an extent count of its own; a file the database
  // does not know has no pages that could be read.
  auto it = file->secondaryFiles.find(intervalStart_.fileId);
  if (it == file->secondaryFiles.end()) return 0;
  return static_cast<int64_t>(it->second.pageCount / kPagesPerExtent);
}

std::vector<ExtentEntry> ExtentAllocationMap::ListAllocatedExtents() {
  const int64_t limit = std::min<int64_t>(bitCount, MappedFileExtentCount());
  std::vector<ExtentEntry> extents;
  for (int64_t i = 0; i < limit; ++i) {
    if (!extentBits[static_cast<size_t>(i)]) continue;
    const int64_t first = int64_t{intervalStart_.pageNo} + kPagesPerExtent * i;
    // A damaged header can name an interval that page numbers cannot reach.
    if (first + kPagesPerExtent - 1 > INT32_MAX) break;
    ExtentEntry entry;
    entry.firstPage = {intervalStart_.fileId, static_cast<int32_t>(first)};
    entry.lastPage = {intervalStart_.fileId, static_cast<int32_t>(first + kPagesPerExtent - 1)};
    extents.push_back(entry);
  }
  allocatedExtentCount = static_cast<int32_t>(extents.size());
  return extents;
}

std::vector<PageRef> ExtentAllocationMap::ExpandExtent(ExtentEntry& entry) {
  std::vector<PageRef> pages;
  entry.pageCount = 0;
  if (entry.firstPage.fileId != entry.lastPage.fileId || entry.lastPage.pageNo < entry.firstPage.pageNo) return pages;
  // Entries come from one bitmap: an extent never spans more than an interval.
  const int64_t count = int64_t{entry.lastPage.pageNo} - entry.firstPage.pageNo + 1;
  if (count > kPagesPerInterval) return pages;
  entry.pageCount = static_cast<int32_t>(count);
  pages.reserve(static_cast<size_t>(count));
  for (int64_t k = 0; k < count; ++k)
    pages.push_back({entry.firstPage.fileId, static_cast<int32_t>(entry.firstPage.pageNo + k)});
  return pages;
}

IamPage::IamPage(Bytes buffer, const CDatabaseFile* databaseFile)
    : ExtentAllocationMap(std::move(buffer), databaseFile) {
  singlePages.fill(PageRef{1, 0});
  ReadIamHeader();
}

void IamPage::ReadIamHeader() {
  if (records.empty() || !records[0] || !records[0]->fixedData) return;
  const ByteSpan fixed(*records[0]->fixedData);
  if (fixed.size() >= kStartPageOffset + kDiskPageRefSize) startPage = ReadDiskPageRef(fixed, kStartPageOffset);
  for (size_t k = 0; k < singlePages.size(); ++k) {
    const size_t at = kSinglePagesOffset + kDiskPageRefSize * k;
    if (fixed.size() >= at + kDiskPageRefSize) singlePages[k] = ReadDiskPageRef(fixed, at);
  }
  // The header names the interval the bitmap maps, which need not be in the
  // file that holds the IAM page; a start page that cannot begin an
  // interval is damage, and the page's own position is kept.
  if (startPage.fileId > 0 && startPage.pageNo >= 0 && startPage.pageNo % kPagesPerInterval == 0)
    intervalStart_ = startPage;
}

}  // namespace ravelin
