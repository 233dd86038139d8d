#include "recovery/snapshot_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "catalog/opened_database.h"
#include "storage/database_file.h"
#include "support/recording_sink.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::Concat;
using testing::DatabaseImage;
using testing::LE16;
using testing::LE32;
using testing::LE64;
using testing::ReadFileBytes;
using testing::RecordingSink;
using testing::TempDir;
using testing::Utf16;

// Catalog pages of several system objects met out of id order, two user
// tables with data and IAM pages, and zeroed pages (object 0).
DatabaseImage MappedDatabase() {
  DatabaseImage image(40);
  for (uint32_t n = 0; n < 40; ++n) image.Page(n).PageType(0);
  image.Page(9).PageType(13).ObjectId(99);
  image.Page(12).PageType(1).ObjectId(41).IndexId(1);
  image.Page(13).PageType(1).ObjectId(34);
  image.Page(14).PageType(1).ObjectId(41).IndexId(1);
  image.Page(15).PageType(10).ObjectId(34);
  image.Page(20, 3).PageType(1).ObjectId(0x10000).IndexId(256);
  image.Page(21).PageType(10).ObjectId(0x10000);
  image.Page(22).PageType(1).ObjectId(0x10000).IndexId(256);
  image.Page(23).PageType(10).ObjectId(0x7FFFFFFF);
  image.Page(24).PageType(1).ObjectId(0xFFFFFFF0u).IndexId(256);
  image.Page(25).PageType(3).ObjectId(0x10001).IndexId(256);
  image.SetRaw(30, Bytes());
  return image;
}

// A data file opened as a run opens it: mapped, or in snapshot mode with
// the snapshot's maps.
struct Opened {
  RecoverySettings settings;
  RecordingSink sink;
  std::unique_ptr<OpenedDatabase> opened;
  CDatabaseFile* db = nullptr;
  void Open(const std::string& path) {
    OpenRequest request = OpenRequestFor(settings, path);
    if (settings.snapshotMode) request.pageMaps = SnapshotPageMaps(settings.snapshotFilePath, sink);
    opened = OpenedDatabase::Open(request, sink, StopToken());
    db = opened ? &opened->file() : nullptr;
  }
};

// Bytes of a snapshot header, as the format lays them out.
Bytes HeaderBytes(const std::string& path, bool autoDetect, int64_t manualId = 0) {
  Bytes head =
      Concat({LE32(static_cast<uint32_t>(Utf16(path).size())), Utf16(path), {1, autoDetect ? uint8_t{1} : uint8_t{0}}});
  if (!autoDetect) head = Concat({head, LE64(static_cast<uint64_t>(manualId))});
  return Concat({head, {1, 0, 1}});
}

Bytes EntryBytes(PageMapEntry e) { return Concat({LE16(e.fileId), LE32(e.pageIndex), LE32(e.pageType)}); }

PageMap SampleSystemMap() { return {{34, {{1, 13, 1}, {1, 15, 10}}}, {7, {{1, 3, 1}}}, {2187, {}}}; }
PageMap SampleDataMap() { return {{0x10000, {{1, 22, 1}, {3, 20, 1}}}}; }

TEST(SnapshotFile, MapsSurviveASaveAndComeBackWithoutReadingPages) {
  TempDir dir;
  const std::string dataPath = dir.Write("Sales.mdf", MappedDatabase().Build());
  Opened scanned;
  scanned.settings.autoDetectCollation = false;
  scanned.settings.manualCollationId = 53256;
  scanned.settings.showDeleted = true;
  scanned.Open(dataPath);
  ASSERT_TRUE(scanned.db);
  ASSERT_GT(scanned.db->systemPageMap.size(), 3u);
  ASSERT_GT(scanned.db->iamPageMap.size(), 2u);

  const std::string snapshot = dir.path() + "/Sales.MDBSNP";
  SnapshotHeader header = SnapshotHeaderFromSettings(scanned.settings, dataPath, true);
  ASSERT_TRUE(
      WriteSnapshot(snapshot, header, scanned.db->systemPageMap, scanned.db->dataPageMap, scanned.db->iamPageMap));

  // The data file is zeroed: the maps can only come from the snapshot.
  dir.Write("Sales.mdf", Bytes(40 * kPageSize, 0));
  Opened loaded;
  ASSERT_TRUE(LoadSnapshotSettings(snapshot, loaded.settings));
  EXPECT_TRUE(loaded.settings.snapshotMode);
  EXPECT_EQ(loaded.settings.snapshotFilePath, snapshot);
  EXPECT_EQ(loaded.settings.snapshotDataFilePath, dataPath);
  EXPECT_FALSE(loaded.settings.autoDetectCollation);
  EXPECT_EQ(loaded.settings.manualCollationId, 53256);
  EXPECT_TRUE(loaded.settings.showDeleted);
  EXPECT_FALSE(loaded.settings.showAdvancedDeleted);
  EXPECT_EQ(loaded.settings.recoveryMode, RecoveryMode::kUnset) << "the run keeps its own mode";

  loaded.Open(loaded.settings.snapshotDataFilePath);
  ASSERT_TRUE(loaded.db);
  EXPECT_EQ(loaded.db->systemPageMap, scanned.db->systemPageMap);
  EXPECT_EQ(loaded.db->dataPageMap, scanned.db->dataPageMap);
  EXPECT_EQ(loaded.db->iamPageMap, scanned.db->iamPageMap);
  // The start check still runs; mapping reports nothing but its two texts.
  EXPECT_EQ(loaded.sink.Texts('S'), (std::vector<std::string>{kTextCheckingCorruption, kTextCheckingCorruptionDone,
                                                              kTextLoadingSnapshot, kTextSnapshotLoaded}));
  auto events = loaded.sink.events();
  auto loading =
      std::find_if(events.begin(), events.end(), [](const auto& e) { return e.text == kTextLoadingSnapshot; });
  EXPECT_TRUE(std::none_of(loading, events.end(), [](const auto& e) { return e.kind == 'P' || e.kind == 'R'; }));
}

TEST(SnapshotFile, BytesFollowTheLayout) {
  TempDir dir;
  const std::string path = dir.path() + "/a.MDBSNP";
  SnapshotHeader header;
  header.dataFilePath = "/d/Größe.mdf";
  header.advancedMode = true;
  header.isSql2000 = true;
  header.showAdvancedDeleted = true;
  ASSERT_TRUE(WriteSnapshot(path, header, SampleSystemMap(), SampleDataMap(), {}));
  Bytes expected = Concat({HeaderBytes("/d/Größe.mdf", true),
                           // system map: objects 7, 34, 2187 in ascending order
                           LE64(3), LE32(7), LE32(1), EntryBytes({1, 3, 1}), LE32(34), LE32(2), EntryBytes({1, 13, 1}),
                           EntryBytes({1, 15, 10}), LE32(2187), LE32(0),
                           // data map: entries in the order they were met
                           LE64(1), LE32(0x10000), LE32(2), EntryBytes({1, 22, 1}), EntryBytes({3, 20, 1}),
                           // an empty map is a zero count and nothing else
                           LE64(0)});
  EXPECT_EQ(ReadFileBytes(path), expected);

  // A manual collation stores its id: 8 more bytes, nowhere else changed.
  header.autoDetectCollation = false;
  header.manualCollationId = 0x12345678;
  ASSERT_TRUE(WriteSnapshot(path, header, SampleSystemMap(), SampleDataMap(), {}));
  Bytes manual = ReadFileBytes(path);
  ASSERT_EQ(manual.size(), expected.size() + 8);
  const size_t flags = 4 + Utf16("/d/Größe.mdf").size() + 2;
  EXPECT_EQ(Bytes(manual.begin() + flags, manual.begin() + flags + 8), LE64(0x12345678));

  auto read = ReadSnapshotHeader(path);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->dataFilePath, "/d/Größe.mdf");
  EXPECT_TRUE(read->advancedMode);
  EXPECT_FALSE(read->autoDetectCollation);
  EXPECT_EQ(read->manualCollationId, 0x12345678);
  EXPECT_TRUE(read->isSql2000);
  EXPECT_FALSE(read->showDeleted);
  EXPECT_TRUE(read->showAdvancedDeleted);

  std::optional<PageMaps> maps = ReadSnapshotPageMaps(path);
  ASSERT_TRUE(maps);
  EXPECT_EQ(maps->systemPages, SampleSystemMap());
  EXPECT_EQ(maps->dataPages, SampleDataMap());
  EXPECT_TRUE(maps->iamPages.empty());
}

TEST(SnapshotFile, AutoDetectLeavesTheManualIdAlone) {
  TempDir dir;
  std::string path = dir.Write("auto.MDBSNP", Concat({HeaderBytes("/x.mdf", true), LE64(0), LE64(0), LE64(0)}));
  RecoverySettings settings;
  settings.manualCollationId = 77;
  settings.autoDetectCollation = false;
  ASSERT_TRUE(LoadSnapshotSettings(path, settings));
  EXPECT_TRUE(settings.autoDetectCollation);
  EXPECT_EQ(settings.manualCollationId, 77);
  EXPECT_TRUE(settings.isSql2000);
  EXPECT_FALSE(settings.showDeleted);
  EXPECT_TRUE(settings.showAdvancedDeleted);
}

TEST(SnapshotFile, EveryTruncationFailsWithEmptyMaps) {
  TempDir dir;
  const std::string full = dir.path() + "/full.MDBSNP";
  SnapshotHeader header;
  header.dataFilePath = "/db.mdf";
  header.autoDetectCollation = false;
  ASSERT_TRUE(WriteSnapshot(full, header, SampleSystemMap(), SampleDataMap(), SampleSystemMap()));
  const Bytes bytes = ReadFileBytes(full);
  const size_t headerSize = HeaderBytes("/db.mdf", false).size();

  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    std::string path = dir.Write("cut.MDBSNP", Bytes(bytes.begin(), bytes.begin() + cut));
    EXPECT_FALSE(ReadSnapshotPageMaps(path)) << "cut at " << cut;
    EXPECT_EQ(ReadSnapshotHeader(path).has_value(), cut >= headerSize) << "cut at " << cut;
  }
  // Bytes behind the last map are damage too.
  std::string longer = dir.Write("longer.MDBSNP", Concat({bytes, {0}}));
  EXPECT_FALSE(ReadSnapshotPageMaps(longer));
}

TEST(SnapshotFile, ImpossibleCountsAreRefusedBeforeAllocating) {
  TempDir dir;
  const Bytes head = HeaderBytes("/db.mdf", true);
  const Bytes empty = LE64(0);
  struct Case {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"path length", Concat({LE32(0xFFFFFFFE), Utf16("/db.mdf")})},
      {"odd path length", Concat({LE32(3), Bytes(3, 'a'), Bytes(3, 0), empty, empty, empty})},
      {"zero in the path", Concat({HeaderBytes(std::string("/a\0b", 4), true), empty, empty, empty})},
      {"object count", Concat({head, LE64(~uint64_t{0}), LE32(7), LE32(0), empty, empty})},
      {"entry count", Concat({head, LE64(1), LE32(7), LE32(0xFFFFFFFF), EntryBytes({1, 3, 1}), empty, empty})},
      {"entry count in the last map", Concat({head, empty, empty, LE64(1), LE32(7), LE32(0x20000000)})},
  };
  for (const Case& c : cases) {
    std::string path = dir.Write("bad.MDBSNP", c.bytes);
    EXPECT_FALSE(ReadSnapshotPageMaps(path)) << c.name;
  }
  EXPECT_FALSE(ReadSnapshotHeader(dir.path() + "/missing.MDBSNP"));
  EXPECT_FALSE(ReadSnapshotHeader(dir.path())) << "a directory is no snapshot";
}

TEST(SnapshotFile, LoadFailuresEndTheOpen) {
  TempDir dir;
  const std::string dataPath = dir.Write("db.mdf", MappedDatabase().Build());
  struct Case {
    const char* name;
    std::string snapshot;
  } cases[] = {
      {"missing", dir.path() + "/missing.MDBSNP"},
      {"truncated", dir.Write("t.MDBSNP", Concat({HeaderBytes(dataPath, true), LE64(1), LE32(34)}))},
      {"no system map", dir.Write("n.MDBSNP", Concat({HeaderBytes(dataPath, true), LE64(0), LE64(0), LE64(0)}))},
      {"zeroed pages only", dir.Write("z.MDBSNP", Concat({HeaderBytes(dataPath, true), LE64(1), LE32(0), LE32(1),
                                                          EntryBytes({0, 4, 0}), LE64(0), LE64(0)}))},
  };
  for (const Case& c : cases) {
    Opened o;
    o.settings.snapshotMode = true;
    o.settings.snapshotFilePath = c.snapshot;
    o.Open(dataPath);
    EXPECT_FALSE(o.db) << c.name;
    EXPECT_EQ(o.sink.Texts('E'), std::vector<std::string>{kTextNotValidMdf}) << c.name;
    auto statuses = o.sink.Texts('S');
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), kTextSnapshotLoaded), 0) << c.name;
  }

  // A Load whose header cannot be read forgets the earlier snapshot, so
  // the scan cannot quietly reopen it.
  RecoverySettings settings;
  settings.snapshotFilePath = "/old.MDBSNP";
  settings.snapshotDataFilePath = "/old.mdf";
  EXPECT_FALSE(LoadSnapshotSettings(dir.path() + "/missing.MDBSNP", settings));
  EXPECT_TRUE(settings.snapshotMode);
  EXPECT_TRUE(settings.snapshotFilePath.empty());
  EXPECT_TRUE(settings.snapshotDataFilePath.empty());
}

TEST(SnapshotFile, SaveNeverWritesTheDataFileAndReplacesOldSnapshots) {
  TempDir dir;
  const Bytes database = MappedDatabase().Build();
  const std::string dataPath = dir.Write("db.mdf", database);
  SnapshotHeader header;
  header.dataFilePath = dataPath;
  EXPECT_FALSE(WriteSnapshot(dataPath, header, SampleSystemMap(), {}, {}));
  // Also through another name of the same file.
  ASSERT_EQ(link(dataPath.c_str(), (dir.path() + "/alias.MDBSNP").c_str()), 0);
  EXPECT_FALSE(WriteSnapshot(dir.path() + "/alias.MDBSNP", header, SampleSystemMap(), {}, {}));
  EXPECT_EQ(ReadFileBytes(dataPath), database);

  EXPECT_FALSE(WriteSnapshot(dir.path() + "/missing/x.MDBSNP", header, SampleSystemMap(), {}, {}));
  EXPECT_FALSE(WriteSnapshot(dir.path(), header, SampleSystemMap(), {}, {}));
  // A data file name that is not UTF-8 could not be recorded as it is.
  SnapshotHeader latin1 = header;
  latin1.dataFilePath = dir.path() + "/caf\xE9.mdf";
  EXPECT_FALSE(WriteSnapshot(dir.path() + "/latin1.MDBSNP", latin1, SampleSystemMap(), {}, {}));

  // An existing longer file is replaced, not overwritten in place.
  std::string old = dir.Write("old.MDBSNP", Bytes(5000, 0xAB));
  ASSERT_TRUE(WriteSnapshot(old, header, SampleSystemMap(), {}, {}));
  std::optional<PageMaps> replaced = ReadSnapshotPageMaps(old);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(replaced->systemPages, SampleSystemMap());
}

TEST(SnapshotFile, ProblemsAreNamed) {
  TempDir dir;
  const std::string full = dir.path() + "/full.MDBSNP";
  SnapshotHeader header;
  header.dataFilePath = "/db.mdf";
  ASSERT_TRUE(WriteSnapshot(full, header, SampleSystemMap(), SampleDataMap(), SampleSystemMap()));
  SnapshotHeader read;
  PageMaps maps;
  EXPECT_EQ(SnapshotProblem(full, Env::Default(), &read, &maps), "");
  EXPECT_EQ(read.dataFilePath, "/db.mdf");
  EXPECT_EQ(maps.systemPages, SampleSystemMap());

  EXPECT_EQ(SnapshotProblem(dir.path() + "/none.MDBSNP"), "No such file or directory");
  EXPECT_EQ(SnapshotProblem(dir.path()), "it is a directory");
  EXPECT_EQ(SnapshotProblem(dir.Write("empty.MDBSNP", {})), "the file is empty");
  const Bytes bytes = ReadFileBytes(full);
  const size_t headerSize = HeaderBytes("/db.mdf", true).size();
  for (size_t cut : {size_t{2}, size_t{10}, headerSize - 1, headerSize + 3, bytes.size() - 1}) {
    const std::string problem = SnapshotProblem(dir.Write("cut.MDBSNP", Bytes(bytes.begin(), bytes.begin() + cut)));
    EXPECT_EQ(problem.rfind("it is cut short", 0), 0u) << cut << ": " << problem;
  }
  EXPECT_EQ(SnapshotProblem(dir.Write("longer.MDBSNP", Concat({bytes, {0, 0}}))),
            "it goes on 2 bytes past its last page map: it is damaged, or not a snapshot file");
  // Other files: a text, and a data file given as a snapshot.
  EXPECT_EQ(SnapshotProblem(dir.Write("notes.MDBSNP", testing::Ascii("hello, this is no snapshot\n"))),
            "it is not a snapshot file: its header does not read as one");
  Bytes flags = bytes;
  flags[4 + Utf16("/db.mdf").size()] = 7;
  EXPECT_EQ(SnapshotProblem(dir.Write("flags.MDBSNP", flags)),
            "it is not a snapshot file: its header does not read as one");
}

TEST(SnapshotFile, TheDataFileIsRecordedByItsAbsolutePath) {
  const std::string here = std::filesystem::current_path().string();
  EXPECT_EQ(AbsoluteDataFilePath("data/db.mdf"), here + "/data/db.mdf");
  EXPECT_EQ(AbsoluteDataFilePath("./db.mdf"), here + "/db.mdf");
  EXPECT_EQ(AbsoluteDataFilePath("/srv/db.mdf"), "/srv/db.mdf");
  EXPECT_EQ(AbsoluteDataFilePath(""), "");
  RecoverySettings settings;
  EXPECT_EQ(SnapshotHeaderFromSettings(settings, "db.mdf", false).dataFilePath, here + "/db.mdf");
}

}  // namespace
}  // namespace ravelin
