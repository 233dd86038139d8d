#include "storage/allocation_map.h"

#include <memory>
#include <utility>

#include "storage/database_file.h"
#include "storage/iam_page.h"
#include "storage/page_header.h"
#include "storage/page_protection.h"

namespace ravelin {
namespace {

constexpr size_t kRecordHeaderSize = 4;

// The fixed part of the record in `slot`, when the slot points at a primary
// record that lies wholly between the page header and the slot array.
std::optional<ByteSpan> SlotRecordFixedPart(ByteSpan page, int16_t slotCount, int slot) {
  if (page.size() < static_cast<size_t>(kPageSize) || slotCount <= slot ||
      2 * static_cast<int>(slotCount) > kPageSize - kPageHeaderSize)
    return std::nullopt;
  const size_t slotArrayStart = kPageSize - 2 * static_cast<size_t>(slotCount);
  const size_t at = LoadLE<uint16_t>(page, kPageSize - 2 - 2 * static_cast<size_t>(slot));
  if (at < static_cast<size_t>(kPageHeaderSize) || at + kRecordHeaderSize > slotArrayStart) return std::nullopt;
  if (((page[at] >> 1) & 7) != 0) return std::nullopt;  // not a primary record
  const size_t fixedEnd = LoadLE<uint16_t>(page, at + 2);
  if (fixedEnd < kRecordHeaderSize || at + fixedEnd > slotArrayStart) return std::nullopt;
  return page.subspan(at + kRecordHeaderSize, fixedEnd - kRecordHeaderSize);
}

// The header of a map page of `pageType` read at `where`, with its torn bits
// restored; nothing when the page's protection shows damage or the header
// does not name that kind of page at that place.
std::optional<CPage_Header> MapPageHeader(Bytes& page, PageRef where, uint32_t pageType, int16_t slotCount) {
  if (page.size() < static_cast<size_t>(kPageSize)) return std::nullopt;
  if (CheckPageProtection(page) == PageProtection::kDamaged) return std::nullopt;
  CPage_Header header(std::span<uint8_t>(page.data(), kPageSize));
  if (header.pageType != pageType || header.thisPage != where || header.objectId != kAllocationPagesObjectId ||
      header.slotCount != slotCount)
    return std::nullopt;
  return header;
}

bool PlausiblePfsByte(uint8_t b) { return (b & kPfsUnused) == 0 && (b & kPfsFullnessMask) <= 4; }

int32_t PfsIntervalStart(int32_t pageNo) { return pageNo / kPagesPerPfsInterval * kPagesPerPfsInterval; }

// Whether bit `index` of a bitmap is set; false beyond its end.
bool BitmapBit(const Bytes& bitmap, size_t index) {
  return index / 8 < bitmap.size() && ((bitmap[index / 8] >> (index % 8)) & 1) != 0;
}

size_t ExtentInInterval(int32_t pageNo) { return static_cast<size_t>(pageNo % kPagesPerInterval) / kPagesPerExtent; }

}  // namespace

int32_t PfsPageOf(int32_t pageNo) { return pageNo < kPagesPerPfsInterval ? 1 : PfsIntervalStart(pageNo); }

int32_t GamPageOf(int32_t pageNo) {
  return pageNo < kPagesPerInterval ? 2 : pageNo / kPagesPerInterval * kPagesPerInterval;
}

int32_t SgamPageOf(int32_t pageNo) { return GamPageOf(pageNo) + 1; }

std::optional<Bytes> DecodePfsPage(Bytes page, PageRef where) {
  if (where.pageNo < 0 || PfsPageOf(where.pageNo) != where.pageNo) return std::nullopt;
  if (!MapPageHeader(page, where, kPageTypePfs, 1)) return std::nullopt;
  const auto fixed = SlotRecordFixedPart(page, 1, 0);
  if (!fixed || fixed->size() != static_cast<size_t>(kPagesPerPfsInterval)) return std::nullopt;
  // A byte no PFS page holds shows the page is damaged, and so may be any
  // other byte of it.
  for (uint8_t b : *fixed)
    if (!PlausiblePfsByte(b)) return std::nullopt;
  // The PFS page itself is in use.
  if (((*fixed)[static_cast<size_t>(where.pageNo - PfsIntervalStart(where.pageNo))] & kPfsAllocated) == 0)
    return std::nullopt;
  return Bytes(fixed->begin(), fixed->end());
}

std::optional<Bytes> DecodeExtentMapPage(Bytes page, PageRef where, uint32_t pageType) {
  if (where.pageNo < 0) return std::nullopt;
  if (pageType == kPageTypeGam) {
    if (GamPageOf(where.pageNo) != where.pageNo) return std::nullopt;
  } else if (pageType != kPageTypeSgam || SgamPageOf(where.pageNo) != where.pageNo) {
    return std::nullopt;
  }
  if (!MapPageHeader(page, where, pageType, 2)) return std::nullopt;
  // Slot 0 holds the map's header, slot 1 the bitmap.
  if (!SlotRecordFixedPart(page, 2, 0)) return std::nullopt;
  const auto bitmap = SlotRecordFixedPart(page, 2, 1);
  if (!bitmap || bitmap->size() != kExtentBitmapBytes) return std::nullopt;
  // The first extent of a GAM interval holds the GAM page itself.
  if (pageType == kPageTypeGam && ((*bitmap)[0] & 1) != 0) return std::nullopt;
  return Bytes(bitmap->begin(), bitmap->end());
}

const char* AllocationStateText(AllocationState state) {
  switch (state) {
    case AllocationState::kAllocated:
      return "allocated";
    case AllocationState::kFree:
      return "free";
    case AllocationState::kUnknown:
      return "unknown";
  }
  return "unknown";
}

// --- AllocationMap ---------------------------------------------------------

// One map page's decoded contents, once it has been read; nothing when it
// could not be read or trusted.
struct MapPageCache {
  bool read = false;
  std::optional<Bytes> bytes;
};

struct AllocationMap::FileMaps {
  int16_t fileId = 0;
  uint64_t pageCount = 0;
  std::vector<MapPageCache> pfs;   // per PFS interval
  std::vector<MapPageCache> gam;   // per GAM interval
  std::vector<MapPageCache> sgam;  // per GAM interval
};

AllocationMap::AllocationMap(const CDatabaseFile& file) : file_(file) {}
AllocationMap::~AllocationMap() = default;

AllocationMap::FileMaps* AllocationMap::MapsOf(int16_t fileId) const {
  uint64_t pageCount = 0;
  if (fileId == 1) {
    pageCount = file_.pageCount;
  } else {
    // Secondary files become known while the catalog loads: ask each time.
    auto it = file_.secondaryFiles.find(fileId);
    if (fileId <= 0 || it == file_.secondaryFiles.end() || it->second.physicalName.empty()) return nullptr;
    pageCount = it->second.pageCount;
  }
  // Page numbers are 32-bit: a larger count is not a file's.
  if (pageCount == 0 || pageCount > static_cast<uint64_t>(INT32_MAX) + 1) return nullptr;
  auto it = files_.find(fileId);
  if (it != files_.end() && it->second.pageCount == pageCount) return &it->second;
  FileMaps& maps = files_[fileId];
  maps = FileMaps{};
  maps.fileId = fileId;
  maps.pageCount = pageCount;
  maps.pfs.resize(static_cast<size_t>((pageCount + kPagesPerPfsInterval - 1) / kPagesPerPfsInterval));
  const size_t intervals = static_cast<size_t>((pageCount + kPagesPerInterval - 1) / kPagesPerInterval);
  maps.gam.resize(intervals);
  maps.sgam.resize(intervals);
  return &maps;
}

const Bytes* AllocationMap::Pfs(FileMaps& maps, int32_t pageNo) const {
  MapPageCache& cache = maps.pfs[static_cast<size_t>(pageNo / kPagesPerPfsInterval)];
  if (!cache.read) {
    cache.read = true;
    ++mapPagesRead_;
    const PageRef where{maps.fileId, PfsPageOf(pageNo)};
    bool whole = false;
    if (auto bytes = file_.ReadPageBytes(where, false, &whole); bytes && whole)
      cache.bytes = DecodePfsPage(std::move(*bytes), where);
  }
  return cache.bytes ? &*cache.bytes : nullptr;
}

const Bytes* AllocationMap::ExtentMap(FileMaps& maps, int32_t pageNo, uint32_t pageType) const {
  std::vector<MapPageCache>& caches = pageType == kPageTypeGam ? maps.gam : maps.sgam;
  MapPageCache& cache = caches[static_cast<size_t>(pageNo / kPagesPerInterval)];
  if (!cache.read) {
    cache.read = true;
    ++mapPagesRead_;
    const PageRef where{maps.fileId, pageType == kPageTypeGam ? GamPageOf(pageNo) : SgamPageOf(pageNo)};
    bool whole = false;
    if (auto bytes = file_.ReadPageBytes(where, false, &whole); bytes && whole)
      cache.bytes = DecodeExtentMapPage(std::move(*bytes), where, pageType);
  }
  return cache.bytes ? &*cache.bytes : nullptr;
}

PageAllocation AllocationMap::Describe(PageRef page) const {
  PageAllocation result;
  FileMaps* maps = MapsOf(page.fileId);
  if (!maps || page.pageNo < 0 || static_cast<uint64_t>(page.pageNo) >= maps->pageCount) return result;
  const size_t extent = ExtentInInterval(page.pageNo);
  if (const Bytes* gam = ExtentMap(*maps, page.pageNo, kPageTypeGam)) result.extentFree = BitmapBit(*gam, extent);
  if (const Bytes* sgam = ExtentMap(*maps, page.pageNo, kPageTypeSgam)) result.mixedWithFree = BitmapBit(*sgam, extent);
  if (const Bytes* pfs = Pfs(*maps, page.pageNo))
    result.pfs = (*pfs)[static_cast<size_t>(page.pageNo - PfsIntervalStart(page.pageNo))];
  return result;
}

AllocationState AllocationMap::StateOf(PageRef page) const {
  FileMaps* maps = MapsOf(page.fileId);
  if (!maps || page.pageNo < 0 || static_cast<uint64_t>(page.pageNo) >= maps->pageCount)
    return AllocationState::kUnknown;
  const Bytes* pfs = Pfs(*maps, page.pageNo);
  std::optional<bool> allocated;
  if (pfs) allocated = ((*pfs)[static_cast<size_t>(page.pageNo - PfsIntervalStart(page.pageNo))] & kPfsAllocated) != 0;
  const size_t extent = ExtentInInterval(page.pageNo);
  const Bytes* gam = ExtentMap(*maps, page.pageNo, kPageTypeGam);
  if (gam && BitmapBit(*gam, extent)) {
    // A free extent holds no allocated page and is no mixed extent: maps
    // that say otherwise are damaged, and decide nothing here.
    if (allocated.value_or(false)) return AllocationState::kUnknown;
    const Bytes* sgam = ExtentMap(*maps, page.pageNo, kPageTypeSgam);
    if (sgam && BitmapBit(*sgam, extent)) return AllocationState::kUnknown;
    return AllocationState::kFree;
  }
  if (allocated) return *allocated ? AllocationState::kAllocated : AllocationState::kFree;
  return AllocationState::kUnknown;
}

// --- UnitAllocation --------------------------------------------------------

namespace {

constexpr size_t kIamStartPageOffset = 36;
constexpr size_t kIamSinglePagesOffset = 42;
constexpr size_t kIamHeaderSize = kIamSinglePagesOffset + 8 * 6;

// What one IAM page gives its unit.
struct IamContents {
  PageRef next;
  PageRef intervalStart;
  std::vector<PageRef> singlePages;
  Bytes bitmap;
};

// The IAM page at `where`, when it counts: read whole, undamaged by its
// protection, an IAM page that calls itself `where`, with the IAM header in
// slot 0 and a bitmap of at most one interval in slot 1.
std::optional<IamContents> ReadIamContents(const CDatabaseFile& file, PageRef where) {
  bool whole = false;
  auto page = file.ReadPageBytes(where, false, &whole);
  if (!page || !whole || CheckPageProtection(*page) == PageProtection::kDamaged) return std::nullopt;
  const CPage_Header header(std::span<uint8_t>(page->data(), kPageSize));
  if (header.pageType != kPageTypeIam || header.thisPage != where) return std::nullopt;
  const auto iamHeader = SlotRecordFixedPart(*page, header.slotCount, 0);
  const auto bitmap = SlotRecordFixedPart(*page, header.slotCount, 1);
  if (!iamHeader || iamHeader->size() < kIamHeaderSize || !bitmap || bitmap->empty() ||
      bitmap->size() > kExtentBitmapBytes)
    return std::nullopt;
  IamContents contents;
  contents.next = header.nextPage;
  // The header names the interval the bitmap maps; a start page that cannot
  // begin an interval is damage, and the interval of the page itself holds.
  const PageRef start = ReadDiskPageRef(*iamHeader, kIamStartPageOffset);
  if (start.fileId > 0 && start.pageNo >= 0 && start.pageNo % kPagesPerInterval == 0)
    contents.intervalStart = start;
  else
    contents.intervalStart = {where.fileId, where.pageNo / kPagesPerInterval * kPagesPerInterval};
  for (size_t k = 0; k < 8; ++k) {
    const PageRef single = ReadDiskPageRef(*iamHeader, kIamSinglePagesOffset + 6 * k);
    if (single.fileId > 0 && single.pageNo > 0) contents.singlePages.push_back(single);
  }
  contents.bitmap.assign(bitmap->begin(), bitmap->end());
  return contents;
}

}  // namespace

UnitAllocation UnitAllocation::FromChain(const CDatabaseFile& file, PageRef firstIam) {
  UnitAllocation unit;
  // A unit without a first IAM page may have lost the pointer to damage:
  // nothing says its pages are not its own.
  if (firstIam.pageNo == 0) unit.complete_ = false;
  std::set<PageRef> visited;
  PageRef current = firstIam;
  while (current.pageNo != 0) {
    if (file.stop().requested() || !visited.insert(current).second) {
      unit.complete_ = false;
      break;
    }
    auto iam = ReadIamContents(file, current);
    if (!iam) {
      unit.complete_ = false;
      break;
    }
    unit.Take(current, iam->intervalStart, iam->singlePages, iam->bitmap);
    current = iam->next;
  }
  return unit;
}

UnitAllocation UnitAllocation::FromPages(const CDatabaseFile& file, std::span<const PageRef> iamPages) {
  UnitAllocation unit;
  std::set<PageRef> visited;
  for (const PageRef& ref : iamPages) {
    if (file.stop().requested()) {
      unit.complete_ = false;
      break;
    }
    if (ref.pageNo == 0 || !visited.insert(ref).second) continue;
    if (auto iam = ReadIamContents(file, ref))
      unit.Take(ref, iam->intervalStart, iam->singlePages, iam->bitmap);
    else
      unit.complete_ = false;
  }
  return unit;
}

void UnitAllocation::Take(PageRef ref, PageRef intervalStart, std::span<const PageRef> singlePages, ByteSpan bitmap) {
  iamPages_.push_back(ref);
  singlePages_.insert(singlePages.begin(), singlePages.end());
  // A unit normally has one IAM page per interval; more are merged.
  Bytes& bits = extents_[intervalStart];
  if (bits.empty()) bits.resize(kExtentBitmapBytes, 0);
  for (size_t i = 0; i < bitmap.size() && i < bits.size(); ++i) bits[i] = static_cast<uint8_t>(bits[i] | bitmap[i]);
}

bool UnitAllocation::Claims(PageRef page) const {
  if (page.pageNo < 0) return false;
  if (singlePages_.count(page)) return true;
  const PageRef interval{page.fileId, page.pageNo / kPagesPerInterval * kPagesPerInterval};
  auto it = extents_.find(interval);
  return it != extents_.end() && BitmapBit(it->second, ExtentInInterval(page.pageNo));
}

AllocationState UnitAllocation::StateOf(PageRef page, const AllocationMap& maps) const {
  const AllocationState state = maps.StateOf(page);
  if (state == AllocationState::kFree) return state;
  if (Claims(page)) return state;
  return complete_ ? AllocationState::kFree : AllocationState::kUnknown;
}

}  // namespace ravelin
