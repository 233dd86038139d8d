#include "recovery/recovery_state.h"

#include "catalog/system_catalog.h"
#include "storage/database_file.h"

namespace ravelin {

RecoveryState::RecoveryState(RecoverySettings& settings, RecoveryView& view) : settings_(settings), view_(view) {}

RecoveryState::~RecoveryState() = default;

void RecoveryState::SetDatabase(std::unique_ptr<CDatabaseFile> database) {
  ReleaseDatabase();
  database_ = std::move(database);
  if (database_) catalog_ = database_->GetCatalog(false);
}

void RecoveryState::Reset() {
  scanDefinitions.clear();
  lookupDefinitions.clear();
  lookupLoaded = false;
  ReleaseDatabase();
  view_.DeleteAllRecordRows();
  RemoveRecordColumns(view_, recordsColumnCount);
  recordsColumnCount = 0;
  paging.Reset();
  tree.DeleteAll();
  categories = TreeCategories();
  itemShown = kNoTreeItem;
  view_.TreeChanged();
}

void RecoveryState::ReleaseDatabase() {
  if (catalog_) catalog_->Clear();
  catalog_ = nullptr;
  database_.reset();
}

}  // namespace ravelin
