// T-SQL literals and safe type texts for the script export.

#include "export/tsql_text.h"

#include <charconv>
#include <cmath>

#include "export/export_names.h"
#include "storage/bytes.h"

namespace ravelin {
namespace {

// Longer texts may exceed nvarchar(4000) once pieces are joined.
constexpr size_t kShortText = 3000;

bool IsControl(unsigned char c) { return c < 0x20 && c != '\t'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool IsGuidText(std::string_view text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !IsHexDigit(text[i])) return false;
  }
  return true;
}

// Digits, '-', ':', '.', '+', 'T' and blanks only.
bool IsDateTimeText(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!IsDigit(c) && c != '-' && c != ':' && c != '.' && c != '+' && c != ' ' && c != 'T') return false;
  return true;
}

// The data text in the ISO 8601 form SQL Server reads independently of
// the session's language: "T" between date and time, no blank before the
// offset.
std::string IsoDateTime(std::string_view text, ValueFamily family) {
  std::string iso(text);
  if (family == ValueFamily::kDate || family == ValueFamily::kTime) return iso;
  if (iso.size() > 10 && iso[10] == ' ') iso[10] = 'T';
  if (family == ValueFamily::kDateTimeOffset) {
    const size_t sign = iso.find_last_of("+-");
    if (sign != std::string::npos && sign > 11 && iso[sign - 1] == ' ') iso.erase(sign - 1, 1);
  }
  return iso;
}

void AppendReal(std::string& out, double value, ValueFamily family) {
  char buffer[40];
  const auto r = family == ValueFamily::kReal ? std::to_chars(buffer, buffer + 32, static_cast<float>(value))
                                              : std::to_chars(buffer, buffer + 32, value);
  const std::string_view text(buffer, static_cast<size_t>(r.ptr - buffer));
  out += text;
  if (text.find_first_of("eE") == std::string_view::npos) out += "E0";
}

void AppendBinary(std::string& out, const std::string& bytes) {
  out += "0x";
  AppendHexDigits(out, bytes);
}

void AppendCast(std::string& out, std::string_view inner, std::string_view type) {
  out += "CAST(";
  out += inner;
  out += " AS ";
  out += SafeTypeText(type);
  out += ')';
}

// The literal without the sql_variant wrapping; true when it already is a
// CAST to `declaredType`.
bool AppendPlainLiteral(std::string& out, const ExportValue& value, ValueFamily family, std::string_view declaredType) {
  switch (value.kind) {
    case ValueKind::kNull:
      out += "NULL";
      return false;
    case ValueKind::kUnreadable:
      out += "NULL /* unreadable */";
      return false;
    case ValueKind::kInteger: {
      char buffer[24];
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, value.integer);
      out.append(buffer, r.ptr);
      return false;
    }
    case ValueKind::kBit:
      out += value.integer != 0 ? '1' : '0';
      return false;
    case ValueKind::kReal:
      if (!std::isfinite(value.real)) {
        out += "NULL /* unreadable */";
        return false;
      }
      AppendReal(out, value.real, family);
      return false;
    case ValueKind::kExact:
      if (IsDecimalText(value.text))
        out += value.text;
      else
        AppendNString(out, value.text);
      return false;
    case ValueKind::kText:
      if (IsDateTimeFamily(family) && IsDateTimeText(value.text)) {
        AppendCast(out, "'" + IsoDateTime(value.text, family) + "'", declaredType);
        return true;
      }
      if (family == ValueFamily::kUniqueIdentifier && IsGuidText(value.text)) {
        out += '\'';
        out += value.text;
        out += '\'';
        return false;
      }
      AppendNString(out, value.text);
      return false;
    case ValueKind::kBinary:
      if (family == ValueFamily::kOther) {
        std::string bytes;
        AppendBinary(bytes, value.text);
        AppendCast(out, bytes, declaredType);
        return true;
      }
      AppendBinary(out, value.text);
      return false;
  }
  return false;
}

bool IsTypeNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_' || c == '.';
}

}  // namespace

bool IsDecimalText(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && text[i] == '-') ++i;
  const size_t digits = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  if (i == digits) return false;
  if (i == text.size()) return true;
  if (text[i] != '.') return false;
  const size_t fraction = ++i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i == text.size() && i > fraction;
}

std::string SafeTypeText(std::string_view declared) {
  // name [ "(" (max | digits) [ "," digits ] ")" ]
  size_t i = 0;
  while (i < declared.size() && IsTypeNameChar(declared[i])) ++i;
  bool ok = i > 0 && !IsDigit(declared[0]) && declared[0] != '.';
  if (ok && i < declared.size()) {
    ok = declared[i] == '(' && declared.back() == ')';
    const std::string_view inside = ok ? declared.substr(i + 1, declared.size() - i - 2) : std::string_view();
    if (ok && inside != "max" && inside != "MAX") {
      int commas = 0;
      bool digit = false;
      for (char c : inside) {
        if (IsDigit(c))
          digit = true;
        else if (c == ',')
          ++commas;
        else if (c != ' ')
          ok = false;
      }
      ok = ok && digit && commas <= 1;
    }
  }
  return ok ? std::string(declared) : TsqlName(declared);
}

void AppendNString(std::string& out, std::string_view text) {
  size_t controls = 0;
  for (unsigned char c : text) controls += IsControl(c) ? 1 : 0;
  if (controls == 0) {
    out.reserve(out.size() + text.size() + 3);
    out += "N'";
    for (char c : text) {
      out += c;
      if (c == '\'') out += '\'';
    }
    out += '\'';
    return;
  }
  bool first = true;
  if (text.size() > kShortText) {
    out += "CAST(N'' AS nvarchar(max))";
    first = false;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && !IsControl(static_cast<unsigned char>(text[end]))) ++end;
    if (end > start) {
      if (!first) out += '+';
      first = false;
      out += "N'";
      for (char c : text.substr(start, end - start)) {
        out += c;
        if (c == '\'') out += '\'';
      }
      out += '\'';
    }
    for (; end < text.size() && IsControl(static_cast<unsigned char>(text[end])); ++end) {
      if (!first) out += '+';
      first = false;
      out += "NCHAR(";
      out += std::to_string(static_cast<unsigned char>(text[end]));
      out += ')';
    }
    start = end;
  }
}

void AppendTsqlLiteral(std::string& out, const ExportValue& value, ValueFamily family, std::string_view declaredType) {
  if (family != ValueFamily::kSqlVariant || value.variantType.empty() || value.kind == ValueKind::kNull ||
      IsUnreadable(value)) {
    AppendPlainLiteral(out, value, family, declaredType);
    return;
  }
  std::string inner;
  if (AppendPlainLiteral(inner, value, value.variantFamily, value.variantType))
    out += inner;
  else
    AppendCast(out, inner, value.variantType);
}

std::string CommentText(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return out;
}

}  // namespace ravelin
