// The real ravelin-gui, run as a separate process on Qt's offscreen
// platform in a home folder of its own, unattended: how it ends when
// closed, and one copy per user.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>

#include "gui_support.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using namespace testing;

class ProgramProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    home = QString::fromStdString(home_.path());
    QDir(home).mkpath("run");
    QFile::setPermissions(home + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  }

  // Starts the program; `answers` for its questions, `closeAfterMs` > 0 to
  // close its window that long after start.
  void Start(QProcess& process, const QString& answers, int closeAfterMs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home);
    env.insert("XDG_RUNTIME_DIR", home + "/run");
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("RAVELIN_GUI_UNATTENDED", answers);
    if (closeAfterMs > 0)
      env.insert("RAVELIN_GUI_CLOSE_AFTER_MS", QString::number(closeAfterMs));
    else
      env.remove("RAVELIN_GUI_CLOSE_AFTER_MS");
    process.setProcessEnvironment(env);
    process.start(QString::fromStdString(BinaryDir() + "/ravelin-gui"), {});
    ASSERT_TRUE(process.waitForStarted(10000));
  }

  // Runs the program to its end; its exit code and stderr.
  std::pair<int, QString> Run(const QString& answers, int closeAfterMs) {
    QProcess process;
    Start(process, answers, closeAfterMs);
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
  }

  QString LockPath() const { return home + "/run/{VELMORATOOLSSQLRECV1.0_EXE_RUNNING1}.lock"; }

  TempDir home_;
  QString home;
};

TEST_F(ProgramProcess, ClosingWhenIdleAsksOnceAndEndsWithMinusOne) {
  const auto [code, err] = Run("yes", 300);
  EXPECT_EQ(code, 255) << err.toStdString();
  EXPECT_EQ(err.count("[question] Do you want to close the application? -> yes"), 1) << err.toStdString();
  const qsizetype asked = err.indexOf("[question] Do you want to close the application?");
  const qsizetype browsed = err.indexOf("[browser] https://www.velmora.example/ravelin/");
  EXPECT_GE(browsed, 0) << err.toStdString();
  EXPECT_LT(asked, browsed);
  // The look was stored back.
  QSettings stored(home + "/config/Velmora/Ravelin.conf", QSettings::IniFormat);
  EXPECT_EQ(stored.value("ApplicationLook").toInt(), 215);
}

TEST_F(ProgramProcess, ASecondCopyRefusesWhileTheFirstRunsButNotAfterItDied) {
  QProcess first;
  Start(first, "", 0);
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(LockPath()).isFile(); }, 20000));

  const auto [code, err] = Run("", 0);
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(err.contains("[information] Another instance of application is already running")) << err.toStdString();
  EXPECT_EQ(first.state(), QProcess::Running);

  // Killed, the first leaves its lock behind; it no longer counts.
  first.kill();
  ASSERT_TRUE(first.waitForFinished(10000));
  EXPECT_TRUE(QFileInfo(LockPath()).isFile());
  const auto [again, againErr] = Run("yes", 200);
  EXPECT_EQ(again, 255) << againErr.toStdString();
  EXPECT_FALSE(againErr.contains("Another instance"));
}

}  // namespace
}  // namespace ravelin
