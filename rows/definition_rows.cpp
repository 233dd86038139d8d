#include "rows/definition_rows.h"

#include <algorithm>

#include "catalog/opened_database.h"
#include "rows/table_rows.h"
#include "storage/database_file.h"
#include "storage/page.h"
#include "storage/text_codec.h"

namespace ravelin {
namespace {

// One row in the display form: id, number and value columns by layout. A
// 2000 row needs its id only; a later one at least id and number.
bool MakeEntry(const TableRow& row, bool sql2000, DefinitionEntry& entry) {
  const std::vector<std::string>& v = row.values;
  if (sql2000) {
    if (v.empty()) return false;
    entry.objectIdText = v[0];
    if (v.size() >= 2) entry.numberText = v[1];
    if (v.size() >= 5) entry.valueText = v[4];
    return true;
  }
  if (v.size() < 3) return false;
  entry.objectIdText = v[1];
  entry.numberText = v[2];
  entry.valueText = v.back();
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::vector<ColumnDescriptor> SysCommentsColumns() {
  return {MakeColumnDescriptor("id", "int", kTypeInt), MakeColumnDescriptor("number", "int", kTypeSmallInt),
          MakeColumnDescriptor("colid", "short", kTypeSmallInt), MakeColumnDescriptor("status", "short", kTypeSmallInt),
          MakeColumnDescriptor("ctext", "varbinary(-1)", kTypeVarBinary)};
}

std::vector<ColumnDescriptor> SysObjValuesColumns() {
  return {MakeColumnDescriptor("valclass", "tinyint(1)", kTypeTinyInt),
          MakeColumnDescriptor("objid", "int(4)", kTypeInt),
          MakeColumnDescriptor("subobjid", "int(4)", kTypeInt),
          MakeColumnDescriptor("valnum", "int(4)", kTypeInt),
          MakeColumnDescriptor("value", "sql_variant(8016)", kTypeSqlVariant),
          MakeColumnDescriptor("imageval", "varbinary(-1)", kTypeVarBinary)};
}

void ReadDefinitionRows(const OpenedDatabase& db, const std::vector<ColumnDescriptor>& columns, ProgressSink& sink,
                        std::vector<DefinitionEntry>& entries) {
  const CDatabaseFile& file = db.file();
  const bool sql2000 = db.catalog() && db.catalog()->IsSql2000();
  sink.AppendLogLine(kTextRetrievingDefinitions);
  const uint32_t objectId = sql2000 ? kSysCommentsObjectId : kSysObjValuesObjectId;
  std::vector<PageMapEntry> pages;
  if (auto it = file.systemPageMap.find(objectId); it != file.systemPageMap.end()) pages = it->second;
  const auto count = static_cast<int64_t>(pages.size());
  sink.SetProgressRange(0, count);

  // The pseudo-tables have no physical layout in the catalog: their
  // columns are found by position, in both layouts.
  TableRowReader reader(db, columns, ColumnReader::kPositional);
  for (int64_t i = 0; i < count && !file.stop().requested(); ++i) {
    const PageMapEntry& entry = pages[static_cast<size_t>(i)];
    // Index and allocation pages of the table hold no definition rows,
    // only records that would decode into false ones.
    if (entry.pageType != kPageTypeData) continue;
    const PageRef where = entry.ToPageRef();
    std::unique_ptr<PrimaryRecordPage> page = file.ReadDataPage(where);
    if (!page) continue;
    for (const TableRow& row : reader.ReadSystemRows(*page, where)) {
      DefinitionEntry definition;
      if (MakeEntry(row, sql2000, definition)) entries.push_back(std::move(definition));
    }
    sink.SetProgressPos(i);
  }
  sink.SetProgressPos(count);
  sink.AppendLogLine(kTextRetrievingDefinitionsDone);
}

Bytes DecodeHexValueText(const std::string& valueText) {
  Bytes bytes;
  if (valueText.size() < 2) return bytes;
  bytes.reserve((valueText.size() - 2) / 2);
  for (size_t i = 2; i + 1 < valueText.size(); i += 2) {
    const int high = HexDigit(valueText[i]);
    const int low = HexDigit(valueText[i + 1]);
    if (high < 0 || low < 0) break;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::string DefinitionPieceText(const Bytes& bytes, bool& wide) {
  wide = bytes.size() > 1 && std::find(bytes.begin() + 1, bytes.end(), uint8_t{0}) != bytes.end();
  if (!wide) return CodePageToUtf8(UpToNul(ByteSpan(bytes)), AnsiCodePage());
  // Two zero bytes end the text also when the piece has an odd length.
  Bytes terminated = bytes;
  terminated.push_back(0);
  terminated.push_back(0);
  return Utf16ToUtf8(ByteSpan(terminated), true);
}

std::string AssembleDefinition(const std::vector<DefinitionEntry>& entries, const std::string& objectIdText) {
  std::string text;
  for (const DefinitionEntry& entry : entries) {
    if (entry.objectIdText != objectIdText) continue;
    bool wide = false;
    const std::string piece = DefinitionPieceText(DecodeHexValueText(entry.valueText), wide);
    if (wide || piece != text) text += piece;
  }
  return text;
}

}  // namespace ravelin
