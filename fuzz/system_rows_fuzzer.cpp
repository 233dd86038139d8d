// Reads arbitrary bytes as one page of a system table with every reader of
// system rows, over the one parse of the page (slot array, records and,
// with the hunting option, records the slot array lost), in both catalog
// layouts. Any crash, hang, leak or undefined behaviour is a finding.
//
// Input: one option byte (fuzz_support.h: ReadOptionsFrom; bit 3 reads the
// object rows in the 2000 layout first), then the page; a shorter page is
// zero-filled. Seeds: catalog pages of the test files and of synthetic
// catalogs (fuzz_seeds).

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "catalog/data_page.h"
#include "fuzz_support.h"

namespace {

using namespace ravelin;
using namespace ravelin::fuzz;

struct Fixture {
  MemoryEnv env;
  MemoryDataFile file{env, "/fuzz/catalog.mdf", kRecordFixturePages};

  Fixture() { WriteRecordFixture(file); }
};

void ReadEverySystemTable(const CDataPage& page, bool sql2000) {
  uint64_t repair = 0;
  std::vector<ClassObjectRow> classObjects;
  page.ReadClassObjectRows(classObjects);
  std::vector<DataFileInfo> files;
  page.ReadFileRows(files);
  std::vector<ObjectRow> objects;
  page.ReadObjectRows(objects, classObjects, sql2000, repair);
  page.ReadObjectRows(objects, classObjects, !sql2000, repair);
  std::vector<AllocUnitRow> allocUnits;
  page.ReadAllocUnitRows(allocUnits);
  std::vector<RowsetRow> rowsets;
  page.ReadRowsetRows(rowsets);
  std::map<int32_t, LegacyIndexRoot> roots;
  page.ReadLegacyIndexRoots(roots);
  std::vector<LegacyIndexKey> keys;
  page.ReadLegacyIndexKeys(keys);
  std::vector<LegacyColumnRow> legacyColumns;
  page.ReadLegacyColumnRows(legacyColumns, repair);
  std::vector<ColumnRow> columns;
  page.ReadColumnRows(columns, repair);
  std::vector<TypeRow> types;
  page.ReadTypeRows(types);
  std::vector<RowsetColumnRow> rowsetColumns;
  page.ReadRowsetColumnRows(rowsetColumns);
  std::vector<ObjectRefRow> refs;
  page.ReadObjectRefRows(refs);
  std::vector<IndexRow> indexes;
  page.ReadIndexRows(indexes);
  std::vector<IndexColumnRow> indexColumns;
  page.ReadIndexColumnRows(indexColumns);
  std::vector<HobtColumnRow> hobtColumns;
  page.ReadHobtColumnRows(hobtColumns);
  std::vector<RowsetColumnMapRow> map;
  page.ReadRowsetColumnMapRows(map);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture f;
  if (size < 1) return 0;
  const uint8_t options = data[0];
  const CDataPage page(PageFrom(ByteSpan(data + 1, size - 1)), &f.file.Open(options & 7));
  ReadEverySystemTable(page, options & 8);
  return 0;
}
