// T-SQL literals for the script export: every value exactly as stored,
// and nothing from the data ever outside a quoted literal.
//
//   NULL                 NULL
//   unreadable           NULL /* unreadable */
//   integer, bit         123, 1, 0
//   float, real          the shortest text that reads back to the same
//                        number, always with an exponent (1.5E0, 1e+20)
//                        so that it is read as a float
//   decimal, money       the exact digits (1234.5600)
//   text                 N'…' with ' doubled; control characters other
//                        than tab as +NCHAR(n)+ pieces so that no line
//                        break of the data is at the mercy of an editor
//                        (a long text starts with CAST(N'' AS
//                        nvarchar(max)) so that nothing is cut)
//   dates and times      CAST('2024-05-01T10:30:00.1234567+02:00' AS
//                        datetimeoffset(7)): ISO 8601 with "T", which
//                        SQL Server reads the same whatever the language
//   uniqueidentifier     '6F9619FF-8B86-D011-B42D-00C04FC964FF'
//   binary               0x0A0B (0x for an empty value); CLR types as
//                        CAST(0x… AS type)
//   sql_variant          CAST(literal AS carried type)
// A number or date text that is not well formed is written as a quoted
// text rather than as code.

#ifndef RAVELIN_EXPORT_TSQL_TEXT_H_
#define RAVELIN_EXPORT_TSQL_TEXT_H_

#include <string>
#include <string_view>

#include "export/export_model.h"

namespace ravelin {

// The literal of `value` in a column of `family` declared `declaredType`.
void AppendTsqlLiteral(std::string& out, const ExportValue& value, ValueFamily family, std::string_view declaredType);

// N'…' (with control characters as NCHAR pieces, see above).
void AppendNString(std::string& out, std::string_view text);

// `declared` as it stands when it reads as a type ("nvarchar(max)",
// "decimal(19, 4)", "dbo.MyType"), else as one bracketed name, so that a
// damaged type text never becomes code.
std::string SafeTypeText(std::string_view declared);

// An optional '-', digits, and optionally '.' and digits.
bool IsDecimalText(std::string_view text);

// `text` with every control character replaced by a blank, for comments.
std::string CommentText(std::string_view text);

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_TSQL_TEXT_H_
