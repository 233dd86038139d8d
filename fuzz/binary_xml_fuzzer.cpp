// Decodes arbitrary bytes as a stored xml value, with the default limits and
// with small ones the fuzzer can reach, whole and in pieces. Any crash, hang,
// leak or undefined behaviour is a finding, and so is a result whose marker
// and fault offset disagree, or text that depends on how the value was split.
// The token listing `ravelin page` shows reads the same bytes and must stop
// where it says and never list more than asked.
//
// Seeds: `binary_xml_seeds DIR` writes values of every construct there
// (`make fuzz` does).

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "rows/binary_xml.h"
#include "rows/binary_xml_tokens.h"
#include "rows/value_render.h"

namespace {

using namespace ravelin;

void Check(const XmlDecodeResult& result, size_t size) {
  if (!result.damaged()) return;
  if (*result.faultOffset > size || !result.text.ends_with(XmlDamagedMarker(*result.faultOffset))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteSpan value(data, size);
  const XmlDecodeResult whole = DecodeBinaryXml(value);
  Check(whole, size);

  XmlDecodeLimits small;
  small.maxDepth = 8;
  small.maxNames = 16;
  small.outputFloor = 256;
  small.outputPerInputByte = 4;
  Check(DecodeBinaryXml(value, small), size);

  const XmlTokenListing tokens = ListXmlTokens(value, 32);
  if (tokens.tokens.size() > 33 || (tokens.faultOffset && *tokens.faultOffset > size)) std::abort();
  for (const XmlToken& token : tokens.tokens)
    if (token.offset >= size) std::abort();

  if (size > 0) {
    std::vector<Bytes> pieces;
    const size_t step = 1 + data[0] % 64;
    for (size_t at = 0; at < size; at += step) pieces.emplace_back(data + at, data + std::min(size, at + step));
    const XmlDecodeResult split = DecodeXmlValue(pieces);
    if (split.faultOffset != whole.faultOffset || (!whole.text.empty() && split.text != whole.text)) std::abort();
  }
  return 0;
}
