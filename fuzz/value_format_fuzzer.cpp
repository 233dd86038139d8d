// Renders arbitrary bytes as a stored value of every column type: each
// formatter of rows/value_format.h with the byte lengths, precisions and
// scales the option bytes choose, and the value renderer of
// rows/value_render.h for a column of every kind, fixed and variable, in
// the code pages of several collations. Any crash, hang, leak or undefined
// behaviour is a finding, and so is a formatter whose text depends on
// bytes beyond the value's own.
//
// Input: two option bytes, then the value.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "rows/value_format.h"
#include "rows/value_render.h"

namespace {

using namespace ravelin;
using namespace ravelin::fuzz;

// Collations whose 8-bit text is read in different code pages: Latin,
// Cyrillic, Japanese and Chinese (double-byte), none, unknown.
constexpr int32_t kCollationIds[] = {872468488, 53269, 53264, 53284, 0, -1, 123456};

void FormatAll(ByteSpan bytes, uint8_t a, uint8_t b) {
  const int scale = a % 8;
  FormatDateTime(bytes);
  FormatSmallDateTime(bytes);
  FormatDate(bytes);
  FormatTime(bytes, 3 + a % 3, scale);
  FormatDateTime2(bytes, 6 + a % 3, scale);
  FormatDateTimeOffset(bytes, 8 + a % 3, scale);
  FormatMoney(bytes);
  FormatSmallMoney(bytes);
  FormatFloat(bytes);
  FormatReal(bytes);
  const int precision = 1 + b % 38;
  FormatDecimal(bytes, precision, b / 38 % (precision + 1));
  FormatDecimal(bytes, b, a);
  FormatGuid(bytes);
  FormatHex(bytes, a & 1);
  for (int width : {1, 2, 4, 8, static_cast<int>(b)}) FormatInteger(bytes, width);
  RenderVariant(bytes);
  DayNumberToDate(LoadLE<int64_t>(bytes, 0));
  DayNumberToDate(LoadLE<int32_t>(bytes, 0));
  LooksLikeUtf16(bytes);
}

// A formatter of a fixed-length value reads nothing past it: the same
// value followed by other bytes gives the same text.
void CheckFixedLength(ByteSpan bytes) {
  if (bytes.size() < 17) return;
  const ByteSpan eight = bytes.first(8);
  Bytes padded(eight.begin(), eight.end());
  padded.insert(padded.end(), bytes.begin() + 8, bytes.end());
  for (uint8_t& byte : padded) byte = static_cast<uint8_t>(~byte);
  std::copy(eight.begin(), eight.end(), padded.begin());
  if (FormatDateTime(eight) != FormatDateTime(padded) || FormatMoney(eight) != FormatMoney(padded) ||
      FormatFloat(eight) != FormatFloat(padded) || FormatGuid(bytes.first(16)) != FormatGuid(bytes.first(17)))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<ColumnDescriptor> columns = RecordColumns(true);
  static CollationContext collation(&FuzzCollations());
  if (size < 2) return 0;
  const uint8_t a = data[0];
  const uint8_t b = data[1];
  const ByteSpan bytes(data + 2, size - 2);

  FormatAll(bytes, a, b);
  CheckFixedLength(bytes);

  collation.ApplyDatabaseCollation(kCollationIds[a % std::size(kCollationIds)]);
  const DecodeContext context(collation);
  for (ColumnDescriptor& column : columns) {
    column.collationId = kCollationIds[b % std::size(kCollationIds)];
    BitCursor bits;
    bits.bitIndex = a % 9;
    ValueLayout layout = DescribeValue(column, bits);
    layout.bytesAvailable = static_cast<int64_t>(bytes.size());
    if (layout.variable) layout.length = static_cast<int32_t>(bytes.size());
    RenderValue(layout, bytes, column, context);
    SettleByteLength(layout, column);
    RenderCharacterData(bytes, column, collation);
  }
  return 0;
}
