// Where the records list stands in the listing of the table shown: the
// page number of the pager label and the bookkeeping that Next and
// Previous continue from. Part of RecoveryState; reset with every table
// shown and with every scan.

#ifndef RAVELIN_RECOVERY_RECORDS_PAGING_H_
#define RAVELIN_RECOVERY_RECORDS_PAGING_H_

#include <cstdint>

namespace ravelin {

struct RecordsPagingState {
  // The number the pager label shows; 0 before the first page is listed.
  int32_t pageNumber = 0;

  void Reset() { *this = RecordsPagingState(); }
};

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_RECORDS_PAGING_H_
