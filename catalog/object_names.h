// Objects named as DBAs name them: with their schema (2005 and later) or
// their owner (2000), as in "dbo.Categories". The catalog keeps the names
// its layout gives (the 2000 layout names objects without their owner) for
// the object tree; `schema`, `rows` and the exports name them here.

#ifndef RAVELIN_CATALOG_OBJECT_NAMES_H_
#define RAVELIN_CATALOG_OBJECT_NAMES_H_

#include <optional>
#include <string>

#include "catalog/legacy_catalog.h"
#include "catalog/system_rows.h"

namespace ravelin {

class SystemCatalog;

class ObjectNames {
 public:
  // Reads the 2000 layout's owners when `catalog` has that layout.
  explicit ObjectNames(const SystemCatalog& catalog);

  // The schema or owner of `object`; empty when the catalog lost it.
  std::string Schema(const ObjectRow& object) const;
  // The name without the schema.
  std::string Bare(const ObjectRow& object) const;
  // "schema.name", or the bare name when the schema is unknown.
  std::string Qualified(const ObjectRow& object) const;
  // The same for the object with id `objectId`; empty when there is none.
  std::string Qualified(int32_t objectId) const;

  // The 2000 layout's extra catalog; null for later layouts.
  const LegacyCatalog* legacy() const { return legacy_ ? &*legacy_ : nullptr; }

 private:
  const SystemCatalog& catalog_;
  std::optional<LegacyCatalog> legacy_;
};

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_OBJECT_NAMES_H_
