#include "support/catalog_image.h"

#include "support/catalog_rows.h"

namespace ravelin::testing {
namespace {

// Rowset ids: the allocation unit ids' owners.
constexpr int64_t kCustomersRowset = 72057594038000001;
constexpr int64_t kOrdersRowset = 72057594038000002;
constexpr int64_t kEmptyRowset = 72057594038000003;

}  // namespace

DatabaseImage SmallCatalogImage(uint32_t pageCount) {
  DatabaseImage image(pageCount);
  SystemTablePage(image, 16, 64,
                  {SysClsObjsRow{.id = 1, .name = "dbo"}.Build(), SysClsObjsRow{.id = 4, .name = "sys"}.Build()});
  SystemTablePage(image, 17, 34,
                  {
                      SysSchObjsRow{.id = 34, .name = "sysschobjs", .schemaId = 4, .type = "S "}.Build(),
                      SysSchObjsRow{.id = 101, .name = "Customers"}.Build(),
                      SysSchObjsRow{.id = 102, .name = "Orders"}.Build(),
                      SysSchObjsRow{.id = 103, .name = "PK_Customers", .type = "PK", .parentId = 101}.Build(),
                      SysSchObjsRow{.id = 104, .name = "FK_Orders_Customers", .type = "F ", .parentId = 102}.Build(),
                      SysSchObjsRow{.id = 105, .name = "OrderSummary", .type = "V "}.Build(),
                      SysSchObjsRow{.id = 106, .name = "GetOrders", .type = "P "}.Build(),
                      SysSchObjsRow{.id = 107, .name = "DF_Orders_Qty", .type = "D ", .parentId = 102}.Build(),
                      SysSchObjsRow{.id = 108, .name = "Empty"}.Build(),
                  });
  // Identity buffer: last value, seed, increment (int layout) and a flag.
  const Bytes identity = Concat({LE32(0), LE32(1), LE32(1), Bytes{0}});
  SystemTablePage(
      image, 18, 41,
      {
          SysColParsRow{.objectId = 101, .columnId = 1, .name = "Id", .status = 5, .identity = identity}.Build(),
          SysColParsRow{
              .objectId = 101, .columnId = 2, .name = "Name", .systemTypeId = 231, .userTypeId = 231, .length = 100}
              .Build(),
          SysColParsRow{.objectId = 102, .columnId = 1, .name = "Id", .status = 1}.Build(),
          SysColParsRow{.objectId = 102, .columnId = 2, .name = "CustomerId"}.Build(),
          SysColParsRow{
              .objectId = 108, .columnId = 1, .name = "Note", .systemTypeId = 167, .userTypeId = 167, .length = 20}
              .Build(),
      });
  SystemTablePage(
      image, 19, 2187,
      {SysColParsRow{.objectId = 102, .columnId = 3, .name = "Qty", .systemTypeId = 52, .userTypeId = 52, .length = 2}
           .Build()});
  SystemTablePage(image, 20, 50,
                  {
                      SysScalarTypesRow{}.Build(),
                      SysScalarTypesRow{.typeId = 231, .name = "nvarchar", .systemTypeId = 231, .length = 8000}.Build(),
                      SysScalarTypesRow{.typeId = 52, .name = "smallint", .systemTypeId = 52, .length = 2}.Build(),
                      SysScalarTypesRow{.typeId = 167, .name = "varchar", .systemTypeId = 167, .length = 8000}.Build(),
                  });
  SystemTablePage(image, 21, 5,
                  {
                      SysRowsetsRow{.rowsetId = kCustomersRowset, .objectId = 101, .indexId = 1}.Build(),
                      SysRowsetsRow{.rowsetId = kOrdersRowset, .objectId = 102, .indexId = 0}.Build(),
                      SysRowsetsRow{.rowsetId = kEmptyRowset, .objectId = 108, .indexId = 0}.Build(),
                  });
  SystemTablePage(
      image, 22, 7,
      {
          SysAllocUnitsRow{.allocUnitId = kCustomersUnit, .ownerId = kCustomersRowset, .firstPage = {1, 30}}.Build(),
          SysAllocUnitsRow{.allocUnitId = kOrdersUnit, .ownerId = kOrdersRowset, .firstPage = {1, 31}}.Build(),
          SysAllocUnitsRow{.allocUnitId = kEmptyUnit, .ownerId = kEmptyRowset}.Build(),
      });
  SystemTablePage(
      image, 23, 3,
      {
          SysRsColsRow{.rowsetId = kCustomersRowset, .rowsetColumnId = 1, .hobtColumnId = 1}.Build(),
          SysRsColsRow{.rowsetId = kCustomersRowset,
                       .rowsetColumnId = 2,
                       .hobtColumnId = 2,
                       .offset = static_cast<int32_t>(0xFFFF),
                       .nullBit = 2}
              .Build(),
          SysRsColsRow{.rowsetId = kOrdersRowset, .rowsetColumnId = 1, .hobtColumnId = 1}.Build(),
          SysRsColsRow{.rowsetId = kOrdersRowset, .rowsetColumnId = 2, .hobtColumnId = 2, .offset = 8, .nullBit = 2}
              .Build(),
          SysRsColsRow{.rowsetId = kOrdersRowset, .rowsetColumnId = 3, .hobtColumnId = 3, .offset = 12, .nullBit = 3}
              .Build(),
      });
  // Status 0x29: an index (bit 0), unique (8), the primary key (0x20).
  SystemTablePage(image, 24, 54,
                  {SysIdxStatsRow{.objectId = 101, .indexId = 1, .name = "PK_Customers", .status = 0x29}.Build()});
  SystemTablePage(image, 25, 55, {SysIsColsRow{.objectId = 101, .indexId = 1, .columnId = 1}.Build()});
  SystemTablePage(
      image, 26, 74,
      {
          SysSingleObjRefsRow{
              .refClass = 28, .dependentId = 104, .dependentSubId = 1, .independentId = 102, .independentSubId = 2}
              .Build(),
          SysSingleObjRefsRow{
              .refClass = 29, .dependentId = 104, .dependentSubId = 1, .independentId = 101, .independentSubId = 1}
              .Build(),
      });
  image.Page(30).ObjectId(200).IndexId(256);
  image.Page(31).ObjectId(201).IndexId(256);
  image.Page(32).ObjectId(201).IndexId(256);
  return image;
}

}  // namespace ravelin::testing
