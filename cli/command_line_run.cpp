#include "cli/command_line_run.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/cli_context.h"
#include "recovery/run_commands.h"

namespace ravelin {
namespace {

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

}  // namespace

CLI::Option* AddRunOptions(CLI::App* cmd, RunOptions& options) {
  CLI::Option* snapshot =
      cmd->add_option("--snapshot", options.snapshot,
                      "Load a snapshot (.MDBSNP) instead of mapping a data file: the data file it names is opened and "
                      "its page maps are taken from the snapshot, with its deleted-record and collation options. The "
                      "log file then goes to the program's folder unless --log-dir is given");
  cmd->add_option("--mode", options.mode, "Recovery mode")
      ->check(CLI::IsMember({"standard", "advanced"}))
      ->capture_default_str();
  cmd->add_flag("--deleted", options.deleted, "Show deleted (ghost) records");
  cmd->add_flag("--deleted-advanced", options.deletedAdvanced,
                "Also search pages for deleted records byte by byte (implies --deleted)");
  cmd->add_option("--collation", options.collation,
                  "auto: take the collation from the boot page; otherwise a collation name from collation.txt")
      ->capture_default_str();
  cmd->add_option("--log-dir", options.logDir,
                  "Folder of the activity log file (default: the desktop folder, created when missing)");
  cmd->add_flag("--quiet", options.quiet, "No status texts or progress bar");
  return snapshot;
}

void CommandLineFrontEnd::ReportError(const std::string& text) {
  terminal_.ReportError(text);
  lastLine_ = text;
}

void CommandLineFrontEnd::AppendLogLine(const std::string& text) {
  terminal_.AppendLogLine(text);
  if (printLog_) lastLine_ = text;
}

MessageAnswer CommandLineFrontEnd::ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons) {
  const bool stop = icon == MessageIcon::kStop;
  if (text != lastLine_ && (stop || printLog_ || !quiet_)) {
    terminal_.Finish();
    std::FILE* out = stop || !printLog_ ? Cli().err : Cli().out;
    std::fprintf(out, "%s\n", text.c_str());
    std::fflush(out);
  }
  lastLine_ = text;
  return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
}

CommandLineRun::CommandLineRun(const RunOptions& options, bool printLog)
    : options_(options),
      frontEnd_(options.quiet, printLog),
      state_(settings_, frontEnd_),
      releasing_(frontEnd_, state_),
      sink_(releasing_, log_),
      runner_(settings_) {
  state_.env = Cli().env;
}

int CommandLineRun::Scan() {
  const RunOptions& o = options_;
  if (o.file.empty() == o.snapshot.empty()) {
    std::fprintf(Cli().err, "Give either a data file or --snapshot FILE.MDBSNP.\n");
    return 1;
  }
  settings_.collationTable = LoadCollationTable(ExecutableFolder() + "collation.txt");
  if (!ApplyCollationChoice(o.collation, settings_)) {
    std::fprintf(Cli().err, "Unknown collation: %s (collation.txt beside the program lists the known ones)\n",
                 o.collation.c_str());
    return 1;
  }
  const bool advanced = o.mode == "advanced";
  settings_.recoveryMode = advanced ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;

  bool completed = false;
  auto done = [&completed](bool ok) { completed = ok; };
  std::string refusal;
  if (o.snapshot.empty()) {
    OpenChoice choice;
    choice.dataFilePath = o.file;
    choice.logFolder = o.logDir.empty() ? DefaultLogFolder() : o.logDir;
    choice.modeIndex = advanced ? 1 : 0;
    choice.showDeleted = o.deleted || o.deletedAdvanced;
    choice.showAdvancedDeleted = o.deletedAdvanced;
    refusal = StartOpenRun(runner_, state_, sink_, choice, done);
  } else {
    const std::string logFolder = o.logDir.empty() ? ExecutableFolder() : o.logDir;
    refusal = CheckLogFolder(logFolder);
    if (refusal.empty())
      refusal = StartSnapshotLoad(runner_, state_, sink_, o.snapshot, NormalizeLogFolder(logFolder), done);
  }
  if (!refusal.empty()) {
    std::fprintf(Cli().err, "%s\n", refusal.c_str());
    return 1;
  }
  runner_.Wait();
  frontEnd_.Finish();
  const std::string notice = LogFileNotice(settings_.logFilePath);
  if (!o.quiet && !notice.empty()) std::fprintf(Cli().err, "%s\n", notice.c_str());
  return completed ? 0 : 1;
}

}  // namespace ravelin
