// What a listed row is: a live record or a deleted one (a ghost record, a
// record only the byte-level hunt found, a record on a page the allocation
// maps mark as free), or a record that does not fit its table. Listings,
// the command line and the exports all name rows with these words.

#ifndef RAVELIN_ROWS_ROW_STATUS_H_
#define RAVELIN_ROWS_ROW_STATUS_H_

namespace ravelin {

enum class RowStatus { kLive, kGhost, kHunted, kFreePage, kSuspect };

// "live", "ghost", "hunted", "free page", "suspect".
const char* RowStatusText(RowStatus status);

}  // namespace ravelin

#endif  // RAVELIN_ROWS_ROW_STATUS_H_
