// SCSU (the Standard Compression Scheme for Unicode, Unicode Technical
// Standard #6), the form in which row- and page-compressed tables store
// their nchar and nvarchar values.
//
// Every value starts from the scheme's initial state; the decoders keep no
// state between calls and write into the caller's storage, any length.
// Damaged input never reads past its end: decoding stops at the first byte
// the scheme reserves and says so.

#ifndef RAVELIN_STORAGE_SCSU_H_
#define RAVELIN_STORAGE_SCSU_H_

#include <string>

#include "storage/bytes.h"

namespace ravelin {

enum class ScsuStatus {
  kOk,
  // A reserved tag or window byte: the output holds what came before it.
  kDamaged,
};

// Appends the UTF-16LE form of `scsu` to `out`. Characters beyond U+FFFF
// become surrogate pairs; code units quoted on their own are kept as they
// are, so a lone surrogate passes through. An operand cut off by the end of
// the input, and one odd byte left over in Unicode mode, are the padding
// SQL Server adds to make the length odd, and are ignored.
ScsuStatus ScsuToUtf16(ByteSpan scsu, Bytes& out);

// As ScsuToUtf16, but appends UTF-8 to `out`; a surrogate without its
// partner becomes U+FFFD.
ScsuStatus ScsuToUtf8(ByteSpan scsu, std::string& out);

// Whether a compressed nchar or nvarchar value is stored in SCSU: SQL
// Server keeps the SCSU form only when it is shorter than UTF-16 and makes
// its length odd, so an odd length means SCSU and an even one plain
// UTF-16LE. Values of the max types (nvarchar(max)) are never compressed.
bool IsScsuValue(ByteSpan stored, bool maxType = false);

// The UTF-16LE bytes of a compressed nchar or nvarchar value, appended to
// `out`: decoded when IsScsuValue, copied otherwise. False when the SCSU
// is damaged (`out` then holds what could be decoded).
bool UnicodeValueToUtf16(ByteSpan stored, bool maxType, Bytes& out);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_SCSU_H_
