// The SQLite export: one SQLite table per recovered table, written through
// the system SQLite library, plus the provenance tables.
//
// Columns are declared with a type whose affinity never changes a value:
// INTEGER (integer types, bit), REAL (float, real), TEXT (character data,
// exact numbers and money, dates and times, uniqueidentifier, xml) and
// BLOB (binary, image, timestamp, CLR types; sql_variant, whose values keep
// the class of the type they carry). No constraint is declared, so every
// recovered row lands. With the deleted-record options each table ends
// with a "ravelin_status" column (live, ghost, hunted, free page).
//
// An unreadable value is stored as NULL and listed in ravelin_unreadable
// (table_name, row_number, column_name); row_number is the row's rowid.
//
// Provenance tables:
//   ravelin_run(source_file, source_size, database_name, version, collation,
//     run_time, program_version, recovery_mode, deleted_options, completed)
//     completed is 1 for a whole run, 0 for a stopped one.
//   ravelin_tables(table_name, schema_name, source_name, object_id,
//     row_count, pages, recovery_mode, deleted_options, values_unreadable,
//     status ('written' or 'skipped'), note (warnings or why skipped))
//   ravelin_columns(table_name, position, column_name, source_name,
//     sql_type, nullable, identity, primary_key, foreign_key, computed)
//   ravelin_modules(schema_name, name, type, definition)
//   ravelin_unreadable(table_name, row_number, column_name)
//
// Each table is written in one transaction with prepared statements and
// the journal off. A Stop commits the finished tables, drops the table in
// progress, and leaves a valid file under the final name.

#ifndef RAVELIN_EXPORT_SQLITE_WRITER_H_
#define RAVELIN_EXPORT_SQLITE_WRITER_H_

#include <memory>
#include <string>
#include <vector>

#include "export/export_names.h"
#include "export/export_writer.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ravelin {

// "INTEGER", "REAL", "TEXT" or "BLOB": the SQLite type of a column of
// `family`.
const char* SqliteColumnType(ValueFamily family);

class SqliteWriter : public ExportWriter {
 public:
  explicit SqliteWriter(ExportOutput output);
  ~SqliteWriter() override;

 protected:
  bool DoBegin(std::string& error) override;
  bool DoBeginTable(std::string& error) override;
  bool DoWriteRow(std::span<const ExportValue> values, RowStatus status, std::string& error) override;
  bool DoEndTable(std::string& error) override;
  bool DoSkipTable(const SkippedTable& skipped, std::string& error) override;
  bool DoAddModule(const ExportModule& module, std::string& error) override;
  bool DoFinish(bool stopped, std::string& error) override;
  void DoAbort() override;

 private:
  bool Exec(const std::string& sql, std::string& error);
  bool Prepare(const std::string& sql, sqlite3_stmt** statement, std::string& error);
  bool Step(sqlite3_stmt* statement, std::string& error);
  std::string SqliteError(const std::string& what) const;
  void CloseDatabase();

  TempFile file_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insertRow_ = nullptr;
  sqlite3_stmt* insertUnreadable_ = nullptr;
  sqlite3_stmt* insertModule_ = nullptr;
  UniqueNames tableNames_;
  std::string tableName_;                 // SQLite name of the current table
  std::vector<std::string> columnNames_;  // SQLite names of its columns
};

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_SQLITE_WRITER_H_
