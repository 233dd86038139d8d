// Names in the outputs: quoted identifiers of both SQL dialects, the
// SQLite table names and the CSV file names, made unique within an export.
//
// SQLite tables are named as the table is named in SQL Server, without the
// "dbo." prefix ("Orders", "sales.Orders"). A name starting with "sqlite_"
// (which SQLite keeps for itself) gets "_" in front. A name that is taken
// already, compared without regard to ASCII case as SQLite compares names
// (the provenance tables' names are always taken), gets "_2", "_3", ...:
// the first that is free. Columns of a table are made unique the same way,
// "ravelin_status" being taken when the table has a status column.
//
// CSV files are named "schema.table.csv" (the schema always written).
// Control characters and / \ : * ? " < > | are replaced by "_"; a name
// that starts with "." or whose part before the first "." is a device
// name of Windows (CON, PRN, AUX, NUL, COM1-9, LPT1-9) gets "_" in front;
// a name longer than 240 bytes is cut at a character boundary; a name
// taken already (without regard to ASCII case) gets "_2", "_3", ... before
// ".csv".

#ifndef RAVELIN_EXPORT_EXPORT_NAMES_H_
#define RAVELIN_EXPORT_EXPORT_NAMES_H_

#include <string>
#include <string_view>
#include <unordered_set>

namespace ravelin {

// [name] with "]" doubled.
void AppendTsqlName(std::string& out, std::string_view name);
std::string TsqlName(std::string_view name);
// [schema].[name]
std::string TsqlQualifiedName(std::string_view schema, std::string_view name);

// "name" with '"' doubled.
void AppendSqliteName(std::string& out, std::string_view name);
std::string SqliteName(std::string_view name);

// Names handed out once each, compared without regard to ASCII case.
class UniqueNames {
 public:
  void Reserve(std::string_view name);
  bool Taken(std::string_view name) const;
  // `wanted` when free, else `wanted` + "_2", "_3", ... (before `suffix`,
  // which every returned name ends with). The name is taken.
  std::string Claim(const std::string& wanted, const std::string& suffix = "");

 private:
  std::unordered_set<std::string> taken_;
};

// The SQLite table name of a SQL Server table, before uniqueness.
std::string SqliteTableName(std::string_view schema, std::string_view name);

// The CSV file name of a table without ".csv" and before uniqueness.
std::string CsvFileStem(std::string_view schema, std::string_view name);

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_EXPORT_NAMES_H_
