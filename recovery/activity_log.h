// The activity log of a recovery run: one UTF-16LE text file per run start
// time, named after that time, to which every log line of the run is
// appended. A run that starts within the same second as the previous one
// appends to the same file.

#ifndef RAVELIN_RECOVERY_ACTIVITY_LOG_H_
#define RAVELIN_RECOVERY_ACTIVITY_LOG_H_

#include <ctime>
#include <mutex>
#include <string>

#include "recovery/recovery_settings.h"
#include "storage/progress_sink.h"

namespace ravelin {

inline constexpr char kLogFilePrefix[] = "VelmoraSQLDatabaseRec_log_";
inline constexpr char kTextFileSelected[] = " File is selected for recovery....";

// "VelmoraSQLDatabaseRec_log_" + day-month-year-hour-minute-second (no
// leading zeros) + ".txt".
std::string LogFileName(const std::tm& localTime);

// The local time now.
std::tm LocalTimeNow();

// What the user is told of the log when leaving: "Log file path : " and the
// path, or nothing when no file exists at `logFilePath`.
std::string LogFileNotice(const std::string& logFilePath);

class ActivityLog {
 public:
  ActivityLog() = default;
  ~ActivityLog();
  ActivityLog(const ActivityLog&) = delete;
  ActivityLog& operator=(const ActivityLog&) = delete;

  // Closes the current file, then opens folder + LogFileName(localTime):
  // a new file starts with the byte order mark, an existing one is appended
  // to. Writes the run separator. `folder` ends in '/'. On false, error()
  // says why and no file is open: lines then reach the output pane only.
  bool Start(const std::string& folder, const std::tm& localTime);
  bool Start(const std::string& folder) { return Start(folder, LocalTimeNow()); }

  // Writes the line's UTF-16LE code units and CR LF; without an open file
  // there is nothing to do. False only when a write failed: the file is
  // then closed, as a partial line would misalign every later one.
  bool AppendLogLine(const std::string& utf8);

  void Close();
  bool IsOpen() const;
  // The full path of the file last started, opened or not.
  std::string path() const;
  // Why the last Start or write failed; empty when none did.
  std::string error() const;

 private:
  bool WriteAll(const uint8_t* data, size_t length);  // mutex_ held
  void CloseLocked();

  mutable std::mutex mutex_;
  int fd_ = -1;
  std::string path_;
  std::string error_;
};

// Forwards every notification to the front end's sink and copies the log
// lines into an ActivityLog. The first failed write is announced once as
// an output line, so a full disk does not go unnoticed.
class LoggingSink : public ProgressSink {
 public:
  LoggingSink(ProgressSink& inner, ActivityLog& log) : inner_(inner), log_(log) {}

  void SetProgressRange(int64_t low, int64_t high) override { inner_.SetProgressRange(low, high); }
  void SetProgressPos(int64_t position) override { inner_.SetProgressPos(position); }
  void SetStatusText(const std::string& text) override { inner_.SetStatusText(text); }
  void ReportError(const std::string& text) override { inner_.ReportError(text); }
  void AppendLogLine(const std::string& text) override;
  // A warning is a line of the log file too; the front end shows it its way.
  void ReportWarning(const Warning& warning) override;

  ActivityLog& log() const { return log_; }

 private:
  ProgressSink& inner_;
  ActivityLog& log_;
};

// How a run was started: the Open command or a snapshot Load.
enum class RunStart { kOpen, kLoad };

// Starts the log of a run as the two commands do. Open logs into the
// settings' log folder, stores the file's path as the log file path and
// logs the data file line; Load logs into `executableFolder`, which
// becomes the settings' log folder, and leaves the log file path alone.
// False when the file could not be started (sink.log().error() says why);
// the Open line still reaches the output pane then.
bool StartRunLog(RunStart kind, const std::tm& localTime, const std::string& executableFolder,
                 RecoverySettings& settings, LoggingSink& sink);
bool StartRunLog(RunStart kind, RecoverySettings& settings, LoggingSink& sink);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_ACTIVITY_LOG_H_
