#include "storage/database_file.h"

#include <algorithm>
#include <cmath>

#include "storage/allocation_map.h"
#include "storage/iam_page.h"
#include "storage/page.h"
#include "storage/text_page.h"

namespace ravelin {

bool IsSystemObjectPage(uint32_t objectId, uint16_t indexId) { return IsSystemObjectId(objectId) && indexId < 256; }

uint64_t ProgressStep(uint64_t pageCount) {
  auto step = static_cast<uint64_t>(std::ceil(static_cast<double>(pageCount) / 100.0));
  return step == 0 ? 1 : step;
}

bool HoldsSystemTable(const PageMaps& maps) {
  return std::any_of(maps.systemPages.begin(), maps.systemPages.end(), [](const auto& object) {
    const uint32_t id = object.first;
    return id != 0 && IsSystemObjectId(id) && !object.second.empty();
  });
}

namespace {

int64_t Low32(uint64_t v) { return static_cast<int64_t>(static_cast<uint32_t>(v)); }

// One pass of the start check: is there a page at `base` + p * 8192 whose
// header page number is p?
bool FindAlignedPage(const RandomAccessFile& file, uint64_t first, uint64_t pageCount, uint64_t base,
                     ProgressSink& sink, StopToken stop, uint8_t* buffer) {
  const uint64_t step = ProgressStep(pageCount);
  for (uint64_t p = first; p < pageCount; ++p) {
    if (stop.requested()) return false;
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

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void ScanPageHeaders(const RandomAccessFile& file, uint64_t startOffset, uint64_t pageCount, ProgressSink& sink,
                     StopToken stop, const char* statusText, const std::function<void(const ScannedPage&)>& take,
                     const std::function<void(uint32_t index, const ReadResult&)>& readFailed) {
  sink.SetProgressRange(0, Low32(pageCount));
  sink.SetProgressPos(0);
  if (statusText) sink.SetStatusText(statusText);
  const uint64_t step = ProgressStep(pageCount);
  Bytes buffer(kPageSize);
  for (uint64_t p = 0; p < pageCount; ++p) {
    if (stop.requested()) break;
    const ReadResult read = file.ReadAt(startOffset + p * kPageSize, buffer.data(), kPageSize);
    if ((read.error != 0 || read.bytesRead < static_cast<size_t>(kPageSize)) && readFailed)
      readFailed(static_cast<uint32_t>(p), read);
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
                             StopToken stop) {
  const uint64_t first = pageCount > 8 ? 8 : pageCount / 4;
  sink.SetStatusText(kTextCheckingCorruption);
  sink.SetProgressRange(0, Low32(pageCount));
  sink.SetProgressPos(0);
  Bytes buffer(kPageSize);
  uint64_t start = remainder;
  // With the displacement first; a stop skips to the second pass, which
  // polls the flag as well so that a stop is never followed by a full read.
  if (!FindAlignedPage(file, first, pageCount, remainder, sink, stop, buffer.data()) && remainder != 0) {
    if (FindAlignedPage(file, first, pageCount, 0, sink, stop, buffer.data())) start = 0;
  }
  sink.SetProgressPos(Low32(pageCount));
  sink.SetStatusText(kTextCheckingCorruptionDone);
  return start;
}

CDatabaseFile::CDatabaseFile(std::string filePath, Env& env, ProgressSink& sink, StopToken stop, ReadOptions options)
    : path(std::move(filePath)), env_(env), sink_(sink), stop_(stop), options_(options) {
  file_ = env_.OpenFile(path, &openError);
  if (!file_) {
    sink_.ReportError(kTextFileCannotBeOpen);
    return;
  }
  fileSize = file_->Size();
  if (fileSize < static_cast<uint64_t>(kPageSize)) {
    sink_.ReportError(kTextNotValidMdf);
    return;
  }
  isOpen = true;
  const uint64_t remainder = fileSize % kPageSize;
  pageCount = (fileSize - remainder) / kPageSize;
  startOffset = remainder;
  extentCount = pageCount / kPagesPerExtent;
  CheckShiftedStart();
}

CDatabaseFile::~CDatabaseFile() = default;

const AllocationMap& CDatabaseFile::allocation() const {
  if (!allocation_) allocation_ = std::make_unique<AllocationMap>(*this);
  return *allocation_;
}

bool CDatabaseFile::CheckShiftedStart() {
  const uint64_t remainder = startOffset;
  uint64_t start = CheckShiftedStartOf(*file_, pageCount, remainder, sink_, stop_);
  if (start != remainder) {
    startOffset = start;
    return false;
  }
  return true;
}

bool CDatabaseFile::FinishMapping(bool mapped) {
  primaryMaps_ = PageMaps{systemPageMap, dataPageMap, iamPageMap};
  if (!mapped) {
    isOpen = false;
    sink_.ReportError(kTextNotValidMdf);
  }
  return mapped;
}

bool CDatabaseFile::MapPages() {
  systemPageMap.clear();
  dataPageMap.clear();
  iamPageMap.clear();
  if (!isOpen) return false;
  uint64_t systemPages = 0;
  ScanPageHeaders(
      *file_, startOffset, pageCount, sink_, stop_, kTextMapping,
      [&](const ScannedPage& page) {
        const PageMapEntry entry{page.fileId, page.index, page.pageType};
        if (IsSystemObjectPage(page.objectId, page.indexId)) {
          systemPageMap[page.objectId].push_back(entry);
          // Unused pages read as object 0; only a page of a real system
          // table shows that the file is a database.
          if (page.objectId != 0) ++systemPages;
        }
        if (page.objectId == 0) return;
        if (page.pageType == kPageTypeData)
          dataPageMap[page.objectId].push_back(entry);
        else if (page.pageType == kPageTypeIam)
          iamPageMap[page.objectId].push_back(entry);
      },
      [&](uint32_t index, const ReadResult& read) {
        ReportReadFailure(PageRef{1, static_cast<int32_t>(index)}, read);
      });
  sink_.SetStatusText(kTextMappingDone);
  return FinishMapping(systemPages > 0);
}

bool CDatabaseFile::AdoptPageMaps(PageMaps maps) {
  systemPageMap = std::move(maps.systemPages);
  dataPageMap = std::move(maps.dataPages);
  iamPageMap = std::move(maps.iamPages);
  if (!isOpen) return false;
  return FinishMapping(HoldsSystemTable(PageMaps{systemPageMap, {}, {}}));
}

PageMaps CDatabaseFile::PrimaryPageMaps() const { return primaryMaps_; }

void CDatabaseFile::ReportReadFailure(PageRef ref, const ReadResult& result) const {
  if (!reportedPages_.insert(ref).second) return;
  Warning warning;
  warning.subject = FileNameOf(path);
  warning.what = result.error != 0 ? "page could not be read (" + ErrorText(result.error) + ")"
                                   : "page cut short (" + std::to_string(result.bytesRead) + " of 8192 bytes read)";
  warning.where = "page " + std::to_string(ref.fileId) + ":" + std::to_string(ref.pageNo);
  sink_.ReportWarning(warning);
}

std::optional<Bytes> CDatabaseFile::ReadPageBytes(PageRef ref, bool allowPageZero, bool* whole) const {
  if (whole) *whole = false;
  const int64_t n = ref.pageNo;
  if (n < 0 || (n == 0 && !allowPageZero)) return std::nullopt;
  Bytes buffer(kPageSize);
  if (ref.fileId == 1) {
    const uint64_t offset = startOffset + static_cast<uint64_t>(n) * kPageSize;
    if (!file_ || static_cast<uint64_t>(n) >= pageCount || offset > fileSize) return std::nullopt;
    const ReadResult read = file_->ReadAt(offset, buffer.data(), kPageSize);
    if (read.error != 0 || read.bytesRead < static_cast<size_t>(kPageSize))
      ReportReadFailure(ref, read);
    else if (whole)
      *whole = true;
    return buffer;
  }
  if (ref.fileId <= 0) return std::nullopt;
  auto it = secondaryFiles.find(ref.fileId);
  if (it == secondaryFiles.end() || it->second.physicalName.empty()) return std::nullopt;
  const DataFileInfo& info = it->second;
  const uint64_t offset = static_cast<uint64_t>(info.startOffset) + static_cast<uint64_t>(n) * kPageSize;
  if (static_cast<uint64_t>(n) >= info.pageCount || offset > info.fileSize) return std::nullopt;
  std::unique_ptr<RandomAccessFile> secondary = env_.OpenFile(info.physicalName);
  if (!secondary) return std::nullopt;
  const ReadResult read = secondary->ReadAt(offset, buffer.data(), kPageSize);
  if (read.error != 0 || read.bytesRead < static_cast<size_t>(kPageSize))
    ReportReadFailure(ref, read);
  else if (whole)
    *whole = true;
  return buffer;
}

bool CDatabaseFile::HoldsPage(PageRef ref) const {
  if (ref.pageNo <= 0) return false;
  if (ref.fileId == 1) return static_cast<uint64_t>(ref.pageNo) < pageCount;
  auto it = secondaryFiles.find(ref.fileId);
  if (it == secondaryFiles.end()) return false;
  return it->second.pageCount == 0 || static_cast<uint64_t>(ref.pageNo) < it->second.pageCount;
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

std::unique_ptr<PrimaryRecordPage> CDatabaseFile::ReadDataPage(PageRef ref) const {
  auto bytes = ReadPageBytes(ref, true);
  if (!bytes) return nullptr;
  return std::make_unique<PrimaryRecordPage>(std::move(*bytes), this);
}

std::unique_ptr<PrimaryRecordPage> CDatabaseFile::ReadTableDataPage(PageRef ref) const {
  auto bytes = ReadPageBytes(ref, false);
  if (!bytes) return nullptr;
  MendImpossibleHeaderFields(*bytes, ref);
  return std::make_unique<PrimaryRecordPage>(std::move(*bytes), this);
}

std::optional<BootInfo> CDatabaseFile::LoadDatabaseName() const {
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
  if (boot <= 0 || static_cast<uint64_t>(boot) >= pageCount) return std::nullopt;
  auto bytes = ReadPageBytes({1, static_cast<int32_t>(boot)}, false);
  if (!bytes) return std::nullopt;
  return DecodeBootPage(*bytes);
}

std::unique_ptr<TextMixPage> CDatabaseFile::ReadTextPage(PageRef ref) const {
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

std::unique_ptr<IamPage> CDatabaseFile::ReadIamPage(PageRef ref) const {
  auto bytes = ReadRawPage(ref);
  if (!bytes) return nullptr;
  return std::make_unique<IamPage>(std::move(*bytes), this);
}

}  // namespace ravelin
