// ravelin export FILE (--sqlite OUT.db | --sql OUT.sql | --csv DIR): every
// user table (or the ones named) of a data file written to a SQLite
// database, a T-SQL script or a folder of CSV files, with the exact values
// of `rows`, for users who want the recovered data in a tool that runs
// queries.

#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "catalog/object_names.h"
#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "cli/cli_context.h"
#include "cli/commands.h"
#include "cli/name_lookup.h"
#include "cli/output.h"
#include "cli/terminal_sink.h"
#include "export/csv_writer.h"
#include "export/export_driver.h"
#include "export/output_file.h"
#include "export/script_writer.h"
#include "export/sqlite_writer.h"
#include "recovery/recovery_settings.h"

#ifndef RAVELIN_VERSION
#define RAVELIN_VERSION "unknown"
#endif

namespace ravelin {
namespace {

struct ExportOptions {
  std::string file;
  std::string sqlite;
  std::string sql;
  std::string csv;
  std::vector<std::string> tables;
  std::string mode = "standard";
  std::string collation = "auto";
  bool deleted = false;
  bool deletedAdvanced = false;
  bool force = false;
  bool quiet = false;
};

// Ctrl-C asks the export to stop: the SQLite file keeps the tables written
// so far.
std::atomic<bool> interrupted{false};
extern "C" void OnInterrupt(int) { interrupted.store(true); }

class InterruptGuard {
 public:
  InterruptGuard() {
    interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    installed_ = sigaction(SIGINT, &action, &previous_) == 0;
  }
  ~InterruptGuard() {
    if (installed_) sigaction(SIGINT, &previous_, nullptr);
  }

 private:
  struct sigaction previous_ {};
  bool installed_ = false;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The id of the collation named `name` (exactly, else without regard to
// case); false when the table has none.
bool CollationNamed(const CollationTable& table, const std::string& name, int64_t& id) {
  auto it = std::find_if(table.begin(), table.end(), [&](const auto& e) { return e.second.name == name; });
  if (it == table.end())
    it = std::find_if(table.begin(), table.end(), [&](const auto& e) { return Lower(e.second.name) == Lower(name); });
  if (it == table.end()) return false;
  id = it->first;
  return true;
}

// The tables named on the command line, found as `rows` finds a table;
// false (with the error written) when one is not found.
bool ChooseTables(const SystemCatalog& catalog, const ExportOptions& o, TerminalSink& sink,
                  std::vector<size_t>& chosen) {
  const ObjectNames names(catalog);
  std::vector<NameCandidate> candidates;
  for (size_t i = 0; i < catalog.objects.size(); ++i) {
    const ObjectRow& row = catalog.objects[i];
    if (IsTableTypeCode(row.typeCode) && !row.name.empty())
      candidates.push_back({names.Schema(row), names.Bare(row), i});
  }
  for (const std::string& typed : o.tables) {
    const NameMatch match = MatchName(candidates, typed);
    if (auto warning = DamagedNameWarning(match, typed)) sink.ReportWarning(*warning);
    if (!match.found) {
      std::string text = (match.ambiguous.empty() ? "No table named " : "More than one table is named ") + typed +
                         " in " + o.file + ".";
      if (const std::string hint = SuggestionText(match); !hint.empty()) text += " " + hint;
      sink.Error(text);
      return false;
    }
    // A table named twice is written once.
    if (std::find(chosen.begin(), chosen.end(), match.index) == chosen.end()) chosen.push_back(match.index);
  }
  return true;
}

int RunExport(const ExportOptions& o) {
  TerminalSink sink(o.quiet, false);
  const int outputs = !o.sqlite.empty() + !o.sql.empty() + !o.csv.empty();
  if (outputs != 1) {
    sink.Error("ravelin export: give exactly one of --sqlite OUT.db, --sql OUT.sql and --csv DIR");
    return kExitUsage;
  }
  const CollationTable collations = LoadCollationTable(ExecutableFolder() + "collation.txt");
  OpenRequest request;
  request.path = o.file;
  request.env = Cli().env;
  request.options.mode = o.mode == "advanced" ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
  request.options.showDeleted = o.deleted || o.deletedAdvanced;
  request.options.huntDeleted = o.deletedAdvanced;
  request.collations = &collations;
  if (o.collation != "auto") {
    if (!CollationNamed(collations, o.collation, request.manualCollationId)) {
      sink.Error("ravelin: unknown collation " + o.collation +
                 " (collation.txt beside the program lists the known ones)");
      return kExitUsage;
    }
    request.autoDetectCollation = false;
  }

  // The output is checked before the file is read (the writer checks it
  // again against the secondary files too).
  const ExportOutput output{!o.sqlite.empty() ? o.sqlite : !o.sql.empty() ? o.sql : o.csv, o.force};
  std::string problem;
  const bool usable = o.csv.empty() ? CheckOutputFile(output.path, o.force, {o.file}, problem)
                                    : CheckOutputFolder(output.path, o.force, problem);
  if (!usable) {
    sink.Error("ravelin export: " + problem);
    return kExitFailure;
  }

  sink.SetDataFile(o.file, *Cli().env);
  std::unique_ptr<OpenedDatabase> db = OpenedDatabase::Open(request, sink, StopToken());
  if (!db) {
    sink.Finish();
    return kExitFailure;
  }
  ExportJob job;
  job.sourceFile = o.file;
  job.programVersion = std::string("ravelin ") + RAVELIN_VERSION;
  if (!ChooseTables(*db->catalog(), o, sink, job.tables)) {
    sink.Finish();
    return kExitFailure;
  }

  std::unique_ptr<ExportWriter> writer;
  if (!o.sqlite.empty())
    writer = std::make_unique<SqliteWriter>(output);
  else if (!o.sql.empty())
    writer = std::make_unique<ScriptWriter>(output);
  else
    writer = std::make_unique<CsvWriter>(output);

  ExportResult result;
  {
    InterruptGuard guard;
    result = RunExportJob(*db, *writer, job, sink, StopToken(interrupted));
  }
  sink.Finish();
  if (!result.ok) {
    sink.Error("ravelin export: " + result.error);
    return kExitFailure;
  }
  const ExportSummary& summary = result.summary;
  for (const std::string& line : SummaryLines(summary)) sink.Note(line);
  if (summary.stopped) {
    // Only the SQLite file keeps what was written before the stop.
    if (o.sqlite.empty() || summary.tables.empty()) {
      sink.Error("ravelin export: stopped; nothing was written to " + output.path);
      return kExitFailure;
    }
    sink.Error("ravelin export: stopped; " + output.path + " holds the tables completed before the stop");
    return kExitPartial;
  }
  if (summary.tables.empty() && !summary.skipped.empty()) return kExitFailure;
  return summary.Whole() && sink.warningCount() == 0 ? kExitOk : kExitPartial;
}

}  // namespace

void AddExportCommand(CLI::App& app, int& exitCode) {
  auto o = std::make_shared<ExportOptions>();
  CLI::App* cmd = app.add_subcommand(
      "export",
      "Write every user table (or the tables named) to a SQLite database, a T-SQL script or a folder of CSV files, "
      "with the exact values of rows. Refuses to replace an existing output without --force, and to write over the "
      "data file or its secondary files; the output appears under its name only when it is complete (a stopped "
      "SQLite export keeps the tables completed so far).");
  cmd->add_option("FILE", o->file, "Primary data file (.mdf)")->required();
  cmd->add_option("--sqlite", o->sqlite, "Write a SQLite database OUT.db, with provenance tables ravelin_*");
  cmd->add_option("--sql", o->sql, "Write a T-SQL script OUT.sql (UTF-8, GO batches) that rebuilds the database");
  cmd->add_option("--csv", o->csv, "Write one CSV file per table, schema.table.csv, into the folder DIR");
  // One name per --table, taken as typed: brackets are part of a name
  // ("[dbo].[Order Details]"), not a list.
  auto table = std::make_shared<std::string>();
  cmd->add_option("--table", *table,
                  "A table to write (repeatable), named as for rows: dbo.Orders, \"Order Details\"; default: every "
                  "user table")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->each([o, table](const std::string& name) { o->tables.push_back(name); });
  cmd->add_option("--mode", o->mode, "standard: follow the allocation structures; advanced: every page the scan found")
      ->check(CLI::IsMember({"standard", "advanced"}));
  cmd->add_flag("--deleted", o->deleted,
                "Also write deleted (ghost) records; every table gets a column ravelin_status saying what each row "
                "is (the script puts them in a table NAME_deleted)");
  cmd->add_flag("--deleted-advanced", o->deletedAdvanced,
                "Also hunt for records the slot array no longer lists (implies --deleted)");
  cmd->add_option("--collation", o->collation,
                  "auto: take the collation from the boot page; otherwise a collation name from collation.txt");
  cmd->add_flag("--force", o->force, "Replace an existing output file (or the files of an existing folder)");
  cmd->add_flag("--quiet", o->quiet,
                "No status texts, progress bar or summary (warnings and errors are still written)");
  cmd->callback([o, &exitCode] { exitCode = RunExport(*o); });
}

}  // namespace ravelin
