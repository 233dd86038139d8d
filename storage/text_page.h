// Text pages: the pages that hold the records of large values (text, ntext,
// image and the max-length types stored outside the row).

#ifndef RAVELIN_STORAGE_TEXT_PAGE_H_
#define RAVELIN_STORAGE_TEXT_PAGE_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "storage/bytes.h"
#include "storage/page.h"
#include "storage/record.h"

namespace ravelin {

// Kinds of large-value structure (the int16 at offset 8 of a text record's
// fixed data).
constexpr int16_t kLobSmallRoot = 0;
constexpr int16_t kLobInternal = 2;
constexpr int16_t kLobData = 3;
constexpr int16_t kLobLargeRootShiloh = 4;
constexpr int16_t kLobLargeRootYukon = 5;
constexpr int16_t kLobSuperLargeRoot = 6;
// A record too short to hold a structure header.
constexpr int16_t kLobUnreadable = 8;

// A record of a text page: status bytes, fixedEnd, then the large-value
// structure as the record's fixed-length data.
class TextRecord : public CRecord {
 public:
  // Parses the record at the start of `bytes`, reading at most `maxLength`
  // bytes.
  TextRecord(ByteSpan bytes, const CPage* page, uint16_t maxLength);

  int16_t lobType = kLobUnreadable;
  // Bytes after the 10-byte structure header (blob id and kind).
  int32_t payloadLength = 0;
};

class TextMixPage : public RecordPage {
 public:
  // Builds one TextRecord per slot; a slot that cannot hold a record gives
  // a null entry.
  TextMixPage(Bytes buffer, const CDatabaseFile* databaseFile);

  // The record of `slot`; null when the slot is out of range or empty.
  const TextRecord* RecordAt(int slot) const;
  // Where the record of `slot` starts; -1 when there is none.
  int OffsetAt(int slot) const;
  // Whether the record of `slot` carries blob id `blobId`.
  bool SlotHoldsBlob(int slot, uint64_t blobId) const;

  // A record of the value `blobId` found by FindValueRecord, and where it
  // starts on the page.
  struct Found {
    std::unique_ptr<TextRecord> record;
    int offset = 0;
  };

  // The record a link names by `slot` in the value whose blob id is
  // `blobId` (a root's own id, which a text pointer's first eight bytes
  // repeat and every record under the root carries too). `root` asks for a
  // root, else for a node under one; `payloadLength`, when not negative, is
  // the length the record's data should have. The slot's record when its
  // id agrees; else the one record of that kind and id on the page, found
  // through the other slots or, when the slot array is damaged, in the
  // page's bytes; else the slot's record when its id differs from `blobId`
  // in one byte. Nothing when no record or several could be it. Without
  // `searchBytes` the page's bytes are not searched.
  Found FindValueRecord(int slot, uint64_t blobId, bool root, int32_t payloadLength, bool searchBytes = true) const;

 private:
  std::vector<int> offsets_;  // of each slot's record, -1 where none
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_TEXT_PAGE_H_
