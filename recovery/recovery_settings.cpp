#include "recovery/recovery_settings.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "storage/text_codec.h"

namespace ravelin {
namespace {

// Decimal as strtoll reads it: optional blanks and sign, then digits; 0
// when there are none.
int64_t ParseDecimal(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

}  // namespace

CollationTable ParseCollationTable(const std::string& text) {
  CollationTable table;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tab = line.find('\t');
    if (line.empty() || tab == std::string::npos) continue;
    std::string name = line.substr(0, tab);
    std::string rest = line.substr(tab + 1);
    size_t tab2 = rest.find('\t');
    if (rest.empty() || tab2 == std::string::npos) continue;
    int64_t id = static_cast<int64_t>(static_cast<int32_t>(ParseDecimal(rest.substr(0, tab2))));
    int32_t codePage = static_cast<int32_t>(ParseDecimal(rest.substr(tab2 + 1)));
    table[id] = CollationEntry{name, codePage};
  }
  return table;
}

CollationTable LoadCollationTable(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return ParseCollationTable(text.str());
}

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

std::string NormalizeLogFolder(const std::string& folder) { return WithSlash(folder); }

std::string CheckOpenChoice(const OpenChoice& choice) {
  std::string upper = choice.dataFilePath;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  std::error_code ec;
  if (upper.find(".MDF") == std::string::npos || !std::filesystem::exists(choice.dataFilePath, ec))
    return "Please select valid SQL file path to continue the recovery process.";
  return CheckLogFolder(choice.logFolder);
}

std::string CheckLogFolder(const std::string& folder) {
  if (!IsDirectory(folder)) return "Please select valid Log file path to continue the recovery process.";
  return {};
}

void ApplyOpenChoice(const OpenChoice& choice, RecoverySettings& settings) {
  settings.logFolder = NormalizeLogFolder(choice.logFolder);
  settings.dataFilePath = choice.dataFilePath;
  settings.recoveryMode = choice.modeIndex == 1 ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
  settings.isSql2000 = choice.isSql2000;
  settings.showDeleted = choice.showDeleted;
  settings.showAdvancedDeleted = choice.showAdvancedDeleted;
}

std::string ValidateAndApplyOpenChoice(const OpenChoice& choice, RecoverySettings& settings) {
  std::string refusal = CheckOpenChoice(choice);
  if (refusal.empty()) ApplyOpenChoice(choice, settings);
  return refusal;
}

int CodePageForCollation(const RecoverySettings& settings, int64_t collationId) {
  int codePage = 0;
  if (collationId == 0 || collationId == -1) {
    codePage = 0;
  } else if (settings.collationFound && collationId == settings.detectedCollationId) {
    codePage = settings.codePage;
  } else if (auto it = settings.collationTable.find(collationId); it != settings.collationTable.end()) {
    codePage = it->second.codePage;
  }
  return codePage > 0 ? codePage : AnsiCodePage();
}

void ApplyDatabaseCollation(RecoverySettings& settings, int32_t bootCollationId) {
  const CollationTable& table = settings.collationTable;
  auto take = [&settings](CollationTable::const_iterator it) {
    settings.detectedCollationId = it->first;
    settings.collationName = it->second.name;
    settings.codePage = it->second.codePage;
    settings.collationFound = true;
  };
  if (settings.autoDetectCollation) {
    auto it = table.find(static_cast<int64_t>(bootCollationId));
    if (it == table.end()) it = table.find(static_cast<int64_t>(static_cast<uint32_t>(bootCollationId) & 0xFFFF));
    if (it != table.end()) take(it);
  } else if (auto it = table.find(settings.manualCollationId); it != table.end()) {
    take(it);
  }
}

}  // namespace ravelin
