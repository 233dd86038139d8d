// Writes the seeds of every fuzz target, one folder per target under
// OUT_DIR: records, pages, large values, allocation maps, boot pages,
// snapshots and whole small databases built by the test helpers, and the
// same cut from each data file named (its records, catalog pages, text and
// IAM pages, boot page, page maps, and a small image of its catalog and a
// few of its tables' pages).
//
// Usage: fuzz_seeds OUT_DIR [FILE.mdf ...]

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "catalog/data_page.h"
#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "fuzz_support.h"
#include "recovery/snapshot_file.h"
#include "rows/value_render.h"
#include "storage/lob.h"
#include "storage/page.h"
#include "storage/page_header.h"
#include "storage/text_page.h"
#include "support/binary_xml_encoder.h"
#include "support/catalog_image.h"
#include "support/catalog_rows.h"
#include "support/compressed_table_image.h"
#include "support/compressor.h"
#include "support/synthetic.h"

namespace {

using namespace ravelin;
using namespace ravelin::fuzz;
using namespace ravelin::testing;

// --- Output ------------------------------------------------------------------

class SeedWriter {
 public:
  explicit SeedWriter(std::filesystem::path root) : root_(std::move(root)) {}

  void Add(const std::string& target, const std::string& name, const Bytes& bytes) {
    const std::filesystem::path folder = root_ / target;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ++count_;
  }
  // An option byte, then `bytes`.
  void Add(const std::string& target, const std::string& name, uint8_t options, const Bytes& bytes) {
    Add(target, name, Concat({Bytes{options}, bytes}));
  }

  const std::filesystem::path& root() const { return root_; }
  int count() const { return count_; }

 private:
  std::filesystem::path root_;
  int count_ = 0;
};

PageRef Ref(int32_t pageNo) { return PageRef{1, pageNo}; }

// --- Records ------------------------------------------------------------------

// The bytes a record of RecordColumns(true) holds for a fixed column:
// ordinary values (variant 0), zeros (1) or all bits set (2).
Bytes FixedValue(const ColumnDescriptor& d, uint16_t length, int variant) {
  if (variant == 1) return Bytes(length, 0);
  if (variant == 2) {
    Bytes ones(length, 0xFF);
    if ((d.typeCode == kTypeDecimal || d.typeCode == kTypeNumeric) && length > 0) ones[0] = 1;
    return ones;
  }
  switch (d.typeCode) {
    case kTypeInt:
      return SqlIntBytes(42, 4);
    case kTypeBigInt:
      return SqlIntBytes(-7000000000LL, 8);
    case kTypeSmallInt:
      return SqlIntBytes(-300, 2);
    case kTypeTinyInt:
      return SqlIntBytes(200, 1);
    case kTypeDateTime:
      return SqlDateTimeBytes(2020, 2, 29, 10, 11, 12, 130);
    case kTypeSmallDateTime:
      return SqlSmallDateTimeBytes(1999, 12, 31, 23, 59);
    case kTypeDate:
      return SqlDateBytes(1066, 10, 14);
    case kTypeTime:
      return SqlTimeBytes(23, 59, 59, 9999999, 7);
    case kTypeDateTime2:
      return SqlDateTime2Bytes(9999, 12, 31, 1, 2, 3, 1234567, 7);
    case kTypeDateTimeOffset:
      return SqlDateTimeOffsetBytes(2021, 6, 7, 8, 9, 10, 5, 7, -330);
    case kTypeMoney:
      return SqlIntBytes(-123456789, 8);
    case kTypeSmallMoney:
      return SqlIntBytes(50000, 4);
    case kTypeDecimal:
      return SqlDecimalBytes("-12345.67", 18, 2);
    case kTypeNumeric:
      return SqlDecimalBytes("1234567890.0123456789", 38, 10);
    case kTypeFloat:
      return SqlFloatBytes(-1234.5678e-12);
    case kTypeReal:
      return SqlRealBytes(3.25f);
    case kTypeUniqueIdentifier:
      return Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    case kTypeChar:
      return Concat({Bytes{0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2}, Bytes(length - 6, ' ')});  // "Привет" in 1251
    case kTypeNChar:
      return SqlNCharBytes("Öl", length);
    case kTypeBinary:
      return SqlBinaryBytes({0xDE, 0xAD, 0xBE, 0xEF}, length);
    case kTypeTimestamp:
      return SqlIntBytes(0x1122334455667788LL, 8);
    default:
      return Bytes(length, 0x5A);
  }
}

// A sparse column vector holding `values` (column id, bytes).
Bytes SparseVector(const std::vector<std::pair<uint16_t, Bytes>>& values) {
  const auto n = static_cast<uint16_t>(values.size());
  Bytes ids;
  Bytes ends;
  Bytes data;
  uint16_t end = static_cast<uint16_t>(4 + 4 * n);
  for (const auto& [id, bytes] : values) {
    ids = Concat({ids, LE16(id)});
    end = static_cast<uint16_t>(end + bytes.size());
    ends = Concat({ends, LE16(end)});
    data = Concat({data, bytes});
  }
  return Concat({LE16(5), LE16(n), ids, ends, data});
}

// A row of RecordColumns(true) as a record of `recordType`. Variant 0
// holds ordinary values with large values out of row, 1 NULL in every
// column but the first, 2 extreme values with large values that lead
// through deeper structures and loops, 3 fewer columns than the table
// has (a row written before columns were added).
Bytes SampleRecord(int variant, int recordType) {
  const std::vector<ColumnDescriptor> columns = RecordColumns(true);
  Bytes fixed;
  int bitsInByte = 8;
  for (const ColumnDescriptor& d : columns) {
    if (d.statusBit24) continue;
    BitCursor cursor;
    const ValueLayout shape = DescribeValue(d, cursor);
    if (shape.variable) continue;
    if (d.typeCode == kTypeBit) {
      if (bitsInByte == 8) {
        fixed.push_back(0);
        bitsInByte = 0;
      }
      if (variant != 1 && (d.columnId % 3 != 0 || variant == 2)) fixed.back() |= static_cast<uint8_t>(1 << bitsInByte);
      ++bitsInByte;
      continue;
    }
    const Bytes value = FixedValue(d, shape.fixedLength, variant == 3 ? 0 : variant);
    fixed.insert(fixed.end(), value.begin(), value.end());
  }

  RecordBuilder record;
  record.Type(recordType).Fixed(fixed);
  const auto varCount = static_cast<int>(
      std::count_if(columns.begin(), columns.end(), [](const ColumnDescriptor& d) { return d.leafOffset < 0; }));
  if (variant == 3) return record.ColumnCount(10).Build();
  record.ColumnCount(static_cast<int16_t>(columns.size() - 1));
  if (variant == 1) {
    for (const ColumnDescriptor& d : columns)
      if (d.columnId > 1 && !d.statusBit24) record.NullColumn(d.nullBit - 1);
    for (int k = 0; k < varCount; ++k) record.Var({});
    return record.Build();
  }
  const Bytes xml = EncodeBinaryXml(Element({"row"}, {Attr({"id"}, "7")}, {Element({"v"}, {Text("x < y")})}));
  if (variant == 0) {
    record.Var(Ascii("hello"))
        .Var(Utf16("w\xC3\xB6rld \xE2\x9C\x93"))
        .Var(Bytes{1, 2, 3})
        .Var(TextPointer(Ref(kTextPage), 0), true)
        .Var(TextPointer(Ref(kTextPage), 5), true)
        .Var(TextPointer(Ref(kTextPage), 2), true)
        .Var(Utf16("inline max"))
        .Var(InRowRoot({{Ref(kTextPage), 1, 13}, {Ref(kTextPage), 3, 26}}, 2), true)
        .Var(Concat({Bytes{56, 1}, LE32(7)}))
        .Var(xml)
        .Var(Bytes{0x58})
        .Var(SparseVector({{42, LE32(9)}, {43, Utf16("sp")}}), true);
  } else {
    record.Var(Ascii(std::string(50, 'v')))
        .Var(Utf16(std::string(50, 'n')))
        .Var(Bytes(100, 0xEE))
        .Var(TextPointer(Ref(kTextPage), 6), true)
        .Var(TextPointer(Ref(kSecondTextPage), 1), true)
        .Var(TextPointer(Ref(kTextPage), 4), true)
        .Var(InRowRoot({{Ref(kTextPage), 2, 26}, {Ref(kSecondTextPage), 1, 60}, {Ref(kTextPage), 9, 70}}, 4), true)
        .Var(InRowRoot({{Ref(kTextPage), 4, 26}}, 4), true)
        .Var(Concat({Bytes{167, 1}, LE16(8000), LE32(53269), Bytes{0}, Ascii("variant text")}))
        .Var(InRowRoot({{Ref(kTextPage), 1, 13}}, 2), true)
        .Var(Bytes{0x5A, 0xC0})
        .Var(SparseVector({{43, Utf16("only the second")}}), true);
  }
  return record.Build();
}

void WriteRecordSeeds(SeedWriter& out) {
  const uint8_t options[] = {0, 1, 2, 4, 8, 3};
  int n = 0;
  for (int variant = 0; variant < 4; ++variant)
    for (uint8_t o : options)
      out.Add("record", "sample-" + std::to_string(n++), o, SampleRecord(variant, kRecordPrimary));
  out.Add("record", "ghost", 1, SampleRecord(0, kRecordGhostData));
  out.Add("record", "forwarded", 0, SampleRecord(2, kRecordForwarded));
  for (int16_t slot = 0; slot <= kForwardedSlots; ++slot)
    out.Add("record", "stub-" + std::to_string(slot), 0, RecordBuilder::ForwardingStub(Ref(kForwardedPage), slot));
  out.Add("record", "stub-to-text", 0, RecordBuilder::ForwardingStub(Ref(kTextPage), 1));
}

// --- Pages of synthetic databases --------------------------------------------

// A database of the 2000 catalog layout: a clustered table over two
// chained pages, a heap found through its IAM page, the file table, a view
// and its definition text.
DatabaseImage LegacyImage() {
  constexpr int32_t kOrders = 1977058079;
  constexpr int32_t kHeap = 2009058193;
  constexpr int32_t kView = 2041058307;
  DatabaseImage image(48);
  image.Page(9).PageType(13).Put(100, LE16(539)).Put(148, Utf16("Legacy")).Put(488, LE32(53269));
  SystemTablePage(image, 12, 8, {SysFiles1Row{.logicalName = "legacy", .physicalName = "/fuzz/db.mdf"}.Build()});
  SystemTablePage(
      image, 16, 1,
      {SysObjectsRow{.id = kOrders, .name = "Orders"}.Build(), SysObjectsRow{.id = kHeap, .name = "Heap"}.Build(),
       SysObjectsRow{.id = kView, .name = "Totals", .type = "V "}.Build(),
       SysObjectsRow{.id = 2073058421, .name = "PK_Orders", .type = "PK", .parentId = kOrders}.Build()});
  SystemTablePage(image, 17, 2,
                  {SysIndexesRow{.objectId = kOrders, .firstPage = {1, 24}, .name = "PK_Orders"}.Build(),
                   SysIndexesRow{.objectId = kHeap, .indexId = 0, .firstIamPage = {1, 30}}.Build()});
  SystemTablePage(
      image, 18, 3,
      {SysColumnsRow{.objectId = kOrders, .name = "OrderID", .typeStatus = 1}.Build(),
       SysColumnsRow{.objectId = kOrders,
                     .name = "ShipName",
                     .systemTypeId = 231,
                     .typeStatus = 2,
                     .userTypeId = 231,
                     .length = 80,
                     .columnId = 2,
                     .offset = -1}
           .Build(),
       SysColumnsRow{
           .objectId = kHeap, .name = "Note", .systemTypeId = 167, .userTypeId = 167, .length = 20, .offset = -1}
           .Build(),
       SysColumnsRow{.objectId = kHeap,
                     .name = "Flag",
                     .systemTypeId = 104,
                     .userTypeId = 104,
                     .length = 1,
                     .columnId = 2,
                     .fixedOffset = 4,
                     .offset = 4}
           .Build()});
  const Bytes definition = Ascii("CREATE VIEW Totals AS SELECT OrderID FROM Orders");
  SystemTablePage(
      image, 19, 6,
      {RecordBuilder().Fixed(Concat({LE32(kView), LE16(1), LE16(1), LE16(0), LE16(0)})).Var(definition).Build()});
  for (int32_t p = 24; p <= 25; ++p) {
    PageBuilder& page = image.Page(static_cast<uint32_t>(p)).ObjectId(kOrders);
    if (p == 24) page.Next(Ref(25));
    if (p == 25) page.Prev(Ref(24));
    for (int r = 0; r < 3; ++r)
      page.AddRecord(RecordBuilder()
                         .Fixed(LE32(static_cast<uint32_t>(10248 + 3 * (p - 24) + r)))
                         .Var(Utf16("Ship " + std::to_string(r)))
                         .Build());
    page.AddRecord(RecordBuilder().Type(kRecordGhostData).Fixed(LE32(9999)).Var(Utf16("gone")).Build());
  }
  PageBuilder& iam = image.Page(30).ObjectId(kHeap);
  MakeIamPage(iam, Ref(0), {Ref(31)}, {});
  PageBuilder& heap = image.Page(31).ObjectId(kHeap);
  heap.AddRecord(RecordBuilder().Fixed(Bytes{1}).Var(Ascii("a heap row")).Build());
  heap.AddRecord(RecordBuilder::ForwardingStub(Ref(24), 1));
  return image;
}

// A table whose rows hold large values out of row, by text pointer and by
// in-row root, on text pages 56 to 58.
TableSpec LobTable() {
  std::vector<ColumnDescriptor> columns = {
      SqlColumn("Id", "int(4)", kTypeInt),
      SqlColumn("Notes", "ntext(16)", kTypeNText),
      SqlColumn("Body", "nvarchar(-1)", kTypeNVarChar),
      SqlColumn("Picture", "image(16)", kTypeImage),
      SqlColumn("Doc", "xml(-1)", kTypeXml),
  };
  LayOutColumns(columns);
  std::vector<CompressedRow> rows;
  for (int i = 0; i < 4; ++i) {
    const Bytes xml = EncodeBinaryXml(Element({"doc"}, {Text("n" + std::to_string(i))}));
    rows.push_back({{Value(SqlIntBytes(i + 1, 4)), Value(TextPointer(Ref(56), static_cast<uint16_t>(i % 3)), true),
                     Value(InRowRoot({{Ref(57), 1, 13}, {Ref(58), static_cast<uint16_t>(i % 2), 40}}), true),
                     i == 2 ? Null() : Value(TextPointer(Ref(57), 2), true),
                     i == 3 ? Value(InRowRoot({{Ref(58), 2, 30}}, 2), true) : Value(xml)}});
  }
  rows[1].type = CdRecordType::kGhostData;
  return TableSpec{210, "Documents", columns, rows, std::nullopt, 52, 4};
}

void AddLobPages(DatabaseImage& image) {
  PageBuilder& first = image.Page(56).PageType(3).ObjectId(311).IndexId(256);
  first.AddRecord(TextRecordBytes(SmallRootStructure(Utf16("notes held in a small root"), 80)));
  first.AddRecord(TextRecordBytes(LargeRootStructure({{Ref(57), 0, 20}, {Ref(57), 1, 33}})));
  first.AddRecord(TextRecordBytes(InternalStructure({{Ref(57), 0, 20}, {Ref(56), 2, 40}})));  // loops
  PageBuilder& second = image.Page(57).PageType(3).ObjectId(311).IndexId(256);
  second.AddRecord(TextRecordBytes(DataStructure(Utf16("first part"))));
  second.AddRecord(TextRecordBytes(DataStructure(Ascii("second part"))));
  second.AddRecord(TextRecordBytes(LargeRootStructure({{Ref(58), 0, 8}}, 4)));
  PageBuilder& third = image.Page(58).PageType(4).ObjectId(311).IndexId(256);
  third.AddRecord(TextRecordBytes(DataStructure(Bytes{0x89, 'P', 'N', 'G', 0, 1, 2, 3})));
  third.AddRecord(TextRecordBytes(DataStructure(Utf16("third"))));
  third.AddRecord(TextRecordBytes(DataStructure(EncodeBinaryXml(Element({"big"}, {Text("xml")})))));
}

std::vector<std::pair<std::string, Bytes>> SyntheticDatabases() {
  std::vector<std::pair<std::string, Bytes>> images;
  images.emplace_back("catalog", SmallCatalogImage(40).Build());

  std::vector<CompressedRow> rows;
  for (const RowValues& values : AssortedRows(5)) rows.push_back({values});
  rows[4].type = CdRecordType::kGhostData;
  images.emplace_back(
      "compressed", ImageWithTables({TableSpec{201, "Plain", AssortedColumns(), rows, std::nullopt, 40, 4},
                                     TableSpec{202, "RowPacked", AssortedColumns(), rows, Compression::kRow, 44, 4},
                                     TableSpec{203, "PagePacked", AssortedColumns(), rows, Compression::kPage, 48, 4}},
                                    64)
                        .Build());
  // The same with a record of each compressed table's first page no longer
  // listed by its slot array, for the deleted-record hunt.
  Bytes unlisted = images.back().second;
  for (size_t first : {44u, 48u}) {
    const size_t at = first * kPageSize + 22;
    StoreLE16(&unlisted[at], static_cast<uint16_t>(LoadLE<uint16_t>(ByteSpan(unlisted), at) - 1));
  }
  images.emplace_back("compressed-unlisted", std::move(unlisted));

  DatabaseImage lob = ImageWithTables({LobTable()}, 64);
  AddLobPages(lob);
  images.emplace_back("large-values", lob.Build());
  images.emplace_back("legacy", LegacyImage().Build());

  // Pages that start after a remainder, as in a file copied with a header.
  Bytes shifted(4096, 0xA5);
  const Bytes catalog = SmallCatalogImage(40).Build();
  shifted.insert(shifted.end(), catalog.begin(), catalog.end());
  images.emplace_back("shifted", shifted);
  return images;
}

bool IsSystemPage(ByteSpan page) {
  return IsSystemObjectPage(LoadLE<uint32_t>(page, 24), LoadLE<uint16_t>(page, 6)) && LoadLE<uint32_t>(page, 24) != 0;
}

void WriteSyntheticPageSeeds(SeedWriter& out, const std::string& name, const Bytes& image) {
  const size_t start = image.size() % kPageSize;
  int n = 0;
  for (size_t at = start; at + kPageSize <= image.size(); at += kPageSize) {
    const ByteSpan page(image.data() + at, kPageSize);
    if (page[1] != 1 || !IsSystemPage(page)) continue;
    out.Add("system_rows", name + "-" + std::to_string(n), static_cast<uint8_t>(n % 8),
            Bytes(page.begin(), page.end()));
    ++n;
  }
}

// --- Large values, allocation maps, boot pages ---------------------------------

Bytes LobSeed(uint8_t options, const Bytes& value, const std::vector<Bytes>& pages) {
  Bytes seed = {options, static_cast<uint8_t>(value.size())};
  seed.insert(seed.end(), value.begin(), value.end());
  for (const Bytes& page : pages) {
    const Bytes shortened = kLobPage.Shorten(page);
    seed.insert(seed.end(), shortened.begin(), shortened.end());
  }
  return seed;
}

void WriteSyntheticLobSeeds(SeedWriter& out) {
  PageBuilder first(1);
  first.PageType(3).ObjectId(311).IndexId(256);
  first.AddRecord(TextRecordBytes(SmallRootStructure(Ascii("small root"), 80)));
  first.AddRecord(TextRecordBytes(DataStructure(Ascii("fragment one "))));
  first.AddRecord(TextRecordBytes(LargeRootStructure({{Ref(1), 1, 13}, {Ref(2), 0, 26}})));
  first.AddRecord(TextRecordBytes(InternalStructure({{Ref(1), 1, 13}, {Ref(2), 1, 30}})));
  first.AddRecord(TextRecordBytes(SmallRootStructure(Utf16("wide"), 80)));
  first.AddRecord(TextRecordBytes(LargeRootStructure({{Ref(1), 3, 30}, {Ref(2), 2, 60}}, 4)));
  first.AddRecord(TextRecordBytes(SmallRootStructure(Concat({Bytes{56, 1}, LE32(0), LE32(12)}), 80)));
  PageBuilder second(2);
  second.PageType(4).ObjectId(311).IndexId(256);
  second.AddRecord(TextRecordBytes(DataStructure(Ascii("fragment two."))));
  second.AddRecord(TextRecordBytes(DataStructure(Utf16("wide fragment"))));
  second.AddRecord(TextRecordBytes(LargeRootStructure({{Ref(1), 5, 10}, {Ref(2), 2, 20}}, 6)));  // loops
  second.AddRecord(TextRecordBytes(DataStructure(EncodeBinaryXml(Element({"a"}, {Text("1")})))));
  const std::vector<Bytes> pages = {first.Build(), second.Build()};

  int n = 0;
  for (uint16_t slot = 0; slot < 7; ++slot)
    for (uint8_t options : {0, 1, 2, 16})
      out.Add("lob", "pointer-" + std::to_string(n++), LobSeed(options, TextPointer(Ref(1), slot), pages));
  out.Add("lob", "variant", LobSeed(4, TextPointer(Ref(1), 6), pages));
  out.Add("lob", "collect", LobSeed(8, TextPointer(Ref(2), 3), pages));
  out.Add("lob", "root-4", LobSeed(32, InRowRoot({{Ref(1), 1, 13}, {Ref(2), 0, 26}, {Ref(1), 2, 60}}), pages));
  out.Add("lob", "root-2", LobSeed(32 | 2, InRowRoot({{Ref(2), 1, 26}}, 2), pages));
  out.Add("lob", "root-tree", LobSeed(32 | 1, InRowRoot({{Ref(1), 3, 43}, {Ref(1), 5, 90}}), pages));

  // A tree deeper than any real one: internal nodes that each lead to the
  // next, over both pages, down to one fragment.
  PageBuilder deepFirst(1);
  PageBuilder deepSecond(2);
  deepFirst.PageType(3);
  deepSecond.PageType(3);
  constexpr uint16_t kLevels = 22;
  for (uint16_t k = 0; k < kLevels; ++k) {
    deepFirst.AddRecord(TextRecordBytes(
        InternalStructure({{k + 1 < kLevels ? Ref(1) : Ref(2), static_cast<uint16_t>((k + 1) % kLevels), 4}})));
    deepSecond.AddRecord(TextRecordBytes(k + 1 < kLevels
                                             ? InternalStructure({{Ref(2), static_cast<uint16_t>(k + 1), 4}})
                                             : DataStructure(Ascii("deep"))));
  }
  out.Add("lob", "deep", LobSeed(0, TextPointer(Ref(1), 0), {deepFirst.Build(), deepSecond.Build()}));
}

void WriteSyntheticIamSeeds(SeedWriter& out) {
  auto seed = [](const std::vector<Bytes>& pages) {
    Bytes bytes;
    for (const Bytes& page : pages) {
      const Bytes shortened = kIamPage.Shorten(page);
      bytes.insert(bytes.end(), shortened.begin(), shortened.end());
    }
    return bytes;
  };
  PageBuilder one(1);
  MakeIamPage(one, Ref(0), {Ref(9), Ref(10), Ref(63), {3, 5}}, {0x06});
  one.Next(Ref(2));
  PageBuilder two(2);
  MakeIamPage(two, Ref(0), {Ref(10), Ref(64), {2, 4}}, {0x81, 0x01});
  two.Next(PageRef{3, 1});
  PageBuilder three(3);
  MakeIamPage(three, Ref(511232), {}, {0xFF});
  three.Next(Ref(1));  // back to the first
  PageBuilder secondary(1, 3);
  MakeIamPage(secondary, PageRef{3, 0}, {{3, 7}, {3, 31}, {3, 32}}, {0x0F});
  secondary.Next(Ref(3));
  const std::vector<Bytes> pages = {one.Build(), two.Build(), three.Build(), secondary.Build()};
  for (uint8_t options : {0, 8, 16, 24 | 3})
    out.Add("iam", "chain-" + std::to_string(options), Concat({Bytes{options}, seed(pages)}));
  out.Add("iam", "single", Concat({Bytes{0}, seed({pages[0]})}));
}

void WriteSyntheticBootSeeds(SeedWriter& out) {
  int n = 0;
  for (uint16_t version : {539, 611, 655, 706, 852, 1}) {
    PageBuilder boot(9);
    boot.PageType(13).Put(100, LE16(version)).Put(148, Utf16(n % 2 ? " lead blank" : "Sales db")).Put(488, LE32(53269));
    out.Add("boot_page", "boot-" + std::to_string(n), static_cast<uint8_t>(7 + n % 3), boot.Build());
    ++n;
  }
}

// The page maps of `image` as a mapping scan makes them, in a snapshot
// whose header names `dataPath`.
Bytes SnapshotOf(const SeedWriter& out, const Bytes& image, const std::string& dataPath, bool sql2000) {
  MemoryEnv env;
  env.AddFile("/seed.mdf", image);
  NullProgressSink sink;
  CDatabaseFile file("/seed.mdf", env, sink, StopToken(), ReadOptions{});
  if (!file.isOpen || !file.MapPages()) return {};
  SnapshotHeader header;
  header.dataFilePath = dataPath;
  header.isSql2000 = sql2000;
  const PageMaps maps = file.PrimaryPageMaps();
  const std::filesystem::path scratch = out.root() / "snapshot.tmp";
  if (!WriteSnapshot(scratch.string(), header, maps.systemPages, maps.dataPages, maps.iamPages)) return {};
  Bytes bytes = ReadFileBytes(scratch.string());
  std::filesystem::remove(scratch);
  return bytes;
}

// --- Pieces of real data files -------------------------------------------------

// The records of a page with their lengths as the record parser measures
// them (a forwarding stub is nine bytes).
std::vector<Bytes> RecordsOf(const PrimaryRecordPage& page) {
  std::vector<Bytes> records;
  const ByteSpan bytes = page.bytes().first(kPageSize);
  for (size_t i = 0; i < page.slotOffsets.size(); ++i) {
    const uint16_t offset = page.slotOffsets[i];
    if (offset < kPageHeaderSize || offset >= kPageSize) continue;
    const ByteSpan rest = bytes.subspan(offset);
    const int type = (rest[0] >> 1) & 7;
    int32_t length = 9;
    if (type != kRecordForwardingStub) {
      const CPrimaryRecord record(rest, nullptr, static_cast<uint16_t>(rest.size()), false);
      length = record.recordLength;
    }
    if (length <= 0) length = 64;
    const ByteSpan cut = SubSpan(rest, 0, static_cast<size_t>(length));
    records.emplace_back(cut.begin(), cut.end());
  }
  return records;
}

// Renumbers the page reference at `at` by `placed`; a reference to a page
// not placed is cleared.
void PatchRef(Bytes& page, size_t at, const std::map<PageRef, int32_t>& placed) {
  if (at + 6 > page.size()) return;
  const PageRef ref = ReadDiskPageRef(page, at);
  if (ref.pageNo == 0 && ref.fileId == 0) return;
  auto it = placed.find(ref);
  const Bytes value = it != placed.end() ? DiskPageRef(Ref(it->second)) : Bytes(6, 0);
  std::copy(value.begin(), value.end(), page.begin() + static_cast<std::ptrdiff_t>(at));
}

// The start of the fixed part of each record listed on `page`.
std::vector<size_t> FixedParts(const Bytes& page) {
  std::vector<size_t> starts;
  const auto slots = LoadLE<int16_t>(page, 22);
  for (int s = 0; s < slots && s < 4000; ++s) {
    const uint16_t offset = LoadLE<uint16_t>(page, kPageSize - 2 - 2 * static_cast<size_t>(s));
    if (offset >= kPageHeaderSize && offset + 4 < kPageSize) starts.push_back(offset + 4u);
  }
  return starts;
}

// Large-value seeds from the text pages of `file`: a text pointer to a
// root whose links stay on its own page and at most one other, with the
// pages numbered 1 and 2 and their data fragments cut short, so that the
// value's whole structure fits the short page form.
void WriteRealLobSeeds(SeedWriter& out, const std::string& base, const CDatabaseFile& file) {
  int taken = 0;
  for (uint64_t p = 1; p < file.pageCount && taken < 8; ++p) {
    const PageRef here = Ref(static_cast<int32_t>(p));
    const auto raw = file.ReadPageBytes(here, false);
    if (!raw || ((*raw)[1] != 3 && (*raw)[1] != 4)) continue;
    const TextMixPage page(*raw, &file);
    for (int slot = 0; slot < static_cast<int>(page.records.size()) && taken < 8; ++slot) {
      const TextRecord* record = page.RecordAt(slot);
      if (!record || !record->fixedData) continue;
      std::vector<LobLink> links;
      if (record->lobType == kLobInternal)
        links = Internal(*record->fixedData, &file).entries;
      else if (record->lobType >= kLobLargeRootShiloh && record->lobType <= kLobSuperLargeRoot)
        links = LargeRootYukon(*record->fixedData, record->payloadLength, &file).entries;
      else if (record->lobType != kLobSmallRoot)
        continue;
      std::map<PageRef, int32_t> placed = {{here, 1}};
      for (const LobLink& link : links)
        if (!placed.count(link.page)) placed.emplace(link.page, static_cast<int32_t>(placed.size() + 1));
      if (placed.size() > kLobInputPages) continue;
      std::vector<Bytes> pages(placed.size());
      for (const auto& [ref, number] : placed) {
        const auto bytes = file.ReadPageBytes(ref, false);
        if (!bytes) break;
        const TextMixPage source(*bytes, &file);
        PageBuilder rebuilt(static_cast<uint32_t>(number));
        rebuilt.PageType(3).ObjectId(source.header->objectId).IndexId(256);
        for (size_t s = 0; s < source.records.size(); ++s) {
          const TextRecord* r = source.RecordAt(static_cast<int>(s));
          Bytes structure = r && r->fixedData ? *r->fixedData : Bytes(10, 0);
          if (r && r->lobType == kLobData && structure.size() > 42) structure.resize(42);
          if (r && r->lobType == kLobInternal)
            for (size_t at = 16; at + 16 <= structure.size(); at += 16) PatchRef(structure, at + 8, placed);
          if (r && r->lobType >= kLobLargeRootShiloh && r->lobType <= kLobSuperLargeRoot)
            for (size_t at = 20; at + 12 <= structure.size(); at += 12) PatchRef(structure, at + 4, placed);
          try {
            rebuilt.AddRecord(TextRecordBytes(structure));
          } catch (const std::length_error&) {
            break;
          }
        }
        pages[static_cast<size_t>(number) - 1] = rebuilt.Build();
      }
      if (std::any_of(pages.begin(), pages.end(), [](const Bytes& page) { return page.empty(); })) continue;
      const uint8_t options = static_cast<uint8_t>(taken % 4 == 0 ? 1 : (taken % 4 == 1 ? 2 : 0));
      out.Add("lob", base + "-" + std::to_string(taken++),
              LobSeed(options, TextPointer(Ref(1), static_cast<uint16_t>(slot)), pages));
    }
  }
}

// A small image of a real file: pages 0 to 9 where they stand, the pages
// of the catalog that hold rows of the tables kept (and the first page of
// every catalog table), and the first data page and first IAM page of the
// first kImageTables tables that fit in kImagePages pages; the pages after
// 9 renumbered in order, with every page reference the readers follow
// (page headers, allocation units, 2000-layout index rows, IAM single
// pages) renumbered or cleared. Small, so that the whole-file target runs
// each image quickly.
constexpr size_t kImagePages = 64;
constexpr size_t kImageTables = 4;

Bytes CutImage(OpenedDatabase& db) {
  CDatabaseFile& file = db.file();
  SystemCatalog& catalog = *db.catalog();
  const bool sql2000 = catalog.IsSql2000();
  static const std::set<uint32_t> kWhole = {2, 5, 7, 8, 50, 54, 55, 64, 74, 99};
  static const std::set<uint32_t> kKeyed = {1, 3, 4, 6, 13, 34, 41, 60, 2187};

  // What each catalog page holds rows of: the ids at the start of its
  // records' fixed parts.
  std::map<PageRef, std::set<int64_t>> keyedPages;
  std::set<PageRef> base;
  for (int32_t p = 0; p < 10 && static_cast<uint64_t>(p) < file.pageCount; ++p) base.insert(Ref(p));
  for (const auto& [objectId, entries] : file.systemPageMap) {
    if (!kWhole.count(objectId) && !kKeyed.count(objectId)) continue;
    size_t kept = 0;
    for (const PageMapEntry& entry : entries) {
      if (entry.pageType != 1 || entry.fileId != 1) continue;
      const PageRef ref = entry.ToPageRef();
      if (kWhole.count(objectId) ? kept < 4 : kept < 1) {
        base.insert(ref);
        ++kept;
        continue;
      }
      if (!kKeyed.count(objectId)) continue;
      const auto bytes = file.ReadPageBytes(ref, true);
      if (!bytes) continue;
      const CDataPage page(*bytes, nullptr);
      std::set<int64_t>& keys = keyedPages[ref];
      for (const auto& record : page.records) {
        if (!record || !record->fixedData) continue;
        keys.insert(LoadLE<int32_t>(*record->fixedData, 0));
        keys.insert(LoadLE<int32_t>(*record->fixedData, 1));
        keys.insert(LoadLE<int64_t>(*record->fixedData, 0));
      }
    }
  }

  struct Table {
    std::set<int64_t> keys;
    std::set<PageRef> pages;
  };
  std::vector<Table> tables;
  const std::vector<ObjectRow> objects = catalog.objects;
  for (const ObjectRow& object : objects) {
    if (object.typeCode != "U " || object.objectId <= 100) continue;
    catalog.PrepareObject(object.name, object.typeCode, {});
    if (!catalog.isTable || catalog.tablePages.empty()) continue;
    Table table;
    table.keys.insert(object.objectId);
    for (const RowsetRow& rowset : catalog.objectRowsets) table.keys.insert(rowset.rowsetId);
    table.pages.insert(catalog.tablePages.front());
    if (sql2000) {
      auto root = catalog.legacyIndexRoots.find(object.objectId);
      if (root != catalog.legacyIndexRoots.end()) {
        table.pages.insert(PageRef{root->second.fileId, root->second.firstPage});
        table.pages.insert(Ref(root->second.firstIamPage));
      }
    } else {
      table.pages.insert(catalog.currentAllocUnit.firstPage);
      table.pages.insert(catalog.currentAllocUnit.firstIamPage);
    }
    std::erase_if(table.pages, [&](const PageRef& ref) {
      return ref.fileId != 1 || ref.pageNo <= 0 || static_cast<uint64_t>(ref.pageNo) >= file.pageCount;
    });
    tables.push_back(std::move(table));
  }

  std::set<PageRef> chosen = base;
  std::set<int64_t> keys;
  size_t taken = 0;
  for (const Table& table : tables) {
    if (taken == kImageTables) break;
    std::set<PageRef> trial = chosen;
    trial.insert(table.pages.begin(), table.pages.end());
    std::set<int64_t> trialKeys = keys;
    trialKeys.insert(table.keys.begin(), table.keys.end());
    for (const auto& [ref, pageKeys] : keyedPages)
      for (int64_t key : table.keys)
        if (pageKeys.count(key)) trial.insert(ref);
    if (trial.size() > kImagePages) continue;
    chosen = std::move(trial);
    keys = std::move(trialKeys);
    ++taken;
  }

  std::map<PageRef, int32_t> placed;
  int32_t next = 10;
  for (const PageRef& ref : chosen) placed[ref] = ref.pageNo < 10 ? ref.pageNo : next++;
  Bytes image(static_cast<size_t>(next) * kPageSize, 0);
  for (const auto& [ref, number] : placed) {
    auto bytes = file.ReadPageBytes(ref, true);
    if (!bytes) continue;
    Bytes& page = *bytes;
    // Torn bits restored for good, so that the renumbered fields stay.
    const CPage_Header header(page);
    StoreLE16(&page[4], static_cast<uint16_t>(header.flagBits & ~kFlagTornBits));
    PatchRef(page, 8, placed);
    PatchRef(page, 16, placed);
    const Bytes self = DiskPageRef(Ref(number));
    std::copy(self.begin(), self.end(), page.begin() + 32);
    const std::vector<size_t> fixed = FixedParts(page);
    if (header.pageType == kPageTypeIam) {
      if (!fixed.empty())
        for (size_t k = 0; k < 8; ++k) PatchRef(page, fixed[0] + 42 + 6 * k, placed);
      if (fixed.size() > 1) {
        const size_t end = std::min<size_t>(kPageSize, fixed[1] - 4 + LoadLE<uint16_t>(page, fixed[1] - 2));
        for (size_t at = fixed[1]; at < end; ++at) page[at] = 0;
      }
    } else if (header.pageType == kPageTypeData && IsSystemObjectPage(header.objectId, header.indexId)) {
      for (size_t at : fixed) {
        if (!sql2000 && header.objectId == 7)
          for (size_t field : {23, 29, 35}) PatchRef(page, at + field, placed);
        if (sql2000 && header.objectId == 2)
          for (size_t field : {8, 16, 64}) PatchRef(page, at + field, placed);
      }
    }
    std::copy(page.begin(), page.end(), image.begin() + static_cast<std::ptrdiff_t>(number) * kPageSize);
  }
  return image;
}

void WriteRealSeeds(SeedWriter& out, const std::string& path) {
  const std::string base = std::filesystem::path(path).stem().string();
  NullProgressSink sink;
  OpenRequest request;
  request.path = path;
  request.collations = &FuzzCollations();
  std::unique_ptr<OpenedDatabase> db = OpenedDatabase::Open(request, sink, StopToken());
  if (!db) {
    std::fprintf(stderr, "%s: cannot be opened, skipped\n", path.c_str());
    return;
  }
  CDatabaseFile& file = db->file();
  const bool sql2000 = db->catalog()->IsSql2000();

  // Records: the first few of each table's first data page.
  int records = 0;
  for (const auto& [objectId, entries] : file.dataPageMap) {
    if (IsSystemObjectId(objectId) || entries.empty() || records >= 80) continue;
    auto page = file.ReadTableDataPage(entries.front().ToPageRef());
    if (!page) continue;
    int fromPage = 0;
    for (const Bytes& record : RecordsOf(*page)) {
      if (fromPage++ >= 4) break;
      out.Add("record", base + "-" + std::to_string(records), static_cast<uint8_t>((records % 4) | (sql2000 ? 2 : 0)),
              record);
      ++records;
    }
  }

  // Catalog pages: the first two data pages of each system table.
  int pages = 0;
  for (const auto& [objectId, entries] : file.systemPageMap) {
    if (objectId == 0) continue;
    int fromTable = 0;
    for (const PageMapEntry& entry : entries) {
      if (entry.pageType != 1 || fromTable >= 2) continue;
      auto bytes = file.ReadPageBytes(entry.ToPageRef(), true);
      if (!bytes) continue;
      out.Add("system_rows", base + "-" + std::to_string(pages), static_cast<uint8_t>((pages % 4) | (sql2000 ? 8 : 0)),
              *bytes);
      ++pages;
      ++fromTable;
    }
  }

  WriteRealLobSeeds(out, base, file);

  // IAM pages, their single pages moved into the 64 pages of the target's
  // file and their chain cut.
  int iams = 0;
  for (const auto& [objectId, entries] : file.iamPageMap) {
    if (entries.empty() || iams >= 6) continue;
    auto bytes = file.ReadPageBytes(entries.front().ToPageRef(), false);
    if (!bytes) continue;
    Bytes& page = *bytes;
    std::fill(page.begin() + 16, page.begin() + 22, 0);
    const std::vector<size_t> fixed = FixedParts(page);
    for (size_t k = 0; k < 8 && !fixed.empty(); ++k) {
      const size_t at = fixed[0] + 42 + 6 * k;
      if (at + 4 > page.size()) break;
      const Bytes moved = LE32(LoadLE<uint32_t>(page, at) % 64);
      std::copy(moved.begin(), moved.end(), page.begin() + static_cast<std::ptrdiff_t>(at));
    }
    out.Add("iam", base + "-" + std::to_string(iams++), Concat({Bytes{0}, kIamPage.Shorten(page)}));
  }

  if (auto boot = file.ReadPageBytes(Ref(kBootPageNumber), false)) out.Add("boot_page", base, 7, *boot);

  // Allocation maps: the PFS, GAM and SGAM pages in their own places, and
  // the first IAM page as the start of the target's chain.
  for (int32_t mapPage = 1; mapPage <= 3; ++mapPage)
    if (auto bytes = file.ReadPageBytes(Ref(mapPage), false))
      out.Add("allocation_map", base + "-map" + std::to_string(mapPage), static_cast<uint8_t>(mapPage - 1), *bytes);
  for (const auto& [objectId, entries] : file.iamPageMap) {
    if (entries.empty()) continue;
    if (auto bytes = file.ReadPageBytes(entries.front().ToPageRef(), false))
      out.Add("allocation_map", base + "-iam", 3, *bytes);
    break;
  }

  const Bytes snapshot = SnapshotOf(out, ReadFileBytes(path), "/fuzz/db.mdf", sql2000);
  if (!snapshot.empty()) out.Add("snapshot", base, snapshot);

  out.Add("database", base, CutImage(*db));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT_DIR [FILE.mdf ...]\n", argv[0]);
    return 2;
  }
  SeedWriter out(argv[1]);
  WriteRecordSeeds(out);
  for (const auto& [name, image] : SyntheticDatabases()) {
    out.Add("database", name, image);
    WriteSyntheticPageSeeds(out, name, image);
    const Bytes snapshot = SnapshotOf(out, image, "/fuzz/db.mdf", name == "legacy");
    if (!snapshot.empty()) out.Add("snapshot", name, snapshot);
  }
  WriteSyntheticLobSeeds(out);
  WriteSyntheticIamSeeds(out);
  WriteSyntheticBootSeeds(out);
  // The value formatter's seeds: a value of each fixed column, its option
  // bytes choosing lengths and scales.
  int n = 0;
  for (const ColumnDescriptor& d : RecordColumns(true)) {
    BitCursor cursor;
    const ValueLayout shape = DescribeValue(d, cursor);
    if (shape.variable || d.statusBit24) continue;
    out.Add("value_format", d.name,
            Concat({Bytes{static_cast<uint8_t>(n), static_cast<uint8_t>(7 * n)},
                    FixedValue(d, std::max<uint16_t>(shape.fixedLength, 1), 0)}));
    ++n;
  }
  out.Add("value_format", "variant", Concat({Bytes{1, 2, 167, 1}, LE16(30), LE32(53269), Bytes{0}, Ascii("text")}));
  // Definition texts that name tables by the columns they qualify.
  out.Add("definition_names", "views",
          Concat({Ascii("create view \"Order Lines\" AS SELECT Orders.OrderID, [Lines].ProductID, [Lines].Quantity "
                        "FROM Orders INNER JOIN [Lines] ON Orders.OrderID = [Lines].OrderID -- FROM x"),
                  Bytes{0},
                  Ascii("CREATE TRIGGER t ON dbo.Region FOR UPDATE AS UPDATE Region SET Region.RegionID = 1, "
                        "Region.RegionDescription = 'a''b' FROM inserted /* [ */ WHERE (SELECT 1 FROM Orders), x")}));

  for (int i = 2; i < argc; ++i) WriteRealSeeds(out, argv[i]);
  std::printf("%d seeds in %s\n", out.count(), argv[1]);
  return 0;
}
