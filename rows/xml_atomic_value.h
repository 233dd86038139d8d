// The pieces binary XML is built from: multi-byte integers, UTF-16 text and
// typed atomic values, each read from a bounds-checked position and turned
// into the canonical text SQL Server prints for it.

#ifndef RAVELIN_ROWS_XML_ATOMIC_VALUE_H_
#define RAVELIN_ROWS_XML_ATOMIC_VALUE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "storage/bytes.h"

namespace ravelin {

// XSD-QNAME: the one atomic value that needs the decoder's name tables.
inline constexpr uint8_t kXmlTokenQName = 0x8C;

// Reads a 7-bits-per-byte integer (least significant group first) that fits
// in a signed 32-bit value, so at most five bytes. Advances `offset`; false
// when the bytes run out or the value is too large. The 64-bit form of the
// format is read the same way: no value can be larger than the value holds.
bool ReadMb32(ByteSpan data, size_t& offset, uint32_t& value);

// Reads a count of UTF-16 code units and the units, and appends them to
// `out` as UTF-8; a surrogate pair becomes one character, an unpaired
// surrogate U+FFFD.
bool ReadXmlTextData(ByteSpan data, size_t& offset, std::string& out);

// UTF-16LE code units appended to `out` as UTF-8.
void AppendUtf16AsUtf8(ByteSpan utf16le, std::string& out);

// Whether `token` starts an atomic value (XSD-QNAME included).
bool IsXmlAtomicToken(uint8_t token);

// Whether the atomic value is text (char and Unicode string types) rather
// than a typed value.
bool IsXmlStringToken(uint8_t token);

// Appends the text of the atomic value whose token was `token` and whose
// payload starts at `offset`, and moves `offset` past it. False when the
// payload is truncated or holds what the type cannot (a decimal of a length
// no decimal has, a time beyond the day, a wrong date tag); `out` may then
// hold part of the text. XSD-QNAME is the caller's to read.
bool AppendXmlAtomicValue(uint8_t token, ByteSpan data, size_t& offset, std::string& out);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_XML_ATOMIC_VALUE_H_
