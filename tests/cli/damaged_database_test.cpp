// Whole databases with damage or history, read through the command line:
// what each table lists, what is marked and what is warned about.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "storage/memory_env.h"
#include "storage/page_protection.h"
#include "support/compressed_table_image.h"
#include "support/compressor.h"
#include "support/refilled_table_image.h"
#include "support/run_command.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::RunInProcess;

constexpr char kSample[] = RAVELIN_SOURCE_DIR "/samples/northwind-sql2000.mdf";

std::string Lines(const std::vector<std::vector<std::string>>& rows, const std::string& status = "") {
  std::string text;
  for (const auto& row : rows) {
    std::string line = status.empty() ? "" : status + "\t";
    for (size_t i = 0; i < row.size(); ++i) line += (i ? "\t" : "") + row[i];
    text += line + "\n";
  }
  return text;
}

// The sample's data pages of `table`, as the scan files them.
std::vector<PageRef> SampleTablePages(const std::string& table) {
  auto db = testing::OpenDatabaseFile(kSample);
  if (!db) return {};
  db->catalog()->PrepareObject(table, "U ", {});
  return db->catalog()->tablePages;
}

// Page `pageNo` of `bytes` zeroed, or its first `count` bytes random.
void ZeroPage(Bytes& bytes, int32_t pageNo) {
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(pageNo) * kPageSize, kPageSize, 0);
}
void Scramble(Bytes& bytes, int32_t pageNo, size_t count) {
  std::mt19937 random(20261210);
  for (size_t i = 0; i < count; ++i)
    bytes[static_cast<size_t>(pageNo) * kPageSize + i] = static_cast<uint8_t>(random());
}

// Calls `damage(colid, at)` for each syscolumns row of the sample's Orders,
// `at` the offset of the row's record in the file.
template <typename Damage>
void ForEachOrdersColumnRecord(Damage damage) {
  auto db = testing::OpenDatabaseFile(kSample);
  ASSERT_TRUE(db);
  const int32_t orders = db->catalog()->FindObject("Orders", "U ").objectId;
  for (const PageMapEntry& entry : db->file().systemPageMap[3]) {
    auto page = db->file().ReadDataPage(entry.ToPageRef());
    if (!page) continue;
    for (size_t i = 0; i < page->records.size() && i < page->slotOffsets.size(); ++i) {
      const CRecord* record = page->records[i].get();
      if (!record || !record->fixedData || record->fixedData->size() < 14) continue;
      const Bytes& fixed = *record->fixedData;
      const int32_t id = fixed[0] | (fixed[1] << 8) | (fixed[2] << 16) | (fixed[3] << 24);
      if (id != orders) continue;
      damage(fixed[12] | (fixed[13] << 8), static_cast<size_t>(entry.pageIndex) * kPageSize + page->slotOffsets[i]);
    }
  }
}

// `schema` output without the column table's line: that table counts the
// pages the scan filed under it.
std::string WithoutColumnTable(std::string text) {
  const size_t at = text.find("  dbo.syscolumns  (");
  if (at != std::string::npos) text.erase(at, text.find('\n', at) - at);
  return text;
}

// The sample as damaged in `bytes` lists Orders as the intact sample does,
// and says nothing is lost.
void ExpectOrdersAsTheSample(const Bytes& bytes) {
  MemoryEnv env;
  env.AddFile("/db/damaged.mdf", bytes);
  auto rows = RunInProcess({"rows", "/db/damaged.mdf", "Orders", "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 0) << rows.err;
  EXPECT_EQ(rows.out, RunInProcess({"rows", kSample, "Orders", "--quiet"}).out);
}

// A table emptied and refilled: its old pages are free but intact and still
// carry its id. Without the deleted-record options only the live rows are
// the table's, in both modes; with them the old rows come too, marked.
TEST(DamagedDatabase, FreePagesAreHistoryNotData) {
  const testing::RefilledTableImage built = testing::EmptiedAndRefilledImage(3, 10, 4);
  MemoryEnv env;
  env.AddFile("/db/refilled.mdf", built.image.Build());
  for (const char* mode : {"standard", "advanced"}) {
    SCOPED_TRACE(mode);
    auto live = RunInProcess({"rows", "/db/refilled.mdf", "dbo.Refilled", "--mode", mode, "--quiet"}, &env);
    EXPECT_EQ(live.exitCode, 0) << live.err;
    EXPECT_EQ(live.out, "Id\tName\n" + Lines(built.liveRows));
    auto emptied = RunInProcess({"rows", "/db/refilled.mdf", "dbo.Emptied", "--mode", mode, "--quiet"}, &env);
    EXPECT_EQ(emptied.out, "Id\tName\n");

    auto withDeleted =
        RunInProcess({"rows", "/db/refilled.mdf", "dbo.Refilled", "--mode", mode, "--deleted", "--quiet"}, &env);
    EXPECT_EQ(withDeleted.out.rfind("ravelin_status\tId\tName\n" + Lines(built.liveRows, "live"), 0), 0u)
        << withDeleted.out;
    const std::string old = Lines(built.oldRows, "free page");
    EXPECT_NE(withDeleted.out.find(old), std::string::npos) << withDeleted.out;
    auto emptiedDeleted =
        RunInProcess({"rows", "/db/refilled.mdf", "dbo.Emptied", "--mode", mode, "--deleted", "--quiet"}, &env);
    EXPECT_EQ(emptiedDeleted.out, "ravelin_status\tId\tName\n" + Lines(built.emptiedRows, "free page"));
  }
}

// The sample with one page of Orders' chain zeroed: Standard mode's walk
// breaks there, says so, and the rest of the table comes from the pages
// the scan filed under it; the page's rows are reported lost.
TEST(DamagedDatabase, ABrokenChainIsFinishedFromTheMaps) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  const std::vector<PageRef> pages = SampleTablePages("Orders");
  ASSERT_GE(pages.size(), 3u);
  const int32_t zeroed = pages[1].pageNo;
  ZeroPage(bytes, zeroed);
  MemoryEnv env;
  env.AddFile("/db/broken.mdf", bytes);

  auto intact = RunInProcess({"rows", kSample, "Orders", "--quiet"});
  auto rows = RunInProcess({"rows", "/db/broken.mdf", "Orders", "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3);
  EXPECT_NE(rows.err.find("warning: dbo.Orders: "), std::string::npos) << rows.err;
  EXPECT_NE(rows.err.find("1:" + std::to_string(zeroed)), std::string::npos) << rows.err;
  // Every row listed is an intact row, and only the zeroed page's are gone.
  size_t listed = 0;
  for (size_t at = 0, next; (next = rows.out.find('\n', at)) != std::string::npos; at = next + 1, ++listed)
    EXPECT_NE(intact.out.find(rows.out.substr(at, next - at + 1)), std::string::npos);
  const size_t intactLines = static_cast<size_t>(std::count(intact.out.begin(), intact.out.end(), '\n'));
  EXPECT_GT(listed, intactLines / 2);
  EXPECT_LT(listed, intactLines);

  // The zeroed page is the table's by its allocation: both modes say its
  // rows are lost, Advanced mode too, which walks no chain.
  const std::string lostPage =
      "warning: dbo.Orders: 1 page the table's allocation gives it does not read as a page "
      "(zeroed or damaged); any rows it held are lost, page 1:" +
      std::to_string(zeroed) + "\n";
  EXPECT_NE(rows.err.find(lostPage), std::string::npos) << rows.err;
  auto advanced = RunInProcess({"rows", "/db/broken.mdf", "Orders", "--mode", "advanced", "--quiet"}, &env);
  EXPECT_EQ(advanced.exitCode, 3);
  EXPECT_NE(advanced.err.find(lostPage), std::string::npos) << advanced.err;
  EXPECT_EQ(advanced.out, rows.out);
}

// A page of Orders overwritten with random bytes: nothing on it reads as a
// record, and both modes say its rows are lost.
TEST(DamagedDatabase, AnOverwrittenPageIsReportedLost) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  const std::vector<PageRef> pages = SampleTablePages("Orders");
  ASSERT_GE(pages.size(), 3u);
  const int32_t overwritten = pages[1].pageNo;
  Scramble(bytes, overwritten, kPageSize);
  MemoryEnv env;
  env.AddFile("/db/overwritten.mdf", bytes);
  for (const char* mode : {"standard", "advanced"}) {
    SCOPED_TRACE(mode);
    auto rows = RunInProcess({"rows", "/db/overwritten.mdf", "Orders", "--mode", mode, "--quiet"}, &env);
    EXPECT_EQ(rows.exitCode, 3) << rows.err;
    EXPECT_NE(rows.err.find("warning: dbo.Orders: 1 page the table's allocation gives it does not read as a page "
                            "(zeroed or damaged); any rows it held are lost, page 1:" +
                            std::to_string(overwritten) + "\n"),
              std::string::npos)
        << rows.err;
  }

  // Its IAM pages overwritten too: the page chain of the pages around it
  // still names it as the table's.
  auto db = testing::OpenDatabaseFile(kSample);
  ASSERT_TRUE(db);
  const auto orders = static_cast<uint32_t>(db->catalog()->FindObject("Orders", "U ").objectId);
  ASSERT_TRUE(db->file().iamPageMap.count(orders));
  for (const PageMapEntry& entry : db->file().iamPageMap.at(orders))
    Scramble(bytes, static_cast<int32_t>(entry.pageIndex), kPageSize);
  env.AddFile("/db/noiam.mdf", bytes);
  auto rows = RunInProcess({"rows", "/db/noiam.mdf", "Orders", "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3) << rows.err;
  EXPECT_NE(rows.err.find("warning: dbo.Orders: 1 page the table's allocation gives it does not read as a page "
                          "(zeroed or damaged); any rows it held are lost, page 1:" +
                          std::to_string(overwritten) + "\n"),
            std::string::npos)
      << rows.err;
  // Zeroed instead, it is not read at all, and the chain's links name it.
  ZeroPage(bytes, overwritten);
  env.AddFile("/db/noiamzeroed.mdf", bytes);
  rows = RunInProcess({"rows", "/db/noiamzeroed.mdf", "Orders", "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3) << rows.err;
  EXPECT_NE(rows.err.find("warning: dbo.Orders: 1 page the table's page chain links to does not read as a page "
                          "(zeroed or damaged); any rows it held are lost, page 1:" +
                          std::to_string(overwritten) + "\n"),
            std::string::npos)
      << rows.err;
}

// A page of Orders whose header took random bytes: the page is the table's
// by its allocation, and its records are found by walking it, in both modes.
TEST(DamagedDatabase, APageWithARandomHeaderKeepsItsRows) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  const std::vector<PageRef> pages = SampleTablePages("Orders");
  ASSERT_GE(pages.size(), 3u);
  const int32_t damaged = pages[1].pageNo;
  // A deleted record left in the page's free space, as SQL Server leaves
  // them: the slot array, which outlives the header, does not name it.
  uint8_t* page = bytes.data() + static_cast<std::ptrdiff_t>(damaged) * kPageSize;
  const ByteSpan view(page, kPageSize);
  std::vector<uint16_t> offsets;
  for (int j = 0; j < LoadLE<int16_t>(view, 22); ++j) offsets.push_back(LoadLE<uint16_t>(view, kPageSize - 2 - 2 * j));
  std::sort(offsets.begin(), offsets.end());
  ASSERT_GE(offsets.size(), 2u);
  const uint16_t freeData = LoadLE<uint16_t>(view, 30);
  std::copy_n(page + offsets[0], offsets[1] - offsets[0], page + freeData);
  Scramble(bytes, damaged, kPageHeaderSize);
  MemoryEnv env;
  env.AddFile("/db/header.mdf", bytes);
  auto intact = RunInProcess({"rows", kSample, "Orders", "--quiet"});
  for (const char* mode : {"standard", "advanced"}) {
    SCOPED_TRACE(mode);
    auto rows = RunInProcess({"rows", "/db/header.mdf", "Orders", "--mode", mode, "--quiet"}, &env);
    // Its torn-page bits went with the header: a record across a sector end
    // may be lost.
    const auto lines = [](const std::string& out) { return std::count(out.begin(), out.end(), '\n'); };
    EXPECT_GE(lines(rows.out) + 2, lines(intact.out)) << rows.err;
    EXPECT_LE(lines(rows.out), lines(intact.out)) << rows.out;
    EXPECT_NE(rows.err.find("page 1:" + std::to_string(damaged)), std::string::npos) << rows.err;
  }

  // Its IAM pages overwritten as well: the page chain of its neighbours
  // still makes it the table's.
  auto db = testing::OpenDatabaseFile(kSample);
  ASSERT_TRUE(db);
  const auto orders = static_cast<uint32_t>(db->catalog()->FindObject("Orders", "U ").objectId);
  ASSERT_TRUE(db->file().iamPageMap.count(orders));
  for (const PageMapEntry& entry : db->file().iamPageMap.at(orders))
    Scramble(bytes, static_cast<int32_t>(entry.pageIndex), kPageSize);
  env.AddFile("/db/headernoiam.mdf", bytes);
  for (const char* mode : {"standard", "advanced"}) {
    SCOPED_TRACE(mode);
    auto rows = RunInProcess({"rows", "/db/headernoiam.mdf", "Orders", "--mode", mode, "--quiet"}, &env);
    EXPECT_GE(std::count(rows.out.begin(), rows.out.end(), '\n') + 2,
              std::count(intact.out.begin(), intact.out.end(), '\n'))
        << rows.err;
  }

  // A table of one page, its header and IAM page overwritten: the first
  // page its index row names is still its page.
  const std::vector<PageRef> shippers = SampleTablePages("Shippers");
  ASSERT_EQ(shippers.size(), 1u);
  const auto shippersId = static_cast<uint32_t>(db->catalog()->FindObject("Shippers", "U ").objectId);
  Scramble(bytes, shippers[0].pageNo, kPageHeaderSize);
  for (const PageMapEntry& entry : db->file().iamPageMap.at(shippersId))
    Scramble(bytes, static_cast<int32_t>(entry.pageIndex), kPageSize);
  env.AddFile("/db/firstpage.mdf", bytes);
  for (const char* mode : {"standard", "advanced"}) {
    SCOPED_TRACE(mode);
    auto rows = RunInProcess({"rows", "/db/firstpage.mdf", "Shippers", "--mode", mode, "--quiet"}, &env);
    EXPECT_EQ(rows.exitCode, 3) << rows.err;
    EXPECT_EQ(rows.out, RunInProcess({"rows", kSample, "Shippers", "--quiet"}).out) << rows.err;
  }
}

// A small table's only page zeroed together with the page maps that cover
// it: its IAM page still names the page, so its rows are reported lost in
// both modes rather than the table listing as empty.
TEST(DamagedDatabase, ALostPageIsReportedWhenThePageMapsAreLostToo) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  const std::vector<PageRef> pages = SampleTablePages("Shippers");
  ASSERT_EQ(pages.size(), 1u);
  for (int32_t zeroed : {1, pages[0].pageNo}) ZeroPage(bytes, zeroed);  // the PFS page and the data page
  MemoryEnv env;
  env.AddFile("/db/nomaps.mdf", bytes);
  for (const char* mode : {"standard", "advanced"}) {
    SCOPED_TRACE(mode);
    auto rows = RunInProcess({"rows", "/db/nomaps.mdf", "Shippers", "--mode", mode, "--quiet"}, &env);
    EXPECT_EQ(rows.exitCode, 3) << rows.err;
    EXPECT_EQ(rows.out, "ShipperID\tCompanyName\tPhone\n");
    EXPECT_NE(rows.err.find("1:" + std::to_string(pages[0].pageNo)), std::string::npos) << rows.err;
  }
}

// A data page with a page checksum: while the checksum agrees the rows
// come without a word; a byte changed inside a record afterwards is a
// warning naming the page (exit code 3), though the record still reads.
TEST(DamagedDatabase, APageWhoseChecksumFailsSaysItsRowsMayBeWrong) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {SqlColumn("Id", "int(4)", kTypeInt),
                                           SqlColumn("Name", "varchar(10)", kTypeVarChar)};
  LayOutColumns(columns);
  TableSpec table;
  table.objectId = 500;
  table.name = "Sums";
  table.columns = columns;
  table.rows = {CompressedRow{{Value(SqlIntBytes(1, 4)), Value(Ascii("one"))}},
                CompressedRow{{Value(SqlIntBytes(2, 4)), Value(Ascii("two"))}}};
  Bytes image = ImageWithTables({table}).Build();
  const size_t page = size_t{table.firstPage} * kPageSize;
  image[page + 5] |= 0x02;  // flagBits: a page checksum
  const auto stamp = [&] {
    const uint32_t sum = PageChecksum(ByteSpan(image).subspan(page, kPageSize));
    for (int k = 0; k < 4; ++k) image[page + 60 + k] = static_cast<uint8_t>(sum >> (8 * k));
  };
  stamp();
  MemoryEnv env;
  env.AddFile("/db/sums.mdf", image);
  auto intact = RunInProcess({"rows", "/db/sums.mdf", "dbo.Sums", "--quiet"}, &env);
  EXPECT_EQ(intact.exitCode, 0) << intact.err;
  EXPECT_EQ(intact.out, "Id\tName\n1\tone\n2\ttwo\n");

  // "two" becomes "twp" after the checksum was written.
  const Bytes two = Ascii("two");
  const auto at = std::search(image.begin() + static_cast<std::ptrdiff_t>(page),
                              image.begin() + static_cast<std::ptrdiff_t>(page + kPageSize), two.begin(), two.end());
  ASSERT_NE(at - image.begin(), static_cast<std::ptrdiff_t>(page + kPageSize));
  at[2] = 'p';
  env.AddFile("/db/changed.mdf", image);
  for (const char* mode : {"standard", "advanced"}) {
    auto changed = RunInProcess({"rows", "/db/changed.mdf", "dbo.Sums", "--mode", mode, "--quiet"}, &env);
    EXPECT_EQ(changed.exitCode, 3) << mode;
    EXPECT_EQ(changed.out, "Id\tName\n1\tone\n2\ttwp\n") << mode;
    EXPECT_NE(changed.err.find("warning: dbo.Sums: 2 rows were read from a page whose checksum or torn-page bits do "
                               "not agree with its bytes; some of their values may be wrong, page 1:" +
                               std::to_string(table.firstPage) + "\n"),
              std::string::npos)
        << changed.err;
  }
}

// Two tables whose data pages survive; the catalog rows of one of them are
// lost. Its pages become a table of their own, named by its allocation
// unit, with columns inferred from its records; the other stays as it was.
TEST(DamagedDatabase, PagesWithoutCatalogRowsBecomeALostTable) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {SqlColumn("Id", "int(4)", kTypeInt), SqlColumn("Qty", "int(4)", kTypeInt),
                                           SqlColumn("Name", "nvarchar(40)", kTypeNVarChar),
                                           SqlColumn("Code", "varchar(10)", kTypeVarChar),
                                           SqlColumn("Blob", "varbinary(10)", kTypeVarBinary)};
  LayOutColumns(columns);
  const auto row = [](int id, int qty, const std::string& name, const std::string& code, Bytes blob) {
    return CompressedRow{{Value(SqlIntBytes(id, 4)), Value(SqlIntBytes(qty, 4)), Value(Utf16(name)),
                          Value(Bytes(code.begin(), code.end())), Value(std::move(blob))}};
  };
  TableSpec kept;
  kept.objectId = 500;
  kept.name = "Kept";
  kept.columns = columns;
  kept.rows = {row(1, 5, "one", "A1", {0x01})};
  TableSpec lost = kept;
  lost.objectId = 501;
  lost.name = "Gone";
  lost.firstPage = 50;
  lost.catalogRows = false;
  lost.rows = {row(7, 70, "Grüße", "X-7", {0x00, 0xFF}), row(8, -80, "日本", "Y8", {0x10, 0x02, 0x00})};
  MemoryEnv env;
  env.AddFile("/db/lost.mdf", ImageWithTables({kept, lost}).Build());

  // Its unit: the page key of the second table, with the in-row index part.
  const std::string name = "Lost table " + std::to_string((int64_t{256} << 48) | (int64_t{301} << 16));
  auto rows = RunInProcess({"rows", "/db/lost.mdf", name, "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3) << rows.err;
  EXPECT_EQ(rows.out, "c1\tc2\tc3\tc4\tc5\n7\t70\tGrüße\tX-7\t0x00FF\n8\t-80\t日本\tY8\t0x100200\n");
  EXPECT_NE(rows.err.find("warning: " + name +
                          ": no catalog rows describe this page; it is listed as a "
                          "table of its own, its columns inferred from 2 records, page 1:50\n"),
            std::string::npos)
      << rows.err;

  auto schema = RunInProcess({"schema", "/db/lost.mdf", "--quiet"}, &env);
  EXPECT_NE(
      schema.out.find("  " + name +
                      "  (1 data page)\n    c1  int  NULL\n    c2  int  NULL\n"
                      "    c3  nvarchar(4000)  NULL\n    c4  varchar(8000)  NULL\n    c5  varbinary(8000)  NULL\n"),
      std::string::npos)
      << schema.out;
  auto intact = RunInProcess({"rows", "/db/lost.mdf", "dbo.Kept", "--quiet"}, &env);
  EXPECT_EQ(intact.out, "Id\tQty\tName\tCode\tBlob\n1\t5\tone\tA1\t0x01\n");

  // With only its allocation unit row lost, the table's other rows still
  // describe it: its pages are the group whose records have its layout
  // (and no other table's), listed under its own name.
  lost.catalogRows = true;
  lost.allocUnitRow = false;
  env.AddFile("/db/nounit.mdf", ImageWithTables({kept, lost}).Build());
  auto matched = RunInProcess({"rows", "/db/nounit.mdf", "dbo.Gone", "--quiet"}, &env);
  EXPECT_EQ(matched.exitCode, 3) << matched.err;
  EXPECT_EQ(matched.out, "Id\tQty\tName\tCode\tBlob\n7\t70\tGrüße\tX-7\t0x00FF\n8\t-80\t日本\tY8\t0x100200\n");
  EXPECT_NE(matched.err.find("warning: dbo.Gone: the table's allocation rows are lost; 1 page that no other table "
                             "claims and whose records have its layout is taken as its page, page 1:50\n"),
            std::string::npos)
      << matched.err;
  auto none = RunInProcess({"schema", "/db/nounit.mdf", "--quiet"}, &env);
  EXPECT_EQ(none.out.find("Lost table"), std::string::npos) << none.out;

  // With its rowset row lost, and its physical column rows with it, the
  // unit row still names the rowset: the pages of the unit are the table's
  // where their records have the layout of its columns in their order.
  lost.allocUnitRow = true;
  lost.rowsetRow = false;
  for (const ColumnDescriptor& d : columns) lost.physicalRowsLost.push_back(d.columnId);
  env.AddFile("/db/norowset.mdf", ImageWithTables({kept, lost}).Build());
  auto unit = RunInProcess({"rows", "/db/norowset.mdf", "dbo.Gone", "--quiet"}, &env);
  EXPECT_EQ(unit.exitCode, 3) << unit.err;
  EXPECT_EQ(unit.out, matched.out);
  EXPECT_NE(unit.err.find("warning: dbo.Gone: the table's allocation rows are lost; 1 page that no other table "
                          "claims and whose records have its layout is taken as its page, page 1:50\n"),
            std::string::npos)
      << unit.err;
  EXPECT_EQ(RunInProcess({"schema", "/db/norowset.mdf", "--quiet"}, &env).out.find("Lost table"), std::string::npos);
  // Its rowset and unit rows both lost, its index row naming the rowset,
  // an index's rowset row standing: the pages matched by their layout are
  // found by the rowset the index row names.
  lost.allocUnitRow = false;
  lost.indexRow = true;
  lost.damagedIndexRowset = true;
  env.AddFile("/db/indexonly.mdf", ImageWithTables({kept, lost}).Build());
  auto indexed = RunInProcess({"rows", "/db/indexonly.mdf", "dbo.Gone", "--quiet"}, &env);
  EXPECT_EQ(indexed.exitCode, 3) << indexed.err;
  EXPECT_EQ(indexed.out, matched.out) << indexed.err;
  lost.indexRow = false;
  lost.damagedIndexRowset = false;
  lost.rowsetRow = true;
  lost.physicalRowsLost.clear();

  // A table whose rowset row counts no rows does not take records that
  // merely share its layout: they stay a lost table of their own.
  lost.rowsetDamage = [](SysRowsetsRow& row) { row.rowCount = 0; };
  env.AddFile("/db/counted.mdf", ImageWithTables({kept, lost}).Build());
  auto counted = RunInProcess({"rows", "/db/counted.mdf", "dbo.Gone", "--quiet"}, &env);
  EXPECT_EQ(counted.out, "Id\tQty\tName\tCode\tBlob\n") << counted.err;
  auto apart = RunInProcess({"schema", "/db/counted.mdf", "--quiet"}, &env);
  EXPECT_NE(apart.out.find("Lost table"), std::string::npos) << apart.out;
  lost.rowsetDamage = nullptr;

  // With only its object row lost (and every copy of its name), its column
  // rows and storage still describe it: it lists under its object id with
  // its own columns.
  lost.allocUnitRow = true;
  lost.objectRow = false;
  env.AddFile("/db/noobject.mdf", ImageWithTables({kept, lost}).Build());
  auto orphan = RunInProcess({"rows", "/db/noobject.mdf", "Lost table 501", "--quiet"}, &env);
  EXPECT_EQ(orphan.exitCode, 3) << orphan.err;
  EXPECT_EQ(orphan.out, "Id\tQty\tName\tCode\tBlob\n7\t70\tGrüße\tX-7\t0x00FF\n8\t-80\t日本\tY8\t0x100200\n");
  EXPECT_NE(orphan.err.find("warning: Lost table 501: the table's object row and its name are lost; its columns and "
                            "pages are found by its id, object id 501\n"),
            std::string::npos)
      << orphan.err;
}

// A table whose object row and catalog column rows are lost, its physical
// column rows standing, is read with the types and order those give; with
// one of them lost too, its records' columns are inferred instead.
TEST(DamagedDatabase, PhysicalColumnRowsDescribeATableWhoseObjectRowIsLost) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {
      SqlColumn("Id", "int(4)", kTypeInt), SqlColumn("Name", "nvarchar(40)", kTypeNVarChar),
      SqlColumn("Price", "money(8)", kTypeMoney), SqlColumn("Qty", "smallint(2)", kTypeSmallInt)};
  LayOutColumns(columns);
  TableSpec table;
  table.objectId = 501;
  table.name = "Gone";
  table.columns = columns;
  table.objectRow = false;
  table.catalogColumnRows = false;
  table.rows = {CompressedRow{{Value(SqlIntBytes(1, 4)), Value(Utf16("Chai")), Value(SqlIntBytes(180000, 8)),
                               Value(SqlIntBytes(-3, 2))}},
                CompressedRow{{Value(SqlIntBytes(2, 4)), Null(), Value(SqlIntBytes(5, 8)), Value(SqlIntBytes(7, 2))}}};
  MemoryEnv env;
  env.AddFile("/db/physical.mdf", ImageWithTables({table}).Build());
  auto rows = RunInProcess({"rows", "/db/physical.mdf", "Lost table 501", "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3) << rows.err;
  EXPECT_EQ(rows.out, "Column1\tColumn2\tColumn3\tColumn4\n1\tChai\t18.0000\t-3\n2\t\\N\t0.0005\t7\n") << rows.err;
  EXPECT_NE(rows.err.find("warning: Lost table 501: 4 columns have lost their column rows and names; read with the "
                          "types their physical rows give, listed as Column1, Column2, Column3, Column4\n"),
            std::string::npos)
      << rows.err;

  table.physicalRowsLost = {3};
  env.AddFile("/db/partial.mdf", ImageWithTables({table}).Build());
  auto schema = RunInProcess({"schema", "/db/partial.mdf", "--quiet"}, &env);
  EXPECT_EQ(schema.out.find("Lost table 501"), std::string::npos) << schema.out;
  const std::string name = "Lost table " + std::to_string((int64_t{256} << 48) | (int64_t{300} << 16));
  EXPECT_NE(schema.out.find("  " + name + "  (1 data page)\n"), std::string::npos) << schema.out;
}

// A lost table's large values are typed by their bytes like those kept in
// the row: UTF-16 text, 8-bit text behind a text pointer, binary.
TEST(DamagedDatabase, LargeValuesOfALostTableAreTypedByTheirBytes) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {
      SqlColumn("Id", "int(4)", kTypeInt), SqlColumn("Notes", "nvarchar(-1)", kTypeNVarChar),
      SqlColumn("Memo", "varchar(-1)", kTypeVarChar), SqlColumn("Pic", "varbinary(-1)", kTypeVarBinary)};
  LayOutColumns(columns);
  constexpr uint32_t kTextPage = 60;
  const Bytes notes = Utf16("Grüße aus Köln, 日本");
  const Bytes picture = {0x47, 0x49, 0x46, 0x00, 0x01, 0x02, 0xFF};
  const auto row = [&](int id, uint16_t slot) {
    return CompressedRow{
        {Value(SqlIntBytes(id, 4)),
         Value(InRowRoot({{{1, kTextPage}, slot, static_cast<uint32_t>(notes.size())}}), true),
         Value(TextPointer(PageRef{1, kTextPage}, static_cast<uint16_t>(slot + 1)), true),
         Value(InRowRoot({{{1, kTextPage}, static_cast<uint16_t>(slot + 2), static_cast<uint32_t>(picture.size())}}),
               true)}};
  };
  TableSpec lost;
  lost.objectId = 501;
  lost.name = "Gone";
  lost.columns = columns;
  lost.firstPage = 50;
  lost.catalogRows = false;
  lost.rows = {row(1, 0), row(2, 3)};
  DatabaseImage image = ImageWithTables({lost});
  for (const std::string memo : {"first memo", "second memo"}) {
    image.Page(kTextPage).PageType(3).AddRecord(TextRecordBytes(DataStructure(notes)));
    image.Page(kTextPage).AddRecord(TextRecordBytes(SmallRootStructure(Ascii(memo))));
    image.Page(kTextPage).AddRecord(TextRecordBytes(DataStructure(picture)));
  }
  MemoryEnv env;
  env.AddFile("/db/lob.mdf", image.Build());

  const std::string name = "Lost table " + std::to_string((int64_t{256} << 48) | (int64_t{300} << 16));
  auto schema = RunInProcess({"schema", "/db/lob.mdf", "--quiet"}, &env);
  EXPECT_NE(schema.out.find("  " + name +
                            "  (1 data page)\n    c1  int  NULL\n    c2  nvarchar(max)  NULL\n"
                            "    c3  varchar(max)  NULL\n    c4  varbinary(max)  NULL\n"),
            std::string::npos)
      << schema.out;
  auto rows = RunInProcess({"rows", "/db/lob.mdf", name, "--quiet"}, &env);
  EXPECT_EQ(rows.out,
            "c1\tc2\tc3\tc4\n1\tGrüße aus Köln, 日本\tfirst memo\t0x474946000102FF\n"
            "2\tGrüße aus Köln, 日本\tsecond memo\t0x474946000102FF\n")
      << rows.err;
}

// The sample with every page of its column table zeroed: a table keeps its
// name and lists its rows with columns inferred from its records, the
// fixed parts split into typed columns where the bytes tell (Orders: ints,
// a nchar, datetimes and a money amount), so that every value comes out as
// from the intact file, under made-up names. A table of too few records to
// tell (Shippers, 3) lists nothing; its page is a table of its own.
TEST(DamagedDatabase, LostColumnRowsAreInferredFromTheRecords) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  auto db = testing::OpenDatabaseFile(kSample);
  ASSERT_TRUE(db);
  const int32_t shippers = db->catalog()->FindObject("Shippers", "U ").objectId;
  size_t zeroed = 0;
  for (const PageMapEntry& entry : db->file().systemPageMap[3]) {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(entry.pageIndex) * kPageSize, kPageSize, 0);
    ++zeroed;
  }
  ASSERT_GT(zeroed, 0u);
  MemoryEnv env;
  env.AddFile("/db/nocolumns.mdf", bytes);

  const auto body = [](const std::string& out) { return out.substr(out.find('\n')); };
  for (const char* table : {"Orders", "Order Details"}) {
    auto intact = RunInProcess({"rows", kSample, table, "--quiet"});
    auto rows = RunInProcess({"rows", "/db/nocolumns.mdf", table, "--quiet"}, &env);
    EXPECT_EQ(rows.exitCode, 3) << rows.err;
    EXPECT_EQ(body(rows.out), body(intact.out)) << table;
    EXPECT_EQ(rows.out.substr(0, 3), "c1\t") << table;
  }
  auto rows = RunInProcess({"rows", "/db/nocolumns.mdf", "Orders", "--quiet"}, &env);
  EXPECT_NE(rows.err.find("warning: dbo.Orders: the table's column rows are lost; its columns are inferred from 830 "
                          "records of its 20 pages, their names and types guessed, page 1:"),
            std::string::npos)
      << rows.err;

  const std::string lost = "Lost table " + std::to_string(shippers);
  auto intact = RunInProcess({"rows", kSample, "Shippers", "--quiet"});
  rows = RunInProcess({"rows", "/db/nocolumns.mdf", lost, "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3) << rows.err;
  EXPECT_EQ(body(rows.out), body(intact.out));
  EXPECT_NE(rows.err.find("warning: " + lost +
                          ": the column rows of Shippers are lost; its 1 page is listed as this "
                          "table, its columns inferred from 3 records, page 1:"),
            std::string::npos)
      << rows.err;
  EXPECT_EQ(RunInProcess({"rows", "/db/nocolumns.mdf", "Shippers", "--quiet"}, &env).out, "\n");
}

// The sample with every page of its object table zeroed, data and name
// index: each table lists its rows under a name found again, that of its
// heap's or its text and image data's index row, or one the view and
// procedure texts use for it.
TEST(DamagedDatabase, TablesWhoseNamesAreLostAreNamedAgain) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  auto db = testing::OpenDatabaseFile(kSample);
  ASSERT_TRUE(db);
  for (const PageMapEntry& entry : db->file().systemPageMap[1])
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(entry.pageIndex) * kPageSize, kPageSize, 0);
  MemoryEnv env;
  env.AddFile("/db/noobjects.mdf", bytes);

  for (const char* table : {"Orders", "Order Details", "Products", "Customers", "Region", "Territories",
                            "EmployeeTerritories", "Categories", "Employees", "Suppliers", "Shippers"}) {
    auto rows = RunInProcess({"rows", "/db/noobjects.mdf", table, "--quiet"}, &env);
    EXPECT_EQ(rows.exitCode, 3) << table << rows.err;
    EXPECT_EQ(rows.out, RunInProcess({"rows", kSample, table, "--quiet"}).out) << table;
  }
  auto schema = RunInProcess({"schema", "/db/noobjects.mdf", "--quiet"}, &env);
  for (const char* warning :
       {"warning: Orders: the table's object row is lost; its name is guessed from 13 definitions that use it as a "
        "table and name 14 of its columns, its columns and pages are found by its id, object id ",
        "warning: Region: the table's object row is lost; its name is the one its heap's index row keeps, its "
        "columns and pages are found by its id, object id ",
        "warning: Categories: the table's object row is lost; its name is the one its text and image index row "
        "keeps, its columns and pages are found by its id, object id "})
    EXPECT_NE(schema.err.find(warning), std::string::npos) << warning << "\n" << schema.err;
  EXPECT_EQ(schema.out.find("Lost table"), std::string::npos) << schema.out;
}

// The physical column rows of a table, damaged: two lost (a variable
// column and a bit), one with its id changed. They are mended from the
// catalog columns, and every row comes out as from the intact catalog.
TEST(DamagedDatabase, LostPhysicalColumnRowsAreMended) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {
      SqlColumn("Id", "int(4)", kTypeInt), SqlColumn("Name", "nvarchar(40)", kTypeNVarChar),
      SqlColumn("Code", "char(3)", kTypeChar), SqlColumn("Flag", "bit(1)", kTypeBit),
      SqlColumn("Note", "varchar(10)", kTypeVarChar)};
  LayOutColumns(columns);
  const auto row = [](int id, const std::string& name, const std::string& code, bool flag, const std::string& note) {
    return CompressedRow{{Value(SqlIntBytes(id, 4)), Value(Utf16(name)), Value(Bytes(code.begin(), code.end())),
                          Value(Bytes{static_cast<uint8_t>(flag ? 1 : 0)}), Value(Bytes(note.begin(), note.end()))}};
  };
  TableSpec table;
  table.objectId = 500;
  table.name = "Mended";
  table.columns = columns;
  table.rows = {row(1, "Anna", "A01", true, "first"), row(2, "Bo", "B02", false, "second")};
  MemoryEnv env;
  env.AddFile("/db/intact.mdf", ImageWithTables({table}).Build());
  table.physicalRowsLost = {2, 4};
  table.physicalIdDamaged = 3;
  env.AddFile("/db/damaged.mdf", ImageWithTables({table}).Build());

  auto intact = RunInProcess({"rows", "/db/intact.mdf", "dbo.Mended", "--quiet"}, &env);
  ASSERT_EQ(intact.out, "Id\tName\tCode\tFlag\tNote\n1\tAnna\tA01\t1\tfirst\n2\tBo\tB02\t0\tsecond\n");
  auto mended = RunInProcess({"rows", "/db/damaged.mdf", "dbo.Mended", "--quiet"}, &env);
  EXPECT_EQ(mended.exitCode, 0) << mended.err;
  EXPECT_EQ(mended.out, intact.out);

  // With the rows of the first columns lost, the last variable column's
  // index is past the rows that remain but not past the table's columns:
  // it keeps its place.
  std::vector<ColumnDescriptor> texts = {
      SqlColumn("Id", "int(4)", kTypeInt), SqlColumn("A", "nvarchar(10)", kTypeNVarChar),
      SqlColumn("B", "nvarchar(10)", kTypeNVarChar), SqlColumn("C", "nvarchar(10)", kTypeNVarChar)};
  LayOutColumns(texts);
  TableSpec three;
  three.objectId = 501;
  three.name = "Texts";
  three.columns = texts;
  three.rows = {CompressedRow{{Value(SqlIntBytes(1, 4)), Value(Utf16("a")), Value(Utf16("b")), Value(Utf16("c"))}}};
  three.physicalRowsLost = {1, 2};
  env.AddFile("/db/texts.mdf", ImageWithTables({three}).Build());
  auto lastKept = RunInProcess({"rows", "/db/texts.mdf", "dbo.Texts", "--quiet"}, &env);
  EXPECT_EQ(lastKept.out, "Id\tA\tB\tC\n1\ta\tb\tc\n") << lastKept.err;

  // Every physical row lost: the values are read in declared order, and
  // the listing says so (a clustered key may have been stored first).
  three.physicalRowsLost = {1, 2, 3, 4};
  env.AddFile("/db/nolayout.mdf", ImageWithTables({three}).Build());
  auto assumed = RunInProcess({"rows", "/db/nolayout.mdf", "dbo.Texts", "--quiet"}, &env);
  EXPECT_EQ(assumed.exitCode, 3) << assumed.err;
  EXPECT_NE(assumed.err.find("warning: dbo.Texts: the physical rows of its columns are lost; its values are read in "
                             "the columns' declared order, which its records may not follow\n"),
            std::string::npos)
      << assumed.err;
}

// A table whose object, rowset and unit rows stand but every column row is
// lost: it lists its rows under its own name with columns inferred from
// its records, and says so.
TEST(DamagedDatabase, ATableWithoutColumnRowsListsItsRowsWithInferredColumns) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {SqlColumn("Id", "int(4)", kTypeInt),
                                           SqlColumn("Name", "nvarchar(40)", kTypeNVarChar)};
  LayOutColumns(columns);
  TableSpec table;
  table.objectId = 520;
  table.name = "Bare";
  table.columns = columns;
  const char* names[] = {"eins", "zwei", "drei", "vier", "fuenf", "sechs", "sieben", "acht"};
  std::string expected = "c1\tc2\n";
  for (int i = 0; i < 8; ++i) {
    table.rows.push_back(CompressedRow{{Value(SqlIntBytes(i + 1, 4)), Value(Utf16(names[i]))}});
    expected += std::to_string(i + 1) + "\t" + names[i] + "\n";
  }
  table.columnRows = false;
  MemoryEnv env;
  env.AddFile("/db/bare.mdf", ImageWithTables({table}).Build());

  auto rows = RunInProcess({"rows", "/db/bare.mdf", "dbo.Bare", "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3) << rows.err;
  EXPECT_EQ(rows.out, expected);
  EXPECT_NE(rows.err.find("warning: dbo.Bare: the table's column rows are lost; its columns are inferred from 8 "
                          "records of its 1 page, their names and types guessed"),
            std::string::npos)
      << rows.err;
  auto schema = RunInProcess({"schema", "/db/bare.mdf"}, &env);
  EXPECT_EQ(schema.out.find("Lost table"), std::string::npos) << schema.out;
}

// Two columns whose catalog and physical rows are both lost, one of them
// the last: the records still have them, so they are listed with the
// columns that are described, and a warning says values were left out.
TEST(DamagedDatabase, ColumnsWithoutAnyRowLeaveTheirValuesOut) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {SqlColumn("Id", "int(4)", kTypeInt), SqlColumn("Code", "char(3)", kTypeChar),
                                           SqlColumn("Qty", "int(4)", kTypeInt),
                                           SqlColumn("Name", "nvarchar(20)", kTypeNVarChar),
                                           SqlColumn("Note", "varchar(10)", kTypeVarChar)};
  LayOutColumns(columns);
  const auto row = [](int id, const std::string& code, int qty, const std::string& name, const std::string& note) {
    return CompressedRow{{Value(SqlIntBytes(id, 4)), Value(Bytes(code.begin(), code.end())), Value(SqlIntBytes(qty, 4)),
                          Value(Utf16(name)), Value(Bytes(note.begin(), note.end()))}};
  };
  TableSpec table;
  table.objectId = 530;
  table.name = "Holes";
  table.columns = columns;
  table.rows = {row(1, "A01", 7, "eins", "x"), row(2, "B02", 9, "zwei", "y"), row(3, "C03", 11, "drei", "z")};
  const auto elsewhere = [](SysColParsRow& r) { r.objectId = 999; };
  table.catalogColumnDamage = {{2, elsewhere}, {5, elsewhere}};
  table.physicalRowsLost = {2, 5};
  MemoryEnv env;
  env.AddFile("/db/holes.mdf", ImageWithTables({table}).Build());

  auto rows = RunInProcess({"rows", "/db/holes.mdf", "dbo.Holes", "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3) << rows.err;
  EXPECT_EQ(rows.out, "Id\tQty\tName\n1\t7\teins\n2\t9\tzwei\n3\t11\tdrei\n");
  EXPECT_NE(rows.err.find(
                "warning: dbo.Holes: 2 columns of its records have lost their column rows; their values are left out"),
            std::string::npos)
      << rows.err;

  // Their physical rows kept: their values are read with the types those
  // give, under stand-in names, and the lost names are said.
  table.physicalRowsLost.clear();
  env.AddFile("/db/named.mdf", ImageWithTables({table}).Build());
  rows = RunInProcess({"rows", "/db/named.mdf", "dbo.Holes", "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3) << rows.err;
  EXPECT_EQ(rows.out, "Id\tColumn2\tQty\tName\tColumn5\n1\tA01\t7\teins\tx\n2\tB02\t9\tzwei\ty\n3\tC03\t11\tdrei\tz\n");
  EXPECT_NE(rows.err.find("warning: dbo.Holes: 2 columns have lost their column rows and names; read with the types "
                          "their physical rows give, listed as Column2, Column5"),
            std::string::npos)
      << rows.err;
}

// Single fields of a table's column rows damaged, each as one inverted byte
// leaves it: every field the catalog keeps twice, or that the physical row
// keeps again, is taken from the copies that agree, and every row comes out
// as from the intact catalog.
TEST(DamagedDatabase, DamagedColumnFieldsAreTakenFromTheirOtherCopies) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {
      SqlColumn("Id", "int(4)", kTypeInt),           SqlColumn("Name", "nvarchar(40)", kTypeNVarChar),
      SqlColumn("Code", "char(3)", kTypeChar),       SqlColumn("Qty", "int(4)", kTypeInt),
      SqlColumn("Price", "money(8)", kTypeMoney),    SqlColumn("Flag", "bit(1)", kTypeBit),
      SqlColumn("Note", "varchar(10)", kTypeVarChar)};
  LayOutColumns(columns);
  const auto row = [](int id, const std::string& name, const std::string& code, int qty, int64_t cents, bool flag,
                      const std::string& note) {
    return CompressedRow{{Value(SqlIntBytes(id, 4)), Value(Utf16(name)), Value(Bytes(code.begin(), code.end())),
                          Value(SqlIntBytes(qty, 4)), Value(SqlIntBytes(cents * 100, 8)),
                          Value(Bytes{static_cast<uint8_t>(flag ? 1 : 0)}), Value(Bytes(note.begin(), note.end()))}};
  };
  TableSpec table;
  table.objectId = 510;
  table.name = "Voted";
  table.columns = columns;
  table.rows = {row(1, "Anna", "A01", 7, 1250, true, "first"), row(2, "Bo", "B02", 12, 99, false, "second")};
  MemoryEnv env;
  env.AddFile("/db/intact.mdf", ImageWithTables({table}).Build());
  const auto inverted = [](auto value, int byte) {
    using T = decltype(value);
    return static_cast<T>(static_cast<uint64_t>(value) ^ (uint64_t{0xFF} << (8 * byte)));
  };
  const int16_t qtyOffset = columns[3].leafOffset;
  const int16_t noteOffset = columns[6].leafOffset;
  table.catalogColumnDamage = {
      {1, [&](SysColParsRow& r) { r.userTypeId = inverted(r.userTypeId, 2); }},
      {2, [&](SysColParsRow& r) { r.number = inverted(r.number, 0); }},
      {3, [&](SysColParsRow& r) { r.columnId = inverted(r.columnId, 1); }},
      {4, [&](SysColParsRow& r) { r.length = inverted(r.length, 0); }},
  };
  table.physicalColumnDamage = {
      {4, [&](SysRsColsRow& r) { r.offset = static_cast<uint16_t>(inverted(qtyOffset, 0)); }},
      {5, [&](SysRsColsRow& r) { r.rowsetColumnId = inverted(r.rowsetColumnId, 2); }},
      {6, [&](SysRsColsRow& r) { r.hobtColumnId = inverted(r.hobtColumnId, 1); }},
      {7, [&](SysRsColsRow& r) { r.offset = static_cast<uint16_t>(inverted(noteOffset, 0)); }},
  };
  env.AddFile("/db/damaged.mdf", ImageWithTables({table}).Build());

  auto intact = RunInProcess({"rows", "/db/intact.mdf", "dbo.Voted", "--quiet"}, &env);
  ASSERT_EQ(intact.out,
            "Id\tName\tCode\tQty\tPrice\tFlag\tNote\n1\tAnna\tA01\t7\t12.5000\t1\tfirst\n"
            "2\tBo\tB02\t12\t0.9900\t0\tsecond\n");
  auto voted = RunInProcess({"rows", "/db/damaged.mdf", "dbo.Voted", "--quiet"}, &env);
  EXPECT_EQ(voted.exitCode, 0) << voted.err;
  EXPECT_EQ(voted.out, intact.out);
  // A nonclustered index whose rowset row's index id took damage is not
  // taken for the table: its columns are laid out as index rows are.
  table.catalogColumnDamage.clear();
  table.physicalColumnDamage.clear();
  table.damagedIndexRowset = true;
  env.AddFile("/db/index.mdf", ImageWithTables({table}).Build());
  EXPECT_EQ(RunInProcess({"rows", "/db/index.mdf", "dbo.Voted", "--quiet"}, &env).out, intact.out);
  auto schema = RunInProcess({"schema", "/db/damaged.mdf"}, &env);
  EXPECT_NE(schema.out.find("    Qty  int  NULL\n"), std::string::npos) << schema.out;

  // A column id no column can have, whose physical row lost its type: the
  // one id missing from the run that is one byte away is the column's.
  table.damagedIndexRowset = false;
  table.catalogColumnDamage = {{4, [&](SysColParsRow& r) { r.columnId = inverted(r.columnId, 3); }}};
  table.physicalColumnDamage = {{4, [&](SysRsColsRow& r) { r.typeInfo = inverted(r.typeInfo, 0); }}};
  env.AddFile("/db/impossible.mdf", ImageWithTables({table}).Build());
  EXPECT_EQ(RunInProcess({"rows", "/db/impossible.mdf", "dbo.Voted", "--quiet"}, &env).out, intact.out);
}

// Rows of the sample's column table whose record headers took damage (a
// status byte inverted, a fixed-part length inverted): read again under the
// header the page's other rows share, the table keeps every column.
TEST(DamagedDatabase, CatalogRowsWithDamagedRecordHeadersAreStillRead) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  int damaged = 0;
  ForEachOrdersColumnRecord([&](int colid, size_t at) {
    if (colid == 4) bytes[at] ^= 0xFF;      // the status byte
    if (colid == 9) bytes[at + 3] ^= 0xFF;  // the fixed part's length, high byte
    if (colid == 4 || colid == 9) ++damaged;
  });
  ASSERT_EQ(damaged, 2);
  ExpectOrdersAsTheSample(bytes);
}

// A column row of the 2000 layout whose id took a damaged byte: its order
// keeps the id once more, and the column keeps its place and its null bit.
TEST(DamagedDatabase, A2000ColumnIdIsTakenBackFromItsOrder) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  int damaged = 0;
  ForEachOrdersColumnRecord([&](int colid, size_t at) {
    if (colid == 4) bytes[at + 34] ^= 0x20;  // another column's order: its id stands
    if (colid != 3 && colid != 13) return;
    bytes[at + 16] ^= 0xFF;  // colid, low byte
    ++damaged;
  });
  ASSERT_EQ(damaged, 2);
  ExpectOrdersAsTheSample(bytes);
}

// The sample with the column rows of Orders.OrderID and EmployeeID given to
// another object: both are index keys, whose descriptions in sysindexes
// keep their types and places; they list with their values as before,
// under stand-in names, and the warning names them.
TEST(DamagedDatabase, KeyColumnsWithoutColumnRowsAreReadByTheirIndexRows) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  int moved = 0;
  ForEachOrdersColumnRecord([&](int colid, size_t at) {
    if (colid != 1 && colid != 3) return;
    bytes[at + 4 + 3] ^= 0x40;
    bytes[at + 4 + 2] ^= 0x40;
    ++moved;
  });
  ASSERT_EQ(moved, 2);
  MemoryEnv env;
  env.AddFile("/db/keys.mdf", bytes);
  auto rows = RunInProcess({"rows", "/db/keys.mdf", "Orders", "--quiet"}, &env);
  const std::string intact = RunInProcess({"rows", kSample, "Orders", "--quiet"}).out;
  EXPECT_EQ(rows.exitCode, 3) << rows.err;
  EXPECT_EQ(rows.out.substr(0, rows.out.find('\n')),
            "Column1\tCustomerID\tColumn3\tOrderDate\tRequiredDate\tShippedDate\tShipVia\tFreight\tShipName\t"
            "ShipAddress\tShipCity\tShipRegion\tShipPostalCode\tShipCountry");
  EXPECT_EQ(rows.out.substr(rows.out.find('\n')), intact.substr(intact.find('\n')));
  EXPECT_NE(rows.err.find("warning: dbo.Orders: 2 columns have lost their column rows and names; read with the types "
                          "their index rows give, listed as Column1, Column3\n"),
            std::string::npos)
      << rows.err;
}

// The sample with the column id of a key in Orders' sysindexes rows
// damaged: the key names a column the table has (the same type and place,
// its id one byte away), so no stand-in column is added for it.
TEST(DamagedDatabase, AKeyWhoseColumnIdTookDamageAddsNoColumn) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  auto db = testing::OpenDatabaseFile(kSample);
  ASSERT_TRUE(db);
  const int32_t orders = db->catalog()->FindObject("Orders", "U ").objectId;
  int damaged = 0;
  for (const PageMapEntry& entry : db->file().systemPageMap[2]) {
    auto page = db->file().ReadDataPage(entry.ToPageRef());
    if (!page || !page->header || page->header->pageType != kPageTypeData) continue;
    const size_t start = static_cast<size_t>(entry.pageIndex) * kPageSize;
    for (const auto& record : page->records) {
      if (!record || !record->fixedData || record->fixedData->size() < 4 || record->varValues.empty()) continue;
      const Bytes& fixed = *record->fixedData;
      if ((fixed[0] | (fixed[1] << 8) | (fixed[2] << 16) | (fixed[3] << 24)) != orders) continue;
      const std::optional<Bytes>& keys = record->varValues[0].data;
      if (!keys || keys->size() < 24) continue;
      auto at = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                            bytes.begin() + static_cast<std::ptrdiff_t>(start + kPageSize), keys->begin(), keys->end());
      if (at == bytes.begin() + static_cast<std::ptrdiff_t>(start + kPageSize)) continue;
      at[16] ^= 0xFF;  // the first key's column id, low byte
      ++damaged;
    }
  }
  ASSERT_GT(damaged, 0);
  ExpectOrdersAsTheSample(bytes);
}

// The sample with the status byte of Orders.OrderID's column row inverted:
// it reads as computed and no longer as an identity, but the column has its
// place in the record and the identity's values in the row: it lists as
// before, an identity.
TEST(DamagedDatabase, AColumnStatusTheRestOfItsRowDeniesIsMended) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  bool damaged = false;
  ForEachOrdersColumnRecord([&](int colid, size_t at) {
    if (colid != 1) return;
    bytes[at + 4 + 18] = static_cast<uint8_t>(~bytes[at + 4 + 18]);
    damaged = true;
  });
  ASSERT_TRUE(damaged);
  MemoryEnv env;
  env.AddFile("/db/colstat.mdf", bytes);
  EXPECT_EQ(RunInProcess({"rows", "/db/colstat.mdf", "Orders", "--quiet"}, &env).out,
            RunInProcess({"rows", kSample, "Orders", "--quiet"}).out);
  auto schema = RunInProcess({"schema", "/db/colstat.mdf", "--quiet"}, &env);
  EXPECT_NE(schema.out.find("    OrderID  int  NOT NULL  identity(1,1)"), std::string::npos) << schema.out;
}

// The sample with the column rows of Orders.ShipName and ShipAddress given
// to another object (as damage to their ids does). One byte of the id
// damaged: the rows are the table's again, no object having that id. Two
// bytes: the table lists every row with the columns whose rows stand,
// their values as before.
TEST(DamagedDatabase, ATableWithAColumnRowLostListsItsOtherColumns) {
  Bytes oneByte = testing::ReadFileBytes(kSample);
  Bytes bytes = oneByte;
  bool moved = false;
  ForEachOrdersColumnRecord([&](int colid, size_t at) {
    if (colid != 9 && colid != 10) return;
    oneByte[at + 4 + 3] ^= colid == 9 ? 0x40 : 0x20;
    bytes[at + 4 + 3] ^= 0x40;
    bytes[at + 4 + 2] ^= 0x40;
    moved = true;
  });
  ASSERT_TRUE(moved);
  MemoryEnv env;
  env.AddFile("/db/onebyte.mdf", oneByte);
  env.AddFile("/db/nocolumn.mdf", bytes);

  auto intact = RunInProcess({"rows", kSample, "Orders", "--quiet"});
  EXPECT_EQ(RunInProcess({"rows", "/db/onebyte.mdf", "Orders", "--quiet"}, &env).out, intact.out);
  auto rows = RunInProcess({"rows", "/db/nocolumn.mdf", "Orders", "--quiet"}, &env);
  EXPECT_EQ(rows.out.substr(0, rows.out.find('\n')),
            "OrderID\tCustomerID\tEmployeeID\tOrderDate\tRequiredDate\tShippedDate\tShipVia\tFreight\tShipCity\t"
            "ShipRegion\tShipPostalCode\tShipCountry");
  EXPECT_EQ(std::count(rows.out.begin(), rows.out.end(), '\n'), 831) << rows.err;
  // The first columns, before the lost one, read as before.
  const auto firstColumns = [](const std::string& line) {
    size_t at = 0;
    for (int k = 0; k < 6; ++k) at = line.find('\t', at) + 1;
    return line.substr(0, at);
  };
  const size_t second = intact.out.find('\n') + 1;
  EXPECT_EQ(firstColumns(rows.out.substr(rows.out.find('\n') + 1)), firstColumns(intact.out.substr(second)));
}

// A page of the sample's column table with its header overwritten: the scan
// no longer files it there, but its neighbours in the table's page chain
// lead to it and its slot array still stands, so the catalog is whole.
TEST(DamagedDatabase, ACatalogPageWithADamagedHeaderIsFoundByItsChain) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  auto db = testing::OpenDatabaseFile(kSample);
  ASSERT_TRUE(db);
  int32_t hidden = 0;
  for (const PageMapEntry& entry : db->file().systemPageMap[3]) {
    auto header = db->file().ReadPageHeader(entry.ToPageRef());
    if (header && header->pageType == kPageTypeData && header->nextPage.pageNo > 0) {
      hidden = header->nextPage.pageNo;
      break;
    }
  }
  ASSERT_GT(hidden, 0);
  for (int i = 0; i < kPageHeaderSize; ++i)
    bytes[static_cast<size_t>(hidden) * kPageSize + static_cast<size_t>(i)] = static_cast<uint8_t>(0xA5 ^ (i * 37));
  MemoryEnv env;
  env.AddFile("/db/header.mdf", bytes);

  auto intact = RunInProcess({"schema", kSample, "--quiet"});
  auto damaged = RunInProcess({"schema", "/db/header.mdf", "--quiet"}, &env);
  EXPECT_EQ(damaged.exitCode, 0) << damaged.err;
  EXPECT_EQ(WithoutColumnTable(damaged.out), WithoutColumnTable(intact.out));
  auto rows = RunInProcess({"rows", "/db/header.mdf", "Orders", "--quiet"}, &env);
  EXPECT_EQ(rows.out, RunInProcess({"rows", kSample, "Orders", "--quiet"}).out);
}

// Pages of the sample's column table whose headers took one damaged byte:
// one in the object id (filed under an id no table has), one in the index
// id (filed among user pages). Both are still read as the column table's,
// and neither becomes a table of its own.
TEST(DamagedDatabase, CatalogPagesWithADamagedIdByteAreStillRead) {
  Bytes bytes = testing::ReadFileBytes(kSample);
  auto db = testing::OpenDatabaseFile(kSample);
  ASSERT_TRUE(db);
  std::vector<int32_t> pages;
  for (const PageMapEntry& entry : db->file().systemPageMap[3])
    if (entry.pageType == kPageTypeData) pages.push_back(static_cast<int32_t>(entry.pageIndex));
  ASSERT_GE(pages.size(), 3u);
  const auto at = [&](int32_t page, size_t offset) { return static_cast<size_t>(page) * kPageSize + offset; };
  bytes[at(pages[0], 26)] ^= 0xFF;  // object id 3 -> 0x00FF0003
  bytes[at(pages[1], 24)] ^= 0xFF;  // object id 3 -> 252
  bytes[at(pages[2], 7)] ^= 0xFF;   // index id 0 -> 0xFF00
  MemoryEnv env;
  env.AddFile("/db/ids.mdf", bytes);

  auto intact = RunInProcess({"schema", kSample, "--quiet"});
  auto damaged = RunInProcess({"schema", "/db/ids.mdf", "--quiet"}, &env);
  EXPECT_EQ(damaged.exitCode, 0) << damaged.err;
  EXPECT_EQ(WithoutColumnTable(damaged.out), WithoutColumnTable(intact.out));
  EXPECT_EQ(damaged.out.find("Lost table"), std::string::npos);
  for (const char* table : {"Orders", "Employees", "Order Details"})
    EXPECT_EQ(RunInProcess({"rows", "/db/ids.mdf", table, "--quiet"}, &env).out,
              RunInProcess({"rows", kSample, table, "--quiet"}).out)
        << table;

  // Every page of a column table with its index id damaged: no allocation
  // unit has the ids they name, so they are the table's still.
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {SqlColumn("Id", "int(4)", kTypeInt),
                                           SqlColumn("Name", "nvarchar(20)", kTypeNVarChar)};
  LayOutColumns(columns);
  TableSpec table;
  table.objectId = 500;
  table.name = "Kept";
  table.columns = columns;
  table.rows = {CompressedRow{{Value(SqlIntBytes(7, 4)), Value(Utf16("seven"))}}};
  Bytes image = ImageWithTables({table}).Build();
  int columnPages = 0;
  for (size_t page = 1; page < image.size() / kPageSize; ++page) {
    const size_t at = page * kPageSize;
    if (image[at + 1] != kPageTypeData || image[at + 24] != 41 || image[at + 25] != 0) continue;
    image[at + 7] ^= 0xFF;
    ++columnPages;
  }
  ASSERT_GE(columnPages, 1);
  env.AddFile("/db/index.mdf", image);
  auto kept = RunInProcess({"rows", "/db/index.mdf", "dbo.Kept", "--quiet"}, &env);
  EXPECT_EQ(kept.exitCode, 0) << kept.err;
  EXPECT_EQ(kept.out, "Id\tName\n7\tseven\n");
}

// A heap's rowset row with one field damaged, in the ways one byte can
// take it: the index row keeps the rowset's object and index (and its id)
// again, a rowset id made from the object keeps both, and an index id no
// index can have that is one byte away from the heap's is the heap's.
TEST(DamagedDatabase, DamagedRowsetFieldsAreTakenFromTheirOtherCopies) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {SqlColumn("Id", "int(4)", kTypeInt),
                                           SqlColumn("Name", "nvarchar(20)", kTypeNVarChar)};
  LayOutColumns(columns);
  TableSpec intactTable;
  intactTable.objectId = 530;
  intactTable.name = "Kept";
  intactTable.columns = columns;
  intactTable.rows = {CompressedRow{{Value(SqlIntBytes(5, 4)), Value(Utf16("fünf"))}},
                      CompressedRow{{Value(SqlIntBytes(6, 4)), Value(Utf16("sechs"))}}};
  MemoryEnv env;
  env.AddFile("/db/intact.mdf", ImageWithTables({intactTable}).Build());
  auto intact = RunInProcess({"rows", "/db/intact.mdf", "dbo.Kept", "--quiet"}, &env);
  ASSERT_EQ(intact.out, "Id\tName\n5\tfünf\n6\tsechs\n");

  struct Case {
    const char* what;
    bool indexRow;
    bool upgraded;
    std::function<void(SysRowsetsRow&)> damage;
  };
  const std::vector<Case> cases = {
      {"upgraded id, no damage", false, true, [](SysRowsetsRow&) {}},
      {"index id, index row", true, false, [](SysRowsetsRow& r) { r.indexId ^= 0x00FF0000; }},
      {"object id, index row", true, false, [](SysRowsetsRow& r) { r.objectId ^= 0x0000FF00; }},
      {"rowset id, index row", true, false, [](SysRowsetsRow& r) { r.rowsetId ^= int64_t{0xFF} << 8; }},
      {"index id, upgraded id", false, true, [](SysRowsetsRow& r) { r.indexId ^= 0x0000FF00; }},
      {"object id, upgraded id", false, true, [](SysRowsetsRow& r) { r.objectId ^= 0x00FF0000; }},
      {"index id alone", false, false, [](SysRowsetsRow& r) { r.indexId ^= static_cast<int32_t>(0xFF000000u); }},
  };
  for (const Case& c : cases) {
    TableSpec table = intactTable;
    table.indexRow = c.indexRow;
    table.upgradedRowsetId = c.upgraded;
    table.rowsetDamage = c.damage;
    env.AddFile("/db/damaged.mdf", ImageWithTables({table}).Build());
    auto rows = RunInProcess({"rows", "/db/damaged.mdf", "dbo.Kept", "--quiet"}, &env);
    EXPECT_EQ(rows.exitCode, 0) << c.what << ": " << rows.err;
    EXPECT_EQ(rows.out, intact.out) << c.what;
  }
}

// Rows that damage gave to no object (their object or rowset id one byte
// off) are the table's again, and two variable columns whose indexes both
// took damage get the free indexes in column order.
TEST(DamagedDatabase, RowsOfNoObjectAndTwoDamagedIndexesAreMended) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {
      SqlColumn("Id", "int(4)", kTypeInt), SqlColumn("Name", "nvarchar(40)", kTypeNVarChar),
      SqlColumn("Qty", "int(4)", kTypeInt), SqlColumn("Note", "varchar(10)", kTypeVarChar)};
  LayOutColumns(columns);
  TableSpec table;
  table.objectId = 550;
  table.name = "Adopted";
  table.columns = columns;
  table.rows = {
      CompressedRow{
          {Value(SqlIntBytes(1, 4)), Value(Utf16("eins")), Value(SqlIntBytes(10, 4)), Value(Bytes{'a', 'b'})}},
      CompressedRow{{Value(SqlIntBytes(2, 4)), Value(Utf16("zwei")), Value(SqlIntBytes(20, 4)), Value(Bytes{'c'})}}};
  MemoryEnv env;
  env.AddFile("/db/intact.mdf", ImageWithTables({table}).Build());
  auto intact = RunInProcess({"rows", "/db/intact.mdf", "dbo.Adopted", "--quiet"}, &env);
  ASSERT_EQ(intact.out, "Id\tName\tQty\tNote\n1\teins\t10\tab\n2\tzwei\t20\tc\n");

  table.catalogColumnDamage = {{3, [](SysColParsRow& r) { r.objectId ^= 0x00010000; }}};
  table.physicalColumnDamage = {
      {1, [](SysRsColsRow& r) { r.rowsetId ^= int64_t{0x20} << 8; }},
      {2, [](SysRsColsRow& r) { r.offset = static_cast<uint16_t>(r.offset ^ 0x00FF); }},
      {4, [](SysRsColsRow& r) { r.offset = static_cast<uint16_t>(r.offset ^ 0x00FF); }},
  };
  env.AddFile("/db/damaged.mdf", ImageWithTables({table}).Build());
  auto rows = RunInProcess({"rows", "/db/damaged.mdf", "dbo.Adopted", "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 0) << rows.err;
  EXPECT_EQ(rows.out, intact.out);
}

// A unit and rowset whose table's object and column rows are all lost
// (cut off with the end of the file): its pages are a lost table, not a
// table nobody lists.
TEST(DamagedDatabase, PagesOfATableWhoseObjectAndColumnRowsAreLostAreALostTable) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {SqlColumn("Id", "int(4)", kTypeInt),
                                           SqlColumn("Name", "nvarchar(40)", kTypeNVarChar)};
  LayOutColumns(columns);
  TableSpec table;
  table.objectId = 540;
  table.name = "Gone";
  table.columns = columns;
  table.rows = {CompressedRow{{Value(SqlIntBytes(7, 4)), Value(Utf16("sieben"))}}};
  table.objectRow = false;
  table.columnRows = false;
  MemoryEnv env;
  env.AddFile("/db/gone.mdf", ImageWithTables({table}).Build());
  const std::string name = "Lost table " + std::to_string((int64_t{256} << 48) | (int64_t{300} << 16));
  auto rows = RunInProcess({"rows", "/db/gone.mdf", name, "--quiet"}, &env);
  EXPECT_EQ(rows.exitCode, 3) << rows.err;
  EXPECT_EQ(rows.out, "c1\tc2\n7\tsieben\n");
}

// Page header fields one damaged byte makes impossible: a slot count the
// free-space fields contradict, a link to a page that cannot be, a
// negative free count, slot entries that point where no record stands. The
// records of the page are still read, on a catalog page and on a data page.
TEST(DamagedDatabase, ImpossibleSlotCountsAndLinksCostNoRecords) {
  auto db = testing::OpenDatabaseFile(kSample);
  ASSERT_TRUE(db);
  const int32_t orders = db->catalog()->FindObject("Orders", "U ").objectId;
  std::vector<int32_t> catalogPages;
  for (const PageMapEntry& entry : db->file().systemPageMap[3]) {
    auto header = db->file().ReadPageHeader(entry.ToPageRef());
    if (header && header->pageType == kPageTypeData && header->slotCount > 0) catalogPages.push_back(entry.pageIndex);
  }
  std::vector<int32_t> dataPages;
  for (const PageMapEntry& entry : db->file().dataPageMap[static_cast<uint32_t>(orders)])
    if (entry.pageType == kPageTypeData) dataPages.push_back(entry.pageIndex);
  ASSERT_FALSE(catalogPages.empty());
  ASSERT_GE(dataPages.size(), 5u);
  Bytes bytes = testing::ReadFileBytes(kSample);
  const auto at = [&](int32_t page, size_t offset) -> uint8_t& {
    return bytes[static_cast<size_t>(page) * kPageSize + offset];
  };
  for (int32_t page : catalogPages) {
    at(page, 23) ^= 0xFF;  // slot count, high byte
    at(page, 21) ^= 0xFF;  // next page's file id, high byte
  }
  at(dataPages[1], 23) ^= 0xFF;
  at(dataPages[1], 13) ^= 0xFF;  // previous page's file id
  at(dataPages[2], 29) ^= 0xFF;  // free count, high byte
  // Slot entries one damaged byte moved, the high byte of one, the low
  // byte of another.
  at(dataPages[3], kPageSize - 2 - 2 * 5 + 1) ^= 0xFF;
  at(dataPages[4], kPageSize - 2 - 2 * 7) ^= 0xFF;
  MemoryEnv env;
  env.AddFile("/db/slots.mdf", bytes);
  for (const char* mode : {"standard", "advanced"}) {
    auto rows = RunInProcess({"rows", "/db/slots.mdf", "Orders", "--quiet", "--mode", mode}, &env);
    EXPECT_EQ(rows.out, RunInProcess({"rows", kSample, "Orders", "--quiet", "--mode", mode}).out) << mode;
  }
}

}  // namespace
}  // namespace ravelin
