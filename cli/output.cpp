#include "cli/output.h"

#include <cerrno>
#include <cstdarg>

#include "cli/cli_context.h"
#include "cli/terminal_sink.h"
#include "storage/env.h"

namespace ravelin {
namespace {

constexpr size_t kFlushSize = size_t{1} << 16;

}  // namespace

Output::Output(TerminalSink* terminal) : Output(Cli().out, terminal) {}

Output::Output(std::FILE* file, TerminalSink* terminal) : file_(file), terminal_(terminal) {}

Output::~Output() { Flush(); }

void Output::Write(std::string_view text) {
  buffer_.append(text);
  MaybeFlush();
}

void Output::Line(std::string_view text) {
  buffer_.append(text);
  buffer_.push_back('\n');
  MaybeFlush();
}

void Output::Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  char small[1024];
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
    buffer_.append(small, static_cast<size_t>(n));
  } else if (n >= 0) {
    const size_t at = buffer_.size();
    buffer_.resize(at + static_cast<size_t>(n) + 1);
    std::vsnprintf(buffer_.data() + at, static_cast<size_t>(n) + 1, format, again);
    buffer_.resize(at + static_cast<size_t>(n));
  }
  va_end(again);
  MaybeFlush();
}

void Output::MaybeFlush() {
  if (buffer_.size() >= kFlushSize) WriteOut();
}

void Output::WriteOut() {
  if (buffer_.empty()) return;
  if (error_ == 0) {
    if (terminal_) terminal_->Finish();
    errno = 0;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) error_ = errno != 0 ? errno : EIO;
  }
  // After a failure nothing more is written; the command ends with it.
  buffer_.clear();
}

bool Output::Flush() {
  WriteOut();
  if (error_ == 0) {
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_)) error_ = errno != 0 ? errno : EIO;
  }
  return error_ == 0;
}

int FinishCommand(Output& out, const TerminalSink* terminal, int code) {
  if (!out.Flush()) {
    std::fprintf(Cli().err, "ravelin: cannot write the output: %s\n", ErrorText(out.error()).c_str());
    std::fflush(Cli().err);
    return kExitFailure;
  }
  if (code == kExitOk && terminal && terminal->warningCount() > 0) return kExitPartial;
  return code;
}

}  // namespace ravelin
