#include "catalog/legacy_catalog.h"

#include <algorithm>

#include "catalog/data_page.h"
#include "catalog/system_catalog.h"
#include "storage/database_file.h"
#include "storage/record.h"
#include "storage/text_codec.h"

namespace ravelin {
namespace {

constexpr uint32_t kSysObjects = 1;
constexpr uint32_t kSysColumns = 3;
constexpr uint32_t kSysUsers = 10;
constexpr uint32_t kSysReferences = 14;
// syscolumns.colstat: an identity column, a computed column.
constexpr int16_t kIdentityColumn = 1;
constexpr int16_t kComputedColumn = 4;
constexpr size_t kMaxKeyColumns = 16;

// Calls `read` with every data record of the system table `objectId`.
template <typename Fn>
void ForEachRow(const CDatabaseFile& file, uint32_t objectId, Fn read) {
  CatalogLoader(file).ReadSystemTable(objectId, CatalogLoader::PageFilter::kDataPagesByHeader, [&](CDataPage& page) {
    for (const std::unique_ptr<CRecord>& record : page.records) {
      if (!record || !record->IsListed() || !record->fixedData) continue;
      if (record->recordType != kRecordPrimary && record->recordType != kRecordForwarded) continue;
      read(*record, ByteSpan(*record->fixedData));
    }
  });
}

ByteSpan VarBytes(const CRecord& record, size_t column) {
  if (record.varValues.size() <= column || !record.varValues[column].data) return {};
  return ByteSpan(*record.varValues[column].data);
}

std::vector<int16_t> ColumnIds(ByteSpan bytes, int count) {
  std::vector<int16_t> ids;
  for (int k = 0; k < count && static_cast<size_t>(k) < kMaxKeyColumns; ++k) {
    int16_t id = 0;
    if (!ReadLE(bytes, static_cast<size_t>(k) * 2, id)) break;
    ids.push_back(id);
  }
  return ids;
}

}  // namespace

std::string LegacyCatalog::OwnerOf(int32_t objectId) const {
  const auto owner = objectOwners.find(objectId);
  if (owner == objectOwners.end()) return {};
  const auto name = userNames.find(owner->second);
  return name == userNames.end() ? std::string() : name->second;
}

LegacyCatalog ReadLegacyCatalog(const CDatabaseFile& file) {
  LegacyCatalog legacy;
  // sysusers: uid at 0; the name is the first variable column.
  ForEachRow(file, kSysUsers, [&](const CRecord& record, ByteSpan fixed) {
    int16_t uid = 0;
    const ByteSpan name = VarBytes(record, 0);
    if (!ReadLE(fixed, 0, uid) || name.empty()) return;
    legacy.userNames.emplace(uid, Utf16ToUtf8(name));
  });
  // sysobjects: id at 0, uid at 8.
  ForEachRow(file, kSysObjects, [&](const CRecord&, ByteSpan fixed) {
    int32_t id = 0;
    int16_t uid = 0;
    if (ReadLE(fixed, 0, id) && ReadLE(fixed, 8, uid) && id > 0) legacy.objectOwners[id] = uid;
  });
  // syscolumns: id at 0, colid at 12, xoffset at 14, colstat at 18;
  // autoval, the second variable column, holds an identity's last value,
  // seed and increment. A damaged colstat is checked against the rest of
  // the row: only an identity column has an autoval, and a computed column
  // is not stored, so it has no place in the record.
  ForEachRow(file, kSysColumns, [&](const CRecord& record, ByteSpan fixed) {
    int32_t id = 0;
    int16_t columnId = 0, status = 0, offset = 0;
    if (!ReadLE(fixed, 0, id) || !ReadLE(fixed, 12, columnId) || !ReadLE(fixed, 18, status)) return;
    ReadLE(fixed, 14, offset);
    const ByteSpan name = VarBytes(record, 0);
    if (!name.empty()) legacy.columnNames[{id, columnId}] = Utf16ToUtf8(name);
    const ByteSpan autoval = VarBytes(record, 1);
    if ((status & kIdentityColumn) != 0 || !autoval.empty()) legacy.identities[{id, columnId}] = IdentityText(autoval);
    if ((status & kComputedColumn) != 0 && offset == 0) legacy.computedColumns.emplace(id, columnId);
  });
  // sysreferences: constid, fkeyid, rkeyid at 0, 4, 8, keycnt at 14; the
  // key columns of both sides as 16-bit ids in the two variable columns.
  ForEachRow(file, kSysReferences, [&](const CRecord& record, ByteSpan fixed) {
    LegacyReference reference;
    int16_t count = 0;
    if (!ReadLE(fixed, 0, reference.constraintId) || !ReadLE(fixed, 4, reference.parentId) ||
        !ReadLE(fixed, 8, reference.referencedId) || !ReadLE(fixed, 14, count) || count <= 0)
      return;
    reference.parentColumns = ColumnIds(VarBytes(record, 0), count);
    reference.referencedColumns = ColumnIds(VarBytes(record, 1), count);
    if (reference.parentColumns.size() == reference.referencedColumns.size() && !reference.parentColumns.empty())
      legacy.references.push_back(std::move(reference));
  });
  return legacy;
}

void ApplyLegacyKeys(const SystemCatalog& catalog, const LegacyCatalog& legacy, int32_t objectId,
                     const std::function<std::string(int32_t objectId)>& qualify,
                     std::vector<ColumnDescriptor>& columns) {
  auto column = [&](int32_t columnId) -> ColumnDescriptor* {
    for (ColumnDescriptor& d : columns)
      if (d.columnId == columnId && d.hobtColumnId != kDroppedColumnId) return &d;
    return nullptr;
  };
  for (ColumnDescriptor& d : columns) {
    const auto identity = legacy.identities.find({objectId, static_cast<int16_t>(d.columnId)});
    if (identity != legacy.identities.end() && d.identityText.empty()) d.identityText = identity->second;
  }
  // A primary or unique key constraint is the index of its name.
  for (const ObjectRow& object : catalog.objects) {
    if (object.parentId != objectId || (object.typeCode != "PK" && object.typeCode != "UQ")) continue;
    for (const LegacyIndexKey& key : catalog.legacyIndexKeys) {
      if (key.objectId != objectId || key.name != object.name) continue;
      for (size_t k = 0; k < key.keyColumns.size(); ++k) {
        ColumnDescriptor* d = column(key.keyColumns[k].columnId);
        if (!d) continue;
        if (object.typeCode == "PK") {
          d->primaryKey = 1;
        } else {
          d->uniqueConstraint = 1;
          d->keyOrdinal = static_cast<uint8_t>(k + 1);
        }
      }
      break;
    }
  }
  for (const LegacyReference& reference : legacy.references) {
    if (reference.parentId != objectId) continue;
    for (size_t k = 0; k < reference.parentColumns.size(); ++k) {
      ColumnDescriptor* d = column(reference.parentColumns[k]);
      const auto name = legacy.columnNames.find({reference.referencedId, reference.referencedColumns[k]});
      if (!d || name == legacy.columnNames.end()) continue;
      d->foreignKey = 1;
      d->referencedTable = qualify(reference.referencedId);
      d->referencedColumn = name->second;
    }
  }
}

}  // namespace ravelin
