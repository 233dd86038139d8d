// Tab-separated output: a backslash, tab, line feed and carriage return
// inside a field are written \\, \t, \n and \r, so every row stays one line.

#ifndef RAVELIN_CLI_TSV_H_
#define RAVELIN_CLI_TSV_H_

#include <string>
#include <string_view>

namespace ravelin {

inline void AppendTsvField(std::string& out, std::string_view field) {
  for (char c : field) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
}

}  // namespace ravelin

#endif  // RAVELIN_CLI_TSV_H_
