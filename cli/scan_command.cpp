// ravelin scan FILE | --snapshot FILE.MDBSNP: one recovery run as the
// desktop's Open or Load command runs it, with its activity log file; the
// log lines as they come, then the object tree.

#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli_context.h"
#include "cli/command_line_run.h"
#include "cli/commands.h"
#include "recovery/run_commands.h"

namespace ravelin {
namespace {

struct ScanOptions {
  RunOptions run;
  std::string snapshotOut;
};

void PrintTree(const ObjectTree& tree, TreeItem item, int depth) {
  std::fprintf(Cli().out, "%*s%s%s\n", depth * 2, "", tree.Label(item).c_str(), tree.Bold(item) ? " *" : "");
  for (TreeItem child : tree.Children(item)) PrintTree(tree, child, depth + 1);
}

int RunScan(const ScanOptions& options) {
  CommandLineRun run(options.run, true);
  if (int failed = run.Scan()) return failed;
  RecoveryState& state = run.state();

  std::fprintf(Cli().out, "\n");
  for (TreeItem item : state.tree.Children(kNoTreeItem)) PrintTree(state.tree, item, 0);
  std::fflush(Cli().out);

  if (!options.snapshotOut.empty()) {
    std::fprintf(Cli().out, "\n");
    std::fflush(Cli().out);
    // The snapshot's lines are not activity-log lines: the terminal only.
    if (!SaveSnapshot(run.runner(), state, run.frontEnd(), options.snapshotOut)) return 1;
  }
  return 0;
}

}  // namespace

void AddScanCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ScanOptions>();
  CLI::App* cmd = app.add_subcommand(
      "scan",
      "Run a recovery scan: open and map the data file, rebuild the catalog, build the object tree and read the "
      "definition rows, writing an activity log file. Prints the log lines as they come, then the object tree, "
      "indented two blanks per level; a table marked with a trailing \" *\" holds data (bold in the desktop's "
      "tree). Exit code 0 when the scan completed, 1 when it did not (or the snapshot could not be saved).");
  auto* fileOption = cmd->add_option("FILE", options->run.file, "Primary data file (.mdf)");
  AddRunOptions(cmd, options->run)->excludes(fileOption);
  cmd->add_option("--snapshot-out", options->snapshotOut,
                  "After a completed scan, save its page maps as a snapshot (.MDBSNP) to this path");
  cmd->callback([options, &exitCode] { exitCode = RunScan(*options); });
}

}  // namespace ravelin
