// A ProgressSink that remembers every notification, for tests.

#ifndef RAVELIN_TESTS_SUPPORT_RECORDING_SINK_H_
#define RAVELIN_TESTS_SUPPORT_RECORDING_SINK_H_

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "storage/progress_sink.h"

namespace ravelin::testing {

class RecordingSink : public ProgressSink {
 public:
  struct Event {
    char kind;  // 'R' range, 'P' position, 'S' status, 'E' error, 'L' log, 'W' warning
    int64_t a = 0;
    int64_t b = 0;
    std::string text;
  };

  void SetProgressRange(int64_t low, int64_t high) override { Add({'R', low, high, {}}); }
  void SetProgressPos(int64_t position) override {
    Add({'P', position, 0, {}});
    if (onPosition) onPosition(position);
  }
  void SetStatusText(const std::string& text) override { Add({'S', 0, 0, text}); }
  void ReportError(const std::string& text) override { Add({'E', 0, 0, text}); }
  void AppendLogLine(const std::string& text) override { Add({'L', 0, 0, text}); }
  void ReportWarning(const Warning& warning) override { Add({'W', 0, 0, FormatWarning(warning)}); }

  std::vector<std::string> Texts(char kind) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const Event& e : events_)
      if (e.kind == kind) out.push_back(e.text);
    return out;
  }
  std::vector<int64_t> Positions() const {
    std::lock_guard lock(mutex_);
    std::vector<int64_t> out;
    for (const Event& e : events_)
      if (e.kind == 'P') out.push_back(e.a);
    return out;
  }
  std::vector<Event> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

  // Called on every position; lets a test act in the middle of a scan.
  std::function<void(int64_t)> onPosition;

 private:
  void Add(Event e) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(e));
  }
  mutable std::mutex mutex_;
  std::vector<Event> events_;
};

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_RECORDING_SINK_H_
