#include "recovery/activity_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "storage/text_codec.h"

namespace ravelin {
namespace {

constexpr uint8_t kBom[] = {0xFF, 0xFE};
constexpr uint8_t kCrLf[] = {0x0D, 0x00, 0x0A, 0x00};

std::string ErrnoText(int err) { return std::error_code(err, std::generic_category()).message(); }

// Opens `path` for appending, creating it when missing. `created` tells
// whether the file is new or was empty, so that it still needs the BOM.
int OpenForAppend(const std::string& path, bool& created, int& err) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) {
    created = true;
    return fd;
  }
  if (errno != EEXIST) {
    err = errno;
    return -1;
  }
  // O_NONBLOCK so that a FIFO of that name cannot hang the run; it is
  // refused below like anything else that is not a regular file.
  fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    err = errno;
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    err = EINVAL;
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, O_APPEND);
  created = st.st_size == 0;
  return fd;
}

}  // namespace

std::string LogFileNotice(const std::string& logFilePath) {
  struct stat st;
  if (logFilePath.empty() || ::stat(logFilePath.c_str(), &st) != 0) return {};
  return "Log file path : " + logFilePath;
}

std::string LogFileName(const std::tm& t) {
  char stamp[80];
  std::snprintf(stamp, sizeof stamp, "%d-%d-%d-%d-%d-%d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900, t.tm_hour,
                t.tm_min, t.tm_sec);
  return std::string(kLogFilePrefix) + stamp + ".txt";
}

std::tm LocalTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

ActivityLog::~ActivityLog() { Close(); }

bool ActivityLog::Start(const std::string& folder, const std::tm& localTime) {
  std::lock_guard lock(mutex_);
  CloseLocked();
  error_.clear();
  path_ = folder;
  if (!path_.empty() && path_.back() != '/') path_.push_back('/');
  path_ += LogFileName(localTime);

  bool created = false;
  int err = 0;
  fd_ = OpenForAppend(path_, created, err);
  if (fd_ < 0) {
    error_ = "Log file cannot be created: " + path_ + " (" + ErrnoText(err) + ")";
    return false;
  }
  if (created && !WriteAll(kBom, sizeof kBom)) return false;
  Bytes separator = Utf8ToUtf16("\r\n" + std::string(80, '*') + "\r\n");
  return WriteAll(separator.data(), separator.size());
}

bool ActivityLog::AppendLogLine(const std::string& utf8) {
  Bytes line = Utf8ToUtf16(utf8);
  line.insert(line.end(), std::begin(kCrLf), std::end(kCrLf));
  std::lock_guard lock(mutex_);
  if (fd_ < 0) return true;
  return WriteAll(line.data(), line.size());
}

bool ActivityLog::WriteAll(const uint8_t* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::write(fd_, data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = "Log file cannot be written: " + path_ + " (" + ErrnoText(n < 0 ? errno : ENOSPC) + ")";
      CloseLocked();
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void ActivityLog::Close() {
  std::lock_guard lock(mutex_);
  CloseLocked();
}

void ActivityLog::CloseLocked() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool ActivityLog::IsOpen() const {
  std::lock_guard lock(mutex_);
  return fd_ >= 0;
}

std::string ActivityLog::path() const {
  std::lock_guard lock(mutex_);
  return path_;
}

std::string ActivityLog::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void LoggingSink::AppendLogLine(const std::string& text) {
  inner_.AppendLogLine(text);
  // The failed write closed the file, so this is said only once.
  if (!log_.AppendLogLine(text)) inner_.AppendLogLine(log_.error());
}

void LoggingSink::ReportWarning(const Warning& warning) {
  inner_.ReportWarning(warning);
  if (!log_.AppendLogLine(FormatWarning(warning))) inner_.AppendLogLine(log_.error());
}

bool StartRunLog(RunStart kind, const std::tm& localTime, const std::string& executableFolder,
                 RecoverySettings& settings, LoggingSink& sink) {
  if (kind == RunStart::kLoad) settings.logFolder = NormalizeLogFolder(executableFolder);
  ActivityLog& log = sink.log();
  const bool started = log.Start(settings.logFolder, localTime);
  if (kind == RunStart::kOpen) {
    settings.logFilePath = log.path();
    sink.AppendLogLine(settings.dataFilePath + kTextFileSelected);
  }
  return started;
}

bool StartRunLog(RunStart kind, RecoverySettings& settings, LoggingSink& sink) {
  return StartRunLog(kind, LocalTimeNow(), ExecutableFolder(), settings, sink);
}

}  // namespace ravelin
