// Writes seed values for the binary XML fuzzer: documents of every node kind,
// every atomic type, namespaces, nesting and flushed name tables, written by
// the test encoder.
//
// Usage: binary_xml_seeds OUT_DIR

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/binary_xml_encoder.h"

namespace {

using namespace ravelin::testing;

std::vector<XmlAtom> EveryAtom() {
  return {XmlSmallInt(-2),
          XmlInt(123),
          XmlBigInt(-9),
          XmlTinyInt(200),
          XmlBit(1),
          XmlByte(-5),
          XmlUnsignedShort(6),
          XmlUnsignedInt(7),
          XmlUnsignedLong(8),
          XmlReal(0.5f),
          XmlFloat(1e7),
          XmlMoney(1125000),
          XmlSmallMoney(-3),
          XmlBoolean(true),
          XmlDecimal(0x0A, 6, 4, false, 200030, 4),
          XmlDecimal(0x0B, 20, 2, true, 12345, 12),
          XmlDecimal(0x87, 38, 10, false, 420000000000ull),
          XmlUuid({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}),
          XmlBlob(0x0C, {1, 2, 3}),
          XmlBlob(0x0F, {4}),
          XmlBlob(0x17, {5, 6}),
          XmlBlob(0x1B, {}),
          XmlBlob(0x84, {0x42, 0xAC, 0xEF}),
          XmlBlob(0x85, {'M', 'a', 'n'}),
          XmlCodePageString({'c', 'a', 'f', 0xE9}, 1252),
          XmlCodePageString({'x'}, 1252, 0x0D),
          XmlCodePageString({'y'}, 1251, 0x16),
          XmlString("n", 0x0E),
          XmlString("t", 0x18),
          XmlSqlDateTime(43829, 1080000),
          XmlSmallDateTime(43829, 61),
          XmlXsdDate(2021, 6, 7, 330),
          XmlXsdDateTime(2020, 1, 2, 3, 4, 5, 6),
          XmlXsdTime(23, 59, 59, 999),
          XmlDate2(737947),
          XmlTime2(7, 110451234567ull),
          XmlDateTime2(0, 11045, 737425),
          XmlOffsetTime(0x7A, 2, 1104550, 693595, -300),
          XmlOffsetTime(0x7B, 4, 110451234, 737425, 330),
          XmlOffsetTime(0x7C, 0, 0, 737425, 0),
          XmlQNameValue({"item", "p", "urn:p"})};
}

std::vector<XmlDocument> Seeds() {
  std::vector<XmlDocument> seeds;
  auto add = [&](XmlNode root) {
    XmlDocument document;
    document.nodes.push_back(std::move(root));
    seeds.push_back(std::move(document));
  };
  add(Element({"a"}, {Text("1")}));
  add(Element({"root"}, {Attr({"id"}, "7")}, {Element({"x"}, {Text("hi")}), Element({"y"}, {Text("two")})}));
  add(Element({"t"}, {Text("a < b & c \"q\"\r\n\t \xF0\x90\x8C\x80")}));
  add(Element({"row"},
              {Attr({"id"}, "DOH.D1"), Attr({"space", "xml", "http://www.w3.org/XML/1998/namespace"}, "preserve")},
              {Element({"c1"}, {Text("MSG")})}));
  add(Element({"a", "p", "urn:1"}, {NamespaceDecl("p", "urn:1"), NamespaceDecl("", "urn:d")},
              {Element({"b", "", "urn:d"}), Element({"c"}), Nested({Element({"n", "p", "urn:1"})}, 2)}));

  std::vector<XmlNode> typed;
  for (const XmlAtom& atom : EveryAtom()) typed.push_back(Element({"v"}, {Attr({"a"}, {atom})}, {Atoms({atom})}));
  add(Element({"typed"}, typed));
  seeds.back().version = 2;

  XmlDocument markup;
  markup.declaration = XmlDeclaration{"1.0", "utf-16", 1};
  markup.doctype = XmlDocType{"r", "r.dtd", "-//X//Y", "<!ENTITY e 'x'>"};
  markup.nodes = {Comment("c"),
                  Element({"r"}, {Pi("pi", "d"), Pi("e", ""), CData({"x<y", "]]>"}), XmlTextNode("<raw/>"),
                                  Extension({0, 1, 0, 1, 0}), FlushNames(), Element({"after"}, {Text(" ")})})};
  seeds.push_back(markup);

  XmlNode deep = Element({"d"});
  for (int i = 0; i < 20; ++i) {
    std::vector<XmlNode> inner;
    inner.push_back(std::move(deep));
    deep = Element({"d"}, std::move(inner));
  }
  add(deep);

  XmlNode many = Element({"m"});
  for (int i = 0; i < 40; ++i) many.children.push_back(Element({"n" + std::to_string(i)}));
  add(many);
  seeds.push_back(seeds.back());
  seeds.back().flushAfterNames = 10;
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
    return 2;
  }
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out);
  int n = 0;
  for (const XmlDocument& document : Seeds()) {
    const ravelin::Bytes value = EncodeBinaryXml(document);
    std::ofstream(out / ("xml-" + std::to_string(n++)), std::ios::binary)
        .write(reinterpret_cast<const char*>(value.data()), static_cast<std::streamsize>(value.size()));
  }
  std::printf("%d seeds in %s\n", n, out.c_str());
  return 0;
}
