// Column value decoding: for one column of one record, where its bytes are
// (fixed part, variable part, sparse vector, large-value structures),
// whether it is NULL, and the text the records list shows for it.
//
// Two readers place the columns. The layout reader trusts the physical
// offsets and null bits the catalog gives each column (2005 and later);
// the positional reader walks the record's columns in order, for 2000-
// layout databases and tables whose physical layout is unknown.

#ifndef RAVELIN_ROWS_VALUE_DECODER_H_
#define RAVELIN_ROWS_VALUE_DECODER_H_

#include <cstdint>
#include <string>

#include "catalog/column_descriptor.h"
#include "rows/value_render.h"
#include "storage/record.h"

namespace ravelin {

enum class ColumnReader { kLayout, kPositional };

// How the large-value reader turns a column's bytes into text; set from the
// column's kind before each value and cleared after it.
struct RecordFlags {
  bool binary = false;   // hexadecimal
  bool unicode = false;  // UTF-16 text
  bool variant = false;  // sql_variant prefix
};

// The per-record state of the row loop, reset for each record.
struct DecodeCounters {
  int64_t fixedOffset = 0;      // running offset into the fixed part
  int32_t variableColumns = 0;  // variable columns met
  int32_t columnsHandled = 0;
  // The smaller of the record's column count and the number of columns of
  // the column set.
  int32_t columnsDecoded = 0;
  BitCursor bits;
  RecordFlags flags;
  // The column decoded last held a large value that was cut short
  // (truncated) or lost some of its parts (incomplete).
  bool valueTruncated = false;
  bool valueIncomplete = false;
  // The column decoded last pointed at a large value that could not be
  // read at all; its text stays empty.
  bool valueMissing = false;
  // The column decoded last holds a value that was read only in part (an
  // xml value damaged part-way): its text ends with the damage marker.
  bool valueDamaged = false;

  // Fresh counters for a record decoded against `columnCount` columns.
  static DecodeCounters ForRecord(const CRecord& record, size_t columnCount);
};

inline constexpr char kNullText[] = "NULL";

// Decodes the column `descriptor` describes from `record` and stores the
// text in descriptor.definitionText. A column whose hobtColumnId is
// kDroppedColumnId is left as it is. May set descriptor.hobtColumnId to
// its columnId for records with fewer columns than the column names.
// With `data`, also stores the value's data value there: NULL where the
// record says so, unreadable where the value exists but its bytes cannot
// be found or are not a value of the type.
void DecodeColumnValue(const CRecord& record, ColumnDescriptor& descriptor, DecodeCounters& counters,
                       ColumnReader reader, const DecodeContext& context, DataValue* data = nullptr);

// The text for a column the record does not reach (a column added after
// the record was written): NULL.
void MarkColumnAbsent(ColumnDescriptor& descriptor);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_VALUE_DECODER_H_
