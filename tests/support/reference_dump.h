// Reading the reference dumps of the real test files.

#ifndef RAVELIN_TESTS_SUPPORT_REFERENCE_DUMP_H_
#define RAVELIN_TESTS_SUPPORT_REFERENCE_DUMP_H_

#include <string>

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

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_REFERENCE_DUMP_H_
