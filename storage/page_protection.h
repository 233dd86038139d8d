// Whether a page's bytes are still those SQL Server wrote, as far as the
// page's own protection can tell: a checksum over the whole page, or the
// torn-page bits that every 512-byte sector of one write shares.

#ifndef RAVELIN_STORAGE_PAGE_PROTECTION_H_
#define RAVELIN_STORAGE_PAGE_PROTECTION_H_

#include <cstdint>

#include "storage/bytes.h"

namespace ravelin {

enum class PageProtection {
  kNone,     // the page carries neither protection
  kIntact,   // its checksum or torn-page bits agree with its bytes
  kDamaged,  // they do not: the page was changed after it was written
};

// The checksum SQL Server writes at header offset 60 of a page with header
// flag 0x200: per sector, the XOR of its 128 little-endian 32-bit words
// (the checksum word itself read as 0), rotated left by 15 minus the
// sector's number; the XOR of the sixteen results. Needs 8192 bytes; 0 for
// a shorter buffer.
uint32_t PageChecksum(ByteSpan page);

// Checks `page` (8192 bytes as read, before torn bits are restored) by the
// protection its header flags name. A checksum page is intact when the
// checksum matches; a torn-page page when the low two bits of the last byte
// of sectors 1..15 all equal the low two bits of the saved torn bits. A
// buffer shorter than a page is damaged.
PageProtection CheckPageProtection(ByteSpan page);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_PAGE_PROTECTION_H_
