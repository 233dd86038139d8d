#include "catalog/declared_type.h"

#include <algorithm>
#include <cctype>

namespace ravelin {
namespace {

// The system type names that need no parameters, and those that do.
bool IsPlainSystemType(const std::string& name) {
  static const char* const kNames[] = {
      "bigint",      "bit",        "date",        "datetime", "float",     "geography", "geometry",
      "hierarchyid", "image",      "int",         "money",    "ntext",     "real",      "smalldatetime",
      "smallint",    "smallmoney", "sql_variant", "text",     "timestamp", "tinyint",   "uniqueidentifier",
      "xml",         "rowversion"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

bool IsSizedSystemType(const std::string& name) {
  static const char* const kNames[] = {"binary",  "varbinary", "char",           "varchar", "nchar",    "nvarchar",
                                       "decimal", "numeric",   "datetimeoffset", "time",    "datetime2"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// The system type a column of `typeCode` is stored as.
std::string BaseTypeName(int32_t typeCode) {
  switch (typeCode) {
    case kTypeBigInt:
      return "bigint";
    case kTypeBinary:
      return "binary";
    case kTypeBit:
      return "bit";
    case kTypeChar:
      return "char";
    case kTypeDateTime:
      return "datetime";
    case kTypeDate:
      return "date";
    case kTypeTime:
      return "time";
    case kTypeDateTime2:
      return "datetime2";
    case kTypeDateTimeOffset:
      return "datetimeoffset";
    case kTypeInt:
      return "int";
    case kTypeNChar:
      return "nchar";
    case kTypeNVarChar:
      return "nvarchar";
    case kTypeSmallInt:
      return "smallint";
    case kTypeTinyInt:
      return "tinyint";
    case kTypeUniqueIdentifier:
      return "uniqueidentifier";
    case kTypeVarBinary:
      return "varbinary";
    case kTypeVarChar:
      return "varchar";
    case kTypeNText:
      return "ntext";
    case kTypeSqlVariant:
      return "sql_variant";
    case kTypeMoney:
      return "money";
    case kTypeFloat:
      return "float";
    case kTypeNumeric:
      return "numeric";
    case kTypeDecimal:
      return "decimal";
    case kTypeImage:
      return "image";
    case kTypeText:
      return "text";
    case kTypeSmallDateTime:
      return "smalldatetime";
    case kTypeReal:
      return "real";
    case kTypeSmallMoney:
      return "smallmoney";
    case kTypeTimestamp:
      return "timestamp";
    case kTypeHierarchyId:
      return "hierarchyid";
    case kTypeGeometry:
      return "geometry";
    case kTypeXml:
      return "xml";
    default:
      return {};
  }
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string LengthText(int32_t length, int32_t unit) {
  if (length < 0) return "(max)";
  return "(" + std::to_string(length / unit) + ")";
}

}  // namespace

std::string DeclaredType(const ColumnDescriptor& column) {
  const size_t open = column.typeText.find('(');
  std::string name = Lower(column.typeText.substr(0, open));
  if (!IsPlainSystemType(name) && !IsSizedSystemType(name)) {
    // An alias type, or a CLR type, which keeps its own name.
    if (column.typeCode == kTypeClr) return column.typeText.substr(0, open);
    const std::string base = BaseTypeName(column.typeCode);
    if (base.empty()) return column.typeText.substr(0, open);
    name = base;
  }
  if (name == "rowversion") name = "timestamp";
  const int32_t length = open == std::string::npos ? 0 : LengthInParentheses(column.typeText);
  // "(-1)" is read as 0 by LengthInParentheses; the max types say -1.
  const bool max = column.typeText.find("(-1)") != std::string::npos;
  if (name == "char" || name == "varchar" || name == "binary" || name == "varbinary")
    return name + LengthText(max ? -1 : length, 1);
  if (name == "nchar" || name == "nvarchar") return name + LengthText(max ? -1 : length, 2);
  if (name == "decimal" || name == "numeric")
    return name + "(" + std::to_string(column.precision) + "," + std::to_string(column.scale) + ")";
  if (name == "time" || name == "datetime2" || name == "datetimeoffset")
    return name + "(" + std::to_string(column.scale) + ")";
  return name;
}

}  // namespace ravelin
