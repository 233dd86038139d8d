// Walks allocation maps built from arbitrary IAM pages: the chain the
// headers' next-page pointers make (looping, leading out of the file or
// into the secondary file) and the same pages given as a list, each page's
// single-page slots and extent bitmap expanded into the pages they
// allocate. Any crash, hang, leak or undefined behaviour is a finding, and
// so is a page listed twice or a page number below 1.
//
// Input (fuzz_support.h: kIamInputPages): one option byte (ReadOptionsFrom;
// bits 3 and 4 choose the page the chain starts at: 1, 2, 3:1 or 3), then
// pages 1 to 3 of a 64-page primary file and page 1 of a 32-page secondary
// file (id 3), each in the short form kIamPage.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "fuzz_support.h"
#include "storage/iam_walk.h"

namespace {

using namespace ravelin;
using namespace ravelin::fuzz;

constexpr int16_t kSecondaryId = 3;

struct Fixture {
  MemoryEnv env;
  MemoryDataFile primary{env, "/fuzz/iam.mdf", 64};
  MemoryDataFile secondary{env, "/fuzz/iam_3.ndf", 32};

  CDatabaseFile& Open(uint8_t bits) {
    CDatabaseFile& file = primary.Open(bits);
    if (file.secondaryFiles.empty()) file.secondaryFiles[kSecondaryId] = secondary.Describe(kSecondaryId);
    return file;
  }
};

void Check(const std::vector<PageRef>& pages) {
  std::set<PageRef> seen;
  for (const PageRef& ref : pages)
    if (!seen.insert(ref).second || ref.pageNo < 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture f;
  if (size < 1) return 0;
  const uint8_t options = data[0];
  ByteSpan chunks(data + 1, size - 1);
  for (uint32_t k = 0; k < kIamInputPages; ++k) {
    uint8_t* page = k + 1 < kIamInputPages ? f.primary.Page(k + 1) : f.secondary.Page(1);
    kIamPage.Expand(SubSpan(chunks, 0, kIamPage.size()), page);
    chunks = SubSpan(chunks, kIamPage.size(), chunks.size());
  }

  const CDatabaseFile& file = f.Open(options & 7);
  const PageRef starts[] = {{1, 1}, {1, 2}, {kSecondaryId, 1}, {1, 3}};
  Check(CollectIamChainPages(file, starts[(options >> 3) & 3]));
  const std::vector<PageRef> list = {{1, 1}, {1, 2}, {1, 3}, {kSecondaryId, 1}, {1, 2}, {1, 0}, {2, 1}};
  Check(CollectIamListPages(file, list));
  return 0;
}
