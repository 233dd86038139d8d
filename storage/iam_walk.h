// Turns an allocation unit's IAM pages into the list of pages it owns.

#ifndef RAVELIN_STORAGE_IAM_WALK_H_
#define RAVELIN_STORAGE_IAM_WALK_H_

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "storage/page_types.h"

namespace ravelin {

class CDatabaseFile;

// Follows the IAM chain from `firstIam` by the headers' next-page pointers
// and lists, per IAM page, its single pages and then every page of its
// allocated extents, in bitmap order. A page listed before is not listed
// again. The walk ends at a page number of 0, at an IAM page that cannot be
// read or is not an IAM page, at an IAM page met before (a damaged chain
// may loop), or when a stop is requested.
// When the chain ends at a page that cannot be read or is not an IAM page,
// that page is stored in `brokenAt`. The pages named one by one in the IAM
// pages' single-page slots (allocated whatever the page maps say) are also
// put in `singlePages` when given.
std::vector<PageRef> CollectIamChainPages(const CDatabaseFile& file, PageRef firstIam,
                                          std::optional<PageRef>* brokenAt = nullptr,
                                          std::set<PageRef>* singlePages = nullptr);

// The same over IAM pages given in order (the 2000 layout keeps no usable
// chain: an object's IAM pages come from the page maps). Entries that
// cannot be read or are not IAM pages are skipped; the rest still count.
std::vector<PageRef> CollectIamListPages(const CDatabaseFile& file, std::span<const PageRef> iamPages,
                                         std::set<PageRef>* singlePages = nullptr);

// CollectIamListPages over the entries of iamPageMap[objectId].
std::vector<PageRef> CollectIamMapPages(const CDatabaseFile& file, uint32_t objectId);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_IAM_WALK_H_
