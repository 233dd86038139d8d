// The export driver: walks the chosen tables of an opened database with
// the page sources, recovery mode and deleted-record options the database
// was opened with (the same listing `rows` gives), and hands each row once
// to an export writer, streaming: a table is never held in memory.
//
// Progress goes to the sink as one range per table (its pages), with the
// table's name as the status text; warnings (values that cannot be read,
// broken page chains, pages that do not read, large values not whole) are
// reported as `rows` reports them and kept in the writer's summary. A stop
// request is honoured between pages: the writer is stopped (the SQLite
// file keeps the tables completed so far; the other outputs leave
// nothing).

#ifndef RAVELIN_EXPORT_EXPORT_DRIVER_H_
#define RAVELIN_EXPORT_EXPORT_DRIVER_H_

#include <cstddef>
#include <string>
#include <vector>

#include "catalog/opened_database.h"
#include "export/export_model.h"
#include "export/export_writer.h"
#include "storage/progress_sink.h"
#include "storage/stop_token.h"

namespace ravelin {

struct ExportJob {
  // Indexes into the catalog's objects of the tables to write, in this
  // order; empty: every user table (UserTableIndexes).
  std::vector<size_t> tables;
  // The primary data file as the user named it.
  std::string sourceFile;
  std::string programVersion;
  // ISO 8601; empty: $SOURCE_DATE_EPOCH when set, else the current time.
  std::string runTime;
};

struct ExportResult {
  // The writer finished (or was stopped) without an error.
  bool ok = false;
  std::string error;  // why not
  ExportSummary summary;
};

// What the run record of the export says of `db`.
ExportRun DescribeRun(const OpenedDatabase& db, const ExportJob& job);

// Writes the job's tables and every module's definition through `writer`
// (which must not have begun).
ExportResult RunExportJob(const OpenedDatabase& db, ExportWriter& writer, const ExportJob& job, ProgressSink& sink,
                          StopToken stop);

// "Orders: 830 rows" lines and a total, for the end of a run.
std::vector<std::string> SummaryLines(const ExportSummary& summary);

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_EXPORT_DRIVER_H_
