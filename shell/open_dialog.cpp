#include "shell/open_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "shell/desktop.h"

namespace ravelin {
namespace {

QPushButton* BrowseButton(QWidget* parent, const char* objectName) {
  auto* button = new QPushButton(QStringLiteral("..."), parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 24);
  button->setAutoDefault(false);
  return button;
}

QLineEdit* PathEdit(QWidget* parent, const char* objectName) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(objectName));
  edit->setReadOnly(true);
  edit->setMinimumWidth(380);
  return edit;
}

// The wait cursor for as long as a picker takes to come up and answer.
class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

OpenDialog::OpenDialog(RecoverySettings& settings, Desktop& desktop, QWidget* parent)
    : QDialog(parent), settings_(settings), desktop_(desktop) {
  setObjectName(QStringLiteral("openDialog"));
  setWindowTitle(QString::fromUtf8(kTextOpenDialogTitle));

  auto* fileGroup = new QGroupBox(QStringLiteral("Select MDF File Path:"), this);
  path_ = PathEdit(fileGroup, "dataFilePath");
  browse_ = BrowseButton(fileGroup, "browseDataFile");
  mode_ = new QComboBox(fileGroup);
  mode_->setObjectName(QStringLiteral("recoveryMode"));
  mode_->addItem(QStringLiteral("Standard Mode"));
  mode_->addItem(QStringLiteral("Advanced Mode"));
  mode_->setCurrentIndex(0);
  sql2000_ = new QCheckBox(QStringLiteral("Is SQL 2000"), fileGroup);
  sql2000_->setObjectName(QStringLiteral("isSql2000"));
  deleted_ = new QCheckBox(QStringLiteral("Show deleted records"), fileGroup);
  deleted_->setObjectName(QStringLiteral("showDeleted"));
  advancedDeleted_ = new QCheckBox(QStringLiteral("Show Advanced Deleted records"), fileGroup);
  advancedDeleted_->setObjectName(QStringLiteral("showAdvancedDeleted"));
  auto* fileLayout = new QGridLayout(fileGroup);
  fileLayout->addWidget(path_, 0, 0, 1, 3);
  fileLayout->addWidget(browse_, 0, 3);
  fileLayout->addWidget(new QLabel(QStringLiteral("Select Recovery Mode:"), fileGroup), 1, 0);
  fileLayout->addWidget(mode_, 1, 1);
  fileLayout->addWidget(sql2000_, 1, 2, 1, 2);
  fileLayout->addWidget(deleted_, 2, 0);
  fileLayout->addWidget(advancedDeleted_, 2, 1, 1, 3);
  fileLayout->setColumnStretch(1, 1);

  auto* furtherGroup = new QGroupBox(QString::fromUtf8(kTextFurtherOptions), this);
  suspect_ = new QCheckBox(QString::fromUtf8(kTextListSuspects), furtherGroup);
  suspect_->setObjectName(QStringLiteral("listSuspects"));
  suspect_->setToolTip(
      QStringLiteral("Records on the table's pages whose layout does not fit its columns are listed as rows too, "
                     "marked suspect; their values may be garbage."));
  auto* furtherLayout = new QHBoxLayout(furtherGroup);
  furtherLayout->addWidget(suspect_);

  auto* collationGroup = new QGroupBox(QStringLiteral("Collation Option:"), this);
  autoDetect_ = new QRadioButton(QStringLiteral("Auto detect"), collationGroup);
  autoDetect_->setObjectName(QStringLiteral("autoDetectCollation"));
  manual_ = new QRadioButton(QStringLiteral("Manual"), collationGroup);
  manual_->setObjectName(QStringLiteral("manualCollation"));
  collations_ = new QComboBox(collationGroup);
  collations_->setObjectName(QStringLiteral("collationList"));
  collations_->setMinimumContentsLength(28);
  collations_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  auto* collationLayout = new QHBoxLayout(collationGroup);
  collationLayout->addWidget(autoDetect_);
  collationLayout->addWidget(manual_);
  collationLayout->addWidget(collations_, 1);

  auto* logGroup = new QGroupBox(QStringLiteral("Select Log file path:"), this);
  logFolder_ = PathEdit(logGroup, "logFolder");
  logBrowse_ = BrowseButton(logGroup, "browseLogFolder");
  auto* logLayout = new QHBoxLayout(logGroup);
  logLayout->addWidget(logFolder_, 1);
  logLayout->addWidget(logBrowse_);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("cancel"));
  cancel_->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fileGroup);
  layout->addWidget(collationGroup);
  layout->addWidget(logGroup);
  layout->addWidget(furtherGroup);
  layout->addLayout(buttons);

  // The collation list, sorted by name; each entry carries the low half of
  // its id.
  for (const auto& [id, entry] : settings_.collationTable) {
    collations_->addItem(QString::fromStdString(entry.name),
                         static_cast<uint>(static_cast<uint64_t>(id) & 0xFFFFFFFFu));
  }
  collations_->model()->sort(0);
  collations_->setCurrentIndex(collations_->count() > 0 ? 0 : -1);

  SelectAutoDetect();
  logFolder_->setText(QString::fromStdString(DefaultLogFolder()));

  connect(browse_, &QPushButton::clicked, this, &OpenDialog::BrowseDataFile);
  connect(logBrowse_, &QPushButton::clicked, this, &OpenDialog::BrowseLogFolder);
  connect(autoDetect_, &QRadioButton::clicked, this, &OpenDialog::SelectAutoDetect);
  connect(manual_, &QRadioButton::clicked, this, &OpenDialog::SelectManual);
  // Connected only now: filling the list above leaves the manual id of an
  // earlier run alone.
  connect(collations_, &QComboBox::currentIndexChanged, this, &OpenDialog::CollationChosen);
  connect(ok_, &QPushButton::clicked, this, &OpenDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &OpenDialog::reject);
}

void OpenDialog::SelectAutoDetect() {
  autoDetect_->setChecked(true);
  manual_->setChecked(false);
  collations_->setEnabled(false);
  settings_.autoDetectCollation = true;
}

void OpenDialog::SelectManual() {
  autoDetect_->setChecked(false);
  manual_->setChecked(true);
  collations_->setEnabled(true);
  settings_.autoDetectCollation = false;
}

void OpenDialog::CollationChosen(int index) {
  if (index < 0) return;
  settings_.manualCollationId = static_cast<int64_t>(collations_->itemData(index).toUInt());
}

void OpenDialog::BrowseDataFile() {
  QString chosen;
  {
    WaitCursor wait;
    FileRequest request;
    request.title = QString::fromUtf8(kTextOpenDialogTitle);
    request.filter = QString::fromLatin1(kMdfFileFilter);
    request.defaultSuffix = QStringLiteral("mdf");
    request.initialName = QStringLiteral("*.mdf");
    chosen = desktop_.ChooseFileToOpen(this, request);
  }
  if (chosen.isEmpty()) return;
  if (QFileInfo(chosen).isFile())
    path_->setText(chosen);
  else
    desktop_.Inform(this, QString::fromUtf8(kTextInvalidBrowsedFile));
}

void OpenDialog::BrowseLogFolder() {
  const QString chosen = desktop_.ChooseFolder(this, QString::fromUtf8(kTextLogFolderTitle)).trimmed();
  if (!chosen.isEmpty() && QFileInfo(chosen).isDir()) logFolder_->setText(chosen);
}

OpenChoice OpenDialog::choice() const {
  OpenChoice choice;
  choice.dataFilePath = path_->text().toStdString();
  choice.logFolder = logFolder_->text().toStdString();
  choice.modeIndex = mode_->currentIndex() == 1 ? 1 : 0;
  choice.isSql2000 = sql2000_->isChecked();
  choice.showDeleted = deleted_->isChecked();
  choice.showAdvancedDeleted = advancedDeleted_->isChecked();
  choice.listSuspects = suspect_->isChecked();
  return choice;
}

void OpenDialog::accept() {
  const std::string refusal = CheckOpenChoice(choice());
  if (!refusal.empty()) {
    desktop_.Inform(this, QString::fromStdString(refusal));
    return;
  }
  QDialog::accept();
}

}  // namespace ravelin
