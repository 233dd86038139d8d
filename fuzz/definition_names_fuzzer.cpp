// Finds table names in arbitrary definition texts: the T-SQL tokenizer
// over unterminated comments, strings and brackets, nested parentheses and
// names of any length, against a few tables whose columns the texts may
// name. Any crash, hang, leak or undefined behaviour is a finding, and so
// is a name given to two tables or a table named twice.
//
// Input: texts separated by zero bytes.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "catalog/definition_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ravelin;
  std::vector<std::string> texts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      texts.emplace_back();
    else
      texts.back() += static_cast<char>(data[i]);
  }
  static const std::map<int32_t, std::vector<std::string>> kTables = {
      {10, {"OrderID", "CustomerID", "OrderDate"}},
      {20, {"OrderID", "ProductID", "Quantity"}},
      {30, {"RegionID", "RegionDescription"}},
      {40, {"Id"}},
  };
  const auto names = NamesFromDefinitions(texts, kTables, {"Customers", "products"});
  std::set<std::string> given;
  for (const auto& [id, name] : names) {
    if (!kTables.count(id) || name.name.empty() || name.columnsNamed <= 0 || name.definitions <= 0) std::abort();
    std::string folded;
    for (char c : name.name) folded += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (!given.insert(folded).second) std::abort();
  }
  return 0;
}
