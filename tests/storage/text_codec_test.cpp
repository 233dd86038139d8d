#include "storage/text_codec.h"

#include <gtest/gtest.h>

#include "support/synthetic.h"

namespace ravelin {
namespace {

ByteSpan Span(const Bytes& b) { return ByteSpan(b); }

TEST(TextCodec, Utf16RoundTripsIncludingSurrogates) {
  std::string text = "Köln \xE2\x82\xAC \xF0\x9F\x98\x80 Москва";
  Bytes utf16 = Utf8ToUtf16(text);
  EXPECT_EQ(Utf16ToUtf8(Span(utf16)), text);
}

TEST(TextCodec, Utf16StopsAtNulUnlessAsked) {
  Bytes b = {'a', 0, 0, 0, 'b', 0};
  EXPECT_EQ(Utf16ToUtf8(Span(b)), "a");
  EXPECT_EQ(Utf16ToUtf8(Span(b), false), std::string("a\0b", 3));
  Bytes odd = {'a', 0, 'b'};
  EXPECT_EQ(Utf16ToUtf8(Span(odd)), "a");
  Bytes lone = {0x00, 0xD8, 'x', 0};
  EXPECT_EQ(Utf16ToUtf8(Span(lone)), "\xEF\xBF\xBDx");
}

TEST(TextCodec, CodePagesConvertThroughTheirTables) {
  EXPECT_EQ(CodePageToUtf8(Span({0x80, 'a'}), 1252),
            "\xE2\x82\xAC"
            "a");
  EXPECT_EQ(CodePageToUtf8(Span({0xE9}), 1252), "\xC3\xA9");
  EXPECT_EQ(CodePageToUtf8(Span({0xCF, 0xF0, 0xE8}), 1251), "\xD0\x9F\xD1\x80\xD0\xB8");  // При
  EXPECT_EQ(CodePageToUtf8(Span({0xBA}), 1250), "\xC5\x9F");                              // ş
  EXPECT_EQ(CodePageToUtf8(Span({0x82, 0xA0}), 932), "\xE3\x81\x82");                     // あ
  // Converters that wait for combining marks still give the last letter.
  EXPECT_EQ(CodePageToUtf8(Span({'a', 'b', 0xE9, 'c', 'd'}), 1258),
            "ab\xC3\xA9"
            "cd");
  EXPECT_EQ(CodePageToUtf8(Span({0xE0, 'a'}), 1258),
            "\xC3\xA0"
            "a");
  EXPECT_EQ(CodePageToUtf8(Span({'x', 0xE9}), 1255), "x\xD7\x99");  // י
}

TEST(TextCodec, UndefinedBytesKeepTheirValue) {
  // 0x81 has no character in 1252; Windows gives U+0081.
  Bytes munchen = {'M', 0x81, 'n', 'c', 'h', 'e', 'n'};
  EXPECT_EQ(CodePageToUtf8(Span(munchen), 1252), "M\xC2\x81nchen");
}

TEST(TextCodec, UnknownAndUnicodeOnlyCodePagesUseTheAnsiCodePage) {
  EXPECT_EQ(CodePageToUtf8(Span({0xE9}), 0), "\xC3\xA9");
  EXPECT_EQ(CodePageToUtf8(Span({0xE9}), 12345), "\xC3\xA9");
  SetAnsiCodePage(1251);
  EXPECT_EQ(CodePageToUtf8(Span({0xE9}), 0), "\xD0\xB9");
  SetAnsiCodePage(1252);
}

TEST(TextCodec, Utf8CodePageKeepsInvalidBytes) {
  EXPECT_EQ(CodePageToUtf8(Span({'a', 0xC3, 0xA9}), kCodePageUtf8), "a\xC3\xA9");
  EXPECT_EQ(CodePageToUtf8(Span({0xFF, 'a'}), kCodePageUtf8),
            "\xC3\xBF"
            "a");
  EXPECT_EQ(CodePageToUtf8(Span({0xC3}), kCodePageUtf8), "\xC3\x83") << "a cut sequence keeps its byte";
}

TEST(TextCodec, Latin1AndNul) {
  EXPECT_EQ(Latin1ToUtf8(Span({'A', 0xE9, 0x81})), "A\xC3\xA9\xC2\x81");
  Bytes b = {'a', 'b', 0, 'c'};
  EXPECT_EQ(UpToNul(Span(b)).size(), 2u);
}

}  // namespace
}  // namespace ravelin
