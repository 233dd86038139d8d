// The test compressor writes what SQL Server wrote: given the values of
// the published records, it writes their bytes exactly.

#include "support/compressor.h"

#include <gtest/gtest.h>

#include <string>

#include "storage/compressed_page.h"
#include "storage/scsu.h"
#include "storage/text_codec.h"
#include "support/compression_vectors.h"

namespace ravelin::testing {
namespace {

std::vector<ColumnDescriptor> Columns(std::vector<ColumnDescriptor> columns) {
  LayOutColumns(columns);
  return columns;
}

TEST(CompressorRealRecords, IntegerRecords) {
  for (const auto& v : IntegerRecords()) {
    SCOPED_TRACE(v.record);
    const auto columns = Columns({SqlColumn("c", v.typeText, v.typeCode)});
    const size_t width = static_cast<size_t>(LengthInParentheses(v.typeText));
    const CellValue value = std::string(v.value) == "NULL" ? Null() : Value(SqlIntBytes(std::stoll(v.value), width));
    EXPECT_EQ(HexDigits(CompressRow(columns, {value})), HexDigits(FromHex(v.record)));
  }
}

TEST(CompressorRealRecords, DateTimeRecords) {
  const auto columns = Columns({SqlColumn("d", "datetime(8)", kTypeDateTime)});
  for (const auto& v : DateTimeRecords()) {
    SCOPED_TRACE(v.record);
    const CellValue value =
        v.isNull ? Null() : Value(SqlDateTimeBytes(v.year, v.month, v.day, v.hour, v.minute, v.second, v.millis));
    EXPECT_EQ(HexDigits(CompressRow(columns, {value})), HexDigits(FromHex(v.record)));
  }
}

TEST(CompressorRealRecords, ThreeColumnsWithALongValue) {
  const auto columns =
      Columns({SqlColumn("NumberField", "int(4)", kTypeInt), SqlColumn("TextField", "varchar(8000)", kTypeVarChar),
               SqlColumn("FixedTextField", "char(2000)", kTypeChar)});
  const Bytes record = CompressRow(
      columns, {Value(SqlIntBytes(101, 4)), Value(Ascii("This is row 1")), Value(SqlCharBytes("Row 1", 2000))});
  EXPECT_EQ(HexDigits(record), HexDigits(ThreeColumnLongRecord()));
}

TEST(CompressorRealRecords, TransactionHistoryCompressionInfo) {
  const Bytes real = TransactionHistoryCompressionInfo();
  // The anchors from their values.
  PagePlan plan;
  plan.pageModCount = 15;
  const auto columns = Columns(
      {SqlColumn("TransactionID", "int(4)", kTypeInt), SqlColumn("ProductID", "int(4)", kTypeInt),
       SqlColumn("ReferenceOrderID", "int(4)", kTypeInt), SqlColumn("ReferenceOrderLineID", "int(4)", kTypeInt),
       SqlColumn("TransactionDate", "datetime(8)", kTypeDateTime), SqlColumn("TransactionType", "nchar(2)", kTypeNChar),
       SqlColumn("Quantity", "int(4)", kTypeInt), SqlColumn("ActualCost", "money(8)", kTypeMoney),
       SqlColumn("ModifiedDate", "datetime(8)", kTypeDateTime)});
  const Bytes may2014 = CompressValue(columns[4], SqlDateTimeBytes(2014, 5, 1));
  plan.anchors = {CompressValue(columns[0], SqlIntBytes(197376, 4)),
                  std::nullopt,
                  CompressValue(columns[2], SqlIntBytes(71819, 4)),
                  std::nullopt,
                  may2014,
                  CompressValue(columns[5], SqlNCharBytes("S", 2)),
                  std::nullopt,
                  std::nullopt,
                  may2014};
  EXPECT_EQ(HexDigits(AnchorRecord(plan)), HexDigits(ByteSpan(real).subspan(7, 28)));
  // The dictionary entries as stored; some of them from their values.
  const Bytes page = [&real] {
    Bytes p(8192, 0);
    std::copy(real.begin(), real.end(), p.begin() + 96);
    return p;
  }();
  const CompressionInfo info = ReadCompressionInfo(page, page.size());
  for (const auto& entry : info.dictionary) plan.dictionary.emplace_back(entry->begin(), entry->end());
  EXPECT_EQ(HexDigits(CompressionInfoBytes(plan)), HexDigits(real));
  EXPECT_EQ(HexDigits(*Abbreviate(CompressValue(columns[2], SqlIntBytes(71806, 4)), *plan.anchors[2])), "027E");
  EXPECT_EQ(HexDigits(CompressValue(columns[1], SqlIntBytes(707, 4))), HexDigits(plan.dictionary[20]));
  EXPECT_EQ(HexDigits(CompressValue(columns[7], SqlIntBytes(47700, 8))), HexDigits(plan.dictionary[72]));
  EXPECT_EQ(HexDigits(CompressValue(columns[7], SqlIntBytes(17592120, 8))), HexDigits(plan.dictionary[112]));
}

TEST(CompressorRealRecords, RowversionAndLongVarchar) {
  const auto columns =
      Columns({SqlColumn("Codigo", "bigint(8)", kTypeBigInt), SqlColumn("Nome", "varchar(100)", kTypeVarChar),
               SqlColumn("Idade", "bigint(8)", kTypeBigInt), SqlColumn("SeloTempo", "timestamp(8)", kTypeTimestamp)});
  const Bytes record = CompressRow(columns, {Value(SqlIntBytes(1, 8)), Value(Ascii(kRowversionName)),
                                             Value(SqlIntBytes(1, 8)), Value(FromHex("00 00 00 00 00 00 07 D1"))});
  EXPECT_EQ(HexDigits(record), HexDigits(RowCompressedWithRowversion()));
}

TEST(CompressorRealRecords, PageCompressedAnchorAndRows) {
  const auto columns =
      Columns({SqlColumn("Codigo", "bigint(8)", kTypeBigInt), SqlColumn("Nome", "varchar(1000)", kTypeVarChar),
               SqlColumn("Idade", "bigint(8)", kTypeBigInt), SqlColumn("SeloTempo", "timestamp(8)", kTypeTimestamp)});
  PagePlan plan;
  plan.anchors = {std::nullopt, Ascii("Silva Maria Lina Maria Lina Silva"), std::nullopt,
                  CompressValue(columns[3], FromHex("00 00 00 00 00 01 14 01"))};
  EXPECT_EQ(HexDigits(AnchorRecord(plan)), HexDigits(PessoaAnchorRecord()));
  EXPECT_EQ(HexDigits(CompressRowOnPage(columns,
                                        {Value(SqlIntBytes(6538, 8)), Value(Ascii("Silva Carolina Carolina Silva")),
                                         Value(SqlIntBytes(38, 8)), Value(FromHex("00 00 00 00 00 01 13 C0"))},
                                        plan)),
            HexDigits(PessoaRowCarolina()));
  EXPECT_EQ(HexDigits(CompressRowOnPage(columns,
                                        {Value(SqlIntBytes(6539, 8)), Value(Ascii("Silva Marcos Marcos Silva")),
                                         Value(SqlIntBytes(39, 8)), Value(FromHex("00 00 00 00 00 01 13 C1"))},
                                        plan)),
            HexDigits(PessoaRowMarcos()));
}

TEST(CompressorRealRecords, TenColumnsWithEmptyBitNullAndLongValues) {
  const auto columns =
      Columns({SqlColumn("Int1", "int(4)", kTypeInt), SqlColumn("Int2", "int(4)", kTypeInt),
               SqlColumn("Int3", "int(4)", kTypeInt), SqlColumn("VarChar1", "varchar(1000)", kTypeVarChar),
               SqlColumn("VarChar2", "varchar(1000)", kTypeVarChar), SqlColumn("Bit1", "bit(1)", kTypeBit),
               SqlColumn("Bit2", "bit(1)", kTypeBit), SqlColumn("Char1", "char(1000)", kTypeChar),
               SqlColumn("Char2", "char(1000)", kTypeChar), SqlColumn("Char3", "char(1000)", kTypeChar)});
  const Bytes record = CompressRow(
      columns, {Value(SqlIntBytes(0, 4)), Value(SqlIntBytes(2147483647, 4)), Null(), Value(Ascii("aaa")),
                Value(Bytes(1000, 'b')), Value(Bytes{0}), Value(Bytes{1}), Null(),
                Value(SqlCharBytes(std::string(1000, 'c'), 1000)), Value(SqlCharBytes("dddddddddd", 1000))});
  EXPECT_EQ(record.size(), 2033u);
  EXPECT_EQ(HexDigits(record), HexDigits(TenColumnRecord()));
}

TEST(CompressorPages, PageCompressedPagesCarryTheFlagTheCiAndTheGhostCount) {
  const auto columns = Columns({SqlColumn("Id", "int(4)", kTypeInt), SqlColumn("Name", "varchar(50)", kTypeVarChar)});
  std::vector<CompressedRow> rows;
  for (int i = 0; i < 5; ++i)
    rows.push_back({{Value(SqlIntBytes(1000 + i, 4)), Value(Ascii("customer name " + std::to_string(i % 2)))}});
  rows[3].type = CdRecordType::kGhostData;
  PageBuilder page(9);
  const PagePlan plan = FillCompressedPage(page, columns, rows, Compression::kPage);
  const Bytes bytes = page.Build();
  EXPECT_EQ(bytes[2], 0x80);
  EXPECT_EQ(LoadLE<int16_t>(bytes, 58), 1);
  EXPECT_EQ(LoadLE<int16_t>(bytes, 22), 5);
  const CompressionInfo info = ReadCompressionInfo(bytes, bytes.size());
  EXPECT_FALSE(info.damaged);
  // The first slot stands right behind the CI.
  EXPECT_EQ(LoadLE<uint16_t>(bytes, 8190), 96 + info.size);
  EXPECT_TRUE(plan.anchors[0].has_value());
  EXPECT_TRUE(plan.anchors[1].has_value());

  PageBuilder rowPage(10);
  FillCompressedPage(rowPage, columns, rows, Compression::kRow);
  const Bytes rowBytes = rowPage.Build();
  EXPECT_EQ(rowBytes[2], 0x00);
  EXPECT_EQ(LoadLE<uint16_t>(rowBytes, 8190), 96);
}

// The test compressor's encoder writes what SQL Server wrote for these
// values, and what it writes for anything else decodes back.
TEST(CompressorUnicode, ReproducesSqlServerValuesAndRoundTrips) {
  EXPECT_EQ(CompressUnicode(Utf16("～であれ～であれ")), FromHex("08 DE 15 A7 82 CC 08 DE A7 82 CC"));
  EXPECT_EQ(CompressUnicode(Utf16("でででAAAAAAででAでX")), FromHex("15 A7 A7 A7 41 41 41 41 41 41 A7 A7 41 A7 58"));
  EXPECT_EQ(CompressUnicode(Utf16("Gray")), FromHex("47 72 61 79 10"));
  for (const std::string& text : {std::string("Öl fließt"), std::string("Москва и Київ"), std::string("日本語 text"),
                                  std::string("mixed é 日 \x01 \xF0\x9F\x98\x80 end"), std::string("ÀÉ€ ꙮ ﾃｽﾄ")}) {
    SCOPED_TRACE(text);
    const Bytes scsu = ScsuEncode(Utf16(text));
    std::string decoded;
    EXPECT_EQ(ScsuToUtf8(scsu, decoded), ScsuStatus::kOk);
    EXPECT_EQ(decoded, text);
    const Bytes stored = CompressUnicode(Utf16(text));
    Bytes back;
    EXPECT_TRUE(UnicodeValueToUtf16(stored, false, back));
    EXPECT_EQ(Utf16ToUtf8(back, false), text);
  }
}

}  // namespace
}  // namespace ravelin::testing
