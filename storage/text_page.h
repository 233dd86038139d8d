// Text pages: the pages that hold the records of large values (text, ntext,
// image and the max-length types stored outside the row).

#ifndef RAVELIN_STORAGE_TEXT_PAGE_H_
#define RAVELIN_STORAGE_TEXT_PAGE_H_

#include <cstdint>

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
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_TEXT_PAGE_H_
