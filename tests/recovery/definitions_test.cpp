#include "recovery/definitions.h"

#include <gtest/gtest.h>

#include "catalog/system_catalog.h"
#include "recovery/definition_lookup.h"
#include "recovery/run_commands.h"
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

// A sysobjvalues row: valclass, objid, subobjid, valnum, then the value
// (empty) and the definition bytes.
Bytes ObjValuesRow(int32_t objectId, int32_t subId, const Bytes& definition) {
  return RecordBuilder()
      .Fixed(Concat({Bytes{1}, LE32(static_cast<uint32_t>(objectId)), LE32(static_cast<uint32_t>(subId)), LE32(0)}))
      .ColumnCount(6)
      .Var({})
      .Var(definition)
      .Build();
}

TEST(Definitions, RowsOfTheDataPagesBecomeEntries) {
  DatabaseImage image = SmallCatalogImage(48);
  SystemTablePage(image, 40, 60, {ObjValuesRow(105, 0, Utf16("AB")), ObjValuesRow(106, 2, Ascii("x"))});
  // An allocation page of the table: its records are no definition rows.
  SystemTablePage(image, 41, 60, {ObjValuesRow(999, 0, Ascii("junk"))}).PageType(10);
  SystemTablePage(image, 42, 60, {ObjValuesRow(107, 0, Ascii("y"))});
  TestDatabase database(image);
  ASSERT_TRUE(database.OpenDatabase());
  RecordingSink sink;
  std::vector<DefinitionEntry> entries;
  ReadDefinitionRows(database.opened(), SysObjValuesColumns(), sink, entries);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].objectIdText, "105");
  EXPECT_EQ(entries[0].numberText, "0");
  EXPECT_EQ(entries[0].valueText, "0x41004200");
  EXPECT_EQ(entries[1].numberText, "2");
  EXPECT_EQ(entries[1].valueText, "0x78");
  EXPECT_EQ(entries[2].objectIdText, "107");
  EXPECT_EQ(sink.Texts('L'), (std::vector<std::string>{kTextRetrievingDefinitions, kTextRetrievingDefinitionsDone}));
  EXPECT_EQ(sink.events()[1].kind, 'R');
  EXPECT_EQ(sink.events()[1].b, 3);

  // A stop ends the reading after the page being read.
  sink.onPosition = [&](int64_t) { database.stopFlag() = true; };
  entries.clear();
  ReadDefinitionRows(database.opened(), SysObjValuesColumns(), sink, entries);
  EXPECT_EQ(entries.size(), 2u);
}

TEST(Definitions, ScanReadsEveryModuleTextOfTheRealFiles) {
  const std::string data = TestDataDir();
  if (data.empty()) GTEST_SKIP() << "no test data";
  TempDir logs;
  for (const std::string reference :
       {"/reference/scripted/pubs-sql2000.mdf.tsv", "/reference/scripted/northwind-sql2000.mdf.tsv",
        "/reference/pubs-sql2008-itsligo.mdf.tsv", "/reference/aspnetdb-sql2008-webshopinholland.mdf.tsv"}) {
    SCOPED_TRACE(reference);
    OpenedRun opened;
    ASSERT_TRUE(opened.Open(DumpedDataFile(data, reference), logs.path()));
    const RecoveryState& state = opened.state;
    EXPECT_TRUE(state.catalog()->columnDescriptors.empty());

    size_t modules = 0;
    for (const std::vector<std::string>& f : DumpLines(data + reference)) {
      if (f.size() < 4 || f[0] != "MODULE") continue;
      std::string object = opened.settings.isSql2000 ? f[1].substr(f[1].find('.') + 1) : f[1];
      int32_t id = 0;
      for (const ObjectRow& row : state.catalog()->objects)
        if (row.name == object) id = row.objectId;
      EXPECT_NE(
          AssembleDefinition(state.scanDefinitions, std::to_string(id)).find(testing::UnescapeReferenceField(f[3])),
          std::string::npos)
          << object;
      ++modules;
    }
    EXPECT_GT(modules, 0u);
  }
}

}  // namespace
}  // namespace ravelin
