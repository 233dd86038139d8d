#include "storage/text_page.h"

#include <algorithm>

namespace ravelin {
namespace {

constexpr int kStructureHeaderSize = 10;
// The status byte's record type of a text record.
constexpr int kBlobFragmentType = 4;

uint64_t BlobIdOf(const TextRecord& record) { return LoadLE<uint64_t>(*record.fixedData, 0); }

bool HasBlobId(const TextRecord* record) {
  return record && !record->hasError && record->fixedData && record->fixedData->size() >= 8;
}

// Roots are what text pointers name; data fragments and internal nodes
// never are. A record too short for a kind is an empty value's root.
bool IsRoot(const TextRecord& record) {
  switch (record.lobType) {
    case kLobSmallRoot:
    case kLobLargeRootShiloh:
    case kLobLargeRootYukon:
    case kLobSuperLargeRoot:
    case kLobUnreadable:
      return record.recordType == kBlobFragmentType;
    default:
      return false;
  }
}

// What links from a root lead to: internal nodes and data fragments.
bool IsNode(const TextRecord& record) {
  return record.recordType == kBlobFragmentType && (record.lobType == kLobInternal || record.lobType == kLobData);
}

bool OneByteApart(uint64_t a, uint64_t b) {
  const uint64_t diff = a ^ b;
  if (diff == 0) return false;
  for (int k = 0; k < 8; ++k)
    if ((diff & ~(uint64_t{0xFF} << (8 * k))) == 0) return true;
  return false;
}

}  // namespace

TextRecord::TextRecord(ByteSpan bytes, const CPage* owner, uint16_t maxLen) {
  page = owner;
  maxLength = maxLen;
  const ByteSpan work = bytes.first(std::min<size_t>(bytes.size(), maxLength));
  if (work.size() < 4) {
    hasError = true;
    return;
  }
  const uint8_t statusA = work[0];
  recordType = (statusA >> 1) & 7;
  hasNullBitmap = statusA & kStatusNullBitmap;
  hasVarColumns = statusA & kStatusVarColumns;
  const int fixedEnd = LoadLE<int16_t>(work, 2);
  const int d = fixedEnd - 4;
  fixedLength = static_cast<int16_t>(d);
  if (fixedEnd != 4 && d >= 0 && d < maxLength) fixedData = CopyBytes(work, 4, static_cast<size_t>(d));
  recordLength = fixedData ? fixedEnd : 4;
  if (!fixedData || d < kStructureHeaderSize) return;
  lobType = LoadLE<int16_t>(*fixedData, 8);
  payloadLength = d - kStructureHeaderSize;
}

TextMixPage::TextMixPage(Bytes buffer, const CDatabaseFile* databaseFile)
    : RecordPage(std::move(buffer), databaseFile) {
  const ByteSpan pageBytes = bytes().first(std::min<size_t>(data.size(), kPageSize));
  records.reserve(slotOffsets.size());
  offsets_.reserve(slotOffsets.size());
  for (uint16_t offset : slotOffsets) {
    // Offset 0 marks an empty slot, and nothing below 96 is a record: the
    // header stands there.
    if (offset < kPageHeaderSize || offset >= kPageSize) {
      records.push_back(nullptr);
      offsets_.push_back(-1);
      continue;
    }
    offsets_.push_back(offset);
    const auto maxLength = static_cast<uint16_t>(kPageSize - offset);
    records.push_back(std::make_unique<TextRecord>(pageBytes.subspan(offset), this, maxLength));
  }
  slotOffsets.clear();
  slotOffsets.shrink_to_fit();
}

const TextRecord* TextMixPage::RecordAt(int slot) const {
  if (slot < 0 || static_cast<size_t>(slot) >= records.size()) return nullptr;
  return static_cast<const TextRecord*>(records[static_cast<size_t>(slot)].get());
}

int TextMixPage::OffsetAt(int slot) const {
  if (slot < 0 || static_cast<size_t>(slot) >= offsets_.size()) return -1;
  return offsets_[static_cast<size_t>(slot)];
}

bool TextMixPage::SlotHoldsBlob(int slot, uint64_t blobId) const {
  const TextRecord* record = RecordAt(slot);
  return HasBlobId(record) && BlobIdOf(*record) == blobId;
}

TextMixPage::Found TextMixPage::FindValueRecord(int slot, uint64_t blobId, bool root, int32_t payloadLength,
                                                bool searchBytes) const {
  const auto fits = [&](const TextRecord* record) {
    if (!HasBlobId(record) || BlobIdOf(*record) != blobId) return false;
    if (root ? !IsRoot(*record) : !IsNode(*record)) return false;
    // An empty fragment holds nothing a link would point at.
    if (record->lobType != kLobData) return true;
    return payloadLength < 0 ? record->payloadLength > 0 : record->payloadLength == payloadLength;
  };
  const auto found = [&](const TextRecord& record, int offset) {
    return Found{std::make_unique<TextRecord>(record), offset};
  };
  const TextRecord* named = RecordAt(slot);
  if (SlotHoldsBlob(slot, blobId)) return found(*named, offsets_[static_cast<size_t>(slot)]);

  // Another slot whose record is the one: a slot entry or the link's slot
  // number took the damage.
  size_t only = records.size();
  int matches = 0;
  for (size_t k = 0; k < records.size(); ++k) {
    if (!fits(static_cast<const TextRecord*>(records[k].get()))) continue;
    only = k;
    ++matches;
  }
  if (matches == 1) return found(*static_cast<const TextRecord*>(records[only].get()), offsets_[only]);
  if (matches > 1) return {};

  // A damaged slot array: the id stands four bytes into the record.
  const ByteSpan pageBytes = bytes().first(std::min<size_t>(data.size(), kPageSize));
  if (searchBytes && blobId != 0) {
    Found one;
    for (size_t at = kPageHeaderSize; at + 4 + 8 <= pageBytes.size(); ++at) {
      if (LoadLE<uint64_t>(pageBytes, at + 4) != blobId) continue;
      auto record =
          std::make_unique<TextRecord>(pageBytes.subspan(at), this, static_cast<uint16_t>(pageBytes.size() - at));
      if (!fits(record.get())) continue;
      if (one.record) return {};
      one = Found{std::move(record), static_cast<int>(at)};
    }
    if (one.record) return one;
  }

  // The slot's own record, when only one byte of either id was damaged.
  if (HasBlobId(named) && (root ? IsRoot(*named) : IsNode(*named)) && OneByteApart(BlobIdOf(*named), blobId))
    return found(*named, offsets_[static_cast<size_t>(slot)]);
  return {};
}

}  // namespace ravelin
