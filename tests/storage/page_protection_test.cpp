// Page checksums and torn-page stamps: what a page's own protection says of
// its bytes, on built pages and on every page of the real files.

#include "storage/page_protection.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "storage/allocation_map.h"
#include "storage/database_file.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::PageBuilder;
using testing::RecordBuilder;

Bytes RecordPage() {
  PageBuilder page(20);
  page.ObjectId(300).IndexId(256);
  for (int i = 0; i < 40; ++i) page.AddRecord(RecordBuilder().Fixed(testing::LE32(static_cast<uint32_t>(i))).Build());
  return page.Build();
}

TEST(PageProtection, ChecksumCoversEveryByteButItself) {
  PageBuilder builder(20);
  builder.ObjectId(300).AddRecord(RecordBuilder().Fixed(testing::Ascii("checksummed")).Build());
  const Bytes page = builder.Checksum().Build();
  EXPECT_EQ(CheckPageProtection(page), PageProtection::kIntact);
  EXPECT_EQ(PageChecksum(page), LoadLE<uint32_t>(page, 60));
  for (size_t at : {size_t{1}, size_t{59}, size_t{64}, size_t{100}, size_t{4095}, size_t{8191}}) {
    Bytes changed = page;
    changed[at] ^= 0x10;
    EXPECT_EQ(CheckPageProtection(changed), PageProtection::kDamaged) << "byte " << at;
  }
  // The same bit flipped in two words of one sector cancels out in their
  // XOR: the checksum cannot see it, as SQL Server's cannot.
  Bytes twice = page;
  twice[200] ^= 1;
  twice[204] ^= 1;
  EXPECT_EQ(CheckPageProtection(twice), PageProtection::kIntact);
  EXPECT_EQ(PageChecksum(Bytes(100, 0)), 0u);
}

TEST(PageProtection, TornPagesShareOneStampInEverySector) {
  for (uint8_t stamp : {1, 2}) {
    const Bytes page = [&] {
      PageBuilder builder(20);
      builder.ObjectId(300).AddRecord(RecordBuilder().Fixed(Bytes(3000, 0xFF)).Build());
      return builder.TornProtect(stamp).Build();
    }();
    EXPECT_EQ(CheckPageProtection(page), PageProtection::kIntact);
    // A sector written by another write carries another stamp.
    Bytes torn = page;
    torn[7 * 512 + 511] ^= 3;
    EXPECT_EQ(CheckPageProtection(torn), PageProtection::kDamaged);
    // A change inside a sector is beyond what the stamps see.
    Bytes inside = page;
    inside[1000] ^= 0xFF;
    EXPECT_EQ(CheckPageProtection(inside), PageProtection::kIntact);
  }
}

TEST(PageProtection, UnprotectedShortAndDoublyFlaggedPages) {
  const Bytes plain = RecordPage();
  EXPECT_EQ(CheckPageProtection(plain), PageProtection::kNone);
  EXPECT_EQ(CheckPageProtection(ByteSpan(plain).first(8191)), PageProtection::kDamaged);
  // No page claims both protections.
  Bytes both = plain;
  both[5] |= 0x03;
  EXPECT_EQ(CheckPageProtection(both), PageProtection::kDamaged);
}

// Every page of every real file whose protection shows damage is one the
// allocation maps call free: the unallocated leftovers the files are known
// to hold. Every page in use is intact.
TEST(PageProtectionRealFiles, OnlyFreePagesShowDamage) {
  const std::string dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "no test data";
  size_t intact = 0;
  size_t damaged = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".mdf") continue;
    auto file = testing::OpenMappedFile(entry.path().string());
    ASSERT_TRUE(file) << entry.path();
    const AllocationMap maps(*file);
    for (int32_t n = 0; static_cast<uint64_t>(n) < file->pageCount; ++n) {
      const auto bytes = file->ReadPageBytes({1, n}, true);
      ASSERT_TRUE(bytes);
      switch (CheckPageProtection(*bytes)) {
        case PageProtection::kIntact:
          ++intact;
          break;
        case PageProtection::kDamaged:
          ++damaged;
          EXPECT_EQ(maps.StateOf({1, n}), AllocationState::kFree) << entry.path().filename() << " page " << n;
          break;
        case PageProtection::kNone:
          break;
      }
    }
  }
  EXPECT_GT(intact, 3000u);
  EXPECT_GT(damaged, 0u);
}

}  // namespace
}  // namespace ravelin
