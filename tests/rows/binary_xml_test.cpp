// Binary XML to text: the published vectors (SQL Server's own values first),
// the test encoder against the server's bytes, round trips through the
// encoder, damaged values and the decoder's limits.

#include "rows/binary_xml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "rows/binary_xml_tokens.h"
#include "rows/value_render.h"
#include "support/binary_xml_encoder.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using namespace testing;

// Hex digits, blanks ignored.
Bytes Hex(std::string_view text) {
  Bytes out;
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == '\n') continue;
    const int v = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

std::string Decode(const Bytes& value) { return DecodeBinaryXml(value).text; }

std::string Decode(const XmlNode& root) { return Decode(EncodeBinaryXml(root)); }

std::string Damaged(const std::string& before, size_t offset) { return before + XmlDamagedMarker(offset); }

// --- Vectors -----------------------------------------------------------------

// Values SQL Server stored, as captured from data files, with the text the
// server gives for them.
struct ServerBlob {
  const char* name;
  const char* hex;
  const char* text;
};

const ServerBlob kServerBlobs[] = {
    {"X3", "DFFF01B004 F0 01 6100 EF000001 F801 11 01 3100 F7", "<a>1</a>"},
    {"X4",
     "DFFF01B004 F0 04 72006F006F007400 EF000001 F801 F0 02 69006400 EF000002 F602 11 01 3700 F5 F0 01 7800 EF000003 "
     "F803 11 02 68006900 F7 F0 01 7900 EF000004 F804 11 03 740077006F00 F7 F7",
     "<root id=\"7\"><x>hi</x><y>two</y></root>"},
    {"X5", "DFFF01B004 F0 01 6500 EF000001 F801 F7", "<e/>"},
    {"X6", "DFFF01B004 F0 01 6100 EF000001 F801 F0 01 7000 EF000002 F602 11 03 780022007900 F5 F7",
     "<a p=\"x&quot;y\"/>"},
    {"X7", "DFFF01B004 F0 01 7200 EF000001 F801 F0 01 7800 EF000002 F802 11 01 3100 F7 F802 11 01 3200 F7 F7",
     "<r><x>1</x><x>2</x></r>"},
    {"X8", "DFFF01B004 F0 01 7400 EF000001 F801 11 09 61002000 3C002000 62002000 26002000 6300 F7",
     "<t>a &lt; b &amp; c</t>"},
    {"X9", "DFFF01B004 F0 03 64006F006300 EF000001 F801 11 03 61003C006200 F7", "<doc>a&lt;b</doc>"},
};

// A deleted row image from a log record: a varchar column and an xml column
// held in the row, then a versioning tag.
const char kX11Row[] =
    "70 00 04 00 02 00 00 02 00 26 00 20 01 44 4F 48 2E 44 32 30 32 33 30 34 31 30 31 38 33 33 36 38"
    "34 32 35 32 30 30 DF FF 01 B0 04 F0 03 72 00 6F 00 77 00 EF 00 00 01 F8 01 F0 02 69 00 64 00 EF"
    "00 00 02 F6 02 11 19 44 00 4F 00 48 00 2E 00 44 00 32 00 30 00 32 00 33 00 30 00 34 00 31 00 30"
    "00 31 00 38 00 33 00 33 00 36 00 38 00 34 00 32 00 35 00 32 00 30 00 30 00 F0 05 73 00 70 00 61"
    "00 63 00 65 00 F0 24 68 00 74 00 74 00 70 00 3A 00 2F 00 2F 00 77 00 77 00 77 00 2E 00 77 00 33"
    "00 2E 00 6F 00 72 00 67 00 2F 00 58 00 4D 00 4C 00 2F 00 31 00 39 00 39 00 38 00 2F 00 6E 00 61"
    "00 6D 00 65 00 73 00 70 00 61 00 63 00 65 00 F0 03 78 00 6D 00 6C 00 EF 04 05 03 F6 03 11 08 70"
    "00 72 00 65 00 73 00 65 00 72 00 76 00 65 00 F5 F0 02 63 00 31 00 EF 00 00 06 F8 04 11 10 4D 00"
    "53 00 47 00 2E 00 53 00 57 00 49 00 46 00 54 00 2E 00 34 00 37 00 32 00 33 00 39 00 35 00 F7 F7"
    "00 00 00 00 00 00 00 00 62 6E EC AB 31 00";

// The xml column of the row: the second variable column, between the end
// offsets the row stores for the first and the second.
Bytes X11Value() {
  const Bytes row = Hex(kX11Row);
  const uint16_t start = LoadLE<uint16_t>(row, 9);
  const uint16_t end = LoadLE<uint16_t>(row, 11);
  return Bytes(row.begin() + start, row.begin() + end);
}

const char kX11Text[] = "<row id=\"DOH.D20230410183368425200\" xml:space=\"preserve\"><c1>MSG.SWIFT.472395</c1></row>";

// Schema-bound xml (Version 2) with type annotations, as the server stored it.
const char kX10[] =
    "DF FF 02 B0 04 EA 05 00 01 00 01 00 F0 04 72 00 6F 00 6F 00 74 00 F0 06 75 00 72 00 6E 00 3A 00"
    "74 00 63 00 EF 02 00 01 F8 01 F0 05 78 00 6D 00 6C 00 6E 00 73 00 EF 00 03 00 F6 02 11 06 75 00"
    "72 00 6E 00 3A 00 74 00 63 00 EA 05 00 71 00 00 13 F0 01 6E 00 EF 00 00 04 F6 03 87 13 26 0A 01"
    "00 68 F3 C9 61 00 00 00 00 00 00 00 00 00 00 00 F5 EA 09 01 71 00 00 13 0A 00 00 00 F0 01 69 00"
    "EF 02 00 05 F8 04 EA 05 00 71 00 00 13 87 13 26 0A 01 00 8C B6 61 1E 01 00 00 00 00 00 00 00 00"
    "00 00 F7 EA 09 01 13 00 00 13 0A 00 00 00 F0 01 64 00 EF 02 00 06 F8 05 EA 05 00 13 00 00 13 87"
    "13 26 0A 01 00 FA 95 4F 07 00 00 00 00 00 00 00 00 00 00 00 F7 EA 09 01 15 00 00 15 0C 00 00 00"
    "F0 02 64 00 74 00 EF 02 00 07 F8 06 EA 05 00 15 00 00 15 7E 00 25 2B 00 91 40 0B F7 EA 09 01 10"
    "00 00 10 0A 00 00 00 F0 01 62 00 EF 02 00 08 F8 07 EA 05 00 10 00 00 10 86 01 F7 EA 09 01 17 00"
    "00 17 0C 00 00 00 F0 02 64 00 64 00 EF 02 00 09 F8 08 EA 05 00 17 00 00 17 7F 9B 42 0B F7 EA 09"
    "01 0F 00 00 0F 0A 00 00 00 F0 01 73 00 EF 02 00 0A F8 09 EA 05 00 0F 00 00 0F 11 05 68 00 65 00"
    "6C 00 6C 00 6F 00 F7 F7";

TEST(BinaryXmlVectors, ServerStoredValues) {
  for (const ServerBlob& blob : kServerBlobs) {
    const XmlDecodeResult result = DecodeBinaryXml(Hex(blob.hex));
    EXPECT_EQ(result.text, blob.text) << blob.name;
    EXPECT_FALSE(result.damaged()) << blob.name;
  }
  // A text of 300 code units: the count takes two bytes (AC 02).
  const Bytes longText =
      Concat({Hex("DFFF01B004 F0 01 6200 EF000001 F801 11 AC 02"), Utf16(std::string(300, 'x')), Bytes{0xF7}});
  EXPECT_EQ(Decode(longText), "<b>" + std::string(300, 'x') + "</b>");

  EXPECT_EQ(Decode(X11Value()), kX11Text);
  EXPECT_EQ(Decode(Hex(kX10)),
            "<root xmlns=\"urn:tc\" n=\"42\"><i>123</i><d>3.14</d><dt>2020-01-02T03:04:05</dt><b>true</b>"
            "<dd>2021-06-07</dd><s>hello</s></root>");
}

TEST(BinaryXmlVectors, FormatDocumentExamples) {
  // The document example: whitespace text, a PI and a comment.
  EXPECT_EQ(Decode(Hex("DF FF 01 B0 04 F0 04 72 00 6F 00 6F 00 74 00 EF 00 00 01 F8 01 11 02 0A 00 09 00 F0 02 70 00"
                       "69 00 F4 02 04 74 00 65 00 78 00 74 00 11 02 0A 00 09 00 F3 07 63 00 6F 00 6D 00 6D 00 65 00"
                       "6E 00 74 00 11 01 0A 00 F7")),
            "<root>\n\t<?pi text?>\n\t<!--comment-->\n</root>");
  // The names example: a prefixed element and the declaration of its prefix.
  EXPECT_EQ(Decode(Hex("DF FF 01 B0 04 F0 02 6E 00 73 00 F0 06 70 00 72 00 65 00 66 00 69 00 78 00 F0 09 6C 00 6F 00"
                       "63 00 61 00 6C 00 4E 00 61 00 6D 00 65 00 EF 01 02 03 F8 01 F0 0C 78 00 6D 00 6C 00 6E 00 73"
                       "00 3A 00 70 00 72 00 65 00 66 00 69 00 78 00 EF 00 04 00 F6 02 11 02 6E 00 73 00 F5 F7")),
            "<prefix:localName xmlns:prefix=\"ns\"/>");
}

// The small examples of the format: decimal, money, binhex, datetime
// rounding, and the text form of an element named with a non-ASCII letter.
TEST(BinaryXmlVectors, FormatValueExamples) {
  const Bytes element = Hex("DFFF01B004 F0 01 7600 EF000001 F801");
  auto value = [&](const char* atom) { return Decode(Concat({element, Hex(atom), Bytes{0xF7}})); };
  EXPECT_EQ(value("0A 07 06 04 01 5E 0D 03 00"), "<v>20.0030</v>");
  EXPECT_EQ(value("87 07 06 04 01 5E 0D 03 00"), "<v>20.003</v>");
  EXPECT_EQ(value("05 59 92 01 00 00 00 00 00"), "<v>10.3001</v>");
  EXPECT_EQ(value("84 03 42 AC EF"), "<v>42ACEF</v>");
  // 00:59:59.999 and 01:00:00.000 are both stored as 1080000 ticks.
  EXPECT_EQ(value("12 00 00 00 00 C0 7A 10 00"), "<v>1900-01-01T01:00:00</v>");
  EXPECT_EQ(Decode(Hex("DFFF01B004 F0 01 9403 EF000001 F801 F7")), "<\xCE\x94/>");
}

// Analysis Services answers in the same format.
TEST(BinaryXmlVectors, AnalysisServicesValues) {
  const char* prefix =
      "DFFF01B004 F0 04 72006F006F007400 EF000001 F801 F0 03 72006F007700 EF000002 F802 F0 04 5200610074006500 "
      "EF000003 F803";
  EXPECT_EQ(Decode(Concat({Hex(prefix), Hex("04 0000000000205C40 F7F7F7")})),
            "<root><row><Rate>112.5</Rate></row></root>");
  EXPECT_EQ(Decode(Concat({Hex(prefix), Hex("05 882A110000000000 F7F7F7")})),
            "<root><row><Rate>112.50</Rate></row></root>");
}

// --- The encoder writes what the server writes ---------------------------------

TEST(BinaryXmlEncoder, ReproducesServerBytes) {
  const XmlNode documents[] = {
      Element({"a"}, {Text("1")}),
      Element({"root"}, {Attr({"id"}, "7")}, {Element({"x"}, {Text("hi")}), Element({"y"}, {Text("two")})}),
      Element({"e"}),
      Element({"a"}, {Attr({"p"}, "x\"y")}),
      Element({"r"}, {Element({"x"}, {Text("1")}), Element({"x"}, {Text("2")})}),
      Element({"t"}, {Text("a < b & c")}),
      Element({"doc"}, {Text("a<b")}),
  };
  for (size_t i = 0; i < std::size(documents); ++i)
    EXPECT_EQ(EncodeBinaryXml(documents[i]), Hex(kServerBlobs[i].hex)) << kServerBlobs[i].name;

  const XmlName xmlSpace{"space", "xml", "http://www.w3.org/XML/1998/namespace"};
  EXPECT_EQ(EncodeBinaryXml(Element({"row"}, {Attr({"id"}, "DOH.D20230410183368425200"), Attr(xmlSpace, "preserve")},
                                    {Element({"c1"}, {Text("MSG.SWIFT.472395")})})),
            X11Value());
}

// --- Round trips ---------------------------------------------------------------

TEST(BinaryXmlRoundTrip, EveryKindOfNode) {
  XmlDocument document;
  document.declaration = XmlDeclaration{"1.0", "utf-16", 1};
  document.doctype = XmlDocType{"r", "r.dtd", "-//X//Y", "<!ENTITY e 'x'>"};
  document.nodes = {
      Comment(" top "),
      Pi("style", "type=\"text/xsl\""),
      Element({"r"}, {Pi("empty", ""), CData({"x<y", "]]", ">z"}), XmlTextNode("<raw/>"), Extension({1, 2, 3}),
                      FlushNames(), Element({"after"}), Nested({Element({"n"}, {Text("in")})}, 2), Text("tail")}),
      Comment("end"),
  };
  EXPECT_EQ(Decode(EncodeBinaryXml(document)),
            "<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"yes\"?>"
            "<!DOCTYPE r PUBLIC \"-//X//Y\" \"r.dtd\" [<!ENTITY e 'x'>]><!-- top --><?style type=\"text/xsl\"?>"
            "<r><?empty?><![CDATA[x<y]]]]><![CDATA[>z]]><raw/><after/><n>in</n>tail</r><!--end-->");

  document.declaration = XmlDeclaration{"1.0", std::nullopt, 2};
  document.doctype = XmlDocType{"r", "r.dtd", std::nullopt, std::nullopt};
  document.nodes = {Element({"r"})};
  EXPECT_EQ(Decode(EncodeBinaryXml(document)),
            "<?xml version=\"1.0\" standalone=\"no\"?><!DOCTYPE r SYSTEM \"r.dtd\"><r/>");
}

TEST(BinaryXmlRoundTrip, Escaping) {
  const std::string every = "<&>\"'\t\n\r x\x01";
  EXPECT_EQ(Decode(Element({"e"}, {Attr({"a"}, every)}, {Text(every)})),
            "<e a=\"&lt;&amp;&gt;&quot;'&#x9;&#xA;&#xD; x&#x1;\">&lt;&amp;&gt;\"'\t\n&#xD; x&#x1;</e>");
  // A text node of white space only, alone in its element, keeps its last
  // character as a reference; beside other nodes it stays as it is.
  EXPECT_EQ(Decode(Element({"w"}, {Text("  ")})), "<w> &#x20;</w>");
  EXPECT_EQ(Decode(Element({"w"}, {Text(" \t\n")})), "<w> \t&#xA;</w>");
  EXPECT_EQ(Decode(Element({"w"}, {Text(" "), Element({"x"}), Text(" ")})), "<w> <x/> </w>");
  EXPECT_EQ(Decode(Element({"w"}, {Comment("c"), Text(" ")})), "<w><!--c--> </w>");
  EXPECT_EQ(Decode(Element({"w"}, {Attr({"a"}, " ")}, {})), "<w a=\" \"/>");
  EXPECT_EQ(Decode(Text(" ")), "&#x20;");
}

TEST(BinaryXmlRoundTrip, EmptyElementsAndValues) {
  EXPECT_EQ(Decode(Element({"a"})), "<a/>");
  // A stored empty text keeps the element open and closed.
  EXPECT_EQ(Decode(Element({"a"}, {Text("")})), "<a></a>");
  EXPECT_EQ(Decode(Element({"a"}, {XmlAttribute{{"x"}, {}}, Attr({"y"}, "")})), "<a x=\"\" y=\"\"/>");
  EXPECT_EQ(DecodeXmlValue(EncodeBinaryXml(XmlDocument{})).text, " ");
}

TEST(BinaryXmlRoundTrip, Namespaces) {
  const XmlName pa{"a", "p", "urn:demo"}, pb{"b", "p", "urn:demo"};
  EXPECT_EQ(Decode(Element(pa, {NamespaceDecl("p", "urn:demo")}, {Element(pb)})),
            "<p:a xmlns:p=\"urn:demo\"><p:b/></p:a>");
  EXPECT_EQ(Decode(Element({"a", "", "urn:demo"}, {NamespaceDecl("", "urn:demo")}, {Element({"b", "", "urn:demo"})})),
            "<a xmlns=\"urn:demo\"><b/></a>");
  // A redeclared prefix holds inside its element only.
  EXPECT_EQ(
      Decode(Element({"a", "p", "urn:1"}, {NamespaceDecl("p", "urn:1")},
                     {Element({"b", "p", "urn:2"}, {NamespaceDecl("p", "urn:2")}, {}), Element({"c", "p", "urn:1"})})),
      "<p:a xmlns:p=\"urn:1\"><p:b xmlns:p=\"urn:2\"/><p:c/></p:a>");
  // Names whose namespace no stored declaration binds get one.
  EXPECT_EQ(Decode(Element({"a", "p", "urn:x"})), "<p:a xmlns:p=\"urn:x\"/>");
  EXPECT_EQ(Decode(Element({"a"}, {Attr({"t", "q", "urn:q"}, "1")}, {})), "<a q:t=\"1\" xmlns:q=\"urn:q\"/>");
  EXPECT_EQ(Decode(Element({"a", "", "urn:d"}, {Element({"b"})})), "<a xmlns=\"urn:d\"><b xmlns=\"\"/></a>");
  // A nested document sees the declarations of its parent.
  EXPECT_EQ(Decode(Element(pa, {NamespaceDecl("p", "urn:demo")}, {Nested({Element(pb)})})),
            "<p:a xmlns:p=\"urn:demo\"><p:b/></p:a>");
  // A declaration split as prefix "xmlns" and local name "p".
  EXPECT_EQ(Decode(Element(pa, {Attr({"p", "xmlns", ""}, "urn:demo")}, {})), "<p:a xmlns:p=\"urn:demo\"/>");
}

TEST(BinaryXmlRoundTrip, CharactersOutsideTheBasicPlane) {
  const std::string oldItalic = "\xF0\x90\x8C\x80";  // U+10300, a surrogate pair in UTF-16
  EXPECT_EQ(Decode(Element({"t" + oldItalic}, {Attr({"a"}, oldItalic)}, {Text("x" + oldItalic + "y")})),
            "<t" + oldItalic + " a=\"" + oldItalic + "\">x" + oldItalic + "y</t" + oldItalic + ">");
  EXPECT_EQ(XmlTextData(oldItalic), (Bytes{0x02, 0x00, 0xD8, 0x00, 0xDF}));
  // A lone surrogate cannot be shown: U+FFFD stands for it.
  EXPECT_EQ(Decode(Hex("DFFF01B004 F0 01 6100 EF000001 F801 11 01 00D8 F7")), "<a>\xEF\xBF\xBD</a>");
}

// Every atomic type, each in an element of its own.
TEST(BinaryXmlRoundTrip, AtomicValues) {
  const Bytes uuid = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  const unsigned __int128 max38 = static_cast<unsigned __int128>(9999999999999999999ull) * 10000000000000000000ull +
                                  9999999999999999999ull;  // 38 nines
  const struct {
    XmlAtom atom;
    const char* text;
  } cases[] = {
      {XmlSmallInt(-32768), "-32768"},
      {XmlInt(std::numeric_limits<int32_t>::min()), "-2147483648"},
      {XmlBigInt(std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
      {XmlTinyInt(255), "255"},
      {XmlBit(1), "1"},
      {XmlByte(-128), "-128"},
      {XmlUnsignedShort(65535), "65535"},
      {XmlUnsignedInt(4294967295u), "4294967295"},
      {XmlUnsignedLong(18446744073709551615ull), "18446744073709551615"},
      {XmlReal(0.1f), "0.1"},
      {XmlReal(1.5e10f), "1.5E10"},
      {XmlFloat(13.4), "13.4"},
      {XmlFloat(100), "100"},
      {XmlFloat(0.000001), "0.000001"},
      {XmlFloat(1e7), "1.0E7"},
      {XmlFloat(-2.5e-7), "-2.5E-7"},
      {XmlFloat(1.7976931348623157e308), "1.7976931348623157E308"},
      {XmlFloat(-0.0), "-0"},
      {XmlFloat(std::numeric_limits<double>::infinity()), "INF"},
      {XmlFloat(-std::numeric_limits<double>::infinity()), "-INF"},
      {XmlFloat(std::nan("")), "NaN"},
      {XmlMoney(1125000), "112.50"},
      {XmlMoney(-5), "-0.0005"},
      {XmlMoney(std::numeric_limits<int64_t>::min()), "-922337203685477.5808"},
      {XmlSmallMoney(-1000000), "-100.00"},
      {XmlBoolean(false), "false"},
      {XmlBoolean(true), "true"},
      {XmlDecimal(0x0A, 10, 4, true, 5, 4), "-0.0005"},
      {XmlDecimal(0x0B, 5, 2, false, 0, 8), "0.00"},
      {XmlDecimal(0x87, 10, 3, false, 33000, 12), "33"},
      {XmlDecimal(0x87, 10, 3, true, 500, 4), "-0.5"},
      {XmlDecimal(0x87, 5, 2, true, 0, 4), "0"},
      {XmlDecimal(0x87, 38, 0, false, max38), "99999999999999999999999999999999999999"},
      {XmlDecimal(0x0A, 38, 38, false, max38), "0.99999999999999999999999999999999999999"},
      {XmlUuid(uuid), "03020100-0504-0706-0809-0A0B0C0D0E0F"},
      {XmlBlob(0x0C, {0x00, 0xFF, 0x10}), "AP8Q"},
      {XmlBlob(0x0F, {1, 2}), "AQI="},
      {XmlBlob(0x17, {1}), "AQ=="},
      {XmlBlob(0x1B, {}), ""},
      {XmlBlob(0x85, {'M', 'a', 'n'}), "TWFu"},
      {XmlBlob(0x84, {0x0F, 0xA0}), "0FA0"},
      {XmlCodePageString({'c', 'a', 'f', 0xE9}, 1252), "caf\xC3\xA9"},
      {XmlCodePageString({0xCF, 0xF0}, 1251, 0x16), "\xD0\x9F\xD1\x80"},
      {XmlCodePageString(Utf16("h\xC3\xA9"), 1200, 0x0D), "h\xC3\xA9"},
      {XmlString("nchar", 0x0E), "nchar"},
      {XmlString("ntext", 0x18), "ntext"},
      {XmlSqlDateTime(43829, 1), "2020-01-01T00:00:00.003"},
      {XmlSqlDateTime(-53690, 25919999), "1753-01-01T23:59:59.997"},
      {XmlSmallDateTime(43829, 61), "2020-01-01T01:01:00"},
      {XmlXsdDate(2021, 6, 7, 0), "2021-06-07Z"},
      {XmlXsdDate(2020, 1, 2, 330), "2020-01-02+05:30"},
      {XmlXsdDate(2020, 1, 2, -300), "2020-01-02-05:00"},
      {XmlXsdDate(-44, 3, 15, 0), "-0044-03-15Z"},
      {XmlXsdDateTime(2020, 1, 2, 3, 4, 5, 0), "2020-01-02T03:04:05Z"},
      {XmlXsdDateTime(9999, 12, 31, 23, 59, 59, 120), "9999-12-31T23:59:59.12Z"},
      {XmlXsdTime(23, 59, 59, 999), "23:59:59.999Z"},
      {XmlDate2(737947), "2021-06-07"},
      {XmlDate2(0), "0001-01-01"},
      {XmlTime2(7, 110451234567ull), "03:04:05.1234567"},
      {XmlTime2(3, 11045500), "03:04:05.5"},
      {XmlDateTime2(0, 11045, 737425), "2020-01-02T03:04:05"},
      {XmlDateTime2(5, 8639999999ull, 3652058), "9999-12-31T23:59:59.99999"},
      {XmlOffsetTime(0x7B, 0, 11045, 737425, 330), "2020-01-02T08:34:05+05:30"},
      {XmlOffsetTime(0x7B, 0, 11045, 737425, -300), "2020-01-01T22:04:05-05:00"},
      {XmlOffsetTime(0x7B, 0, 11045, 737425, 0), "2020-01-02T03:04:05Z"},
      {XmlOffsetTime(0x7A, 2, 1104550, 693595, -300), "22:04:05.5-05:00"},
      {XmlOffsetTime(0x7C, 0, 0, 737425, 0), "2020-01-02Z"},
      {XmlOffsetTime(0x7C, 0, 0, 737425, 330), "2020-01-02+05:30"},
      {XmlQNameValue({"item", "p", "urn:p"}), "p:item"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Decode(Element({"v"}, {Atoms({c.atom})})), std::string("<v>") + c.text + "</v>")
        << "token " << int{c.atom.token};
    EXPECT_EQ(Decode(Element({"v"}, {Attr({"a"}, {c.atom})}, {})), std::string("<v a=\"") + c.text + "\"/>")
        << "token " << int{c.atom.token};
  }
}

TEST(BinaryXmlRoundTrip, TypedListsAndMixedText) {
  EXPECT_EQ(Decode(Element({"l"}, {Attr({"a"}, {XmlInt(1), XmlInt(2)})}, {Atoms({XmlInt(3), XmlBoolean(true)})})),
            "<l a=\"1 2\">3 true</l>");
  EXPECT_EQ(Decode(Element({"m"}, {Atoms({XmlString("n="), XmlInt(5), XmlString("!")})})), "<m>n=5!</m>");
}

TEST(BinaryXmlRoundTrip, DeepNestingAndManyNames) {
  XmlNode node = Element({"d"});
  std::string expected = "<d/>";
  for (int i = 1; i < 1000; ++i) {
    std::vector<XmlNode> inner;
    inner.push_back(std::move(node));
    node = Element({"d"}, std::move(inner));
    expected = "<d>" + expected + "</d>";
  }
  EXPECT_EQ(Decode(node), expected);

  XmlDocument document;
  XmlNode root = Element({"root"});
  expected = "<root>";
  for (int i = 0; i < 20000; ++i) {
    const std::string n = std::to_string(i);
    root.children.push_back(Element({"e" + n}, {Attr({"a" + n}, n)}, {}));
    expected += "<e" + n + " a" + n + "=\"" + n + "\"/>";
  }
  expected += "</root>";
  document.nodes.push_back(root);
  EXPECT_EQ(Decode(EncodeBinaryXml(document)), expected);
  // The same with the tables flushed every hundred names.
  document.flushAfterNames = 100;
  EXPECT_EQ(Decode(EncodeBinaryXml(document)), expected);
}

// A large value reaches the renderer in pieces, split anywhere.
TEST(BinaryXmlRoundTrip, ValueInFragments) {
  std::vector<XmlNode> rows;
  for (int i = 0; i < 2000; ++i) rows.push_back(Element({"row"}, {Attr({"n"}, std::to_string(i))}, {Text("a & b")}));
  const Bytes value = EncodeBinaryXml(Element({"t"}, rows));
  const std::string whole = Decode(value);
  for (size_t size : {1, 7, 8000}) {
    std::vector<Bytes> pieces;
    for (size_t at = 0; at < value.size(); at += size)
      pieces.emplace_back(value.begin() + at, value.begin() + std::min(value.size(), at + size));
    EXPECT_EQ(RenderXmlValue(pieces), whole) << size;
  }
  EXPECT_EQ(RenderXmlValue({}), " ");
}

// --- Damaged values --------------------------------------------------------------

const Bytes kX3 = Hex(kServerBlobs[0].hex);  // <a>1</a>: token 0x11 at 15, 0xF7 at 19

Bytes Replace(Bytes bytes, size_t at, const Bytes& with, size_t count) {
  bytes.erase(bytes.begin() + at, bytes.begin() + at + count);
  bytes.insert(bytes.begin() + at, with.begin(), with.end());
  return bytes;
}

TEST(BinaryXmlDamage, Header) {
  for (const char* header : {"", "DF", "DFFF01B0", "DEFF01B004", "DFFF03B004", "DFFF01E9FD"}) {
    const XmlDecodeResult result = DecodeBinaryXml(Hex(header));
    EXPECT_EQ(result.faultOffset, 0u) << header;
    EXPECT_EQ(result.text, XmlDamagedMarker(0)) << header;
  }
  EXPECT_EQ(XmlDamagedMarker(12), "<!-- ravelin: xml damaged at byte 12 -->");
  EXPECT_EQ(Decode(Hex("DFFF00B004 F0 01 6100 EF000001 F801 F7")), "<a/>");  // version 0 reads as 1
}

TEST(BinaryXmlDamage, TextUpToTheFault) {
  // The value ends early: inside a text, after it, after a start tag.
  EXPECT_EQ(Decode(Bytes(kX3.begin(), kX3.end() - 1)), Damaged("<a>1", 19));
  EXPECT_EQ(Decode(Bytes(kX3.begin(), kX3.end() - 2)), Damaged("<a>", 15));
  EXPECT_EQ(Decode(Bytes(kX3.begin(), kX3.begin() + 15)), Damaged("<a>", 15));
  // An unused token value.
  for (uint8_t token : {0x00, 0x15, 0x19, 0x80, 0xEE, 0xFF})
    EXPECT_EQ(Decode(Replace(kX3, 19, {token}, 1)), Damaged("<a>1", 19)) << int{token};
  // A qualified name that was never defined; one naming an undefined name.
  EXPECT_EQ(Decode(Replace(kX3, 14, {0x02}, 1)), Damaged("", 13));
  EXPECT_EQ(Decode(Replace(kX3, 12, {0x05}, 1)), Damaged("", 9));
  // More end tags than elements, end of a nested document that never began.
  EXPECT_EQ(Decode(Concat({kX3, Bytes{0xF7}})), Damaged("<a>1</a>", 20));
  EXPECT_EQ(Decode(Concat({kX3, Bytes{0xEB}})), Damaged("<a>1</a>", 20));
  // An attribute after content; CDATA end without CDATA.
  EXPECT_EQ(Decode(Replace(kX3, 19, {0xF6, 0x01}, 0)), Damaged("<a>1", 19));
  EXPECT_EQ(Decode(Replace(kX3, 19, {0xF1}, 0)), Damaged("<a>1", 19));
  // A count longer than the rest of the value; an integer of six bytes.
  EXPECT_EQ(Decode(Replace(kX3, 16, {0x05}, 1)), Damaged("<a>", 15));
  EXPECT_EQ(Decode(Replace(kX3, 16, {0x81, 0x80, 0x80, 0x80, 0x80, 0x00}, 1)), Damaged("<a>", 15));

  // Open tags, values and sections are closed before the marker.
  const Bytes x6 = Hex(kServerBlobs[3].hex);  // <a p="x&quot;y"/>: 0x11 at 25, 0xF5 at 33
  EXPECT_EQ(Decode(Bytes(x6.begin(), x6.begin() + 30)), Damaged("<a p=\"\">", 25));
  EXPECT_EQ(Decode(Replace(x6, 33, {}, 1)), Damaged("<a p=\"x&quot;y\">", 33));
  const Bytes cdata = EncodeBinaryXml(Element({"c"}, {CData({"x<y"})}));
  EXPECT_EQ(Decode(Replace(cdata, cdata.size() - 2, {0x80}, 1)), Damaged("<c><![CDATA[x<y]]>", cdata.size() - 2));

  // A nested document left with an open element, or with a bad header.
  const Bytes nested = EncodeBinaryXml(Element({"n"}, {Nested({Element({"m"})})}));
  EXPECT_EQ(Decode(Replace(nested, nested.size() - 3, {}, 1)), Damaged("<n><m>", nested.size() - 3));
  const size_t nest = static_cast<size_t>(std::find(nested.begin(), nested.end(), 0xEC) - nested.begin());
  EXPECT_EQ(Decode(Replace(nested, nest + 3, {0x03}, 1)), Damaged("<n>", nest));
}

TEST(BinaryXmlDamage, AtomicValuesOutOfRange) {
  const Bytes element = Hex("DFFF01B004 F0 01 7600 EF000001 F801");  // the value starts at 15
  for (const char* atom : {
           "0A 08 06 04 01 5E 0D 03 00 00",  // decimal of no decimal's length
           "87 07 27 04 01 5E 0D 03 00",     // precision 39
           "87 07 06 07 01 5E 0D 03 00",     // scale above precision
           "83 02 00 00 00 00 00 00 00",     // a date tagged as a dateTime
           "81 00 70 99 14 00 00 00 00",     // 24:00:00 (86400000 ms × 4)
           "12 00 00 00 00 00 82 8B 01",     // 25920000 ticks: a whole day
           "13 00 00 A0 05",                 // 1440 minutes
           "7E 08 00 00 00 00 00 00 00 00",  // time precision 8
           "7F DB B9 37",                    // day 3652059, after 9999-12-31
           "7B 00 00 00 00 00 00 00 85 03",  // zone +14:45
           "0D 03 B0 04 00",                 // code page text without its code page
           "11 02 41 00",                    // text cut short
       }) {
    const XmlDecodeResult result = DecodeBinaryXml(Concat({element, Hex(atom), Bytes{0xF7}}));
    EXPECT_EQ(result.text, Damaged("<v>", 15)) << atom;
  }
}

// Every byte of a document that uses every construct, replaced by values
// that are tokens or lengths: nothing crashes, and the marker is there
// exactly when the result says damaged.
TEST(BinaryXmlDamage, ReplacedBytesNeverCrash) {
  XmlDocument document;
  document.declaration = XmlDeclaration{};
  document.nodes = {Element({"r", "p", "urn:p"}, {NamespaceDecl("p", "urn:p"), Attr({"a"}, {XmlInt(7)})},
                            {Text("t&"), CData({"c"}), Comment("k"), Pi("pi", "d"), Extension({9}),
                             Nested({Element({"n"}, {Atoms({XmlDecimal(0x87, 5, 2, false, 314),
                                                            XmlXsdDate(2020, 1, 2, 0), XmlQNameValue({"q"})})})}),
                             FlushNames(), Element({"z"}, {Atoms({XmlDateTime2(3, 5, 5)})})})};
  const Bytes value = EncodeBinaryXml(document);
  ASSERT_FALSE(DecodeBinaryXml(value).damaged());
  const size_t root = static_cast<size_t>(std::find(value.begin(), value.end(), 0xF8) - value.begin());
  for (size_t at = 0; at < value.size(); ++at) {
    for (int b = 0; b < 256; ++b) {
      Bytes changed = value;
      changed[at] = static_cast<uint8_t>(b);
      const XmlDecodeResult result = DecodeBinaryXml(changed);
      if (!result.damaged()) continue;
      ASSERT_LE(*result.faultOffset, changed.size());
      ASSERT_TRUE(result.text.ends_with(XmlDamagedMarker(*result.faultOffset))) << at << " " << b;
    }
    // Cut anywhere after the root element began, the value is damaged.
    const XmlDecodeResult cut = DecodeBinaryXml(ByteSpan(value).first(at));
    if (at > root) {
      ASSERT_TRUE(cut.damaged()) << at;
    }
    if (cut.damaged()) {
      ASSERT_LE(*cut.faultOffset, at);
    }
  }
}

// --- Limits -------------------------------------------------------------------------

// `depth` ELEMENT tokens of one name, then as many ends.
Bytes Nesting(size_t depth) {
  Bytes value = Hex("DFFF01B004 F0 01 6400 EF000001");
  for (size_t i = 0; i < depth; ++i) value.insert(value.end(), {0xF8, 0x01});
  value.insert(value.end(), depth, 0xF7);
  return value;
}

TEST(BinaryXmlLimits, NestingDepth) {
  const XmlDecodeResult deep = DecodeBinaryXml(Nesting(100000));
  const size_t limit = XmlDecodeLimits{}.maxDepth;
  std::string opened;
  for (size_t i = 0; i < limit; ++i) opened += "<d>";
  EXPECT_EQ(deep.text, Damaged(opened, 13 + 2 * limit));

  // Nested documents count as levels too.
  Bytes nests = XmlHeader();
  for (int i = 0; i < 100000; ++i) {
    nests.push_back(0xEC);
    const Bytes header = XmlHeader();
    nests.insert(nests.end(), header.begin(), header.end());
  }
  EXPECT_EQ(DecodeBinaryXml(nests).faultOffset, 5 + 6 * limit);

  XmlDecodeLimits three;
  three.maxDepth = 3;
  EXPECT_FALSE(DecodeBinaryXml(Nesting(3), three).damaged());
  EXPECT_EQ(DecodeBinaryXml(Nesting(4), three).faultOffset, 13u + 6);
}

TEST(BinaryXmlLimits, NameTables) {
  XmlDocument document;
  XmlNode root = Element({"n0"});
  for (int i = 1; i < 8; ++i) root.children.push_back(Element({"n" + std::to_string(i)}));
  document.nodes.push_back(root);
  XmlDecodeLimits eight;
  eight.maxNames = 8;
  EXPECT_FALSE(DecodeBinaryXml(EncodeBinaryXml(document), eight).damaged());
  root.children.push_back(Element({"n8"}));
  document.nodes = {root};
  EXPECT_TRUE(DecodeBinaryXml(EncodeBinaryXml(document), eight).damaged());
  // A writer that flushes its tables stays within them.
  document.flushAfterNames = 8;
  EXPECT_FALSE(DecodeBinaryXml(EncodeBinaryXml(document), eight).damaged());
}

TEST(BinaryXmlLimits, TextGrowth) {
  // One long name used by many empty elements: each use costs three bytes
  // of the value and four thousand of text.
  auto manyUses = [](size_t count) {
    XmlNode root = Element({"r"});
    for (size_t i = 0; i < count; ++i) root.children.push_back(Element({std::string(4000, 'n')}));
    return EncodeBinaryXml(root);
  };
  const Bytes few = manyUses(100);
  EXPECT_FALSE(DecodeBinaryXml(few).damaged());
  const Bytes many = manyUses(6000);
  const XmlDecodeResult result = DecodeBinaryXml(many);
  ASSERT_TRUE(result.damaged());
  const XmlDecodeLimits limits;
  EXPECT_LE(result.text.size(), limits.outputFloor + limits.outputPerInputByte * many.size() + 4100);
}

// --- Token listing ------------------------------------------------------------------

std::vector<std::string> TokenTexts(const XmlTokenListing& listing) {
  std::vector<std::string> texts;
  for (const XmlToken& token : listing.tokens) texts.push_back("@" + std::to_string(token.offset) + " " + token.text);
  return texts;
}

TEST(BinaryXmlTokens, ListsTheFirstTokensWithTheirNames) {
  const XmlTokenListing x4 = ListXmlTokens(Hex(kServerBlobs[1].hex), 9);
  EXPECT_EQ(TokenTexts(x4), (std::vector<std::string>{
                                "@0 header version 1", "@5 NAMEDEF 1 \"root\"", "@15 QNAMEDEF 1 = root",
                                "@19 ELEMENT root", "@21 NAMEDEF 2 \"id\"", "@27 QNAMEDEF 2 = id", "@31 ATTRIBUTE id",
                                "@33 SQL-NVARCHAR \"7\"", "@37 ENDATTRIBUTES", "@38 NAMEDEF 3 \"x\""}));
  EXPECT_TRUE(x4.more);
  EXPECT_FALSE(x4.faultOffset);
  EXPECT_FALSE(ListXmlTokens(Hex(kServerBlobs[1].hex), 100).more);

  // Typed values in their text, extensions skipped, qualified names with
  // their namespace.
  const std::vector<std::string> x10 = TokenTexts(ListXmlTokens(Hex(kX10), 100));
  auto has = [&x10](const std::string& text) {
    return std::any_of(x10.begin(), x10.end(), [&](const std::string& t) { return t.ends_with(text); });
  };
  EXPECT_TRUE(has(" header version 2"));
  EXPECT_TRUE(has(" EXTN 5 bytes"));
  EXPECT_TRUE(has(" QNAMEDEF 1 = root in \"urn:tc\""));
  EXPECT_TRUE(has(" XSD-DECIMAL \"42\""));
  EXPECT_TRUE(has(" XSD-DATETIME2 \"2020-01-02T03:04:05\""));
  EXPECT_TRUE(has(" XSD-BOOLEAN \"true\""));

  // Texts stay on one line and short; a nested document has names of its own.
  const XmlTokenListing nested =
      ListXmlTokens(EncodeBinaryXml(Element({"a"}, {Comment("line\none \"quoted\""), Text(std::string(100, 'x')),
                                                    Nested({Element({"b"})}), Element({"c"})})),
                    100);
  const std::vector<std::string> texts = TokenTexts(nested);
  auto find = [&texts](const std::string& text) {
    return std::find_if(texts.begin(), texts.end(), [&](const std::string& t) { return t.ends_with(text); }) !=
           texts.end();
  };
  EXPECT_TRUE(find(" COMMENT \"line\\none \\\"quoted\\\"\"")) << ::testing::PrintToString(texts);
  EXPECT_TRUE(find(" SQL-NVARCHAR \"" + std::string(40, 'x') + "...\""));
  EXPECT_TRUE(find(" NEST version 1"));
  EXPECT_TRUE(find(" ELEMENT b"));
  EXPECT_TRUE(find(" ENDNEST"));
  EXPECT_TRUE(find(" ELEMENT c"));
  EXPECT_FALSE(nested.faultOffset);
}

TEST(BinaryXmlTokens, StopsAtWhatCannotBeRead) {
  EXPECT_EQ(ListXmlTokens(Hex("DFFF03B004 F7"), 10).faultOffset, 0u);
  EXPECT_TRUE(ListXmlTokens(Hex("DFFF03B004 F7"), 10).tokens.empty());
  EXPECT_FALSE(HasBinaryXmlHeader(Hex("DFFF01B0")));
  // kX3 with an unknown token in place of the text's token, then cut
  // inside a name definition.
  Bytes unknown = kX3;
  unknown[15] = 0x30;
  const XmlTokenListing bad = ListXmlTokens(unknown, 10);
  EXPECT_EQ(bad.faultOffset, 15u);
  EXPECT_EQ(bad.tokens.back().text, "ELEMENT a");
  const XmlTokenListing cut = ListXmlTokens(ByteSpan(kX3).first(8), 10);
  EXPECT_EQ(cut.faultOffset, 5u);
  EXPECT_EQ(cut.tokens.size(), 1u);
  // A reference to a qualified name never defined is shown by number.
  EXPECT_EQ(ListXmlTokens(Hex("DFFF01B004 F807"), 10).tokens.back().text, "ELEMENT #7");
}

}  // namespace
}  // namespace ravelin
