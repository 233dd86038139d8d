#include "catalog/object_names.h"

#include "catalog/system_catalog.h"

namespace ravelin {

ObjectNames::ObjectNames(const SystemCatalog& catalog) : catalog_(catalog) {
  if (catalog.IsSql2000() && catalog.file) legacy_ = ReadLegacyCatalog(*catalog.file);
}

std::string ObjectNames::Schema(const ObjectRow& object) const {
  if (legacy_) return legacy_->OwnerOf(object.objectId);
  // Later layouts prefix the name with the schema when its row was read.
  for (const ClassObjectRow& schema : catalog_.classObjects) {
    if (schema.id != object.schemaId || schema.status != 0) continue;
    if (object.name.size() > schema.name.size() && object.name.compare(0, schema.name.size(), schema.name) == 0 &&
        object.name[schema.name.size()] == '.')
      return schema.name;
  }
  return {};
}

std::string ObjectNames::Bare(const ObjectRow& object) const {
  if (legacy_) return object.name;
  const std::string schema = Schema(object);
  return schema.empty() ? object.name : object.name.substr(schema.size() + 1);
}

std::string ObjectNames::Qualified(const ObjectRow& object) const {
  if (!legacy_) return object.name;
  const std::string owner = Schema(object);
  return owner.empty() ? object.name : owner + "." + object.name;
}

std::string ObjectNames::Qualified(int32_t objectId) const {
  std::string name;
  // Of several rows with the same id, the last one read wins, as for the
  // catalog's own joins.
  for (const ObjectRow& object : catalog_.objects)
    if (object.objectId == objectId) name = Qualified(object);
  return name;
}

}  // namespace ravelin
