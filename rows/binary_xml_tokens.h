// The tokens of a stored binary XML value, one short line each, for a
// forensic look at a value whose text does not come out (or whose bytes
// are to be checked against it): `ravelin page` lists the first ones.

#ifndef RAVELIN_ROWS_BINARY_XML_TOKENS_H_
#define RAVELIN_ROWS_BINARY_XML_TOKENS_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "storage/bytes.h"

namespace ravelin {

struct XmlToken {
  size_t offset = 0;  // where the token starts in the value
  // "ELEMENT root", "NAMEDEF 1 \"root\"", "SQL-NVARCHAR \"7\"", ...
  std::string text;
};

struct XmlTokenListing {
  std::vector<XmlToken> tokens;
  // The value goes on past the last token listed.
  bool more = false;
  // Where a token could not be read (a bad header is offset 0).
  std::optional<size_t> faultOffset;
};

// Whether `value` starts with the binary XML header (signature DF FF,
// version 0 to 2, code page 1200).
bool HasBinaryXmlHeader(ByteSpan value);

// The header ("header version 1") and up to `maxTokens` tokens after it.
// Names are given as the value's name tables define them; texts longer
// than a few dozen characters are cut with "...". Stops at the first token
// that cannot be read. Reads nothing outside `value`.
XmlTokenListing ListXmlTokens(ByteSpan value, size_t maxTokens);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_BINARY_XML_TOKENS_H_
