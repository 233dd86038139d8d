#include "shell/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <climits>

#include "recovery/run_commands.h"
#include "recovery/tree_builder.h"
#include "shell/about_dialog.h"
#include "shell/application_look.h"
#include "shell/command_bar.h"
#include "shell/desktop.h"
#include "shell/icons.h"
#include "shell/object_tree_model.h"
#include "shell/open_dialog.h"
#include "shell/output_pane.h"
#include "shell/records_panel.h"
#include "shell/records_table_model.h"
#include "shell/splash_screen.h"

namespace ravelin {
namespace {

constexpr int kTreePaneWidth = 300;
constexpr int kOutputPaneHeight = 110;
constexpr int kCommandPollMs = 100;
// How often the changes that come in batches are shown.
constexpr int kPendingChangesMs = 40;

QString Text(const char* text) { return QString::fromUtf8(text); }

}  // namespace

MainWindow::MainWindow(RecoverySettings& settings, Desktop& desktop, const WebAddresses& web,
                       const MainWindowOptions& options)
    : settings_(settings),
      desktop_(desktop),
      web_(web),
      snapshotLogFolder_(options.snapshotLogFolder),
      bridge_(*this),
      state_(settings_, bridge_),
      releasing_(bridge_, state_),
      sink_(releasing_, log_),
      runner_(settings_),
      selection_(runner_, state_, sink_) {
  setObjectName(QStringLiteral("mainWindow"));
  if (options.splash) (new SplashScreen)->Start();
  if (options.applyLook) {
    QSettings stored;
    ApplyStoredApplicationLook(stored);
  }
  setWindowIcon(ShellIcon(IconId::kApplication));

  commandBar_ = new CommandBar(this);
  addToolBar(Qt::TopToolBarArea, commandBar_);
  connect(commandBar_, &CommandBar::commandTriggered, this, &MainWindow::RunCommand);
  connect(commandBar_, &CommandBar::exitRequested, this, &QWidget::close);
  BuildStatusBar();
  BuildPanes();
  pendingTimer_ = new QTimer(this);
  pendingTimer_->setSingleShot(true);
  pendingTimer_->setInterval(kPendingChangesMs);
  connect(pendingTimer_, &QTimer::timeout, this, &MainWindow::ShowPendingChanges);
  connect(&records_->model(), &RecordsTableModel::rowsStaged, this, &MainWindow::SchedulePendingChanges);
  connect(output_, &OutputPane::linesStaged, this, &MainWindow::SchedulePendingChanges);

  SetCaptionText(Text(kTextSelectDatabase));
  ShowProgressBar(false);
  settings_.logLineCounter = 0;
  log_.Close();
  setWindowTitle(Text(kApplicationTitle));

  commandTimer_ = new QTimer(this);
  connect(commandTimer_, &QTimer::timeout, this, &MainWindow::UpdateCommandStates);
  commandTimer_->start(kCommandPollMs);
}

MainWindow::~MainWindow() {
  // A worker may be waiting for this thread: serve it until it has ended,
  // so that the runner's join below does not wait for ever.
  commandTimer_->stop();
  runner_.Stop();
  while (runner_.Active()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void MainWindow::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("statusBar"));
  bar->setSizeGripEnabled(false);
  statusTitle_ = new QLabel(Text(kApplicationTitle), bar);
  statusTitle_->setObjectName(QStringLiteral("statusTitle"));
  statusTitle_->setFixedWidth(240);
  bar->addWidget(statusTitle_);
  const QUrl maker = AddressUrl(web_.makerSite);
  makerLink_ = new QLabel(bar);
  makerLink_->setObjectName(QStringLiteral("makerLink"));
  makerLink_->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                          .arg(maker.toString().toHtmlEscaped(),
                               (maker.host().isEmpty() ? web_.makerSite : maker.host()).toHtmlEscaped()));
  makerLink_->setToolTip(web_.makerSite);
  makerLink_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  connect(makerLink_, &QLabel::linkActivated, this, [this, maker] { desktop_.OpenUrl(maker); });
  bar->addPermanentWidget(makerLink_);

  // Placed by hand between the two, and kept there as the bar resizes.
  progress_ = new QProgressBar(bar);
  progress_->setObjectName(QStringLiteral("progressBar"));
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  bar->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == statusBar() && event->type() == QEvent::Resize)
    progress_->setGeometry(250, 3, std::max(statusBar()->width() - 560, 0), 17);
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::BuildPanes() {
  addToolBarBreak(Qt::TopToolBarArea);
  auto* captionBar = new QToolBar(tr("Caption"), this);
  captionBar->setObjectName(QStringLiteral("captionBar"));
  captionBar->setMovable(false);
  captionBar->setFloatable(false);
  captionBar->setContextMenuPolicy(Qt::PreventContextMenu);
  caption_ = new QLabel(captionBar);
  caption_->setObjectName(QStringLiteral("captionText"));
  caption_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  caption_->setContentsMargins(8, 3, 8, 3);
  caption_->setTextFormat(Qt::PlainText);
  QFont captionFont = caption_->font();
  captionFont.setBold(true);
  caption_->setFont(captionFont);
  captionBar->addWidget(caption_);
  addToolBar(Qt::TopToolBarArea, captionBar);

  treeView_ = new QTreeView(this);
  treeView_->setObjectName(QStringLiteral("objectTree"));
  treeView_->setHeaderHidden(true);
  treeView_->setUniformRowHeights(true);
  treeView_->setSelectionMode(QAbstractItemView::SingleSelection);
  treeView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  treeView_->setAnimated(false);
  treeView_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  treeView_->header()->setStretchLastSection(false);
  treeModel_ = new ObjectTreeModel(state_.tree, this);
  treeModel_->SetBaseFont(treeView_->font());
  treeView_->setModel(treeModel_);
  connect(treeView_, &QTreeView::clicked, this, &MainWindow::TreeItemClicked);
  auto* treeDock = new QDockWidget(Text(kTreePaneTitle), this);
  treeDock->setObjectName(QStringLiteral("objectTreePane"));
  treeDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  treeDock->setWidget(treeView_);
  addDockWidget(Qt::LeftDockWidgetArea, treeDock);

  output_ = new OutputPane(this);
  auto* outputDock = new QDockWidget(Text(kOutputPaneTitle), this);
  outputDock->setObjectName(QStringLiteral("outputPane"));
  outputDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  outputDock->setWidget(output_);
  addDockWidget(Qt::BottomDockWidgetArea, outputDock);
  setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
  resizeDocks({treeDock}, {kTreePaneWidth}, Qt::Horizontal);
  resizeDocks({outputDock}, {kOutputPaneHeight}, Qt::Vertical);

  records_ = new RecordsPanel(this);
  records_->setObjectName(QStringLiteral("recordsPanel"));
  connect(records_, &RecordsPanel::previousRequested, this, &MainWindow::PreviousRecords);
  connect(records_, &RecordsPanel::nextRequested, this, &MainWindow::NextRecords);
  setCentralWidget(records_);
}

// --- Effects of the core's notifications --------------------------------

void MainWindow::SchedulePendingChanges() {
  if (!pendingTimer_->isActive()) pendingTimer_->start();
}

void MainWindow::ShowPendingChanges() {
  pendingTimer_->stop();
  records_->model().Commit();
  output_->Commit();
  if (captionPending_) caption_->setText(pendingCaption_);
  if (progressPending_) progress_->setValue(pendingProgress_);
  captionPending_ = progressPending_ = false;
}

bool MainWindow::ChangesPending() const {
  return captionPending_ || progressPending_ || records_->model().HasStaged() || output_->HasStaged();
}

void MainWindow::SetProgressRange(int64_t low, int64_t high) {
  ShowPendingChanges();
  progressScale_ = high > INT_MAX ? high / INT_MAX + 1 : 1;
  progress_->setValue(progress_->minimum());
  progress_->setRange(static_cast<int>(low / progressScale_), static_cast<int>(high / progressScale_));
  progress_->setValue(progress_->minimum());
}

void MainWindow::SetProgressPos(int64_t position) {
  const int64_t scaled = position / progressScale_;
  pendingProgress_ = static_cast<int>(std::clamp<int64_t>(scaled, progress_->minimum(), progress_->maximum()));
  progressPending_ = true;
  SchedulePendingChanges();
  emit progressReported(position);
}

void MainWindow::ShowProgressBar(bool shown) {
  ShowPendingChanges();
  progress_->setVisible(shown);
}

void MainWindow::ShowErrorText(const QString& text) {
  ShowPendingChanges();
  progress_->setValue(progress_->minimum());
  records_->ClearDefinitionText();
  desktop_.ShowMessage(this, text, MessageIcon::kStop, MessageButtons::kOk);
}

void MainWindow::AppendOutputLine(const QString& text) {
  output_->InsertLine(settings_.logLineCounter.load(), text);
  ++settings_.logLineCounter;
}

MessageAnswer MainWindow::ShowMessage(const QString& text, MessageIcon icon, MessageButtons buttons) {
  ShowPendingChanges();
  return desktop_.ShowMessage(this, text, icon, buttons);
}

void MainWindow::SetCaptionText(const QString& text) {
  pendingCaption_ = text;
  captionPending_ = true;
  SchedulePendingChanges();
}

QString MainWindow::CaptionText() const { return caption_->text(); }

void MainWindow::TreeChanged() {
  const QModelIndex rootBefore = treeModel_->index(0, 0);
  treeModel_->Refresh();
  // A new database: open its root and its user tables.
  const TreeCategories& categories = state_.categories;
  if (categories.root == kNoTreeItem || rootBefore.isValid()) return;
  for (TreeItem item : {categories.root, categories.tables, categories.userTables}) {
    const QModelIndex index = treeModel_->IndexOf(item);
    if (index.isValid()) treeView_->expand(index);
  }
}

void MainWindow::Inform(const QString& text) {
  ShowPendingChanges();
  desktop_.Inform(this, text);
}

// --- Commands -----------------------------------------------------------

void MainWindow::UpdateCommandStates() {
  if (QAction* stop = commandBar_->action(kCommandStop)) stop->setEnabled(runner_.Busy());
}

void MainWindow::RunCommand(int id) {
  switch (id) {
    case kCommandOpen:
      Open();
      break;
    case kCommandStop:
      Stop();
      break;
    case kCommandSaveSqlData:
      Export(ExportKind::kSqlScript);
      break;
    case kCommandSaveSqlite:
      Export(ExportKind::kSqlite);
      break;
    case kCommandSaveRecordsData:
      Export(ExportKind::kCsvFolder);
      break;
    case kCommandSaveTable:
      Export(ExportKind::kCsvTable);
      break;
    case kCommandLoadSnapshot:
      LoadSnapshot();
      break;
    case kCommandSaveSnapshot:
      SaveSnapshot();
      break;
    case kCommandHelp:
      Help();
      break;
    case kCommandAbout:
      About();
      break;
    default:
      break;
  }
  UpdateCommandStates();
}

void MainWindow::Open() {
  // A stopped job that has not ended yet still owns the settings the dialog
  // writes.
  if (runner_.Active()) {
    Inform(kTextPleaseWait);
    return;
  }
  OpenDialog dialog(settings_, desktop_, this);
  if (desktop_.RunDialog(dialog) != QDialog::Accepted) return;
  const std::string refusal = StartOpenRun(runner_, state_, sink_, dialog.choice());
  if (!refusal.empty()) Inform(refusal);
}

void MainWindow::Stop() {
  if (!runner_.Busy()) return;
  if (desktop_.ShowMessage(this, Text(kTextConfirmStop), MessageIcon::kInformation, MessageButtons::kYesNo) ==
      MessageAnswer::kYes)
    runner_.Stop();
}

void MainWindow::Export(ExportKind kind) {
  if (runner_.Busy()) {
    Inform(kTextPleaseWait);
    return;
  }
  if (state_.tree.empty()) {
    Inform(kTextSelectDatabaseFirst);
    return;
  }
  ExportRequest request;
  request.kind = kind;
  FileRequest file;
  QString chosen;
  switch (kind) {
    case ExportKind::kCsvTable: {
      const TreeItem table = SelectedTable();
      if (table == kNoTreeItem) {
        Inform(kTextSelectTableToSave);
        return;
      }
      const std::string name = state_.tree.Label(table);
      request.tables = {name};
      file = {tr("Save Table"), tr("CSV files (*.csv);;All files (*)"), QStringLiteral("csv"),
              QString::fromStdString(name) + ".csv"};
      chosen = desktop_.ChooseFileToSave(this, file);
      break;
    }
    case ExportKind::kCsvFolder:
      chosen = desktop_.ChooseFolder(this, tr("Save Records Data: the folder for the CSV files"));
      break;
    case ExportKind::kSqlScript:
      file = {tr("Save SQL Data"), tr("SQL scripts (*.sql);;All files (*)"), QStringLiteral("sql"), QString()};
      chosen = desktop_.ChooseFileToSave(this, file);
      break;
    case ExportKind::kSqlite:
      file = {tr("Save as SQLite database"), tr("SQLite databases (*.db *.sqlite *.sqlite3);;All files (*)"),
              QStringLiteral("db"), QString()};
      chosen = desktop_.ChooseFileToSave(this, file);
      break;
  }
  if (chosen.isEmpty()) return;
  request.outputPath = chosen.toStdString();
  if (kind != ExportKind::kCsvTable) request.tables = UserTables();

  const bool started = runner_.Start([this, request](JobToken& token) {
    bridge_.ShowProgressBar(true);
    const ExportOutcome outcome = RunExport(state_, sink_, request);
    bridge_.ShowProgressBar(false);
    token.EndJob();
    sink_.AppendLogLine(outcome.message);
    bridge_.Inform(outcome.message);
  });
  if (!started) Inform(kTextPleaseWait);
}

void MainWindow::LoadSnapshot() {
  if (runner_.Active()) {
    Inform(kTextPleaseWait);
    return;
  }
  const QString path =
      desktop_.ChooseFileToOpen(this, {tr("Load Snapshot"), Text(kSnapshotFilter), QStringLiteral("MDBSNP"), {}});
  if (path.isEmpty()) return;
  const std::string refusal = StartSnapshotLoad(runner_, state_, sink_, path.toStdString(), SnapshotLogFolder());
  if (!refusal.empty()) Inform(refusal);
}

void MainWindow::SaveSnapshot() {
  const bool selected = treeView_->selectionModel() && treeView_->selectionModel()->hasSelection();
  const std::string refusal = SnapshotSaveRefusal(runner_, state_, selected);
  if (!refusal.empty()) {
    Inform(refusal);
    return;
  }
  const QString path =
      desktop_.ChooseFileToSave(this, {tr("Save Snapshot"), Text(kSnapshotFilter), QStringLiteral("MDBSNP"), {}});
  if (path.isEmpty()) return;
  // Its lines go to the output pane only, not to the log file.
  ravelin::SaveSnapshot(runner_, state_, bridge_, path.toStdString());
}

void MainWindow::Help() {
  if (runner_.Busy()) {
    Inform(kTextStopToContinue);
    return;
  }
  if (!web_.helpPage.isEmpty()) {
    desktop_.OpenUrl(AddressUrl(web_.helpPage));
    return;
  }
  const QString guide = UserGuidePath();
  if (guide.isEmpty()) {
    Inform(tr("The user guide (ravelin-guide.html) is not installed with the program."));
    return;
  }
  desktop_.OpenUrl(QUrl::fromLocalFile(guide));
}

void MainWindow::About() {
  if (runner_.Busy()) {
    Inform(kTextStopToContinue);
    return;
  }
  AboutDialog dialog(web_, desktop_, this);
  desktop_.RunDialog(dialog);
}

void MainWindow::TreeItemClicked(const QModelIndex& index) {
  const std::string refusal = selection_.Select(ObjectTreeModel::ItemOf(index));
  if (!refusal.empty()) {
    // The tree goes back to the item being shown.
    const QModelIndex shown = treeModel_->IndexOf(state_.tree.Selected());
    if (shown.isValid())
      treeView_->setCurrentIndex(shown);
    else
      treeView_->clearSelection();
    Inform(refusal);
  }
  UpdateCommandStates();
}

void MainWindow::PreviousRecords() {
  const std::string refusal = selection_.PreviousRecords();
  if (!refusal.empty()) Inform(refusal);
  UpdateCommandStates();
}

void MainWindow::NextRecords() {
  const std::string refusal = selection_.NextRecords();
  if (!refusal.empty()) Inform(refusal);
  UpdateCommandStates();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (runner_.Active()) {
    Inform(kTextStopToClose);
    return;
  }
  if (desktop_.ShowMessage(this, Text(kTextConfirmClose), MessageIcon::kQuestion, MessageButtons::kYesNo) !=
      MessageAnswer::kYes)
    return;
  runner_.RunInline([this] { state_.ReleaseDatabase(); });
  const std::string notice = LogFileNotice(settings_.logFilePath);
  if (!notice.empty()) Inform(notice);
  if (!web_.productPage.isEmpty()) desktop_.OpenUrl(AddressUrl(web_.productPage));
  desktop_.EndProcess(-1);
}

// --- Helpers ------------------------------------------------------------

TreeItem MainWindow::SelectedTable() const {
  if (!treeView_->selectionModel() || !treeView_->selectionModel()->hasSelection()) return kNoTreeItem;
  for (TreeItem item = ObjectTreeModel::ItemOf(treeView_->currentIndex()); item != kNoTreeItem;
       item = state_.tree.Parent(item))
    if (IsTableItem(state_, item)) return item;
  return kNoTreeItem;
}

std::vector<std::string> MainWindow::UserTables() const {
  std::vector<std::string> tables;
  for (TreeItem item : state_.tree.Children(state_.categories.userTables)) tables.push_back(state_.tree.Label(item));
  return tables;
}

std::string MainWindow::SnapshotLogFolder() const {
  if (!snapshotLogFolder_.empty()) return NormalizeLogFolder(snapshotLogFolder_);
  const std::string folder = ExecutableFolder();
  if (QFileInfo(QString::fromStdString(folder)).isWritable()) return folder;
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  if (state.isEmpty()) state = QDir::homePath() + "/.local/state";
  state += "/ravelin";
  QDir().mkpath(state);
  return state.toStdString() + "/";
}

}  // namespace ravelin
