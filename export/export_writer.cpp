// The shared part of every export writer: call order, row numbers,
// unreadable values, the summary, and cleaning up after a failure.

#include "export/export_writer.h"

#include <ctime>

namespace ravelin {
namespace {

std::string CurrentUtcTime() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace

uint64_t ExportSummary::TotalRows() const {
  uint64_t total = 0;
  for (const TableResult& t : tables) total += t.rows;
  return total;
}

bool ExportSummary::Whole() const {
  if (stopped || !skipped.empty() || unreadableValues != 0) return false;
  for (const TableResult& t : tables)
    if (!t.warnings.empty()) return false;
  return true;
}

bool ExportWriter::Expect(State wanted, const char* call) {
  if (state_ == State::kFailed) return false;
  if (state_ == wanted) return true;
  if (error_.empty()) error_ = std::string("export: ") + call + " called out of order";
  return Fail();
}

bool ExportWriter::Fail() {
  if (state_ != State::kFailed) {
    state_ = State::kFailed;
    DoAbort();
  }
  return false;
}

bool ExportWriter::Begin(const ExportRun& run) {
  if (!Expect(State::kNew, "Begin")) return false;
  run_ = run;
  if (run_.runTime.empty()) run_.runTime = CurrentUtcTime();
  if (!DoBegin(error_)) return Fail();
  state_ = State::kOpen;
  return true;
}

bool ExportWriter::BeginTable(const ExportTable& table) {
  if (!Expect(State::kOpen, "BeginTable")) return false;
  if (table.columns.empty()) {
    error_ = "export: table " + table.schema + "." + table.name + " has no columns";
    return Fail();
  }
  table_ = table;
  current_ = TableResult{};
  current_.schema = table.schema;
  current_.name = table.name;
  rowNumber_ = 0;
  if (!DoBeginTable(error_)) return Fail();
  state_ = State::kInTable;
  return true;
}

bool ExportWriter::WriteRow(std::span<const ExportValue> values, RowStatus status) {
  if (!Expect(State::kInTable, "WriteRow")) return false;
  ++rowNumber_;
  if (values.size() != table_.columns.size()) {
    error_ = "export: row " + std::to_string(rowNumber_) + " of " + table_.schema + "." + table_.name + " has " +
             std::to_string(values.size()) + " values for " + std::to_string(table_.columns.size()) + " columns";
    return Fail();
  }
  if (status != RowStatus::kLive && !run_.withStatus) {
    error_ = "export: a row that is not live, without the deleted-record options";
    return Fail();
  }
  for (size_t i = 0; i < values.size(); ++i) {
    if (!IsUnreadable(values[i])) continue;
    ++current_.unreadableValues;
    ++summary_.unreadableValues;
    if (summary_.unreadable.size() < ExportSummary::kMaxUnreadableDetails)
      summary_.unreadable.push_back({table_.schema, table_.name, rowNumber_, table_.columns[i].name});
  }
  if (!DoWriteRow(values, status, error_)) return Fail();
  current_.rows = rowNumber_;
  return true;
}

bool ExportWriter::EndTable(const TableEnd& end) {
  if (!Expect(State::kInTable, "EndTable")) return false;
  current_.pages = end.pages;
  current_.warnings = end.warnings;
  if (!DoEndTable(error_)) return Fail();
  summary_.tables.push_back(current_);
  state_ = State::kOpen;
  return true;
}

bool ExportWriter::SkipTable(const std::string& schema, const std::string& name, const std::string& reason) {
  if (!Expect(State::kOpen, "SkipTable")) return false;
  summary_.skipped.push_back({schema, name, reason});
  if (!DoSkipTable(summary_.skipped.back(), error_)) return Fail();
  return true;
}

bool ExportWriter::AddModule(const ExportModule& module) {
  if (state_ != State::kInTable && !Expect(State::kOpen, "AddModule")) return false;
  if (!DoAddModule(module, error_)) return Fail();
  ++summary_.modules;
  return true;
}

bool ExportWriter::AddModules(std::span<const ExportModule> modules) {
  for (const ExportModule& module : modules)
    if (!AddModule(module)) return false;
  return true;
}

bool ExportWriter::Finish() {
  if (!Expect(State::kOpen, "Finish")) return false;
  if (!DoFinish(false, error_)) return Fail();
  state_ = State::kDone;
  return true;
}

bool ExportWriter::Stop() {
  if (state_ == State::kFailed) return false;
  if (state_ != State::kInTable && !Expect(State::kOpen, "Stop")) return false;
  summary_.stopped = true;
  if (state_ == State::kInTable) summary_.stoppedIn = table_.schema + "." + table_.name;
  if (!DoFinish(true, error_)) return Fail();
  state_ = State::kDone;
  return true;
}

void ExportWriter::Abort() {
  if (state_ == State::kDone) return;
  Fail();
}

}  // namespace ravelin
