// What the fuzz targets share: how an option byte sets the reading options,
// pages made from input bytes, small data files held in memory that the
// targets write their pages into, the fixed pages that records' forwarding
// stubs and large-value pointers lead to, and the column set records are
// decoded with. The seed writer (fuzz_seeds) builds its seeds against the
// same fixtures, so that seeds reach past the first pointer.

#ifndef RAVELIN_FUZZ_FUZZ_SUPPORT_H_
#define RAVELIN_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalog/column_descriptor.h"
#include "catalog/opened_database.h"
#include "storage/bytes.h"
#include "storage/collation.h"
#include "storage/database_file.h"
#include "storage/memory_env.h"
#include "storage/page_types.h"
#include "storage/progress_sink.h"
#include "storage/read_options.h"

namespace ravelin::fuzz {

// Bit 0 shows deleted records, bit 1 also hunts for records the slot
// arrays lost, bit 2 reads in Advanced mode.
ReadOptions ReadOptionsFrom(uint8_t bits);

// An 8192-byte page holding `bytes`, cut or zero-filled.
Bytes PageFrom(ByteSpan bytes);

// A page in short form: its first `head` bytes (header and records), then
// its last `tail` bytes (the slot array). The bytes between are zero; the
// pages that use this form keep nothing there that the readers reach.
struct CompactPage {
  size_t head = 0;
  size_t tail = 0;

  size_t size() const { return head + tail; }
  // Writes the page `chunk` stands for (a shorter chunk is zero-filled)
  // over the 8192 bytes at `page`.
  void Expand(ByteSpan chunk, uint8_t* page) const;
  // The short form of a whole page.
  Bytes Shorten(ByteSpan page) const;
};

// The large-value target's text pages: records at the start, a slot array
// of 24 slots at the end.
inline constexpr CompactPage kLobPage{2000, 48};
inline constexpr uint32_t kLobInputPages = 2;
// The IAM target's pages: the IAM header record and the first 800-odd
// bytes of the extent bitmap (far more extents than its files have), and
// the slot array.
inline constexpr CompactPage kIamPage{1008, 16};
inline constexpr uint32_t kIamInputPages = 4;

// A data file of `pageCount` zero pages held in `env` at `path`, written
// by a target before each run and opened once per set of reading options.
class MemoryDataFile {
 public:
  MemoryDataFile(MemoryEnv& env, std::string path, uint32_t pageCount);

  uint32_t pageCount() const { return pageCount_; }
  const std::string& path() const { return path_; }
  uint8_t* Page(uint32_t pageNo);
  // Page `pageNo` := `bytes`, cut or zero-filled.
  void SetPage(uint32_t pageNo, ByteSpan bytes);
  // The file as a secondary file of a database, with id `fileId`.
  DataFileInfo Describe(int32_t fileId) const;

  // The file opened with the reading options of `bits` (ReadOptionsFrom).
  CDatabaseFile& Open(uint8_t bits);

 private:
  MemoryEnv& env_;
  std::string path_;
  uint32_t pageCount_;
  Bytes image_;
  NullProgressSink sink_;
  std::unique_ptr<CDatabaseFile> opened_[8];
};

// The pages that records' references lead to in the record fixture file.
// Page 1 is a data page of forwarded records (kForwardedSlots slots);
// page 2 a text page holding, by slot: a small root, a data fragment, a
// large root over slots 1 and 3, a second fragment, an internal node over
// slots 1 and 3, a small root of UTF-16 text, a large root that links
// to page 3; page 3 a text page whose slot 0 is a fragment and slot 1 a
// large root that links back to page 2 and to itself.
inline constexpr int32_t kForwardedPage = 1;
inline constexpr int kForwardedSlots = 4;
inline constexpr int32_t kTextPage = 2;
inline constexpr int kTextSlots = 7;
inline constexpr int32_t kSecondTextPage = 3;
inline constexpr uint32_t kRecordFixturePages = 8;

// Writes the pages above into `file`.
void WriteRecordFixture(MemoryDataFile& file);

// The column set records are decoded with: a column of every kind of
// fixed and variable value, nine bits over two bytes, large values by text
// pointer and in-row root, sql_variant, xml and two sparse columns. With
// `laidOut` every column has the physical offset and null bit a table of
// these columns gets; without it they are placed by position only.
std::vector<ColumnDescriptor> RecordColumns(bool laidOut);

// What a run does with an opened database: reads its definition rows,
// prepares each object of the catalog (the first kMaxObjects of them) and
// lists every row of each user table page by page, as the rows command
// does, and its first page again as the records list shows it first. A
// row without a value for each column is a finding.
inline constexpr size_t kMaxObjects = 200;
void ReadEverything(const OpenedDatabase& db, ProgressSink& sink);

// The collations of collation.txt beside the fuzz target (the build copies
// it there), or a few of them when it is missing.
const CollationTable& FuzzCollations();

}  // namespace ravelin::fuzz

#endif  // RAVELIN_FUZZ_FUZZ_SUPPORT_H_
