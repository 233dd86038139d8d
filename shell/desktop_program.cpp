#include "shell/desktop_program.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <memory>

#include "recovery/recovery_settings.h"
#include "shell/instance_lock.h"
#include "shell/main_window.h"
#include "shell/unattended_desktop.h"
#include "shell/web_addresses.h"
#include "shell/widget_desktop.h"

namespace ravelin {

std::string CollationFilePath() {
  const std::string beside = ExecutableFolder() + "collation.txt";
  const std::string shared = ExecutableFolder() + "../share/ravelin/collation.txt";
  if (!QFileInfo(QString::fromStdString(beside)).isFile() && QFileInfo(QString::fromStdString(shared)).isFile())
    return shared;
  return beside;
}

int RunDesktopProgram(int argc, char** argv) {
  QApplication application(argc, argv);
  QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganizationName));
  QCoreApplication::setApplicationName(QString::fromLatin1(kProgramSettingsName));
  QGuiApplication::setApplicationDisplayName(QString::fromUtf8(kApplicationTitle));
  QGuiApplication::setDesktopFileName(QStringLiteral("ravelin-gui"));

  std::unique_ptr<Desktop> desktop;
  const bool unattended = qEnvironmentVariableIsSet(kUnattendedVariable);
  if (unattended)
    desktop =
        std::make_unique<UnattendedDesktop>(qEnvironmentVariable(kUnattendedVariable).split(',', Qt::SkipEmptyParts));
  else
    desktop = std::make_unique<WidgetDesktop>();

  InstanceLock instance;
  if (!instance.Acquire()) {
    desktop->ShowMessage(nullptr, QString::fromUtf8(kTextAnotherInstance), MessageIcon::kInformation,
                         MessageButtons::kOk);
    return 1;
  }

  QSettings stored;
  RecoverySettings settings;
  settings.collationTable = LoadCollationTable(CollationFilePath());

  MainWindow window(settings, *desktop, LoadWebAddresses(stored));
  window.showMaximized();

  bool ok = false;
  const int closeAfter = qEnvironmentVariableIntValue(kCloseAfterVariable, &ok);
  if (unattended && ok) QTimer::singleShot(closeAfter, &window, &QWidget::close);
  return QApplication::exec();
}

}  // namespace ravelin
