// The allocation maps: which pages the PFS, GAM and SGAM pages call
// allocated, free or unknown, in every interval of a file, when the maps
// are damaged, and on the real files; and which pages an allocation unit's
// IAM pages give it.

#include "storage/allocation_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>

#include "catalog/opened_database.h"
#include "catalog/system_catalog.h"
#include "rows/table_rows.h"
#include "storage/database_file.h"
#include "storage/iam_page.h"
#include "storage/iam_walk.h"
#include "storage/memory_env.h"
#include "support/refilled_table_image.h"
#include "support/synthetic.h"
#include "support/test_database.h"

namespace ravelin {
namespace {

using testing::AllocationMapsBuilder;
using testing::DatabaseImage;

constexpr AllocationState kAllocated = AllocationState::kAllocated;
constexpr AllocationState kFree = AllocationState::kFree;
constexpr AllocationState kUnknown = AllocationState::kUnknown;

// A data file in memory, opened without mapping its pages (a scan of a
// sparse file of gigabytes would read them all). Secondary files are added
// to the CDatabaseFile by hand.
class MapsFile {
 public:
  explicit MapsFile(const DatabaseImage& image, bool sparse = false) {
    if (sparse)
      env_.AddSparseFile(kPath, uint64_t{image.pageCount()} * kPageSize, image.BuildPieces());
    else
      env_.AddFile(kPath, image.Build());
    file_ = std::make_unique<CDatabaseFile>(kPath, env_, sink_, StopToken(), ReadOptions{});
  }

  void AddSecondary(int16_t fileId, const DatabaseImage& image) {
    const std::string path = "/db/file" + std::to_string(fileId) + ".ndf";
    env_.AddFile(path, image.Build());
    DataFileInfo info;
    info.fileId = fileId;
    info.physicalName = path;
    info.fileSize = uint64_t{image.pageCount()} * kPageSize;
    info.pageCount = image.pageCount();
    file_->secondaryFiles[fileId] = info;
  }

  CDatabaseFile& file() { return *file_; }
  MemoryEnv& env() { return env_; }
  static constexpr const char* kPath = "/db/maps.mdf";

 private:
  MemoryEnv env_;
  NullProgressSink sink_;
  std::unique_ptr<CDatabaseFile> file_;
};

// 64 pages: page 10 allocated, 11 allocated then freed (extent 8-15 stays in
// use), extent 16-23 allocated whole, extent 24-31 used and freed again,
// extents 32-63 never used.
DatabaseImage SmallMappedImage(const std::function<void(AllocationMapsBuilder&)>& adjust = {}) {
  DatabaseImage image(64);
  AllocationMapsBuilder maps(64);
  maps.AllocatePage(10).AllocatePage(11, kPfsMixedExtent).FreePage(11);
  for (uint32_t n = 16; n < 24; ++n) maps.AllocatePage(n);
  maps.AllocatePage(25).FreeExtent(25);
  if (adjust) adjust(maps);
  maps.WriteTo(image);
  return image;
}

TEST(AllocationMap, TellsAllocatedFromFreePages) {
  MapsFile db(SmallMappedImage());
  const AllocationMap maps(db.file());
  EXPECT_EQ(maps.StateOf({1, 10}), kAllocated);
  EXPECT_EQ(maps.StateOf({1, 11}), kFree);  // PFS: deallocated, extent still in use
  EXPECT_EQ(maps.StateOf({1, 12}), kFree);  // PFS: never allocated
  EXPECT_EQ(maps.StateOf({1, 20}), kAllocated);
  EXPECT_EQ(maps.StateOf({1, 25}), kFree);  // GAM: extent free
  EXPECT_EQ(maps.StateOf({1, 40}), kFree);
  for (int32_t n : {0, 1, 2, 3}) EXPECT_EQ(maps.StateOf({1, n}), kAllocated) << n;

  const PageAllocation freed = maps.Describe({1, 11});
  EXPECT_EQ(freed.extentFree, false);
  EXPECT_EQ(freed.mixedWithFree, false);
  EXPECT_EQ(freed.pfs, kPfsMixedExtent);
  EXPECT_EQ(maps.Describe({1, 25}).extentFree, true);

  // Pages the file does not have, in files the database does not know.
  for (PageRef ref :
       {PageRef{1, 64}, PageRef{1, -1}, PageRef{1, INT32_MAX}, PageRef{2, 10}, PageRef{0, 10}, PageRef{-1, 10}})
    EXPECT_EQ(maps.StateOf(ref), kUnknown) << ref.fileId << ":" << ref.pageNo;
  EXPECT_FALSE(maps.Describe({1, 64}).pfs);
  EXPECT_EQ(AllocationStateText(kFree), std::string("free"));
}

TEST(AllocationMap, ReadsEachMapPageOnce) {
  MapsFile db(SmallMappedImage());
  const AllocationMap maps(db.file());
  EXPECT_EQ(maps.mapPagesRead(), 0u);
  for (int round = 0; round < 3; ++round)
    for (int32_t n = 0; n < 64; ++n) maps.StateOf({1, n});
  // PFS and GAM for every page; SGAM for the pages of free extents.
  EXPECT_EQ(maps.mapPagesRead(), 3u);
}

TEST(AllocationMap, MapsThatContradictEachOtherDecideNothing) {
  MapsFile db(SmallMappedImage([](AllocationMapsBuilder& maps) {
    maps.Pfs(40) = kPfsAllocated;  // a page allocated in an extent the GAM calls free
    maps.MixedWithFree(48);        // a free extent the SGAM calls mixed
  }));
  const AllocationMap maps(db.file());
  EXPECT_EQ(maps.StateOf({1, 40}), kUnknown);
  EXPECT_EQ(maps.StateOf({1, 41}), kFree);  // its PFS byte agrees with the GAM
  EXPECT_EQ(maps.StateOf({1, 48}), kUnknown);
  EXPECT_EQ(maps.StateOf({1, 56}), kFree);
}

// One way of damaging a map page: what is done to its bytes.
struct Damage {
  const char* what;
  std::function<void(Bytes&)> apply;
};

void PutLE16(Bytes& page, size_t at, uint16_t v) { StoreLE16(&page[at], v); }

std::vector<Damage> HeaderDamage(uint32_t otherType) {
  return {
      {"zeroed", [](Bytes& p) { std::fill(p.begin(), p.end(), 0); }},
      {"page type", [otherType](Bytes& p) { p[1] = static_cast<uint8_t>(otherType); }},
      {"page number", [](Bytes& p) { p[32] ^= 0x40; }},
      {"file id", [](Bytes& p) { p[36] = 2; }},
      {"object id", [](Bytes& p) { p[24] = 98; }},
      {"slot count", [](Bytes& p) { p[22] += 1; }},
      {"slot offset", [](Bytes& p) { PutLE16(p, kPageSize - 2, 40); }},
      {"record type", [](Bytes& p) { p[96] = 0x0C; }},
      {"bad checksum",
       [](Bytes& p) {
         p[5] |= 0x02;  // checksum flag, checksum word left as it was
         p[60] ^= 0x5A;
       }},
      {"torn sector", [](Bytes& p) { p[1 + 4] |= 0x01, p[3 * 512 + 511] ^= 1; }},
  };
}

DatabaseImage Damaged(uint32_t mapPage, const Damage& damage) {
  DatabaseImage image = SmallMappedImage();
  const Bytes file = image.Build();
  Bytes page(file.begin() + mapPage * kPageSize, file.begin() + (mapPage + 1) * kPageSize);
  damage.apply(page);
  image.SetRaw(mapPage, page);
  return image;
}

TEST(AllocationMap, DamagedPfsPageLeavesPagesOfUsedExtentsUnknown) {
  std::vector<Damage> damages = HeaderDamage(kPageTypeGam);
  damages.push_back({"record length", [](Bytes& p) { PutLE16(p, 98, 4 + 8087); }});
  damages.push_back({"unused bit", [](Bytes& p) { p[100 + 30] = 0x80; }});
  damages.push_back({"fullness 5", [](Bytes& p) { p[100 + 30] = 0x45; }});
  damages.push_back({"itself free", [](Bytes& p) { p[100 + 1] = 0x04; }});
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    MapsFile db(Damaged(1, damage));
    const AllocationMap maps(db.file());
    EXPECT_EQ(maps.StateOf({1, 10}), kUnknown);
    EXPECT_EQ(maps.StateOf({1, 11}), kUnknown);
    EXPECT_FALSE(maps.Describe({1, 11}).pfs);
    // The GAM alone still frees whole extents.
    EXPECT_EQ(maps.StateOf({1, 25}), kFree);
  }
}

TEST(AllocationMap, DamagedGamOrSgamPageIsIgnored) {
  for (uint32_t mapPage : {2u, 3u}) {
    std::vector<Damage> damages = HeaderDamage(kPageTypePfs);
    damages.push_back({"bitmap length", [](Bytes& p) { PutLE16(p, 192, 4 + 7987); }});
    if (mapPage == 2) damages.push_back({"own extent free", [](Bytes& p) { p[194] |= 1; }});
    for (const Damage& damage : damages) {
      SCOPED_TRACE(std::string(damage.what) + " on page " + std::to_string(mapPage));
      MapsFile db(Damaged(mapPage, damage));
      const AllocationMap maps(db.file());
      const PageAllocation described = maps.Describe({1, 25});
      EXPECT_EQ(described.extentFree.has_value(), mapPage != 2);
      EXPECT_EQ(described.mixedWithFree.has_value(), mapPage != 3);
      // The PFS still decides.
      EXPECT_EQ(maps.StateOf({1, 10}), kAllocated);
      EXPECT_EQ(maps.StateOf({1, 25}), kFree);
    }
  }
}

TEST(AllocationMap, MapPagesThatCannotBeReadWholeDecideNothing) {
  MapsFile db(SmallMappedImage());
  db.env().FailReads(MapsFile::kPath, 1 * kPageSize + 4000, 10, EIO);
  const AllocationMap maps(db.file());
  EXPECT_EQ(maps.StateOf({1, 10}), kUnknown);
  EXPECT_EQ(maps.StateOf({1, 25}), kFree);

  // A file cut short inside the PFS page.
  const Bytes whole = SmallMappedImage().Build();
  MemoryEnv env;
  env.AddFile("/cut.mdf", Bytes(whole.begin(), whole.begin() + kPageSize + 100));
  NullProgressSink sink;
  CDatabaseFile cut("/cut.mdf", env, sink, StopToken(), ReadOptions{});
  EXPECT_EQ(AllocationMap(cut).StateOf({1, 0}), kUnknown);
}

TEST(AllocationMap, ProtectedMapPagesAreRestoredBeforeTheyAreRead) {
  DatabaseImage image(512);
  AllocationMapsBuilder builder(512);
  // The PFS byte of page 411 ends sector 1 of the PFS page: the stamp
  // overwrites its low bits and only the saved bits make it plausible.
  builder.AllocatePage(411).Pfs(411) |= 4;
  builder.WriteTo(image);
  image.Page(1).TornProtect(3);
  image.Page(2).Checksum();
  image.Page(3).TornProtect(1);
  MapsFile db(image);
  const AllocationMap maps(db.file());
  EXPECT_EQ(maps.StateOf({1, 411}), kAllocated);
  EXPECT_EQ(maps.StateOf({1, 412}), kFree);
  EXPECT_EQ(maps.Describe({1, 411}).pfs, kPfsAllocated | 4);
  EXPECT_EQ(maps.Describe({1, 500}).extentFree, true);
  EXPECT_EQ(maps.Describe({1, 500}).mixedWithFree, false);
}

// A sparse file past the second GAM interval: pages above 8088 belong to
// later PFS pages, pages above 511232 to the second GAM and SGAM.
TEST(AllocationMap, LaterIntervalsHaveMapsOfTheirOwn) {
  constexpr uint32_t kPages = kPagesPerInterval + 64;
  constexpr uint32_t kSecondPfs = kPagesPerPfsInterval;
  constexpr uint32_t kLastPfs = kPagesPerInterval / kPagesPerPfsInterval * kPagesPerPfsInterval;  // 509544
  constexpr uint32_t kSecondGam = kPagesPerInterval;
  DatabaseImage image(kPages);
  image.Page(8).ObjectId(34);  // where opening looks for a page at its place
  AllocationMapsBuilder builder(kPages);
  builder.AllocatePage(kSecondPfs + 5).AllocatePage(kSecondPfs + 6).FreePage(kSecondPfs + 6);
  builder.AllocatePage(kSecondGam + 20).AllocatePage(kSecondGam + 21).FreePage(kSecondGam + 21);
  builder.AllocatePage(kSecondGam - 3);
  builder.WriteTo(image);
  // 64 PFS pages, two GAM and two SGAM pages.
  const std::vector<uint32_t> mapPages = builder.MapPages();
  EXPECT_EQ(mapPages.size(), 68u);
  EXPECT_EQ(std::count(mapPages.begin(), mapPages.end(), kSecondGam + 1), 1);
  MapsFile db(image, true);
  ASSERT_TRUE(db.file().isOpen);
  const AllocationMap maps(db.file());
  EXPECT_EQ(maps.StateOf({1, static_cast<int32_t>(kSecondPfs + 5)}), kAllocated);
  EXPECT_EQ(maps.StateOf({1, static_cast<int32_t>(kSecondPfs + 6)}), kFree);
  EXPECT_EQ(maps.StateOf({1, static_cast<int32_t>(kSecondPfs)}), kAllocated);
  EXPECT_EQ(maps.StateOf({1, static_cast<int32_t>(kSecondGam - 3)}), kAllocated);
  EXPECT_EQ(maps.StateOf({1, static_cast<int32_t>(kSecondGam + 20)}), kAllocated);
  EXPECT_EQ(maps.StateOf({1, static_cast<int32_t>(kSecondGam + 21)}), kFree);
  for (uint32_t n : {kSecondGam, kSecondGam + 1, kLastPfs})
    EXPECT_EQ(maps.StateOf({1, static_cast<int32_t>(n)}), kAllocated) << n;
  // The second interval's extents are told by the second GAM: extent 2
  // (pages 16-23 of the interval) is in use there, unlike in the first.
  EXPECT_EQ(maps.Describe({1, static_cast<int32_t>(kSecondGam + 20)}).extentFree, false);
  EXPECT_EQ(maps.Describe({1, 20}).extentFree, true);
  EXPECT_EQ(maps.StateOf({1, static_cast<int32_t>(kSecondGam + 40)}), kFree);
  EXPECT_EQ(maps.Describe({1, static_cast<int32_t>(kSecondGam + 40)}).extentFree, true);
}

TEST(AllocationMap, SecondaryFilesHaveMapsOfTheirOwn) {
  MapsFile db(SmallMappedImage());
  DatabaseImage second(40);
  AllocationMapsBuilder secondMaps(40, 3);
  secondMaps.AllocatePage(30);
  secondMaps.WriteTo(second);
  db.AddSecondary(3, second);
  // A secondary file whose map pages name the primary file is not mapped.
  DatabaseImage stray(40);
  AllocationMapsBuilder strayMaps(40, 1);
  strayMaps.AllocatePage(30);
  strayMaps.WriteTo(stray);
  db.AddSecondary(4, stray);

  const AllocationMap maps(db.file());
  EXPECT_EQ(maps.StateOf({3, 30}), kAllocated);
  EXPECT_EQ(maps.StateOf({3, 31}), kFree);
  EXPECT_EQ(maps.StateOf({3, 10}), kFree);  // allocated in the primary file only
  EXPECT_EQ(maps.StateOf({1, 10}), kAllocated);
  EXPECT_EQ(maps.StateOf({3, 40}), kUnknown);
  EXPECT_EQ(maps.StateOf({4, 30}), kUnknown);
}

// --- UnitAllocation -------------------------------------------------------

// SmallMappedImage with a unit whose IAM chain is 4 -> 5: page 4 names the
// single pages 10 and 11 and the extent 16-23, page 5 the extent 24-31.
// Page 12 is allocated to another unit.
DatabaseImage UnitImage(const std::function<void(DatabaseImage&)>& adjust = {}) {
  DatabaseImage image = SmallMappedImage([](AllocationMapsBuilder& maps) {
    maps.AllocatePage(4, kPfsIamPage).AllocatePage(5, kPfsIamPage).AllocatePage(12);
  });
  testing::MakeIamPage(image.Page(4).ObjectId(300).Next({1, 5}), {1, 0}, {{1, 10}, {1, 11}}, {0x04});
  testing::MakeIamPage(image.Page(5).ObjectId(300), {1, 0}, {}, {0x08});
  if (adjust) adjust(image);
  return image;
}

TEST(UnitAllocation, ChainGivesSinglePagesAndExtentsCheckedAgainstTheMaps) {
  MapsFile db(UnitImage());
  const AllocationMap maps(db.file());
  const UnitAllocation unit = UnitAllocation::FromChain(db.file(), {1, 4});
  EXPECT_TRUE(unit.complete());
  EXPECT_EQ(unit.iamPages(), (std::vector<PageRef>{{1, 4}, {1, 5}}));
  for (int32_t n : {10, 11, 16, 23, 24, 31}) EXPECT_TRUE(unit.Claims({1, n})) << n;
  for (int32_t n : {12, 15, 32}) EXPECT_FALSE(unit.Claims({1, n})) << n;
  EXPECT_FALSE(unit.Claims({2, 10}));

  EXPECT_EQ(unit.StateOf({1, 10}, maps), kAllocated);
  EXPECT_EQ(unit.StateOf({1, 20}, maps), kAllocated);
  EXPECT_EQ(unit.StateOf({1, 11}, maps), kFree);  // claimed, but deallocated
  EXPECT_EQ(unit.StateOf({1, 25}, maps), kFree);  // claimed, but the extent is free
  EXPECT_EQ(unit.StateOf({1, 12}, maps), kFree);  // allocated, to another unit
}

TEST(UnitAllocation, BrokenChainsLeaveUnclaimedPagesUnknown) {
  // The second IAM page is not one any more.
  MapsFile broken(UnitImage([](DatabaseImage& image) { image.Page(5).PageType(1); }));
  const AllocationMap maps(broken.file());
  const UnitAllocation unit = UnitAllocation::FromChain(broken.file(), {1, 4});
  EXPECT_FALSE(unit.complete());
  EXPECT_EQ(unit.StateOf({1, 20}, maps), kAllocated);
  EXPECT_EQ(unit.StateOf({1, 12}, maps), kUnknown);
  EXPECT_EQ(unit.StateOf({1, 11}, maps), kFree);  // the maps still free it

  // A chain that loops, a checksum that fails, a read that fails, no chain.
  MapsFile loop(UnitImage([](DatabaseImage& image) { image.Page(5).Next({1, 4}); }));
  EXPECT_FALSE(UnitAllocation::FromChain(loop.file(), {1, 4}).complete());
  MapsFile checksum(UnitImage([](DatabaseImage& image) {
    Bytes page = image.Page(5).Checksum().Build();
    page[40] ^= 9;
    image.SetRaw(5, page);
  }));
  const UnitAllocation badSum = UnitAllocation::FromChain(checksum.file(), {1, 4});
  EXPECT_FALSE(badSum.complete());
  EXPECT_FALSE(badSum.Claims({1, 24}));
  for (int16_t slots : {int16_t{1}, int16_t{-2}, int16_t{30000}}) {
    MapsFile odd(UnitImage([slots](DatabaseImage& image) { image.Page(5).SlotCount(slots); }));
    EXPECT_FALSE(UnitAllocation::FromChain(odd.file(), {1, 4}).complete()) << slots;
  }
  MapsFile unreadable(UnitImage());
  unreadable.env().FailReads(MapsFile::kPath, 5 * kPageSize + 100, 1, EIO);
  EXPECT_FALSE(UnitAllocation::FromChain(unreadable.file(), {1, 4}).complete());
  const UnitAllocation none = UnitAllocation::FromChain(loop.file(), {0, 0});
  EXPECT_FALSE(none.complete());
  EXPECT_TRUE(none.iamPages().empty());
  EXPECT_EQ(none.StateOf({1, 12}, maps), kUnknown);
}

TEST(UnitAllocation, IamPagesGivenAsAList) {
  MapsFile db(UnitImage());
  const std::vector<PageRef> list = {{1, 5}, {1, 0}, {1, 4}, {1, 5}};
  const UnitAllocation unit = UnitAllocation::FromPages(db.file(), list);
  EXPECT_TRUE(unit.complete());
  EXPECT_EQ(unit.iamPages(), (std::vector<PageRef>{{1, 5}, {1, 4}}));
  EXPECT_TRUE(unit.Claims({1, 11}));
  const std::vector<PageRef> withData = {{1, 4}, {1, 10}};
  EXPECT_FALSE(UnitAllocation::FromPages(db.file(), withData).complete());
}

TEST(UnitAllocation, ExtentsCountInTheIntervalTheHeaderNames) {
  MapsFile db(UnitImage([](DatabaseImage& image) {
    testing::MakeIamPage(image.Page(6).ObjectId(300), {1, kPagesPerInterval}, {}, {0x01});
  }));
  const UnitAllocation unit = UnitAllocation::FromChain(db.file(), {1, 6});
  EXPECT_TRUE(unit.Claims({1, kPagesPerInterval + 7}));
  EXPECT_FALSE(unit.Claims({1, 7}));
}

// --- The emptied and refilled table -----------------------------------------

std::vector<std::vector<std::string>> RowsOf(const OpenedDatabase& db, SystemCatalog& catalog, const std::string& table,
                                             const std::vector<int32_t>& pages) {
  const RowColumnSet columns = catalog.PrepareObject(table, "U ", {});
  TableRowReader reader(db, columns, ChooseColumnReader(catalog));
  std::vector<std::vector<std::string>> rows;
  for (int32_t n : pages)
    for (TableRow& row : reader.ReadPageRows({1, n})) rows.push_back(std::move(row.values));
  return rows;
}

TEST(RefilledTableImage, MapsTellTheOldPagesFromTheLiveOnes) {
  const testing::RefilledTableImage built = testing::EmptiedAndRefilledImage();
  testing::TestDatabase database(built.image);
  ASSERT_TRUE(database.OpenDatabase());
  const AllocationMap maps(database.db());
  for (const PageRef& ref : built.allocatedPages) EXPECT_EQ(maps.StateOf(ref), kAllocated) << ref.pageNo;
  for (const PageRef& ref : built.freePages) EXPECT_EQ(maps.StateOf(ref), kFree) << ref.pageNo;
  // The catalog's pages.
  for (uint32_t n : built.image.PageNumbers()) {
    if (n >= 40) continue;
    EXPECT_EQ(maps.StateOf({1, static_cast<int32_t>(n)}), kAllocated) << n;
  }

  SystemCatalog& catalog = database.catalog();
  EXPECT_EQ(RowsOf(database.opened(), catalog, "dbo.Refilled", {41}), built.liveRows);
  EXPECT_EQ(RowsOf(database.opened(), catalog, "dbo.Refilled", {43, 48}), built.oldRows);
  EXPECT_EQ(RowsOf(database.opened(), catalog, "dbo.Emptied", {44}), built.emptiedRows);

  // The scan files the old pages under the tables, as it does in real
  // files; only the live IAM chain leaves them out.
  catalog.PrepareObject("dbo.Refilled", "U ", {});
  EXPECT_EQ(std::set<PageRef>(catalog.tablePages.begin(), catalog.tablePages.end()),
            (std::set<PageRef>{{1, 41}, {1, 43}, {1, 48}}));
  const UnitAllocation unit = UnitAllocation::FromChain(database.db(), catalog.currentAllocUnit.firstIamPage);
  EXPECT_TRUE(unit.complete());
  EXPECT_EQ(unit.StateOf({1, 41}, maps), kAllocated);
  EXPECT_EQ(unit.StateOf({1, 43}, maps), kFree);
  EXPECT_EQ(unit.StateOf({1, 48}, maps), kFree);
  catalog.PrepareObject("dbo.Emptied", "U ", {});
  EXPECT_EQ(catalog.tablePages, (std::vector<PageRef>{{1, 44}}));
  EXPECT_EQ(catalog.currentAllocUnit.firstIamPage.pageNo, 0);
  EXPECT_EQ(catalog.currentAllocUnit.firstPage.pageNo, 0);
}

// --- Real files -------------------------------------------------------------

// Follows next-page pointers from `first` while the pages name `key`.
std::vector<PageRef> PageChain(const CDatabaseFile& file, PageRef first, uint32_t key) {
  std::vector<PageRef> chain;
  std::set<PageRef> seen;
  for (PageRef at = first; at.pageNo != 0 && seen.insert(at).second;) {
    auto header = file.ReadPageHeader(at);
    if (!header || header->objectId != key) break;
    chain.push_back(at);
    at = header->nextPage;
  }
  return chain;
}

// On every intact real file: the maps read and are trusted; every page a
// table's rows are listed from is allocated; every live allocation unit's
// IAM pages, and the page chain of its in-row data, are allocated; a page
// of a unit's IAM extents that the maps free is linked from no allocated
// page of the unit.
TEST(AllocationMapRealFiles, LiveDataIsAllocated) {
  const std::string dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "no test data";
  size_t listedPages = 0;
  size_t chainPages = 0;
  size_t freeWithRows = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".mdf") continue;
    SCOPED_TRACE(entry.path().filename().string());
    auto db = testing::OpenDatabaseFile(entry.path().string());
    ASSERT_TRUE(db);
    const CDatabaseFile& file = db->file();
    SystemCatalog& catalog = *db->catalog();
    const AllocationMap maps(file);
    for (int32_t n = 0; static_cast<uint64_t>(n) < file.pageCount; ++n)
      ASSERT_NE(maps.StateOf({1, n}), kUnknown) << "page " << n;

    const std::vector<ObjectRow> objects = catalog.objects;
    for (const ObjectRow& object : objects) {
      if (object.typeCode != "U ") continue;
      catalog.PrepareObject(object.name, object.typeCode, {});
      const TablePageList list = CollectListingPages(file, catalog);
      for (const PageRef& ref : list.pages) {
        auto header = file.ReadPageHeader(ref);
        if (!header || header->slotCount <= 0 || (!list.owners.empty() && !list.owners.count(header->objectId)))
          continue;
        ++listedPages;
        EXPECT_EQ(maps.StateOf(ref), kAllocated) << object.name << " page " << ref.pageNo;
      }
    }
    if (catalog.IsSql2000()) continue;
    for (const AllocUnitRow& unit : catalog.allocUnits) {
      if (unit.firstIamPage.pageNo == 0) continue;
      const uint32_t key = AllocUnitPageKey(unit.allocUnitId);
      const UnitAllocation owned = UnitAllocation::FromChain(file, unit.firstIamPage);
      EXPECT_TRUE(owned.complete()) << unit.allocUnitId;
      for (const PageRef& iam : owned.iamPages()) EXPECT_EQ(maps.StateOf(iam), kAllocated) << iam.pageNo;
      // Large-value units keep a first page that may since have been freed.
      if (unit.type == 1) {
        for (const PageRef& ref : PageChain(file, unit.firstPage, key)) {
          ++chainPages;
          EXPECT_EQ(owned.StateOf(ref, maps), kAllocated) << unit.allocUnitId << " page " << ref.pageNo;
        }
      }
      std::set<PageRef> linked;
      std::vector<PageRef> freed;
      for (const PageRef& ref : CollectIamChainPages(file, unit.firstIamPage)) {
        auto header = file.ReadPageHeader(ref);
        if (!header || header->objectId != key || header->thisPage != ref) continue;
        if (maps.StateOf(ref) == kAllocated) {
          linked.insert(header->nextPage);
          linked.insert(header->prevPage);
        } else if (header->slotCount > 0) {
          freed.push_back(ref);
        }
      }
      freeWithRows += freed.size();
      for (const PageRef& ref : freed) EXPECT_FALSE(linked.count(ref)) << unit.allocUnitId << " page " << ref.pageNo;
    }
  }
  EXPECT_GT(listedPages, 200u);
  EXPECT_GT(chainPages, 1000u);
  EXPECT_GT(freeWithRows, 0u);
}

}  // namespace
}  // namespace ravelin
