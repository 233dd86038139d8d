// The records panel kept in memory: the records list (columns, rows,
// selection), its page label and pager buttons, the definition text pane
// and the caption bar. For front ends that print what a window would show
// (the command line), and for tests.
//
// Not locked: the one running job writes it; read it while no job runs.

#ifndef RAVELIN_RECOVERY_RECORDS_PANEL_MODEL_H_
#define RAVELIN_RECOVERY_RECORDS_PANEL_MODEL_H_

#include <set>
#include <string>
#include <vector>

#include "recovery/recovery_view.h"

namespace ravelin {

class RecordsPanelModel : public RecoveryView {
 public:
  void SetCaptionText(const std::string& text) override { caption = text; }

  void ShowDefinitionPane(bool shown) override { definitionPaneShown = shown; }
  void SetDefinitionText(const std::string& text) override { definitionText = text; }
  void ClearDefinitionText() override { definitionText.clear(); }

  void ShowRecordsPanel(bool shown) override { recordsPanelShown = shown; }
  void DeleteAllRecordRows() override;
  // An index past the end appends, as a list control does.
  void InsertRecordRow(int index, const std::string& text) override;
  void SetRecordCell(int row, int column, const std::string& text) override;
  void SelectRecordRow(int row) override;
  void DeleteSelectedRecordRows() override;
  void DeleteRecordRow(int row) override;
  int RecordRowCount() override { return static_cast<int>(rows.size()); }
  void InsertRecordColumn(int position, const std::string& header, int width) override;
  void DeleteRecordColumn(int position) override;
  void SetRecordsLabel(const std::string& text) override { recordsLabel = text; }
  void EnablePreviousRecords(bool enabled) override { previousEnabled = enabled; }
  void EnableNextRecords(bool enabled) override { nextEnabled = enabled; }

  std::string caption;
  bool definitionPaneShown = true;
  std::string definitionText;
  bool recordsPanelShown = false;
  // Column headers, and the rows with one text per column (cells never
  // set are empty).
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  std::set<int> selectedRows;
  std::string recordsLabel;
  bool previousEnabled = false;
  bool nextEnabled = false;
};

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_RECORDS_PANEL_MODEL_H_
