// A read-only file read at explicit offsets.

#ifndef RAVELIN_STORAGE_RANDOM_ACCESS_FILE_H_
#define RAVELIN_STORAGE_RANDOM_ACCESS_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace ravelin {

class RandomAccessFile {
 public:
  RandomAccessFile() = default;
  ~RandomAccessFile();
  RandomAccessFile(const RandomAccessFile&) = delete;
  RandomAccessFile& operator=(const RandomAccessFile&) = delete;
  RandomAccessFile(RandomAccessFile&& other) noexcept;
  RandomAccessFile& operator=(RandomAccessFile&& other) noexcept;

  // Opens a regular file for reading only; false for a missing or
  // unreadable file and for anything that is not a regular file.
  bool Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();
  uint64_t Size() const { return size_; }

  // Zero-fills `buffer`, then reads up to `length` bytes at `offset`; a
  // short read leaves the rest zero. Returns the number of bytes read.
  size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t length) const;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_RANDOM_ACCESS_FILE_H_
