// ravelin scan FILE | --snapshot FILE.MDBSNP: one recovery run as the
// desktop's Open or Load command runs it, with its activity log file; the
// log lines as they come, then the object tree.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "cli/terminal_sink.h"
#include "recovery/activity_log.h"
#include "recovery/job_runner.h"
#include "recovery/recovery_settings.h"
#include "recovery/recovery_state.h"
#include "recovery/recovery_view.h"
#include "recovery/run_commands.h"

namespace ravelin {
namespace {

struct ScanOptions {
  std::string file;
  std::string snapshot;
  std::string mode = "standard";
  bool deleted = false;
  bool deletedAdvanced = false;
  std::string collation = "auto";
  std::string logDir;
  std::string snapshotOut;
  bool quiet = false;
};

// The front end of a command-line run: notifications go to the terminal,
// message boxes to stdout (stop boxes to stderr). A box that only repeats
// the log line printed just before is not printed again.
class CommandLineFrontEnd : public ProgressSink, public RecoveryView {
 public:
  explicit CommandLineFrontEnd(bool quiet) : terminal_(quiet, true) {}

  void SetProgressRange(int64_t low, int64_t high) override { terminal_.SetProgressRange(low, high); }
  void SetProgressPos(int64_t position) override { terminal_.SetProgressPos(position); }
  void SetStatusText(const std::string& text) override { terminal_.SetStatusText(text); }
  void ReportError(const std::string& text) override {
    terminal_.ReportError(text);
    lastLine_ = text;
  }
  void AppendLogLine(const std::string& text) override {
    terminal_.AppendLogLine(text);
    lastLine_ = text;
  }

  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons) override {
    if (text != lastLine_) {
      terminal_.Finish();
      std::fprintf(icon == MessageIcon::kStop ? stderr : stdout, "%s\n", text.c_str());
      std::fflush(icon == MessageIcon::kStop ? stderr : stdout);
    }
    lastLine_ = text;
    return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
  }

  void Finish() { terminal_.Finish(); }

 private:
  TerminalSink terminal_;
  std::string lastLine_;
};

void PrintTree(const ObjectTree& tree, TreeItem item, int depth) {
  std::printf("%*s%s%s\n", depth * 2, "", tree.Label(item).c_str(), tree.Bold(item) ? " *" : "");
  for (TreeItem child : tree.Children(item)) PrintTree(tree, child, depth + 1);
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Takes the collation choice into the settings; false for a name the
// collation table does not hold. A name matches exactly or, failing that,
// without regard to case.
bool ApplyCollationChoice(const std::string& choice, RecoverySettings& settings) {
  if (choice == "auto") {
    settings.autoDetectCollation = true;
    return true;
  }
  const CollationTable& table = settings.collationTable;
  auto named = std::find_if(table.begin(), table.end(), [&](const auto& e) { return e.second.name == choice; });
  if (named == table.end())
    named =
        std::find_if(table.begin(), table.end(), [&](const auto& e) { return Lower(e.second.name) == Lower(choice); });
  if (named == table.end()) return false;
  settings.autoDetectCollation = false;
  settings.manualCollationId = named->first;
  return true;
}

int RunScan(const ScanOptions& options) {
  if (options.file.empty() == options.snapshot.empty()) {
    std::fprintf(stderr, "Give either a data file or --snapshot FILE.MDBSNP.\n");
    return 1;
  }
  RecoverySettings settings;
  settings.collationTable = LoadCollationTable(ExecutableFolder() + "collation.txt");
  if (!ApplyCollationChoice(options.collation, settings)) {
    std::fprintf(stderr, "Unknown collation: %s (collation.txt beside the program lists the known ones)\n",
                 options.collation.c_str());
    return 1;
  }
  const bool advanced = options.mode == "advanced";
  settings.recoveryMode = advanced ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;

  CommandLineFrontEnd frontEnd(options.quiet);
  RecoveryState state(settings, frontEnd);
  ReleasingSink releasing(frontEnd, state);
  ActivityLog log;
  LoggingSink sink(releasing, log);
  // Declared last: its destructor waits for the worker before anything the
  // worker uses goes away.
  JobRunner runner(settings);

  bool completed = false;
  auto done = [&completed](bool ok) { completed = ok; };
  std::string refusal;
  if (options.snapshot.empty()) {
    OpenChoice choice;
    choice.dataFilePath = options.file;
    choice.logFolder = options.logDir.empty() ? DefaultLogFolder() : options.logDir;
    choice.modeIndex = advanced ? 1 : 0;
    choice.showDeleted = options.deleted || options.deletedAdvanced;
    choice.showAdvancedDeleted = options.deletedAdvanced;
    refusal = StartOpenRun(runner, state, sink, choice, done);
  } else {
    const std::string logFolder = options.logDir.empty() ? ExecutableFolder() : options.logDir;
    if (!IsDirectory(logFolder)) {
      refusal = "Please select valid Log file path to continue the recovery process.";
    } else {
      refusal = StartSnapshotLoad(runner, state, sink, options.snapshot, NormalizeLogFolder(logFolder), done);
    }
  }
  if (!refusal.empty()) {
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return 1;
  }
  runner.Wait();
  frontEnd.Finish();
  if (!completed) return 1;

  std::printf("\n");
  for (TreeItem item : state.tree.Children(kNoTreeItem)) PrintTree(state.tree, item, 0);
  std::fflush(stdout);

  if (!options.snapshotOut.empty()) {
    std::printf("\n");
    std::fflush(stdout);
    // The snapshot's lines are not activity-log lines: the terminal only.
    if (!SaveSnapshot(runner, state, frontEnd, options.snapshotOut)) return 1;
  }
  return 0;
}

}  // namespace

void AddScanCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ScanOptions>();
  CLI::App* cmd = app.add_subcommand(
      "scan",
      "Run a recovery scan: open and map the data file, rebuild the catalog, build the object tree and read the "
      "definition rows, writing an activity log file. Prints the log lines as they come, then the object tree, "
      "indented two blanks per level; a table marked with a trailing \" *\" holds data (bold in the desktop's "
      "tree). Exit code 0 when the scan completed, 1 when it did not (or the snapshot could not be saved).");
  auto* fileOption = cmd->add_option("FILE", options->file, "Primary data file (.mdf)");
  cmd->add_option("--snapshot", options->snapshot,
                  "Load a snapshot (.MDBSNP) instead of mapping a data file: the data file it names is opened and "
                  "its page maps are taken from the snapshot, with its deleted-record and collation options. The "
                  "log file then goes to the program's folder unless --log-dir is given")
      ->excludes(fileOption);
  cmd->add_option("--mode", options->mode, "Recovery mode")
      ->check(CLI::IsMember({"standard", "advanced"}))
      ->capture_default_str();
  cmd->add_flag("--deleted", options->deleted, "Show deleted (ghost) records");
  cmd->add_flag("--deleted-advanced", options->deletedAdvanced,
                "Also search pages for deleted records byte by byte (implies --deleted)");
  cmd->add_option("--collation", options->collation,
                  "auto: take the collation from the boot page; otherwise a collation name from collation.txt")
      ->capture_default_str();
  cmd->add_option("--log-dir", options->logDir,
                  "Folder of the activity log file (default: the desktop folder, created when missing)");
  cmd->add_option("--snapshot-out", options->snapshotOut,
                  "After a completed scan, save its page maps as a snapshot (.MDBSNP) to this path");
  cmd->add_flag("--quiet", options->quiet, "No status texts or progress bar");
  cmd->callback([options, &exitCode] { exitCode = RunScan(*options); });
}

}  // namespace ravelin
