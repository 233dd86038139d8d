#include "catalog/object_names.h"

#include <set>

#include "catalog/system_catalog.h"

namespace ravelin {

ObjectNames::ObjectNames(const SystemCatalog& catalog) : catalog_(catalog) {
  if (catalog.IsSql2000() && catalog.file) legacy_ = ReadLegacyCatalog(*catalog.file);
}

std::string ObjectNames::Schema(const ObjectRow& object) const {
  if (legacy_) return legacy_->OwnerOf(object.objectId);
  // Later layouts prefix the name with the schema when its row was read
  // (the schemas every database has by their fixed ids).
  const auto prefixes = [&](const std::string& schema) {
    return !schema.empty() && object.name.size() > schema.size() &&
           object.name.compare(0, schema.size(), schema) == 0 && object.name[schema.size()] == '.';
  };
  if (const char* fixed = FixedSchemaName(object.schemaId); fixed && prefixes(fixed)) return fixed;
  for (const ClassObjectRow& schema : catalog_.classObjects)
    if (schema.id == object.schemaId && schema.status == 0 && prefixes(schema.name)) return schema.name;
  // A schema id damaged since the name was put together: the prefix still
  // names the schema, where it is one schema's alone.
  std::set<std::string> named;
  for (int32_t id = 1; id <= 4; ++id)
    if (prefixes(FixedSchemaName(id))) named.insert(FixedSchemaName(id));
  for (const ClassObjectRow& schema : catalog_.classObjects)
    if (schema.status == 0 && prefixes(schema.name)) named.insert(schema.name);
  return named.size() == 1 ? *named.begin() : std::string();
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
