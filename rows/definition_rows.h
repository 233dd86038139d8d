// Definition texts of views, procedures, functions, triggers, defaults and
// constraints live in the rows of syscomments (2000 layout) or
// sysobjvalues (later layouts). These are read as pseudo-tables: fixed
// column sets decoded by the row reader into DefinitionEntry triples, from
// which one object's text is put together.

#ifndef RAVELIN_ROWS_DEFINITION_ROWS_H_
#define RAVELIN_ROWS_DEFINITION_ROWS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/catalog_types.h"
#include "catalog/column_descriptor.h"
#include "storage/bytes.h"
#include "storage/progress_sink.h"

namespace ravelin {

class OpenedDatabase;

inline constexpr char kTextRetrievingDefinitions[] = "Retrieving Objects of Sysobjvalues System Tables...........";
inline constexpr char kTextRetrievingDefinitionsDone[] =
    "Retrieving  Objects of Sysobjvalues System Tables has been done...........";

// The system objects that hold the definition rows.
inline constexpr uint32_t kSysCommentsObjectId = 6;
inline constexpr uint32_t kSysObjValuesObjectId = 60;

// id, number, colid, status, ctext.
std::vector<ColumnDescriptor> SysCommentsColumns();
// valclass, objid, subobjid, valnum, value, imageval.
std::vector<ColumnDescriptor> SysObjValuesColumns();

// Appends the definition rows of every data page of syscomments (2000
// layout) or sysobjvalues to `entries`, decoding them with `columns`. Logs
// the start and the end, sets the progress range to the number of pages
// and advances per page. A stop request ends the reading after the current
// page; pages that cannot be read are skipped.
void ReadDefinitionRows(const OpenedDatabase& db, const std::vector<ColumnDescriptor>& columns, ProgressSink& sink,
                        std::vector<DefinitionEntry>& entries);

// The bytes of a value text "0x" + two hexadecimal digits per byte. The
// first two characters are skipped whatever they are; the digits end at
// the first pair that is not hexadecimal.
Bytes DecodeHexValueText(const std::string& valueText);

// One stored piece as text. A zero byte after the first byte makes it
// UTF-16LE text (ending at its first zero code unit); otherwise it is
// 8-bit text in the ANSI code page, up to its first zero byte.
std::string DefinitionPieceText(const Bytes& bytes, bool& wide);

// The text of the entries whose object id text equals `objectIdText`
// exactly, joined in list order. A narrow piece equal to the whole text
// so far is the same row met twice and is left out.
std::string AssembleDefinition(const std::vector<DefinitionEntry>& entries, const std::string& objectIdText);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_DEFINITION_ROWS_H_
