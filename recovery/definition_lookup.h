// Looking up the definition text of one object: the definition rows of the
// loaded database are read once, on the first lookup, into the state's
// lookup list; a text is put together from the value texts of the rows
// that carry the object's id, in the order the rows were read.

#ifndef RAVELIN_RECOVERY_DEFINITION_LOOKUP_H_
#define RAVELIN_RECOVERY_DEFINITION_LOOKUP_H_

#include <string>
#include <vector>

#include "catalog/catalog_types.h"
#include "recovery/progress_sink.h"
#include "recovery/recovery_state.h"
#include "storage/bytes.h"

namespace ravelin {

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

// Looks up the definition of `objectIdText` in the loaded database. The
// records list loses its columns; the catalog's columnDescriptors hold the
// definition table's columns while the rows are read (in the 2000 layout
// the ones the caller prepared, when there are any) and are empty
// afterwards. A lookup list that stays empty is read again next time.
std::string LookUpDefinition(RecoveryState& state, ProgressSink& sink, const std::string& objectIdText);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_DEFINITION_LOOKUP_H_
