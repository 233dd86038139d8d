#include "rows/value_render.h"

#include <algorithm>

#include "rows/binary_xml.h"
#include "rows/value_format.h"
#include "storage/text_codec.h"

namespace ravelin {
namespace {

constexpr int kDefaultNumericLength = 19;

// The byte length a scaled type (time, datetime2, datetimeoffset, numeric)
// really takes: the number its type text names, else the widest form.
int StoredLength(const ColumnDescriptor& d, int widest) {
  const int named = LengthInParentheses(d.typeText);
  return named > 0 ? named : widest;
}

// How many bytes rendering reads for a value of `layout`.
int64_t BytesNeeded(const ValueLayout& layout) {
  switch (layout.kind) {
    case kTypeTime:
    case kTypeDateTime2:
    case kTypeDateTimeOffset:
    case kTypeMoney:
    case kTypeSmallMoney:
    case kTypeNumeric:
    case kTypeDecimal:
      return layout.byteLength;
    case kTypeDateTime:
      return 8;
    case kTypeSmallDateTime:
      return 4;
    case kTypeDate:
      return 3;
    default:
      return layout.length;
  }
}

// Text of the bit column at the cursor; loads a byte when the cursor has
// used up the last one.
std::string RenderBit(ValueLayout& layout, ByteSpan bytes) {
  BitCursor& bits = *layout.bits;
  if (bits.bitIndex >= 8) {
    if (bytes.empty() || layout.bytesAvailable < 1) {
      layout.byteLength = 1;
      return {};
    }
    bits.currentByte = bytes[0];
    bits.bitIndex = 0;
    bits.loaded = true;
    layout.byteLength = 1;
  } else {
    layout.byteLength = 0;
  }
  const bool set = (bits.currentByte >> bits.bitIndex) & 1;
  ++bits.bitIndex;
  return FormatBit(set);
}

// ntext and sql_variant bytes outside a variant's own layout: UTF-16 when
// they look like it, 8-bit text otherwise.
std::string RenderUnicodeOrAnsi(ByteSpan value) {
  if (LooksLikeUtf16(value)) return Utf16ToUtf8(value, true);
  return CodePageToUtf8(UpToNul(value), AnsiCodePage());
}

}  // namespace

ValueLayout DescribeValue(const ColumnDescriptor& d, BitCursor& bits) {
  ValueLayout v;
  v.bits = &bits;
  v.kind = d.typeCode;
  const int maxLength = std::max<int>(d.length, 0);
  const bool flagged = d.variableLength != 0;
  auto set = [&v](int fixedLength, int length, bool variable) {
    v.fixedLength = static_cast<uint16_t>(std::clamp(fixedLength, 0, 0xFFFF));
    v.length = length;
    v.variable = variable;
  };
  switch (d.typeCode) {
    case kTypeBigInt:
    case kTypeDateTime:
    case kTypeDateTime2:
    case kTypeMoney:
    case kTypeFloat:
    case kTypeTimestamp:
      set(8, 8, false);
      break;
    case kTypeBinary:
    case kTypeChar:
    case kTypeDecimal:
      set(maxLength, maxLength, false);
      break;
    case kTypeBit:
      // A bit column takes a byte of its own only when it starts a new one.
      set(bits.bitIndex >= 8 ? 1 : 0, 1, false);
      break;
    case kTypeDate:
      set(3, 3, false);
      break;
    case kTypeInt:
    case kTypeSmallDateTime:
    case kTypeReal:
    case kTypeSmallMoney:
      set(4, 4, false);
      break;
    case kTypeNChar:
    case kTypeNVarChar:
    case kTypeNText:
    case kTypeSqlVariant:
    case kTypeText:
    case kTypeHierarchyId:
    case kTypeGeometry:
    case kTypeClr:
      set(maxLength, maxLength, flagged);
      break;
    case kTypeSmallInt:
      set(2, 2, false);
      break;
    case kTypeTinyInt:
      set(1, 1, false);
      break;
    case kTypeUniqueIdentifier:
      set(16, 16, false);
      break;
    case kTypeVarBinary:
    case kTypeImage:
    case kTypeXml:
      set(0, maxLength, true);
      break;
    case kTypeVarChar:
      set(0, maxLength, flagged);
      break;
    case kTypeSystem232:
      set(0, 0, false);
      break;
    // The scaled types occupy what their precision needs, not their widest
    // form: a NULL time(0) must not move later columns by five bytes.
    case kTypeTime:
      set(StoredLength(d, 5), 5, false);
      break;
    case kTypeDateTimeOffset:
      set(StoredLength(d, 10), 10, false);
      break;
    case kTypeNumeric: {
      const int stored = maxLength > 0 ? maxLength : kDefaultNumericLength;
      set(stored, stored, false);
      break;
    }
    default:  // 12: no type maps to it
      set(8, 8, flagged);
      break;
  }
  if (d.typeCode == kTypeDateTime2) v.fixedLength = static_cast<uint16_t>(StoredLength(d, 8));
  return v;
}

std::string RenderValue(ValueLayout& layout, ByteSpan bytes, const ColumnDescriptor& d, const DecodeContext& context) {
  const auto available = static_cast<size_t>(std::clamp<int64_t>(layout.bytesAvailable, 0, bytes.size()));
  bytes = bytes.first(available);
  if (layout.kind == kTypeBit) return RenderBit(layout, bytes);
  SettleByteLength(layout, d);
  if (layout.length <= 0) return {};
  const int64_t needed = BytesNeeded(layout);
  if (needed <= 0 || static_cast<uint64_t>(needed) > bytes.size()) return {};
  const ByteSpan value = bytes.first(static_cast<size_t>(needed));

  switch (layout.kind) {
    case kTypeBigInt:
      return FormatInteger(value, 8);
    case kTypeInt:
      return FormatInteger(value, 4);
    case kTypeSmallInt:
      return FormatInteger(value, 2);
    case kTypeTinyInt:
      return FormatInteger(value, 1);
    case kTypeBinary:
    case kTypeTimestamp:
    case kTypeHierarchyId:
      return FormatHex(value, true);
    case kTypeVarBinary:
    case kTypeGeometry:
    case kTypeClr:
      return FormatHex(value, false);
    case kTypeChar:
    case kTypeVarChar:
    case kTypeText:
      return RenderCharacterData(value, d, context.collation);
    case kTypeDateTime:
      return FormatDateTime(value);
    case kTypeSmallDateTime:
      return FormatSmallDateTime(value);
    case kTypeDate:
      return FormatDate(value);
    case kTypeTime:
      return FormatTime(value, layout.byteLength, d.scale);
    case kTypeDateTime2:
      return FormatDateTime2(value, layout.byteLength, d.scale);
    case kTypeDateTimeOffset:
      return FormatDateTimeOffset(value, layout.byteLength, d.scale);
    case kTypeNChar:
      return Utf16ToUtf8(value, true);
    case kTypeNVarChar:
      return Utf16ToUtf8(value, true);
    case kTypeUniqueIdentifier:
      return FormatGuid(value);
    case kTypeNText:
      return RenderUnicodeOrAnsi(value);
    case kTypeSqlVariant:
      // Sparse and in-row variants alike carry the variant's own layout.
      return RenderVariant(value);
    case kTypeMoney:
      return FormatMoney(value);
    case kTypeSmallMoney:
      return FormatSmallMoney(value);
    case kTypeFloat:
      return FormatFloat(value);
    case kTypeReal:
      return FormatReal(value);
    case kTypeNumeric:
    case kTypeDecimal:
      return FormatDecimal(value, d.precision, d.scale);
    case kTypeXml:
      return DecodeXmlValue(value).text;
    default:  // 12, 18 and image (read as varbinary) show nothing here
      return {};
  }
}

std::string RenderCharacterData(ByteSpan bytes, const ColumnDescriptor& d, const CollationContext& collation) {
  const int64_t collationId = d.collationId;
  const bool hasCollation = collationId != 0 && collationId != -1;
  if (d.typeCode != kTypeChar) {
    return CodePageToUtf8(UpToNul(bytes), hasCollation ? collation.CodePageFor(collationId) : AnsiCodePage());
  }
  // char columns look their code page up in the collation table itself; a
  // known collation reads past embedded zero bytes.
  const CollationEntry* entry = hasCollation ? collation.Find(collationId) : nullptr;
  if (!entry) return CodePageToUtf8(UpToNul(bytes), AnsiCodePage());
  const int codePage = entry->codePage > 0 ? entry->codePage : AnsiCodePage();
  if (!collation.found) return CodePageToUtf8(UpToNul(bytes), codePage);
  Bytes kept;
  kept.reserve(bytes.size());
  for (uint8_t b : bytes)
    if (b != 0) kept.push_back(b);
  return CodePageToUtf8(kept, codePage);
}

void SettleByteLength(ValueLayout& layout, const ColumnDescriptor& d) {
  if (layout.kind == kTypeBit) {
    layout.byteLength = layout.bits && layout.bits->bitIndex >= 8 ? 1 : 0;
    return;
  }
  if (layout.byteLength == 0) layout.byteLength = LengthInParentheses(d.typeText);
  // A type text without its length (a repaired type row) still occupies
  // the type's fixed length.
  if (layout.byteLength <= 0) layout.byteLength = layout.variable ? 0 : layout.fixedLength;
}

void SkipBit(BitCursor& bits, ByteSpan fixed, int64_t offset) {
  if (bits.bitIndex >= 8) {
    bits.currentByte = offset >= 0 && static_cast<uint64_t>(offset) < fixed.size() ? fixed[offset] : 0;
    bits.byteOffset = offset;
    bits.loaded = true;
    bits.bitIndex = 0;
  }
  ++bits.bitIndex;
}

bool LooksLikeUtf16(ByteSpan bytes) {
  const auto zeros = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), uint8_t{0}));
  return zeros == bytes.size() / 2;
}

XmlDecodeResult DecodeXmlValue(ByteSpan value) {
  if (value.empty()) return {" ", std::nullopt};
  XmlDecodeResult result = DecodeBinaryXml(value);
  if (result.text.empty()) result.text.push_back(' ');
  return result;
}

XmlDecodeResult DecodeXmlValue(const std::vector<Bytes>& pieces) {
  if (pieces.size() == 1) return DecodeXmlValue(ByteSpan(pieces.front()));
  size_t size = 0;
  for (const Bytes& piece : pieces) size += piece.size();
  Bytes value;
  value.reserve(size);
  for (const Bytes& piece : pieces) value.insert(value.end(), piece.begin(), piece.end());
  return DecodeXmlValue(ByteSpan(value));
}

std::string RenderXmlValue(const std::vector<Bytes>& pieces) { return DecodeXmlValue(pieces).text; }

}  // namespace ravelin
