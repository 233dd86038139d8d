#include "rows/value_decoder.h"

#include <algorithm>

#include "rows/value_format.h"
#include "storage/lob.h"
#include "storage/record.h"

namespace ravelin {
namespace {

RecordFlags FlagsFor(int32_t kind) {
  RecordFlags flags;
  // Every binary kind, not only varbinary and CLR values: a geometry or
  // binary value stored out of row is no more text than a varbinary one.
  flags.binary = kind == kTypeVarBinary || kind == kTypeImage || kind == kTypeClr || kind == kTypeGeometry ||
                 kind == kTypeHierarchyId || kind == kTypeBinary || kind == kTypeTimestamp;
  flags.unicode = kind == kTypeNVarChar || kind == kTypeNText || kind == kTypeNChar;
  flags.variant = kind == kTypeSqlVariant;
  return flags;
}

LobReadOptions LobOptionsFor(const ColumnDescriptor& d, const RecordFlags& flags, const DecodeContext& context) {
  LobReadOptions options;
  options.asHex = flags.binary;
  options.wideText = flags.unicode;
  options.prefixed = flags.variant;
  options.collect = d.typeCode == kTypeXml;
  // The column's own code page on every page of a listing, not only on the
  // first one.
  options.codePage = context.collation.CodePageFor(d.collationId);
  return options;
}

// The data value of a large value: its fragments read once more, raw.
DataValue ReadLargeDataValue(ByteSpan bytes, bool textPointer, const ColumnDescriptor& d,
                             const DecodeContext& context) {
  LobReadOptions options;
  options.collect = true;
  LobReadOutcome outcome;
  if (textPointer)
    ReadTextPointerValue(bytes, *context.file, options, &outcome);
  else
    ReadInRowRootValue(bytes, *context.file, options, &outcome);
  if (outcome.pieces.empty() && outcome.incomplete) return DataValue::Unreadable();
  return LargeDataValue(outcome.pieces, d, context);
}

// An xml value from its whole stored bytes: the text the list shows (one
// blank for an empty value), its data value, and whether it is damaged.
std::string ReadXmlValue(ByteSpan bytes, DecodeCounters& counters, DataValue* data) {
  if (bytes.empty()) {
    if (data) *data = DataValue::Text("");
    return " ";
  }
  XmlDecodeResult xml = DecodeBinaryXml(bytes);
  counters.valueDamaged = xml.damaged();
  std::string text = xml.text.empty() ? std::string(" ") : xml.text;
  if (data) *data = XmlDataValue(std::move(xml));
  return text;
}

// A complex variable entry: a text pointer or an in-row root, followed to
// the value's bytes.
std::string ReadComplexEntry(const ColumnValue& entry, const ColumnDescriptor& d, DecodeCounters& counters,
                             const DecodeContext& context, DataValue* data) {
  if (data) *data = DataValue::Unreadable();
  if (!entry.data || entry.data->empty()) {
    counters.valueMissing = true;
    return {};
  }
  const ByteSpan bytes(*entry.data);
  const bool xml = d.typeCode == kTypeXml;
  const bool textPointer = bytes.size() == kTextPointerSize;
  bool placeholder = false;
  if (!textPointer) {
    const int type = ComplexKind(bytes);
    if (type != kInRowRoot && type != kLargeInRowRoot) {
      counters.valueMissing = true;
      return {};
    }
    placeholder = type == kLargeInRowRoot && context.firstPageListing && !context.systemVariant && !xml;
  }
  if (data && !xml && context.file) *data = ReadLargeDataValue(bytes, textPointer, d, context);
  if (placeholder) return kBigBinaryData;
  if (!context.file) {
    counters.valueMissing = true;
    return {};
  }
  const LobReadOptions options = LobOptionsFor(d, counters.flags, context);
  LobReadOutcome outcome;
  std::string text = textPointer ? ReadTextPointerValue(bytes, *context.file, options, &outcome)
                                 : ReadInRowRootValue(bytes, *context.file, options, &outcome);
  counters.valueTruncated = counters.valueTruncated || outcome.truncated;
  counters.valueIncomplete = counters.valueIncomplete || outcome.incomplete;
  if (xml) {
    if (outcome.pieces.empty() && outcome.incomplete) {
      text.clear();
    } else if (outcome.pieces.size() == 1) {
      text = ReadXmlValue(outcome.pieces.front(), counters, data);
    } else {
      Bytes joined;
      for (const Bytes& piece : outcome.pieces) joined.insert(joined.end(), piece.begin(), piece.end());
      text = ReadXmlValue(joined, counters, data);
    }
  }
  if (text.empty()) {
    counters.valueMissing = true;
  } else if (text == " " && counters.flags.binary) {
    // An empty binary value: shown as the hex of no bytes, like one kept
    // in the row, not as a blank.
    text.clear();
  }
  return text;
}

// A value of the variable part: plain bytes or a complex entry.
std::string ReadVariableEntry(const ColumnValue& entry, ValueLayout& layout, const ColumnDescriptor& d,
                              DecodeCounters& counters, const DecodeContext& context, DataValue* data) {
  if (layout.kind == kTypeImage) layout.kind = kTypeVarBinary;
  counters.flags = FlagsFor(layout.kind);
  if (entry.complex) return ReadComplexEntry(entry, d, counters, context, data);
  const ByteSpan bytes = entry.data ? ByteSpan(*entry.data) : ByteSpan();
  if (layout.kind == kTypeXml && !bytes.empty()) {
    // Decoded once for the text and the data value alike.
    layout.bytesAvailable = layout.length = layout.byteLength = static_cast<int32_t>(bytes.size());
    return ReadXmlValue(bytes, counters, data);
  }
  layout.bytesAvailable = static_cast<int64_t>(bytes.size());
  layout.length = static_cast<int32_t>(bytes.size());
  return RenderValue(layout, bytes, d, context, data);
}

// Whether the record holds a sparse column vector that could not be parsed.
bool HasDamagedSparseVector(const CRecord& record) {
  if (record.sparseValues) return false;
  for (const ColumnValue& value : record.varValues)
    if (value.complex && value.data && value.length != kTextPointerSize && ComplexKind(*value.data) == kSparseVector)
      return true;
  return false;
}

// A sparse column: its entry of the record's sparse vector. A column the
// vector does not hold is NULL, as SQL Server stores no NULL sparse value.
std::string ReadSparseValue(const CRecord& record, ValueLayout& layout, const ColumnDescriptor& d,
                            DecodeCounters& counters, const DecodeContext& context, DataValue* data) {
  if (record.sparseValues) {
    for (const ColumnValue& value : *record.sparseValues)
      if (value.columnId == d.columnId) return ReadVariableEntry(value, layout, d, counters, context, data);
  }
  const bool damaged = HasDamagedSparseVector(record);
  if (data) *data = damaged ? DataValue::Unreadable() : DataValue::Null();
  return damaged ? std::string() : std::string(kNullText);
}

// A value of the fixed part, read at `own` (its offset in the fixed data)
// when that lies inside the fixed data, else at the running offset.
std::string ReadFixedValue(const CRecord& record, ValueLayout& layout, const ColumnDescriptor& d,
                           DecodeCounters& counters, const DecodeContext& context, int64_t own, DataValue* data) {
  const ByteSpan fixed(*record.fixedData);
  const auto size = static_cast<int64_t>(fixed.size());
  const int64_t at = own < 0 || own > size ? counters.fixedOffset : own;
  std::string text;
  if (at >= 0 && at < size && layout.kind == kTypeBit && context.legacyLayout && d.nullBit >= 0 && d.nullBit < 8) {
    // 2000-layout bit columns name their bit in the byte themselves.
    BitCursor& bits = *layout.bits;
    bits.currentByte = fixed[static_cast<size_t>(at)];
    bits.byteOffset = at;
    bits.loaded = true;
    bits.bitIndex = d.nullBit + 1;
    layout.byteLength = d.nullBit == 0 ? 1 : 0;
    const bool set = (bits.currentByte >> d.nullBit) & 1;
    text = FormatBit(set);
    if (data) *data = DataValue::Bit(set);
  } else if (at >= 0 && at < size) {
    layout.bytesAvailable = size - at;
    text = RenderValue(layout, fixed.subspan(static_cast<size_t>(at)), d, context, data);
    if (layout.kind == kTypeBit && layout.byteLength == 1) counters.bits.byteOffset = at;
  } else {
    SettleByteLength(layout, d);
    if (data) *data = DataValue::Unreadable();
  }
  counters.fixedOffset += layout.byteLength;
  return text;
}

// Prefix rule for hexadecimal kinds whose formatter writes none: "0x",
// unless the value is the large-value reader's blank or a placeholder.
void ApplyHexPrefix(const ValueLayout& layout, const DecodeCounters& counters, std::string& text) {
  if (layout.kind != kTypeVarBinary && layout.kind != kTypeClr) return;
  if (counters.valueMissing) return;
  if (text == " " || text.find('\\') != std::string::npos || text == kBigBinaryData) return;
  text.insert(0, "0x");
}

void DecodeWithLayout(const CRecord& record, ColumnDescriptor& d, DecodeCounters& counters,
                      const DecodeContext& context, DataValue* data) {
  const int64_t own = static_cast<int64_t>(d.leafOffset) - 4;
  // A bit column at another byte than the cursor's starts a byte of its
  // own, whatever the bit columns before it were.
  if (d.typeCode == kTypeBit && counters.bits.loaded && own >= 0 && own != counters.bits.byteOffset)
    counters.bits.bitIndex = 8;
  ValueLayout layout = DescribeValue(d, counters.bits);
  const int64_t varIndex = layout.variable && d.leafOffset < 0 ? -1 - static_cast<int64_t>(d.leafOffset)
                                                               : static_cast<int64_t>(counters.variableColumns);
  if (record.columnCount < d.hobtColumnId) d.hobtColumnId = d.columnId;

  const int n = record.columnCount;
  const int sparseCount = record.sparseValues ? static_cast<int>(record.sparseValues->size()) : 0;
  // Clustering key columns carry their key ordinal in the high half.
  const int nullBit = d.nullBit > 0xFFFF ? d.nullBit & 0xFFFF : d.nullBit;
  int bit = sparseCount;
  if (nullBit > 0 && nullBit <= n) {
    bit = nullBit - 1;
  } else if (const int t = d.hobtColumnId - sparseCount - 1; t > 0 && t <= n) {
    bit = t;
  }
  bool isNull = !context.systemVariant && record.hasNullBitmap && record.IsNullBitSet(bit);
  // A column whose null bit lies beyond the record's columns was added
  // after the record was written.
  if (!d.statusBit24 && nullBit > n) isNull = true;

  const bool sparse = d.statusBit24 != 0;
  if (!sparse && (!d.stored || isNull)) {
    if (layout.kind == kTypeBit && !layout.variable && record.fixedData)
      SkipBit(counters.bits, *record.fixedData, own >= 0 ? own : counters.fixedOffset);
    d.definitionText = kNullText;
    if (data) *data = DataValue::Null();
    ++counters.columnsHandled;
    return;
  }

  counters.flags = {};
  // A value not NULL whose bytes are not found is unreadable.
  if (data) *data = DataValue::Unreadable();
  std::string text;
  if (sparse) {
    text = ReadSparseValue(record, layout, d, counters, context, data);
  } else if (layout.variable) {
    if (varIndex >= 0 && static_cast<size_t>(varIndex) < record.varValues.size())
      text = ReadVariableEntry(record.varValues[static_cast<size_t>(varIndex)], layout, d, counters, context, data);
    else if (data)
      // SQL Server leaves out the variable columns after the last one that
      // holds bytes: a column that is not NULL is empty then.
      *data = EmptyDataValue(layout.kind == kTypeImage ? kTypeVarBinary : layout.kind);
    ++counters.variableColumns;
  } else {
    if (record.fixedData)
      text = ReadFixedValue(record, layout, d, counters, context, own, data);
    else
      counters.fixedOffset += layout.fixedLength;
    ++counters.columnsHandled;
  }
  if (text != kNullText) ApplyHexPrefix(layout, counters, text);
  d.definitionText = std::move(text);
}

void DecodePositionally(const CRecord& record, ColumnDescriptor& d, DecodeCounters& counters,
                        const DecodeContext& context, DataValue* data) {
  ValueLayout layout = DescribeValue(d, counters.bits);
  if (counters.columnsDecoded < d.hobtColumnId) d.hobtColumnId = d.columnId;

  const int n = record.columnCount;
  // In the 2000 layout a bit column's null bit field holds its bit in the
  // byte, not its place in the null bitmap.
  const bool ownNullBit = !context.legacyLayout && d.nullBit > 0 && d.nullBit <= n;
  const int bit = ownNullBit ? d.nullBit - 1 : counters.columnsHandled;
  bool isNull = !context.systemVariant && record.hasNullBitmap && record.IsNullBitSet(bit);
  if (context.legacyLayout && (layout.variable || layout.kind == kTypeTimestamp)) isNull = false;
  const bool nullBitSet = isNull;

  int64_t varIndex = layout.variable && d.leafOffset < 0 ? -1 - static_cast<int64_t>(d.leafOffset)
                                                         : static_cast<int64_t>(counters.variableColumns);
  if (context.legacyLayout && layout.variable && d.legacyFixedOffset < 0) {
    const int64_t legacyIndex = -1 - static_cast<int64_t>(d.legacyFixedOffset);
    if (legacyIndex < static_cast<int64_t>(record.varValues.size())) varIndex = legacyIndex;
  }

  counters.flags = {};
  // A column the record does not reach, and a variable column past the
  // record's entries (SQL Server leaves trailing NULLs out), are NULL.
  if (data) *data = DataValue::Null();
  std::string text;
  if (d.statusBit24) {
    text = ReadSparseValue(record, layout, d, counters, context, data);
  } else if (n >= counters.columnsHandled) {
    if (layout.variable) {
      // The 2000 layout does not mark variable columns NULL for the
      // listing; a column without bytes is NULL or empty, and the null
      // bitmap tells which. SQL Server leaves out the variable columns after
      // the last one that holds bytes.
      const bool bitmapNull = record.hasNullBitmap && record.IsNullBitSet(bit);
      if (!isNull && varIndex >= 0 && static_cast<size_t>(varIndex) < record.varValues.size()) {
        const ColumnValue& entry = record.varValues[static_cast<size_t>(varIndex)];
        text = ReadVariableEntry(entry, layout, d, counters, context, data);
        if (data && context.legacyLayout && !entry.complex && (!entry.data || entry.data->empty()) && bitmapNull)
          *data = DataValue::Null();
      } else if (data && !isNull && !bitmapNull) {
        *data = EmptyDataValue(layout.kind == kTypeImage ? kTypeVarBinary : layout.kind);
      }
      ++counters.variableColumns;
    } else {
      // The 2000 layout records each fixed column's offset (header
      // included) with the column; its other offset field does not hold
      // the column's place and is not used.
      int64_t own = static_cast<int64_t>(d.leafOffset) - 4;
      if (context.legacyLayout) {
        own = -1;
        const int64_t size = record.fixedData ? static_cast<int64_t>(record.fixedData->size()) : 0;
        if (d.legacyFixedOffset >= 4 && d.legacyFixedOffset - 4 < size) {
          own = d.legacyFixedOffset - 4;
          counters.fixedOffset = own;
        }
      }
      if (isNull) {
        if (layout.kind == kTypeBit && record.fixedData)
          SkipBit(counters.bits, *record.fixedData, own >= 0 ? own : counters.fixedOffset);
        counters.fixedOffset += layout.fixedLength;
      } else if (record.fixedData) {
        const int64_t before = counters.fixedOffset;
        text = ReadFixedValue(record, layout, d, counters, context, own, data);
        // A value of unknown byte length still occupies its fixed length.
        if (layout.byteLength == 0 && layout.kind != kTypeBit) counters.fixedOffset = before + layout.fixedLength;
      } else {
        counters.fixedOffset += layout.fixedLength;
        if (data) *data = DataValue::Unreadable();
      }
    }
    ++counters.columnsHandled;
  }
  // NULL is decided before the "0x" of binary values, which would
  // otherwise make a NULL binary value look like an empty one.
  if (text.empty() && !context.systemVariant && (d.nullable == 1 || (context.legacyLayout && nullBitSet)))
    text = kNullText;
  if (text != kNullText) ApplyHexPrefix(layout, counters, text);
  d.definitionText = std::move(text);
}

}  // namespace

DecodeCounters DecodeCounters::ForRecord(const CRecord& record, size_t columnCount) {
  DecodeCounters counters;
  counters.columnsDecoded = static_cast<int32_t>(
      std::min<size_t>(static_cast<size_t>(std::max<int16_t>(record.columnCount, 0)), columnCount));
  return counters;
}

void DecodeColumnValue(const CRecord& record, ColumnDescriptor& descriptor, DecodeCounters& counters,
                       ColumnReader reader, const DecodeContext& context, DataValue* data) {
  if (descriptor.hobtColumnId == kDroppedColumnId) return;
  counters.valueTruncated = false;
  counters.valueIncomplete = false;
  counters.valueMissing = false;
  counters.valueDamaged = false;
  if (reader == ColumnReader::kLayout)
    DecodeWithLayout(record, descriptor, counters, context, data);
  else
    DecodePositionally(record, descriptor, counters, context, data);
  counters.flags = {};
}

void MarkColumnAbsent(ColumnDescriptor& descriptor) {
  if (descriptor.hobtColumnId == kDroppedColumnId) return;
  descriptor.definitionText = kNullText;
}

}  // namespace ravelin
