#include "storage/collation.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "storage/text_codec.h"

namespace ravelin {
namespace {

// Decimal as strtoll reads it: optional blanks and sign, then digits; 0
// when there are none.
int64_t ParseDecimal(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

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

const CollationEntry* CollationContext::Find(int64_t collationId) const {
  if (!table) return nullptr;
  auto it = table->find(collationId);
  return it == table->end() ? nullptr : &it->second;
}

void CollationContext::ApplyDatabaseCollation(int32_t bootCollationId) {
  if (!table) return;
  auto take = [this](CollationTable::const_iterator it) {
    detectedId = it->first;
    name = it->second.name;
    codePage = it->second.codePage;
    found = true;
  };
  if (autoDetect) {
    auto it = table->find(static_cast<int64_t>(bootCollationId));
    if (it == table->end()) it = table->find(static_cast<int64_t>(static_cast<uint32_t>(bootCollationId) & 0xFFFF));
    if (it != table->end()) take(it);
  } else if (auto it = table->find(manualId); it != table->end()) {
    take(it);
  }
}

int CollationContext::CodePageFor(int64_t collationId) const {
  int result = 0;
  if (collationId == 0 || collationId == -1) {
    result = 0;
  } else if (found && collationId == detectedId) {
    result = codePage;
  } else if (const CollationEntry* entry = Find(collationId)) {
    result = entry->codePage;
  }
  return result > 0 ? result : AnsiCodePage();
}

}  // namespace ravelin
