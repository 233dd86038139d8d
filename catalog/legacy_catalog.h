// What the 2000 catalog layout records about owners, identity columns and
// foreign keys, read from its system tables for the callers that describe
// tables as DBAs know them (`schema`, `rows`, the exports): sysusers gives
// the owners' names, sysobjects each object's owner, syscolumns the seed
// and increment of identity columns, sysreferences the foreign keys.
// Table preparation and the object tree do not use it.

#ifndef RAVELIN_CATALOG_LEGACY_CATALOG_H_
#define RAVELIN_CATALOG_LEGACY_CATALOG_H_

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalog/column_descriptor.h"

namespace ravelin {

class CDatabaseFile;
class SystemCatalog;

// A foreign key of sysreferences: the columns of `parentId` in order and
// the columns of `referencedId` they refer to.
struct LegacyReference {
  int32_t constraintId = 0;
  int32_t parentId = 0;
  int32_t referencedId = 0;
  std::vector<int16_t> parentColumns;
  std::vector<int16_t> referencedColumns;
};

struct LegacyCatalog {
  std::map<int16_t, std::string> userNames;                        // sysusers: uid -> name
  std::map<int32_t, int16_t> objectOwners;                         // sysobjects: id -> uid
  std::map<std::pair<int32_t, int16_t>, std::string> identities;   // (object id, column id) -> "identity(1,1)"
  std::map<std::pair<int32_t, int16_t>, std::string> columnNames;  // (object id, column id) -> name
  std::set<std::pair<int32_t, int16_t>> computedColumns;           // (object id, column id): no stored value
  std::vector<LegacyReference> references;

  // The owner's name of object `objectId`; empty when unknown.
  std::string OwnerOf(int32_t objectId) const;
};

// Reads the tables above from `file`'s system pages. Rows that cannot be
// read are left out.
LegacyCatalog ReadLegacyCatalog(const CDatabaseFile& file);

// Marks the columns of the 2000-layout table `objectId` (as PrepareObject
// gave them) with their identity, primary and unique key and foreign key,
// as table preparation marks them for the later layouts. `qualify` names a
// referenced table ("dbo.Customers").
void ApplyLegacyKeys(const SystemCatalog& catalog, const LegacyCatalog& legacy, int32_t objectId,
                     const std::function<std::string(int32_t objectId)>& qualify,
                     std::vector<ColumnDescriptor>& columns);

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_LEGACY_CATALOG_H_
