// Exact data texts of stored dates, times and decimals, for data values
// (data_value.h). Each takes the value's little-endian bytes and gives its
// text, or nothing when the bytes cannot be a value of the type (a tick
// count past midnight, a year outside 1..9999, more digits than the
// precision): such a value is unreadable, never a guess.
//
// Dates and times follow ISO 8601 with a blank between date and time, as
// SQL Server writes them: "2024-05-01 10:30:00.123", every year as stored.

#ifndef RAVELIN_ROWS_DATA_FORMAT_H_
#define RAVELIN_ROWS_DATA_FORMAT_H_

#include <optional>
#include <string>

#include "storage/bytes.h"

namespace ravelin {

// datetime (8 bytes): "yyyy-mm-dd hh:mm:ss.fff", the 1/300 s ticks rounded
// to milliseconds as SQL Server rounds them (.000, .003, .007).
std::optional<std::string> DataDateTime(ByteSpan bytes);
// smalldatetime (4 bytes): "yyyy-mm-dd hh:mm:00.000".
std::optional<std::string> DataSmallDateTime(ByteSpan bytes);
// date (3 bytes): "yyyy-mm-dd".
std::optional<std::string> DataDate(ByteSpan bytes);
// time, n = 3..5 bytes: "hh:mm:ss" and, for a scale above 0, "." and
// exactly `scale` digits.
std::optional<std::string> DataTime(ByteSpan bytes, int n, int scale);
// datetime2, n = 6..8 bytes: date, blank, time as above.
std::optional<std::string> DataDateTime2(ByteSpan bytes, int n, int scale);
// datetimeoffset, n = 8..10 bytes: the local date and time, a blank and
// the offset as "+hh:mm" or "-hh:mm": "2024-05-01 10:30:00.1234567 +05:30".
std::optional<std::string> DataDateTimeOffset(ByteSpan bytes, int n, int scale);

// decimal and numeric: byte 0 the sign (0 negative), then the magnitude,
// as wide as `precision` asks. Exactly `scale` decimals; a value with more
// digits than the precision gives nothing.
std::optional<std::string> DataDecimal(ByteSpan bytes, int precision, int scale);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_DATA_FORMAT_H_
