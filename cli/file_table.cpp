#include "cli/file_table.h"

#include "catalog/opened_database.h"
#include "storage/database_file.h"

namespace ravelin {

std::vector<FileEntry> FileTableOf(const OpenedDatabase& opened) {
  const CDatabaseFile& db = opened.file();
  std::vector<FileEntry> entries;
  for (const DataFileInfo& info : opened.recordedFiles()) {
    FileEntry entry{info, 0};
    if (info.fileId == 1) entry.pageCount = db.pageCount;
    if (auto it = db.secondaryFiles.find(info.fileId); it != db.secondaryFiles.end())
      entry.pageCount = it->second.pageCount;
    entries.push_back(entry);
  }
  return entries;
}

}  // namespace ravelin
