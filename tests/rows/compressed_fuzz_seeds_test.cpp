// The seed pages of the compressed-record fuzzer: compressed pages of
// several shapes, each read back without damage. With RAVELIN_FUZZ_SEEDS
// naming a folder they are also written there (one option byte, then the
// page), which is how fuzz/corpus/compressed_record was made.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "storage/compressed_page.h"
#include "storage/compressed_record.h"
#include "support/compressed_table_image.h"
#include "support/compression_vectors.h"
#include "support/compressor.h"

namespace ravelin {
namespace {

using namespace testing;

struct Seed {
  std::string name;
  uint8_t options;
  Bytes page;
};

Bytes AssortedPage(Compression mode, size_t first, size_t count, bool ghosts) {
  const std::vector<RowValues> all = AssortedRows(first + count);
  std::vector<CompressedRow> rows;
  for (size_t i = first; i < first + count && i < all.size(); ++i)
    rows.push_back({all[i], ghosts && i % 3 == 0 ? CdRecordType::kGhostData : CdRecordType::kPrimary});
  PageBuilder page(7);
  FillCompressedPage(page, AssortedColumns(), rows, mode);
  return page.Build();
}

Bytes RealCiPage() {
  PageBuilder page(8);
  page.TypeFlagBits(0x80);
  page.AddUnslottedRecord(TransactionHistoryCompressionInfo());
  page.AddRecord(
      WriteCdRecord({CdCell::Stored(FromHex("02 05")), CdCell::Symbol(20), CdCell::Symbol(0),
                     CdCell::Stored(FromHex("81")), CdCell::Of(CdCell::Kind::kEmpty), CdCell::Of(CdCell::Kind::kEmpty),
                     CdCell::Stored(FromHex("7F")), CdCell::Symbol(72), CdCell::Of(CdCell::Kind::kEmpty)}));
  page.AddRecord(PessoaRowCarolina());
  page.AddRecord(TenColumnRecord());
  return page.Build();
}

std::vector<Seed> Seeds() {
  return {
      {"row-assorted", 0, AssortedPage(Compression::kRow, 0, 8, false)},
      {"page-assorted", 0, AssortedPage(Compression::kPage, 0, 12, false)},
      {"page-generated-ghosts", 1, AssortedPage(Compression::kPage, 3, 14, true)},
      {"row-no-layout", 2, AssortedPage(Compression::kRow, 3, 10, true)},
      {"page-no-layout", 3, AssortedPage(Compression::kPage, 5, 12, false)},
      {"real-ci", 0, RealCiPage()},
  };
}

TEST(CompressedFuzzSeeds, EverySeedPageReadsWithoutDamage) {
  const char* folder = std::getenv("RAVELIN_FUZZ_SEEDS");
  for (const Seed& seed : Seeds()) {
    SCOPED_TRACE(seed.name);
    const ByteSpan page(seed.page);
    const auto slots = LoadLE<int16_t>(page, 22);
    ASSERT_GT(slots, 0);
    const size_t end = kPageSize - 2 * static_cast<size_t>(slots);
    if (page[2] & 0x80) {
      const CompressionInfo info = ReadCompressionInfo(page, end);
      EXPECT_FALSE(info.damaged);
      EXPECT_FALSE(info.dictionaryDamaged);
    }
    for (int s = 0; s < slots; ++s) {
      const uint16_t offset = LoadLE<uint16_t>(page, kPageSize - 2 - 2 * static_cast<size_t>(s));
      const CdRecord record = ParseCdRecord(page.subspan(offset, end - offset));
      EXPECT_TRUE(record.readable);
      EXPECT_FALSE(record.damaged);
    }
    if (folder) {
      std::filesystem::create_directories(folder);
      std::ofstream out(std::filesystem::path(folder) / seed.name, std::ios::binary);
      out.put(static_cast<char>(seed.options));
      out.write(reinterpret_cast<const char*>(seed.page.data()), static_cast<std::streamsize>(seed.page.size()));
    }
  }
}

}  // namespace
}  // namespace ravelin
