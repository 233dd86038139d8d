// Preparing every table of a large catalog, as building the object tree
// does: 10,000 tables with 20 columns each (200,000 column rows), each with
// a primary key, a clustered rowset, an allocation unit, physical column
// rows and one data page. Once through the indexes, once walking the lists.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "catalog/system_catalog.h"

namespace ravelin {
namespace {

constexpr int kTables = 10000;
constexpr int kColumnsPerTable = 20;

struct LargeCatalog {
  PageMap systemPages, dataPages, iamPages;
  std::unique_ptr<SystemCatalog> catalog;
  std::vector<ObjectRow> tables;

  LargeCatalog() {
    catalog = std::make_unique<SystemCatalog>();
    SystemCatalog& c = *catalog;
    for (int id : {56, 167, 231}) {
      TypeRow type;
      type.typeId = id;
      type.systemTypeId = static_cast<uint8_t>(id);
      type.schemaId = 4;
      type.name = id == 56 ? "int" : id == 167 ? "varchar" : "nvarchar";
      c.types.push_back(type);
    }
    for (int t = 0; t < kTables; ++t) {
      const int32_t objectId = 1000 + t * 2;
      const int64_t rowsetId = (int64_t{256} << 48) | (int64_t{t + 1} << 16);
      const uint32_t key = 200 + static_cast<uint32_t>(t);
      ObjectRow table;
      table.objectId = objectId;
      table.name = "dbo.Table" + std::to_string(t);
      table.typeCode = "U ";
      table.parentId = 0;
      c.objects.push_back(table);
      tables.push_back(table);
      ObjectRow pk = table;
      pk.objectId = objectId + 1;
      pk.name = "dbo.PK_Table" + std::to_string(t);
      pk.typeCode = "PK";
      pk.parentId = objectId;
      c.objects.push_back(pk);

      RowsetRow rowset;
      rowset.rowsetId = rowsetId;
      rowset.objectId = objectId;
      rowset.indexId = 1;
      c.rowsets.push_back(rowset);
      AllocUnitRow unit;
      unit.allocUnitId = (int64_t{256} << 48) | (int64_t{key} << 16);
      unit.ownerId = rowsetId;
      unit.type = 1;
      unit.firstPage = {1, static_cast<int32_t>(100 + t)};
      c.allocUnits.push_back(unit);
      dataPages[key].push_back({1, static_cast<uint32_t>(100 + t), 1});

      IndexRow index;
      index.objectId = objectId;
      index.indexId = 1;
      index.status = 0x29;
      index.rowsetId = rowsetId;
      c.indexes.push_back(index);
      IndexColumnRow keyColumn;
      keyColumn.objectId = objectId;
      keyColumn.indexId = 1;
      keyColumn.columnId = 1;
      keyColumn.keyOrdinal = 1;
      c.indexColumns.push_back(keyColumn);

      for (int k = 1; k <= kColumnsPerTable; ++k) {
        ColumnRow column;
        column.objectId = objectId;
        column.number = 0;
        column.columnId = k;
        column.name = "Column" + std::to_string(k);
        column.systemTypeId = k % 3 == 0 ? 231 : k % 3 == 1 ? 56 : 167;
        column.userTypeId = column.systemTypeId;
        column.length = column.systemTypeId == 56 ? 4 : 100;
        column.status = k == 1 ? 1 : 0;
        c.columns.push_back(column);
        RowsetColumnRow physical;
        physical.rowsetId = rowsetId;
        physical.rowsetColumnId = k;
        physical.hobtColumnId = k;
        physical.offset = 4 * k;
        physical.nullBit = k;
        c.rowsetColumns.push_back(physical);
      }
    }
    c.BindPageMaps(&systemPages, &dataPages, &iamPages);
    c.JoinChildObjects();
    c.BuildIndexes();
  }
};

LargeCatalog& Catalog() {
  static LargeCatalog large;
  return large;
}

void PrepareEveryTable(benchmark::State& state, bool indexed) {
  LargeCatalog& large = Catalog();
  SystemCatalog& c = *large.catalog;
  c.useIndexes = indexed;
  size_t descriptors = 0;
  for (auto _ : state) {
    for (const ObjectRow& table : large.tables) {
      c.columnDescriptors = c.PrepareObject(table.name, table.typeCode, {});
      descriptors += c.columnDescriptors.size();
    }
    state.PauseTiming();
    c.primaryKeyColumns.clear();
    state.ResumeTiming();
  }
  c.useIndexes = true;
  state.counters["tables"] = kTables;
  benchmark::DoNotOptimize(descriptors);
}

void BM_PrepareEveryTableIndexed(benchmark::State& state) { PrepareEveryTable(state, true); }
void BM_PrepareEveryTableWalked(benchmark::State& state) { PrepareEveryTable(state, false); }

BENCHMARK(BM_PrepareEveryTableIndexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareEveryTableWalked)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace ravelin
