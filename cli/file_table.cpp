#include "cli/file_table.h"

#include "catalog/data_page.h"
#include "catalog/system_catalog.h"
#include "storage/database_file.h"
#include "storage/secondary_files.h"

namespace ravelin {

std::vector<FileEntry> ReadFileTable(CDatabaseFile& db) {
  std::vector<DataFileInfo> recorded;
  CatalogLoader loader(db);
  loader.ReadSystemTable(8, CatalogLoader::PageFilter::kAllPages,
                         [&recorded](CDataPage& page) { page.ReadFileRows(recorded); });
  std::vector<DataFileInfo> located = recorded;
  MapSecondaryFiles(db, located, db.path);
  std::vector<FileEntry> entries;
  for (const DataFileInfo& info : recorded) {
    FileEntry entry{info, 0};
    if (info.fileId == 1) entry.pageCount = db.pageCount;
    if (auto it = db.secondaryFiles.find(info.fileId); it != db.secondaryFiles.end())
      entry.pageCount = it->second.pageCount;
    entries.push_back(entry);
  }
  return entries;
}

}  // namespace ravelin
