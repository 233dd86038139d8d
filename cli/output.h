// What a command prints on stdout, written through one buffer whose every
// write is checked: a full disk or a closed pipe is an error with its
// reason, never a silent exit 0. And the exit codes every command shares.

#ifndef RAVELIN_CLI_OUTPUT_H_
#define RAVELIN_CLI_OUTPUT_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace ravelin {

class TerminalSink;

// The exit codes of every command.
enum ExitCode : int {
  kExitOk = 0,       // everything was read
  kExitFailure = 1,  // nothing usable: the file, the table or the output failed
  kExitUsage = 2,    // the command line itself is wrong
  kExitPartial = 3,  // something was recovered, but rows, pages or values are known to be missing
};

class Output {
 public:
  // Writes to Cli().out; `terminal`, when given, clears its progress bar
  // before anything reaches the file.
  explicit Output(TerminalSink* terminal = nullptr);
  Output(std::FILE* file, TerminalSink* terminal);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // The buffer to append to; MaybeFlush writes it once it is large.
  std::string& buffer() { return buffer_; }
  void Write(std::string_view text);
  void Line(std::string_view text);
  void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void MaybeFlush();
  // Writes everything buffered and flushes the file; false when any write
  // so far failed.
  bool Flush();

  bool failed() const { return error_ != 0; }
  // The errno of the first failed write.
  int error() const { return error_; }

 private:
  void WriteOut();

  std::FILE* file_;
  TerminalSink* terminal_;
  std::string buffer_;
  int error_ = 0;
};

// Flushes `out` and gives the command's exit code: `code` as it is, 1 with
// "ravelin: cannot write the output: REASON" on stderr when the output
// failed, and 3 instead of 0 when `terminal` reported warnings.
int FinishCommand(Output& out, const TerminalSink* terminal, int code);

}  // namespace ravelin

#endif  // RAVELIN_CLI_OUTPUT_H_
