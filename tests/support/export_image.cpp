#include "support/export_image.h"

#include "support/catalog_rows.h"

namespace ravelin::testing {
namespace {

int64_t Unit(int key) { return (int64_t{256} << 48) | (int64_t{key} << 16); }
int64_t Rowset(int n) { return 72057594038000000 + n; }

}  // namespace

DatabaseImage ExportEdgeImage() {
  DatabaseImage image(40);
  SystemTablePage(image, 16, 64,
                  {SysClsObjsRow{.id = 1, .name = "dbo"}.Build(), SysClsObjsRow{.id = 4, .name = "sys"}.Build(),
                   SysClsObjsRow{.id = 5, .name = kOddSchema}.Build()});
  SystemTablePage(image, 17, 34,
                  {
                      SysSchObjsRow{.id = 34, .name = "sysschobjs", .schemaId = 4, .type = "S "}.Build(),
                      SysSchObjsRow{.id = 101, .name = kOddTable, .schemaId = 5}.Build(),
                      SysSchObjsRow{.id = 102, .name = kNonLatinTable}.Build(),
                      SysSchObjsRow{.id = 103, .name = "Empty"}.Build(),
                      SysSchObjsRow{.id = 104, .name = "Lost"}.Build(),
                      SysSchObjsRow{.id = 105, .name = "V", .type = "V "}.Build(),
                      SysSchObjsRow{.id = 106, .name = "PK_Odd", .schemaId = 5, .type = "PK", .parentId = 101}.Build(),
                  });
  const Bytes identity = Concat({LE32(0), LE32(1), LE32(1), Bytes{0}});
  SystemTablePage(
      image, 18, 41,
      {
          SysColParsRow{.objectId = 101, .columnId = 1, .name = "Id", .status = 5, .identity = identity}.Build(),
          SysColParsRow{.objectId = 101,
                        .columnId = 2,
                        .name = "Placed",
                        .systemTypeId = 61,
                        .userTypeId = 61,
                        .length = 8,
                        .precision = 23,
                        .scale = 3,
                        .maxInRowLength = 8}
              .Build(),
          SysColParsRow{
              .objectId = 101, .columnId = 3, .name = "Name", .systemTypeId = 231, .userTypeId = 231, .length = 100}
              .Build(),
          SysColParsRow{.objectId = 102, .columnId = 1, .name = "A"}.Build(),
          SysColParsRow{
              .objectId = 102, .columnId = 2, .name = "B", .systemTypeId = 231, .userTypeId = 231, .length = 40}
              .Build(),
          SysColParsRow{
              .objectId = 103, .columnId = 1, .name = "Note", .systemTypeId = 167, .userTypeId = 167, .length = 20}
              .Build(),
          SysColParsRow{.objectId = 104, .columnId = 1, .name = "Id", .status = 1}.Build(),
      });
  SystemTablePage(image, 20, 50,
                  {
                      SysScalarTypesRow{}.Build(),
                      SysScalarTypesRow{.typeId = 231, .name = "nvarchar", .systemTypeId = 231, .length = 8000}.Build(),
                      SysScalarTypesRow{.typeId = 167, .name = "varchar", .systemTypeId = 167, .length = 8000}.Build(),
                      SysScalarTypesRow{.typeId = 61, .name = "datetime", .systemTypeId = 61, .length = 8}.Build(),
                  });
  SystemTablePage(image, 21, 5,
                  {
                      SysRowsetsRow{.rowsetId = Rowset(1), .objectId = 101, .indexId = 1}.Build(),
                      SysRowsetsRow{.rowsetId = Rowset(2), .objectId = 102, .indexId = 0}.Build(),
                      SysRowsetsRow{.rowsetId = Rowset(3), .objectId = 103, .indexId = 0}.Build(),
                      SysRowsetsRow{.rowsetId = Rowset(4), .objectId = 104, .indexId = 0}.Build(),
                  });
  SystemTablePage(image, 22, 7,
                  {
                      SysAllocUnitsRow{.allocUnitId = Unit(200), .ownerId = Rowset(1), .firstPage = {1, 30}}.Build(),
                      SysAllocUnitsRow{.allocUnitId = Unit(201), .ownerId = Rowset(2), .firstPage = {1, 31}}.Build(),
                      SysAllocUnitsRow{.allocUnitId = Unit(202), .ownerId = Rowset(3)}.Build(),
                      SysAllocUnitsRow{.allocUnitId = Unit(203), .ownerId = Rowset(4), .firstPage = {1, 32}}.Build(),
                  });
  SystemTablePage(image, 23, 3,
                  {
                      SysRsColsRow{.rowsetId = Rowset(1), .rowsetColumnId = 1, .hobtColumnId = 1}.Build(),
                      SysRsColsRow{.rowsetId = Rowset(1),
                                   .rowsetColumnId = 2,
                                   .hobtColumnId = 2,
                                   .maxInRowLength = 8,
                                   .offset = 8,
                                   .nullBit = 2}
                          .Build(),
                      SysRsColsRow{.rowsetId = Rowset(1),
                                   .rowsetColumnId = 3,
                                   .hobtColumnId = 3,
                                   .offset = static_cast<int32_t>(0xFFFF),
                                   .nullBit = 3}
                          .Build(),
                      SysRsColsRow{.rowsetId = Rowset(2), .rowsetColumnId = 1, .hobtColumnId = 1}.Build(),
                      SysRsColsRow{.rowsetId = Rowset(2),
                                   .rowsetColumnId = 2,
                                   .hobtColumnId = 2,
                                   .offset = static_cast<int32_t>(0xFFFF),
                                   .nullBit = 2}
                          .Build(),
                      SysRsColsRow{.rowsetId = Rowset(3),
                                   .rowsetColumnId = 1,
                                   .hobtColumnId = 1,
                                   .offset = static_cast<int32_t>(0xFFFF),
                                   .nullBit = 1}
                          .Build(),
                      SysRsColsRow{.rowsetId = Rowset(4), .rowsetColumnId = 1, .hobtColumnId = 1}.Build(),
                  });
  SystemTablePage(image, 24, 54,
                  {SysIdxStatsRow{.objectId = 101, .indexId = 1, .name = "PK_Odd", .status = 0x29}.Build()});
  SystemTablePage(image, 25, 55, {SysIsColsRow{.objectId = 101, .indexId = 1, .columnId = 1}.Build()});

  PageBuilder& odd = image.Page(30).PageType(1).ObjectId(200).IndexId(256);
  const Bytes midnight = Concat({LE32(0), LE32(0)});
  const Bytes pastMidnight = Concat({Bytes{0xFF, 0xFF, 0xFF, 0x7F}, LE32(0)});
  odd.AddRecord(RecordBuilder().Fixed(Concat({LE32(1), midnight})).ColumnCount(3).Var(Utf16(kOddText)).Build());
  odd.AddRecord(RecordBuilder().Fixed(Concat({LE32(2), pastMidnight})).ColumnCount(3).Var(Utf16("x")).Build());
  odd.AddRecord(
      RecordBuilder().Fixed(Concat({LE32(3), midnight})).ColumnCount(3).NullColumn(1).NullColumn(2).Var({}).Build());
  PageBuilder& nulls = image.Page(31).PageType(1).ObjectId(201).IndexId(256);
  for (int i = 0; i < 3; ++i)
    nulls.AddRecord(RecordBuilder().Fixed(LE32(0)).ColumnCount(2).NullColumn(0).NullColumn(1).Var({}).Build());
  return image;
}

}  // namespace ravelin::testing
