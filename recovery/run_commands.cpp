#include "recovery/run_commands.h"

#include "catalog/opened_database.h"
#include "recovery/scan_driver.h"
#include "recovery/snapshot_file.h"

namespace ravelin {
namespace {

// A log file that cannot be started does not stop the run: its lines still
// reach the output pane, and the user learns why the file stays empty. A
// run without a log folder (the command line without a usable home) keeps
// no file, which its front end has said already.
void StartLog(RecoveryState& state, LoggingSink& sink, RunStart kind, const std::tm& startTime,
              const std::string& executableFolder) {
  RecoverySettings& settings = state.settings();
  const bool noFolder = kind == RunStart::kOpen ? settings.logFolder.empty() : executableFolder.empty();
  if (noFolder) {
    sink.log().Close();
    if (kind == RunStart::kOpen) {
      settings.logFilePath.clear();
      sink.AppendLogLine(settings.dataFilePath + kTextFileSelected);
    } else {
      settings.logFolder.clear();
    }
    return;
  }
  if (!StartRunLog(kind, startTime, executableFolder, settings, sink)) state.view().Inform(sink.log().error());
}

}  // namespace

std::string StartOpenRun(JobRunner& runner, RecoveryState& state, LoggingSink& sink, const OpenChoice& choice,
                         ScanDone done) {
  if (runner.Busy()) return kTextPleaseWait;
  std::string refusal = CheckOpenChoice(choice, *state.env);
  if (!refusal.empty()) return refusal;
  const bool started = runner.Start([&state, &sink, choice, done = std::move(done)](JobToken& token) {
    const bool completed = RunOpen(state, sink, choice, LocalTimeNow(), token);
    if (done) done(completed);
  });
  return started ? std::string() : std::string(kTextPleaseWait);
}

bool RunOpen(RecoveryState& state, LoggingSink& sink, const OpenChoice& choice, const std::tm& startTime,
             JobToken& token) {
  RecoverySettings& settings = state.settings();
  RecoveryView& view = state.view();
  ApplyOpenChoice(choice, settings);
  state.currentDataFilePath = settings.dataFilePath;
  view.ClearDefinitionText();
  view.SetRecordsLabel("");
  view.DeleteAllRecordRows();
  view.EnablePreviousRecords(false);
  view.EnableNextRecords(false);
  view.SetCaptionText(settings.dataFilePath);
  view.ShowProgressBar(true);
  StartLog(state, sink, RunStart::kOpen, startTime, ExecutableFolder());
  settings.snapshotMode = false;
  state.Reset();
  return ScanWorker(state, sink, token);
}

std::string StartSnapshotLoad(JobRunner& runner, RecoveryState& state, LoggingSink& sink,
                              const std::string& snapshotPath, const std::string& logFolder, ScanDone done) {
  const bool started = runner.Start([&state, &sink, snapshotPath, logFolder, done = std::move(done)](JobToken& token) {
    const bool completed = RunSnapshotLoad(state, sink, snapshotPath, logFolder, LocalTimeNow(), token);
    if (done) done(completed);
  });
  return started ? std::string() : std::string(kTextPleaseWait);
}

bool RunSnapshotLoad(RecoveryState& state, LoggingSink& sink, const std::string& snapshotPath,
                     const std::string& logFolder, const std::tm& startTime, JobToken& token) {
  state.view().ShowProgressBar(true);
  StartLog(state, sink, RunStart::kLoad, startTime, logFolder);
  // A header that cannot be read leaves no data file path: the scan then
  // fails to open and ends as aborted.
  LoadSnapshotSettings(snapshotPath, state.settings(), *state.env);
  return ScanWorker(state, sink, token);
}

std::string SnapshotSaveRefusal(const JobRunner& runner, const RecoveryState& state, bool itemSelected) {
  if (runner.Active()) return kTextPleaseWait;
  if (state.tree.empty()) return kTextSelectDatabaseFirst;
  if (!itemSelected) return kTextSelectTableToSave;
  return {};
}

bool SaveSnapshot(JobRunner& runner, RecoveryState& state, ProgressSink& outputPane, const std::string& path) {
  if (path.empty()) return false;
  bool saved = false;
  const bool ran = runner.RunInline([&] {
    outputPane.AppendLogLine(kTextSavingSnapshot);
    // The maps belong to the file that was opened, which after a Load is
    // the snapshot's data file, not the last Open's.
    if (const OpenedDatabase* database = state.database()) {
      const CDatabaseFile& file = database->file();
      const SnapshotHeader header = SnapshotHeaderFromSettings(state.settings(), file.path, state.advancedMode);
      const PageMaps maps = file.PrimaryPageMaps();
      saved = WriteSnapshot(path, header, maps.systemPages, maps.dataPages, maps.iamPages);
    }
    const std::string outcome = saved ? std::string(kTextSnapshotSaved) + path : std::string(kTextSnapshotNotSaved);
    outputPane.AppendLogLine(outcome);
    state.view().Inform(outcome);
  });
  if (!ran) state.view().Inform(kTextPleaseWait);
  return saved;
}

}  // namespace ravelin
