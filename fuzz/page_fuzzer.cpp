// Builds pages from arbitrary bytes and reads them the way a recovery run
// does. Any crash, hang, leak or undefined behaviour is a finding.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "recovery/progress_sink.h"
#include "recovery/recovery_settings.h"
#include "storage/boot_page.h"
#include "storage/database_file.h"
#include "storage/page.h"

namespace {

using namespace ravelin;

// A small database on disk, so that forwarding stubs and other page
// references in the fuzzed page have somewhere to lead.
struct Fixture {
  RecoverySettings settings;
  NullProgressSink sink;
  std::unique_ptr<CDatabaseFile> db;

  Fixture() {
    std::string path = std::filesystem::temp_directory_path() / ("ravelin-fuzz-" + std::to_string(getpid()) + ".mdf");
    Bytes file(16 * kPageSize, 0);
    for (int n = 0; n < 16; ++n) {
      uint8_t* page = &file[static_cast<size_t>(n) * kPageSize];
      page[0] = 1;
      page[1] = 1;
      page[24] = 34;  // a catalog page, so the file opens
      page[32] = static_cast<uint8_t>(n);
      page[36] = 1;
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    db = std::make_unique<CDatabaseFile>(path, sink, settings);
    std::filesystem::remove(path);
  }
};

Fixture& GetFixture() {
  static Fixture fixture;
  return fixture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = GetFixture();
  // The first byte chooses the options, the rest is the page.
  const uint8_t options = size > 0 ? data[0] : 0;
  f.settings.showDeleted = options & 1;
  f.settings.showAdvancedDeleted = options & 2;
  f.settings.isSql2000 = options & 4;
  Bytes page(kPageSize, 0);
  if (size > 1) std::copy(data + 1, data + std::min<size_t>(size, kPageSize + 1), page.begin());

  PrimaryRecordPage records(page, f.db.get());
  for (size_t at = 0; at < page.size(); at += 97) MeasureRecordLength(ByteSpan(page).subspan(at), options & 1);
  CBootPage boot(page, f.settings);
  return 0;
}
