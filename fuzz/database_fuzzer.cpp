// Opens arbitrary bytes as a whole data file, through the in-memory file
// system, the one way every command opens one: the start check, the
// mapping scan, the boot page, the file table, the catalog; then reads the
// definition rows, prepares every object and lists every row of every
// table, once in Standard mode and once in Advanced mode with deleted
// records shown and hunted for. Any crash, hang, leak or undefined
// behaviour is a finding.
//
// Input: the file itself, at most kMaxPages pages (a length that is not a
// whole number of pages makes a file whose pages start after the
// remainder, or at 0). Seeds: small synthetic databases of both catalog
// layouts, with compressed tables, and small images cut from the test
// files: their catalog pages and a few data pages of some tables
// (fuzz_seeds).

#include <algorithm>
#include <cstdint>

#include "catalog/opened_database.h"
#include "fuzz_support.h"

namespace {

using namespace ravelin;
using namespace ravelin::fuzz;

constexpr size_t kMaxPages = 64;
constexpr char kPath[] = "/fuzz/db.mdf";
// Standard mode, deleted records left out; Advanced mode with every
// deleted-record option.
constexpr uint8_t kOptionSets[] = {0, 7};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryEnv env;
  size = std::min(size, kMaxPages * kPageSize + kPageSize - 1);
  env.AddFileView(kPath, ByteSpan(data, size));
  for (uint8_t bits : kOptionSets) {
    NullProgressSink sink;
    OpenRequest request;
    request.path = kPath;
    request.env = &env;
    request.options = ReadOptionsFrom(bits);
    request.collations = &FuzzCollations();
    if (auto db = OpenedDatabase::Open(request, sink, StopToken())) ReadEverything(*db, sink);
  }
  return 0;
}
