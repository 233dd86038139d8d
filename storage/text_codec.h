// Text conversion at the program's edges.
//
// Inside the program all text is UTF-8. The database stores names and
// Unicode values as UTF-16LE and character data in the 8-bit code page of
// its collation; the log and snapshot files use UTF-16LE. Every conversion
// between those forms goes through this module.

#ifndef RAVELIN_STORAGE_TEXT_CODEC_H_
#define RAVELIN_STORAGE_TEXT_CODEC_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "storage/bytes.h"

namespace ravelin {

constexpr int kCodePageUtf8 = 65001;

// The run's "ANSI" code page: the code page that stands in for the Windows
// system and thread code pages. 1252 unless changed.
int AnsiCodePage();
void SetAnsiCodePage(int codePage);

// UTF-16LE to UTF-8. With `stopAtNul` the text ends at the first zero code
// unit. An odd trailing byte is ignored; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(ByteSpan utf16le, bool stopAtNul = true);

// UTF-8 to UTF-16LE bytes (no terminator, no byte order mark).
Bytes Utf8ToUtf16(std::string_view utf8);

// 8-bit text in `codePage` to UTF-8, all bytes (zero bytes included; cut the
// input first where the text ends). A byte the code page leaves undefined
// becomes the code point of the same value, as Windows converts it. Code
// page 0 (a Unicode-only collation) and unknown code pages use the ANSI
// code page.
std::string CodePageToUtf8(ByteSpan bytes, int codePage);

// Each byte taken as the code point of the same value (ISO 8859-1).
std::string Latin1ToUtf8(ByteSpan bytes);

// The bytes up to the first zero byte.
ByteSpan UpToNul(ByteSpan bytes);

// Appends code point `cp` to `out` as UTF-8.
void AppendUtf8(std::string& out, uint32_t cp);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_TEXT_CODEC_H_
