#include "storage/boot_page.h"

#include <gtest/gtest.h>

#include "storage/collation.h"
#include "storage/text_codec.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::DatabaseImage;
using testing::LE16;
using testing::LE32;
using testing::TestDatabase;

// A boot page: version at 100, name field at 148, collation at 488.
Bytes BootPage(uint16_t version, const Bytes& nameField, int32_t collation) {
  Bytes page(kPageSize, 0);
  auto put = [&page](size_t at, const Bytes& b) { std::copy(b.begin(), b.end(), page.begin() + at); };
  put(100, LE16(version));
  put(148, nameField);
  put(488, LE32(static_cast<uint32_t>(collation)));
  return page;
}

// A name field as SQL Server pads it: UTF-16 units, then 0x20 bytes.
Bytes NameField(const std::string& name) {
  Bytes field = testing::Utf16(name);
  field.resize(256, 0x20);
  return field;
}

TEST(BootPage, VersionTexts) {
  EXPECT_EQ(VersionText(539), " SQL Server 2000");
  EXPECT_EQ(VersionText(661), " SQL Server 2008 R2");
  EXPECT_EQ(VersionText(660), " SQL Server 2008 R2");
  EXPECT_EQ(VersionText(782), " SQL Server 2014");
  EXPECT_EQ(VersionText(700), "Unknown SQL Version");
  // Up to SQL Server 2022; the names without the log's leading blank.
  for (const auto& [version, name] : std::vector<std::pair<uint16_t, std::string>>{{852, "SQL Server 2016"},
                                                                                   {869, "SQL Server 2017"},
                                                                                   {895, "SQL Server 2019"},
                                                                                   {904, "SQL Server 2019"},
                                                                                   {957, "SQL Server 2022"},
                                                                                   {611, "SQL Server 2005"}}) {
    EXPECT_EQ(VersionName(version), name) << version;
    EXPECT_EQ(VersionText(version), " " + name) << version;
  }
  EXPECT_EQ(VersionName(700), "");
}

TEST(BootPage, NameRules) {
  // The recorded length in bytes reads the name whole: blanks, a leading
  // blank and any script.
  EXPECT_EQ(DecodeBootName(NameField("Sales"), 10), "Sales");
  EXPECT_EQ(DecodeBootName(NameField("My Sales"), 16), "My Sales");
  EXPECT_EQ(DecodeBootName(NameField(" Sales"), 12), " Sales");
  const std::string cyrillic = "E:\\\xD0\xA3\xD0\x9F\xD0\xA0 \xD0\x94\xD0\x90\\DB.MDF";
  EXPECT_EQ(DecodeBootName(NameField(cyrillic), static_cast<int32_t>(testing::Utf16(cyrillic).size())), cyrillic);
  // Without a length that fits the field: up to the padding, without
  // trailing blanks.
  EXPECT_EQ(DecodeBootName(NameField("My Sales")), "My Sales");
  EXPECT_EQ(DecodeBootName(NameField("My Sales "), 9999), "My Sales");
  EXPECT_EQ(DecodeBootName(NameField(cyrillic), 3), cyrillic);
  EXPECT_EQ(DecodeBootName(Bytes(256, 0)), "");
  EXPECT_EQ(DecodeBootName(Bytes(256, 0), 0), "");
}

TEST(BootPage, WholeNameFromThePage) {
  Bytes page = BootPage(852, NameField("My Big Database"), 0);
  const Bytes length = LE32(30);
  std::copy(length.begin(), length.end(), page.begin() + 404);
  const BootInfo boot = DecodeBootPage(page);
  EXPECT_EQ(boot.databaseName, "My Big Database");
  EXPECT_EQ(VersionName(boot.version), "SQL Server 2016");
}

TEST(BootPage, CollationByFullIdThenLow16Bits) {
  const CollationTable table =
      ParseCollationTable("SQL_Latin1_General_CP1_CI_AS\t872468488\t1252\nRomanian_CI_AS\t53268\t1250\n");
  const BootInfo boot = DecodeBootPage(BootPage(611, NameField("db"), 872468488));
  EXPECT_EQ(boot.version, 611);
  EXPECT_EQ(boot.databaseName, "db");
  CollationContext full(&table);
  full.ApplyDatabaseCollation(boot.collationId);
  EXPECT_TRUE(full.found);
  EXPECT_EQ(full.name, "SQL_Latin1_General_CP1_CI_AS");
  EXPECT_EQ(full.detectedId, 872468488);

  CollationContext low(&table);
  low.ApplyDatabaseCollation(DecodeBootPage(BootPage(611, NameField("db"), 0x7FFF0000 | 53268)).collationId);
  EXPECT_EQ(low.name, "Romanian_CI_AS");
  EXPECT_EQ(low.codePage, 1250);
  EXPECT_EQ(low.detectedId, 53268);
  EXPECT_EQ(low.CodePageFor(53268), 1250);
  EXPECT_EQ(low.CodePageFor(872468488), 1252) << "another collation of the table";
  EXPECT_EQ(low.CodePageFor(0), AnsiCodePage());

  CollationContext manual(&table);
  manual.autoDetect = false;
  manual.manualId = 53268;
  manual.ApplyDatabaseCollation(872468488);
  EXPECT_EQ(manual.name, "Romanian_CI_AS");

  CollationContext unknown(&table);
  unknown.ApplyDatabaseCollation(12345);
  EXPECT_FALSE(unknown.found);
  EXPECT_EQ(unknown.codePage, 1252);
}

TEST(BootPage, FoundThroughTheDisplacementOfTheFirstCatalogPage) {
  // Every page is stored one position later than its number says: the page
  // whose header says 20 lies at position 21, so the boot page (9) lies at
  // position 10.
  DatabaseImage image(30);
  image.Page(21).ObjectId(7).This({1, 20});
  image.SetRaw(10, BootPage(655, NameField("Shifted"), 0));
  image.SetRaw(9, BootPage(539, NameField("Wrong"), 0));
  TestDatabase t(image);
  ASSERT_TRUE(t.Open());
  std::optional<BootInfo> shifted = t.db().LoadDatabaseName();
  ASSERT_TRUE(shifted);
  EXPECT_EQ(shifted->databaseName, "Shifted");
  EXPECT_EQ(shifted->version, 655);

  DatabaseImage plain(30);
  plain.Page(3).ObjectId(34);
  plain.SetRaw(9, BootPage(706, NameField("Plain"), 0));
  TestDatabase p(plain);
  ASSERT_TRUE(p.Open());
  EXPECT_EQ(p.db().LoadDatabaseName()->databaseName, "Plain");

  DatabaseImage tiny(5);
  tiny.Page(3).ObjectId(34);
  TestDatabase n(tiny);
  ASSERT_TRUE(n.Open());
  EXPECT_FALSE(n.db().LoadDatabaseName()) << "page 9 lies beyond the file";
}

}  // namespace
}  // namespace ravelin
