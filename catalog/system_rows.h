// In-memory rows of SQL Server's system base tables, as the readers of
// CDataPage copy them out of catalog pages. A field keeps its initial value
// when its row could not be decoded or the field lies beyond the record's
// fixed part.

#ifndef RAVELIN_CATALOG_SYSTEM_ROWS_H_
#define RAVELIN_CATALOG_SYSTEM_ROWS_H_

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "storage/bytes.h"
#include "storage/page_types.h"

namespace ravelin {

// sysclsobjs (64): schemas and other classed objects.
struct ClassObjectRow {
  // A row too short to decode must never pass for a real schema or type:
  // no object carries this id, and the schema prefix needs status 0.
  int32_t id = std::numeric_limits<int32_t>::min();
  std::string name{};
  int32_t status = -1;
};

// sysschobjs (34) or, in the 2000 layout, sysobjects (1).
struct ObjectRow {
  int32_t objectId = -1;
  std::string name{};      // with its schema prefix, e.g. dbo.Orders
  std::string baseName{};  // without it
  int32_t schemaId = -1;
  uint8_t schemaClass = 255;
  int32_t status = -1;
  std::string typeCode{};  // two characters, e.g. "U " or "PK"
  int32_t parentId = -1;
  uint8_t parentClass = 255;
  int32_t intProp = -1;
};

// A leaf row of one of sysschobjs' nonclustered indexes (on schema and
// name, and on parent and name): a second and third copy of each object's
// id and name.
struct ObjectNameRow {
  int32_t objectId = 0;
  std::string name{};
  int32_t schemaId = -1;  // from the index on schema and name; the owner in the 2000 layout
  int32_t indexId = 0;
};

// sysallocunits (7; 99 in the 2000 layout).
struct AllocUnitRow {
  int64_t allocUnitId = 0;
  uint8_t type = 255;
  int64_t ownerId = 0;  // the rowset that owns the unit
  int32_t status = -1;
  int16_t fileGroupId = 0;
  PageRef firstPage{0, 0};
  PageRef rootPage{0, 0};
  PageRef firstIamPage{0, 0};
};

// sysrowsets (5).
struct RowsetRow {
  int64_t rowsetId = 0;
  uint8_t ownerType = 255;
  int32_t objectId = -1;
  int32_t indexId = -1;
  int32_t partitionNumber = -1;
  int32_t status = -1;
  int16_t fileGroupId = -1;
  int64_t rowCount = -1;
  // How the partition's records are stored (2008 and later; the 2005 row
  // ends before it): 0 none, 1 ROW, 2 PAGE, 3 and 4 column store.
  uint8_t compression = 0;
};

// "NONE", "ROW", "PAGE", "COLUMNSTORE", "COLUMNSTORE_ARCHIVE", as
// DATA_COMPRESSION names them; "UNKNOWN (n)" for other values.
std::string CompressionName(uint8_t compression);

// sysindexes (2), 2000 layout: where a clustered table's pages start.
struct LegacyIndexRoot {
  int32_t objectId = 0;
  int16_t fileId = 0;
  int16_t indexId = -1;
  int32_t firstPage = 0;
  int32_t firstIamPage = 0;
};

// One column of an index key as the key description of its sysindexes row
// keeps it: its id, type and place in the record, as syscolumns has them.
struct LegacyKeyColumn {
  int16_t columnId = 0;
  uint8_t systemTypeId = 0;
  int16_t length = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  int32_t collationId = 0;
  int16_t offset = 0;  // a fixed column's offset; -n for the n-th variable column
};

// sysindexes (2), 2000 layout: an index's name and the columns of its
// key, in key order.
struct LegacyIndexKey {
  int32_t objectId = 0;
  int16_t indexId = -1;
  std::string name{};
  std::vector<LegacyKeyColumn> keyColumns{};
};

// syscomments (6), 2000 layout: one piece of a definition text, in
// UTF-16 unless the row's status marks it encrypted or compressed.
struct LegacyCommentRow {
  int32_t objectId = 0;
  int16_t number = 0;
  int16_t pieceId = 0;
  int16_t status = 0;
  Bytes text{};
};

// syscolumns (3), 2000 layout.
struct LegacyColumnRow {
  std::string name{};
  int32_t objectId = -1;
  uint8_t systemTypeId = 255;
  uint8_t typeStatus = 255;
  int16_t userTypeId = -1;  // type ids are never negative
  int16_t length = -1;
  uint8_t precision = 255;
  uint8_t scale = 255;
  int16_t columnId = -1;
  int16_t fixedOffset = -1;
  uint8_t bitPosition = 255;
  uint8_t reserved = 255;
  int16_t columnStatus = -1;
  int16_t defaultIdLow = -1;
  int32_t domain = -1;
  int16_t number = -1;
  int16_t columnOrder = -1;
  int16_t offset = -1;
  int32_t collationId = -1;
  uint8_t status = 255;
};

// syscolpars (41, and pages filed under 2187).
struct ColumnRow {
  int32_t objectId = -1;
  int16_t number = -1;
  int32_t columnId = -1;
  std::string name{};
  uint8_t systemTypeId = 255;
  int32_t userTypeId = -1;
  int16_t length = -1;  // bytes; -1 for the max types
  uint8_t precision = 255;
  uint8_t scale = 255;
  int32_t collationId = -1;
  int32_t status = -1;
  int16_t maxInRowLength = -1;
  int32_t xmlNamespaceId = -1;
  int32_t defaultObjectId = -1;
  int32_t checkObjectId = -1;
  std::string identityText{};  // e.g. "identity(1,1)"
};

// sysscalartypes (50).
struct TypeRow {
  int32_t typeId = -1;
  int32_t schemaId = -1;
  std::string name{};
  uint8_t systemTypeId = 255;
  int16_t length = -1;
  uint8_t precision = 255;
  uint8_t scale = 255;
  int32_t collationId = -1;
  int32_t status = -1;
};

// sysrscols (3), 2008 and later.
struct RowsetColumnRow {
  int64_t rowsetId = 0;
  int32_t rowsetColumnId = -1;
  int32_t hobtColumnId = 0;
  int64_t modifiedCount = -1;
  int32_t typeInfo = -1;
  int32_t columnId = -1;
  int16_t orderKey = -1;
  int16_t maxInRowLength = -1;
  int32_t status = -1;
  int32_t offset = -1;  // low 16 bits: the column's offset in the record
  int32_t nullBit = -1;
  int16_t bitPosition = -1;
};

// syssingleobjrefs (74).
struct ObjectRefRow {
  uint8_t refClass = 255;
  int32_t dependentId = -1;
  int32_t dependentSubId = -1;
  int32_t independentId = -1;
  int32_t independentSubId = -1;
  int32_t status = -1;
};

// sysidxstats (54).
struct IndexRow {
  int32_t objectId = -1;
  int32_t indexId = -1;
  std::string name{};
  int32_t status = -1;
  int32_t intProp = -1;
  uint8_t fillFactor = 255;
  uint8_t indexType = 255;
  uint8_t tinyProp = 255;
  int32_t dataSpaceId = -1;
  int32_t lobDataSpaceId = -1;
  int64_t rowsetId = -1;
};

// sysiscols (55).
struct IndexColumnRow {
  int32_t objectId = -1;
  int32_t indexId = -1;
  int32_t indexColumnId = -1;
  int32_t status = -1;
  int32_t columnId = -1;
  uint8_t keyOrdinal = 255;
  uint8_t partitionOrdinal = 255;
  int32_t indexStatus = 0;  // filled when a table is prepared
};

// Object 13, 2005 layout: the columns of a heap or B-tree.
struct HobtColumnRow {
  int64_t hobtId = 0;
  int32_t hobtColumnId = 0;
  uint8_t systemTypeId = 0;
  int16_t length = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  int32_t collationId = -1;
  int16_t leafOffset = 0;
  int16_t nullBit = 0;
  int32_t mappedColumnId = -1;  // filled from object 4 when a table is prepared
};

// Object 4, 2005 layout: rowset column -> hobt column.
struct RowsetColumnMapRow {
  int64_t rowsetId = 0;
  int32_t rowsetColumnId = 0;
  int32_t hobtColumnId = 0;
};

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_SYSTEM_ROWS_H_
