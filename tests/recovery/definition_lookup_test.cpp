#include "recovery/definition_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "catalog/system_catalog.h"
#include "recovery/definitions.h"
#include "recovery/object_selection.h"
#include "recovery/run_commands.h"
#include "storage/database_file.h"
#include "support/catalog_image.h"
#include "support/catalog_rows.h"
#include "support/opened_run.h"
#include "support/recording_sink.h"
#include "support/recording_view.h"
#include "support/reference_dump.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using namespace testing;

TEST(DefinitionLookup, PiecesJoinInTheOrderRead) {
  // Two narrow pieces, the first ending in a blank, and another object's
  // row between them.
  std::vector<DefinitionEntry> rows = {{"5", "0", "0x414220"}, {"6", "0", "0x5A"}, {"5", "1", "0x4344"}};
  EXPECT_EQ(AssembleDefinition(rows, "5"), "AB CD");
  EXPECT_EQ(AssembleDefinition(rows, "05"), "");
  // The same narrow row read twice shows once; wide pieces always join.
  rows = {{"5", "0", "0x4142"}, {"5", "0", "0x4142"}, {"7", "0", "0x41004200"}, {"7", "0", "0x41004200"}};
  EXPECT_EQ(AssembleDefinition(rows, "5"), "AB");
  EXPECT_EQ(AssembleDefinition(rows, "7"), "ABAB");
  // A wide piece of odd length, and one cut at its first zero unit.
  EXPECT_EQ(AssembleDefinition({{"8", "0", "0x410042"}}, "8"), "AB");
  EXPECT_EQ(AssembleDefinition({{"8", "0", "0x4100000042"}}, "8"), "A");
  // Value texts that are no hex rendering give what digits they have.
  EXPECT_EQ(DecodeHexValueText("NULL"), Bytes{});
  EXPECT_EQ(DecodeHexValueText("0x41zz42"), Bytes{0x41});
  EXPECT_EQ(DecodeHexValueText("0x4"), Bytes{});
}

Bytes ObjValuesRow(int32_t objectId, const Bytes& definition) {
  return RecordBuilder()
      .Fixed(Concat({Bytes{1}, LE32(static_cast<uint32_t>(objectId)), LE32(0), LE32(0)}))
      .ColumnCount(6)
      .Var({})
      .Var(definition)
      .Build();
}

size_t Count(const std::vector<std::string>& texts, const std::string& text) {
  return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
}

TEST(DefinitionLookup, RowsReadOnTheFirstLookupAndAgainWhileNoneWereFound) {
  DatabaseImage image = SmallCatalogImage(48);
  SystemTablePage(image, 40, 60, {ObjValuesRow(105, Utf16("SELECT 1")), ObjValuesRow(106, Ascii("EXEC x"))});
  for (const bool withRows : {true, false}) {
    SCOPED_TRACE(withRows);
    TestDatabase database(withRows ? image : SmallCatalogImage(48));
    ASSERT_TRUE(database.OpenDatabase());
    RecoverySettings settings;
    RecordingSink sink;
    RecordingView view;
    RecoveryState state(settings, view);
    state.SetDatabase(database.Release());
    ASSERT_NE(state.catalog(), nullptr);
    EXPECT_EQ(LookUpDefinition(state, sink, "105"), withRows ? "SELECT 1" : "");
    EXPECT_EQ(LookUpDefinition(state, sink, "106"), withRows ? "EXEC x" : "");
    EXPECT_EQ(state.lookupLoaded, withRows);
    EXPECT_EQ(Count(sink.Texts('L'), kTextRetrievingDefinitions), withRows ? 1u : 2u);
    EXPECT_TRUE(state.catalog()->columnDescriptors.empty());
  }
}

TEST(DefinitionLookup, EveryModuleOfTheRealFilesExactly) {
  const std::string data = TestDataDir();
  if (data.empty()) GTEST_SKIP() << "no test data";
  TempDir logs;
  size_t modules = 0;
  for (const std::string& reference : ReferenceDumps(data)) {
    SCOPED_TRACE(reference);
    OpenedRun opened;
    ASSERT_TRUE(opened.Open(DumpedDataFile(data, reference), logs.path()));
    for (const std::vector<std::string>& f : DumpLines(reference)) {
      if (f.size() < 4 || f[0] != "MODULE") continue;
      // The 2000 layout names objects without their owner.
      const std::string object = opened.settings.isSql2000 ? f[1].substr(f[1].find('.') + 1) : f[1];
      EXPECT_EQ(ObjectDefinition(opened.state, opened.logging, object),
                std::optional<std::string>(testing::UnescapeReferenceField(f[3])))
          << object;
      ++modules;
    }
  }
  EXPECT_GT(modules, 190u);
}

}  // namespace
}  // namespace ravelin
