// Writes the export as CSV files.

#include "export/csv_writer.h"

namespace ravelin {

void AppendCsvField(std::string& out, std::string_view field) {
  if (!field.empty() && field != kCsvUnreadable && field.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
}

bool CsvWriter::DoBegin(std::string& error) {
  if (layout_ == Layout::kSingleFile)
    return CheckOutputFile(output().path, output().force, run().inputFiles, error) && file_.Open(output().path, error);
  return CheckOutputFolder(output().path, output().force, error) && folder_.Create(output().path, error);
}

bool CsvWriter::DoBeginTable(std::string& error) {
  const ExportTable& t = table();
  if (layout_ == Layout::kSingleFile) {
    if (tablesBegun_++ > 0) {
      error = "export: a CSV file holds one table";
      return false;
    }
    current().outputName = output().path;
  } else {
    const std::string name = fileNames_.Claim(CsvFileStem(t.schema, t.name), ".csv");
    const std::string target = output().path + "/" + name;
    if (IsInputFile(target, run().inputFiles)) {
      error = target + " is a file of the database being read; it is never written";
      return false;
    }
    if (!file_.Open(folder_.Inside(name), error, target)) return false;
    current().outputName = name;
  }
  std::string& o = file_.buffer();
  UniqueNames columns;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (i > 0) o += ',';
    AppendCsvField(o, t.columns[i].name);
    columns.Reserve(t.columns[i].name);
  }
  if (run().withStatus) {
    o += ',';
    AppendCsvField(o, columns.Claim("ravelin_status"));
  }
  o += "\r\n";
  return file_.MaybeFlush(error);
}

bool CsvWriter::DoWriteRow(std::span<const ExportValue> values, RowStatus status, std::string& error) {
  std::string& o = file_.buffer();
  const std::vector<ExportColumn>& columns = table().columns;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) o += ',';
    const ExportValue& v = values[i];
    if (v.kind == ValueKind::kNull) continue;
    if (IsUnreadable(v)) {
      o += kCsvUnreadable;
      continue;
    }
    field_.clear();
    const ValueFamily family = columns[i].family == ValueFamily::kSqlVariant ? v.variantFamily : columns[i].family;
    AppendDataText(field_, v, family);
    AppendCsvField(o, field_);
  }
  if (run().withStatus) {
    o += ',';
    AppendCsvField(o, RowStatusText(status));
  }
  o += "\r\n";
  return file_.MaybeFlush(error);
}

bool CsvWriter::DoEndTable(std::string& error) {
  // A folder's file is complete now; the single file waits for Finish.
  return layout_ == Layout::kSingleFile ? file_.Flush(error) : file_.Commit(false, error);
}

bool CsvWriter::DoFinish(bool stopped, std::string& error) {
  if (stopped) {
    DoAbort();
    return true;
  }
  if (layout_ == Layout::kSingleFile) {
    if (tablesBegun_ == 0) {
      error = "export: no table was written to " + output().path;
      return false;
    }
    return file_.Commit(output().force, error);
  }
  return folder_.Commit(output().force, run().inputFiles, error);
}

void CsvWriter::DoAbort() {
  file_.Discard();
  folder_.Discard();
}

}  // namespace ravelin
