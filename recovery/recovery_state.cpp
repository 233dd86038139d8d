#include "recovery/recovery_state.h"

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"

namespace ravelin {

RecoveryState::RecoveryState(RecoverySettings& settings, RecoveryView& view) : settings_(settings), view_(view) {}

RecoveryState::~RecoveryState() = default;

SystemCatalog* RecoveryState::catalog() const { return database_ ? database_->catalog() : nullptr; }

void RecoveryState::SetDatabase(std::unique_ptr<OpenedDatabase> database) {
  ReleaseDatabase();
  database_ = std::move(database);
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
  if (SystemCatalog* loaded = catalog()) loaded->Clear();
  database_.reset();
}

}  // namespace ravelin
