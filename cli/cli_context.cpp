#include "cli/cli_context.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <sstream>

#include "cli/commands.h"
#include "cli/help_format.h"
#include "cli/name_lookup.h"
#include "cli/output.h"
#include "cli/terminal_sink.h"
#include "storage/env.h"

#ifndef RAVELIN_VERSION
#define RAVELIN_VERSION "unknown"
#endif

namespace ravelin {
namespace {

const CliContext* current = nullptr;

constexpr char kDescription[] =
    "Velmora Ravelin: recovers tables, rows and definitions from damaged SQL Server data files.";

// The same table is in the README.
constexpr char kExitCodes[] =
    "Exit codes:\n"
    "  0  everything was read\n"
    "  1  failure, nothing usable: the file cannot be opened or is no database, no such table or object, or the "
    "output cannot be written\n"
    "  2  usage error: the command line is wrong\n"
    "  3  partial: something was recovered, but rows, pages or values are known to be missing; a warning on "
    "stderr names each (warning: TABLE: what, where)\n";

constexpr char kConventions[] =
    "rows writes exact values. TSV: NULL is \\N, a value that cannot be read \\?, and \\\\, \\t, \\n and \\r stand for "
    "a backslash, tab, line feed "
    "and carriage return; other characters are written as stored. CSV (RFC 4180): NULL is an empty field, "
    "an empty text \"\", an unreadable value \\?. JSON: numbers for integer and float columns, true/false for bit, "
    "strings for the rest (exact decimals included), null for NULL, {\"unreadable\": true} for a value that cannot "
    "be read. Dates and times: 2024-05-01 10:30:00.123 (datetime), full fractions and +hh:mm offsets for "
    "datetime2, time and datetimeoffset; binary as 0x and hex digits.";

size_t HelpWidth() {
  const int width = TerminalWidth(::fileno(Cli().out));
  return width > 0 ? static_cast<size_t>(std::clamp(width, 60, 120)) : 80;
}

// Why the first argument is not a command, or empty when it is one (or an
// option, which the parser judges).
std::string CommandProblem(const CLI::App& app, int argc, const char* const* argv) {
  std::vector<std::string> names;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
    names.push_back(sub->get_name());
  std::string list;
  for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
  if (argc < 2) return "name a command: " + list + " (ravelin --help tells more)";
  const std::string first = argv[1];
  if (first.empty() || first.front() == '-' || std::find(names.begin(), names.end(), first) != names.end()) return {};
  std::string closest;
  size_t best = 3;
  for (const std::string& n : names) {
    const size_t d = EditDistance(first, n);
    if (d < best) best = d, closest = n;
  }
  if (!closest.empty()) return "unknown command '" + first + "', did you mean '" + closest + "'?";
  return "unknown command '" + first + "'; the commands are " + list;
}

// Writes what the parser said; false when stdout could not take it.
bool WriteParserOutput(const std::string& out, const std::string& err, const CliContext& context) {
  std::fputs(err.c_str(), context.err);
  if (out.empty()) return true;
  errno = 0;
  if (std::fputs(out.c_str(), context.out) < 0 || std::fflush(context.out) != 0) {
    std::fprintf(context.err, "ravelin: cannot write the output: %s\n", ErrorText(errno != 0 ? errno : EIO).c_str());
    return false;
  }
  return true;
}

}  // namespace

const CliContext& Cli() {
  static const CliContext kProcess;
  return current ? *current : kProcess;
}

int RunCommandLine(int argc, const char* const* argv, const CliContext& context) {
  const CliContext* outer = current;
  current = &context;
  CLI::App app{kDescription, "ravelin"};
  app.formatter(std::make_shared<WrappingFormatter>(HelpWidth()));
  app.set_version_flag("--version", std::string("ravelin ") + RAVELIN_VERSION);
  app.require_subcommand(1);
  int exitCode = kExitOk;
  AddInfoCommand(app, exitCode);
  AddPageCommand(app, exitCode);
  AddSchemaCommand(app, exitCode);
  AddRowsCommand(app, exitCode);
  AddScanCommand(app, exitCode);
  AddDefinitionCommand(app, exitCode);
  AddShowCommand(app, exitCode);
  AddExportCommand(app, exitCode);
  app.footer(std::string(kExitCodes) + "\n" + kConventions);
  for (CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
    sub->footer(sub->get_name() == "rows" ? std::string(kExitCodes) + "\n" + kConventions : kExitCodes);
  const bool asksForHelpOrVersion = std::any_of(argv + std::min(argc, 1), argv + argc, [](const char* a) {
    const std::string arg = a;
    return arg == "--help" || arg == "-h" || arg == "--version";
  });
  if (const std::string problem = CommandProblem(app, argc, argv); !problem.empty() && !asksForHelpOrVersion) {
    std::fprintf(context.err, "ravelin: %s\n", problem.c_str());
    exitCode = kExitUsage;
  } else {
    try {
      app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
      std::ostringstream out, err;
      const int code = app.exit(e, out, err);
      exitCode = code == 0 ? kExitOk : kExitUsage;
      if (!WriteParserOutput(out.str(), err.str(), context)) exitCode = kExitFailure;
    }
  }
  std::fflush(context.out);
  std::fflush(context.err);
  current = outer;
  return exitCode;
}

}  // namespace ravelin
