// A small synthetic database of the 2005-and-later catalog layout, for
// tests that load a whole catalog from a file.
//
// Schema dbo (id 1) holds:
//   101 dbo.Customers (U)  clustered (index 1), 1 data page;
//       Id int NOT NULL identity(1,1) primary key, Name nvarchar(50) NULL
//   102 dbo.Orders (U)     heap (index 0), 2 data pages;
//       Id int NOT NULL, CustomerId int NULL -> dbo.Customers(Id),
//       Qty smallint NULL (its syscolpars row on a page filed under 2187)
//   103 dbo.PK_Customers (PK, parent 101)
//   104 dbo.FK_Orders_Customers (F, parent 102)
//   105 dbo.OrderSummary (V)
//   106 dbo.GetOrders (P)
//   107 dbo.DF_Orders_Qty (D, parent 102)
//   108 dbo.Empty (U)      heap without data pages; Note varchar(20) NULL
// plus the system table 34 itself as sys.sysschobjs (S) in schema sys (4).

#ifndef RAVELIN_TESTS_SUPPORT_CATALOG_IMAGE_H_
#define RAVELIN_TESTS_SUPPORT_CATALOG_IMAGE_H_

#include <cstdint>

#include "support/synthetic.h"

namespace ravelin::testing {

// Allocation unit ids of the three tables' in-row data (index part 256,
// page keys 200, 201 and 202).
constexpr int64_t kCustomersUnit = (int64_t{256} << 48) | (int64_t{200} << 16);
constexpr int64_t kOrdersUnit = (int64_t{256} << 48) | (int64_t{201} << 16);
constexpr int64_t kEmptyUnit = (int64_t{256} << 48) | (int64_t{202} << 16);

// The image described above, `pageCount` pages long (at least 40).
DatabaseImage SmallCatalogImage(uint32_t pageCount = 40);

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_CATALOG_IMAGE_H_
