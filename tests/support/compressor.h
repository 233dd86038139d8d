// A ROW and PAGE compressor for tests: writes CD records, anchor records,
// dictionaries and whole compressed pages the way SQL Server lays them
// out, from column values in their uncompressed on-disk form, so that
// tests state values and the helper writes the bytes.
//
// Columns are given in physical order (the order of the record's CD
// array). Values are the bytes an uncompressed record holds for the column
// (the Sql*Bytes helpers below make them), or NULL.

#ifndef RAVELIN_TESTS_SUPPORT_COMPRESSOR_H_
#define RAVELIN_TESTS_SUPPORT_COMPRESSOR_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/column_descriptor.h"
#include "storage/bytes.h"
#include "storage/compressed_record.h"
#include "support/synthetic.h"

namespace ravelin::testing {

// --- Uncompressed values ---------------------------------------------------

// Little-endian two's complement of `width` bytes (int, bigint, money
// scaled by 10000, ...).
Bytes SqlIntBytes(int64_t value, size_t width);
// datetime: ticks of 1/300 s (milliseconds rounded as SQL Server does),
// then days since 1900-01-01.
Bytes SqlDateTimeBytes(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int millis = 0);
Bytes SqlSmallDateTimeBytes(int year, int month, int day, int hour = 0, int minute = 0);
// date: days since 0001-01-01, 3 bytes.
Bytes SqlDateBytes(int year, int month, int day);
// time(scale): 10^-scale units since midnight, in 3, 4 or 5 bytes.
Bytes SqlTimeBytes(int hour, int minute, int second, uint64_t fraction, int scale);
Bytes SqlDateTime2Bytes(int year, int month, int day, int hour, int minute, int second, uint64_t fraction, int scale);
// datetimeoffset: UTC date and time, then the offset in minutes.
Bytes SqlDateTimeOffsetBytes(int year, int month, int day, int hour, int minute, int second, uint64_t fraction,
                             int scale, int16_t offsetMinutes);
// decimal/numeric from its text ("-12.345"): sign byte and magnitude at
// `scale`, the width `precision` asks for.
Bytes SqlDecimalBytes(const std::string& text, int precision, int scale);
Bytes SqlFloatBytes(double value);
Bytes SqlRealBytes(float value);
// char(width): the text padded with blanks; nchar(width bytes) likewise in
// UTF-16; binary(width) padded with zeros.
Bytes SqlCharBytes(const std::string& text, size_t width);
Bytes SqlNCharBytes(const std::string& text, size_t width);
Bytes SqlBinaryBytes(const Bytes& bytes, size_t width);

// The number of days from 0001-01-01 to the given date.
int64_t DaysFromCivil(int year, int month, int day);

// --- Columns ---------------------------------------------------------------

// A column for `typeText` ("int(4)", "decimal(9)", "nvarchar(100)") with
// the descriptor fields the readers need.
ColumnDescriptor SqlColumn(const std::string& name, const std::string& typeText, int32_t typeCode,
                           uint8_t precision = 0, uint8_t scale = 0);

// Gives each column the physical layout SQL Server gives an uncompressed
// record: fixed columns one after the other from offset 4 (bit columns
// sharing bytes, eight to a byte), variable columns -1, -2, ..., null bit
// = position + 1, stored, nullable, column ids from 1.
void LayOutColumns(std::vector<ColumnDescriptor>& columns);

// --- One value -------------------------------------------------------------

// One column's value in a row: its uncompressed bytes, or NULL.
struct CellValue {
  std::optional<Bytes> bytes;
  // A large-value or row-overflow pointer (kept in the long region with
  // the complex flag, or in a variable column with bit 15 set).
  bool complex = false;
};
using RowValues = std::vector<CellValue>;

inline CellValue Null() { return {}; }
inline CellValue Value(Bytes bytes, bool complex = false) { return {std::move(bytes), complex}; }

// The row-compressed stored form of one value; empty = the EMPTY code.
// Bit columns are not stored as bytes (see CompressRow).
Bytes CompressValue(const ColumnDescriptor& column, const Bytes& uncompressed);

// vardecimal and the integer scheme on their own.
Bytes CompressInteger(int64_t value);
Bytes CompressDecimal(const Bytes& uncompressed, int scale);
// SQL Server's Unicode compression of an nchar/nvarchar value: SCSU when
// that is shorter (padded to an odd length), the UTF-16 bytes otherwise.
Bytes CompressUnicode(const Bytes& utf16);
// An SCSU encoding of UTF-16LE text (single-byte mode with window
// switches, Unicode mode for the rest), without SQL Server's padding.
Bytes ScsuEncode(const Bytes& utf16);

// --- CD records -------------------------------------------------------------

struct CdCell {
  enum class Kind { kNull, kEmpty, kBytes, kBitOne, kSymbol };
  Kind kind = Kind::kNull;
  Bytes bytes;  // kBytes: up to 8 -> short data, more (or complex) -> long data
  bool complex = false;
  uint16_t symbol = 0;

  static CdCell Of(Kind kind) { return {kind, {}, false, 0}; }
  static CdCell Stored(Bytes bytes, bool complex = false) { return {Kind::kBytes, std::move(bytes), complex, 0}; }
  static CdCell Symbol(uint16_t index) { return {Kind::kSymbol, {}, false, index}; }
};

// A CD record of `cells` (one per physical column).
Bytes WriteCdRecord(const std::vector<CdCell>& cells, CdRecordType type = CdRecordType::kPrimary,
                    bool versioning = false);

// The cells of one row under ROW compression.
std::vector<CdCell> RowCells(const std::vector<ColumnDescriptor>& columns, const RowValues& row);
Bytes CompressRow(const std::vector<ColumnDescriptor>& columns, const RowValues& row,
                  CdRecordType type = CdRecordType::kPrimary);

// --- PAGE compression --------------------------------------------------------

// The page-level abbreviations: per physical column the anchor value in
// stored form (nullopt: the column has no anchor), and the dictionary
// entries in stored form (prefix length included where the column has an
// anchor).
struct PagePlan {
  std::vector<std::optional<Bytes>> anchors;
  std::vector<Bytes> dictionary;
  uint16_t pageModCount = 0;
};

// Anchors and dictionary chosen for `rows`: per column the stored value
// sharing the longest prefixes with the others (no anchor when prefixes
// save nothing), then every prefixed value met at least twice as a symbol.
PagePlan PlanPage(const std::vector<ColumnDescriptor>& columns, const std::vector<RowValues>& rows);

// The stored form of a value abbreviated against `anchor`: [prefix length]
// [suffix]; nothing when it equals the anchor (the EMPTY code).
std::optional<Bytes> Abbreviate(const Bytes& stored, const Bytes& anchor);

// The cells of one row on a page with `plan`.
std::vector<CdCell> PageCells(const std::vector<ColumnDescriptor>& columns, const RowValues& row, const PagePlan& plan);
Bytes CompressRowOnPage(const std::vector<ColumnDescriptor>& columns, const RowValues& row, const PagePlan& plan,
                        CdRecordType type = CdRecordType::kPrimary);

Bytes AnchorRecord(const PagePlan& plan);
Bytes DictionaryBytes(const std::vector<Bytes>& entries);
// The whole CI structure: header, anchor record (when any column has an
// anchor), dictionary (when there are entries).
Bytes CompressionInfoBytes(const PagePlan& plan);

// --- Pages -------------------------------------------------------------------

enum class Compression { kRow, kPage };

struct CompressedRow {
  RowValues values;
  CdRecordType type = CdRecordType::kPrimary;
};

// Writes `rows` onto `page` as compressed records with slots: under kPage
// a CI (with `plan`, or one PlanPage chooses) first and the header's
// compression flag; the ghost count is set from the rows' types. Returns
// the plan used (empty under kRow).
PagePlan FillCompressedPage(PageBuilder& page, const std::vector<ColumnDescriptor>& columns,
                            const std::vector<CompressedRow>& rows, Compression mode,
                            const std::optional<PagePlan>& plan = std::nullopt);

// The same rows as an ordinary (uncompressed) record, laid out by the
// columns' leafOffset and null bits, for comparisons.
Bytes UncompressedRecord(const std::vector<ColumnDescriptor>& columns, const RowValues& row, int recordType = 0);

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_COMPRESSOR_H_
