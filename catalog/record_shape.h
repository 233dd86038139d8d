// What the records of a table look like on disk, as far as its catalog
// rows tell: how many physical columns they have, where their fixed part
// ends, how many variable-length columns they carry and which columns may
// not be NULL. A record that does not fit its table's shape is not one of
// its rows: it is a record of another structure, a record read at a wrong
// offset, or a zeroed or random slot.

#ifndef RAVELIN_CATALOG_RECORD_SHAPE_H_
#define RAVELIN_CATALOG_RECORD_SHAPE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ravelin {

struct RecordShape {
  // Whether the checks apply at all (a table with no known columns has no
  // shape).
  bool known = false;
  // Physical columns of a record written with every column: dropped
  // columns still in the records and hidden ones (uniquifier) included.
  int32_t maxColumns = 0;
  // Where the fixed part of such a record ends (4 for the status bytes and
  // the fixed-part length, then the fixed-length columns); 0 when not known.
  int32_t fullFixedEnd = 0;
  // Variable-length physical columns; -1 when not known.
  int32_t variableColumns = -1;
  // Columns the records have that no column row describes any more (their
  // rows were lost): their values cannot be shown.
  int32_t columnsWithoutRows = 0;
  // Whether no physical column row of the table survives: its values are
  // then read in the columns' declared order, which the records need not
  // follow (a clustered index puts its key columns first).
  bool layoutAssumed = false;
  // Columns whose column rows were lost but whose physical rows (in the
  // 2000 layout the key descriptions of index rows) still give their
  // types: their values are read, under stand-in names.
  std::vector<std::string> namesLost;
  bool namesLostFromIndexRows = false;

  // A fixed-length column: its physical position (1-based; records with
  // fewer columns do not hold it) and where it ends in the record.
  struct FixedColumn {
    int32_t position = 0;
    int32_t end = 0;
  };
  std::vector<FixedColumn> fixedColumns;

  // Null bitmap positions (0-based) of the columns that may not be NULL,
  // with their physical positions.
  struct NotNullColumn {
    int32_t position = 0;
    int32_t nullBit = 0;
  };
  std::vector<NotNullColumn> notNullColumns;
};

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_RECORD_SHAPE_H_
