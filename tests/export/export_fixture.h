// Tables, rows and runs built in code for the export writer tests, and
// small helpers to read what the writers wrote.

#ifndef RAVELIN_TESTS_EXPORT_EXPORT_FIXTURE_H_
#define RAVELIN_TESTS_EXPORT_EXPORT_FIXTURE_H_

#include <functional>
#include <string>
#include <vector>

#include "export/export_model.h"
#include "export/export_writer.h"

namespace ravelin::testing {

using Row = std::vector<ExportValue>;

ExportColumn Column(const std::string& name, const std::string& type, ValueFamily family, bool nullable = true);

// A run reading `input` (which need not exist).
ExportRun SampleRun(const std::string& input = "/nonexistent/sample.mdf", bool withStatus = false);

// [dbo].[Every Family]: one column of every value family, an identity key,
// and rows with edge values, NULLs, empty texts, a stored 'NULL' text, the
// CSV marker as a text, control characters and unreadable values.
struct SampleTable {
  ExportTable table;
  std::vector<Row> rows;
};
SampleTable EveryFamilyTable();

// A small table of `name` in `schema` with an int key and a text column,
// and `rows` rows (id, "text <id>").
SampleTable SimpleTable(const std::string& schema, const std::string& name, int rows);

// Writes `tables` through `writer` (Begin, each table, `modules`, Finish).
// False on failure, with the writer's error in the test log when
// `expectSuccess`.
bool WriteAll(ExportWriter& writer, const ExportRun& run, const std::vector<SampleTable>& tables,
              const std::vector<ExportModule>& modules = {}, bool expectSuccess = true);

std::string ReadText(const std::string& path);
// Names of the entries of `folder`, sorted.
std::vector<std::string> EntriesOf(const std::string& folder);

// Runs `body` in a child process in which no file may grow past `limit`
// bytes; returns what `body` returned there (an error text).
std::string InChildWithFileLimit(size_t limit, const std::function<std::string()>& body);

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_EXPORT_EXPORT_FIXTURE_H_
