// ravelin rows FILE TABLE: every row of one table, as TSV, CSV or JSON, for
// users who want the data out of a damaged file.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "cli/cli_context.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/terminal_sink.h"
#include "cli/tsv.h"
#include "recovery/recovery_settings.h"
#include "rows/table_rows.h"

namespace ravelin {
namespace {

struct RowsOptions {
  std::string file;
  std::string table;
  std::string mode = "standard";
  std::string format = "tsv";
  int64_t limit = -1;
  bool deleted = false;
  bool deletedAdvanced = false;
  bool quiet = false;
};

// Writes rows in one of the output formats, buffering Cli().out.
class RowWriter {
 public:
  RowWriter(std::string format, std::vector<std::string> header) : format_(std::move(format)) {
    if (format_ == "json") {
      names_ = std::move(header);
      out_ = "[";
      return;
    }
    std::vector<const std::string*> fields;
    for (const std::string& name : header) fields.push_back(&name);
    WriteLine(fields);
  }
  ~RowWriter() { Flush(); }

  void Write(const std::vector<const std::string*>& values) {
    if (format_ == "json") {
      JsonWriter json;
      json.BeginObject();
      for (size_t i = 0; i < values.size() && i < names_.size(); ++i) {
        json.Key(names_[i]);
        if (*values[i] == kNullText)
          json.Null();
        else
          json.String(*values[i]);
      }
      json.EndObject();
      out_ += rows_++ == 0 ? "\n" : ",\n";
      out_ += json.str();
    } else {
      WriteLine(values);
    }
    if (out_.size() > (1u << 16)) Flush();
  }

  void Finish() {
    if (format_ == "json") out_ += rows_ == 0 ? "]\n" : "\n]\n";
    Flush();
  }

 private:
  void WriteLine(const std::vector<const std::string*>& fields) {
    const bool csv = format_ == "csv";
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) out_ += csv ? ',' : '\t';
      if (csv)
        AppendCsv(*fields[i]);
      else
        AppendTsvField(out_, *fields[i]);
    }
    out_ += csv ? "\r\n" : "\n";
  }

  void AppendCsv(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
      out_ += field;
      return;
    }
    out_ += '"';
    for (char c : field) {
      if (c == '"') out_ += '"';
      out_ += c;
    }
    out_ += '"';
  }

  void Flush() {
    if (!out_.empty()) std::fwrite(out_.data(), 1, out_.size(), Cli().out);
    out_.clear();
  }

  std::string format_;
  std::vector<std::string> names_;
  std::string out_;
  size_t rows_ = 0;
};

// The table named `name`. The 2000 layout names tables without their
// owner; "dbo.Orders" then finds "Orders" when no table has the full name.
const ObjectRow* FindTable(const SystemCatalog& catalog, const std::string& name) {
  for (const ObjectRow& row : catalog.objects)
    if (row.name == name && IsTableTypeCode(row.typeCode)) return &row;
  const size_t dot = name.find('.');
  if (!catalog.IsSql2000() || dot == std::string::npos) return nullptr;
  const std::string bare = name.substr(dot + 1);
  for (const ObjectRow& row : catalog.objects)
    if (row.name == bare && IsTableTypeCode(row.typeCode)) return &row;
  return nullptr;
}

void WarnAbout(const TableRow& row, const RowColumnSet& columns, uint64_t rowNumber) {
  const PageRef page = row.location.page;
  if (row.forwardUnreadable)
    std::fprintf(Cli().err, "warning: row %llu (page %d:%d slot %d): its forwarded record cannot be read\n",
                 static_cast<unsigned long long>(rowNumber), page.fileId, page.pageNo, row.location.slot);
  for (const ValueIssue& issue : row.issues) {
    const char* what = issue.truncated ? "is longer than can be assembled and was cut short"
                                       : "is incomplete: some of its parts cannot be read";
    std::fprintf(Cli().err, "warning: row %llu (page %d:%d slot %d), column %s: the large value %s\n",
                 static_cast<unsigned long long>(rowNumber), page.fileId, page.pageNo, row.location.slot,
                 columns[issue.column].name.c_str(), what);
  }
}

int RunRows(const RowsOptions& o) {
  const CollationTable collations = LoadCollationTable(ExecutableFolder() + "collation.txt");
  TerminalSink sink(o.quiet, false);
  OpenRequest request;
  request.path = o.file;
  request.env = Cli().env;
  request.options.mode = o.mode == "advanced" ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
  request.options.showDeleted = o.deleted || o.deletedAdvanced;
  request.options.huntDeleted = o.deletedAdvanced;
  request.collations = &collations;
  std::unique_ptr<OpenedDatabase> db = OpenedDatabase::Open(request, sink, StopToken());
  if (!db) {
    sink.Finish();
    return 1;
  }
  SystemCatalog& catalog = *db->catalog();
  const ObjectRow* table = FindTable(catalog, o.table);
  if (!table) {
    sink.Finish();
    std::fprintf(Cli().err, "Table %s not found in %s.\n", o.table.c_str(), o.file.c_str());
    return 1;
  }
  const std::string name = table->name;
  const std::string typeCode = table->typeCode;
  const std::vector<ColumnDescriptor> columns = catalog.PrepareObject(name, typeCode, {});
  if (!catalog.isTable) {
    sink.Finish();
    std::fprintf(Cli().err, "Table %s cannot be prepared: its columns are not in the catalog.\n", name.c_str());
    return 1;
  }

  std::vector<size_t> shown;
  std::vector<std::string> header;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].hobtColumnId == kDroppedColumnId) continue;
    shown.push_back(i);
    header.push_back(columns[i].name);
  }

  const TablePageList pages = CollectListingPages(db->file(), catalog);
  TableRowReader reader(*db, columns, ChooseColumnReader(catalog));
  reader.SetListingPages(pages);
  reader.SetRecordShape(catalog.DescribeRecordShape(columns), &sink, name);
  if (std::optional<Warning> broken = ListingWarning(pages, name)) sink.ReportWarning(*broken);
  sink.SetProgressRange(0, static_cast<int64_t>(pages.size()));

  RowWriter writer(o.format, header);
  std::vector<const std::string*> values(shown.size());
  uint64_t written = 0;
  bool full = o.limit == 0;
  for (size_t p = 0; p < pages.size() && !full; ++p) {
    for (const TableRow& row : reader.ReadPageRows(pages.pages[p])) {
      if (o.limit >= 0 && written >= static_cast<uint64_t>(o.limit)) {
        full = true;
        break;
      }
      for (size_t k = 0; k < shown.size(); ++k) values[k] = &row.values[shown[k]];
      writer.Write(values);
      ++written;
      if (row.forwardUnreadable || !row.issues.empty()) WarnAbout(row, reader.columns(), written);
    }
    sink.SetProgressPos(static_cast<int64_t>(p + 1));
  }
  sink.Finish();
  writer.Finish();
  return 0;
}

}  // namespace

void AddRowsCommand(CLI::App& app, int& exitCode) {
  auto o = std::make_shared<RowsOptions>();
  CLI::App* cmd = app.add_subcommand("rows", "List every row of one table");
  cmd->add_option("FILE", o->file, "Primary data file (.mdf)")->required();
  cmd->add_option("TABLE", o->table, "Table name with its schema, e.g. dbo.Orders")->required();
  cmd->add_option("--mode", o->mode, "standard: follow the allocation structures; advanced: every page the scan found")
      ->check(CLI::IsMember({"standard", "advanced"}));
  cmd->add_flag("--deleted", o->deleted, "Also list deleted (ghost) records");
  cmd->add_flag("--deleted-advanced", o->deletedAdvanced,
                "Also hunt for records the slot array no longer lists (implies --deleted)");
  cmd->add_option("--format", o->format, "Output format")->check(CLI::IsMember({"tsv", "csv", "json"}));
  cmd->add_option("--limit", o->limit, "List at most this many rows")->check(CLI::NonNegativeNumber);
  cmd->add_flag("--quiet", o->quiet, "No status texts or progress bar");
  cmd->callback([o, &exitCode] { exitCode = RunRows(*o); });
}

}  // namespace ravelin
