// ravelin scan FILE | --snapshot FILE.MDBSNP: one recovery run as the
// desktop's Open or Load command runs it, with its activity log file; the
// log lines on stderr as they come, then the object tree on stdout.

#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli_context.h"
#include "cli/command_line_run.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "recovery/run_commands.h"

namespace ravelin {
namespace {

struct ScanOptions {
  RunOptions run;
  std::string snapshotOut;
};

void PrintTree(Output& out, const ObjectTree& tree, TreeItem item, int depth) {
  out.buffer().append(static_cast<size_t>(depth) * 2, ' ');
  out.buffer() += tree.Label(item);
  out.Line(tree.Bold(item) ? " *" : "");
  for (TreeItem child : tree.Children(item)) PrintTree(out, tree, child, depth + 1);
}

int RunScan(const ScanOptions& options) {
  CommandLineRun run(options.run, true);
  if (int failed = run.Scan()) return failed;
  RecoveryState& state = run.state();
  Output out(&run.terminal());
  for (TreeItem item : state.tree.Children(kNoTreeItem)) PrintTree(out, state.tree, item, 0);
  if (!options.snapshotOut.empty()) {
    if (!out.Flush()) return FinishCommand(out, &run.terminal(), kExitOk);
    // The snapshot's lines are not activity-log lines: the terminal only.
    if (!SaveSnapshot(run.runner(), state, run.frontEnd(), options.snapshotOut)) {
      out.Flush();
      return kExitFailure;
    }
  }
  return FinishCommand(out, &run.terminal(), kExitOk);
}

}  // namespace

void AddScanCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ScanOptions>();
  CLI::App* cmd = app.add_subcommand(
      "scan",
      "Run a recovery scan: open and map the data file, rebuild the catalog, build the object tree and read the "
      "definition rows, writing an activity log file. Writes the log lines on stderr as they come, then the object "
      "tree on stdout, indented two blanks per level; a table marked with a trailing \" *\" holds data (bold in the "
      "desktop's tree).");
  auto* fileOption = cmd->add_option("FILE", options->run.file, "Primary data file (.mdf)");
  AddRunOptions(cmd, options->run)->excludes(fileOption);
  cmd->add_option("--snapshot-out", options->snapshotOut,
                  "After a completed scan, save its page maps as a snapshot (.MDBSNP) to this path");
  cmd->callback([options, &exitCode] { exitCode = RunScan(*options); });
}

}  // namespace ravelin
