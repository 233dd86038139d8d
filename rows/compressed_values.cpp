#include "rows/compressed_values.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "rows/value_render.h"
#include "storage/scsu.h"

namespace ravelin {
namespace {

// A record's fixed part holds at most 8060 bytes after the 4 header bytes.
constexpr size_t kMaxFixedEnd = 4 + 8060;
// Variable column end offsets keep bit 15 for the complex flag.
constexpr size_t kMaxRecordEnd = 0x7FFF;
constexpr size_t kMaxDecimalDigits = 77;  // far beyond any 17-byte magnitude

// Status byte A of the rebuilt record.
constexpr uint8_t kNullBitmapBit = 0x10;
constexpr uint8_t kVarColumnsBit = 0x20;

// Where one column goes in the rebuilt record.
struct Placement {
  bool rebuilt = false;  // false: dropped or sparse
  bool variable = false;
  bool bit = false;
  size_t width = 0;   // bytes in the fixed part
  size_t offset = 0;  // from the record start
  int bitIndex = 0;
  size_t varIndex = 0;
  size_t physical = 0;
};

bool IsRebuilt(const ColumnDescriptor& d) { return d.hobtColumnId != kDroppedColumnId && !d.statusBit24; }

int OwnNullBit(const ColumnDescriptor& d) { return d.nullBit > 0xFFFF ? d.nullBit & 0xFFFF : d.nullBit; }

// The column's fixed length and whether it is variable, as the readers
// see it.
ValueLayout Shape(const ColumnDescriptor& d) {
  BitCursor fresh;
  return DescribeValue(d, fresh);
}

bool IsMaxType(const ColumnDescriptor& d) { return d.length < 0 || LengthInParentheses(d.typeText) < 0; }

// Fixed columns at their leafOffsets, variable ones at -1 - leafOffset;
// false when those do not form a sound layout.
bool PlanFromCatalog(std::span<const ColumnDescriptor> columns, std::vector<Placement>& plan) {
  std::set<size_t> varIndexes;
  std::map<size_t, int> bitsAt;                  // offset -> bit columns there
  std::vector<std::pair<size_t, size_t>> spans;  // [offset, end) of fixed values
  for (size_t j = 0; j < columns.size(); ++j) {
    Placement& p = plan[j];
    if (!p.rebuilt) continue;
    const int16_t leaf = columns[j].leafOffset;
    if (p.variable) {
      if (leaf >= 0 || !varIndexes.insert(static_cast<size_t>(-1 - leaf)).second) return false;
      p.varIndex = static_cast<size_t>(-1 - leaf);
      continue;
    }
    if (leaf < 4 || static_cast<size_t>(leaf) + p.width > kMaxFixedEnd) return false;
    p.offset = static_cast<size_t>(leaf);
    if (p.bit) {
      p.bitIndex = bitsAt[p.offset]++;
      if (p.bitIndex >= 8) return false;
      if (p.bitIndex > 0) continue;
    }
    spans.emplace_back(p.offset, p.offset + p.width);
  }
  std::sort(spans.begin(), spans.end());
  for (size_t k = 1; k < spans.size(); ++k)
    if (spans[k].first < spans[k - 1].second) return false;
  return true;
}

// Columns one after the other in column-set order, bit columns sharing
// bytes as the reader's bit cursor does (it is not reset by other columns).
void PlanInOrder(std::vector<Placement>& plan) {
  size_t running = 4;
  size_t varCount = 0;
  int cursor = 8;
  size_t bitByte = 0;
  for (Placement& p : plan) {
    if (!p.rebuilt) continue;
    if (p.variable) {
      p.varIndex = varCount++;
    } else if (p.bit) {
      if (cursor >= 8) {
        bitByte = running++;
        cursor = 0;
      }
      p.offset = bitByte;
      p.bitIndex = cursor++;
    } else {
      p.offset = running;
      running += p.width;
    }
  }
}

// Appends `width` bytes: `stored`, then `pad` bytes. Also restores values
// whose high-order zero bytes were dropped (pad 0).
bool Padded(ByteSpan stored, size_t width, uint8_t pad, Bytes& out) {
  if (stored.size() > width) return false;
  out.insert(out.end(), stored.begin(), stored.end());
  out.insert(out.end(), width - stored.size(), pad);
  return true;
}

// Appends `width` bytes: `stored` at the high end (values whose low-order
// zero bytes were dropped, and big-endian counters without leading zeros).
bool RightAligned(ByteSpan stored, size_t width, Bytes& out) {
  if (stored.size() > width) return false;
  out.insert(out.end(), width - stored.size(), 0);
  out.insert(out.end(), stored.begin(), stored.end());
  return true;
}

bool CompressedInteger(ByteSpan stored, size_t width, Bytes& out) {
  if (stored.size() > width) return false;
  const auto value = DecodeCompressedInteger(stored);
  if (!value) return false;
  for (size_t i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(*value) >> (8 * i)));
  return true;
}

// nchar: the UTF-16 text padded with blanks to the column's width.
bool FixedUnicode(ByteSpan stored, size_t width, Bytes& out) {
  Bytes text;
  if (!UnicodeValueToUtf16(stored, false, text) || text.size() > width) return false;
  out.insert(out.end(), text.begin(), text.end());
  for (size_t i = text.size(); i < width; ++i) out.push_back(i % 2 == 0 ? 0x20 : 0x00);
  return true;
}

}  // namespace

bool RebuiltRecord::HasUnreadable() const {
  return std::find(columns.begin(), columns.end(), RebuiltColumn::kUnreadable) != columns.end();
}

std::optional<int64_t> DecodeCompressedInteger(ByteSpan stored) {
  if (stored.size() > 8) return std::nullopt;
  if (stored.empty()) return 0;
  uint64_t value = 0;
  for (uint8_t b : stored) value = (value << 8) | b;
  const unsigned bits = static_cast<unsigned>(8 * stored.size());
  value ^= uint64_t{1} << (bits - 1);
  // Sign-extend from the stored width.
  if (bits < 64 && ((value >> (bits - 1)) & 1)) value |= ~uint64_t{0} << bits;
  return static_cast<int64_t>(value);
}

bool VarDecimalToDecimal(ByteSpan stored, int scale, size_t width, Bytes& out) {
  if (width < 2) return false;
  const size_t magnitudeWidth = width - 1;
  if (stored.empty()) {
    out.push_back(1);
    out.insert(out.end(), magnitudeWidth, 0);
    return true;
  }
  const bool positive = stored[0] & 0x80;
  const int exponent = (stored[0] & 0x7F) - 64;
  // Ten-bit groups of three digits, most significant first; a group cut
  // short by the end of the bytes is padded with zero bits.
  const size_t bitCount = 8 * (stored.size() - 1);
  std::string digits;
  for (size_t bit = 0; bit < bitCount; bit += 10) {
    unsigned group = 0;
    for (size_t k = 0; k < 10; ++k) {
      const size_t at = bit + k;
      const unsigned b = at < bitCount ? (stored[1 + at / 8] >> (7 - at % 8)) & 1 : 0;
      group = (group << 1) | b;
    }
    if (group > 999) return false;
    digits += static_cast<char>('0' + group / 100);
    digits += static_cast<char>('0' + group / 10 % 10);
    digits += static_cast<char>('0' + group % 10);
  }
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  if (digits.empty()) {
    out.push_back(1);
    out.insert(out.end(), magnitudeWidth, 0);
    return true;
  }
  // The digits read d.ddd... times ten to the exponent; the stored integer
  // is that times ten to the scale.
  const int64_t shift = static_cast<int64_t>(exponent) - static_cast<int64_t>(digits.size() - 1) + scale;
  if (shift >= 0) {
    if (digits.size() + static_cast<size_t>(shift) > kMaxDecimalDigits) return false;
    digits.append(static_cast<size_t>(shift), '0');
  } else {
    const auto drop = static_cast<size_t>(-shift);
    if (drop > digits.size()) return false;
    if (digits.find_first_not_of('0', digits.size() - drop) != std::string::npos) return false;
    digits.resize(digits.size() - drop);
  }
  Bytes magnitude(magnitudeWidth, 0);
  for (char c : digits) {
    unsigned carry = static_cast<unsigned>(c - '0');
    for (uint8_t& b : magnitude) {
      const unsigned v = b * 10u + carry;
      b = static_cast<uint8_t>(v);
      carry = v >> 8;
    }
    if (carry) return false;
  }
  out.push_back(positive ? 1 : 0);
  out.insert(out.end(), magnitude.begin(), magnitude.end());
  return true;
}

bool DecompressValue(const ColumnDescriptor& d, ByteSpan stored, bool complex, Bytes& out) {
  const ValueLayout shape = Shape(d);
  const size_t width = shape.fixedLength;
  if (complex) {
    // Large-value and row-overflow pointers live in the variable part.
    if (!shape.variable) return false;
    out.insert(out.end(), stored.begin(), stored.end());
    return true;
  }
  switch (d.typeCode) {
    case kTypeBigInt:
    case kTypeMoney:
    case kTypeDateTime:  // days in the high half, ticks in the low
      return CompressedInteger(stored, 8, out);
    case kTypeInt:
    case kTypeSmallMoney:
      return CompressedInteger(stored, 4, out);
    case kTypeSmallInt:
      return CompressedInteger(stored, 2, out);
    case kTypeTinyInt:
      if (stored.size() > 1) return false;
      out.push_back(stored.empty() ? 0 : stored[0]);
      return true;
    case kTypeBit:
      if (stored.size() > 1) return false;
      out.push_back(!stored.empty() && stored[0] != 0 ? 1 : 0);
      return true;
    case kTypeSmallDateTime:
    case kTypeReal:
    case kTypeFloat:
    case kTypeTimestamp:
      return RightAligned(stored, width, out);
    case kTypeDate:
    case kTypeTime:
    case kTypeDateTime2:
    case kTypeDateTimeOffset:
      return Padded(stored, width, 0x00, out);
    case kTypeDecimal:
    case kTypeNumeric:
      return VarDecimalToDecimal(stored, d.scale, width, out);
    case kTypeUniqueIdentifier:
      if (!stored.empty() && stored.size() != 16) return false;
      return Padded(stored, 16, 0x00, out);
    case kTypeChar:
      if (shape.variable) break;
      return Padded(stored, width, 0x20, out);
    case kTypeBinary:
      if (shape.variable) break;
      return Padded(stored, width, 0x00, out);
    case kTypeNChar:
      if (shape.variable) return UnicodeValueToUtf16(stored, false, out);
      return FixedUnicode(stored, width, out);
    case kTypeNVarChar:
      if (!shape.variable) return FixedUnicode(stored, width, out);
      return UnicodeValueToUtf16(stored, IsMaxType(d), out);
    default:
      break;
  }
  // Everything else is stored unchanged.
  if (shape.variable) {
    out.insert(out.end(), stored.begin(), stored.end());
    return true;
  }
  return Padded(stored, width, 0x00, out);
}

std::vector<size_t> CompressedColumnOrder(std::span<const ColumnDescriptor> columns) {
  std::vector<size_t> order(columns.size());
  std::set<int> seen;
  bool ownBits = true;
  for (const ColumnDescriptor& d : columns) {
    const int bit = OwnNullBit(d);
    if (bit <= 0 || !seen.insert(bit).second) {
      ownBits = false;
      break;
    }
  }
  for (size_t j = 0; j < columns.size(); ++j) order[j] = ownBits ? static_cast<size_t>(OwnNullBit(columns[j]) - 1) : j;
  return order;
}

RebuiltRecord RebuildCompressedRecord(const CdRecord& record, const CompressionInfo* info,
                                      std::span<const ColumnDescriptor> columns) {
  RebuiltRecord out;
  out.columns.assign(columns.size(), RebuiltColumn::kNotRebuilt);
  const bool dataRecord =
      record.IsDataRecord() || record.type == CdRecordType::kIndex || record.type == CdRecordType::kGhostIndex;
  if (!record.readable || !dataRecord) {
    for (size_t j = 0; j < columns.size(); ++j)
      if (IsRebuilt(columns[j])) out.columns[j] = RebuiltColumn::kUnreadable;
    return out;
  }

  const std::vector<size_t> order = CompressedColumnOrder(columns);
  std::vector<Placement> plan(columns.size());
  size_t physicalColumns = record.columns.size();
  for (size_t j = 0; j < columns.size(); ++j) {
    Placement& p = plan[j];
    p.physical = order[j];
    physicalColumns = std::max(physicalColumns, p.physical + 1);
    p.rebuilt = IsRebuilt(columns[j]);
    const ValueLayout shape = Shape(columns[j]);
    p.variable = shape.variable;
    p.bit = columns[j].typeCode == kTypeBit && !shape.variable;
    p.width = p.bit ? 1 : shape.fixedLength;
  }
  out.catalogLayout = PlanFromCatalog(columns, plan);
  if (!out.catalogLayout) PlanInOrder(plan);

  size_t fixedEnd = 4;
  size_t varSlots = 0;
  for (const Placement& p : plan) {
    if (!p.rebuilt) continue;
    if (p.variable)
      varSlots = std::max(varSlots, p.varIndex + 1);
    else
      fixedEnd = std::max(fixedEnd, std::min(p.offset + p.width, kMaxFixedEnd));
  }
  Bytes fixed(fixedEnd - 4, 0);
  Bytes nullBitmap((physicalColumns + 7) / 8, 0);
  struct VarValue {
    Bytes bytes;
    bool complex = false;
    size_t column = 0;
    bool present = false;
  };
  std::vector<VarValue> vars(varSlots);
  Bytes scratch;
  Bytes value;
  for (size_t j = 0; j < columns.size(); ++j) {
    const Placement& p = plan[j];
    if (!p.rebuilt) continue;
    RebuiltColumn& state = out.columns[j];
    auto setNull = [&] {
      state = RebuiltColumn::kNull;
      nullBitmap[p.physical / 8] |= static_cast<uint8_t>(1u << (p.physical % 8));
    };
    if (p.physical >= record.columns.size()) {
      setNull();
      continue;
    }
    const ResolvedValue resolved = ResolveCdValue(record, p.physical, info, scratch);
    value.clear();
    state = RebuiltColumn::kUnreadable;
    switch (resolved.state) {
      case ResolvedState::kNull:
        setNull();
        continue;
      case ResolvedState::kUnreadable:
        continue;
      case ResolvedState::kBitOne:
        if (!p.bit) continue;
        value.push_back(1);
        break;
      case ResolvedState::kBytes:
        if (!DecompressValue(columns[j], resolved.bytes, resolved.complex, value)) continue;
        break;
    }
    if (p.variable) {
      vars[p.varIndex] = {value, resolved.complex, j, true};
    } else if (p.offset + p.width > kMaxFixedEnd || value.size() != p.width) {
      continue;
    } else if (p.bit) {
      if (value[0]) fixed[p.offset - 4] |= static_cast<uint8_t>(1u << p.bitIndex);
    } else {
      std::copy(value.begin(), value.end(), fixed.begin() + static_cast<std::ptrdiff_t>(p.offset - 4));
    }
    state = RebuiltColumn::kValue;
  }

  // Trailing variable columns without a value are left out, as SQL Server
  // does; those in between are empty.
  size_t varCount = 0;
  for (size_t k = 0; k < vars.size(); ++k)
    if (vars[k].present) varCount = k + 1;

  static constexpr uint8_t kTypeBits[] = {0, 6, 2, 6, 1, 6, 3, 5};  // by CD record type
  const uint8_t type = kTypeBits[static_cast<size_t>(record.type) & 7];
  const uint8_t statusA = static_cast<uint8_t>((type << 1) | kNullBitmapBit | (varCount ? kVarColumnsBit : 0));
  Bytes& r = out.bytes;
  r = {statusA, 0, 0, 0};
  StoreLE16(&r[2], static_cast<uint16_t>(fixedEnd));
  r.insert(r.end(), fixed.begin(), fixed.end());
  r.push_back(static_cast<uint8_t>(physicalColumns));
  r.push_back(static_cast<uint8_t>(physicalColumns >> 8));
  r.insert(r.end(), nullBitmap.begin(), nullBitmap.end());
  if (varCount == 0) return out;
  r.push_back(static_cast<uint8_t>(varCount));
  r.push_back(static_cast<uint8_t>(varCount >> 8));
  const size_t endsAt = r.size();
  r.resize(r.size() + 2 * varCount, 0);
  for (size_t k = 0; k < varCount; ++k) {
    VarValue& v = vars[k];
    if (r.size() + v.bytes.size() > kMaxRecordEnd) {
      // Beyond what an end offset can name: the value is lost here.
      if (v.present) out.columns[v.column] = RebuiltColumn::kUnreadable;
      v.bytes.clear();
      v.complex = false;
    }
    r.insert(r.end(), v.bytes.begin(), v.bytes.end());
    StoreLE16(&r[endsAt + 2 * k], static_cast<uint16_t>(r.size() | (v.complex ? 0x8000 : 0)));
  }
  return out;
}

}  // namespace ravelin
