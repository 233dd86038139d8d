#include "support/compressor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <stdexcept>

#include "rows/value_render.h"
#include "storage/text_codec.h"

namespace ravelin::testing {
namespace {

// --- helpers -------------------------------------------------------------

int64_t ReadSignedLE(const Bytes& bytes) {
  uint64_t v = 0;
  for (size_t i = 0; i < bytes.size() && i < 8; ++i) v |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  const size_t bits = 8 * std::min<size_t>(bytes.size(), 8);
  if (bits > 0 && bits < 64 && ((v >> (bits - 1)) & 1)) v |= ~uint64_t{0} << bits;
  return static_cast<int64_t>(v);
}

Bytes StripFront(const Bytes& bytes, uint8_t value) {
  auto first = std::find_if(bytes.begin(), bytes.end(), [value](uint8_t b) { return b != value; });
  return Bytes(first, bytes.end());
}

Bytes StripBack(Bytes bytes, uint8_t value) {
  while (!bytes.empty() && bytes.back() == value) bytes.pop_back();
  return bytes;
}

// Scaled time units of a time(scale) value and their byte width.
size_t TimeWidth(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

uint64_t TimeUnits(int hour, int minute, int second, uint64_t fraction, int scale) {
  uint64_t units = static_cast<uint64_t>(hour * 3600 + minute * 60 + second);
  for (int i = 0; i < scale; ++i) units *= 10;
  return units + fraction;
}

void AppendLE(Bytes& out, uint64_t v, size_t width) {
  for (size_t i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

size_t DecimalWidth(int precision) { return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17; }

// The decimal digits of a little-endian magnitude.
std::string MagnitudeDigits(Bytes magnitude) {
  std::string digits;
  while (std::any_of(magnitude.begin(), magnitude.end(), [](uint8_t b) { return b != 0; })) {
    unsigned remainder = 0;
    for (size_t i = magnitude.size(); i-- > 0;) {
      const unsigned v = (remainder << 8) | magnitude[i];
      magnitude[i] = static_cast<uint8_t>(v / 10);
      remainder = v % 10;
    }
    digits.insert(digits.begin(), static_cast<char>('0' + remainder));
  }
  return digits;
}

size_t CommonPrefix(const Bytes& a, const Bytes& b) {
  size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

// A count as the CD format writes it: one byte below 128, else two.
void AppendCount(Bytes& out, size_t count) {
  if (count < 0x80) {
    out.push_back(static_cast<uint8_t>(count));
  } else {
    out.push_back(static_cast<uint8_t>(0x80 | (count >> 8)));
    out.push_back(static_cast<uint8_t>(count));
  }
}

// --- SCSU encoding ---------------------------------------------------------

constexpr std::array<uint32_t, 8> kWindows = {0x0080, 0x00C0, 0x0400, 0x0600, 0x0900, 0x3040, 0x30A0, 0xFF00};

std::vector<uint32_t> CodePoints(const Bytes& utf16) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
    uint32_t u = utf16[i] | (utf16[i + 1] << 8);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < utf16.size()) {
      const uint32_t low = utf16[i + 2] | (utf16[i + 3] << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    out.push_back(u);
  }
  return out;
}

bool InWindow(uint32_t cp, uint32_t window) { return cp >= window && cp < window + 0x80; }

// The define-window operand for a window holding `cp`, or 0 for none.
uint8_t WindowByte(uint32_t cp) {
  if (cp >= 0x80 && cp < 0x3400) return static_cast<uint8_t>(cp >> 7);
  if (cp >= 0xE000 && cp <= 0xFFFF) return static_cast<uint8_t>((cp - 0xAC00) >> 7);
  return 0;
}

struct ScsuOutput {
  Bytes bytes;
  bool unicodeMode = false;
};

ScsuOutput Encode(const Bytes& utf16) {
  ScsuOutput out;
  Bytes& b = out.bytes;
  std::array<uint32_t, 8> windows = kWindows;
  size_t active = 0;
  size_t nextDefined = 0;
  const std::vector<uint32_t> cps = CodePoints(utf16);
  auto windowOf = [&windows](uint32_t cp) -> int {
    for (size_t n = 0; n < 8; ++n)
      if (InWindow(cp, windows[n])) return static_cast<int>(n);
    return -1;
  };
  auto plain = [](uint32_t cp) { return cp == 0 || cp == 9 || cp == 10 || cp == 13 || (cp >= 0x20 && cp < 0x80); };
  auto emitUnit = [&b](uint32_t unit) {
    if (unit >> 8 >= 0xE0 && unit >> 8 <= 0xF2) b.push_back(0xF0);  // UQU
    b.push_back(static_cast<uint8_t>(unit >> 8));
    b.push_back(static_cast<uint8_t>(unit));
  };
  for (size_t i = 0; i < cps.size(); ++i) {
    const uint32_t cp = cps[i];
    const bool hasNext = i + 1 < cps.size();
    if (out.unicodeMode) {
      if (plain(cp) || windowOf(cp) >= 0) {
        b.push_back(static_cast<uint8_t>(0xE0 + active));  // UCn
        out.unicodeMode = false;
      } else {
        if (cp >= 0x10000) {
          emitUnit(0xD800 + ((cp - 0x10000) >> 10));
          emitUnit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
          emitUnit(cp);
        }
        continue;
      }
    }
    if (plain(cp)) {
      b.push_back(static_cast<uint8_t>(cp));
    } else if (cp < 0x20) {
      b.push_back(0x01);  // SQ0 from static window 0
      b.push_back(static_cast<uint8_t>(cp));
    } else if (InWindow(cp, windows[active])) {
      b.push_back(static_cast<uint8_t>(0x80 + cp - windows[active]));
    } else if (const int n = windowOf(cp); n >= 0) {
      if (hasNext && InWindow(cps[i + 1], windows[static_cast<size_t>(n)])) {
        active = static_cast<size_t>(n);
        b.push_back(static_cast<uint8_t>(0x10 + n));  // SCn
      } else {
        b.push_back(static_cast<uint8_t>(0x01 + n));  // SQn
      }
      b.push_back(static_cast<uint8_t>(0x80 + cp - windows[static_cast<size_t>(n)]));
    } else if (const uint8_t x = WindowByte(cp); x != 0) {
      active = nextDefined;
      nextDefined = (nextDefined + 1) % 8;
      windows[active] = x <= 0x67 ? x * 0x80u : x * 0x80u + 0xAC00u;
      b.push_back(static_cast<uint8_t>(0x18 + active));  // SDn
      b.push_back(x);
      b.push_back(static_cast<uint8_t>(0x80 + cp - windows[active]));
    } else {
      b.push_back(0x0F);  // SCU
      out.unicodeMode = true;
      --i;  // written in Unicode mode
    }
  }
  return out;
}

// --- record writing ----------------------------------------------------------

uint8_t CodeOf(const CdCell& cell) {
  switch (cell.kind) {
    case CdCell::Kind::kNull:
      return kCdNull;
    case CdCell::Kind::kEmpty:
      return kCdEmpty;
    case CdCell::Kind::kBitOne:
      return kCdBitOne;
    case CdCell::Kind::kSymbol:
      return kCdPageSymbol;
    case CdCell::Kind::kBytes:
      if (cell.bytes.empty()) return kCdEmpty;
      if (!cell.complex && cell.bytes.size() <= 8) return static_cast<uint8_t>(cell.bytes.size() + 1);
      return kCdLong;
  }
  return kCdNull;
}

CdCell StoredCell(const ColumnDescriptor& column, const CellValue& value) {
  if (!value.bytes) return CdCell::Of(CdCell::Kind::kNull);
  if (column.typeCode == kTypeBit)
    return CdCell::Of(!value.bytes->empty() && (*value.bytes)[0] ? CdCell::Kind::kBitOne : CdCell::Kind::kEmpty);
  if (value.complex) return CdCell::Stored(*value.bytes, true);
  Bytes stored = CompressValue(column, *value.bytes);
  if (stored.empty()) return CdCell::Of(CdCell::Kind::kEmpty);
  return CdCell::Stored(std::move(stored));
}

bool Abbreviable(const ColumnDescriptor& column, const CdCell& cell) {
  return column.typeCode != kTypeBit && cell.kind != CdCell::Kind::kNull && !cell.complex;
}

}  // namespace

// --- uncompressed values -------------------------------------------------------

int64_t DaysFromCivil(int year, int month, int day) {
  // Days from 1970-01-01 (proleptic Gregorian), shifted to 0001-01-01.
  const int64_t y = year - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  constexpr int64_t kUnixEpochFromYearOne = 719162;
  return era * 146097 + doe - 719468 + kUnixEpochFromYearOne;
}

Bytes SqlIntBytes(int64_t value, size_t width) {
  Bytes out;
  AppendLE(out, static_cast<uint64_t>(value), width);
  return out;
}

Bytes SqlDateTimeBytes(int year, int month, int day, int hour, int minute, int second, int millis) {
  const int64_t days = DaysFromCivil(year, month, day) - DaysFromCivil(1900, 1, 1);
  const int64_t ticks = (hour * 3600 + minute * 60 + second) * int64_t{300} + (millis * 3 + 5) / 10;
  return Concat({SqlIntBytes(ticks, 4), SqlIntBytes(days, 4)});
}

Bytes SqlSmallDateTimeBytes(int year, int month, int day, int hour, int minute) {
  const int64_t days = DaysFromCivil(year, month, day) - DaysFromCivil(1900, 1, 1);
  return Concat({SqlIntBytes(hour * 60 + minute, 2), SqlIntBytes(days, 2)});
}

Bytes SqlDateBytes(int year, int month, int day) { return SqlIntBytes(DaysFromCivil(year, month, day), 3); }

Bytes SqlTimeBytes(int hour, int minute, int second, uint64_t fraction, int scale) {
  Bytes out;
  AppendLE(out, TimeUnits(hour, minute, second, fraction, scale), TimeWidth(scale));
  return out;
}

Bytes SqlDateTime2Bytes(int year, int month, int day, int hour, int minute, int second, uint64_t fraction, int scale) {
  return Concat({SqlTimeBytes(hour, minute, second, fraction, scale), SqlDateBytes(year, month, day)});
}

Bytes SqlDateTimeOffsetBytes(int year, int month, int day, int hour, int minute, int second, uint64_t fraction,
                             int scale, int16_t offsetMinutes) {
  return Concat(
      {SqlDateTime2Bytes(year, month, day, hour, minute, second, fraction, scale), SqlIntBytes(offsetMinutes, 2)});
}

Bytes SqlDecimalBytes(const std::string& text, int precision, int scale) {
  const bool negative = !text.empty() && text[0] == '-';
  std::string whole = text.substr(negative ? 1 : 0);
  std::string fraction;
  if (const size_t dot = whole.find('.'); dot != std::string::npos) {
    fraction = whole.substr(dot + 1);
    whole.resize(dot);
  }
  if (fraction.size() > static_cast<size_t>(scale)) throw std::invalid_argument("too many decimals: " + text);
  fraction.append(static_cast<size_t>(scale) - fraction.size(), '0');
  Bytes out = {static_cast<uint8_t>(negative ? 0 : 1)};
  Bytes magnitude(DecimalWidth(precision) - 1, 0);
  for (char c : whole + fraction) {
    unsigned carry = static_cast<unsigned>(c - '0');
    for (uint8_t& b : magnitude) {
      const unsigned v = b * 10u + carry;
      b = static_cast<uint8_t>(v);
      carry = v >> 8;
    }
  }
  out.insert(out.end(), magnitude.begin(), magnitude.end());
  return out;
}

Bytes SqlFloatBytes(double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return SqlIntBytes(static_cast<int64_t>(bits), 8);
}

Bytes SqlRealBytes(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return SqlIntBytes(bits, 4);
}

Bytes SqlCharBytes(const std::string& text, size_t width) {
  Bytes out = Ascii(text);
  out.resize(width, ' ');
  return out;
}

Bytes SqlNCharBytes(const std::string& text, size_t width) {
  Bytes out = Utf16(text);
  while (out.size() + 2 <= width) out.insert(out.end(), {0x20, 0x00});
  return out;
}

Bytes SqlBinaryBytes(const Bytes& bytes, size_t width) {
  Bytes out = bytes;
  out.resize(width, 0);
  return out;
}

// --- columns ---------------------------------------------------------------

ColumnDescriptor SqlColumn(const std::string& name, const std::string& typeText, int32_t typeCode, uint8_t precision,
                           uint8_t scale) {
  ColumnDescriptor d = MakeColumnDescriptor(name, typeText, typeCode);
  d.precision = precision;
  d.scale = scale;
  d.stored = 1;
  d.nullable = 1;
  return d;
}

void LayOutColumns(std::vector<ColumnDescriptor>& columns) {
  int16_t offset = 4;
  int16_t variable = -1;
  int bitsInByte = 8;
  int16_t bitByte = 0;
  for (size_t j = 0; j < columns.size(); ++j) {
    ColumnDescriptor& d = columns[j];
    d.columnId = d.hobtColumnId = static_cast<int32_t>(j + 1);
    d.nullBit = static_cast<int32_t>(j + 1);
    BitCursor cursor;
    const ValueLayout shape = DescribeValue(d, cursor);
    if (shape.variable) {
      d.leafOffset = variable--;
    } else if (d.typeCode == kTypeBit) {
      if (bitsInByte == 8) {
        bitByte = offset++;
        bitsInByte = 0;
      }
      ++bitsInByte;
      d.leafOffset = bitByte;
    } else {
      d.leafOffset = offset;
      offset = static_cast<int16_t>(offset + shape.fixedLength);
    }
  }
}

// --- values ----------------------------------------------------------------

Bytes CompressInteger(int64_t value) {
  if (value == 0) return {};
  size_t length = 1;
  while (length < 8) {
    const int64_t limit = int64_t{1} << (8 * length - 1);
    if (value >= -limit && value < limit) break;
    ++length;
  }
  Bytes out;
  for (size_t i = length; i-- > 0;) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
  out[0] ^= 0x80;
  return out;
}

Bytes CompressDecimal(const Bytes& uncompressed, int scale) {
  if (uncompressed.empty()) return {};
  const bool negative = uncompressed[0] == 0;
  std::string digits = MagnitudeDigits(Bytes(uncompressed.begin() + 1, uncompressed.end()));
  if (digits.empty()) return {};
  // Groups of three digits aligned on the decimal point.
  if (digits.size() < static_cast<size_t>(scale) + 1)
    digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
  std::string whole = digits.substr(0, digits.size() - static_cast<size_t>(scale));
  std::string fraction = digits.substr(whole.size());
  whole.insert(0, (3 - whole.size() % 3) % 3, '0');
  fraction.append((3 - fraction.size() % 3) % 3, '0');
  std::string all = whole + fraction;
  const size_t firstDigit = all.find_first_not_of('0');
  int exponent = static_cast<int>(whole.size()) - static_cast<int>(firstDigit) - 1;
  // Leading and trailing groups of zeros are not stored.
  size_t start = firstDigit / 3 * 3;
  size_t end = (all.find_last_not_of('0') / 3 + 1) * 3;
  all = all.substr(start, end - start);
  Bytes out = {static_cast<uint8_t>((negative ? 0 : 0x80) | (exponent + 64))};
  std::vector<bool> bits;
  for (size_t g = 0; g < all.size(); g += 3) {
    const int group = std::stoi(all.substr(g, 3));
    for (int k = 9; k >= 0; --k) bits.push_back((group >> k) & 1);
  }
  for (size_t i = 0; i < bits.size(); i += 8) {
    uint8_t byte = 0;
    for (size_t k = 0; k < 8; ++k) byte = static_cast<uint8_t>((byte << 1) | (i + k < bits.size() && bits[i + k]));
    out.push_back(byte);
  }
  while (out.size() > 1 && out.back() == 0) out.pop_back();
  return out;
}

Bytes ScsuEncode(const Bytes& utf16) { return Encode(utf16).bytes; }

Bytes CompressUnicode(const Bytes& utf16) {
  ScsuOutput scsu = Encode(utf16);
  if (scsu.bytes.size() % 2 == 0) scsu.bytes.push_back(scsu.unicodeMode ? 0xE0 : 0x10);
  return scsu.bytes.size() < utf16.size() ? scsu.bytes : utf16;
}

Bytes CompressValue(const ColumnDescriptor& column, const Bytes& value) {
  BitCursor cursor;
  const ValueLayout shape = DescribeValue(column, cursor);
  switch (column.typeCode) {
    case kTypeBigInt:
    case kTypeInt:
    case kTypeSmallInt:
    case kTypeMoney:
    case kTypeSmallMoney:
    case kTypeDateTime:
      return CompressInteger(ReadSignedLE(value));
    case kTypeTinyInt:
      return value.empty() || value[0] == 0 ? Bytes{} : Bytes{value[0]};
    case kTypeSmallDateTime:
    case kTypeReal:
    case kTypeFloat:
    case kTypeTimestamp:
      return StripFront(value, 0);
    case kTypeDate:
    case kTypeTime:
    case kTypeDateTime2:
    case kTypeDateTimeOffset:
      return StripBack(value, 0);
    case kTypeDecimal:
    case kTypeNumeric:
      return CompressDecimal(value, column.scale);
    case kTypeChar:
      return shape.variable ? value : StripBack(value, ' ');
    case kTypeBinary:
      return shape.variable ? value : StripBack(value, 0);
    case kTypeNChar: {
      Bytes text = value;
      while (!shape.variable && text.size() >= 2 && text[text.size() - 2] == 0x20 && text.back() == 0)
        text.resize(text.size() - 2);
      return CompressUnicode(text);
    }
    case kTypeNVarChar:
      if (column.length < 0) return value;
      return CompressUnicode(value);
    default:
      return value;
  }
}

// --- records -----------------------------------------------------------------

Bytes WriteCdRecord(const std::vector<CdCell>& cells, CdRecordType type, bool versioning) {
  const size_t n = cells.size();
  const size_t clusters = n == 0 ? 0 : (n - 1) / kCdClusterSize + 1;
  bool anyLong = false;
  for (const CdCell& c : cells) anyLong = anyLong || CodeOf(c) == kCdLong;
  Bytes r = {static_cast<uint8_t>(kCdHeaderFormat | (static_cast<uint8_t>(type) << 2) |
                                  (versioning ? kCdHeaderVersioning : 0) | (anyLong ? kCdHeaderLongData : 0))};
  AppendCount(r, n);
  for (size_t i = 0; i < n; i += 2) {
    // The unused high nibble of an odd count holds 1, as SQL Server writes it.
    const uint8_t high = i + 1 < n ? CodeOf(cells[i + 1]) : 0x1;
    r.push_back(static_cast<uint8_t>(CodeOf(cells[i]) | (high << 4)));
  }
  Bytes shortData;
  std::vector<size_t> shortPerCluster(clusters, 0);
  std::vector<size_t> longPerCluster(clusters, 0);
  Bytes longData;
  std::vector<uint16_t> ends;
  for (size_t i = 0; i < n; ++i) {
    const CdCell& c = cells[i];
    const uint8_t code = CodeOf(c);
    Bytes piece;
    if (code == kCdPageSymbol) {
      AppendCount(piece, c.symbol);
    } else if (code >= kCdShortFirst && code <= kCdShortLast) {
      piece = c.bytes;
    } else if (code == kCdLong) {
      longData.insert(longData.end(), c.bytes.begin(), c.bytes.end());
      ends.push_back(static_cast<uint16_t>(longData.size() | (c.complex ? 0x8000 : 0)));
      ++longPerCluster[i / kCdClusterSize];
    }
    shortData.insert(shortData.end(), piece.begin(), piece.end());
    shortPerCluster[i / kCdClusterSize] += piece.size();
  }
  for (size_t c = 0; c + 1 < clusters; ++c) r.push_back(static_cast<uint8_t>(shortPerCluster[c]));
  r.insert(r.end(), shortData.begin(), shortData.end());
  if (anyLong) {
    r.push_back(0x01);
    r.push_back(static_cast<uint8_t>(ends.size()));
    r.push_back(static_cast<uint8_t>(ends.size() >> 8));
    for (uint16_t e : ends) {
      r.push_back(static_cast<uint8_t>(e));
      r.push_back(static_cast<uint8_t>(e >> 8));
    }
    for (size_t c = 0; c + 1 < clusters; ++c) r.push_back(static_cast<uint8_t>(longPerCluster[c]));
    r.insert(r.end(), longData.begin(), longData.end());
  }
  if (versioning) r.insert(r.end(), kCdVersioningSize, 0);
  return r;
}

std::vector<CdCell> RowCells(const std::vector<ColumnDescriptor>& columns, const RowValues& row) {
  std::vector<CdCell> cells;
  for (size_t j = 0; j < columns.size(); ++j)
    cells.push_back(j < row.size() ? StoredCell(columns[j], row[j]) : CdCell{});
  return cells;
}

Bytes CompressRow(const std::vector<ColumnDescriptor>& columns, const RowValues& row, CdRecordType type) {
  return WriteCdRecord(RowCells(columns, row), type);
}

// --- page compression --------------------------------------------------------

std::optional<Bytes> Abbreviate(const Bytes& stored, const Bytes& anchor) {
  if (stored == anchor) return std::nullopt;
  const size_t prefix = std::min<size_t>(CommonPrefix(stored, anchor), 0x7FFF);
  Bytes out;
  AppendCount(out, prefix);
  out.insert(out.end(), stored.begin() + static_cast<std::ptrdiff_t>(prefix), stored.end());
  return out;
}

namespace {

// A row's cells with prefixes applied, before dictionary symbols.
std::vector<CdCell> PrefixedCells(const std::vector<ColumnDescriptor>& columns, const RowValues& row,
                                  const std::vector<std::optional<Bytes>>& anchors) {
  std::vector<CdCell> cells = RowCells(columns, row);
  for (size_t j = 0; j < cells.size(); ++j) {
    CdCell& c = cells[j];
    if (j >= anchors.size() || !anchors[j] || !Abbreviable(columns[j], c)) continue;
    const Bytes stored = c.kind == CdCell::Kind::kBytes ? c.bytes : Bytes{};
    if (auto abbreviated = Abbreviate(stored, *anchors[j]))
      c = CdCell::Stored(std::move(*abbreviated));
    else
      c = CdCell::Of(CdCell::Kind::kEmpty);
  }
  return cells;
}

size_t SymbolSize(size_t index) { return index < 0x80 ? 1 : 2; }

}  // namespace

PagePlan PlanPage(const std::vector<ColumnDescriptor>& columns, const std::vector<RowValues>& rows) {
  PagePlan plan;
  plan.anchors.resize(columns.size());
  for (size_t j = 0; j < columns.size(); ++j) {
    std::vector<Bytes> values;
    for (const RowValues& row : rows) {
      if (j >= row.size()) continue;
      const CdCell cell = StoredCell(columns[j], row[j]);
      if (!Abbreviable(columns[j], cell)) continue;
      values.push_back(cell.kind == CdCell::Kind::kBytes ? cell.bytes : Bytes{});
    }
    // The anchor saves what its prefixes save, less one prefix byte per
    // value; values equal to it cost nothing at all.
    int64_t bestSaving = 0;
    for (const Bytes& candidate : values) {
      int64_t saving = 0;
      for (const Bytes& v : values)
        saving +=
            v == candidate ? static_cast<int64_t>(v.size()) : static_cast<int64_t>(CommonPrefix(v, candidate)) - 1;
      if (saving > bestSaving) {
        bestSaving = saving;
        plan.anchors[j] = candidate;
      }
    }
  }
  std::map<Bytes, size_t> seen;
  std::vector<Bytes> order;
  for (const RowValues& row : rows) {
    for (const CdCell& c : PrefixedCells(columns, row, plan.anchors)) {
      if (c.kind != CdCell::Kind::kBytes || c.complex || c.bytes.size() < 2) continue;
      if (seen[c.bytes]++ == 0) order.push_back(c.bytes);
    }
  }
  for (const Bytes& value : order)
    if (seen[value] >= 2 && plan.dictionary.size() < 0x7FFF) plan.dictionary.push_back(value);
  return plan;
}

std::vector<CdCell> PageCells(const std::vector<ColumnDescriptor>& columns, const RowValues& row,
                              const PagePlan& plan) {
  std::vector<CdCell> cells = PrefixedCells(columns, row, plan.anchors);
  for (CdCell& c : cells) {
    if (c.kind != CdCell::Kind::kBytes || c.complex) continue;
    const auto found = std::find(plan.dictionary.begin(), plan.dictionary.end(), c.bytes);
    if (found == plan.dictionary.end()) continue;
    const auto index = static_cast<size_t>(found - plan.dictionary.begin());
    if (SymbolSize(index) < c.bytes.size()) c = CdCell::Symbol(static_cast<uint16_t>(index));
  }
  return cells;
}

Bytes CompressRowOnPage(const std::vector<ColumnDescriptor>& columns, const RowValues& row, const PagePlan& plan,
                        CdRecordType type) {
  return WriteCdRecord(PageCells(columns, row, plan), type);
}

Bytes AnchorRecord(const PagePlan& plan) {
  std::vector<CdCell> cells;
  for (const auto& anchor : plan.anchors) {
    if (!anchor)
      cells.push_back(CdCell::Of(CdCell::Kind::kNull));
    else if (anchor->empty())
      cells.push_back(CdCell::Of(CdCell::Kind::kEmpty));
    else
      cells.push_back(CdCell::Stored(*anchor));
  }
  return WriteCdRecord(cells);
}

Bytes DictionaryBytes(const std::vector<Bytes>& entries) {
  Bytes out;
  AppendLE(out, entries.size(), 2);
  size_t end = 2 + 2 * entries.size();
  for (const Bytes& e : entries) {
    end += e.size();
    AppendLE(out, end, 2);
  }
  for (const Bytes& e : entries) out.insert(out.end(), e.begin(), e.end());
  return out;
}

Bytes CompressionInfoBytes(const PagePlan& plan) {
  const bool anchor =
      std::any_of(plan.anchors.begin(), plan.anchors.end(), [](const auto& a) { return a.has_value(); });
  const bool dictionary = !plan.dictionary.empty();
  const Bytes anchorBytes = anchor ? AnchorRecord(plan) : Bytes{};
  const uint8_t flags = static_cast<uint8_t>((anchor ? 0x02 : 0) | (dictionary ? 0x04 : 0));
  Bytes out = {flags};
  AppendLE(out, plan.pageModCount, 2);
  if (dictionary) {
    const Bytes dict = DictionaryBytes(plan.dictionary);
    AppendLE(out, 7 + anchorBytes.size(), 2);
    AppendLE(out, 7 + anchorBytes.size() + dict.size(), 2);
    out.insert(out.end(), anchorBytes.begin(), anchorBytes.end());
    out.insert(out.end(), dict.begin(), dict.end());
  } else {
    AppendLE(out, 5 + anchorBytes.size(), 2);
    out.insert(out.end(), anchorBytes.begin(), anchorBytes.end());
  }
  return out;
}

// --- pages -------------------------------------------------------------------

PagePlan FillCompressedPage(PageBuilder& page, const std::vector<ColumnDescriptor>& columns,
                            const std::vector<CompressedRow>& rows, Compression mode,
                            const std::optional<PagePlan>& plan) {
  PagePlan used;
  if (mode == Compression::kPage) {
    if (plan) {
      used = *plan;
    } else {
      std::vector<RowValues> values;
      for (const CompressedRow& r : rows) values.push_back(r.values);
      used = PlanPage(columns, values);
    }
    page.TypeFlagBits(0x80);
    page.AddUnslottedRecord(CompressionInfoBytes(used));
  }
  int16_t ghosts = 0;
  for (const CompressedRow& r : rows) {
    CdRecord kind;
    kind.type = r.type;
    ghosts = static_cast<int16_t>(ghosts + (kind.IsGhost() ? 1 : 0));
    page.AddRecord(mode == Compression::kPage ? CompressRowOnPage(columns, r.values, used, r.type)
                                              : CompressRow(columns, r.values, r.type));
  }
  page.GhostCount(ghosts);
  return used;
}

Bytes UncompressedRecord(const std::vector<ColumnDescriptor>& columns, const RowValues& row, int recordType) {
  size_t fixedEnd = 4;
  for (const ColumnDescriptor& d : columns) {
    BitCursor cursor;
    const ValueLayout shape = DescribeValue(d, cursor);
    if (!shape.variable)
      fixedEnd =
          std::max(fixedEnd, static_cast<size_t>(d.leafOffset) + (d.typeCode == kTypeBit ? 1 : shape.fixedLength));
  }
  Bytes fixed(fixedEnd - 4, 0);
  std::map<int, std::pair<Bytes, bool>> vars;
  std::map<int, int> bitsAt;
  RecordBuilder builder;
  builder.Type(recordType).ColumnCount(static_cast<int16_t>(columns.size()));
  for (size_t j = 0; j < columns.size(); ++j) {
    const ColumnDescriptor& d = columns[j];
    BitCursor cursor;
    const ValueLayout shape = DescribeValue(d, cursor);
    const int bit = d.typeCode == kTypeBit ? bitsAt[d.leafOffset]++ : 0;
    const CellValue& v = j < row.size() ? row[j] : CellValue{};
    if (!v.bytes) {
      builder.NullColumn(d.nullBit - 1);
      continue;
    }
    if (shape.variable) {
      vars[-1 - d.leafOffset] = {*v.bytes, v.complex};
    } else if (d.typeCode == kTypeBit) {
      if (!v.bytes->empty() && (*v.bytes)[0]) fixed[d.leafOffset - 4] |= static_cast<uint8_t>(1 << bit);
    } else {
      std::copy(v.bytes->begin(), v.bytes->end(), fixed.begin() + (d.leafOffset - 4));
    }
  }
  builder.Fixed(fixed);
  const int varCount = vars.empty() ? 0 : vars.rbegin()->first + 1;
  for (int k = 0; k < varCount; ++k) {
    const auto found = vars.find(k);
    if (found == vars.end())
      builder.Var({});
    else
      builder.Var(found->second.first, found->second.second);
  }
  return builder.Build();
}

}  // namespace ravelin::testing
