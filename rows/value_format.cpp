#include "rows/value_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "storage/text_codec.h"

namespace ravelin {
namespace {

// datetime and smalldatetime count days from 1900-01-01.
constexpr int64_t kDay1900 = 693595;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int kMaxTimeScale = 7;
constexpr int kMaxDecimalScale = 38;

constexpr std::array<int, 13> kCommonYear = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
constexpr std::array<int, 13> kLeapYear = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366};

// The `count` bytes at `offset` as an unsigned little-endian number. Bytes
// beyond the span read as zero, which zero-extends a short value.
uint64_t ReadPadded(ByteSpan data, size_t offset, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count && i < 8; ++i) {
    if (offset < data.size() && i < data.size() - offset) value |= uint64_t{data[offset + i]} << (8 * i);
  }
  return value;
}

// Division rounding toward minus infinity, for days before 0001-01-01 and
// negative offsets (b > 0).
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }
int64_t FloorMod(int64_t a, int64_t b) { return a % b < 0 ? a % b + b : a % b; }

void AppendPadded(std::string& out, uint64_t value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) out.append(static_cast<size_t>(width) - digits.size(), '0');
  out += digits;
}

struct TimeOfDay {
  int64_t hour = 0;
  int64_t minute = 0;
  int64_t second = 0;
  bool Valid() const { return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59; }
};

TimeOfDay SplitSeconds(int64_t seconds) { return {seconds / 3600, (seconds / 60) % 60, seconds % 60}; }

void AppendDate(std::string& out, const CivilDate& date) {
  AppendPadded(out, static_cast<uint64_t>(date.year), 4);
  out += '-';
  AppendPadded(out, static_cast<uint64_t>(date.month), 2);
  out += '-';
  AppendPadded(out, static_cast<uint64_t>(date.day), 2);
}

void AppendTime(std::string& out, const TimeOfDay& time) {
  AppendPadded(out, static_cast<uint64_t>(time.hour), 2);
  out += ':';
  AppendPadded(out, static_cast<uint64_t>(time.minute), 2);
  out += ':';
  AppendPadded(out, static_cast<uint64_t>(time.second), 2);
}

std::string DateTimeText(const CivilDate& date, const TimeOfDay& time) {
  std::string out;
  AppendDate(out, date);
  out += ' ';
  AppendTime(out, time);
  return out;
}

// A time value of the scaled types: whole seconds since midnight and the
// fraction in units of 10^-scale seconds.
struct ScaledTime {
  uint64_t seconds = 0;
  uint64_t fraction = 0;
  int scale = 0;
};

ScaledTime SplitScaled(uint64_t ticks, int scale) {
  ScaledTime t;
  t.scale = std::clamp(scale, 0, kMaxTimeScale);
  uint64_t unit = 1;
  for (int i = 0; i < t.scale; ++i) unit *= 10;
  t.seconds = ticks / unit;
  t.fraction = ticks % unit;
  return t;
}

// The fraction padded to the scale, so that 5 thousandths read .005.
void AppendFraction(std::string& out, const ScaledTime& t) {
  if (t.scale <= 0) return;
  out += '.';
  AppendPadded(out, t.fraction, t.scale);
}

// Seconds of a scaled time as a time of day; a time past midnight is out of
// range.
bool TimeOfScaled(const ScaledTime& t, TimeOfDay& time) {
  if (t.seconds >= static_cast<uint64_t>(kSecondsPerDay)) return false;
  time = SplitSeconds(static_cast<int64_t>(t.seconds));
  return true;
}

bool DateInRange(const CivilDate& date) { return date.year >= 1 && date.year <= 9999; }

// Fixed-point text of a count of 1/10,000 units.
std::string FourDecimals(int64_t units) {
  uint64_t magnitude = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  std::string out = units < 0 ? "-" : "";
  out += std::to_string(magnitude / 10000);
  out += '.';
  AppendPadded(out, magnitude % 10000, 4);
  return out;
}

double DoubleFromBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

float FloatFromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// "%.*f" with 15 - ceil(log10(|x|)) decimals (six when that is negative),
// then trailing fraction zeros and a bare "." removed.
std::string FloatText(double value) {
  if (!std::isfinite(value)) return "0";
  if (value == 0) return "0";
  double digits = 15 - std::ceil(std::log10(std::fabs(value)));
  int precision = digits < 0 ? 6 : static_cast<int>(digits);
  // The longest text: 309 integer digits, or 15 digits behind 324 zeros.
  char buffer[1024];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
  if (result.ec != std::errc()) return "0";
  std::string text(buffer, result.ptr);
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

// The default output-stream form: six significant digits, general notation.
std::string StreamText(double value) {
  if (!std::isfinite(value)) return "0";
  if (value == 0) return "0";
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  if (result.ec != std::errc()) return "0";
  return std::string(buffer, result.ptr);
}

// Decimal digits of a 128-bit magnitude held as eight 16-bit words, most
// significant digit first; "0" for zero.
std::string MagnitudeDigits(std::array<uint16_t, 8> words) {
  std::string reversed;
  bool nonZero = true;
  while (nonZero && reversed.size() < 39) {
    uint32_t remainder = 0;
    nonZero = false;
    for (int i = 7; i >= 0; --i) {
      uint32_t part = (remainder << 16) | words[i];
      words[i] = static_cast<uint16_t>(part / 10);
      remainder = part % 10;
      if (words[i] != 0) nonZero = true;
    }
    reversed += static_cast<char>('0' + remainder);
  }
  return std::string(reversed.rbegin(), reversed.rend());
}

size_t DecimalMagnitudeWidth(int precision) {
  if (precision <= 9) return 4;
  if (precision <= 19) return 8;
  if (precision <= 28) return 12;
  return 16;
}

std::string AnsiText(ByteSpan bytes) { return CodePageToUtf8(UpToNul(bytes), AnsiCodePage()); }

}  // namespace

CivilDate DayNumberToDate(int64_t dayNumber) {
  CivilDate date;
  date.dayOfWeek = static_cast<int>((FloorMod(dayNumber, 7) + 1) % 7);
  int64_t cycles = FloorDiv(dayNumber, 146097);
  int64_t rest = FloorMod(dayNumber, 146097);
  int64_t centuries = std::min<int64_t>(rest / 36524, 3);
  rest -= 36524 * centuries;
  int64_t quads = rest / 1461;
  rest -= 1461 * quads;
  int64_t years = std::min<int64_t>(rest / 365, 3);
  rest -= 365 * years;
  date.year = 400 * cycles + 100 * centuries + 4 * quads + years + 1;
  bool leap = date.year % 4 == 0 && !(date.year % 100 == 0 && date.year % 400 != 0);
  const auto& table = leap ? kLeapYear : kCommonYear;
  int month = 0;
  while (month < 12 && rest >= table[month + 1]) ++month;
  date.month = month + 1;
  date.day = static_cast<int>(rest - table[month] + 1);
  date.dayOfYear = static_cast<int>(rest);
  return date;
}

std::string FormatDateTime(ByteSpan bytes) {
  auto ticks = static_cast<int32_t>(ReadPadded(bytes, 0, 4));
  auto days = static_cast<int32_t>(ReadPadded(bytes, 4, 4));
  // Slightly above 1/300, so that 300 ticks make a whole second.
  auto seconds = static_cast<int64_t>(ticks * 0.00333333335);
  TimeOfDay time = SplitSeconds(seconds);
  CivilDate date = DayNumberToDate(days + kDay1900);
  if (ticks < 0 || date.year < 0 || date.year > 9999 || !time.Valid()) return "";
  // SQL Server's datetime starts at 1753.
  if (date.year <= 1752) date.year = 1753;
  return DateTimeText(date, time);
}

std::string FormatSmallDateTime(ByteSpan bytes) {
  auto minutes = static_cast<int64_t>(ReadPadded(bytes, 0, 2));
  auto days = static_cast<int64_t>(ReadPadded(bytes, 2, 2));
  TimeOfDay time{minutes / 60, minutes % 60, 0};
  CivilDate date = DayNumberToDate(days + kDay1900);
  if (date.year > 9999 || !time.Valid()) return "";
  return DateTimeText(date, time);
}

std::string FormatDate(ByteSpan bytes) {
  CivilDate date = DayNumberToDate(static_cast<int64_t>(ReadPadded(bytes, 0, 3)));
  if (!DateInRange(date)) return "";
  std::string out;
  AppendDate(out, date);
  return out;
}

std::string FormatTime(ByteSpan bytes, int n, int scale) {
  if (n < 3 || n > 5) return "";
  ScaledTime t = SplitScaled(ReadPadded(bytes, 0, static_cast<size_t>(n)), scale);
  TimeOfDay time;
  if (!TimeOfScaled(t, time)) return "";
  std::string out;
  AppendTime(out, time);
  AppendFraction(out, t);
  return out;
}

std::string FormatDateTime2(ByteSpan bytes, int n, int scale) {
  if (n < 6 || n > 8) return "";
  auto timeBytes = static_cast<size_t>(n - 3);
  ScaledTime t = SplitScaled(ReadPadded(bytes, 0, timeBytes), scale);
  CivilDate date = DayNumberToDate(static_cast<int64_t>(ReadPadded(bytes, timeBytes, 3)));
  TimeOfDay time;
  if (!TimeOfScaled(t, time) || !DateInRange(date)) return "";
  std::string out = DateTimeText(date, time);
  AppendFraction(out, t);
  return out;
}

std::string FormatDateTimeOffset(ByteSpan bytes, int n, int scale) {
  if (n < 8 || n > 10) return "";
  auto timeBytes = static_cast<size_t>(n - 5);
  ScaledTime t = SplitScaled(ReadPadded(bytes, 0, timeBytes), scale);
  auto utcDay = static_cast<int64_t>(ReadPadded(bytes, timeBytes, 3));
  auto offset = static_cast<int16_t>(ReadPadded(bytes, timeBytes + 3, 2));
  if (t.seconds >= static_cast<uint64_t>(kSecondsPerDay)) return "";
  // Stored as UTC; shown as local time, which may fall on another day.
  int64_t localMinutes = utcDay * 1440 + static_cast<int64_t>(t.seconds / 60) + offset;
  CivilDate date = DayNumberToDate(FloorDiv(localMinutes, 1440));
  int64_t minuteOfDay = FloorMod(localMinutes, 1440);
  TimeOfDay time{minuteOfDay / 60, minuteOfDay % 60, static_cast<int64_t>(t.seconds % 60)};
  if (!DateInRange(date)) return "";
  std::string out = DateTimeText(date, time);
  AppendFraction(out, t);
  out += t.scale > 0 ? "  " : " ";
  int magnitude = offset < 0 ? -offset : offset;
  out += offset < 0 ? '-' : '+';
  // Hours and minutes of the offset without leading zeros: +5:30, +1:0.
  out += std::to_string(magnitude / 60);
  out += ':';
  out += std::to_string(magnitude % 60);
  return out;
}

std::string FormatMoney(ByteSpan bytes) { return FourDecimals(static_cast<int64_t>(ReadPadded(bytes, 0, 8))); }

// The value times 0.0001 printed with about ten significant digits and cut
// after four decimals is always the exact four-decimal form: smallmoney has
// at most ten digits.
std::string FormatSmallMoney(ByteSpan bytes) { return FourDecimals(static_cast<int32_t>(ReadPadded(bytes, 0, 4))); }

std::string FormatFloat(ByteSpan bytes) { return FloatText(DoubleFromBits(ReadPadded(bytes, 0, 8))); }

std::string FormatReal(ByteSpan bytes) {
  std::string text = StreamText(FloatFromBits(static_cast<uint32_t>(ReadPadded(bytes, 0, 4))));
  if (text.find("e-") != std::string::npos) return "0";
  return text;
}

std::string FormatDecimal(ByteSpan bytes, int precision, int scale) {
  bool negative = ReadPadded(bytes, 0, 1) == 0;
  size_t width = DecimalMagnitudeWidth(precision);
  std::array<uint16_t, 8> words{};
  for (size_t i = 0; i < width / 2; ++i) words[i] = static_cast<uint16_t>(ReadPadded(bytes, 1 + 2 * i, 2));
  std::string digits = MagnitudeDigits(words);

  auto fractionDigits = static_cast<size_t>(std::clamp(scale, 0, kMaxDecimalScale));
  std::string whole = "0";
  std::string fraction;
  if (digits.size() > fractionDigits) {
    whole = digits.substr(0, digits.size() - fractionDigits);
    fraction = digits.substr(digits.size() - fractionDigits);
  } else {
    fraction = std::string(fractionDigits - digits.size(), '0') + digits;
  }
  // More digits than the precision allows: give up fraction digits first.
  auto count = static_cast<int64_t>(digits.size());
  if (count > precision && !fraction.empty()) {
    auto drop = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(fraction.size()), count - precision));
    fraction.resize(fraction.size() - drop);
    count -= static_cast<int64_t>(drop);
  }
  if (count > precision) return "";

  std::string out = negative && digits != "0" ? "-" : "";
  out += whole;
  if (!fraction.empty()) out += "." + fraction;
  return out;
}

std::string FormatGuid(ByteSpan bytes) {
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(36);
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    auto byte = static_cast<uint8_t>(ReadPadded(bytes, static_cast<size_t>(kOrder[i]), 1));
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
  return out;
}

std::string FormatHex(ByteSpan bytes, bool withPrefix) {
  return withPrefix ? "0x" + HexDigits(bytes) : HexDigits(bytes);
}

std::string FormatInteger(ByteSpan bytes, int width) {
  switch (width) {
    case 1:
      return std::to_string(ReadPadded(bytes, 0, 1));
    case 2:
      return std::to_string(static_cast<int16_t>(ReadPadded(bytes, 0, 2)));
    case 4:
      return std::to_string(static_cast<int32_t>(ReadPadded(bytes, 0, 4)));
    case 8:
      return std::to_string(static_cast<int64_t>(ReadPadded(bytes, 0, 8)));
    default:
      return "";
  }
}

std::string FormatBit(bool bit) { return bit ? "True" : "False"; }

// Layout: byte 0 base type, byte 1 version, then the base type's properties
// (scale; precision and scale; or maximum length and collation) and the
// value.
std::string RenderVariant(ByteSpan bytes) {
  size_t length = bytes.size();
  if (length == 0) return "";
  auto from = [&](size_t offset) { return SubSpan(bytes, offset, length); };
  int scale = static_cast<int>(ReadPadded(bytes, 2, 1));
  int scaledLength = static_cast<int>(std::min<size_t>(length, 64)) - 3;
  switch (bytes[0]) {
    case 36:
      return length == 18 ? FormatGuid(from(2)) : "";
    case 40:
      return length == 5 ? FormatDate(from(2)) : "";
    case 41:
      return length > 3 ? FormatTime(from(3), scaledLength, scale) : "";
    case 42:
      return length > 3 ? FormatDateTime2(from(3), scaledLength, scale) : "";
    case 43:
      return length > 3 ? FormatDateTimeOffset(from(3), scaledLength, scale) : "";
    case 48:
      return length == 3 ? FormatInteger(from(2), 1) : "";
    case 52:
      return length == 4 ? FormatInteger(from(2), 2) : "";
    case 56:
      return length == 6 ? FormatInteger(from(2), 4) : "";
    case 58:
      return length == 6 ? FormatSmallDateTime(from(2)) : "";
    case 59:
      // Unlike a real column, small values keep their exponent form.
      return length == 6 ? StreamText(FloatFromBits(static_cast<uint32_t>(ReadPadded(bytes, 2, 4)))) : "";
    case 60:
      return length == 10 ? FormatMoney(from(2)) : "";
    case 61:
      return length == 10 ? FormatDateTime(from(2)) : "";
    case 62:
      return length == 10 ? FormatFloat(from(2)) : "";
    case 104:
      return length == 3 ? FormatBit(bytes[2] != 0) : "";
    case 106:
    case 108:
      return length > 4 ? FormatDecimal(from(4), bytes[2], bytes[3]) : "";
    case 122:
      return length == 6 ? FormatSmallMoney(from(2)) : "";
    case 127:
      return length == 10 ? FormatInteger(from(2), 8) : "";
    case 165:
    case 173:
      // Binary bytes behind the maximum length; shown as binary, not text.
      return length >= 4 ? FormatHex(from(4), true) : "";
    case 167:
    case 175:
      // Maximum length and collation come before the characters.
      return AnsiText(from(8));
    case 231:
    case 239:
      return Utf16ToUtf8(from(8));
    case 240:
      return FormatHex(from(2), true);
    default:
      return "";
  }
}

}  // namespace ravelin
