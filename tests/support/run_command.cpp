#include "support/run_command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "cli/cli_context.h"
#include "support/synthetic.h"

extern char** environ;

namespace ravelin::testing {

std::string RavelinPath() { return std::string(RAVELIN_BINARY_DIR) + "/ravelin"; }

CommandResult RunRavelin(const std::vector<std::string>& args) {
  TempDir dir;
  std::string outPath = dir.path() + "/out", errPath = dir.path() + "/err";
  std::vector<std::string> argv = {RavelinPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  CommandResult result;
  if (posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  auto slurp = [](const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  result.out = slurp(outPath);
  result.err = slurp(errPath);
  return result;
}

CommandResult RunInProcess(const std::vector<std::string>& args, Env* env) {
  std::vector<std::string> argv = {"ravelin"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<const char*> cargv;
  for (const std::string& a : argv) cargv.push_back(a.c_str());
  CliContext context;
  if (env) context.env = env;
  context.out = std::tmpfile();
  context.err = std::tmpfile();
  CommandResult result;
  result.exitCode = RunCommandLine(static_cast<int>(cargv.size()), cargv.data(), context);
  auto slurp = [](std::FILE* f) {
    std::string text;
    std::fflush(f);
    std::rewind(f);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
    return text;
  };
  result.out = slurp(context.out);
  result.err = slurp(context.err);
  return result;
}

}  // namespace ravelin::testing
