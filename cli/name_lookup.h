// Finding an object by the name a user typed, as SQL Server resolves names
// under its default collations: with or without the schema ("dbo.Orders",
// "Orders"), in any case, in brackets or quotes ("[dbo].[Order Details]",
// "\"Order Details\""). An unqualified name that several schemas hold is
// ambiguous unless one of them is dbo; a miss suggests the closest names.
// Candidates written exactly alike count as one, the first.

#ifndef RAVELIN_CLI_NAME_LOOKUP_H_
#define RAVELIN_CLI_NAME_LOOKUP_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "storage/progress_sink.h"

namespace ravelin {

// One object that can be named: its schema (empty when unknown) and its
// name without the schema.
struct NameCandidate {
  std::string schema;
  std::string name;
  size_t index = 0;  // the caller's own reference

  // "schema.name", or the name alone.
  std::string Qualified() const { return schema.empty() ? name : schema + "." + name; }
};

struct NameMatch {
  // The candidate found; nothing found when `found` is false.
  bool found = false;
  size_t index = 0;
  // Several candidates fit equally (qualified names, sorted).
  std::vector<std::string> ambiguous;
  // Nothing fits: the closest names, best first (at most three).
  std::vector<std::string> suggestions;
  // Found as the one name that differs from the typed one only where its
  // own characters look damaged: that name, qualified.
  std::string damagedName;
};

// The warning a command gives for a name found as a damaged one.
std::optional<Warning> DamagedNameWarning(const NameMatch& match, const std::string& typed);

// The parts of a typed name split at the dots outside brackets and quotes,
// with brackets and quotes removed ("]]" and "\"\"" inside stand for one).
std::vector<std::string> SplitTypedName(const std::string& typed);

NameMatch MatchName(const std::vector<NameCandidate>& candidates, const std::string& typed);

// "Did you mean dbo.Orders?" or "Did you mean one of: a, b, c?"; empty when
// there is nothing to suggest. The same for an ambiguous name: "It could be
// any of: a, b".
std::string SuggestionText(const NameMatch& match);

// The edits (insert, delete, replace a character) that turn `a` into `b`.
size_t EditDistance(const std::string& a, const std::string& b);

}  // namespace ravelin

#endif  // RAVELIN_CLI_NAME_LOOKUP_H_
