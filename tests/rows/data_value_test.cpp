// Exact data values: the texts of dates, times and decimals, the data text
// of every kind, and what the decoder makes of NULL, empty and unreadable
// values.

#include "rows/data_value.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rows/data_format.h"
#include "rows/value_decoder.h"
#include "rows/value_render.h"
#include "storage/record.h"
#include "support/binary_xml_encoder.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {

// Failures show the value's kind and text.
void PrintTo(const DataValue& value, std::ostream* out) {
  *out << "kind " << static_cast<int>(value.kind) << " \"" << DataText(value) << "\"";
  if (!value.variantType.empty()) *out << " (" << value.variantType << ")";
}

namespace {

using testing::Ascii;
using testing::Concat;
using testing::LE16;
using testing::LE32;
using testing::LE64;
using testing::RecordBuilder;
using testing::Utf16;

Bytes LEN(uint64_t v, int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}

Bytes DateTime(int32_t days, int32_t ticks) {
  return Concat({LE32(static_cast<uint32_t>(ticks)), LE32(static_cast<uint32_t>(days))});
}

constexpr int64_t kDay2024_05_01 = 739006;  // since 0001-01-01
constexpr int32_t kDays1600From1900 = -109573;

TEST(DataFormat, DateTimeMillisecondsRoundAsSqlServerRounds) {
  EXPECT_EQ(DataDateTime(DateTime(0, 0)), "1900-01-01 00:00:00.000");
  // Ticks of 1/300 s: .003, .007, .010, and the last tick of a day.
  EXPECT_EQ(DataDateTime(DateTime(0, 1)), "1900-01-01 00:00:00.003");
  EXPECT_EQ(DataDateTime(DateTime(0, 2)), "1900-01-01 00:00:00.007");
  EXPECT_EQ(DataDateTime(DateTime(0, 3)), "1900-01-01 00:00:00.010");
  EXPECT_EQ(DataDateTime(DateTime(0, 300 * 3600 * 13 + 300 * 65 + 100)), "1900-01-01 13:01:05.333");
  EXPECT_EQ(DataDateTime(DateTime(0, 25919999)), "1900-01-01 23:59:59.997");
  // Every year as stored: before 1753 too, and 9999.
  EXPECT_EQ(DataDateTime(DateTime(kDays1600From1900, 0)), "1600-01-01 00:00:00.000");
  EXPECT_EQ(DataDateTime(DateTime(2958463, 25919999)), "9999-12-31 23:59:59.997");
  // Bytes that are no datetime: unreadable.
  EXPECT_EQ(DataDateTime(DateTime(0, 25920000)), std::nullopt);
  EXPECT_EQ(DataDateTime(DateTime(0, -1)), std::nullopt);
  EXPECT_EQ(DataDateTime(DateTime(2958464, 0)), std::nullopt);
  EXPECT_EQ(DataDateTime(LE32(0)), std::nullopt);
}

TEST(DataFormat, SmallDateTimeDateAndTime) {
  EXPECT_EQ(DataSmallDateTime(Concat({LE16(0), LE16(0)})), "1900-01-01 00:00:00.000");
  EXPECT_EQ(DataSmallDateTime(Concat({LE16(1439), LE16(65535)})), "2079-06-06 23:59:00.000");
  EXPECT_EQ(DataSmallDateTime(Concat({LE16(1440), LE16(0)})), std::nullopt);
  EXPECT_EQ(DataDate(LEN(0, 3)), "0001-01-01");
  EXPECT_EQ(DataDate(LEN(kDay2024_05_01, 3)), "2024-05-01");
  EXPECT_EQ(DataDate(LEN(3652058, 3)), "9999-12-31");
  EXPECT_EQ(DataDate(LEN(3652059, 3)), std::nullopt);
  // The fraction has exactly `scale` digits: 5 thousandths read .005.
  EXPECT_EQ(DataTime(LEN(0, 5), 5, 7), "00:00:00.0000000");
  EXPECT_EQ(DataTime(LEN(0, 3), 3, 0), "00:00:00");
  EXPECT_EQ(DataTime(LEN(uint64_t{3661} * 1000 + 5, 4), 4, 3), "01:01:01.005");
  EXPECT_EQ(DataTime(LEN(uint64_t{86400} * 10000000, 5), 5, 7), std::nullopt);
}

TEST(DataFormat, DateTime2AndOffsets) {
  const Bytes noon = LEN(uint64_t{12} * 3600 * 10000000 + 1234567, 5);
  EXPECT_EQ(DataDateTime2(Concat({noon, LEN(kDay2024_05_01, 3)}), 8, 7), "2024-05-01 12:00:00.1234567");
  EXPECT_EQ(DataDateTime2(Concat({LEN(0, 3), LEN(0, 3)}), 6, 0), "0001-01-01 00:00:00");
  // Stored as UTC, written as local time with its offset.
  const Bytes tenUtc = LEN(uint64_t{10} * 3600 * 10000000 + 1234567, 5);
  EXPECT_EQ(DataDateTimeOffset(Concat({tenUtc, LEN(kDay2024_05_01, 3), LE16(330)}), 10, 7),
            "2024-05-01 15:30:00.1234567 +05:30");
  EXPECT_EQ(DataDateTimeOffset(Concat({tenUtc, LEN(kDay2024_05_01, 3), LE16(static_cast<uint16_t>(-480))}), 10, 7),
            "2024-05-01 02:00:00.1234567 -08:00");
  // The local time may fall on the day before.
  EXPECT_EQ(DataDateTimeOffset(Concat({LEN(3600, 3), LEN(kDay2024_05_01, 3), LE16(static_cast<uint16_t>(-120))}), 8, 0),
            "2024-04-30 23:00:00 -02:00");
  EXPECT_EQ(DataDateTimeOffset(Concat({LEN(0, 3), LEN(kDay2024_05_01, 3), LE16(900)}), 8, 0), std::nullopt);
}

TEST(DataFormat, DecimalsKeepTheirScale) {
  auto dec = [](bool positive, uint64_t magnitude) { return Concat({{uint8_t(positive ? 1 : 0)}, LEN(magnitude, 8)}); };
  EXPECT_EQ(DataDecimal(dec(true, 12345), 19, 4), "1.2345");
  EXPECT_EQ(DataDecimal(dec(true, 5), 5, 2), "0.05");
  EXPECT_EQ(DataDecimal(dec(true, 0), 5, 2), "0.00");
  EXPECT_EQ(DataDecimal(dec(false, 12345), 5, 2), "-123.45");
  EXPECT_EQ(DataDecimal(dec(false, 0), 5, 2), "0.00");
  EXPECT_EQ(DataDecimal(dec(true, 100), 18, 0), "100");
  // More digits than the precision: not a value of the column.
  EXPECT_EQ(DataDecimal(dec(true, 123456), 5, 2), std::nullopt);
  // 38 digits need all 16 bytes of the magnitude.
  Bytes wide = Concat({{1}, Bytes(16, 0)});
  wide[16] = 0x4B;  // 0x4B << 120 has 38 digits
  EXPECT_EQ(DataDecimal(wide, 38, 0)->size(), 38u);
}

TEST(DataValue, DataTexts) {
  EXPECT_EQ(DataText(DataValue::Integer(-9223372036854775807LL - 1)), "-9223372036854775808");
  EXPECT_EQ(DataText(DataValue::Bit(true)), "1");
  EXPECT_EQ(DataText(DataValue::Bit(false)), "0");
  // The shortest text that reads back: as a double, or as a float.
  EXPECT_EQ(DataText(DataValue::Real(0.1)), "0.1");
  EXPECT_EQ(DataText(DataValue::Real(static_cast<float>(0.1), true)), "0.1");
  EXPECT_EQ(DataText(DataValue::Real(1e300)), "1e+300");
  EXPECT_EQ(DataText(DataValue::Real(123456789.125)), "123456789.125");
  EXPECT_EQ(DataText(DataValue::Exact("-0.0500")), "-0.0500");
  EXPECT_EQ(DataText(DataValue::Binary(std::string("\x00\xAB", 2))), "0x00AB");
  EXPECT_EQ(DataText(DataValue::Binary("")), "0x");
  EXPECT_EQ(DataText(DataValue::Null()), "");
  EXPECT_EQ(DataText(DataValue::Unreadable()), "");
  // No SQL Server float is infinite.
  EXPECT_TRUE(DataValue::Real(1.0 / 0.0).IsUnreadable());
}

TEST(DataValue, VariantsCarryTheirType) {
  const DataValue seven = VariantDataValue(Concat({{56, 1}, LE32(7)}));
  EXPECT_EQ(seven, [] {
    DataValue v = DataValue::Integer(7);
    v.variantType = "int";
    v.variantTypeId = 56;
    return v;
  }());
  const DataValue text = VariantDataValue(Concat({{231, 1}, LE16(40), LE32(0), Utf16("Zoë")}));
  EXPECT_EQ(text.kind, DataKind::kText);
  EXPECT_EQ(text.text, "Zoë");
  EXPECT_EQ(text.variantType, "nvarchar(20)");
  const DataValue price = VariantDataValue(Concat({{106, 1, 10, 2, 1}, LE32(12345)}));
  EXPECT_EQ(DataText(price), "123.45");
  EXPECT_EQ(price.variantType, "decimal(10,2)");
  EXPECT_EQ(DataText(VariantDataValue(Concat({{61, 1}, DateTime(0, 2)}))), "1900-01-01 00:00:00.007");
  EXPECT_TRUE(VariantDataValue(Concat({{56, 1}, LE16(7)})).IsUnreadable());
  EXPECT_TRUE(VariantDataValue({}).IsUnreadable());
}

ColumnDescriptor Column(int id, const std::string& typeText, int32_t typeCode, int16_t leafOffset) {
  ColumnDescriptor d = MakeColumnDescriptor("c" + std::to_string(id), typeText, typeCode);
  d.columnId = id;
  d.hobtColumnId = id;
  d.nullBit = id;
  d.leafOffset = leafOffset;
  d.stored = 1;
  d.nullable = 1;
  return d;
}

class DecodedDataTest : public ::testing::Test {
 protected:
  // The data values of every column of `bytes`, with the display texts.
  std::vector<DataValue> Decode(const Bytes& bytes, std::vector<ColumnDescriptor> columns, ColumnReader reader,
                                std::vector<std::string>* texts = nullptr) {
    CPrimaryRecord record(bytes, nullptr, static_cast<uint16_t>(bytes.size()));
    DecodeCounters counters = DecodeCounters::ForRecord(record, columns.size());
    std::vector<DataValue> values(columns.size());
    for (size_t c = 0; c < columns.size(); ++c) {
      DecodeColumnValue(record, columns[c], counters, reader, context, &values[c]);
      if (texts) texts->push_back(columns[c].definitionText);
    }
    return values;
  }

  CollationTable collations;
  CollationContext collation{&collations};
  DecodeContext context{collation};
};

TEST_F(DecodedDataTest, NullEmptyAndUnreadableStayApart) {
  const std::vector<ColumnDescriptor> columns = {
      Column(1, "int(4)", kTypeInt, 4), Column(2, "varchar(10)", kTypeVarChar, -1),
      Column(3, "varchar(10)", kTypeVarChar, -2), Column(4, "varbinary(10)", kTypeVarBinary, -3),
      Column(5, "nvarchar(10)", kTypeNVarChar, -4)};
  // The text 'NULL', an empty text, a NULL, and trailing columns the
  // record leaves out, which are empty unless their null bit says NULL.
  const Bytes record = RecordBuilder().Fixed(LE32(5)).Var(Ascii("NULL")).Var({}).ColumnCount(5).NullColumn(4).Build();
  for (ColumnReader reader : {ColumnReader::kLayout, ColumnReader::kPositional}) {
    SCOPED_TRACE(reader == ColumnReader::kLayout ? "layout" : "positional");
    std::vector<std::string> texts;
    const std::vector<DataValue> values = Decode(record, columns, reader, &texts);
    EXPECT_EQ(values[0], DataValue::Integer(5));
    EXPECT_EQ(values[1], DataValue::Text("NULL"));
    EXPECT_EQ(values[2], DataValue::Text(""));
    EXPECT_EQ(values[3], DataValue::Binary(""));
    EXPECT_EQ(values[4], DataValue::Null());
    EXPECT_EQ(texts[4], "NULL");
  }
}

TEST_F(DecodedDataTest, FixedValuesThatCannotBeRead) {
  const std::vector<ColumnDescriptor> columns = {
      Column(1, "datetime(8)", kTypeDateTime, 4), Column(2, "decimal(9)", kTypeDecimal, 12),
      Column(3, "bit(1)", kTypeBit, 21), Column(4, "bigint(8)", kTypeBigInt, 22)};
  std::vector<ColumnDescriptor> decimal = columns;
  decimal[1].precision = 5;
  decimal[1].scale = 2;
  // A tick count past midnight, a decimal with too many digits, a bit, and
  // a bigint the fixed part is too short for.
  const Bytes record = RecordBuilder()
                           .Fixed(Concat({DateTime(0, 25920000), Bytes{1}, LEN(123456, 8), Bytes{1}, LE32(7)}))
                           .ColumnCount(4)
                           .Build();
  std::vector<std::string> texts;
  const std::vector<DataValue> values = Decode(record, decimal, ColumnReader::kLayout, &texts);
  EXPECT_TRUE(values[0].IsUnreadable());
  EXPECT_TRUE(values[1].IsUnreadable());
  EXPECT_EQ(values[2], DataValue::Bit(true));
  EXPECT_TRUE(values[3].IsUnreadable());
  // The display texts are what they were: empty.
  EXPECT_EQ(texts[0], "");
  EXPECT_EQ(texts[2], "True");
}

TEST_F(DecodedDataTest, TwoThousandLayoutVariableColumnsFollowTheNullBitmap) {
  context.legacyLayout = true;
  std::vector<ColumnDescriptor> columns = {Column(1, "int(4)", kTypeInt, 0), Column(2, "varchar(10)", kTypeVarChar, 0),
                                           Column(3, "varchar(10)", kTypeVarChar, 0)};
  columns[0].legacyFixedOffset = 4;
  columns[1].legacyFixedOffset = -1;
  columns[2].legacyFixedOffset = -2;
  const Bytes record = RecordBuilder().Fixed(LE32(1)).Var({}).Var({}).ColumnCount(3).NullColumn(2).Build();
  std::vector<std::string> texts;
  const std::vector<DataValue> values = Decode(record, columns, ColumnReader::kPositional, &texts);
  EXPECT_EQ(values[1], DataValue::Text(""));
  EXPECT_EQ(values[2], DataValue::Null());
  // The listing shows both as NULL, as it always did.
  EXPECT_EQ(texts[1], "NULL");
  EXPECT_EQ(texts[2], "NULL");
}

class LargeDataTest : public DecodedDataTest {
 protected:
  void SetUp() override {
    testing::DatabaseImage image(16);
    image.Page(1).ObjectId(34);
    testing::PageBuilder& text = image.Page(10).PageType(3);
    text.AddRecord(testing::TextRecordBytes(testing::SmallRootStructure(Bytes{0xCA, 0xFE}, 80)));  // slot 0
    text.AddRecord(testing::TextRecordBytes(testing::SmallRootStructure(Bytes{}, 80)));            // slot 1
    text.AddRecord(testing::TextRecordBytes(testing::DataStructure(Bytes{0x01, 0x02})));           // slot 2
    db = std::make_unique<testing::TestDatabase>(image);
    ASSERT_TRUE(db->Open());
    context.file = &db->db();
  }

  DataValue DecodeOne(const Bytes& entry, int32_t typeCode, const std::string& typeText, std::string* text) {
    const Bytes record = RecordBuilder().Fixed(LE32(1)).Var(entry, true).ColumnCount(2).Build();
    std::vector<std::string> texts;
    const std::vector<DataValue> values = Decode(
        record, {Column(1, "int(4)", kTypeInt, 4), Column(2, typeText, typeCode, -1)}, ColumnReader::kLayout, &texts);
    *text = texts[1];
    return values[1];
  }

  std::unique_ptr<testing::TestDatabase> db;
};

TEST_F(LargeDataTest, LargeValuesWholeEmptyAndLost) {
  std::string text;
  EXPECT_EQ(DecodeOne(testing::TextPointer({1, 10}, 0), kTypeImage, "image(16)", &text), DataValue::Binary("\xCA\xFE"));
  EXPECT_EQ(text, "0xCAFE");
  // An empty text: the listing's blank, the data's empty text.
  EXPECT_EQ(DecodeOne(testing::TextPointer({1, 10}, 1), kTypeText, "text(16)", &text), DataValue::Text(""));
  EXPECT_EQ(text, " ");
  // A pointer that leads nowhere: unreadable, not empty.
  EXPECT_TRUE(DecodeOne(testing::TextPointer({1, 10}, 7), kTypeImage, "image(16)", &text).IsUnreadable());
  EXPECT_EQ(text, "");
  // The first page of a listing shows a placeholder; the data value is read.
  context.firstPageListing = true;
  EXPECT_EQ(
      DecodeOne(testing::InRowRoot({testing::LobLinkSpec{{1, 10}, 2, 2}}, 4), kTypeVarBinary, "varbinary(-1)", &text),
      DataValue::Binary("\x01\x02"));
  EXPECT_EQ(text, kBigBinaryData);
}

TEST_F(DecodedDataTest, DamagedXmlIsUnreadable) {
  const Bytes value = testing::EncodeBinaryXml(testing::Element({"doc"}, {}, {testing::Text("x")}));
  const Bytes broken(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(value.size() - 2));
  const std::vector<ColumnDescriptor> columns = {Column(1, "int(4)", kTypeInt, 4), Column(2, "xml(-1)", kTypeXml, -1)};
  EXPECT_EQ(Decode(RecordBuilder().Fixed(LE32(1)).Var(value).ColumnCount(2).Build(), columns, ColumnReader::kLayout)[1],
            DataValue::Text("<doc>x</doc>"));
  // A damaged value keeps its text up to the fault, marked as read in part.
  const DataValue damaged =
      Decode(RecordBuilder().Fixed(LE32(1)).Var(broken).ColumnCount(2).Build(), columns, ColumnReader::kLayout)[1];
  EXPECT_TRUE(damaged.IsPartlyUnreadable());
  EXPECT_FALSE(damaged.IsNull());
}

}  // namespace
}  // namespace ravelin
