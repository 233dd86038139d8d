// One stored column value to text: where its bytes lie (the value layout)
// and how the bytes of each type become the text the records list shows,
// and, on request, the exact data value (data_value.h) of the same bytes.
//
// The text of a value that cannot be read is empty; callers decide NULL.

#ifndef RAVELIN_ROWS_VALUE_RENDER_H_
#define RAVELIN_ROWS_VALUE_RENDER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/column_descriptor.h"
#include "rows/binary_xml.h"
#include "rows/data_value.h"
#include "storage/bytes.h"
#include "storage/collation.h"

namespace ravelin {

class CDatabaseFile;

// Bit columns share bytes of the fixed part: up to eight consecutive bit
// columns use one byte, least significant bit first. A cursor lives for
// one record; bit index 8 means the next bit column loads a new byte.
struct BitCursor {
  int bitIndex = 8;
  uint8_t currentByte = 0;
  bool loaded = false;
  // Where in the fixed part the current byte was loaded from; -1 before.
  int64_t byteOffset = -1;
};

// Where one value of one record lies and how much of it is rendered.
struct ValueLayout {
  BitCursor* bits = nullptr;  // the record's cursor; not owned
  int64_t bytesAvailable = 0;
  bool variable = false;
  // Bytes the value occupies in the fixed part.
  uint16_t fixedLength = 0;
  // 0 until rendering; then the bytes the value consumed (for the scaled
  // and money types the byte length the type text names).
  int32_t byteLength = 0;
  // Bytes handed to the formatter.
  int32_t length = 0;
  int32_t kind = kTypeChar;
};

// What decoding reads besides the record: the collation text is read in,
// the file large values are read from, and whether the first page of a
// table is being listed (large roots then show a placeholder).
struct DecodeContext {
  explicit DecodeContext(const CollationContext& databaseCollation) : collation(databaseCollation) {}

  const CollationContext& collation;
  const CDatabaseFile* file = nullptr;  // null: large values are not followed
  bool firstPageListing = false;
  bool legacyLayout = false;   // the SQL Server 2000 catalog layout
  bool systemVariant = false;  // definition tables: no null bitmap, roots always read
};

// Placeholder for a large value on the first page of a listing.
inline constexpr char kBigBinaryData[] = "<BIG BINARY DATA>";

// Lengths and the variable flag of a column of `descriptor`'s type. A bit
// column occupies a byte of the fixed part only when it starts one.
ValueLayout DescribeValue(const ColumnDescriptor& descriptor, BitCursor& bits);

// The text of one value whose bytes start at `bytes` (at most
// layout.bytesAvailable of them are read). Sets layout.byteLength to what
// the value consumed. A value that needs more bytes than are available
// gives an empty text. With `data`, also its data value: an empty string
// or binary value for a string or binary type without bytes, unreadable
// where the bytes cannot be a value of the type.
std::string RenderValue(ValueLayout& layout, ByteSpan bytes, const ColumnDescriptor& descriptor,
                        const DecodeContext& context, DataValue* data = nullptr);

// The data value of a value stored with no bytes (a variable column of
// length 0, or one the record leaves out after its last stored one): an
// empty text or binary value for the types that can be empty, unreadable
// for the others.
DataValue EmptyDataValue(int32_t kind);

// The data value of an sql_variant value (base type id, version, the base
// type's properties, the value), carrying its base type. Character data is
// read in the code page of the variant's own collation when `collation`
// knows it.
DataValue VariantDataValue(ByteSpan bytes, const CollationContext* collation = nullptr);

// The data value of a large value of the column `descriptor` describes,
// from the bytes of its fragments in order.
DataValue LargeDataValue(const std::vector<Bytes>& pieces, const ColumnDescriptor& descriptor,
                         const DecodeContext& context);

// 8-bit character data (char, varchar, text) in the code page of the
// column's collation, up to the first zero byte.
std::string RenderCharacterData(ByteSpan bytes, const ColumnDescriptor& descriptor, const CollationContext& collation);

// Sets layout.byteLength as rendering would, for a value that is skipped
// (NULL or out of reach) but still occupies its place.
void SettleByteLength(ValueLayout& layout, const ColumnDescriptor& descriptor);

// Moves the cursor past a bit column that is not rendered: its byte is
// loaded from `fixed` at `offset` when the cursor needs a new one.
void SkipBit(BitCursor& bits, ByteSpan fixed, int64_t offset);

// Whether the bytes hold UTF-16 text of 8-bit characters: exactly half of
// them (integer halving) are zero.
bool LooksLikeUtf16(ByteSpan bytes);

// The text of an xml value from its stored bytes: the pieces (in-row bytes
// or the fragments of a large value) joined and decoded as binary XML. An
// empty value, or one whose text is empty, shows one blank; a damaged one
// shows the text up to the fault and the damage marker.
std::string RenderXmlValue(const std::vector<Bytes>& pieces);

// As RenderXmlValue, with the fault offset when the value is damaged.
XmlDecodeResult DecodeXmlValue(const std::vector<Bytes>& pieces);
XmlDecodeResult DecodeXmlValue(ByteSpan value);

// The data value of a decoded xml value: its text, or for a damaged value
// the text up to the fault and the marker, as a partly unreadable value.
DataValue XmlDataValue(XmlDecodeResult decoded);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_VALUE_RENDER_H_
