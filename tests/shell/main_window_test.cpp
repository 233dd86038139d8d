// The main window driven as a person drives it: the Open button and its
// dialog, clicks in the object tree, the pager buttons, the commands and
// the closing sequence, on the bundled sample and on synthetic databases.
// What the window shows is compared with what the command line prints for
// the same file.

#include "shell/main_window.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "gui_support.h"
#include "recovery/job_runner.h"
#include "recovery/run_commands.h"
#include "shell/command_bar.h"
#include "shell/object_tree_model.h"
#include "shell/open_dialog.h"
#include "shell/output_pane.h"
#include "shell/records_panel.h"
#include "shell/records_table_model.h"
#include "storage/database_file.h"
#include "support/binary_xml_encoder.h"
#include "support/catalog_image.h"
#include "support/catalog_rows.h"
#include "support/compressed_table_image.h"
#include "support/compressor.h"
#include "support/run_command.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using namespace testing;

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// The definition pane keeps line breaks as "\n" alone.
QString Unix(const std::string& text) {
  QString unix = Q(text);
  unix.replace("\r\n", "\n");
  return unix;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.collationTable = LoadCollationTable(BinaryDir() + "/collation.txt");
    web.makerSite = "https://maker.example/";
    web.productPage = "https://maker.example/ravelin/";
    MainWindowOptions options;
    options.splash = false;
    options.applyLook = false;
    options.snapshotLogFolder = logs.path();
    window = std::make_unique<MainWindow>(settings, desktop, web, options);
    window->resize(1200, 800);
    window->show();
    QApplication::processEvents();
  }

  void TearDown() override {
    if (!window) return;
    EXPECT_TRUE(WaitForJobs(*window));
    window.reset();
  }

  // Presses a command button as a person does.
  void Press(int id) {
    auto* button = window->commandBar().findChild<QToolButton*>(QStringLiteral("button%1").arg(id));
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
  }

  // Open, with the dialog filled in, then the whole scan.
  void Open(const std::string& path) {
    desktop.onDialog = [this, path](QDialog& dialog) {
      return FillOpenDialog(dialog, desktop, Q(path), Q(logs.path()));
    };
    Press(kCommandOpen);
    ASSERT_TRUE(WaitForJobs(*window));
  }

  void Click(const QString& labelOrPath) {
    const QModelIndex index = FindTreeItem(window->treeModel(), labelOrPath);
    ASSERT_TRUE(index.isValid()) << labelOrPath.toStdString();
    ClickTreeItem(window->treeView(), index);
    ASSERT_TRUE(WaitForJobs(*window));
  }

  void Page(QPushButton& button) {
    ASSERT_TRUE(button.isEnabled());
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_TRUE(WaitForJobs(*window));
  }

  RecordsPanel& panel() { return window->records(); }

  TempDir logs;
  RecoverySettings settings;
  TestDesktop desktop;
  WebAddresses web;
  std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, TheSampleOpenedBrowsedAndPaged) {
  EXPECT_EQ(window->windowTitle(), "Velmora Ravelin");
  EXPECT_EQ(window->CaptionText(), kTextSelectDatabase);
  EXPECT_TRUE(window->progressBar().isHidden());
  EXPECT_FALSE(window->commandBar().action(kCommandStop)->isEnabled());
  EXPECT_TRUE(panel().DefinitionPaneShown());
  EXPECT_FALSE(panel().RecordsFaceShown());

  const std::string sample = SamplePath();
  Open(sample);
  const QStringList lines = window->output().Lines();
  ASSERT_EQ(lines.size(), 11) << lines.join('\n').toStdString();
  EXPECT_EQ(lines[0], Q(sample + " File is selected for recovery...."));
  EXPECT_EQ(lines[1], Q("Browse File Path:\t" + sample));
  EXPECT_EQ(lines[2], "Standard mode is selected for file recovery.");
  EXPECT_EQ(lines[3], "Scanning of file starts...");
  EXPECT_TRUE(lines[4].startsWith("Database version: ")) << lines[4].toStdString();
  EXPECT_TRUE(lines[5].startsWith("Collation Type: ")) << lines[5].toStdString();
  EXPECT_EQ(lines.mid(6), (QStringList{"Creating Tree.........", "Process done.........",
                                       "Retrieving Objects of Sysobjvalues System Tables...........",
                                       "Retrieving  Objects of Sysobjvalues System Tables has been done...........",
                                       "Scanning completed for selected mdf file."}));
  EXPECT_EQ(desktop.Take(), QStringList{"Scanning process completed."});
  EXPECT_EQ(window->CaptionText(), "Scanning completed for selected mdf file");
  EXPECT_TRUE(window->progressBar().isHidden());
  EXPECT_TRUE(QFileInfo(Q(settings.logFilePath)).isFile());
  EXPECT_EQ(QFileInfo(Q(settings.logFilePath)).absolutePath(), QFileInfo(Q(logs.path())).absoluteFilePath());

  // The tree is the one the command line prints for the same file.
  TempDir cliLogs;
  const CommandResult scan = RunRavelin({"scan", sample, "--log-dir", cliLogs.path(), "--quiet"});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  EXPECT_EQ(DumpTreePane(window->treeModel()), scan.out);

  // A click on a table lists its first page. While it runs, another click
  // and the pager are refused, and the tree goes back to the table shown.
  QStringList refusedWhileListing;
  QString currentWhileListing;
  bool tried = false;
  const auto hook = QObject::connect(window.get(), &MainWindow::progressReported, [&](qint64) {
    if (tried) return;
    tried = true;
    ClickTreeItem(window->treeView(), FindTreeItem(window->treeModel(), "Orders"));
    emit panel().nextRequested();
    refusedWhileListing = desktop.Take();
    currentWhileListing = window->treeView().currentIndex().data().toString();
  });
  Click("Order Details");
  QObject::disconnect(hook);
  EXPECT_EQ(refusedWhileListing, QStringList(2, kTextPleaseWait));
  EXPECT_EQ(currentWhileListing, "Order Details");
  EXPECT_TRUE(panel().RecordsFaceShown());
  EXPECT_FALSE(panel().DefinitionPaneShown());
  EXPECT_EQ(panel().model().rowCount(), 1000);
  EXPECT_EQ(panel().RecordsLabel(), "Page1 - [1000](1-1000) Records");
  EXPECT_TRUE(panel().nextButton().isEnabled());
  EXPECT_FALSE(panel().previousButton().isEnabled());
  EXPECT_EQ(panel().model().Headers(), (QStringList{"OrderID", "ProductID", "UnitPrice", "Quantity", "Discount"}));
  EXPECT_EQ(window->CaptionText(), "Order Details[1000]");
  EXPECT_EQ(window->output().Lines().mid(11, 1), QStringList{"Please wait while Order Details folder is scanning."});
  EXPECT_EQ(window->output().Lines().last(), "Scanning process completed.");

  // Selected rows are copied as tab-separated lines, as `show` prints them.
  const CommandResult page1 = RunRavelin({"show", sample, "Order Details", "--log-dir", cliLogs.path(), "--quiet"});
  const std::vector<std::string> shown1 = Lines(page1.out);
  ASSERT_GE(shown1.size(), 7u);
  QTableView& list = panel().list();
  list.setFocus();
  list.selectRow(0);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                    list.visualRect(panel().model().index(2, 1)).center());
  QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), Q(shown1[4] + "\n" + shown1[5] + "\n" + shown1[6] + "\n"));

  Page(panel().nextButton());
  EXPECT_EQ(panel().RecordsLabel(), "Page2 - [1000](1001-2000) Records");
  EXPECT_TRUE(panel().previousButton().isEnabled());
  Page(panel().nextButton());
  EXPECT_EQ(panel().RecordsLabel(), "Page3 - [155](2001-2155) Records");
  EXPECT_EQ(panel().model().rowCount(), 155);
  EXPECT_FALSE(panel().nextButton().isEnabled());
  Page(panel().previousButton());
  EXPECT_EQ(panel().RecordsLabel(), "Page2 - [1000](1001-2000) Records");

  // Page 2 holds the rows `show --page 2` prints.
  const CommandResult page2 =
      RunRavelin({"show", sample, "Order Details", "--page", "2", "--log-dir", cliLogs.path(), "--quiet"});
  std::string rows;
  for (size_t i = 4; i < Lines(page2.out).size(); ++i) rows += Lines(page2.out)[i] + "\n";
  list.selectAll();
  panel().CopySelection(false);
  EXPECT_EQ(QApplication::clipboard()->text(), Q(rows));

  // A new size forgets the page text.
  window->resize(window->width() - 50, window->height() - 20);
  QApplication::processEvents();
  EXPECT_EQ(panel().RecordsLabel(), "Records");

  // A view shows its definition as `ravelin definition` gives it. A double
  // click is one click on it, not a second one refused.
  const QModelIndex invoices = FindTreeItem(window->treeModel(), "Invoices");
  window->treeView().scrollTo(invoices);
  const QPoint onLabel = window->treeView().visualRect(invoices).center();
  QWidget* viewport = window->treeView().viewport();
  QTest::mouseClick(viewport, Qt::LeftButton, {}, onLabel);
  QTest::mouseDClick(viewport, Qt::LeftButton, {}, onLabel);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, onLabel);
  ASSERT_TRUE(WaitForJobs(*window));
  EXPECT_EQ(desktop.Take(), QStringList{});
  const CommandResult definition = RunRavelin({"definition", sample, "Invoices"});
  ASSERT_EQ(definition.exitCode, 0) << definition.err;
  EXPECT_TRUE(panel().DefinitionPaneShown());
  EXPECT_FALSE(panel().RecordsFaceShown());
  EXPECT_EQ(panel().DefinitionText(), Unix(definition.out));
  EXPECT_EQ(window->CaptionText(), "Invoices[0]");

  // A table's first click adds its key nodes; a primary key shows its script.
  Click("Orders");
  Click("Orders/PrimaryKey/PK_Orders");
  const CommandResult script =
      RunRavelin({"show", sample, "Orders/PrimaryKey/PK_Orders", "--log-dir", cliLogs.path(), "--quiet"});
  ASSERT_EQ(script.exitCode, 0) << script.err;
  EXPECT_EQ(panel().DefinitionText() + "\n", Q(script.out));
  EXPECT_TRUE(panel().DefinitionText().startsWith("ALTER TABLE Orders ADD PRIMARY KEY ("));
  EXPECT_EQ(desktop.Take(), QStringList{});
}

// A small database of the later catalog layout, written to a file.
std::string SmallDatabase(const TempDir& dir, const std::string& name = "small.mdf") {
  return dir.Write(name, SmallCatalogImage().Build());
}

TEST_F(MainWindowTest, StopDuringTheScanOfALargeFile) {
  TempDir dir;
  const std::string path = SmallDatabase(dir, "large.mdf");
  // The catalog's pages first, then two gigabytes of (sparse) zeros.
  std::filesystem::resize_file(path, uint64_t{262144} * kPageSize);

  // The window's thread must serve its events all along: a timer stamps
  // every tick.
  QElapsedTimer clock;
  qint64 lastTick = -1, longestGap = 0;
  QTimer ticker;
  ticker.setInterval(10);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    if (lastTick >= 0) longestGap = std::max(longestGap, now - lastTick);
    lastTick = now;
  });

  int mappingPositions = 0, positionsAfterYes = 0;
  bool answeredYes = false, stopEnabled = false;
  int busyAfterNo = -1;
  QStringList refusals, questions;
  QObject::connect(window.get(), &MainWindow::progressReported, [&](qint64) {
    if (window->records().DefinitionText() != kTextMapping) return;
    ++mappingPositions;
    if (answeredYes) {
      ++positionsAfterYes;
    } else if (mappingPositions == 2) {
      window->UpdateCommandStates();
      stopEnabled = window->commandBar().action(kCommandStop)->isEnabled();
      desktop.Take();
      for (int id : {kCommandOpen, kCommandSaveSqlData, kCommandSaveSqlite, kCommandSaveRecordsData, kCommandSaveTable,
                     kCommandLoadSnapshot, kCommandSaveSnapshot, kCommandHelp, kCommandAbout})
        window->RunCommand(id);
      window->close();
      refusals = desktop.Take();
      desktop.answers = {MessageAnswer::kNo};
      window->RunCommand(kCommandStop);
      busyAfterNo = settings.busy.load();
      questions = desktop.Take();
    } else if (mappingPositions == 8) {
      desktop.answers = {MessageAnswer::kYes};
      window->RunCommand(kCommandStop);
      answeredYes = true;
    }
  });

  clock.start();
  ticker.start();
  Open(path);
  ticker.stop();
  const qint64 openTime = clock.elapsed();

  EXPECT_TRUE(stopEnabled);
  const QString wait = kTextPleaseWait, stopFirst = kTextStopToContinue;
  EXPECT_EQ(refusals, (QStringList{wait, wait, wait, wait, wait, wait, wait, stopFirst, stopFirst,
                                   "Please stop the running process to close the application."}));
  EXPECT_EQ(questions, QStringList{"Are you sure to stop the running process?"});
  EXPECT_EQ(busyAfterNo, 1);
  EXPECT_TRUE(answeredYes);
  // Yes ended the mapping pass; the scan went on with the pages mapped so
  // far, which hold the catalog.
  EXPECT_LE(positionsAfterYes, 1);
  EXPECT_EQ(desktop.Texts(), (QStringList{"Are you sure to stop the running process?", "Scanning process completed."}));
  EXPECT_EQ(window->output().Lines().last(), "Scanning completed for selected mdf file.");
  EXPECT_TRUE(FindTreeItem(window->treeModel(), "dbo.Customers").isValid());
  EXPECT_EQ(settings.busy.load(), 0);
  window->UpdateCommandStates();
  EXPECT_FALSE(window->commandBar().action(kCommandStop)->isEnabled());
  // A scan run on the window's thread would stall it for most of the open;
  // on a loaded machine (two test processes, sanitizers) the scheduler alone
  // can hold it back for a tenth of a second, so the bound leaves room.
  EXPECT_LT(longestGap, std::max<qint64>(250, openTime / 4))
      << "the window's thread stopped serving events for " << longestGap << " ms of " << openTime;
}

TEST_F(MainWindowTest, ClosingAsksOnceThenReleasesTellsAndEnds) {
  TempDir dir;
  Open(SmallDatabase(dir));
  ASSERT_NE(window->state().database(), nullptr);
  desktop.Take();
  desktop.calls.clear();

  desktop.answers = {MessageAnswer::kNo};
  window->close();
  EXPECT_EQ(desktop.Take(), QStringList{kTextConfirmClose});
  EXPECT_EQ(desktop.messages.size(), 0u);
  EXPECT_FALSE(desktop.endedWith.has_value());
  EXPECT_NE(window->state().database(), nullptr);

  desktop.calls.clear();
  desktop.answers = {MessageAnswer::kYes};
  window->close();
  EXPECT_EQ(desktop.Take(), (QStringList{kTextConfirmClose, Q("Log file path : " + settings.logFilePath)}));
  EXPECT_EQ(desktop.messages.size(), 0u);
  EXPECT_EQ(desktop.calls, (std::vector<std::string>{"message", "message", "url", "end"}));
  EXPECT_EQ(desktop.urls, std::vector<QUrl>{QUrl("https://maker.example/ravelin/")});
  EXPECT_EQ(desktop.endedWith, -1);
  EXPECT_EQ(window->state().database(), nullptr);
}

TEST_F(MainWindowTest, SnapshotSavedThenLoadedGivesTheSameTree) {
  TempDir dir;
  Press(kCommandSaveSnapshot);
  EXPECT_EQ(desktop.Take(), QStringList{kTextSelectDatabaseFirst});

  const std::string path = SmallDatabase(dir);
  Open(path);
  const std::string tree = DumpTreePane(window->treeModel());
  desktop.Take();

  Press(kCommandSaveSnapshot);
  EXPECT_EQ(desktop.Take(), QStringList{kTextSelectTableToSave});
  window->treeView().setCurrentIndex(FindTreeItem(window->treeModel(), "dbo.Orders"));
  const std::string snapshot = dir.path() + "/small.MDBSNP";
  desktop.files = {Q(snapshot)};
  const int linesBefore = window->output().LineCount();
  Press(kCommandSaveSnapshot);
  ASSERT_EQ(desktop.fileRequests.size(), 3u);  // two for the Open dialog
  EXPECT_EQ(desktop.fileRequests.back().filter, kSnapshotFilter);
  EXPECT_EQ(desktop.fileRequests.back().defaultSuffix, "MDBSNP");
  const QString saved = Q("Snapshot Saved successfully in path " + snapshot);
  EXPECT_EQ(desktop.Take(), QStringList{saved});
  EXPECT_EQ(window->output().Lines().mid(linesBefore), (QStringList{"Saving Snapshot..Please wait....", saved}));
  ASSERT_TRUE(QFileInfo(Q(snapshot)).isFile());

  desktop.files = {Q(snapshot)};
  Press(kCommandLoadSnapshot);
  ASSERT_TRUE(WaitForJobs(*window));
  EXPECT_EQ(desktop.Take(), QStringList{"Scanning process completed."});
  EXPECT_TRUE(settings.snapshotMode);
  EXPECT_EQ(DumpTreePane(window->treeModel()), tree);
  // The Load's log went to the folder the window was given for it.
  EXPECT_EQ(settings.logFolder, NormalizeLogFolder(logs.path()));
}

TEST_F(MainWindowTest, ADroppedColumnIsCountedButNotListed) {
  // SQL Server 2005 keeps the physical columns apart (objects 13 and 4):
  // dbo.Orders' records hold a fourth column the catalog no longer names.
  DatabaseImage image = SmallCatalogImage();
  constexpr int64_t kCustomersRowset = 72057594038000001, kOrdersRowset = 72057594038000002;
  image.Page(23) = PageBuilder(23);
  SystemTablePage(image, 23, 3,
                  {SysRsColsRow{.rowsetId = kCustomersRowset, .rowsetColumnId = 1, .hobtColumnId = 1}.Build(),
                   SysRsColsRow{.rowsetId = kCustomersRowset,
                                .rowsetColumnId = 2,
                                .hobtColumnId = 2,
                                .offset = static_cast<int32_t>(0xFFFF),
                                .nullBit = 2}
                       .Build()});
  std::vector<Bytes> physical;
  for (int16_t column = 1; column <= 4; ++column)
    physical.push_back(SysHobtColumnsRow{.hobtId = kOrdersRowset,
                                         .hobtColumnId = column,
                                         .leafOffset = static_cast<int16_t>(4 * column),
                                         .nullBit = column}
                           .Build());
  SystemTablePage(image, 27, 13, physical);
  TempDir dir;
  Open(dir.Write("dropped.mdf", image.Build()));
  Click("dbo.Orders");
  EXPECT_EQ(window->state().recordsColumnCount, 4);
  EXPECT_EQ(panel().model().Headers(), (QStringList{"Id", "CustomerId", "Qty"}));
  EXPECT_EQ(panel().RecordsLabel(), "Page1 - [0](0-0) Records");

  // The next table takes the list over.
  Click("dbo.Customers");
  EXPECT_EQ(window->state().recordsColumnCount, 2);
  EXPECT_EQ(panel().model().Headers(), (QStringList{"Id", "Name"}));
}

// Every row of every table of a SQLite file, one line each: "table|values".
std::string SqliteDump(const std::string& path) {
  sqlite3* db = nullptr;
  std::string dump;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return "cannot open";
  std::vector<std::string> tables;
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name", -1, &s, nullptr);
  while (sqlite3_step(s) == SQLITE_ROW) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  sqlite3_finalize(s);
  for (const std::string& table : tables) {
    const std::string sql = "SELECT * FROM \"" + table + "\" ORDER BY rowid";
    sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW) {
      dump += table;
      for (int i = 0; i < sqlite3_column_count(s); ++i) {
        const unsigned char* v = sqlite3_column_text(s, i);
        dump += "|" + (v ? std::string(reinterpret_cast<const char*>(v)) : std::string("NULL"));
      }
      dump += "\n";
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return dump;
}

// dbo.Docs (Id int, Doc xml) on page 40: a live row, a deleted one, one
// whose xml is damaged part-way, one whose large value is lost, and a
// record too long for the table.
std::string DocsFile(const TempDir& dir) {
  std::vector<ColumnDescriptor> columns = {SqlColumn("Id", "int(4)", kTypeInt), SqlColumn("Doc", "xml(-1)", kTypeXml)};
  LayOutColumns(columns);
  Bytes damaged = EncodeBinaryXml(Element({"r"}, {Element({"x"}, {Text("1")})}));
  damaged.insert(damaged.end() - 1, 0x30);  // no token has this value
  TableSpec docs;
  docs.objectId = 500;
  docs.name = "Docs";
  docs.columns = columns;
  docs.rows = {
      CompressedRow{{Value(SqlIntBytes(1, 4)), Value(EncodeBinaryXml(Element({"a"}, {Text("1 < 2")})))}},
      CompressedRow{{Value(SqlIntBytes(2, 4)), Value(EncodeBinaryXml(Element({"g"})))}, CdRecordType::kGhostData},
      CompressedRow{{Value(SqlIntBytes(3, 4)), Value(damaged)}},
      // Its one fragment would be on page 70, which holds nothing.
      CompressedRow{{Value(SqlIntBytes(4, 4)), Value(InRowRoot({LobLinkSpec{{1, 70}, 0, 100}}), true)}}};
  DatabaseImage image = ImageWithTables({docs});
  image.Page(40).AddRecord(RecordBuilder().Fixed(Bytes(12, 1)).ColumnCount(2).Build());
  return dir.Write("docs.mdf", image.Build());
}

// A table whose catalog rows are lost comes back as "Lost table N" among
// the user tables, with its rows under inferred columns, and the warning
// that says so in the output pane.
TEST_F(MainWindowTest, ALostTableIsATreeItemWithItsRows) {
  TempDir dir;
  std::vector<ColumnDescriptor> columns = {SqlColumn("Id", "int(4)", kTypeInt),
                                           SqlColumn("Name", "nvarchar(20)", kTypeNVarChar)};
  LayOutColumns(columns);
  TableSpec lost;
  lost.objectId = 500;
  lost.name = "Gone";
  lost.columns = columns;
  lost.catalogRows = false;
  lost.rows = {CompressedRow{{Value(SqlIntBytes(1, 4)), Value(Utf16("one"))}},
               CompressedRow{{Value(SqlIntBytes(2, 4)), Value(Utf16("two"))}}};
  const std::string path = dir.Write("lost.mdf", ImageWithTables({lost}).Build());
  Open(path);
  const QString name =
      QString::fromStdString("Lost table " + std::to_string((int64_t{256} << 48) | (int64_t{300} << 16)));
  Click(name);
  RecordsTableModel& model = panel().model();
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.Headers().mid(0, 2), (QStringList{"c1", "c2"}));
  EXPECT_EQ(model.CellText(1, 0), "2");
  EXPECT_EQ(model.CellText(1, 1), "two");
  const QStringList lines = window->output().Lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString& line) {
    return IsWarningLine(line) && line.contains(name + ": no catalog rows describe this page");
  })) << lines.join('\n').toStdString();
}

TEST_F(MainWindowTest, DeletedSuspectAndUnreadableValuesAreMarked) {
  TempDir dir;
  const std::string path = DocsFile(dir);
  desktop.onDialog = [this, path](QDialog& dialog) {
    auto* open = dynamic_cast<OpenDialog*>(&dialog);
    if (open) {
      open->deletedBox().setChecked(true);
      open->suspectBox().setChecked(true);
    }
    return FillOpenDialog(dialog, desktop, Q(path), Q(logs.path()));
  };
  Press(kCommandOpen);
  ASSERT_TRUE(WaitForJobs(*window));
  EXPECT_TRUE(settings.listSuspects);
  desktop.Take();
  Click("dbo.Docs");
  RecordsTableModel& model = panel().model();
  ASSERT_EQ(model.rowCount(), 5);
  EXPECT_EQ(model.Headers().mid(0, 3), (QStringList{kRowStatusHeader, "Id", "Doc"}));
  QStringList states, ids;
  for (int row = 0; row < 5; ++row) {
    states << model.CellText(row, 0);
    ids << model.CellText(row, 1);
  }
  EXPECT_EQ(states, (QStringList{"live", "ghost", "live", "live", "suspect"}));
  EXPECT_EQ(ids.mid(0, 4), (QStringList{"1", "2", "3", "4"}));
  EXPECT_FALSE(model.index(0, 1).data(Qt::BackgroundRole).isValid());
  EXPECT_TRUE(model.index(1, 1).data(Qt::BackgroundRole).isValid());
  EXPECT_TRUE(model.index(4, 1).data(Qt::BackgroundRole).isValid());

  // The values: as the core renders them, the damaged one with its
  // marker, the lost one with the list's own marker, never NULL.
  EXPECT_EQ(model.CellText(0, 2), "<a>1 &lt; 2</a>");
  EXPECT_EQ(model.CellText(1, 2), "<g/>");
  EXPECT_TRUE(model.CellText(2, 2).startsWith("<r><x>1</x><!-- ravelin: xml damaged at byte "))
      << model.CellText(2, 2).toStdString();
  EXPECT_EQ(model.CellMarkAt(2, 2), CellMark::kPartlyUnreadable);
  EXPECT_EQ(model.CellText(3, 2), kUnreadableCellText);
  EXPECT_EQ(model.CellMarkAt(3, 2), CellMark::kUnreadable);
  EXPECT_FALSE(model.CellMarkAt(0, 2));

  // The warnings are lines of the output pane and of the log file.
  const QStringList lines = window->output().Lines();
  auto warned = [&lines](const QString& part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const QString& line) { return IsWarningLine(line) && line.contains(part); });
  };
  EXPECT_TRUE(warned("a value cannot be read, page 1:40 slot 2, column Doc")) << lines.join('\n').toStdString();
  EXPECT_TRUE(warned("1 record does not fit the table and is listed as suspect, page 1:40"));
  // The log is UTF-16; its warning lines are ASCII.
  std::string log;
  for (uint8_t b : ReadFileBytes(settings.logFilePath))
    if (b != 0) log.push_back(static_cast<char>(b));
  EXPECT_NE(log.find("warning: dbo.Docs: a value cannot be read, page 1:40 slot 2"), std::string::npos);

  // Without the options: the live rows alone, no status column; what
  // cannot be read is still marked.
  Open(path);
  desktop.Take();
  EXPECT_FALSE(settings.listSuspects);
  Click("dbo.Docs");
  ASSERT_EQ(model.rowCount(), 3);
  EXPECT_FALSE(model.StatusShown());
  EXPECT_EQ(model.CellText(1, 0), "3");
  EXPECT_EQ(model.CellText(2, 1), kUnreadableCellText);
}

TEST_F(MainWindowTest, ExportsAskWhereAndRunAsJobs) {
  const std::vector<int> exports = {kCommandSaveSqlData, kCommandSaveSqlite, kCommandSaveRecordsData,
                                    kCommandSaveTable};
  for (int id : exports) Press(id);
  EXPECT_EQ(desktop.Take(), QStringList(4, kTextSelectDatabaseFirst));

  TempDir dir;
  Open(SmallDatabase(dir));
  desktop.Take();
  desktop.fileRequests.clear();

  // Save Table needs a table: the selected item or one above it.
  Press(kCommandSaveTable);
  EXPECT_EQ(desktop.Take(), QStringList{kTextSelectTableToSave});
  Click("dbo.Customers");
  window->treeView().setCurrentIndex(FindTreeItem(window->treeModel(), "dbo.Customers/Columns"));
  desktop.Take();

  // A cancelled picker starts nothing.
  Press(kCommandSaveTable);
  ASSERT_EQ(desktop.fileRequests.size(), 1u);
  EXPECT_EQ(desktop.fileRequests[0].initialName, "dbo.Customers.csv");
  EXPECT_EQ(desktop.fileRequests[0].defaultSuffix, "csv");
  EXPECT_FALSE(window->runner().Active());

  // Each command writes what `ravelin export` writes for the same choices
  // (the same run time for both through SOURCE_DATE_EPOCH).
  const std::string file = dir.path() + "/small.mdf";
  ::setenv("SOURCE_DATE_EPOCH", "1767225600", 1);
  const std::vector<std::string> outputs = {dir.path() + "/gui.sql", dir.path() + "/gui.db", dir.path() + "/gui-csv",
                                            dir.path() + "/gui-table.csv"};
  const QStringList expected = {Q("Save SQL Data: 3 tables and 0 rows written to " + outputs[0] + "."),
                                Q("Save as SQLite database: 3 tables and 0 rows written to " + outputs[1] + "."),
                                Q("Save Records Data: 3 tables and 0 rows written to " + outputs[2] + "."),
                                Q("Save Table: 1 table and 0 rows written to " + outputs[3] + ".")};
  for (size_t i = 0; i < exports.size(); ++i) {
    desktop.files = {Q(outputs[i])};
    const int lines = window->output().LineCount();
    Press(exports[i]);
    ASSERT_TRUE(WaitForJobs(*window));
    EXPECT_EQ(desktop.Take(), QStringList{expected[static_cast<int>(i)]});
    EXPECT_EQ(window->output().Lines().mid(lines).back(), expected[static_cast<int>(i)]);
    EXPECT_TRUE(window->progressBar().isHidden());
  }
  auto cli = [&](const std::vector<std::string>& args) {
    std::vector<std::string> all = {"export", file, "--quiet"};
    all.insert(all.end(), args.begin(), args.end());
    const CommandResult r = RunRavelin(all);
    EXPECT_EQ(r.exitCode, 0) << r.err;
  };
  cli({"--sql", dir.path() + "/cli.sql"});
  cli({"--sqlite", dir.path() + "/cli.db"});
  cli({"--csv", dir.path() + "/cli-csv"});
  cli({"--csv", dir.path() + "/cli-table", "--table", "dbo.Customers"});
  ::unsetenv("SOURCE_DATE_EPOCH");
  auto text = [](const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
  };
  EXPECT_EQ(text(outputs[0]), text(dir.path() + "/cli.sql"));
  EXPECT_NE(text(outputs[0]).find("CREATE TABLE [dbo].[Customers]"), std::string::npos);
  EXPECT_EQ(SqliteDump(outputs[1]), SqliteDump(dir.path() + "/cli.db"));
  EXPECT_NE(SqliteDump(outputs[1]).find("ravelin_tables|Customers|dbo|Customers"), std::string::npos);
  for (const char* name : {"dbo.Customers.csv", "dbo.Orders.csv", "dbo.Empty.csv"})
    EXPECT_EQ(text(outputs[2] + "/" + name), text(dir.path() + "/cli-csv/" + name)) << name;
  EXPECT_EQ(text(outputs[3]), text(dir.path() + "/cli-table/dbo.Customers.csv"));
  EXPECT_EQ(text(outputs[3]), "Id,Name\r\n");
}

TEST_F(MainWindowTest, HelpAboutAndTheCommandBar) {
  // The panels, labels, tool tips and ids of the commands.
  struct Command {
    int id;
    const char* label;
    const char* tip;
    const char* panel;
  };
  const Command commands[] = {
      {313, "Open", "Open Database file", ""},
      {314, "Stop", "Stop running process", ""},
      {315, "Save SQL Data", "Save recovered data", ""},
      {340, "Save Records Data", "Save records in CSV", "Save Data in CSV"},
      {344, "Save Table", "Save table in CSV", "Save Data in CSV"},
      {341, "Load", "Load Snapshot", "Recovery SnapShot"},
      {342, "Save", "Save Snapshot", "Recovery SnapShot"},
      {319, "Help", "Help for Velmora Ravelin", "About"},
      {343, "About", "About Velmora Ravelin", "About"},
  };
  for (const Command& c : commands) {
    QAction* action = window->commandBar().action(c.id);
    ASSERT_NE(action, nullptr) << c.id;
    EXPECT_EQ(action->text(), c.label);
    EXPECT_EQ(action->toolTip(), c.tip);
    EXPECT_EQ(action->property("commandId").toInt(), c.id);
    EXPECT_EQ(window->commandBar().PanelLabelOf(c.id), c.panel);
  }
  EXPECT_EQ(window->commandBar().windowTitle(), "Ravelin");
  EXPECT_EQ(window->findChild<QDockWidget*>("objectTreePane")->windowTitle(), "MS SQL Database Objects");
  EXPECT_EQ(window->findChild<QDockWidget*>("outputPane")->windowTitle(), "Output");
  EXPECT_EQ(panel().previousButton().toolTip(), "Previous Records");
  EXPECT_EQ(panel().nextButton().toolTip(), "Next Records");

  // Help opens the user guide built beside the program (or the page the
  // settings name); About runs its box.
  Press(kCommandHelp);
  ASSERT_EQ(desktop.urls.size(), 1u);
  EXPECT_TRUE(desktop.urls[0].isLocalFile());
  EXPECT_TRUE(desktop.urls[0].toLocalFile().endsWith("/ravelin-guide.html"));
  Press(kCommandAbout);
  EXPECT_EQ(desktop.dialogsRun, std::vector<QString>{"aboutDialog"});
  EXPECT_EQ(desktop.Take(), QStringList{});
}

}  // namespace
}  // namespace ravelin
