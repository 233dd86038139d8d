// Walks the chosen tables and writes their rows through an export writer.

#include "export/export_driver.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "catalog/object_names.h"
#include "catalog/system_catalog.h"
#include "export/export_tables.h"
#include "export/export_values.h"
#include "rows/row_warnings.h"
#include "rows/table_rows.h"
#include "storage/boot_page.h"

namespace ravelin {
namespace {

// Passes every notification on and keeps the warnings about the table
// being written, but for the unreadable values the writer counts itself.
class TableSink : public ProgressSink {
 public:
  explicit TableSink(ProgressSink& outer) : outer_(outer) {}
  void SetProgressRange(int64_t low, int64_t high) override { outer_.SetProgressRange(low, high); }
  void SetProgressPos(int64_t position) override { outer_.SetProgressPos(position); }
  void SetStatusText(const std::string& text) override { outer_.SetStatusText(text); }
  void ReportError(const std::string& text) override { outer_.ReportError(text); }
  void AppendLogLine(const std::string& text) override { outer_.AppendLogLine(text); }
  void ReportWarning(const Warning& warning) override {
    outer_.ReportWarning(warning);
    if (warning.what == kTextValueUnreadable) return;
    std::string text = FormatWarning(warning);
    if (text.rfind("warning: ", 0) == 0) text.erase(0, 9);
    std::lock_guard<std::mutex> lock(mutex_);
    warnings_.push_back(std::move(text));
  }

  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(warnings_);
  }

 private:
  ProgressSink& outer_;
  std::mutex mutex_;
  std::vector<std::string> warnings_;
};

std::string RunTime(const std::string& given) {
  if (!given.empty()) return given;
  // Reproducible outputs: the time of the sources, when the build sets one.
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (!epoch || !*epoch) return {};
  char* end = nullptr;
  const long long seconds = std::strtoll(epoch, &end, 10);
  if (*end != '\0' || seconds < 0) return {};
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string DeletedOptions(const ReadOptions& options) {
  if (!options.showDeleted) return "none";
  return options.huntDeleted ? "deleted-advanced" : "deleted";
}

// Writes the rows of the prepared table; false when the writer failed.
// `stopped` is set when a stop request ended it.
bool WriteRows(const OpenedDatabase& db, ExportWriter& writer, const PreparedTable& prepared, TableSink& sink,
               StopToken stop, bool& stopped) {
  const SystemCatalog& catalog = *db.catalog();
  const TablePageList pages = CollectListingPages(db.file(), catalog);
  TableRowReader reader(db, prepared.descriptors, ChooseColumnReader(catalog));
  reader.SetListingPages(pages);
  const RecordShape shape = catalog.DescribeRecordShape(prepared.descriptors);
  reader.SetRecordShape(shape, &sink, prepared.qualifiedName);
  ReportColumnsWithoutRows(shape, prepared.qualifiedName, &sink);
  reader.SetDataValues(true);
  sink.SetStatusText(prepared.qualifiedName);
  sink.SetProgressRange(0, static_cast<int64_t>(pages.size()));
  if (std::optional<Warning> broken = ListingWarning(pages, prepared.qualifiedName)) sink.ReportWarning(*broken);
  if (std::optional<Warning> lost =
          LostPagesWarning(db.file(), DescribeTableStorage(catalog), pages, prepared.qualifiedName))
    sink.ReportWarning(*lost);
  if (std::optional<Warning> unreadable =
          UnreadablePagesWarning(db.file(), DescribeTableStorage(catalog), pages, prepared.qualifiedName))
    sink.ReportWarning(*unreadable);
  if (!writer.BeginTable(prepared.table)) return false;

  const size_t width = prepared.descriptorOf.size();
  std::vector<ExportValue> values(width);
  std::vector<size_t> stored;
  for (size_t k = 0; k < width; ++k)
    if (!prepared.computed[k]) stored.push_back(prepared.descriptorOf[k]);
  std::vector<Warning> rowWarnings;
  uint64_t rowNumber = 0;
  for (size_t p = 0; p < pages.size(); ++p) {
    if (stop.requested()) {
      stopped = true;
      return true;
    }
    for (const TableRow& row : reader.ReadPageRows(pages.pages[p])) {
      for (size_t k = 0; k < width; ++k) {
        const size_t d = prepared.descriptorOf[k];
        if (prepared.computed[k] || d >= row.data.size())
          values[k].SetNull();
        else
          ToExportValue(row.data[d], values[k]);
      }
      if (!writer.WriteRow(values, row.status)) return false;
      ++rowNumber;
      rowWarnings.clear();
      AppendRowWarnings(prepared.qualifiedName, row, reader.columns(), stored, rowNumber, rowWarnings);
      for (const Warning& warning : rowWarnings) sink.ReportWarning(warning);
    }
    sink.SetProgressPos(static_cast<int64_t>(p + 1));
  }
  TableEnd end;
  end.pages = static_cast<int64_t>(pages.size());
  end.warnings = sink.Take();
  return writer.EndTable(end);
}

}  // namespace

ExportRun DescribeRun(const OpenedDatabase& db, const ExportJob& job) {
  ExportRun run;
  run.sourceFile = job.sourceFile.empty() ? db.file().path : job.sourceFile;
  std::error_code ec;
  const auto size = std::filesystem::file_size(db.file().path, ec);
  run.sourceSize = ec ? 0 : static_cast<int64_t>(size);
  run.inputFiles.push_back(db.file().path);
  for (const auto& [id, info] : db.file().secondaryFiles)
    if (!info.physicalName.empty()) run.inputFiles.push_back(info.physicalName);
  if (db.boot()) {
    run.databaseName = db.boot()->databaseName;
    // "539 (SQL Server 2000)": the number as stored, and what it means.
    const uint16_t version = db.boot()->version;
    const std::string name = VersionName(version);
    run.versionText = std::to_string(version) + (name.empty() ? "" : " (" + name + ")");
  }
  run.collation = db.collation().name;
  run.runTime = RunTime(job.runTime);
  run.programVersion = job.programVersion;
  run.recoveryMode = db.options().IsAdvancedMode() ? "advanced" : "standard";
  run.deletedOptions = DeletedOptions(db.options());
  run.withStatus = db.options().showDeleted;
  return run;
}

ExportResult RunExportJob(const OpenedDatabase& db, ExportWriter& writer, const ExportJob& job, ProgressSink& sink,
                          StopToken stop) {
  ExportResult result;
  auto fail = [&]() {
    result.error = writer.error();
    result.summary = writer.summary();
    return result;
  };
  SystemCatalog* catalog = db.catalog();
  if (!catalog) {
    result.error = "the database's catalog is not loaded";
    return result;
  }
  if (!writer.Begin(DescribeRun(db, job))) return fail();
  const ObjectNames names(*catalog);
  const std::vector<DefinitionEntry> definitions = ReadAllDefinitions(db, sink);
  if (!writer.AddModules(CollectModules(*catalog, names, definitions))) return fail();

  const std::vector<size_t> tables = job.tables.empty() ? UserTableIndexes(*catalog) : job.tables;
  TableSink tableSink(sink);
  bool stopped = false;
  PreparedTable prepared;
  for (size_t index : tables) {
    if (stop.requested()) {
      stopped = true;
      break;
    }
    if (index >= catalog->objects.size()) continue;
    const ObjectRow object = catalog->objects[index];
    std::string why;
    if (!PrepareExportTable(*catalog, names, object, definitions, prepared, why)) {
      sink.ReportWarning({names.Qualified(object), "the table is not exported", why});
      if (!writer.SkipTable(prepared.table.schema, prepared.table.name, why)) return fail();
      continue;
    }
    tableSink.Take();
    if (!WriteRows(db, writer, prepared, tableSink, stop, stopped)) return fail();
    if (stopped) break;
  }
  if (stopped ? !writer.Stop() : !writer.Finish()) return fail();
  result.ok = true;
  result.summary = writer.summary();
  return result;
}

std::vector<std::string> SummaryLines(const ExportSummary& summary) {
  std::vector<std::string> lines;
  for (const TableResult& t : summary.tables) {
    std::string line = t.schema + "." + t.name + ": " + std::to_string(t.rows) + (t.rows == 1 ? " row" : " rows");
    if (t.unreadableValues > 0)
      line += ", " + std::to_string(t.unreadableValues) +
              (t.unreadableValues == 1 ? " value cannot be read" : " values cannot be read");
    if (!t.warnings.empty())
      line += ", " + std::to_string(t.warnings.size()) + (t.warnings.size() == 1 ? " warning" : " warnings");
    lines.push_back(line);
  }
  for (const SkippedTable& s : summary.skipped) lines.push_back(s.schema + "." + s.name + ": skipped: " + s.reason);
  if (summary.stopped)
    lines.push_back("stopped" + (summary.stoppedIn.empty() ? std::string() : " in " + summary.stoppedIn) +
                    ": the tables after it were not written");
  std::string total = "total: " + std::to_string(summary.tables.size()) +
                      (summary.tables.size() == 1 ? " table, " : " tables, ") + std::to_string(summary.TotalRows()) +
                      (summary.TotalRows() == 1 ? " row" : " rows");
  if (summary.unreadableValues > 0) total += ", " + std::to_string(summary.unreadableValues) + " values cannot be read";
  if (summary.modules > 0)
    total += ", " + std::to_string(summary.modules) + (summary.modules == 1 ? " definition" : " definitions");
  lines.push_back(total);
  return lines;
}

}  // namespace ravelin
