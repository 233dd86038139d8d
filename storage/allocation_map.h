// Whether a page is allocated, as the database's own allocation maps say.
//
// SQL Server leaves the bytes of a page in place when it frees the page, so
// a page whose header still names a table may hold that table's old rows:
// history, not data. Three kinds of map page, at fixed places in every data
// file, tell which pages are in use:
// - PFS pages (page 1, then pages 8088, 16176, ...: every 8088 pages) hold
//   one byte per page of their interval: 0x40 allocated, 0x20 in a mixed
//   extent, 0x10 an IAM page, 0x08 holds ghost records, bits 0-2 how full
//   (0 to 4); 0x80 is never set.
// - GAM pages (page 2, then every 511232 pages) hold one bit per extent of
//   their interval: set when the extent is free, clear when it is in use.
// - SGAM pages (page 3, then one page after each later GAM) hold one bit
//   per extent: set for a mixed extent that still has a free page.
// A PFS page holds one record whose fixed part is its 8088 bytes; a GAM or
// SGAM page holds a header record in slot 0 and in slot 1 a record whose
// fixed part is the 7988-byte bitmap of 63904 extents, least significant
// bit first. Every map page carries object id 99.
//
// The maps are read lazily, each map page at most once, and kept decoded: a
// byte per page for the PFS, a bit per extent for the GAM and SGAM. A map
// page that cannot be read whole, whose checksum or torn bits show damage,
// or that does not look like the map page that belongs there (page type,
// page number, object id, records and their sizes, plausible contents)
// decides nothing: the pages it covers are of unknown state, and callers
// keep them.

#ifndef RAVELIN_STORAGE_ALLOCATION_MAP_H_
#define RAVELIN_STORAGE_ALLOCATION_MAP_H_

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "storage/bytes.h"
#include "storage/page_types.h"

namespace ravelin {

class CDatabaseFile;

constexpr uint32_t kPageTypeGam = 8;
constexpr uint32_t kPageTypeSgam = 9;
constexpr uint32_t kPageTypePfs = 11;
// The object id in the header of every allocation map page.
constexpr uint32_t kAllocationPagesObjectId = 99;

// One PFS page covers this many pages; a GAM or SGAM bitmap this many bytes
// (one bit per extent of an interval of 511232 pages).
constexpr int32_t kPagesPerPfsInterval = 8088;
constexpr size_t kExtentBitmapBytes = 7988;

// Bits of a PFS byte.
constexpr uint8_t kPfsFullnessMask = 0x07;
constexpr uint8_t kPfsGhostRecords = 0x08;
constexpr uint8_t kPfsIamPage = 0x10;
constexpr uint8_t kPfsMixedExtent = 0x20;
constexpr uint8_t kPfsAllocated = 0x40;
constexpr uint8_t kPfsUnused = 0x80;

// The map pages that cover page `pageNo` of a file (pageNo >= 0).
int32_t PfsPageOf(int32_t pageNo);
int32_t GamPageOf(int32_t pageNo);
int32_t SgamPageOf(int32_t pageNo);

// The 8088 PFS bytes of `page`, the bytes read at `where`; nothing when
// they are not the intact PFS page that belongs there.
std::optional<Bytes> DecodePfsPage(Bytes page, PageRef where);
// The 7988-byte extent bitmap of `page`, the bytes read at `where`, a GAM
// (kPageTypeGam) or SGAM (kPageTypeSgam) page; nothing when they are not the
// intact map page of that kind that belongs there.
std::optional<Bytes> DecodeExtentMapPage(Bytes page, PageRef where, uint32_t pageType);

enum class AllocationState {
  kAllocated,  // the maps say the page is in use
  kFree,       // the maps clearly say it is not
  kUnknown,    // the maps that cover it cannot be read or trusted
};

// "allocated", "free", "unknown".
const char* AllocationStateText(AllocationState state);

// What the maps say of one page; nothing where a map is unknown.
struct PageAllocation {
  std::optional<bool> extentFree;     // GAM
  std::optional<bool> mixedWithFree;  // SGAM
  std::optional<uint8_t> pfs;         // PFS byte
};

// The allocation maps of a database's files (the primary file and the
// secondary files the CDatabaseFile knows). Not thread-safe: the caches
// fill as pages are asked about, on the thread of the recovery run.
class AllocationMap {
 public:
  // `file` must outlive the map.
  explicit AllocationMap(const CDatabaseFile& file);
  ~AllocationMap();
  AllocationMap(const AllocationMap&) = delete;
  AllocationMap& operator=(const AllocationMap&) = delete;

  // Free when the GAM marks the page's extent free or the PFS byte of the
  // page has the allocated bit clear, unless the maps contradict each other
  // (a free extent with an allocated page, a free extent that the SGAM
  // calls mixed): then unknown. Allocated when the PFS byte says so.
  // Unknown for a page outside its file, in a file the database does not
  // know, or whose PFS page is unknown while the GAM says its extent is in
  // use.
  AllocationState StateOf(PageRef page) const;

  // The map entries behind StateOf.
  PageAllocation Describe(PageRef page) const;

  // Map pages read so far (each is read at most once).
  size_t mapPagesRead() const { return mapPagesRead_; }

 private:
  struct FileMaps;
  FileMaps* MapsOf(int16_t fileId) const;
  const Bytes* Pfs(FileMaps& maps, int32_t pageNo) const;
  const Bytes* ExtentMap(FileMaps& maps, int32_t pageNo, uint32_t pageType) const;

  const CDatabaseFile& file_;
  mutable std::map<int16_t, FileMaps> files_;
  mutable size_t mapPagesRead_ = 0;
};

// The pages one allocation unit's IAM pages give it: their single-page
// slots and the pages of the extents their bitmaps mark, interval by
// interval. An IAM page counts only when it reads whole, its protection
// shows no damage, it is an IAM page whose header names the place it was
// read from, and it holds the IAM header (slot 0, at least 90 bytes) and a
// bitmap of at most one interval (slot 1).
class UnitAllocation {
 public:
  // Follows the chain from `firstIam` by the headers' next-page pointers,
  // each page once. The chain is complete when it ends at a page number of
  // 0; it ends incomplete at an IAM page that does not count, at a page met
  // before, or at a stop request. A first IAM page numbered 0 gives an
  // incomplete unit that claims nothing: the catalog may have lost the
  // pointer to damage.
  static UnitAllocation FromChain(const CDatabaseFile& file, PageRef firstIam);
  // The IAM pages given, in order (the 2000 layout keeps no usable chain);
  // complete when every one of them counts.
  static UnitAllocation FromPages(const CDatabaseFile& file, std::span<const PageRef> iamPages);

  // Whether the unit's IAM pages name `page`.
  bool Claims(PageRef page) const;
  // Whether every IAM page of the unit was read, so that a page the unit
  // does not claim is not the unit's.
  bool complete() const { return complete_; }
  // The IAM pages that counted, in the order read.
  const std::vector<PageRef>& iamPages() const { return iamPages_; }

  // `page` as part of the unit: free when the maps say it is free, or when
  // the IAM pages are complete and do not claim it (it is not the unit's);
  // allocated when the unit claims it and the maps say it is allocated;
  // unknown otherwise.
  AllocationState StateOf(PageRef page, const AllocationMap& maps) const;

 private:
  // Adds what the IAM page read at `ref` gives the unit: single pages, and
  // the extents `bitmap` marks in the interval that starts at
  // `intervalStart`.
  void Take(PageRef ref, PageRef intervalStart, std::span<const PageRef> singlePages, ByteSpan bitmap);

  // Interval start -> the extent bitmap of the interval.
  std::map<PageRef, Bytes> extents_;
  std::set<PageRef> singlePages_;
  std::vector<PageRef> iamPages_;
  bool complete_ = true;
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_ALLOCATION_MAP_H_
