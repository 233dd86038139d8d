// A column's type as a DBA declares it: "int", "nvarchar(15)",
// "nvarchar(max)", "decimal(19,4)", "datetime2(7)", "varbinary(max)", where
// the type text of the catalog says "nvarchar(30)" (its length in bytes).

#ifndef RAVELIN_CATALOG_DECLARED_TYPE_H_
#define RAVELIN_CATALOG_DECLARED_TYPE_H_

#include <string>

#include "catalog/column_descriptor.h"

namespace ravelin {

// The declared type of `column`. An alias type (pubs' "empid", "sysname")
// is given as the system type it stands for ("char(9)"), which any server
// understands; a CLR type keeps its name.
std::string DeclaredType(const ColumnDescriptor& column);

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_DECLARED_TYPE_H_
