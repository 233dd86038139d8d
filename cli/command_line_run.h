// A recovery run from the command line, as `scan` and `show` start it: the
// options they share, the front end that prints what the desktop would
// show, and the run's settings, state, activity log and job runner.

#ifndef RAVELIN_CLI_COMMAND_LINE_RUN_H_
#define RAVELIN_CLI_COMMAND_LINE_RUN_H_

#include <CLI/CLI.hpp>
#include <string>

#include "cli/terminal_sink.h"
#include "recovery/activity_log.h"
#include "recovery/job_runner.h"
#include "recovery/records_panel_model.h"
#include "recovery/recovery_settings.h"
#include "recovery/recovery_state.h"

namespace ravelin {

struct RunOptions {
  std::string file;
  std::string snapshot;
  std::string mode = "standard";
  bool deleted = false;
  bool deletedAdvanced = false;
  std::string collation = "auto";
  std::string logDir;
  bool quiet = false;
};

// Adds --snapshot, --mode, --deleted, --deleted-advanced, --collation,
// --log-dir and --quiet to `cmd` (the data file is the command's own
// positional argument). Returns the --snapshot option.
CLI::Option* AddRunOptions(CLI::App* cmd, RunOptions& options);

// Notifications go to the terminal; the records panel and the definition
// text pane are kept in memory for the command to print. Everything goes to
// stderr, stdout being the command's own: with `logLines` the log lines as
// they come, and the information boxes (neither with `quiet`); stop boxes,
// errors and warnings always. A box that only repeats the line written just
// before is not written again.
class CommandLineFrontEnd : public ProgressSink, public RecordsPanelModel {
 public:
  CommandLineFrontEnd(bool quiet, bool logLines) : terminal_(quiet, logLines), quiet_(quiet), logLines_(logLines) {}

  void SetProgressRange(int64_t low, int64_t high) override { terminal_.SetProgressRange(low, high); }
  void SetProgressPos(int64_t position) override { terminal_.SetProgressPos(position); }
  void SetStatusText(const std::string& text) override { terminal_.SetStatusText(text); }
  void ReportError(const std::string& text) override;
  void AppendLogLine(const std::string& text) override;
  void ReportWarning(const Warning& warning) override { terminal_.ReportWarning(warning); }
  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons) override;

  void Finish() { terminal_.Finish(); }
  TerminalSink& terminal() { return terminal_; }

 private:
  TerminalSink terminal_;
  bool quiet_;
  bool logLines_;
  std::string lastLine_;
};

// One run: its settings, front end, state, log and runner.
class CommandLineRun {
 public:
  CommandLineRun(const RunOptions& options, bool logLines);

  // Runs the scan (Open, or Load with options.snapshot) and waits for it.
  // 0 when it completed; otherwise the exit code, the reason written.
  int Scan();

  RecoveryState& state() { return state_; }
  ProgressSink& sink() { return sink_; }
  JobRunner& runner() { return runner_; }
  CommandLineFrontEnd& frontEnd() { return frontEnd_; }
  TerminalSink& terminal() { return frontEnd_.terminal(); }

 private:
  // The log folder of the run; empty for none. False, the error written,
  // when --log-dir names a folder that cannot take the log.
  bool ChooseLogFolder(std::string& folder);
  // False, the reason written, when the snapshot cannot be loaded.
  bool CheckSnapshot();

  RunOptions options_;
  RecoverySettings settings_;
  CommandLineFrontEnd frontEnd_;
  RecoveryState state_;
  ReleasingSink releasing_;
  ActivityLog log_;
  LoggingSink sink_;
  // Declared last: its destructor waits for the worker before anything the
  // worker uses goes away.
  JobRunner runner_;
};

}  // namespace ravelin

#endif  // RAVELIN_CLI_COMMAND_LINE_RUN_H_
