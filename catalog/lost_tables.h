// Tables whose data pages outlive their catalog rows. Data pages that no
// allocation unit of the catalog claims (in the 2000 layout: no object) are
// grouped by the key their headers carry; each group whose pages the
// allocation maps do not mark free becomes a table of its own, "Lost table
// N" (N the allocation unit id, or the object id in the 2000 layout), with
// columns inferred from the records its pages hold: the fixed part cut
// into integers where its length says so unambiguously, binary otherwise;
// variable columns as text where every value reads as text, binary
// otherwise. The catalog gets rows for it like any table's, so every
// listing, export and tree shows it.

#ifndef RAVELIN_CATALOG_LOST_TABLES_H_
#define RAVELIN_CATALOG_LOST_TABLES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/record_shape.h"
#include "storage/bytes.h"
#include "storage/page_types.h"

namespace ravelin {

class CDatabaseFile;
class SystemCatalog;

// One inferred column: its SQL Server type, where it lies in the record
// (fixed: its offset, header included; variable: -1 for the first variable
// column, -2 for the second, ...) and its place in the null bitmap
// (1-based).
struct InferredColumn {
  std::string name;
  uint8_t systemTypeId = 0;
  int16_t length = 0;  // bytes; -1 for a max type
  int16_t offset = 0;
  int32_t position = 0;
};

struct LostTable {
  std::string name;
  // The catalog table whose object row stands but whose column rows are
  // lost. Where its pages or rowset name it, the inferred columns are
  // given to it (columnsGiven); otherwise its pages are listed as this
  // table, apart from it.
  std::string columnsLostOf;
  int32_t ownerObjectId = 0;
  int64_t ownerRowsetId = 0;  // its heap or clustered rowset (2005+)
  bool columnsGiven = false;
  // Whether the inferred columns are likely the table's (see FindLostTables).
  bool confident = false;
  // The 2005+ layout: the pages are those of a catalog table whose
  // allocation rows are lost, matched by the layout of their records.
  bool matchedByLayout = false;
  // The table's object row is lost; its columns and storage stand.
  bool objectRowLost = false;
  // The group's unit row stands but names a rowset whose row is lost: it
  // is listed only where its layout gives it a table.
  bool rowsetLost = false;
  // Where such a table's name was found again, for the warning; empty
  // while it is "Lost table <object id>".
  std::string nameSource;
  int32_t objectId = 0;  // the id the catalog's rows give it
  int64_t unitId = 0;    // its allocation unit (2000 layout: its object id)
  uint32_t pageKey = 0;  // the object id its page headers carry
  std::vector<PageRef> pages;
  size_t recordsRead = 0;  // records the columns were inferred from
  std::vector<InferredColumn> columns;
  RecordShape shape;
  // The null bitmaps of the records of the shape the columns were inferred
  // from (a bounded sample), and whether every page of the group was read.
  std::vector<Bytes> nullBitmaps;
  bool wholeGroupRead = false;
};

// Tables whose object row is lost with every copy of their name, while
// their column rows and storage stand: each gets an object row named
// "Lost table <object id>" (in the 2000 layout the name its sysindexes
// rows keep, or one the definitions that use it give, when there is one),
// so that it lists with its own columns. Returns them, marked objectRowLost, for the warnings.
std::vector<LostTable> AddOrphanObjects(const CDatabaseFile& file, SystemCatalog& catalog);

// The lost tables of `catalog`, loaded from `file`. Reads a bounded sample
// of each group's pages.
std::vector<LostTable> FindLostTables(const CDatabaseFile& file, const SystemCatalog& catalog);

// Gives the groups of `lost` whose record layout is that of exactly one
// table of the catalog without pages (and no other group's) to that table,
// as the in-row allocation unit its allocation rows would have named, and
// takes them out of `lost`. Returns the groups given, marked
// matchedByLayout and named after their tables.
std::vector<LostTable> MatchLostTables(SystemCatalog& catalog, std::vector<LostTable>& lost);

// Adds the rows that describe `tables` to the catalog's lists (object,
// rowset, allocation unit and column rows, or the 2000 layout's object and
// column rows) and keeps their shapes and names.
void AddLostTables(SystemCatalog& catalog, std::vector<LostTable> tables);

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_LOST_TABLES_H_
