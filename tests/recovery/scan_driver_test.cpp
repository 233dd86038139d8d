#include "recovery/scan_driver.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "catalog/opened_database.h"
#include "recovery/definitions.h"
#include "recovery/run_commands.h"
#include "recovery/snapshot_file.h"
#include "storage/database_file.h"
#include "storage/text_codec.h"
#include "support/catalog_image.h"
#include "support/catalog_rows.h"
#include "support/recording_sink.h"
#include "support/recording_view.h"
#include "support/tree_dump.h"

namespace ravelin {
namespace {

using namespace testing;

std::tm At(int hour, int minute, int second) {
  std::tm t{};
  t.tm_mday = 5;
  t.tm_mon = 2;
  t.tm_year = 124;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

// One front end: its sink and view, the state, and the log file, with
// the log folder in a temporary directory.
struct FrontEnd {
  explicit FrontEnd(const TempDir& dir) : dir(dir) {}

  bool Open(const std::string& path, int modeIndex = 0, std::tm at = At(9, 7, 3)) {
    settings.busy = 1;
    JobToken token(settings);
    return RunOpen(state, sink, OpenChoice{.dataFilePath = path, .logFolder = dir.path(), .modeIndex = modeIndex}, at,
                   token);
  }
  bool Load(const std::string& snapshot, std::tm at = At(10, 0, 0)) {
    settings.busy = 1;
    JobToken token(settings);
    return RunSnapshotLoad(state, sink, snapshot, dir.path(), at, token);
  }
  size_t Count(char kind, const std::string& text) const {
    const auto texts = front.Texts(kind);
    return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
  }

  const TempDir& dir;
  RecoverySettings settings;
  RecordingSink front;
  RecordingView view;
  RecoveryState state{settings, view};
  ReleasingSink releasing{front, state};
  ActivityLog log;
  LoggingSink sink{releasing, log};
  JobRunner runner{settings};
};

std::string LogText(const std::string& path) {
  const Bytes bytes = ReadFileBytes(path);
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return "(no byte order mark)";
  return Utf16ToUtf8(ByteSpan(bytes).subspan(2), false);
}

const std::string kSeparator = "\r\n" + std::string(80, '*') + "\r\n";

TEST(ScanDriver, CompletedRunLogsEveryStepIntoOneFilePerSecond) {
  TempDir dir;
  const std::string path = dir.Write("small.mdf", SmallCatalogImage().Build());
  FrontEnd f(dir);
  f.settings.versionText = "a version of the database opened before";
  ASSERT_TRUE(f.Open(path));

  const std::vector<std::string> lines = {path + " File is selected for recovery....",
                                          "Browse File Path:\t" + path,
                                          "Standard mode is selected for file recovery.",
                                          "Scanning of file starts...",
                                          "Database version: Unknown SQL Version",
                                          "Collation Type: Unknown Collation",
                                          "Creating Tree.........",
                                          "Process done.........",
                                          kTextRetrievingDefinitions,
                                          kTextRetrievingDefinitionsDone,
                                          "Scanning completed for selected mdf file."};
  EXPECT_EQ(f.front.Texts('L'), lines);
  EXPECT_EQ(f.view.boxes(), std::vector<std::string>{"Scanning process completed."});
  EXPECT_EQ(f.settings.busy.load(), 0);
  EXPECT_FALSE(f.view.progressShown.load());
  EXPECT_EQ(f.state.tree.Label(f.state.categories.root), path);
  EXPECT_EQ(f.settings.logFilePath, dir.path() + "/VelmoraSQLDatabaseRec_log_5-3-2024-9-7-3.txt");

  std::string expected = kSeparator;
  for (const std::string& line : lines) expected += line + "\r\n";
  EXPECT_EQ(LogText(f.settings.logFilePath), expected);

  // A second run in the same second appends, without a second mark.
  ASSERT_TRUE(f.Open(path, 1));
  const std::string both = LogText(f.settings.logFilePath);
  EXPECT_EQ(both.rfind(expected + kSeparator + path + " File is selected", 0), 0u);
  EXPECT_NE(both.find("Advanced mode is selected for file recovery.\r\n", expected.size()), std::string::npos);
  EXPECT_TRUE(f.state.advancedMode);

  // An error through the protocol releases the loaded database.
  ASSERT_NE(f.state.database(), nullptr);
  f.sink.ReportError("lost");
  EXPECT_EQ(f.state.database(), nullptr);
  EXPECT_EQ(f.state.catalog(), nullptr);
}

TEST(ScanDriver, FailedRunsEndWithoutTreeAndNotBusy) {
  TempDir dir;
  FrontEnd f(dir);
  ASSERT_TRUE(f.Open(dir.Write("small.mdf", SmallCatalogImage().Build())));

  // A file that cannot be opened, after a run that left a tree.
  f.settings.busy = 1;
  JobToken token(f.settings);
  f.state.currentDataFilePath = dir.path() + "/gone.mdf";
  EXPECT_FALSE(ScanWorker(f.state, f.sink, token));
  EXPECT_EQ(f.front.Texts('E'), std::vector<std::string>{kTextFileCannotBeOpen});
  EXPECT_EQ(f.front.Texts('L').back(), "Scanning process aborted.");
  EXPECT_EQ(f.view.boxes().back(), "Scanning process aborted.");
  EXPECT_TRUE(f.state.tree.empty());
  EXPECT_EQ(f.state.database(), nullptr);
  EXPECT_EQ(f.settings.busy.load(), 0);

  // No path: no path line, and the same ending.
  f.state.currentDataFilePath.clear();
  EXPECT_FALSE(ScanWorker(f.state, f.sink, token));
  EXPECT_EQ(f.Count('L', "Browse File Path:\t"), 0u);
  EXPECT_EQ(f.Count('L', "Scanning process aborted."), 2u);

  // Catalog pages without a single object: a line, no box.
  DatabaseImage image(16);
  SystemTablePage(image, 10, 8, {SysFiles1Row{.logicalName = "x", .physicalName = "C:\\x.mdf"}.Build()});
  f.settings.busy = 1;
  f.state.currentDataFilePath = dir.Write("empty.mdf", image.Build());
  const size_t boxes = f.view.boxes().size();
  EXPECT_FALSE(ScanWorker(f.state, f.sink, token));
  EXPECT_EQ(f.front.Texts('L').back(), kTextNoObjectEntry);
  EXPECT_EQ(f.view.boxes().size(), boxes);
  EXPECT_TRUE(f.state.tree.empty());
  EXPECT_EQ(f.settings.busy.load(), 0);
}

TEST(ScanDriver, SnapshotSavedAndLoadedGivesTheSameTreeWithoutMapping) {
  TempDir dir;
  const std::string path = dir.Write("small.mdf", SmallCatalogImage().Build());
  FrontEnd opened(dir);
  EXPECT_EQ(SnapshotSaveRefusal(opened.runner, opened.state, true), kTextSelectDatabaseFirst);
  ASSERT_TRUE(opened.Open(path));
  EXPECT_EQ(SnapshotSaveRefusal(opened.runner, opened.state, false), kTextSelectTableToSave);
  const std::string snapshot = dir.path() + "/small.MDBSNP";
  RecordingSink pane;
  ASSERT_TRUE(SaveSnapshot(opened.runner, opened.state, pane, snapshot));
  EXPECT_EQ(pane.Texts('L'), (std::vector<std::string>{kTextSavingSnapshot, kTextSnapshotSaved + snapshot}));
  EXPECT_EQ(LogText(opened.settings.logFilePath).find("Snapshot"), std::string::npos);

  // Loaded by a front end that never opened the file itself.
  FrontEnd loaded(dir);
  ASSERT_TRUE(loaded.Load(snapshot));
  EXPECT_EQ(DumpTree(loaded.state.tree, kNoTreeItem, true), DumpTree(opened.state.tree, kNoTreeItem, true));
  EXPECT_EQ(loaded.Count('S', kTextLoadingSnapshot), 1u);
  EXPECT_EQ(loaded.Count('S', kTextMapping), 0u);
  EXPECT_EQ(loaded.front.Texts('L').front(), "Browse File Path:\t" + path);
  EXPECT_EQ(loaded.settings.logFilePath, "");

  // Saved again, it still names the data file the maps belong to.
  const std::string again = dir.path() + "/again.MDBSNP";
  ASSERT_TRUE(SaveSnapshot(loaded.runner, loaded.state, pane, again));
  EXPECT_EQ(ReadSnapshotHeader(again)->dataFilePath, path);

  // A snapshot cut short loads nothing.
  Bytes bytes = ReadFileBytes(snapshot);
  bytes.resize(bytes.size() - 3);
  FrontEnd truncated(dir);
  EXPECT_FALSE(truncated.Load(dir.Write("cut.MDBSNP", bytes)));
  EXPECT_EQ(truncated.front.Texts('L').back(), "Scanning process aborted.");
  EXPECT_EQ(truncated.view.boxes(), std::vector<std::string>{"Scanning process aborted."});
}

TEST(ScanDriver, SnapshotOfATwoFileDatabaseMapsTheSecondaryFileOnce) {
  TempDir dir;
  DatabaseImage primary = SmallCatalogImage();
  SystemTablePage(
      primary, 33, 8,
      {SysFiles1Row{.fileId = 1, .logicalName = "small", .physicalName = "D:\\old\\small.mdf"}.Build(),
       SysFiles1Row{.fileId = 2, .logicalName = "small_2", .physicalName = "D:\\old\\small_2.ndf"}.Build()});
  const std::string path = dir.Write("small.mdf", primary.Build());
  DatabaseImage secondary(8);
  for (uint32_t n = 0; n < 8; ++n) secondary.Page(n, 2).PageType(0);
  secondary.Page(5, 2).PageType(1).ObjectId(201).IndexId(256);  // a third page of dbo.Orders
  dir.Write("small_2.ndf", secondary.Build());

  FrontEnd opened(dir);
  ASSERT_TRUE(opened.Open(path));
  const CDatabaseFile& first = opened.state.database()->file();
  ASSERT_EQ(first.dataPageMap.at(201).size(), 3u);
  const std::string snapshot = dir.path() + "/two.MDBSNP";
  RecordingSink pane;
  ASSERT_TRUE(SaveSnapshot(opened.runner, opened.state, pane, snapshot));

  // The load maps the secondary file again, as every open does.
  FrontEnd loaded(dir);
  ASSERT_TRUE(loaded.Load(snapshot));
  const CDatabaseFile& second = loaded.state.database()->file();
  EXPECT_EQ(second.dataPageMap, first.dataPageMap);
  EXPECT_EQ(second.systemPageMap, first.systemPageMap);
  EXPECT_EQ(second.iamPageMap, first.iamPageMap);
  EXPECT_EQ(DumpTree(loaded.state.tree, kNoTreeItem, true), DumpTree(opened.state.tree, kNoTreeItem, true));
}

}  // namespace
}  // namespace ravelin
