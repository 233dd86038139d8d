// A data page read for its rows. The catalog reads the pages of each system
// base table through one of the row readers below, each of which turns the
// page's records into row records of one kind and appends them to a list.
//
// The readers copy fields and supply names for rows that have none; they do
// not interpret the rows. A record too short for its reader, or without a
// fixed part, is skipped or kept with initial values according to the
// reader's rule; no field is ever read past the end of the fixed part.

#ifndef RAVELIN_CATALOG_DATA_PAGE_H_
#define RAVELIN_CATALOG_DATA_PAGE_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "catalog/system_rows.h"
#include "storage/bytes.h"
#include "storage/page.h"
#include "storage/page_types.h"

namespace ravelin {

class CDataPage : public PrimaryRecordPage {
 public:
  // Takes the page buffer and builds the records of every slot.
  CDataPage(Bytes buffer, const CDatabaseFile* databaseFile, const ReadOptions* readOptions = nullptr);

  // Which records the readers below look at: every record the page built,
  // only the live ones or only the deleted (ghost) ones.
  enum class Selection { kAll, kLive, kGhosts };
  Selection selection = Selection::kAll;

  // sysfiles1 (8).
  void ReadFileRows(std::vector<DataFileInfo>& files) const;
  // sysclsobjs (64).
  void ReadClassObjectRows(std::vector<ClassObjectRow>& rows) const;
  // sysschobjs (34) or, in the 2000 layout (`sql2000`), sysobjects (1).
  // Names carry the schema prefix taken from `classObjects`.
  void ReadObjectRows(std::vector<ObjectRow>& rows, const std::vector<ClassObjectRow>& classObjects, bool sql2000,
                      uint64_t& repairCounter) const;
  // The leaf rows of sysschobjs' indexes 2 and 3 (in the 2000 layout of
  // sysobjects' index 2) on this index page.
  void ReadObjectNameRows(std::vector<ObjectNameRow>& rows, bool sql2000) const;
  // sysallocunits (7; 99 in the 2000 layout).
  void ReadAllocUnitRows(std::vector<AllocUnitRow>& rows) const;
  // sysrowsets (5).
  void ReadRowsetRows(std::vector<RowsetRow>& rows) const;
  // sysindexes (2): keeps the clustered index (index id 1) of each object;
  // a later row replaces an earlier one.
  void ReadLegacyIndexRoots(std::map<int32_t, LegacyIndexRoot>& roots) const;
  // Appends every named index of a user object with the columns of its key,
  // and the name rows of heaps (index 0) and of text and image data (255).
  void ReadLegacyIndexKeys(std::vector<LegacyIndexKey>& keys) const;
  // syscomments (6), 2000 layout: the pieces of definition texts.
  void ReadLegacyCommentRows(std::vector<LegacyCommentRow>& rows) const;
  // syscolumns (3), 2000 layout.
  void ReadLegacyColumnRows(std::vector<LegacyColumnRow>& rows, uint64_t& repairCounter) const;
  // syscolpars (41 and 2187).
  void ReadColumnRows(std::vector<ColumnRow>& rows, uint64_t& repairCounter) const;
  // sysscalartypes (50).
  void ReadTypeRows(std::vector<TypeRow>& rows) const;
  // sysrscols (3), 2008 and later.
  void ReadRowsetColumnRows(std::vector<RowsetColumnRow>& rows) const;
  // syssingleobjrefs (74).
  void ReadObjectRefRows(std::vector<ObjectRefRow>& rows) const;
  // sysidxstats (54).
  void ReadIndexRows(std::vector<IndexRow>& rows) const;
  // sysiscols (55).
  void ReadIndexColumnRows(std::vector<IndexColumnRow>& rows) const;
  // Object 13, 2005 layout.
  void ReadHobtColumnRows(std::vector<HobtColumnRow>& rows) const;
  // Object 4, 2005 layout.
  void ReadRowsetColumnMapRows(std::vector<RowsetColumnMapRow>& rows) const;

 private:
  // Runs `read` on each record a reader looks at, in slot order; the
  // records stay with the page, so one page serves every reader.
  template <typename Fn>
  void ForEachRecord(bool skipIndexRecords, Fn read) const;
};

// The text of an identity column's seed and increment, from the buffer of
// its syscolpars row's second variable column; e.g. "identity(1,1)".
std::string IdentityText(ByteSpan buffer);

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_DATA_PAGE_H_
