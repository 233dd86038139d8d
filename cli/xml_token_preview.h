// The first tokens of an xml value a record holds in the row, as `ravelin
// page` shows them beside the value's bytes.

#ifndef RAVELIN_CLI_XML_TOKEN_PREVIEW_H_
#define RAVELIN_CLI_XML_TOKEN_PREVIEW_H_

#include <cstddef>
#include <string>

#include "cli/json_writer.h"
#include "storage/record.h"

namespace ravelin {

// Tokens listed per value.
inline constexpr size_t kXmlPreviewTokens = 12;

// Lines "      @OFFSET TOKEN" after a "    [k] xml tokens:" line, each
// ending in a line feed; empty when the value is not binary XML.
std::string XmlTokenLines(size_t column, const ColumnValue& value);

// Adds "xmlTokens": [{"offset", "token"}...], "xmlTokensMore" and, when a
// token cannot be read, "xmlFaultOffset" to the open object; nothing when
// the value is not binary XML.
void AddXmlTokensJson(JsonWriter& json, const ColumnValue& value);

}  // namespace ravelin

#endif  // RAVELIN_CLI_XML_TOKEN_PREVIEW_H_
