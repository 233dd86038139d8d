// Decoding speed of binary XML in MB/s of stored value, on large synthetic
// values: one of many small rows with attributes and typed values, one of
// long text nodes.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "rows/binary_xml.h"
#include "support/binary_xml_encoder.h"

namespace ravelin {
namespace {

using namespace testing;

// About 6 MB: rows of attributes, escaped text, decimals, dates and an
// element in a namespace.
Bytes ManyRows() {
  const std::string demo = "urn:demo";
  std::vector<XmlNode> rows;
  for (int i = 0; i < 50000; ++i) {
    rows.push_back(Element(
        {"row"}, {Attr({"id"}, std::to_string(i)), Attr({"name"}, "Smith & Sons <" + std::to_string(i % 97) + ">")},
        {Element({"price", "", demo}, {Atoms({XmlDecimal(0x87, 18, 4, false, 1234567 + i)})}),
         Element({"when", "", demo}, {Atoms({XmlDateTime2(7, 123456789ull * (i % 700), 737425 + i % 400)})}),
         Element({"code", "c", "urn:codes"}, {Text("A-" + std::to_string(i * 7919))}),
         Element({"note", "", demo}, {Text("line one\r\nline \xF0\x90\x8C\x80 two")})}));
  }
  return EncodeBinaryXml(
      Element({"table", "", demo}, {NamespaceDecl("", demo), NamespaceDecl("c", "urn:codes")}, rows));
}

// About 8 MB: long text nodes, a few of them needing escapes.
Bytes LongTexts() {
  std::vector<XmlNode> paragraphs;
  std::string text;
  for (int i = 0; i < 400; ++i) text += "Plain words of a document body, with an occasional <b> & one more. ";
  for (int i = 0; i < 150; ++i) paragraphs.push_back(Element({"p"}, {Text(text)}));
  return EncodeBinaryXml(Element({"doc"}, paragraphs));
}

void Decode(benchmark::State& state, const Bytes& value) {
  for (auto _ : state) {
    XmlDecodeResult result = DecodeBinaryXml(value);
    if (result.damaged()) state.SkipWithError("value damaged");
    benchmark::DoNotOptimize(result.text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(value.size()));
  state.counters["value_MB"] = static_cast<double>(value.size()) / 1e6;
}

void BM_BinaryXmlManyRows(benchmark::State& state) {
  static const Bytes value = ManyRows();
  Decode(state, value);
}
BENCHMARK(BM_BinaryXmlManyRows)->Unit(benchmark::kMillisecond);

void BM_BinaryXmlLongTexts(benchmark::State& state) {
  static const Bytes value = LongTexts();
  Decode(state, value);
}
BENCHMARK(BM_BinaryXmlLongTexts)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ravelin
