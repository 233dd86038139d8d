// The notification protocol between the workers of a recovery run and
// whatever front end hosts them.
//
// Every call is synchronous: the worker continues only once the front end
// has carried the notification out. A front end that shows windows must
// therefore marshal each call to its own thread and wait for it there, and
// must never itself wait for a worker.

#ifndef RAVELIN_STORAGE_PROGRESS_SINK_H_
#define RAVELIN_STORAGE_PROGRESS_SINK_H_

#include <cstdint>
#include <string>

namespace ravelin {

// Something the run could not read whole; the run goes on without it.
struct Warning {
  std::string subject;  // the table (or file) that lost something
  std::string what;     // what was lost
  std::string where;    // where: a page, a row and column, ...
};

// "warning: SUBJECT: WHAT, WHERE" (the parts that are empty left out).
std::string FormatWarning(const Warning& warning);

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;

  // Position set to 0, then the range to [low, high].
  virtual void SetProgressRange(int64_t low, int64_t high) = 0;
  virtual void SetProgressPos(int64_t position) = 0;
  // A status text (shown, not logged).
  virtual void SetStatusText(const std::string& text) = 0;
  // A failure that ends the run. The host releases the loaded database.
  virtual void ReportError(const std::string& text) = 0;
  // One activity-log line.
  virtual void AppendLogLine(const std::string& text) = 0;
  // Something left out; by default an activity-log line.
  virtual void ReportWarning(const Warning& warning) { AppendLogLine(FormatWarning(warning)); }
};

// Swallows every notification; for callers that want none.
class NullProgressSink : public ProgressSink {
 public:
  void SetProgressRange(int64_t, int64_t) override {}
  void SetProgressPos(int64_t) override {}
  void SetStatusText(const std::string&) override {}
  void ReportError(const std::string&) override {}
  void AppendLogLine(const std::string&) override {}
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_PROGRESS_SINK_H_
