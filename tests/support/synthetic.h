// Builders for synthetic pages, records and data files, so that tests state
// what a page holds rather than spelling out its bytes.

#ifndef RAVELIN_TESTS_SUPPORT_SYNTHETIC_H_
#define RAVELIN_TESTS_SUPPORT_SYNTHETIC_H_

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "storage/bytes.h"
#include "storage/page_types.h"

namespace ravelin::testing {

// Little-endian encodings, for building field values.
Bytes LE16(uint16_t v);
Bytes LE32(uint32_t v);
Bytes LE64(uint64_t v);
// UTF-8 text as UTF-16LE bytes.
Bytes Utf16(const std::string& text);
// `text`'s bytes as they stand.
Bytes Ascii(const std::string& text);
// a followed by b.
Bytes Concat(std::initializer_list<Bytes> parts);
// An on-disk page pointer: page number (4 bytes), then file id (2 bytes).
Bytes DiskPageRef(PageRef ref);

// A record in the FixedVar format: status bytes, fixed part, column count,
// null bitmap, variable column offsets and data.
class RecordBuilder {
 public:
  RecordBuilder& Type(int recordType);      // 0 primary, 1 forwarded, 6 ghost, ...
  RecordBuilder& StatusA(uint8_t statusA);  // overrides everything derived
  RecordBuilder& Fixed(const Bytes& fixed);
  RecordBuilder& ColumnCount(int16_t count);
  RecordBuilder& NullColumn(int column);
  RecordBuilder& NoNullBitmap();
  RecordBuilder& Var(const Bytes& data, bool complex = false);
  Bytes Build() const;

  // A forwarding stub pointing at `slot` of page `target`.
  static Bytes ForwardingStub(PageRef target, int16_t slot);

 private:
  int type_ = 0;
  int statusOverride_ = -1;
  Bytes fixed_;
  int16_t columnCount_ = -1;  // -1: derived
  std::vector<int> nulls_;
  bool nullBitmap_ = true;
  std::vector<std::pair<Bytes, bool>> vars_;
};

// One 8192-byte page: header fields, records with their slots.
class PageBuilder {
 public:
  PageBuilder(uint32_t pageNo = 0, uint16_t fileId = 1);

  PageBuilder& PageType(uint8_t type);
  PageBuilder& ObjectId(uint32_t id);
  PageBuilder& IndexId(uint16_t id);
  PageBuilder& Level(uint8_t level);
  PageBuilder& FlagBits(uint16_t flags);
  PageBuilder& TypeFlagBits(uint8_t flags);
  PageBuilder& Next(PageRef ref);
  PageBuilder& Prev(PageRef ref);
  PageBuilder& This(PageRef ref);
  PageBuilder& GhostCount(int16_t count);
  // Length of the fixed part of the page's records, header included.
  PageBuilder& MinLen(uint16_t length);
  // Overrides the slot count that Build writes.
  PageBuilder& SlotCount(int16_t count);

  // Appends a record behind the last one and a slot for it; returns its
  // offset.
  uint16_t AddRecord(const Bytes& record);
  // Appends a record without a slot (a record the slot array lost).
  uint16_t AddUnslottedRecord(const Bytes& record);
  // Writes `bytes` at `offset` of the page.
  PageBuilder& Put(uint16_t offset, const Bytes& bytes);
  PageBuilder& Slot(int index, uint16_t offset);

  // Torn-page protection as SQL Server applies it: the low two bits of the
  // last byte of sectors 1..15 are saved in the header and overwritten with
  // `pattern`.
  PageBuilder& TornProtect(uint8_t pattern = 1);
  // A page checksum (header flag 0x200), computed when the page is built.
  PageBuilder& Checksum();

  Bytes Build() const;
  uint32_t pageNo() const { return pageNo_; }

 private:
  uint32_t pageNo_;
  Bytes page_;
  std::vector<uint16_t> slots_;
  std::optional<int16_t> slotCountOverride_;
  uint16_t freeData_ = 96;
  bool torn_ = false;
  uint8_t tornPattern_ = 1;
  bool checksum_ = false;
};

// --- Large-value structures ------------------------------------------------

// A link from a root, internal node or in-row root to a text record: where
// the record is, and the offset of the end of its bytes in the value.
struct LobLinkSpec {
  PageRef page;
  uint16_t slot = 0;
  uint32_t size = 0;
};

// A text record (status 0x08) whose fixed data is `structure`.
Bytes TextRecordBytes(const Bytes& structure);
// Structures: blob id, kind, then the kind's own part. `padTo` pads the
// structure with zeros to that many bytes (SQL Server pads roots to 80).
Bytes SmallRootStructure(const Bytes& data, size_t padTo = 0, uint64_t blobId = 1);
Bytes DataStructure(const Bytes& data, uint64_t blobId = 1);
Bytes InternalStructure(const std::vector<LobLinkSpec>& links, uint64_t blobId = 1);
Bytes LargeRootStructure(const std::vector<LobLinkSpec>& links, uint16_t kind = 5, size_t padTo = 0,
                         uint64_t blobId = 1);
// What a row holds: a 16-byte text pointer (which starts with its root's
// blob id), or an in-row root (type 2 or 4, a 12-byte header, then one
// 12-byte link per entry).
Bytes TextPointer(PageRef page, uint16_t slot, uint64_t blobId = 1);
Bytes InRowRoot(const std::vector<LobLinkSpec>& links, uint8_t type = 4);

// --- IAM pages -------------------------------------------------------------

// Slot 0 of an IAM page: the header with the interval's start page and up
// to eight single pages.
Bytes IamHeaderRecord(PageRef startPage, const std::vector<PageRef>& singlePages);
// Slot 1 of an IAM page: the extent bitmap, padded to a whole interval.
Bytes IamBitmapRecord(const Bytes& bitmap);

// --- File header ------------------------------------------------------------

// The record of a file header page (page 0) recording `pageCount` pages: a
// four-byte fixed part, 23 columns, 22 variable ones (binding id, an empty
// field, file and filegroup ids, the size, then the rest, empty here).
Bytes FileHeaderRecord(uint32_t pageCount);
// Makes `page` an IAM page (type 10) holding the two records above.
PageBuilder& MakeIamPage(PageBuilder& page, PageRef startPage, const std::vector<PageRef>& singlePages,
                         const Bytes& bitmap);

// A whole data file: numbered pages, all others zero.
class DatabaseImage {
 public:
  explicit DatabaseImage(uint32_t pageCount) : pageCount_(pageCount) {}
  PageBuilder& Page(uint32_t pageNo, uint16_t fileId = 1);
  // The bytes of page `pageNo`, as given (not built from a PageBuilder).
  void SetRaw(uint32_t pageNo, Bytes bytes);
  Bytes Build() const;
  // Only the pages set, by their byte offset in the file: for files too
  // large to build whole (MemoryEnv::AddSparseFile).
  std::map<uint64_t, Bytes> BuildPieces() const;
  // The numbers of the pages set, ascending.
  std::vector<uint32_t> PageNumbers() const;
  uint32_t pageCount() const { return pageCount_; }

 private:
  uint32_t pageCount_;
  std::map<uint32_t, PageBuilder> pages_;
  std::map<uint32_t, Bytes> raw_;
};

// --- Allocation maps -------------------------------------------------------

// A record of nothing but a fixed part (no column count), as SQL Server
// writes the records of allocation map pages.
Bytes FixedOnlyRecord(const Bytes& fixed);
// Makes `page` a PFS page (type 11, object 99) holding `pfsBytes`, one byte
// per page of its interval, padded with zeros to 8088 bytes.
PageBuilder& MakePfsPage(PageBuilder& page, const Bytes& pfsBytes);
// Makes `page` a GAM (type 8) or SGAM (type 9) page, object 99: a 90-byte
// header record, then `bitmap` (one bit per extent, least significant bit
// first) padded to 7988 bytes with `padding`.
PageBuilder& MakeExtentMapPage(PageBuilder& page, uint8_t pageType, const Bytes& bitmap, uint8_t padding);

// The allocation state of one data file, written out as its PFS, GAM and
// SGAM pages. Every extent starts free and every page unallocated, except
// the file's first page and the map pages themselves.
class AllocationMapsBuilder {
 public:
  explicit AllocationMapsBuilder(uint32_t pageCount, uint16_t fileId = 1);

  // Allocates a page: its PFS byte gets the allocated bit and `pfsFlags`
  // (kPfsIamPage, kPfsMixedExtent, ...), its extent is in use.
  AllocationMapsBuilder& AllocatePage(uint32_t pageNo, uint8_t pfsFlags = 0);
  // Allocates every page `image` holds (map pages aside).
  AllocationMapsBuilder& AllocateImagePages(const DatabaseImage& image);
  // Deallocates a page as SQL Server does: the PFS allocated bit is
  // cleared, the other bits stay, the extent stays in use.
  AllocationMapsBuilder& FreePage(uint32_t pageNo);
  // Frees the extent that holds `pageNo`: free in the GAM, no longer mixed
  // in the SGAM, and none of its pages allocated.
  AllocationMapsBuilder& FreeExtent(uint32_t pageNo);
  // Marks the extent that holds `pageNo` as a mixed extent with free pages.
  AllocationMapsBuilder& MixedWithFree(uint32_t pageNo);
  // The PFS byte of a page, to set odd values.
  uint8_t& Pfs(uint32_t pageNo) { return pfs_[pageNo]; }

  // Writes the map pages that lie inside the file (PFS at 1, 8088, 16176,
  // ...; GAM at 2, 511232, ...; SGAM one page after each GAM) into `image`.
  void WriteTo(DatabaseImage& image) const;
  // The page numbers of those map pages, ascending.
  std::vector<uint32_t> MapPages() const;

 private:
  uint32_t pageCount_;
  uint16_t fileId_;
  std::map<uint32_t, uint8_t> pfs_;
  std::set<uint32_t> usedExtents_;   // by number within the file
  std::set<uint32_t> mixedExtents_;  // with free pages
};

// A directory removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes `bytes` to a file of that name in the directory; returns its path.
  std::string Write(const std::string& name, const Bytes& bytes) const;

 private:
  std::string path_;
};

// Reads a whole file.
Bytes ReadFileBytes(const std::string& path);

// The folder of the real test databases, or "" when it is absent.
std::string TestDataDir();

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_SYNTHETIC_H_
