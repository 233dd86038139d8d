// The Open dialog: its controls as they start, the checks of OK in their
// order, the browse buttons, and the collation choice that reaches the run
// settings at once.

#include "shell/open_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "gui_support.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using namespace testing;

QString Q(const std::string& text) { return QString::fromStdString(text); }

class OpenDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.collationTable = ParseCollationTable(
        "Zulu_CI\t100\t1252\n"
        "Albanian_BIN\t-5\t1250\n"
        "Latin1_General_CI_AS\t53256\t1252\n");
    data = dir.Write("Sales.mdf.bak", Bytes(8192));
    dialog = std::make_unique<OpenDialog>(settings, desktop);
  }

  void Ok() { QTest::mouseClick(&dialog->okButton(), Qt::LeftButton); }

  RecoverySettings settings;
  TestDesktop desktop;
  TempDir dir;
  std::string data;
  std::unique_ptr<OpenDialog> dialog;
};

TEST_F(OpenDialogTest, StartsWithTheDefaults) {
  EXPECT_EQ(dialog->windowTitle(), "Select Corrupted MDF file");
  EXPECT_EQ(dialog->modeList().count(), 2);
  EXPECT_EQ(dialog->modeList().itemText(0), "Standard Mode");
  EXPECT_EQ(dialog->modeList().itemText(1), "Advanced Mode");
  EXPECT_EQ(dialog->modeList().currentIndex(), 0);
  EXPECT_EQ(dialog->sql2000Box().text(), "Is SQL 2000");
  EXPECT_EQ(dialog->deletedBox().text(), "Show deleted records");
  EXPECT_EQ(dialog->advancedDeletedBox().text(), "Show Advanced Deleted records");
  EXPECT_FALSE(dialog->sql2000Box().isChecked() || dialog->deletedBox().isChecked() ||
               dialog->advancedDeletedBox().isChecked());
  EXPECT_TRUE(dialog->autoDetectButton().isChecked());
  EXPECT_FALSE(dialog->manualButton().isChecked());
  EXPECT_FALSE(dialog->collationList().isEnabled());
  EXPECT_TRUE(settings.autoDetectCollation);
  EXPECT_TRUE(dialog->pathEdit().isReadOnly());
  EXPECT_EQ(dialog->logFolderEdit().text(), Q(DefaultLogFolder()));

  // Sorted by name, each carrying the low half of its id; the first shown
  // without becoming the manual choice.
  ASSERT_EQ(dialog->collationList().count(), 3);
  EXPECT_EQ(dialog->collationList().itemText(0), "Albanian_BIN");
  EXPECT_EQ(dialog->collationList().itemData(0).toUInt(), 0xFFFFFFFBu);
  EXPECT_EQ(dialog->collationList().itemText(2), "Zulu_CI");
  EXPECT_EQ(dialog->collationList().currentIndex(), 0);
  EXPECT_EQ(settings.manualCollationId, 0);
}

TEST_F(OpenDialogTest, OkChecksThePathThenTheLogFolder) {
  Ok();
  EXPECT_EQ(desktop.Take(), QStringList{"Please select valid SQL file path to continue the recovery process."});
  EXPECT_EQ(dialog->result(), QDialog::Rejected);

  // The browse button refuses a file that does not exist.
  desktop.files = {Q(dir.path() + "/missing.mdf")};
  QTest::mouseClick(&dialog->browseButton(), Qt::LeftButton);
  EXPECT_EQ(desktop.Take(), QStringList{"Please select valid mdf file."});
  EXPECT_EQ(dialog->pathEdit().text(), "");
  ASSERT_EQ(desktop.fileRequests.size(), 1u);
  EXPECT_EQ(desktop.fileRequests[0].filter, "MDF files (*.mdf);;All files (*)");
  EXPECT_EQ(desktop.fileRequests[0].defaultSuffix, "mdf");

  // ".MDF" anywhere in the path, in any case, passes.
  desktop.files = {Q(data)};
  QTest::mouseClick(&dialog->browseButton(), Qt::LeftButton);
  EXPECT_EQ(dialog->pathEdit().text(), Q(data));
  dialog->logFolderEdit().setText(Q(dir.path() + "/no such folder"));
  Ok();
  EXPECT_EQ(desktop.Take(), QStringList{"Please select valid Log file path to continue the recovery process."});
  EXPECT_EQ(dialog->result(), QDialog::Rejected);

  // The folder browser takes an existing folder, trimmed.
  desktop.files = {Q("  " + dir.path() + "  ")};
  QTest::mouseClick(&dialog->logBrowseButton(), Qt::LeftButton);
  EXPECT_EQ(desktop.fileRequests.back().title, "Select location to save Log file(s).");
  EXPECT_EQ(dialog->logFolderEdit().text(), Q(dir.path()));

  dialog->modeList().setCurrentIndex(1);
  dialog->deletedBox().setChecked(true);
  dialog->sql2000Box().setChecked(true);
  Ok();
  EXPECT_EQ(desktop.Take(), QStringList{});
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  const OpenChoice choice = dialog->choice();
  EXPECT_EQ(choice.dataFilePath, data);
  EXPECT_EQ(choice.logFolder, dir.path());
  EXPECT_EQ(choice.modeIndex, 1);
  EXPECT_TRUE(choice.isSql2000);
  EXPECT_TRUE(choice.showDeleted);
  EXPECT_FALSE(choice.showAdvancedDeleted);
}

TEST_F(OpenDialogTest, TheCollationChoiceReachesTheSettingsAtOnce) {
  settings.manualCollationId = 77;
  OpenDialog again(settings, desktop);
  // Manual alone keeps the id of an earlier run.
  QTest::mouseClick(&again.manualButton(), Qt::LeftButton);
  EXPECT_FALSE(settings.autoDetectCollation);
  EXPECT_TRUE(again.collationList().isEnabled());
  EXPECT_FALSE(again.autoDetectButton().isChecked());
  EXPECT_EQ(settings.manualCollationId, 77);

  again.collationList().setCurrentIndex(1);
  EXPECT_EQ(settings.manualCollationId, 53256);
  again.collationList().setCurrentIndex(0);
  EXPECT_EQ(settings.manualCollationId, 0xFFFFFFFBll);

  // Cancel keeps what the buttons and the list changed.
  QTest::mouseClick(&again.cancelButton(), Qt::LeftButton);
  EXPECT_EQ(again.result(), QDialog::Rejected);
  EXPECT_FALSE(settings.autoDetectCollation);

  QTest::mouseClick(&again.autoDetectButton(), Qt::LeftButton);
  EXPECT_TRUE(settings.autoDetectCollation);
  EXPECT_FALSE(again.collationList().isEnabled());
}

}  // namespace
}  // namespace ravelin
