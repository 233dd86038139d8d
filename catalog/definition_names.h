// Names of tables whose every copy of the name is lost, found again in the
// definition texts of the views, procedures, functions and triggers that
// use them. A name counts for a table where the texts use it as a table
// (after FROM, JOIN, UPDATE, INTO) and every column they qualify with it is
// one of that table's columns; the name must fit one table better than any
// other name fits it, and no other table as well.

#ifndef RAVELIN_CATALOG_DEFINITION_NAMES_H_
#define RAVELIN_CATALOG_DEFINITION_NAMES_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ravelin {

struct NameFromDefinitions {
  std::string name;
  int columnsNamed = 0;  // distinct columns of the table the texts qualify with it
  int definitions = 0;   // texts that use it as a table
};

// `tables` maps each unnamed table's object id to its column names;
// `knownNames` are the names objects of the catalog still have, which are
// no other table's. Comparisons ignore case, as the default collations do.
std::map<int32_t, NameFromDefinitions> NamesFromDefinitions(const std::vector<std::string>& texts,
                                                            const std::map<int32_t, std::vector<std::string>>& tables,
                                                            const std::vector<std::string>& knownNames);

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_DEFINITION_NAMES_H_
