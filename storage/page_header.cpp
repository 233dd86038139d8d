#include "storage/page_header.h"

namespace ravelin {

bool RestoreTornBits(std::span<uint8_t> page, uint32_t tornBits) {
  // Each write stamps the same two bits on the end of every sector and keeps
  // them in the low bits of the saved word. When most sectors lack the
  // stamp, the saved word is not this page's (a damaged header) and putting
  // its bits back would change bytes that were right; when most carry it,
  // the saved bits are this write's, for a sector whose end took damage too.
  constexpr int kSectors = 15;
  const uint8_t stamp = tornBits & 3;
  int stamped = 0;
  for (int k = 1; k <= kSectors; ++k) {
    const size_t at = static_cast<size_t>(k) * 512 + 511;
    if (at < page.size() && (page[at] & 3) == stamp) ++stamped;
  }
  if (2 * stamped <= kSectors) return false;
  for (int k = 1; k <= kSectors; ++k) {
    const size_t at = static_cast<size_t>(k) * 512 + 511;
    if (at >= page.size()) break;
    const auto saved = static_cast<uint8_t>((tornBits >> (2 * k)) & 3);
    page[at] = static_cast<uint8_t>((page[at] & ~3u) | saved);
  }
  return true;
}

bool SectorEndsStamped(ByteSpan page) {
  if (page.size() < static_cast<size_t>(kPageSize)) return false;
  const uint8_t stamp = page[1023] & 3;
  for (size_t k = 2; k <= 15; ++k)
    if ((page[k * 512 + 511] & 3) != stamp) return false;
  return true;
}

PageRef ReadDiskPageRef(ByteSpan data, size_t offset) {
  PageRef ref;
  ref.pageNo = LoadLE<int32_t>(data, offset);
  ref.fileId = LoadLE<int16_t>(data, offset + 4);
  return ref;
}

CPage_Header::CPage_Header(std::span<uint8_t> page) {
  ByteSpan p(page.data(), page.size());
  headerVersion = LoadLE<uint8_t>(p, 0);
  pageType = LoadLE<uint8_t>(p, 1);
  typeFlagBits = LoadLE<uint8_t>(p, 2);
  level = LoadLE<uint8_t>(p, 3);
  flagBits = LoadLE<uint16_t>(p, 4);
  indexId = LoadLE<uint16_t>(p, 6);
  if (p.size() >= 14) prevPage = ReadDiskPageRef(p, 8);
  minLen = LoadLE<uint16_t>(p, 14);
  if (p.size() >= 22) nextPage = ReadDiskPageRef(p, 16);
  slotCount = LoadLE<int16_t>(p, 22);
  objectId = LoadLE<uint32_t>(p, 24);
  freeCount = LoadLE<int16_t>(p, 28);
  freeData = LoadLE<uint16_t>(p, 30);
  if (p.size() >= 38) thisPage = ReadDiskPageRef(p, 32);
  reservedCount = LoadLE<uint16_t>(p, 38);
  lsnFile = LoadLE<uint32_t>(p, 40);
  lsnOffset = LoadLE<uint32_t>(p, 44);
  lsnSlot = LoadLE<int16_t>(p, 48);
  xactReserved = LoadLE<uint16_t>(p, 50);
  xdesIdHigh = LoadLE<uint32_t>(p, 52);
  xdesIdLow = LoadLE<int16_t>(p, 56);
  ghostRecordCount = LoadLE<int16_t>(p, 58);
  tornBits = LoadLE<uint32_t>(p, 60);
  if (flagBits & kFlagTornBits) tornBitsRestored = RestoreTornBits(page, tornBits);
}

}  // namespace ravelin
