// Snapshot files (.MDBSNP): the three page maps of a mapped database and
// the options of its run, so that the database can be reopened later
// without reading every page again.
//
// Layout, little-endian, no magic and no checksum: u32 path length in
// bytes, the data file path in UTF-16LE, the advanced and auto-detect
// flags, a u64 manual collation id only when auto-detect is 0, the SQL 2000,
// show deleted and show advanced deleted flags; then the system, data and
// IAM page maps, each a u64 object count and per object (ascending id) the
// u32 id, a u32 entry count and 10-byte entries {u16 file id, u32 page
// index, u32 page type}.
//
// A file that is short, carries counts its bytes cannot hold or goes on
// past its last map is refused as a whole.

#ifndef RAVELIN_RECOVERY_SNAPSHOT_FILE_H_
#define RAVELIN_RECOVERY_SNAPSHOT_FILE_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "recovery/recovery_settings.h"
#include "storage/database_file.h"
#include "storage/env.h"
#include "storage/page_types.h"
#include "storage/progress_sink.h"

namespace ravelin {

inline constexpr char kTextLoadingSnapshot[] = "Loading snapshot...please wait ......................";
inline constexpr char kTextSnapshotLoaded[] = "Load snapshot finished..processing tables ......................";
inline constexpr char kTextSavingSnapshot[] = "Saving Snapshot..Please wait....";
inline constexpr char kTextSnapshotSaved[] = "Snapshot Saved successfully in path ";
inline constexpr char kTextSnapshotNotSaved[] = "Snapshot cannot be saved.";

struct SnapshotHeader {
  std::string dataFilePath;
  bool advancedMode = false;
  bool autoDetectCollation = true;
  int64_t manualCollationId = 0;  // stored only when autoDetectCollation is false
  bool isSql2000 = false;
  bool showDeleted = false;
  bool showAdvancedDeleted = false;
};

// `path` made absolute (against the current folder), so that a snapshot
// can be loaded from anywhere; an absolute or empty path as it is.
std::string AbsoluteDataFilePath(const std::string& path);

// The header a Save writes: the run's options from `settings`, with the
// data file path (made absolute) and mode of the database that was opened.
SnapshotHeader SnapshotHeaderFromSettings(const RecoverySettings& settings, const std::string& dataFilePath,
                                          bool advancedMode);

// Creates (or replaces) `path` with the header and the three maps. False
// when the file cannot be written (a partly written file is removed) or
// when `path` is the data file named in the header, which is never written.
bool WriteSnapshot(const std::string& path, const SnapshotHeader& header, const PageMap& systemPages,
                   const PageMap& dataPages, const PageMap& iamPages);

// The header of the snapshot at `path`; nothing when the file cannot be
// read or its header is damaged.
std::optional<SnapshotHeader> ReadSnapshotHeader(const std::string& path, Env& env = Env::Default());

// Why the snapshot at `path` cannot be loaded: the system's error text,
// "the file is empty", "it is not a snapshot file: ...", "it is cut short:
// ...", "it goes on ... past its last page map: ..."; empty when it reads
// whole, its header and maps then stored where asked.
std::string SnapshotProblem(const std::string& path, Env& env = Env::Default(), SnapshotHeader* header = nullptr,
                            PageMaps* maps = nullptr);

// The three maps of the snapshot at `path`; nothing when the file cannot be
// read or is damaged anywhere.
std::optional<PageMaps> ReadSnapshotPageMaps(const std::string& path, Env& env = Env::Default());

// What a snapshot Load does before its scan starts: switches the run to
// snapshot mode and takes the header's options into `settings` (the mode
// flag is kept in the header only; the run keeps its own mode). When the
// header cannot be read, the snapshot paths are cleared so that the scan
// fails instead of loading an earlier snapshot, and the answer is false.
bool LoadSnapshotSettings(const std::string& path, RecoverySettings& settings, Env& env = Env::Default());

// Where an open in snapshot mode takes its page maps from: the snapshot at
// `path`, read with its status texts ("Loading snapshot...", and once it
// names a system table "Load snapshot finished...") shown through `sink`.
std::function<std::optional<PageMaps>()> SnapshotPageMaps(const std::string& path, ProgressSink& sink,
                                                          Env& env = Env::Default());

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_SNAPSHOT_FILE_H_
