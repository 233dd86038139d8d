// A catalog filled in memory, run once with its indexes and once walking
// its lists: every test must give the same result both ways.

#ifndef RAVELIN_TESTS_CATALOG_CATALOG_FIXTURE_H_
#define RAVELIN_TESTS_CATALOG_CATALOG_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/system_catalog.h"

namespace ravelin {

class CatalogTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    catalog.useIndexes = GetParam();
    catalog.BindPageMaps(&systemPages, &dataPages, &iamPages);
  }

  void AddObject(int32_t id, const std::string& name, const std::string& type, int32_t parentId = 0) {
    ObjectRow row;
    row.objectId = id;
    row.name = name;
    row.typeCode = type;
    row.parentId = parentId;
    row.schemaClass = 0;
    row.parentClass = 1;
    row.schemaId = 1;
    catalog.objects.push_back(row);
  }

  ColumnRow& AddColumn(int32_t objectId, int32_t columnId, const std::string& name, uint8_t type = 56,
                       int16_t length = 4) {
    ColumnRow row;
    row.objectId = objectId;
    row.number = 0;
    row.columnId = columnId;
    row.name = name;
    row.systemTypeId = type;
    row.userTypeId = type;
    row.length = length;
    row.status = 0;
    catalog.columns.push_back(row);
    return catalog.columns.back();
  }

  void AddType(int32_t id, const std::string& name, int32_t schemaId = 4) {
    TypeRow row;
    row.typeId = id;
    row.systemTypeId = static_cast<uint8_t>(id < 256 ? id : 0);
    row.schemaId = schemaId;
    row.name = name;
    catalog.types.push_back(row);
  }

  void AddRowset(int64_t rowsetId, int32_t objectId, int32_t indexId) {
    RowsetRow row;
    row.rowsetId = rowsetId;
    row.objectId = objectId;
    row.indexId = indexId;
    catalog.rowsets.push_back(row);
  }

  void AddUnit(int64_t unitId, int64_t ownerId, uint8_t type = 1, PageRef first = {1, 1}) {
    AllocUnitRow row;
    row.allocUnitId = unitId;
    row.ownerId = ownerId;
    row.type = type;
    row.firstPage = first;
    catalog.allocUnits.push_back(row);
  }

  // Data pages (type 1) filed under `key`; `system` files them as pages of
  // a system table too.
  void AddDataPages(uint32_t key, std::vector<uint32_t> pages, bool system = false) {
    for (uint32_t page : pages) {
      dataPages[key].push_back({1, page, 1});
      if (system) systemPages[key].push_back({1, page, 1});
    }
  }

  std::vector<ColumnDescriptor> Prepare(const std::string& name, const std::string& type = "U ") {
    return catalog.PrepareObject(name, type, {});
  }

  static std::vector<int32_t> PageNumbers(const std::vector<PageRef>& pages) {
    std::vector<int32_t> numbers;
    for (const PageRef& page : pages) numbers.push_back(page.pageNo);
    return numbers;
  }

  PageMap systemPages;
  PageMap dataPages;
  PageMap iamPages;
  SystemCatalog catalog;
};

// A user allocation unit id: index part 256 and page key `key`.
inline int64_t UserUnit(uint32_t key) { return (int64_t{256} << 48) | (int64_t{key} << 16); }

}  // namespace ravelin

#endif  // RAVELIN_TESTS_CATALOG_CATALOG_FIXTURE_H_
