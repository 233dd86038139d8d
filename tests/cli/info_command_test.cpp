// End-to-end: `ravelin info` on synthetic files and on the real test files.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>

#include "storage/page_types.h"
#include "support/run_command.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::Concat;
using testing::RunRavelin;
using testing::TempDir;

const char kNotValid[] = "Wheteher File is not valid mdf file or file is highly corrupted...........";

// The value of a numeric key of the one-line JSON object.
long long JsonNumber(const std::string& json, const std::string& key) {
  std::smatch m;
  std::regex re("\"" + key + "\":(-?[0-9]+)");
  if (!std::regex_search(json, m, re)) return -1;
  return std::stoll(m[1]);
}

TEST(InfoCommand, BadInputExitsOneWithAClearText) {
  TempDir dir;
  struct Case {
    std::string path;
    std::string text;
  } cases[] = {
      {dir.path() + "/missing.mdf", "File cannot be open..........."},
      {dir.path(), "File cannot be open..........."},
      {dir.Write("short.mdf", Bytes(8191, 1)), kNotValid},
      {dir.Write("zero.mdf", Bytes(8 * kPageSize, 0)), kNotValid},
  };
  for (const Case& c : cases) {
    auto r = RunRavelin({"info", c.path, "--json"});
    EXPECT_EQ(r.exitCode, 1) << c.path;
    EXPECT_NE(r.err.find(c.text), std::string::npos) << c.path << ": " << r.err;
    EXPECT_EQ(r.out, "") << c.path;
  }
}

TEST(InfoCommand, UsageErrorsAreNotCrashes) {
  EXPECT_EQ(RunRavelin({}).exitCode, 2);
  EXPECT_EQ(RunRavelin({"info"}).exitCode, 2);
  EXPECT_EQ(RunRavelin({"frobnicate"}).exitCode, 2);
}

TEST(InfoCommand, RealFilesWithAndWithoutDisplacement) {
  std::string data = testing::TestDataDir();
  if (data.empty()) GTEST_SKIP() << "no test data";
  TempDir dir;
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(data)) {
    if (entry.path().extension() != ".mdf") continue;
    ++seen;
    const std::string name = entry.path().filename().string();
    Bytes bytes = testing::ReadFileBytes(entry.path().string());
    auto plain = RunRavelin({"info", entry.path().string(), "--json"});
    ASSERT_EQ(plain.exitCode, 0) << name << plain.err;
    EXPECT_EQ(JsonNumber(plain.out, "pageCount"), static_cast<long long>(bytes.size() / kPageSize)) << name;
    EXPECT_EQ(JsonNumber(plain.out, "startOffset"), 0) << name;
    EXPECT_GT(JsonNumber(plain.out, "systemPages"), 0) << name;

    auto front = RunRavelin({"info", dir.Write("front.mdf", Concat({Bytes(100, 0x55), bytes})), "--json"});
    ASSERT_EQ(front.exitCode, 0) << name;
    EXPECT_EQ(JsonNumber(front.out, "startOffset"), 100) << name;
    auto back = RunRavelin({"info", dir.Write("back.mdf", Concat({bytes, Bytes(100, 0x55)})), "--json"});
    ASSERT_EQ(back.exitCode, 0) << name;
    EXPECT_EQ(JsonNumber(back.out, "startOffset"), 0) << name;
    for (const char* key : {"pageCount", "systemPages", "dataPages", "iamPages"}) {
      EXPECT_EQ(JsonNumber(front.out, key), JsonNumber(plain.out, key)) << name << " " << key;
      EXPECT_EQ(JsonNumber(back.out, key), JsonNumber(plain.out, key)) << name << " " << key;
    }
  }
  EXPECT_GE(seen, 15);
}

TEST(InfoCommand, BootPageAndFileTableOfTheRealFiles) {
  std::string data = testing::TestDataDir();
  if (data.empty()) GTEST_SKIP() << "no test data";
  // Version numbers, their texts and the whole names the boot pages record
  // (blanks and Cyrillic kept), as JSON escapes them.
  struct Expected {
    int version;
    std::string text, name;
  };
  const std::map<std::string, Expected> expected = {
      {"aspnetdb-sql2005-tractis.mdf",
       {611, "SQL Server 2005", R"(D:\\DESARROLLO\\KSI\\TRACTIS\\DEMO\\TRACTIS_DEMO\\APP_DATA\\ASPNETDB.MDF)"}},
      {"aspnetdb-sql2008-webshopinholland.mdf",
       {655, "SQL Server 2008",
        R"(C:\\DOCUMENTS AND SETTINGS\\ARYA_N_N\\DESKTOP\\ZERO GRAVITY\\BRAND NEW\\WEBSHOPINHOLLAND\\APP_DATA\\ASPNETDB.MDF)"}},
      {"contosouniversity-ef-sql2012.mdf",
       {706, "SQL Server 2012", "CONTOSOUNIVERSITY_ce293f035652488c8626562cc25a8b54"}},
      {"empty-sql2005-database1.mdf", {611, "SQL Server 2005", R"(D:\\WEBAPPLICATION3\\APP_DATA\\DATABASE1.MDF)"}},
      {"mvcmusicstore-sql2012.mdf", {706, "SQL Server 2012", "MvcMusicStore"}},
      {"myshop-heap-sql2016-kancheng.mdf", {852, "SQL Server 2016", R"(C:\\ASPWS\\MYSHOP\\APP_DATA\\PRODUCTS.MDF)"}},
      {"newsengine-sql2008-irinabutaru.mdf",
       {655, "SQL Server 2008",
        R"(C:\\USERS\\IRINA.B\\DESKTOP\\DAW\\LABORATOR\\ENGINE_STIRI_1\\ENGINE_STIRI_1\\APP_DATA\\DATABASE.MDF)"}},
      {"northwind-sql2000.mdf", {539, "SQL Server 2000", "Northwind"}},
      {"northwind-sql2005-renthouse.mdf", {611, "SQL Server 2005", R"(D:\\WEBAPPLICATION3\\APP_DATA\\NORTHWND.MDF)"}},
      {"northwind-sql2008r2-sankaranarayanan.mdf", {661, "SQL Server 2008 R2", "NORTHWND"}},
      {"phonebook-sql2012-unn.mdf",
       {706, "SQL Server 2012",
        "E:\\\\\xD0\xA3\xD0\x9F\xD0\xA0\xD0\x90\xD0\x92\xD0\x9B\xD0\x95\xD0\x9D\xD0\x98\xD0\x95 "
        "\xD0\x94\xD0\x90\xD0\x9D\xD0\x9D\xD0\xAB\xD0\x9C\xD0\x98\\\\DATABASE (1-\xD0\x90\xD0\xAF "
        "\xD0\xA4\xD0\x9E\xD0\xA0\xD0\x9C\xD0\x90 (+\xD0\x9F\xD0\x9E\xD0\x98\xD0\xA1\xD0\x9A),+) "
        "06.04.2023\\\\DATABASE\\\\DATABASE1.MDF"}},
      {"pubs-sql2000.mdf", {539, "SQL Server 2000", "pubs"}},
      {"pubs-sql2005-anhnbt.mdf", {611, "SQL Server 2005", "pubs"}},
      {"pubs-sql2008-itsligo.mdf", {655, "SQL Server 2008", R"(C:\\DBS\\PUBS.MDF)"}},
      {"school-sql2016-kancheng.mdf", {852, "SQL Server 2016", R"(C:\\ASPWS\\CH9\\SQLLANGPRA\\APP_DATA\\SCHOOL.MDF)"}},
  };
  for (const auto& [name, want] : expected) {
    auto r = RunRavelin({"info", data + "/" + name, "--json"});
    ASSERT_EQ(r.exitCode, 0) << name;
    EXPECT_EQ(JsonNumber(r.out, "versionNumber"), want.version) << name;
    EXPECT_NE(r.out.find("\"versionText\":\"" + want.text + "\""), std::string::npos) << name << r.out;
    EXPECT_NE(r.out.find("\"databaseName\":\"" + want.name + "\""), std::string::npos) << name << r.out;
    EXPECT_NE(r.out.find("\"codePage\":"), std::string::npos) << name;
    // The file table lists the primary file with every page of it.
    EXPECT_NE(r.out.find("\"files\":[{\"id\":1,"), std::string::npos) << name;
    EXPECT_NE(r.out.find("\"pageCount\":" + std::to_string(JsonNumber(r.out, "pageCount")) + "}"), std::string::npos)
        << name;
    auto text = RunRavelin({"info", data + "/" + name});
    EXPECT_NE(text.out.find("Version:       " + std::to_string(want.version) + " (" + want.text + ")\n"),
              std::string::npos)
        << name << text.out;
  }
}

}  // namespace
}  // namespace ravelin
