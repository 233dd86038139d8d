// The records the catalog builds over the system-table rows: constraints
// and child objects of a table, foreign-key column pairs, primary key
// columns, the tables of a 2000-layout database, and the definition rows
// handed to PrepareObject.

#ifndef RAVELIN_CATALOG_CATALOG_TYPES_H_
#define RAVELIN_CATALOG_CATALOG_TYPES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ravelin {

// The name of a schema every database of the 2005 and later layout has,
// under the id it always has there; null for other ids.
inline const char* FixedSchemaName(int32_t schemaId) {
  switch (schemaId) {
    case 1:
      return "dbo";
    case 2:
      return "guest";
    case 3:
      return "INFORMATION_SCHEMA";
    case 4:
      return "sys";
    default:
      return nullptr;
  }
}

// Whether `typeCode` is one of SQL Server's object types.
bool IsKnownTypeCode(const std::string& typeCode);
// Whether a UTF-16 unit of a name looks like damage rather than a name's
// character: a control character, a replacement character, or the Latin-1
// and halfwidth ranges that inverted or flipped ASCII bytes fall into.
bool IsDamageMark(uint32_t unit);

// Whether `a` and `b` differ in exactly one of their bytes: the mark a
// damaged byte leaves on an id.
inline bool DifferInOneByte(uint64_t a, uint64_t b) {
  const uint64_t x = a ^ b;
  int bytes = 0;
  for (int shift = 0; shift < 64; shift += 8) bytes += ((x >> shift) & 0xFF) != 0 ? 1 : 0;
  return bytes == 1;
}
inline bool DifferInOneByte(int32_t a, int32_t b) {
  return DifferInOneByte(uint64_t{static_cast<uint32_t>(a)}, uint64_t{static_cast<uint32_t>(b)});
}
inline bool DifferInOneByte(int64_t a, int64_t b) {
  return DifferInOneByte(static_cast<uint64_t>(a), static_cast<uint64_t>(b));
}

// A user table ("U ") or a system table ("S ").
inline bool IsTableTypeCode(const std::string& typeCode) { return typeCode == "U " || typeCode == "S "; }

// The keys and constraints a table's tree item lists: primary key, unique
// key, foreign key, check and default.
inline bool IsKeyOrConstraintTypeCode(const std::string& typeCode) {
  return typeCode == "PK" || typeCode == "UQ" || typeCode == "F " || typeCode == "C " || typeCode == "D ";
}

// An object whose parent is the object last prepared (a key, a constraint,
// a default or a trigger of a table).
struct KeyConstraint {
  bool isPrimaryKey = false;
  bool isForeignKey = false;
  bool isUnique = false;
  std::string typeCode{};
  // The child's object id; in the 2000 layout the parent's (table's) id.
  int32_t id = 0;
  std::string name{};
};

// An object that belongs to a parent object (schema class 0, parent class 1).
struct ChildObject {
  std::string name{};
  int32_t objectId = 0;
  int32_t referencedIndependentId = 0;  // from an object reference of class 97
  int32_t schemaId = 0;
  int32_t parentId = 0;
  int32_t referencedObjectId = 0;  // class 27
  int32_t referencedIndexId = 0;   // class 27
  std::string typeCode{};
  std::string unused{};
  int32_t intProp = 0;

  friend bool operator==(const ChildObject&, const ChildObject&) = default;
};

// One column pair of one foreign key.
struct ForeignKeyColumn {
  int32_t constraintId = 0;
  int32_t constraintColumnId = 0;
  int32_t parentObjectId = 0;
  int32_t parentColumnId = 0;
  int32_t referencedObjectId = 0;
  int32_t referencedColumnId = 0;
  std::string constraintName{};
  std::string unused{};
  std::string parentTableName{};
  std::string parentColumnName{};
  std::string referencedTableName{};
  std::string referencedColumnName{};
  int32_t constraintStatus = 0;

  friend bool operator==(const ForeignKeyColumn&, const ForeignKeyColumn&) = default;
};

// A primary key column of a prepared table, tagged with the table's name.
struct PrimaryKeyColumn {
  std::string tableName{};
  std::string columnName{};
  std::string unused{};
  int32_t keyOrdinal = 0;

  friend bool operator==(const PrimaryKeyColumn&, const PrimaryKeyColumn&) = default;
};

// A column of a 2000-layout table, as the key scripts use it.
struct LegacyTableColumn {
  std::string name{};
  std::string unused{};
  int16_t columnOrder = 0;
  uint8_t typeStatus = 0;
};

// A table of a 2000-layout database: one per clustered index root.
struct LegacyTable {
  int32_t objectId = 0;
  std::string name{};
  std::string unused{};
  std::vector<LegacyTableColumn> columns{};
};

// One row of the definition tables (syscomments or sysobjvalues) in its
// display form.
struct DefinitionEntry {
  std::string objectIdText{};
  std::string numberText{};
  std::string valueText{};
};

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_CATALOG_TYPES_H_
