// Reads allocation map pages made of arbitrary bytes the way a recovery run
// does: decoded alone at the places map pages stand, and laid into a small
// database as its PFS, GAM, SGAM or first IAM page, whose every page is
// then asked about. Any crash, hang, leak or undefined behaviour is a
// finding.
//
// Input: one option byte, then the page. The option's low two bits choose
// the page's place (0 the PFS page 1, 1 the GAM page 2, 2 the SGAM page 3,
// 3 the IAM page 4 that starts the chain); bit 2 rewrites the header to name
// that place and drops its protection flags, so that the records behind it
// are reached without a corpus.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "storage/allocation_map.h"
#include "storage/database_file.h"
#include "storage/iam_page.h"
#include "storage/memory_env.h"
#include "storage/page_protection.h"
#include "storage/progress_sink.h"
#include "support/synthetic.h"

namespace {

using namespace ravelin;

constexpr uint32_t kPages = 40;
constexpr int32_t kIamPage = 4;

// The intact database the fuzzed page is laid into: map pages, an IAM
// chain 4 -> 5 naming single pages and an extent, pages in use and freed.
Bytes BaseFile() {
  testing::DatabaseImage image(kPages);
  image.Page(8).ObjectId(34);
  testing::AllocationMapsBuilder maps(kPages);
  maps.AllocatePage(kIamPage, kPfsIamPage).AllocatePage(5, kPfsIamPage).AllocatePage(10).AllocatePage(11);
  maps.FreePage(11);
  for (uint32_t n = 16; n < 24; ++n) maps.AllocatePage(n);
  maps.AllocatePage(24).FreeExtent(24).MixedWithFree(32);
  maps.WriteTo(image);
  testing::MakeIamPage(image.Page(kIamPage).ObjectId(300).Next({1, 5}), {1, 0}, {{1, 10}, {1, 11}}, {0x04});
  testing::MakeIamPage(image.Page(5).ObjectId(300), {1, 0}, {}, {0x08});
  return image.Build();
}

void PutHeader(Bytes& page, uint8_t type, int32_t pageNo, uint32_t objectId) {
  page[1] = type;
  page[5] &= static_cast<uint8_t>(~0x03);  // no checksum, no torn bits
  for (int i = 0; i < 4; ++i) {
    page[24 + i] = static_cast<uint8_t>(objectId >> (8 * i));
    page[32 + i] = static_cast<uint8_t>(static_cast<uint32_t>(pageNo) >> (8 * i));
  }
  page[36] = 1;
  page[37] = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Bytes kBase = BaseFile();
  if (size == 0) return 0;
  const uint8_t options = data[0];
  Bytes page(kPageSize, 0);
  std::copy(data + 1, data + std::min<size_t>(size, kPageSize + 1), page.begin());

  static constexpr uint8_t kTypes[] = {kPageTypePfs, kPageTypeGam, kPageTypeSgam, 10};
  static constexpr int32_t kPlaces[] = {1, 2, 3, kIamPage};
  const int place = options & 3;
  if (options & 4) PutHeader(page, kTypes[place], kPlaces[place], place == 3 ? 300 : kAllocationPagesObjectId);

  CheckPageProtection(page);
  PageChecksum(page);
  for (int32_t pfs : {1, kPagesPerPfsInterval, 2 * kPagesPerPfsInterval}) DecodePfsPage(page, {1, pfs});
  for (int32_t gam : {2, kPagesPerInterval}) {
    DecodeExtentMapPage(page, {1, gam}, kPageTypeGam);
    DecodeExtentMapPage(page, {1, gam + 1}, kPageTypeSgam);
  }

  Bytes file = kBase;
  std::copy(page.begin(), page.end(), file.begin() + static_cast<std::ptrdiff_t>(kPlaces[place]) * kPageSize);
  MemoryEnv env;
  env.AddFileView("/fuzz.mdf", file);
  NullProgressSink sink;
  CDatabaseFile db("/fuzz.mdf", env, sink, StopToken(), ReadOptions{});
  const AllocationMap maps(db);
  const UnitAllocation chain = UnitAllocation::FromChain(db, {1, kIamPage});
  const std::vector<PageRef> list = {{1, 5}, {1, kIamPage}, {1, 0}, {1, kIamPage}};
  const UnitAllocation listed = UnitAllocation::FromPages(db, list);
  for (int32_t n = -1; n <= static_cast<int32_t>(kPages); ++n) {
    maps.StateOf({1, n});
    maps.Describe({1, n});
    chain.StateOf({1, n}, maps);
    listed.Claims({1, n});
  }
  // Where the fuzzed IAM page's header sends its interval.
  chain.Claims({1, kPagesPerInterval + 3});
  return 0;
}
