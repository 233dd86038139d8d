#include "cli/terminal_sink.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "cli/cli_context.h"
#include "storage/database_file.h"
#include "storage/page_types.h"

namespace ravelin {
namespace {

bool IsPipe(std::FILE* file) {
  struct stat st;
  return ::fstat(::fileno(file), &st) == 0 && S_ISFIFO(st.st_mode);
}

constexpr char kWarningPrefix[] = "warning: ";

}  // namespace

int TerminalWidth(int fd) {
  if (!::isatty(fd)) return 0;
  struct winsize size {};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

std::string DataFileProblem(const std::string& path, Env& env) {
  int error = 0;
  std::unique_ptr<RandomAccessFile> file = env.OpenFile(path, &error);
  if (!file) {
    if (error == EISDIR) return "it is a directory";
    if (error == ENODEV) return "it is a device or another special file, not a regular file";
    return ErrorText(error);
  }
  const uint64_t size = file->Size();
  if (size == 0) return "the file is empty";
  if (size < static_cast<uint64_t>(kPageSize))
    return "the file holds " + std::to_string(size) + " bytes, less than one page of 8192 bytes";
  return "none of its pages is a page of a SQL Server system table: it is not a SQL Server data file, or its "
         "catalog is lost";
}

TerminalSink::TerminalSink(bool quiet, bool logLines)
    : quiet_(quiet),
      interactive_(!quiet && TerminalWidth(::fileno(Cli().err)) > 0 && !IsPipe(Cli().out)),
      logLines_(logLines) {}

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

void TerminalSink::WriteLine(const std::string& text) {
  ClearBar();
  std::fprintf(Cli().err, "%s\n", text.c_str());
  std::fflush(Cli().err);
}

void TerminalSink::DrawBar() {
  if (!interactive_ || high_ <= low_) return;
  const int64_t span = high_ - low_;
  const int64_t done = std::clamp<int64_t>(position_ - low_, 0, span);
  const int percent = static_cast<int>(done * 100 / span);
  if (percent == lastPercent_ && barShown_) return;
  lastPercent_ = percent;
  // One column is left free: a line that fills the terminal wraps on some
  // terminals, and the next carriage return would no longer reach its
  // start.
  const int width = TerminalWidth(::fileno(Cli().err)) - 1;
  char number[8];
  std::snprintf(number, sizeof number, "%3d%%", percent);
  std::string line;
  const int barWidth = std::clamp(width / 4, 10, 30);
  if (width >= barWidth + 7) {
    const int filled = percent * barWidth / 100;
    line = "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(barWidth - filled), '.') + "] " + number;
    if (!status_.empty() && width > static_cast<int>(line.size()) + 1)
      line += " " + status_.substr(0, static_cast<size_t>(width) - line.size() - 1);
  } else if (width >= 4) {
    line = number;
  } else {
    return;
  }
  std::fprintf(Cli().err, "\r\033[K%s", line.c_str());
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
  WriteLine(text);
  lastPercent_ = -1;
}

void TerminalSink::ReportError(const std::string& text) {
  std::lock_guard lock(mutex_);
  std::string line = text;
  if (env_ && !dataFile_.empty() && (text == kTextFileCannotBeOpen || text == kTextNotValidMdf))
    line += " " + dataFile_ + ": " + DataFileProblem(dataFile_, *env_);
  WriteLine(line);
}

void TerminalSink::AppendLogLine(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (logLines_ && !quiet_) WriteLine(text);
}

void TerminalSink::ReportWarning(const Warning& warning) {
  std::lock_guard lock(mutex_);
  const std::string text = FormatWarning(warning);
  if (!warned_.insert(text).second) return;
  warnings_.push_back(text.rfind(kWarningPrefix, 0) == 0 ? text.substr(sizeof kWarningPrefix - 1) : text);
  WriteLine(text);
}

void TerminalSink::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (!quiet_) WriteLine(text);
}

void TerminalSink::Error(const std::string& text) {
  std::lock_guard lock(mutex_);
  WriteLine(text);
}

void TerminalSink::SetDataFile(const std::string& path, Env& env) {
  std::lock_guard lock(mutex_);
  dataFile_ = path;
  env_ = &env;
}

size_t TerminalSink::warningCount() const {
  std::lock_guard lock(mutex_);
  return warnings_.size();
}

std::vector<std::string> TerminalSink::warnings() const {
  std::lock_guard lock(mutex_);
  return warnings_;
}

}  // namespace ravelin
