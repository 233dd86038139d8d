// Text forms of stored column values: numbers, dates and times, money,
// decimals, GUIDs and binary.
//
// Every formatter is a pure function of the value's little-endian bytes
// (plus the column's byte length, precision or scale where the type needs
// them). A span shorter than the value reads as if zero-extended on the
// high-order side; nothing is read beyond the span, and no input makes a
// formatter fail: a value that cannot be shown gives an empty text. Output
// never depends on the process locale ("." as decimal point, 24-hour time).

#ifndef RAVELIN_ROWS_VALUE_FORMAT_H_
#define RAVELIN_ROWS_VALUE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "storage/bytes.h"

namespace ravelin {

// A civil date of the proleptic Gregorian calendar.
struct CivilDate {
  int64_t year = 1;
  int month = 1;      // 1..12
  int day = 1;        // 1..31
  int dayOfYear = 0;  // 0-based
  int dayOfWeek = 1;  // 0 = Sunday
};

// Day 0 is 0001-01-01; negative day numbers count back from it.
CivilDate DayNumberToDate(int64_t dayNumber);

// datetime (8 bytes): "yyyy-mm-dd hh:mm:ss", whole seconds; years before
// 1753 show as 1753.
std::string FormatDateTime(ByteSpan bytes);
// smalldatetime (4 bytes): "yyyy-mm-dd hh:mm:00".
std::string FormatSmallDateTime(ByteSpan bytes);
// date (3 bytes): "yyyy-mm-dd".
std::string FormatDate(ByteSpan bytes);

// The scaled forms take the column's byte length `n` and scale (0..7). A
// positive scale adds "." and the fraction as exactly `scale` digits.
// time, n = 3..5: "hh:mm:ss[.fffffff]".
std::string FormatTime(ByteSpan bytes, int n, int scale);
// datetime2, n = 6..8: "yyyy-mm-dd hh:mm:ss[.fffffff]".
std::string FormatDateTime2(ByteSpan bytes, int n, int scale);
// datetimeoffset, n = 8..10: local date and time, then the offset:
// "yyyy-mm-dd hh:mm:ss +5:30" (scale 0) or "yyyy-mm-dd hh:mm:ss.fff  -8:00".
std::string FormatDateTimeOffset(ByteSpan bytes, int n, int scale);

// money (8 bytes) and smallmoney (4 bytes): exactly four decimals.
std::string FormatMoney(ByteSpan bytes);
std::string FormatSmallMoney(ByteSpan bytes);

// float: about 15 significant digits in fixed-point form, trailing fraction
// zeros removed. Infinities and not-a-number give "0".
std::string FormatFloat(ByteSpan bytes);
// real (4 bytes): six significant digits, general notation ("1.5",
// "1e+20"); values whose text needs a negative exponent give "0".
std::string FormatReal(ByteSpan bytes);

// decimal and numeric: byte 0 is the sign (0 negative), then the magnitude
// whose width follows from `precision`. Exactly `scale` decimals; a value
// with more digits than the precision allows gives an empty text.
std::string FormatDecimal(ByteSpan bytes, int precision, int scale);

// uniqueidentifier (16 bytes): "03020100-0504-0706-0809-0A0B0C0D0E0F" for
// the bytes 00..0F.
std::string FormatGuid(ByteSpan bytes);

// Two upper-case hex digits per byte of `bytes`, optionally after "0x".
std::string FormatHex(ByteSpan bytes, bool withPrefix);

// Signed integers of width 2, 4 or 8 bytes; width 1 is tinyint (unsigned).
// Any other width gives an empty text.
std::string FormatInteger(ByteSpan bytes, int width);

// "True" or "False".
std::string FormatBit(bool bit);

// An sql_variant value: base type id, version, type properties, value.
std::string RenderVariant(ByteSpan bytes);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_VALUE_FORMAT_H_
