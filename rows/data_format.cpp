#include "rows/data_format.h"

#include <algorithm>

#include "rows/value_format.h"

namespace ravelin {
namespace {

// datetime and smalldatetime count days from 1900-01-01.
constexpr int64_t kDay1900 = 693595;
constexpr int64_t kTicksPerDay = 300 * 86400;
constexpr int64_t kMinutesPerDay = 1440;
constexpr int kMaxTimeScale = 7;
constexpr int kMaxPrecision = 38;
// datetimeoffset keeps offsets within -14:00 .. +14:00.
constexpr int kMaxOffsetMinutes = 14 * 60;

uint64_t Unsigned(ByteSpan data, size_t offset, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count && i < 8; ++i)
    if (offset + i < data.size()) value |= uint64_t{data[offset + i]} << (8 * i);
  return value;
}

void AppendDigits(std::string& out, uint64_t value, int width) {
  const std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) out.append(static_cast<size_t>(width) - digits.size(), '0');
  out += digits;
}

// "yyyy-mm-dd" of day `dayNumber` since 0001-01-01; false outside 1..9999.
bool AppendDate(std::string& out, int64_t dayNumber) {
  const CivilDate date = DayNumberToDate(dayNumber);
  if (date.year < 1 || date.year > 9999) return false;
  AppendDigits(out, static_cast<uint64_t>(date.year), 4);
  out += '-';
  AppendDigits(out, static_cast<uint64_t>(date.month), 2);
  out += '-';
  AppendDigits(out, static_cast<uint64_t>(date.day), 2);
  return true;
}

void AppendClock(std::string& out, int64_t secondOfDay) {
  AppendDigits(out, static_cast<uint64_t>(secondOfDay / 3600), 2);
  out += ':';
  AppendDigits(out, static_cast<uint64_t>(secondOfDay / 60 % 60), 2);
  out += ':';
  AppendDigits(out, static_cast<uint64_t>(secondOfDay % 60), 2);
}

uint64_t PowerOfTen(int exponent) {
  uint64_t unit = 1;
  for (int i = 0; i < exponent; ++i) unit *= 10;
  return unit;
}

// A time of the scaled types: ticks of 10^-scale seconds since midnight.
struct ScaledClock {
  int64_t second = 0;  // of the day
  uint64_t fraction = 0;
  int scale = 0;
};

std::optional<ScaledClock> SplitClock(uint64_t ticks, int scale) {
  if (scale < 0 || scale > kMaxTimeScale) return std::nullopt;
  const uint64_t unit = PowerOfTen(scale);
  if (ticks / unit >= 86400) return std::nullopt;
  return ScaledClock{static_cast<int64_t>(ticks / unit), ticks % unit, scale};
}

void AppendFraction(std::string& out, const ScaledClock& clock) {
  if (clock.scale == 0) return;
  out += '.';
  AppendDigits(out, clock.fraction, clock.scale);
}

// The digits of an unsigned 128-bit magnitude.
std::string MagnitudeText(unsigned __int128 value) {
  if (value == 0) return "0";
  std::string reversed;
  while (value != 0) {
    reversed += static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  }
  return std::string(reversed.rbegin(), reversed.rend());
}

}  // namespace

std::optional<std::string> DataDateTime(ByteSpan bytes) {
  if (bytes.size() < 8) return std::nullopt;
  const auto ticks = static_cast<int32_t>(Unsigned(bytes, 0, 4));
  const auto days = static_cast<int32_t>(Unsigned(bytes, 4, 4));
  if (ticks < 0 || ticks >= kTicksPerDay) return std::nullopt;
  // A tick is 1/300 s; SQL Server shows the nearest millisecond, so that
  // ticks 1 and 2 read .003 and .007.
  const int64_t milliseconds = (int64_t{ticks} * 10 + 1) / 3;
  std::string out;
  if (!AppendDate(out, days + kDay1900)) return std::nullopt;
  out += ' ';
  AppendClock(out, milliseconds / 1000);
  out += '.';
  AppendDigits(out, static_cast<uint64_t>(milliseconds % 1000), 3);
  return out;
}

std::optional<std::string> DataSmallDateTime(ByteSpan bytes) {
  if (bytes.size() < 4) return std::nullopt;
  const auto minutes = static_cast<int64_t>(Unsigned(bytes, 0, 2));
  const auto days = static_cast<int64_t>(Unsigned(bytes, 2, 2));
  if (minutes >= kMinutesPerDay) return std::nullopt;
  std::string out;
  if (!AppendDate(out, days + kDay1900)) return std::nullopt;
  out += ' ';
  AppendClock(out, minutes * 60);
  out += ".000";
  return out;
}

std::optional<std::string> DataDate(ByteSpan bytes) {
  if (bytes.size() < 3) return std::nullopt;
  std::string out;
  if (!AppendDate(out, static_cast<int64_t>(Unsigned(bytes, 0, 3)))) return std::nullopt;
  return out;
}

std::optional<std::string> DataTime(ByteSpan bytes, int n, int scale) {
  if (n < 3 || n > 5 || bytes.size() < static_cast<size_t>(n)) return std::nullopt;
  const auto clock = SplitClock(Unsigned(bytes, 0, static_cast<size_t>(n)), scale);
  if (!clock) return std::nullopt;
  std::string out;
  AppendClock(out, clock->second);
  AppendFraction(out, *clock);
  return out;
}

std::optional<std::string> DataDateTime2(ByteSpan bytes, int n, int scale) {
  if (n < 6 || n > 8 || bytes.size() < static_cast<size_t>(n)) return std::nullopt;
  const auto timeBytes = static_cast<size_t>(n - 3);
  const auto clock = SplitClock(Unsigned(bytes, 0, timeBytes), scale);
  if (!clock) return std::nullopt;
  std::string out;
  if (!AppendDate(out, static_cast<int64_t>(Unsigned(bytes, timeBytes, 3)))) return std::nullopt;
  out += ' ';
  AppendClock(out, clock->second);
  AppendFraction(out, *clock);
  return out;
}

std::optional<std::string> DataDateTimeOffset(ByteSpan bytes, int n, int scale) {
  if (n < 8 || n > 10 || bytes.size() < static_cast<size_t>(n)) return std::nullopt;
  const auto timeBytes = static_cast<size_t>(n - 5);
  const auto clock = SplitClock(Unsigned(bytes, 0, timeBytes), scale);
  if (!clock) return std::nullopt;
  const auto utcDay = static_cast<int64_t>(Unsigned(bytes, timeBytes, 3));
  const auto offset = static_cast<int16_t>(Unsigned(bytes, timeBytes + 3, 2));
  if (offset < -kMaxOffsetMinutes || offset > kMaxOffsetMinutes) return std::nullopt;
  // Stored as UTC; written as the local time of its offset, which may fall
  // on another day.
  int64_t localSecond = utcDay * 86400 + clock->second + int64_t{offset} * 60;
  const int64_t day = localSecond >= 0 ? localSecond / 86400 : -((-localSecond + 86399) / 86400);
  localSecond -= day * 86400;
  std::string out;
  if (!AppendDate(out, day)) return std::nullopt;
  out += ' ';
  AppendClock(out, localSecond);
  AppendFraction(out, *clock);
  const int magnitude = offset < 0 ? -offset : offset;
  out += offset < 0 ? " -" : " +";
  AppendDigits(out, static_cast<uint64_t>(magnitude / 60), 2);
  out += ':';
  AppendDigits(out, static_cast<uint64_t>(magnitude % 60), 2);
  return out;
}

std::optional<std::string> DataDecimal(ByteSpan bytes, int precision, int scale) {
  if (bytes.empty() || scale < 0 || scale > kMaxPrecision) return std::nullopt;
  if (precision > 0 && scale > precision) return std::nullopt;
  const bool negative = bytes[0] == 0;
  const ByteSpan magnitudeBytes = bytes.subspan(1, std::min<size_t>(bytes.size() - 1, 16));
  unsigned __int128 magnitude = 0;
  for (size_t i = magnitudeBytes.size(); i-- > 0;) magnitude = (magnitude << 8) | magnitudeBytes[i];
  std::string digits = MagnitudeText(magnitude);
  if (digits.size() > static_cast<size_t>(precision > 0 ? precision : kMaxPrecision)) return std::nullopt;
  const auto fraction = static_cast<size_t>(scale);
  if (digits.size() <= fraction) digits.insert(0, fraction + 1 - digits.size(), '0');
  std::string out = negative && magnitude != 0 ? "-" : "";
  out.append(digits, 0, digits.size() - fraction);
  if (fraction > 0) {
    out += '.';
    out.append(digits, digits.size() - fraction, fraction);
  }
  return out;
}

}  // namespace ravelin
