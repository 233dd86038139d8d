// The open-database dialog: the data file, the recovery mode, the three
// deleted-record and layout options, the collation (detected or chosen
// from the collation table) and the log folder. OK checks the choice as
// the core does and keeps the dialog open with the reason when it fails.
//
// The collation buttons and list write the run settings at once, so a
// Cancel keeps what they changed; everything else reaches the settings only
// when the run starts (the Open command hands choice() to the core).

#ifndef RAVELIN_SHELL_OPEN_DIALOG_H_
#define RAVELIN_SHELL_OPEN_DIALOG_H_

#include <QDialog>

#include "recovery/recovery_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace ravelin {

class Desktop;

inline constexpr char kTextOpenDialogTitle[] = "Select Corrupted MDF file";
inline constexpr char kTextInvalidBrowsedFile[] = "Please select valid mdf file.";
inline constexpr char kTextLogFolderTitle[] = "Select location to save Log file(s).";
inline constexpr char kMdfFileFilter[] = "MDF files (*.mdf);;All files (*)";
inline constexpr char kTextFurtherOptions[] = "Further options:";
inline constexpr char kTextListSuspects[] = "Also list records that do not fit their table (suspect)";

class OpenDialog : public QDialog {
  Q_OBJECT

 public:
  // `settings` and `desktop` must outlive the dialog; no job may run while
  // it is open.
  OpenDialog(RecoverySettings& settings, Desktop& desktop, QWidget* parent = nullptr);

  // What the user chose; valid once the dialog was accepted.
  OpenChoice choice() const;

  void accept() override;

  // The controls, for the tests that fill the dialog in.
  QLineEdit& pathEdit() const { return *path_; }
  QPushButton& browseButton() const { return *browse_; }
  QComboBox& modeList() const { return *mode_; }
  QCheckBox& sql2000Box() const { return *sql2000_; }
  QCheckBox& deletedBox() const { return *deleted_; }
  QCheckBox& advancedDeletedBox() const { return *advancedDeleted_; }
  QCheckBox& suspectBox() const { return *suspect_; }
  QRadioButton& autoDetectButton() const { return *autoDetect_; }
  QRadioButton& manualButton() const { return *manual_; }
  QComboBox& collationList() const { return *collations_; }
  QLineEdit& logFolderEdit() const { return *logFolder_; }
  QPushButton& logBrowseButton() const { return *logBrowse_; }
  QPushButton& okButton() const { return *ok_; }
  QPushButton& cancelButton() const { return *cancel_; }

 private:
  void BrowseDataFile();
  void BrowseLogFolder();
  void SelectAutoDetect();
  void SelectManual();
  void CollationChosen(int index);

  RecoverySettings& settings_;
  Desktop& desktop_;
  QLineEdit* path_;
  QPushButton* browse_;
  QComboBox* mode_;
  QCheckBox* sql2000_;
  QCheckBox* deleted_;
  QCheckBox* advancedDeleted_;
  // Our own option, in a group apart from the three check boxes above.
  QCheckBox* suspect_;
  QRadioButton* autoDetect_;
  QRadioButton* manual_;
  QComboBox* collations_;
  QLineEdit* logFolder_;
  QPushButton* logBrowse_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_OPEN_DIALOG_H_
