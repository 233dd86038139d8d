// Orders module definitions by the names their texts mention.

#include "export/module_order.h"

#include <queue>
#include <unordered_map>

namespace ravelin {
namespace {

std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

bool IsWordChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '@' ||
         c == '#' || c == '$' || c >= 0x80;
}

// Moves `i` past blanks and comments of `text`.
size_t SkipBlanksAndComments(std::string_view text, size_t i) {
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      // Block comments nest in T-SQL.
      int depth = 0;
      do {
        if (text.compare(i, 2, "/*") == 0) {
          ++depth;
          i += 2;
        } else if (text.compare(i, 2, "*/") == 0) {
          --depth;
          i += 2;
        } else {
          ++i;
        }
      } while (i < text.size() && depth > 0);
    } else {
      break;
    }
  }
  return i;
}

// Reads a quoted identifier or string closed by `close` (doubled inside).
size_t ReadQuoted(std::string_view text, size_t i, char close, std::string* into) {
  ++i;
  while (i < text.size()) {
    if (text[i] == close) {
      if (i + 1 < text.size() && text[i + 1] == close) {
        if (into) *into += close;
        i += 2;
        continue;
      }
      return i + 1;
    }
    if (into) *into += text[i];
    ++i;
  }
  return i;
}

}  // namespace

std::vector<NamedIdentifier> IdentifiersOf(std::string_view text) {
  std::vector<NamedIdentifier> found;
  std::string previous;  // the last identifier, when only a dot follows it
  bool afterDot = false;
  size_t i = 0;
  while (i < text.size()) {
    const size_t next = SkipBlanksAndComments(text, i);
    if (next != i) {
      i = next;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    std::string name;
    if (c == '[') {
      i = ReadQuoted(text, i, ']', &name);
    } else if (c == '"') {
      i = ReadQuoted(text, i, '"', &name);
    } else if (c == '\'' || ((c == 'N' || c == 'n') && i + 1 < text.size() && text[i + 1] == '\'')) {
      i = ReadQuoted(text, c == '\'' ? i : i + 1, '\'', nullptr);
      previous.clear();
      afterDot = false;
      continue;
    } else if (IsWordChar(c)) {
      const size_t start = i;
      while (i < text.size() && IsWordChar(static_cast<unsigned char>(text[i]))) ++i;
      name.assign(text.substr(start, i - start));
    } else {
      const bool dot = c == '.';
      if (!dot) previous.clear();
      afterDot = dot && !previous.empty();
      ++i;
      continue;
    }
    found.push_back({afterDot ? previous : std::string(), name});
    previous = name;
    afterDot = false;
  }
  return found;
}

bool IsCreateStatement(std::string_view text) {
  const size_t i = SkipBlanksAndComments(text, 0);
  return text.size() >= i + 6 && Fold(text.substr(i, 6)) == "create" &&
         (text.size() == i + 6 || !IsWordChar(static_cast<unsigned char>(text[i + 6])));
}

std::vector<size_t> CreationOrder(const std::vector<ExportModule>& modules) {
  const size_t n = modules.size();
  std::unordered_multimap<std::string, size_t> byName;
  for (size_t k = 0; k < n; ++k) byName.emplace(Fold(modules[k].name), k);

  // needs[k]: modules k's text names; users[j]: modules that name j.
  std::vector<std::vector<size_t>> users(n);
  std::vector<size_t> pending(n, 0);
  for (size_t k = 0; k < n; ++k) {
    std::vector<bool> seen(n, false);
    for (const NamedIdentifier& id : IdentifiersOf(modules[k].definition)) {
      auto [from, to] = byName.equal_range(Fold(id.name));
      for (auto it = from; it != to; ++it) {
        const size_t j = it->second;
        if (j == k || seen[j]) continue;
        if (!id.qualifier.empty() && Fold(id.qualifier) != Fold(modules[j].schema)) continue;
        seen[j] = true;
        users[j].push_back(k);
        ++pending[k];
      }
    }
  }

  std::vector<size_t> order;
  order.reserve(n);
  std::vector<bool> placed(n, false);
  std::priority_queue<size_t, std::vector<size_t>, std::greater<>> ready;
  for (size_t k = 0; k < n; ++k)
    if (pending[k] == 0) ready.push(k);
  size_t nextUnplaced = 0;
  while (order.size() < n) {
    if (ready.empty()) {
      // A circle: the first module not yet placed goes next.
      while (placed[nextUnplaced]) ++nextUnplaced;
      pending[nextUnplaced] = 0;
      ready.push(nextUnplaced);
    }
    const size_t k = ready.top();
    ready.pop();
    if (placed[k]) continue;
    placed[k] = true;
    order.push_back(k);
    for (size_t user : users[k])
      if (!placed[user] && pending[user] > 0 && --pending[user] == 0) ready.push(user);
  }
  return order;
}

}  // namespace ravelin
