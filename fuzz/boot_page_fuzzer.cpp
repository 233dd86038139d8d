// Decodes arbitrary bytes as the boot page: straight from the bytes (a page
// cut short included), and as the opening step finds it, at page 9 moved
// by the displacement a catalog page's header shows, with the collation it
// names looked up. Any crash, hang, leak or undefined behaviour is a
// finding, and so is a name that differs between the two roads.
//
// Input: one byte that gives the displacement (-7 to 6), then the boot
// page; a shorter page is zero-filled where the file holds it.

#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "storage/boot_page.h"

namespace {

using namespace ravelin;
using namespace ravelin::fuzz;

constexpr uint32_t kAnchor = 2;  // the first page of sysallocunits

struct Fixture {
  MemoryEnv env;
  MemoryDataFile file{env, "/fuzz/boot.mdf", 24};
  CDatabaseFile* opened = nullptr;
  uint32_t lastBoot = kBootPageNumber;

  Fixture() {
    opened = &file.Open(0);
    opened->systemPageMap[7].push_back(PageMapEntry{1, kAnchor, 1});
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture f;
  if (size < 1) return 0;
  const int displacement = data[0] % 14 - 7;
  const ByteSpan page(data + 1, size - 1);

  const BootInfo direct = DecodeBootPage(page);
  VersionText(direct.version);
  CollationContext collation(&FuzzCollations());
  collation.ApplyDatabaseCollation(direct.collationId);
  collation.CodePageFor(direct.collationId);

  std::fill(f.file.Page(f.lastBoot), f.file.Page(f.lastBoot) + kPageSize, uint8_t{0});
  uint8_t* anchor = f.file.Page(kAnchor);
  std::fill(anchor, anchor + kPageSize, uint8_t{0});
  anchor[1] = 1;
  const auto anchorNumber = static_cast<uint32_t>(static_cast<int32_t>(kAnchor) + displacement);
  for (int i = 0; i < 4; ++i) anchor[32 + i] = static_cast<uint8_t>(anchorNumber >> (8 * i));
  f.lastBoot = static_cast<uint32_t>(kBootPageNumber - displacement);
  f.file.SetPage(f.lastBoot, page);

  const std::optional<BootInfo> found = f.opened->LoadDatabaseName();
  if (found && page.size() >= static_cast<size_t>(kPageSize) && found->databaseName != direct.databaseName)
    std::abort();
  return 0;
}
