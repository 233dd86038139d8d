// The interface every export writer offers the export driver, and the
// bookkeeping they share: the order of calls, row numbers, unreadable
// values and the summary of what was written.
//
// The driver calls, for one output:
//
//   SqliteWriter writer({"out.db", /*force=*/false});
//   if (!writer.Begin(run)) fail(writer.error());
//   for each chosen table:
//     if it cannot be prepared: writer.SkipTable(schema, name, why);
//     writer.BeginTable(table);
//     for each row: writer.WriteRow(values, status);  // values in column order
//     writer.EndTable({pages, warnings});
//     (on a Stop request, between rows or tables: writer.Stop(); done)
//   writer.AddModules(modules);  // at any time after Begin
//   writer.Finish();
//
// Every call returns false once something failed; error() then says what
// and where, the output is removed (nothing stays under the final name) and
// every later call returns false. Stop() ends a run the user stopped: the
// SQLite writer keeps the tables finished so far in a valid file (the
// table in progress is left out); the script and CSV writers leave
// nothing. A writer destroyed before Finish() or Stop() leaves nothing.

#ifndef RAVELIN_EXPORT_EXPORT_WRITER_H_
#define RAVELIN_EXPORT_EXPORT_WRITER_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "export/export_model.h"
#include "export/output_file.h"

namespace ravelin {

// A value that could not be read: where it is. Row numbers count every
// row written for the table, from 1, as the command line's warnings do.
struct UnreadableValue {
  std::string schema;
  std::string table;
  uint64_t row = 0;
  std::string column;
};

struct TableResult {
  std::string schema;
  std::string name;
  std::string outputName;  // the SQLite table, CSV file or script table
  uint64_t rows = 0;
  uint64_t unreadableValues = 0;
  int64_t pages = 0;
  std::vector<std::string> warnings;
};

struct SkippedTable {
  std::string schema;
  std::string name;
  std::string reason;
};

struct ExportSummary {
  // Details are kept for this many unreadable values; all are counted.
  static constexpr size_t kMaxUnreadableDetails = 10000;

  std::vector<TableResult> tables;  // every table written whole
  std::vector<SkippedTable> skipped;
  std::vector<UnreadableValue> unreadable;
  uint64_t unreadableValues = 0;
  size_t modules = 0;
  bool stopped = false;
  std::string stoppedIn;  // the table in progress at a Stop, if any

  uint64_t TotalRows() const;
  // Nothing known to be missing: no Stop, no skipped table, no unreadable
  // value and no table warning.
  bool Whole() const;
};

class ExportWriter {
 public:
  explicit ExportWriter(ExportOutput output) : output_(std::move(output)) {}
  virtual ~ExportWriter() = default;
  ExportWriter(const ExportWriter&) = delete;
  ExportWriter& operator=(const ExportWriter&) = delete;

  // Checks the output (see output_file.h) and starts it.
  bool Begin(const ExportRun& run);
  // Starts a table; its rows follow, one WriteRow each.
  bool BeginTable(const ExportTable& table);
  // One row: one value per column of the table, in column order (a column
  // that is not stored gets NULL). Non-live rows only with run.withStatus.
  bool WriteRow(std::span<const ExportValue> values, RowStatus status = RowStatus::kLive);
  bool EndTable(const TableEnd& end = {});
  // A table that is not written, and why; outside BeginTable/EndTable.
  bool SkipTable(const std::string& schema, const std::string& name, const std::string& reason);
  bool AddModule(const ExportModule& module);
  bool AddModules(std::span<const ExportModule> modules);
  // Completes the output and moves it into place.
  bool Finish();
  // Ends a run the user stopped (see above).
  bool Stop();
  // Abandons the output: nothing is left under the final name.
  void Abort();

  const std::string& error() const { return error_; }
  const ExportSummary& summary() const { return summary_; }
  const ExportOutput& output() const { return output_; }

 protected:
  const ExportRun& run() const { return run_; }
  const ExportTable& table() const { return table_; }
  bool inTable() const { return state_ == State::kInTable; }
  // The number of the row being written (from 1).
  uint64_t rowNumber() const { return rowNumber_; }
  // The result of the current table, filled in as rows arrive.
  TableResult& current() { return current_; }

  virtual bool DoBegin(std::string& error) = 0;
  virtual bool DoBeginTable(std::string& error) = 0;
  virtual bool DoWriteRow(std::span<const ExportValue> values, RowStatus status, std::string& error) = 0;
  virtual bool DoEndTable(std::string& error) = 0;
  virtual bool DoSkipTable(const SkippedTable& skipped, std::string& error) = 0;
  virtual bool DoAddModule(const ExportModule& module, std::string& error) = 0;
  // `stopped`: the user stopped the run (inTable() says whether a table was
  // in progress).
  virtual bool DoFinish(bool stopped, std::string& error) = 0;
  virtual void DoAbort() = 0;

 private:
  enum class State { kNew, kOpen, kInTable, kDone, kFailed };

  bool Expect(State wanted, const char* call);
  bool Fail();

  ExportOutput output_;
  ExportRun run_;
  ExportTable table_;
  TableResult current_;
  ExportSummary summary_;
  std::string error_;
  State state_ = State::kNew;
  uint64_t rowNumber_ = 0;
};

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_EXPORT_WRITER_H_
