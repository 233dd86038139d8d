// Finding the tree item a user names, for front ends without a tree to
// click (the command line): by label, or by a path of labels.

#ifndef RAVELIN_RECOVERY_TREE_LOOKUP_H_
#define RAVELIN_RECOVERY_TREE_LOOKUP_H_

#include <string>

#include "recovery/object_tree.h"
#include "recovery/recovery_state.h"

namespace ravelin {

// The item `name` names, searched in this order:
//  1. an object item labelled `name`: user tables, system tables, views,
//     procedures, functions, triggers, defaults;
//  2. a path of labels joined by '/', its first label anywhere in the tree,
//     e.g. "dbo.Orders/PrimaryKey/PK_Orders" or "Views/dbo.Invoices";
//     tables on the path are expanded;
//  3. any item labelled `name` that the tree already shows, e.g. the
//     database item or a category such as "Tables";
//  4. a key or constraint item labelled `name` under a table's
//     "PrimaryKey", "Unique", "Constraint" or "ForeignKey" node: first
//     under the table the catalog gives as the object's parent, then under
//     every table, expanding tables on the way.
// In the 2000 layout, which names objects without their owner, steps 1
// and 4 also try the name after its first '.' ("dbo.Orders" finds
// Orders). kNoTreeItem when nothing matches. Runs as a job: expanding a
// table prepares it in the catalog.
TreeItem FindTreeItem(RecoveryState& state, const std::string& name);

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_TREE_LOOKUP_H_
