// Arranging the catalog's objects in the category tree: the skeleton of
// category items, the placement of every named object (tables prepared on
// the way, bold when they hold data), and the lazy expansion of a table
// into its columns and key and constraint nodes.

#ifndef RAVELIN_RECOVERY_TREE_BUILDER_H_
#define RAVELIN_RECOVERY_TREE_BUILDER_H_

#include <string>

#include "catalog/column_descriptor.h"
#include "recovery/object_tree.h"
#include "recovery/recovery_state.h"

namespace ravelin {

inline constexpr char kLabelColumns[] = "Columns";
inline constexpr char kLabelPrimaryKey[] = "PrimaryKey";
inline constexpr char kLabelConstraint[] = "Constraint";
inline constexpr char kLabelUnique[] = "Unique";
inline constexpr char kLabelForeignKey[] = "ForeignKey";
inline constexpr char kTextCreatingTree[] = "Creating Tree.........";
inline constexpr char kTextProcessDone[] = "Process done.........";

// Creates the root item (labelled `rootLabel`, appended to the top level)
// and the nine category items under it, each inserted as the first child,
// and records their handles in the state.
void BuildSkeleton(RecoveryState& state, const std::string& rootLabel);

// Places every named object of the loaded catalog under its category,
// preparing each table (and marking it bold when it has columns and data
// pages), and sorts "Store Procedure" and "Function". Reports progress
// through `sink` and logs the caption texts. True when at least one object
// with a name was met. Needs a built skeleton and a loaded catalog.
bool FillTree(RecoveryState& state, ProgressSink& sink);

// Expands a table item on its first display: prepares the table and, when
// it is a table, adds "PrimaryKey", "Constraint", "Unique" and "ForeignKey"
// nodes, one item per named column under "Columns", and the table's
// constraints under their nodes. A table whose nodes exist already is only
// prepared. `typeCode` is "U " or "S ".
void ExpandTable(RecoveryState& state, TreeItem tableItem, TreeItem columnsItem, const std::string& tableName,
                 const std::string& typeCode);

// Whether `item` is a table item: a child of "User Tables" or "System
// Tables".
bool IsTableItem(const RecoveryState& state, TreeItem item);

// The type code of the tables under `category`: "S " under "System
// Tables", else "U ".
std::string TableTypeCode(const RecoveryState& state, TreeItem category);

// "name  typeText", then "[Primary Key]" or "[Unique]", then the foreign
// key's "  (foreign key) references T( C)".
std::string ColumnItemLabel(const ColumnDescriptor& column);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_TREE_BUILDER_H_
