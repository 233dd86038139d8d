#include "rows/value_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/database_file.h"
#include "storage/record.h"
#include "support/binary_xml_encoder.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::Ascii;
using testing::Attr;
using testing::Concat;
using testing::DatabaseImage;
using testing::DataStructure;
using testing::Element;
using testing::EncodeBinaryXml;
using testing::InRowRoot;
using testing::LE16;
using testing::LE32;
using testing::LobLinkSpec;
using testing::RecordBuilder;
using testing::SmallRootStructure;
using testing::TestDatabase;
using testing::Text;
using testing::TextPointer;
using testing::TextRecordBytes;
using testing::Utf16;

// A stored column: column id `id`, null bit `id`, at `leafOffset`.
ColumnDescriptor Column(int id, const std::string& typeText, int32_t typeCode, int16_t leafOffset) {
  ColumnDescriptor d = MakeColumnDescriptor("c" + std::to_string(id), typeText, typeCode);
  d.columnId = id;
  d.hobtColumnId = id;
  d.nullBit = id;
  d.leafOffset = leafOffset;
  d.stored = 1;
  return d;
}

// Decodes every column of `record` the way the row loop does and returns
// the texts.
std::vector<std::string> Decode(const Bytes& bytes, std::vector<ColumnDescriptor>& columns, ColumnReader reader,
                                const DecodeContext& context) {
  CPrimaryRecord record(bytes, nullptr, static_cast<uint16_t>(bytes.size()));
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

class ValueDecoderTest : public ::testing::Test {
 protected:
  CollationTable collations;
  CollationContext collation{&collations};
  DecodeContext context{collation};
};

TEST_F(ValueDecoderTest, NineBitColumnsShareTwoBytesInBothReaders) {
  // Bits 0..7 in the first byte (0b10100101), the ninth in the second.
  const Bytes record = RecordBuilder().Fixed({0xA5, 0x01}).ColumnCount(9).Build();
  for (ColumnReader reader : {ColumnReader::kLayout, ColumnReader::kPositional}) {
    std::vector<ColumnDescriptor> columns;
    for (int i = 1; i <= 9; ++i) columns.push_back(Column(i, "bit(1)", kTypeBit, i <= 8 ? 4 : 5));
    EXPECT_EQ(Decode(record, columns, reader, context),
              (std::vector<std::string>{"True", "False", "True", "False", "False", "True", "False", "True", "True"}));
  }
}

TEST_F(ValueDecoderTest, NullColumnsKeepLaterColumnsInPlace) {
  // int (NULL), bit (NULL), bit, smallint.
  const Bytes record = RecordBuilder()
                           .Fixed(Concat({LE32(0), Bytes{0x02}, LE16(77)}))
                           .ColumnCount(4)
                           .NullColumn(0)
                           .NullColumn(1)
                           .Build();
  for (ColumnReader reader : {ColumnReader::kLayout, ColumnReader::kPositional}) {
    std::vector<ColumnDescriptor> columns = {Column(1, "int(4)", kTypeInt, 4), Column(2, "bit(1)", kTypeBit, 8),
                                             Column(3, "bit(1)", kTypeBit, 8),
                                             Column(4, "smallint(2)", kTypeSmallInt, 9)};
    columns[0].nullable = columns[1].nullable = 1;
    // A NULL bit column still takes its bit: the next one reads bit 1.
    EXPECT_EQ(Decode(record, columns, reader, context), (std::vector<std::string>{"NULL", "NULL", "True", "77"}));
  }
}

TEST_F(ValueDecoderTest, VariableColumnsAndHexPrefix) {
  const Bytes record =
      RecordBuilder().Fixed(LE32(5)).Var(Ascii("abc")).Var({}).Var(Utf16("Zoë")).ColumnCount(4).Build();
  std::vector<ColumnDescriptor> columns = {Column(1, "int(4)", kTypeInt, 4), Column(2, "varchar(10)", kTypeVarChar, -1),
                                           Column(3, "varbinary(10)", kTypeVarBinary, -2),
                                           Column(4, "nvarchar(20)", kTypeNVarChar, -3)};
  EXPECT_EQ(Decode(record, columns, ColumnReader::kLayout, context),
            (std::vector<std::string>{"5", "abc", "0x", "Zoë"}));

  // A NULL varbinary is NULL in either reader, not an empty value.
  const Bytes withNull =
      RecordBuilder().Fixed(LE32(5)).Var(Ascii("abc")).Var({}).Var(Utf16("Zoë")).ColumnCount(4).NullColumn(2).Build();
  for (ColumnReader reader : {ColumnReader::kLayout, ColumnReader::kPositional}) {
    columns[2].nullable = 1;
    EXPECT_EQ(Decode(withNull, columns, reader, context), (std::vector<std::string>{"5", "abc", "NULL", "Zoë"}));
  }
}

TEST_F(ValueDecoderTest, DroppedAbsentAndSparseColumns) {
  // Columns: int, a sparse int (id 3) that the vector lacks, a sparse
  // varchar (id 4) it holds. The record was written before column 5.
  const Bytes sparse = Concat({LE16(5), LE16(1), LE16(4), LE16(4 + 4 + 2), Ascii("hi")});
  const Bytes record = RecordBuilder().Fixed(LE32(9)).Var(sparse, true).ColumnCount(2).Build();
  std::vector<ColumnDescriptor> columns = {Column(1, "int(4)", kTypeInt, 4), Column(3, "int(4)", kTypeInt, 0),
                                           Column(4, "varchar(10)", kTypeVarChar, 0), Column(5, "int(4)", kTypeInt, 8),
                                           Column(6, "int(4)", kTypeInt, 12)};
  columns[1].statusBit24 = columns[2].statusBit24 = 1;
  columns[1].nullBit = columns[2].nullBit = 0;
  columns[3].hobtColumnId = kDroppedColumnId;
  columns[3].definitionText = "kept";
  columns[4].definitionText = "from the record before";
  // Column 2 lies inside the record's two columns, so the loop decodes the
  // first two; the rest are beyond it.
  std::vector<std::string> texts = Decode(record, columns, ColumnReader::kLayout, context);
  EXPECT_EQ(texts, (std::vector<std::string>{"9", "NULL", "NULL", "kept", "NULL"}));
  // Decoded on their own, the sparse columns find their entries.
  CPrimaryRecord parsed(record, nullptr, static_cast<uint16_t>(record.size()));
  DecodeCounters counters = DecodeCounters::ForRecord(parsed, columns.size());
  DecodeColumnValue(parsed, columns[2], counters, ColumnReader::kLayout, context);
  EXPECT_EQ(columns[2].definitionText, "hi");
}

TEST_F(ValueDecoderTest, CharacterDataUsesTheColumnsCodePageOnEveryPage) {
  collations[53273] = {"Cyrillic_General_CI_AS", 1251};
  const Bytes record =
      RecordBuilder().Fixed(Bytes{0xC4, 0xE0, ' '}).Var(Bytes{0xCC, 0xE8, 0xF0}).ColumnCount(2).Build();
  std::vector<ColumnDescriptor> columns = {Column(1, "char(3)", kTypeChar, 4),
                                           Column(2, "varchar(10)", kTypeVarChar, -1)};
  columns[0].collationId = columns[1].collationId = 53273;
  context.firstPageListing = false;
  EXPECT_EQ(Decode(record, columns, ColumnReader::kLayout, context), (std::vector<std::string>{"Да ", "Мир"}));
}

TEST_F(ValueDecoderTest, PositionalReaderIn2000LayoutUsesTheFixedOffsetsOfTheCatalog) {
  // int at 4, bit at 8 (bit 1 of its byte), smallint at 9; the other
  // offset field of the 2000 catalog holds nothing usable.
  context.legacyLayout = true;
  const Bytes record = RecordBuilder().Fixed(Concat({LE32(10248), Bytes{0x02}, LE16(12)})).ColumnCount(4).Build();
  std::vector<ColumnDescriptor> columns = {Column(1, "int(4)", kTypeInt, 2), Column(2, "bit(1)", kTypeBit, 6),
                                           Column(3, "smallint(2)", kTypeSmallInt, 2),
                                           Column(4, "varchar(5)", kTypeVarChar, -3)};
  columns[0].legacyFixedOffset = 4;
  columns[1].legacyFixedOffset = 8;
  columns[1].nullBit = 1;  // the bit's place in its byte
  columns[2].legacyFixedOffset = 9;
  columns[3].legacyFixedOffset = -1;
  columns[3].nullable = 1;
  for (ColumnDescriptor& d : columns)
    if (d.typeCode != kTypeBit) d.nullBit = 0;
  EXPECT_EQ(Decode(record, columns, ColumnReader::kPositional, context),
            (std::vector<std::string>{"10248", "True", "12", "NULL"}));
}

TEST(ValueRenderTest, SqlVariantNtextAndXml) {
  CollationContext collation;
  DecodeContext context(collation);
  BitCursor bits;
  ColumnDescriptor variant = MakeColumnDescriptor("v", "sql_variant(8016)", kTypeSqlVariant);
  ValueLayout layout = DescribeValue(variant, bits);
  const Bytes intVariant = Concat({Bytes{56, 1}, LE32(7)});
  layout.bytesAvailable = layout.length = static_cast<int32_t>(intVariant.size());
  EXPECT_EQ(RenderValue(layout, intVariant, variant, context), "7");

  EXPECT_TRUE(LooksLikeUtf16(Utf16("abc")));
  EXPECT_FALSE(LooksLikeUtf16(Ascii("abc\0")));
  ColumnDescriptor ntext = MakeColumnDescriptor("n", "ntext(16)", kTypeNText);
  ValueLayout wide = DescribeValue(ntext, bits);
  const Bytes narrow = Ascii("plain");
  wide.bytesAvailable = wide.length = static_cast<int32_t>(narrow.size());
  EXPECT_EQ(RenderValue(wide, narrow, ntext, context), "plain");

  EXPECT_EQ(RenderXmlValue({}), " ");
  // Bytes that are not binary XML: the marker alone, and the fault.
  EXPECT_EQ(RenderXmlValue({Bytes{0xFF, 0xFE}, Bytes{0x3C}}), XmlDamagedMarker(0));
  EXPECT_EQ(DecodeXmlValue({Bytes{0xFF, 0xFE}, Bytes{0x3C}}).faultOffset, 0u);
}

// Large values through a text page of a small database.
class LargeValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DatabaseImage image(16);
    image.Page(1).ObjectId(34);
    testing::PageBuilder& text = image.Page(10).PageType(3);
    text.AddRecord(TextRecordBytes(SmallRootStructure(Bytes{0xCA, 0xFE}, 80)));  // slot 0
    text.AddRecord(TextRecordBytes(SmallRootStructure(Bytes{}, 80)));            // slot 1: no data
    text.AddRecord(TextRecordBytes(SmallRootStructure(Ascii("note"), 80)));      // slot 2
    // An xml value in two data fragments: slots 3 and 4.
    const size_t half = xmlValue.size() / 2;
    text.AddRecord(TextRecordBytes(DataStructure(Bytes(xmlValue.begin(), xmlValue.begin() + half))));
    text.AddRecord(TextRecordBytes(DataStructure(Bytes(xmlValue.begin() + half, xmlValue.end()))));
    db = std::make_unique<TestDatabase>(image);
    ASSERT_TRUE(db->Open());
    context.file = &db->db();
  }

  std::string DecodeOne(const Bytes& entry, int32_t typeCode, const std::string& typeText) {
    const Bytes record = RecordBuilder().Fixed(LE32(1)).Var(entry, true).ColumnCount(2).Build();
    std::vector<ColumnDescriptor> columns = {Column(1, "int(4)", kTypeInt, 4), Column(2, typeText, typeCode, -1)};
    return Decode(record, columns, ColumnReader::kLayout, context)[1];
  }

  const Bytes xmlValue = EncodeBinaryXml(Element({"doc"}, {Attr({"k"}, "v")}, {Text("large & split")}));
  std::unique_ptr<TestDatabase> db;
  CollationContext collation;
  DecodeContext context{collation};
};

TEST_F(LargeValueTest, TextPointersAndInRowRoots) {
  EXPECT_EQ(DecodeOne(TextPointer({1, 10}, 0), kTypeImage, "image(16)"), "0xCAFE");
  EXPECT_EQ(DecodeOne(TextPointer({1, 10}, 2), kTypeText, "text(16)"), "note");
  // A pointer that leads nowhere is unreadable, not an empty binary value.
  EXPECT_EQ(DecodeOne(TextPointer({1, 10}, 7), kTypeImage, "image(16)"), "");

  const Bytes root = InRowRoot({LobLinkSpec{{1, 10}, 0, 2}}, 4);
  context.firstPageListing = true;
  EXPECT_EQ(DecodeOne(root, kTypeVarBinary, "varbinary(-1)"), kBigBinaryData);
  context.firstPageListing = false;
  EXPECT_EQ(DecodeOne(root, kTypeVarBinary, "varbinary(-1)"), "0xCAFE");
}

// An xml column: in the row, in large-value fragments, NULL.
TEST_F(LargeValueTest, XmlColumns) {
  const std::string text = "<doc k=\"v\">large &amp; split</doc>";
  EXPECT_EQ(DecodeOne(InRowRoot({LobLinkSpec{{1, 10}, 3, static_cast<uint32_t>(xmlValue.size() / 2)},
                                 LobLinkSpec{{1, 10}, 4, static_cast<uint32_t>(xmlValue.size())}}),
                      kTypeXml, "xml(-1)"),
            text);

  std::vector<ColumnDescriptor> columns = {Column(1, "int(4)", kTypeInt, 4), Column(2, "xml(-1)", kTypeXml, -1)};
  columns[1].nullable = 1;
  const Bytes inRow = RecordBuilder().Fixed(LE32(1)).Var(xmlValue).ColumnCount(2).Build();
  EXPECT_EQ(Decode(inRow, columns, ColumnReader::kLayout, context)[1], text);
  const Bytes null = RecordBuilder().Fixed(LE32(1)).Var({}).ColumnCount(2).NullColumn(1).Build();
  EXPECT_EQ(Decode(null, columns, ColumnReader::kLayout, context)[1], "NULL");
}

}  // namespace
}  // namespace ravelin
