// The program's icons: the desktop theme's where it has a fitting one, our
// own bundled drawings otherwise.

#ifndef RAVELIN_SHELL_ICONS_H_
#define RAVELIN_SHELL_ICONS_H_

#include <QIcon>

namespace ravelin {

enum class IconId {
  kApplication,
  kOpen,
  kStop,
  kSaveSql,
  kSaveRecords,
  kSaveTable,
  kSaveSqlite,
  kLoadSnapshot,
  kSaveSnapshot,
  kHelp,
  kAbout,
  kPrevious,
  kNext,
  // Object tree items.
  kDatabase,
  kFolder,
  kTable,
  kColumn,
  kObject,
};

QIcon ShellIcon(IconId id);

}  // namespace ravelin

#endif  // RAVELIN_SHELL_ICONS_H_
