// Builders for the records of system base table rows, from named fields,
// so that tests can lay out whole synthetic catalogs. Each builder's
// Fixed() gives the row's fixed part as SQL Server lays it out (fields the
// readers do not use are zero) and Build() the whole record; a test that
// needs an odd record passes Fixed() to a RecordBuilder of its own.

#ifndef RAVELIN_TESTS_SUPPORT_CATALOG_ROWS_H_
#define RAVELIN_TESTS_SUPPORT_CATALOG_ROWS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "storage/bytes.h"
#include "storage/page_types.h"
#include "support/synthetic.h"

namespace ravelin::testing {

// sysfiles1 (8): nchar names padded with blanks.
struct SysFiles1Row {
  int32_t status = 2;
  int16_t fileId = 1;
  std::string logicalName{};
  std::string physicalName{};
  Bytes Fixed() const;
  Bytes Build() const;
};

// sysclsobjs (64); class 50 is a schema.
struct SysClsObjsRow {
  uint8_t classId = 50;
  int32_t id = 1;
  std::string name = "dbo";
  int32_t status = 0;
  Bytes Fixed() const;
  Bytes Build() const;
};

// sysschobjs (34). A name of nullopt leaves the record without variable
// columns.
struct SysSchObjsRow {
  int32_t id = 0;
  std::optional<std::string> name{};
  int32_t schemaId = 1;
  uint8_t schemaClass = 0;
  int32_t status = 0;
  std::string type = "U ";
  int32_t parentId = 0;
  uint8_t parentClass = 1;
  int32_t intProp = 0;
  Bytes Fixed() const;
  Bytes Build() const;
};

// sysobjects (1), 2000 layout.
struct SysObjectsRow {
  int32_t id = 0;
  std::optional<std::string> name{};
  std::string type = "U ";
  int16_t userId = 1;  // uid: the owner, a row of sysusers
  int32_t parentId = 0;
  Bytes Fixed() const;
  Bytes Build() const;
};

// sysallocunits (7).
struct SysAllocUnitsRow {
  int64_t allocUnitId = 0;
  uint8_t type = 1;
  int64_t ownerId = 0;
  int32_t status = 0;
  int16_t fileGroupId = 1;
  PageRef firstPage{0, 0};
  PageRef rootPage{0, 0};
  PageRef firstIamPage{0, 0};
  Bytes Fixed() const;
  Bytes Build() const;
};

// sysrowsets (5).
struct SysRowsetsRow {
  int64_t rowsetId = 0;
  uint8_t ownerType = 1;
  int32_t objectId = 0;
  int32_t indexId = 0;
  int32_t partitionNumber = 1;
  int32_t status = 0;
  int16_t fileGroupId = 1;
  int64_t rowCount = 0;
  uint8_t compression = 0;  // 1 ROW, 2 PAGE
  Bytes Fixed() const;
  Bytes Build() const;
};

// sysindexes (2), 2000 layout.
struct SysIndexesRow {
  int32_t objectId = 0;
  PageRef firstPage{0, 0};
  int16_t indexId = 1;
  PageRef firstIamPage{0, 0};
  std::string name{};
  Bytes Fixed() const;
  Bytes Build() const;
};

// syscolumns (3), 2000 layout.
struct SysColumnsRow {
  int32_t objectId = 0;
  std::optional<std::string> name{};
  uint8_t systemTypeId = 56;
  uint8_t typeStatus = 0;
  int16_t userTypeId = 56;
  int16_t length = 4;
  uint8_t precision = 10;
  uint8_t scale = 0;
  int16_t columnId = 1;
  int16_t fixedOffset = 4;
  int16_t columnStatus = 0;
  int16_t number = 0;
  int16_t columnOrder = 1;
  int16_t offset = 4;
  int32_t collationId = 0;
  int16_t columnCount = 21;  // older rows end before the collation
  Bytes Fixed() const;
  Bytes Build() const;
};

// syscolpars (41). `identity` is the raw buffer of the second variable
// column (seed and increment of an identity column).
struct SysColParsRow {
  int32_t objectId = 0;
  int16_t number = 0;
  int32_t columnId = 1;
  std::optional<std::string> name{};
  uint8_t systemTypeId = 56;
  int32_t userTypeId = 56;
  int16_t length = 4;
  uint8_t precision = 10;
  uint8_t scale = 0;
  int32_t collationId = 0;
  int32_t status = 0;
  int16_t maxInRowLength = 4;
  int32_t xmlNamespaceId = 0;
  int32_t defaultObjectId = 0;
  int32_t checkObjectId = 0;
  std::optional<Bytes> identity{};
  Bytes Fixed() const;
  Bytes Build() const;
};

// sysscalartypes (50).
struct SysScalarTypesRow {
  int32_t typeId = 56;
  int32_t schemaId = 4;
  std::string name = "int";
  uint8_t systemTypeId = 56;
  int16_t length = 4;
  uint8_t precision = 10;
  uint8_t scale = 0;
  int32_t collationId = 0;
  int32_t status = 0;
  Bytes Fixed() const;
  Bytes Build() const;
};

// sysrscols (3), 2008 and later.
struct SysRsColsRow {
  int64_t rowsetId = 0;
  int32_t rowsetColumnId = 1;
  int32_t hobtColumnId = 1;
  int64_t modifiedCount = 0;
  int32_t typeInfo = 0;
  int32_t columnId = 1;
  int16_t orderKey = 0;
  int16_t maxInRowLength = 4;
  int32_t status = 0;
  int32_t offset = 4;
  int32_t nullBit = 1;
  int16_t bitPosition = 0;
  Bytes Fixed() const;
  Bytes Build() const;
};

// syssingleobjrefs (74).
struct SysSingleObjRefsRow {
  uint8_t refClass = 0;
  int32_t dependentId = 0;
  int32_t dependentSubId = 0;
  int32_t independentId = 0;
  int32_t independentSubId = 0;
  int32_t status = 0;
  Bytes Fixed() const;
  Bytes Build() const;
};

// sysidxstats (54).
struct SysIdxStatsRow {
  int32_t objectId = 0;
  int32_t indexId = 1;
  std::string name{};
  int32_t status = 0;
  int32_t intProp = 0;
  uint8_t fillFactor = 0;
  uint8_t indexType = 1;
  uint8_t tinyProp = 0;
  int32_t dataSpaceId = 1;
  int32_t lobDataSpaceId = 0;
  int64_t rowsetId = 0;
  Bytes Fixed() const;
  Bytes Build() const;
};

// sysiscols (55).
struct SysIsColsRow {
  int32_t objectId = 0;
  int32_t indexId = 1;
  int32_t indexColumnId = 1;
  int32_t status = 0;
  int32_t columnId = 1;
  uint8_t keyOrdinal = 1;
  uint8_t partitionOrdinal = 0;
  Bytes Fixed() const;
  Bytes Build() const;
};

// syshobtcolumns (object 13), 2005 layout: one column of a heap or B-tree.
struct SysHobtColumnsRow {
  int64_t hobtId = 0;
  int32_t hobtColumnId = 1;
  int16_t leafOffset = 4;
  int16_t nullBit = 1;
  Bytes Fixed() const;
  Bytes Build() const;
};

// sysrowsetcolumns (object 4), 2005 layout: rowset column -> hobt column.
struct SysRowsetColumnsRow {
  int64_t rowsetId = 0;
  int32_t rowsetColumnId = 1;
  int32_t hobtColumnId = 1;
  Bytes Fixed() const;
  Bytes Build() const;
};

// A page of system table `objectId` holding `records` in slot order.
PageBuilder& SystemTablePage(DatabaseImage& image, uint32_t pageNo, uint32_t objectId,
                             const std::vector<Bytes>& records);

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_CATALOG_ROWS_H_
