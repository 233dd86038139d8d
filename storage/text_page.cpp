#include "storage/text_page.h"

#include <algorithm>

namespace ravelin {
namespace {

constexpr int kStructureHeaderSize = 10;

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
  for (uint16_t offset : slotOffsets) {
    // Offset 0 marks an empty slot, and nothing below 96 is a record: the
    // header stands there.
    if (offset < kPageHeaderSize || offset >= kPageSize) {
      records.push_back(nullptr);
      continue;
    }
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

}  // namespace ravelin
