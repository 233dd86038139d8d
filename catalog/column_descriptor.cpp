#include "catalog/column_descriptor.h"

#include <charconv>

namespace ravelin {

namespace {

struct SystemType {
  uint8_t id;
  int32_t typeCode;
  const char* name;
};

// SQL Server's system types. 232 has no name of its own; 240 (the CLR
// types) is named by user type id.
constexpr SystemType kSystemTypes[] = {
    {127, kTypeBigInt, "bigint"},
    {173, kTypeBinary, "binary"},
    {104, kTypeBit, "bit"},
    {175, kTypeChar, "char"},
    {61, kTypeDateTime, "datetime"},
    {40, kTypeDate, "date"},
    {41, kTypeTime, "time"},
    {42, kTypeDateTime2, "datetime2"},
    {43, kTypeDateTimeOffset, "datetimeoffset"},
    {56, kTypeInt, "int"},
    {239, kTypeNChar, "nchar"},
    {231, kTypeNVarChar, "nvarchar"},
    {52, kTypeSmallInt, "smallint"},
    {48, kTypeTinyInt, "tinyint"},
    {36, kTypeUniqueIdentifier, "uniqueidentifier"},
    {165, kTypeVarBinary, "varbinary"},
    {167, kTypeVarChar, "varchar"},
    {232, kTypeSystem232, ""},
    {99, kTypeNText, "ntext"},
    {98, kTypeSqlVariant, "sql_variant"},
    {60, kTypeMoney, "money"},
    {62, kTypeFloat, "float"},
    {108, kTypeNumeric, "numeric"},
    {106, kTypeDecimal, "decimal"},
    {34, kTypeImage, "image"},
    {35, kTypeText, "text"},
    {58, kTypeSmallDateTime, "smalldatetime"},
    {59, kTypeReal, "real"},
    {122, kTypeSmallMoney, "smallmoney"},
    {189, kTypeTimestamp, "timestamp"},
    {240, kTypeClr, ""},
    {241, kTypeXml, "xml"},
};

const SystemType* FindSystemType(uint8_t systemTypeId) {
  for (const SystemType& type : kSystemTypes)
    if (type.id == systemTypeId) return &type;
  return nullptr;
}

}  // namespace

int32_t TypeCodeForSystemType(uint8_t systemTypeId) {
  const SystemType* type = FindSystemType(systemTypeId);
  return type ? type->typeCode : kTypeChar;
}

int32_t LengthInParentheses(const std::string& text) {
  const size_t open = text.find('(');
  const size_t close = text.find(')');
  if (open == std::string::npos || close == std::string::npos || close <= open) return 0;
  int32_t value = 0;
  const char* first = text.data() + open + 1;
  const char* last = text.data() + close;
  if (std::from_chars(first, last, value).ec != std::errc()) return 0;
  return value;
}

ColumnDescriptor MakeColumnDescriptor(const std::string& name, const std::string& typeText, int32_t typeCode) {
  ColumnDescriptor d;
  d.name = name;
  d.typeText = typeText;
  d.typeCode = typeCode;
  const auto lengthFromText = [&] { d.length = static_cast<int16_t>(LengthInParentheses(typeText)); };
  switch (typeCode) {
    case kTypeBinary:
    case kTypeChar:
    case kTypeNChar:
    case kTypeNumeric:
    case kTypeDecimal:
      lengthFromText();
      break;
    case kTypeNVarChar:
    case kTypeText:
    case kTypeClr:
    case kTypeXml:
      lengthFromText();
      d.variableLength = 1;
      break;
    case kTypeSystem232:
      lengthFromText();
      d.variableLength = 1;
      d.typeCode = kTypeNVarChar;
      break;
    case kTypeUniqueIdentifier:
    case kTypeVarBinary:
    case kTypeVarChar:
    case kTypeNText:
    case kTypeSqlVariant:
    case kTypeImage:
      d.variableLength = 1;
      break;
    case kTypeHierarchyId:
    case kTypeGeometry:
      d.typeCode = kTypeVarChar;
      d.variableLength = 1;
      break;
    default:
      if (typeCode > kTypeXml) {
        d.typeCode = kTypeVarChar;
        d.variableLength = 1;
      }
      break;
  }
  return d;
}

std::string BuiltInTypeName(uint8_t systemTypeId, int32_t userTypeId) {
  if (systemTypeId == 240) {
    if (userTypeId == 128) return "hierarchyid";
    if (userTypeId == 129) return "geometry";
    if (userTypeId == 130) return "geography";
    return "";
  }
  const SystemType* type = FindSystemType(systemTypeId);
  return type ? type->name : "";
}

}  // namespace ravelin
