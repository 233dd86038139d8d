#include "rows/value_render.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "rows/binary_xml.h"
#include "rows/data_format.h"
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

double DoubleOf(ByteSpan bytes) {
  const auto bits = LoadLE<uint64_t>(bytes, 0);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

float FloatOf(ByteSpan bytes) {
  const auto bits = LoadLE<uint32_t>(bytes, 0);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

DataValue TextOrUnreadable(const std::optional<std::string>& text) {
  return text ? DataValue::Text(*text) : DataValue::Unreadable();
}

// The data value of the `value` bytes of a column of layout.kind.
DataValue FixedDataValue(const ValueLayout& layout, ByteSpan value, const ColumnDescriptor& d,
                         const DecodeContext& context) {
  switch (layout.kind) {
    case kTypeBigInt:
      return DataValue::Integer(LoadLE<int64_t>(value, 0));
    case kTypeInt:
      return DataValue::Integer(LoadLE<int32_t>(value, 0));
    case kTypeSmallInt:
      return DataValue::Integer(LoadLE<int16_t>(value, 0));
    case kTypeTinyInt:
      return DataValue::Integer(LoadLE<uint8_t>(value, 0));
    case kTypeBinary:
    case kTypeTimestamp:
    case kTypeHierarchyId:
    case kTypeVarBinary:
    case kTypeGeometry:
    case kTypeClr:
      return DataValue::Binary(std::string_view(reinterpret_cast<const char*>(value.data()), value.size()));
    case kTypeChar:
    case kTypeVarChar:
    case kTypeText:
      return DataValue::Text(RenderCharacterData(value, d, context.collation));
    case kTypeDateTime:
      return TextOrUnreadable(DataDateTime(value));
    case kTypeSmallDateTime:
      return TextOrUnreadable(DataSmallDateTime(value));
    case kTypeDate:
      return TextOrUnreadable(DataDate(value));
    case kTypeTime:
      return TextOrUnreadable(DataTime(value, layout.byteLength, d.scale));
    case kTypeDateTime2:
      return TextOrUnreadable(DataDateTime2(value, layout.byteLength, d.scale));
    case kTypeDateTimeOffset:
      return TextOrUnreadable(DataDateTimeOffset(value, layout.byteLength, d.scale));
    case kTypeNChar:
    case kTypeNVarChar:
      return DataValue::Text(Utf16ToUtf8(value, true));
    case kTypeNText:
      return DataValue::Text(RenderUnicodeOrAnsi(value));
    case kTypeUniqueIdentifier:
      return DataValue::Text(FormatGuid(value));
    case kTypeSqlVariant:
      return VariantDataValue(value, &context.collation);
    case kTypeMoney:
      return DataValue::Exact(FormatMoney(value));
    case kTypeSmallMoney:
      return DataValue::Exact(FormatSmallMoney(value));
    case kTypeFloat:
      return value.size() >= 8 ? DataValue::Real(DoubleOf(value)) : DataValue::Unreadable();
    case kTypeReal:
      return value.size() >= 4 ? DataValue::Real(FloatOf(value), true) : DataValue::Unreadable();
    case kTypeNumeric:
    case kTypeDecimal: {
      const std::optional<std::string> digits = DataDecimal(value, d.precision, d.scale);
      return digits ? DataValue::Exact(*digits) : DataValue::Unreadable();
    }
    case kTypeXml:
      return XmlDataValue(DecodeBinaryXml(value));
    default:
      return DataValue::Unreadable();
  }
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

std::string RenderValue(ValueLayout& layout, ByteSpan bytes, const ColumnDescriptor& d, const DecodeContext& context,
                        DataValue* data) {
  const auto available = static_cast<size_t>(std::clamp<int64_t>(layout.bytesAvailable, 0, bytes.size()));
  bytes = bytes.first(available);
  if (layout.kind == kTypeBit) {
    std::string text = RenderBit(layout, bytes);
    if (data) *data = text.empty() ? DataValue::Unreadable() : DataValue::Bit(text == FormatBit(true));
    return text;
  }
  SettleByteLength(layout, d);
  if (layout.length <= 0) {
    if (data) *data = EmptyDataValue(layout.kind);
    return {};
  }
  const int64_t needed = BytesNeeded(layout);
  if (needed <= 0 || static_cast<uint64_t>(needed) > bytes.size()) {
    if (data) *data = DataValue::Unreadable();
    return {};
  }
  const ByteSpan value = bytes.first(static_cast<size_t>(needed));
  if (data) *data = FixedDataValue(layout, value, d, context);

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

DataValue EmptyDataValue(int32_t kind) {
  switch (kind) {
    case kTypeChar:
    case kTypeVarChar:
    case kTypeText:
    case kTypeNChar:
    case kTypeNVarChar:
    case kTypeNText:
    case kTypeXml:
      return DataValue::Text("");
    case kTypeBinary:
    case kTypeVarBinary:
    case kTypeImage:
    case kTypeClr:
    case kTypeGeometry:
    case kTypeHierarchyId:
      return DataValue::Binary("");
    default:
      return DataValue::Unreadable();
  }
}

DataValue VariantDataValue(ByteSpan bytes, const CollationContext* collation) {
  const size_t length = bytes.size();
  if (length < 2) return DataValue::Unreadable();
  const uint8_t type = bytes[0];
  auto from = [&](size_t offset) { return SubSpan(bytes, offset, length); };
  auto carrying = [type](DataValue value, std::string name) {
    if (!value.IsUnreadable()) {
      value.variantType = std::move(name);
      value.variantTypeId = type;
    }
    return value;
  };
  auto optionalText = [](const std::optional<std::string>& text) {
    return text ? DataValue::Text(*text) : DataValue::Unreadable();
  };
  const int scale = length > 2 ? bytes[2] : 0;
  const int scaled = static_cast<int>(std::min<size_t>(length, 64)) - 3;
  const std::string scaleText = "(" + std::to_string(scale) + ")";
  switch (type) {
    case 36:
      return length == 18 ? carrying(DataValue::Text(FormatGuid(from(2))), "uniqueidentifier")
                          : DataValue::Unreadable();
    case 40:
      return length == 5 ? carrying(optionalText(DataDate(from(2))), "date") : DataValue::Unreadable();
    case 41:
      return length > 3 ? carrying(optionalText(DataTime(from(3), scaled, scale)), "time" + scaleText)
                        : DataValue::Unreadable();
    case 42:
      return length > 3 ? carrying(optionalText(DataDateTime2(from(3), scaled, scale)), "datetime2" + scaleText)
                        : DataValue::Unreadable();
    case 43:
      return length > 3
                 ? carrying(optionalText(DataDateTimeOffset(from(3), scaled, scale)), "datetimeoffset" + scaleText)
                 : DataValue::Unreadable();
    case 48:
      return length == 3 ? carrying(DataValue::Integer(bytes[2]), "tinyint") : DataValue::Unreadable();
    case 52:
      return length == 4 ? carrying(DataValue::Integer(LoadLE<int16_t>(bytes, 2)), "smallint")
                         : DataValue::Unreadable();
    case 56:
      return length == 6 ? carrying(DataValue::Integer(LoadLE<int32_t>(bytes, 2)), "int") : DataValue::Unreadable();
    case 127:
      return length == 10 ? carrying(DataValue::Integer(LoadLE<int64_t>(bytes, 2)), "bigint") : DataValue::Unreadable();
    case 58:
      return length == 6 ? carrying(optionalText(DataSmallDateTime(from(2))), "smalldatetime")
                         : DataValue::Unreadable();
    case 61:
      return length == 10 ? carrying(optionalText(DataDateTime(from(2))), "datetime") : DataValue::Unreadable();
    case 59:
      return length == 6 ? carrying(DataValue::Real(FloatOf(from(2)), true), "real") : DataValue::Unreadable();
    case 62:
      return length == 10 ? carrying(DataValue::Real(DoubleOf(from(2))), "float") : DataValue::Unreadable();
    case 60:
      return length == 10 ? carrying(DataValue::Exact(FormatMoney(from(2))), "money") : DataValue::Unreadable();
    case 122:
      return length == 6 ? carrying(DataValue::Exact(FormatSmallMoney(from(2))), "smallmoney")
                         : DataValue::Unreadable();
    case 104:
      return length == 3 ? carrying(DataValue::Bit(bytes[2] != 0), "bit") : DataValue::Unreadable();
    case 106:
    case 108: {
      if (length <= 4) return DataValue::Unreadable();
      const std::optional<std::string> digits = DataDecimal(from(4), bytes[2], bytes[3]);
      const std::string name = std::string(type == 106 ? "decimal(" : "numeric(") + std::to_string(bytes[2]) + "," +
                               std::to_string(bytes[3]) + ")";
      return digits ? carrying(DataValue::Exact(*digits), name) : DataValue::Unreadable();
    }
    case 165:
    case 173: {
      if (length < 4) return DataValue::Unreadable();
      const std::string name =
          std::string(type == 165 ? "varbinary(" : "binary(") + std::to_string(LoadLE<uint16_t>(bytes, 2)) + ")";
      const ByteSpan value = from(4);
      return carrying(DataValue::Binary(std::string_view(reinterpret_cast<const char*>(value.data()), value.size())),
                      name);
    }
    case 167:
    case 175: {
      if (length < 8) return DataValue::Unreadable();
      const std::string name =
          std::string(type == 167 ? "varchar(" : "char(") + std::to_string(LoadLE<uint16_t>(bytes, 2)) + ")";
      const int codePage = collation ? collation->CodePageFor(LoadLE<int32_t>(bytes, 4)) : 0;
      return carrying(DataValue::Text(CodePageToUtf8(UpToNul(from(8)), codePage > 0 ? codePage : AnsiCodePage())),
                      name);
    }
    case 231:
    case 239: {
      if (length < 8) return DataValue::Unreadable();
      const std::string name =
          std::string(type == 231 ? "nvarchar(" : "nchar(") + std::to_string(LoadLE<uint16_t>(bytes, 2) / 2) + ")";
      return carrying(DataValue::Text(Utf16ToUtf8(from(8), true)), name);
    }
    default:
      return DataValue::Unreadable();
  }
}

DataValue LargeDataValue(const std::vector<Bytes>& pieces, const ColumnDescriptor& d, const DecodeContext& context) {
  Bytes joined;
  if (pieces.size() != 1) {
    size_t size = 0;
    for (const Bytes& piece : pieces) size += piece.size();
    joined.reserve(size);
    for (const Bytes& piece : pieces) joined.insert(joined.end(), piece.begin(), piece.end());
  }
  const ByteSpan bytes = pieces.size() == 1 ? ByteSpan(pieces.front()) : ByteSpan(joined);
  switch (d.typeCode) {
    case kTypeXml:
      return bytes.empty() ? DataValue::Text("") : XmlDataValue(DecodeBinaryXml(bytes));
    case kTypeVarBinary:
    case kTypeImage:
    case kTypeBinary:
    case kTypeTimestamp:
    case kTypeHierarchyId:
    case kTypeGeometry:
    case kTypeClr:
      return DataValue::Binary(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    case kTypeNVarChar:
    case kTypeNText:
    case kTypeNChar:
      return DataValue::Text(Utf16ToUtf8(bytes, true));
    case kTypeSqlVariant:
      return VariantDataValue(bytes, &context.collation);
    default: {
      const int codePage = context.collation.CodePageFor(d.collationId);
      // A short value kept in one piece that holds UTF-16 text of 8-bit
      // characters reads as those characters, as the records list shows it.
      if (pieces.size() == 1 && bytes.size() >= 2 && LooksLikeUtf16(bytes)) {
        Bytes narrow;
        for (size_t i = 0; i < bytes.size(); i += 2) narrow.push_back(bytes[i]);
        return DataValue::Text(CodePageToUtf8(UpToNul(narrow), codePage > 0 ? codePage : AnsiCodePage()));
      }
      return DataValue::Text(CodePageToUtf8(UpToNul(bytes), codePage > 0 ? codePage : AnsiCodePage()));
    }
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

DataValue XmlDataValue(XmlDecodeResult decoded) {
  return decoded.damaged() ? DataValue::PartlyUnreadable(std::move(decoded.text))
                           : DataValue::Text(std::move(decoded.text));
}

}  // namespace ravelin
