#include "cli/name_lookup.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "catalog/catalog_types.h"
#include "storage/text_codec.h"

namespace ravelin {
namespace {

// Case folding of ASCII letters: what SQL Server's default collations
// ignore, for names in the scripts these files hold.
std::string Fold(const std::string& text) {
  std::string out = text;
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

bool SameName(const std::string& a, const std::string& b) { return a.size() == b.size() && Fold(a) == Fold(b); }

// The candidates whose name is `name` and whose schema is `schema` (any
// schema when empty; a candidate whose schema is unknown fits any).
std::vector<const NameCandidate*> Fitting(const std::vector<NameCandidate>& candidates, const std::string& schema,
                                          const std::string& name) {
  std::vector<const NameCandidate*> fit;
  for (const NameCandidate& c : candidates) {
    if (!SameName(c.name, name) || !(schema.empty() || c.schema.empty() || SameName(c.schema, schema))) continue;
    // A name the catalog holds twice (a deleted row read beside the live
    // one) is one object: the first row stands for it.
    const bool seen = std::any_of(fit.begin(), fit.end(),
                                  [&c](const NameCandidate* f) { return f->schema == c.schema && f->name == c.name; });
    if (!seen) fit.push_back(&c);
  }
  return fit;
}

// Of several fitting candidates, the one written exactly as typed, or the
// one in dbo for an unqualified name.
const NameCandidate* Choose(const std::vector<const NameCandidate*>& fit, const std::string& schema,
                            const std::string& name) {
  if (fit.size() == 1) return fit.front();
  std::vector<const NameCandidate*> exact;
  for (const NameCandidate* c : fit)
    if (c->name == name && (schema.empty() || c->schema == schema)) exact.push_back(c);
  if (exact.size() == 1) return exact.front();
  if (schema.empty()) {
    std::vector<const NameCandidate*> dbo;
    for (const NameCandidate* c : fit)
      if (SameName(c->schema, "dbo")) dbo.push_back(c);
    if (dbo.size() == 1) return dbo.front();
  }
  return nullptr;
}

// Whether catalog name `stored` is `typed` with at most two of its
// characters damaged: as long, alike apart from case, and different only
// where its own characters look like damage.
bool DamagedFormOf(const std::string& stored, const std::string& typed) {
  const Bytes a = Utf8ToUtf16(Fold(stored));
  const Bytes b = Utf8ToUtf16(Fold(typed));
  if (a.size() != b.size() || a.empty()) return false;
  int damaged = 0;
  for (size_t i = 0; i + 1 < a.size(); i += 2) {
    const uint32_t have = a[i] | (a[i + 1] << 8);
    const uint32_t want = b[i] | (b[i + 1] << 8);
    if (have == want) continue;
    if (!IsDamageMark(have) || IsDamageMark(want)) return false;
    ++damaged;
  }
  return damaged >= 1 && damaged <= 2;
}

}  // namespace

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::vector<std::string> SplitTypedName(const std::string& typed) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < typed.size(); ++i) {
    const char c = typed[i];
    if (c == '[' || c == '"') {
      const char close = c == '[' ? ']' : '"';
      for (++i; i < typed.size(); ++i) {
        if (typed[i] == close) {
          if (i + 1 < typed.size() && typed[i + 1] == close) {
            parts.back() += close;
            ++i;
            continue;
          }
          break;
        }
        parts.back() += typed[i];
      }
    } else if (c == '.') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

NameMatch MatchName(const std::vector<NameCandidate>& candidates, const std::string& typed) {
  NameMatch match;
  const std::vector<std::string> parts = SplitTypedName(typed);
  // "server.database.schema.name" and "database.schema.name" name the
  // object by their last two parts.
  std::string schema = parts.size() >= 2 ? parts[parts.size() - 2] : std::string();
  std::string name = parts.back();
  std::vector<const NameCandidate*> fit = Fitting(candidates, schema, name);
  // A name with a dot of its own, typed without brackets.
  if (fit.empty() && parts.size() >= 2) {
    schema.clear();
    name = typed;
    fit = Fitting(candidates, schema, name);
  }
  if (const NameCandidate* chosen = fit.empty() ? nullptr : Choose(fit, schema, name)) {
    match.found = true;
    match.index = chosen->index;
    return match;
  }
  if (!fit.empty()) {
    for (const NameCandidate* c : fit) match.ambiguous.push_back(c->Qualified());
    std::sort(match.ambiguous.begin(), match.ambiguous.end());
    return match;
  }
  // A name damage changed: the one candidate that differs only where its
  // characters look damaged.
  const NameCandidate* damaged = nullptr;
  int damagedCount = 0;
  const std::string typedSchema = parts.size() >= 2 ? parts[parts.size() - 2] : std::string();
  for (const NameCandidate& c : candidates) {
    if (!(typedSchema.empty() || c.schema.empty() || SameName(c.schema, typedSchema))) continue;
    if (!DamagedFormOf(c.name, parts.back()) || (damaged && damaged->Qualified() == c.Qualified())) continue;
    damaged = &c;
    ++damagedCount;
  }
  if (damagedCount == 1) {
    match.found = true;
    match.index = damaged->index;
    match.damagedName = damaged->Qualified();
    return match;
  }
  // The closest names, by the edit distance of the folded names (with the
  // schema when one was typed).
  const std::string wanted = Fold(parts.size() >= 2 ? parts[parts.size() - 2] + "." + parts.back() : parts.back());
  std::vector<std::pair<size_t, std::string>> scored;
  for (const NameCandidate& c : candidates) {
    const std::string against = Fold(parts.size() >= 2 ? c.Qualified() : c.name);
    const size_t distance = EditDistance(wanted, against);
    // Close enough to be a typing slip, or a name that contains the typed one.
    if (distance <= std::max<size_t>(2, wanted.size() / 3) ||
        (wanted.size() >= 3 && against.find(wanted) != std::string::npos))
      scored.emplace_back(distance, c.Qualified());
  }
  std::sort(scored.begin(), scored.end());
  for (const auto& [distance, text] : scored) {
    if (match.suggestions.size() == 3) break;
    if (std::find(match.suggestions.begin(), match.suggestions.end(), text) == match.suggestions.end())
      match.suggestions.push_back(text);
  }
  return match;
}

std::string SuggestionText(const NameMatch& match) {
  auto list = [](const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
  };
  if (!match.ambiguous.empty()) return "It could be any of: " + list(match.ambiguous) + ".";
  if (match.suggestions.empty()) return {};
  if (match.suggestions.size() == 1) return "Did you mean " + match.suggestions.front() + "?";
  return "Did you mean one of: " + list(match.suggestions) + "?";
}

std::optional<Warning> DamagedNameWarning(const NameMatch& match, const std::string& typed) {
  if (match.damagedName.empty()) return std::nullopt;
  Warning warning;
  warning.subject = typed;
  warning.what = "nothing has this name; " + match.damagedName +
                 ", whose name differs from it only in characters that look damaged, is taken";
  return warning;
}

}  // namespace ravelin
