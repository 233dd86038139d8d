// The 96-byte header at the start of every page.

#ifndef RAVELIN_STORAGE_PAGE_HEADER_H_
#define RAVELIN_STORAGE_PAGE_HEADER_H_

#include <cstdint>
#include <span>

#include "storage/bytes.h"
#include "storage/page_types.h"

namespace ravelin {

// Header flag bit: torn-page protection bits are saved in tornBits.
constexpr uint16_t kFlagTornBits = 0x100;
// Header flag bit: the page carries a checksum.
constexpr uint16_t kFlagChecksum = 0x200;
// Type flag bit: the page carries compression information.
constexpr uint8_t kTypeFlagCompressed = 0x80;

constexpr uint32_t kPageTypeData = 1;
constexpr uint32_t kPageTypeIndex = 2;
constexpr uint32_t kPageTypeTextMix = 3;
constexpr uint32_t kPageTypeTextTree = 4;
constexpr uint32_t kPageTypeIam = 10;

// Decoded page header. Building one from a buffer with torn-page protection
// restores the saved sector bits in that buffer, so every later reader of
// the buffer sees the page as it was written.
class CPage_Header {
 public:
  CPage_Header() = default;
  // Decodes the header of `page` (normally 8192 bytes; a shorter buffer
  // leaves the fields it lacks at zero) and restores torn bits.
  explicit CPage_Header(std::span<uint8_t> page);
  virtual ~CPage_Header() = default;

  int16_t freeCount = 0;
  uint16_t freeData = 0;
  uint16_t flagBits = 0;
  uint32_t objectId = 0;
  uint32_t pageType = 0;
  uint16_t minLen = 0;
  uint16_t indexId = 0;
  uint8_t typeFlagBits = 0;
  int16_t slotCount = 0;
  uint16_t xactReserved = 0;
  uint16_t reservedCount = 0;
  uint8_t level = 0;
  uint8_t headerVersion = 0;
  int16_t ghostRecordCount = 0;
  PageRef nextPage{1, 0};
  PageRef prevPage{1, 0};
  PageRef thisPage{1, 0};

  // Fields shown to a user chasing corruption; not used by the recovery.
  uint32_t tornBits = 0;
  uint32_t lsnFile = 0;
  uint32_t lsnOffset = 0;
  int16_t lsnSlot = 0;
  uint32_t xdesIdHigh = 0;
  int16_t xdesIdLow = 0;
  bool tornBitsRestored = false;
};

// Replaces the low two bits of the last byte of sectors 1..15 with bits
// 2k, 2k+1 of `tornBits`. Sector 0 (the header) is left alone. When most
// sectors lack the write's stamp (the low two bits of `tornBits`), the
// saved word is no word of this page: nothing is changed and the result is
// false.
bool RestoreTornBits(std::span<uint8_t> page, uint32_t tornBits);

// Whether the last bytes of sectors 1..15 all end in the same two bits, as
// on a page written with torn-page protection before its saved bits are put
// back. Under a damaged header those bits cannot be put back: bytes at the
// sector ends may be wrong.
bool SectorEndsStamped(ByteSpan page);

// An on-disk page pointer (page number, then file id) at `offset`.
PageRef ReadDiskPageRef(ByteSpan data, size_t offset);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_PAGE_HEADER_H_
