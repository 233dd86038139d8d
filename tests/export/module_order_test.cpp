// The order of module definitions in the script, and the identifiers and
// statement kinds it is decided from.

#include "export/module_order.h"

#include <gtest/gtest.h>

namespace ravelin {
namespace {

std::vector<std::string> Names(const std::vector<ExportModule>& modules) {
  std::vector<std::string> names;
  for (size_t k : CreationOrder(modules)) names.push_back(modules[k].name);
  return names;
}

TEST(ModuleOrderTest, ModulesFollowWhatTheyName) {
  const std::vector<ExportModule> modules = {
      {"dbo", "p", ModuleType::kProcedure, "CREATE PROC p AS SELECT * FROM [dbo].[v2]"},
      {"dbo", "v2", ModuleType::kView, "CREATE VIEW v2 AS SELECT * FROM \"V1\""},
      {"dbo", "v1", ModuleType::kView, "CREATE VIEW v1 AS SELECT sales.f(1) AS x"},
      {"sales", "f", ModuleType::kScalarFunction, "CREATE FUNCTION sales.f(@x int) RETURNS int AS BEGIN RETURN 1 END"},
      {"dbo", "alone", ModuleType::kView, "CREATE VIEW alone AS SELECT 1 AS one"},
  };
  EXPECT_EQ(Names(modules), (std::vector<std::string>{"f", "v1", "v2", "p", "alone"}));
}

TEST(ModuleOrderTest, CommentsStringsAndOtherSchemasAreNotReferences) {
  const std::vector<ExportModule> modules = {
      {"dbo", "a", ModuleType::kView, "CREATE VIEW a AS SELECT 'b' AS s -- b\n/* b /* nested */ b */ FROM other.b"},
      {"dbo", "b", ModuleType::kView, "CREATE VIEW b AS SELECT N'a' AS s"},
  };
  EXPECT_EQ(Names(modules), (std::vector<std::string>{"a", "b"}));
}

TEST(ModuleOrderTest, CirclesKeepTheGivenOrder) {
  const std::vector<ExportModule> modules = {
      {"dbo", "x", ModuleType::kProcedure, "CREATE PROC x AS EXEC y"},
      {"dbo", "y", ModuleType::kProcedure, "CREATE PROC y AS EXEC x"},
      {"dbo", "z", ModuleType::kProcedure, "CREATE PROC z AS EXEC x"},
  };
  EXPECT_EQ(Names(modules), (std::vector<std::string>{"x", "y", "z"}));
}

TEST(ModuleOrderTest, IdentifiersAndCreateStatements) {
  const auto ids = IdentifiersOf("SELECT [a]]b].\"c\"\"d\" FROM s.t WHERE x = 'not.me' -- gone");
  ASSERT_EQ(ids.size(), 8u);  // SELECT a]b c"d FROM s t WHERE x
  EXPECT_EQ(ids[1].name, "a]b");
  EXPECT_EQ(ids[2].qualifier, "a]b");
  EXPECT_EQ(ids[2].name, "c\"d");
  EXPECT_EQ(ids[4].qualifier, "");
  EXPECT_EQ(ids[5].qualifier, "s");
  EXPECT_EQ(ids[5].name, "t");
  EXPECT_EQ(ids[7].qualifier, "");
  EXPECT_EQ(ids[7].name, "x");
  EXPECT_TRUE(IsCreateStatement("  -- header\r\n/* more */ create view v as select 1"));
  EXPECT_FALSE(IsCreateStatement("((0))"));
  EXPECT_FALSE(IsCreateStatement("CREATED"));
}

}  // namespace
}  // namespace ravelin
