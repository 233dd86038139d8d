// The ALTER TABLE scripts shown for a table's primary key, unique key and
// check constraint nodes.
//
// A key script needs the key's table and columns. The 2000 layout gives
// them through the catalog's legacyTables, found by the id the key node
// carries (the table's own id in that layout). Later layouts carry no id
// on the key nodes; there the table is the one the key node hangs under
// and the columns are those of the key's index.

#ifndef RAVELIN_CATALOG_SCHEMA_SCRIPTS_H_
#define RAVELIN_CATALOG_SCHEMA_SCRIPTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/catalog_types.h"

namespace ravelin {

class SystemCatalog;

// A key's table and its columns in key order.
struct KeyColumns {
  std::string table;
  std::vector<std::string> columns;
};

// The column names each followed by " , ", trailing white space trimmed
// and the last character (the final comma) dropped: "A , B ".
std::string KeyColumnText(const std::vector<std::string>& columns);

// "ALTER TABLE T ADD PRIMARY KEY (A , B )".
std::string PrimaryKeyScript(const KeyColumns& key);
// "ALTER TABLE[dbo].[T] WITH NOCHECK ADD CONSTRAINT[K] UNIQUE CLUSTERED ..."
std::string UniqueKeyScript(const KeyColumns& key, const std::string& keyName);
// "ALTER TABLE  [dbo].[T] WITH NOCHECK ADD CONSTRAINT[C] CHECK definition".
std::string CheckScript(const std::string& table, const std::string& constraintName, const std::string& definition);

// 2000 layout: the legacy tables whose id is `keyData` give the table name
// (the last of them); the columns are those of the key of the table's index
// named `keyName`, in key order. Without such an index the table's columns
// whose typeStatus has bit 0 set stand in (for a unique key also those
// whose typeStatus is 0). Nothing matches in later layouts.
KeyColumns LegacyKeyColumns(const SystemCatalog& catalog, int32_t keyData, const std::string& keyName, bool unique);

// Later layouts: prepares `table` (type code "U " or "S ") and takes the
// key columns of the index named like the key `keyName` (its name without
// the schema prefix), in key order. Without such an index the columns
// flagged primary key (or unique) stand in, in column order. Leaves the
// catalog's columnDescriptors as they are.
KeyColumns CatalogKeyColumns(SystemCatalog& catalog, const std::string& table, const std::string& typeCode,
                             const std::string& keyName, bool unique, const std::vector<DefinitionEntry>& definitions);

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_SCHEMA_SCRIPTS_H_
