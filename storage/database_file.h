// The open data file: the primary file, its page geometry, the page maps
// built by one sequential scan (or handed in from a snapshot), the secondary
// files, and the family of page readers that fetch single pages by
// reference.

#ifndef RAVELIN_STORAGE_DATABASE_FILE_H_
#define RAVELIN_STORAGE_DATABASE_FILE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "storage/boot_page.h"
#include "storage/bytes.h"
#include "storage/env.h"
#include "storage/page_header.h"
#include "storage/page_types.h"
#include "storage/progress_sink.h"
#include "storage/read_options.h"
#include "storage/stop_token.h"

namespace ravelin {

class AllocationMap;
class PrimaryRecordPage;
class IamPage;
class TextMixPage;

// Texts of the opening step.
inline constexpr char kTextFileCannotBeOpen[] = "File cannot be open...........";
inline constexpr char kTextNotValidMdf[] = "Wheteher File is not valid mdf file or file is highly corrupted...........";
inline constexpr char kTextCheckingCorruption[] = "Checking for file corruption ...........";
inline constexpr char kTextCheckingCorruptionDone[] = "Checking for file corruption is done...........";
inline constexpr char kTextMapping[] = "Mapping Database Objects...........";
inline constexpr char kTextMappingDone[] = "Mapping of Database Objects has been done ......................";

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

// The three page maps of a database.
struct PageMaps {
  PageMap systemPages;
  PageMap dataPages;
  PageMap iamPages;
};

// Whether `maps` name a page of at least one real system table (zeroed pages
// filed under object 0 do not make a database).
bool HoldsSystemTable(const PageMaps& maps);

// Decides where page 0 of `file` starts: at `remainder` (the file length
// modulo 8192) or at 0. Looks for a page whose header page number equals
// its position, first with the displacement, then without. Returns the
// chosen start offset. Reports status and progress through `sink`.
uint64_t CheckShiftedStartOf(const RandomAccessFile& file, uint64_t pageCount, uint64_t remainder, ProgressSink& sink,
                             StopToken stop);

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
// `statusText`, when not null, is shown once the range is set. A page that
// cannot be read is handed on as read (zero where the read failed) and
// reported to `readFailed` with the error.
void ScanPageHeaders(const RandomAccessFile& file, uint64_t startOffset, uint64_t pageCount, ProgressSink& sink,
                     StopToken stop, const char* statusText, const std::function<void(const ScannedPage&)>& take,
                     const std::function<void(uint32_t index, const ReadResult&)>& readFailed = {});

class CDatabaseFile {
 public:
  // Opens `path` in `env` and decides where page 0 starts. Test isOpen
  // afterwards: on failure the error has been reported to `sink` and
  // openError holds the reason (an errno value; 0 for a file too short).
  // The page maps stay empty until MapPages or AdoptPageMaps.
  CDatabaseFile(std::string path, Env& env, ProgressSink& sink, StopToken stop, ReadOptions options);
  ~CDatabaseFile();
  CDatabaseFile(const CDatabaseFile&) = delete;
  CDatabaseFile& operator=(const CDatabaseFile&) = delete;

  uint64_t fileSize = 0;
  uint64_t pageCount = 0;
  uint64_t startOffset = 0;
  uint64_t extentCount = 0;
  std::string path;
  PageMap systemPageMap;
  PageMap dataPageMap;
  PageMap iamPageMap;
  std::map<int32_t, DataFileInfo> secondaryFiles;
  bool isOpen = false;
  int openError = 0;

  Env& env() const { return env_; }
  ProgressSink& sink() const { return sink_; }
  StopToken stop() const { return stop_; }
  const ReadOptions& options() const { return options_; }

  // Page 0 starts at the remainder (true) or at offset 0 (false, and
  // startOffset is set to 0).
  bool CheckShiftedStart();
  // Builds the three page maps by scanning the file. False, with the error
  // reported and isOpen cleared, when no page of a system table was found.
  bool MapPages();
  // Takes page maps made elsewhere (a snapshot) instead of scanning; false,
  // as MapPages, when they name no system table.
  bool AdoptPageMaps(PageMaps maps);

  // The page maps as MapPages (or AdoptPageMaps) left them, without the
  // entries the secondary files added afterwards: what a snapshot keeps,
  // since every open maps the secondary files again.
  PageMaps PrimaryPageMaps() const;

  // Finds the boot page (page 9, corrected by the displacement that the
  // first catalog page shows) and decodes it; nothing when it lies outside
  // the file.
  std::optional<BootInfo> LoadDatabaseName() const;

  // Whether `ref` names a page of the database: the primary file's pages
  // as far as the file reaches, a secondary file's as far as its size
  // recorded or found; any page of a secondary file whose size is unknown.
  bool HoldsPage(PageRef ref) const;

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
  std::unique_ptr<PrimaryRecordPage> ReadDataPage(PageRef ref) const;
  std::unique_ptr<PrimaryRecordPage> ReadTableDataPage(PageRef ref) const;

  // The 8192 bytes of a page (page 0 allowed when `allowPageZero`), with
  // the address check of every reader: nothing for a reference out of range
  // or in a file that is not known. A read that fails or comes back short
  // is reported once per page as a warning and gives the bytes it got;
  // `whole`, when given, tells whether all 8192 bytes were read.
  std::optional<Bytes> ReadPageBytes(PageRef ref, bool allowPageZero, bool* whole = nullptr) const;

  // A text page (large-value records). When the header at position p says
  // it is page h, every page is taken to be displaced by h - p, and page p
  // is looked for at position 2p - h. Null when it cannot be read. Page 0
  // is refused.
  std::unique_ptr<TextMixPage> ReadTextPage(PageRef ref) const;
  // An IAM page; null when it cannot be read. Page 0 is refused.
  std::unique_ptr<IamPage> ReadIamPage(PageRef ref) const;

  // Reports a page that could not be read whole, once per page.
  void ReportReadFailure(PageRef ref, const ReadResult& result) const;

  // The database's allocation maps (GAM, SGAM, PFS), read as they are
  // asked about.
  const AllocationMap& allocation() const;

 private:
  bool FinishMapping(bool mapped);

  Env& env_;
  ProgressSink& sink_;
  StopToken stop_;
  ReadOptions options_;
  std::unique_ptr<RandomAccessFile> file_;
  PageMaps primaryMaps_;
  mutable std::set<PageRef> reportedPages_;
  mutable std::unique_ptr<AllocationMap> allocation_;
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_DATABASE_FILE_H_
