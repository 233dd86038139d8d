#include "support/refilled_table_image.h"

#include <stdexcept>

#include "storage/allocation_map.h"
#include "support/compressed_table_image.h"
#include "support/compressor.h"

namespace ravelin::testing {
namespace {

constexpr uint32_t kRefilledKey = 300;
constexpr uint32_t kEmptiedKey = 301;

std::vector<ColumnDescriptor> Columns() {
  std::vector<ColumnDescriptor> columns = {SqlColumn("Id", "int(4)", kTypeInt),
                                           SqlColumn("Name", "varchar(20)", kTypeVarChar)};
  columns[0].nullable = false;
  LayOutColumns(columns);
  return columns;
}

// Rows numbered from `firstId`, named `prefix` and the number; their texts
// go to `texts`.
std::vector<CompressedRow> Rows(size_t count, int firstId, const std::string& prefix,
                                std::vector<std::vector<std::string>>& texts) {
  std::vector<CompressedRow> rows;
  for (size_t i = 0; i < count; ++i) {
    const int id = firstId + static_cast<int>(i);
    const std::string name = prefix + " " + std::to_string(id);
    rows.push_back(CompressedRow{{Value(SqlIntBytes(id, 4)), Value(Ascii(name))}});
    texts.push_back({std::to_string(id), name});
  }
  return rows;
}

// A data page of the unit with page key `key` holding `rows`.
void OldDataPage(DatabaseImage& image, uint32_t pageNo, uint32_t key, const std::vector<ColumnDescriptor>& columns,
                 const std::vector<CompressedRow>& rows) {
  PageBuilder& page = image.Page(pageNo).ObjectId(key).IndexId(256);
  for (const CompressedRow& row : rows) page.AddRecord(UncompressedRecord(columns, row.values));
}

void IamPageOf(DatabaseImage& image, uint32_t pageNo, uint32_t key, const std::vector<PageRef>& singlePages,
               const Bytes& bitmap) {
  PageBuilder& page = image.Page(pageNo).ObjectId(key).IndexId(256);
  MakeIamPage(page, PageRef{1, 0}, singlePages, bitmap);
}

}  // namespace

RefilledTableImage EmptiedAndRefilledImage(size_t liveRows, size_t oldRows, size_t emptiedRows) {
  if (liveRows < 1 || liveRows > 20 || oldRows < 2 || oldRows > 40 || emptiedRows < 1 || emptiedRows > 40)
    throw std::invalid_argument("EmptiedAndRefilledImage: row counts out of range");
  RefilledTableImage result;
  const std::vector<ColumnDescriptor> columns = Columns();

  TableSpec refilled;
  refilled.objectId = 501;
  refilled.name = "Refilled";
  refilled.columns = columns;
  refilled.rows = Rows(liveRows, 101, "Live", result.liveRows);
  refilled.firstPage = 41;
  refilled.iamPage = 40;
  TableSpec emptied;
  emptied.objectId = 502;
  emptied.name = "Emptied";
  emptied.columns = columns;
  emptied.firstPage = 0;
  result.image = ImageWithTables({refilled, emptied});
  DatabaseImage& image = result.image;

  // The live allocation: the IAM page and its single data page.
  IamPageOf(image, 40, kRefilledKey, {PageRef{1, 41}}, {});
  // The history: an old IAM page naming a single page and the extent
  // 48-55 (extent 6 of the interval), the old rows on both.
  const std::vector<CompressedRow> old = Rows(oldRows, 1, "Old", result.oldRows);
  const auto half = static_cast<std::ptrdiff_t>(oldRows / 2);
  IamPageOf(image, 42, kRefilledKey, {PageRef{1, 43}}, {0x40});
  OldDataPage(image, 43, kRefilledKey, columns, {old.begin(), old.begin() + half});
  OldDataPage(image, 48, kRefilledKey, columns, {old.begin() + half, old.end()});
  IamPageOf(image, 45, kEmptiedKey, {PageRef{1, 44}}, {});
  OldDataPage(image, 44, kEmptiedKey, columns, Rows(emptiedRows, 1, "Gone", result.emptiedRows));

  AllocationMapsBuilder maps(image.pageCount());
  maps.AllocateImagePages(image);
  for (uint32_t n : {40u, 42u, 45u}) maps.Pfs(n) |= kPfsIamPage;
  for (uint32_t n = 40; n < 48; ++n) maps.Pfs(n) |= kPfsMixedExtent;
  maps.MixedWithFree(40);
  for (uint32_t n : {42u, 43u, 44u, 45u}) maps.FreePage(n);
  maps.FreeExtent(48);
  maps.WriteTo(image);

  result.allocatedPages = {PageRef{1, 40}, PageRef{1, 41}};
  result.freePages = {PageRef{1, 42}, PageRef{1, 43}, PageRef{1, 44}, PageRef{1, 45}, PageRef{1, 48}};
  return result;
}

}  // namespace ravelin::testing
