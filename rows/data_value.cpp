#include "rows/data_value.h"

#include <charconv>
#include <cmath>

#include "storage/bytes.h"

namespace ravelin {

DataValue DataValue::Unreadable() {
  DataValue v;
  v.kind = DataKind::kUnreadable;
  return v;
}

DataValue DataValue::Integer(int64_t value) {
  DataValue v;
  v.kind = DataKind::kInteger;
  v.integer = value;
  return v;
}

DataValue DataValue::Bit(bool value) {
  DataValue v;
  v.kind = DataKind::kBit;
  v.integer = value ? 1 : 0;
  return v;
}

DataValue DataValue::Real(double value, bool single) {
  // No SQL Server float holds an infinity or not-a-number: such bytes are
  // damage.
  if (!std::isfinite(value)) return Unreadable();
  DataValue v;
  v.kind = DataKind::kReal;
  v.real = value;
  v.single = single;
  return v;
}

DataValue DataValue::Exact(std::string digits) {
  DataValue v;
  v.kind = DataKind::kExact;
  v.text = std::move(digits);
  return v;
}

DataValue DataValue::Text(std::string utf8) {
  DataValue v;
  v.kind = DataKind::kText;
  v.text = std::move(utf8);
  return v;
}

DataValue DataValue::PartlyUnreadable(std::string utf8WithMarker) {
  DataValue v = Text(std::move(utf8WithMarker));
  v.partial = true;
  return v;
}

DataValue DataValue::Binary(std::string_view bytes) {
  DataValue v;
  v.kind = DataKind::kBinary;
  v.text.assign(bytes);
  return v;
}

std::string ShortestRealText(double value, bool single) {
  if (!std::isfinite(value)) return {};
  char buffer[32];
  const auto r = single ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value))
                        : std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

void AppendDataText(std::string& out, const DataValue& value) {
  switch (value.kind) {
    case DataKind::kNull:
    case DataKind::kUnreadable:
      return;
    case DataKind::kInteger: {
      char buffer[24];
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, value.integer);
      out.append(buffer, r.ptr);
      return;
    }
    case DataKind::kBit:
      out += value.integer != 0 ? '1' : '0';
      return;
    case DataKind::kReal:
      out += ShortestRealText(value.real, value.single);
      return;
    case DataKind::kExact:
    case DataKind::kText:
      out += value.text;
      return;
    case DataKind::kBinary: {
      out += "0x";
      AppendHexDigits(out, value.text);
      return;
    }
  }
}

std::string DataText(const DataValue& value) {
  std::string out;
  AppendDataText(out, value);
  return out;
}

}  // namespace ravelin
