#include "storage/secondary_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "storage/bytes.h"
#include "storage/database_file.h"
#include "storage/page_header.h"
#include "storage/random_access_file.h"

namespace ravelin {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSecondarySystemObjects[] = {3, 4, 5, 7, 8, 13, 34, 41, 50, 54, 55, 60, 74};

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Files copied from Windows may be named .NDF.
bool HasNdfExtension(const fs::path& path) { return EqualsIgnoringCase(path.extension().string(), ".ndf"); }

fs::path FolderToSearch(const std::string& folder) { return folder.empty() ? fs::path(".") : fs::path(folder); }

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool IsSameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

// A regular file in `folder` named `name`, or failing that one whose name
// differs only in case; "" when there is none.
std::string FindInFolder(const std::string& folder, const std::string& name) {
  if (name.empty()) return "";
  if (IsRegularFile(folder + name)) return folder + name;
  std::error_code ec;
  for (fs::directory_iterator it(FolderToSearch(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string found = it->path().filename().string();
    if (EqualsIgnoringCase(found, name) && IsRegularFile(it->path())) return folder + found;
  }
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
  ScanPageHeaders(file, startOffset, pageCount, database.sink(), database.settings().stopRequested, nullptr,
                  [&](const ScannedPage& page) {
                    const bool dataPage = page.pageType == kPageTypeData && page.objectId != 0;
                    if (dataPage && learnedId == 0 && page.fileId > 1) learnedId = page.fileId;
                    const uint16_t fileId = listedId > 0 ? static_cast<uint16_t>(listedId) : page.fileId;
                    const PageMapEntry entry{fileId, page.index, page.pageType};
                    if (IsSecondarySystemPage(page.objectId, page.indexId))
                      database.systemPageMap[page.objectId].push_back(entry);
                    if (dataPage) database.dataPageMap[page.objectId].push_back(entry);
                  });
  return learnedId;
}

void MapListedFiles(CDatabaseFile& database, std::vector<DataFileInfo>& files, const std::string& primaryPath) {
  const std::string folder = FolderOf(primaryPath);
  for (DataFileInfo& info : files) {
    if (info.fileId <= 1) continue;
    // The ".ndf" name also keeps the log file, listed beside the data
    // files, from being read as one.
    const std::string name = SecondaryFileName(info.physicalName);
    const std::string path = FindInFolder(folder, name);
    info.physicalName = path.empty() ? folder + name : path;
    // A file table listing one id twice, or a name that leads back to the
    // primary file, must not map the same pages twice.
    if (path.empty() || database.secondaryFiles.count(info.fileId) || IsSameFile(path, primaryPath)) continue;
    RandomAccessFile file;
    if (!file.Open(path)) continue;
    const FileGeometry g = GeometryOf(file);
    info.fileSize = g.size;
    info.pageCount = g.pageCount;
    info.startOffset = static_cast<int32_t>(g.remainder);
    database.secondaryFiles[info.fileId] = info;
    ScanPages(database, file, g.remainder, g.pageCount, info.fileId);
  }
}

void DiscoverFiles(CDatabaseFile& database, std::vector<DataFileInfo>& files, const std::string& primaryPath) {
  const std::string folder = FolderOf(primaryPath);
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(FolderToSearch(folder), ec), end; !ec && it != end; it.increment(ec)) {
    if (HasNdfExtension(it->path()) && IsRegularFile(it->path())) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());  // the same order on every run

  for (const std::string& name : names) {
    const std::string path = folder + name;
    if (IsSameFile(path, primaryPath)) continue;
    RandomAccessFile file;
    if (!file.Open(path)) continue;
    const FileGeometry g = GeometryOf(file);
    const uint64_t start =
        CheckShiftedStartOf(file, g.pageCount, g.remainder, database.sink(), database.settings().stopRequested);
    const int32_t fileId = ScanPages(database, file, start, g.pageCount, 0);
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
