// Checked output files and folders with temporary names and a final rename.

#include "export/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace ravelin {
namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const size_t slash = p.find_last_of('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

// A fresh temporary name beside `finalPath`: hidden, and recognisably ours.
std::string TemporaryName(const std::string& finalPath) {
  static std::atomic<uint64_t> counter{0};
  static const uint64_t seed = std::random_device{}();
  std::string base = BaseName(finalPath);
  if (base.size() > 200) base.resize(200);
  const uint64_t n = seed ^ (static_cast<uint64_t>(getpid()) << 32) ^ (counter++ * 0x9E3779B97F4A7C15ull);
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "%012llx", static_cast<unsigned long long>(n & 0xFFFFFFFFFFFFull));
  return FolderOf(finalPath) + "/." + base + ".ravelin-" + suffix;
}

// Creates a temporary file (folder) beside `finalPath` with the modes the
// umask gives new files (folders); -1 (false) with errno set on failure.
int CreateTemporaryFile(const std::string& finalPath, std::string& path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = TemporaryName(finalPath);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool CreateTemporaryFolder(const std::string& finalPath, std::string& path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = TemporaryName(finalPath);
    if (mkdir(path.c_str(), 0777) == 0) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

// rename() that fails with EEXIST instead of replacing; falls back to a
// check and a plain rename where the file system cannot do it atomically.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return std::rename(from.c_str(), to.c_str());
}

bool SyncPath(const std::string& path, bool folder) {
  const int fd = open(path.c_str(), (folder ? O_DIRECTORY : 0) | O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const int rc = fsync(fd);
  const int saved = errno;
  close(fd);
  errno = saved;
  // Folders of some file systems refuse fsync; the rename is still made.
  return rc == 0 || (folder && (errno == EINVAL || errno == EBADF));
}

bool FolderHasEntries(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return false;
  bool any = false;
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      any = true;
      break;
    }
  }
  closedir(dir);
  return any;
}

}  // namespace

std::string ErrnoMessage(const std::string& what, const std::string& path, int errnoValue) {
  return what + " " + path + ": " + std::strerror(errnoValue);
}

bool IsInputFile(const std::string& path, const std::vector<std::string>& inputs) {
  struct stat out;
  if (stat(path.c_str(), &out) != 0) return false;
  for (const std::string& input : inputs) {
    struct stat in;
    if (stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) return true;
  }
  return false;
}

bool CheckOutputFile(const std::string& path, bool force, const std::vector<std::string>& inputs, std::string& error) {
  if (path.empty()) {
    error = "no output file named";
    return false;
  }
  if (IsInputFile(path, inputs)) {
    error = path + " is a file of the database being read; it is never written";
    return false;
  }
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      error = path + " is a folder, not a file";
      return false;
    }
    if (!force) {
      error = path + " already exists; it is replaced only when forced";
      return false;
    }
  } else if (errno != ENOENT) {
    error = ErrnoMessage("cannot use", path, errno);
    return false;
  }
  return true;
}

bool CheckOutputFolder(const std::string& path, bool force, std::string& error) {
  if (path.empty()) {
    error = "no output folder named";
    return false;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    error = ErrnoMessage("cannot use", path, errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    error = path + " exists and is not a folder";
    return false;
  }
  if (!force && FolderHasEntries(path)) {
    error = path + " already holds files; they are replaced only when forced";
    return false;
  }
  return true;
}

TempFile::~TempFile() { Discard(); }

bool TempFile::Create(const std::string& finalPath, std::string& error, const std::string& shownPath) {
  Discard();
  finalPath_ = finalPath;
  shownPath_ = shownPath.empty() ? finalPath : shownPath;
  committed_ = false;
  std::string path;
  fd_ = CreateTemporaryFile(finalPath, path);
  if (fd_ < 0) {
    error = ErrnoMessage("cannot create a file in", FolderOf(shownPath_), errno);
    return false;
  }
  path_ = path;
  return true;
}

bool TempFile::Write(std::string_view data, std::string& error) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd_, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      error = ErrnoMessage("cannot write", shownPath_, errno);
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool TempFile::Close(std::string& error) {
  if (fd_ < 0) return true;
  const int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0 && errno != EINTR) {
    error = ErrnoMessage("cannot write", shownPath_, errno);
    return false;
  }
  return true;
}

bool TempFile::Commit(bool replace, std::string& error) {
  if (path_.empty()) {
    error = "nothing to move to " + shownPath_;
    return false;
  }
  if (!Close(error)) return false;
  if (!SyncPath(path_, false)) {
    error = ErrnoMessage("cannot write", shownPath_, errno);
    return false;
  }
  const int rc = replace ? std::rename(path_.c_str(), finalPath_.c_str()) : RenameNoReplace(path_, finalPath_);
  if (rc != 0) {
    error = errno == EEXIST ? shownPath_ + " appeared while it was being written; it was left as it is"
                            : ErrnoMessage("cannot move the finished file to", shownPath_, errno);
    return false;
  }
  SyncPath(FolderOf(finalPath_), true);
  committed_ = true;
  path_.clear();
  return true;
}

void TempFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!committed_ && !path_.empty()) ::unlink(path_.c_str());
  path_.clear();
}

bool BufferedOutput::Open(const std::string& finalPath, std::string& error, const std::string& shownPath) {
  buffer_.clear();
  buffer_.reserve(kFlushSize + (kFlushSize >> 2));
  return file_.Create(finalPath, error, shownPath);
}

bool BufferedOutput::Flush(std::string& error) {
  if (buffer_.empty()) return true;
  const bool ok = file_.Write(buffer_, error);
  buffer_.clear();
  return ok;
}

bool BufferedOutput::Commit(bool replace, std::string& error) { return Flush(error) && file_.Commit(replace, error); }

void BufferedOutput::Discard() {
  buffer_.clear();
  file_.Discard();
}

TempFolder::~TempFolder() { Discard(); }

bool TempFolder::Create(const std::string& finalPath, std::string& error) {
  Discard();
  finalPath_ = finalPath;
  while (finalPath_.size() > 1 && finalPath_.back() == '/') finalPath_.pop_back();
  committed_ = false;
  std::string path;
  if (!CreateTemporaryFolder(finalPath_, path)) {
    error = ErrnoMessage("cannot create a folder in", FolderOf(finalPath_), errno);
    return false;
  }
  path_ = path;
  return true;
}

bool TempFolder::Commit(bool force, const std::vector<std::string>& inputs, std::string& error) {
  std::error_code ec;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
    names.push_back(entry.path().filename().string());
    if (!SyncPath(entry.path().string(), false)) {
      error = ErrnoMessage("cannot write", finalPath_ + "/" + names.back(), errno);
      return false;
    }
  }
  if (ec) {
    error = ErrnoMessage("cannot read", path_, ec.value());
    return false;
  }
  // A new folder is renamed into place whole.
  if (RenameNoReplace(path_, finalPath_) == 0) {
    SyncPath(FolderOf(finalPath_), true);
    committed_ = true;
    path_.clear();
    return true;
  }
  if (errno != EEXIST && errno != ENOTEMPTY) {
    error = ErrnoMessage("cannot move the finished folder to", finalPath_, errno);
    return false;
  }
  // An existing folder receives the files; check them all before moving any.
  struct stat st;
  if (stat(finalPath_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = finalPath_ + " exists and is not a folder";
    return false;
  }
  for (const std::string& name : names) {
    const std::string target = finalPath_ + "/" + name;
    if (IsInputFile(target, inputs)) {
      error = target + " is a file of the database being read; it is never written";
      return false;
    }
    struct stat existing;
    if (lstat(target.c_str(), &existing) == 0 && (!force || S_ISDIR(existing.st_mode))) {
      error = target + " already exists; it is replaced only when forced";
      return false;
    }
  }
  for (const std::string& name : names) {
    const std::string target = finalPath_ + "/" + name;
    if (std::rename(Inside(name).c_str(), target.c_str()) != 0) {
      error = ErrnoMessage("cannot move the finished file to", target, errno);
      return false;
    }
  }
  SyncPath(finalPath_, true);
  ::rmdir(path_.c_str());
  committed_ = true;
  path_.clear();
  return true;
}

void TempFolder::Discard() {
  if (!committed_ && !path_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  path_.clear();
}

}  // namespace ravelin
