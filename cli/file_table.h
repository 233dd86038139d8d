// The database's own file table, read for the commands that look at files
// and pages rather than at the catalog.

#ifndef RAVELIN_CLI_FILE_TABLE_H_
#define RAVELIN_CLI_FILE_TABLE_H_

#include <cstdint>
#include <vector>

#include "storage/page_types.h"

namespace ravelin {

class CDatabaseFile;

// One row of sysfiles1 as recorded, with the page count of the file when
// this run can reach it (the primary file, or a secondary file found beside
// it), else 0.
struct FileEntry {
  DataFileInfo recorded;
  uint64_t pageCount = 0;
};

// Reads sysfiles1 and maps the secondary files it lists (or, when it lists
// none, those found beside the primary file), so that their pages can be
// read through `db` afterwards.
std::vector<FileEntry> ReadFileTable(CDatabaseFile& db);

}  // namespace ravelin

#endif  // RAVELIN_CLI_FILE_TABLE_H_
