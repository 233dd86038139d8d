// The disk behind Env: pread on descriptors opened read-only, folders
// listed with std::filesystem.

#include "storage/env.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace ravelin {
namespace {

class PosixFile : public RandomAccessFile {
 public:
  PosixFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  uint64_t Size() const override { return size_; }

  ReadResult ReadAt(uint64_t offset, uint8_t* buffer, size_t length) const override {
    std::memset(buffer, 0, length);
    ReadResult result;
    while (result.bytesRead < length) {
      const ssize_t n = ::pread(fd_, buffer + result.bytesRead, length - result.bytesRead,
                                static_cast<off_t>(offset + result.bytesRead));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        result.error = errno;
        // Whatever came before the error is kept; the part it hit is zero.
        break;
      }
      if (n == 0) break;
      result.bytesRead += static_cast<size_t>(n);
    }
    return result;
  }

 private:
  int fd_;
  uint64_t size_;
};

class PosixEnv : public Env {
 public:
  std::unique_ptr<RandomAccessFile> OpenFile(const std::string& path, int* error) override {
    auto fail = [error](int e) {
      if (error) *error = e;
      return nullptr;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      const int e = errno;
      ::close(fd);
      return fail(e);
    }
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      return fail(S_ISDIR(st.st_mode) ? EISDIR : ENODEV);
    }
    if (error) *error = 0;
    return std::make_unique<PosixFile>(fd, static_cast<uint64_t>(st.st_size));
  }

  std::vector<std::string> ListFiles(const std::string& folder) override {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
      std::error_code typeError;
      if (it->is_regular_file(typeError)) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  bool SameFile(const std::string& a, const std::string& b) override {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
  }

  bool Exists(const std::string& path) override {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
  }
};

}  // namespace

Env& Env::Default() {
  static PosixEnv env;
  return env;
}

std::string ErrorText(int error) { return std::strerror(error); }

}  // namespace ravelin
