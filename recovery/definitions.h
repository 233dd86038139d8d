// Definition texts of views, procedures, functions, triggers, defaults and
// constraints live in the rows of syscomments (2000 layout) or
// sysobjvalues (later layouts). These are read as pseudo-tables: fixed
// column sets decoded by the row reader into DefinitionEntry triples.

#ifndef RAVELIN_RECOVERY_DEFINITIONS_H_
#define RAVELIN_RECOVERY_DEFINITIONS_H_

#include <vector>

#include "catalog/catalog_types.h"
#include "catalog/column_descriptor.h"
#include "recovery/progress_sink.h"
#include "recovery/recovery_state.h"

namespace ravelin {

class CDatabaseFile;

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
// layout, `sql2000`) or sysobjvalues to `entries`, decoding them with
// `columns`. Logs the start and the end, sets the progress range to the
// number of pages and advances per page. A stop request ends the reading
// after the current page; pages that cannot be read are skipped.
void ReadDefinitionRows(CDatabaseFile& file, const std::vector<ColumnDescriptor>& columns, bool sql2000,
                        ProgressSink& sink, std::vector<DefinitionEntry>& entries);

// The scan's reading of the definition rows into state.scanDefinitions:
// the records list loses the columns of the table shown, the catalog's
// columnDescriptors hold the pseudo-table's columns while the rows are
// read and are emptied afterwards.
void ReadScanDefinitions(RecoveryState& state, ProgressSink& sink);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_DEFINITIONS_H_
