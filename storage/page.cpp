#include "storage/page.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "storage/database_file.h"

namespace ravelin {
namespace {

constexpr int kMaxSlots = 4000;
constexpr int kSlotArrayEnd = 8190;
constexpr uint16_t kMaxOneSlotOffset = 8096;

// Status byte A values of a record in the primary format: primary or ghost
// data record, with a null bitmap, with or without variable columns.
bool LooksLikeRecordStatus(uint8_t statusA) {
  return statusA == 0x10 || statusA == 0x30 || statusA == 0x1C || statusA == 0x3C;
}

// The column count the records in the compressed layout listed at
// `offsets` share; nothing when none is listed or they disagree.
std::optional<uint16_t> CompressedColumnCount(ByteSpan page, const std::vector<uint16_t>& offsets, size_t end) {
  std::optional<uint16_t> count;
  for (uint16_t offset : offsets) {
    if (offset < kPageHeaderSize || offset >= end || !IsCdRecord(page.subspan(offset))) continue;
    size_t used = 0;
    const uint16_t n = ReadCdCount(page.first(end), offset + 1u, used);
    if (used == 0) continue;
    if (count && *count != n) return std::nullopt;
    count = n;
  }
  return count;
}

// Records in the compressed layout standing on the page from `start` on,
// each recognised by a data record header and the column count the
// page's listed records have, and measured by parsing it.
std::vector<uint16_t> WalkCompressedRecords(ByteSpan page, size_t start, size_t end, uint16_t columnCount,
                                            const StopToken& stop) {
  std::vector<uint16_t> found;
  end = std::min(end, page.size());
  auto lengthAt = [&](size_t at) -> size_t {
    const uint8_t h = page[at];
    if (!(h & kCdHeaderFormat) || (h & 0xC0)) return 0;
    const CdRecordType type = CdTypeOf(h);
    if (type != CdRecordType::kPrimary && type != CdRecordType::kGhostData && type != CdRecordType::kForwarded)
      return 0;
    size_t used = 0;
    if (ReadCdCount(page.first(end), at + 1, used) != columnCount || used == 0) return 0;
    const CdRecord record = ParseCdRecord(page.subspan(at, end - at));
    if (!record.readable || record.damaged || record.length == 0 || record.length > end - at) return 0;
    return record.length;
  };
  size_t pos = start;
  while (pos < end && found.size() < static_cast<size_t>(kMaxSlots)) {
    if (stop.requested()) break;
    if (const size_t length = lengthAt(pos)) {
      found.push_back(static_cast<uint16_t>(pos));
      pos += length;
    } else {
      ++pos;
    }
  }
  return found;
}

}  // namespace

CPage::CPage(Bytes buffer, const CDatabaseFile* databaseFile, const ReadOptions* readOptions)
    : file(databaseFile), data(std::move(buffer)) {
  if (readOptions) ownOptions_ = *readOptions;
  header = std::make_unique<CPage_Header>(std::span<uint8_t>(data));
}

const ReadOptions& CPage::options() const {
  static const ReadOptions kDefaults;
  if (ownOptions_) return *ownOptions_;
  return file ? file->options() : kDefaults;
}

StopToken CPage::stop() const { return file ? file->stop() : StopToken(); }

RecordPage::RecordPage(Bytes buffer, const CDatabaseFile* databaseFile, const ReadOptions* readOptions)
    : CPage(std::move(buffer), databaseFile, readOptions) {
  CopySlotArray();
}

// The slot count where the header's own cannot be: negative, or an array
// reaching into the record space (below freeData), or fewer entries than
// the free-space fields leave room for. The page's free space lies between
// the end of its records and the slot array, so the array has at least
// (8192 - freeData - freeCount) / 2 entries (more where deleted records
// left gaps) and at most (8192 - freeData) / 2. The count is then the run
// of entries from the first on that point at record starts in the record
// space, no fewer than that least. 0 where the count stands or cannot be
// mended.
namespace {
int MendedSlotCount(const CPage_Header& h, ByteSpan page) {
  if (page.size() < static_cast<size_t>(kPageSize) || h.freeData < kPageHeaderSize || h.freeData > kPageSize ||
      h.freeCount < 0 || h.freeCount > kPageSize - kPageHeaderSize)
    return 0;
  const int most = std::min((kPageSize - h.freeData) / 2, kMaxSlots - 1);
  const int least = std::max(0, (kPageSize - h.freeData - h.freeCount) / 2);
  if (h.slotCount >= least && h.slotCount <= most) return 0;
  if (least > most) return 0;
  std::vector<uint16_t> seen;
  auto pointsAtRecord = [&](int j) {
    const uint16_t offset = LoadLE<uint16_t>(page, kSlotArrayEnd - 2 * j);
    if (offset < kPageHeaderSize || offset >= h.freeData) return false;
    if (std::find(seen.begin(), seen.end(), offset) != seen.end()) return false;
    seen.push_back(offset);
    const int type = (page[offset] >> 1) & 7;
    return type == kRecordPrimary || type == kRecordForwarded || type == kRecordForwardingStub ||
           type == kRecordIndex || type == kRecordGhostData || type == kRecordGhostIndex;
  };
  int run = 0;
  while (run < most && pointsAtRecord(run)) ++run;
  // The entries the free space says are there must all have been found.
  if (run == 0 || run < least) return 0;
  // Entries past the count can be left from records deleted since, so a
  // count one damaged byte away from the stored one is taken where there
  // is one alone.
  const auto stored = static_cast<uint16_t>(h.slotCount);
  int oneByteAway = 0;
  int candidates = 0;
  for (int count = std::max(least, 1); count <= run; ++count) {
    const auto x = static_cast<uint16_t>(stored ^ static_cast<uint16_t>(count));
    if ((x & 0xFF) == 0 || (x >> 8) == 0) oneByteAway = count, ++candidates;
  }
  return candidates == 1 ? oneByteAway : run;
}
}  // namespace

void MendImpossibleHeaderFields(Bytes& page, PageRef where) {
  if (page.size() < static_cast<size_t>(kPageHeaderSize)) return;
  const ByteSpan p(page.data(), page.size());
  if (LoadLE<int32_t>(p, 32) != where.pageNo || LoadLE<int16_t>(p, 36) != where.fileId) return;
  for (size_t link : {size_t{8}, size_t{16}}) {
    if (LoadLE<int32_t>(p, link) >= 0 && LoadLE<int16_t>(p, link + 4) >= 0) continue;
    std::fill(page.begin() + static_cast<std::ptrdiff_t>(link), page.begin() + static_cast<std::ptrdiff_t>(link + 6),
              uint8_t{0});
  }
  if (LoadLE<int16_t>(p, 58) < 0) StoreLE16(page.data() + 58, 0);
  if (LoadLE<int16_t>(p, 28) < 0) StoreLE16(page.data() + 28, 0);
}

void RecordPage::CopySlotArray() {
  slotOffsets.clear();
  if (header && data.size() >= static_cast<size_t>(kPageSize)) {
    if (const int mended = MendedSlotCount(*header, bytes().first(kPageSize))) {
      storedSlotCount = header->slotCount;
      header->slotCount = static_cast<int16_t>(mended);
    }
  }
  const int count = header ? header->slotCount : 0;
  if (count <= 0 || count >= kMaxSlots) return;
  slotOffsets.reserve(static_cast<size_t>(count));
  for (int j = 0; j < count; ++j) slotOffsets.push_back(LoadLE<uint16_t>(bytes(), kSlotArrayEnd - 2 * j));
  huntedFrom = slotOffsets.size();
}

PrimaryRecordPage::PrimaryRecordPage(Bytes buffer, const CDatabaseFile* databaseFile, const ReadOptions* readOptions)
    : RecordPage(std::move(buffer), databaseFile, readOptions) {
  ReadCompression();
  if (HeaderAllowsRecords() && SlotArrayLooksDamaged()) {
    // Slots that point where no record stands: the records are where a walk
    // of the page finds them.
    slotOffsets = WalkRecords(kSlotArrayEnd - 2 * std::max<int>(header->slotCount, 0), header->minLen, true);
    huntedFrom = slotOffsets.size();
    slotArrayRepaired = true;
  } else {
    if (HeaderAllowsRecords()) MendSlotEntries();
    if (options().Hunts() && HeaderAllowsRecords()) HuntDeletedRecords();
  }
  BuildAllRecords();
}

std::unique_ptr<PrimaryRecordPage> PrimaryRecordPage::WithRepairedHeader(Bytes buffer,
                                                                         const CDatabaseFile* databaseFile,
                                                                         PageRef where, uint16_t fixedEnd) {
  if (buffer.size() < static_cast<size_t>(kPageSize)) buffer.resize(kPageSize, 0);
  // A data page of level 0 without slots, torn-page bits or links: nothing
  // of the damaged header is used.
  std::fill(buffer.begin(), buffer.begin() + kPageHeaderSize, uint8_t{0});
  buffer[0] = 1;
  buffer[1] = static_cast<uint8_t>(kPageTypeData);
  StoreLE16(&buffer[14], fixedEnd);
  StoreLE16(&buffer[32], static_cast<uint16_t>(where.pageNo));
  StoreLE16(&buffer[34], static_cast<uint16_t>(static_cast<uint32_t>(where.pageNo) >> 16));
  StoreLE16(&buffer[36], static_cast<uint16_t>(where.fileId));
  auto page = std::make_unique<PrimaryRecordPage>(std::move(buffer), databaseFile);
  // The slot array at the page's end survives a damaged header: it names
  // the live records and leaves out deleted ones still in the free space.
  // It is taken where each record it names is one a walk of the page finds
  // too (the walk's others are deleted ones), or where it names more; an
  // entry pointing into a record had a byte damaged, and the walk is taken.
  std::vector<uint16_t> slots = page->SlotsBeforeTheHeaderWasLost();
  std::vector<uint16_t> walked = page->WalkRecords(kSlotArrayEnd, fixedEnd, true);
  const std::set<uint16_t> found(walked.begin(), walked.end());
  size_t named = 0;
  bool walkFindsThem = true;
  for (uint16_t offset : slots) {
    if (offset == 0) continue;
    ++named;
    walkFindsThem = walkFindsThem && found.count(offset) > 0;
  }
  page->slotOffsets = named > 0 && (walkFindsThem || named > walked.size()) ? slots : walked;
  page->header->slotCount = static_cast<int16_t>(page->slotOffsets.size());
  page->huntedFrom = page->slotOffsets.size();
  page->slotArrayRepaired = true;
  page->records.clear();
  page->BuildAllRecords();
  return page;
}

namespace {

// A forwarding stub: its status byte and the 8-byte address of the record.
constexpr int kForwardingStubLength = 9;

// The length of the uncompressed record (or forwarding stub) that starts at
// `offset` of `page`, by its status byte and its own measure; 0 where none
// does, and for a compressed record, which is measured elsewhere.
int UncompressedRecordLengthAt(ByteSpan page, size_t offset) {
  const uint8_t status = page[offset];
  if (status & kStatusCompressed) return 0;
  const int type = (status >> 1) & 7;
  if (type == kRecordForwardingStub) return kForwardingStubLength;
  if (type != kRecordPrimary && type != kRecordForwarded && type != kRecordGhostData) return 0;
  return std::max(0, MeasureRecordLength(page.subspan(offset), true));
}

}  // namespace

std::vector<uint16_t> PrimaryRecordPage::SlotsBeforeTheHeaderWasLost() const {
  std::vector<uint16_t> slots;
  const ByteSpan page = bytes().first(std::min<size_t>(data.size(), kPageSize));
  if (page.size() < static_cast<size_t>(kPageSize)) return slots;
  std::vector<std::pair<int, int>> taken;
  for (int j = 0; j < kMaxSlots; ++j) {
    const int entryAt = kSlotArrayEnd - 2 * j;
    const int offset = LoadLE<uint16_t>(page, static_cast<size_t>(entryAt));
    // An emptied slot keeps its place in the array.
    if (offset == 0 && !slots.empty()) {
      slots.push_back(0);
      continue;
    }
    if (offset < kPageHeaderSize || offset >= entryAt) break;
    const int length = UncompressedRecordLengthAt(page, static_cast<size_t>(offset));
    if (length <= 0 || offset + length > entryAt) break;
    bool overlaps = false;
    for (const auto& [start, end] : taken) overlaps = overlaps || (offset < end && offset + length > start);
    if (overlaps) break;
    taken.emplace_back(offset, offset + length);
    slots.push_back(static_cast<uint16_t>(offset));
  }
  while (!slots.empty() && slots.back() == 0) slots.pop_back();
  // The array and the records grow toward each other: entries that reach
  // into a record are not the array's.
  const int lowestArrayByte = kSlotArrayEnd - 2 * (static_cast<int>(slots.size()) - 1);
  for (const auto& [start, end] : taken)
    if (end > lowestArrayByte) return {};
  return slots;
}

void PrimaryRecordPage::MendSlotEntries() {
  if (!header || header->pageType != kPageTypeData || header->level != 0 || slotOffsets.empty()) return;
  const ByteSpan page = bytes().first(std::min<size_t>(data.size(), kPageSize));
  if (page.size() < static_cast<size_t>(kPageSize)) return;
  const int recordEnd = kSlotArrayEnd - 2 * static_cast<int>(slotOffsets.size()) + 2;
  // The length of the uncompressed record starting at `offset`, 0 where
  // none does. A forwarding stub must name a page of the database.
  auto lengthAt = [&](int offset) -> int {
    if (offset < kPageHeaderSize || offset >= recordEnd) return 0;
    const int length = UncompressedRecordLengthAt(page, static_cast<size_t>(offset));
    if (length == kForwardingStubLength && ((page[static_cast<size_t>(offset)] >> 1) & 7) == kRecordForwardingStub &&
        file && !file->HoldsPage(ReadDiskPageRef(page, static_cast<size_t>(offset) + 1)))
      return 0;
    return offset + length <= recordEnd ? length : 0;
  };
  std::vector<std::pair<int, int>> extents;  // the records the good entries point at
  std::vector<size_t> bad;
  size_t compressed = 0;
  for (uint16_t offset : slotOffsets)
    if (offset < page.size() && (page[offset] & kStatusCompressed)) ++compressed;
  if (compressed * 2 >= slotOffsets.size()) return;  // compressed records are measured elsewhere
  for (size_t j = 0; j < slotOffsets.size(); ++j) {
    const uint16_t offset = slotOffsets[j];
    if (offset == 0) continue;
    if (const int length = lengthAt(offset)) {
      extents.emplace_back(offset, offset + length);
    } else {
      bad.push_back(j);
    }
  }
  // Only a few entries took damage; more means the array is not this page's.
  if (bad.empty() || bad.size() * 4 > slotOffsets.size()) return;
  // The fixed-part length most of the page's records have: a record one
  // entry lost has it as well.
  std::map<uint16_t, size_t> fixedLengths;
  for (const auto& [start, end] : extents) ++fixedLengths[LoadLE<uint16_t>(page, static_cast<size_t>(start) + 2)];
  uint16_t usual = 0;
  size_t most = 0;
  for (const auto& [length, count] : fixedLengths)
    if (count > most) usual = length, most = count;
  auto free = [&](int offset, int length) {
    if (LoadLE<uint16_t>(page, static_cast<size_t>(offset) + 2) != usual) return false;
    for (const auto& [start, end] : extents)
      if (offset < end && offset + length > start) return false;
    return true;
  };
  // An entry one damaged byte moved: the one offset that differs from it
  // in one byte and points at a record no other entry covers. Of several,
  // the one alone between the records of the entry's intact neighbours:
  // records are mostly stored in the order of their slots.
  const std::set<size_t> damaged(bad.begin(), bad.end());
  const auto neighbour = [&](size_t j) -> int {
    return j < slotOffsets.size() && !damaged.count(j) && slotOffsets[j] != 0 ? slotOffsets[j] : -1;
  };
  for (size_t j : bad) {
    const uint16_t stored = slotOffsets[j];
    // An entry pointing at free space between the records may point at a
    // record whose own header took the damage; it is moved only into a
    // record it then lies inside.
    bool covered = stored < kPageHeaderSize || stored >= recordEnd;
    for (const auto& [start, end] : extents) covered = covered || (stored >= start && stored < end);
    std::vector<int> candidates;
    for (int shift : {0, 8}) {
      for (int value = 0; value < 256; ++value) {
        const int offset = (stored & ~(0xFF << shift)) | (value << shift);
        if (offset == stored) continue;
        const int length = lengthAt(offset);
        if (!length || !free(offset, length)) continue;
        if (!covered && !(offset < stored && stored < offset + length)) continue;
        candidates.push_back(offset);
      }
    }
    if (candidates.size() > 1) {
      const int before = j > 0 ? neighbour(j - 1) : -1;
      const int after = neighbour(j + 1);
      if (before < 0 || after < 0) continue;
      std::erase_if(candidates, [&](int offset) { return offset <= before || offset >= after; });
    }
    if (candidates.size() != 1) continue;
    const int found = candidates.front();
    slotOffsets[j] = static_cast<uint16_t>(found);
    extents.emplace_back(found, found + lengthAt(found));
  }
}

bool PrimaryRecordPage::SlotArrayLooksDamaged() const {
  if (!header || header->pageType != kPageTypeData || header->level != 0 || slotOffsets.empty()) return false;
  const ByteSpan page = bytes().first(std::min<size_t>(data.size(), kPageSize));
  const int recordEnd = kSlotArrayEnd - 2 * static_cast<int>(slotOffsets.size()) + 2;
  std::vector<uint16_t> seen;
  seen.reserve(slotOffsets.size());
  auto pointsAtRecord = [&](uint16_t offset) {
    if (offset < kPageHeaderSize || offset >= recordEnd) return false;
    if (std::find(seen.begin(), seen.end(), offset) != seen.end()) return false;
    seen.push_back(offset);
    // Compressed records are measured elsewhere.
    return (page[offset] & kStatusCompressed) || UncompressedRecordLengthAt(page, offset) > 0;
  };
  // A single bad slot costs its record; a slot array that mostly points
  // where no record stands has been overwritten.
  int good = 0;
  int bad = 0;
  for (uint16_t offset : slotOffsets) {
    if (offset == 0) continue;  // a slot whose record was removed
    ++(pointsAtRecord(offset) ? good : bad);
  }
  return bad > good && bad >= 2;
}

PrimaryRecordPage::PrimaryRecordPage(Bytes buffer, const CDatabaseFile* databaseFile, int slotIndex)
    : RecordPage(std::move(buffer), databaseFile) {
  ReadCompression();
  // Only used to follow a forwarding stub: the record found is not followed
  // any further, so two stubs pointing at each other cannot loop.
  std::unique_ptr<CRecord> record;
  if (slotIndex >= 0 && slotIndex < header->slotCount && static_cast<size_t>(slotIndex) < slotOffsets.size()) {
    const uint16_t offset = slotOffsets[static_cast<size_t>(slotIndex)];
    if (offset != 0 && offset <= kMaxOneSlotOffset) record = BuildRecord(offset, false);
  }
  records.push_back(std::move(record));
}

size_t PrimaryRecordPage::RecordSpaceEnd() const {
  const int slots = header ? header->slotCount : 0;
  if (slots <= 0 || slots >= kMaxSlots) return kPageSize;
  return static_cast<size_t>(kSlotArrayEnd + 2 - 2 * slots);
}

void PrimaryRecordPage::ReadCompression() {
  if (!header || !(header->typeFlagBits & kTypeFlagCompressed) || data.size() < static_cast<size_t>(kPageSize)) return;
  if (header->pageType != kPageTypeData && header->pageType != kPageTypeIndex) return;
  compression = ReadCompressionInfo(bytes().first(kPageSize), RecordSpaceEnd());
}

bool PrimaryRecordPage::HeaderAllowsRecords() const {
  if (!header) return false;
  const CPage_Header& h = *header;
  return h.slotCount <= 8192 && h.ghostRecordCount >= 0 && h.freeCount >= 0 && h.nextPage.fileId >= 0 &&
         h.nextPage.pageNo >= 0 && h.thisPage.fileId >= 0 && h.thisPage.pageNo >= 0 && h.prevPage.fileId >= 0 &&
         h.prevPage.pageNo >= 0;
}

std::unique_ptr<CRecord> PrimaryRecordPage::BuildRecord(uint16_t offset, bool followForwarding) const {
  ByteSpan page = bytes().first(std::min<size_t>(data.size(), kPageSize));
  if (offset >= page.size()) return nullptr;
  const auto maxLength = static_cast<uint16_t>(kPageSize - offset);
  return std::make_unique<CPrimaryRecord>(page.subspan(offset), this, maxLength, followForwarding);
}

void PrimaryRecordPage::BuildAllRecords() {
  if (!HeaderAllowsRecords()) return;
  const CPage_Header& h = *header;
  const bool showDeleted = options().showDeleted;
  const bool upperIndexLevel = h.pageType == kPageTypeIndex && h.level != 0;
  // A header that counts no slots (one rebuilt for a walk of the page)
  // does not make the records found ghosts.
  const bool onlyGhosts = h.slotCount > 0 && h.ghostRecordCount >= h.slotCount && !showDeleted;
  records.reserve(slotOffsets.size());
  for (uint16_t offset : slotOffsets) {
    if (upperIndexLevel || onlyGhosts || offset < kPageHeaderSize || offset > kPageSize) {
      records.push_back(nullptr);
      continue;
    }
    records.push_back(BuildRecord(offset, true));
  }
}

std::vector<uint16_t> PrimaryRecordPage::WalkRecords(int end, uint16_t fixedEnd, bool acceptGhosts) const {
  std::vector<uint16_t> found;
  const StopToken stop = this->stop();
  const ByteSpan page = bytes().first(std::min<size_t>(data.size(), kPageSize));
  end = std::clamp(end, kPageHeaderSize, kSlotArrayEnd);
  auto isRecordStart = [&](int at) {
    if (at < 0 || at + 4 > end) return false;
    const uint8_t a = page[at];
    if (page[at + 1] != 0 || !LooksLikeRecordStatus(a)) return false;
    const uint16_t recordFixedEnd = LoadLE<uint16_t>(page, static_cast<size_t>(at) + 2);
    if ((a == 0x30 || a == 0x3C) && recordFixedEnd == 0x84) return true;
    // The classic signature fits only records whose fixed part ends at 132;
    // the table's own record length finds the records of any table.
    return fixedEnd >= 4 && recordFixedEnd == fixedEnd;
  };

  int pos = kPageHeaderSize;
  int lastMatch = 0;
  // Moves forward one byte at a time to the next record start; false when
  // none is left.
  auto searchFrom = [&](int from) {
    for (int at = from; at < end; ++at) {
      if (stop.requested()) return false;
      if (isRecordStart(at)) {
        lastMatch = at;
        pos = at;
        return true;
      }
    }
    return false;
  };

  while (pos < end && !stop.requested() && found.size() < static_cast<size_t>(kMaxSlots)) {
    const int length = MeasureRecordLength(page.subspan(static_cast<size_t>(pos)), acceptGhosts);
    if (length > 0 && pos + length <= end) {
      found.push_back(static_cast<uint16_t>(pos));
      const int next = pos + length;
      if (next >= end || isRecordStart(next)) {
        pos = next;
        continue;
      }
      if (!searchFrom(next == lastMatch ? next + 1 : next)) break;
    } else {
      if (!searchFrom(pos == lastMatch ? pos + 1 : pos)) break;
    }
  }
  return found;
}

// Looks for records that still stand on the page but that the slot array no
// longer lists.
void PrimaryRecordPage::HuntDeletedRecords() {
  std::vector<uint16_t> candidateOffsets = slotOffsets;
  const ByteSpan page = bytes().first(std::min<size_t>(data.size(), kPageSize));
  const size_t end = RecordSpaceEnd();
  std::vector<uint16_t> walked;
  if (const auto columns = CompressedColumnCount(page, slotOffsets, end)) {
    // A compressed table's page: its records start after the compression
    // information.
    const size_t start = kPageHeaderSize + (compression && !compression->damaged ? compression->size : 0);
    walked = WalkCompressedRecords(page, start, end, *columns, stop());
  } else {
    walked = WalkRecords(kSlotArrayEnd, header->minLen, options().showDeleted);
  }
  for (uint16_t offset : walked)
    if (std::find(slotOffsets.begin(), slotOffsets.end(), offset) == slotOffsets.end())
      candidateOffsets.push_back(offset);
  // The header's slot count stays what the page says; the records found
  // follow the listed ones.
  if (candidateOffsets.size() >= static_cast<size_t>(std::max<int>(header->slotCount, 0)) &&
      candidateOffsets.size() < static_cast<size_t>(kMaxSlots))
    slotOffsets = std::move(candidateOffsets);
}

}  // namespace ravelin
