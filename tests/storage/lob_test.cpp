#include "storage/lob.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "storage/database_file.h"
#include "storage/page.h"
#include "storage/text_page.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::Ascii;
using testing::Concat;
using testing::DatabaseImage;
using testing::DataStructure;
using testing::InRowRoot;
using testing::InternalStructure;
using testing::LargeRootStructure;
using testing::LE16;
using testing::LE64;
using testing::LobLinkSpec;
using testing::PageBuilder;
using testing::SmallRootStructure;
using testing::TestDatabase;
using testing::TextPointer;
using testing::TextRecordBytes;
using testing::Utf16;

LobReadOptions Hex() {
  LobReadOptions o;
  o.asHex = true;
  return o;
}
LobReadOptions Wide() {
  LobReadOptions o;
  o.wideText = true;
  return o;
}
LobReadOptions CodePage(int codePage) {
  LobReadOptions o;
  o.codePage = codePage;
  return o;
}

// Text pages holding the structures of several values; the comment after
// each record names its page and slot.
class LobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DatabaseImage image(40);
    image.Page(1).ObjectId(34);
    PageBuilder& p20 = TextPage(image, 20);
    PageBuilder& p21 = TextPage(image, 21);
    PageBuilder& p22 = TextPage(image, 22);
    // "Hello, " + "world" through a large root.
    p20.AddRecord(TextRecordBytes(LargeRootStructure({{{1, 21}, 0, 7}, {{1, 22}, 0, 12}})));  // 20/0
    p21.AddRecord(TextRecordBytes(DataStructure(Ascii("Hello, "))));                          // 21/0
    p22.AddRecord(TextRecordBytes(DataStructure(Ascii("world"))));                            // 22/0
    // A root over an internal node over two long fragments on two pages.
    p20.AddRecord(TextRecordBytes(LargeRootStructure({{{1, 21}, 1, 6000}}, 4, 80)));              // 20/1
    p21.AddRecord(TextRecordBytes(InternalStructure({{{1, 21}, 2, 3000}, {{1, 22}, 1, 6000}})));  // 21/1
    p21.AddRecord(TextRecordBytes(DataStructure(Bytes(3000, 'x'))));                              // 21/2
    p22.AddRecord(TextRecordBytes(DataStructure(Bytes(3000, 'y'))));                              // 22/1
    // An internal node that links to itself, and a root -> node -> root loop.
    p20.AddRecord(TextRecordBytes(InternalStructure({{{1, 21}, 0, 7}, {{1, 20}, 2, 14}})));  // 20/2
    p20.AddRecord(TextRecordBytes(LargeRootStructure({{{1, 22}, 2, 1}})));                   // 20/3
    p22.AddRecord(TextRecordBytes(InternalStructure({{{1, 22}, 0, 5}, {{1, 20}, 3, 10}})));  // 22/2
    // A root whose text is empty, and a record without a structure.
    p20.AddRecord(TextRecordBytes(SmallRootStructure({}, 80)));  // 20/4
    p20.AddRecord(Bytes{0x08, 0x00, 0x04, 0x00});                // 20/5
    // A chain of internal nodes deeper than any real tree: 23/k links to
    // 23/k+1, and 23/35 holds the data.
    PageBuilder& p23 = TextPage(image, 23);
    for (uint16_t k = 0; k < 35; ++k)
      p23.AddRecord(TextRecordBytes(InternalStructure({{{1, 23}, static_cast<uint16_t>(k + 1), 4}})));
    p23.AddRecord(TextRecordBytes(DataStructure(Ascii("deep"))));
    db_ = std::make_unique<TestDatabase>(image);
    ASSERT_TRUE(db_->Open());
  }

  static PageBuilder& TextPage(DatabaseImage& image, uint32_t n) {
    return image.Page(n).PageType(3).ObjectId(0x30000).IndexId(256);
  }

  std::string Structure(const Bytes& structure, const LobReadOptions& options = {}) {
    return ReadLobValue(structure, static_cast<int32_t>(structure.size()) - 10, db(), options);
  }
  std::string Pointer(int32_t page, uint16_t slot, const LobReadOptions& options = {},
                      LobReadOutcome* outcome = nullptr) {
    return ReadTextPointerValue(TextPointer({1, page}, slot), db(), options, outcome);
  }
  CDatabaseFile& db() { return db_->db(); }

  std::unique_ptr<TestDatabase> db_;
};

TEST_F(LobTest, ShortStructuresAreEmptyButShortFragmentsAreNot) {
  EXPECT_EQ(Structure(SmallRootStructure({0x61, 0x62, 0x63})), "");  // payload 9
  EXPECT_EQ(Structure(SmallRootStructure({0x61, 0x62, 0x63, 0x64})), "abcd");
  const Bytes root = LargeRootStructure({{{1, 21}, 0, 7}});
  EXPECT_EQ(ReadLobValue(root, 9, db(), {}), "");
  EXPECT_EQ(ReadLobValue(root, 22, db(), {}), "Hello, ");
  // The last fragment of a value may hold fewer than 10 bytes.
  EXPECT_EQ(Structure(DataStructure(Ascii("tail"))), "tail");
  EXPECT_EQ(Structure(Bytes{1, 2, 3}), "");
  EXPECT_EQ(Structure(Concat({testing::LE64(1), testing::LE16(9), Bytes(20, 'q')})), "");  // unknown kind
}

TEST_F(LobTest, SmallRootRendering) {
  const Bytes ab = {0x61, 0x00, 0x62, 0x00};
  EXPECT_EQ(Structure(SmallRootStructure(ab, 80)), "ab");
  EXPECT_EQ(Structure(SmallRootStructure(ab, 80), Wide()), "ab");
  // Hex shows the stored bytes, never narrowed ones.
  EXPECT_EQ(Structure(SmallRootStructure(ab, 80), Hex()), "61006200");
  EXPECT_EQ(Structure(SmallRootStructure({0x01, 0x02, 0x03, 0x04}), Hex()), "01020304");
  // One character is not UTF-16 with half of its bytes zero.
  EXPECT_EQ(Structure(SmallRootStructure({'a'}, 80)), "a");
  // Wide text beyond Latin-1, and 8-bit text in the column's code page.
  EXPECT_EQ(Structure(SmallRootStructure(Utf16("Жук €"), 80), Wide()), "Жук €");
  EXPECT_EQ(Structure(SmallRootStructure({0xC6, 0xF3, 0xEA}, 80), CodePage(1251)), "Жук");
  EXPECT_EQ(Structure(SmallRootStructure({0xC6, 0xF3, 0xEA}, 80), CodePage(1252)), "Æóê");

  SmallRoot root(SmallRootStructure(ab, 80), nullptr);
  EXPECT_EQ(root.RenderHex(), "61006200");
  EXPECT_TRUE(root.NarrowUtf16());
  EXPECT_EQ(root.data, (Bytes{0x61, 0x62, 0x00, 0x00}));
}

TEST_F(LobTest, DataFragmentRendering) {
  EXPECT_EQ(Structure(DataStructure(Utf16("abc")), Wide()), "abc");
  EXPECT_EQ(Structure(DataStructure(Utf16("Grüße, Ωmega €")), Wide()), "Grüße, Ωmega €");
  EXPECT_EQ(Structure(DataStructure(Concat({Ascii("ab"), Bytes{0}, Ascii("cd")}))), "ab");
  // Text after a NUL is a damaged byte's doing: the value is cut short.
  const Bytes cut = DataStructure(Concat({Ascii("ab"), Bytes{0}, Ascii("cd")}));
  LobReadOutcome cutShort;
  ReadLobValue(cut, static_cast<int32_t>(cut.size()) - 10, db(), {}, &cutShort);
  EXPECT_TRUE(cutShort.incomplete);
  const Bytes padded = DataStructure(Concat({Ascii("ab"), Bytes{0, 0}}));
  LobReadOutcome whole;
  ReadLobValue(padded, static_cast<int32_t>(padded.size()) - 10, db(), {}, &whole);
  EXPECT_FALSE(whole.incomplete);
  EXPECT_EQ(Structure(DataStructure({0x00, 0xAB, 0xFF}), Hex()), "00ABFF");
  LobReadOptions variant;
  variant.prefixed = true;
  EXPECT_EQ(Structure(DataStructure(Concat({Bytes{165, 1, 0, 0, 0, 0, 0, 0}, Bytes{0xBE, 0xEF}})), variant), "BEEF");
  EXPECT_EQ(Structure(DataStructure(Concat({Bytes{167, 1, 0, 0, 0, 0, 0, 0}, Ascii("txt")})), variant), "txt");
  LobSData fragment(DataStructure({0x0F, 0xA0}), 2, nullptr);
  EXPECT_EQ(fragment.RenderHex(), "0FA0");
}

TEST_F(LobTest, RootsAssembleChildrenFromSeveralPages) {
  EXPECT_EQ(Pointer(20, 0), "Hello, world");
  // Hex keeps every digit of every child.
  EXPECT_EQ(Pointer(20, 0, Hex()), "48656C6C6F2C20776F726C64");
  // Root (kind 4, padded as SQL Server writes it) -> internal node -> data.
  LobReadOutcome outcome;
  EXPECT_EQ(Pointer(20, 1, {}, &outcome), std::string(3000, 'x') + std::string(3000, 'y'));
  EXPECT_FALSE(outcome.incomplete);
  EXPECT_FALSE(outcome.truncated);
}

TEST_F(LobTest, InRowRootReadsLinksWithASize) {
  // File id 2000 cannot be real and is read from file 1; a link of size 0
  // holds nothing.
  Bytes root = InRowRoot({{{1, 21}, 0, 7}, {{1, 21}, 2, 0}, {{2000, 22}, 0, 12}});
  EXPECT_EQ(ReadInRowRootValue(root, db(), {}), "Hello, world");
  EXPECT_EQ(ReadInRowRootValue(InRowRoot({{{1, 20}, 0, 12}}, 2), db(), Hex()), "48656C6C6F2C20776F726C64");
  EXPECT_EQ(ReadInRowRootValue(Bytes(12, 0), db(), {}), "");
}

TEST_F(LobTest, PointersThatLeadNowhereGiveEmptyValues) {
  LobReadOutcome outcome;
  EXPECT_EQ(Pointer(20, 6, {}, &outcome), "");  // beyond the page's records
  EXPECT_TRUE(outcome.incomplete);
  EXPECT_EQ(Pointer(20, 5), "");  // a record without a structure
  EXPECT_EQ(Pointer(0, 0), "");
  EXPECT_EQ(Pointer(40, 0), "");
  EXPECT_EQ(ReadTextPointerValue(Bytes(15, 0), db(), {}), "");
  // A value that is there but empty reads as one blank.
  EXPECT_EQ(Pointer(20, 4), " ");
}

TEST_F(LobTest, LinksThatLoopBackEnd) {
  LobReadOutcome self;
  EXPECT_EQ(Pointer(20, 2, {}, &self), "Hello, ");
  EXPECT_TRUE(self.incomplete);
  LobReadOutcome loop;
  EXPECT_EQ(Pointer(20, 3, {}, &loop), "world");
  EXPECT_TRUE(loop.incomplete);
  EXPECT_EQ(Pointer(23, 10), "deep");
  LobReadOutcome deep;
  EXPECT_EQ(Pointer(23, 0, {}, &deep), " ");
  EXPECT_TRUE(deep.incomplete);
}

TEST_F(LobTest, CollectAndLimit) {
  LobReadOptions collect;
  collect.collect = true;
  LobReadOutcome pieces;
  EXPECT_EQ(Pointer(20, 0, collect, &pieces), "");
  EXPECT_EQ(pieces.pieces, (std::vector<Bytes>{Ascii("Hello, "), Ascii("world")}));

  LobReadOptions limited;
  limited.byteLimit = 9;
  LobReadOutcome cut;
  EXPECT_EQ(Pointer(20, 0, limited, &cut), "Hello, wo");
  EXPECT_TRUE(cut.truncated);
}

TEST(TextPage, RecordsAndSlots) {
  PageBuilder b(30);
  b.PageType(3);
  b.AddRecord(TextRecordBytes(DataStructure(Ascii("abc"))));
  b.AddRecord(Bytes{0x08, 0x00, 0x0C, 0x00, 1, 2, 3, 4, 5, 6, 7, 8});  // 8 bytes: no kind
  b.Slot(2, 0).Slot(3, 95).Slot(4, 8192);
  TextMixPage page(b.Build(), nullptr);
  ASSERT_EQ(page.records.size(), 5u);
  const TextRecord* data = page.RecordAt(0);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->lobType, kLobData);
  EXPECT_EQ(data->payloadLength, 3);
  EXPECT_EQ(page.RecordAt(1)->lobType, kLobUnreadable);
  EXPECT_TRUE(page.RecordAt(1)->fixedData);
  for (int slot : {2, 3, 4, 5, -1}) EXPECT_FALSE(page.RecordAt(slot)) << slot;
}

TEST(TextPage, PageNumberCorrection) {
  // Every page is displaced by two positions: position 20 holds page 22,
  // and page 20 stands at position 18.
  DatabaseImage image(40);
  image.Page(1).ObjectId(34);
  image.Page(18).PageType(3).This({1, 20}).AddRecord(TextRecordBytes(DataStructure(Ascii("right"))));
  image.Page(20).PageType(3).This({1, 22}).AddRecord(TextRecordBytes(DataStructure(Ascii("wrong"))));
  // A header zeroed in place is no displacement: position 30 is read.
  image.Page(30).PageType(3).This({1, 0}).AddRecord(TextRecordBytes(DataStructure(Ascii("kept"))));
  image.Page(15).PageType(3).This({1, 0}).AddRecord(TextRecordBytes(DataStructure(Ascii("fifteen"))));
  TestDatabase t(image);
  ASSERT_TRUE(t.Open());
  EXPECT_EQ(ReadTextPointerValue(TextPointer({1, 20}, 0), t.db(), {}), "right");
  EXPECT_EQ(ReadTextPointerValue(TextPointer({1, 30}, 0), t.db(), {}), "kept");
  EXPECT_EQ(ReadTextPointerValue(TextPointer({1, 15}, 0), t.db(), {}), "fifteen");
  EXPECT_FALSE(t.db().ReadTextPage({1, 0}));
}

// Every record of a value carries its root's blob id, which the text
// pointer repeats: with it a value is found whole on a page whose slot
// array took damage, and a record of another value is never read as it.
TEST(TextPage, ValuesAreFoundByTheirBlobIdWhereSlotEntriesAreDamaged) {
  const auto build = [](bool damaged) {
    DatabaseImage image(40);
    image.Page(1).ObjectId(34);
    PageBuilder& p = image.Page(30).PageType(3).ObjectId(0x30000).IndexId(256);
    p.AddRecord(TextRecordBytes(DataStructure(Ascii("Hello, "), 7)));                                // 30/0
    p.AddRecord(TextRecordBytes(DataStructure(Ascii("world"), 7)));                                  // 30/1
    p.AddRecord(TextRecordBytes(LargeRootStructure({{{1, 30}, 0, 7}, {{1, 30}, 1, 12}}, 5, 0, 7)));  // 30/2
    p.AddRecord(TextRecordBytes(SmallRootStructure(Ascii("abcd"), 80, 8)));                          // 30/3
    p.AddRecord(TextRecordBytes(LargeRootStructure({{{1, 30}, 5, 4}}, 5, 0, 9)));                    // 30/4
    p.AddRecord(TextRecordBytes(Concat({LE64(9), LE16(11), Bytes(20, 'q')})));                       // 30/5
    if (damaged) {
      // The entries of both fragments and of the root now point into the
      // middle of records, and the root's entry at the next value's root.
      const Bytes intact = PageBuilder(p).Build();
      const auto offset = [&](int slot) { return LoadLE<uint16_t>(intact, kPageSize - 2 - 2 * slot); };
      p.Slot(0, offset(0) + 3).Slot(1, 7000).Slot(2, offset(3));
    }
    return image;
  };
  for (bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged slot array" : "intact");
    TestDatabase t(build(damaged));
    ASSERT_TRUE(t.Open());
    LobReadOutcome outcome;
    EXPECT_EQ(ReadTextPointerValue(TextPointer({1, 30}, 2, 7), t.db(), {}, &outcome), "Hello, world");
    EXPECT_FALSE(outcome.incomplete);
    EXPECT_EQ(ReadTextPointerValue(TextPointer({1, 30}, 3, 8), t.db(), {}), "abcd");
    // One damaged byte of the pointer's id still names the slot's root when
    // no record carries that id.
    EXPECT_EQ(ReadTextPointerValue(TextPointer({1, 30}, 3, 0x0108), t.db(), {}), "abcd");
    // An id no record carries, far from the slot's: another value's bytes
    // are not this value's.
    LobReadOutcome none;
    EXPECT_EQ(ReadTextPointerValue(TextPointer({1, 30}, 3, 0x5555), t.db(), {}, &none), "");
    EXPECT_TRUE(none.incomplete);
    // A link to a record of no kind a value has is a value cut short.
    LobReadOutcome odd;
    ReadTextPointerValue(TextPointer({1, 30}, 4, 9), t.db(), {}, &odd);
    EXPECT_TRUE(odd.incomplete);
  }
}

// --- real files ------------------------------------------------------------

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

// The ROW fields of one table of a reference dump.
std::vector<std::vector<std::string>> ReferenceRows(const std::string& path, const std::string& table) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  std::string line, current;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream ss(line);
    for (std::string f; std::getline(ss, f, '\t');) fields.push_back(f);
    if (fields.size() > 1 && fields[0] == "TABLE") current = fields[1];
    if (fields.size() > 1 && fields[0] == "ROW" && current == table)
      rows.emplace_back(fields.begin() + 1, fields.end());
  }
  return rows;
}

TEST(LobRealFiles, PubsPublisherLogosAndTexts) {
  const std::string dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "no test data";
  // pub_id -> {logo as hex, pr_info}.
  std::map<std::string, std::vector<std::string>> expected;
  for (auto& row : ReferenceRows(dir + "/reference/scripted/pubs-sql2000.mdf.tsv", "dbo.pub_info"))
    if (row.size() == 3) expected[row[0]] = row;
  ASSERT_EQ(expected.size(), 8u);

  auto opened = testing::OpenMappedFile(dir + "/pubs-sql2000.mdf");
  ASSERT_TRUE(opened);
  CDatabaseFile& db = *opened;
  // pub_info rows: a 4-byte pub_id, then the logo and pr_info pointers.
  int matched = 0;
  for (const auto& [objectId, entries] : db.dataPageMap) {
    for (const PageMapEntry& entry : entries) {
      auto bytes = db.ReadRawPage(entry.ToPageRef());
      if (!bytes) continue;
      PrimaryRecordPage page(std::move(*bytes), &db);
      for (const auto& record : page.records) {
        if (!record || !record->fixedData || record->fixedData->size() != 4 || record->varValues.size() != 2) continue;
        auto it = expected.find(std::string(record->fixedData->begin(), record->fixedData->end()));
        const ColumnValue& logo = record->varValues[0];
        const ColumnValue& info = record->varValues[1];
        if (it == expected.end() || logo.length != 16 || info.length != 16) continue;
        EXPECT_EQ("0x" + ReadTextPointerValue(*logo.data, db, Hex()), it->second[1]) << it->first;
        EXPECT_EQ(Escape(ReadTextPointerValue(*info.data, db, CodePage(1252))), it->second[2]) << it->first;
        ++matched;
      }
    }
  }
  EXPECT_EQ(matched, 8);
}

// Every large value that a user page points at reads as one of the values
// of the reference dump, as text (8-bit or UTF-16) or as hex. Values whose
// pieces are gone (rows of dropped tables) are left out.
TEST(LobRealFiles, EveryValueMatchesTheReference) {
  const std::string dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "no test data";
  const struct {
    std::string file, reference;
    int minimum;
  } cases[] = {
      {"northwind-sql2000.mdf", "scripted/northwind-sql2000.mdf.tsv", 39},  // ntext, image in 2000 trees
      {"pubs-sql2008-itsligo.mdf", "pubs-sql2008-itsligo.mdf.tsv", 16},     // text, image
      {"phonebook-sql2012-unn.mdf", "phonebook-sql2012-unn.mdf.tsv", 3},    // text in small roots
      {"newsengine-sql2008-irinabutaru.mdf", "newsengine-sql2008-irinabutaru.mdf.tsv", 12},        // nvarchar(max)
      {"aspnetdb-sql2008-webshopinholland.mdf", "aspnetdb-sql2008-webshopinholland.mdf.tsv", 18},  // ntext
  };
  for (const auto& c : cases) {
    std::set<std::string> fields;
    std::ifstream in(dir + "/reference/" + c.reference);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("ROW\t", 0) != 0) continue;
      std::stringstream ss(line.substr(4));
      for (std::string f; std::getline(ss, f, '\t');) fields.insert(f);
    }
    auto opened = testing::OpenMappedFile(dir + "/" + c.file);
    ASSERT_TRUE(opened) << c.file;
    CDatabaseFile& db = *opened;
    int matched = 0;
    for (const auto& [objectId, entries] : db.dataPageMap) {
      for (const PageMapEntry& entry : entries) {
        auto bytes = db.ReadRawPage(entry.ToPageRef());
        if (!bytes) continue;
        PrimaryRecordPage page(std::move(*bytes), &db);
        if (objectId <= 100 && page.header->indexId < 256) continue;  // catalog pages
        for (const auto& record : page.records) {
          if (!record || record->hasError) continue;
          for (const ColumnValue& v : record->varValues) {
            if (!v.data) continue;
            const Bytes& b = *v.data;
            const bool pointer = b.size() == 16 && b[0] == 0;
            const bool root = v.complex && b.size() > 12 && (b[0] == 2 || b[0] == 4);
            if (!pointer && !root) continue;
            auto read = [&](const LobReadOptions& o, LobReadOutcome* outcome) {
              return pointer ? ReadTextPointerValue(b, db, o, outcome) : ReadInRowRootValue(b, db, o, outcome);
            };
            // Read as hex, every byte counts: whether a part is missing does
            // not depend on a text's first NUL.
            LobReadOutcome outcome;
            const std::string hex = read(Hex(), &outcome);
            if (outcome.incomplete) continue;
            const std::string text = read(CodePage(1252), nullptr);
            const std::string wide = read(Wide(), nullptr);
            const bool found =
                text == " " || fields.count(Escape(text)) || fields.count(Escape(wide)) || fields.count("0x" + hex);
            EXPECT_TRUE(found) << c.file << " page " << entry.pageIndex << ": " << text.substr(0, 60);
            matched += found;
          }
        }
      }
    }
    EXPECT_GE(matched, c.minimum) << c.file;
  }
}

}  // namespace
}  // namespace ravelin
