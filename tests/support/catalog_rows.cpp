#include "support/catalog_rows.h"

#include <algorithm>
#include <stdexcept>

namespace ravelin::testing {
namespace {

// A fixed part of `size` zero bytes, filled field by field.
class FixedPart {
 public:
  explicit FixedPart(size_t size) : bytes_(size, 0) {}
  FixedPart& At(size_t offset, const Bytes& value) {
    if (offset + value.size() > bytes_.size()) throw std::out_of_range("field beyond the fixed part");
    std::copy(value.begin(), value.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
  }
  FixedPart& U8(size_t offset, uint8_t v) { return At(offset, Bytes{v}); }
  FixedPart& I16(size_t offset, int16_t v) { return At(offset, LE16(static_cast<uint16_t>(v))); }
  FixedPart& I32(size_t offset, int32_t v) { return At(offset, LE32(static_cast<uint32_t>(v))); }
  FixedPart& I64(size_t offset, int64_t v) { return At(offset, LE64(static_cast<uint64_t>(v))); }
  FixedPart& Pointer(size_t offset, PageRef ref) { return At(offset, DiskPageRef(ref)); }
  FixedPart& Chars(size_t offset, const std::string& text) { return At(offset, Ascii(text)); }
  Bytes bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// An nchar(n) value: UTF-16, padded with blanks.
Bytes NChar(const std::string& text, size_t characters) {
  Bytes out = Utf16(text);
  out.resize(std::min(out.size(), 2 * characters));
  while (out.size() < 2 * characters) out.insert(out.end(), {0x20, 0x00});
  return out;
}

Bytes WithName(const Bytes& fixed, const std::optional<std::string>& name) {
  RecordBuilder record;
  record.Fixed(fixed);
  if (name) record.Var(Utf16(*name));
  return record.Build();
}

}  // namespace

Bytes SysFiles1Row::Fixed() const {
  return FixedPart(782)
      .I32(0, status)
      .I16(4, fileId)
      .At(6, NChar(logicalName, 128))
      .At(262, NChar(physicalName, 260))
      .bytes();
}
Bytes SysFiles1Row::Build() const { return RecordBuilder().Fixed(Fixed()).Build(); }

Bytes SysClsObjsRow::Fixed() const {
  return FixedPart(31).U8(0, classId).I32(1, id).I32(5, status).Chars(9, "SC").bytes();
}
Bytes SysClsObjsRow::Build() const { return WithName(Fixed(), name); }

Bytes SysSchObjsRow::Fixed() const {
  return FixedPart(40)
      .I32(0, id)
      .I32(4, schemaId)
      .U8(8, schemaClass)
      .I32(9, status)
      .Chars(13, type.substr(0, 2))
      .I32(15, parentId)
      .U8(19, parentClass)
      .I32(20, intProp)
      .bytes();
}
Bytes SysSchObjsRow::Build() const { return WithName(Fixed(), name); }

Bytes SysObjectsRow::Fixed() const {
  return FixedPart(38).I32(0, id).Chars(4, type.substr(0, 2)).I16(8, userId).I32(24, parentId).bytes();
}
Bytes SysObjectsRow::Build() const { return WithName(Fixed(), name); }

Bytes SysAllocUnitsRow::Fixed() const {
  return FixedPart(69)
      .I64(0, allocUnitId)
      .U8(8, type)
      .I64(9, ownerId)
      .I32(17, status)
      .I16(21, fileGroupId)
      .Pointer(23, firstPage)
      .Pointer(29, rootPage)
      .Pointer(35, firstIamPage)
      .bytes();
}
Bytes SysAllocUnitsRow::Build() const { return RecordBuilder().Fixed(Fixed()).Build(); }

Bytes SysRowsetsRow::Fixed() const {
  return FixedPart(53)
      .I64(0, rowsetId)
      .U8(8, ownerType)
      .I32(9, objectId)
      .I32(13, indexId)
      .I32(17, partitionNumber)
      .I32(21, status)
      .I16(25, fileGroupId)
      .I64(27, rowCount)
      .U8(35, compression)
      .bytes();
}
Bytes SysRowsetsRow::Build() const { return RecordBuilder().Fixed(Fixed()).Build(); }

Bytes SysIndexesRow::Fixed() const {
  return FixedPart(78)
      .I32(0, objectId)
      .Pointer(8, firstPage)
      .I16(14, indexId)
      .Pointer(16, firstPage)  // root
      .Pointer(64, firstIamPage)
      .bytes();
}
Bytes SysIndexesRow::Build() const { return WithName(Fixed(), name); }

Bytes SysColumnsRow::Fixed() const {
  return FixedPart(42)
      .I32(0, objectId)
      .U8(4, systemTypeId)
      .U8(5, typeStatus)
      .I16(6, userTypeId)
      .I16(8, length)
      .U8(10, precision)
      .U8(11, scale)
      .I16(12, columnId)
      .I16(14, fixedOffset)
      .I16(18, columnStatus)
      .I16(28, number)
      .I16(30, columnOrder)
      .I16(32, offset)
      .I32(34, collationId)
      .bytes();
}
Bytes SysColumnsRow::Build() const {
  RecordBuilder record;
  record.Fixed(Fixed()).ColumnCount(columnCount);
  if (name) record.Var(Utf16(*name));
  return record.Build();
}

Bytes SysColParsRow::Fixed() const {
  return FixedPart(41)
      .I32(0, objectId)
      .I16(4, number)
      .I32(6, columnId)
      .U8(10, systemTypeId)
      .I32(11, userTypeId)
      .I16(15, length)
      .U8(17, precision)
      .U8(18, scale)
      .I32(19, collationId)
      .I32(23, status)
      .I16(27, maxInRowLength)
      .I32(29, xmlNamespaceId)
      .I32(33, defaultObjectId)
      .I32(37, checkObjectId)
      .bytes();
}
Bytes SysColParsRow::Build() const {
  RecordBuilder record;
  record.Fixed(Fixed());
  if (name || identity) record.Var(name ? Utf16(*name) : Bytes());
  if (identity) record.Var(*identity);
  return record.Build();
}

Bytes SysScalarTypesRow::Fixed() const {
  return FixedPart(45)
      .I32(0, typeId)
      .I32(4, schemaId)
      .U8(8, systemTypeId)
      .I16(9, length)
      .U8(11, precision)
      .U8(12, scale)
      .I32(13, collationId)
      .I32(17, status)
      .bytes();
}
Bytes SysScalarTypesRow::Build() const { return WithName(Fixed(), name); }

Bytes SysRsColsRow::Fixed() const {
  return FixedPart(54)
      .I64(0, rowsetId)
      .I32(8, rowsetColumnId)
      .I32(12, hobtColumnId)
      .I64(16, modifiedCount)
      .I32(24, typeInfo)
      .I32(28, columnId)
      .I16(32, orderKey)
      .I16(34, maxInRowLength)
      .I32(36, status)
      .I32(40, offset)
      .I32(44, nullBit)
      .I16(48, bitPosition)
      .bytes();
}
Bytes SysRsColsRow::Build() const { return RecordBuilder().Fixed(Fixed()).Build(); }

Bytes SysSingleObjRefsRow::Fixed() const {
  return FixedPart(21)
      .U8(0, refClass)
      .I32(1, dependentId)
      .I32(5, dependentSubId)
      .I32(9, independentId)
      .I32(13, independentSubId)
      .I32(17, status)
      .bytes();
}
Bytes SysSingleObjRefsRow::Build() const { return RecordBuilder().Fixed(Fixed()).Build(); }

Bytes SysIdxStatsRow::Fixed() const {
  return FixedPart(35)
      .I32(0, objectId)
      .I32(4, indexId)
      .I32(8, status)
      .I32(12, intProp)
      .U8(16, fillFactor)
      .U8(17, indexType)
      .U8(18, tinyProp)
      .I32(19, dataSpaceId)
      .I32(23, lobDataSpaceId)
      .I64(27, rowsetId)
      .bytes();
}
Bytes SysIdxStatsRow::Build() const { return WithName(Fixed(), name); }

Bytes SysIsColsRow::Fixed() const {
  return FixedPart(22)
      .I32(0, objectId)
      .I32(4, indexId)
      .I32(8, indexColumnId)
      .I32(12, status)
      .I32(16, columnId)
      .U8(20, keyOrdinal)
      .U8(21, partitionOrdinal)
      .bytes();
}
Bytes SysIsColsRow::Build() const { return RecordBuilder().Fixed(Fixed()).Build(); }

Bytes SysHobtColumnsRow::Fixed() const {
  return FixedPart(37).I64(0, hobtId).I32(8, hobtColumnId).I16(27, leafOffset).I16(33, nullBit).bytes();
}
Bytes SysHobtColumnsRow::Build() const { return RecordBuilder().Fixed(Fixed()).Build(); }

Bytes SysRowsetColumnsRow::Fixed() const {
  return FixedPart(30).I64(0, rowsetId).I32(8, rowsetColumnId).I32(12, hobtColumnId).bytes();
}
Bytes SysRowsetColumnsRow::Build() const { return RecordBuilder().Fixed(Fixed()).Build(); }

PageBuilder& SystemTablePage(DatabaseImage& image, uint32_t pageNo, uint32_t objectId,
                             const std::vector<Bytes>& records) {
  PageBuilder& page = image.Page(pageNo).PageType(1).ObjectId(objectId);
  for (const Bytes& record : records) page.AddRecord(record);
  return page;
}

}  // namespace ravelin::testing
