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
  if (statusA & kStatusCompressed) {
    ParseCompressed(work, followForwarding);
    return;
  }
  recordType = (statusA >> 1) & 7;
  const bool showDeleted = page && page->options().showDeleted;
  isHiddenGhost =
      (recordType == kRecordGhostIndex || recordType == kRecordGhostData || recordType == kRecordGhostVersion) &&
      !showDeleted;
  if (!IsAcceptedType(recordType, showDeleted)) {
    hasError = true;
    return;
  }

  Bytes forwarded;
  if (recordType == kRecordForwardingStub) {
    if (!followForwarding || !FollowForwardingStub(work, forwarded)) {
      fixedLength = kUnreadableForward;
      if (page && page->file && work.size() >= 9 && !page->file->HoldsPage(ReadDiskPageRef(work, 1)))
        fixedLength = kImpossibleForward;
      return;
    }
    // The forwarded record stands in for the stub; it is bounded by its own
    // length, not by the stub's place on its page.
    if (isCompressed) return;  // the forwarded record is a compressed one
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

void CPrimaryRecord::ParseCompressed(ByteSpan work, bool followForwarding) {
  isCompressed = true;
  // A compressed record ends where the page's record space does; the
  // parser reads nothing beyond what it is given.
  if (const auto* owner = dynamic_cast<const PrimaryRecordPage*>(page)) {
    const size_t offset = static_cast<size_t>(work.data() - owner->bytes().data());
    if (work.data() >= owner->bytes().data() && offset < owner->RecordSpaceEnd())
      work = work.first(std::min(work.size(), owner->RecordSpaceEnd() - offset));
  }
  const CdRecord cd = ParseCdRecord(work);
  static constexpr int kOrdinaryType[] = {kRecordPrimary,   kRecordGhostData, kRecordForwardingStub, kRecordGhostData,
                                          kRecordForwarded, kRecordGhostData, kRecordIndex,          kRecordGhostIndex};
  recordType = kOrdinaryType[static_cast<size_t>(cd.type) & 7];
  const bool showDeleted = page && page->options().showDeleted;
  isHiddenGhost = cd.IsGhost() && !showDeleted;
  if (!IsAcceptedType(recordType, showDeleted)) {
    hasError = true;
    return;
  }
  if (cd.type == CdRecordType::kForwardingStub) {
    Bytes forwarded;
    if (!followForwarding || !cd.forwardPage || !FollowStubTo(*cd.forwardPage, cd.forwardSlot, forwarded) ||
        !isCompressed || !compressed) {
      // Only a compressed record is kept for a compressed stub.
      compressed.reset();
      fixedLength = kUnreadableForward;
      if (page && page->file && cd.forwardPage && !page->file->HoldsPage(*cd.forwardPage))
        fixedLength = kImpossibleForward;
    }
    return;
  }
  compressed = std::make_shared<const ResolvedCdRecord>(ResolveCdRecord(cd, page ? page->compressionInfo() : nullptr));
  // Without a readable column count the record has no columns: it fits no
  // table and its values cannot be read.
  columnCount = cd.readable ? static_cast<int16_t>(cd.columnCount) : 0;
  recordLength = static_cast<int32_t>(cd.length);
  if (cd.length > 0 && cd.length <= work.size()) recordBytes = CopyBytes(work, 0, cd.length);
}

void CPrimaryRecord::AdoptCompressed(const CRecord& record) {
  isCompressed = true;
  // The record stays a stub (that is how a listing knows to pass it over
  // when it lists the forwarded record where it stands).
  compressed = record.compressed;
  columnCount = record.columnCount;
  recordLength = record.recordLength;
  recordBytes = record.recordBytes;
}

bool CPrimaryRecord::FollowForwardingStub(ByteSpan stub, Bytes& forwarded) {
  const int16_t slot = LoadLE<int16_t>(stub, 7, -1);
  return FollowStubTo(ReadDiskPageRef(stub, 1), slot, forwarded);
}

bool CPrimaryRecord::FollowStubTo(PageRef target, int16_t slot, Bytes& forwarded) {
  if (!page || !page->file) return false;
  if (slot < 0) return false;
  auto buffer = page->file->ReadRawPage(target);
  if (!buffer) return false;
  PrimaryRecordPage holder(std::move(*buffer), page->file, slot);
  if (holder.records.empty() || !holder.records[0]) return false;
  const CRecord& record = *holder.records[0];
  if (record.isCompressed) {
    // Resolved with the target page's own compression information; the
    // values are copies, so they outlive that page.
    if (!record.compressed || record.hasError) return false;
    AdoptCompressed(record);
    forwardTarget = RecordLocation{target, slot};
    return true;
  }
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
