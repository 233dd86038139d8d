#include "catalog/opened_database.h"

#include "storage/secondary_files.h"

namespace ravelin {

std::unique_ptr<OpenedDatabase> OpenedDatabase::Open(const OpenRequest& request, ProgressSink& sink, StopToken stop,
                                                     int* openError) {
  Env& env = request.env ? *request.env : Env::Default();
  std::unique_ptr<OpenedDatabase> db(new OpenedDatabase());
  db->file_ = std::make_unique<CDatabaseFile>(request.path, env, sink, stop, request.options);
  CDatabaseFile& file = *db->file_;
  if (openError) *openError = file.openError;
  if (!file.isOpen) return nullptr;
  bool mapped = false;
  if (request.pageMaps) {
    std::optional<PageMaps> maps = request.pageMaps();
    mapped = maps ? file.AdoptPageMaps(std::move(*maps)) : file.AdoptPageMaps(PageMaps{});
  } else {
    mapped = file.MapPages();
  }
  if (!mapped) return nullptr;
  if (request.mapped) request.mapped();

  db->collation_.table = request.collations;
  db->collation_.autoDetect = request.autoDetectCollation;
  db->collation_.manualId = request.manualCollationId;
  db->boot_ = file.LoadDatabaseName();
  if (db->boot_) db->collation_.ApplyDatabaseCollation(db->boot_->collationId);

  db->recordedFiles_ = SystemCatalog::ReadFileTable(file);
  std::vector<DataFileInfo> located = db->recordedFiles_;
  MapSecondaryFiles(file, located, file.path);
  std::optional<uint16_t> version;
  // A version the boot page can have: from SQL Server 7.0 on.
  if (db->boot_ && db->boot_->version >= 515 && db->boot_->version < 2000) version = db->boot_->version;
  if (request.loadCatalog) db->catalog_ = std::make_unique<SystemCatalog>(file, std::move(located), version);
  return db;
}

}  // namespace ravelin
