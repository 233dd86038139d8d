#include "storage/lob.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <tuple>

#include "storage/database_file.h"
#include "storage/page_header.h"
#include "storage/page_protection.h"
#include "storage/record.h"
#include "storage/text_codec.h"
#include "storage/text_page.h"

namespace ravelin {
namespace {

constexpr int32_t kStructureHeaderSize = 10;
constexpr int32_t kMaxFragment = 8192;
// Real trees are a few levels deep; a deeper one is damage.
constexpr int kMaxDepth = 32;
// Searches of a page's bytes for one value's records.
constexpr int kMaxSearches = 64;

constexpr size_t kSmallRootLengthOffset = 10;
constexpr size_t kSmallRootDataOffset = 16;
constexpr size_t kEntryCountOffset = 12;
constexpr size_t kInternalEntriesOffset = 16;
constexpr size_t kInternalEntrySize = 16;
constexpr size_t kLargeRootEntriesOffset = 20;
constexpr size_t kLinkSize = 12;
constexpr size_t kInRowHeaderSize = 12;
// In-row roots name file ids above this only when damaged; such links are
// read from the primary file.
constexpr uint16_t kMaxPlausibleFileId = 1000;

// Variant base types whose bytes are binary.
constexpr uint8_t kTypeVarbinary = 165;
constexpr uint8_t kTypeBinary = 173;
constexpr size_t kVariantPrefixSize = 8;

std::string EightBitText(ByteSpan bytes, int codePage) { return CodePageToUtf8(UpToNul(bytes), codePage); }

// A link of 12 bytes at `offset`: size, page number, file id, slot.
std::optional<LobLink> ReadLink(ByteSpan bytes, size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < kLinkSize) return std::nullopt;
  LobLink link;
  link.size = LoadLE<int32_t>(bytes, offset);
  link.page = ReadDiskPageRef(bytes, offset + 4);
  link.slot = LoadLE<uint16_t>(bytes, offset + 10);
  return link;
}

// Follows the structures of one value and gathers its bytes. Each record is
// visited at most once, so links that loop back end instead of repeating.
class LobAssembler {
 public:
  LobAssembler(const CDatabaseFile& file, const LobReadOptions& options) : file_(file), options_(options) {}

  // Adds the bytes of the structure in `structure`, whose bytes start at
  // offset `start` of the value (negative when not known).
  void AddStructure(ByteSpan structure, int32_t payloadLength, int depth, int64_t start = -1) {
    if (depth > kMaxDepth) {
      incomplete_ = true;
      return;
    }
    int16_t kind = LoadLE<int16_t>(structure, 8, kLobUnreadable);
    // A data fragment may be short; every other kind needs more than its
    // header to say anything.
    if (kind != kLobData && payloadLength < kStructureHeaderSize) return;
    if (kind == kLobLargeRootShiloh || kind == kLobSuperLargeRoot) kind = kLobLargeRootYukon;
    switch (kind) {
      case kLobSmallRoot: {
        SmallRoot root(structure, &file_);
        if (!root.valid) {
          // An empty value has a length of 0; any other invalid root is damage.
          if (root.dataLength != 0) incomplete_ = true;
          return;
        }
        // Hex shows the stored bytes and wide text is read as UTF-16, so
        // only 8-bit text is narrowed.
        if (!options_.collect && !options_.asHex && !options_.wideText) root.NarrowUtf16();
        AddBytes(root.data);
        return;
      }
      case kLobData: {
        LobSData fragment(structure, payloadLength, &file_);
        if (fragment.valid)
          AddBytes(fragment.data);
        else if (payloadLength != 0)
          incomplete_ = true;
        return;
      }
      case kLobInternal:
        AddLinks(Internal(structure, &file_).entries, depth, start);
        return;
      case kLobLargeRootYukon:
        AddLinks(LargeRootYukon(structure, payloadLength, &file_).entries, depth, start);
        return;
      case kLobUnreadable:
        // SQL Server 2000 stores kind 8 for some empty values.
        return;
      default:
        // No structure of this kind exists: the record is not what the
        // link expected.
        incomplete_ = true;
        return;
    }
  }

  // Adds the value of the record `link` names; false when that record
  // cannot be found or has no structure. The linked bytes start at `start`
  // of the value, negative when not known.
  bool AddLink(const LobLink& link, int depth, int64_t start = -1) {
    if (Full()) return true;
    if (file_.stop().requested()) {
      incomplete_ = true;
      return false;
    }
    const TextMixPage* page = Page(link.page);
    TextMixPage::Found found;
    if (page && rootId_) {
      // Under a root every record carries the root's id, which finds the
      // record when the slot entry or the link's slot took damage.
      const int64_t length = start < 0 ? -1 : link.size - start;
      found = page->FindValueRecord(link.slot, *rootId_, false,
                                    length > 0 && length <= kMaxFragment ? static_cast<int32_t>(length) : -1,
                                    MaySearch(*page, link.slot, *rootId_));
    } else if (page && page->RecordAt(link.slot)) {
      found = TextMixPage::Found{std::make_unique<TextRecord>(*page->RecordAt(link.slot)), page->OffsetAt(link.slot)};
    }
    if (!found.record || !found.record->fixedData || !visited_.emplace(link.page, found.offset).second) {
      incomplete_ = true;
      return false;
    }
    AddStructure(*found.record->fixedData, found.record->payloadLength, depth, start);
    return true;
  }

  // Adds the value whose root a text pointer names by `link` and `blobId`;
  // false when no record of the page can be that root.
  bool AddRoot(const LobLink& link, uint64_t blobId) {
    const TextMixPage* page = file_.stop().requested() ? nullptr : Page(link.page);
    const TextMixPage::Found root =
        page ? page->FindValueRecord(link.slot, blobId, true, -1, MaySearch(*page, link.slot, blobId))
             : TextMixPage::Found{};
    if (!root.record || !root.record->fixedData) {
      incomplete_ = true;
      return false;
    }
    visited_.emplace(link.page, root.offset);
    rootId_ = blobId;
    AddStructure(*root.record->fixedData, root.record->payloadLength, 0, 0);
    return true;
  }

  // The assembled value as text (empty in collect mode); fills `outcome`.
  std::string Finish(LobReadOutcome* outcome) {
    std::string text;
    if (!options_.collect) text = RenderLobBytes(value_, options_);
    // 8-bit text ends at its first NUL; one with text after it is a damaged
    // byte, and the value comes out only in part.
    if (!options_.collect && !options_.asHex && !options_.wideText && !options_.prefixed) {
      const auto nul = std::find(value_.begin(), value_.end(), uint8_t{0});
      if (std::any_of(nul, value_.end(), [](uint8_t b) { return b != 0; })) incomplete_ = true;
    }
    if (outcome) {
      outcome->truncated = outcome->truncated || truncated_;
      outcome->incomplete = outcome->incomplete || incomplete_;
      for (Bytes& piece : pieces_) outcome->pieces.push_back(std::move(piece));
    }
    return text;
  }

 private:
  // Each link gives the offset where its bytes end in the value, so the
  // bytes of one start where those of the link before end.
  void AddLinks(const std::vector<LobLink>& links, int depth, int64_t start) {
    // Running out of memory ends this node with what it gave so far.
    try {
      for (size_t k = 0; k < links.size(); ++k) {
        if (Full()) return;
        AddLink(links[k], depth + 1, k == 0 ? start : links[k - 1].size);
      }
    } catch (const std::bad_alloc&) {
      truncated_ = true;
    }
  }

  bool Full() const { return truncated_ || assembled_ >= options_.byteLimit; }

  // Whether a lookup whose slot does not hold the record may search the
  // page's bytes: a value gets a few such searches, so that a damaged
  // tree of many links costs no more than a few pages' reading.
  bool MaySearch(const TextMixPage& page, int slot, uint64_t blobId) {
    if (page.SlotHoldsBlob(slot, blobId)) return true;
    if (searches_ == 0) return false;
    --searches_;
    return true;
  }

  void AddBytes(ByteSpan bytes) {
    if (Full()) return;
    const uint64_t room = options_.byteLimit - assembled_;
    if (bytes.size() > room) {
      bytes = bytes.first(static_cast<size_t>(room));
      truncated_ = true;
    }
    assembled_ += bytes.size();
    if (options_.collect)
      pieces_.emplace_back(bytes.begin(), bytes.end());
    else
      value_.insert(value_.end(), bytes.begin(), bytes.end());
  }

  // The fragments of a value often share a page: the last page read is kept.
  const TextMixPage* Page(PageRef ref) {
    if (!page_ || pageRef_ != ref) {
      page_ = file_.ReadTextPage(ref);
      pageRef_ = ref;
      // A page whose header is damaged lost the torn-page bits it kept: the
      // bytes at its sector ends are not known, and the value is not whole.
      if (page_ && page_->header && page_->header->thisPage != ref &&
          (page_->header->tornBitsRestored || SectorEndsStamped(page_->bytes())))
        incomplete_ = true;
      // A page checksum that disagrees: some byte changed after the write.
      if (page_ && page_->header && (page_->header->flagBits & kFlagChecksum) &&
          CheckPageProtection(page_->bytes()) == PageProtection::kDamaged)
        incomplete_ = true;
    }
    return page_.get();
  }

  const CDatabaseFile& file_;
  const LobReadOptions& options_;
  // Records by page and offset.
  std::set<std::tuple<PageRef, int32_t>> visited_;
  // The blob id of the value's root, which the records under it carry.
  std::optional<uint64_t> rootId_;
  int searches_ = kMaxSearches;
  std::unique_ptr<TextMixPage> page_;
  PageRef pageRef_;
  Bytes value_;
  std::vector<Bytes> pieces_;
  uint64_t assembled_ = 0;
  bool truncated_ = false;
  bool incomplete_ = false;
};

}  // namespace

LobStructureBase::LobStructureBase(ByteSpan structure, const CDatabaseFile* databaseFile)
    : blobIdLow(LoadLE<uint32_t>(structure, 0)), blobIdHigh(LoadLE<uint32_t>(structure, 4)), file(databaseFile) {}

std::string LobStructureBase::RenderText(const LobReadOptions&) const { return {}; }

std::string LobStructureBase::RenderHex() const { return {}; }

SmallRoot::SmallRoot(ByteSpan structure, const CDatabaseFile* databaseFile)
    : LobStructureBase(structure, databaseFile) {
  dataLength = LoadLE<int16_t>(structure, kSmallRootLengthOffset);
  if (dataLength < 1 || dataLength > kMaxFragment) return;
  auto bytes = CopyBytes(structure, kSmallRootDataOffset, static_cast<size_t>(dataLength));
  if (!bytes) return;
  data = std::move(*bytes);
  valid = true;
}

std::string SmallRoot::RenderText(const LobReadOptions& options) const { return RenderLobBytes(data, options); }

std::string SmallRoot::RenderHex() const { return HexDigits(data); }

bool SmallRoot::NarrowUtf16() {
  const size_t n = data.size();
  const auto zeros = static_cast<size_t>(std::count(data.begin(), data.end(), uint8_t{0}));
  // A single byte has "half" of its bytes zero by integer halving; it is
  // one character, not UTF-16.
  if (n < 2 || zeros != n / 2) return false;
  for (size_t i = 1; i + 1 <= n / 2; ++i) data[i] = data[2 * i];
  data[n / 2] = 0;
  return true;
}

Internal::Internal(ByteSpan structure, const CDatabaseFile* databaseFile) : LobStructureBase(structure, databaseFile) {
  entryCount = LoadLE<int16_t>(structure, kEntryCountOffset);
  for (int k = 0; k < entryCount; ++k) {
    // Entry: size (an 8-byte offset, of which the low half is kept), then
    // page number, file id, slot.
    const size_t at = kInternalEntriesOffset + kInternalEntrySize * static_cast<size_t>(k);
    if (at + kInternalEntrySize > structure.size()) break;
    LobLink link;
    link.size = LoadLE<int32_t>(structure, at);
    link.page = ReadDiskPageRef(structure, at + 8);
    link.slot = LoadLE<int16_t>(structure, at + 14);
    entries.push_back(link);
  }
}

LobSData::LobSData(ByteSpan structure, int32_t payloadLength, const CDatabaseFile* databaseFile)
    : LobStructureBase(structure, databaseFile) {
  if (payloadLength < 1 || payloadLength > kMaxFragment) return;
  auto bytes = CopyBytes(structure, kStructureHeaderSize, static_cast<size_t>(payloadLength));
  if (!bytes) return;
  data = std::move(*bytes);
  valid = true;
}

std::string LobSData::RenderText(const LobReadOptions& options) const { return RenderLobBytes(data, options); }

std::string LobSData::RenderHex() const { return HexDigits(data); }

LargeRootYukon::LargeRootYukon(ByteSpan structure, int32_t payloadLength, const CDatabaseFile* databaseFile)
    : LobStructureBase(structure, databaseFile) {
  if (payloadLength <= 16) return;
  entryCount = LoadLE<int16_t>(structure, kEntryCountOffset);
  for (int k = 0; k < entryCount; ++k) {
    const size_t at = kLargeRootEntriesOffset + kLinkSize * static_cast<size_t>(k);
    if (at >= static_cast<size_t>(payloadLength) || at >= static_cast<size_t>(kPageSize)) break;
    auto link = ReadLink(structure, at);
    if (!link) break;
    entries.push_back(*link);
  }
}

std::string RenderLobBytes(ByteSpan bytes, const LobReadOptions& options) {
  if (options.prefixed) {
    if (bytes.size() < kVariantPrefixSize) return {};
    const uint8_t type = bytes[0];
    const ByteSpan rest = bytes.subspan(kVariantPrefixSize);
    if (type == kTypeVarbinary || type == kTypeBinary) return HexDigits(rest);
    return EightBitText(rest, options.codePage);
  }
  if (options.asHex) return HexDigits(bytes);
  if (options.wideText) return Utf16ToUtf8(bytes, true);
  return EightBitText(bytes, options.codePage);
}

std::string ReadLobValue(ByteSpan structure, int32_t payloadLength, const CDatabaseFile& file,
                         const LobReadOptions& options, LobReadOutcome* outcome) {
  LobAssembler assembler(file, options);
  assembler.AddStructure(structure, payloadLength, 0);
  return assembler.Finish(outcome);
}

std::string ReadTextPointerValue(ByteSpan textPointer, const CDatabaseFile& file, const LobReadOptions& options,
                                 LobReadOutcome* outcome) {
  if (textPointer.size() < kTextPointerSize) return {};
  LobLink link;
  link.page = ReadDiskPageRef(textPointer, 8);
  link.slot = LoadLE<uint16_t>(textPointer, 14);
  LobAssembler assembler(file, options);
  if (!assembler.AddRoot(link, LoadLE<uint64_t>(textPointer, 0))) {
    assembler.Finish(outcome);
    return {};
  }
  std::string text = assembler.Finish(outcome);
  if (text.empty() && !options.collect) return std::string(1, ' ');
  return text;
}

std::string ReadInRowRootValue(ByteSpan column, const CDatabaseFile& file, const LobReadOptions& options,
                               LobReadOutcome* outcome) {
  if (column.size() <= kInRowHeaderSize) return {};
  LobAssembler assembler(file, options);
  const size_t count = (column.size() - 13) / kLinkSize + 1;
  for (size_t k = 0; k < count; ++k) {
    auto link = ReadLink(column, kInRowHeaderSize + kLinkSize * k);
    if (!link) break;
    if (link->size <= 0) continue;
    if (static_cast<uint16_t>(link->page.fileId) > kMaxPlausibleFileId) link->page.fileId = 1;
    assembler.AddLink(*link, 0);
  }
  return assembler.Finish(outcome);
}

}  // namespace ravelin
