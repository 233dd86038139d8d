// The one mapping from what a listing reads to what the export writers
// take: a column's SQL Server type to its value family, and an exact data
// value (rows/data_value.h, the values `rows` prints) to an ExportValue.

#ifndef RAVELIN_EXPORT_EXPORT_VALUES_H_
#define RAVELIN_EXPORT_EXPORT_VALUES_H_

#include <cstdint>

#include "catalog/column_descriptor.h"
#include "export/export_model.h"
#include "rows/data_value.h"

namespace ravelin {

// The family of a column of type code `typeCode` (ColumnTypeCode).
ValueFamily FamilyOfTypeCode(int32_t typeCode);
inline ValueFamily FamilyOf(const ColumnDescriptor& column) { return FamilyOfTypeCode(column.typeCode); }

// The family of a value a sql_variant carries, by its system type id.
ValueFamily FamilyOfSystemType(uint8_t systemTypeId);

// Fills `out` (whose strings keep their capacity) from `value`.
void ToExportValue(const DataValue& value, ExportValue& out);

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_EXPORT_VALUES_H_
