// What the export writers are given: a neutral, typed description of the
// recovered tables, their columns, keys and constraints, their rows one at
// a time, the definitions of modules, and what the run read. Nothing here
// knows pages or the catalog; the export driver fills these from them.
//
// Values arrive row by row (ExportValue, one per column of the table, in
// column order) and are written at once; a writer never holds a table.

#ifndef RAVELIN_EXPORT_EXPORT_MODEL_H_
#define RAVELIN_EXPORT_EXPORT_MODEL_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rows/row_status.h"

namespace ravelin {

// The SQL Server type family of a column: it decides how values are
// declared, quoted and typed in every output format.
enum class ValueFamily : uint8_t {
  kInteger,           // tinyint, smallint, int, bigint
  kBit,               // bit
  kFloat,             // float (8 bytes)
  kReal,              // real, float(1..24) (4 bytes)
  kExactNumeric,      // decimal, numeric
  kMoney,             // money, smallmoney
  kCharacter,         // char, varchar, text
  kUnicode,           // nchar, nvarchar, ntext, sysname
  kDate,              // date
  kTime,              // time
  kDateTime,          // datetime
  kSmallDateTime,     // smalldatetime
  kDateTime2,         // datetime2
  kDateTimeOffset,    // datetimeoffset
  kUniqueIdentifier,  // uniqueidentifier
  kBinary,            // binary, varbinary, image
  kTimestamp,         // timestamp / rowversion (8 bytes, set by the server)
  kXml,               // xml
  kSqlVariant,        // sql_variant: each value carries its own type
  kOther,             // CLR types (hierarchyid, geometry, geography, user CLR types)
};

// Whether the family's data texts are date or time texts.
bool IsDateTimeFamily(ValueFamily family);

struct ExportIdentity {
  // Decimal texts, exactly as declared (numeric identities exceed 64 bits).
  std::string seed = "1";
  std::string increment = "1";
};

struct ExportColumn {
  std::string name;
  // The type as a DBA writes it: "int", "nvarchar(15)", "nvarchar(max)",
  // "decimal(19,4)", "datetime2(7)", "varbinary(max)".
  std::string declaredType;
  ValueFamily family = ValueFamily::kCharacter;
  bool nullable = true;
  std::optional<ExportIdentity> identity;
  // Non-empty for a computed column: the expression text the catalog keeps.
  std::string computedExpression;
  bool persisted = false;  // a computed column whose values are stored
  // False where the catalog says the column has no stored values (a
  // computed column that is not persisted, a sparse column set): its
  // values, passed as NULL, are never scripted as data.
  bool stored = true;
  bool sparse = false;
  bool columnSet = false;  // xml COLUMN_SET FOR ALL_SPARSE_COLUMNS
};

struct ExportKey {
  std::string name;  // empty: unnamed
  std::vector<std::string> columns;
  bool clustered = false;
};

struct ExportForeignKey {
  std::string name;  // empty: unnamed
  std::vector<std::string> columns;
  std::string referencedSchema;
  std::string referencedTable;
  std::vector<std::string> referencedColumns;
  // "CASCADE", "SET NULL", "SET DEFAULT"; empty for NO ACTION.
  std::string onDelete;
  std::string onUpdate;
};

struct ExportDefault {
  std::string name;
  std::string column;
  std::string expression;  // as stored, e.g. "((0))" or "(getdate())"
};

struct ExportCheck {
  std::string name;
  std::string expression;  // as stored, e.g. "([Price]>=(0))"
};

struct ExportTable {
  std::string schema = "dbo";  // the owner for the 2000 layout
  std::string name;
  int64_t objectId = 0;
  std::vector<ExportColumn> columns;
  std::optional<ExportKey> primaryKey;
  std::vector<ExportKey> uniqueKeys;
  std::vector<ExportForeignKey> foreignKeys;
  std::vector<ExportDefault> defaults;
  std::vector<ExportCheck> checks;
};

// The 1-based position of `column` in the table's primary key; 0 when the
// column is not part of it.
int PrimaryKeyOrdinal(const ExportTable& table, const std::string& column);

// One value of a row. Strings keep their capacity when a value is reused
// for the next row, so a driver can refill one vector per table.
enum class ValueKind : uint8_t {
  kNull,        // SQL NULL
  kUnreadable,  // the value exists but could not be read: never NULL or ''
  kInteger,     // `integer`
  kBit,         // `integer` 0 or 1
  kReal,        // `real`; non-finite numbers count as unreadable
  kExact,       // `text`: an exact decimal with every digit ("1234.5600")
  kText,        // `text`: UTF-8, or the data text of a date, time or GUID
  kBinary,      // `text` holds the bytes
};

struct ExportValue {
  ValueKind kind = ValueKind::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string text;
  // sql_variant only: the type the value carries ("int", "nvarchar(20)",
  // "decimal(10,2)") and its family. An empty type writes the value as is.
  std::string variantType;
  ValueFamily variantFamily = ValueFamily::kBinary;

  void SetNull() { kind = ValueKind::kNull; }
  void SetUnreadable() { kind = ValueKind::kUnreadable; }
  void SetInteger(int64_t v) { kind = ValueKind::kInteger, integer = v; }
  void SetBit(bool v) { kind = ValueKind::kBit, integer = v ? 1 : 0; }
  void SetReal(double v) { kind = ValueKind::kReal, real = v; }
  void SetExact(std::string_view digits) { kind = ValueKind::kExact, text.assign(digits); }
  void SetText(std::string_view utf8) { kind = ValueKind::kText, text.assign(utf8); }
  void SetBinary(std::string_view bytes) { kind = ValueKind::kBinary, text.assign(bytes); }

  static ExportValue Null() { return {}; }
  static ExportValue Unreadable();
  static ExportValue Integer(int64_t v);
  static ExportValue Bit(bool v);
  static ExportValue Real(double v);
  static ExportValue Exact(std::string_view digits);
  static ExportValue Text(std::string_view utf8);
  static ExportValue Binary(std::string_view bytes);
  // A sql_variant value carrying `type` of `family`.
  ExportValue& Carrying(std::string type, ValueFamily family);
};

// Whether a value must be reported as unreadable (including a real that is
// not a finite number, which no SQL Server float can hold).
bool IsUnreadable(const ExportValue& value);

// Rows carry the listing's RowStatus (rows/row_status.h); with the
// deleted-record options every status is written, and named by
// RowStatusText.

enum class ModuleType : uint8_t {
  kView,
  kProcedure,
  kScalarFunction,
  kInlineFunction,
  kTableFunction,
  kTrigger,
  kDefault,  // a default object, or a default constraint's expression
  kCheck,    // a check constraint's expression
  kRule,
  kOther,
};

// "view", "procedure", "scalar function", "inline function",
// "table function", "trigger", "default", "check", "rule", "other".
const char* ModuleTypeName(ModuleType type);

struct ExportModule {
  std::string schema = "dbo";
  std::string name;
  ModuleType type = ModuleType::kView;
  std::string definition;  // the text as stored; empty when unreadable
};

// What the run read and how.
struct ExportRun {
  std::string sourceFile;  // the primary data file as the user named it
  int64_t sourceSize = 0;
  // Every file of the database (primary and secondary): no output may be
  // one of them.
  std::vector<std::string> inputFiles;
  std::string databaseName;
  std::string versionText;
  std::string collation;
  std::string runTime;  // ISO 8601; empty: the writer takes the current UTC time
  std::string programVersion;
  std::string recoveryMode = "standard";  // "standard" or "advanced"
  std::string deletedOptions = "none";    // "none", "deleted" or "deleted-advanced"
  // With the deleted-record options: rows of every status are written and
  // each table gets a status column.
  bool withStatus = false;
};

// What the driver knows of a table once its rows are written.
struct TableEnd {
  int64_t pages = 0;  // pages listed for the table
  // The table's warnings (broken chains, pages that do not read), in the
  // command line's words.
  std::vector<std::string> warnings;
};

// The text the command line writes for `value` in a column of `family`
// (the CSV and script data texts): integers in decimal, bits as 1/0, reals
// with the shortest text that reads back to the same number (as float for
// the real family), exact numbers and texts as given, binary as "0x" and
// upper-case hex. NULL and unreadable values append nothing.
void AppendDataText(std::string& out, const ExportValue& value, ValueFamily family);

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_EXPORT_MODEL_H_
