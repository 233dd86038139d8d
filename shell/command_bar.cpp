#include "shell/command_bar.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

#include "shell/desktop.h"
#include "shell/icons.h"

namespace ravelin {

CommandBar::CommandBar(QWidget* parent) : QToolBar(QString::fromLatin1(kCommandCategory), parent) {
  setObjectName(QStringLiteral("commandBar"));
  setMovable(false);
  setFloatable(false);
  setIconSize(QSize(32, 32));
  setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  setContextMenuPolicy(Qt::PreventContextMenu);

  AddCommand(kCommandOpen, "Open", "Open Database file", ShellIcon(IconId::kOpen));
  AddCommand(kCommandStop, "Stop", "Stop running process", ShellIcon(IconId::kStop))->setEnabled(false);
  AddCommand(kCommandSaveSqlData, "Save SQL Data", "Save recovered data", ShellIcon(IconId::kSaveSql));
  AddCommand(kCommandSaveSqlite, "Save as SQLite database", "Save recovered data as an SQLite database",
             ShellIcon(IconId::kSaveSqlite));
  AddCommand(kCommandSaveRecordsData, "Save Records Data", "Save records in CSV", ShellIcon(IconId::kSaveRecords));
  AddCommand(kCommandSaveTable, "Save Table", "Save table in CSV", ShellIcon(IconId::kSaveTable));
  AddCommand(kCommandLoadSnapshot, "Load", "Load Snapshot", ShellIcon(IconId::kLoadSnapshot));
  AddCommand(kCommandSaveSnapshot, "Save", "Save Snapshot", ShellIcon(IconId::kSaveSnapshot));
  AddCommand(kCommandHelp, "Help", QStringLiteral("Help for ") + kApplicationTitle, ShellIcon(IconId::kHelp));
  AddCommand(kCommandAbout, "About", QStringLiteral("About ") + kApplicationTitle, ShellIcon(IconId::kAbout));

  // The application button: the program's menu.
  auto* appButton = new QToolButton(this);
  appButton->setObjectName(QStringLiteral("applicationButton"));
  appButton->setIcon(ShellIcon(IconId::kApplication));
  appButton->setIconSize(QSize(40, 40));
  appButton->setAutoRaise(true);
  appButton->setToolTip(QString::fromUtf8(kApplicationTitle));
  appButton->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(appButton);
  menu->addAction(action(kCommandOpen));
  menu->addAction(action(kCommandLoadSnapshot));
  menu->addAction(action(kCommandSaveSnapshot));
  menu->addSeparator();
  menu->addAction(action(kCommandAbout));
  menu->addSeparator();
  menu->addAction(tr("Exit"), this, &CommandBar::exitRequested);
  appButton->setMenu(menu);
  addWidget(appButton);

  AddPanel(QString(), {kCommandOpen, kCommandStop, kCommandSaveSqlData, kCommandSaveSqlite});
  AddPanel(QString::fromLatin1(kPanelCsv), {kCommandSaveRecordsData, kCommandSaveTable});
  AddPanel(QString::fromLatin1(kPanelSnapshot), {kCommandLoadSnapshot, kCommandSaveSnapshot});
  AddPanel(QString::fromLatin1(kPanelAbout), {kCommandHelp, kCommandAbout});
}

QAction* CommandBar::AddCommand(int id, const QString& label, const QString& tip, const QIcon& icon) {
  auto* command = new QAction(icon, label, this);
  command->setObjectName(QStringLiteral("command%1").arg(id));
  command->setToolTip(tip);
  command->setStatusTip(tip);
  command->setProperty("commandId", id);
  connect(command, &QAction::triggered, this, [this, id] { emit commandTriggered(id); });
  actions_[id] = command;
  return command;
}

void CommandBar::AddPanel(const QString& label, const std::initializer_list<int>& ids) {
  auto* separator = new QFrame(this);
  separator->setFrameShape(QFrame::VLine);
  separator->setFrameShadow(QFrame::Sunken);
  addWidget(separator);

  auto* panel = new QWidget(this);
  panel->setObjectName(label.isEmpty() ? QStringLiteral("panel") : QStringLiteral("panel ") + label);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(2);
  for (int id : ids) {
    auto* button = new QToolButton(panel);
    button->setDefaultAction(action(id));
    button->setObjectName(QStringLiteral("button%1").arg(id));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(iconSize());
    button->setAutoRaise(true);
    button->setMinimumWidth(64);
    buttons->addWidget(button);
    panels_[id] = label;
  }
  auto* caption = new QLabel(label, panel);
  caption->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  QFont small = caption->font();
  small.setPointSizeF(small.pointSizeF() * 0.9);
  caption->setFont(small);
  caption->setForegroundRole(QPalette::PlaceholderText);
  caption->setMinimumHeight(caption->fontMetrics().height());
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->setSpacing(0);
  layout->addLayout(buttons);
  layout->addWidget(caption);
  addWidget(panel);
}

QAction* CommandBar::action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

QString CommandBar::PanelLabelOf(int id) const {
  auto it = panels_.find(id);
  return it == panels_.end() ? QString() : it->second;
}

}  // namespace ravelin
