#include "storage/database_file.h"

#include <algorithm>
#include <cmath>

#include "catalog/data_page.h"
#include "catalog/system_catalog.h"
#include "recovery/snapshot_file.h"
#include "storage/boot_page.h"
#include "storage/iam_page.h"
#include "storage/text_page.h"

namespace ravelin {

bool IsSystemObjectPage(uint32_t objectId, uint16_t indexId) { return IsSystemObjectId(objectId) && indexId < 256; }

uint64_t ProgressStep(uint64_t pageCount) {
  auto step = static_cast<uint64_t>(std::ceil(static_cast<double>(pageCount) / 100.0));
  return step == 0 ? 1 : step;
}

namespace {

int64_t Low32(uint64_t v) { return static_cast<int64_t>(static_cast<uint32_t>(v)); }

// One pass of the start check: is there a page at `base` + p * 8192 whose
// header page number is p?
bool FindAlignedPage(const RandomAccessFile& file, uint64_t first, uint64_t pageCount, uint64_t base,
                     ProgressSink& sink, const std::atomic<bool>& stopRequested, uint8_t* buffer) {
  const uint64_t step = ProgressStep(pageCount);
  for (uint64_t p = first; p < pageCount; ++p) {
    if (stopRequested.load()) return false;
    file.ReadAt(base + p * kPageSize, buffer, kPageSize);
    uint32_t number = LoadLE<uint32_t>(ByteSpan(buffer, kPageSize), 32);
    if (number == p) return true;
    if (p % step == 0) sink.SetProgressPos(static_cast<int64_t>(p));
  }
  return false;
}

// Where page `ref` lies when the page at its position says it is page
// `headerPageNo`: every page is taken to be displaced by the difference.
PageRef DisplacedLocation(PageRef ref, int32_t headerPageNo) {
  const int64_t h = static_cast<uint32_t>(headerPageNo);
  const int64_t p = ref.pageNo;
  if (h == p) return ref;
  PageRef corrected = ref;
  corrected.pageNo = static_cast<int32_t>(2 * p - h);
  return corrected;
}

}  // namespace

void ScanPageHeaders(const RandomAccessFile& file, uint64_t startOffset, uint64_t pageCount, ProgressSink& sink,
                     const std::atomic<bool>& stopRequested, const char* statusText,
                     const std::function<void(const ScannedPage&)>& take) {
  sink.SetProgressRange(0, Low32(pageCount));
  sink.SetProgressPos(0);
  if (statusText) sink.SetStatusText(statusText);
  const uint64_t step = ProgressStep(pageCount);
  Bytes buffer(kPageSize);
  for (uint64_t p = 0; p < pageCount; ++p) {
    if (stopRequested.load()) break;
    file.ReadAt(startOffset + p * kPageSize, buffer.data(), kPageSize);
    const ByteSpan page(buffer);
    ScannedPage scanned;
    scanned.index = static_cast<uint32_t>(p);
    scanned.objectId = LoadLE<uint32_t>(page, 24);
    scanned.fileId = LoadLE<uint16_t>(page, 36);
    scanned.indexId = LoadLE<uint16_t>(page, 6);
    scanned.pageType = page[1];
    take(scanned);
    if ((p + 1) % step == 0) sink.SetProgressPos(static_cast<int64_t>(p + 1));
  }
  sink.SetProgressPos(Low32(pageCount));
}

uint64_t CheckShiftedStartOf(const RandomAccessFile& file, uint64_t pageCount, uint64_t remainder, ProgressSink& sink,
                             const std::atomic<bool>& stopRequested) {
  const uint64_t first = pageCount > 8 ? 8 : pageCount / 4;
  sink.SetStatusText(kTextCheckingCorruption);
  sink.SetProgressRange(0, Low32(pageCount));
  sink.SetProgressPos(0);
  Bytes buffer(kPageSize);
  uint64_t start = remainder;
  // With the displacement first; a stop skips to the second pass, which
  // polls the flag as well so that a stop is never followed by a full read.
  if (!FindAlignedPage(file, first, pageCount, remainder, sink, stopRequested, buffer.data()) && remainder != 0) {
    if (FindAlignedPage(file, first, pageCount, 0, sink, stopRequested, buffer.data())) start = 0;
  }
  sink.SetProgressPos(Low32(pageCount));
  sink.SetStatusText(kTextCheckingCorruptionDone);
  return start;
}

CDatabaseFile::CDatabaseFile(std::string filePath, ProgressSink& sink, RecoverySettings& settings)
    : path(std::move(filePath)), settings_(settings), sink_(sink) {
  isOpen = true;
  if (!file_.Open(path)) {
    isOpen = false;
    sink_.ReportError(kTextFileCannotBeOpen);
    return;
  }
  fileSize = file_.Size();
  if (fileSize < static_cast<uint64_t>(kPageSize)) {
    isOpen = false;
    sink_.ReportError(kTextNotValidMdf);
    return;
  }
  const uint64_t remainder = fileSize % kPageSize;
  pageCount = (fileSize - remainder) / kPageSize;
  startOffset = remainder;
  extentCount = pageCount / kPagesPerExtent;
  CheckShiftedStart();
  if (!MapPages()) {
    isOpen = false;
    sink_.ReportError(kTextNotValidMdf);
  }
  // A stop given while opening ends only the opening scans.
  settings_.stopRequested = false;
}

CDatabaseFile::~CDatabaseFile() = default;

SystemCatalog* CDatabaseFile::GetCatalog(bool reuse) {
  if (!reuse || !catalog_) {
    // The old catalog goes first: the new one sets the layout flag afresh.
    catalog_.reset();
    catalog_ = std::make_unique<SystemCatalog>(*this);
  }
  return catalog_.get();
}

bool CDatabaseFile::CheckShiftedStart() {
  const uint64_t remainder = startOffset;
  uint64_t start = CheckShiftedStartOf(file_, pageCount, remainder, sink_, settings_.stopRequested);
  if (start != remainder) {
    startOffset = start;
    return false;
  }
  return true;
}

bool CDatabaseFile::MapPages() {
  const bool mapped = MapPrimaryPages();
  mappedCounts_.clear();
  for (const PageMap* map : {&systemPageMap, &dataPageMap, &iamPageMap}) {
    std::map<uint32_t, size_t>& counts = mappedCounts_[map];
    for (const auto& [objectId, entries] : *map) counts[objectId] = entries.size();
  }
  return mapped;
}

PageMap CDatabaseFile::MappedByPrimaryScan(const PageMap& map) const {
  PageMap result;
  auto counts = mappedCounts_.find(&map);
  if (counts == mappedCounts_.end()) return result;
  for (const auto& [objectId, count] : counts->second) {
    auto it = map.find(objectId);
    if (it == map.end()) continue;
    const std::vector<PageMapEntry>& entries = it->second;
    result[objectId].assign(entries.begin(), entries.begin() + static_cast<ptrdiff_t>(std::min(count, entries.size())));
  }
  return result;
}

bool CDatabaseFile::MapPrimaryPages() {
  systemPageMap.clear();
  dataPageMap.clear();
  iamPageMap.clear();
  if (settings_.snapshotMode) {
    sink_.SetStatusText(kTextLoadingSnapshot);
    if (!ReadSnapshotPageMaps(settings_.snapshotFilePath, systemPageMap, dataPageMap, iamPageMap)) return false;
    // As for a scan, zeroed pages filed under object 0 do not make a database.
    const bool hasSystemTable = std::any_of(systemPageMap.begin(), systemPageMap.end(), [](const auto& object) {
      const uint32_t id = object.first;
      return id != 0 && IsSystemObjectId(id) && !object.second.empty();
    });
    if (!hasSystemTable) return false;
    sink_.SetStatusText(kTextSnapshotLoaded);
    return true;
  }
  uint64_t systemPages = 0;
  ScanPageHeaders(file_, startOffset, pageCount, sink_, settings_.stopRequested, kTextMapping,
                  [&](const ScannedPage& page) {
                    const PageMapEntry entry{page.fileId, page.index, page.pageType};
                    if (IsSystemObjectPage(page.objectId, page.indexId)) {
                      systemPageMap[page.objectId].push_back(entry);
                      // Unused pages read as object 0; only a page of a real
                      // system table shows that the file is a database.
                      if (page.objectId != 0) ++systemPages;
                    }
                    if (page.objectId == 0) return;
                    if (page.pageType == kPageTypeData)
                      dataPageMap[page.objectId].push_back(entry);
                    else if (page.pageType == kPageTypeIam)
                      iamPageMap[page.objectId].push_back(entry);
                  });
  sink_.SetStatusText(kTextMappingDone);
  return systemPages > 0;
}

std::optional<Bytes> CDatabaseFile::ReadPageBytes(PageRef ref, bool allowPageZero) const {
  const int64_t n = ref.pageNo;
  if (n < 0 || (n == 0 && !allowPageZero)) return std::nullopt;
  Bytes buffer(kPageSize);
  if (ref.fileId == 1) {
    const uint64_t offset = startOffset + static_cast<uint64_t>(n) * kPageSize;
    if (static_cast<uint64_t>(n) >= pageCount || offset > fileSize) return std::nullopt;
    file_.ReadAt(offset, buffer.data(), kPageSize);
    return buffer;
  }
  if (ref.fileId <= 0) return std::nullopt;
  auto it = secondaryFiles.find(ref.fileId);
  if (it == secondaryFiles.end() || it->second.physicalName.empty()) return std::nullopt;
  const DataFileInfo& info = it->second;
  const uint64_t offset = static_cast<uint64_t>(info.startOffset) + static_cast<uint64_t>(n) * kPageSize;
  if (static_cast<uint64_t>(n) >= info.pageCount || offset > info.fileSize) return std::nullopt;
  RandomAccessFile secondary;
  if (!secondary.Open(info.physicalName)) return std::nullopt;
  secondary.ReadAt(offset, buffer.data(), kPageSize);
  return buffer;
}

std::optional<Bytes> CDatabaseFile::ReadRawPage(PageRef ref) const {
  auto bytes = ReadPageBytes(ref, false);
  if (bytes) bytes->push_back(0);
  return bytes;
}

std::unique_ptr<CPage_Header> CDatabaseFile::ReadPageHeader(PageRef ref) const {
  auto bytes = ReadPageBytes(ref, false);
  if (!bytes) return nullptr;
  return std::make_unique<CPage_Header>(std::span<uint8_t>(*bytes));
}

std::optional<CDatabaseFile::HeaderAndBuffer> CDatabaseFile::ReadPageHeaderKeepBuffer(PageRef ref) const {
  auto bytes = ReadPageBytes(ref, false);
  if (!bytes) return std::nullopt;
  HeaderAndBuffer result;
  result.buffer = std::move(*bytes);
  result.header = std::make_unique<CPage_Header>(std::span<uint8_t>(result.buffer));
  return result;
}

std::unique_ptr<CDataPage> CDatabaseFile::ReadDataPage(PageRef ref) {
  auto bytes = ReadPageBytes(ref, true);
  if (!bytes) return nullptr;
  return std::make_unique<CDataPage>(std::move(*bytes), this);
}

std::unique_ptr<CDataPage> CDatabaseFile::ReadTableDataPage(PageRef ref) {
  auto bytes = ReadPageBytes(ref, false);
  if (!bytes) return nullptr;
  return std::make_unique<CDataPage>(std::move(*bytes), this);
}

PageRef CDatabaseFile::TextPageLocation(PageRef ref) const {
  auto header = ReadPageHeader(ref);
  return header ? DisplacedLocation(ref, header->thisPage.pageNo) : ref;
}

void CDatabaseFile::LoadDatabaseName() {
  databaseName.clear();
  // A file whose pages are all displaced by the same amount shows it in the
  // page number a catalog page carries.
  int64_t displacement = 0;
  const std::vector<PageMapEntry>* anchor = nullptr;
  if (auto it = systemPageMap.find(7); it != systemPageMap.end() && !it->second.empty())
    anchor = &it->second;
  else if (auto it41 = systemPageMap.find(41); it41 != systemPageMap.end() && !it41->second.empty())
    anchor = &it41->second;
  if (anchor) {
    const PageMapEntry& entry = anchor->front();
    if (auto header = ReadPageHeader(entry.ToPageRef()))
      displacement = static_cast<int64_t>(static_cast<uint32_t>(header->thisPage.pageNo)) - entry.pageIndex;
  }
  const int64_t boot = kBootPageNumber - displacement;
  if (boot <= 0 || static_cast<uint64_t>(boot) >= pageCount) return;
  auto bytes = ReadPageBytes({1, static_cast<int32_t>(boot)}, false);
  if (!bytes) return;
  CBootPage page(*bytes, settings_);
  databaseName = page.databaseName;
  databaseVersion = page.version;
  databaseCollationId = page.collationId;
  bootPageRead = true;
}

std::unique_ptr<TextMixPage> CDatabaseFile::ReadTextPage(PageRef ref) {
  std::optional<Bytes> bytes = ReadRawPage(ref);
  if (!bytes) return nullptr;
  const PageRef located = DisplacedLocation(ref, LoadLE<int32_t>(*bytes, 32));
  if (located != ref) {
    // Only a page that calls itself the requested one stands in for it: a
    // header damaged in place is no sign that the file is displaced.
    auto moved = ReadRawPage(located);
    if (moved && LoadLE<int32_t>(*moved, 32) == ref.pageNo) bytes = std::move(moved);
  }
  return std::make_unique<TextMixPage>(std::move(*bytes), this);
}

std::unique_ptr<IamPage> CDatabaseFile::ReadIamPage(PageRef ref) {
  auto bytes = ReadRawPage(ref);
  if (!bytes) return nullptr;
  return std::make_unique<IamPage>(std::move(*bytes), this);
}

}  // namespace ravelin
