// A small synthetic database of the 2005-and-later layout whose tables are
// the awkward cases of an export:
//
//   101 [sales ]app].[Order [Details] 'q'] (schema 5), clustered, page 30:
//       Id int NOT NULL identity(1,1) primary key, Placed datetime NULL,
//       Name nvarchar(50) NULL; rows
//         1, 1900-01-01 00:00:00.000, N'Ünï ''q'' ]'
//         2, a datetime whose ticks are past midnight (unreadable), N'x'
//         3, NULL, NULL
//   102 dbo.Таблица, heap, page 31: A int NULL, B nvarchar(20) NULL; three
//       rows of NULLs only
//   103 dbo.Empty, heap without data pages: Note varchar(20) NULL
//   104 dbo.Lost, heap whose only page (32) is zeroed: Id int NOT NULL
//   105 dbo.V (V)

#ifndef RAVELIN_TESTS_SUPPORT_EXPORT_IMAGE_H_
#define RAVELIN_TESTS_SUPPORT_EXPORT_IMAGE_H_

#include "support/synthetic.h"

namespace ravelin::testing {

inline constexpr char kOddSchema[] = "sales ]app";
inline constexpr char kOddTable[] = "Order [Details] 'q'";
inline constexpr char kOddText[] = "\xC3\x9Cn\xC3\xAF 'q' ]";
inline constexpr char kNonLatinTable[] = "\xD0\xA2\xD0\xB0\xD0\xB1\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0";

DatabaseImage ExportEdgeImage();

}  // namespace ravelin::testing

#endif  // RAVELIN_TESTS_SUPPORT_EXPORT_IMAGE_H_
