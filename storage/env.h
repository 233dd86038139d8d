// The file system as the readers see it: files read at explicit offsets and
// folders listed by name. The disk is one implementation; tests and fuzzers
// put whole databases in memory behind the same interface (storage/memory_env.h).

#ifndef RAVELIN_STORAGE_ENV_H_
#define RAVELIN_STORAGE_ENV_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ravelin {

// What one read gave: the bytes read and, when it stopped short because of
// an error, the error number (errno); 0 for a read that reached the end of
// the file or got everything.
struct ReadResult {
  size_t bytesRead = 0;
  int error = 0;
};

// A read-only file.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;

  virtual uint64_t Size() const = 0;
  // Zero-fills `buffer`, then reads up to `length` bytes at `offset`; what
  // a short read leaves out stays zero.
  virtual ReadResult ReadAt(uint64_t offset, uint8_t* buffer, size_t length) const = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // Opens a regular file for reading. Null, with the reason in `error` (an
  // errno value; EISDIR for a folder, ENODEV for a device), when it cannot.
  virtual std::unique_ptr<RandomAccessFile> OpenFile(const std::string& path, int* error = nullptr) = 0;
  // The names of the regular files in `folder` ("" is the current folder),
  // sorted; empty when the folder cannot be read.
  virtual std::vector<std::string> ListFiles(const std::string& folder) = 0;
  // Whether `a` and `b` name the same file.
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;
  // Whether anything (a file, a folder, ...) stands at `path`.
  virtual bool Exists(const std::string& path) = 0;

  // The disk.
  static Env& Default();
};

// The text of an error number, as strerror gives it.
std::string ErrorText(int error);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_ENV_H_
