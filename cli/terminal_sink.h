// Progress notifications for the command line. On stderr: status texts and
// a progress bar while stderr is a terminal, error texts with their
// reasons, and every warning once, in one format. It counts the warnings,
// which make a command's exit code 3, and keeps them for JSON output.

#ifndef RAVELIN_CLI_TERMINAL_SINK_H_
#define RAVELIN_CLI_TERMINAL_SINK_H_

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "storage/env.h"
#include "storage/progress_sink.h"

namespace ravelin {

class TerminalSink : public ProgressSink {
 public:
  // `quiet` silences status texts, the progress bar, log lines and notes;
  // errors and warnings are always written. With `logLines` the activity-
  // log lines are written to stderr as they come (scan). The bar is drawn
  // only while stderr is a terminal and stdout is not a pipe (a pager on
  // the same terminal would be drawn over).
  TerminalSink(bool quiet, bool logLines);
  ~TerminalSink() override;

  void SetProgressRange(int64_t low, int64_t high) override;
  void SetProgressPos(int64_t position) override;
  void SetStatusText(const std::string& text) override;
  // The text, then the reason why the data file named by SetDataFile could
  // not be opened or is no database, when the text says so.
  void ReportError(const std::string& text) override;
  void AppendLogLine(const std::string& text) override;
  // "warning: SUBJECT: WHAT, WHERE", each text once.
  void ReportWarning(const Warning& warning) override;

  // A line of information for the user (not with `quiet`).
  void Note(const std::string& text);
  // A line on stderr whatever `quiet` says (errors of the command itself).
  void Error(const std::string& text);

  // The data file the run reads, for the reasons of open errors.
  void SetDataFile(const std::string& path, Env& env);

  // Clears the progress bar line, if one is shown.
  void Finish();

  size_t warningCount() const;
  // The warnings' texts in the order they came, without "warning: ".
  std::vector<std::string> warnings() const;

  bool quiet() const { return quiet_; }

 private:
  void DrawBar();
  void ClearBar();
  void WriteLine(const std::string& text);  // mutex_ held

  mutable std::mutex mutex_;
  bool quiet_;
  bool interactive_;
  bool logLines_;
  int64_t low_ = 0;
  int64_t high_ = 0;
  int64_t position_ = 0;
  int lastPercent_ = -1;
  bool barShown_ = false;
  std::string status_;
  std::set<std::string> warned_;
  std::vector<std::string> warnings_;
  std::string dataFile_;
  Env* env_ = nullptr;
};

// Why the data file at `path` cannot be read as a database: the system's
// error text, "it is a directory", "the file is empty", ...
std::string DataFileProblem(const std::string& path, Env& env);

// The width of the terminal on `fd`; 0 when it is no terminal.
int TerminalWidth(int fd);

}  // namespace ravelin

#endif  // RAVELIN_CLI_TERMINAL_SINK_H_
