#include "recovery/recovery_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "support/catalog_image.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::DatabaseImage;
using testing::LE16;
using testing::LE32;
using testing::SmallCatalogImage;
using testing::TempDir;
using testing::TestDatabase;
using testing::Utf16;

TEST(RecoverySettings, AFreshRunReadsInStandardModeAndDetectsTheCollation) {
  RecoverySettings s;
  const OpenRequest request = OpenRequestFor(s, "/db/sales.mdf");
  EXPECT_EQ(request.path, "/db/sales.mdf");
  EXPECT_FALSE(request.options.IsAdvancedMode());
  EXPECT_FALSE(request.options.showDeleted);
  EXPECT_FALSE(request.options.Hunts());
  EXPECT_TRUE(request.autoDetectCollation);
  EXPECT_EQ(request.collations, &s.collationTable);
}

TEST(RecoverySettings, EachDatabaseOpenedReplacesWhatTheOneBeforeShowed) {
  // A 2005 database in Cyrillic, then one whose boot page is lost: the
  // second must not be read in the first one's code page.
  DatabaseImage cyrillic = SmallCatalogImage();
  cyrillic.Page(9).PageType(13).Put(100, LE16(611)).Put(148, Utf16("Sales")).Put(488, LE32(53269));
  RecoverySettings s;
  s.collationTable[53269] = {"Cyrillic_General_CI_AS", 1251};

  TestDatabase first(cyrillic);
  first.collations() = s.collationTable;
  ASSERT_TRUE(first.OpenDatabase());
  TakeDiscoveredValues(s, first.opened());
  EXPECT_EQ(s.versionText, " SQL Server 2005");
  EXPECT_TRUE(s.collationFound);
  EXPECT_EQ(s.collationName, "Cyrillic_General_CI_AS");
  EXPECT_EQ(s.codePage, 1251);
  EXPECT_FALSE(s.isSql2000.load());

  TestDatabase second(SmallCatalogImage());
  second.collations() = s.collationTable;
  ASSERT_TRUE(second.OpenDatabase());
  TakeDiscoveredValues(s, second.opened());
  EXPECT_EQ(s.versionText, "Unknown SQL Version");
  EXPECT_FALSE(s.collationFound);
  EXPECT_EQ(s.collationName, "");
  EXPECT_EQ(s.codePage, 1252);
}

TEST(CollationTable, ParsesLinesAndSkipsBrokenOnes) {
  CollationTable t = ParseCollationTable(
      "Latin1_General_CI_AS\t53256\t1252\r\n"
      "\n"
      "no tab at all\n"
      "OneTab\t53256\n"
      "EmptyRest\t\n"
      "Negative\t-5\t1250\n"
      "Blanks\t  77\t 936\n"
      "Replaced\t53256\t1251\n"
      "NoDigits\tabc\t437\n");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t.at(53256).name, "Replaced");
  EXPECT_EQ(t.at(53256).codePage, 1251);
  EXPECT_EQ(t.at(-5).codePage, 1250);
  EXPECT_EQ(t.at(77).codePage, 936);
  EXPECT_EQ(t.at(0).name, "NoDigits");
}

TEST(CollationTable, ShippedFileCoversTheTestCollations) {
  CollationTable t = LoadCollationTable(std::string(RAVELIN_SOURCE_DIR) + "/data/collation.txt");
  EXPECT_EQ(t.size(), 3955u);
  EXPECT_EQ(t.at(872468488).name, "SQL_Latin1_General_CP1_CI_AS");
  EXPECT_EQ(t.at(53256).name, "Latin1_General_CI_AS");
  EXPECT_EQ(t.at(53268).codePage, 1250);
  EXPECT_TRUE(LoadCollationTable("/nonexistent/collation.txt").empty());
}

TEST(OpenChoice, ValidatesInTheDialogsOrder) {
  TempDir dir;
  std::string mdf = dir.Write("x.mdf", Bytes(10));
  std::string bak = dir.Write("Sales.MDF.bak", Bytes(10));
  RecoverySettings s;
  OpenChoice c;
  c.logFolder = dir.path();
  // As the Open command does: check, and store only what passed.
  auto ValidateAndApplyOpenChoice = [](const OpenChoice& choice, RecoverySettings& settings) {
    std::string refusal = CheckOpenChoice(choice);
    if (refusal.empty()) ApplyOpenChoice(choice, settings);
    return refusal;
  };

  c.dataFilePath = dir.path() + "/missing.mdf";
  EXPECT_EQ(ValidateAndApplyOpenChoice(c, s), "Please select valid SQL file path to continue the recovery process.");
  c.dataFilePath = dir.Write("data.bin", Bytes(10));
  EXPECT_EQ(ValidateAndApplyOpenChoice(c, s), "Please select valid SQL file path to continue the recovery process.");

  c.dataFilePath = mdf;
  c.logFolder = dir.path() + "/no-such-folder";
  EXPECT_EQ(ValidateAndApplyOpenChoice(c, s), "Please select valid Log file path to continue the recovery process.");
  EXPECT_TRUE(s.dataFilePath.empty()) << "nothing is stored before every check passed";

  c.dataFilePath = bak;  // ".MDF" anywhere in the path, any case
  c.logFolder = dir.path();
  c.modeIndex = 1;
  c.showDeleted = true;
  EXPECT_EQ(ValidateAndApplyOpenChoice(c, s), "");
  EXPECT_EQ(s.dataFilePath, bak);
  EXPECT_EQ(s.logFolder, dir.path() + "/");
  EXPECT_TRUE(s.IsAdvancedMode());
  EXPECT_TRUE(s.showDeleted);
  EXPECT_FALSE(s.showAdvancedDeleted);

  c.logFolder = dir.path() + "/";
  c.dataFilePath = mdf;
  c.modeIndex = 0;
  EXPECT_EQ(ValidateAndApplyOpenChoice(c, s), "");
  EXPECT_EQ(s.logFolder, dir.path() + "/");
  EXPECT_EQ(s.recoveryMode, RecoveryMode::kStandard);
}

TEST(DefaultLogFolder, FollowsXdgAndCreatesTheFolder) {
  TempDir home;
  std::string config = home.path() + "/cfg";
  std::filesystem::create_directories(config);
  home.Write("cfg/user-dirs.dirs", testing::Ascii("# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"));
  std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", home.path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  std::string folder = DefaultLogFolder();
  setenv("HOME", oldHome.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(folder, home.path() + "/Schreibtisch/");
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

// Sets environment variables for one test and puts them back.
class ScopedEnvironment {
 public:
  void Set(const char* name, const char* value) {
    if (!saved_.count(name)) saved_[name] = getenv(name) ? std::optional<std::string>(getenv(name)) : std::nullopt;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(StateLogFolder, FollowsXdgStateHomeAndCreatesNothingElse) {
  TempDir root;
  ScopedEnvironment env;
  env.Set("HOME", (root.path() + "/home").c_str());
  std::filesystem::create_directories(root.path() + "/home");
  env.Set("XDG_STATE_HOME", (root.path() + "/state").c_str());
  EXPECT_EQ(StateLogFolder(), root.path() + "/state/ravelin/");
  EXPECT_TRUE(std::filesystem::is_directory(root.path() + "/state/ravelin"));
  EXPECT_FALSE(std::filesystem::exists(root.path() + "/home/Desktop"));
  // A relative XDG_STATE_HOME is ignored: the home's own state folder.
  env.Set("XDG_STATE_HOME", "relative");
  EXPECT_EQ(StateLogFolder(), root.path() + "/home/.local/state/ravelin/");
  env.Set("XDG_STATE_HOME", nullptr);
  EXPECT_EQ(StateLogFolder(), root.path() + "/home/.local/state/ravelin/");
  EXPECT_EQ(
      std::filesystem::status(root.path() + "/home/.local/state/ravelin").permissions() & std::filesystem::perms::all,
      std::filesystem::perms::owner_all);
}

TEST(StateLogFolder, WithoutAUsableHomeThereIsNone) {
  TempDir root;
  ScopedEnvironment env;
  env.Set("XDG_STATE_HOME", nullptr);
  env.Set("HOME", (root.path() + "/gone").c_str());
  std::string problem;
  EXPECT_EQ(StateLogFolder(&problem), "");
  EXPECT_EQ(problem, "the home folder " + root.path() + "/gone does not exist");
  // A home where a file stands in the way of .local/state.
  env.Set("HOME", root.path().c_str());
  root.Write(".local", testing::Ascii("a file"));
  EXPECT_EQ(StateLogFolder(&problem), "");
  EXPECT_EQ(problem.rfind(root.path() + "/.local/state/ravelin cannot be created (", 0), 0u) << problem;
}

TEST(LogFolderProblem, NamesTheFolderAndTheReason) {
  TempDir root;
  EXPECT_EQ(LogFolderProblem(root.path()), "");
  EXPECT_EQ(LogFolderProblem(root.path() + "/none"),
            "the log folder " + root.path() + "/none cannot be used: No such file or directory");
  const std::string file = root.Write("file", testing::Ascii("x"));
  EXPECT_EQ(LogFolderProblem(file), "the log folder " + file + " is not a folder");
}

}  // namespace
}  // namespace ravelin
