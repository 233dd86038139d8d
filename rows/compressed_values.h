// Rebuilding the records of row- and page-compressed tables as ordinary
// records, so that the column readers read them like any other.
//
// A compressed record stores every value in a type-specific short form
// (integers big-endian with the sign bit flipped and leading bytes
// trimmed, dates and floats without their zero bytes, decimals in the
// vardecimal form, character data without trailing blanks, Unicode text
// in SCSU). Given the table's columns this module turns each value back
// into the bytes its uncompressed layout has and writes a whole ordinary
// record: status bytes, the fixed part with each fixed column at its
// leafOffset (bit columns sharing bytes), the column count, the null
// bitmap with each column at its null bit, and the variable columns at
// their true lengths, large-value pointers keeping their complex flag.

#ifndef RAVELIN_ROWS_COMPRESSED_VALUES_H_
#define RAVELIN_ROWS_COMPRESSED_VALUES_H_

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "catalog/column_descriptor.h"
#include "storage/bytes.h"
#include "storage/compressed_page.h"
#include "storage/compressed_record.h"

namespace ravelin {

// What became of one column of the table.
enum class RebuiltColumn : uint8_t {
  kValue,
  // NULL, also for a column the record does not have (one added after the
  // record was written).
  kNull,
  // The stored value is damaged or does not fit the column's type: the
  // rebuilt record holds zero bytes (or an empty variable column) for it,
  // and the caller shows the value as unreadable.
  kUnreadable,
  // A dropped column (kDroppedColumnId) or a sparse column: nothing is
  // written for it.
  kNotRebuilt,
};

struct RebuiltRecord {
  // The ordinary record; empty when the CD record has no columns to read.
  Bytes bytes;
  // One entry per column of the column set, in its order.
  std::vector<RebuiltColumn> columns;
  // True when the columns' leafOffsets, null bits and variable indexes
  // form a sound layout and the record follows it. False when they do not
  // (no physical layout in the catalog): the record then lays the columns
  // out one after the other in column-set order, as the positional reader
  // expects.
  bool catalogLayout = true;

  bool HasUnreadable() const;
};

// The CD column (physical column) that holds each column's values: the
// column's null bit less one when every column has a distinct null bit
// (clustering-key ordinals in the high half are ignored), else its place
// in the column set.
std::vector<size_t> CompressedColumnOrder(std::span<const ColumnDescriptor> columns);

// Rebuilds `record` for the columns `columns`. `info` is the page's
// compression information, or null for a page without it (every ROW-
// compressed page). The record type follows the CD record's: primary 0,
// forwarded 1, ghost data 6 (every ghost kind), index 3, ghost index 5.
RebuiltRecord RebuildCompressedRecord(const CdRecord& record, const CompressionInfo* info,
                                      std::span<const ColumnDescriptor> columns);

// The uncompressed bytes of one value of `column` from its row-compressed
// stored bytes (empty stored bytes are the type's zero), appended to `out`:
// exactly the column's fixed length for fixed-length types, the value's
// own length for variable ones. `complex` values (large-value pointers)
// are kept as they are. False when the bytes cannot be a value of the type.
bool DecompressValue(const ColumnDescriptor& column, ByteSpan stored, bool complex, Bytes& out);

// Helpers for the encodings, shared with whoever writes them.

// Integers, money and datetime: big-endian two's complement, trimmed to
// the fewest bytes that keep the sign, with the top bit flipped. Nothing
// when more than 8 bytes are given.
std::optional<int64_t> DecodeCompressedInteger(ByteSpan stored);

// decimal and numeric in the vardecimal form, as the uncompressed sign
// byte and `width` - 1 magnitude bytes at `scale`. False when the value has
// more fraction digits than the scale or does not fit.
bool VarDecimalToDecimal(ByteSpan stored, int scale, size_t width, Bytes& out);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_COMPRESSED_VALUES_H_
