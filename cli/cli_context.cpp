#include "cli/cli_context.h"

#include <CLI/CLI.hpp>
#include <sstream>

#include "cli/commands.h"

namespace ravelin {
namespace {

const CliContext* current = nullptr;

}  // namespace

const CliContext& Cli() {
  static const CliContext kProcess;
  return current ? *current : kProcess;
}

int RunCommandLine(int argc, const char* const* argv, const CliContext& context) {
  const CliContext* outer = current;
  current = &context;
  CLI::App app{"Velmora Ravelin: recovers tables, rows and definitions from damaged SQL Server data files"};
  app.require_subcommand(1);
  int exitCode = 0;
  AddInfoCommand(app, exitCode);
  AddPageCommand(app, exitCode);
  AddSchemaCommand(app, exitCode);
  AddRowsCommand(app, exitCode);
  AddScanCommand(app, exitCode);
  AddDefinitionCommand(app, exitCode);
  AddShowCommand(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out, err;
    exitCode = app.exit(e, out, err) == 0 ? 0 : 2;
    std::fputs(out.str().c_str(), context.out);
    std::fputs(err.str().c_str(), context.err);
  }
  std::fflush(context.out);
  std::fflush(context.err);
  current = outer;
  return exitCode;
}

}  // namespace ravelin
