#include "rows/value_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "storage/text_codec.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::Concat;
using testing::LE16;
using testing::LE32;
using testing::LE64;

// `v` as `n` little-endian bytes.
Bytes LEN(uint64_t v, int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}

Bytes Double(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return LE64(bits);
}

Bytes Single(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return LE32(bits);
}

Bytes DateTime(int32_t days, int32_t ticks) {
  return Concat({LE32(static_cast<uint32_t>(ticks)), LE32(static_cast<uint32_t>(days))});
}

// Decimal storage: sign byte then magnitude.
Bytes Dec(bool positive, uint64_t magnitude, int width = 4) {
  return Concat({{static_cast<uint8_t>(positive ? 1 : 0)},
                 LEN(magnitude, std::min(width, 8)),
                 Bytes(width > 8 ? width - 8 : 0, 0)});
}

constexpr int64_t kDays2021_03_04 = 737852;  // since 0001-01-01
constexpr int64_t kSeconds13_05_09 = 13 * 3600 + 5 * 60 + 9;

TEST(DayNumberToDate, KnownDays) {
  CivilDate d = DayNumberToDate(0);
  EXPECT_EQ(d.year, 1);
  EXPECT_EQ(d.month, 1);
  EXPECT_EQ(d.day, 1);
  EXPECT_EQ(d.dayOfYear, 0);
  EXPECT_EQ(d.dayOfWeek, 1);  // a Monday

  d = DayNumberToDate(730178);  // 2000 is a leap year: divisible by 400
  EXPECT_EQ(d.year, 2000);
  EXPECT_EQ(d.month, 2);
  EXPECT_EQ(d.day, 29);

  d = DayNumberToDate(730484);  // last day of the 400-year cycle's leap year
  EXPECT_EQ(d.year, 2000);
  EXPECT_EQ(d.month, 12);
  EXPECT_EQ(d.day, 31);
  EXPECT_EQ(d.dayOfYear, 365);

  d = DayNumberToDate(693595 + 59);  // 1900 is not a leap year
  EXPECT_EQ(d.month, 3);
  EXPECT_EQ(d.day, 1);

  d = DayNumberToDate(3652058);
  EXPECT_EQ(d.year, 9999);
  EXPECT_EQ(d.month, 12);
  EXPECT_EQ(d.day, 31);
  EXPECT_EQ(d.dayOfWeek, 5);  // a Friday

  d = DayNumberToDate(-1);  // counts back into year 0, a leap year
  EXPECT_EQ(d.year, 0);
  EXPECT_EQ(d.month, 12);
  EXPECT_EQ(d.day, 31);
  EXPECT_EQ(d.dayOfWeek, 0);

  // Extreme inputs must not overflow.
  EXPECT_LT(DayNumberToDate(std::numeric_limits<int64_t>::min()).year, 0);
  EXPECT_GT(DayNumberToDate(std::numeric_limits<int64_t>::max()).year, 9999);
}

TEST(DayNumberToDate, ConsecutiveDaysFollowTheCalendar) {
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  CivilDate prev = DayNumberToDate(0);
  for (int64_t n = 1; n <= 3652058; ++n) {
    CivilDate d = DayNumberToDate(n);
    ASSERT_EQ(d.dayOfWeek, (prev.dayOfWeek + 1) % 7) << n;
    bool leap = prev.year % 4 == 0 && (prev.year % 100 != 0 || prev.year % 400 == 0);
    int monthLength = kMonthDays[prev.month - 1] + (prev.month == 2 && leap ? 1 : 0);
    if (prev.day < monthLength) {
      ASSERT_TRUE(d.year == prev.year && d.month == prev.month && d.day == prev.day + 1) << n;
      ASSERT_EQ(d.dayOfYear, prev.dayOfYear + 1) << n;
    } else if (prev.month < 12) {
      ASSERT_TRUE(d.year == prev.year && d.month == prev.month + 1 && d.day == 1) << n;
    } else {
      ASSERT_TRUE(d.year == prev.year + 1 && d.month == 1 && d.day == 1 && d.dayOfYear == 0) << n;
    }
    prev = d;
  }
}

TEST(FormatDateTime, RangeAndRounding) {
  EXPECT_EQ(FormatDateTime(DateTime(0, 0)), "1900-01-01 00:00:00");
  EXPECT_EQ(FormatDateTime(DateTime(44257, kSeconds13_05_09 * 300)), "2021-03-04 13:05:09");
  EXPECT_EQ(FormatDateTime(DateTime(44257, kSeconds13_05_09 * 300 + 299)), "2021-03-04 13:05:09");
  EXPECT_EQ(FormatDateTime(DateTime(0, 25919999)), "1900-01-01 23:59:59");
  EXPECT_EQ(FormatDateTime(DateTime(2958463, 25919999)), "9999-12-31 23:59:59");
  EXPECT_EQ(FormatDateTime(DateTime(-53690, 0)), "1753-01-01 00:00:00");
  // Years before 1753 keep month and day.
  EXPECT_EQ(FormatDateTime(DateTime(-109447, 0)), "1753-05-06 00:00:00");
  // Out of range: past midnight, negative time, past 9999, before year 0.
  EXPECT_EQ(FormatDateTime(DateTime(0, 25920000)), "");
  EXPECT_EQ(FormatDateTime(DateTime(0, -1)), "");
  EXPECT_EQ(FormatDateTime(DateTime(2958464, 0)), "");
  EXPECT_EQ(FormatDateTime(DateTime(std::numeric_limits<int32_t>::min(), 0)), "");
  EXPECT_EQ(FormatDateTime(DateTime(std::numeric_limits<int32_t>::max(), 0)), "");
  // Short input is zero-extended.
  EXPECT_EQ(FormatDateTime(LE32(300)), "1900-01-01 00:00:01");
  EXPECT_EQ(FormatDateTime({}), "1900-01-01 00:00:00");
}

TEST(FormatSmallDateTime, Range) {
  EXPECT_EQ(FormatSmallDateTime(Concat({LE16(0), LE16(0)})), "1900-01-01 00:00:00");
  EXPECT_EQ(FormatSmallDateTime(Concat({LE16(1439), LE16(65535)})), "2079-06-06 23:59:00");
  EXPECT_EQ(FormatSmallDateTime(Concat({LE16(1440), LE16(0)})), "");
  EXPECT_EQ(FormatSmallDateTime(Concat({LE16(65535), LE16(0)})), "");
}

TEST(FormatDate, Range) {
  EXPECT_EQ(FormatDate(LEN(0, 3)), "0001-01-01");
  EXPECT_EQ(FormatDate(LEN(kDays2021_03_04, 3)), "2021-03-04");
  EXPECT_EQ(FormatDate(LEN(3652058, 3)), "9999-12-31");
  EXPECT_EQ(FormatDate(LEN(3652059, 3)), "");
  EXPECT_EQ(FormatDate(LEN(0xFFFFFF, 3)), "");
  // Only three bytes are the date.
  EXPECT_EQ(FormatDate(LEN(0xFF000000, 4)), "0001-01-01");
}

TEST(FormatTime, FractionIsPaddedToTheScale) {
  EXPECT_EQ(FormatTime(LEN(0, 5), 5, 7), "00:00:00.0000000");
  EXPECT_EQ(FormatTime(LEN(0, 3), 3, 0), "00:00:00");
  EXPECT_EQ(FormatTime(LEN(5, 4), 4, 3), "00:00:00.005");
  EXPECT_EQ(FormatTime(LEN(kSeconds13_05_09 * 1000 + 250, 4), 4, 3), "13:05:09.250");
  EXPECT_EQ(FormatTime(LEN(864000000000ull - 1, 5), 5, 7), "23:59:59.9999999");
  EXPECT_EQ(FormatTime(LEN(864000000000ull, 5), 5, 7), "");
  EXPECT_EQ(FormatTime(LEN(0xFFFFFFFFFFull, 5), 5, 0), "");
  // Lengths no time value has.
  EXPECT_EQ(FormatTime(LEN(0, 8), 2, 0), "");
  EXPECT_EQ(FormatTime(LEN(0, 8), 6, 0), "");
  // A damaged scale is held to the largest one.
  EXPECT_EQ(FormatTime(LEN(0, 5), 5, 40), "00:00:00.0000000");
  EXPECT_EQ(FormatTime(LEN(0, 5), 5, -3), "00:00:00");
}

TEST(FormatDateTime2, DateAndTime) {
  Bytes v = Concat({LEN(kSeconds13_05_09 * 10000000ull + 1234567, 5), LEN(kDays2021_03_04, 3)});
  EXPECT_EQ(FormatDateTime2(v, 8, 7), "2021-03-04 13:05:09.1234567");
  Bytes v0 = Concat({LEN(kSeconds13_05_09, 3), LEN(kDays2021_03_04, 3)});
  EXPECT_EQ(FormatDateTime2(v0, 6, 0), "2021-03-04 13:05:09");
  Bytes last = Concat({LEN(864000000000ull - 1, 5), LEN(3652058, 3)});
  EXPECT_EQ(FormatDateTime2(last, 8, 7), "9999-12-31 23:59:59.9999999");
  EXPECT_EQ(FormatDateTime2(Concat({LEN(0, 5), LEN(3652059, 3)}), 8, 7), "");
  EXPECT_EQ(FormatDateTime2(Concat({LEN(864000000000ull, 5), LEN(0, 3)}), 8, 7), "");
  // A length outside 6..8 is not a datetime2.
  EXPECT_EQ(FormatDateTime2(v, 5, 7), "");
  EXPECT_EQ(FormatDateTime2(v, 9, 7), "");
}

Bytes Dto(uint64_t timeValue, int timeBytes, int64_t day, int16_t offset) {
  return Concat({LEN(timeValue, timeBytes), LEN(static_cast<uint64_t>(day), 3), LE16(static_cast<uint16_t>(offset))});
}

TEST(FormatDateTimeOffset, ShowsLocalTimeAndOffset) {
  EXPECT_EQ(FormatDateTimeOffset(Dto(10 * 3600, 3, kDays2021_03_04, 330), 8, 0), "2021-03-04 15:30:00 +5:30");
  EXPECT_EQ(FormatDateTimeOffset(Dto(10 * 3600 * 1000ull + 7, 4, kDays2021_03_04, 330), 9, 3),
            "2021-03-04 15:30:00.007  +5:30");
  EXPECT_EQ(FormatDateTimeOffset(Dto(10 * 3600, 3, kDays2021_03_04, 60), 8, 0), "2021-03-04 11:00:00 +1:0");
  EXPECT_EQ(FormatDateTimeOffset(Dto(10 * 3600, 3, kDays2021_03_04, 0), 8, 0), "2021-03-04 10:00:00 +0:0");
  EXPECT_EQ(FormatDateTimeOffset(Dto(10 * 3600, 3, kDays2021_03_04, 303), 8, 0), "2021-03-04 15:03:00 +5:3");
}

TEST(FormatDateTimeOffset, NegativeOffsetsAndDayChanges) {
  // 02:00 UTC is 18:00 the day before at -8:0.
  EXPECT_EQ(FormatDateTimeOffset(Dto(2 * 3600 + 59, 3, kDays2021_03_04, -480), 8, 0), "2021-03-03 18:00:59 -8:0");
  EXPECT_EQ(FormatDateTimeOffset(Dto(10 * 3600, 3, kDays2021_03_04, -330), 8, 0), "2021-03-04 04:30:00 -5:30");
  // 23:30 UTC is 09:30 the next day at +10:0.
  EXPECT_EQ(FormatDateTimeOffset(Dto(23 * 3600 + 30 * 60, 3, 737880, 600), 8, 0), "2021-04-02 09:30:00 +10:0");
  // Local time beyond the calendar's ends.
  EXPECT_EQ(FormatDateTimeOffset(Dto(23 * 3600, 3, 3652058, 120), 8, 0), "");
  EXPECT_EQ(FormatDateTimeOffset(Dto(0, 3, 0, -60), 8, 0), "");
  EXPECT_EQ(FormatDateTimeOffset(Dto(0, 3, 0, 60), 8, 0), "0001-01-01 01:00:00 +1:0");
  // A time past midnight or a length no datetimeoffset has.
  EXPECT_EQ(FormatDateTimeOffset(Dto(86400, 3, 0, 0), 8, 0), "");
  EXPECT_EQ(FormatDateTimeOffset(Dto(0, 3, 0, 0), 7, 0), "");
  EXPECT_EQ(FormatDateTimeOffset(Dto(0, 6, 0, 0), 11, 0), "");
}

TEST(FormatMoney, FourDecimals) {
  EXPECT_EQ(FormatMoney(LE64(0)), "0.0000");
  EXPECT_EQ(FormatMoney(LE64(12345)), "1.2345");
  EXPECT_EQ(FormatMoney(LE64(static_cast<uint64_t>(-123))), "-0.0123");
  EXPECT_EQ(FormatMoney(LE64(static_cast<uint64_t>(-5))), "-0.0005");
  EXPECT_EQ(FormatMoney(LE64(10000)), "1.0000");
  EXPECT_EQ(FormatMoney(LE64(static_cast<uint64_t>(-10000))), "-1.0000");
  EXPECT_EQ(FormatMoney(LE64(0x7FFFFFFFFFFFFFFFull)), "922337203685477.5807");
  EXPECT_EQ(FormatMoney(LE64(0x8000000000000000ull)), "-922337203685477.5808");
  EXPECT_EQ(FormatMoney(LE16(12345)), "1.2345");
}

TEST(FormatSmallMoney, FourDecimals) {
  EXPECT_EQ(FormatSmallMoney(LE32(1)), "0.0001");
  EXPECT_EQ(FormatSmallMoney(LE32(0)), "0.0000");
  EXPECT_EQ(FormatSmallMoney(LE32(static_cast<uint32_t>(-15000))), "-1.5000");
  EXPECT_EQ(FormatSmallMoney(LE32(3)), "0.0003");
  EXPECT_EQ(FormatSmallMoney(LE32(0x7FFFFFFF)), "214748.3647");
  EXPECT_EQ(FormatSmallMoney(LE32(0x80000000)), "-214748.3648");
}

TEST(FormatFloat, ShortestFixedPoint) {
  EXPECT_EQ(FormatFloat(Double(0)), "0");
  EXPECT_EQ(FormatFloat(Double(1.5)), "1.5");
  EXPECT_EQ(FormatFloat(Double(100)), "100");
  EXPECT_EQ(FormatFloat(Double(500000000000000.0)), "500000000000000");
  EXPECT_EQ(FormatFloat(Double(1e16)), "10000000000000000");
  EXPECT_EQ(FormatFloat(Double(0.1)), "0.1");
  EXPECT_EQ(FormatFloat(Double(0.3)), "0.3");
  EXPECT_EQ(FormatFloat(Double(1e-10)), "0.0000000001");
  EXPECT_EQ(FormatFloat(Double(123456.123456789)), "123456.123456789");
  std::string max = FormatFloat(Double(std::numeric_limits<double>::max()));
  EXPECT_EQ(max.size(), 309u);
  EXPECT_EQ(max.substr(0, 17), "17976931348623157");
  std::string tiny = FormatFloat(Double(std::numeric_limits<double>::denorm_min()));
  EXPECT_EQ(tiny.substr(0, 2), "0.");
  EXPECT_EQ(tiny.find_first_not_of("0.") + 1, 326u);  // 4.94...e-324
}

TEST(FormatFloat, NegativeValuesKeepTheirDigits) {
  EXPECT_EQ(FormatFloat(Double(-1.5)), "-1.5");
  EXPECT_EQ(FormatFloat(Double(-123456.123456789)), "-123456.123456789");
  EXPECT_EQ(FormatFloat(Double(-1e-10)), "-0.0000000001");
  EXPECT_EQ(FormatFloat(Double(-0.0)), "0");
}

TEST(FormatFloat, NonFiniteGivesZero) {
  EXPECT_EQ(FormatFloat(Double(std::numeric_limits<double>::infinity())), "0");
  EXPECT_EQ(FormatFloat(Double(-std::numeric_limits<double>::infinity())), "0");
  EXPECT_EQ(FormatFloat(Double(std::nan(""))), "0");
}

TEST(FormatReal, StreamForm) {
  EXPECT_EQ(FormatReal(Single(1.5f)), "1.5");
  EXPECT_EQ(FormatReal(Single(0.0f)), "0");
  EXPECT_EQ(FormatReal(Single(0.01f)), "0.01");
  EXPECT_EQ(FormatReal(Single(0.0001f)), "0.0001");
  EXPECT_EQ(FormatReal(Single(-2.25f)), "-2.25");
  EXPECT_EQ(FormatReal(Single(123456789.0f)), "1.23457e+08");
  EXPECT_EQ(FormatReal(Single(1e20f)), "1e+20");
  EXPECT_EQ(FormatReal(Single(0.00001f)), "0");
  EXPECT_EQ(FormatReal(Single(-0.00001f)), "0");
  EXPECT_EQ(FormatReal(Single(std::numeric_limits<float>::infinity())), "0");
  EXPECT_EQ(FormatReal(Single(std::nanf(""))), "0");
}

TEST(FormatDecimal, ScaleAndSign) {
  EXPECT_EQ(FormatDecimal(Dec(true, 12345), 5, 2), "123.45");
  EXPECT_EQ(FormatDecimal(Dec(true, 5), 5, 2), "0.05");
  EXPECT_EQ(FormatDecimal(Dec(true, 25), 5, 2), "0.25");
  EXPECT_EQ(FormatDecimal(Dec(true, 0), 5, 2), "0.00");
  EXPECT_EQ(FormatDecimal(Dec(false, 12345), 5, 2), "-123.45");
  EXPECT_EQ(FormatDecimal(Dec(false, 5), 5, 2), "-0.05");
  EXPECT_EQ(FormatDecimal(Dec(true, 12345), 5, 0), "12345");
  EXPECT_EQ(FormatDecimal(Dec(true, 0), 5, 0), "0");
  EXPECT_EQ(FormatDecimal(Dec(true, 25), 2, 2), "0.25");
  // A zeroed value has sign byte 0 but is no negative number.
  EXPECT_EQ(FormatDecimal(Dec(false, 0), 5, 2), "0.00");
  EXPECT_EQ(FormatDecimal(Bytes{1}, 5, 2), "0.00");
  EXPECT_EQ(FormatDecimal({}, 5, 2), "0.00");
}

TEST(FormatDecimal, MagnitudeWidthFollowsPrecision) {
  EXPECT_EQ(FormatDecimal(Dec(true, 1234567890123456789ull, 8), 19, 4), "123456789012345.6789");
  EXPECT_EQ(FormatDecimal(Dec(true, 899, 8), 18, 2), "8.99");
  // Precision 9 reads only four magnitude bytes.
  EXPECT_EQ(FormatDecimal(Dec(true, 0x100000005ull, 8), 9, 0), "5");
  Bytes max38 = {1, 255, 255, 255, 255, 63, 34, 138, 9, 122, 196, 134, 90, 168, 76, 59, 75};  // 10^38 - 1
  EXPECT_EQ(FormatDecimal(max38, 38, 0), std::string(38, '9'));
  EXPECT_EQ(FormatDecimal(max38, 38, 38), "0." + std::string(38, '9'));
  max38[0] = 0;
  EXPECT_EQ(FormatDecimal(max38, 38, 10), "-" + std::string(28, '9') + "." + std::string(10, '9'));
  // 2^128 - 1 has 39 digits, more than any precision allows.
  Bytes all(17, 0xFF);
  EXPECT_EQ(FormatDecimal(all, 38, 0), "");
  EXPECT_EQ(FormatDecimal(all, 38, 2), "3402823669209384634633746074317682114.5");
}

TEST(FormatDecimal, TooManyDigitsDropFractionThenGiveUp) {
  EXPECT_EQ(FormatDecimal(Dec(true, 123456), 5, 2), "1234.5");
  EXPECT_EQ(FormatDecimal(Dec(true, 1234567), 5, 2), "12345");
  EXPECT_EQ(FormatDecimal(Dec(true, 12345678), 5, 2), "");
  EXPECT_EQ(FormatDecimal(Dec(true, 123456), 5, 0), "");
  EXPECT_EQ(FormatDecimal(Dec(true, 1), 0, 0), "");
  // A damaged scale stays bounded.
  EXPECT_EQ(FormatDecimal(Dec(true, 1, 16), 200, 1000000), "0." + std::string(37, '0') + "1");
}

TEST(FormatGuid, ByteOrder) {
  Bytes b;
  for (int i = 0; i < 16; ++i) b.push_back(static_cast<uint8_t>(i));
  EXPECT_EQ(FormatGuid(b), "03020100-0504-0706-0809-0A0B0C0D0E0F");
  Bytes high(16, 0xAB);
  EXPECT_EQ(FormatGuid(high), "ABABABAB-ABAB-ABAB-ABAB-ABABABABABAB");
  EXPECT_EQ(FormatGuid(Bytes{0xFF}), "000000FF-0000-0000-0000-000000000000");
}

TEST(FormatHexIntegerBit, Forms) {
  EXPECT_EQ(FormatHex({}, true), "0x");
  EXPECT_EQ(FormatHex({}, false), "");
  EXPECT_EQ(FormatHex(Bytes{0xAB, 0x01, 0x00}, true), "0xAB0100");
  EXPECT_EQ(FormatHex(Bytes{0xAB, 0x01, 0x00}, false), "AB0100");

  EXPECT_EQ(FormatInteger(LE64(0x8000000000000000ull), 8), "-9223372036854775808");
  EXPECT_EQ(FormatInteger(LE32(0xFFFFFFFF), 4), "-1");
  EXPECT_EQ(FormatInteger(LE32(0x7FFFFFFF), 4), "2147483647");
  EXPECT_EQ(FormatInteger(LE16(0x8000), 2), "-32768");
  EXPECT_EQ(FormatInteger(Bytes{0xFF}, 1), "255");
  EXPECT_EQ(FormatInteger(Bytes{0xFF}, 4), "255");  // zero-extended
  EXPECT_EQ(FormatInteger(LE32(1), 3), "");

  EXPECT_EQ(FormatBit(true), "True");
  EXPECT_EQ(FormatBit(false), "False");
}

Bytes Variant(uint8_t baseType, const Bytes& rest) { return Concat({{baseType, 1}, rest}); }

TEST(RenderVariant, FixedTypes) {
  EXPECT_EQ(RenderVariant(Variant(56, LE32(7))), "7");
  EXPECT_EQ(RenderVariant(Variant(56, LE16(7))), "");
  EXPECT_EQ(RenderVariant(Variant(48, {200})), "200");
  EXPECT_EQ(RenderVariant(Variant(52, LE16(0xFFFF))), "-1");
  EXPECT_EQ(RenderVariant(Variant(127, LE64(0x8000000000000000ull))), "-9223372036854775808");
  EXPECT_EQ(RenderVariant(Variant(104, {2})), "True");
  EXPECT_EQ(RenderVariant(Variant(104, {0})), "False");
  EXPECT_EQ(RenderVariant(Variant(60, LE64(12345))), "1.2345");
  EXPECT_EQ(RenderVariant(Variant(122, LE32(1))), "0.0001");
  EXPECT_EQ(RenderVariant(Variant(62, Double(1.5))), "1.5");
  EXPECT_EQ(RenderVariant(Variant(59, Single(1.5f))), "1.5");
  EXPECT_EQ(RenderVariant(Variant(59, Single(0.00001f))), "1e-05");

  Bytes guid;
  for (int i = 0; i < 16; ++i) guid.push_back(static_cast<uint8_t>(i));
  EXPECT_EQ(RenderVariant(Variant(36, guid)), "03020100-0504-0706-0809-0A0B0C0D0E0F");
  guid.pop_back();
  EXPECT_EQ(RenderVariant(Variant(36, guid)), "");
}

TEST(RenderVariant, DatesAndDecimals) {
  EXPECT_EQ(RenderVariant(Variant(61, DateTime(44257, kSeconds13_05_09 * 300))), "2021-03-04 13:05:09");
  EXPECT_EQ(RenderVariant(Variant(58, Concat({LE16(61), LE16(1)}))), "1900-01-02 01:01:00");
  EXPECT_EQ(RenderVariant(Variant(40, LEN(kDays2021_03_04, 3))), "2021-03-04");
  EXPECT_EQ(RenderVariant(Variant(41, Concat({{7}, LEN(10000000ull * 61, 5)}))), "00:01:01.0000000");
  EXPECT_EQ(RenderVariant(Variant(42, Concat({{0}, LEN(61, 3), LEN(kDays2021_03_04, 3)}))), "2021-03-04 00:01:01");
  EXPECT_EQ(RenderVariant(Variant(43, Concat({{0}, Dto(10 * 3600, 3, kDays2021_03_04, 330)}))),
            "2021-03-04 15:30:00 +5:30");
  EXPECT_EQ(RenderVariant(Variant(41, {})), "");
  EXPECT_EQ(RenderVariant(Variant(106, Concat({{5, 2}, Dec(true, 12345)}))), "123.45");
  EXPECT_EQ(RenderVariant(Variant(108, Concat({{5, 2}, Dec(false, 12345)}))), "-123.45");
  EXPECT_EQ(RenderVariant(Variant(106, {5, 2})), "");
}

TEST(RenderVariant, CharacterAndBinaryTypes) {
  Bytes collation = LE32(0x3400D008);
  EXPECT_EQ(RenderVariant(Variant(167, Concat({LE16(10), collation, {'h', 0xE9, 0, 'x'}}))), "h\xC3\xA9");
  EXPECT_EQ(RenderVariant(Variant(175, Concat({LE16(10), collation, {'a', 'b', ' '}}))), "ab ");
  EXPECT_EQ(RenderVariant(Variant(231, Concat({LE16(10), collation, testing::Utf16("Köln")}))), "Köln");
  EXPECT_EQ(RenderVariant(Variant(239, Concat({LE16(10), collation, testing::Utf16("x")}))), "x");
  EXPECT_EQ(RenderVariant(Variant(167, LE16(10))), "");
  EXPECT_EQ(RenderVariant(Variant(165, Concat({LE16(8), {0xDE, 0xAD, 0x00, 0x01}}))), "0xDEAD0001");
  EXPECT_EQ(RenderVariant(Variant(173, LE16(8))), "0x");
  EXPECT_EQ(RenderVariant(Variant(173, {})), "");
  EXPECT_EQ(RenderVariant(Variant(240, {0x01, 0xFF})), "0x01FF");
  EXPECT_EQ(RenderVariant(Variant(99, {1, 2, 3})), "");
  EXPECT_EQ(RenderVariant({}), "");
}

TEST(ValueFormat, OutputIgnoresTheProcessLocale) {
  std::string before = std::setlocale(LC_ALL, nullptr);
  const char* chosen = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
  std::string results[] = {FormatFloat(Double(1.5)),          FormatReal(Single(2.5f)),
                           FormatSmallMoney(LE32(15000)),     FormatMoney(LE64(12345)),
                           FormatDecimal(Dec(true, 5), 5, 2), FormatDateTime(DateTime(44257, kSeconds13_05_09 * 300)),
                           FormatInteger(LE32(1234567), 4)};
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_EQ(results[0], "1.5");
  EXPECT_EQ(results[1], "2.5");
  EXPECT_EQ(results[2], "1.5000");
  EXPECT_EQ(results[3], "1.2345");
  EXPECT_EQ(results[4], "0.05");
  EXPECT_EQ(results[5], "2021-03-04 13:05:09");
  EXPECT_EQ(results[6], "1234567");
}

// Arbitrary bytes and arguments: every formatter returns, reading only
// inside the span (checked under AddressSanitizer).
TEST(ValueFormat, ArbitraryInputIsSafe) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    Bytes data(rng() % 24);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    ByteSpan span(data.data(), data.size());
    int n = static_cast<int>(rng() % 14) - 2;
    int scale = static_cast<int>(rng() % 50) - 5;
    int precision = static_cast<int>(rng() % 50) - 5;
    FormatDateTime(span);
    FormatSmallDateTime(span);
    FormatDate(span);
    FormatTime(span, n, scale);
    FormatDateTime2(span, n, scale);
    FormatDateTimeOffset(span, n, scale);
    FormatMoney(span);
    FormatSmallMoney(span);
    FormatFloat(span);
    FormatReal(span);
    EXPECT_LE(FormatDecimal(span, precision, scale).size(), 41u);
    EXPECT_EQ(FormatGuid(span).size(), 36u);
    FormatInteger(span, n);
    RenderVariant(span);
  }
}

}  // namespace
}  // namespace ravelin
