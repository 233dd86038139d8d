// The database's own file table, read for the commands that look at files
// and pages rather than at the catalog.

#ifndef RAVELIN_CLI_FILE_TABLE_H_
#define RAVELIN_CLI_FILE_TABLE_H_

#include <cstdint>
#include <vector>

#include "storage/page_types.h"

namespace ravelin {

class OpenedDatabase;

// One row of sysfiles1 as recorded, with the page count of the file when
// this run can reach it (the primary file, or a secondary file found beside
// it), else 0.
struct FileEntry {
  DataFileInfo recorded;
  uint64_t pageCount = 0;
};

// The file table of an opened database, with the page count of every file
// the open could reach.
std::vector<FileEntry> FileTableOf(const OpenedDatabase& db);

}  // namespace ravelin

#endif  // RAVELIN_CLI_FILE_TABLE_H_
