// The open database: the primary data file, its page geometry, the page
// maps built by one sequential scan, the secondary files, and the family of
// page readers that fetch single pages by reference.

#ifndef RAVELIN_STORAGE_DATABASE_FILE_H_
#define RAVELIN_STORAGE_DATABASE_FILE_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "recovery/progress_sink.h"
#include "recovery/recovery_settings.h"
#include "storage/bytes.h"
#include "storage/page_header.h"
#include "storage/page_types.h"
#include "storage/random_access_file.h"

namespace ravelin {

class CDataPage;
class IamPage;
class TextMixPage;
class SystemCatalog;

// Texts of the opening step.
inline constexpr char kTextFileCannotBeOpen[] = "File cannot be open...........";
inline constexpr char kTextNotValidMdf[] = "Wheteher File is not valid mdf file or file is highly corrupted...........";
inline constexpr char kTextCheckingCorruption[] = "Checking for file corruption ...........";
inline constexpr char kTextCheckingCorruptionDone[] = "Checking for file corruption is done...........";
inline constexpr char kTextMapping[] = "Mapping Database Objects...........";
inline constexpr char kTextMappingDone[] = "Mapping of Database Objects has been done ......................";
inline constexpr char kTextLoadingSnapshot[] = "Loading snapshot...please wait ......................";
inline constexpr char kTextSnapshotLoaded[] = "Load snapshot finished..processing tables ......................";

// The object ids of system tables (and the page keys of their allocation
// units): 100 and below, and 2187.
inline bool IsSystemObjectId(uint32_t objectId) { return objectId <= 100 || objectId == 2187; }

// A page whose header names one of these objects belongs to a system table,
// provided its header index id is below 256: pages of user allocation units
// carry index id 256 and object ids that can collide with these.
bool IsSystemObjectPage(uint32_t objectId, uint16_t indexId);

// The number of pages between two progress positions of a scan of
// `pageCount` pages: about one hundred positions per scan.
uint64_t ProgressStep(uint64_t pageCount);

// Decides where page 0 of `file` starts: at `remainder` (the file length
// modulo 8192) or at 0. Looks for a page whose header page number equals
// its position, first with the displacement, then without. Returns the
// chosen start offset. Reports status and progress through `sink`.
uint64_t CheckShiftedStartOf(const RandomAccessFile& file, uint64_t pageCount, uint64_t remainder, ProgressSink& sink,
                             const std::atomic<bool>& stopRequested);

// The header fields by which a mapping scan files a page.
struct ScannedPage {
  uint32_t index = 0;  // position in the file
  uint32_t objectId = 0;
  uint16_t fileId = 0;
  uint16_t indexId = 0;
  uint32_t pageType = 0;
};

// Reads the pages of `file` from `startOffset` one by one and hands each
// page's filing fields to `take`, until `pageCount` pages or a stop. The
// progress range is the page count, stepped about one hundred times;
// `statusText`, when not null, is shown once the range is set.
void ScanPageHeaders(const RandomAccessFile& file, uint64_t startOffset, uint64_t pageCount, ProgressSink& sink,
                     const std::atomic<bool>& stopRequested, const char* statusText,
                     const std::function<void(const ScannedPage&)>& take);

class CDatabaseFile {
 public:
  // Opens `path`, decides where page 0 starts and maps every page. Test
  // isOpen afterwards: on failure the error has been reported to `sink`.
  CDatabaseFile(std::string path, ProgressSink& sink, RecoverySettings& settings);
  ~CDatabaseFile();
  CDatabaseFile(const CDatabaseFile&) = delete;
  CDatabaseFile& operator=(const CDatabaseFile&) = delete;

  uint64_t fileSize = 0;
  uint64_t pageCount = 0;
  uint64_t startOffset = 0;
  uint64_t extentCount = 0;
  std::string path;
  std::string databaseName;
  PageMap systemPageMap;
  PageMap dataPageMap;
  PageMap iamPageMap;
  std::map<int32_t, DataFileInfo> secondaryFiles;
  bool isOpen = false;
  // What the boot page said, once LoadDatabaseName has read it.
  bool bootPageRead = false;
  uint16_t databaseVersion = 0;
  int32_t databaseCollationId = 0;

  RecoverySettings& settings() const { return settings_; }
  ProgressSink& sink() const { return sink_; }

  // Page 0 starts at the remainder (true) or at offset 0 (false, and
  // startOffset is set to 0).
  bool CheckShiftedStart();
  // Builds the three page maps, by scanning or, in snapshot mode, from the
  // snapshot file; true when at least one page of a system table exists.
  bool MapPages();

  // One of the page maps as MapPages left it, without the entries that the
  // secondary files added afterwards: what a snapshot keeps, since every
  // open maps the secondary files again.
  PageMap MappedByPrimaryScan(const PageMap& map) const;

  // Finds the boot page (page 9, corrected by the displacement that the
  // first catalog page shows) and takes the database name, version and
  // collation from it.
  void LoadDatabaseName();

  // The catalog of this database. Without `reuse` (or when none exists
  // yet) a new one is loaded, replacing the one held before; with it the
  // one held is returned. The database file owns the catalog, which lives
  // until the next load or until the file object is destroyed.
  SystemCatalog* GetCatalog(bool reuse);

  // The 8192 bytes of a page plus one zero byte; nothing when the reference
  // fails the address check. Page 0 is refused.
  std::optional<Bytes> ReadRawPage(PageRef ref) const;
  std::unique_ptr<CPage_Header> ReadPageHeader(PageRef ref) const;
  struct HeaderAndBuffer {
    std::unique_ptr<CPage_Header> header;
    Bytes buffer;
  };
  // As ReadPageHeader, handing the page's bytes to the caller as well.
  std::optional<HeaderAndBuffer> ReadPageHeaderKeepBuffer(PageRef ref) const;

  // A data page with the records of every slot built; null when the
  // reference fails the address check. ReadDataPage allows page 0 (the
  // catalog reads whatever the page maps list); ReadTableDataPage, used for
  // a table's own pages, refuses it.
  std::unique_ptr<CDataPage> ReadDataPage(PageRef ref);
  std::unique_ptr<CDataPage> ReadTableDataPage(PageRef ref);

  // Where a text page really lies: when the header at position p says it is
  // page h, every page is taken to be displaced by h - p, and page p is
  // looked for at position 2p - h. Unreadable headers leave p.
  PageRef TextPageLocation(PageRef ref) const;

  // The 8192 bytes of a page (page 0 allowed when `allowPageZero`), with
  // the address check of every reader: nothing for a reference out of range
  // or in a file that is not known.
  std::optional<Bytes> ReadPageBytes(PageRef ref, bool allowPageZero) const;

  // A text page (large-value records), looked for where TextPageLocation
  // says; null when it cannot be read. Page 0 is refused.
  std::unique_ptr<TextMixPage> ReadTextPage(PageRef ref);
  // An IAM page; null when it cannot be read. Page 0 is refused.
  std::unique_ptr<IamPage> ReadIamPage(PageRef ref);

 private:
  bool MapPrimaryPages();

  RecoverySettings& settings_;
  ProgressSink& sink_;
  RandomAccessFile file_;
  std::unique_ptr<SystemCatalog> catalog_;
  // Entries per object of each map when MapPages ended; later entries
  // come from secondary files.
  std::map<const PageMap*, std::map<uint32_t, size_t>> mappedCounts_;
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_DATABASE_FILE_H_
