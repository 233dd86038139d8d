#include "recovery/scan_driver.h"

#include <exception>
#include <memory>
#include <new>

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "recovery/definitions.h"
#include "recovery/snapshot_file.h"
#include "recovery/tree_builder.h"

namespace ravelin {
namespace {

// The end of a run that leaves no tree.
void EndWithoutTree(RecoveryState& state, JobToken& token) {
  state.tree.DeleteAll();
  state.categories = TreeCategories();
  state.view().TreeChanged();
  token.EndJob();
  state.view().ShowProgressBar(false);
}

void EndAborted(RecoveryState& state, ProgressSink& sink, JobToken& token) {
  EndWithoutTree(state, token);
  sink.AppendLogLine(kTextScanAborted);
  state.view().Inform(kTextScanAborted);
}

// Steps 9 to 19 of a run, once the path and the mode are logged.
bool OpenAndBuild(RecoveryState& state, ProgressSink& sink, JobToken& token, const std::string& path) {
  RecoverySettings& settings = state.settings();
  RecoveryView& view = state.view();

  OpenRequest request = OpenRequestFor(settings, path);
  request.env = state.env;
  if (settings.snapshotMode) request.pageMaps = SnapshotPageMaps(settings.snapshotFilePath, sink, *state.env);
  // A stop given while opening ends only the opening scans.
  request.mapped = [&settings] { settings.stopRequested = false; };
  std::unique_ptr<OpenedDatabase> database = OpenedDatabase::Open(request, sink, StopToken(settings.stopRequested));
  if (!database) {
    settings.stopRequested = false;
    EndAborted(state, sink, token);
    return false;
  }
  // The version text and collation the run shows are those of this database.
  TakeDiscoveredValues(settings, *database);
  state.SetDatabase(std::move(database));
  SystemCatalog& catalog = *state.catalog();

  if (catalog.objects.empty()) {
    sink.AppendLogLine(kTextNoObjectEntry);
    EndWithoutTree(state, token);
    return false;
  }

  if (settings.versionText.empty()) {
    settings.versionText = kTextUnknownVersion;
    sink.AppendLogLine(settings.versionText);
  } else {
    sink.AppendLogLine(kTextVersionPrefix + settings.versionText);
  }
  if (settings.collationName.empty()) settings.collationName = kTextUnknownCollation;
  sink.AppendLogLine(kTextCollationPrefix + settings.collationName);

  BuildSkeleton(state, path);
  view.TreeChanged();
  if (!FillTree(state, sink)) {
    EndWithoutTree(state, token);
    sink.AppendLogLine(kTextNoObjectPlaced);
    view.Inform(kTextNoObjectPlaced);
    return false;
  }
  state.tree.SortChildren(state.categories.userTables);
  view.TreeChanged();

  ReadScanDefinitions(state, sink);

  view.TreeChanged();
  view.ShowProgressBar(false);
  token.EndJob();
  view.SetCaptionText(kTextScanCompletedCaption);
  sink.AppendLogLine(kTextScanCompletedLog);
  view.Inform(kTextScanCompleted);
  return true;
}

}  // namespace

bool ScanWorker(RecoveryState& state, ProgressSink& sink, JobToken& token) {
  RecoverySettings& settings = state.settings();
  settings.isSql2000 = false;
  ForgetDiscoveredValues(settings);
  state.Reset();
  state.objectNames.clear();

  // The snapshot names the file its maps belong to.
  const std::string path = settings.snapshotMode ? settings.snapshotDataFilePath : state.currentDataFilePath;
  if (!path.empty()) sink.AppendLogLine(kTextBrowseFilePath + path);
  state.notifyTarget = &sink;
  state.advancedMode = settings.recoveryMode == RecoveryMode::kAdvanced;
  sink.AppendLogLine(state.advancedMode ? kTextAdvancedMode : kTextStandardMode);
  sink.AppendLogLine(kTextScanStarts);

  try {
    return OpenAndBuild(state, sink, token, path);
  } catch (const std::exception& e) {
    // Decoding does not throw; running out of memory on a huge catalog
    // does. Whatever was loaded goes, and the run ends as a failed open.
    state.ReleaseDatabase();
    sink.AppendLogLine(std::string("The scan cannot go on: ") +
                       (dynamic_cast<const std::bad_alloc*>(&e) ? "not enough memory." : e.what()));
    EndAborted(state, sink, token);
    return false;
  }
}

}  // namespace ravelin
