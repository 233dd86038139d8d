#include "catalog/data_page.h"

#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "catalog/catalog_types.h"
#include "storage/database_file.h"
#include "storage/page_header.h"
#include "storage/record.h"
#include "storage/text_codec.h"

namespace ravelin {
namespace {

// The helpers below copy one field of a fixed part into `out`, or leave
// `out` alone when the field does not lie wholly inside the fixed part.

template <typename T>
void Field(ByteSpan fixed, size_t offset, T& out) {
  ReadLE(fixed, offset, out);
}

// A 16-bit value stored into a wider field, sign-extended.
void Field16(ByteSpan fixed, size_t offset, int32_t& out) {
  int16_t value;
  if (ReadLE(fixed, offset, value)) out = value;
}

// An on-disk page pointer: page number, then file id.
void PointerField(ByteSpan fixed, size_t offset, PageRef& out) {
  if (offset > fixed.size() || fixed.size() - offset < 6) return;
  out = ReadDiskPageRef(fixed, offset);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// A UTF-16 text of `bytes` bytes: cut at its first zero character, with
// trailing white space removed (nchar columns are padded with blanks).
void PaddedTextField(ByteSpan fixed, size_t offset, size_t bytes, std::string& out) {
  if (offset > fixed.size() || fixed.size() - offset < bytes) return;
  std::string text = Utf16ToUtf8(fixed.subspan(offset, bytes));
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  out = std::move(text);
}

// Two 8-bit characters widened with the ANSI code page; a zero byte ends
// the code early.
void TypeCodeField(ByteSpan fixed, size_t offset, std::string& out) {
  if (offset > fixed.size() || fixed.size() - offset < 2) return;
  out = CodePageToUtf8(UpToNul(fixed.subspan(offset, 2)), AnsiCodePage());
}

// The text of variable column `column`, when the record has that column
// and its buffer is present.
std::optional<std::string> VarText(const CRecord& record, size_t column) {
  if (record.varValues.size() <= column || !record.varValues[column].data) return std::nullopt;
  return Utf16ToUtf8(*record.varValues[column].data);
}

// The fixed part, when present and at least `minimum` bytes long.
std::optional<ByteSpan> FixedPart(const CRecord& record, size_t minimum = 0) {
  if (!record.fixedData || record.fixedData->size() < minimum) return std::nullopt;
  return ByteSpan(*record.fixedData);
}

// Allocation and structure pages (GAM, SGAM, IAM, PFS, boot page, file
// header, change maps) hold no rows. Catalog tables' IAM pages are filed
// under the tables' object ids, and their bitmap records would otherwise be
// read as rows.
bool HoldsNoRows(uint32_t pageType) {
  switch (pageType) {
    case 8:
    case 9:
    case kPageTypeIam:
    case 11:
    case 13:
    case 15:
    case 16:
    case 17:
      return true;
    default:
      return false;
  }
}

// A name for a row that has none: `prefix` and the loader's counter.
std::string RepairName(const char* prefix, uint64_t& repairCounter) { return prefix + std::to_string(repairCounter++); }

// The row's name, its first variable column. A name that cannot be read is
// repaired with `missingPrefix`, an empty one with "RepairColumn".
std::string RowName(const CRecord& record, const char* missingPrefix, uint64_t& repairCounter) {
  auto name = VarText(record, 0);
  std::string text = name ? std::move(*name) : RepairName(missingPrefix, repairCounter);
  if (text.empty()) text = RepairName("RepairColumn", repairCounter);
  return text;
}

}  // namespace

// The buffer holds the column's last identity value, its seed and its
// increment, each as wide as the column's type, and a flag byte.
std::string IdentityText(ByteSpan buffer) {
  const size_t length = buffer.size();
  int64_t seed = 1;
  int64_t increment = 1;
  // 25 bytes is the bigint layout; a bigint whose last value is still 0
  // would otherwise be taken for the int layout.
  const bool bigint =
      length >= 24 && (length == 25 || (LoadLE<uint32_t>(buffer, 0) != 0 && LoadLE<uint32_t>(buffer, 4) == 0));
  if (bigint) {
    seed = LoadLE<int64_t>(buffer, 8);
    increment = LoadLE<int64_t>(buffer, 16);
  } else if (length >= 12) {
    seed = LoadLE<int32_t>(buffer, 4);
    increment = LoadLE<int32_t>(buffer, 8);
  } else if (length >= 6) {
    seed = LoadLE<int16_t>(buffer, 2);
    increment = LoadLE<int16_t>(buffer, 4);
  } else if (length >= 4) {
    // tinyint: one byte each.
    seed = LoadLE<uint8_t>(buffer, 1);
    increment = LoadLE<uint8_t>(buffer, 2);
  }
  if (increment == 0) increment = 1;
  return "identity(" + std::to_string(seed) + "," + std::to_string(increment) + ")";
}

CDataPage::CDataPage(Bytes buffer, const CDatabaseFile* databaseFile, const ReadOptions* readOptions)
    : PrimaryRecordPage(std::move(buffer), databaseFile, readOptions) {}

namespace {

// The header most records of a catalog page share: every row of a
// system table has the same fixed part and column count.
struct CommonRecordHeader {
  uint8_t status = 0;
  uint16_t fixedEnd = 0;
  int16_t columnCount = 0;
};

std::optional<CommonRecordHeader> CommonHeaderOf(const std::vector<std::unique_ptr<CRecord>>& records) {
  std::map<std::tuple<uint8_t, uint16_t, int16_t>, size_t> counts;
  size_t readable = 0;
  for (const std::unique_ptr<CRecord>& record : records) {
    if (!record || record->hasError || record->recordType != kRecordPrimary || !record->fixedData ||
        !record->recordBytes || record->recordBytes->empty())
      continue;
    ++readable;
    ++counts[{(*record->recordBytes)[0], static_cast<uint16_t>(record->fixedLength + 4), record->columnCount}];
  }
  std::optional<CommonRecordHeader> common;
  size_t best = 0;
  for (const auto& [key, count] : counts)
    if (count > best) best = count, common = CommonRecordHeader{std::get<0>(key), std::get<1>(key), std::get<2>(key)};
  // Alone, or against as many others, a header proves nothing.
  if (best < 2 || best * 2 <= readable) return std::nullopt;
  return common;
}

// The record at `offset` read again under `common`, when damage to its
// status byte or fixed-part length hid its fields: only where its column
// count stands where that header puts it.
std::unique_ptr<CRecord> SalvageRecord(const PrimaryRecordPage& page, uint16_t offset,
                                       const CommonRecordHeader& common) {
  const ByteSpan bytes = page.bytes().first(std::min<size_t>(page.bytes().size(), kPageSize));
  const size_t end = std::min<size_t>(bytes.size(), page.RecordSpaceEnd());
  if (offset < kPageHeaderSize || offset + size_t{common.fixedEnd} + 2 > end) return nullptr;
  if (LoadLE<int16_t>(bytes, offset + size_t{common.fixedEnd}) != common.columnCount) return nullptr;
  Bytes copy(bytes.begin() + offset, bytes.begin() + static_cast<std::ptrdiff_t>(end));
  copy[0] = common.status;
  copy[2] = static_cast<uint8_t>(common.fixedEnd & 0xFF);
  copy[3] = static_cast<uint8_t>(common.fixedEnd >> 8);
  auto record = std::make_unique<CPrimaryRecord>(ByteSpan(copy), &page, static_cast<uint16_t>(copy.size()), false);
  if (record->hasError || !record->fixedData) return nullptr;
  return record;
}

}  // namespace

template <typename Fn>
void CDataPage::ForEachRecord(bool skipIndexRecords, Fn read) const {
  if (!header || HoldsNoRows(header->pageType)) return;
  std::optional<std::optional<CommonRecordHeader>> common;
  // Every record the page built: the listed ones, then any the deleted-
  // record hunt found.
  for (size_t i = 0; i < records.size(); ++i) {
    const std::unique_ptr<CRecord>& record = records[i];
    if (!record || record->recordType == kRecordTextFragment) continue;
    // A row of a data page whose header damage hid its fields.
    if ((record->hasError || !record->fixedData) && i < huntedFrom && i < slotOffsets.size() &&
        header->pageType == kPageTypeData && selection != Selection::kGhosts) {
      if (!common) common = CommonHeaderOf(records);
      if (*common) {
        if (std::unique_ptr<CRecord> salvaged = SalvageRecord(*this, slotOffsets[i], **common)) {
          read(*salvaged);
          continue;
        }
      }
    }
    if (skipIndexRecords && record->recordType == kRecordIndex) continue;
    const bool ghost = record->recordType == kRecordGhostData;
    if ((selection == Selection::kLive && ghost) || (selection == Selection::kGhosts && !ghost)) continue;
    read(*record);
  }
}

void CDataPage::ReadFileRows(std::vector<DataFileInfo>& files) const {
  ForEachRecord(false, [&](const CRecord& record) {
    DataFileInfo file;
    if (auto fixed = FixedPart(record, 520)) {
      Field(*fixed, 0, file.status);
      Field16(*fixed, 4, file.fileId);
      PaddedTextField(*fixed, 6, 256, file.logicalName);
      PaddedTextField(*fixed, 262, 520, file.physicalName);
    }
    files.push_back(std::move(file));
  });
}

void CDataPage::ReadClassObjectRows(std::vector<ClassObjectRow>& rows) const {
  ForEachRecord(false, [&](const CRecord& record) {
    ClassObjectRow row;
    if (auto fixed = FixedPart(record, 10)) {
      Field(*fixed, 1, row.id);
      Field(*fixed, 5, row.status);
      if (auto name = VarText(record, 0)) row.name = std::move(*name);
    }
    rows.push_back(std::move(row));
  });
}

void CDataPage::ReadObjectRows(std::vector<ObjectRow>& rows, const std::vector<ClassObjectRow>& classObjects,
                               bool sql2000, uint64_t& repairCounter) const {
  ForEachRecord(false, [&](const CRecord& record) {
    auto fixed = FixedPart(record, 20);
    if (!fixed || LoadLE<int32_t>(*fixed, 0) <= 0) return;
    ObjectRow row;
    Field(*fixed, 0, row.objectId);
    Field(*fixed, 4, row.schemaId);
    Field(*fixed, 8, row.schemaClass);
    Field(*fixed, 9, row.status);
    TypeCodeField(*fixed, sql2000 ? 4 : 13, row.typeCode);
    Field(*fixed, sql2000 && fixed->size() >= 24 ? 24 : 15, row.parentId);
    Field(*fixed, 19, row.parentClass);
    Field(*fixed, 20, row.intProp);

    row.name = RowName(record, "Repairname", repairCounter);
    row.baseName = row.name;
    if (const char* fixedSchema = sql2000 ? nullptr : FixedSchemaName(row.schemaId)) {
      // Schemas SQL Server creates in every database keep their ids and
      // names; a damaged or lost schema row does not take them away.
      row.name = std::string(fixedSchema) + "." + row.name;
    } else {
      for (const ClassObjectRow& schema : classObjects) {
        if (schema.id == row.schemaId && schema.status == 0) {
          row.name = schema.name + "." + row.name;
          break;
        }
      }
    }
    rows.push_back(std::move(row));
  });
}

void CDataPage::ReadObjectNameRows(std::vector<ObjectNameRow>& rows, bool sql2000) const {
  if (!header || header->pageType != kPageTypeIndex || header->level != 0 || header->indexId == 1) return;
  // An index row: status byte, the fixed key columns (a class byte and a
  // schema or parent id; in the 2000 layout the owner's user id) and the
  // object id, then the name as the one variable column. The fixed part is
  // the same for every such index of a layout; the header's own figure for
  // it is not needed.
  const size_t fixedEnd = sql2000 ? 7 : 10;
  if (sql2000 && header->indexId != 2) return;
  const ByteSpan page = bytes().first(std::min<size_t>(data.size(), kPageSize));
  for (size_t i = 0; i < huntedFrom && i < slotOffsets.size(); ++i) {
    const size_t at = slotOffsets[i];
    if (at < kPageHeaderSize || at + fixedEnd + 4 > page.size()) continue;
    const uint8_t status = page[at];
    if (((status >> 1) & 7) != kRecordIndex || !(status & kStatusVarColumns)) continue;
    const uint16_t count = LoadLE<uint16_t>(page, at + fixedEnd);
    if (count < 1 || count > 4) continue;
    const size_t start = at + fixedEnd + 2 + 2 * size_t{count};
    const size_t end = at + (LoadLE<uint16_t>(page, at + fixedEnd + 2) & 0x7FFF);
    if (end < start || end > page.size() || end - start > 256 || (end - start) % 2 != 0) continue;
    ObjectNameRow row;
    row.indexId = header->indexId;
    row.objectId = LoadLE<int32_t>(page, at + fixedEnd - 4);
    if (sql2000)
      row.schemaId = LoadLE<int16_t>(page, at + 1);
    else if (row.indexId == 2)
      row.schemaId = LoadLE<int32_t>(page, at + 2);
    row.name = Utf16ToUtf8(page.subspan(start, end - start));
    if (row.objectId != 0 && !row.name.empty()) rows.push_back(std::move(row));
  }
}

void CDataPage::ReadAllocUnitRows(std::vector<AllocUnitRow>& rows) const {
  ForEachRecord(false, [&](const CRecord& record) {
    AllocUnitRow row;
    if (auto fixed = FixedPart(record, 39)) {
      Field(*fixed, 0, row.allocUnitId);
      Field(*fixed, 8, row.type);
      Field(*fixed, 9, row.ownerId);
      Field(*fixed, 17, row.status);
      Field(*fixed, 21, row.fileGroupId);
      PointerField(*fixed, 23, row.firstPage);
      PointerField(*fixed, 29, row.rootPage);
      PointerField(*fixed, 35, row.firstIamPage);
    }
    rows.push_back(row);
  });
}

std::string CompressionName(uint8_t compression) {
  static const char* const kNames[] = {"NONE", "ROW", "PAGE", "COLUMNSTORE", "COLUMNSTORE_ARCHIVE"};
  if (compression < std::size(kNames)) return kNames[compression];
  return "UNKNOWN (" + std::to_string(compression) + ")";
}

void CDataPage::ReadRowsetRows(std::vector<RowsetRow>& rows) const {
  ForEachRecord(false, [&](const CRecord& record) {
    RowsetRow row;
    if (auto fixed = FixedPart(record, 27)) {
      Field(*fixed, 0, row.rowsetId);
      Field(*fixed, 8, row.ownerType);
      Field(*fixed, 9, row.objectId);
      Field(*fixed, 13, row.indexId);
      Field(*fixed, 17, row.partitionNumber);
      Field(*fixed, 21, row.status);
      Field(*fixed, 25, row.fileGroupId);
      Field(*fixed, 27, row.rowCount);
      Field(*fixed, 35, row.compression);
    }
    rows.push_back(row);
  });
}

void CDataPage::ReadLegacyIndexRoots(std::map<int32_t, LegacyIndexRoot>& roots) const {
  const int16_t pageFileId = header ? header->thisPage.fileId : 0;
  ForEachRecord(true, [&](const CRecord& record) {
    auto fixed = FixedPart(record, 64);
    if (!fixed) return;
    LegacyIndexRoot root;
    Field(*fixed, 0, root.objectId);
    Field(*fixed, 8, root.firstPage);
    Field(*fixed, 14, root.indexId);
    Field(*fixed, 64, root.firstIamPage);
    // The first-page pointer names its own file; a table kept in a
    // secondary file would otherwise be looked for in the catalog's file.
    const int16_t rowFileId = LoadLE<int16_t>(*fixed, 12);
    root.fileId = rowFileId > 0 ? rowFileId : pageFileId;
    if (root.indexId == 1) roots[root.objectId] = root;
  });
}

void CDataPage::ReadLegacyIndexKeys(std::vector<LegacyIndexKey>& keys) const {
  ForEachRecord(true, [&](const CRecord& record) {
    auto fixed = FixedPart(record, 26);
    auto name = VarText(record, 1);
    if (!fixed || !name || name->empty()) return;
    LegacyIndexKey key;
    Field(*fixed, 0, key.objectId);
    Field(*fixed, 14, key.indexId);
    if (key.objectId <= 100) return;
    key.name = std::move(*name);
    // A heap's row (index 0) and its text and image row (255) have no key
    // but keep the table's name, the second as "t" and the name.
    if (key.indexId == 0 || key.indexId == 255) {
      keys.push_back(std::move(key));
      return;
    }
    if (!record.varValues[0].data) return;
    // The key description holds 32 bytes per column: the column's type,
    // user type, length, precision, scale and collation, at byte 16 its
    // id, at 24 its place in the record. A nonclustered index goes on with
    // the clustered key it carries to find its rows; byte 30 marks those.
    const int16_t keyCount = LoadLE<int16_t>(*fixed, 24);
    const ByteSpan description(*record.varValues[0].data);
    for (int16_t k = 0; k < keyCount; ++k) {
      const size_t at = static_cast<size_t>(k) * 32;
      if (at + 32 > description.size() || description[at + 30] != 0) break;
      LegacyKeyColumn column;
      column.columnId = LoadLE<int16_t>(description, at + 16);
      column.systemTypeId = description[at];
      column.length = LoadLE<int16_t>(description, at + 4);
      column.precision = description[at + 6];
      column.scale = description[at + 7];
      column.collationId = LoadLE<int32_t>(description, at + 8);
      column.offset = LoadLE<int16_t>(description, at + 24);
      key.keyColumns.push_back(column);
    }
    if (!key.keyColumns.empty()) keys.push_back(std::move(key));
  });
}

void CDataPage::ReadLegacyCommentRows(std::vector<LegacyCommentRow>& rows) const {
  ForEachRecord(true, [&](const CRecord& record) {
    auto fixed = FixedPart(record, 10);
    if (!fixed || record.varValues.empty() || !record.varValues[0].data) return;
    LegacyCommentRow row;
    Field(*fixed, 0, row.objectId);
    Field(*fixed, 4, row.number);
    Field(*fixed, 6, row.pieceId);
    Field(*fixed, 8, row.status);
    if (row.objectId <= 100) return;
    const ByteSpan text(*record.varValues[0].data);
    row.text.assign(text.begin(), text.end());
    rows.push_back(std::move(row));
  });
}

void CDataPage::ReadLegacyColumnRows(std::vector<LegacyColumnRow>& rows, uint64_t& repairCounter) const {
  ForEachRecord(true, [&](const CRecord& record) {
    LegacyColumnRow row;
    if (auto fixed = FixedPart(record)) {
      Field(*fixed, 0, row.objectId);
      Field(*fixed, 4, row.systemTypeId);
      Field(*fixed, 5, row.typeStatus);
      Field(*fixed, 6, row.userTypeId);
      Field(*fixed, 8, row.length);
      Field(*fixed, 10, row.precision);
      Field(*fixed, 11, row.scale);
      Field(*fixed, 12, row.columnId);
      Field(*fixed, 14, row.fixedOffset);
      Field(*fixed, 16, row.bitPosition);
      Field(*fixed, 17, row.reserved);
      Field(*fixed, 18, row.columnStatus);
      Field(*fixed, 20, row.defaultIdLow);
      Field(*fixed, 24, row.domain);
      Field(*fixed, 28, row.number);
      Field(*fixed, 30, row.columnOrder);
      Field(*fixed, 32, row.offset);
      // Older rows end before the collation.
      if (record.columnCount > 20) {
        Field(*fixed, 34, row.collationId);
        Field(*fixed, 42, row.status);
      }
      row.name = RowName(record, "RepairColumn", repairCounter);
    }
    rows.push_back(std::move(row));
  });
}

void CDataPage::ReadColumnRows(std::vector<ColumnRow>& rows, uint64_t& repairCounter) const {
  ForEachRecord(true, [&](const CRecord& record) {
    ColumnRow row;
    if (auto fixed = FixedPart(record, 37)) {
      Field(*fixed, 0, row.objectId);
      Field(*fixed, 4, row.number);
      Field(*fixed, 6, row.columnId);
      Field(*fixed, 10, row.systemTypeId);
      Field(*fixed, 11, row.userTypeId);
      Field(*fixed, 15, row.length);
      Field(*fixed, 17, row.precision);
      Field(*fixed, 18, row.scale);
      Field(*fixed, 19, row.collationId);
      Field(*fixed, 23, row.status);
      Field(*fixed, 27, row.maxInRowLength);
      Field(*fixed, 29, row.xmlNamespaceId);
      Field(*fixed, 33, row.defaultObjectId);
      Field(*fixed, 37, row.checkObjectId);

      row.name = RowName(record, "RepairColumn", repairCounter);
      if (row.status == 5 && record.varValues.size() >= 2) {
        const auto& identity = record.varValues[1].data;
        row.identityText = IdentityText(identity ? ByteSpan(*identity) : ByteSpan());
      }
    }
    rows.push_back(std::move(row));
  });
}

void CDataPage::ReadTypeRows(std::vector<TypeRow>& rows) const {
  ForEachRecord(false, [&](const CRecord& record) {
    auto fixed = FixedPart(record);
    if (!fixed) return;
    TypeRow row;
    if (fixed->size() >= 34) {
      Field(*fixed, 0, row.typeId);
      Field(*fixed, 4, row.schemaId);
      Field(*fixed, 8, row.systemTypeId);
      Field(*fixed, 9, row.length);
      Field(*fixed, 11, row.precision);
      Field(*fixed, 12, row.scale);
      Field(*fixed, 13, row.collationId);
      Field(*fixed, 17, row.status);
    }
    if (auto name = VarText(record, 0)) row.name = std::move(*name);
    rows.push_back(std::move(row));
  });
}

void CDataPage::ReadRowsetColumnRows(std::vector<RowsetColumnRow>& rows) const {
  ForEachRecord(false, [&](const CRecord& record) {
    RowsetColumnRow row;
    if (auto fixed = FixedPart(record, 48)) {
      Field(*fixed, 0, row.rowsetId);
      Field(*fixed, 8, row.rowsetColumnId);
      Field(*fixed, 12, row.hobtColumnId);
      Field(*fixed, 16, row.modifiedCount);
      Field(*fixed, 24, row.typeInfo);
      Field(*fixed, 28, row.columnId);
      Field(*fixed, 32, row.orderKey);
      Field(*fixed, 34, row.maxInRowLength);
      Field(*fixed, 36, row.status);
      Field(*fixed, 40, row.offset);
      Field(*fixed, 44, row.nullBit);
      Field(*fixed, 48, row.bitPosition);
    }
    rows.push_back(row);
  });
}

void CDataPage::ReadObjectRefRows(std::vector<ObjectRefRow>& rows) const {
  ForEachRecord(false, [&](const CRecord& record) {
    auto fixed = FixedPart(record);
    if (!fixed) return;
    ObjectRefRow row;
    Field(*fixed, 0, row.refClass);
    Field(*fixed, 1, row.dependentId);
    Field(*fixed, 5, row.dependentSubId);
    Field(*fixed, 9, row.independentId);
    Field(*fixed, 13, row.independentSubId);
    Field(*fixed, 17, row.status);
    rows.push_back(row);
  });
}

void CDataPage::ReadIndexRows(std::vector<IndexRow>& rows) const {
  ForEachRecord(false, [&](const CRecord& record) {
    auto fixed = FixedPart(record);
    if (!fixed) return;
    IndexRow row;
    if (fixed->size() >= 27) {
      Field(*fixed, 0, row.objectId);
      Field(*fixed, 4, row.indexId);
      Field(*fixed, 8, row.status);
      Field(*fixed, 12, row.intProp);
      Field(*fixed, 16, row.fillFactor);
      Field(*fixed, 17, row.indexType);
      Field(*fixed, 18, row.tinyProp);
      Field(*fixed, 19, row.dataSpaceId);
      Field(*fixed, 23, row.lobDataSpaceId);
      Field(*fixed, 27, row.rowsetId);
    }
    if (auto name = VarText(record, 0)) row.name = std::move(*name);
    rows.push_back(std::move(row));
  });
}

void CDataPage::ReadIndexColumnRows(std::vector<IndexColumnRow>& rows) const {
  ForEachRecord(false, [&](const CRecord& record) {
    IndexColumnRow row;
    if (auto fixed = FixedPart(record, 21)) {
      Field(*fixed, 0, row.objectId);
      Field(*fixed, 4, row.indexId);
      Field(*fixed, 8, row.indexColumnId);
      Field(*fixed, 12, row.status);
      Field(*fixed, 16, row.columnId);
      Field(*fixed, 20, row.keyOrdinal);
      Field(*fixed, 21, row.partitionOrdinal);
    }
    rows.push_back(row);
  });
}

void CDataPage::ReadHobtColumnRows(std::vector<HobtColumnRow>& rows) const {
  ForEachRecord(false, [&](const CRecord& record) {
    HobtColumnRow row;
    if (auto fixed = FixedPart(record)) {
      Field(*fixed, 0, row.hobtId);
      Field(*fixed, 8, row.hobtColumnId);
      Field(*fixed, 18, row.systemTypeId);
      Field(*fixed, 19, row.length);
      Field(*fixed, 21, row.precision);
      Field(*fixed, 22, row.scale);
      Field(*fixed, 23, row.collationId);
      Field(*fixed, 27, row.leafOffset);
      Field(*fixed, 33, row.nullBit);
    }
    rows.push_back(row);
  });
}

void CDataPage::ReadRowsetColumnMapRows(std::vector<RowsetColumnMapRow>& rows) const {
  ForEachRecord(false, [&](const CRecord& record) {
    RowsetColumnMapRow row;
    if (auto fixed = FixedPart(record)) {
      Field(*fixed, 0, row.rowsetId);
      Field(*fixed, 8, row.rowsetColumnId);
      Field(*fixed, 12, row.hobtColumnId);
    }
    rows.push_back(row);
  });
}

}  // namespace ravelin
