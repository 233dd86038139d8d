// One column of a prepared table, and the type codes that select how its
// values are decoded and rendered.

#ifndef RAVELIN_CATALOG_COLUMN_DESCRIPTOR_H_
#define RAVELIN_CATALOG_COLUMN_DESCRIPTOR_H_

#include <cstdint>
#include <string>

namespace ravelin {

// Type codes, from the system type id of a column.
enum ColumnTypeCode : int32_t {
  kTypeBigInt = 0,
  kTypeBinary = 1,
  kTypeBit = 2,
  kTypeChar = 3,  // also every system type id without a code of its own
  kTypeDateTime = 4,
  kTypeDate = 5,
  kTypeTime = 6,
  kTypeDateTime2 = 7,
  kTypeDateTimeOffset = 8,
  kTypeInt = 9,
  kTypeNChar = 10,
  kTypeNVarChar = 11,
  kTypeSmallInt = 13,
  kTypeTinyInt = 14,
  kTypeUniqueIdentifier = 15,
  kTypeVarBinary = 16,
  kTypeVarChar = 17,
  kTypeSystem232 = 18,  // stored as 11
  kTypeNText = 19,
  kTypeSqlVariant = 20,
  kTypeMoney = 21,
  kTypeFloat = 22,
  kTypeNumeric = 23,
  kTypeDecimal = 24,
  kTypeImage = 25,
  kTypeText = 26,
  kTypeSmallDateTime = 27,
  kTypeReal = 28,
  kTypeSmallMoney = 29,
  kTypeTimestamp = 30,
  kTypeHierarchyId = 31,  // CLR type 240 with user type 128
  kTypeGeometry = 32,     // CLR type 240 with user type 129
  kTypeClr = 33,
  kTypeXml = 34,
};

// Marks a physical column that has no catalog row (a dropped column whose
// values are still in the records).
inline constexpr int32_t kDroppedColumnId = -99;

// More columns than a table can have (sparse columns included).
inline constexpr int32_t kMostColumns = 30000;

struct ColumnDescriptor {
  int16_t reserved = 0;
  int16_t length = 0;  // parsed from typeText for some type codes
  int32_t columnId = 0;
  std::string name{};
  int32_t typeCode = kTypeChar;
  std::string typeText{};  // type name and byte length, e.g. "int(4)"
  uint8_t nullable = 0;
  uint8_t variableLength = 0;
  uint8_t statusBit24 = 0;       // sparse column (2005+ status bit 24)
  std::string definitionText{};  // a non-table's display values; the value decoded last
  uint8_t precision = 0;
  uint8_t scale = 0;
  int32_t hobtColumnId = 0;  // physical column id; kDroppedColumnId for a dropped column
  uint8_t stored = 0;
  int16_t leafOffset = 0;
  int16_t legacyFixedOffset = 0;  // 2000 layout only
  int32_t nullBit = -1;
  uint8_t primaryKey = 0;
  uint8_t unique = 0;
  uint8_t uniqueConstraint = 0;
  uint8_t foreignKey = 0;
  uint8_t statusBit3 = 0;
  std::string referencedTable{};
  std::string referencedColumn{};
  std::string identityText{};
  uint8_t keyOrdinal = 0;
  int32_t collationId = -1;

  friend bool operator==(const ColumnDescriptor&, const ColumnDescriptor&) = default;
};

// The type code of system type id `systemTypeId` (240, the CLR types,
// gives kTypeClr; the catalog refines it by user type id).
int32_t TypeCodeForSystemType(uint8_t systemTypeId);

// A descriptor with every field at its initial value but name, type text
// and type code; the length is taken from the type text and the variable
// flag set as the type code asks. Codes 18, 31, 32 and codes above 34 are
// stored as their decodable stand-ins.
ColumnDescriptor MakeColumnDescriptor(const std::string& name, const std::string& typeText, int32_t typeCode);

// The number written between the first "(" and the first ")" of `text`;
// 0 when there is none.
int32_t LengthInParentheses(const std::string& text);

// SQL Server's name of a system type, for catalogs without a type row for
// it (2000-layout databases keep their types elsewhere). The CLR types are
// told apart by their user type id. Empty for an unknown id.
std::string BuiltInTypeName(uint8_t systemTypeId, int32_t userTypeId);

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_COLUMN_DESCRIPTOR_H_
