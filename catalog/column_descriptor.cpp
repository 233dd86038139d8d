#include "catalog/column_descriptor.h"

#include <charconv>

namespace ravelin {

int32_t TypeCodeForSystemType(uint8_t systemTypeId) {
  switch (systemTypeId) {
    case 127:
      return kTypeBigInt;
    case 173:
      return kTypeBinary;
    case 104:
      return kTypeBit;
    case 175:
      return kTypeChar;
    case 61:
      return kTypeDateTime;
    case 40:
      return kTypeDate;
    case 41:
      return kTypeTime;
    case 42:
      return kTypeDateTime2;
    case 43:
      return kTypeDateTimeOffset;
    case 56:
      return kTypeInt;
    case 239:
      return kTypeNChar;
    case 231:
      return kTypeNVarChar;
    case 52:
      return kTypeSmallInt;
    case 48:
      return kTypeTinyInt;
    case 36:
      return kTypeUniqueIdentifier;
    case 165:
      return kTypeVarBinary;
    case 167:
      return kTypeVarChar;
    case 232:
      return kTypeSystem232;
    case 99:
      return kTypeNText;
    case 98:
      return kTypeSqlVariant;
    case 60:
      return kTypeMoney;
    case 62:
      return kTypeFloat;
    case 108:
      return kTypeNumeric;
    case 106:
      return kTypeDecimal;
    case 34:
      return kTypeImage;
    case 35:
      return kTypeText;
    case 58:
      return kTypeSmallDateTime;
    case 59:
      return kTypeReal;
    case 122:
      return kTypeSmallMoney;
    case 189:
      return kTypeTimestamp;
    case 240:
      return kTypeClr;
    case 241:
      return kTypeXml;
    default:
      return kTypeChar;
  }
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
  switch (systemTypeId) {
    case 34:
      return "image";
    case 35:
      return "text";
    case 36:
      return "uniqueidentifier";
    case 40:
      return "date";
    case 41:
      return "time";
    case 42:
      return "datetime2";
    case 43:
      return "datetimeoffset";
    case 48:
      return "tinyint";
    case 52:
      return "smallint";
    case 56:
      return "int";
    case 58:
      return "smalldatetime";
    case 59:
      return "real";
    case 60:
      return "money";
    case 61:
      return "datetime";
    case 62:
      return "float";
    case 98:
      return "sql_variant";
    case 99:
      return "ntext";
    case 104:
      return "bit";
    case 106:
      return "decimal";
    case 108:
      return "numeric";
    case 122:
      return "smallmoney";
    case 127:
      return "bigint";
    case 165:
      return "varbinary";
    case 167:
      return "varchar";
    case 173:
      return "binary";
    case 175:
      return "char";
    case 189:
      return "timestamp";
    case 231:
      return "nvarchar";
    case 239:
      return "nchar";
    case 241:
      return "xml";
    case 240:
      switch (userTypeId) {
        case 128:
          return "hierarchyid";
        case 129:
          return "geometry";
        case 130:
          return "geography";
        default:
          return "";
      }
    default:
      return "";
  }
}

}  // namespace ravelin
