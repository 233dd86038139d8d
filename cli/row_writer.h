// The rows of one table in one of the output formats of `rows`, written
// from their data values (rows/data_value.h):
//
//   tsv   a header line of column names, then one line per row, fields
//         separated by tabs. NULL is \N, an unreadable value \?. Inside a
//         field a backslash, tab, line feed and carriage return are written
//         \\, \t, \n, \r, backspace, form feed and vertical tab \b, \f, \v,
//         and every other control character \xHH.
//   csv   RFC 4180 with CRLF line ends: NULL is an empty unquoted field, an
//         empty text "", an unreadable value \? unquoted (the text \? is
//         quoted).
//   json  one object: "table", "columns" (name and declared type), "rows"
//         (an object per row, keyed by column name: numbers for integer and
//         float columns, true/false for bit, strings for everything else,
//         exact decimals included; null only for NULL; {"unreadable": true}
//         for a value that could not be read) and "warnings".
//
// With a status column the first field of every row says what the row is
// ("live", "ghost", "hunted", "free page", "suspect"); its header is
// "ravelin_status" (with a number added when a column has that name).

#ifndef RAVELIN_CLI_ROW_WRITER_H_
#define RAVELIN_CLI_ROW_WRITER_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/output.h"
#include "rows/data_value.h"

namespace ravelin {

enum class RowFormat { kTsv, kCsv, kJson };

// The marks of NULL and unreadable values in TSV and CSV.
inline constexpr char kTsvNull[] = "\\N";
inline constexpr char kTsvUnreadable[] = "\\?";

struct RowColumn {
  std::string name;
  std::string declaredType;
};

class RowWriter {
 public:
  // `nullText` replaces the NULL mark of TSV and CSV.
  RowWriter(Output& out, RowFormat format, std::string table, std::vector<RowColumn> columns, bool statusColumn,
            std::optional<std::string> nullText);

  // One row: `values` in the order of the columns; `status` is written when
  // the writer has a status column.
  void Write(const std::vector<const DataValue*>& values, std::string_view status);
  // Ends the output; JSON lists `warnings` (without "warning: ").
  void Finish(const std::vector<std::string>& warnings);

 private:
  void Begin();
  void AppendField(std::string& out, const DataValue& value);

  Output& out_;
  RowFormat format_;
  std::string table_;
  std::vector<RowColumn> columns_;
  std::vector<std::string> jsonKeys_;  // quoted column names, then ':'
  bool statusColumn_;
  std::string statusName_;
  std::optional<std::string> nullText_;
  size_t rows_ = 0;
  std::string field_;
};

}  // namespace ravelin

#endif  // RAVELIN_CLI_ROW_WRITER_H_
