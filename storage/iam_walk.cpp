#include "storage/iam_walk.h"

#include <memory>
#include <set>

#include "storage/database_file.h"
#include "storage/iam_page.h"

namespace ravelin {
namespace {

// Gathers the pages of several IAM pages, each page once.
class PageCollector {
 public:
  PageCollector(const CDatabaseFile& file, std::set<PageRef>* singlePages) : file_(file), singles_(singlePages) {}

  void AddIamPage(IamPage& iam) {
    for (const PageRef& ref : iam.singlePages) {
      if (ref.fileId <= 0 || ref.pageNo <= 0 || static_cast<uint64_t>(ref.pageNo) > PageLimit(ref.fileId)) continue;
      Add(ref);
      if (singles_) singles_->insert(ref);
    }
    for (ExtentEntry& extent : iam.ListAllocatedExtents())
      for (const PageRef& ref : ExtentAllocationMap::ExpandExtent(extent))
        if (ref.fileId != 0 && ref.pageNo != 0) Add(ref);
  }

  std::vector<PageRef> Take() { return std::move(pages_); }

 private:
  // Single pages may name any file of the database; the primary file's page
  // count stands in for a file the database does not know.
  uint64_t PageLimit(int16_t fileId) const {
    if (fileId != 1) {
      auto it = file_.secondaryFiles.find(fileId);
      if (it != file_.secondaryFiles.end()) return it->second.pageCount;
    }
    return file_.pageCount;
  }

  void Add(PageRef ref) {
    if (seen_.insert(ref).second) pages_.push_back(ref);
  }

  const CDatabaseFile& file_;
  std::set<PageRef>* singles_;
  std::vector<PageRef> pages_;
  std::set<PageRef> seen_;
};

// An IAM page that can be trusted to describe allocations.
std::unique_ptr<IamPage> ReadCheckedIamPage(const CDatabaseFile& file, PageRef ref) {
  auto iam = file.ReadIamPage(ref);
  if (!iam || !iam->header || iam->header->pageType != kPageTypeIam) return nullptr;
  return iam;
}

}  // namespace

std::vector<PageRef> CollectIamChainPages(const CDatabaseFile& file, PageRef firstIam, std::optional<PageRef>* brokenAt,
                                          std::set<PageRef>* singlePages) {
  PageCollector collector(file, singlePages);
  std::set<PageRef> visited;
  PageRef current = firstIam;
  while (current.pageNo != 0 && !file.stop().requested()) {
    if (!visited.insert(current).second) break;
    auto iam = ReadCheckedIamPage(file, current);
    if (!iam) {
      if (brokenAt) *brokenAt = current;
      break;
    }
    collector.AddIamPage(*iam);
    current = iam->header->nextPage;
  }
  return collector.Take();
}

std::vector<PageRef> CollectIamListPages(const CDatabaseFile& file, std::span<const PageRef> iamPages,
                                         std::set<PageRef>* singlePages) {
  PageCollector collector(file, singlePages);
  std::set<PageRef> visited;
  for (const PageRef& ref : iamPages) {
    if (file.stop().requested()) break;
    if (ref.pageNo == 0 || !visited.insert(ref).second) continue;
    if (auto iam = ReadCheckedIamPage(file, ref)) collector.AddIamPage(*iam);
  }
  return collector.Take();
}

std::vector<PageRef> CollectIamMapPages(const CDatabaseFile& file, uint32_t objectId) {
  auto it = file.iamPageMap.find(objectId);
  if (it == file.iamPageMap.end()) return {};
  std::vector<PageRef> refs;
  refs.reserve(it->second.size());
  for (const PageMapEntry& entry : it->second) refs.push_back(entry.ToPageRef());
  return CollectIamListPages(file, refs);
}

}  // namespace ravelin
