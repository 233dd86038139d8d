// Files held in memory behind the Env interface, with read errors that can
// be injected: whole databases for tests and fuzzers, with no disk.

#ifndef RAVELIN_STORAGE_MEMORY_ENV_H_
#define RAVELIN_STORAGE_MEMORY_ENV_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "storage/bytes.h"
#include "storage/env.h"

namespace ravelin {

class MemoryEnv : public Env {
 public:
  // Adds (or replaces) the file `path` with a copy of `contents`.
  void AddFile(const std::string& path, Bytes contents);
  // Adds the file `path` over bytes the caller keeps alive as long as the
  // environment reads them (a fuzzer's input, say).
  void AddFileView(const std::string& path, ByteSpan contents);
  // Adds a file of `size` bytes that holds `pieces` (by offset; they do not
  // overlap) and zeros everywhere else: files of gigabytes whose few pages
  // matter.
  void AddSparseFile(const std::string& path, uint64_t size, std::map<uint64_t, Bytes> pieces);
  void RemoveFile(const std::string& path);

  // Every read of `path` that reaches into [offset, offset + length) stops
  // there with `error`: the bytes before the range are read, the rest of
  // the buffer stays zero.
  void FailReads(const std::string& path, uint64_t offset, uint64_t length, int error);

  std::unique_ptr<RandomAccessFile> OpenFile(const std::string& path, int* error = nullptr) override;
  std::vector<std::string> ListFiles(const std::string& folder) override;
  bool SameFile(const std::string& a, const std::string& b) override { return a == b; }
  bool Exists(const std::string& path) override { return files_.count(path) != 0; }

  struct Fault {
    uint64_t offset = 0;
    uint64_t length = 0;
    int error = 0;
  };
  struct Entry {
    std::shared_ptr<const Bytes> owned;  // null for a view
    ByteSpan bytes;
    std::vector<Fault> faults;
    // A sparse file: its size and the pieces it holds; bytes stays empty.
    bool sparse = false;
    uint64_t sparseSize = 0;
    std::map<uint64_t, Bytes> pieces;

    uint64_t Size() const { return sparse ? sparseSize : bytes.size(); }
    // Copies `length` bytes at `offset`, which lie inside the file.
    void CopyOut(uint64_t offset, uint8_t* buffer, size_t length) const;
  };

 private:
  std::map<std::string, std::shared_ptr<Entry>> files_;
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_MEMORY_ENV_H_
