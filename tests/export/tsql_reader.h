// A reader of the INSERT statements of a T-SQL export script, written for
// the tests: it gives back the literals exactly as T-SQL reads them, so the
// tests can check that every value round-trips.

#ifndef RAVELIN_TESTS_EXPORT_TSQL_READER_H_
#define RAVELIN_TESTS_EXPORT_TSQL_READER_H_

#include <ostream>
#include <string>
#include <vector>

namespace ravelin::testing {

struct TsqlLiteral {
  enum Kind { kNull, kString, kNumber, kBinary };
  Kind kind = kNull;
  std::string text;      // the string (quotes undone, NCHAR pieces joined), number or upper-case hex
  std::string castType;  // the type of CAST(… AS type), or empty
  bool national = false;
  bool unreadable = false;  // NULL /* unreadable */

  friend bool operator==(const TsqlLiteral&, const TsqlLiteral&) = default;
};

// For test messages.
void PrintTo(const TsqlLiteral& literal, std::ostream* os);

struct TsqlInsert {
  std::string table;  // "schema.name", unquoted
  std::vector<std::string> columns;
  std::vector<std::vector<TsqlLiteral>> rows;
};

// The batches of `script` (split at GO lines, byte order mark dropped).
std::vector<std::string> SplitBatches(const std::string& script);

// Every INSERT statement of `script`; a statement that does not read gives
// a test failure.
std::vector<TsqlInsert> ReadInserts(const std::string& script);

// The unquoted parts of "[a]]b].[c]" -> {"a]b", "c"}.
std::vector<std::string> ReadQualifiedName(const std::string& text);

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_EXPORT_TSQL_READER_H_
