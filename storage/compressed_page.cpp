#include "storage/compressed_page.h"

#include <algorithm>
#include <cstdio>

namespace ravelin {
namespace {

constexpr size_t kHeaderWithDictionary = 7;
constexpr size_t kHeaderAnchorOnly = 5;
constexpr uint8_t kKnownFlags = kCiHasAnchor | kCiHasDictionary;

// The anchor of a bit column holding 1: its values are abbreviated
// against the one byte 01.
constexpr uint8_t kBitOneBytes[1] = {1};

void ReadDictionary(ByteSpan dict, CompressionInfo& ci) {
  uint16_t count = 0;
  if (!ReadLE(dict, 0, count)) {
    ci.dictionaryDamaged = true;
    return;
  }
  ci.dictionaryEntryCount = count;
  const size_t dataStart = 2 + 2 * static_cast<size_t>(count);
  if (dataStart > dict.size()) {
    ci.dictionaryDamaged = true;
    return;
  }
  ci.dictionaryDataOffset = dataStart;
  ci.dictionary.reserve(count);
  size_t start = dataStart;
  bool startKnown = true;
  for (size_t k = 0; k < count; ++k) {
    const size_t end = LoadLE<uint16_t>(dict, 2 + 2 * k);
    if (startKnown && end >= start && end <= dict.size()) {
      ci.dictionary.emplace_back(dict.subspan(start, end - start));
    } else {
      ci.dictionary.emplace_back(std::nullopt);
      ci.dictionaryDamaged = true;
    }
    // The next entry starts at this end: trusted when it lies in the data
    // and does not go back.
    startKnown = end >= dataStart && end <= dict.size() && (!startKnown || end >= start);
    start = end;
  }
}

std::string Hex(ByteSpan bytes) {
  constexpr size_t kMaxShown = 32;
  std::string out = HexDigits(bytes.first(std::min(bytes.size(), kMaxShown)));
  if (bytes.size() > kMaxShown) out += "... (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

std::string Printf(const char* format, auto... args) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

}  // namespace

AnchorValue CompressionInfo::AnchorFor(size_t column) const {
  if (damaged) return {AnchorKind::kUnknown, {}};
  if (!anchor) return {};
  // Columns the anchor does not reach (added after the page was
  // compressed) carry no prefix.
  if (column >= anchor->columns.size()) return {};
  const CdValue& v = anchor->columns[column];
  switch (v.state) {
    case CdValueState::kNull:
      return {};
    case CdValueState::kEmpty:
      return {AnchorKind::kPrefix, {}};
    case CdValueState::kShort:
      return {AnchorKind::kPrefix, v.bytes};
    case CdValueState::kLong:
      if (v.complex) return {AnchorKind::kUnknown, {}};
      return {AnchorKind::kPrefix, v.bytes};
    case CdValueState::kBitOne:
      return {AnchorKind::kPrefix, ByteSpan(kBitOneBytes)};
    default:
      return {AnchorKind::kUnknown, {}};
  }
}

CompressionInfo ReadCompressionInfo(ByteSpan page, size_t recordSpaceEnd) {
  CompressionInfo ci;
  ci.present = true;
  const size_t end = std::min(page.size(), recordSpaceEnd);
  if (end <= kCompressionInfoOffset + kHeaderAnchorOnly) {
    ci.damaged = true;
    return ci;
  }
  const ByteSpan area = page.subspan(kCompressionInfoOffset, end - kCompressionInfoOffset);
  ci.flags = area[0];
  ci.pageModCount = LoadLE<uint16_t>(area, 1);
  // Only these two flags are known; a structure with others is not one
  // this reader understands, and guessing would show wrong values.
  if (ci.flags & ~kKnownFlags) {
    ci.damaged = true;
    return ci;
  }
  size_t anchorAt = kHeaderAnchorOnly;
  if (ci.hasDictionary()) {
    ci.dictionaryOffset = LoadLE<uint16_t>(area, 3);
    ci.size = LoadLE<uint16_t>(area, 5);
    anchorAt = kHeaderWithDictionary;
  } else {
    ci.size = LoadLE<uint16_t>(area, 3);
  }
  if (ci.size < anchorAt || ci.size > area.size() ||
      (ci.hasDictionary() && (ci.dictionaryOffset < anchorAt || ci.dictionaryOffset > ci.size))) {
    ci.damaged = true;
    return ci;
  }
  const ByteSpan bytes = area.first(ci.size);
  const size_t anchorEnd = ci.hasDictionary() ? ci.dictionaryOffset : ci.size;
  if (ci.hasAnchor()) {
    ci.anchorOffset = kCompressionInfoOffset + anchorAt;
    ci.anchorSpace = anchorEnd - anchorAt;
    CdRecord anchor = ParseCdRecord(bytes.subspan(anchorAt, ci.anchorSpace));
    if (!anchor.readable || anchor.type != CdRecordType::kPrimary) {
      ci.damaged = true;
      return ci;
    }
    ci.anchor = std::move(anchor);
  }
  // A damaged dictionary loses only the symbols that refer to it.
  if (ci.hasDictionary()) ReadDictionary(bytes.subspan(ci.dictionaryOffset), ci);
  return ci;
}

ResolvedValue ResolveCdValue(const CdRecord& record, size_t column, const CompressionInfo* info, Bytes& scratch) {
  ResolvedValue out;
  if (column >= record.columns.size()) return out;
  const CdValue& v = record.columns[column];
  switch (v.state) {
    case CdValueState::kNull:
      out.state = ResolvedState::kNull;
      return out;
    case CdValueState::kBitOne:
      out.state = ResolvedState::kBitOne;
      return out;
    case CdValueState::kUnreadable:
      return out;
    default:
      break;
  }
  const AnchorValue anchor = info ? info->AnchorFor(column) : AnchorValue{};
  if (anchor.kind == AnchorKind::kUnknown) return out;

  ByteSpan stored;
  if (v.state == CdValueState::kEmpty) {
    out.state = ResolvedState::kBytes;
    out.bytes = anchor.bytes;
    return out;
  }
  if (v.state == CdValueState::kLong && v.complex) {
    // A pointer to data elsewhere is never abbreviated.
    out.state = ResolvedState::kBytes;
    out.bytes = v.bytes;
    out.complex = true;
    return out;
  }
  if (v.state == CdValueState::kPageSymbol) {
    if (!info) return out;
    size_t used = 0;
    const uint16_t symbol = ReadCdCount(v.bytes, 0, used);
    if (used == 0 || symbol >= info->dictionary.size() || !info->dictionary[symbol]) return out;
    stored = *info->dictionary[symbol];
  } else {
    stored = v.bytes;
  }
  if (anchor.kind == AnchorKind::kNone) {
    out.state = ResolvedState::kBytes;
    out.bytes = stored;
    return out;
  }
  size_t used = 0;
  const size_t prefix = ReadCdCount(stored, 0, used);
  if (used == 0 || prefix > anchor.bytes.size()) return out;
  const ByteSpan suffix = stored.subspan(used);
  out.state = ResolvedState::kBytes;
  if (prefix == 0) {
    out.bytes = suffix;
  } else if (suffix.empty()) {
    out.bytes = anchor.bytes.first(prefix);
  } else {
    scratch.assign(anchor.bytes.begin(), anchor.bytes.begin() + static_cast<std::ptrdiff_t>(prefix));
    scratch.insert(scratch.end(), suffix.begin(), suffix.end());
    out.bytes = ByteSpan(scratch);
  }
  return out;
}

ResolvedCdRecord ResolveCdRecord(const CdRecord& record, const CompressionInfo* info) {
  ResolvedCdRecord out;
  out.type = record.type;
  out.readable = record.readable;
  out.damaged = record.damaged;
  out.columnCount = record.columnCount;
  out.columns.reserve(record.columns.size());
  Bytes scratch;
  for (size_t i = 0; i < record.columns.size(); ++i) {
    const ResolvedValue value = ResolveCdValue(record, i, info, scratch);
    ResolvedCdRecord::Column column;
    column.state = value.state;
    column.complex = value.complex;
    if (value.state == ResolvedState::kBytes) {
      column.offset = out.storage.size();
      column.length = value.bytes.size();
      out.storage.insert(out.storage.end(), value.bytes.begin(), value.bytes.end());
    }
    out.columns.push_back(column);
  }
  return out;
}

CdRecord ResolvedCdRecord::AsRowCompressed() const {
  CdRecord r;
  r.readable = readable;
  r.damaged = damaged;
  r.type = type;
  r.columnCount = columnCount;
  r.columns.reserve(columns.size());
  for (const Column& c : columns) {
    CdValue v;
    switch (c.state) {
      case ResolvedState::kNull:
        v.state = CdValueState::kNull;
        break;
      case ResolvedState::kBitOne:
        v.state = CdValueState::kBitOne;
        v.code = kCdBitOne;
        break;
      case ResolvedState::kUnreadable:
        v.state = CdValueState::kUnreadable;
        break;
      case ResolvedState::kBytes:
        // Row-compressed bytes of any length: a long value reads them as
        // they are, whatever their size.
        v.state = c.length == 0 && !c.complex ? CdValueState::kEmpty : CdValueState::kLong;
        v.code = v.state == CdValueState::kEmpty ? kCdEmpty : kCdLong;
        v.bytes = ByteSpan(storage).subspan(c.offset, c.length);
        v.complex = c.complex;
        break;
    }
    r.columns.push_back(v);
  }
  return r;
}

std::vector<std::string> DescribeCompressionInfo(const CompressionInfo& info) {
  std::vector<std::string> lines;
  std::string flags;
  if (info.hasAnchor()) flags += " anchor";
  if (info.hasDictionary()) flags += " dictionary";
  lines.push_back(Printf("Compression information: flags 0x%02X (%s)  changes %u  size %u", info.flags,
                         flags.empty() ? "none" : flags.c_str() + 1, info.pageModCount, info.size));
  if (info.hasDictionary()) lines.back() += Printf("  dictionary at %u", info.dictionaryOffset);
  if (info.damaged) lines.back() += "  (damaged: prefixed values cannot be read)";
  if (info.dictionaryDamaged) lines.back() += "  (dictionary damaged)";
  if (info.anchor) {
    const CdRecord& a = *info.anchor;
    lines.push_back(Printf("  anchor record at %zu: %u columns, %zu of %zu bytes", info.anchorOffset, a.columnCount,
                           a.length, info.anchorSpace));
    for (size_t i = 0; i < a.columns.size(); ++i) {
      const AnchorValue anchor = info.AnchorFor(i);
      std::string line = Printf("    column %zu %s", i + 1, CdCodeName(a.columns[i].code));
      if (anchor.kind == AnchorKind::kNone)
        line += " (no prefix)";
      else if (anchor.kind == AnchorKind::kUnknown)
        line += " (unreadable)";
      else
        line += " " + Hex(anchor.bytes);
      lines.push_back(std::move(line));
    }
  }
  if (info.hasDictionary()) {
    lines.push_back(
        Printf("  dictionary: %u entries, data at %zu", info.dictionaryEntryCount, info.dictionaryDataOffset));
    for (size_t k = 0; k < info.dictionary.size(); ++k)
      lines.push_back(Printf("    symbol %zu ", k) + (info.dictionary[k] ? Hex(*info.dictionary[k]) : "(unreadable)"));
  }
  return lines;
}

std::vector<std::string> DescribeCdRecord(const CdRecord& record, const CompressionInfo* info) {
  std::vector<std::string> lines;
  std::string attributes;
  if (record.header & kCdHeaderLongData) attributes += ", long data";
  if (record.header & kCdHeaderVersioning) attributes += ", versioning";
  lines.push_back(
      Printf("CD record: header 0x%02X (%s%s)", record.header, CdRecordTypeName(record.type), attributes.c_str()));
  if (record.type == CdRecordType::kForwardingStub) {
    if (record.forwardPage)
      lines.back() +=
          Printf("  -> %d:%d slot %d", record.forwardPage->fileId, record.forwardPage->pageNo, record.forwardSlot);
    return lines;
  }
  if (!record.readable) {
    lines.back() += "  (unreadable)";
    return lines;
  }
  lines.back() +=
      Printf("  %u columns  length %zu%s", record.columnCount, record.length, record.damaged ? "  (damaged)" : "");
  Bytes scratch;
  for (size_t i = 0; i < record.columns.size(); ++i) {
    const CdValue& v = record.columns[i];
    std::string line = Printf("  column %zu %s", i + 1, CdCodeName(v.code));
    if (v.state == CdValueState::kShort || v.state == CdValueState::kLong || v.state == CdValueState::kPageSymbol)
      line += " " + Hex(v.bytes);
    if (v.complex) line += " (pointer)";
    const ResolvedValue resolved = ResolveCdValue(record, i, info, scratch);
    if (resolved.state == ResolvedState::kUnreadable) {
      line += " (unreadable)";
    } else if (resolved.state == ResolvedState::kBytes && info &&
               (v.state != CdValueState::kShort || resolved.bytes.data() != v.bytes.data() ||
                resolved.bytes.size() != v.bytes.size())) {
      line += " = " + (resolved.bytes.empty() ? std::string("(zero)") : Hex(resolved.bytes));
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace ravelin
