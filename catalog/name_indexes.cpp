// Object names from three copies: sysschobjs' own rows and the leaf rows of
// its two nonclustered indexes, which hold each object's id and name again.
// A damaged or lost object row is mended or put back from the copies that
// agree.

#include <map>
#include <set>

#include "catalog/system_catalog.h"
#include "storage/text_codec.h"

namespace ravelin {
namespace {

// How many characters of `name` look like damage rather than a name:
// control characters, replacement characters, and the Latin-1 and
// halfwidth ranges that inverted or flipped ASCII bytes fall into.
int OddCharacters(const std::string& name) {
  int odd = 0;
  const Bytes utf16 = Utf8ToUtf16(name);
  for (size_t i = 0; i + 1 < utf16.size(); i += 2)
    if (IsDamageMark(utf16[i] | (utf16[i + 1] << 8))) ++odd;
  return odd;
}

// The best of the copies of one name: the one most copies agree on, among
// those ties the one that looks least damaged.
std::string Vote(const std::vector<std::string>& copies) {
  std::map<std::string, int> counts;
  for (const std::string& copy : copies) ++counts[copy];
  const std::string* best = nullptr;
  for (const auto& [name, count] : counts) {
    if (!best || count > counts[*best] || (count == counts[*best] && OddCharacters(name) < OddCharacters(*best)))
      best = &name;
  }
  return best ? *best : std::string();
}

}  // namespace

bool IsDamageMark(uint32_t unit) {
  return unit < 0x20 || (unit >= 0x7F && unit <= 0xBF) || unit == 0xD7 || unit == 0xF7 || unit >= 0xFF00;
}

bool IsKnownTypeCode(const std::string& typeCode) {
  static const std::set<std::string> kCodes = {"AF", "C ", "D ", "EC", "ET", "F ", "FN", "FS", "FT", "IF",
                                               "IT", "P ", "PC", "PG", "PK", "R ", "RF", "S ", "SN", "SO",
                                               "SQ", "ST", "TA", "TF", "TR", "TT", "U ", "UQ", "V ", "X "};
  return kCodes.count(typeCode) != 0;
}

std::string SystemCatalog::SchemaPrefixed(int32_t schemaId, const std::string& baseName) const {
  if (const char* fixed = IsSql2000() ? nullptr : FixedSchemaName(schemaId)) return std::string(fixed) + "." + baseName;
  for (const ClassObjectRow& schema : classObjects)
    if (schema.id == schemaId && schema.status == 0) return schema.name + "." + baseName;
  return baseName;
}

void SystemCatalog::MendObjectsFromNameIndexes(const std::vector<ObjectNameRow>& nameRows,
                                               const std::set<int32_t>& withRows) {
  if (nameRows.empty()) return;
  std::map<int32_t, std::vector<const ObjectNameRow*>> copiesOf;
  for (const ObjectNameRow& row : nameRows) copiesOf[row.objectId].push_back(&row);
  std::set<int32_t> present;
  for (const ObjectRow& object : objects) present.insert(object.objectId);

  for (ObjectRow& object : objects) {
    auto it = copiesOf.find(object.objectId);
    if (it == copiesOf.end()) {
      // No copy under this id: when the name is the one copy of an id no
      // row has, the row's id is what was damaged.
      int32_t lonely = 0;
      int found = 0;
      for (const auto& [id, copies] : copiesOf) {
        if (present.count(id)) continue;
        for (const ObjectNameRow* copy : copies)
          if (copy->name == object.baseName) {
            lonely = id;
            ++found;
            break;
          }
      }
      if (found == 1) {
        object.objectId = lonely;
        present.insert(lonely);
      }
    } else {
      std::vector<std::string> names = {object.baseName};
      int32_t indexedSchema = -1;
      for (const ObjectNameRow* copy : it->second) {
        names.push_back(copy->name);
        if (copy->schemaId > 0) indexedSchema = copy->schemaId;
      }
      const std::string best = Vote(names);
      // A schema id that names no schema is damage when the index row on
      // schema and name has one that does.
      const bool schemaKnown = IsSql2000() || SchemaPrefixed(object.schemaId, "") != "";
      if (!schemaKnown && indexedSchema > 0 && SchemaPrefixed(indexedSchema, "") != "") object.schemaId = indexedSchema;
      if (best != object.baseName || !schemaKnown) {
        object.baseName = best;
        object.name = SchemaPrefixed(object.schemaId, best);
      }
    }
    // A damaged type code on an object whose rows are stored as a table's.
    if (!IsKnownTypeCode(object.typeCode) && withRows.count(object.objectId)) object.typeCode = "U ";
  }

  // Tables whose object row is lost: their id and name are in the index
  // rows, their rowsets say they hold rows.
  for (const auto& [id, copies] : copiesOf) {
    if (present.count(id) || !withRows.count(id) || id <= 100) continue;
    std::vector<std::string> names;
    int32_t schemaId = -1;
    for (const ObjectNameRow* copy : copies) {
      names.push_back(copy->name);
      if (copy->schemaId > 0) schemaId = copy->schemaId;
    }
    if (!IsSql2000() && schemaId == 4) continue;  // internal tables of the sys schema
    if (schemaId < 0) schemaId = 1;
    ObjectRow row;
    row.objectId = id;
    row.baseName = Vote(names);
    row.name = SchemaPrefixed(schemaId, row.baseName);
    row.schemaId = schemaId;
    row.schemaClass = 0;
    row.status = 0;
    row.typeCode = "U ";
    row.parentId = 0;
    row.parentClass = 1;
    row.intProp = 0;
    objects.push_back(std::move(row));
    present.insert(id);
  }
}

}  // namespace ravelin
