#include "cli/terminal_sink.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "cli/cli_context.h"

namespace ravelin {

TerminalSink::TerminalSink(bool quiet, bool printLog)
    : interactive_(!quiet && ::isatty(::fileno(Cli().err))), printLog_(printLog) {}

TerminalSink::~TerminalSink() { Finish(); }

void TerminalSink::Finish() {
  std::lock_guard lock(mutex_);
  ClearBar();
}

void TerminalSink::ClearBar() {
  if (!barShown_) return;
  std::fputs("\r\033[K", Cli().err);
  std::fflush(Cli().err);
  barShown_ = false;
}

void TerminalSink::DrawBar() {
  if (!interactive_ || high_ <= low_) return;
  int64_t span = high_ - low_;
  int64_t done = std::clamp<int64_t>(position_ - low_, 0, span);
  int percent = static_cast<int>(done * 100 / span);
  if (percent == lastPercent_ && barShown_) return;
  lastPercent_ = percent;
  constexpr int kWidth = 30;
  int filled = percent * kWidth / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '.');
  std::fprintf(Cli().err, "\r\033[K[%s] %3d%% %s", bar.c_str(), percent, status_.c_str());
  std::fflush(Cli().err);
  barShown_ = true;
}

void TerminalSink::SetProgressRange(int64_t low, int64_t high) {
  std::lock_guard lock(mutex_);
  low_ = low;
  high_ = high;
  position_ = low;
  lastPercent_ = -1;
  DrawBar();
}

void TerminalSink::SetProgressPos(int64_t position) {
  std::lock_guard lock(mutex_);
  position_ = position;
  DrawBar();
}

void TerminalSink::SetStatusText(const std::string& text) {
  std::lock_guard lock(mutex_);
  status_ = text;
  if (!interactive_) return;
  ClearBar();
  std::fprintf(Cli().err, "%s\n", text.c_str());
  std::fflush(Cli().err);
}

void TerminalSink::ReportError(const std::string& text) {
  std::lock_guard lock(mutex_);
  ClearBar();
  std::fprintf(Cli().err, "%s\n", text.c_str());
  std::fflush(Cli().err);
}

void TerminalSink::AppendLogLine(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (!printLog_) return;
  ClearBar();
  std::fprintf(Cli().out, "%s\n", text.c_str());
  std::fflush(Cli().out);
}

void TerminalSink::ReportWarning(const Warning& warning) {
  std::lock_guard lock(mutex_);
  const std::string text = FormatWarning(warning);
  if (!warned_.insert(text).second) return;
  ClearBar();
  std::fprintf(Cli().err, "%s\n", text.c_str());
  std::fflush(Cli().err);
}

}  // namespace ravelin
