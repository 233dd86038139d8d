// Quoting and unique naming of tables, columns and files in the outputs.

#include "export/export_names.h"

#include <array>

namespace ravelin {
namespace {

std::string FoldAscii(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

bool StartsWithFolded(std::string_view name, std::string_view prefix) {
  return name.size() >= prefix.size() && FoldAscii(name.substr(0, prefix.size())) == prefix;
}

bool IsWindowsDeviceName(std::string_view part) {
  const std::string folded = FoldAscii(part);
  static constexpr std::array<std::string_view, 4> kPlain = {"con", "prn", "aux", "nul"};
  for (std::string_view device : kPlain)
    if (folded == device) return true;
  return folded.size() == 4 && (folded.starts_with("com") || folded.starts_with("lpt")) && folded[3] >= '1' &&
         folded[3] <= '9';
}

// `text` cut to at most `limit` bytes without splitting a UTF-8 character.
void CutUtf8(std::string& text, size_t limit) {
  if (text.size() <= limit) return;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
}

}  // namespace

void AppendTsqlName(std::string& out, std::string_view name) {
  out += '[';
  for (char c : name) {
    out += c;
    if (c == ']') out += ']';
  }
  out += ']';
}

std::string TsqlName(std::string_view name) {
  std::string out;
  AppendTsqlName(out, name);
  return out;
}

std::string TsqlQualifiedName(std::string_view schema, std::string_view name) {
  std::string out;
  AppendTsqlName(out, schema);
  out += '.';
  AppendTsqlName(out, name);
  return out;
}

void AppendSqliteName(std::string& out, std::string_view name) {
  out += '"';
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
}

std::string SqliteName(std::string_view name) {
  std::string out;
  AppendSqliteName(out, name);
  return out;
}

void UniqueNames::Reserve(std::string_view name) { taken_.insert(FoldAscii(name)); }

bool UniqueNames::Taken(std::string_view name) const { return taken_.count(FoldAscii(name)) != 0; }

std::string UniqueNames::Claim(const std::string& wanted, const std::string& suffix) {
  std::string name = wanted + suffix;
  for (int n = 2; Taken(name); ++n) name = wanted + "_" + std::to_string(n) + suffix;
  Reserve(name);
  return name;
}

std::string SqliteTableName(std::string_view schema, std::string_view name) {
  std::string result = schema == "dbo" ? std::string(name) : std::string(schema) + "." + std::string(name);
  if (StartsWithFolded(result, "sqlite_")) result.insert(0, "_");
  return result;
}

std::string CsvFileStem(std::string_view schema, std::string_view name) {
  std::string stem = std::string(schema) + "." + std::string(name);
  for (char& c : stem) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '_';
    switch (c) {
      case '/':
      case '\\':
      case ':':
      case '*':
      case '?':
      case '"':
      case '<':
      case '>':
      case '|':
        c = '_';
        break;
      default:
        break;
    }
  }
  if (stem.starts_with('.') || IsWindowsDeviceName(std::string_view(stem).substr(0, stem.find('.'))))
    stem.insert(0, "_");
  CutUtf8(stem, 240);
  return stem;
}

}  // namespace ravelin
