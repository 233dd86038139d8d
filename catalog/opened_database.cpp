#include "catalog/opened_database.h"

#include "catalog/object_names.h"
#include "storage/file_header_page.h"
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
  db->WarnWhenCut(sink);

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
  if (request.loadCatalog) {
    db->catalog_ = std::make_unique<SystemCatalog>(file, std::move(located), version);
    db->WarnAboutLostTables(sink);
  }
  return db;
}

void OpenedDatabase::WarnAboutLostTables(ProgressSink& sink) const {
  for (const LostTable& table : catalog_->lostTables) {
    Warning warning;
    warning.subject = table.name;
    const std::string pages = std::to_string(table.pages.size()) + (table.pages.size() == 1 ? " page" : " pages");
    const std::string records = std::to_string(table.recordsRead) + (table.recordsRead == 1 ? " record" : " records");
    const bool one = table.pages.size() == 1;
    if (table.objectRowLost) {
      warning.what = table.nameSource.empty()
                         ? "the table's object row and its name are lost; its columns and pages are found by its id"
                         : "the table's object row is lost; its name is " + table.nameSource +
                               ", its columns and pages are found by its id";
      // Its constraints keep its id as their parent, and often its name in
      // theirs.
      std::string children;
      for (const ObjectRow& child : catalog_->objects)
        if (child.parentId == table.objectId && child.objectId != table.objectId && !child.baseName.empty())
          children += (children.empty() ? "" : ", ") + child.baseName;
      if (!children.empty()) warning.what += " (its constraints: " + children + ")";
      warning.where = "object id " + std::to_string(table.objectId);
      sink.ReportWarning(warning);
      continue;
    }
    if (table.matchedByLayout)
      warning.what = "the table's allocation rows are lost; " + pages +
                     " that no other table claims and whose records have its layout " +
                     (one ? "is taken as its page" : "are taken as its pages");
    else if (table.columnsGiven) {
      warning.subject = ObjectNames(*catalog_).Qualified(table.objectId);
      warning.what = "the table's column rows are lost; its columns are inferred from " + records + " of its " + pages +
                     ", their names and types guessed";
    } else if (!table.columnsLostOf.empty())
      warning.what = "the column rows of " + table.columnsLostOf + " are lost; its " + pages + (one ? " is" : " are") +
                     " listed as this table, its columns inferred from " + records;
    else
      warning.what =
          std::string(one ? "no catalog rows describe this page; it is listed as a table of its own"
                          : "no catalog rows describe these " + pages + "; they are listed as a table of their own") +
          ", its columns inferred from " + records;
    warning.where = "page " + std::to_string(table.pages.front().fileId) + ":" +
                    std::to_string(table.pages.front().pageNo) + (table.pages.size() > 1 ? " on" : "");
    sink.ReportWarning(warning);
  }
}

// A file cut short (a copy that stopped, a full disk) still reads up to the
// cut; what lay beyond is lost, and every listing may miss rows for it.
void OpenedDatabase::WarnWhenCut(ProgressSink& sink) const {
  const CDatabaseFile& file = *file_;
  std::optional<Bytes> header = file.ReadPageBytes(PageRef{1, 0}, true);
  if (!header) return;
  const std::optional<uint32_t> recorded = RecordedPageCount(*header);
  if (!recorded || *recorded <= file.pageCount) return;
  Warning warning;
  const size_t slash = file.path.rfind('/');
  warning.subject = slash == std::string::npos ? file.path : file.path.substr(slash + 1);
  warning.what = "the file is shorter than its header records: " + std::to_string(file.pageCount) + " of " +
                 std::to_string(*recorded) + " pages are there, the rest is lost";
  warning.where = "pages 1:" + std::to_string(file.pageCount) + " to 1:" + std::to_string(*recorded - 1);
  sink.ReportWarning(warning);
}

}  // namespace ravelin
