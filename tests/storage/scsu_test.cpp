// SCSU decoding: the standard's own examples, values SQL Server wrote, and
// damaged input.

#include "storage/scsu.h"

#include <gtest/gtest.h>

#include <string>

#include "storage/text_codec.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::Utf16;

Bytes Hex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return out;
}

std::string Utf8Of(const Bytes& scsu, ScsuStatus* status = nullptr) {
  std::string out;
  const ScsuStatus s = ScsuToUtf8(scsu, out);
  if (status) *status = s;
  return out;
}

std::string CodePointsText(std::initializer_list<uint32_t> cps) {
  std::string out;
  for (uint32_t cp : cps) AppendUtf8(out, cp);
  return out;
}

// Decoding to UTF-16 and converting gives the same text as decoding to
// UTF-8 directly.
void ExpectBothForms(const Bytes& scsu, const std::string& expected) {
  EXPECT_EQ(Utf8Of(scsu), expected);
  Bytes utf16;
  EXPECT_EQ(ScsuToUtf16(scsu, utf16), ScsuStatus::kOk);
  EXPECT_EQ(Utf16ToUtf8(utf16, false), expected);
}

// The four worked examples of the standard.
TEST(ScsuStandardExamples, German) { ExpectBothForms(Hex("D6 6C 20 66 6C 69 65 DF 74"), "Öl fließt"); }

TEST(ScsuStandardExamples, Russian) { ExpectBothForms(Hex("12 9C BE C1 BA B2 B0"), "Москва"); }

TEST(ScsuStandardExamples, Japanese) {
  const Bytes bytes =
      Hex("08 00 1B 4C EA 16 CA D3 94 0F 53 EF 61 1B E5 84 C4 0F 53 EF 61 1B E5 84 C4 16 CA D3 94 08 02 0F"
          "53 4A 4E 16 7D 00 30 82 52 4D 30 6B 6D 41 88 4C E5 97 9F 08 0C 16 CA D3 94 15 AE 0E 6B 4C 08 0D"
          "8C B4 A3 9F CA 99 CB 8B C2 97 CC AA 84 08 02 0E 7C 73 E2 16 A3 B7 CB 93 D3 B4 C5 DC 9F 0E 79 3E"
          "06 AE B1 9D 93 D3 08 0C BE A3 8F 08 88 BE A3 8D D3 A8 A3 97 C5 17 89 08 0D 15 D2 08 01 93 C8 AA"
          "8F 0E 61 1B 99 CB 0E 4E BA 9F A1 AE 93 A8 A0 08 02 08 0C E2 16 A3 B7 CB 0F 4F E1 80 05 EC 60 8D"
          "EA 06 D3 E6 0F 8A 00 30 44 65 B9 E4 FE E7 C2 06 CB 82");
  ASSERT_EQ(bytes.size(), 178u);
  ExpectBothForms(bytes,
                  "　♪リンゴ可愛いや可愛いやリンゴ。半世紀も前に流行した「リンゴの歌」がぴったりするかもしれない。"
                  "米アップルコンピュータ社のパソコン「マック（マッキントッシュ）」を、こよなく愛する人たちのことだ。"
                  "「アップル信者」なんて言い方まである。");
}

TEST(ScsuStandardExamples, AllFeatures) {
  const std::string eight = CodePointsText({0x41, 0xDF, 0x401, 0x15F, 0xDF, 0x1DF, 0xF000, 0x10FFFF, 0x0D, 0x0A});
  ExpectBothForms(Hex("41 DF 12 81 03 5F 10 DF 1B 03 DF 1C 88 80 0B BF FF FF 0D 0A 41 10 DF 12 81 03 5F 10 DF 13 DF "
                      "14 80 15 FF"),
                  eight + CodePointsText({0x41, 0xDF, 0x401, 0x15F, 0xDF, 0x1DF, 0xF000, 0x10FFFF}));
}

// Values SQL Server wrote, read by an open-source reader's tests.
TEST(ScsuSqlServerValues, OrcaVectors) {
  ExpectBothForms(Hex("61"), "a");
  ExpectBothForms({}, "");
  ExpectBothForms(Hex("31 32 33"), "123");
  std::string cyrillic;
  for (int i = 0; i < 10; ++i) AppendUtf8(cyrillic, 0x0468);
  ExpectBothForms(Hex("12 E8 E8 E8 E8 E8 E8 E8 E8 E8 E8"), cyrillic);
  ExpectBothForms(Hex("41 6E 20 65 78 61 6D 70 6C 65 20 73 65 6E 74 65 6E 63 65 20 77 6F 75 6C 64 20 73 68 6F 77 20 "
                      "77 68 61 74 20 74 68 69 73 20 77 6F 72 64 20 6D 65 61 6E 73"),
                  "An example sentence would show what this word means");
  ExpectBothForms(Hex("08 DE 15 A7 82 CC 08 DE A7 82 CC"), "～であれ～であれ");
  ExpectBothForms(Hex("15 A7 A7 A7 41 41 41 41 41 41 A7 A7 41 A7 58"), "でででAAAAAAででAでX");
  // The trailing 10 is the pad byte that makes the length odd.
  Bytes spaces(20, 0x20);
  spaces.push_back(0x10);
  ExpectBothForms(spaces, std::string(20, ' '));
  ExpectBothForms(Hex("31 32 33 34 35 36 37 38 39 30 10"), "1234567890");
}

TEST(ScsuSqlServerValues, AnchorValueOfAnNChar) { ExpectBothForms(Hex("53"), "S"); }

TEST(ScsuSqlServerValues, WideWorldImportersColour) { ExpectBothForms(Hex("47 72 61 79 10"), "Gray"); }

// Unicode-mode endings and a lone pad byte (bytes seen by another reader in
// StackOverflow data; the last one's text is that reader's reading).
TEST(ScsuMixedProvenance, UnicodeModeEndings) {
  ExpectBothForms(Hex("0F 00 41 E0"), "A");
  ExpectBothForms(Hex("0F 00 41 00 42 00 43 00 44 E0"), "ABCD");
  ExpectBothForms(Hex("0F 00 41 02"), "A");
  ExpectBothForms(Hex("43 00 0F 1D 80 02 8F 02"), CodePointsText({0x43, 0x00, 0x1D80, 0x028F}));
}

TEST(ScsuMixedProvenance, SyntheticExtendedWindowsAndQuotes) {
  ExpectBothForms(Hex("0B 00 00 80"), CodePointsText({0x10000}));
  ExpectBothForms(Hex("0B 00 00 80 81"), CodePointsText({0x10000, 0x10001}));
  ExpectBothForms(Hex("0F D8 3D DE 00"), CodePointsText({0x1F600}));
  ExpectBothForms(Hex("0F F0 00 41"), "A");
  // Only the first byte of a pair is a tag: F1 as a second byte is data.
  ExpectBothForms(Hex("0F 53 F1 D8 42 DF B7"), CodePointsText({0x53F1, 0x20BB7}));
}

TEST(ScsuDamage, ReservedBytesStopDecoding) {
  for (const char* hex : {"18 A8", "18 F8", "18 00", "0F F2 00 41", "41 0C 42", "0F E8 00"}) {
    SCOPED_TRACE(hex);
    ScsuStatus status = ScsuStatus::kOk;
    Utf8Of(Hex(hex), &status);
    EXPECT_EQ(status, ScsuStatus::kDamaged);
  }
  ScsuStatus status = ScsuStatus::kOk;
  EXPECT_EQ(Utf8Of(Hex("41 42 0C 43"), &status), "AB");
  EXPECT_EQ(status, ScsuStatus::kDamaged);
}

TEST(ScsuDamage, CutOffOperandsAtTheEndAreIgnored) {
  for (const char* hex : {"41 01", "41 0B 00", "41 0E 00", "41 18", "0F 00 41 E8", "0F 00 41 F0 00", "0F 00 41 F1"}) {
    SCOPED_TRACE(hex);
    ScsuStatus status = ScsuStatus::kDamaged;
    EXPECT_EQ(Utf8Of(Hex(hex), &status), "A");
    EXPECT_EQ(status, ScsuStatus::kOk);
  }
}

TEST(ScsuDamage, LoneSurrogatesPassIntoUtf16AndBecomeReplacementsInUtf8) {
  Bytes utf16;
  EXPECT_EQ(ScsuToUtf16(Hex("0E D8 00 41"), utf16), ScsuStatus::kOk);
  EXPECT_EQ(utf16, Hex("00 D8 41 00"));
  EXPECT_EQ(Utf8Of(Hex("0E D8 00 41")),
            "\xEF\xBF\xBD"
            "A");
  EXPECT_EQ(Utf8Of(Hex("0E DC 00")), "\xEF\xBF\xBD");
}

TEST(ScsuOutput, AnyLengthIntoTheCallersStorage) {
  const std::string text(100000, 'x');
  std::string out = "kept:";
  EXPECT_EQ(ScsuToUtf8(Bytes(text.begin(), text.end()), out), ScsuStatus::kOk);
  EXPECT_EQ(out, "kept:" + text);
}

TEST(ScsuParity, OddLengthsAreScsuEvenOnesUtf16AndMaxTypesNever) {
  EXPECT_TRUE(IsScsuValue(Hex("61")));
  EXPECT_FALSE(IsScsuValue(Hex("61 00")));
  EXPECT_FALSE(IsScsuValue(Hex("61"), true));
  Bytes out;
  EXPECT_TRUE(UnicodeValueToUtf16(Hex("47 72 61 79 10"), false, out));
  EXPECT_EQ(out, Utf16("Gray"));
  out.clear();
  EXPECT_TRUE(UnicodeValueToUtf16(Utf16("日本"), false, out));
  EXPECT_EQ(out, Utf16("日本"));
}

}  // namespace
}  // namespace ravelin
