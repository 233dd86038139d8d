#include "storage/record.h"

#include <algorithm>

#include "storage/database_file.h"
#include "storage/page.h"

namespace ravelin {
namespace {

constexpr int kMaxFixedLength = 8060;
constexpr int kMaxColumns = 1024;

bool IsAcceptedType(int type, bool showDeleted) {
  return type == kRecordPrimary || type == kRecordForwarded || type == kRecordForwardingStub ||
         (showDeleted && type == kRecordGhostData);
}

// Walks the variable column offsets from `position` the way the parser
// does, without copying anything; returns the end position.
int MeasureVarColumns(ByteSpan work, int position, int16_t columnCount, bool readCount) {
  int16_t count = columnCount;
  if (readCount) {
    count = LoadLE<int16_t>(work, position);
    position += 2;
  }
  if (count > columnCount) return 0;
  if (count <= 0 || count >= kMaxColumns) return position;
  std::vector<uint16_t> ends(static_cast<size_t>(count));
  for (auto& end : ends) {
    end = LoadLE<uint16_t>(work, static_cast<size_t>(position));
    position += 2;
  }
  int start = position;
  for (uint16_t raw : ends) {
    int end = raw & 0x7FFF;
    if (end > start && end <= static_cast<int>(work.size()) && start > 0 && start <= 8191) {
      start = end;
      position = end;
    }
  }
  return position;
}

}  // namespace

bool CRecord::IsNullBitSet(int column) const {
  if (!nullBitmap || column < 0) return false;
  size_t byte = static_cast<size_t>(column) / 8;
  if (byte >= nullBitmap->size()) return false;
  return ((*nullBitmap)[byte] >> (column % 8)) & 1;
}

CPrimaryRecord::CPrimaryRecord(ByteSpan bytes, const CPage* owner, uint16_t maxLen, bool followForwarding) {
  page = owner;
  maxLength = maxLen;
  Parse(bytes, followForwarding);
}

void CPrimaryRecord::Parse(ByteSpan bytes, bool followForwarding) {
  if (page && page->header && (page->header->thisPage.pageNo < 0 || page->header->pageType > 17)) {
    hasError = true;
    return;
  }
  ByteSpan work = bytes.first(std::min<size_t>(bytes.size(), maxLength));
  if (work.empty()) {
    hasError = true;
    return;
  }
  uint8_t statusA = work[0];
  recordType = (statusA >> 1) & 7;
  const bool showDeleted = page && page->options().showDeleted;
  isHiddenGhost =
      (recordType == kRecordGhostIndex || recordType == kRecordGhostData || recordType == kRecordGhostVersion) &&
      !showDeleted;
  if (!IsAcceptedType(recordType, showDeleted)) {
    hasError = true;
    return;
  }
  if (statusA & kStatusCompressed) {
    // The compressed layout has no fixed part or column offsets of this
    // kind; such records are reported as unreadable rather than misread.
    isCompressed = true;
    hasError = true;
    return;
  }

  Bytes forwarded;
  if (recordType == kRecordForwardingStub) {
    if (!followForwarding || !FollowForwardingStub(work, forwarded)) {
      fixedLength = kUnreadableForward;
      return;
    }
    // The forwarded record stands in for the stub; it is bounded by its own
    // length, not by the stub's place on its page.
    work = ByteSpan(forwarded);
    maxLength = static_cast<uint16_t>(std::min<size_t>(forwarded.size(), 0xFFFF));
    statusA = work[0];
  }
  hasNullBitmap = statusA & kStatusNullBitmap;
  hasVarColumns = statusA & kStatusVarColumns;

  int position = 4;
  const int fixedEnd = LoadLE<int16_t>(work, 2);
  fixedLength = static_cast<int16_t>(fixedEnd - 4);
  if (fixedLength > 0 && fixedLength < kMaxFixedLength && recordType != kRecordIndex && fixedLength <= maxLength) {
    fixedData = CopyBytes(work, 4, static_cast<size_t>(fixedLength));
    if (fixedData) position = fixedEnd;
  }
  if (recordType == kRecordIndex) {
    recordLength = position;
    return;
  }
  columnCount = LoadLE<int16_t>(work, static_cast<size_t>(position));
  if (columnCount > 0 && columnCount < kMaxColumns) {
    position += 2;
    if (hasNullBitmap) {
      const int bitmapLength = (columnCount + 7) / 8;
      nullBitmap = CopyBytes(work, static_cast<size_t>(position), static_cast<size_t>(bitmapLength));
      position += bitmapLength;
    }
    if (hasVarColumns) ParseVarColumns(work, position);
    recordLength = position;
    if (recordLength > 0 && recordLength <= maxLength)
      recordBytes = CopyBytes(work, 0, static_cast<size_t>(recordLength));
  } else {
    recordLength = position;
  }
}

bool CPrimaryRecord::FollowForwardingStub(ByteSpan stub, Bytes& forwarded) {
  if (!page || !page->file) return false;
  const PageRef target = ReadDiskPageRef(stub, 1);
  const int16_t slot = LoadLE<int16_t>(stub, 7, -1);
  if (slot < 0) return false;
  auto buffer = page->file->ReadRawPage(target);
  if (!buffer) return false;
  PrimaryRecordPage holder(std::move(*buffer), page->file, slot);
  if (holder.records.empty() || !holder.records[0]) return false;
  const CRecord& record = *holder.records[0];
  if (!record.recordBytes || record.recordLength <= 0) return false;
  forwarded = *record.recordBytes;
  if (forwarded.empty()) return false;
  forwardTarget = RecordLocation{target, slot};
  return true;
}

void CPrimaryRecord::ParseVarColumns(ByteSpan work, int& position) {
  int16_t count = columnCount;
  if (fixedData || hasNullBitmap) {
    count = 0;
    if (ReadLE(work, static_cast<size_t>(position), count)) position += 2;
  }
  if (count > columnCount) {
    varColumnCount = 0;
    position = 0;
    return;
  }
  if (count <= 0 || count >= kMaxColumns) return;
  varColumnCount = count;
  std::vector<uint16_t> rawEnds(static_cast<size_t>(count));
  for (auto& end : rawEnds) {
    end = LoadLE<uint16_t>(work, static_cast<size_t>(position));
    position += 2;
  }
  int start = position;
  varValues.reserve(rawEnds.size());
  for (uint16_t raw : rawEnds) {
    ColumnValue value;
    value.complex = raw & 0x8000;
    const int end = raw & 0x7FFF;
    varColumnEnds.push_back(static_cast<uint16_t>(end));
    if (end >= start && end != start && end <= maxLength && end < 8192 && end - start < 8192 && start > 0 &&
        start <= 8191) {
      value.data = CopyBytes(work, static_cast<size_t>(start), static_cast<size_t>(end - start));
      if (value.data) {
        value.length = end - start;
        if (value.complex && value.length != 16 && ComplexKind(*value.data) == 5)
          sparseValues = ParseSparseVector(*value.data);
        start = end;
        position = end;
      }
    }
    varValues.push_back(std::move(value));
  }
}

int ComplexKind(ByteSpan column) {
  const uint8_t first = LoadLE<uint8_t>(column, 0);
  return first != 0 ? first : LoadLE<uint16_t>(column, 0);
}

std::optional<std::vector<ColumnValue>> ParseSparseVector(ByteSpan column) {
  const int length = static_cast<int>(column.size());
  const int n = LoadLE<int16_t>(column, 2);
  if (n <= 0 || 2 * n + 4 >= 8192 || 4 * n + 4 >= 8192 || length <= 4 || 2 * n + 4 >= length) return std::nullopt;
  std::vector<ColumnValue> values;
  values.reserve(static_cast<size_t>(n));
  int previous = 4 + 4 * n;
  for (int k = 0; k < n; ++k) {
    ColumnValue value;
    value.columnId = LoadLE<uint16_t>(column, static_cast<size_t>(4 + 2 * k));
    const int end = LoadLE<uint16_t>(column, static_cast<size_t>(4 + 2 * n + 2 * k));
    if (previous < end && end - previous <= 8060 && previous <= 8059 && end <= length) {
      value.data = CopyBytes(column, static_cast<size_t>(previous), static_cast<size_t>(end - previous));
      if (value.data) value.length = end - previous;
    }
    previous = end;
    values.push_back(std::move(value));
  }
  return values;
}

int32_t MeasureRecordLength(ByteSpan bytes, bool showDeleted) {
  ByteSpan work = bytes.first(std::min<size_t>(bytes.size(), kMaxFixedLength));
  if (work.empty()) return -1;
  const uint8_t statusA = work[0];
  const int type = (statusA >> 1) & 7;
  if ((statusA & kStatusCompressed) || type == kRecordForwardingStub || type == kRecordIndex ||
      !IsAcceptedType(type, showDeleted))
    return -1;
  int position = 4;
  const int fixedEnd = LoadLE<int16_t>(work, 2);
  const bool fixedPresent = fixedEnd - 4 > 0 && fixedEnd - 4 < kMaxFixedLength;
  if (fixedPresent) position = fixedEnd;
  const int16_t columnCount = LoadLE<int16_t>(work, static_cast<size_t>(position));
  if (columnCount < 1 || columnCount >= kMaxColumns) return -1;
  position += 2;
  if (statusA & kStatusNullBitmap) position += (columnCount + 7) / 8;
  if (statusA & kStatusVarColumns)
    position = MeasureVarColumns(work, position, columnCount, fixedPresent || (statusA & kStatusNullBitmap));
  return position;
}

}  // namespace ravelin
