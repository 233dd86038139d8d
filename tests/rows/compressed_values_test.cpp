// Rebuilding compressed records as ordinary records: the published values,
// every type against its uncompressed twin, and damage.

#include "rows/compressed_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "rows/value_decoder.h"
#include "rows/value_format.h"
#include "storage/compressed_page.h"
#include "storage/record.h"
#include "storage/text_codec.h"
#include "support/compressed_table_image.h"
#include "support/compression_vectors.h"
#include "support/compressor.h"

namespace ravelin {
namespace {

using testing::CellValue;
using testing::CompressedRow;
using testing::Compression;
using testing::FromHex;
using testing::Null;
using testing::RowValues;
using testing::SqlColumn;
using testing::Value;

constexpr char kUnreadable[] = "<unreadable>";

// The texts the column readers give for an ordinary record.
std::vector<std::string> Decode(const Bytes& bytes, std::vector<ColumnDescriptor> columns,
                                ColumnReader reader = ColumnReader::kLayout) {
  CPrimaryRecord record(bytes, nullptr, static_cast<uint16_t>(std::min<size_t>(bytes.size(), 0xFFFF)));
  CollationContext collation;
  DecodeContext context(collation);
  DecodeCounters counters = DecodeCounters::ForRecord(record, columns.size());
  std::vector<std::string> texts;
  for (size_t c = 0; c < columns.size(); ++c) {
    if (c < static_cast<size_t>(counters.columnsDecoded))
      DecodeColumnValue(record, columns[c], counters, reader, context);
    else
      MarkColumnAbsent(columns[c]);
    texts.push_back(columns[c].definitionText);
  }
  return texts;
}

// Rebuilds a CD record and decodes it, unreadable columns marked.
std::vector<std::string> RebuildAndDecode(const Bytes& cd, const std::vector<ColumnDescriptor>& columns,
                                          const CompressionInfo* info = nullptr,
                                          ColumnReader reader = ColumnReader::kLayout) {
  const RebuiltRecord rebuilt = RebuildCompressedRecord(ParseCdRecord(cd), info, columns);
  std::vector<std::string> texts =
      rebuilt.bytes.empty() ? std::vector<std::string>(columns.size()) : Decode(rebuilt.bytes, columns, reader);
  for (size_t c = 0; c < columns.size(); ++c)
    if (rebuilt.columns[c] == RebuiltColumn::kUnreadable) texts[c] = kUnreadable;
  return texts;
}

std::vector<ColumnDescriptor> Table(std::vector<ColumnDescriptor> columns) {
  testing::LayOutColumns(columns);
  return columns;
}

CompressionInfo InfoOf(const Bytes& page) { return ReadCompressionInfo(page, page.size()); }

Bytes PageWithCi(const Bytes& ci) {
  Bytes page(8192, 0);
  std::copy(ci.begin(), ci.end(), page.begin() + 96);
  return page;
}

std::string Repeat(char c, size_t n) { return std::string(n, c); }

// --- real DBCC PAGE records and engine-written values --------------------------

TEST(CompressedValuesRealDumps, IntegersOfEveryWidthAndSign) {
  for (const auto& v : testing::IntegerRecords()) {
    SCOPED_TRACE(v.record);
    const auto columns = Table({SqlColumn("c", v.typeText, v.typeCode)});
    EXPECT_EQ(RebuildAndDecode(FromHex(v.record), columns), std::vector<std::string>{v.value});
  }
  // The same stored byte is 127 for a tinyint and -1 for a smallint.
  const Bytes record = FromHex("01 01 12 7F");
  EXPECT_EQ(RebuildAndDecode(record, Table({SqlColumn("c", "tinyint(1)", kTypeTinyInt)}))[0], "127");
  EXPECT_EQ(RebuildAndDecode(record, Table({SqlColumn("c", "smallint(2)", kTypeSmallInt)}))[0], "-1");
}

TEST(CompressedValuesRealDumps, DateTimesBeforeAndAfter1900) {
  const auto columns = Table({SqlColumn("d", "datetime(8)", kTypeDateTime)});
  for (const auto& v : testing::DateTimeRecords()) {
    SCOPED_TRACE(v.record);
    const RebuiltRecord rebuilt = RebuildCompressedRecord(ParseCdRecord(FromHex(v.record)), nullptr, columns);
    if (v.isNull) {
      EXPECT_EQ(rebuilt.columns[0], RebuiltColumn::kNull);
      continue;
    }
    const Bytes expected = testing::SqlDateTimeBytes(v.year, v.month, v.day, v.hour, v.minute, v.second, v.millis);
    ASSERT_EQ(rebuilt.columns[0], RebuiltColumn::kValue);
    EXPECT_EQ(HexDigits(ByteSpan(rebuilt.bytes).subspan(4, 8)), HexDigits(expected));
    EXPECT_EQ(Decode(rebuilt.bytes, columns)[0], FormatDateTime(expected));
  }
  // The text for one of them, spelled out.
  EXPECT_EQ(RebuildAndDecode(FromHex("01 01 18 80 9F E7 01 8A E1 73"), columns)[0], "2012-01-29 23:57:42");
}

TEST(CompressedValuesRealDumps, IntVarcharAndTrimmedChar) {
  const auto columns =
      Table({SqlColumn("NumberField", "int(4)", kTypeInt), SqlColumn("TextField", "varchar(8000)", kTypeVarChar),
             SqlColumn("FixedTextField", "char(2000)", kTypeChar)});
  EXPECT_EQ(RebuildAndDecode(testing::ThreeColumnLongRecord(), columns),
            (std::vector<std::string>{"101", "This is row 1", "Row 1" + Repeat(' ', 1995)}));
}

TEST(CompressedValuesRealDumps, BigintsLongVarcharAndRowversion) {
  const auto columns =
      Table({SqlColumn("Codigo", "bigint(8)", kTypeBigInt), SqlColumn("Nome", "varchar(100)", kTypeVarChar),
             SqlColumn("Idade", "bigint(8)", kTypeBigInt), SqlColumn("SeloTempo", "timestamp(8)", kTypeTimestamp)});
  EXPECT_EQ(RebuildAndDecode(testing::RowCompressedWithRowversion(), columns),
            (std::vector<std::string>{"1", testing::kRowversionName, "1", "0x00000000000007D1"}));
}

TEST(CompressedValuesRealDumps, PrefixesAgainstTheAnchorRecord) {
  const auto columns =
      Table({SqlColumn("Codigo", "bigint(8)", kTypeBigInt), SqlColumn("Nome", "varchar(1000)", kTypeVarChar),
             SqlColumn("Idade", "bigint(8)", kTypeBigInt), SqlColumn("SeloTempo", "timestamp(8)", kTypeTimestamp)});
  const Bytes anchor = testing::PessoaAnchorRecord();
  Bytes ci = {0x02, 0x00, 0x00, static_cast<uint8_t>(5 + anchor.size()), 0x00};
  ci.insert(ci.end(), anchor.begin(), anchor.end());
  const Bytes page = PageWithCi(ci);
  const CompressionInfo info = InfoOf(page);
  EXPECT_EQ(RebuildAndDecode(testing::PessoaRowCarolina(), columns, &info),
            (std::vector<std::string>{"6538", "Silva Carolina Carolina Silva", "38", "0x00000000000113C0"}));
  EXPECT_EQ(RebuildAndDecode(testing::PessoaRowMarcos(), columns, &info),
            (std::vector<std::string>{"6539", "Silva Marcos Marcos Silva", "39", "0x00000000000113C1"}));
}

TEST(CompressedValuesRealDumps, EmptyBitNullAndLongValues) {
  const auto columns =
      Table({SqlColumn("Int1", "int(4)", kTypeInt), SqlColumn("Int2", "int(4)", kTypeInt),
             SqlColumn("Int3", "int(4)", kTypeInt), SqlColumn("VarChar1", "varchar(1000)", kTypeVarChar),
             SqlColumn("VarChar2", "varchar(1000)", kTypeVarChar), SqlColumn("Bit1", "bit(1)", kTypeBit),
             SqlColumn("Bit2", "bit(1)", kTypeBit), SqlColumn("Char1", "char(1000)", kTypeChar),
             SqlColumn("Char2", "char(1000)", kTypeChar), SqlColumn("Char3", "char(1000)", kTypeChar)});
  EXPECT_EQ(RebuildAndDecode(testing::TenColumnRecord(), columns),
            (std::vector<std::string>{"0", "2147483647", "NULL", "aaa", Repeat('b', 1000), "False", "True", "NULL",
                                      Repeat('c', 1000), Repeat('d', 10) + Repeat(' ', 990)}));
}

// The values of the real CI are not printed by their source; read as the
// columns of the table they fit, they give plausible values.
TEST(CompressedValuesRealDumps, InferredValuesOfTheRealDictionary) {
  const Bytes page = PageWithCi(testing::TransactionHistoryCompressionInfo());
  const CompressionInfo info = InfoOf(page);
  const auto columns =
      Table({SqlColumn("TransactionID", "int(4)", kTypeInt), SqlColumn("ProductID", "int(4)", kTypeInt),
             SqlColumn("ReferenceOrderID", "int(4)", kTypeInt), SqlColumn("ReferenceOrderLineID", "int(4)", kTypeInt),
             SqlColumn("TransactionDate", "datetime(8)", kTypeDateTime),
             SqlColumn("TransactionType", "nchar(2)", kTypeNChar), SqlColumn("Quantity", "int(4)", kTypeInt),
             SqlColumn("ActualCost", "money(8)", kTypeMoney), SqlColumn("ModifiedDate", "datetime(8)", kTypeDateTime)});
  using testing::CdCell;
  const CdCell empty = CdCell::Of(CdCell::Kind::kEmpty);
  const Bytes record = testing::WriteCdRecord({CdCell::Stored(FromHex("02 05")), CdCell::Symbol(20), CdCell::Symbol(0),
                                               CdCell::Stored(FromHex("81")), empty, empty,
                                               CdCell::Stored(FromHex("7F")), CdCell::Symbol(72), empty});
  EXPECT_EQ(RebuildAndDecode(record, columns, &info),
            (std::vector<std::string>{"197381", "707", "71806", "1", "2014-05-01 00:00:00", "S", "-1", "4.7700",
                                      "2014-05-01 00:00:00"}));
  const Bytes dearest = testing::WriteCdRecord(
      {empty, empty, empty, empty, empty, empty, empty, CdCell::Symbol(112), CdCell::Stored(FromHex("00"))});
  EXPECT_EQ(RebuildAndDecode(dearest, columns, &info)[7], "1759.2120");
  // A prefix of 0 on an anchored column: the suffix alone, here the zero.
  EXPECT_EQ(RebuildAndDecode(dearest, columns, &info)[8], "1900-01-01 00:00:00");
}

// --- another reader's vectors (engine round trips, derived values) -------------

TEST(CompressedValuesMixedProvenance, DateTimeAndFloatForms) {
  struct Case {
    const char* typeText;
    int32_t typeCode;
    uint8_t scale;
    const char* stored;
    Bytes expected;
  };
  const std::vector<Case> cases = {
      {"timestamp(8)", kTypeTimestamp, 0, "07 E2", FromHex("00 00 00 00 00 00 07 E2")},
      {"date(3)", kTypeDate, 0, "75 25 0B", testing::SqlDateBytes(2001, 1, 1)},
      {"datetime2(7)", kTypeDateTime2, 3, "E1 1A 76 00 75 25 0B",
       testing::SqlDateTime2Bytes(2001, 1, 1, 2, 9, 0, 129, 3)},
      {"time(4)", kTypeTime, 3, "01", testing::SqlTimeBytes(0, 0, 0, 1, 3)},
      {"real(4)", kTypeReal, 0, "80 3F", testing::SqlRealBytes(1.0f)},
      {"real(4)", kTypeReal, 0, "C0 BF", testing::SqlRealBytes(-1.5f)},
      {"float(8)", kTypeFloat, 0, "F0 3F", testing::SqlFloatBytes(1.0)},
      {"float(8)", kTypeFloat, 0, "F8 BF", testing::SqlFloatBytes(-1.5)},
      {"smalldatetime(4)", kTypeSmallDateTime, 0, "01 00 01 00", testing::SqlSmallDateTimeBytes(1900, 1, 2, 0, 1)},
      {"smalldatetime(4)", kTypeSmallDateTime, 0, "9F 05 FF FF", testing::SqlSmallDateTimeBytes(2079, 6, 6, 23, 59)},
      {"smalldatetime(4)", kTypeSmallDateTime, 0, "", testing::SqlSmallDateTimeBytes(1900, 1, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.typeText) + " " + c.stored);
    const ColumnDescriptor d = SqlColumn("c", c.typeText, c.typeCode, 0, c.scale);
    Bytes out;
    ASSERT_TRUE(DecompressValue(d, FromHex(c.stored), false, out));
    EXPECT_EQ(HexDigits(out), HexDigits(c.expected));
  }
  // And the texts the formatters give for them.
  Bytes out;
  ASSERT_TRUE(DecompressValue(SqlColumn("c", "datetime2(7)", kTypeDateTime2, 0, 3), FromHex("E1 1A 76 00 75 25 0B"),
                              false, out));
  EXPECT_EQ(FormatDateTime2(out, 7, 3), "2001-01-01 02:09:00.129");
  out.clear();
  ASSERT_TRUE(DecompressValue(SqlColumn("c", "real(4)", kTypeReal), FromHex("C0 BF"), false, out));
  EXPECT_EQ(FormatReal(out), "-1.5");
  out.clear();
  ASSERT_TRUE(
      DecompressValue(SqlColumn("c", "smalldatetime(4)", kTypeSmallDateTime), FromHex("9F 05 FF FF"), false, out));
  EXPECT_EQ(FormatSmallDateTime(out), "2079-06-06 23:59:00");
}

TEST(CompressedValuesMixedProvenance, VarDecimalValues) {
  struct Case {
    const char* stored;
    int precision;
    int scale;
    const char* text;
  };
  for (const Case& c : {Case{"C4 03 15 90", 5, 0, "12345"}, Case{"C1 03 15 90", 5, 3, "12.345"},
                        Case{"41 03 15 90", 5, 3, "-12.345"}, Case{"40 00 40", 5, 0, "-1"}, Case{"", 5, 2, "0.00"}}) {
    SCOPED_TRACE(c.stored);
    const ColumnDescriptor d =
        SqlColumn("c", "decimal(5)", kTypeDecimal, static_cast<uint8_t>(c.precision), static_cast<uint8_t>(c.scale));
    Bytes out;
    ASSERT_TRUE(DecompressValue(d, FromHex(c.stored), false, out));
    EXPECT_EQ(HexDigits(out), HexDigits(testing::SqlDecimalBytes(c.text, c.precision, c.scale)));
    EXPECT_EQ(FormatDecimal(out, c.precision, c.scale), c.text);
  }
  // More fraction digits than the column's scale, and more digits than the
  // width holds, are not values of the column.
  Bytes out;
  EXPECT_FALSE(VarDecimalToDecimal(FromHex("C1 03 15 90"), 2, 5, out));
  EXPECT_FALSE(VarDecimalToDecimal(FromHex("DF 03 15 90"), 0, 5, out));
  EXPECT_FALSE(VarDecimalToDecimal(FromHex("C1 FF FF"), 3, 5, out));  // a group above 999
}

TEST(CompressedValuesMixedProvenance, EngineFixtureRow) {
  const auto columns = Table({SqlColumn("id", "int(4)", kTypeInt), SqlColumn("n", "int(4)", kTypeInt),
                              SqlColumn("v", "varchar(10)", kTypeVarChar)});
  EXPECT_EQ(RebuildAndDecode(testing::MixedThreeColumnRecord(), columns), (std::vector<std::string>{"1", "1", "val1"}));
}

// --- every type against its uncompressed twin ---------------------------------

TEST(CompressedValuesRoundTrip, RowAndPageCompressedPagesRebuildToTheUncompressedRecords) {
  const std::vector<ColumnDescriptor> columns = testing::AssortedColumns();
  const std::vector<RowValues> rows = testing::AssortedRows();
  for (Compression mode : {Compression::kRow, Compression::kPage}) {
    SCOPED_TRACE(mode == Compression::kRow ? "ROW" : "PAGE");
    testing::PageBuilder builder(5);
    std::vector<CompressedRow> compressed;
    for (const RowValues& r : rows) compressed.push_back({r});
    // Page compression of the same rows twice more, so that anchors and
    // symbols are worth having.
    if (mode == Compression::kPage)
      for (const RowValues& r : rows) compressed.push_back({r});
    const testing::PagePlan plan = testing::FillCompressedPage(builder, columns, compressed, mode);
    const Bytes page = builder.Build();
    if (mode == Compression::kPage) {
      EXPECT_EQ(page[2], 0x80);
      EXPECT_FALSE(plan.dictionary.empty());
      EXPECT_TRUE(std::any_of(plan.anchors.begin(), plan.anchors.end(), [](const auto& a) { return a.has_value(); }));
    }
    const CompressionInfo info = InfoOf(page);
    const CompressionInfo* ci = mode == Compression::kPage ? &info : nullptr;
    for (size_t slot = 0; slot < compressed.size(); ++slot) {
      SCOPED_TRACE("slot " + std::to_string(slot));
      const uint16_t offset = LoadLE<uint16_t>(page, 8190 - 2 * slot);
      const CdRecord record = ParseCdRecord(ByteSpan(page).subspan(offset));
      ASSERT_TRUE(record.readable);
      EXPECT_FALSE(record.damaged);
      EXPECT_EQ(record.columnCount, 40);
      const RebuiltRecord rebuilt = RebuildCompressedRecord(record, ci, columns);
      EXPECT_TRUE(rebuilt.catalogLayout);
      EXPECT_FALSE(rebuilt.HasUnreadable());
      const Bytes twin = testing::UncompressedRecord(columns, compressed[slot].values);
      EXPECT_EQ(HexDigits(rebuilt.bytes), HexDigits(twin));
      for (ColumnReader reader : {ColumnReader::kLayout, ColumnReader::kPositional})
        EXPECT_EQ(Decode(rebuilt.bytes, columns, reader), Decode(twin, columns, reader));
    }
  }
}

TEST(CompressedValuesRoundTrip, TextsOfTheFirstRow) {
  const std::vector<ColumnDescriptor> columns = testing::AssortedColumns();
  const Bytes cd = testing::CompressRow(columns, testing::AssortedRows()[0]);
  const auto texts = RebuildAndDecode(cd, columns);
  EXPECT_EQ(texts[1], "-9223372036854775808");
  EXPECT_EQ(texts[2], "-130");
  EXPECT_EQ(texts[5], "-12345.6789");
  EXPECT_EQ(texts[6], "-0.0001");
  EXPECT_EQ(texts[14], "-12345.6789");
  EXPECT_EQ(texts[15], "0.000000001");
  EXPECT_EQ(texts[16], "-99999999999999999999999999999999999999");
  EXPECT_EQ(texts[22], "Öl fließt" + Repeat(' ', 1));
  EXPECT_EQ(texts[25], "Москва, 日本 and ASCII");
  EXPECT_EQ(texts[28], Repeat('w', 300));
}

TEST(CompressedValuesRoundTrip, GhostsKeepTheirKindAndShortRecordsReadNullBeyondTheirColumns) {
  const std::vector<ColumnDescriptor> columns = testing::AssortedColumns();
  const RowValues row = testing::AssortedRows()[0];
  const Bytes ghost = testing::CompressRow(columns, row, CdRecordType::kGhostData);
  const RebuiltRecord rebuilt = RebuildCompressedRecord(ParseCdRecord(ghost), nullptr, columns);
  EXPECT_EQ(HexDigits(rebuilt.bytes), HexDigits(testing::UncompressedRecord(columns, row, 6)));

  // A record written before the last ten columns were added.
  const std::vector<ColumnDescriptor> older(columns.begin(), columns.end() - 10);
  const Bytes shorter = testing::CompressRow(older, RowValues(row.begin(), row.end() - 10));
  const RebuiltRecord widened = RebuildCompressedRecord(ParseCdRecord(shorter), nullptr, columns);
  const auto texts = Decode(widened.bytes, columns);
  for (size_t c = columns.size() - 10; c < columns.size(); ++c) {
    EXPECT_EQ(widened.columns[c], RebuiltColumn::kNull);
    EXPECT_EQ(texts[c], "NULL");
  }
  EXPECT_EQ(texts[0], "1");
}

TEST(CompressedValuesRoundTrip, PhysicalOrderFollowsTheNullBits) {
  // Clustered on the third column: its values come first in the record.
  auto physical = Table({SqlColumn("Key", "int(4)", kTypeInt), SqlColumn("A", "varchar(10)", kTypeVarChar),
                         SqlColumn("B", "smallint(2)", kTypeSmallInt)});
  const Bytes cd = testing::CompressRow(
      physical, {Value(testing::SqlIntBytes(-5, 4)), Value(testing::Ascii("a")), Value(testing::SqlIntBytes(7, 2))});
  // The column set in column-id order: A, B, Key.
  std::vector<ColumnDescriptor> byId = {physical[1], physical[2], physical[0]};
  EXPECT_EQ(RebuildAndDecode(cd, byId), (std::vector<std::string>{"a", "7", "-5"}));
  EXPECT_EQ(CompressedColumnOrder(byId), (std::vector<size_t>{1, 2, 0}));
  // Key ordinals in the high half of a null bit do not count.
  byId[2].nullBit |= 1 << 16;
  EXPECT_EQ(RebuildAndDecode(cd, byId), (std::vector<std::string>{"a", "7", "-5"}));
}

TEST(CompressedValuesRoundTrip, WithoutPhysicalLayoutColumnsFollowOneAnother) {
  std::vector<ColumnDescriptor> columns = {SqlColumn("A", "int(4)", kTypeInt), SqlColumn("B", "bit(1)", kTypeBit),
                                           SqlColumn("C", "varchar(10)", kTypeVarChar),
                                           SqlColumn("D", "bit(1)", kTypeBit), SqlColumn("E", "date(3)", kTypeDate)};
  const RowValues row = {Value(testing::SqlIntBytes(-7, 4)), Value(Bytes{1}), Value(testing::Ascii("x")),
                         Value(Bytes{1}), Value(testing::SqlDateBytes(2024, 2, 29))};
  const Bytes cd = testing::CompressRow(columns, row);
  // No leafOffsets or null bits at all (-1 and 0 from the descriptor builder).
  const RebuiltRecord rebuilt = RebuildCompressedRecord(ParseCdRecord(cd), nullptr, columns);
  EXPECT_FALSE(rebuilt.catalogLayout);
  EXPECT_EQ(Decode(rebuilt.bytes, columns, ColumnReader::kPositional),
            (std::vector<std::string>{"-7", "True", "x", "True", "2024-02-29"}));
}

// --- damage ------------------------------------------------------------------

TEST(CompressedValuesDamage, ValuesThatDoNotFitTheirTypeAreUnreadable) {
  const auto columns =
      Table({SqlColumn("I", "int(4)", kTypeInt), SqlColumn("T", "tinyint(1)", kTypeTinyInt),
             SqlColumn("G", "uniqueidentifier(16)", kTypeUniqueIdentifier), SqlColumn("C", "char(3)", kTypeChar),
             SqlColumn("N", "nchar(4)", kTypeNChar), SqlColumn("V", "nvarchar(10)", kTypeNVarChar),
             SqlColumn("D", "date(3)", kTypeDate), SqlColumn("X", "int(4)", kTypeInt)});
  using testing::CdCell;
  const Bytes record = testing::WriteCdRecord(
      {CdCell::Stored(FromHex("81 02 03 04 05")), CdCell::Stored(FromHex("01 02")), CdCell::Stored(FromHex("01 02 03")),
       CdCell::Stored(testing::Ascii("abcd")), CdCell::Stored(FromHex("61 62 63 64 65")),
       CdCell::Stored(FromHex("41 0C 42")), CdCell::Stored(FromHex("01 02 03 04")), CdCell::Of(CdCell::Kind::kBitOne)});
  const auto texts = RebuildAndDecode(record, columns);
  for (size_t c = 0; c < columns.size(); ++c) EXPECT_EQ(texts[c], kUnreadable) << columns[c].name;
}

TEST(CompressedValuesDamage, DamagedRecordsAndCisGiveUnreadableColumnsNeverGarbage) {
  const auto columns = Table({SqlColumn("I", "int(4)", kTypeInt), SqlColumn("V", "varchar(20)", kTypeVarChar),
                              SqlColumn("S", "smallint(2)", kTypeSmallInt)});
  using testing::CdCell;
  // An unreadable record: every column unreadable, no bytes.
  const RebuiltRecord none = RebuildCompressedRecord(ParseCdRecord(FromHex("01 05")), nullptr, columns);
  EXPECT_TRUE(none.bytes.empty());
  EXPECT_EQ(none.columns, std::vector<RebuiltColumn>(3, RebuiltColumn::kUnreadable));
  // A damaged CI: NULLs stay NULL, the rest cannot be told.
  const Bytes page = PageWithCi(FromHex("07 00 00 05 00"));
  const CompressionInfo info = InfoOf(page);
  const Bytes record = testing::WriteCdRecord(
      {CdCell::Of(CdCell::Kind::kNull), CdCell::Stored(testing::Ascii("x")), CdCell::Of(CdCell::Kind::kEmpty)});
  EXPECT_EQ(RebuildAndDecode(record, columns, &info), (std::vector<std::string>{"NULL", kUnreadable, kUnreadable}));
}

// The values of the record in `slot` of a compressed page.
std::vector<std::string> SlotValues(const Bytes& page, size_t slots, size_t slot,
                                    const std::vector<ColumnDescriptor>& columns, bool pageCompressed) {
  const size_t end = 8192 - 2 * slots;
  const uint16_t offset = LoadLE<uint16_t>(page, 8190 - 2 * slot);
  const CompressionInfo info = ReadCompressionInfo(page, end);
  const Bytes record(page.begin() + offset, page.begin() + static_cast<std::ptrdiff_t>(end));
  return RebuildAndDecode(record, columns, pageCompressed ? &info : nullptr);
}

TEST(CompressedValuesDamage, DamageToSomeRecordsLeavesTheOthersAsTheyWere) {
  // Bytes of a few records are overwritten at random: those rows may read
  // as anything, but every other row of the page (and, while the page's
  // compression information is intact, under PAGE compression too) reads
  // as it did before.
  const std::vector<ColumnDescriptor> columns = testing::AssortedColumns();
  const std::vector<RowValues> rows = testing::AssortedRows();
  std::mt19937 random(15);
  for (Compression mode : {Compression::kRow, Compression::kPage}) {
    SCOPED_TRACE(mode == Compression::kRow ? "ROW" : "PAGE");
    const bool pageCompressed = mode == Compression::kPage;
    testing::PageBuilder builder(5);
    std::vector<CompressedRow> compressed;
    for (int copy = 0; copy < 2; ++copy)
      for (const RowValues& r : rows) compressed.push_back({r});
    testing::FillCompressedPage(builder, columns, compressed, mode);
    const Bytes clean = builder.Build();
    const size_t slots = compressed.size();
    const uint16_t recordsEnd = LoadLE<uint16_t>(clean, 30);
    // Where each record begins; the compression information lies before
    // the first.
    std::vector<uint16_t> starts;
    for (size_t slot = 0; slot < slots; ++slot) starts.push_back(LoadLE<uint16_t>(clean, 8190 - 2 * slot));
    ASSERT_TRUE(std::is_sorted(starts.begin(), starts.end()));
    std::vector<std::vector<std::string>> before;
    for (size_t slot = 0; slot < slots; ++slot)
      before.push_back(SlotValues(clean, slots, slot, columns, pageCompressed));

    for (int round = 0; round < 300; ++round) {
      Bytes page = clean;
      std::vector<bool> hit(slots, false);
      bool infoHit = false;
      const int hits = 1 + static_cast<int>(random() % 3);
      for (int h = 0; h < hits; ++h) {
        const size_t at = 96 + random() % (recordsEnd - 96);
        page[at] = static_cast<uint8_t>(random());
        const auto next = std::upper_bound(starts.begin(), starts.end(), at);
        if (next == starts.begin())
          infoHit = true;
        else
          hit[static_cast<size_t>(next - starts.begin()) - 1] = true;
      }
      if (infoHit) continue;
      for (size_t slot = 0; slot < slots; ++slot) {
        const std::vector<std::string> after = SlotValues(page, slots, slot, columns, pageCompressed);
        if (hit[slot]) continue;
        EXPECT_EQ(after, before[slot]) << "round " << round << ", slot " << slot;
      }
    }
  }
}

}  // namespace
}  // namespace ravelin
