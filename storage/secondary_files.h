// Secondary data files (file ids 2 and up): finding them beside the primary
// file, tying each to its file id, registering it so that the page readers
// can reach it, and adding its catalog and data pages to the page maps.

#ifndef RAVELIN_STORAGE_SECONDARY_FILES_H_
#define RAVELIN_STORAGE_SECONDARY_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "storage/page_types.h"

namespace ravelin {

class CDatabaseFile;

// Maps the secondary files of `database`. When `files` (the database's own
// file table) is not empty, each listed file with an id above 1 is looked
// for in the primary file's folder under its recorded name with the
// extension ".ndf"; its entry is completed and registered under the listed
// id. Otherwise every "*.ndf" file in that folder is scanned, and one whose
// data pages name a file id above 1 is appended to `files` and registered
// under that id. Runs once, after the primary file has been mapped.
void MapSecondaryFiles(CDatabaseFile& database, std::vector<DataFileInfo>& files, const std::string& primaryPath);

// The folder of `path`: everything up to and including its last '/'.
std::string FolderOf(const std::string& path);

// The name under which a listed secondary file is looked for: the recorded
// path's last component (split at '\' or '/'), its extension replaced by
// ".ndf". A name without a dot, or whose only dot leads, stays whole.
std::string SecondaryFileName(const std::string& recordedPath);

// Whether a page of a secondary file belongs to a system table.
bool IsSecondarySystemPage(uint32_t objectId, uint16_t indexId);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_SECONDARY_FILES_H_
