// Page classes: a page owns its 8192-byte buffer and its decoded header; a
// record page also owns the records its slot array points at.

#ifndef RAVELIN_STORAGE_PAGE_H_
#define RAVELIN_STORAGE_PAGE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "storage/bytes.h"
#include "storage/compressed_page.h"
#include "storage/page_header.h"
#include "storage/read_options.h"
#include "storage/record.h"
#include "storage/stop_token.h"

namespace ravelin {

class CDatabaseFile;

class CPage {
 public:
  CPage() = default;
  // Takes the buffer, decodes the header and restores torn bits in it. The
  // page is read with `readOptions` when given, else with the file's.
  CPage(Bytes buffer, const CDatabaseFile* databaseFile, const ReadOptions* readOptions = nullptr);
  virtual ~CPage() = default;
  CPage(const CPage&) = delete;
  CPage& operator=(const CPage&) = delete;

  std::unique_ptr<CPage_Header> header;
  const CDatabaseFile* file = nullptr;  // not owned; may be null
  Bytes data;

  // How the run reads pages, and its stop request (defaults without a file).
  const ReadOptions& options() const;
  StopToken stop() const;
  ByteSpan bytes() const { return ByteSpan(data); }
  // The compression information of a page-compressed page; null when the
  // page carries none.
  virtual const CompressionInfo* compressionInfo() const { return nullptr; }

 private:
  std::optional<ReadOptions> ownOptions_;
};

// Clears the links (previous and next page), the ghost count and the free
// count of a page that names its own place `where` in its header where
// they read negative, as no link or count can: a damaged link costs the
// walk along the chain, not the records of the page.
void MendImpossibleHeaderFields(Bytes& page, PageRef where);

class RecordPage : public CPage {
 public:
  RecordPage() = default;
  // Takes the buffer and copies the slot array.
  RecordPage(Bytes buffer, const CDatabaseFile* databaseFile, const ReadOptions* readOptions = nullptr);

  // One entry per slot, in slot order; null where the slot yields nothing.
  std::vector<std::unique_ptr<CRecord>> records;
  // Record offsets from the slot array, then those of the records the
  // deleted-record hunt found (from huntedFrom on).
  std::vector<uint16_t> slotOffsets;
  size_t huntedFrom = 0;
  // The slot count the header stored, where it contradicted the header's
  // free-space fields and was mended from the slot array.
  std::optional<int16_t> storedSlotCount;

 protected:
  void CopySlotArray();
};

// A page of records in the primary record format: data pages, the boot
// page, IAM pages.
class PrimaryRecordPage : public RecordPage {
 public:
  // An empty page without a buffer.
  PrimaryRecordPage() = default;
  // Builds the records of every slot (after the deleted-record hunt when
  // both deleted-record options are on).
  PrimaryRecordPage(Bytes buffer, const CDatabaseFile* databaseFile, const ReadOptions* readOptions = nullptr);
  // Builds only the record of `slotIndex`; its entry is the only one.
  PrimaryRecordPage(Bytes buffer, const CDatabaseFile* databaseFile, int slotIndex);

  // A data page whose header cannot be trusted (it does not name the page
  // it stands at) but that is known to be page `where` of a table whose
  // records have their fixed part end at `fixedEnd` (0: not known): the
  // header is taken as that of a data page, and the records are found by
  // walking the page from its first record on.
  static std::unique_ptr<PrimaryRecordPage> WithRepairedHeader(Bytes buffer, const CDatabaseFile* databaseFile,
                                                               PageRef where, uint16_t fixedEnd);

  // The slot array did not point at records and the records were found by
  // walking the page instead.
  bool slotArrayRepaired = false;

  // Record offsets collected by the deleted-record hunt.
  std::vector<uint16_t> candidateOffsets;

  // Compression information, when the header says the page carries it;
  // its anchor and dictionary are views into `data`.
  std::optional<CompressionInfo> compression;
  const CompressionInfo* compressionInfo() const override { return compression ? &*compression : nullptr; }

  // Where the record space ends: the start of the slot array the header
  // describes (the page end when the slot count cannot be right).
  size_t RecordSpaceEnd() const;

  // Whether the header is sound enough for its records to be read.
  bool HeaderAllowsRecords() const;

 private:
  void ReadCompression();
  void HuntDeletedRecords();
  // Whether some slot of a data page points where no record stands.
  bool SlotArrayLooksDamaged() const;
  // Puts back the few slot entries that point where no record stands, each
  // where one damaged byte moved it from a record no other entry covers.
  void MendSlotEntries();
  // The offsets of the records standing on the page, from the first record
  // on to `end`, found by measuring each record and, after a gap, by the
  // next place that looks like the start of a record of the page's table.
  std::vector<uint16_t> WalkRecords(int end, uint16_t fixedEnd, bool acceptGhosts) const;
  // The entries of a slot array whose count was lost with the header: from
  // the page's end, as long as each points at a record of its own; empty
  // when the first does not.
  std::vector<uint16_t> SlotsBeforeTheHeaderWasLost() const;
  void BuildAllRecords();
  std::unique_ptr<CRecord> BuildRecord(uint16_t offset, bool followForwarding) const;
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_PAGE_H_
