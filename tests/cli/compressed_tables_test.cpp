// End-to-end: tables stored with ROW and PAGE compression list, show and
// dump like the same rows stored uncompressed, and damage to their
// compressed forms costs values, never the program.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalog/system_catalog.h"
#include "rows/table_rows.h"
#include "storage/compressed_page.h"
#include "storage/compressed_record.h"
#include "storage/database_file.h"
#include "storage/page.h"
#include "storage/record.h"
#include "support/compressed_table_image.h"
#include "support/run_command.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using namespace testing;

constexpr size_t kRows = 40;
constexpr size_t kNotes = 27;  // the text column, a pointer to a page the image lacks
constexpr uint32_t kPlainFirst = 40;
constexpr uint32_t kRowFirst = 50;
constexpr uint32_t kPageFirst = 60;
const char* const kTables[] = {"dbo.Plain", "dbo.RowPacked", "dbo.PagePacked"};

// Rows of every kind the compressed forms treat apart; every seventh one
// deleted but not yet cleaned up. Without `pointers` the text column is
// NULL, so that an undamaged listing has no unreadable value.
std::vector<CompressedRow> TableRows(bool pointers) {
  std::vector<CompressedRow> rows;
  for (RowValues& values : AssortedRows(kRows - 3)) {
    if (!pointers) values[kNotes] = Null();
    rows.push_back({values});
  }
  for (size_t i = 4; i < rows.size(); i += 7) rows[i].type = CdRecordType::kGhostData;
  return rows;
}

DatabaseImage Image(bool pointers = true) {
  const std::vector<CompressedRow> rows = TableRows(pointers);
  return ImageWithTables({
      TableSpec{201, "Plain", AssortedColumns(), rows, std::nullopt, kPlainFirst, 10},
      TableSpec{202, "RowPacked", AssortedColumns(), rows, Compression::kRow, kRowFirst, 10},
      TableSpec{203, "PagePacked", AssortedColumns(), rows, Compression::kPage, kPageFirst, 10},
  });
}

// The page offset of the record in `slot` of page `pageNo` in `image`.
size_t SlotOffset(const Bytes& image, uint32_t pageNo, int slot) {
  return LoadLE<uint16_t>(ByteSpan(image), pageNo * 8192u + 8190 - 2 * static_cast<size_t>(slot));
}

// `packed` with the table name `table` put back to the uncompressed
// copy's, and where it first differs from `plain` (empty when it does not).
// JSON's warnings name the pages, which differ; they are compared apart.
std::string Difference(std::string plain, std::string packed, const std::string& table) {
  for (size_t at; (at = packed.find(table)) != std::string::npos;) packed.replace(at, table.size(), kTables[0]);
  for (std::string* text : {&plain, &packed}) text->resize(std::min(text->size(), text->find("\n],\"warnings\"")));
  if (packed == plain) return "";
  const auto [a, b] = std::mismatch(plain.begin(), plain.end(), packed.begin(), packed.end());
  const size_t at = static_cast<size_t>(a - plain.begin());
  const size_t from = at < 80 ? 0 : at - 80;
  return "at " + std::to_string(at) + ":\n  plain:  " + plain.substr(from, 160) +
         "\n  packed: " + packed.substr(from, 160);
}

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(CompressedTableRows, ListExactlyAsTheUncompressedCopy) {
  TempDir dir;
  const std::string path = dir.Write("packed.mdf", Image().Build());
  const size_t ghosts = (kRows - 4 + 6) / 7;
  for (const char* mode : {"standard", "advanced"}) {
    for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{
             {}, {"--deleted"}, {"--format", "json"}, {"--format", "csv", "--deleted-advanced"}}) {
      std::vector<std::string> args = {"rows", path, "", "--mode", mode, "--quiet"};
      args.insert(args.end(), extra.begin(), extra.end());
      args[2] = kTables[0];
      const CommandResult plain = RunInProcess(args);
      SCOPED_TRACE(std::string(mode) + " " + (extra.empty() ? "" : extra.back()));
      // The text column points at a page the image does not hold.
      ASSERT_EQ(plain.exitCode, 3) << plain.err;
      const bool deleted = !extra.empty() && extra.back().find("deleted") != std::string::npos;
      if (extra.empty() || deleted) {
        EXPECT_EQ(Lines(plain.out), 1 + kRows - (deleted ? 0 : ghosts));
      }
      for (const char* table : {kTables[1], kTables[2]}) {
        args[2] = table;
        const CommandResult packed = RunInProcess(args);
        EXPECT_EQ(packed.exitCode, plain.exitCode) << table << packed.err;
        EXPECT_EQ(Difference(plain.out, packed.out, table), "") << table;
        // The same warnings, about the compressed table.
        EXPECT_EQ(Lines(packed.err), Lines(plain.err)) << table << packed.err;
      }
    }
  }
}

TEST(CompressedTableRows, RecordsTheSlotArrayNoLongerListsAreHuntedAsInPlainPages) {
  Bytes image = Image().Build();
  // The first page of each table loses its last two slots: their records
  // stand on the page, listed by no slot.
  for (uint32_t first : {kPlainFirst, kRowFirst, kPageFirst}) {
    const size_t at = first * 8192u + 22;
    StoreLE16(&image[at], static_cast<uint16_t>(LoadLE<uint16_t>(ByteSpan(image), at) - 2));
  }
  // The uncompressed page's header gives its records' fixed length, as
  // SQL Server's do: that is how the walk knows them.
  const size_t plainRecord = kPlainFirst * 8192u + SlotOffset(image, kPlainFirst, 0);
  StoreLE16(&image[kPlainFirst * 8192u + 14], LoadLE<uint16_t>(ByteSpan(image), plainRecord + 2));
  TempDir dir;
  const std::string path = dir.Write("hunted.mdf", image);
  const CommandResult plain = RunInProcess({"rows", path, kTables[0], "--deleted-advanced", "--quiet"});
  ASSERT_EQ(Lines(plain.out), 1 + kRows) << plain.err;
  EXPECT_EQ(std::count(plain.out.begin(), plain.out.end(), '\n') -
                static_cast<std::ptrdiff_t>(Lines(RunInProcess({"rows", path, kTables[0], "--quiet"}).out)),
            static_cast<std::ptrdiff_t>(2 + (kRows - 4 + 6) / 7));
  EXPECT_NE(plain.out.find("\nhunted\t"), std::string::npos);
  for (const char* table : {kTables[1], kTables[2]}) {
    const CommandResult packed = RunInProcess({"rows", path, table, "--deleted-advanced", "--quiet"});
    EXPECT_EQ(Difference(plain.out, packed.out, table), "") << table;
  }
}

// Moves the record in `slot` of page `from` to a new slot of page `to`,
// leaving a forwarding stub in its place, as an update that outgrows its
// page does to a heap row.
void Forward(Bytes& image, uint32_t from, int slot, uint32_t to, bool compressed) {
  const size_t at = from * 8192u + SlotOffset(image, from, slot);
  const ByteSpan rest = ByteSpan(image).subspan(at, (from + 1) * 8192u - 2 * 10 - at);
  const size_t length =
      compressed ? ParseCdRecord(rest).length : static_cast<size_t>(std::max(MeasureRecordLength(rest, true), 0));
  ASSERT_GE(length, 9u);
  Bytes record(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(length));
  record[0] = compressed ? static_cast<uint8_t>((record[0] & ~0x1C) | (4 << 2))   // forwarded
                         : static_cast<uint8_t>((record[0] & ~0x0E) | (1 << 1));  // forwarded
  const size_t page = to * 8192u;
  const uint16_t freeData = LoadLE<uint16_t>(ByteSpan(image), page + 30);
  const uint16_t slots = LoadLE<uint16_t>(ByteSpan(image), page + 22);
  std::copy(record.begin(), record.end(), image.begin() + static_cast<std::ptrdiff_t>(page + freeData));
  StoreLE16(&image[page + 30], static_cast<uint16_t>(freeData + length));
  StoreLE16(&image[page + 22], static_cast<uint16_t>(slots + 1));
  StoreLE16(&image[page + 8190 - 2 * slots], freeData);
  image[at] = compressed ? 0x09 : 0x04;  // forwarding stub
  StoreLE16(&image[at + 1], static_cast<uint16_t>(to));
  StoreLE16(&image[at + 3], 0);
  StoreLE16(&image[at + 5], 1);
  StoreLE16(&image[at + 7], slots);
}

TEST(CompressedTableRows, ForwardedRowsOfACompressedHeapAreListedOnce) {
  Bytes image = Image().Build();
  for (const auto& [first, compressed] : {std::pair{kPlainFirst, false}, std::pair{kRowFirst, true}}) {
    Forward(image, first, 1, first + 3, compressed);
    Forward(image, first + 2, 6, first, compressed);
  }
  TempDir dir;
  const std::string path = dir.Write("forwarded.mdf", image);
  for (const char* mode : {"standard", "advanced"}) {
    SCOPED_TRACE(mode);
    const CommandResult plain = RunInProcess({"rows", path, kTables[0], "--mode", mode, "--quiet"});
    EXPECT_EQ(Lines(plain.out), 1 + kRows - (kRows - 4 + 6) / 7);
    const CommandResult packed = RunInProcess({"rows", path, kTables[1], "--mode", mode, "--quiet"});
    EXPECT_EQ(packed.exitCode, plain.exitCode);
    EXPECT_EQ(Difference(plain.out, packed.out, kTables[1]), "");
  }
  const CommandResult stub = RunInProcess({"page", path, std::to_string(kRowFirst), "--quiet"});
  EXPECT_NE(stub.out.find("CD record: header 0x09 (forwarding stub)  -> 1:53 slot 10"), std::string::npos)
      << stub.out.substr(0, 2500);
}

// A record written before a NOT NULL column was added holds fewer columns
// than the table has: the missing one reads NULL, and the record still
// fits the table, as an uncompressed record that ends early does.
TEST(CompressedTableRows, RecordsWrittenBeforeAColumnWasAddedStillFit) {
  TestDatabase database(Image(false));
  ASSERT_TRUE(database.OpenDatabase());
  SystemCatalog& catalog = database.catalog();
  const RowColumnSet columns = catalog.PrepareObject("dbo.RowPacked", "U ", {});
  RecordShape shape = catalog.DescribeRecordShape(columns);
  ASSERT_TRUE(shape.known);
  shape.notNullColumns.push_back({40, 39});  // Tail
  const PageRef where{1, static_cast<int32_t>(kRowFirst)};
  auto read = [&](Bytes bytes) {
    const PrimaryRecordPage page(std::move(bytes), &database.db());
    TableRowReader reader(database.opened(), columns, ChooseColumnReader(catalog));
    reader.SetRecordShape(shape, nullptr, "dbo.RowPacked");
    return reader.ReadRecordRows(page, where);
  };
  const Bytes clean = database.PageBytes(kRowFirst);
  const std::vector<TableRow> before = read(clean);
  // The second row's Tail is 0, stored as nothing: the record without its
  // last column is the same but for its column count.
  Bytes bytes = clean;
  const size_t at = SlotOffset(bytes, 0, 1);
  ASSERT_EQ(bytes[at + 1], 40);
  bytes[at + 1] = 39;
  const std::vector<TableRow> after = read(bytes);
  ASSERT_EQ(after.size(), before.size());
  ASSERT_EQ(before[1].values[39], "0");
  EXPECT_EQ(after[1].values[39], "NULL");
  EXPECT_EQ(std::vector<std::string>(after[1].values.begin(), after[1].values.begin() + 39),
            std::vector<std::string>(before[1].values.begin(), before[1].values.begin() + 39));
}

TEST(CompressedTableRows, ShowPagesAndSchemaSayTheCompression) {
  TempDir dir;
  TempDir logs;
  const std::string path = dir.Write("packed.mdf", Image().Build());
  const CommandResult plain = RunInProcess({"show", path, kTables[0], "--log-dir", logs.path(), "--quiet"});
  // One page of the pager holds every live row.
  ASSERT_EQ(Lines(plain.out), 4 + kRows - (kRows - 4 + 6) / 7) << plain.err;
  for (const char* table : {kTables[1], kTables[2]}) {
    const CommandResult packed = RunInProcess({"show", path, table, "--log-dir", logs.path(), "--quiet"});
    EXPECT_EQ(Difference(plain.out, packed.out, table), "") << table;
  }

  const CommandResult schema = RunInProcess({"schema", path, "--quiet"});
  EXPECT_NE(schema.out.find("dbo.RowPacked  (4 data pages)  ROW compressed\n"), std::string::npos) << schema.out;
  EXPECT_NE(schema.out.find("dbo.PagePacked  (4 data pages)  PAGE compressed\n"), std::string::npos);
  EXPECT_NE(schema.out.find("dbo.Plain  (4 data pages)\n"), std::string::npos);
  const CommandResult json = RunInProcess({"schema", path, "--json", "--quiet"});
  EXPECT_NE(json.out.find("\"name\":\"dbo.PagePacked\",\"typeCode\":\"U \",\"objectId\":203,\"hasData\":true,"
                          "\"pageCount\":4,\"compression\":\"PAGE\""),
            std::string::npos)
      << json.out.substr(0, 600);
}

TEST(CompressedTablePages, PageDumpShowsTheCompressionInformationAndEachRecordsCodes) {
  TempDir dir;
  const std::string path = dir.Write("packed.mdf", Image().Build());
  const CommandResult text = RunInProcess({"page", path, std::to_string(kPageFirst), "--quiet"});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  for (const char* expected : {"Compression information: flags 0x06 (anchor dictionary)", "  anchor record at 103: 40",
                               "    column 1 ", "  dictionary: ", "    symbol 0 ", "Slot 0  offset ",
                               "  status 0x21  compressed\n    CD record: header 0x21 (primary, long data)  40 columns",
                               "      column 5 BIT_COLUMN\n", "      column 8 NULL\n"})
    EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out.substr(0, 3000);
  // A ghost record says so.
  EXPECT_NE(text.out.find("(ghost data"), std::string::npos);

  const CommandResult json = RunInProcess({"page", path, std::to_string(kPageFirst), "--json", "--quiet"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  for (const char* expected : {"\"compression\":{\"flags\":6,\"anchor\":true,\"dictionary\":true,",
                               "\"anchorValues\":[{\"column\":1,", "\"dictionaryEntries\":[\"",
                               "\"compressed\":{\"header\":33,\"type\":\"primary\",\"readable\":true,\"damaged\":false,"
                               "\"columnCount\":40,",
                               "{\"column\":5,\"code\":11,\"codeName\":\"BIT_COLUMN\",\"value\":\"01\"}"})
    EXPECT_NE(json.out.find(expected), std::string::npos) << expected << "\n" << json.out.substr(0, 3000);

  // A ROW-compressed page has no compression information, only CD records.
  const CommandResult row = RunInProcess({"page", path, std::to_string(kRowFirst), "--quiet"});
  EXPECT_EQ(row.out.find("Compression information"), std::string::npos);
  EXPECT_NE(row.out.find("CD record: header 0x21 (primary"), std::string::npos) << row.out.substr(0, 2000);
}

TEST(CompressedTableDamage, DamagedCompressionPartsGiveUnreadableValuesAndWarnings) {
  const Bytes clean = Image(false).Build();
  TempDir dir;
  const std::string cleanPath = dir.Write("clean.mdf", clean);
  const CommandResult baseline = RunInProcess({"rows", cleanPath, kTables[2], "--quiet"});
  ASSERT_EQ(baseline.exitCode, 0) << baseline.err;
  ASSERT_EQ(baseline.out.find("\\?"), std::string::npos);

  const size_t page = kPageFirst * 8192u;
  const size_t slot0 = page + SlotOffset(clean, kPageFirst, 0);
  const CdRecord first = ParseCdRecord(ByteSpan(clean).subspan(slot0, 1000));
  ASSERT_TRUE(first.readable);
  struct Damage {
    const char* what;
    size_t at;
    uint8_t value;
    // The records of the page that keep the row count: a record that can
    // no longer be read at all does not fit the table and is left out.
    size_t rowsLost;
  };
  const Damage damages[] = {
      {"flags the compression information does not know", page + 96, 0x0F, 0},
      {"compression information larger than the page's records", page + 102, 0x7F, 0},
      {"a reserved code in the CD array", slot0 + first.cdArrayOffset, 0xDD, 0},
      {"a column count beyond the record's space", slot0 + 1, 0xFF, 1},
      {"a long-data end offset beyond the record", slot0 + first.longDataOffset + 3, 0xFF, 0},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    Bytes bytes = clean;
    bytes[damage.at] = damage.value;
    const std::string path = dir.Write("damaged.mdf", bytes);
    const CommandResult r = RunInProcess({"rows", path, kTables[2], "--quiet"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_EQ(Lines(r.out), Lines(baseline.out) - damage.rowsLost);
    if (damage.rowsLost == 0) {
      EXPECT_NE(r.out.find("\\?"), std::string::npos) << r.out.substr(0, 1500);
      EXPECT_NE(r.err.find("dbo.PagePacked"), std::string::npos) << r.err;
    } else {
      EXPECT_NE(r.err.find("1 record does not fit the table and was left out"), std::string::npos) << r.err;
    }
    // The other compressed table is untouched.
    EXPECT_EQ(RunInProcess({"rows", path, kTables[1], "--quiet"}).out,
              RunInProcess({"rows", cleanPath, kTables[1], "--quiet"}).out);
  }
}

// Every byte of a page-compressed page's compression information and first
// records, set to values that break lengths and codes, read through the
// table reader: no read outside the page (the sanitizer builds check),
// every row with one value per column, and some values marked unreadable
// rather than made up.
TEST(CompressedTableDamage, EveryDamagedByteOfAPageCompressedPageReadsSafely) {
  TestDatabase database(Image(false));
  ASSERT_TRUE(database.OpenDatabase());
  SystemCatalog& catalog = database.catalog();
  const RowColumnSet columns = catalog.PrepareObject("dbo.PagePacked", "U ", {});
  ASSERT_EQ(columns.size(), 40u);
  const PageRef where{1, static_cast<int32_t>(kPageFirst)};
  const Bytes clean = database.PageBytes(kPageFirst);
  const size_t end = std::min<size_t>(SlotOffset(clean, 0, 3), 8192);
  size_t unreadableRows = 0;
  for (size_t at = 96; at < end; ++at) {
    for (const uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, static_cast<uint8_t>(clean[at] ^ 0x81)}) {
      Bytes bytes = clean;
      bytes[at] = value;
      PrimaryRecordPage page(std::move(bytes), &database.db());
      TableRowReader reader(database.opened(), columns, ChooseColumnReader(catalog));
      reader.SetDataValues(true);
      for (const TableRow& row : reader.ReadRecordRows(page, where)) {
        ASSERT_EQ(row.values.size(), columns.size()) << at;
        ASSERT_EQ(row.data.size(), columns.size()) << at;
        unreadableRows +=
            std::any_of(row.data.begin(), row.data.end(), [](const DataValue& v) { return v.IsUnreadable(); });
      }
    }
  }
  EXPECT_GT(unreadableRows, 0u);
}

}  // namespace
}  // namespace ravelin
