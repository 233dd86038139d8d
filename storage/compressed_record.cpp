#include "storage/compressed_record.h"

#include <algorithm>

#include "storage/page_header.h"

namespace ravelin {
namespace {

CdValueState StateOf(uint8_t code) {
  if (code == kCdNull) return CdValueState::kNull;
  if (code == kCdEmpty) return CdValueState::kEmpty;
  if (code >= kCdShortFirst && code <= kCdShortLast) return CdValueState::kShort;
  if (code == kCdLong) return CdValueState::kLong;
  if (code == kCdBitOne) return CdValueState::kBitOne;
  if (code == kCdPageSymbol) return CdValueState::kPageSymbol;
  return CdValueState::kUnreadable;
}

bool TakesShortBytes(const CdValue& v) {
  return v.state == CdValueState::kShort || v.state == CdValueState::kPageSymbol;
}

// Every column of `first`..`last` whose value lies in the short data (or
// in the long data, with `longToo`) becomes unreadable.
void LoseColumns(CdRecord& r, size_t first, size_t last, bool shortToo, bool longToo) {
  for (size_t i = first; i < last && i < r.columns.size(); ++i) {
    CdValue& v = r.columns[i];
    if ((shortToo && TakesShortBytes(v)) || (longToo && v.state == CdValueState::kLong)) {
      v.state = CdValueState::kUnreadable;
      v.bytes = {};
      r.damaged = true;
    }
  }
}

size_t ClusterCount(size_t columns) { return columns == 0 ? 0 : (columns - 1) / kCdClusterSize + 1; }

// Walks the short data cluster by cluster. Each cluster but the last
// starts where the cluster array says, so a damaged code loses only its
// own cluster. Returns where the short data ends, or nothing when that
// cannot be told.
std::optional<size_t> ReadShortData(ByteSpan bytes, CdRecord& r, size_t base, ByteSpan clusterSizes) {
  const size_t n = r.columns.size();
  const size_t clusters = ClusterCount(n);
  size_t clusterStart = base;
  for (size_t c = 0; c < clusters; ++c) {
    const size_t first = c * kCdClusterSize;
    const size_t last = std::min(n, first + kCdClusterSize);
    size_t at = clusterStart;
    bool lost = false;
    for (size_t i = first; i < last; ++i) {
      CdValue& v = r.columns[i];
      if (v.state == CdValueState::kUnreadable) {
        lost = true;  // a reserved code: how many bytes it takes is unknown
        r.damaged = true;
        continue;
      }
      if (!TakesShortBytes(v)) continue;
      size_t length = 0;
      if (v.state == CdValueState::kShort) {
        length = static_cast<size_t>(v.code - 1);
      } else if (at < bytes.size()) {
        length = bytes[at] & 0x80 ? 2 : 1;
      }
      if (lost || length == 0 || at > bytes.size() || bytes.size() - at < length) {
        v.state = CdValueState::kUnreadable;
        v.bytes = {};
        r.damaged = true;
        lost = true;
        continue;
      }
      v.bytes = bytes.subspan(at, length);
      at += length;
    }
    if (c + 1 == clusters) {
      if (lost) return std::nullopt;
      return at;
    }
    const size_t stated = clusterSizes[c];
    if (lost || at - clusterStart != stated) LoseColumns(r, first, last, true, false);
    clusterStart += stated;
  }
  return base;
}

void ReadLongData(ByteSpan bytes, CdRecord& r, size_t pos) {
  const size_t n = r.columns.size();
  const size_t clusters = ClusterCount(n);
  size_t longColumns = 0;
  for (const CdValue& v : r.columns) longColumns += v.state == CdValueState::kLong;
  r.longDataOffset = pos;
  uint16_t count = 0;
  const bool headerRead = pos < bytes.size() && ReadLE(bytes, pos + 1, count);
  if (headerRead) r.longFlags = bytes[pos];
  // Bit 0 says the offsets are two bytes wide; no other width is known.
  if (!headerRead || !(r.longFlags & 1) || count != longColumns) {
    LoseColumns(r, 0, n, false, true);
    return;
  }
  const size_t endsAt = pos + 3;
  const size_t clusterCountsAt = endsAt + 2 * static_cast<size_t>(count);
  const size_t dataStart = clusterCountsAt + (clusters - 1);
  if (dataStart > bytes.size()) {
    LoseColumns(r, 0, n, false, true);
    return;
  }
  // Each cluster but the last states how many long entries it holds.
  for (size_t c = 0; c + 1 < clusters; ++c) {
    size_t inCluster = 0;
    for (size_t i = c * kCdClusterSize; i < (c + 1) * kCdClusterSize; ++i)
      inCluster += r.columns[i].state == CdValueState::kLong;
    if (bytes[clusterCountsAt + c] != inCluster) {
      LoseColumns(r, 0, n, false, true);
      return;
    }
  }
  const size_t room = bytes.size() - dataStart;
  size_t start = 0;
  bool startKnown = true;
  size_t k = 0;
  size_t lastEnd = 0;
  bool endKnown = true;
  for (CdValue& v : r.columns) {
    if (v.state != CdValueState::kLong) continue;
    const uint16_t raw = LoadLE<uint16_t>(bytes, endsAt + 2 * k++);
    const size_t end = raw & 0x7FFF;
    v.complex = raw & 0x8000;
    if (startKnown && end >= start && end <= room) {
      v.bytes = bytes.subspan(dataStart + start, end - start);
      lastEnd = end;
    } else {
      v.state = CdValueState::kUnreadable;
      v.bytes = {};
      r.damaged = true;
      endKnown = false;
    }
    // The next entry starts at this end: trusted when it lies in the data
    // and does not go back.
    startKnown = end <= room && (!startKnown || end >= start);
    start = end;
  }
  r.length = endKnown ? dataStart + lastEnd : 0;
}

}  // namespace

int CdShortLength(uint8_t code) {
  if (code >= kCdShortFirst && code <= kCdShortLast) return code - 1;
  if (code == kCdNull || code == kCdEmpty || code == kCdLong || code == kCdBitOne) return 0;
  return -1;
}

uint16_t ReadCdCount(ByteSpan bytes, size_t offset, size_t& used) {
  used = 0;
  if (offset >= bytes.size()) return 0;
  const uint8_t first = bytes[offset];
  if (!(first & 0x80)) {
    used = 1;
    return first;
  }
  if (bytes.size() - offset < 2) return 0;
  used = 2;
  return static_cast<uint16_t>(((first & 0x7F) << 8) | bytes[offset + 1]);
}

CdRecord ParseCdRecord(ByteSpan bytes) {
  CdRecord r;
  if (!IsCdRecord(bytes)) return r;
  r.header = bytes[0];
  r.type = CdTypeOf(r.header);
  if (r.type == CdRecordType::kForwardingStub) {
    // Laid out as the uncompressed stub: the page, file and slot the
    // forwarded record stands at.
    if (bytes.size() >= 9) {
      r.readable = true;
      r.forwardPage = ReadDiskPageRef(bytes, 1);
      r.forwardSlot = LoadLE<int16_t>(bytes, 7);
      r.length = 9;
    }
    return r;
  }

  size_t used = 0;
  const uint16_t n = ReadCdCount(bytes, 1, used);
  if (used == 0 || n == 0 || n > kCdMaxColumns) return r;
  r.columnCount = n;
  r.cdArrayOffset = 1 + used;
  const size_t arrayBytes = (n + 1) / 2;
  if (bytes.size() - r.cdArrayOffset < arrayBytes) return r;
  r.readable = true;
  r.columns.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t pair = bytes[r.cdArrayOffset + i / 2];
    CdValue& v = r.columns[i];
    v.code = i % 2 == 0 ? (pair & 0x0F) : (pair >> 4);
    v.state = StateOf(v.code);
  }

  const size_t clusterArrayAt = r.cdArrayOffset + arrayBytes;
  const size_t clusterBytes = ClusterCount(n) - 1;
  if (bytes.size() - clusterArrayAt < clusterBytes) {
    LoseColumns(r, 0, n, true, true);
    return r;
  }
  r.shortDataOffset = clusterArrayAt + clusterBytes;
  const auto shortEnd = ReadShortData(bytes, r, r.shortDataOffset, bytes.subspan(clusterArrayAt, clusterBytes));
  if (!shortEnd) {
    // Where the long data starts is lost with the short data's end.
    LoseColumns(r, 0, n, false, true);
    return r;
  }
  if (r.header & kCdHeaderLongData) {
    ReadLongData(bytes, r, *shortEnd);
  } else {
    LoseColumns(r, 0, n, false, true);
    r.length = *shortEnd;
  }
  if (r.length > 0 && (r.header & kCdHeaderVersioning))
    r.length = bytes.size() - r.length >= kCdVersioningSize ? r.length + kCdVersioningSize : 0;
  return r;
}

const char* CdCodeName(uint8_t code) {
  static const char* const kNames[] = {"NULL",
                                       "EMPTY",
                                       "ONE_BYTE_SHORT",
                                       "TWO_BYTE_SHORT",
                                       "THREE_BYTE_SHORT",
                                       "FOUR_BYTE_SHORT",
                                       "FIVE_BYTE_SHORT",
                                       "SIX_BYTE_SHORT",
                                       "SEVEN_BYTE_SHORT",
                                       "EIGHT_BYTE_SHORT",
                                       "LONG",
                                       "BIT_COLUMN",
                                       "PAGE_SYMBOL",
                                       "RESERVED_0xD",
                                       "RESERVED_0xE",
                                       "RESERVED_0xF"};
  return kNames[code & 0x0F];
}

const char* CdRecordTypeName(CdRecordType type) {
  static const char* const kNames[] = {"primary",   "ghost empty",     "forwarding stub", "ghost data",
                                       "forwarded", "ghost forwarded", "index",           "ghost index"};
  return kNames[static_cast<size_t>(type) & 7];
}

}  // namespace ravelin
