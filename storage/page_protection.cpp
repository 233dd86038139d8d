#include "storage/page_protection.h"

#include <bit>

#include "storage/page_header.h"
#include "storage/page_types.h"

namespace ravelin {
namespace {

constexpr size_t kSectorSize = 512;
constexpr size_t kSectors = kPageSize / kSectorSize;
constexpr size_t kChecksumOffset = 60;

}  // namespace

uint32_t PageChecksum(ByteSpan page) {
  if (page.size() < static_cast<size_t>(kPageSize)) return 0;
  uint32_t checksum = 0;
  for (size_t sector = 0; sector < kSectors; ++sector) {
    uint32_t sectorXor = 0;
    for (size_t at = sector * kSectorSize; at < (sector + 1) * kSectorSize; at += 4)
      if (at != kChecksumOffset) sectorXor ^= LoadLE<uint32_t>(page, at);
    checksum ^= std::rotl(sectorXor, static_cast<int>(15 - sector));
  }
  return checksum;
}

PageProtection CheckPageProtection(ByteSpan page) {
  if (page.size() < static_cast<size_t>(kPageSize)) return PageProtection::kDamaged;
  const uint16_t flags = LoadLE<uint16_t>(page, 4);
  const uint32_t saved = LoadLE<uint32_t>(page, kChecksumOffset);
  // A page claims one protection or the other, never both.
  if ((flags & kFlagChecksum) && (flags & kFlagTornBits)) return PageProtection::kDamaged;
  if (flags & kFlagChecksum) return PageChecksum(page) == saved ? PageProtection::kIntact : PageProtection::kDamaged;
  if (flags & kFlagTornBits) {
    // Each write stamps the same two bits on every sector and keeps them in
    // the low bits of the saved word; a sector from another write differs.
    const uint8_t stamp = saved & 3;
    for (size_t sector = 1; sector < kSectors; ++sector)
      if ((page[sector * kSectorSize + kSectorSize - 1] & 3) != stamp) return PageProtection::kDamaged;
    return PageProtection::kIntact;
  }
  return PageProtection::kNone;
}

}  // namespace ravelin
