// The scan's reading of the definition rows (see rows/definition_rows.h).

#ifndef RAVELIN_RECOVERY_DEFINITIONS_H_
#define RAVELIN_RECOVERY_DEFINITIONS_H_

#include "recovery/recovery_state.h"
#include "rows/definition_rows.h"
#include "storage/progress_sink.h"

namespace ravelin {

// Reads the definition rows into state.scanDefinitions: the records list
// loses the columns of the table shown, the catalog's columnDescriptors
// hold the pseudo-table's columns while the rows are read and are emptied
// afterwards.
void ReadScanDefinitions(RecoveryState& state, ProgressSink& sink);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_DEFINITIONS_H_
