#include "cli/xml_token_preview.h"

#include "rows/binary_xml_tokens.h"

namespace ravelin {
namespace {

// The value's bytes when they start like binary XML.
const Bytes* XmlBytes(const ColumnValue& value) {
  if (value.complex || !value.data || !HasBinaryXmlHeader(*value.data)) return nullptr;
  return &*value.data;
}

}  // namespace

std::string XmlTokenLines(size_t column, const ColumnValue& value) {
  const Bytes* bytes = XmlBytes(value);
  if (!bytes) return {};
  const XmlTokenListing listing = ListXmlTokens(*bytes, kXmlPreviewTokens);
  std::string out = "    [" + std::to_string(column) + "] xml tokens:\n";
  for (const XmlToken& token : listing.tokens)
    out += "      @" + std::to_string(token.offset) + " " + token.text + "\n";
  if (listing.faultOffset) out += "      @" + std::to_string(*listing.faultOffset) + " (cannot be read)\n";
  if (listing.more) out += "      ...\n";
  return out;
}

void AddXmlTokensJson(JsonWriter& json, const ColumnValue& value) {
  const Bytes* bytes = XmlBytes(value);
  if (!bytes) return;
  const XmlTokenListing listing = ListXmlTokens(*bytes, kXmlPreviewTokens);
  json.Key("xmlTokens").BeginArray();
  for (const XmlToken& token : listing.tokens)
    json.BeginObject().Key("offset").UInt(token.offset).Key("token").String(token.text).EndObject();
  json.EndArray().Key("xmlTokensMore").Bool(listing.more);
  if (listing.faultOffset) json.Key("xmlFaultOffset").UInt(*listing.faultOffset);
}

}  // namespace ravelin
