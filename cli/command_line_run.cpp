#include "cli/command_line_run.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/output.h"
#include "recovery/run_commands.h"
#include "recovery/snapshot_file.h"

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

// The Open command's own refusal, with why the path was refused.
std::string OpenRefusalReason(const std::string& path) {
  std::string upper = path;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  if (upper.find(".MDF") == std::string::npos)
    return "its name does not contain .mdf, which a recovery run asks for (rows, schema and info read it as it is)";
  return DataFileProblem(path, *Cli().env);
}

}  // namespace

CLI::Option* AddRunOptions(CLI::App* cmd, RunOptions& options) {
  CLI::Option* snapshot =
      cmd->add_option("--snapshot", options.snapshot,
                      "Load a snapshot (.MDBSNP) instead of mapping a data file: the data file it names is opened and "
                      "its page maps are taken from the snapshot, with its deleted-record and collation options");
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
                  "Folder of the activity log file (default: $XDG_STATE_HOME/ravelin, else ~/.local/state/ravelin, "
                  "created when missing; without a usable home the run writes no log file and says so)");
  cmd->add_flag("--quiet", options.quiet,
                "No status texts, progress bar, log lines or notes on stderr (errors and warnings are still written)");
  return snapshot;
}

void CommandLineFrontEnd::ReportError(const std::string& text) {
  terminal_.ReportError(text);
  lastLine_ = text;
}

void CommandLineFrontEnd::AppendLogLine(const std::string& text) {
  terminal_.AppendLogLine(text);
  if (logLines_ && !quiet_) lastLine_ = text;
}

MessageAnswer CommandLineFrontEnd::ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons) {
  const bool stop = icon == MessageIcon::kStop;
  if (text != lastLine_) {
    if (stop)
      terminal_.Error(text);
    else
      terminal_.Note(text);
  }
  lastLine_ = text;
  return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
}

CommandLineRun::CommandLineRun(const RunOptions& options, bool logLines)
    : options_(options),
      frontEnd_(options.quiet, logLines),
      state_(settings_, frontEnd_),
      releasing_(frontEnd_, state_),
      sink_(releasing_, log_),
      runner_(settings_) {
  state_.env = Cli().env;
}

bool CommandLineRun::ChooseLogFolder(std::string& folder) {
  TerminalSink& terminal = frontEnd_.terminal();
  if (!options_.logDir.empty()) {
    if (const std::string problem = LogFolderProblem(options_.logDir); !problem.empty()) {
      terminal.Error("ravelin: " + problem + " (--log-dir)");
      return false;
    }
    folder = NormalizeLogFolder(options_.logDir);
    return true;
  }
  std::string problem;
  folder = StateLogFolder(&problem);
  if (folder.empty()) terminal.Note("ravelin: no log file is written: " + problem);
  return true;
}

bool CommandLineRun::CheckSnapshot() {
  TerminalSink& terminal = frontEnd_.terminal();
  SnapshotHeader header;
  PageMaps maps;
  if (const std::string problem = SnapshotProblem(options_.snapshot, *Cli().env, &header, &maps); !problem.empty()) {
    terminal.Error("Snapshot cannot be loaded: " + options_.snapshot + ": " + problem);
    return false;
  }
  terminal.SetDataFile(header.dataFilePath, *Cli().env);
  // A snapshot of another file: its maps name pages the data file lacks.
  std::unique_ptr<RandomAccessFile> data = Cli().env->OpenFile(header.dataFilePath);
  if (!data) return true;  // opening the data file will say why, in the program's own message
  const uint64_t pages = data->Size() / kPageSize;
  uint64_t highest = 0;
  for (const PageMap* map : {&maps.systemPages, &maps.dataPages, &maps.iamPages})
    for (const auto& [id, entries] : *map)
      for (const PageMapEntry& e : entries) highest = std::max<uint64_t>(highest, e.pageIndex);
  if (highest >= pages) {
    terminal.Error("Snapshot cannot be loaded: " + options_.snapshot + ": it does not belong to " +
                   header.dataFilePath + ": its page maps name page " + std::to_string(highest) +
                   ", but the file has " + std::to_string(pages) + " pages");
    return false;
  }
  return true;
}

int CommandLineRun::Scan() {
  const RunOptions& o = options_;
  TerminalSink& terminal = frontEnd_.terminal();
  if (o.file.empty() == o.snapshot.empty()) {
    terminal.Error("ravelin: give either a data file or --snapshot FILE.MDBSNP");
    return kExitUsage;
  }
  settings_.collationTable = LoadCollationTable(ExecutableFolder() + "collation.txt");
  if (!ApplyCollationChoice(o.collation, settings_)) {
    terminal.Error("ravelin: unknown collation " + o.collation +
                   " (collation.txt beside the program lists the known ones)");
    return kExitUsage;
  }
  const bool advanced = o.mode == "advanced";
  settings_.recoveryMode = advanced ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
  std::string logFolder;
  if (!ChooseLogFolder(logFolder)) return kExitFailure;

  bool completed = false;
  auto done = [&completed](bool ok) { completed = ok; };
  std::string refusal;
  if (o.snapshot.empty()) {
    terminal.SetDataFile(o.file, *Cli().env);
    OpenChoice choice;
    choice.dataFilePath = o.file;
    choice.logFolder = logFolder;
    choice.withoutLogFile = logFolder.empty();
    choice.modeIndex = advanced ? 1 : 0;
    choice.showDeleted = o.deleted || o.deletedAdvanced;
    choice.showAdvancedDeleted = o.deletedAdvanced;
    refusal = StartOpenRun(runner_, state_, sink_, choice, done);
    if (!refusal.empty()) refusal += " " + o.file + ": " + OpenRefusalReason(o.file);
  } else {
    if (!CheckSnapshot()) return kExitFailure;
    refusal = StartSnapshotLoad(runner_, state_, sink_, o.snapshot, logFolder, done);
  }
  if (!refusal.empty()) {
    terminal.Error(refusal);
    return kExitFailure;
  }
  runner_.Wait();
  frontEnd_.Finish();
  // A Load leaves the stored log file path alone; its file is the log's.
  const std::string notice = LogFileNotice(settings_.logFilePath.empty() ? log_.path() : settings_.logFilePath);
  if (!notice.empty()) terminal.Note(notice);
  return completed ? kExitOk : kExitFailure;
}

}  // namespace ravelin
