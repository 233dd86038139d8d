#include "storage/memory_env.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ravelin {
namespace {

class MemoryFile : public RandomAccessFile {
 public:
  explicit MemoryFile(std::shared_ptr<const MemoryEnv::Entry> entry) : entry_(std::move(entry)) {}

  uint64_t Size() const override { return entry_->Size(); }

  ReadResult ReadAt(uint64_t offset, uint8_t* buffer, size_t length) const override {
    std::memset(buffer, 0, length);
    ReadResult result;
    const uint64_t size = entry_->Size();
    if (offset >= size) return result;
    uint64_t end = std::min<uint64_t>(offset + length, size);
    // A fault cuts the read at its first byte.
    for (const MemoryEnv::Fault& fault : entry_->faults) {
      if (fault.offset < end && fault.offset + fault.length > offset) {
        const uint64_t cut = std::max(fault.offset, offset);
        if (cut <= end) {
          end = cut;
          result.error = fault.error;
        }
      }
    }
    const size_t n = static_cast<size_t>(end - offset);
    if (n > 0) entry_->CopyOut(offset, buffer, n);
    result.bytesRead = n;
    return result;
  }

 private:
  std::shared_ptr<const MemoryEnv::Entry> entry_;
};

std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

void MemoryEnv::Entry::CopyOut(uint64_t offset, uint8_t* buffer, size_t length) const {
  if (!sparse) {
    std::memcpy(buffer, bytes.data() + offset, length);
    return;
  }
  // The buffer is zero already; copy the parts of the pieces it overlaps.
  const uint64_t end = offset + length;
  auto it = pieces.upper_bound(offset);
  if (it != pieces.begin()) --it;
  for (; it != pieces.end() && it->first < end; ++it) {
    const uint64_t from = std::max(offset, it->first);
    const uint64_t to = std::min<uint64_t>(end, it->first + it->second.size());
    if (from < to)
      std::memcpy(buffer + (from - offset), it->second.data() + (from - it->first), static_cast<size_t>(to - from));
  }
}

void MemoryEnv::AddSparseFile(const std::string& path, uint64_t size, std::map<uint64_t, Bytes> pieces) {
  auto entry = std::make_shared<Entry>();
  entry->sparse = true;
  entry->sparseSize = size;
  entry->pieces = std::move(pieces);
  files_[path] = std::move(entry);
}

void MemoryEnv::AddFile(const std::string& path, Bytes contents) {
  auto entry = std::make_shared<Entry>();
  entry->owned = std::make_shared<const Bytes>(std::move(contents));
  entry->bytes = ByteSpan(*entry->owned);
  files_[path] = std::move(entry);
}

void MemoryEnv::AddFileView(const std::string& path, ByteSpan contents) {
  auto entry = std::make_shared<Entry>();
  entry->bytes = contents;
  files_[path] = std::move(entry);
}

void MemoryEnv::RemoveFile(const std::string& path) { files_.erase(path); }

void MemoryEnv::FailReads(const std::string& path, uint64_t offset, uint64_t length, int error) {
  auto it = files_.find(path);
  if (it != files_.end()) it->second->faults.push_back(Fault{offset, length, error});
}

std::unique_ptr<RandomAccessFile> MemoryEnv::OpenFile(const std::string& path, int* error) {
  auto it = files_.find(path);
  if (it == files_.end()) {
    if (error) *error = ENOENT;
    return nullptr;
  }
  if (error) *error = 0;
  return std::make_unique<MemoryFile>(it->second);
}

std::vector<std::string> MemoryEnv::ListFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& [path, entry] : files_) {
    if (FolderPart(path) == folder) names.push_back(path.substr(folder.size()));
  }
  return names;  // the map keeps them sorted
}

}  // namespace ravelin
