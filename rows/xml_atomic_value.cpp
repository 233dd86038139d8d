#include "rows/xml_atomic_value.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <string_view>

#include "rows/value_format.h"
#include "storage/text_codec.h"

namespace ravelin {
namespace {

enum AtomicToken : uint8_t {
  kSmallInt = 0x01,
  kInt = 0x02,
  kReal = 0x03,
  kFloat = 0x04,
  kMoney = 0x05,
  kBit = 0x06,
  kTinyInt = 0x07,
  kBigInt = 0x08,
  kUuid = 0x09,
  kSqlDecimal = 0x0A,
  kSqlNumeric = 0x0B,
  kBinary = 0x0C,
  kChar = 0x0D,
  kNChar = 0x0E,
  kVarBinary = 0x0F,
  kVarChar = 0x10,
  kNVarChar = 0x11,
  kSqlDateTime = 0x12,
  kSmallDateTime = 0x13,
  kSmallMoney = 0x14,
  kText = 0x16,
  kImage = 0x17,
  kNText = 0x18,
  kUdt = 0x1B,
  kTimeOffset = 0x7A,
  kDateTimeOffset = 0x7B,
  kDateOffset = 0x7C,
  kTime2 = 0x7D,
  kDateTime2 = 0x7E,
  kDate2 = 0x7F,
  kXsdTime = 0x81,
  kXsdDateTime = 0x82,
  kXsdDate = 0x83,
  kBinHex = 0x84,
  kBase64 = 0x85,
  kBoolean = 0x86,
  kXsdDecimal = 0x87,
  kByte = 0x88,
  kUnsignedShort = 0x89,
  kUnsignedInt = 0x8A,
  kUnsignedLong = 0x8B,
  kQName = 0x8C,
};

constexpr uint32_t kCodePageUtf16 = 1200;
constexpr int64_t kDay1900 = 693595;         // 1900-01-01 counted from 0001-01-01
constexpr int64_t kLastDay = 3652058;        // 9999-12-31
constexpr uint32_t kTicksPerDay = 25920000;  // 1/300 s
constexpr int kMaxZoneMinutes = 14 * 60;

bool Take(ByteSpan data, size_t& offset, size_t count, ByteSpan& out) {
  if (offset > data.size() || data.size() - offset < count) return false;
  out = data.subspan(offset, count);
  offset += count;
  return true;
}

template <typename T>
bool TakeLE(ByteSpan data, size_t& offset, T& value) {
  if (!ReadLE(data, offset, value)) return false;
  offset += sizeof(T);
  return true;
}

// Little-endian bytes as an unsigned integer of up to 128 bits.
unsigned __int128 Magnitude(ByteSpan bytes) {
  unsigned __int128 value = 0;
  for (size_t i = bytes.size(); i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

template <typename T>
void AppendNumber(std::string& out, T value) {
  char buffer[48];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void AppendDigits(std::string& out, unsigned __int128 value) {
  char buffer[48];
  char* p = buffer + sizeof buffer;
  do {
    *--p = static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  } while (value != 0);
  out.append(p, buffer + sizeof buffer);
}

// `value` zero-padded to `width` digits.
void AppendPadded(std::string& out, uint64_t value, int width) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  for (auto n = result.ptr - buffer; n < width; ++n) out += '0';
  out.append(buffer, result.ptr);
}

// ±magnitude / 10^scale with exactly `scale` decimals, or (`canonical`)
// without trailing fraction zeros and without a bare point.
void AppendScaled(std::string& out, bool negative, unsigned __int128 magnitude, int scale, bool canonical) {
  std::string digits;
  AppendDigits(digits, magnitude);
  if (digits.size() <= static_cast<size_t>(scale)) digits.insert(0, scale + 1 - digits.size(), '0');
  size_t point = digits.size() - static_cast<size_t>(scale);
  size_t end = digits.size();
  if (canonical) {
    while (end > point && digits[end - 1] == '0') --end;
  }
  if (negative && magnitude != 0) out += '-';
  out.append(digits, 0, point);
  if (end > point) {
    out += '.';
    out.append(digits, point, end - point);
  }
}

// money and smallmoney: the value × 10000, shown with two to four decimals.
void AppendMoney(std::string& out, int64_t value) {
  const bool negative = value < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  if (negative) out += '-';
  AppendNumber(out, magnitude / 10000);
  uint64_t fraction = magnitude % 10000;
  int digits = 4;
  while (digits > 2 && fraction % 10 == 0) {
    fraction /= 10;
    --digits;
  }
  out += '.';
  AppendPadded(out, fraction, digits);
}

// A double or float as an XQuery cast to string gives it: plain decimal
// notation between 1e-6 and 1e6, else a mantissa with at least one fraction
// digit and an exponent ("1.0E7"); the shortest digits that read back the
// same value.
template <typename T>
void AppendFloating(std::string& out, T value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-INF" : "INF";
    return;
  }
  if (value == 0) {
    out += std::signbit(value) ? "-0" : "0";
    return;
  }
  char buffer[64];
  const T magnitude = std::fabs(value);
  if (magnitude >= static_cast<T>(1e-6) && magnitude < static_cast<T>(1e6)) {
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    out.append(buffer, result.ptr);
    return;
  }
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  const size_t e = text.find('e');
  const std::string_view mantissa = text.substr(0, e);
  std::string_view exponent = text.substr(e + 1);
  out += mantissa;
  if (mantissa.find('.') == std::string_view::npos) out += ".0";
  out += 'E';
  if (exponent.front() == '-') out += '-';
  exponent.remove_prefix(1);
  while (exponent.size() > 1 && exponent.front() == '0') exponent.remove_prefix(1);
  out += exponent;
}

void AppendBase64(std::string& out, ByteSpan bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i + 1 == bytes.size()) {
    const uint32_t v = bytes[i] << 16;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    const uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
}

// "yyyy-MM-dd"; years before 1 with a minus sign, at least four digits.
void AppendDate(std::string& out, int64_t year, int64_t month, int64_t day) {
  if (year < 0) out += '-';
  AppendPadded(out, static_cast<uint64_t>(year < 0 ? -year : year), 4);
  out += '-';
  AppendPadded(out, static_cast<uint64_t>(month), 2);
  out += '-';
  AppendPadded(out, static_cast<uint64_t>(day), 2);
}

void AppendDayNumber(std::string& out, int64_t dayNumber) {
  const CivilDate date = DayNumberToDate(dayNumber);
  AppendDate(out, date.year, date.month, date.day);
}

// "HH:mm:ss" from a time of day counted in 10^-digits seconds, then the
// fraction without trailing zeros (none when it is zero).
void AppendClock(std::string& out, uint64_t units, int digits) {
  uint64_t perSecond = 1;
  for (int i = 0; i < digits; ++i) perSecond *= 10;
  const uint64_t seconds = units / perSecond;
  uint64_t fraction = units % perSecond;
  AppendPadded(out, seconds / 3600, 2);
  out += ':';
  AppendPadded(out, seconds / 60 % 60, 2);
  out += ':';
  AppendPadded(out, seconds % 60, 2);
  if (fraction == 0) return;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --digits;
  }
  out += '.';
  AppendPadded(out, fraction, digits);
}

// "Z" for UTC, else "+hh:mm" or "-hh:mm" (minutes east of UTC).
void AppendZone(std::string& out, int64_t minutes) {
  if (minutes == 0) {
    out += 'Z';
    return;
  }
  out += minutes < 0 ? '-' : '+';
  const auto magnitude = static_cast<uint64_t>(minutes < 0 ? -minutes : minutes);
  AppendPadded(out, magnitude / 60, 2);
  out += ':';
  AppendPadded(out, magnitude % 60, 2);
}

// The blob forms: a byte count (mb32 or mb64), then the bytes.
bool ReadBlob(ByteSpan data, size_t& offset, ByteSpan& bytes) {
  uint32_t count = 0;
  return ReadMb32(data, offset, count) && Take(data, offset, count, bytes);
}

// Text in a code page: the count includes the 4-byte code page number.
bool AppendCodePageText(ByteSpan data, size_t& offset, std::string& out) {
  ByteSpan blob;
  if (!ReadBlob(data, offset, blob) || blob.size() < 4) return false;
  const auto codePage = LoadLE<uint32_t>(blob, 0);
  const ByteSpan text = blob.subspan(4);
  if (codePage == kCodePageUtf16) {
    if (text.size() % 2 != 0) return false;
    AppendUtf16AsUtf8(text, out);
  } else {
    out += CodePageToUtf8(text, static_cast<int>(codePage));
  }
  return true;
}

// Length (7, 11, 15 or 19), precision, scale, sign (1 positive), magnitude.
bool AppendDecimal(ByteSpan data, size_t& offset, bool canonical, std::string& out) {
  uint32_t length = 0;
  ByteSpan body;
  if (!ReadMb32(data, offset, length) || (length != 7 && length != 11 && length != 15 && length != 19) ||
      !Take(data, offset, length, body))
    return false;
  const int precision = body[0];
  const int scale = body[1];
  if (precision > 38 || scale > precision) return false;
  AppendScaled(out, body[2] == 0, Magnitude(body.subspan(3)), scale, canonical);
  return true;
}

// sqltime: precision byte, then the time of day in 10^-p seconds in 3, 4 or
// 5 bytes.
bool ReadSqlTime(ByteSpan data, size_t& offset, int& precision, uint64_t& units) {
  uint8_t p = 0;
  if (!TakeLE(data, offset, p) || p > 7) return false;
  const size_t width = p <= 2 ? 3 : p <= 4 ? 4 : 5;
  ByteSpan bytes;
  if (!Take(data, offset, width, bytes)) return false;
  units = static_cast<uint64_t>(Magnitude(bytes));
  uint64_t perDay = 86400;
  for (int i = 0; i < p; ++i) perDay *= 10;
  precision = p;
  return units < perDay;
}

// sqldate: days since 0001-01-01 in 3 bytes.
bool ReadSqlDate(ByteSpan data, size_t& offset, int64_t& days) {
  ByteSpan bytes;
  if (!Take(data, offset, 3, bytes)) return false;
  days = static_cast<int64_t>(Magnitude(bytes));
  return days <= kLastDay;
}

bool ReadSqlZone(ByteSpan data, size_t& offset, int64_t& minutes) {
  int16_t zone = 0;
  if (!TakeLE(data, offset, zone) || zone < -kMaxZoneMinutes || zone > kMaxZoneMinutes) return false;
  minutes = zone;
  return true;
}

// The Version 2 date and time types (sqltime, sqldate, and for the offset
// forms the zone; their date and time are UTC).
bool AppendVersion2Time(uint8_t token, ByteSpan data, size_t& offset, std::string& out) {
  int64_t days = 0;
  if (token == kDate2) {
    if (!ReadSqlDate(data, offset, days)) return false;
    AppendDayNumber(out, days);
    return true;
  }
  int precision = 0;
  uint64_t units = 0;
  int64_t zone = 0;
  if (!ReadSqlTime(data, offset, precision, units) || !ReadSqlDate(data, offset, days)) return false;
  const bool offsetForm = token == kTimeOffset || token == kDateTimeOffset || token == kDateOffset;
  if (offsetForm && !ReadSqlZone(data, offset, zone)) return false;
  int64_t perSecond = 1;
  for (int i = 0; i < precision; ++i) perSecond *= 10;
  const int64_t perDay = 86400 * perSecond;
  if (token == kTimeOffset || token == kDateTimeOffset) {
    // Local time is the stored UTC time moved by the zone.
    const int64_t local = days * perDay + static_cast<int64_t>(units) + zone * 60 * perSecond;
    days = local >= 0 ? local / perDay : (local - perDay + 1) / perDay;
    units = static_cast<uint64_t>(local - days * perDay);
  }
  switch (token) {
    case kTime2:
      AppendClock(out, units, precision);
      break;
    case kDateTime2:
      AppendDayNumber(out, days);
      out += 'T';
      AppendClock(out, units, precision);
      break;
    case kTimeOffset:
      AppendClock(out, units, precision);
      AppendZone(out, zone);
      break;
    case kDateTimeOffset:
      AppendDayNumber(out, days);
      out += 'T';
      AppendClock(out, units, precision);
      AppendZone(out, zone);
      break;
    default:  // kDateOffset: the date as stored, the time part unused
      AppendDayNumber(out, days);
      AppendZone(out, zone);
      break;
  }
  return true;
}

// The packed 8-byte XSD date and time forms; the low two bits tell which.
bool AppendPackedTime(uint8_t token, ByteSpan data, size_t& offset, std::string& out) {
  uint64_t value = 0;
  if (!TakeLE(data, offset, value)) return false;
  const uint64_t tag = token == kXsdTime ? 0 : token == kXsdDateTime ? 2 : 1;
  if ((value & 3) != tag) return false;
  uint64_t q = value >> 2;
  uint64_t dayIndex = 0;
  if (token == kXsdDate) {
    const int64_t stored = static_cast<int64_t>(q % 1740) - 840;
    dayIndex = q / 1740;
    const int64_t year = static_cast<int64_t>(dayIndex / 372) - 9999;
    AppendDate(out, year, static_cast<int64_t>(dayIndex / 31 % 12 + 1), static_cast<int64_t>(dayIndex % 31 + 1));
    AppendZone(out, -stored);  // stored as minutes to add to reach UTC
    return true;
  }
  const uint64_t millis = q % 1000;
  q /= 1000;
  const uint64_t seconds = q % 60;
  q /= 60;
  const uint64_t minutes = q % 60;
  q /= 60;
  uint64_t hours = q;
  if (token == kXsdDateTime) {
    hours = q % 24;
    dayIndex = q / 24;
    const int64_t year = static_cast<int64_t>(dayIndex / 372) - 9999;
    AppendDate(out, year, static_cast<int64_t>(dayIndex / 31 % 12 + 1), static_cast<int64_t>(dayIndex % 31 + 1));
    out += 'T';
  } else if (hours >= 24) {
    return false;
  }
  AppendClock(out, ((hours * 60 + minutes) * 60 + seconds) * 1000 + millis, 3);
  out += 'Z';
  return true;
}

// datetime: days since 1900-01-01, then 1/300-second ticks; the
// milliseconds are the ticks rounded to the nearest millisecond.
bool AppendSqlDateTime(ByteSpan data, size_t& offset, std::string& out) {
  int32_t days = 0;
  uint32_t ticks = 0;
  if (!TakeLE(data, offset, days) || !TakeLE(data, offset, ticks) || ticks >= kTicksPerDay) return false;
  const int64_t dayNumber = kDay1900 + days;
  if (dayNumber < 0 || dayNumber > kLastDay) return false;
  AppendDayNumber(out, dayNumber);
  out += 'T';
  AppendClock(out, (static_cast<uint64_t>(ticks) * 10 + 1) / 3, 3);
  return true;
}

bool AppendSmallDateTime(ByteSpan data, size_t& offset, std::string& out) {
  uint16_t days = 0;
  uint16_t minutes = 0;
  if (!TakeLE(data, offset, days) || !TakeLE(data, offset, minutes) || minutes >= 1440) return false;
  AppendDayNumber(out, kDay1900 + days);
  out += 'T';
  AppendClock(out, static_cast<uint64_t>(minutes) * 60, 0);
  return true;
}

template <typename T>
bool AppendInteger(ByteSpan data, size_t& offset, std::string& out) {
  T value = 0;
  if (!TakeLE(data, offset, value)) return false;
  AppendNumber(out, value);
  return true;
}

}  // namespace

bool ReadMb32(ByteSpan data, size_t& offset, uint32_t& value) {
  uint32_t result = 0;
  for (int i = 0; i < 5; ++i) {
    if (offset >= data.size()) return false;
    const uint8_t b = data[offset++];
    if (i == 4 && b > 0x07) return false;  // beyond 31 bits, or a sixth byte
    result |= static_cast<uint32_t>(b & 0x7F) << (7 * i);
    if ((b & 0x80) == 0) {
      value = result;
      return true;
    }
  }
  return false;
}

void AppendUtf16AsUtf8(ByteSpan utf16le, std::string& out) {
  const size_t units = utf16le.size() / 2;
  const uint8_t* p = utf16le.data();
  char ascii[256];
  for (size_t i = 0; i < units; ++i) {
    uint32_t u = p[2 * i] | (p[2 * i + 1] << 8);
    if (u < 0x80) {
      // Runs of ASCII, the bulk of most documents, are copied in blocks.
      size_t n = 0;
      do {
        ascii[n++] = static_cast<char>(u);
        if (++i == units) break;
        u = p[2 * i] | (p[2 * i + 1] << 8);
      } while (u < 0x80 && n < sizeof ascii);
      out.append(ascii, n);
      --i;
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const uint32_t low = p[2 * i + 2] | (p[2 * i + 3] << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    AppendUtf8(out, u);
  }
}

bool ReadXmlTextData(ByteSpan data, size_t& offset, std::string& out) {
  uint32_t units = 0;
  ByteSpan bytes;
  if (!ReadMb32(data, offset, units) || !Take(data, offset, 2 * static_cast<size_t>(units), bytes)) return false;
  AppendUtf16AsUtf8(bytes, out);
  return true;
}

bool IsXmlAtomicToken(uint8_t token) {
  return (token >= kSmallInt && token <= kSmallMoney) || (token >= kText && token <= kNText) || token == kUdt ||
         (token >= kTimeOffset && token <= kDate2) || (token >= kXsdTime && token <= kQName);
}

bool IsXmlStringToken(uint8_t token) {
  return token == kChar || token == kNChar || token == kVarChar || token == kNVarChar || token == kText ||
         token == kNText;
}

bool AppendXmlAtomicValue(uint8_t token, ByteSpan data, size_t& offset, std::string& out) {
  ByteSpan bytes;
  switch (token) {
    case kSmallInt:
      return AppendInteger<int16_t>(data, offset, out);
    case kInt:
      return AppendInteger<int32_t>(data, offset, out);
    case kBigInt:
      return AppendInteger<int64_t>(data, offset, out);
    case kTinyInt:
    case kBit:
      return AppendInteger<uint8_t>(data, offset, out);
    case kByte:
      return AppendInteger<int8_t>(data, offset, out);
    case kUnsignedShort:
      return AppendInteger<uint16_t>(data, offset, out);
    case kUnsignedInt:
      return AppendInteger<uint32_t>(data, offset, out);
    case kUnsignedLong:
      return AppendInteger<uint64_t>(data, offset, out);
    case kReal: {
      uint32_t bits = 0;
      if (!TakeLE(data, offset, bits)) return false;
      AppendFloating(out, std::bit_cast<float>(bits));
      return true;
    }
    case kFloat: {
      uint64_t bits = 0;
      if (!TakeLE(data, offset, bits)) return false;
      AppendFloating(out, std::bit_cast<double>(bits));
      return true;
    }
    case kMoney: {
      int64_t value = 0;
      if (!TakeLE(data, offset, value)) return false;
      AppendMoney(out, value);
      return true;
    }
    case kSmallMoney: {
      int32_t value = 0;
      if (!TakeLE(data, offset, value)) return false;
      AppendMoney(out, value);
      return true;
    }
    case kBoolean: {
      uint8_t value = 0;
      if (!TakeLE(data, offset, value)) return false;
      out += value != 0 ? "true" : "false";
      return true;
    }
    case kUuid:
      if (!Take(data, offset, 16, bytes)) return false;
      out += FormatGuid(bytes);
      return true;
    case kSqlDecimal:
    case kSqlNumeric:
      return AppendDecimal(data, offset, false, out);
    case kXsdDecimal:
      return AppendDecimal(data, offset, true, out);
    case kNChar:
    case kNVarChar:
    case kNText:
      return ReadXmlTextData(data, offset, out);
    case kChar:
    case kVarChar:
    case kText:
      return AppendCodePageText(data, offset, out);
    case kBinary:
    case kVarBinary:
    case kImage:
    case kUdt:
    case kBase64:
      if (!ReadBlob(data, offset, bytes)) return false;
      AppendBase64(out, bytes);
      return true;
    case kBinHex:
      if (!ReadBlob(data, offset, bytes)) return false;
      out += HexDigits(bytes);
      return true;
    case kSqlDateTime:
      return AppendSqlDateTime(data, offset, out);
    case kSmallDateTime:
      return AppendSmallDateTime(data, offset, out);
    case kXsdTime:
    case kXsdDateTime:
    case kXsdDate:
      return AppendPackedTime(token, data, offset, out);
    case kTimeOffset:
    case kDateTimeOffset:
    case kDateOffset:
    case kTime2:
    case kDateTime2:
    case kDate2:
      return AppendVersion2Time(token, data, offset, out);
    default:
      return false;
  }
}

}  // namespace ravelin
