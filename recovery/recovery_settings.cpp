#include "recovery/recovery_settings.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "storage/boot_page.h"

namespace ravelin {
namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

}  // namespace

std::string ExecutableFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./";
  return WithSlash(exe.parent_path().string());
}

std::string DefaultLogFolder() {
  const char* home = std::getenv("HOME");
  std::string homeDir = home && *home ? home : "/tmp";
  std::string desktop = homeDir + "/Desktop";
  // XDG keeps the user's folder names in user-dirs.dirs.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string dirsFile = (config && *config ? std::string(config) : homeDir + "/.config") + "/user-dirs.dirs";
  std::ifstream in(dirsFile);
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_DESKTOP_DIR=";
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = homeDir + value.substr(5);
    if (!value.empty() && value.front() == '/') desktop = value;
  }
  std::error_code ec;
  std::filesystem::create_directories(desktop, ec);
  return WithSlash(desktop);
}

std::string StateLogFolder(std::string* problem) {
  auto fail = [problem](const std::string& why) {
    if (problem) *problem = why;
    return std::string();
  };
  std::string base;
  // XDG: a relative XDG_STATE_HOME is invalid and is ignored.
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    std::string homeDir = home && *home ? home : "";
    if (homeDir.empty()) {
      if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) homeDir = entry->pw_dir;
    }
    if (homeDir.empty()) return fail("there is no home folder (HOME is not set)");
    if (!IsDirectory(homeDir)) return fail("the home folder " + homeDir + " does not exist");
    base = homeDir + "/.local/state";
  }
  const std::string folder = WithSlash(base) + "ravelin";
  std::error_code ec;
  if (!IsDirectory(folder)) {
    std::filesystem::create_directories(folder, ec);
    // The state folder holds a user's own files (XDG asks for 0700).
    if (!ec) ::chmod(folder.c_str(), 0700);
  }
  if (ec || !IsDirectory(folder)) return fail(folder + " cannot be created (" + ec.message() + ")");
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return fail(folder + " cannot be written");
  return WithSlash(folder);
}

std::string LogFolderProblem(const std::string& folder) {
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0)
    return "the log folder " + folder + " cannot be used: " + std::error_code(errno, std::generic_category()).message();
  if (!S_ISDIR(st.st_mode)) return "the log folder " + folder + " is not a folder";
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return "the log folder " + folder +
           " cannot be written: " + std::error_code(errno, std::generic_category()).message();
  return {};
}

std::string NormalizeLogFolder(const std::string& folder) { return WithSlash(folder); }

std::string CheckOpenChoice(const OpenChoice& choice, Env& env) {
  std::string upper = choice.dataFilePath;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  if (upper.find(".MDF") == std::string::npos || !env.Exists(choice.dataFilePath))
    return "Please select valid SQL file path to continue the recovery process.";
  return choice.withoutLogFile ? std::string() : CheckLogFolder(choice.logFolder);
}

std::string CheckLogFolder(const std::string& folder) {
  if (!IsDirectory(folder)) return "Please select valid Log file path to continue the recovery process.";
  return {};
}

void ApplyOpenChoice(const OpenChoice& choice, RecoverySettings& settings) {
  settings.logFolder = choice.withoutLogFile ? std::string() : NormalizeLogFolder(choice.logFolder);
  settings.dataFilePath = choice.dataFilePath;
  settings.recoveryMode = choice.modeIndex == 1 ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
  settings.isSql2000 = choice.isSql2000;
  settings.showDeleted = choice.showDeleted;
  settings.showAdvancedDeleted = choice.showAdvancedDeleted;
  settings.listSuspects = choice.listSuspects;
}

ReadOptions RecoverySettings::readOptions() const {
  ReadOptions options;
  options.showDeleted = showDeleted;
  options.huntDeleted = showAdvancedDeleted;
  options.suspect = listSuspects;
  options.mode = recoveryMode == RecoveryMode::kAdvanced ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
  return options;
}

OpenRequest OpenRequestFor(const RecoverySettings& settings, const std::string& path) {
  OpenRequest request;
  request.path = path;
  request.options = settings.readOptions();
  request.collations = &settings.collationTable;
  request.autoDetectCollation = settings.autoDetectCollation;
  request.manualCollationId = settings.manualCollationId;
  return request;
}

void ForgetDiscoveredValues(RecoverySettings& settings) {
  settings.versionText.clear();
  settings.collationName.clear();
  settings.collationFound = false;
  settings.detectedCollationId = -1;
  settings.columnCollationId = 0;
  settings.codePage = 1252;
}

void TakeDiscoveredValues(RecoverySettings& settings, const OpenedDatabase& db) {
  ForgetDiscoveredValues(settings);
  if (db.boot()) settings.versionText = VersionText(db.boot()->version);
  const CollationContext& collation = db.collation();
  if (collation.found) {
    settings.collationFound = true;
    settings.detectedCollationId = collation.detectedId;
    settings.collationName = collation.name;
    settings.codePage = collation.codePage;
  }
  settings.isSql2000 = db.catalog() && db.catalog()->IsSql2000();
}

}  // namespace ravelin
