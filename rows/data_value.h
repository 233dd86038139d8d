// Exact values of columns, for machines: what `rows` prints and what the
// exports write. Unlike the display texts the records list shows
// (value_render.h), a data value keeps every digit and every fraction, says
// which values are numbers, and keeps SQL NULL apart from an empty text and
// from a value that could not be read.
//
// The kinds match the export model's value kinds one to one.

#ifndef RAVELIN_ROWS_DATA_VALUE_H_
#define RAVELIN_ROWS_DATA_VALUE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace ravelin {

enum class DataKind : uint8_t {
  kNull,        // SQL NULL
  kUnreadable,  // the value exists but could not be read: never NULL or ''
  kInteger,     // tinyint, smallint, int, bigint
  kBit,         // bit: integer 0 or 1
  kReal,        // float, real (`single`)
  kExact,       // decimal, numeric, money, smallmoney: digits in `text`
  kText,        // character data, and the data texts of dates, times, GUIDs and xml
  kBinary,      // binary, varbinary, image, timestamp, CLR types: the bytes in `text`
};

struct DataValue {
  DataKind kind = DataKind::kNull;
  int64_t integer = 0;  // kInteger, kBit
  double real = 0;      // kReal
  // kReal: a 4-byte real, whose shortest text is that of a float.
  bool single = false;
  // kExact: "-1234.5600"; kText: UTF-8; kBinary: the bytes.
  std::string text;
  // sql_variant only: the type the value carries as a DBA writes it
  // ("int", "nvarchar(20)", "decimal(10,2)") and its system type id; empty
  // and 0 for every other column.
  std::string variantType;
  uint8_t variantTypeId = 0;
  // kText only: the value was read only in part (an xml value damaged
  // part-way). `text` holds what was read followed by a marker saying
  // where reading stopped; the value counts as unreadable for warnings.
  bool partial = false;

  static DataValue Null() { return {}; }
  static DataValue Unreadable();
  static DataValue Integer(int64_t v);
  static DataValue Bit(bool v);
  static DataValue Real(double v, bool single = false);
  static DataValue Exact(std::string digits);
  static DataValue Text(std::string utf8);
  static DataValue PartlyUnreadable(std::string utf8WithMarker);
  static DataValue Binary(std::string_view bytes);

  bool IsNull() const { return kind == DataKind::kNull; }
  bool IsUnreadable() const { return kind == DataKind::kUnreadable; }
  bool IsPartlyUnreadable() const { return kind == DataKind::kText && partial; }
  bool IsNumber() const { return kind == DataKind::kInteger || kind == DataKind::kReal; }

  friend bool operator==(const DataValue&, const DataValue&) = default;
};

// Appends the data text of `value`: integers in decimal, bits as 1 or 0,
// reals with the shortest text that reads back to the same number (as a
// float for `single`), exact numbers and texts as they are, binary as "0x"
// and two upper-case hex digits per byte. NULL and unreadable values append
// nothing: every output format has its own marks for them.
void AppendDataText(std::string& out, const DataValue& value);
std::string DataText(const DataValue& value);

// The shortest text that reads back to `value` ("0.1", "1e+300"); for
// `single`, to the same float. Non-finite values give an empty text.
std::string ShortestRealText(double value, bool single);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_DATA_VALUE_H_
