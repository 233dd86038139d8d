// Writes the export as a T-SQL script that rebuilds the database.

#include "export/script_writer.h"

#include "export/export_names.h"
#include "export/module_order.h"
#include "export/tsql_text.h"

namespace ravelin {
namespace {

constexpr char kEnd[] = "\r\n";
constexpr char kGo[] = "GO\r\n";
// Statements are closed early past these sizes, so that no batch grows
// without bound when rows are large.
constexpr size_t kMaxInsertBytes = 16u << 20;
constexpr size_t kMaxDeletedBytes = 4u << 20;
constexpr char kStatusColumn[] = "ravelin_status";

bool GetsValues(const ExportColumn& c) {
  return c.stored && c.computedExpression.empty() && !c.columnSet && c.family != ValueFamily::kTimestamp;
}

void AppendNameList(std::string& out, const std::vector<std::string>& names) {
  out += '(';
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += ", ";
    AppendTsqlName(out, names[i]);
  }
  out += ')';
}

const char* ReferentialAction(const std::string& action) {
  for (const char* known : {"CASCADE", "SET NULL", "SET DEFAULT", "NO ACTION"})
    if (action == known) return known;
  return nullptr;
}

// Whether a line of `text` is a batch separator of its own, which would
// cut the definition in two.
bool HasGoLine(std::string_view text) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.size() >= 2 && (line[0] == 'G' || line[0] == 'g') && (line[1] == 'O' || line[1] == 'o')) {
      line.remove_prefix(2);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
      bool count = true;
      for (char c : line)
        if (!(c == ' ' || c == '\t' || (c >= '0' && c <= '9'))) count = false;
      if (count) return true;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

bool ScriptWriter::DoBegin(std::string& error) {
  if (!CheckOutputFile(output().path, output().force, run().inputFiles, error)) return false;
  if (!out_.Open(output().path, error)) return false;
  const ExportRun& r = run();
  std::string& o = out_.buffer();
  o += "\xEF\xBB\xBF";
  o += "-- Database " + CommentText(r.databaseName) + " recovered from " + CommentText(r.sourceFile) + " (" +
       std::to_string(r.sourceSize) + " bytes)" + kEnd;
  o += "-- SQL Server version: " + CommentText(r.versionText) + "; collation: " + CommentText(r.collation) + kEnd;
  o += "-- Written by " + CommentText(r.programVersion) + " at " + CommentText(r.runTime) + ", " +
       CommentText(r.recoveryMode) + " mode, deleted records: " + CommentText(r.deletedOptions) + kEnd;
  o += "-- Run it in the database that is to receive the tables.";
  o += kEnd;
  o += "SET NOCOUNT ON;\r\nSET ANSI_NULLS ON;\r\nSET QUOTED_IDENTIFIER ON;\r\n";
  o += kGo;
  return true;
}

void ScriptWriter::EnsureSchema(const std::string& schema) {
  if (schema == "dbo" || !schemas_.insert(schema).second) return;
  std::string& o = out_.buffer();
  o += "CREATE SCHEMA ";
  AppendTsqlName(o, schema);
  o += ';';
  o += kEnd;
  o += kGo;
}

void ScriptWriter::WriteCreateTable() {
  const ExportTable& t = table();
  std::string& o = out_.buffer();
  o += kEnd;
  o += "CREATE TABLE " + TsqlQualifiedName(t.schema, t.name) + " (";
  bool first = true;
  for (const ExportColumn& c : t.columns) {
    o += first ? "\r\n  " : ",\r\n  ";
    first = false;
    AppendTsqlName(o, c.name);
    if (!c.computedExpression.empty()) {
      o += " AS (" + c.computedExpression + ")";
      if (c.persisted) o += " PERSISTED";
      if (c.persisted && !c.nullable) o += " NOT NULL";
      continue;
    }
    if (c.columnSet) {
      o += " xml COLUMN_SET FOR ALL_SPARSE_COLUMNS";
      continue;
    }
    o += ' ';
    o += SafeTypeText(c.declaredType);
    if (c.sparse) o += " SPARSE";
    if (c.identity && IsDecimalText(c.identity->seed) && IsDecimalText(c.identity->increment))
      o += " IDENTITY(" + c.identity->seed + "," + c.identity->increment + ")";
    o += c.nullable ? " NULL" : " NOT NULL";
    if (!c.stored) o += " /* not stored: no values */";
  }
  auto appendKey = [&](const ExportKey& key, const char* kind) {
    o += ",\r\n  ";
    if (!key.name.empty()) o += "CONSTRAINT " + TsqlName(key.name) + " ";
    o += kind;
    o += key.clustered ? " CLUSTERED " : " NONCLUSTERED ";
    AppendNameList(o, key.columns);
  };
  if (t.primaryKey && !t.primaryKey->columns.empty()) appendKey(*t.primaryKey, "PRIMARY KEY");
  for (const ExportKey& key : t.uniqueKeys)
    if (!key.columns.empty()) appendKey(key, "UNIQUE");
  o += "\r\n);\r\n";
  o += kGo;
}

void ScriptWriter::WriteCreateDeletedTable() {
  const ExportTable& t = table();
  std::string& o = out_.buffer();
  o += "CREATE TABLE " + TsqlQualifiedName(t.schema, t.name + "_deleted") + " (";
  bool first = true;
  for (const ExportColumn& c : t.columns) {
    o += first ? "\r\n  " : ",\r\n  ";
    first = false;
    AppendTsqlName(o, c.name);
    if (!c.computedExpression.empty()) {
      o += " AS (" + c.computedExpression + ")";
      continue;
    }
    if (c.columnSet) {
      o += " xml COLUMN_SET FOR ALL_SPARSE_COLUMNS";
      continue;
    }
    o += ' ';
    o += c.family == ValueFamily::kTimestamp ? std::string("binary(8)") : SafeTypeText(c.declaredType);
    if (c.sparse) o += " SPARSE";
    o += " NULL";
  }
  o += ",\r\n  ";
  AppendTsqlName(o, statusColumn_);
  o += " nvarchar(10) NOT NULL\r\n);\r\n";
  o += kGo;
  deletedCreated_ = true;
}

bool ScriptWriter::DoBeginTable(std::string& error) {
  const ExportTable& t = table();
  current().outputName = TsqlQualifiedName(t.schema, t.name);
  EnsureSchema(t.schema);
  WriteCreateTable();

  live_ = Target{};
  deleted_ = Target{};
  deletedRows_.clear();
  deletedCreated_ = false;
  identityInsert_ = false;
  identityOn_ = false;
  liveBytes_ = 0;
  std::vector<std::string> liveNames;
  std::vector<std::string> deletedNames;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const ExportColumn& c = t.columns[i];
    if (GetsValues(c)) {
      live_.columns.push_back(i);
      liveNames.push_back(c.name);
      if (c.identity) identityInsert_ = true;
    }
    if (GetsValues(c) || (c.family == ValueFamily::kTimestamp && c.stored && c.computedExpression.empty())) {
      deleted_.columns.push_back(i);
      deletedNames.push_back(c.name);
    }
  }
  if (!liveNames.empty()) {
    live_.insertHead = "INSERT INTO " + TsqlQualifiedName(t.schema, t.name) + " ";
    AppendNameList(live_.insertHead, liveNames);
    live_.insertHead += " VALUES\r\n";
  } else {
    live_.insertHead = "INSERT INTO " + TsqlQualifiedName(t.schema, t.name) + " DEFAULT VALUES;\r\n";
  }
  UniqueNames names;
  for (const ExportColumn& c : t.columns) names.Reserve(c.name);
  statusColumn_ = names.Claim(kStatusColumn);
  deletedNames.push_back(statusColumn_);
  deleted_.status = true;
  deleted_.insertHead = "INSERT INTO " + TsqlQualifiedName(t.schema, t.name + "_deleted") + " ";
  AppendNameList(deleted_.insertHead, deletedNames);
  deleted_.insertHead += " VALUES\r\n";
  return out_.MaybeFlush(error);
}

void ScriptWriter::AppendRow(std::string& out, std::span<const ExportValue> values, const Target& target,
                             RowStatus status) {
  const std::vector<ExportColumn>& columns = table().columns;
  out += '(';
  bool first = true;
  for (size_t i : target.columns) {
    if (!first) out += ", ";
    first = false;
    const ExportColumn& c = columns[i];
    if (c.family == ValueFamily::kTimestamp && values[i].kind == ValueKind::kBinary) {
      // Into binary(8) of the deleted table.
      AppendTsqlLiteral(out, values[i], ValueFamily::kBinary, "binary(8)");
      continue;
    }
    AppendTsqlLiteral(out, values[i], c.family, c.declaredType);
  }
  if (target.status) {
    if (!first) out += ", ";
    out += "N'";
    out += RowStatusText(status);
    out += '\'';
  }
  out += ')';
}

void ScriptWriter::CloseLiveInsert() {
  if (live_.rows == 0) return;
  out_.buffer() += ";\r\n";
  out_.buffer() += kGo;
  live_.rows = 0;
  liveBytes_ = 0;
}

void ScriptWriter::FlushDeleted() {
  if (deleted_.rows == 0) return;
  CloseLiveInsert();
  if (!deletedCreated_) WriteCreateDeletedTable();
  std::string& o = out_.buffer();
  o += deleted_.insertHead;
  o += deletedRows_;
  o += ";\r\n";
  o += kGo;
  deletedRows_.clear();
  deleted_.rows = 0;
}

void ScriptWriter::WriteUnreadableRow(std::span<const ExportValue> values, RowStatus status) {
  const bool live = status == RowStatus::kLive;
  if (live) {
    CloseLiveInsert();
  } else {
    FlushDeleted();
    if (!deletedCreated_) WriteCreateDeletedTable();
  }
  if (live && identityInsert_ && !identityOn_) {
    out_.buffer() += "SET IDENTITY_INSERT " + TsqlQualifiedName(table().schema, table().name) + " ON;\r\n";
    identityOn_ = true;
  }
  const Target& target = live ? live_ : deleted_;
  std::string& o = out_.buffer();
  o += "-- row " + std::to_string(rowNumber()) + ": could not be read:";
  for (size_t i = 0; i < values.size(); ++i)
    if (IsUnreadable(values[i])) o += " " + CommentText(TsqlName(table().columns[i].name));
  o += kEnd;
  if (target.columns.empty()) {
    o += target.insertHead;
  } else {
    o += target.insertHead;
    AppendRow(o, values, target, status);
    o += ";\r\n";
  }
  o += kGo;
}

bool ScriptWriter::DoWriteRow(std::span<const ExportValue> values, RowStatus status, std::string& error) {
  bool unreadable = false;
  for (const ExportValue& v : values)
    if (IsUnreadable(v)) unreadable = true;
  if (unreadable) {
    WriteUnreadableRow(values, status);
    return out_.MaybeFlush(error);
  }
  if (status != RowStatus::kLive) {
    if (deleted_.rows > 0) deletedRows_ += ",\r\n";
    AppendRow(deletedRows_, values, deleted_, status);
    if (++deleted_.rows >= kRowsPerInsert || deletedRows_.size() > kMaxDeletedBytes) FlushDeleted();
    return out_.MaybeFlush(error);
  }
  std::string& o = out_.buffer();
  if (live_.columns.empty()) {
    o += live_.insertHead;
    return out_.MaybeFlush(error);
  }
  const size_t before = o.size();
  if (live_.rows == 0) {
    if (identityInsert_ && !identityOn_) {
      o += "SET IDENTITY_INSERT " + TsqlQualifiedName(table().schema, table().name) + " ON;\r\n";
      identityOn_ = true;
    }
    o += live_.insertHead;
  } else {
    o += ",\r\n";
  }
  AppendRow(o, values, live_, status);
  liveBytes_ += o.size() - before;
  if (++live_.rows >= kRowsPerInsert || liveBytes_ > kMaxInsertBytes) CloseLiveInsert();
  return out_.MaybeFlush(error);
}

bool ScriptWriter::DoEndTable(std::string& error) {
  CloseLiveInsert();
  FlushDeleted();
  const ExportTable& t = table();
  std::string& o = out_.buffer();
  if (identityOn_) {
    o += "SET IDENTITY_INSERT " + TsqlQualifiedName(t.schema, t.name) + " OFF;\r\n";
    o += kGo;
    identityOn_ = false;
  }
  const std::string qualified = TsqlQualifiedName(t.schema, t.name);
  for (const ExportForeignKey& fk : t.foreignKeys) {
    if (fk.columns.empty() || fk.referencedTable.empty()) continue;
    std::string& f = foreignKeys_;
    f += "ALTER TABLE " + qualified + " WITH NOCHECK ADD ";
    if (!fk.name.empty()) f += "CONSTRAINT " + TsqlName(fk.name) + " ";
    f += "FOREIGN KEY ";
    AppendNameList(f, fk.columns);
    f += " REFERENCES " +
         TsqlQualifiedName(fk.referencedSchema.empty() ? "dbo" : fk.referencedSchema, fk.referencedTable);
    if (!fk.referencedColumns.empty()) {
      f += ' ';
      AppendNameList(f, fk.referencedColumns);
    }
    if (const char* action = ReferentialAction(fk.onDelete)) f += std::string(" ON DELETE ") + action;
    if (const char* action = ReferentialAction(fk.onUpdate)) f += std::string(" ON UPDATE ") + action;
    f += ";\r\n";
  }
  for (const ExportDefault& d : t.defaults) {
    if (d.expression.empty() || d.column.empty()) continue;
    defaults_ += "ALTER TABLE " + qualified + " ADD ";
    if (!d.name.empty()) defaults_ += "CONSTRAINT " + TsqlName(d.name) + " ";
    defaults_ += "DEFAULT " + d.expression + " FOR " + TsqlName(d.column) + ";\r\n";
  }
  for (const ExportCheck& c : t.checks) {
    if (c.expression.empty()) continue;
    checks_ += "ALTER TABLE " + qualified + " WITH NOCHECK ADD ";
    if (!c.name.empty()) checks_ += "CONSTRAINT " + TsqlName(c.name) + " ";
    checks_ += "CHECK (" + c.expression + ");\r\n";
  }
  return out_.Flush(error);
}

bool ScriptWriter::DoSkipTable(const SkippedTable& skipped, std::string& error) {
  out_.buffer() += "-- " + CommentText(TsqlQualifiedName(skipped.schema, skipped.name)) +
                   " was not recovered: " + CommentText(skipped.reason) + kEnd;
  return out_.MaybeFlush(error);
}

bool ScriptWriter::DoAddModule(const ExportModule& module, std::string&) {
  modules_.push_back(module);
  return true;
}

bool ScriptWriter::DoFinish(bool stopped, std::string& error) {
  if (stopped) {
    out_.Discard();
    return true;
  }
  std::string& o = out_.buffer();
  if (!foreignKeys_.empty()) {
    o += kEnd;
    o += "-- Foreign keys, not checked against the recovered rows.\r\n";
    o += foreignKeys_;
    o += kGo;
  }
  for (size_t k : CreationOrder(modules_)) {
    const ExportModule& m = modules_[k];
    const std::string label = CommentText(TsqlQualifiedName(m.schema, m.name)) + " (" + ModuleTypeName(m.type) + ")";
    if (m.definition.empty()) {
      o += "-- " + label + ": no definition text was recovered.\r\n";
      continue;
    }
    if (!IsCreateStatement(m.definition)) continue;  // a constraint's expression: scripted with its table
    EnsureSchema(m.schema);
    // The batch is the definition and nothing more: SQL Server keeps the
    // whole batch as the module's text.
    if (HasGoLine(m.definition)) {
      o += "EXEC(N'";
      for (char c : m.definition) {
        o += c;
        if (c == '\'') o += '\'';
      }
      o += "');";
    } else {
      o += m.definition;
    }
    if (o.empty() || o.back() != '\n') o += kEnd;
    o += kGo;
    if (!out_.MaybeFlush(error)) return false;
  }
  if (!defaults_.empty()) {
    o += kEnd;
    o += defaults_;
    o += kGo;
  }
  if (!checks_.empty()) {
    o += kEnd;
    o += "-- Check constraints, not checked against the recovered rows.\r\n";
    o += checks_;
    o += kGo;
  }
  return out_.Commit(output().force, error);
}

void ScriptWriter::DoAbort() { out_.Discard(); }

}  // namespace ravelin
