// SQL Server's binary XML, the stored form of xml values, decoded to the XML
// text the server prints for the value.
//
// The text follows the server's serialisation: no XML declaration unless one
// is stored, namespace declarations where they are stored (plus any the
// stored names need and lack), `&`, `<`, `>` always escaped, `"` and tab and
// line breaks escaped in attribute values, carriage returns everywhere, empty
// elements as `<a/>`, typed values in their canonical text. Characters
// outside the Basic Multilingual Plane are written as UTF-8 characters.
//
// A value that does not decode gives the text up to the fault followed by
// the marker kXmlDamagedMarker names, and the fault's byte offset. Decoding
// never reads outside the value, never recurses per element, and stops at
// the limits below, so any input ends in time and in bounded memory.

#ifndef RAVELIN_ROWS_BINARY_XML_H_
#define RAVELIN_ROWS_BINARY_XML_H_

#include <cstddef>
#include <optional>
#include <string>

#include "storage/bytes.h"

namespace ravelin {

struct XmlDecodeLimits {
  // Open elements and nested documents. SQL Server itself stores no more
  // than 128 levels.
  size_t maxDepth = 1024;
  // Entries of one name table (and of one qualified-name table) between
  // flushes.
  size_t maxNames = size_t{1} << 22;
  // Text allowed: outputFloor bytes plus outputPerInputByte per byte of the
  // value. A name is stored once and may be used by every element, so the
  // text can be much longer than the value, but not without bound.
  size_t outputFloor = size_t{1} << 20;
  size_t outputPerInputByte = 256;
};

struct XmlDecodeResult {
  std::string text;
  // Where in the value decoding stopped, when it did not reach the end.
  std::optional<size_t> faultOffset;

  bool damaged() const { return faultOffset.has_value(); }
};

XmlDecodeResult DecodeBinaryXml(ByteSpan value);
XmlDecodeResult DecodeBinaryXml(ByteSpan value, const XmlDecodeLimits& limits);

// The marker appended to the text of a value that is damaged at `offset`:
// "<!-- ravelin: xml damaged at byte N -->".
std::string XmlDamagedMarker(size_t offset);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_BINARY_XML_H_
