// Writes SQL Server's binary XML from a small document model, so that tests,
// benchmarks and fuzz seeds state the document rather than its bytes.
//
// Names are defined the way the server's writer defines them: just before
// their first use, local name first, then namespace, then prefix, each
// string once per table; a qualified name once, then referred to.

#ifndef RAVELIN_TESTS_SUPPORT_BINARY_XML_ENCODER_H_
#define RAVELIN_TESTS_SUPPORT_BINARY_XML_ENCODER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "storage/bytes.h"

namespace ravelin::testing {

// An element, attribute or XSD-QNAME name.
struct XmlName {
  XmlName() = default;
  XmlName(std::string localName, std::string prefixName = "", std::string namespaceUri = "")
      : local(std::move(localName)), prefix(std::move(prefixName)), uri(std::move(namespaceUri)) {}

  std::string local;
  std::string prefix;
  std::string uri;
};

// A namespace declaration's name: "xmlns" (prefix empty) or "xmlns:p".
XmlName XmlnsName(const std::string& prefix = "");

// An atomic value: its token and payload. An XSD-QNAME value names a
// qualified name the encoder defines first.
struct XmlAtom {
  uint8_t token = 0x11;
  Bytes payload;
  std::optional<XmlName> qname;
};

// Text values.
XmlAtom XmlString(const std::string& utf8, uint8_t token = 0x11);  // NVARCHAR; NCHAR 0x0E, NTEXT 0x18
XmlAtom XmlCodePageString(const Bytes& text, uint32_t codePage, uint8_t token = 0x10);  // VARCHAR; CHAR 0x0D, TEXT 0x16
// Numbers.
XmlAtom XmlSmallInt(int16_t v);
XmlAtom XmlInt(int32_t v);
XmlAtom XmlBigInt(int64_t v);
XmlAtom XmlTinyInt(uint8_t v);
XmlAtom XmlBit(uint8_t v);
XmlAtom XmlByte(int8_t v);
XmlAtom XmlUnsignedShort(uint16_t v);
XmlAtom XmlUnsignedInt(uint32_t v);
XmlAtom XmlUnsignedLong(uint64_t v);
XmlAtom XmlReal(float v);
XmlAtom XmlFloat(double v);
XmlAtom XmlMoney(int64_t tenThousandths);
XmlAtom XmlSmallMoney(int32_t tenThousandths);
XmlAtom XmlBoolean(bool v);
// SQL-DECIMAL (0x0A), SQL-NUMERIC (0x0B) or XSD-DECIMAL (0x87): ±magnitude /
// 10^scale, the magnitude in `width` bytes (4, 8, 12 or 16).
XmlAtom XmlDecimal(uint8_t token, int precision, int scale, bool negative, unsigned __int128 magnitude, int width = 16);
XmlAtom XmlUuid(const Bytes& sixteen);
// The blob types: BINARY 0x0C, VARBINARY 0x0F, IMAGE 0x17, UDT 0x1B,
// BINHEX 0x84, BASE64 0x85.
XmlAtom XmlBlob(uint8_t token, const Bytes& bytes);
// SQL-DATETIME: days since 1900-01-01, 1/300-second ticks.
XmlAtom XmlSqlDateTime(int32_t days, uint32_t ticks);
XmlAtom XmlSmallDateTime(uint16_t days, uint16_t minutes);
// The packed XSD forms; zone in minutes east of UTC.
XmlAtom XmlXsdDate(int year, int month, int day, int zoneMinutes);
XmlAtom XmlXsdDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond);
XmlAtom XmlXsdTime(int hour, int minute, int second, int millisecond);
// The Version 2 forms: a time of day in 10^-precision seconds, days since
// 0001-01-01, zone in minutes (the offset forms store UTC date and time).
XmlAtom XmlDate2(uint32_t days);
XmlAtom XmlTime2(int precision, uint64_t units);
XmlAtom XmlDateTime2(int precision, uint64_t units, uint32_t days);
// TIMEOFFSET 0x7A, DATETIMEOFFSET 0x7B, DATEOFFSET 0x7C.
XmlAtom XmlOffsetTime(uint8_t token, int precision, uint64_t units, uint32_t days, int16_t zoneMinutes);
XmlAtom XmlQNameValue(const XmlName& name);

struct XmlAttribute {
  XmlName name;
  std::vector<XmlAtom> values;  // none: an empty value
};

XmlAttribute Attr(const XmlName& name, const std::string& value);
XmlAttribute Attr(const XmlName& name, std::vector<XmlAtom> values);
XmlAttribute NamespaceDecl(const std::string& prefix, const std::string& uri);

struct XmlNode {
  enum class Kind { kElement, kText, kCData, kComment, kPi, kXmlText, kNested, kExtension, kFlush };
  Kind kind = Kind::kText;
  XmlName name;                          // element
  std::vector<XmlAttribute> attributes;  // element
  std::vector<XmlNode> children;         // element, nested document
  std::vector<XmlAtom> atoms;            // text: one or more values
  std::vector<std::string> chunks;       // CDATA chunks
  std::string text;                      // comment, PI data, XML text
  std::string target;                    // PI
  Bytes extension;                       // extension data
  uint8_t version = 1;                   // nested document
};

XmlNode Element(const XmlName& name, std::vector<XmlAttribute> attributes, std::vector<XmlNode> children = {});
XmlNode Element(const XmlName& name, std::vector<XmlNode> children = {});
XmlNode Text(const std::string& utf8);
XmlNode Atoms(std::vector<XmlAtom> atoms);
XmlNode CData(std::vector<std::string> chunks);
XmlNode Comment(const std::string& text);
XmlNode Pi(const std::string& target, const std::string& data);
XmlNode XmlTextNode(const std::string& markup);
XmlNode Nested(std::vector<XmlNode> children, uint8_t version = 1);
XmlNode Extension(const Bytes& data);
XmlNode FlushNames();

struct XmlDeclaration {
  std::string version = "1.0";
  std::optional<std::string> encoding;
  uint8_t standalone = 0;  // 0 none, 1 yes, 2 no
};

struct XmlDocType {
  std::string name;
  std::optional<std::string> system;
  std::optional<std::string> publicId;
  std::optional<std::string> subset;
};

struct XmlDocument {
  uint8_t version = 1;
  std::optional<XmlDeclaration> declaration;
  std::optional<XmlDocType> doctype;
  std::vector<XmlNode> nodes;
  // When set, the name tables are flushed before they grow past this many
  // names, as a writer bounding its memory does.
  size_t flushAfterNames = 0;
};

Bytes EncodeBinaryXml(const XmlDocument& document);
Bytes EncodeBinaryXml(const XmlNode& root);

// The building blocks, for hand-made (and damaged) values.
Bytes XmlHeader(uint8_t version = 1);
Bytes Mb32(uint32_t value);
Bytes XmlTextData(const std::string& utf8);  // count of UTF-16 units, then the units

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_BINARY_XML_ENCODER_H_
