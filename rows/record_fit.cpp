#include "rows/record_fit.h"

#include <algorithm>

namespace ravelin {

RecordFit CheckRecordFit(const CRecord& record, const RecordShape& shape) {
  if (!shape.known) return RecordFit::kFits;
  const int32_t columns = record.columnCount;
  if (columns < 1 || columns > shape.maxColumns) return RecordFit::kColumnCount;

  // The fixed part: every fixed column the record holds lies inside it, and
  // it is no longer than a record with every column has.
  const int32_t fixedEnd = 4 + std::max<int32_t>(record.fixedLength, 0);
  if (record.fixedLength < 0 || (record.fixedLength > 0 && !record.fixedData)) return RecordFit::kFixedPart;
  if (shape.fullFixedEnd > 0) {
    if (fixedEnd > shape.fullFixedEnd) return RecordFit::kFixedPart;
    int32_t coveredEnd = 4;
    int32_t knownEnd = 4;
    for (const RecordShape::FixedColumn& column : shape.fixedColumns) {
      if (column.position <= columns && column.end > fixedEnd) return RecordFit::kFixedPart;
      if (column.position <= columns) coveredEnd = std::max(coveredEnd, column.end);
      knownEnd = std::max(knownEnd, column.end);
    }
    // A fixed part that holds columns past the record's column count: the
    // count is damaged (a record written before columns were added has the
    // shorter fixed part too).
    if (knownEnd == shape.fullFixedEnd && fixedEnd > coveredEnd) return RecordFit::kColumnCount;
  }
  if (record.hasNullBitmap && !record.nullBitmap) return RecordFit::kFixedPart;
  if (record.recordLength < fixedEnd + 2) return RecordFit::kColumnCount;

  // Variable columns: no more than the table has, their ends in order and
  // inside the record.
  if (record.hasVarColumns) {
    if (record.varColumnCount <= 0 || (shape.variableColumns >= 0 && record.varColumnCount > shape.variableColumns))
      return RecordFit::kVariableColumns;
    const int32_t bitmap = record.hasNullBitmap ? (columns + 7) / 8 : 0;
    int32_t previous = fixedEnd + 2 + bitmap + 2 + 2 * record.varColumnCount;
    for (uint16_t end : record.varColumnEnds) {
      if (end < previous || end > 8192) return RecordFit::kVariableColumns;
      previous = end;
    }
    if (record.varColumnEnds.size() != static_cast<size_t>(record.varColumnCount)) return RecordFit::kVariableColumns;
  }

  for (const RecordShape::NotNullColumn& column : shape.notNullColumns)
    if (column.position <= columns && record.IsNullBitSet(column.nullBit)) return RecordFit::kNotNull;
  return RecordFit::kFits;
}

}  // namespace ravelin
