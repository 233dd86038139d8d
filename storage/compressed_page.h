// The compression information (CI) of a page-compressed page, and how a
// CD record's stored values are turned back into row-compressed values
// with it.
//
// A page-compressed leaf page carries, right after its 96-byte header and
// outside the slot array, a CI structure:
//   0  flags: 0x02 anchor record present, 0x04 dictionary present
//   1  uint16 count of changes since the page was compressed
//   with a dictionary:    3 uint16 dictionary offset, 5 uint16 CI size,
//                         7 the anchor record
//   without a dictionary: 3 uint16 CI size, 5 the anchor record
// The anchor record is a CD record with one value per column: a NULL value
// means the column's values carry no prefix, any other (EMPTY included)
// is the prefix its values are abbreviated against. The dictionary is an
// entry count (uint16), the entries' end offsets from the dictionary's
// start (uint16 each) and the entries, values shared by the whole page.
//
// A value of a column with an anchor is [prefix length][suffix]: the first
// prefix-length bytes of the anchor value followed by the suffix. EMPTY
// stands for the whole anchor value. A page symbol names a dictionary
// entry, which holds the value as the record would (prefix length
// included). Nothing here needs the table's columns.

#ifndef RAVELIN_STORAGE_COMPRESSED_PAGE_H_
#define RAVELIN_STORAGE_COMPRESSED_PAGE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "storage/bytes.h"
#include "storage/compressed_record.h"

namespace ravelin {

constexpr size_t kCompressionInfoOffset = 96;
constexpr uint8_t kCiHasAnchor = 0x02;
constexpr uint8_t kCiHasDictionary = 0x04;

// What a column's values are abbreviated against on one page.
enum class AnchorKind : uint8_t {
  kNone,     // no prefix byte; values stored as under row compression
  kPrefix,   // values carry a prefix length (the prefix may be empty)
  kUnknown,  // the anchor is damaged: whether values carry a prefix is unknown
};

struct AnchorValue {
  AnchorKind kind = AnchorKind::kNone;
  ByteSpan bytes;  // kPrefix: the anchor value
};

struct CompressionInfo {
  // The page carries compression information (its header says so).
  bool present = false;
  // The structure failed a check. Whether values carry prefixes, or what a
  // symbol stands for, may then be unknown: such values read as unreadable.
  bool damaged = false;
  uint8_t flags = 0;
  uint16_t pageModCount = 0;
  uint16_t dictionaryOffset = 0;  // from the CI start; 0 without dictionary
  uint16_t size = 0;              // bytes of the whole structure
  // The anchor record (views into the page) and where it stands.
  std::optional<CdRecord> anchor;
  size_t anchorOffset = 0;  // page offset
  size_t anchorSpace = 0;   // bytes between the anchor's start and its end
  // Dictionary entries in symbol order; an entry whose bounds fail is
  // absent.
  std::vector<std::optional<ByteSpan>> dictionary;
  bool dictionaryDamaged = false;     // some entries, or all, are absent
  uint16_t dictionaryEntryCount = 0;  // as stated
  size_t dictionaryDataOffset = 0;    // from the dictionary's start

  bool hasAnchor() const { return flags & kCiHasAnchor; }
  bool hasDictionary() const { return flags & kCiHasDictionary; }
  // The prefix anchor of physical column `column`.
  AnchorValue AnchorFor(size_t column) const;
};

// The compression information of an 8192-byte page whose header type flag
// bit 0x80 is set (the caller checks the flag). `recordSpaceEnd` is where
// the page's record space ends (the slot array's start); the CI must lie
// before it.
CompressionInfo ReadCompressionInfo(ByteSpan page, size_t recordSpaceEnd);

// One column's value rebuilt from the page-level abbreviations: the bytes
// the value has under plain row compression.
enum class ResolvedState : uint8_t {
  kNull,
  kBitOne,  // a bit column holding 1
  kBytes,   // row-compressed bytes; empty bytes are the type's zero
  kUnreadable,
};

struct ResolvedValue {
  ResolvedState state = ResolvedState::kUnreadable;
  ByteSpan bytes;
  bool complex = false;  // a large-value or row-overflow pointer
};

// Resolves column `column` of `record`. `info` is the page's compression
// information, or null on a page without it (all of ROW compression).
// When an anchor prefix has to be joined to a suffix the result is built
// in `scratch` and the returned bytes point into it: use them before the
// next call with the same scratch.
ResolvedValue ResolveCdValue(const CdRecord& record, size_t column, const CompressionInfo* info, Bytes& scratch);

// A CD record with its page's abbreviations resolved, holding copies of
// its values: what a record keeps once its page buffer is gone (a
// forwarded record read from another page, a record kept by a listing).
struct ResolvedCdRecord {
  CdRecordType type = CdRecordType::kPrimary;
  bool readable = false;
  bool damaged = false;
  uint16_t columnCount = 0;
  struct Column {
    ResolvedState state = ResolvedState::kUnreadable;
    size_t offset = 0;  // into `storage`
    size_t length = 0;
    bool complex = false;
  };
  std::vector<Column> columns;
  Bytes storage;

  // The same values as a row-compressed CD record (no anchor, no
  // dictionary) whose values are views into `storage`.
  CdRecord AsRowCompressed() const;
};

// Resolves every column of `record` with `info` (null on a page without
// compression information).
ResolvedCdRecord ResolveCdRecord(const CdRecord& record, const CompressionInfo* info);

// Lines for a page dump: the CI header, the anchor values and the
// dictionary entries (hex).
std::vector<std::string> DescribeCompressionInfo(const CompressionInfo& info);

// Lines for a page dump of one CD record: header, type, column count and,
// per column, its code, stored bytes and (with the page's CI) the bytes
// it resolves to.
std::vector<std::string> DescribeCdRecord(const CdRecord& record, const CompressionInfo* info);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_COMPRESSED_PAGE_H_
