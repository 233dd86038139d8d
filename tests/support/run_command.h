// Runs the command-line program for end-to-end tests.

#ifndef RAVELIN_TESTS_SUPPORT_RUN_COMMAND_H_
#define RAVELIN_TESTS_SUPPORT_RUN_COMMAND_H_

#include <string>
#include <vector>

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

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_RUN_COMMAND_H_
