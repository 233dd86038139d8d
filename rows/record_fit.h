// Whether a record can be a row of a table: its column count, fixed part,
// variable columns and NULL columns against the table's record shape.

#ifndef RAVELIN_ROWS_RECORD_FIT_H_
#define RAVELIN_ROWS_RECORD_FIT_H_

#include "catalog/record_shape.h"
#include "storage/record.h"

namespace ravelin {

enum class RecordFit {
  kFits,
  kColumnCount,      // no columns, or more than the table has
  kFixedPart,        // a fixed part the table's layout does not allow
  kVariableColumns,  // more variable columns than the table has, or offsets out of order
  kNotNull,          // a column that may not be NULL is NULL
};

// How `record` (a data record, its forwarding resolved) fits `shape`; a
// shape that is not known lets every record pass.
RecordFit CheckRecordFit(const CRecord& record, const RecordShape& shape);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_RECORD_FIT_H_
