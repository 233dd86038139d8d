// Progress notifications for the command line: status texts and a progress
// bar on stderr when it is a terminal, error texts on stderr always.

#ifndef RAVELIN_CLI_TERMINAL_SINK_H_
#define RAVELIN_CLI_TERMINAL_SINK_H_

#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "storage/progress_sink.h"

namespace ravelin {

class TerminalSink : public ProgressSink {
 public:
  // `quiet` silences everything but error texts; so does a stderr that is
  // not a terminal. With `printLog` the activity-log lines go to stdout.
  TerminalSink(bool quiet, bool printLog);
  ~TerminalSink() override;

  void SetProgressRange(int64_t low, int64_t high) override;
  void SetProgressPos(int64_t position) override;
  void SetStatusText(const std::string& text) override;
  void ReportError(const std::string& text) override;
  void AppendLogLine(const std::string& text) override;
  // Warnings go to stderr, each once, whatever `quiet` says.
  void ReportWarning(const Warning& warning) override;

  // Clears the progress bar line, if one is shown.
  void Finish();

 private:
  void DrawBar();
  void ClearBar();

  std::mutex mutex_;
  bool interactive_;
  bool printLog_;
  int64_t low_ = 0;
  int64_t high_ = 0;
  int64_t position_ = 0;
  int lastPercent_ = -1;
  bool barShown_ = false;
  std::string status_;
  std::set<std::string> warned_;
};

}  // namespace ravelin

#endif  // RAVELIN_CLI_TERMINAL_SINK_H_
