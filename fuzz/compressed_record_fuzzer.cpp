// Reads arbitrary bytes as a row- or page-compressed page: its compression
// information, every slot's CD record, the records rebuilt for two column
// sets and decoded by the column readers, the page-dump lines, and the
// bytes as SCSU. Any crash, hang, leak or undefined behaviour is a finding.
//
// Input: one option byte (1: read compression information whatever the
// header says; 2: the column set without a layout; 4: also build the page
// as the table reader does), then the page (shorter input is zero-filled).
// Seeds: fuzz/corpus/compressed_record, pages written by the test
// compressor.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "catalog/column_descriptor.h"
#include "rows/compressed_values.h"
#include "rows/value_decoder.h"
#include "rows/value_render.h"
#include "storage/compressed_page.h"
#include "storage/compressed_record.h"
#include "storage/page.h"
#include "storage/page_types.h"
#include "storage/record.h"
#include "storage/scsu.h"

namespace {

using namespace ravelin;

ColumnDescriptor Column(const char* typeText, int32_t typeCode, uint8_t precision = 0, uint8_t scale = 0) {
  ColumnDescriptor d = MakeColumnDescriptor(typeText, typeText, typeCode);
  d.precision = precision;
  d.scale = scale;
  d.stored = 1;
  d.nullable = 1;
  return d;
}

// A column of every kind, laid out as SQL Server lays out an uncompressed
// record; with `withLayout` false the catalog gave no physical layout.
std::vector<ColumnDescriptor> Columns(bool withLayout) {
  std::vector<ColumnDescriptor> c = {
      Column("int(4)", kTypeInt),
      Column("bigint(8)", kTypeBigInt),
      Column("smallint(2)", kTypeSmallInt),
      Column("tinyint(1)", kTypeTinyInt),
      Column("bit(1)", kTypeBit),
      Column("money(8)", kTypeMoney),
      Column("smallmoney(4)", kTypeSmallMoney),
      Column("datetime(8)", kTypeDateTime),
      Column("smalldatetime(4)", kTypeSmallDateTime),
      Column("date(3)", kTypeDate),
      Column("time(5)", kTypeTime, 16, 7),
      Column("datetime2(8)", kTypeDateTime2, 27, 7),
      Column("datetimeoffset(10)", kTypeDateTimeOffset, 34, 7),
      Column("decimal(9)", kTypeDecimal, 18, 2),
      Column("numeric(17)", kTypeNumeric, 38, 10),
      Column("float(8)", kTypeFloat),
      Column("real(4)", kTypeReal),
      Column("uniqueidentifier(16)", kTypeUniqueIdentifier),
      Column("char(10)", kTypeChar),
      Column("binary(6)", kTypeBinary),
      Column("nchar(20)", kTypeNChar),
      Column("bit(1)", kTypeBit),
      Column("timestamp(8)", kTypeTimestamp),
      Column("varchar(50)", kTypeVarChar),
      Column("nvarchar(100)", kTypeNVarChar),
      Column("varbinary(100)", kTypeVarBinary),
      Column("text(16)", kTypeText),
      Column("nvarchar(-1)", kTypeNVarChar),
      Column("sql_variant(8016)", kTypeSqlVariant),
      Column("xml(-1)", kTypeXml),
  };
  for (int i = 0; i < 9; ++i) c.push_back(Column("bit(1)", kTypeBit));
  if (!withLayout) return c;
  int16_t offset = 4;
  int16_t variable = -1;
  int bits = 8;
  int16_t bitByte = 0;
  for (size_t j = 0; j < c.size(); ++j) {
    ColumnDescriptor& d = c[j];
    d.columnId = d.hobtColumnId = d.nullBit = static_cast<int32_t>(j + 1);
    BitCursor cursor;
    const ValueLayout shape = DescribeValue(d, cursor);
    if (shape.variable) {
      d.leafOffset = variable--;
    } else if (d.typeCode == kTypeBit) {
      if (bits == 8) {
        bitByte = offset++;
        bits = 0;
      }
      ++bits;
      d.leafOffset = bitByte;
    } else {
      d.leafOffset = offset;
      offset = static_cast<int16_t>(offset + shape.fixedLength);
    }
  }
  return c;
}

// Rebuilds the record and reads the result back with both column readers.
void RebuildAndDecode(const CdRecord& record, const CompressionInfo* info, const std::vector<ColumnDescriptor>& set) {
  const RebuiltRecord rebuilt = RebuildCompressedRecord(record, info, set);
  if (rebuilt.bytes.empty()) return;
  static const CollationContext kCollation;
  const DecodeContext context(kCollation);
  const CPrimaryRecord parsed(rebuilt.bytes, nullptr,
                              static_cast<uint16_t>(std::min<size_t>(rebuilt.bytes.size(), 0xFFFF)));
  for (ColumnReader reader : {ColumnReader::kLayout, ColumnReader::kPositional}) {
    std::vector<ColumnDescriptor> columns = set;
    DecodeCounters counters = DecodeCounters::ForRecord(parsed, columns.size());
    for (size_t c = 0; c < columns.size() && c < static_cast<size_t>(counters.columnsDecoded); ++c)
      DecodeColumnValue(parsed, columns[c], counters, reader, context);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<ColumnDescriptor> kWithLayout = Columns(true);
  static const std::vector<ColumnDescriptor> kWithoutLayout = Columns(false);
  const uint8_t options = size > 0 ? data[0] : 0;
  Bytes page(kPageSize, 0);
  if (size > 1) std::copy(data + 1, data + std::min<size_t>(size, kPageSize + 1), page.begin());
  const ByteSpan bytes(page);

  // The slot array bounds the record space, as on a real page.
  const int16_t slotCount = std::clamp<int16_t>(LoadLE<int16_t>(bytes, 22), 0, 2000);
  const size_t recordSpaceEnd = kPageSize - 2 * static_cast<size_t>(slotCount);
  const bool hasCi = (page[2] & 0x80) || (options & 1);
  const CompressionInfo info = hasCi ? ReadCompressionInfo(bytes, recordSpaceEnd) : CompressionInfo{};
  const CompressionInfo* ci = hasCi ? &info : nullptr;
  if (hasCi) DescribeCompressionInfo(info);

  for (int s = 0; s < slotCount; ++s) {
    const uint16_t offset = LoadLE<uint16_t>(bytes, kPageSize - 2 - 2 * static_cast<size_t>(s));
    if (offset < 96 || offset >= recordSpaceEnd) continue;
    const CdRecord record = ParseCdRecord(bytes.subspan(offset, recordSpaceEnd - offset));
    DescribeCdRecord(record, ci);
    RebuildAndDecode(record, ci, (options & 2) ? kWithoutLayout : kWithLayout);
    // The road the table reader takes: values resolved and copied by the
    // page's records, then rebuilt without the page.
    const ResolvedCdRecord resolved = ResolveCdRecord(record, ci);
    RebuildAndDecode(resolved.AsRowCompressed(), nullptr, (options & 2) ? kWithoutLayout : kWithLayout);
  }
  // The page as the readers build it: its compression information and a
  // record object for every slot.
  if (options & 4) {
    const PrimaryRecordPage built(page, nullptr);
  }
  // The bytes after the header as one record, for inputs that are no page.
  const CdRecord whole = ParseCdRecord(bytes.subspan(96, recordSpaceEnd - 96));
  RebuildAndDecode(whole, ci, kWithLayout);

  std::string text;
  ScsuToUtf8(ByteSpan(data, size), text);
  Bytes utf16;
  ScsuToUtf16(ByteSpan(data, size), utf16);
  return 0;
}
