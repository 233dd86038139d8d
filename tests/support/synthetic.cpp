#include "support/synthetic.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "storage/allocation_map.h"
#include "storage/iam_page.h"
#include "storage/page_protection.h"
#include "storage/text_codec.h"

namespace ravelin::testing {

Bytes LE16(uint16_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }

Bytes LE32(uint32_t v) {
  Bytes b(4);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  return b;
}

Bytes LE64(uint64_t v) {
  Bytes b(8);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  return b;
}

Bytes Utf16(const std::string& text) { return Utf8ToUtf16(text); }

Bytes Ascii(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes DiskPageRef(PageRef ref) {
  return Concat({LE32(static_cast<uint32_t>(ref.pageNo)), LE16(static_cast<uint16_t>(ref.fileId))});
}

// --- RecordBuilder ---------------------------------------------------------

RecordBuilder& RecordBuilder::Type(int recordType) {
  type_ = recordType;
  return *this;
}
RecordBuilder& RecordBuilder::StatusA(uint8_t statusA) {
  statusOverride_ = statusA;
  return *this;
}
RecordBuilder& RecordBuilder::Fixed(const Bytes& fixed) {
  fixed_ = fixed;
  return *this;
}
RecordBuilder& RecordBuilder::ColumnCount(int16_t count) {
  columnCount_ = count;
  return *this;
}
RecordBuilder& RecordBuilder::NullColumn(int column) {
  nulls_.push_back(column);
  return *this;
}
RecordBuilder& RecordBuilder::NoNullBitmap() {
  nullBitmap_ = false;
  return *this;
}
RecordBuilder& RecordBuilder::Var(const Bytes& data, bool complex) {
  vars_.emplace_back(data, complex);
  return *this;
}

Bytes RecordBuilder::Build() const {
  int16_t count = columnCount_ >= 0 ? columnCount_ : static_cast<int16_t>(vars_.size() + (fixed_.empty() ? 0 : 1));
  uint8_t statusA = static_cast<uint8_t>((type_ & 7) << 1);
  if (nullBitmap_) statusA |= 0x10;
  if (!vars_.empty()) statusA |= 0x20;
  if (statusOverride_ >= 0) statusA = static_cast<uint8_t>(statusOverride_);

  Bytes r = {statusA, 0};
  Bytes fixedEnd = LE16(static_cast<uint16_t>(4 + fixed_.size()));
  r.insert(r.end(), fixedEnd.begin(), fixedEnd.end());
  r.insert(r.end(), fixed_.begin(), fixed_.end());
  Bytes cc = LE16(static_cast<uint16_t>(count));
  r.insert(r.end(), cc.begin(), cc.end());
  if (nullBitmap_) {
    Bytes bitmap((static_cast<size_t>(std::max<int>(count, 0)) + 7) / 8, 0);
    for (int c : nulls_)
      if (c >= 0 && static_cast<size_t>(c / 8) < bitmap.size()) bitmap[c / 8] |= static_cast<uint8_t>(1 << (c % 8));
    r.insert(r.end(), bitmap.begin(), bitmap.end());
  }
  if (!vars_.empty()) {
    Bytes vc = LE16(static_cast<uint16_t>(vars_.size()));
    r.insert(r.end(), vc.begin(), vc.end());
    size_t end = r.size() + 2 * vars_.size();
    for (const auto& [data, complex] : vars_) {
      end += data.size();
      Bytes off = LE16(static_cast<uint16_t>(end | (complex ? 0x8000 : 0)));
      r.insert(r.end(), off.begin(), off.end());
    }
    for (const auto& [data, complex] : vars_) r.insert(r.end(), data.begin(), data.end());
  }
  return r;
}

Bytes RecordBuilder::ForwardingStub(PageRef target, int16_t slot) {
  return Concat({Bytes{0x04}, DiskPageRef(target), LE16(static_cast<uint16_t>(slot))});
}

// --- PageBuilder -----------------------------------------------------------

PageBuilder::PageBuilder(uint32_t pageNo, uint16_t fileId) : pageNo_(pageNo), page_(kPageSize, 0) {
  page_[0] = 1;  // header version
  page_[1] = 1;  // data page
  This(PageRef{static_cast<int16_t>(fileId), static_cast<int32_t>(pageNo)});
}

PageBuilder& PageBuilder::PageType(uint8_t type) {
  page_[1] = type;
  return *this;
}
PageBuilder& PageBuilder::ObjectId(uint32_t id) { return Put(24, LE32(id)); }
PageBuilder& PageBuilder::IndexId(uint16_t id) { return Put(6, LE16(id)); }
PageBuilder& PageBuilder::Level(uint8_t level) {
  page_[3] = level;
  return *this;
}
PageBuilder& PageBuilder::FlagBits(uint16_t flags) { return Put(4, LE16(flags)); }
PageBuilder& PageBuilder::TypeFlagBits(uint8_t flags) {
  page_[2] = flags;
  return *this;
}
PageBuilder& PageBuilder::Next(PageRef ref) { return Put(16, DiskPageRef(ref)); }
PageBuilder& PageBuilder::Prev(PageRef ref) { return Put(8, DiskPageRef(ref)); }
PageBuilder& PageBuilder::This(PageRef ref) { return Put(32, DiskPageRef(ref)); }
PageBuilder& PageBuilder::GhostCount(int16_t count) { return Put(58, LE16(static_cast<uint16_t>(count))); }
PageBuilder& PageBuilder::MinLen(uint16_t length) { return Put(14, LE16(length)); }
PageBuilder& PageBuilder::SlotCount(int16_t count) {
  slotCountOverride_ = count;
  return *this;
}

uint16_t PageBuilder::AddUnslottedRecord(const Bytes& record) {
  uint16_t at = freeData_;
  if (at + record.size() > kPageSize - 2 * (slots_.size() + 1)) throw std::length_error("page full");
  Put(at, record);
  freeData_ = static_cast<uint16_t>(at + record.size());
  return at;
}

uint16_t PageBuilder::AddRecord(const Bytes& record) {
  uint16_t at = AddUnslottedRecord(record);
  slots_.push_back(at);
  return at;
}

PageBuilder& PageBuilder::Put(uint16_t offset, const Bytes& bytes) {
  if (offset + bytes.size() > page_.size()) throw std::out_of_range("Put beyond the page");
  std::copy(bytes.begin(), bytes.end(), page_.begin() + offset);
  return *this;
}

PageBuilder& PageBuilder::Slot(int index, uint16_t offset) {
  if (static_cast<size_t>(index) >= slots_.size()) slots_.resize(index + 1, 0);
  slots_[index] = offset;
  return *this;
}

PageBuilder& PageBuilder::TornProtect(uint8_t pattern) {
  torn_ = true;
  tornPattern_ = pattern & 3;
  return *this;
}

PageBuilder& PageBuilder::Checksum() {
  checksum_ = true;
  return *this;
}

Bytes PageBuilder::Build() const {
  Bytes page = page_;
  int16_t count = slotCountOverride_.value_or(static_cast<int16_t>(slots_.size()));
  StoreLE16(&page[22], static_cast<uint16_t>(count));
  StoreLE16(&page[30], freeData_);
  for (size_t j = 0; j < slots_.size(); ++j) StoreLE16(&page[kPageSize - 2 - 2 * j], slots_[j]);
  if (torn_) {
    uint32_t saved = 0;
    for (int k = 1; k <= 15; ++k) {
      uint8_t& last = page[k * 512 + 511];
      saved |= static_cast<uint32_t>(last & 3) << (2 * k);
      last = static_cast<uint8_t>((last & ~3u) | tornPattern_);
    }
    // The stamp itself stands in the low two bits of the saved word.
    saved |= tornPattern_;
    uint16_t flags = static_cast<uint16_t>(page[4] | (page[5] << 8) | 0x100);
    StoreLE16(&page[4], flags);
    for (int i = 0; i < 4; ++i) page[60 + i] = static_cast<uint8_t>(saved >> (8 * i));
  }
  if (checksum_) {
    StoreLE16(&page[4], static_cast<uint16_t>(page[4] | (page[5] << 8) | 0x200));
    const uint32_t sum = PageChecksum(page);
    for (int i = 0; i < 4; ++i) page[60 + i] = static_cast<uint8_t>(sum >> (8 * i));
  }
  return page;
}

// --- Large-value structures ------------------------------------------------

namespace {

Bytes StructureHeader(uint64_t blobId, uint16_t kind) { return Concat({LE64(blobId), LE16(kind)}); }

Bytes PadTo(Bytes bytes, size_t size) {
  if (bytes.size() < size) bytes.resize(size, 0);
  return bytes;
}

Bytes Link(const LobLinkSpec& link) { return Concat({LE32(link.size), DiskPageRef(link.page), LE16(link.slot)}); }

}  // namespace

Bytes TextRecordBytes(const Bytes& structure) {
  return Concat({Bytes{0x08, 0x00}, LE16(static_cast<uint16_t>(4 + structure.size())), structure});
}

Bytes SmallRootStructure(const Bytes& data, size_t padTo, uint64_t blobId) {
  // Length, then 4 bytes the reader skips, then the data.
  Bytes s = Concat({StructureHeader(blobId, 0), LE16(static_cast<uint16_t>(data.size())), LE32(0), data});
  return PadTo(std::move(s), padTo);
}

Bytes DataStructure(const Bytes& data, uint64_t blobId) { return Concat({StructureHeader(blobId, 3), data}); }

Bytes InternalStructure(const std::vector<LobLinkSpec>& links, uint64_t blobId) {
  const auto count = static_cast<uint16_t>(links.size());
  Bytes s = Concat({StructureHeader(blobId, 2), LE16(count), LE16(count), LE16(0)});
  for (const LobLinkSpec& link : links) s = Concat({s, LE64(link.size), DiskPageRef(link.page), LE16(link.slot)});
  return s;
}

Bytes LargeRootStructure(const std::vector<LobLinkSpec>& links, uint16_t kind, size_t padTo, uint64_t blobId) {
  const auto count = static_cast<uint16_t>(links.size());
  Bytes s = Concat({StructureHeader(blobId, kind), LE16(count), LE16(count), LE16(0), LE32(0)});
  for (const LobLinkSpec& link : links) s = Concat({s, Link(link)});
  return PadTo(std::move(s), padTo);
}

Bytes TextPointer(PageRef page, uint16_t slot, uint64_t blobId) {
  return Concat({LE64(blobId), DiskPageRef(page), LE16(slot)});
}

Bytes InRowRoot(const std::vector<LobLinkSpec>& links, uint8_t type) {
  Bytes s = Concat({Bytes{type, 0, 0, 0}, LE32(1), LE32(0x5678)});
  for (const LobLinkSpec& link : links) s = Concat({s, Link(link)});
  return s;
}

// --- IAM pages -------------------------------------------------------------

Bytes IamHeaderRecord(PageRef startPage, const std::vector<PageRef>& singlePages) {
  // Fixed data of 90 bytes: counters the reader skips, the start page at
  // 36, eight single-page slots from 42.
  Bytes fixed(90, 0);
  Bytes start = DiskPageRef(startPage);
  std::copy(start.begin(), start.end(), fixed.begin() + 36);
  for (size_t k = 0; k < singlePages.size() && k < 8; ++k) {
    Bytes slot = DiskPageRef(singlePages[k]);
    std::copy(slot.begin(), slot.end(), fixed.begin() + 42 + 6 * static_cast<std::ptrdiff_t>(k));
  }
  return RecordBuilder().StatusA(0x00).Fixed(fixed).ColumnCount(0).NoNullBitmap().Build();
}

Bytes IamBitmapRecord(const Bytes& bitmap) {
  return RecordBuilder().StatusA(0x00).Fixed(PadTo(bitmap, 7988)).ColumnCount(0).NoNullBitmap().Build();
}

PageBuilder& MakeIamPage(PageBuilder& page, PageRef startPage, const std::vector<PageRef>& singlePages,
                         const Bytes& bitmap) {
  page.PageType(10);
  page.AddRecord(IamHeaderRecord(startPage, singlePages));
  page.AddRecord(IamBitmapRecord(bitmap));
  return page;
}

// --- File header -------------------------------------------------------------

Bytes FileHeaderRecord(uint32_t pageCount) {
  RecordBuilder record;
  record.Fixed(Bytes(4, 0)).ColumnCount(23);
  record.Var(Bytes(16, 0xA5)).Var({}).Var(LE16(1)).Var(LE16(1)).Var(LE32(pageCount));
  for (int k = 5; k < 22; ++k) record.Var({});
  return record.Build();
}

// --- DatabaseImage ---------------------------------------------------------

PageBuilder& DatabaseImage::Page(uint32_t pageNo, uint16_t fileId) {
  auto it = pages_.find(pageNo);
  if (it == pages_.end()) it = pages_.emplace(pageNo, PageBuilder(pageNo, fileId)).first;
  return it->second;
}

void DatabaseImage::SetRaw(uint32_t pageNo, Bytes bytes) {
  bytes.resize(kPageSize, 0);
  raw_[pageNo] = std::move(bytes);
}

Bytes DatabaseImage::Build() const {
  Bytes file(static_cast<size_t>(pageCount_) * kPageSize, 0);
  for (const auto& [n, builder] : pages_) {
    if (n >= pageCount_) continue;
    Bytes page = builder.Build();
    std::copy(page.begin(), page.end(), file.begin() + static_cast<std::ptrdiff_t>(n) * kPageSize);
  }
  for (const auto& [n, page] : raw_) {
    if (n >= pageCount_) continue;
    std::copy(page.begin(), page.end(), file.begin() + static_cast<std::ptrdiff_t>(n) * kPageSize);
  }
  return file;
}

std::map<uint64_t, Bytes> DatabaseImage::BuildPieces() const {
  std::map<uint64_t, Bytes> pieces;
  for (const auto& [n, builder] : pages_)
    if (n < pageCount_) pieces[uint64_t{n} * kPageSize] = builder.Build();
  for (const auto& [n, page] : raw_)
    if (n < pageCount_) pieces[uint64_t{n} * kPageSize] = page;
  return pieces;
}

std::vector<uint32_t> DatabaseImage::PageNumbers() const {
  std::set<uint32_t> numbers;
  for (const auto& entry : pages_) numbers.insert(entry.first);
  for (const auto& entry : raw_) numbers.insert(entry.first);
  return std::vector<uint32_t>(numbers.begin(), numbers.end());
}

// --- Allocation maps -------------------------------------------------------

Bytes FixedOnlyRecord(const Bytes& fixed) {
  return Concat({Bytes{0x00, 0x00}, LE16(static_cast<uint16_t>(4 + fixed.size())), fixed});
}

PageBuilder& MakePfsPage(PageBuilder& page, const Bytes& pfsBytes) {
  Bytes bytes = pfsBytes;
  bytes.resize(kPagesPerPfsInterval, 0);
  page.PageType(static_cast<uint8_t>(kPageTypePfs)).ObjectId(kAllocationPagesObjectId);
  page.AddRecord(FixedOnlyRecord(bytes));
  return page;
}

PageBuilder& MakeExtentMapPage(PageBuilder& page, uint8_t pageType, const Bytes& bitmap, uint8_t padding) {
  Bytes bits = bitmap;
  bits.resize(kExtentBitmapBytes, padding);
  page.PageType(pageType).ObjectId(kAllocationPagesObjectId);
  page.AddRecord(FixedOnlyRecord(Bytes(90, 0)));
  page.AddRecord(FixedOnlyRecord(bits));
  return page;
}

AllocationMapsBuilder::AllocationMapsBuilder(uint32_t pageCount, uint16_t fileId)
    : pageCount_(pageCount), fileId_(fileId) {
  if (pageCount_ > 0) AllocatePage(0);
  for (uint32_t n : MapPages()) AllocatePage(n);
}

AllocationMapsBuilder& AllocationMapsBuilder::AllocatePage(uint32_t pageNo, uint8_t pfsFlags) {
  pfs_[pageNo] = static_cast<uint8_t>(pfs_[pageNo] | kPfsAllocated | pfsFlags);
  usedExtents_.insert(pageNo / kPagesPerExtent);
  return *this;
}

AllocationMapsBuilder& AllocationMapsBuilder::AllocateImagePages(const DatabaseImage& image) {
  const std::vector<uint32_t> maps = MapPages();
  for (uint32_t n : image.PageNumbers())
    if (std::find(maps.begin(), maps.end(), n) == maps.end()) AllocatePage(n);
  return *this;
}

AllocationMapsBuilder& AllocationMapsBuilder::FreePage(uint32_t pageNo) {
  pfs_[pageNo] = static_cast<uint8_t>(pfs_[pageNo] & ~kPfsAllocated);
  return *this;
}

AllocationMapsBuilder& AllocationMapsBuilder::FreeExtent(uint32_t pageNo) {
  const uint32_t extent = pageNo / kPagesPerExtent;
  usedExtents_.erase(extent);
  mixedExtents_.erase(extent);
  for (uint32_t n = extent * kPagesPerExtent; n < (extent + 1) * kPagesPerExtent; ++n)
    if (auto it = pfs_.find(n); it != pfs_.end()) it->second = static_cast<uint8_t>(it->second & ~kPfsAllocated);
  return *this;
}

AllocationMapsBuilder& AllocationMapsBuilder::MixedWithFree(uint32_t pageNo) {
  mixedExtents_.insert(pageNo / kPagesPerExtent);
  return *this;
}

std::vector<uint32_t> AllocationMapsBuilder::MapPages() const {
  std::set<uint32_t> pages;
  for (uint64_t n = 0; n < pageCount_; n += kPagesPerPfsInterval) pages.insert(n == 0 ? 1 : static_cast<uint32_t>(n));
  for (uint64_t n = 0; n < pageCount_; n += kPagesPerInterval) {
    const uint64_t gam = n == 0 ? 2 : n;
    for (uint64_t m : {gam, gam + 1})
      if (m < pageCount_) pages.insert(static_cast<uint32_t>(m));
  }
  std::erase_if(pages, [this](uint32_t n) { return n >= pageCount_; });
  return std::vector<uint32_t>(pages.begin(), pages.end());
}

void AllocationMapsBuilder::WriteTo(DatabaseImage& image) const {
  for (uint32_t n : MapPages()) {
    if (n % kPagesPerPfsInterval == 0 || n == 1) {
      const uint32_t start = n == 1 ? 0 : n;
      Bytes bytes(kPagesPerPfsInterval, 0);
      for (auto it = pfs_.lower_bound(start); it != pfs_.end() && it->first < start + kPagesPerPfsInterval; ++it)
        bytes[it->first - start] = it->second;
      MakePfsPage(image.Page(n, fileId_), bytes);
      continue;
    }
    const bool gam = static_cast<int32_t>(n) == GamPageOf(static_cast<int32_t>(n));
    const uint32_t firstExtent = n / kPagesPerInterval * kExtentsPerInterval;
    Bytes bitmap(kExtentBitmapBytes, 0);
    for (uint32_t e = 0; e < static_cast<uint32_t>(kExtentsPerInterval); ++e) {
      const bool set = gam ? usedExtents_.count(firstExtent + e) == 0 : mixedExtents_.count(firstExtent + e) != 0;
      if (set) bitmap[e / 8] = static_cast<uint8_t>(bitmap[e / 8] | (1u << (e % 8)));
    }
    MakeExtentMapPage(image.Page(n, fileId_), static_cast<uint8_t>(gam ? kPageTypeGam : kPageTypeSgam), bitmap, 0);
  }
}

// --- files -----------------------------------------------------------------

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ravelin-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const {
  std::string file = path_ + "/" + name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return file;
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TestDataDir() {
  if (const char* env = std::getenv("RAVELIN_TESTDATA"); env && *env) return env;
  std::filesystem::path dir = std::filesystem::path(RAVELIN_SOURCE_DIR) / ".." / "shared" / "testdata";
  std::error_code ec;
  if (std::filesystem::is_directory(dir, ec)) return std::filesystem::weakly_canonical(dir, ec).string();
  return "";
}

}  // namespace ravelin::testing
