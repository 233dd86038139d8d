#include "recovery/object_selection.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "catalog/schema_scripts.h"
#include "catalog/system_catalog.h"
#include "recovery/definition_lookup.h"
#include "recovery/records_pager.h"
#include "recovery/tree_builder.h"

namespace ravelin {
namespace {

// Objects whose text the definition tables may hold.
bool HasDefinitionType(const std::string& typeCode) {
  static const char* const kTypes[] = {"F ", "P ", "D ", "C ", "PK", "FN", "TR", "IF", "V ", "UQ", "TT", "TF"};
  return std::any_of(std::begin(kTypes), std::end(kTypes), [&](const char* t) { return typeCode == t; });
}

void ShowText(RecoveryView& view, const std::string& text) {
  view.ShowRecordsPanel(false);
  view.ShowDefinitionPane(true);
  view.ClearDefinitionText();
  view.SetDefinitionText(text);
}

// The script of the key `item` under its "PrimaryKey" or "Unique" node
// `keyNode`. The 2000 layout finds the key's table by the id the item
// carries; later layouts carry none, so the table is the one the node
// hangs under and the columns are the key's own.
std::string KeyScript(RecoveryState& state, TreeItem item, TreeItem keyNode, const std::string& label, bool unique) {
  SystemCatalog& catalog = *state.catalog();
  const ObjectTree& tree = state.tree;
  KeyColumns key;
  if (catalog.IsSql2000()) {
    key = LegacyKeyColumns(catalog, tree.Data(item), label, unique);
  } else {
    const TreeItem table = tree.Parent(keyNode);
    key = CatalogKeyColumns(catalog, tree.Label(table), TableTypeCode(state, tree.Parent(table)), label, unique,
                            state.scanDefinitions);
  }
  return unique ? UniqueKeyScript(key, label) : PrimaryKeyScript(key);
}

// The id text the definition rows carry for the object `label`, whose
// preparation gave `idText`. The 2000 layout takes the first object of
// that name and prepares syscomments, whose columns the lookup reads with.
std::string DefinitionIdText(RecoveryState& state, const std::string& label, std::string idText) {
  SystemCatalog& catalog = *state.catalog();
  if (!catalog.IsSql2000()) return idText;
  catalog.columnDescriptors = catalog.PrepareObject("syscomments", "S ", state.scanDefinitions);
  for (const ObjectRow& object : catalog.objects) {
    if (object.name != label) continue;
    char text[16];
    std::snprintf(text, sizeof text, "%d", object.objectId);
    return text;
  }
  return {};
}

// The definition text of the object the catalog prepared last as `label`,
// when its type has one.
std::optional<std::string> DefinitionOfPrepared(RecoveryState& state, ProgressSink& sink, const std::string& label) {
  const std::vector<ColumnDescriptor>& described = state.catalog()->columnDescriptors;
  if (described.size() < 2 || !HasDefinitionType(described[1].definitionText)) return std::nullopt;
  const std::string idText = DefinitionIdText(state, label, described[0].definitionText);
  return LookUpDefinition(state, sink, idText);
}

void Finish(RecoveryState& state, ProgressSink& sink, const std::string& label) {
  RecoveryView& view = state.view();
  view.EnablePreviousRecords(false);
  view.EnableNextRecords(state.paging.HasNextPage());
  const int rows = view.RecordRowCount();
  ++state.paging.pageNumber;
  view.SetRecordsLabel(SelectionRecordsLabel(state.paging.pageNumber, rows));
  const std::string caption = label + "[" + std::to_string(rows) + "]";
  view.SetCaptionText(caption);
  sink.AppendLogLine(caption);
  view.RepaintRecords();
  view.ShowProgressBar(false);
  sink.AppendLogLine(kTextSelectionCompleted);
}

}  // namespace

std::string SelectionStartText(const std::string& label) {
  return "Please wait while " + label + " folder is scanning.";
}

std::string SelectionRecordsLabel(int32_t pageNumber, int32_t rows) {
  return PagerLabel(pageNumber, rows, rows > 0 ? 1 : 0, rows);
}

void SetUpRecordColumns(RecoveryState& state) {
  RecoveryView& view = state.view();
  view.DeleteAllRecordRows();
  const SystemCatalog* catalog = state.catalog();
  if (!catalog) return;
  state.recordsColumnCount = static_cast<int32_t>(catalog->columnDescriptors.size());
  const bool sql2000 = catalog->IsSql2000();
  int position = 0;
  for (const ColumnDescriptor& d : catalog->columnDescriptors) {
    if (!sql2000 && d.hobtColumnId == kDroppedColumnId) continue;
    view.InsertRecordColumn(position++, d.name, 200);
  }
}

void BeginSelection(RecoveryState& state, ProgressSink& sink, TreeItem item) {
  RecoveryView& view = state.view();
  state.itemShown = item;
  state.tree.Select(item);
  view.DeleteAllRecordRows();
  view.ClearDefinitionText();
  view.SetRecordsLabel("");
  const std::string label = state.tree.Label(item);
  view.SetCaptionText(label);
  sink.AppendLogLine(SelectionStartText(label));
  view.ShowProgressBar(true);
  sink.SetProgressPos(0);
  // Next and Previous belong to the table shown before; nothing is left
  // for them until this selection lists a table.
  state.paging.Reset();
}

void SelectionWorker(RecoveryState& state, ProgressSink& sink) {
  RecoveryView& view = state.view();
  SystemCatalog* catalog = state.catalog();
  if (!catalog) {
    view.ShowProgressBar(false);
    return;
  }
  // Every column the list has goes, however many the catalog's lists
  // still name.
  const size_t named = catalog->IsSql2000() ? catalog->tableLegacyColumns.size() : catalog->tableColumns.size();
  RemoveRecordColumns(view, std::max(static_cast<int>(named), state.recordsColumnCount));
  state.recordsColumnCount = 0;
  catalog->tableColumns.clear();
  catalog->columnDescriptors.clear();
  catalog->tableLegacyColumns.clear();

  ObjectTree& tree = state.tree;
  // The item the click was for, not whatever the tree selects by now.
  const TreeItem item = state.itemShown;
  if (item == state.categories.root) {
    view.ShowProgressBar(false);
    return;
  }
  const std::string label = tree.Label(item);
  const TreeItem parent = tree.Parent(item);
  const std::string parentLabel = tree.Label(parent);
  if (label.empty()) {
    view.ShowProgressBar(false);
    return;
  }

  if (IsTableItem(state, item)) {
    const std::string typeCode = TableTypeCode(state, parent);
    const TreeItem first = tree.FirstChild(item);
    if (first != kNoTreeItem && tree.Label(first) == kLabelColumns)
      ExpandTable(state, item, first, label, typeCode);
    else
      catalog->columnDescriptors = catalog->PrepareObject(label, typeCode, state.scanDefinitions);
  } else if (parentLabel == kLabelPrimaryKey || parentLabel == kLabelUnique) {
    ShowText(view, KeyScript(state, item, parent, label, parentLabel == kLabelUnique));
  } else {
    catalog->columnDescriptors = catalog->PrepareObject(label, "P ", state.scanDefinitions);
  }

  const std::vector<ColumnDescriptor>& described = catalog->columnDescriptors;
  if (catalog->isTable && !described.empty()) {
    view.ShowRecordsPanel(true);
    view.EnablePreviousRecords(false);
    view.EnableNextRecords(false);
    view.ShowDefinitionPane(false);
    SetUpRecordColumns(state);
    RecordsPager(state, sink).ListFirstPage();
  } else if (const std::optional<std::string> text = DefinitionOfPrepared(state, sink, label)) {
    ShowText(view, *text);
    if (parentLabel == kLabelConstraint)
      view.SetDefinitionText(CheckScript(tree.Label(tree.Parent(parent)), label, *text));
  }
  Finish(state, sink, label);
}

std::optional<std::string> ObjectDefinition(RecoveryState& state, ProgressSink& sink, const std::string& name) {
  SystemCatalog* catalog = state.catalog();
  if (!catalog) return std::nullopt;
  catalog->columnDescriptors = catalog->PrepareObject(name, "P ", state.scanDefinitions);
  return DefinitionOfPrepared(state, sink, name);
}

void RunSelection(RecoveryState& state, ProgressSink& sink, TreeItem item) {
  BeginSelection(state, sink, item);
  SelectionWorker(state, sink);
}

}  // namespace ravelin
