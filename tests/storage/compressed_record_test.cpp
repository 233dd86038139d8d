// CD records and page compression information: the published records
// split into their codes and regions, the CI of a real page, prefixes and
// symbols, and damaged structures.

#include "storage/compressed_record.h"

#include <gtest/gtest.h>

#include <string>

#include "storage/compressed_page.h"
#include "support/compression_vectors.h"
#include "support/compressor.h"

namespace ravelin {
namespace {

using testing::CdCell;
using testing::FromHex;

std::vector<uint8_t> Codes(const CdRecord& r) {
  std::vector<uint8_t> codes;
  for (const CdValue& v : r.columns) codes.push_back(v.code);
  return codes;
}

std::string Text(ByteSpan bytes) { return std::string(bytes.begin(), bytes.end()); }

// A page-compressed page holding `ci` at offset 96.
Bytes PageWithCi(const Bytes& ci) {
  Bytes page(8192, 0);
  std::copy(ci.begin(), ci.end(), page.begin() + 96);
  return page;
}

// Resolves every column of `record` against `ci` (or none).
std::vector<ResolvedValue> ResolveAll(const CdRecord& record, const CompressionInfo* ci, std::vector<Bytes>& storage) {
  std::vector<ResolvedValue> out;
  storage.resize(record.columns.size());
  for (size_t i = 0; i < record.columns.size(); ++i) out.push_back(ResolveCdValue(record, i, ci, storage[i]));
  return out;
}

// --- real DBCC PAGE records --------------------------------------------------

TEST(CdRecordRealDumps, OneColumnIntegerRecords) {
  for (const auto& v : testing::IntegerRecords()) {
    SCOPED_TRACE(v.record);
    const Bytes bytes = FromHex(v.record);
    const CdRecord r = ParseCdRecord(bytes);
    ASSERT_TRUE(r.readable);
    EXPECT_FALSE(r.damaged);
    EXPECT_EQ(r.type, CdRecordType::kPrimary);
    ASSERT_EQ(r.columnCount, 1);
    EXPECT_EQ(r.length, bytes.size());
    EXPECT_EQ(r.columns[0].bytes.size(), bytes.size() - 3);
  }
}

TEST(CdRecordRealDumps, ThreeColumnsWithALongValue) {
  const Bytes bytes = testing::ThreeColumnLongRecord();
  const CdRecord r = ParseCdRecord(bytes);
  ASSERT_TRUE(r.readable);
  EXPECT_EQ(r.header, 0x21);
  EXPECT_EQ(Codes(r), (std::vector<uint8_t>{2, 0xA, 6}));
  EXPECT_EQ(r.shortDataOffset, 4u);
  EXPECT_EQ(r.columns[0].bytes[0], 0xE5);
  EXPECT_EQ(Text(r.columns[2].bytes), "Row 1");
  EXPECT_EQ(Text(r.columns[1].bytes), "This is row 1");
  EXPECT_FALSE(r.columns[1].complex);
  EXPECT_EQ(r.longFlags, 0x01);
  EXPECT_EQ(r.length, 28u);
}

TEST(CdRecordRealDumps, RowversionAndLongVarchar) {
  const Bytes bytes = testing::RowCompressedWithRowversion();
  const CdRecord r = ParseCdRecord(bytes);
  ASSERT_TRUE(r.readable);
  EXPECT_EQ(Codes(r), (std::vector<uint8_t>{2, 0xA, 2, 3}));
  EXPECT_EQ(r.columns[3].bytes.size(), 2u);
  EXPECT_EQ(Text(r.columns[1].bytes), testing::kRowversionName);
  EXPECT_EQ(r.length, 85u);
}

TEST(CdRecordRealDumps, TenColumnsWithEmptyBitAndLongValues) {
  const Bytes bytes = testing::TenColumnRecord();
  const CdRecord r = ParseCdRecord(bytes);
  ASSERT_TRUE(r.readable);
  EXPECT_FALSE(r.damaged);
  EXPECT_EQ(Codes(r), (std::vector<uint8_t>{1, 5, 0, 4, 0xA, 1, 0xB, 0, 0xA, 0xA}));
  EXPECT_EQ(r.columns[4].bytes.size(), 1000u);
  EXPECT_EQ(r.columns[8].bytes.size(), 1000u);
  EXPECT_EQ(Text(r.columns[9].bytes), "dddddddddd");
  EXPECT_EQ(Text(r.columns[3].bytes), "aaa");
  EXPECT_EQ(r.length, 2033u);
}

TEST(CdRecordRealDumps, PageCompressedRowsAgainstTheirAnchor) {
  // Anchor only: the CI is the 5-byte header and the anchor record.
  const Bytes anchor = testing::PessoaAnchorRecord();
  Bytes ci = {0x02, 0x00, 0x00};
  ci.push_back(static_cast<uint8_t>(5 + anchor.size()));
  ci.push_back(0);
  ci.insert(ci.end(), anchor.begin(), anchor.end());
  const Bytes page = PageWithCi(ci);
  const CompressionInfo info = ReadCompressionInfo(page, page.size());
  ASSERT_FALSE(info.damaged);
  ASSERT_TRUE(info.anchor);
  EXPECT_EQ(Codes(*info.anchor), (std::vector<uint8_t>{0, 0xA, 0, 4}));
  EXPECT_EQ(info.AnchorFor(0).kind, AnchorKind::kNone);
  EXPECT_EQ(Text(info.AnchorFor(1).bytes), "Silva Maria Lina Maria Lina Silva");
  EXPECT_EQ(info.AnchorFor(3).bytes.size(), 3u);

  std::vector<Bytes> storage;
  const Bytes carolina = testing::PessoaRowCarolina();
  const CdRecord c = ParseCdRecord(carolina);
  EXPECT_EQ(c.length, 39u);
  auto values = ResolveAll(c, &info, storage);
  EXPECT_EQ(HexDigits(values[0].bytes), "998A");  // no anchor: as stored
  EXPECT_EQ(Text(values[1].bytes), "Silva Carolina Carolina Silva");
  EXPECT_EQ(HexDigits(values[2].bytes), "A6");
  EXPECT_EQ(HexDigits(values[3].bytes), "0113C0");

  const Bytes marcos = testing::PessoaRowMarcos();
  const CdRecord m = ParseCdRecord(marcos);
  EXPECT_EQ(m.length, 32u);
  values = ResolveAll(m, &info, storage);
  EXPECT_EQ(Text(values[1].bytes), "Silva Marcos Marcos Silva");
  EXPECT_EQ(HexDigits(values[3].bytes), "0113C1");
}

TEST(CompressionInfoRealDump, HeaderAnchorAndDictionary) {
  const Bytes ci = testing::TransactionHistoryCompressionInfo();
  ASSERT_EQ(ci.size(), 539u);
  const Bytes page = PageWithCi(ci);
  const CompressionInfo info = ReadCompressionInfo(page, page.size());
  EXPECT_FALSE(info.damaged);
  EXPECT_FALSE(info.dictionaryDamaged);
  EXPECT_EQ(info.flags, 0x06);
  EXPECT_EQ(info.pageModCount, 15);
  EXPECT_EQ(info.dictionaryOffset, 35);
  EXPECT_EQ(info.size, 539);
  ASSERT_TRUE(info.anchor);
  EXPECT_EQ(info.anchorOffset, 103u);
  EXPECT_EQ(info.anchor->length, 28u);
  EXPECT_EQ(Codes(*info.anchor), (std::vector<uint8_t>{4, 0, 4, 0, 8, 2, 0, 0, 8}));
  // Anchor entries: offsets 7, 10, 13, 20, 21 in the record, lengths 3, 3,
  // 7, 1, 7 (1-based columns 1, 3, 5, 6, 9).
  const std::vector<std::pair<size_t, size_t>> placed = {{0, 3}, {2, 3}, {4, 7}, {5, 1}, {8, 7}};
  const size_t offsets[] = {7, 10, 13, 20, 21};
  for (size_t k = 0; k < placed.size(); ++k) {
    const AnchorValue a = info.AnchorFor(placed[k].first);
    EXPECT_EQ(a.kind, AnchorKind::kPrefix);
    EXPECT_EQ(a.bytes.size(), placed[k].second);
    EXPECT_EQ(static_cast<size_t>(a.bytes.data() - page.data()), info.anchorOffset + offsets[k]);
  }
  for (size_t column : {1, 3, 6, 7}) EXPECT_EQ(info.AnchorFor(column).kind, AnchorKind::kNone);
  ASSERT_EQ(info.dictionary.size(), 113u);
  EXPECT_EQ(info.dictionaryDataOffset, 228u);
  for (size_t k = 0; k < 113; ++k) {
    ASSERT_TRUE(info.dictionary[k]);
    EXPECT_EQ(info.dictionary[k]->size(), k < 72 ? 2u : k < 104 ? 3u : 4u) << k;
  }
  EXPECT_EQ(HexDigits(*info.dictionary[0]), "027E");
  EXPECT_EQ(HexDigits(*info.dictionary[112]), "810C6F38");
}

TEST(CompressionInfoRealDump, SymbolsResolveThroughTheAnchor) {
  const Bytes page = PageWithCi(testing::TransactionHistoryCompressionInfo());
  const CompressionInfo info = ReadCompressionInfo(page, page.size());
  // A record whose third column (anchor 81 18 8B) names symbol 0 (02 7E)
  // and whose second column (no anchor) names symbol 20 (82 C3).
  const Bytes record = testing::WriteCdRecord(
      {CdCell::Of(CdCell::Kind::kNull), CdCell::Symbol(20), CdCell::Symbol(0), CdCell::Of(CdCell::Kind::kEmpty)});
  const CdRecord r = ParseCdRecord(record);
  std::vector<Bytes> storage;
  const auto values = ResolveAll(r, &info, storage);
  EXPECT_EQ(HexDigits(values[1].bytes), "82C3");
  EXPECT_EQ(HexDigits(values[2].bytes), "81187E");
  // EMPTY on a column with no anchor: the type's zero.
  EXPECT_EQ(values[3].state, ResolvedState::kBytes);
  EXPECT_TRUE(values[3].bytes.empty());
}

// --- synthetic and mixed-provenance records ------------------------------------

TEST(CdRecordMixedProvenance, EngineFixtureRowAndSyntheticPageRecords) {
  const Bytes bytes = testing::MixedThreeColumnRecord();
  const CdRecord r = ParseCdRecord(bytes);
  EXPECT_EQ(Codes(r), (std::vector<uint8_t>{2, 2, 5}));
  EXPECT_EQ(Text(r.columns[2].bytes), "val1");

  // A page whose anchor gives column 3 'val1' and whose dictionary entry 1
  // is prefix 3 + '2'.
  testing::PagePlan plan;
  plan.anchors = {std::nullopt, std::nullopt, testing::Ascii("val1")};
  plan.dictionary = {FromHex("00 00"), FromHex("03 32")};
  const Bytes page = PageWithCi(testing::CompressionInfoBytes(plan));
  const CompressionInfo info = ReadCompressionInfo(page, page.size());
  std::vector<Bytes> storage;
  const Bytes anchored = FromHex("01 03 22 11 81 81");
  auto values = ResolveAll(ParseCdRecord(anchored), &info, storage);
  EXPECT_EQ(Text(values[2].bytes), "val1");
  const Bytes symbol = FromHex("01 03 22 1C 82 82 01");
  values = ResolveAll(ParseCdRecord(symbol), &info, storage);
  EXPECT_EQ(HexDigits(values[0].bytes), "82");
  EXPECT_EQ(Text(values[2].bytes), "val2");
}

TEST(CdRecordMixedProvenance, AnchorOnlyStructure) {
  // Anchor-only CI 02 00 00 0F 00 with the anchor record; the unused high
  // nibble of the odd CD array holds 0 here, not SQL Server's 1.
  const Bytes page = PageWithCi(FromHex("02 00 00 0F 00 01 03 20 06 AB 6E 61 6D 65 31"));
  const CompressionInfo info = ReadCompressionInfo(page, page.size());
  ASSERT_FALSE(info.damaged);
  EXPECT_EQ(info.size, 15);
  std::vector<Bytes> storage;
  const Bytes row = FromHex("01 03 10 01");
  const auto values = ResolveAll(ParseCdRecord(row), &info, storage);
  EXPECT_EQ(values[0].state, ResolvedState::kNull);
  EXPECT_EQ(HexDigits(values[1].bytes), "AB");
  EXPECT_EQ(Text(values[2].bytes), "name1");
}

TEST(CdRecordClusters, ByteCountsOfAHundredAndSevenColumns) {
  // A record shaped like the published 107-column one: short bytes 28, 34
  // and 2 in the first three clusters, long entries 7, 1 and 5.
  std::vector<CdCell> cells(107, CdCell::Of(CdCell::Kind::kEmpty));
  auto fill = [&cells](size_t first, size_t shortBytes, size_t longs) {
    size_t i = first;
    for (; shortBytes >= 4; shortBytes -= 4) cells[i++] = CdCell::Stored(Bytes(4, 0x41));
    if (shortBytes > 0) cells[i++] = CdCell::Stored(Bytes(shortBytes, 0x42));
    for (size_t k = 0; k < longs; ++k) cells[i++] = CdCell::Stored(Bytes(9 + k, 0x43));
  };
  fill(0, 28, 7);
  fill(30, 34, 1);
  fill(60, 2, 5);
  fill(90, 5, 2);
  const Bytes bytes = testing::WriteCdRecord(cells);
  const CdRecord r = ParseCdRecord(bytes);
  ASSERT_TRUE(r.readable);
  EXPECT_FALSE(r.damaged);
  EXPECT_EQ(HexDigits(ByteSpan(bytes).subspan(r.cdArrayOffset + 54, 3)), "1C2202");
  EXPECT_EQ(HexDigits(ByteSpan(bytes).subspan(r.longDataOffset + 3 + 2 * 15, 3)), "070105");
  EXPECT_EQ(r.length, bytes.size());
  EXPECT_EQ(r.columns[90].bytes.size(), 4u);
  EXPECT_EQ(r.columns[91].bytes.size(), 1u);
  EXPECT_EQ(r.columns[93].bytes.size(), 10u);
}

TEST(CdRecordCounts, TwoByteColumnCountHighBitsFirst) {
  std::vector<CdCell> cells(300, CdCell::Of(CdCell::Kind::kNull));
  cells[299] = CdCell::Stored(FromHex("81"));
  const Bytes bytes = testing::WriteCdRecord(cells);
  EXPECT_EQ(HexDigits(ByteSpan(bytes).subspan(1, 2)), "812C");
  const CdRecord r = ParseCdRecord(bytes);
  ASSERT_TRUE(r.readable);
  EXPECT_EQ(r.columnCount, 300);
  EXPECT_EQ(HexDigits(r.columns[299].bytes), "81");
  EXPECT_EQ(r.length, bytes.size());
}

TEST(CdRecordTypes, GhostsStubsAndVersioning) {
  const std::vector<CdCell> cells = {CdCell::Stored(FromHex("81"))};
  for (auto [type, ghost] : {std::pair{CdRecordType::kGhostData, true},
                             {CdRecordType::kGhostEmpty, true},
                             {CdRecordType::kGhostForwarded, true},
                             {CdRecordType::kForwarded, false},
                             {CdRecordType::kPrimary, false}}) {
    const Bytes bytes = testing::WriteCdRecord(cells, type);
    const CdRecord r = ParseCdRecord(bytes);
    EXPECT_EQ(r.type, type);
    EXPECT_EQ(r.IsGhost(), ghost);
    EXPECT_TRUE(r.IsDataRecord());
  }
  EXPECT_EQ(testing::WriteCdRecord(cells, CdRecordType::kGhostData)[0], 0x0D);

  const Bytes versioned = testing::WriteCdRecord(cells, CdRecordType::kPrimary, true);
  EXPECT_EQ(ParseCdRecord(versioned).length, versioned.size());

  const Bytes stub = FromHex("09 2A 00 00 00 01 00 03 00");
  const CdRecord s = ParseCdRecord(stub);
  ASSERT_TRUE(s.forwardPage);
  EXPECT_EQ(s.forwardPage->pageNo, 42);
  EXPECT_EQ(s.forwardSlot, 3);
  EXPECT_FALSE(s.IsDataRecord());
}

// --- damage ------------------------------------------------------------------

TEST(CdRecordDamage, EveryTruncationStaysInsideTheBytes) {
  // Parsing each prefix of each record reads only that prefix (ASan checks
  // the copy), and what cannot be read is marked, never made up.
  for (const Bytes& full : {testing::ThreeColumnLongRecord(), testing::TenColumnRecord(),
                            testing::RowCompressedWithRowversion(), testing::PessoaRowCarolina()}) {
    for (size_t n = 0; n < full.size(); ++n) {
      const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
      const CdRecord r = ParseCdRecord(cut);
      for (const CdValue& v : r.columns)
        if (v.state != CdValueState::kUnreadable && !v.bytes.empty()) {
          EXPECT_GE(v.bytes.data(), cut.data());
          EXPECT_LE(v.bytes.data() + v.bytes.size(), cut.data() + cut.size());
        }
      EXPECT_EQ(r.length, 0u) << n;
    }
  }
}

TEST(CdRecordDamage, ReservedCodesAndBadCountsLoseOnlyWhatDependsOnThem) {
  // Column 2 holds the reserved code 0xD: later short values of the record
  // cannot be placed, nor can the long data.
  Bytes bytes = testing::ThreeColumnLongRecord();
  bytes[2] = 0xAD;
  CdRecord r = ParseCdRecord(bytes);
  EXPECT_TRUE(r.damaged);
  EXPECT_EQ(r.columns[0].state, CdValueState::kUnreadable);
  EXPECT_EQ(r.columns[1].state, CdValueState::kUnreadable);
  EXPECT_EQ(r.length, 0u);

  // Long entry count disagreeing with the codes.
  bytes = testing::ThreeColumnLongRecord();
  bytes[11] = 2;
  r = ParseCdRecord(bytes);
  EXPECT_EQ(r.columns[0].state, CdValueState::kShort);
  EXPECT_EQ(r.columns[1].state, CdValueState::kUnreadable);

  // An end offset beyond the record.
  bytes = testing::ThreeColumnLongRecord();
  bytes[13] = 0x7F;
  r = ParseCdRecord(bytes);
  EXPECT_EQ(r.columns[1].state, CdValueState::kUnreadable);
  EXPECT_EQ(Text(r.columns[2].bytes), "Row 1");

  // Column counts of 0 or above 1024 give no columns.
  for (const char* hex : {"01 00", "01 84 01 00", "01", "01 05 22"}) {
    const Bytes b = FromHex(hex);
    EXPECT_FALSE(ParseCdRecord(b).readable) << hex;
  }
}

TEST(CdRecordDamage, ClusterByteDisagreeingWithItsCodesLosesThatClusterOnly) {
  std::vector<CdCell> cells(40, CdCell::Stored(FromHex("81")));
  Bytes bytes = testing::WriteCdRecord(cells);
  const size_t clusterByte = 2 + 20;
  ASSERT_EQ(bytes[clusterByte], 30);
  bytes[clusterByte] = 29;
  const CdRecord r = ParseCdRecord(bytes);
  EXPECT_TRUE(r.damaged);
  for (size_t i = 0; i < 30; ++i) EXPECT_EQ(r.columns[i].state, CdValueState::kUnreadable) << i;
  // The second cluster starts where the byte says; one byte early here.
  EXPECT_EQ(r.columns[30].state, CdValueState::kShort);
}

TEST(CompressionInfoDamage, BadHeadersMakePrefixedValuesUnreadable) {
  const Bytes good = testing::TransactionHistoryCompressionInfo();
  const Bytes record = testing::WriteCdRecord(
      {CdCell::Of(CdCell::Kind::kNull), CdCell::Stored(FromHex("82")), CdCell::Stored(FromHex("02 7E"))});
  const CdRecord r = ParseCdRecord(record);
  struct Case {
    const char* what;
    size_t at;
    uint8_t value;
  };
  for (const Case& c :
       {Case{"unknown flag", 0, 0x07}, Case{"size beyond the page", 6, 0x40}, Case{"size below the header", 5, 0x03},
        Case{"dictionary before the anchor", 3, 0x02}, Case{"anchor count of zero", 8, 0x00}}) {
    SCOPED_TRACE(c.what);
    Bytes ci = good;
    if (c.at == 5) ci[6] = 0;
    ci[c.at] = c.value;
    const Bytes page = PageWithCi(ci);
    const CompressionInfo info = ReadCompressionInfo(page, page.size());
    EXPECT_TRUE(info.damaged);
    Bytes scratch;
    EXPECT_EQ(ResolveCdValue(r, 0, &info, scratch).state, ResolvedState::kNull);
    EXPECT_EQ(ResolveCdValue(r, 2, &info, scratch).state, ResolvedState::kUnreadable);
  }
  // The CI must end before the record space does.
  const Bytes page = PageWithCi(good);
  EXPECT_TRUE(ReadCompressionInfo(page, 96 + 538).damaged);
  EXPECT_FALSE(ReadCompressionInfo(page, 96 + 539).damaged);
}

TEST(CompressionInfoDamage, BadDictionaryOffsetsLoseTheirSymbolsOnly) {
  Bytes ci = testing::TransactionHistoryCompressionInfo();
  // End offset of entry 5 (dictionary offset 35 + 2 + 2 * 5) beyond the CI.
  ci[35 + 2 + 10] = 0xFF;
  ci[35 + 2 + 11] = 0x7F;
  const Bytes page = PageWithCi(ci);
  const CompressionInfo info = ReadCompressionInfo(page, page.size());
  EXPECT_FALSE(info.damaged);
  EXPECT_TRUE(info.dictionaryDamaged);
  EXPECT_TRUE(info.dictionary[4]);
  EXPECT_FALSE(info.dictionary[5]);
  EXPECT_FALSE(info.dictionary[6]);
  EXPECT_TRUE(info.dictionary[7]);
  const Bytes record = testing::WriteCdRecord({CdCell::Symbol(5), CdCell::Symbol(7), CdCell::Symbol(200)});
  const CdRecord r = ParseCdRecord(record);
  Bytes scratch;
  EXPECT_EQ(ResolveCdValue(r, 0, &info, scratch).state, ResolvedState::kUnreadable);
  EXPECT_EQ(ResolveCdValue(r, 1, &info, scratch).state, ResolvedState::kBytes);
  EXPECT_EQ(ResolveCdValue(r, 2, &info, scratch).state, ResolvedState::kUnreadable);
  // No CI at all (a ROW-compressed page): a symbol cannot be resolved.
  EXPECT_EQ(ResolveCdValue(r, 1, nullptr, scratch).state, ResolvedState::kUnreadable);
}

TEST(CompressionInfoDamage, PrefixLongerThanTheAnchor) {
  testing::PagePlan plan;
  plan.anchors = {testing::Ascii("abc")};
  const Bytes page = PageWithCi(testing::CompressionInfoBytes(plan));
  const CompressionInfo info = ReadCompressionInfo(page, page.size());
  Bytes scratch;
  const Bytes ok = testing::WriteCdRecord({CdCell::Stored(FromHex("03 64"))});
  EXPECT_EQ(Text(ResolveCdValue(ParseCdRecord(ok), 0, &info, scratch).bytes), "abcd");
  const Bytes bad = testing::WriteCdRecord({CdCell::Stored(FromHex("04 64"))});
  EXPECT_EQ(ResolveCdValue(ParseCdRecord(bad), 0, &info, scratch).state, ResolvedState::kUnreadable);
  // A two-byte prefix length, high bits first.
  testing::PagePlan longPlan;
  longPlan.anchors = {Bytes(200, 'x')};
  const Bytes longPage = PageWithCi(testing::CompressionInfoBytes(longPlan));
  const CompressionInfo longInfo = ReadCompressionInfo(longPage, longPage.size());
  Bytes value = FromHex("80 8C");
  value.push_back('y');
  const Bytes record = testing::WriteCdRecord({CdCell::Stored(value)});
  const ResolvedValue resolved = ResolveCdValue(ParseCdRecord(record), 0, &longInfo, scratch);
  EXPECT_EQ(Text(resolved.bytes), std::string(140, 'x') + "y");
}

TEST(CompressedPageDump, DescribesTheCiAndEachColumn) {
  const Bytes page = PageWithCi(testing::TransactionHistoryCompressionInfo());
  const CompressionInfo info = ReadCompressionInfo(page, page.size());
  const auto lines = DescribeCompressionInfo(info);
  ASSERT_GE(lines.size(), 1u + 1 + 9 + 1 + 113);
  EXPECT_EQ(lines[0],
            "Compression information: flags 0x06 (anchor dictionary)  changes 15  size 539  dictionary at 35");
  EXPECT_EQ(lines[2], "    column 1 THREE_BYTE_SHORT 830300");
  EXPECT_EQ(lines[3], "    column 2 NULL (no prefix)");
  EXPECT_EQ(lines.back(), "    symbol 112 810C6F38");

  const Bytes record = testing::WriteCdRecord(
      {CdCell::Of(CdCell::Kind::kNull), CdCell::Symbol(20), CdCell::Symbol(0), CdCell::Of(CdCell::Kind::kBitOne)});
  const auto recordLines = DescribeCdRecord(ParseCdRecord(record), &info);
  ASSERT_EQ(recordLines.size(), 5u);
  EXPECT_EQ(recordLines[0], "CD record: header 0x01 (primary)  4 columns  length 6");
  EXPECT_EQ(recordLines[3], "  column 3 PAGE_SYMBOL 00 = 81187E");
  EXPECT_EQ(recordLines[4], "  column 4 BIT_COLUMN");
}

}  // namespace
}  // namespace ravelin
