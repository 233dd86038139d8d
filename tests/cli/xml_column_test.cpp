// A table with an xml column through the command line: values kept in the
// row, large values in fragments on text pages, NULL, and a damaged value
// that gives its text up to the damage, the marker, a warning and exit
// code 3 in `rows` (every format) and `show`; `page` lists the tokens.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rows/binary_xml.h"
#include "support/binary_xml_encoder.h"
#include "support/compressed_table_image.h"
#include "support/compressor.h"
#include "support/run_command.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::CommandResult;
using testing::RunRavelin;

// Text pages the large value's fragments lie on.
constexpr uint32_t kTextPages[] = {60, 61, 62};

struct XmlTable {
  testing::TempDir dir;
  std::string path;
  std::string smallText = "<a>1 &lt; 2</a>";
  std::string largeText;
  std::string damagedText;
};

// A document of `items` elements with attributes, escaped text and a
// namespace, and its text.
testing::XmlNode LargeDocument(int items, std::string& text) {
  std::vector<testing::XmlNode> children;
  text = "<list xmlns=\"urn:items\">";
  for (int i = 0; i < items; ++i) {
    const std::string n = std::to_string(i);
    children.push_back(testing::Element({"item", "", "urn:items"}, {testing::Attr({"n"}, n)},
                                        {testing::Text("value " + n + " & \xF0\x9F\x98\x80")}));
    text += "<item n=\"" + n + "\">value " + n + " &amp; \xF0\x9F\x98\x80</item>";
  }
  text += "</list>";
  return testing::Element({"list", "", "urn:items"}, {testing::NamespaceDecl("", "urn:items")}, children);
}

// dbo.Docs (Id int, Doc xml NULL) on page 40: 1 in the row, 2 NULL, 3 a
// large value in three fragments, 4 damaged before its last token.
void Build(XmlTable& t) {
  using namespace testing;
  std::vector<ColumnDescriptor> columns = {SqlColumn("Id", "int(4)", kTypeInt), SqlColumn("Doc", "xml(-1)", kTypeXml)};
  LayOutColumns(columns);

  const Bytes small = EncodeBinaryXml(Element({"a"}, {Text("1 < 2")}));
  const Bytes large = EncodeBinaryXml(LargeDocument(150, t.largeText));
  Bytes damaged = EncodeBinaryXml(Element({"r"}, {Element({"x"}, {Text("1")})}));
  // A token no version of the format has, before the last end tag.
  damaged.insert(damaged.end() - 1, 0x30);
  t.damagedText = "<r><x>1</x>" + XmlDamagedMarker(damaged.size() - 2);

  // The large value: a third on each text page, an in-row root in the row.
  std::vector<LobLinkSpec> links;
  std::vector<Bytes> fragments;
  const size_t third = large.size() / 3;
  for (size_t k = 0; k < 3; ++k) {
    const size_t to = k == 2 ? large.size() : (k + 1) * third;
    fragments.emplace_back(large.begin() + static_cast<std::ptrdiff_t>(k * third),
                           large.begin() + static_cast<std::ptrdiff_t>(to));
    links.push_back({{1, static_cast<int32_t>(kTextPages[k])}, 0, static_cast<uint32_t>(to)});
  }
  TableSpec docs;
  docs.objectId = 500;
  docs.name = "Docs";
  docs.columns = columns;
  docs.rows = {CompressedRow{{Value(SqlIntBytes(1, 4)), Value(small)}},
               CompressedRow{{Value(SqlIntBytes(2, 4)), Null()}},
               CompressedRow{{Value(SqlIntBytes(3, 4)), Value(InRowRoot(links), true)}},
               CompressedRow{{Value(SqlIntBytes(4, 4)), Value(damaged)}}};
  DatabaseImage image = ImageWithTables({docs});
  for (size_t k = 0; k < 3; ++k)
    image.Page(kTextPages[k]).PageType(3).AddRecord(TextRecordBytes(DataStructure(fragments[k])));
  t.path = t.dir.Write("docs.mdf", image.Build());
}

TEST(XmlColumn, RowsShowsTheTextsAndNamesTheDamagedValue) {
  XmlTable t;
  Build(t);
  const std::string warning = "dbo.Docs: a value cannot be read, row 4 (page 1:40 slot 3), column Doc";

  const CommandResult tsv = RunRavelin({"rows", t.path, "dbo.Docs", "--quiet"});
  EXPECT_EQ(tsv.exitCode, 3) << tsv.err;
  EXPECT_EQ(tsv.out, "Id\tDoc\n1\t" + t.smallText + "\n2\t\\N\n3\t" + t.largeText + "\n4\t" + t.damagedText + "\n");
  EXPECT_EQ(tsv.err, "warning: " + warning + "\n");

  // JSON carries the damaged text as a string, and the warning.
  const CommandResult json = RunRavelin({"rows", t.path, "Docs", "--format", "json", "--quiet"});
  EXPECT_EQ(json.exitCode, 3);
  EXPECT_NE(
      json.out.find("{\"Id\":1,\"Doc\":\"<a>1 &lt; 2</a>\"},\n{\"Id\":2,\"Doc\":null},\n{\"Id\":3,\"Doc\":\"<list "
                    "xmlns=\\\"urn:items\\\"><item n=\\\"0\\\">value 0 &amp; \xF0\x9F\x98\x80</item>"),
      std::string::npos)
      << json.out.substr(0, 400);
  EXPECT_NE(json.out.find("{\"Id\":4,\"Doc\":\"<r><x>1</x><!-- ravelin: xml damaged at byte "), std::string::npos);
  EXPECT_NE(json.out.find("\"warnings\":[\"" + warning + "\"]"), std::string::npos);

  // Without the damaged row the listing is whole.
  const CommandResult three = RunRavelin({"rows", t.path, "dbo.Docs", "--limit", "3", "--format", "csv", "--quiet"});
  EXPECT_EQ(three.exitCode, 0) << three.err;
  EXPECT_NE(three.out.find("\r\n1,<a>1 &lt; 2</a>\r\n2,\r\n3,\"<list xmlns=\"\"urn:items\"\">"), std::string::npos)
      << three.out.substr(0, 200);
}

// An export holds exact values only: the damaged value goes out as
// unreadable (empty in CSV, named in the warnings), the others whole.
TEST(XmlColumn, ExportsWriteTheDamagedValueAsUnreadable) {
  XmlTable t;
  Build(t);
  const std::string out = t.dir.path() + "/csv";
  const CommandResult r = RunRavelin({"export", t.path, "--csv", out});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_NE(r.err.find("a value cannot be read, row 4 (page 1:40 slot 3), column Doc"), std::string::npos) << r.err;
  const Bytes bytes = testing::ReadFileBytes(out + "/dbo.Docs.csv");
  const std::string csv(bytes.begin(), bytes.end());
  EXPECT_NE(csv.find("\r\n1,<a>1 &lt; 2</a>\r\n"), std::string::npos) << csv.substr(0, 200);
  EXPECT_EQ(csv.find("ravelin: xml damaged"), std::string::npos) << "partial text exported as data";
  EXPECT_NE(csv.find("\r\n4,"), std::string::npos);
}

TEST(XmlColumn, ShowAndPageShowTheValues) {
  XmlTable t;
  Build(t);
  const CommandResult show = RunRavelin({"show", t.path, "dbo.Docs", "--quiet"});
  EXPECT_EQ(show.exitCode, 3) << show.err;
  EXPECT_NE(show.out.find("\n1\t" + t.smallText + "\n2\tNULL\n3\t" + t.largeText + "\n4\t" + t.damagedText + "\n"),
            std::string::npos)
      << show.out.substr(0, 300);
  EXPECT_NE(show.err.find("warning: dbo.Docs: a value cannot be read, page 1:40 slot 3, column Doc\n"),
            std::string::npos)
      << show.err;

  // The page dump lists the first tokens of the values kept in the row.
  const CommandResult page = RunRavelin({"page", t.path, "40", "--quiet"});
  EXPECT_EQ(page.exitCode, 0) << page.err;
  EXPECT_NE(page.out.find("    [0] xml tokens:\n      @0 header version 1\n      @5 NAMEDEF 1 \"a\"\n"),
            std::string::npos)
      << page.out;
  EXPECT_NE(page.out.find("      @15 SQL-NVARCHAR \"1 < 2\"\n"), std::string::npos);
  EXPECT_NE(page.out.find(" (cannot be read)\n"), std::string::npos) << "the damaged value's unknown token";
  const CommandResult json = RunRavelin({"page", t.path, "40", "--json", "--quiet"});
  EXPECT_NE(json.out.find("\"xmlTokens\":[{\"offset\":0,\"token\":\"header version 1\"},"), std::string::npos)
      << json.out.substr(0, 600);
  EXPECT_NE(json.out.find("\"xmlFaultOffset\":"), std::string::npos);
}

}  // namespace
}  // namespace ravelin
