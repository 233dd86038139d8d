// The order in which the script creates views, functions, procedures and
// triggers: each after the modules its text names, so that a view over a
// function, or a trigger on a view, finds what it refers to.

#ifndef RAVELIN_EXPORT_MODULE_ORDER_H_
#define RAVELIN_EXPORT_MODULE_ORDER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_model.h"

namespace ravelin {

// Indexes of `modules` in creation order. A module comes after every other
// module whose name its text uses as an identifier (outside comments and
// string literals; bare, [bracketed] or "quoted"; ASCII case ignored; a
// schema written before the name must match). Otherwise the given order is
// kept; modules that name each other in a circle keep it too.
std::vector<size_t> CreationOrder(const std::vector<ExportModule>& modules);

// The identifiers of a T-SQL text, each with the identifier written before
// it and a dot ("dbo" for dbo.Orders), skipping comments and strings.
struct NamedIdentifier {
  std::string qualifier;
  std::string name;
};
std::vector<NamedIdentifier> IdentifiersOf(std::string_view text);

// Whether the text, after blanks and comments, starts with CREATE: a whole
// definition rather than the expression of a default or check.
bool IsCreateStatement(std::string_view text);

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_MODULE_ORDER_H_
