// Reads arbitrary bytes as a snapshot file (through the in-memory file
// system): its header, the run options it carries and its three page
// maps; maps that read are then used to open a small database instead of
// a scan, as a snapshot load does, and every table of it is listed. Any
// crash, hang, leak or undefined behaviour is a finding.
//
// Input: the snapshot file. Seeds: snapshots of synthetic databases and
// of the test files (fuzz_seeds).

#include <cstdint>

#include "catalog/opened_database.h"
#include "fuzz_support.h"
#include "recovery/recovery_settings.h"
#include "recovery/snapshot_file.h"
#include "support/catalog_image.h"

namespace {

using namespace ravelin;
using namespace ravelin::fuzz;

constexpr char kDatabase[] = "/fuzz/db.mdf";
constexpr char kSnapshot[] = "/fuzz/db.MDBSNP";

struct Fixture {
  MemoryEnv env;

  Fixture() { env.AddFile(kDatabase, testing::SmallCatalogImage(40).Build()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture f;
  f.env.AddFileView(kSnapshot, ByteSpan(data, size));
  const std::optional<SnapshotHeader> header = ReadSnapshotHeader(kSnapshot, f.env);
  RecoverySettings settings;
  LoadSnapshotSettings(kSnapshot, settings, f.env);
  if (!header || !ReadSnapshotPageMaps(kSnapshot, f.env)) return 0;

  NullProgressSink sink;
  OpenRequest request;
  request.path = kDatabase;
  request.env = &f.env;
  request.options.showDeleted = header->showDeleted;
  request.options.huntDeleted = header->showAdvancedDeleted;
  request.options.mode = header->advancedMode ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
  request.collations = &FuzzCollations();
  request.autoDetectCollation = header->autoDetectCollation;
  request.manualCollationId = header->manualCollationId;
  request.pageMaps = SnapshotPageMaps(kSnapshot, sink, f.env);
  if (auto db = OpenedDatabase::Open(request, sink, StopToken())) ReadEverything(*db, sink);
  return 0;
}
