// Where the command line reads its files and writes what it prints. The
// program uses the disk, stdout and stderr; tests run commands in the same
// process over databases held in memory and capture both streams.

#ifndef RAVELIN_CLI_CLI_CONTEXT_H_
#define RAVELIN_CLI_CLI_CONTEXT_H_

#include <cstdio>

#include "storage/env.h"

namespace ravelin {

struct CliContext {
  Env* env = &Env::Default();
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

// The context of the command running now.
const CliContext& Cli();

// Runs one command line (`argv[0]` is the program's name) in `context` and
// returns its exit code.
int RunCommandLine(int argc, const char* const* argv, const CliContext& context);

}  // namespace ravelin

#endif  // RAVELIN_CLI_CLI_CONTEXT_H_
