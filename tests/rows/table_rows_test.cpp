#include "rows/table_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "storage/database_file.h"
#include "storage/page.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::DatabaseImage;
using testing::LE32;
using testing::PageBuilder;
using testing::RecordBuilder;
using testing::TestDatabase;

constexpr uint32_t kTable = 100;

Bytes IntRecord(uint32_t value, int type = kRecordPrimary) {
  return RecordBuilder().Type(type).Fixed(LE32(value)).ColumnCount(1).Build();
}

// A heap of object 100: page 20 holds 1, a stub for 2 and a ghost 3; page
// 21 holds the forwarded 2 and 4, and points back at 20. Page 22 belongs to
// another table; IAM page 30 lists 20, 21 and 22.
class TableRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DatabaseImage image(40);
    image.Page(1).ObjectId(34);
    PageBuilder& p20 = image.Page(20).ObjectId(kTable).Next({1, 21});
    p20.AddRecord(IntRecord(1));
    p20.AddRecord(RecordBuilder::ForwardingStub({1, 21}, 0));
    p20.AddRecord(IntRecord(3, kRecordGhostData));
    p20.AddRecord(RecordBuilder::ForwardingStub({1, 39}, 5));  // leads nowhere readable
    PageBuilder& p21 = image.Page(21).ObjectId(kTable).Prev({1, 20}).Next({1, 20});
    p21.AddRecord(IntRecord(2, kRecordForwarded));
    p21.AddRecord(IntRecord(4));
    image.Page(22).ObjectId(999).AddRecord(IntRecord(99));
    PageBuilder& iam = image.Page(30).ObjectId(kTable);
    testing::MakeIamPage(iam, {1, 0}, {{1, 20}, {1, 21}, {1, 22}, {1, 0}, {0, 23}}, Bytes{});
    db = std::make_unique<TestDatabase>(image);
    ASSERT_TRUE(db->Open());
    ColumnDescriptor id = MakeColumnDescriptor("id", "int(4)", kTypeInt);
    id.columnId = id.hobtColumnId = id.nullBit = 1;
    id.leafOffset = 4;
    id.stored = 1;
    columns = {id};
  }

  // The values of the rows, in listing order; an unreadable row reads "?".
  static std::vector<std::string> Values(const std::vector<TableRow>& rows) {
    std::vector<std::string> out;
    for (const TableRow& row : rows) out.push_back(row.forwardUnreadable ? "?" : row.values[0]);
    return out;
  }

  std::vector<std::string> Read(TableRowReader& reader, std::initializer_list<int32_t> pages) {
    std::vector<std::string> out;
    for (int32_t p : pages)
      for (const std::string& v : Values(reader.ReadPageRows({1, p}))) out.push_back(v);
    return out;
  }

  TableStorage Storage() {
    TableStorage table;
    table.objectId = kTable;
    table.tablePages = {{1, 20}, {1, 21}};
    return table;
  }

  std::unique_ptr<TestDatabase> db;
  CollationContext collation;
  RowColumnSet columns;
};

TEST_F(TableRowsTest, ForwardedRowIsListedOnceInEitherOrder) {
  TableRowReader stubFirst(db->db(), collation, false, columns, ColumnReader::kLayout);
  EXPECT_EQ(Read(stubFirst, {20, 21}), (std::vector<std::string>{"1", "2", "?", "4"}));
  TableRowReader forwardedFirst(db->db(), collation, false, columns, ColumnReader::kLayout);
  EXPECT_EQ(Read(forwardedFirst, {21, 20}), (std::vector<std::string>{"2", "4", "1", "?"}));

  // Knowing the listing's pages, every page gives the same rows however
  // often it is read: the moved row belongs to its own page.
  TablePageList pages;
  pages.pages = {{1, 20}, {1, 21}};
  TableRowReader listing(db->db(), collation, false, columns, ColumnReader::kLayout);
  listing.SetListingPages(pages);
  EXPECT_EQ(Read(listing, {20, 21, 20, 21}), (std::vector<std::string>{"1", "?", "2", "4", "1", "?", "2", "4"}));
}

TEST_F(TableRowsTest, GhostRowsOnlyWithShowDeleted) {
  TableRowReader hidden(db->db(), collation, false, columns, ColumnReader::kLayout);
  EXPECT_EQ(Read(hidden, {20}), (std::vector<std::string>{"1", "2", "?"}));
  db->options().showDeleted = true;
  ASSERT_TRUE(db->Open());
  TableRowReader shown(db->db(), collation, false, columns, ColumnReader::kLayout);
  EXPECT_EQ(Read(shown, {20}), (std::vector<std::string>{"1", "2", "3", "?"}));
}

TEST_F(TableRowsTest, PageSources) {
  TableStorage heap = Storage();
  // No IAM page: the scan's pages.
  TablePageList list = CollectListingPages(db->db(), heap);
  EXPECT_EQ(list.source, PageSource::kTablePages);
  EXPECT_EQ(list.pages, heap.tablePages);

  // The IAM page's single pages; slots with page 0 or file 0 give nothing.
  heap.firstIamPage = {1, 30};
  heap.firstPage = {1, 20};
  list = CollectListingPages(db->db(), heap);
  EXPECT_EQ(list.source, PageSource::kIamChain);
  EXPECT_EQ(list.pages, (std::vector<PageRef>{{1, 20}, {1, 21}, {1, 22}}));
  // Page 22 is another table's: its row is not listed.
  TableRowReader reader(db->db(), collation, false, columns, ColumnReader::kLayout);
  reader.SetListingPages(list);
  EXPECT_TRUE(reader.ReadPageRows({1, 22}).empty());

  // A clustered table whose first page has a previous page goes through
  // the IAM pages; one whose first page starts the chain follows it, and
  // the chain's loop back to page 20 ends it.
  TableStorage clustered = heap;
  clustered.indexId = 1;
  clustered.firstPage = {1, 21};
  EXPECT_EQ(CollectListingPages(db->db(), clustered).source, PageSource::kIamChain);
  clustered.firstPage = {1, 20};
  list = CollectListingPages(db->db(), clustered);
  EXPECT_EQ(list.source, PageSource::kPageChain);
  EXPECT_EQ(list.pages, (std::vector<PageRef>{{1, 20}, {1, 21}}));

  // Allocation pointers that lead to none of the table's rows leave the
  // scan's pages.
  clustered.firstPage = {1, 22};
  clustered.firstIamPage = {1, 22};
  EXPECT_EQ(CollectListingPages(db->db(), clustered).source, PageSource::kTablePages);

  db->options().mode = RecoveryMode::kAdvanced;
  ASSERT_TRUE(db->Open());
  EXPECT_EQ(CollectListingPages(db->db(), clustered).source, PageSource::kTablePages);
}

TEST_F(TableRowsTest, PositionalReaderDropsRowsWithoutFirstValueAndSystemRowsKeepThem) {
  DatabaseImage image(8);
  image.Page(1).ObjectId(34);
  PageBuilder& page = image.Page(5).ObjectId(kTable);
  page.AddRecord(RecordBuilder().Fixed(LE32(1)).ColumnCount(1).Build());
  // The fixed part is missing: nothing can be read for the first column.
  page.AddRecord(RecordBuilder().ColumnCount(1).Build());
  TestDatabase small(image);
  ASSERT_TRUE(small.Open());
  TableRowReader positional(small.db(), collation, false, columns, ColumnReader::kPositional);
  EXPECT_EQ(Values(positional.ReadPageRows({1, 5})), (std::vector<std::string>{"1"}));
  auto raw = small.db().ReadDataPage({1, 5});
  ASSERT_TRUE(raw);
  EXPECT_EQ(Values(positional.ReadSystemRows(*raw, {1, 5})), (std::vector<std::string>{"1", ""}));
}

// Every user table of every real file: the allocation structures and the
// scan find the same rows, and decoding them never fails.
TEST(TableRowsRealFiles, StandardAndAdvancedListingsAgree) {
  const std::string dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "no test data";
  size_t rows = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".mdf") continue;
    std::unique_ptr<OpenedDatabase> opened[2];
    for (int mode = 0; mode < 2; ++mode) {
      ReadOptions options;
      options.mode = mode == 0 ? RecoveryMode::kStandard : RecoveryMode::kAdvanced;
      opened[mode] = testing::OpenDatabaseFile(entry.path().string(), options);
      ASSERT_TRUE(opened[mode]) << entry.path();
    }
    const std::vector<ObjectRow> objects = opened[0]->catalog()->objects;
    for (const ObjectRow& object : objects) {
      if (object.typeCode != "U ") continue;
      std::multiset<std::vector<std::string>> listed[2];
      for (int mode = 0; mode < 2; ++mode) {
        SystemCatalog& catalog = *opened[mode]->catalog();
        const RowColumnSet columns = catalog.PrepareObject(object.name, object.typeCode, {});
        const TablePageList pages = CollectListingPages(opened[mode]->file(), catalog);
        TableRowReader reader(*opened[mode], columns, ChooseColumnReader(catalog));
        reader.SetListingPages(pages);
        for (const PageRef& ref : pages.pages)
          for (TableRow& row : reader.ReadPageRows(ref)) listed[mode].insert(std::move(row.values));
      }
      EXPECT_EQ(listed[0], listed[1]) << entry.path().filename() << " " << object.name;
      rows += listed[0].size();
    }
  }
  EXPECT_GT(rows, 10000u);
}
}  // namespace
}  // namespace ravelin
