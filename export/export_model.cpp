// The export model's small helpers: names of statuses and module types,
// and the data texts every text format shares.

#include "export/export_model.h"

#include <charconv>
#include <cmath>

#include "storage/bytes.h"

namespace ravelin {

bool IsDateTimeFamily(ValueFamily family) {
  switch (family) {
    case ValueFamily::kDate:
    case ValueFamily::kTime:
    case ValueFamily::kDateTime:
    case ValueFamily::kSmallDateTime:
    case ValueFamily::kDateTime2:
    case ValueFamily::kDateTimeOffset:
      return true;
    default:
      return false;
  }
}

int PrimaryKeyOrdinal(const ExportTable& table, const std::string& column) {
  if (!table.primaryKey) return 0;
  const std::vector<std::string>& keys = table.primaryKey->columns;
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == column) return static_cast<int>(i + 1);
  return 0;
}

ExportValue ExportValue::Unreadable() {
  ExportValue v;
  v.SetUnreadable();
  return v;
}
ExportValue ExportValue::Integer(int64_t x) {
  ExportValue v;
  v.SetInteger(x);
  return v;
}
ExportValue ExportValue::Bit(bool x) {
  ExportValue v;
  v.SetBit(x);
  return v;
}
ExportValue ExportValue::Real(double x) {
  ExportValue v;
  v.SetReal(x);
  return v;
}
ExportValue ExportValue::Exact(std::string_view digits) {
  ExportValue v;
  v.SetExact(digits);
  return v;
}
ExportValue ExportValue::Text(std::string_view utf8) {
  ExportValue v;
  v.SetText(utf8);
  return v;
}
ExportValue ExportValue::Binary(std::string_view bytes) {
  ExportValue v;
  v.SetBinary(bytes);
  return v;
}

ExportValue& ExportValue::Carrying(std::string type, ValueFamily family) {
  variantType = std::move(type);
  variantFamily = family;
  return *this;
}

bool IsUnreadable(const ExportValue& value) {
  return value.kind == ValueKind::kUnreadable || (value.kind == ValueKind::kReal && !std::isfinite(value.real));
}

const char* ModuleTypeName(ModuleType type) {
  switch (type) {
    case ModuleType::kView:
      return "view";
    case ModuleType::kProcedure:
      return "procedure";
    case ModuleType::kScalarFunction:
      return "scalar function";
    case ModuleType::kInlineFunction:
      return "inline function";
    case ModuleType::kTableFunction:
      return "table function";
    case ModuleType::kTrigger:
      return "trigger";
    case ModuleType::kDefault:
      return "default";
    case ModuleType::kCheck:
      return "check";
    case ModuleType::kRule:
      return "rule";
    case ModuleType::kOther:
      return "other";
  }
  return "other";
}

void AppendDataText(std::string& out, const ExportValue& value, ValueFamily family) {
  char buffer[32];
  switch (value.kind) {
    case ValueKind::kNull:
    case ValueKind::kUnreadable:
      return;
    case ValueKind::kInteger: {
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, value.integer);
      out.append(buffer, r.ptr);
      return;
    }
    case ValueKind::kBit:
      out += value.integer != 0 ? '1' : '0';
      return;
    case ValueKind::kReal: {
      if (!std::isfinite(value.real)) return;
      const auto r = family == ValueFamily::kReal
                         ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value.real))
                         : std::to_chars(buffer, buffer + sizeof buffer, value.real);
      out.append(buffer, r.ptr);
      return;
    }
    case ValueKind::kExact:
    case ValueKind::kText:
      out += value.text;
      return;
    case ValueKind::kBinary: {
      out += "0x";
      AppendHexDigits(out, value.text);
      return;
    }
  }
}

}  // namespace ravelin
