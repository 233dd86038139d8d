// A RecoveryView that remembers what the workers did to the front end, for
// tests: message boxes, caption texts, the progress bar's visibility and
// the records list's columns and rows.

#ifndef RAVELIN_TESTS_SUPPORT_RECORDING_VIEW_H_
#define RAVELIN_TESTS_SUPPORT_RECORDING_VIEW_H_

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "recovery/recovery_view.h"

namespace ravelin::testing {

class RecordingView : public RecoveryView {
 public:
  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons) override {
    std::lock_guard lock(mutex_);
    boxes_.push_back(text);
    icons_.push_back(icon);
    return buttons == MessageButtons::kYesNo ? answer : MessageAnswer::kOk;
  }
  void SetCaptionText(const std::string& text) override {
    std::lock_guard lock(mutex_);
    captions_.push_back(text);
  }
  void ShowProgressBar(bool shown) override { progressShown = shown; }
  void TreeChanged() override { ++treeChanges; }
  void InsertRecordColumn(int position, const std::string& header, int) override {
    std::lock_guard lock(mutex_);
    columns_.insert(columns_.begin() + position, header);
  }
  void DeleteRecordColumn(int position) override {
    std::lock_guard lock(mutex_);
    if (position < static_cast<int>(columns_.size())) columns_.erase(columns_.begin() + position);
  }
  void DeleteAllRecordRows() override { ++rowClears; }
  void ClearDefinitionText() override { ++paneClears; }

  std::vector<std::string> boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
  }
  std::vector<MessageIcon> icons() const {
    std::lock_guard lock(mutex_);
    return icons_;
  }
  std::vector<std::string> captions() const {
    std::lock_guard lock(mutex_);
    return captions_;
  }
  std::vector<std::string> columns() const {
    std::lock_guard lock(mutex_);
    return columns_;
  }

  // What a Yes/No box answers.
  MessageAnswer answer = MessageAnswer::kNo;
  std::atomic<bool> progressShown{false};
  std::atomic<int> treeChanges{0};
  std::atomic<int> rowClears{0};
  std::atomic<int> paneClears{0};

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> boxes_;
  std::vector<MessageIcon> icons_;
  std::vector<std::string> captions_;
  std::vector<std::string> columns_;
};

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_RECORDING_VIEW_H_
