// A RecoveryView that remembers the message boxes, caption texts and the
// progress bar's visibility, for tests.

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
  MessageAnswer ShowMessage(const std::string& text, MessageIcon, MessageButtons buttons) override {
    std::lock_guard lock(mutex_);
    boxes_.push_back(text);
    return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
  }
  void SetCaptionText(const std::string& text) override {
    std::lock_guard lock(mutex_);
    captions_.push_back(text);
  }
  void ShowProgressBar(bool shown) override { progressShown = shown; }

  std::vector<std::string> boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
  }
  std::vector<std::string> captions() const {
    std::lock_guard lock(mutex_);
    return captions_;
  }

  std::atomic<bool> progressShown{false};

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> boxes_;
  std::vector<std::string> captions_;
};

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_RECORDING_VIEW_H_
