#include "recovery/snapshot_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "storage/bytes.h"
#include "storage/text_codec.h"

namespace ravelin {
namespace {

constexpr size_t kEntrySize = 10;
constexpr size_t kObjectHeadSize = 8;  // id and entry count
constexpr size_t kBufferSize = 1 << 20;
// 32,767 UTF-16 units: the longest path any system writes.
constexpr uint32_t kMaxPathBytes = 65534;

// Sequential reads through a buffer, with the number of bytes the file
// still holds, so that every count can be checked before it is trusted.
class SnapshotReader {
 public:
  explicit SnapshotReader(const RandomAccessFile& file) : file_(file), size_(file.Size()) {}

  uint64_t remaining() const { return size_ - pos_; }

  bool Read(uint8_t* out, size_t length) {
    if (length > remaining()) return false;
    while (length > 0) {
      if (bufferPos_ == buffer_.size() && !Fill()) return false;
      size_t n = std::min(length, buffer_.size() - bufferPos_);
      std::memcpy(out, buffer_.data() + bufferPos_, n);
      bufferPos_ += n;
      pos_ += n;
      out += n;
      length -= n;
    }
    return true;
  }

  template <typename T>
  bool ReadInt(T& out) {
    uint8_t bytes[sizeof(T)];
    return Read(bytes, sizeof bytes) && ReadLE(ByteSpan(bytes), 0, out);
  }

  bool ReadFlag(bool& out) {
    uint8_t b;
    if (!ReadInt(b)) return false;
    out = b != 0;
    return true;
  }

  uint64_t position() const { return pos_; }
  uint64_t size() const { return size_; }

 private:
  bool Fill() {
    size_t want = static_cast<size_t>(std::min<uint64_t>(kBufferSize, remaining()));
    buffer_.resize(want);
    bufferPos_ = 0;
    // A file cut short while it is read gives a short read: refused.
    return want > 0 && file_.ReadAt(pos_, buffer_.data(), want).bytesRead == want;
  }

  const RandomAccessFile& file_;
  const uint64_t size_;
  uint64_t pos_ = 0;
  Bytes buffer_;
  size_t bufferPos_ = 0;
};

// Sets `why` (when given) and answers false.
bool Refuse(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

std::string CutShort(const SnapshotReader& in, const char* where) {
  return "it is cut short: its " + std::to_string(in.size()) + " bytes end inside " + where;
}

bool ReadHeader(SnapshotReader& in, SnapshotHeader& header, std::string* why = nullptr) {
  constexpr char kNotSnapshot[] = "it is not a snapshot file: its header does not read as one";
  uint32_t pathBytes;
  if (!in.ReadInt(pathBytes)) return Refuse(why, CutShort(in, "its header"));
  // A path is a few hundred bytes; far more is another kind of file.
  if (pathBytes % 2 != 0 || pathBytes > kMaxPathBytes) return Refuse(why, kNotSnapshot);
  if (pathBytes > in.remaining()) return Refuse(why, CutShort(in, "its header"));
  Bytes path(pathBytes);
  if (!in.Read(path.data(), path.size())) return Refuse(why, CutShort(in, "its header"));
  header.dataFilePath = Utf16ToUtf8(path, false);
  // A zero unit would cut the path short when the file is opened.
  if (header.dataFilePath.find('\0') != std::string::npos) return Refuse(why, kNotSnapshot);
  // The flags are written as 0 or 1; anything else is another kind of file.
  auto flag = [&in, why, &kNotSnapshot](bool& out) {
    uint8_t b = 0;
    if (!in.ReadInt(b)) return Refuse(why, CutShort(in, "its header"));
    if (b > 1) return Refuse(why, kNotSnapshot);
    out = b != 0;
    return true;
  };
  if (!flag(header.advancedMode) || !flag(header.autoDetectCollation)) return false;
  if (!header.autoDetectCollation && !in.ReadInt(header.manualCollationId))
    return Refuse(why, CutShort(in, "its header"));
  return flag(header.isSql2000) && flag(header.showDeleted) && flag(header.showAdvancedDeleted);
}

bool ReadSection(SnapshotReader& in, PageMap& map, std::string* why = nullptr) {
  uint64_t objects;
  if (!in.ReadInt(objects)) return Refuse(why, CutShort(in, "its page maps"));
  if (objects > in.remaining() / kObjectHeadSize)
    return Refuse(why, "it is cut short or damaged: a page map counts " + std::to_string(objects) +
                           " objects, more than its remaining " + std::to_string(in.remaining()) + " bytes hold");
  uint8_t raw[kEntrySize];
  for (uint64_t i = 0; i < objects; ++i) {
    uint32_t objectId, entries;
    if (!in.ReadInt(objectId) || !in.ReadInt(entries)) return Refuse(why, CutShort(in, "its page maps"));
    if (entries > in.remaining() / kEntrySize)
      return Refuse(why, "it is cut short or damaged: object " + std::to_string(objectId) + " counts " +
                             std::to_string(entries) + " pages, more than its remaining " +
                             std::to_string(in.remaining()) + " bytes hold");
    std::vector<PageMapEntry>& list = map[objectId];
    list.reserve(list.size() + entries);
    for (uint32_t e = 0; e < entries; ++e) {
      if (!in.Read(raw, sizeof raw)) return Refuse(why, CutShort(in, "its page maps"));
      ByteSpan bytes(raw);
      list.push_back({LoadLE<uint16_t>(bytes, 0), LoadLE<uint32_t>(bytes, 2), LoadLE<uint32_t>(bytes, 6)});
    }
  }
  return true;
}

// Buffered writes to a file descriptor; the first failure sticks.
class SnapshotWriter {
 public:
  explicit SnapshotWriter(int fd) : fd_(fd) { buffer_.reserve(kBufferSize); }

  void Put(const uint8_t* data, size_t length) {
    buffer_.insert(buffer_.end(), data, data + length);
    if (buffer_.size() >= kBufferSize) Flush();
  }
  template <typename T>
  void PutInt(T value) {
    uint8_t bytes[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
    Put(bytes, sizeof bytes);
  }
  void PutFlag(bool flag) { PutInt<uint8_t>(flag ? 1 : 0); }

  bool Flush() {
    size_t done = 0;
    while (ok_ && done < buffer_.size()) {
      ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ok_ = false;
      if (n > 0) done += static_cast<size_t>(n);
    }
    buffer_.clear();
    return ok_;
  }

 private:
  int fd_;
  Bytes buffer_;
  bool ok_ = true;
};

void WriteSection(SnapshotWriter& out, const PageMap& map) {
  out.PutInt<uint64_t>(map.size());
  for (const auto& [objectId, entries] : map) {
    out.PutInt<uint32_t>(objectId);
    out.PutInt<uint32_t>(static_cast<uint32_t>(entries.size()));
    for (const PageMapEntry& e : entries) {
      out.PutInt<uint16_t>(e.fileId);
      out.PutInt<uint32_t>(e.pageIndex);
      out.PutInt<uint32_t>(e.pageType);
    }
  }
}

bool SameFile(const struct stat& a, const std::string& path) {
  struct stat b;
  return !path.empty() && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::string AbsoluteDataFilePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

SnapshotHeader SnapshotHeaderFromSettings(const RecoverySettings& settings, const std::string& dataFilePath,
                                          bool advancedMode) {
  SnapshotHeader header;
  header.dataFilePath = AbsoluteDataFilePath(dataFilePath);
  header.advancedMode = advancedMode;
  header.autoDetectCollation = settings.autoDetectCollation;
  header.manualCollationId = settings.manualCollationId;
  header.isSql2000 = settings.isSql2000;
  header.showDeleted = settings.showDeleted;
  header.showAdvancedDeleted = settings.showAdvancedDeleted;
  return header;
}

bool WriteSnapshot(const std::string& path, const SnapshotHeader& header, const PageMap& systemPages,
                   const PageMap& dataPages, const PageMap& iamPages) {
  // The data file is recorded as UTF-16; a name that is not UTF-8 would
  // come back as another name, and the snapshot could never be loaded.
  const Bytes pathBytes = Utf8ToUtf16(header.dataFilePath);
  if (Utf16ToUtf8(pathBytes, false) != header.dataFilePath) return false;
  // Not truncated on open: what lies at `path` is checked first, so that
  // neither the database file nor a device or FIFO is ever written.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || SameFile(st, header.dataFilePath)) {
    ::close(fd);
    return false;
  }
  bool ok = ::ftruncate(fd, 0) == 0;
  if (ok) {
    SnapshotWriter out(fd);
    out.PutInt<uint32_t>(static_cast<uint32_t>(pathBytes.size()));
    out.Put(pathBytes.data(), pathBytes.size());
    out.PutFlag(header.advancedMode);
    out.PutFlag(header.autoDetectCollation);
    if (!header.autoDetectCollation) out.PutInt<int64_t>(header.manualCollationId);
    out.PutFlag(header.isSql2000);
    out.PutFlag(header.showDeleted);
    out.PutFlag(header.showAdvancedDeleted);
    WriteSection(out, systemPages);
    WriteSection(out, dataPages);
    WriteSection(out, iamPages);
    ok = out.Flush();
  }
  ok = ::close(fd) == 0 && ok;
  // A partial snapshot would only fail to load later.
  if (!ok) ::unlink(path.c_str());
  return ok;
}

std::optional<SnapshotHeader> ReadSnapshotHeader(const std::string& path, Env& env) {
  std::unique_ptr<RandomAccessFile> file = env.OpenFile(path);
  if (!file) return std::nullopt;
  SnapshotReader in(*file);
  SnapshotHeader header;
  if (!ReadHeader(in, header)) return std::nullopt;
  return header;
}

std::string SnapshotProblem(const std::string& path, Env& env, SnapshotHeader* headerOut, PageMaps* mapsOut) {
  int error = 0;
  std::unique_ptr<RandomAccessFile> file = env.OpenFile(path, &error);
  if (!file) {
    if (error == EISDIR) return "it is a directory";
    if (error == ENODEV) return "it is a device or another special file, not a regular file";
    return ErrorText(error);
  }
  if (file->Size() == 0) return "the file is empty";
  SnapshotReader in(*file);
  SnapshotHeader header;
  PageMaps maps;
  std::string why;
  if (!ReadHeader(in, header, &why) || !ReadSection(in, maps.systemPages, &why) ||
      !ReadSection(in, maps.dataPages, &why) || !ReadSection(in, maps.iamPages, &why))
    return why;
  if (in.remaining() != 0)
    return "it goes on " + std::to_string(in.remaining()) +
           " bytes past its last page map: it is damaged, or not a snapshot file";
  if (headerOut) *headerOut = std::move(header);
  if (mapsOut) *mapsOut = std::move(maps);
  return {};
}

std::optional<PageMaps> ReadSnapshotPageMaps(const std::string& path, Env& env) {
  std::unique_ptr<RandomAccessFile> file = env.OpenFile(path);
  if (!file) return std::nullopt;
  SnapshotReader in(*file);
  SnapshotHeader header;
  PageMaps maps;
  if (!ReadHeader(in, header) || !ReadSection(in, maps.systemPages) || !ReadSection(in, maps.dataPages) ||
      !ReadSection(in, maps.iamPages) || in.remaining() != 0)
    return std::nullopt;
  return maps;
}

bool LoadSnapshotSettings(const std::string& path, RecoverySettings& settings, Env& env) {
  settings.snapshotMode = true;
  std::optional<SnapshotHeader> header = ReadSnapshotHeader(path, env);
  if (!header) {
    settings.snapshotFilePath.clear();
    settings.snapshotDataFilePath.clear();
    return false;
  }
  settings.snapshotFilePath = path;
  settings.snapshotDataFilePath = header->dataFilePath;
  settings.autoDetectCollation = header->autoDetectCollation;
  if (!header->autoDetectCollation) settings.manualCollationId = header->manualCollationId;
  settings.isSql2000 = header->isSql2000;
  settings.showDeleted = header->showDeleted;
  settings.showAdvancedDeleted = header->showAdvancedDeleted;
  // A snapshot does not record the suspect choice: a loaded run lists
  // only records that fit.
  settings.listSuspects = false;
  return true;
}

std::function<std::optional<PageMaps>()> SnapshotPageMaps(const std::string& path, ProgressSink& sink, Env& env) {
  return [path, &sink, &env]() -> std::optional<PageMaps> {
    sink.SetStatusText(kTextLoadingSnapshot);
    std::optional<PageMaps> maps = ReadSnapshotPageMaps(path, env);
    if (maps && HoldsSystemTable(*maps)) sink.SetStatusText(kTextSnapshotLoaded);
    return maps;
  };
}

}  // namespace ravelin
