#include "cli/row_writer.h"

#include <algorithm>

#include "cli/json_writer.h"
#include "cli/tsv.h"
#include "export/csv_writer.h"

namespace ravelin {
namespace {

constexpr char kStatusColumn[] = "ravelin_status";

// "ravelin_status", or "ravelin_status_2", ... when a column has the name.
std::string StatusColumnName(const std::vector<RowColumn>& columns) {
  auto taken = [&](const std::string& name) {
    return std::any_of(columns.begin(), columns.end(), [&](const RowColumn& c) { return c.name == name; });
  };
  std::string name = kStatusColumn;
  for (int n = 2; taken(name); ++n) name = std::string(kStatusColumn) + "_" + std::to_string(n);
  return name;
}

void AppendJsonValue(std::string& out, const DataValue& value) {
  switch (value.kind) {
    case DataKind::kNull:
      out += "null";
      return;
    case DataKind::kUnreadable:
      out += "{\"unreadable\":true}";
      return;
    case DataKind::kBit:
      out += value.integer != 0 ? "true" : "false";
      return;
    case DataKind::kInteger:
    case DataKind::kReal:
      AppendDataText(out, value);
      return;
    default:
      out += JsonWriter::Quote(DataText(value));
      return;
  }
}

}  // namespace

RowWriter::RowWriter(Output& out, RowFormat format, std::string table, std::vector<RowColumn> columns,
                     bool statusColumn, std::optional<std::string> nullText)
    : out_(out),
      format_(format),
      table_(std::move(table)),
      columns_(std::move(columns)),
      statusColumn_(statusColumn),
      statusName_(StatusColumnName(columns_)),
      nullText_(std::move(nullText)) {
  Begin();
}

void RowWriter::Begin() {
  std::string& o = out_.buffer();
  if (format_ == RowFormat::kJson) {
    o += "{\"table\":" + JsonWriter::Quote(table_) + ",\"columns\":[";
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (i > 0) o += ',';
      o += "{\"name\":" + JsonWriter::Quote(columns_[i].name) +
           ",\"type\":" + JsonWriter::Quote(columns_[i].declaredType) + "}";
      jsonKeys_.push_back(JsonWriter::Quote(columns_[i].name) + ":");
    }
    o += "],\"rows\":[";
    if (statusColumn_) statusName_ = JsonWriter::Quote(statusName_) + ":";
    return;
  }
  const bool csv = format_ == RowFormat::kCsv;
  if (statusColumn_) {
    if (csv)
      AppendCsvField(o, statusName_);
    else
      AppendTsvField(o, statusName_);
  }
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (i > 0 || statusColumn_) o += csv ? ',' : '\t';
    if (csv)
      AppendCsvField(o, columns_[i].name);
    else
      AppendTsvField(o, columns_[i].name);
  }
  o += csv ? "\r\n" : "\n";
  out_.MaybeFlush();
}

void RowWriter::AppendField(std::string& o, const DataValue& value) {
  const bool csv = format_ == RowFormat::kCsv;
  if (value.IsNull()) {
    if (nullText_)
      o += *nullText_;
    else if (!csv)
      o += kTsvNull;
    return;
  }
  if (value.IsUnreadable()) {
    o += csv ? std::string(kCsvUnreadable) : std::string(kTsvUnreadable);
    return;
  }
  field_.clear();
  AppendDataText(field_, value);
  if (csv)
    AppendCsvField(o, field_);
  else
    AppendTsvField(o, field_);
}

void RowWriter::Write(const std::vector<const DataValue*>& values, std::string_view status) {
  std::string& o = out_.buffer();
  if (format_ == RowFormat::kJson) {
    o += rows_ == 0 ? "\n{" : ",\n{";
    bool first = true;
    if (statusColumn_) {
      o += statusName_ + JsonWriter::Quote(status);
      first = false;
    }
    for (size_t i = 0; i < values.size() && i < jsonKeys_.size(); ++i) {
      if (!first) o += ',';
      first = false;
      o += jsonKeys_[i];
      AppendJsonValue(o, *values[i]);
    }
    o += '}';
  } else {
    const bool csv = format_ == RowFormat::kCsv;
    if (statusColumn_) {
      if (csv)
        AppendCsvField(o, status);
      else
        AppendTsvField(o, status);
    }
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0 || statusColumn_) o += csv ? ',' : '\t';
      AppendField(o, *values[i]);
    }
    o += csv ? "\r\n" : "\n";
  }
  ++rows_;
  out_.MaybeFlush();
}

void RowWriter::Finish(const std::vector<std::string>& warnings) {
  if (format_ != RowFormat::kJson) return;
  std::string& o = out_.buffer();
  o += rows_ == 0 ? "]" : "\n]";
  o += ",\"warnings\":[";
  for (size_t i = 0; i < warnings.size(); ++i) {
    if (i > 0) o += ',';
    o += JsonWriter::Quote(warnings[i]);
  }
  o += "]}\n";
}

}  // namespace ravelin
