// A synthetic database held in memory and opened, for tests that need pages
// read through a CDatabaseFile or a whole opened database.

#ifndef RAVELIN_TESTS_SUPPORT_TEST_DATABASE_H_
#define RAVELIN_TESTS_SUPPORT_TEST_DATABASE_H_

#include <memory>
#include <string>

#include "catalog/opened_database.h"
#include "storage/database_file.h"
#include "storage/memory_env.h"
#include "storage/progress_sink.h"
#include "support/synthetic.h"

namespace ravelin::testing {

class TestDatabase {
 public:
  // Puts `image` into memory as "/db/<name>". Set options() and the
  // collation table before opening.
  explicit TestDatabase(const DatabaseImage& image, const std::string& name = "test.mdf") : path_("/db/" + name) {
    env_.AddFile(path_, image.Build());
  }

  // Opens and maps the file alone; false when the open failed.
  bool Open() {
    opened_.reset();
    file_ = std::make_unique<CDatabaseFile>(path_, env_, sink_, StopToken(stop_), options_);
    return file_->isOpen && file_->MapPages();
  }
  // Opens the whole database (boot page, file table, catalog); false when
  // the open failed.
  bool OpenDatabase() {
    file_.reset();
    OpenRequest request;
    request.path = path_;
    request.env = &env_;
    request.options = options_;
    request.collations = &collations_;
    opened_ = OpenedDatabase::Open(request, sink_, StopToken(stop_));
    return opened_ != nullptr;
  }

  ReadOptions& options() { return options_; }
  CollationTable& collations() { return collations_; }
  std::atomic<bool>& stopFlag() { return stop_; }
  MemoryEnv& env() { return env_; }
  const std::string& path() const { return path_; }

  CDatabaseFile& db() { return opened_ ? opened_->file() : *file_; }
  // Hands the opened database over (to a RecoveryState, say).
  std::unique_ptr<OpenedDatabase> Release() { return std::move(opened_); }
  OpenedDatabase& opened() { return *opened_; }
  SystemCatalog& catalog() { return *opened_->catalog(); }

  // The bytes of page `pageNo` as the file holds them.
  Bytes PageBytes(int32_t pageNo, int16_t fileId = 1) { return *db().ReadPageBytes({fileId, pageNo}, true); }

 private:
  std::string path_;
  MemoryEnv env_;
  ReadOptions options_;
  CollationTable collations_;
  std::atomic<bool> stop_{false};
  NullProgressSink sink_;
  std::unique_ptr<CDatabaseFile> file_;
  std::unique_ptr<OpenedDatabase> opened_;
};

// A data file on disk, opened and mapped; null when that fails.
inline std::unique_ptr<CDatabaseFile> OpenMappedFile(const std::string& path, ReadOptions options = {}) {
  static NullProgressSink sink;
  auto file = std::make_unique<CDatabaseFile>(path, Env::Default(), sink, StopToken(), options);
  if (!file->isOpen || !file->MapPages()) return nullptr;
  return file;
}

// A data file on disk, opened whole; null when that fails.
inline std::unique_ptr<OpenedDatabase> OpenDatabaseFile(const std::string& path, ReadOptions options = {},
                                                        const CollationTable* collations = nullptr) {
  static NullProgressSink sink;
  OpenRequest request;
  request.path = path;
  request.options = options;
  request.collations = collations;
  return OpenedDatabase::Open(request, sink, StopToken());
}

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_TEST_DATABASE_H_
