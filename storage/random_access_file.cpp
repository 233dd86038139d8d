#include "storage/random_access_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace ravelin {

RandomAccessFile::~RandomAccessFile() { Close(); }

RandomAccessFile::RandomAccessFile(RandomAccessFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(std::exchange(other.size_, 0)) {}

RandomAccessFile& RandomAccessFile::operator=(RandomAccessFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

bool RandomAccessFile::Open(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  return true;
}

void RandomAccessFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

size_t RandomAccessFile::ReadAt(uint64_t offset, uint8_t* buffer, size_t length) const {
  std::memset(buffer, 0, length);
  if (fd_ < 0) return 0;
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(fd_, buffer + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace ravelin
