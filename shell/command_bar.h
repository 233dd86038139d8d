// The tool bar that carries the program's commands, laid out as panels of
// buttons with a label under each panel. Every command is a QAction that
// knows its command id, so menus, shortcuts and tests reach the same one.

#ifndef RAVELIN_SHELL_COMMAND_BAR_H_
#define RAVELIN_SHELL_COMMAND_BAR_H_

#include <QToolBar>
#include <map>

class QAction;
class QMenu;

namespace ravelin {

enum CommandId : int {
  kCommandOpen = 313,
  kCommandStop = 314,
  kCommandSaveSqlData = 315,
  kCommandHelp = 319,
  kCommandSaveRecordsData = 340,
  kCommandLoadSnapshot = 341,
  kCommandSaveSnapshot = 342,
  kCommandAbout = 343,
  kCommandSaveTable = 344,
  kCommandSaveSqlite = 345,
};

inline constexpr char kCommandCategory[] = "Ravelin";
inline constexpr char kPanelCsv[] = "Save Data in CSV";
inline constexpr char kPanelSnapshot[] = "Recovery SnapShot";
inline constexpr char kPanelAbout[] = "About";

class CommandBar : public QToolBar {
  Q_OBJECT

 public:
  explicit CommandBar(QWidget* parent = nullptr);

  // The action of command `id`; null for an id the bar does not carry.
  QAction* action(int id) const;
  // The label shown under the panel that holds command `id`.
  QString PanelLabelOf(int id) const;

 signals:
  void commandTriggered(int id);
  // The application button's Exit entry.
  void exitRequested();

 private:
  QAction* AddCommand(int id, const QString& label, const QString& tip, const QIcon& icon);
  void AddPanel(const QString& label, const std::initializer_list<int>& ids);

  std::map<int, QAction*> actions_;
  std::map<int, QString> panels_;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_COMMAND_BAR_H_
