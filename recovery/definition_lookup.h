// Looking up the definition text of one object: the definition rows of the
// loaded database are read once, on the first lookup, into the state's
// lookup list; a text is put together from the value texts of the rows
// that carry the object's id, in the order the rows were read.

#ifndef RAVELIN_RECOVERY_DEFINITION_LOOKUP_H_
#define RAVELIN_RECOVERY_DEFINITION_LOOKUP_H_

#include <string>
#include <vector>

#include "recovery/recovery_state.h"
#include "rows/definition_rows.h"
#include "storage/progress_sink.h"

namespace ravelin {

// Looks up the definition of `objectIdText` in the loaded database. The
// records list loses its columns; the catalog's columnDescriptors hold the
// definition table's columns while the rows are read (in the 2000 layout
// the ones the caller prepared, when there are any) and are empty
// afterwards. A lookup list that stays empty is read again next time.
std::string LookUpDefinition(RecoveryState& state, ProgressSink& sink, const std::string& objectIdText);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_DEFINITION_LOOKUP_H_
