// The desktop program's parts on their own: the tree pane's model as the
// core's tree grows, is sorted and is replaced; the records list's model
// and its copied text; the looks; the instance lock.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLockFile>
#include <QPalette>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QTest>
#include <QTreeView>

#include "gui_support.h"
#include "recovery/object_tree.h"
#include "shell/about_dialog.h"
#include "shell/application_look.h"
#include "shell/icons.h"
#include "shell/instance_lock.h"
#include "shell/object_tree_model.h"
#include "shell/records_table_model.h"
#include "shell/splash_screen.h"
#include "support/synthetic.h"
#include "support/tree_dump.h"

namespace ravelin {
namespace {

using namespace testing;

TEST(ObjectTreeModel, FollowsTheTreeAsItGrowsIsSortedAndIsReplaced) {
  ObjectTree tree;
  ObjectTreeModel model(tree);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  // The view opens items itself; the tester would open them while it
  // checks an insertion, which it counts as a second insertion at once.
  tester.setUseFetchMore(false);
  QTreeView view;
  view.setModel(&model);

  const TreeItem root = tree.Insert("C:/db/x.mdf", kNoTreeItem, InsertAt::kLast);
  const TreeItem tables = tree.Insert("Tables", root, InsertAt::kFirst);
  const TreeItem user = tree.Insert("User Tables", tables, InsertAt::kFirst);
  const TreeItem b = tree.Insert("dbo.b", user, InsertAt::kFirst, 1);
  tree.Insert("Columns", b, InsertAt::kFirst);
  tree.Insert("dbo.A", user, InsertAt::kFirst, 1);
  model.Refresh();
  EXPECT_EQ(DumpTreePane(model), DumpTree(tree));
  const QPersistentModelIndex shownB = FindTreeItem(model, "dbo.b");
  ASSERT_TRUE(shownB.isValid());
  view.expand(shownB);

  // New items first among opened ones, a bold mark, children for an item
  // that was open but empty.
  tree.Insert("dbo.c", user, InsertAt::kFirst, 1);
  tree.SetBold(b, true);
  const TreeItem columns = tree.FirstChild(b);
  tree.Insert("PrimaryKey", b, InsertAt::kFirst);
  tree.Insert("Id  int(4)", columns, InsertAt::kLast);
  model.Refresh();
  EXPECT_EQ(DumpTreePane(model), DumpTree(tree));
  EXPECT_EQ(shownB.data().toString(), "dbo.b");
  EXPECT_TRUE(shownB.data(Qt::FontRole).value<QFont>().bold());

  // Sorting moves the items the view holds on to.
  tree.SortChildren(user);
  model.Refresh();
  EXPECT_EQ(DumpTreePane(model), DumpTree(tree));
  EXPECT_EQ(shownB.data().toString(), "dbo.b");
  EXPECT_EQ(shownB.row(), 1);
  EXPECT_EQ(ObjectTreeModel::ItemOf(model.IndexOf(b)), b);

  // A new database replaces every item.
  tree.DeleteAll();
  model.Refresh();
  EXPECT_FALSE(shownB.isValid());
  EXPECT_EQ(model.rowCount(), 0);
  const TreeItem other = tree.Insert("/data/other.mdf", kNoTreeItem, InsertAt::kLast);
  tree.Insert("Views", other, InsertAt::kFirst);
  model.Refresh();
  EXPECT_EQ(DumpTreePane(model), "/data/other.mdf\n  Views\n");
  EXPECT_FALSE(model.IndexOf(b).isValid());
}

// A table the core recovered without its catalog rows may sit in a folder
// of its own: it shows as a table with its columns all the same.
TEST(ObjectTreeModel, ATableOutsideTheCatalogFoldersShowsAsATable) {
  ObjectTree tree;
  ObjectTreeModel model(tree);
  const TreeItem root = tree.Insert("C:/db/x.mdf", kNoTreeItem, InsertAt::kLast);
  const TreeItem tables = tree.Insert("Tables", root, InsertAt::kFirst);
  const TreeItem user = tree.Insert("User Tables", tables, InsertAt::kFirst);
  tree.Insert("Columns", tree.Insert("dbo.Known", user, InsertAt::kFirst, 1), InsertAt::kFirst);
  const TreeItem lostFolder = tree.Insert("Lost Tables", tables, InsertAt::kLast);
  const TreeItem lost = tree.Insert("Lost table 1", lostFolder, InsertAt::kFirst, 1);
  tree.Insert("c1  int(4)", tree.Insert("Columns", lost, InsertAt::kFirst), InsertAt::kFirst);
  model.Refresh();
  EXPECT_EQ(DumpTreePane(model), DumpTree(tree));
  auto image = [&model](const QString& path) {
    return model.data(FindTreeItem(model, path), Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
  };
  const QImage table = ShellIcon(IconId::kTable).pixmap(16).toImage();
  EXPECT_EQ(image("dbo.Known"), table);
  EXPECT_EQ(image("Lost table 1"), table);
  EXPECT_EQ(image("Lost table 1/Columns"), ShellIcon(IconId::kFolder).pixmap(16).toImage());
  EXPECT_EQ(image("Lost table 1/Columns/c1  int(4)"), ShellIcon(IconId::kColumn).pixmap(16).toImage());
  EXPECT_NE(image("Lost Tables"), table);
}

TEST(RecordsTableModel, ColumnsRowsAndCopiedText) {
  RecordsTableModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  // The list starts with its filler column alone.
  EXPECT_EQ(model.Headers(), QStringList{QString()});
  model.InsertColumn(0, "Id");
  model.InsertColumn(1, "Note");
  EXPECT_TRUE(model.IsFiller(2));
  // Rows added at the end wait, filled in, until they are committed.
  model.InsertRow(0, "1");
  model.SetCell(0, 1, "tab\there");
  model.InsertRow(5, "2");  // past the end: appended
  model.SetCell(1, 1, "say \"hi\"");
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.TotalRows(), 2);
  model.Commit();
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_FALSE(model.HasStaged());
  // Before the shown rows: at once.
  model.InsertRow(0, "0");
  EXPECT_EQ(model.rowCount(), 3);
  // A staged row removed again never shows.
  model.InsertRow(3, "blank");
  model.RemoveRow(3);
  model.Commit();
  ASSERT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.CellText(1, 1), "tab\there");
  EXPECT_EQ(model.CellText(0, 1), "");

  QModelIndexList all;
  for (int row = 0; row < model.rowCount(); ++row)
    for (int column = 0; column < model.columnCount(); ++column) all << model.index(row, column);
  EXPECT_EQ(model.SelectionAsTsv(all, true), "Id\tNote\n0\t\n1\t\"tab\there\"\n2\t\"say \"\"hi\"\"\"\n");
  EXPECT_EQ(model.SelectionAsTsv({model.index(2, 0)}, false), "2\n");

  model.RemoveRow(0);
  model.RemoveColumn(0);
  EXPECT_EQ(model.Headers(), (QStringList{"Note", QString()}));
  EXPECT_EQ(model.CellText(0, 0), "tab\there");
  EXPECT_TRUE(model.IsFiller(1));
  model.RemoveAllRows();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(RecordsTableModel, RowsThatAreNotLiveAreTinted) {
  RecordsTableModel model;
  model.InsertColumn(0, "Id");
  model.InsertColumn(1, kRowStatusHeader);
  for (const char* status : {"live", "ghost", ""}) {
    const int row = model.TotalRows();
    model.InsertRow(row, std::to_string(row));
    model.SetCell(row, 1, status);
  }
  model.Commit();
  EXPECT_FALSE(model.index(0, 0).data(Qt::BackgroundRole).isValid());
  EXPECT_TRUE(model.index(1, 0).data(Qt::BackgroundRole).isValid());
  EXPECT_FALSE(model.index(2, 0).data(Qt::BackgroundRole).isValid());
  // Without a status column nothing is tinted.
  model.RemoveColumn(1);
  EXPECT_FALSE(model.index(1, 0).data(Qt::BackgroundRole).isValid());
}

// Row states and marked values as the listing gives them when the run
// lists deleted or suspect records.
TEST(RecordsTableModel, RowStatesAndValuesThatDidNotComeOutWhole) {
  RecordsTableModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  model.InsertColumn(0, "Id");
  model.InsertColumn(1, "Doc");
  model.InsertRow(0, "1");
  model.SetCell(0, 1, "<a/>");
  // The first state given shows the status column at the left; the core
  // goes on counting its own columns from 0.
  model.SetRowStatus(0, "live");
  EXPECT_TRUE(model.StatusShown());
  model.InsertRow(1, "2");
  model.SetRowStatus(1, "ghost");
  model.MarkCell(1, 1, CellMark::kUnreadable);
  model.InsertRow(2, "3");
  model.SetRowStatus(2, "suspect");
  model.MarkCell(2, 1, CellMark::kPartlyUnreadable);
  model.SetCell(2, 1, "<r><!-- ravelin: xml damaged at byte 9 -->");
  model.InsertColumn(2, "Late");
  model.SetCell(2, 2, "x");
  model.Commit();
  EXPECT_EQ(model.Headers(), (QStringList{kRowStatusHeader, "Id", "Doc", "Late", QString()}));
  EXPECT_TRUE(model.IsFiller(4));
  EXPECT_EQ(model.CellText(1, 0), "ghost");
  EXPECT_EQ(model.CellText(2, 3), "x");
  EXPECT_FALSE(model.index(0, 1).data(Qt::BackgroundRole).isValid());
  EXPECT_TRUE(model.index(1, 1).data(Qt::BackgroundRole).isValid());
  EXPECT_TRUE(model.index(2, 1).data(Qt::BackgroundRole).isValid());

  // An unreadable value has its own marker, neither NULL nor blank; a
  // value read in part keeps its text; both stand out.
  EXPECT_EQ(model.CellText(1, 2), kUnreadableCellText);
  EXPECT_EQ(model.CellMarkAt(1, 2), CellMark::kUnreadable);
  EXPECT_TRUE(model.index(1, 2).data(Qt::FontRole).value<QFont>().italic());
  EXPECT_EQ(model.CellText(2, 2), "<r><!-- ravelin: xml damaged at byte 9 -->");
  EXPECT_EQ(model.CellMarkAt(2, 2), CellMark::kPartlyUnreadable);
  EXPECT_TRUE(model.index(2, 2).data(Qt::ForegroundRole).isValid());
  EXPECT_FALSE(model.CellMarkAt(0, 2));
  EXPECT_FALSE(model.CellMarkAt(2, 3));
  EXPECT_NE(model.index(1, 2).data(Qt::ToolTipRole).toString(), model.CellText(1, 2));
  EXPECT_EQ(model.SelectionAsTsv({model.index(1, 0), model.index(1, 2)}, true),
            "ravelin_status\tDoc\nghost\t<unreadable>\n");

  // The table's columns going take the status column with them.
  model.RemoveAllRows();
  for (int i = 0; i < 3; ++i) model.RemoveColumn(0);
  EXPECT_FALSE(model.StatusShown());
  EXPECT_EQ(model.Headers(), QStringList{QString()});
}

TEST(ApplicationLook, StoredLookAppliedAndWrittenBack) {
  TempDir dir;
  QSettings stored(QString::fromStdString(dir.path() + "/looks.ini"), QSettings::IniFormat);
  EXPECT_EQ(ApplyStoredApplicationLook(stored), 215);
  EXPECT_EQ(stored.value(kApplicationLookKey).toInt(), 215);
  EXPECT_EQ(QApplication::style()->name(), "fusion");
  const QColor blue = QApplication::palette().color(QPalette::Window);

  stored.setValue(kApplicationLookKey, 216);
  EXPECT_EQ(ApplyStoredApplicationLook(stored), 216);
  EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 128);

  // A number that names no look gets the default's colours and stays stored.
  stored.setValue(kApplicationLookKey, 999);
  EXPECT_EQ(ApplyStoredApplicationLook(stored), 999);
  EXPECT_EQ(stored.value(kApplicationLookKey).toInt(), 999);
  EXPECT_EQ(QApplication::palette().color(QPalette::Window), blue);

  for (int id = 210; id <= 218; ++id) EXPECT_FALSE(ApplicationLookName(id).isEmpty()) << id;
  EXPECT_TRUE(ApplicationLookName(209).isEmpty());
  EXPECT_TRUE(ApplicationLookName(219).isEmpty());
}

TEST(InstanceLock, OneHolderAtATime) {
  EXPECT_TRUE(InstanceLock::LockPath().endsWith("/{VELMORATOOLSSQLRECV1.0_EXE_RUNNING1}.lock"));
  InstanceLock first;
  ASSERT_TRUE(first.Acquire());
  // The same process asking again through a second lock is refused: the
  // holder is alive.
  InstanceLock second;
  EXPECT_FALSE(second.Acquire());
}

TEST(AboutDialog, OnlyItsButtonClosesItAndItsLinksOpen) {
  TestDesktop desktop;
  WebAddresses web;
  web.makerSite = "https://maker.example/";
  web.supportEmail = "help@maker.example";
  web.salesEmail = "sales@maker.example";
  AboutDialog about(web, desktop);
  about.show();
  EXPECT_EQ(about.windowTitle(), "Velmora Ravelin");
  auto* title = about.findChild<QLabel*>("aboutTitle");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->text(), "Velmora Ravelin");
  EXPECT_EQ(title->font().pixelSize(), 15);
  EXPECT_EQ(title->font().weight(), QFont::DemiBold);

  for (const char* name : {"Company website", "Support email address", "Sales email address"}) {
    auto* link = about.findChild<QLabel*>(name);
    ASSERT_NE(link, nullptr) << name;
    EXPECT_TRUE(link->text().contains(name));
    emit link->linkActivated({});
  }
  EXPECT_EQ(desktop.urls, (std::vector<QUrl>{QUrl("https://maker.example/"), QUrl("mailto:help@maker.example"),
                                             QUrl("mailto:sales@maker.example")}));

  QTest::keyClick(&about, Qt::Key_Escape);
  QTest::keyClick(&about, Qt::Key_Return);
  EXPECT_TRUE(about.isVisible());
  QTest::mouseClick(about.findChild<QPushButton*>("ok"), Qt::LeftButton);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(SplashScreen, FadesInStaysItsTimeAndGoesAway) {
  QPointer<SplashScreen> splash = new SplashScreen;
  EXPECT_TRUE(splash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  // Magenta in the picture is where the window is see-through.
  EXPECT_FALSE(splash->mask().contains(QPoint(0, 0)));
  EXPECT_TRUE(splash->mask().contains(splash->rect().center()));
  QElapsedTimer clock;
  clock.start();
  splash->Start();
  EXPECT_TRUE(splash->isVisible());
  EXPECT_LT(splash->windowOpacity(), 0.5);
  ASSERT_TRUE(WaitUntil([&] { return clock.elapsed() >= kSplashFadeInMs + 300; }));
  ASSERT_FALSE(splash.isNull());
  EXPECT_DOUBLE_EQ(splash->windowOpacity(), 1.0);
  ASSERT_TRUE(WaitUntil([&] { return splash.isNull(); }, 10000));
  EXPECT_GE(clock.elapsed(), kSplashShownMs + kSplashFadeOutMs - 50);
}

}  // namespace
}  // namespace ravelin
