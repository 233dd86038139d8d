// A synthetic database whose allocation maps tell a table's current data
// from its history. SQL Server frees the pages of rows it deletes but
// leaves their bytes, headers included, so a scan of the file still finds
// the old pages under the table's allocation unit.
//
// Two heaps, both (Id int NOT NULL, Name varchar(20) NULL), on top of the
// small catalog of ImageWithTables:
// - dbo.Refilled (page key 300) was emptied and refilled. Its IAM page 40
//   names its one data page 41, which holds the live rows. Its old IAM
//   page 42 names the old data pages 43 (single page) and 48 (extent
//   48-55); they hold the old rows. 40 and 41 are allocated; 42 and 43 are
//   free in the PFS (extent 40-47 is a mixed extent still in use); extent
//   48-55 is free in the GAM.
// - dbo.Emptied (page key 301) was emptied for good: its allocation unit
//   has no first page and no first IAM page. Its old IAM page 45 and old
//   data page 44 are free in the PFS.
// Every other page of the image (the catalog, the map pages) is allocated.

#ifndef RAVELIN_TESTS_SUPPORT_REFILLED_TABLE_IMAGE_H_
#define RAVELIN_TESTS_SUPPORT_REFILLED_TABLE_IMAGE_H_

#include <string>
#include <vector>

#include "storage/page_types.h"
#include "support/synthetic.h"

namespace ravelin::testing {

struct RefilledTableImage {
  DatabaseImage image{96};
  // The rows as a listing shows them: Id, then Name.
  std::vector<std::vector<std::string>> liveRows;     // dbo.Refilled, on page 41
  std::vector<std::vector<std::string>> oldRows;      // dbo.Refilled, on pages 43 and 48
  std::vector<std::vector<std::string>> emptiedRows;  // dbo.Emptied, on page 44
  // Pages the tables' headers name, by what the maps say of them.
  std::vector<PageRef> allocatedPages;  // 40, 41
  std::vector<PageRef> freePages;       // 42, 43, 44, 45, 48
};

// The image described above: `liveRows` rows in dbo.Refilled (1 to 20),
// `oldRows` old ones (2 to 40, half on page 43, half on page 48) and
// `emptiedRows` old rows of dbo.Emptied (1 to 40).
RefilledTableImage EmptiedAndRefilledImage(size_t liveRows = 1, size_t oldRows = 10, size_t emptiedRows = 4);

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_REFILLED_TABLE_IMAGE_H_
