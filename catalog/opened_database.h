// An opened database: the data file with its page maps and secondary files,
// what its boot page says, the collation its text is read in, and the
// catalog rebuilt from its system tables. The one way every front end and
// every job opens a data file.

#ifndef RAVELIN_CATALOG_OPENED_DATABASE_H_
#define RAVELIN_CATALOG_OPENED_DATABASE_H_

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/system_catalog.h"
#include "storage/boot_page.h"
#include "storage/collation.h"
#include "storage/database_file.h"
#include "storage/env.h"
#include "storage/progress_sink.h"
#include "storage/read_options.h"
#include "storage/stop_token.h"

namespace ravelin {

struct OpenRequest {
  std::string path;
  Env* env = nullptr;  // null: the disk
  ReadOptions options;
  // The collation table (not owned; null for none) and the run's choice.
  const CollationTable* collations = nullptr;
  bool autoDetectCollation = true;
  int64_t manualCollationId = 0;
  // When set, the page maps come from here instead of a scan of the file
  // (a snapshot); nothing means they cannot be had.
  std::function<std::optional<PageMaps>()> pageMaps;
  // Called once the page maps are made, before anything else is read.
  std::function<void()> mapped;
  // Without it only the file is opened and mapped, its boot page and file
  // table read and its secondary files mapped: what looking at files and
  // pages needs.
  bool loadCatalog = true;
};

class OpenedDatabase {
 public:
  // Opens and maps the file, reads the boot page and the file table, maps
  // the secondary files and loads the catalog. Null when the file cannot be
  // opened or holds no page of a system table: the error has been reported
  // to `sink`, and `openError` (when given) receives the file's errno (0 for
  // a file that opened but is not a database).
  static std::unique_ptr<OpenedDatabase> Open(const OpenRequest& request, ProgressSink& sink, StopToken stop,
                                              int* openError = nullptr);

  CDatabaseFile& file() const { return *file_; }
  // Null when the request did not load it.
  SystemCatalog* catalog() const { return catalog_.get(); }
  // What the boot page says; nothing when it could not be read.
  const std::optional<BootInfo>& boot() const { return boot_; }
  const CollationContext& collation() const { return collation_; }
  // The file table as recorded, before the secondary files were located.
  const std::vector<DataFileInfo>& recordedFiles() const { return recordedFiles_; }
  const ReadOptions& options() const { return file_->options(); }

 private:
  OpenedDatabase() = default;
  void WarnWhenCut(ProgressSink& sink) const;
  // Names each table rebuilt from pages whose catalog rows are lost.
  void WarnAboutLostTables(ProgressSink& sink) const;

  std::unique_ptr<CDatabaseFile> file_;
  std::unique_ptr<SystemCatalog> catalog_;
  std::optional<BootInfo> boot_;
  CollationContext collation_;
  std::vector<DataFileInfo> recordedFiles_;
};

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_OPENED_DATABASE_H_
