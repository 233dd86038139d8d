// The state of the loaded database that the front end and every job share:
// the opened database (file, page maps and catalog), the object tree with its
// category items, the definition rows, and the records panel's bookkeeping.
//
// One instance lives as long as the front end. Only the running job (see
// JobRunner) changes it; the front end reads it while no job runs, and may
// read the tree at any time (ObjectTree locks itself).

#ifndef RAVELIN_RECOVERY_RECOVERY_STATE_H_
#define RAVELIN_RECOVERY_RECOVERY_STATE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_types.h"
#include "recovery/object_tree.h"
#include "recovery/records_paging.h"
#include "recovery/recovery_settings.h"
#include "recovery/recovery_view.h"
#include "storage/env.h"
#include "storage/progress_sink.h"

namespace ravelin {

class OpenedDatabase;
class SystemCatalog;

// The category items of the tree; kNoTreeItem before a skeleton is built.
struct TreeCategories {
  TreeItem root = kNoTreeItem;
  TreeItem tables = kNoTreeItem;
  TreeItem userTables = kNoTreeItem;
  TreeItem systemTables = kNoTreeItem;
  TreeItem programmability = kNoTreeItem;
  TreeItem function = kNoTreeItem;
  TreeItem storeProcedure = kNoTreeItem;
  TreeItem views = kNoTreeItem;
  TreeItem defaultItem = kNoTreeItem;
  TreeItem triggers = kNoTreeItem;
};

class RecoveryState {
 public:
  // `settings` and `view` must outlive the state.
  RecoveryState(RecoverySettings& settings, RecoveryView& view);
  ~RecoveryState();
  RecoveryState(const RecoveryState&) = delete;
  RecoveryState& operator=(const RecoveryState&) = delete;

  RecoverySettings& settings() const { return settings_; }
  RecoveryView& view() const { return view_; }

  // The loaded database, or null. The catalog belongs to it.
  OpenedDatabase* database() const { return database_.get(); }
  SystemCatalog* catalog() const;
  // Takes `database`, releasing the one held before.
  void SetDatabase(std::unique_ptr<OpenedDatabase> database);

  // Releases everything of the previous run, in this order: both
  // definition lists (the lookup list marked not loaded), the catalog's
  // lists, the database file with its catalog, the records list's rows and
  // columns and the definition text pane, and every tree item.
  void Reset();

  // What an error reported through the protocol does to the state: the
  // catalog's lists are emptied and the opened database destroyed. A worker that reports an error must not use the
  // database after the report.
  void ReleaseDatabase();

  // Where the run's files are read (the disk unless a test says otherwise).
  Env* env = &Env::Default();

  // 1 when the run's recovery mode is Advanced.
  bool advancedMode = false;
  // Receives the protocol of the run; it must outlive the loaded database,
  // which keeps reporting through it.
  ProgressSink* notifyTarget = nullptr;
  // The data file path of the last Open command.
  std::string currentDataFilePath;

  ObjectTree tree;
  TreeCategories categories;
  // The tree item the current object selection shows.
  TreeItem itemShown = kNoTreeItem;

  // Definition rows read by the scan (handed to every PrepareObject), and
  // those read by the first definition lookup of the loaded database.
  std::vector<DefinitionEntry> scanDefinitions;
  std::vector<DefinitionEntry> lookupDefinitions;
  bool lookupLoaded = false;

  // The names of all objects placed in the tree.
  std::vector<std::string> objectNames;
  // The number of columns set up in the records list.
  int32_t recordsColumnCount = 0;
  RecordsPagingState paging;

 private:
  RecoverySettings& settings_;
  RecoveryView& view_;
  std::unique_ptr<OpenedDatabase> database_;
};

// Forwards every notification to `inner`; an error first releases the
// state's database, as the front end does when it receives one.
class ReleasingSink : public ProgressSink {
 public:
  ReleasingSink(ProgressSink& inner, RecoveryState& state) : inner_(inner), state_(state) {}

  void SetProgressRange(int64_t low, int64_t high) override { inner_.SetProgressRange(low, high); }
  void SetProgressPos(int64_t position) override { inner_.SetProgressPos(position); }
  void SetStatusText(const std::string& text) override { inner_.SetStatusText(text); }
  void ReportError(const std::string& text) override {
    state_.ReleaseDatabase();
    inner_.ReportError(text);
  }
  void AppendLogLine(const std::string& text) override { inner_.AppendLogLine(text); }
  void ReportWarning(const Warning& warning) override { inner_.ReportWarning(warning); }

 private:
  ProgressSink& inner_;
  RecoveryState& state_;
};

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_RECOVERY_STATE_H_
