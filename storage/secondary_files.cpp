#include "storage/secondary_files.h"

#include <algorithm>
#include <cctype>

#include "storage/bytes.h"
#include "storage/database_file.h"
#include "storage/env.h"
#include "storage/page_header.h"

namespace ravelin {
namespace {

constexpr uint32_t kSecondarySystemObjects[] = {3, 4, 5, 7, 8, 13, 34, 41, 50, 54, 55, 60, 74};

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Files copied from Windows may be named .NDF. A name whose only dot leads
// has no extension.
bool HasNdfExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && dot > 0 && EqualsIgnoringCase(name.substr(dot), ".ndf");
}

// A file in `folder` named `name`, or failing that one whose name differs
// only in case; "" when there is none.
std::string FindInFolder(Env& env, const std::string& folder, const std::string& name) {
  if (name.empty()) return "";
  const std::vector<std::string> names = env.ListFiles(folder);
  if (std::find(names.begin(), names.end(), name) != names.end()) return folder + name;
  for (const std::string& found : names)
    if (EqualsIgnoringCase(found, name)) return folder + found;
  return "";
}

struct FileGeometry {
  uint64_t size = 0;
  uint64_t pageCount = 0;
  uint64_t remainder = 0;
};

FileGeometry GeometryOf(const RandomAccessFile& file) {
  FileGeometry g;
  g.size = file.Size();
  g.remainder = g.size % kPageSize;
  g.pageCount = (g.size - g.remainder) / kPageSize;
  return g;
}

// Reads every page of `file` from `startOffset` and files its catalog and
// data pages in the page maps of `database`. With `listedId` above 0 every
// entry carries that id; otherwise the id of the page header. Returns the
// header file id of the first data page whose id is above 1, or 0.
int32_t ScanPages(CDatabaseFile& database, const RandomAccessFile& file, uint64_t startOffset, uint64_t pageCount,
                  int32_t listedId) {
  int32_t learnedId = 0;
  ScanPageHeaders(
      file, startOffset, pageCount, database.sink(), database.stop(), nullptr,
      [&](const ScannedPage& page) {
        const bool dataPage = page.pageType == kPageTypeData && page.objectId != 0;
        if (dataPage && learnedId == 0 && page.fileId > 1) learnedId = page.fileId;
        const uint16_t fileId = listedId > 0 ? static_cast<uint16_t>(listedId) : page.fileId;
        const PageMapEntry entry{fileId, page.index, page.pageType};
        if (IsSecondarySystemPage(page.objectId, page.indexId)) database.systemPageMap[page.objectId].push_back(entry);
        if (dataPage) database.dataPageMap[page.objectId].push_back(entry);
      },
      [&](uint32_t index, const ReadResult& read) {
        if (listedId > 1)
          database.ReportReadFailure(PageRef{static_cast<int16_t>(listedId), static_cast<int32_t>(index)}, read);
      });
  return learnedId;
}

void MapListedFiles(CDatabaseFile& database, std::vector<DataFileInfo>& files, const std::string& primaryPath) {
  Env& env = database.env();
  const std::string folder = FolderOf(primaryPath);
  for (DataFileInfo& info : files) {
    if (info.fileId <= 1) continue;
    // The ".ndf" name also keeps the log file, listed beside the data
    // files, from being read as one.
    const std::string name = SecondaryFileName(info.physicalName);
    const std::string path = FindInFolder(env, folder, name);
    info.physicalName = path.empty() ? folder + name : path;
    // A file table listing one id twice, or a name that leads back to the
    // primary file, must not map the same pages twice.
    if (path.empty() || database.secondaryFiles.count(info.fileId) || env.SameFile(path, primaryPath)) continue;
    std::unique_ptr<RandomAccessFile> file = env.OpenFile(path);
    if (!file) continue;
    const FileGeometry g = GeometryOf(*file);
    info.fileSize = g.size;
    info.pageCount = g.pageCount;
    info.startOffset = static_cast<int32_t>(g.remainder);
    database.secondaryFiles[info.fileId] = info;
    ScanPages(database, *file, g.remainder, g.pageCount, info.fileId);
  }
}

void DiscoverFiles(CDatabaseFile& database, std::vector<DataFileInfo>& files, const std::string& primaryPath) {
  Env& env = database.env();
  const std::string folder = FolderOf(primaryPath);
  // Listed sorted: the same order on every run.
  for (const std::string& name : env.ListFiles(folder)) {
    if (!HasNdfExtension(name)) continue;
    const std::string path = folder + name;
    if (env.SameFile(path, primaryPath)) continue;
    std::unique_ptr<RandomAccessFile> file = env.OpenFile(path);
    if (!file) continue;
    const FileGeometry g = GeometryOf(*file);
    const uint64_t start = CheckShiftedStartOf(*file, g.pageCount, g.remainder, database.sink(), database.stop());
    const int32_t fileId = ScanPages(database, *file, start, g.pageCount, 0);
    // Without a file id of its own the file cannot be reached: its pages
    // stay in the maps, but reads of them find no file.
    if (fileId <= 1 || database.secondaryFiles.count(fileId)) continue;
    DataFileInfo info;
    info.fileId = fileId;
    info.physicalName = path;
    info.fileSize = g.size;
    info.pageCount = g.pageCount;
    info.startOffset = static_cast<int32_t>(start);
    files.push_back(info);
    database.secondaryFiles[fileId] = info;
  }
}

}  // namespace

bool IsSecondarySystemPage(uint32_t objectId, uint16_t indexId) {
  return indexId < 256 && std::find(std::begin(kSecondarySystemObjects), std::end(kSecondarySystemObjects), objectId) !=
                              std::end(kSecondarySystemObjects);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string SecondaryFileName(const std::string& recordedPath) {
  const size_t cut = recordedPath.find_last_of("\\/");
  std::string name = cut == std::string::npos ? recordedPath : recordedPath.substr(cut + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name = name.substr(0, dot) + ".ndf";
  return name;
}

void MapSecondaryFiles(CDatabaseFile& database, std::vector<DataFileInfo>& files, const std::string& primaryPath) {
  if (!files.empty())
    MapListedFiles(database, files, primaryPath);
  else
    DiscoverFiles(database, files, primaryPath);
}

}  // namespace ravelin
