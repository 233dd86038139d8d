// Column types and data values as the export writers take them.

#include "export/export_values.h"

namespace ravelin {

ValueFamily FamilyOfTypeCode(int32_t typeCode) {
  switch (typeCode) {
    case kTypeBigInt:
    case kTypeInt:
    case kTypeSmallInt:
    case kTypeTinyInt:
      return ValueFamily::kInteger;
    case kTypeBit:
      return ValueFamily::kBit;
    case kTypeFloat:
      return ValueFamily::kFloat;
    case kTypeReal:
      return ValueFamily::kReal;
    case kTypeNumeric:
    case kTypeDecimal:
      return ValueFamily::kExactNumeric;
    case kTypeMoney:
    case kTypeSmallMoney:
      return ValueFamily::kMoney;
    case kTypeNChar:
    case kTypeNVarChar:
    case kTypeNText:
    case kTypeSystem232:
      return ValueFamily::kUnicode;
    case kTypeDate:
      return ValueFamily::kDate;
    case kTypeTime:
      return ValueFamily::kTime;
    case kTypeDateTime:
      return ValueFamily::kDateTime;
    case kTypeSmallDateTime:
      return ValueFamily::kSmallDateTime;
    case kTypeDateTime2:
      return ValueFamily::kDateTime2;
    case kTypeDateTimeOffset:
      return ValueFamily::kDateTimeOffset;
    case kTypeUniqueIdentifier:
      return ValueFamily::kUniqueIdentifier;
    case kTypeBinary:
    case kTypeVarBinary:
    case kTypeImage:
      return ValueFamily::kBinary;
    case kTypeTimestamp:
      return ValueFamily::kTimestamp;
    case kTypeXml:
      return ValueFamily::kXml;
    case kTypeSqlVariant:
      return ValueFamily::kSqlVariant;
    case kTypeHierarchyId:
    case kTypeGeometry:
    case kTypeClr:
      return ValueFamily::kOther;
    default:  // char, varchar, text and every type without a code of its own
      return ValueFamily::kCharacter;
  }
}

ValueFamily FamilyOfSystemType(uint8_t systemTypeId) {
  switch (systemTypeId) {
    case 48:   // tinyint
    case 52:   // smallint
    case 56:   // int
    case 127:  // bigint
      return ValueFamily::kInteger;
    case 104:
      return ValueFamily::kBit;
    case 62:
      return ValueFamily::kFloat;
    case 59:
      return ValueFamily::kReal;
    case 106:  // decimal
    case 108:  // numeric
      return ValueFamily::kExactNumeric;
    case 60:   // money
    case 122:  // smallmoney
      return ValueFamily::kMoney;
    case 35:   // text
    case 167:  // varchar
    case 175:  // char
      return ValueFamily::kCharacter;
    case 99:   // ntext
    case 231:  // nvarchar, sysname
    case 239:  // nchar
      return ValueFamily::kUnicode;
    case 40:
      return ValueFamily::kDate;
    case 41:
      return ValueFamily::kTime;
    case 61:
      return ValueFamily::kDateTime;
    case 58:
      return ValueFamily::kSmallDateTime;
    case 42:
      return ValueFamily::kDateTime2;
    case 43:
      return ValueFamily::kDateTimeOffset;
    case 36:
      return ValueFamily::kUniqueIdentifier;
    case 189:
      return ValueFamily::kTimestamp;
    case 241:
      return ValueFamily::kXml;
    default:  // binary, varbinary, image and anything unknown: the bytes
      return ValueFamily::kBinary;
  }
}

void ToExportValue(const DataValue& value, ExportValue& out) {
  switch (value.kind) {
    case DataKind::kNull:
      out.SetNull();
      break;
    case DataKind::kUnreadable:
      out.SetUnreadable();
      break;
    case DataKind::kInteger:
      out.SetInteger(value.integer);
      break;
    case DataKind::kBit:
      out.SetBit(value.integer != 0);
      break;
    case DataKind::kReal:
      out.SetReal(value.real);
      break;
    case DataKind::kExact:
      out.SetExact(value.text);
      break;
    case DataKind::kText:
      // An export holds exact values only: an xml value read up to damage is
      // not the value, so it goes out as unreadable (its row warns).
      if (value.partial)
        out.SetUnreadable();
      else
        out.SetText(value.text);
      break;
    case DataKind::kBinary:
      out.SetBinary(value.text);
      break;
  }
  if (value.variantType.empty()) {
    out.variantType.clear();
    out.variantFamily = ValueFamily::kBinary;
  } else {
    out.variantType = value.variantType;
    out.variantFamily = FamilyOfSystemType(value.variantTypeId);
  }
}

}  // namespace ravelin
