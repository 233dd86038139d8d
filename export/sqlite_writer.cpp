// Writes the export into a SQLite database through the system library.

#include "export/sqlite_writer.h"

#include <sqlite3.h>

#include <cstring>

namespace ravelin {
namespace {

constexpr const char* kProvenanceTables[] = {"ravelin_run", "ravelin_tables", "ravelin_columns", "ravelin_modules",
                                             "ravelin_unreadable"};

constexpr char kProvenanceSchema[] =
    "CREATE TABLE ravelin_run(source_file TEXT, source_size INTEGER, database_name TEXT, version TEXT, "
    "collation TEXT, run_time TEXT, program_version TEXT, recovery_mode TEXT, deleted_options TEXT, "
    "completed INTEGER);"
    "CREATE TABLE ravelin_tables(table_name TEXT, schema_name TEXT, source_name TEXT, object_id INTEGER, "
    "row_count INTEGER, pages INTEGER, recovery_mode TEXT, deleted_options TEXT, values_unreadable INTEGER, "
    "status TEXT, note TEXT);"
    "CREATE TABLE ravelin_columns(table_name TEXT, position INTEGER, column_name TEXT, source_name TEXT, "
    "sql_type TEXT, nullable INTEGER, identity TEXT, primary_key INTEGER, foreign_key TEXT, computed TEXT);"
    "CREATE TABLE ravelin_modules(schema_name TEXT, name TEXT, type TEXT, definition TEXT);"
    "CREATE TABLE ravelin_unreadable(table_name TEXT, row_number INTEGER, column_name TEXT);";

// Binds `text` (which outlives the statement's next step) or NULL.
void BindText(sqlite3_stmt* s, int index, const std::string& text) {
  sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

void BindTextOrNull(sqlite3_stmt* s, int index, const std::string& text) {
  if (text.empty())
    sqlite3_bind_null(s, index);
  else
    BindText(s, index, text);
}

// "schema.table(column)" for each foreign key `column` belongs to.
std::string ForeignKeyText(const ExportTable& table, const std::string& column) {
  std::string text;
  for (const ExportForeignKey& fk : table.foreignKeys) {
    for (size_t i = 0; i < fk.columns.size(); ++i) {
      if (fk.columns[i] != column) continue;
      if (!text.empty()) text += "; ";
      text += fk.referencedSchema + "." + fk.referencedTable;
      if (i < fk.referencedColumns.size()) text += "(" + fk.referencedColumns[i] + ")";
    }
  }
  return text;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += '\n';
    text += line;
  }
  return text;
}

}  // namespace

const char* SqliteColumnType(ValueFamily family) {
  switch (family) {
    case ValueFamily::kInteger:
    case ValueFamily::kBit:
      return "INTEGER";
    case ValueFamily::kFloat:
    case ValueFamily::kReal:
      return "REAL";
    case ValueFamily::kBinary:
    case ValueFamily::kTimestamp:
    case ValueFamily::kSqlVariant:
    case ValueFamily::kOther:
      return "BLOB";
    default:
      return "TEXT";
  }
}

SqliteWriter::SqliteWriter(ExportOutput output) : ExportWriter(std::move(output)) {}

SqliteWriter::~SqliteWriter() {
  CloseDatabase();
  file_.Discard();
}

std::string SqliteWriter::SqliteError(const std::string& what) const {
  std::string text = what + " " + output().path + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
  if (db_) {
    // The file's own last error is the more reliable: the library's may
    // have been replaced by later calls.
    int code = 0;
    if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_LAST_ERRNO, &code) != SQLITE_OK || code == 0)
      code = sqlite3_system_errno(db_);
    if (code != 0) text += std::string(" (") + std::strerror(code) + ")";
  }
  return text;
}

bool SqliteWriter::Exec(const std::string& sql, std::string& error) {
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  error = SqliteError("cannot write");
  return false;
}

bool SqliteWriter::Prepare(const std::string& sql, sqlite3_stmt** statement, std::string& error) {
  if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, statement,
                         nullptr) == SQLITE_OK)
    return true;
  error = SqliteError("cannot write");
  return false;
}

bool SqliteWriter::Step(sqlite3_stmt* statement, std::string& error) {
  const int rc = sqlite3_step(statement);
  const bool ok = rc == SQLITE_DONE || rc == SQLITE_ROW;
  if (!ok) error = SqliteError("cannot write");  // before the reset clears the reason
  sqlite3_reset(statement);
  return ok;
}

void SqliteWriter::CloseDatabase() {
  for (sqlite3_stmt** s : {&insertRow_, &insertUnreadable_, &insertModule_}) {
    sqlite3_finalize(*s);
    *s = nullptr;
  }
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
}

bool SqliteWriter::DoBegin(std::string& error) {
  if (!CheckOutputFile(output().path, output().force, run().inputFiles, error)) return false;
  if (!file_.Create(output().path, error) || !file_.Close(error)) return false;
  if (sqlite3_open_v2(file_.path().c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    error = SqliteError("cannot create");
    return false;
  }
  sqlite3_extended_result_codes(db_, 1);
  if (!Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE; "
            "PRAGMA temp_store=MEMORY; PRAGMA cache_size=-32768; PRAGMA encoding='UTF-8';",
            error))
    return false;
  if (!Exec(std::string("BEGIN;") + kProvenanceSchema, error)) return false;
  for (const char* name : kProvenanceTables) tableNames_.Reserve(name);

  sqlite3_stmt* insertRun = nullptr;
  if (!Prepare("INSERT INTO ravelin_run VALUES (?,?,?,?,?,?,?,?,?,0)", &insertRun, error)) return false;
  const ExportRun& r = run();
  BindText(insertRun, 1, r.sourceFile);
  sqlite3_bind_int64(insertRun, 2, r.sourceSize);
  BindText(insertRun, 3, r.databaseName);
  BindText(insertRun, 4, r.versionText);
  BindText(insertRun, 5, r.collation);
  BindText(insertRun, 6, r.runTime);
  BindText(insertRun, 7, r.programVersion);
  BindText(insertRun, 8, r.recoveryMode);
  BindText(insertRun, 9, r.deletedOptions);
  const bool ok = Step(insertRun, error);
  sqlite3_finalize(insertRun);
  return ok && Exec("COMMIT", error) &&
         Prepare("INSERT INTO ravelin_unreadable VALUES (?,?,?)", &insertUnreadable_, error) &&
         Prepare("INSERT INTO ravelin_modules VALUES (?,?,?,?)", &insertModule_, error);
}

bool SqliteWriter::DoBeginTable(std::string& error) {
  const ExportTable& t = table();
  tableName_ = tableNames_.Claim(SqliteTableName(t.schema, t.name));
  current().outputName = tableName_;
  UniqueNames columns;
  if (run().withStatus) columns.Reserve("ravelin_status");
  columnNames_.clear();
  for (const ExportColumn& c : t.columns) columnNames_.push_back(columns.Claim(c.name));

  std::string create = "BEGIN; CREATE TABLE ";
  AppendSqliteName(create, tableName_);
  create += " (";
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (i > 0) create += ", ";
    AppendSqliteName(create, columnNames_[i]);
    create += ' ';
    create += SqliteColumnType(t.columns[i].family);
  }
  if (run().withStatus) create += ", ravelin_status TEXT";
  create += ");";
  if (!Exec(create, error)) return false;

  sqlite3_stmt* insertColumn = nullptr;
  if (!Prepare("INSERT INTO ravelin_columns VALUES (?,?,?,?,?,?,?,?,?,?)", &insertColumn, error)) return false;
  bool ok = true;
  for (size_t i = 0; i < t.columns.size() && ok; ++i) {
    const ExportColumn& c = t.columns[i];
    const std::string identity =
        c.identity ? "IDENTITY(" + c.identity->seed + "," + c.identity->increment + ")" : std::string();
    const std::string foreignKey = ForeignKeyText(t, c.name);
    BindText(insertColumn, 1, tableName_);
    sqlite3_bind_int64(insertColumn, 2, static_cast<int64_t>(i + 1));
    BindText(insertColumn, 3, columnNames_[i]);
    BindText(insertColumn, 4, c.name);
    BindText(insertColumn, 5, c.declaredType);
    sqlite3_bind_int(insertColumn, 6, c.nullable ? 1 : 0);
    BindTextOrNull(insertColumn, 7, identity);
    if (const int ordinal = PrimaryKeyOrdinal(t, c.name); ordinal > 0)
      sqlite3_bind_int(insertColumn, 8, ordinal);
    else
      sqlite3_bind_null(insertColumn, 8);
    BindTextOrNull(insertColumn, 9, foreignKey);
    BindTextOrNull(insertColumn, 10, c.computedExpression);
    ok = Step(insertColumn, error);
  }
  sqlite3_finalize(insertColumn);
  if (!ok) return false;

  std::string insert = "INSERT INTO ";
  AppendSqliteName(insert, tableName_);
  insert += " VALUES (";
  const size_t parameters = t.columns.size() + (run().withStatus ? 1 : 0);
  for (size_t i = 0; i < parameters; ++i) insert += i == 0 ? "?" : ",?";
  insert += ")";
  return Prepare(insert, &insertRow_, error);
}

bool SqliteWriter::DoWriteRow(std::span<const ExportValue> values, RowStatus status, std::string& error) {
  sqlite3_stmt* s = insertRow_;
  bool unreadable = false;
  for (size_t i = 0; i < values.size(); ++i) {
    const ExportValue& v = values[i];
    const int index = static_cast<int>(i + 1);
    if (IsUnreadable(v)) {
      unreadable = true;
      sqlite3_bind_null(s, index);
      continue;
    }
    switch (v.kind) {
      case ValueKind::kNull:
      case ValueKind::kUnreadable:
        sqlite3_bind_null(s, index);
        break;
      case ValueKind::kInteger:
      case ValueKind::kBit:
        sqlite3_bind_int64(s, index, v.integer);
        break;
      case ValueKind::kReal:
        sqlite3_bind_double(s, index, v.real);
        break;
      case ValueKind::kExact:
      case ValueKind::kText:
        BindText(s, index, v.text);
        break;
      case ValueKind::kBinary:
        sqlite3_bind_blob(s, index, v.text.data(), static_cast<int>(v.text.size()), SQLITE_STATIC);
        break;
    }
  }
  if (run().withStatus)
    sqlite3_bind_text(s, static_cast<int>(values.size() + 1), RowStatusText(status), -1, SQLITE_STATIC);
  if (!Step(s, error)) return false;
  if (!unreadable) return true;
  for (size_t i = 0; i < values.size(); ++i) {
    if (!IsUnreadable(values[i])) continue;
    BindText(insertUnreadable_, 1, tableName_);
    sqlite3_bind_int64(insertUnreadable_, 2, static_cast<int64_t>(rowNumber()));
    BindText(insertUnreadable_, 3, columnNames_[i]);
    if (!Step(insertUnreadable_, error)) return false;
  }
  return true;
}

bool SqliteWriter::DoEndTable(std::string& error) {
  sqlite3_finalize(insertRow_);
  insertRow_ = nullptr;
  const ExportTable& t = table();
  const TableResult& result = current();
  sqlite3_stmt* insertTable = nullptr;
  if (!Prepare("INSERT INTO ravelin_tables VALUES (?,?,?,?,?,?,?,?,?,'written',?)", &insertTable, error)) return false;
  const std::string note = JoinLines(result.warnings);
  BindText(insertTable, 1, tableName_);
  BindText(insertTable, 2, t.schema);
  BindText(insertTable, 3, t.name);
  sqlite3_bind_int64(insertTable, 4, t.objectId);
  sqlite3_bind_int64(insertTable, 5, static_cast<int64_t>(result.rows));
  sqlite3_bind_int64(insertTable, 6, result.pages);
  BindText(insertTable, 7, run().recoveryMode);
  BindText(insertTable, 8, run().deletedOptions);
  sqlite3_bind_int64(insertTable, 9, static_cast<int64_t>(result.unreadableValues));
  BindTextOrNull(insertTable, 10, note);
  const bool ok = Step(insertTable, error);
  sqlite3_finalize(insertTable);
  return ok && Exec("COMMIT", error);
}

bool SqliteWriter::DoSkipTable(const SkippedTable& skipped, std::string& error) {
  sqlite3_stmt* insertTable = nullptr;
  if (!Prepare("INSERT INTO ravelin_tables VALUES (NULL,?,?,NULL,0,0,?,?,0,'skipped',?)", &insertTable, error))
    return false;
  BindText(insertTable, 1, skipped.schema);
  BindText(insertTable, 2, skipped.name);
  BindText(insertTable, 3, run().recoveryMode);
  BindText(insertTable, 4, run().deletedOptions);
  BindText(insertTable, 5, skipped.reason);
  const bool ok = Step(insertTable, error);
  sqlite3_finalize(insertTable);
  return ok;
}

bool SqliteWriter::DoAddModule(const ExportModule& module, std::string& error) {
  BindText(insertModule_, 1, module.schema);
  BindText(insertModule_, 2, module.name);
  sqlite3_bind_text(insertModule_, 3, ModuleTypeName(module.type), -1, SQLITE_STATIC);
  BindText(insertModule_, 4, module.definition);
  return Step(insertModule_, error);
}

bool SqliteWriter::DoFinish(bool stopped, std::string& error) {
  if (inTable()) {
    // With the journal off nothing rolls back: the rows written so far are
    // committed and the unfinished table dropped.
    sqlite3_finalize(insertRow_);
    insertRow_ = nullptr;
    std::string drop = "COMMIT; BEGIN; DROP TABLE ";
    AppendSqliteName(drop, tableName_);
    if (!Exec(drop, error)) return false;
    sqlite3_stmt* purge = nullptr;
    for (const char* sql : {"DELETE FROM ravelin_columns WHERE table_name = ?1",
                            "DELETE FROM ravelin_unreadable WHERE table_name = ?1"}) {
      if (!Prepare(sql, &purge, error)) return false;
      BindText(purge, 1, tableName_);
      const bool ok = Step(purge, error);
      sqlite3_finalize(purge);
      if (!ok) return false;
    }
    if (!Exec("COMMIT", error)) return false;
  }
  if (!Exec(stopped ? "UPDATE ravelin_run SET completed = 0" : "UPDATE ravelin_run SET completed = 1", error))
    return false;
  sqlite3_finalize(insertUnreadable_);
  sqlite3_finalize(insertModule_);
  insertUnreadable_ = insertModule_ = nullptr;
  if (sqlite3_close(db_) != SQLITE_OK) {
    error = SqliteError("cannot close");
    return false;
  }
  db_ = nullptr;
  return file_.Commit(output().force, error);
}

void SqliteWriter::DoAbort() {
  CloseDatabase();
  file_.Discard();
}

}  // namespace ravelin
