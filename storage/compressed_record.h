// Records of row- and page-compressed tables (the CD record format).
//
// A CD record is a header byte, a column count, a 4-bit code per column
// (the CD array), a short-data region holding the values of up to eight
// bytes back to back, and an optional long-data region with an offset
// array for longer values and large-value pointers. This module splits a
// record into one stored value per column, as views into the caller's
// bytes; what the values mean is decided by the column types elsewhere.
//
// Layout (offsets from the record start):
//   0        header: bit 0 set (CD format), bit 1 versioning trailer,
//            bits 2-4 record type, bit 5 long-data region present
//   1        column count: one byte below 128, else two bytes, the first
//            with bit 7 set, high bits first
//   ...      CD array, ceil(n / 2) bytes, column i in the low nibble of
//            byte i / 2 when i is even, the high nibble when odd
//   ...      (n - 1) / 30 bytes: short bytes of each cluster of 30
//            columns but the last
//   ...      short data
//   ...      long data: flags, entry count (uint16), end offsets (uint16,
//            bit 15 = large-value pointer), (n - 1) / 30 per-cluster entry
//            counts, then the values
//   ...      14 bytes of versioning information when header bit 1 is set

#ifndef RAVELIN_STORAGE_COMPRESSED_RECORD_H_
#define RAVELIN_STORAGE_COMPRESSED_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "storage/bytes.h"
#include "storage/page_types.h"

namespace ravelin {

// Header byte bits.
constexpr uint8_t kCdHeaderFormat = 0x01;
constexpr uint8_t kCdHeaderVersioning = 0x02;
constexpr uint8_t kCdHeaderLongData = 0x20;
constexpr size_t kCdVersioningSize = 14;

// The 4-bit codes of the CD array.
enum CdCode : uint8_t {
  kCdNull = 0x0,
  kCdEmpty = 0x1,  // the type's zero, or the column's anchor value
  kCdShortFirst = 0x2,
  kCdShortLast = 0x9,  // codes 2..9: 1..8 bytes of short data
  kCdLong = 0xA,
  kCdBitOne = 0xB,
  kCdPageSymbol = 0xC,  // a dictionary index in the short data
};

// Record types, header bits 2-4.
enum class CdRecordType : uint8_t {
  kPrimary = 0,
  kGhostEmpty = 1,
  kForwardingStub = 2,
  kGhostData = 3,
  kForwarded = 4,
  kGhostForwarded = 5,
  kIndex = 6,
  kGhostIndex = 7,
};

// Records of more columns than a table can have are damage.
constexpr uint16_t kCdMaxColumns = 1024;
// Columns per cluster of the short-data and long-data regions.
constexpr size_t kCdClusterSize = 30;

enum class CdValueState : uint8_t {
  kNull,
  kEmpty,
  kShort,
  kLong,
  kBitOne,
  kPageSymbol,
  // A reserved code, or bytes the record's own lengths do not account for.
  kUnreadable,
};

// One column of a CD record as stored.
struct CdValue {
  CdValueState state = CdValueState::kUnreadable;
  uint8_t code = 0;
  // Short or long bytes; for a page symbol the index bytes.
  ByteSpan bytes;
  // A long entry holding a large-value or row-overflow pointer.
  bool complex = false;
};

struct CdRecord {
  // The header, the column count and the CD array lie inside the input and
  // the count is plausible. Without that the record has no columns.
  bool readable = false;
  // Some part failed its checks; the columns it affects are kUnreadable.
  bool damaged = false;
  uint8_t header = 0;
  CdRecordType type = CdRecordType::kPrimary;
  uint16_t columnCount = 0;
  std::vector<CdValue> columns;
  // Offsets from the record start, for dumps.
  size_t cdArrayOffset = 0;
  size_t shortDataOffset = 0;
  size_t longDataOffset = 0;  // 0 without a long-data region
  uint8_t longFlags = 0;
  // Bytes the record occupies; 0 when its end cannot be told.
  size_t length = 0;
  // A forwarding stub's target.
  std::optional<PageRef> forwardPage;
  int16_t forwardSlot = -1;

  bool IsGhost() const {
    return type == CdRecordType::kGhostEmpty || type == CdRecordType::kGhostData ||
           type == CdRecordType::kGhostForwarded || type == CdRecordType::kGhostIndex;
  }
  // Whether the record holds a table row (not a stub or an index entry).
  bool IsDataRecord() const {
    return type == CdRecordType::kPrimary || type == CdRecordType::kGhostData || type == CdRecordType::kForwarded ||
           type == CdRecordType::kGhostForwarded || type == CdRecordType::kGhostEmpty;
  }
};

// Whether the record at the start of `bytes` is in the CD format.
inline bool IsCdRecord(ByteSpan bytes) { return !bytes.empty() && (bytes[0] & kCdHeaderFormat); }

// The record type named by a header byte.
inline CdRecordType CdTypeOf(uint8_t header) { return static_cast<CdRecordType>((header >> 2) & 7); }

// Parses the CD record at the start of `bytes`, which must end where the
// record's space ends (the page's record area). Nothing outside `bytes` is
// read; the values are views into it.
CdRecord ParseCdRecord(ByteSpan bytes);

// Bytes of short data a code occupies; -1 for a page symbol (one byte, two
// when the first has bit 7 set) and for reserved codes (unknown).
int CdShortLength(uint8_t code);

// A variable-length count as the format writes column counts, prefix
// lengths and dictionary indexes: one byte below 128, else two bytes, the
// first with bit 7 set, high bits first. Reads at `offset`; the number of
// bytes used goes to `used` (0 when the count does not lie in `bytes`).
uint16_t ReadCdCount(ByteSpan bytes, size_t offset, size_t& used);

// The text name DBCC PAGE gives a code ("EMPTY", "LONG", ...).
const char* CdCodeName(uint8_t code);
const char* CdRecordTypeName(CdRecordType type);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_COMPRESSED_RECORD_H_
