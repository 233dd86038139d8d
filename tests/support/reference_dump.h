// Reading the reference dumps of the real test files.

#ifndef RAVELIN_TESTS_SUPPORT_REFERENCE_DUMP_H_
#define RAVELIN_TESTS_SUPPORT_REFERENCE_DUMP_H_

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ravelin::testing {

// A field of a dump with its escapes (\\, \t, \n, \r) undone.
inline std::string UnescapeReferenceField(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
  }
  return out;
}

// Every dump of the test data folder `data`: reference/*.tsv and the dumps
// rebuilt from installation scripts, reference/scripted/*.tsv.
inline std::vector<std::string> ReferenceDumps(const std::string& data) {
  std::vector<std::string> dumps;
  for (const char* folder : {"/reference", "/reference/scripted"})
    for (const auto& entry : std::filesystem::directory_iterator(data + folder))
      if (entry.path().extension() == ".tsv") dumps.push_back(entry.path().string());
  return dumps;
}

// The data file in `data` that `dump` describes: the dump's name up to and
// including ".mdf".
inline std::string DumpedDataFile(const std::string& data, const std::string& dump) {
  const std::string name = std::filesystem::path(dump).filename().string();
  return data + "/" + name.substr(0, name.find(".mdf") + 4);
}

// The lines of `dump`, each split at its tabs.
inline std::vector<std::vector<std::string>> DumpLines(const std::string& dump) {
  std::vector<std::vector<std::string>> lines;
  std::ifstream in(dump);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string>& fields = lines.emplace_back();
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
  }
  return lines;
}

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_REFERENCE_DUMP_H_
