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
  // Version numbers and names as the boot pages record them.
  const std::map<std::string, std::pair<int, std::string>> expected = {
      {"aspnetdb-sql2005-tractis.mdf",
       {611, "D:\\\\DESARROLLO\\\\KSI\\\\TRACTIS\\\\DEMO\\\\TRACTIS_DEMO\\\\APP_DATA\\\\ASPNETDB.MDF"}},
      {"aspnetdb-sql2008-webshopinholland.mdf", {655, "C:\\\\DOCUMENTS"}},
      {"mvcmusicstore-sql2012.mdf", {706, "MvcMusicStore"}},
      {"myshop-heap-sql2016-kancheng.mdf", {852, "C:\\\\ASPWS\\\\MYSHOP\\\\APP_DATA\\\\PRODUCTS.MDF"}},
      {"northwind-sql2000.mdf", {539, "Northwind"}},
      {"northwind-sql2008r2-sankaranarayanan.mdf", {661, "NORTHWND"}},
      {"pubs-sql2005-anhnbt.mdf", {611, "pubs"}},
  };
  for (const auto& [name, want] : expected) {
    auto r = RunRavelin({"info", data + "/" + name, "--json"});
    ASSERT_EQ(r.exitCode, 0) << name;
    EXPECT_EQ(JsonNumber(r.out, "versionNumber"), want.first) << name;
    EXPECT_NE(r.out.find("\"databaseName\":\"" + want.second + "\""), std::string::npos) << name << r.out;
    EXPECT_NE(r.out.find("\"codePage\":"), std::string::npos) << name;
    // The file table lists the primary file with every page of it.
    EXPECT_NE(r.out.find("\"files\":[{\"id\":1,"), std::string::npos) << name;
    EXPECT_NE(r.out.find("\"pageCount\":" + std::to_string(JsonNumber(r.out, "pageCount")) + "}"), std::string::npos)
        << name;
  }
}

}  // namespace
}  // namespace ravelin
