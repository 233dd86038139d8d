// Published bytes of row- and page-compressed records with the values SQL
// Server printed for them, gathered in one place. Each group names its
// source: real DBCC PAGE output or engine-written files ("real"), or bytes
// another reader derived or made up ("synthetic", "mixed").

#ifndef RAVELIN_TESTS_SUPPORT_COMPRESSION_VECTORS_H_
#define RAVELIN_TESTS_SUPPORT_COMPRESSION_VECTORS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/column_descriptor.h"
#include "storage/bytes.h"

namespace ravelin::testing {

// Hex digits, blanks and line breaks ignored.
Bytes FromHex(std::string_view hex);

// One-column integer records of an open-source reader's tests (values from
// its comments, read off SQL Server): record, column type, value text.
struct IntegerVector {
  const char* record;
  int32_t typeCode;
  const char* typeText;
  const char* value;  // "NULL" for the null code
};
const std::vector<IntegerVector>& IntegerRecords();

// One-column datetime records of the same tests: record and date parts
// (nothing for NULL).
struct DateTimeVector {
  const char* record;
  bool isNull;
  int year, month, day, hour, minute, second, millis;
};
const std::vector<DateTimeVector>& DateTimeRecords();

// Real DBCC PAGE records.
// int 101, varchar 'This is row 1', char(2000) 'Row 1'.
Bytes ThreeColumnLongRecord();
// The CI of a page-compressed page (539 bytes, page offsets 96..634).
Bytes TransactionHistoryCompressionInfo();
// bigint 1, varchar(100) of 72 characters, bigint 1, rowversion 0x7D1.
Bytes RowCompressedWithRowversion();
inline constexpr char kRowversionName[] = "3329950B-8F07-45F7-A5B8-694965B8A2A4C054F03A-DC48-40B5-B835-3259ED4A604E";
// The anchor of a page with bigint, varchar(1000), bigint, rowversion
// columns, and two rows of that page.
Bytes PessoaAnchorRecord();
Bytes PessoaRowCarolina();
Bytes PessoaRowMarcos();
// Ten columns with EMPTY, BIT_COLUMN, NULL and three long values (the
// book prints the first 23 bytes and elides the runs of 'b', 'c', 'd').
Bytes TenColumnRecord();

// Synthetic records of another reader's tests.
Bytes MixedThreeColumnRecord();  // 1, 1, 'val1'

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_COMPRESSION_VECTORS_H_
