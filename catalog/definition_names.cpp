#include "catalog/definition_names.h"

#include <algorithm>
#include <set>
#include <utility>

namespace ravelin {
namespace {

// Texts beyond this many bytes in all are not searched: a name is found in
// the first definitions as well as in all of them.
constexpr size_t kMostTextBytes = size_t{64} << 20;
constexpr size_t kLongestName = 128;
constexpr size_t kMostFits = 4096;

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

struct Token {
  enum Kind { kWord, kQuoted, kDot, kComma, kOpen, kClose, kOther } kind = kOther;
  std::string text;
};

bool WordStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '#' || c == '@' || c >= 0x80;
}
bool WordPart(unsigned char c) { return WordStart(c) || (c >= '0' && c <= '9') || c == '$'; }

// The tokens of one T-SQL text: words, quoted identifiers ("..." and
// [...]) and punctuation; comments, string literals and numbers are left
// out or kept as kOther so that nothing in them reads as a name.
std::vector<Token> Tokens(const std::string& text) {
  std::vector<Token> tokens;
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '-' && i + 1 < n && text[i + 1] == '-') {
      while (i < n && text[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
      int depth = 0;
      while (i < n) {
        if (text[i] == '/' && i + 1 < n && text[i + 1] == '*') {
          ++depth;
          i += 2;
        } else if (text[i] == '*' && i + 1 < n && text[i + 1] == '/') {
          i += 2;
          if (--depth == 0) break;
        } else {
          ++i;
        }
      }
    } else if (c == '\'' || c == '"' || c == '[') {
      const char close = c == '[' ? ']' : static_cast<char>(c);
      std::string body;
      ++i;
      while (i < n) {
        if (text[i] == close) {
          if (i + 1 < n && text[i + 1] == close) {
            body += close;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        body += text[i++];
      }
      if (c != '\'')
        tokens.push_back({Token::kQuoted, std::move(body)});
      else
        tokens.push_back({Token::kOther, {}});
    } else if (WordStart(c)) {
      const size_t start = i;
      while (i < n && WordPart(static_cast<unsigned char>(text[i]))) ++i;
      tokens.push_back({Token::kWord, text.substr(start, i - start)});
    } else if (c >= '0' && c <= '9') {
      while (i < n && (WordPart(static_cast<unsigned char>(text[i])) || text[i] == '.')) ++i;
      tokens.push_back({Token::kOther, {}});
    } else {
      Token::Kind kind = Token::kOther;
      if (c == '.')
        kind = Token::kDot;
      else if (c == ',')
        kind = Token::kComma;
      else if (c == '(')
        kind = Token::kOpen;
      else if (c == ')')
        kind = Token::kClose;
      if (!(c == ' ' || c == '\t' || c == '\r' || c == '\n')) tokens.push_back({kind, {}});
      ++i;
    }
  }
  return tokens;
}

const std::set<std::string>& Keywords() {
  static const std::set<std::string> words = {
      "select",  "from",     "where",       "join",      "inner",   "outer",    "left",    "right",     "full",
      "cross",   "on",       "as",          "and",       "or",      "not",      "group",   "order",     "by",
      "having",  "union",    "all",         "set",       "values",  "insert",   "update",  "delete",    "into",
      "create",  "alter",    "view",        "procedure", "proc",    "function", "trigger", "table",     "begin",
      "end",     "if",       "else",        "return",    "returns", "declare",  "exec",    "execute",   "with",
      "top",     "distinct", "case",        "when",      "then",    "null",     "is",      "in",        "exists",
      "between", "like",     "for",         "after",     "instead", "of",       "while",   "print",     "raiserror",
      "commit",  "rollback", "transaction", "tran",      "output",  "apply",    "except",  "intersect", "merge",
      "using",   "matched",  "go",          "option",    "nolock",  "inserted", "deleted", "truncate"};
  return words;
}

// What the texts say about names: where they are used as tables, which
// columns they qualify, and which are the defined objects' own names.
struct Evidence {
  std::map<std::string, std::set<size_t>> usedAsTable;  // lower-case name -> texts
  std::map<std::string, std::map<std::string, int>> spellings;
  std::map<std::string, std::set<std::string>> qualified;  // name -> columns
  std::set<std::string> ownNames;
};

void Gather(const std::string& text, size_t textIndex, Evidence& evidence) {
  const std::vector<Token> tokens = Tokens(text);
  const std::set<std::string>& keywords = Keywords();
  bool expectTable = false;
  bool expectOwnName = false;
  bool triggerHeader = false;
  int depth = 0;
  int fromListDepth = -1;  // the depth of the FROM list a comma goes on, or -1
  std::string previousKeyword;
  for (size_t i = 0; i < tokens.size();) {
    const Token& t = tokens[i];
    const std::string word = t.kind == Token::kWord ? Lower(t.text) : std::string();
    if (t.kind == Token::kWord && keywords.count(word)) {
      expectTable = false;
      if (word == "from" || word == "join" || word == "update" || word == "into" || word == "delete") {
        expectTable = true;
        if (word == "from") fromListDepth = depth;
      } else if (word == "on" && triggerHeader) {
        expectTable = true;
        triggerHeader = false;
      } else if ((previousKeyword == "create" || previousKeyword == "alter") &&
                 (word == "view" || word == "procedure" || word == "proc" || word == "function" || word == "trigger" ||
                  word == "table")) {
        expectOwnName = true;
        triggerHeader = word == "trigger";
      } else if (word == "as") {
        triggerHeader = false;
      } else if (word == "where" || word == "group" || word == "order" || word == "having" || word == "union" ||
                 word == "select" || word == "set" || word == "values" || word == "on") {
        fromListDepth = -1;
      }
      previousKeyword = word;
      ++i;
      continue;
    }
    if (t.kind == Token::kOpen) {
      ++depth;
      ++i;
      continue;
    }
    if (t.kind == Token::kClose) {
      if (--depth < fromListDepth) fromListDepth = -1;
      expectTable = false;
      ++i;
      continue;
    }
    if (t.kind == Token::kComma) {
      if (fromListDepth >= 0 && depth == fromListDepth) expectTable = true;
      ++i;
      continue;
    }
    if (t.kind != Token::kWord && t.kind != Token::kQuoted && t.kind != Token::kDot) {
      expectTable = false;
      ++i;
      continue;
    }
    // A name of one or more parts; "a..b" leaves a part empty.
    std::vector<std::string> parts(1);
    while (i < tokens.size()) {
      const Token& p = tokens[i];
      if (p.kind == Token::kDot) {
        parts.emplace_back();
      } else if ((p.kind == Token::kWord && !keywords.count(Lower(p.text))) || p.kind == Token::kQuoted) {
        if (!parts.back().empty()) break;
        parts.back() = p.text;
      } else {
        break;
      }
      ++i;
    }
    const std::string& last = parts.back();
    if (expectOwnName) {
      evidence.ownNames.insert(Lower(last));
      expectOwnName = false;
    } else if (expectTable) {
      if (!last.empty() && last[0] != '#' && last[0] != '@' && last.size() <= kLongestName) {
        const std::string key = Lower(last);
        evidence.usedAsTable[key].insert(textIndex);
        ++evidence.spellings[key][last];
      }
    } else if (parts.size() >= 2 && !last.empty() && !parts[parts.size() - 2].empty()) {
      evidence.qualified[Lower(parts[parts.size() - 2])].insert(Lower(last));
    }
    expectTable = false;
    previousKeyword.clear();
  }
}

}  // namespace

std::map<int32_t, NameFromDefinitions> NamesFromDefinitions(const std::vector<std::string>& texts,
                                                            const std::map<int32_t, std::vector<std::string>>& tables,
                                                            const std::vector<std::string>& knownNames) {
  std::map<int32_t, NameFromDefinitions> found;
  if (tables.empty()) return found;
  Evidence evidence;
  size_t bytes = 0;
  for (size_t t = 0; t < texts.size() && bytes < kMostTextBytes; ++t) {
    bytes += texts[t].size();
    Gather(texts[t], t, evidence);
  }
  std::set<std::string> taken;
  for (const std::string& name : knownNames) taken.insert(Lower(name));
  for (const std::string& name : evidence.ownNames) taken.insert(name);

  // Every name that fits a table: none of the columns it qualifies is
  // missing from the table, and at least two (or all) of them are there.
  struct Fit {
    int columns;
    std::string name;
    int32_t table;
  };
  std::map<int32_t, std::set<std::string>> columnsOf;
  for (const auto& [id, columnNames] : tables)
    for (const std::string& c : columnNames) columnsOf[id].insert(Lower(c));
  std::vector<Fit> fits;
  for (const auto& [name, users] : evidence.usedAsTable) {
    if (taken.count(name)) continue;
    auto q = evidence.qualified.find(name);
    if (q == evidence.qualified.end()) continue;
    for (const auto& [id, columns] : columnsOf) {
      int inside = 0;
      bool outside = false;
      for (const std::string& c : q->second) {
        if (c == "*") continue;
        if (columns.count(c))
          ++inside;
        else
          outside = true;
      }
      if (!outside && inside >= std::min<int>(2, static_cast<int>(columns.size())) && inside > 0)
        fits.push_back({inside, name, id});
    }
    // So many fits say the texts tell these tables apart from nothing.
    if (fits.size() > kMostFits) return found;
  }
  // The best fits first; a name or table whose best fit ties with another
  // of its fits is left alone.
  std::stable_sort(fits.begin(), fits.end(), [](const Fit& a, const Fit& b) { return a.columns > b.columns; });
  std::set<std::string> usedNames;
  std::set<int32_t> namedTables;
  for (size_t f = 0; f < fits.size(); ++f) {
    const Fit& fit = fits[f];
    if (usedNames.count(fit.name) || namedTables.count(fit.table)) continue;
    bool tie = false;
    for (const Fit& other : fits)
      if (&other != &fit && other.columns == fit.columns && (other.name == fit.name || other.table == fit.table) &&
          !usedNames.count(other.name) && !namedTables.count(other.table))
        tie = true;
    usedNames.insert(fit.name);
    namedTables.insert(fit.table);
    if (tie) continue;
    const std::map<std::string, int>& spellings = evidence.spellings[fit.name];
    const auto most = std::max_element(spellings.begin(), spellings.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    NameFromDefinitions name;
    name.name = most->first;
    name.columnsNamed = fit.columns;
    name.definitions = static_cast<int>(evidence.usedAsTable[fit.name].size());
    found[fit.table] = std::move(name);
  }
  return found;
}

}  // namespace ravelin
