// A synthetic database written to a temporary file and opened, for tests
// that need pages read through a CDatabaseFile.

#ifndef RAVELIN_TESTS_SUPPORT_TEST_DATABASE_H_
#define RAVELIN_TESTS_SUPPORT_TEST_DATABASE_H_

#include <memory>
#include <string>

#include "recovery/progress_sink.h"
#include "recovery/recovery_settings.h"
#include "storage/database_file.h"
#include "support/synthetic.h"

namespace ravelin::testing {

class TestDatabase {
 public:
  // Writes `image` as "<name>" in a fresh temporary folder. Call Open to
  // read it; settings may be changed before.
  explicit TestDatabase(const DatabaseImage& image, const std::string& name = "test.mdf")
      : path_(dir_.Write(name, image.Build())) {}

  // Opens the file; false when the open failed.
  bool Open() {
    db_ = std::make_unique<CDatabaseFile>(path_, sink_, settings_);
    return db_->isOpen;
  }

  RecoverySettings& settings() { return settings_; }
  CDatabaseFile& db() { return *db_; }
  const std::string& path() const { return path_; }
  const TempDir& dir() const { return dir_; }

  // The bytes of page `pageNo` as the file holds them.
  Bytes PageBytes(int32_t pageNo, int16_t fileId = 1) { return *db_->ReadPageBytes({fileId, pageNo}, true); }

 private:
  TempDir dir_;
  RecoverySettings settings_;
  NullProgressSink sink_;
  std::string path_;
  std::unique_ptr<CDatabaseFile> db_;
};

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_TEST_DATABASE_H_
