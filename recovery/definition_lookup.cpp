#include "recovery/definition_lookup.h"

#include <algorithm>

#include "catalog/system_catalog.h"
#include "recovery/definitions.h"
#include "storage/text_codec.h"

namespace ravelin {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

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

std::string LookUpDefinition(RecoveryState& state, ProgressSink& sink, const std::string& objectIdText) {
  SystemCatalog* catalog = state.catalog();
  CDatabaseFile* file = state.database();
  if (!catalog || !file) return {};
  RemoveRecordColumns(state.view(), static_cast<int>(catalog->tableColumns.size()));
  catalog->tableColumns.clear();

  const bool sql2000 = catalog->IsSql2000();
  if (!sql2000)
    catalog->columnDescriptors = SysObjValuesColumns();
  else if (catalog->columnDescriptors.empty())
    catalog->columnDescriptors = SysCommentsColumns();
  if (!state.lookupLoaded) {
    state.lookupLoaded = true;
    ReadDefinitionRows(*file, catalog->columnDescriptors, sql2000, sink, state.lookupDefinitions);
    if (state.lookupDefinitions.empty()) state.lookupLoaded = false;
  }
  std::string text = AssembleDefinition(state.lookupDefinitions, objectIdText);
  catalog->columnDescriptors.clear();
  return text;
}

}  // namespace ravelin
