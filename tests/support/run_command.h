// Runs the command-line program for end-to-end tests.

#ifndef RAVELIN_TESTS_SUPPORT_RUN_COMMAND_H_
#define RAVELIN_TESTS_SUPPORT_RUN_COMMAND_H_

#include <string>
#include <vector>

#include "storage/env.h"

namespace ravelin::testing {

struct CommandResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the built `ravelin` with `args` (no shell involved).
CommandResult RunRavelin(const std::vector<std::string>& args);

// The path of the built `ravelin` executable.
std::string RavelinPath();

// Runs a `ravelin` command line in this process, its files read from `env`
// (the disk when null).
CommandResult RunInProcess(const std::vector<std::string>& args, Env* env = nullptr);

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_RUN_COMMAND_H_
