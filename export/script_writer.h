// The T-SQL script export: a script that rebuilds the recovered database on
// SQL Server. UTF-8 with a byte order mark, CRLF line ends, batches ended
// by GO lines. In order:
//
//   SET NOCOUNT, ANSI_NULLS and QUOTED_IDENTIFIER ON.
//   Per table, in the order given (CREATE SCHEMA before the first table or
//   module of every schema other than dbo):
//     CREATE TABLE [schema].[name] with the columns in order, their types,
//       NULL / NOT NULL, IDENTITY(seed,increment), SPARSE, computed columns
//       as "AS (expression) [PERSISTED]", the primary key and unique keys;
//     its live rows as INSERT statements of at most 1000 rows, inside
//       SET IDENTITY_INSERT ON / OFF where there is an identity column.
//       Computed columns, columns that are not stored and timestamp columns
//       (which the server sets) get no values;
//     with the deleted-record options, rows of any other status go into
//       [schema].[name_deleted]: the same columns, all NULL, without
//       identity or keys, timestamp columns as binary(8), plus
//       [ravelin_status] ("ravelin_status_2"… if a column has that name);
//       the table is created before its first row.
//   Foreign keys, WITH NOCHECK (recovered data may be incomplete).
//   Views, functions, procedures and triggers, each as its own batch, each
//     after the modules its text names (module_order.h). A definition
//     with a line GO of its own is run through EXEC(N'…'). Texts that are
//     only an expression (default and check constraints) are scripted with
//     their tables below; modules without a text get a comment.
//   Default constraints: ALTER TABLE … ADD CONSTRAINT … DEFAULT expr FOR col.
//   Check constraints: ALTER TABLE … WITH NOCHECK ADD CONSTRAINT … CHECK (expr).
//
// Literals are those of tsql_text.h. A row with an unreadable value is
// inserted on its own, after a comment naming the columns, with
// NULL /* unreadable */ for them: where such a column is NOT NULL only that
// statement fails, and the script goes on.
//
// Nothing exists under the final name until Finish; a Stop leaves nothing.

#ifndef RAVELIN_EXPORT_SCRIPT_WRITER_H_
#define RAVELIN_EXPORT_SCRIPT_WRITER_H_

#include <set>
#include <string>
#include <vector>

#include "export/export_writer.h"
#include "export/output_file.h"

namespace ravelin {

class ScriptWriter : public ExportWriter {
 public:
  // At most this many rows per INSERT (SQL Server's limit for VALUES).
  static constexpr size_t kRowsPerInsert = 1000;

  explicit ScriptWriter(ExportOutput output) : ExportWriter(std::move(output)) {}

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
  // How the rows of one target table ([name] or [name_deleted]) are written.
  struct Target {
    std::string insertHead;       // "INSERT INTO [s].[t] ([a], [b]) VALUES\r\n"
    std::vector<size_t> columns;  // the table's columns that get values
    bool status = false;          // a [ravelin_status] value ends each row
    size_t rows = 0;              // rows in the open statement
  };

  void EnsureSchema(const std::string& schema);
  void WriteCreateTable();
  void WriteCreateDeletedTable();
  // The values of a row as "(…)".
  void AppendRow(std::string& out, std::span<const ExportValue> values, const Target& target, RowStatus status);
  // Closes the open INSERT of the live table.
  void CloseLiveInsert();
  // Writes the buffered rows of the deleted table.
  void FlushDeleted();
  void WriteUnreadableRow(std::span<const ExportValue> values, RowStatus status);

  BufferedOutput out_;
  std::set<std::string> schemas_;  // schemas created so far
  Target live_;
  Target deleted_;
  std::string deletedRows_;   // rows of the deleted table not yet written
  std::string statusColumn_;  // "ravelin_status" unless a column has that name
  bool deletedCreated_ = false;
  bool identityInsert_ = false;
  bool identityOn_ = false;
  size_t liveBytes_ = 0;  // size of the open live INSERT

  std::string foreignKeys_;  // statements written after every table
  std::string defaults_;
  std::string checks_;
  std::vector<ExportModule> modules_;
};

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_SCRIPT_WRITER_H_
