// Whole synthetic databases holding tables stored with ROW or PAGE
// compression (and, for comparison, the same rows stored uncompressed),
// with the catalog rows that describe them.

#ifndef RAVELIN_TESTS_SUPPORT_COMPRESSED_TABLE_IMAGE_H_
#define RAVELIN_TESTS_SUPPORT_COMPRESSED_TABLE_IMAGE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalog/column_descriptor.h"
#include "support/catalog_rows.h"
#include "support/compressor.h"
#include "support/synthetic.h"

namespace ravelin::testing {

struct TableSpec {
  int32_t objectId = 0;
  std::string name;  // without schema; the table is dbo.<name>
  // Laid out with LayOutColumns: column ids, null bits and leafOffsets are
  // what the catalog rows say.
  std::vector<ColumnDescriptor> columns;
  std::vector<CompressedRow> rows;         // ghost rows are ghost records
  std::optional<Compression> compression;  // nothing: uncompressed
  uint32_t firstPage = 40;                 // data pages from here on, chained; 0: none
  size_t rowsPerPage = 20;
  uint32_t iamPage = 0;  // the allocation unit's first IAM page; 0: none (the caller writes the page)
  // false: only the data pages are written, as when the catalog rows that
  // describe the table are lost.
  bool catalogRows = true;
  // false: the table's allocation unit row is lost (its other catalog rows
  // stand).
  bool allocUnitRow = true;
  // false: the table's object row is lost (its other catalog rows stand).
  bool objectRow = true;
  // false: the table's rowset row is lost (its unit row still names it).
  bool rowsetRow = true;
  // false: every column row of the table, catalog and physical, is lost.
  bool columnRows = true;
  // false: the table's catalog column rows are lost, its physical ones stand.
  bool catalogColumnRows = true;
  // A nonclustered index on the first column, with its physical row, whose
  // rowset row's index id damage made negative.
  bool damagedIndexRowset = false;
  // The heap's index row (sysidxstats), which names its rowset again.
  bool indexRow = false;
  // The heap's rowset id made from its object as SQL Server 2000 made them
  // (object id << 16), as in a database upgraded since.
  bool upgradedRowsetId = false;
  // Damage done to the heap's rowset row.
  std::function<void(SysRowsetsRow&)> rowsetDamage{};
  // Physical column rows lost (by column id), and one whose rowset column
  // id is damaged (written as 248).
  std::vector<int32_t> physicalRowsLost{};
  int32_t physicalIdDamaged = 0;
  // Damage done to single fields of a column's catalog row and of its
  // physical row, by column id.
  std::map<int32_t, std::function<void(SysColParsRow&)>> catalogColumnDamage{};
  std::map<int32_t, std::function<void(SysRsColsRow&)>> physicalColumnDamage{};
};

// Forty columns of every type the compressed forms treat apart (integers,
// money, the date and time types, decimals of three widths, float, real,
// uniqueidentifier, char, binary, nchar, varchar, nvarchar, nvarchar(max),
// varbinary, a text pointer, timestamp, twelve bit columns), laid out.
std::vector<ColumnDescriptor> AssortedColumns();
// Rows for them: one of negative and extreme values, one of zeros and
// empty values, one nearly all NULL, then `generated` rows of values that
// repeat and share prefixes.
std::vector<RowValues> AssortedRows(size_t generated = 0);

// The system type id of a type code (the one SQL Server types map to it).
uint8_t SystemTypeIdOf(int32_t typeCode);

// The small catalog of SmallCatalogImage, the type rows of every built-in
// type, and `tables`, each a heap (index 0) with one in-row allocation unit
// whose pages are filed under page key 300 + its place in `tables`.
DatabaseImage ImageWithTables(const std::vector<TableSpec>& tables, uint32_t pageCount = 96);

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_COMPRESSED_TABLE_IMAGE_H_
