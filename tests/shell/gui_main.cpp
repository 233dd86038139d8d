// The desktop program's tests run its real widgets on Qt's offscreen
// platform, in a home folder of their own (settings, desktop folder and
// runtime folder included).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QStandardPaths>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char home[] = "/tmp/ravelin-gui-test-XXXXXX";
  const bool ownHome = mkdtemp(home) != nullptr;
  if (ownHome) {
    setenv("HOME", home, 1);
    setenv("XDG_RUNTIME_DIR", home, 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_STATE_HOME");
  }
  QApplication application(argc, argv);
  QCoreApplication::setOrganizationName("Velmora");
  QCoreApplication::setApplicationName("RavelinTest");
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;
  if (ownHome) std::filesystem::remove_all(home, ignored);
  return result;
}
