// The catalog of one database: the rows of every system base table the
// recovery uses, read once when the database is opened, and the working
// lists that describe the object prepared last.
//
// Construction from a CDatabaseFile (whose secondary files are mapped
// already) reads the catalog pages, decides between the SQL Server 2000
// layout (sysobjects, syscolumns, sysindexes) and the 2005-and-later layout
// (sysschobjs, syscolpars, sysrowsets, sysallocunits, ...), and joins child
// objects, references and foreign keys. Loading never fails: damage shows
// as missing rows or repair names.
//
// PrepareObject finds an object by name and type code and describes it:
// for a table its data pages and column descriptors, for anything else its
// id, type code and name. Lookups by object id or rowset id go through
// indexes built lazily over the row lists (see useIndexes); the lists
// themselves keep the order in which the rows were read.
//
// Not thread-safe: one worker at a time prepares objects.

#ifndef RAVELIN_CATALOG_SYSTEM_CATALOG_H_
#define RAVELIN_CATALOG_SYSTEM_CATALOG_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "catalog/catalog_types.h"
#include "catalog/column_descriptor.h"
#include "catalog/data_page.h"
#include "catalog/lost_tables.h"
#include "catalog/record_shape.h"
#include "catalog/system_rows.h"
#include "storage/page_types.h"

namespace ravelin {

class CDatabaseFile;
class CDataPage;

// Bytes a fixed-length column of a built-in type takes; 0 when the type is
// variable or not known.
int FixedTypeLength(uint8_t systemTypeId, uint8_t scale);
// The same for a physical column row, from the type it carries.
int PhysicalFixedLength(const RowsetColumnRow& row);
// Whether values of a built-in type are stored among the variable columns.
bool IsVariableSystemType(uint8_t systemTypeId);

// Object ids are compared without these bits where columns are selected.
inline constexpr int32_t kObjectIdMask = static_cast<int32_t>(0xFCFFFFFF);

// The page key of an allocation unit: SQL Server writes bits 16 to 47 of
// the unit's id into the object id of each of its page headers.
inline uint32_t AllocUnitPageKey(int64_t allocUnitId) {
  return static_cast<uint32_t>((static_cast<uint64_t>(allocUnitId) >> 16) & 0xFFFFFFFFu);
}

// Loading state: the file read and the counter that numbers repair names.
class CatalogLoader {
 public:
  explicit CatalogLoader(const CDatabaseFile& file) : file_(file) {}

  enum class PageFilter {
    kAllPages,
    kDataPagesByEntry,   // page type 1 as the page map recorded it
    kDataPagesByHeader,  // page type 1 as the page read says
  };
  // Reads every page filed under system object `objectId` and hands each
  // page that can be read to `read`. Unreadable pages are skipped. The
  // pages are read with their deleted (ghost) records and without the
  // byte-level hunt, whatever the run's options: the catalog describes the
  // live database, and its ghost rows only stand in for lost live ones.
  void ReadSystemTable(uint32_t objectId, PageFilter filter, const std::function<void(CDataPage&)>& read);

  // Reads system table `objectId` into `rows` with `read` (a CDataPage
  // reader): every live row, then each deleted row whose key (`key`) no
  // live row has, e.g. the row of an object whose live row was on a page
  // that is lost.
  template <typename Row, typename Read, typename Key>
  void ReadRows(uint32_t objectId, PageFilter filter, std::vector<Row>& rows, Read read, Key key);

  const CDatabaseFile& file() const { return file_; }
  uint64_t repairCounter = 0;

  // Pages read as a system table's whose headers name another object or
  // index by one damaged byte (see ReadPages): they are no user table's.
  const std::set<PageRef>& MisfiledPages() const { return misfiledPages_; }

 private:
  // The pages of ReadSystemTable, read and kept: the pages filed under the
  // table, and pages of its chain that header damage hid from the scan.
  std::vector<std::unique_ptr<CDataPage>> ReadPages(uint32_t objectId, PageFilter filter) const;
  std::unique_ptr<CDataPage> RepairedPage(Bytes bytes, PageRef where, uint32_t objectId,
                                          const ReadOptions& reading) const;
  // Adds to `pages` the data pages of system table `objectId` whose header
  // carries one wrong byte in its object id or index id.
  void AddMisfiledPages(uint32_t objectId, std::vector<std::unique_ptr<CDataPage>>& pages, std::set<PageRef>& known,
                        const ReadOptions& reading) const;
  static void SelectRecords(CDataPage& page, bool live);

  const CDatabaseFile& file_;
  mutable std::set<PageRef> misfiledPages_;
};

template <typename Row, typename Read, typename Key>
void CatalogLoader::ReadRows(uint32_t objectId, PageFilter filter, std::vector<Row>& rows, Read read, Key key) {
  const std::vector<std::unique_ptr<CDataPage>> pages = ReadPages(objectId, filter);
  const size_t first = rows.size();
  for (auto& page : pages) {
    SelectRecords(*page, true);
    read(*page, rows);
  }
  std::vector<Row> ghosts;
  for (auto& page : pages) {
    SelectRecords(*page, false);
    read(*page, ghosts);
  }
  if (ghosts.empty()) return;
  std::set<decltype(key(rows.front()))> live;
  for (size_t i = first; i < rows.size(); ++i) live.insert(key(rows[i]));
  for (Row& row : ghosts)
    if (live.insert(key(row)).second) rows.push_back(std::move(row));
}

class SystemCatalog {
 public:
  // Loads the catalog of `file`, which must outlive the catalog;
  // `fileTable` is the database's file table (ReadFileTable) with the
  // secondary files located.
  // `databaseVersion` is the boot page's version, when it could be read.
  SystemCatalog(const CDatabaseFile& file, std::vector<DataFileInfo> fileTable,
                std::optional<uint16_t> databaseVersion = std::nullopt);
  // An empty catalog without a file, for callers that fill the lists
  // themselves. Page lookups find nothing until BindPageMaps.
  SystemCatalog();

  // The rows of the database's file table (sysfiles1) as recorded.
  static std::vector<DataFileInfo> ReadFileTable(const CDatabaseFile& file);
  ~SystemCatalog();
  SystemCatalog(const SystemCatalog&) = delete;
  SystemCatalog& operator=(const SystemCatalog&) = delete;

  // Empties every list and map and resets the current-object fields.
  void Clear();

  // The page maps table pages are looked up in (a loaded catalog uses its
  // file's). Not owned; null counts as empty.
  void BindPageMaps(const PageMap* systemPages, const PageMap* dataPages, const PageMap* iamPages);

  // With useIndexes (the default) lookups by key go through indexes, each
  // rebuilt when its list's length has changed. Without it every lookup
  // walks its whole list; the results are the same.
  bool useIndexes = true;
  // Rebuilds every index now. Needed only by callers that change rows in
  // place or replace rows without changing a list's length; a loaded
  // catalog's system-table lists never change.
  void BuildIndexes();

  // The catalog layout: SQL Server 2000 (sysobjects) or later (sysschobjs).
  bool IsSql2000() const { return sql2000_; }
  // Sets the layout of a catalog filled by hand.
  void SetLayout(bool sql2000) { sql2000_ = sql2000; }

  // --- Object model ---------------------------------------------------------

  // The first object named `name` whose type code is `typeCode` or is not a
  // table's ("U ", "S "); a fresh ObjectRow (objectId -1) when none.
  ObjectRow FindObject(const std::string& name, const std::string& typeCode);
  // keyConstraints := the objects whose parent is `objectId`.
  void LoadKeyConstraints(int32_t objectId);
  // objectRowsets := the rowsets of `objectId`, or ones made from its
  // sysidxstats rows when sysrowsets has none.
  void LoadObjectRowsets(int32_t objectId);
  // Fills childObjects, referencingChildObjects and foreignKeyColumns.
  void JoinChildObjects();
  // Prepares the object named `name`: a table yields its column descriptors
  // (and fills tablePages, keyConstraints, ...); any other object three
  // descriptors whose definitionText holds its id, type code and name; an
  // unknown object nothing. The caller stores the result in
  // columnDescriptors.
  // The shape of the records of the table prepared last, whose column
  // descriptors are `descriptors` (what PrepareObject returned).
  RecordShape DescribeRecordShape(const std::vector<ColumnDescriptor>& descriptors) const;

  std::vector<ColumnDescriptor> PrepareObject(const std::string& name, const std::string& typeCode,
                                              const std::vector<DefinitionEntry>& definitions);

  // --- Table schema ---------------------------------------------------------

  // Whether the in-row allocation unit of `rowsetId` has the rowset's own
  // id (see table_schema.cpp), so that a rowset without unit rows still
  // names its pages.
  bool RowsetIdNamesUnit(int64_t rowsetId) const;

  TypeRow FindType(uint8_t systemTypeId, int32_t userTypeId);
  // The rowset that holds the table's rows (heap or clustered index); also
  // becomes currentRowset.
  RowsetRow SelectTableRowset(int32_t objectId);
  // The in-row data unit of `rowsetId`; also becomes currentAllocUnit.
  AllocUnitRow SelectAllocUnit(int64_t rowsetId);
  // tableAllocUnits and tablePages from objectRowsets (2005+ layout).
  void CollectTablePages();
  // tablePages := the data pages filed under `objectId` (2000 layout).
  void CollectLegacyPages(int32_t objectId);
  // tableColumns (2005+) or tableLegacyColumns (2000) of `objectId`.
  void SelectTableColumns(int32_t objectId);
  // tableRowsetColumns, or for SQL Server 2005 tableHobtColumns and
  // tableRowsetColumnMap.
  void SelectRowsetColumns(int64_t rowsetId);
  // The index columns of `objectId` with their index's status; fills
  // tableIndexes.
  std::vector<IndexColumnRow> SelectIndexColumns(int32_t objectId);
  // The descriptor of one catalog column; nothing for system type id 0.
  std::optional<ColumnDescriptor> DescribeColumn(const ColumnRow& row);
  std::optional<ColumnDescriptor> DescribeColumn(const LegacyColumnRow& row);

  // Whether the loader read `page` as a system table's though its header
  // names another object or index (see CatalogLoader::MisfiledPages).
  bool IsMisfiledCatalogPage(PageRef page) const { return loader && loader->MisfiledPages().count(page) != 0; }

  // `baseName` with the prefix of schema `schemaId`, or alone when the
  // schema is not known.
  std::string SchemaPrefixed(int32_t schemaId, const std::string& baseName) const;

  // --- Fields -----------------------------------------------------------------
  // The system-table lists are filled by loading and do not change
  // afterwards; the working lists (table..., current..., keyConstraints,
  // objectRowsets, seenPages, isTable, firstStoredColumn, derivedStorage)
  // describe the object prepared last.

  std::unique_ptr<CatalogLoader> loader;
  const CDatabaseFile* file = nullptr;  // not owned; null for a detached catalog
  AllocUnitRow currentAllocUnit{};
  RowsetRow currentRowset{};
  std::vector<HobtColumnRow> hobtColumns;
  std::vector<RowsetColumnMapRow> rowsetColumnMap;
  std::vector<LegacyColumnRow> legacyColumns;
  std::vector<LegacyTable> legacyTables;
  std::map<int32_t, LegacyIndexRoot> legacyIndexRoots;
  std::vector<LegacyIndexKey> legacyIndexKeys;
  std::vector<ColumnRow> columns;
  std::vector<ColumnRow> tableColumns;
  std::vector<LegacyColumnRow> tableLegacyColumns;
  std::vector<ObjectRow> objects;
  std::vector<ClassObjectRow> classObjects;
  std::vector<HobtColumnRow> tableHobtColumns;
  // Names given to columns of the table prepared last that only their
  // physical rows describe.
  std::vector<std::string> tableNamelessColumns;
  std::vector<RowsetColumnMapRow> tableRowsetColumnMap;
  std::vector<TypeRow> types;
  std::vector<RowsetColumnRow> rowsetColumns;
  std::vector<ObjectRefRow> objectRefs;
  std::vector<IndexRow> indexes;
  std::vector<IndexColumnRow> indexColumns;
  std::vector<KeyConstraint> keyConstraints;
  std::vector<IndexRow> tableIndexes;
  std::vector<AllocUnitRow> allocUnits;
  std::vector<ChildObject> childObjects;
  std::vector<ChildObject> referencingChildObjects;
  std::vector<ForeignKeyColumn> foreignKeyColumns;
  std::vector<RowsetRow> rowsets;
  std::vector<RowsetRow> objectRowsets;
  std::vector<AllocUnitRow> tableAllocUnits;
  std::vector<RowsetColumnRow> tableRowsetColumns;
  std::vector<PageRef> tablePages;
  std::vector<PrimaryKeyColumn> primaryKeyColumns;
  std::vector<DataFileInfo> files;
  bool isTable = false;
  int32_t firstStoredColumn = 0;
  std::vector<ColumnDescriptor> columnDescriptors;
  ObjectRow currentObject{};
  bool derivedStorage = false;
  std::set<PageRef> seenPages;
  // Tables whose catalog rows were lost, rebuilt from their pages (see
  // lost_tables.h), and the record shapes their columns were inferred
  // from, by object id.
  std::vector<LostTable> lostTables;
  std::map<int32_t, RecordShape> inferredShapes;
  // 2000 layout: the page key of each lost table, by the object id it was
  // given.
  std::map<int32_t, uint32_t> lostPageKeys;

 private:
  void Load();
  void LoadLegacyTables();
  // Mends object rows with the copies of their ids and names in sysschobjs'
  // index rows, and puts back tables whose rows are lost.
  // `withRows`: the objects whose rows are stored as a table's.
  void MendObjectsFromNameIndexes(const std::vector<ObjectNameRow>& nameRows, const std::set<int32_t>& withRows);
  // Puts back single damaged fields of rowset rows from the index rows
  // and from the ids that name their object and index.
  void RepairRowsetRows();
  std::vector<ColumnDescriptor> PrepareTable(const std::string& tableName);
  void CollectObjectPages(int32_t objectId);
  // Column rows made from the physical column rows of the table prepared
  // last whose syscolpars rows are missing.
  std::vector<ColumnRow> ColumnsFromRowsetColumns() const;
  // The same for SQL Server 2005, from the hobt column rows a rowset still
  // maps (a dropped column's row is no longer mapped).
  std::vector<ColumnRow> ColumnsFromHobtColumns() const;
  // The same for the 2000 layout, from the key descriptions of the table's
  // sysindexes rows: a key column keeps its type and place there.
  std::vector<LegacyColumnRow> ColumnsFromIndexKeys() const;
  void MendRowsetColumns();
  // Puts back single fields of the prepared table's column rows that
  // disagree with their other copies.
  void RepairColumnFields();
  void RepairRowsetPlaces(const std::set<int32_t>& catalogIds);
  void RepairColumnIdsAndTypes(std::set<int32_t>& catalogIds);
  void RepairImpossibleColumnIds(std::set<int32_t>& catalogIds);
  // Puts back the place of a column whose stored offset fits none of the
  // gaps its neighbours leave, where one gap alone fits it.
  void RepairColumnPlaces();
  // Widens `shape` to the layout most of the table's records share, where
  // they have more columns than its column rows tell of (rows were lost).
  void WidenToTheRecords(RecordShape& shape) const;
  mutable std::optional<bool> rowsetIdsNameUnits_;
  // Column rows and physical column rows whose object or rowset the
  // catalog does not have (their id damaged, or their owner's rows lost),
  // for the sizes of the lists they were found in.
  const std::vector<uint32_t>& OrphanColumns();
  const std::vector<uint32_t>& OrphanRowsetColumns();
  const std::vector<uint32_t>& OrphanLegacyColumns();
  struct OrphanRows {
    std::vector<uint32_t> positions;
    std::pair<size_t, size_t> builtFor{SIZE_MAX, 0};  // (rows, owners)
  };
  OrphanRows orphanColumns_, orphanRowsetColumns_, orphanLegacyColumns_;
  void ApplyPhysicalLayout(std::vector<ColumnDescriptor>& descriptors);
  void ApplyKeys(std::vector<ColumnDescriptor>& descriptors, const std::vector<IndexColumnRow>& keyColumns,
                 const std::string& tableName);
  // Appends the data pages filed under `key` that belong to allocation
  // unit `unitId` and are not in seenPages yet to tablePages.
  void AppendDataPages(uint32_t key, int64_t unitId);
  bool UnitHoldsPage(int64_t unitId, uint32_t key, const PageMapEntry& entry);
  void TakeLastDataPage(int64_t unitId, PageRef& firstPage);
  const std::vector<PageMapEntry>* PagesUnder(const PageMap* map, uint32_t key) const;

  // Lookups by key: positions of the matching rows in list order.
  struct Lookups;
  std::vector<uint32_t> ObjectsNamed(const std::string& name);
  std::vector<uint32_t> ObjectsWithId(int32_t objectId);
  std::vector<uint32_t> ObjectsWithParent(int32_t parentId);
  std::vector<uint32_t> RowsetsOf(int32_t objectId);
  std::vector<uint32_t> IndexesOf(int32_t objectId);
  std::vector<uint32_t> IndexColumnsOf(int32_t objectId);
  std::vector<uint32_t> AllocUnitsOwnedBy(int64_t rowsetId);
  std::vector<uint32_t> AllocUnitsWithId(int64_t allocUnitId);
  std::vector<uint32_t> ColumnsOf(int32_t objectId);        // masked ids
  std::vector<uint32_t> LegacyColumnsOf(int32_t objectId);  // masked ids
  std::vector<uint32_t> RowsetColumnsOf(int64_t rowsetId);
  std::vector<uint32_t> HobtColumnsOf(int64_t hobtId);
  std::vector<uint32_t> RowsetColumnMapOf(int64_t rowsetId);
  std::vector<uint32_t> TypesWithId(int32_t typeId);
  std::vector<uint32_t> ForeignKeysOf(int32_t parentObjectId);
  std::vector<uint32_t> ChildObjectsWithId(int32_t objectId);
  std::vector<uint32_t> ObjectRefsOf(int32_t dependentId, int32_t dependentSubId);
  // Pages of the system tables by key, for telling their pages apart from
  // user pages filed under the same small object id.
  const std::set<PageRef>& SystemPagesUnder(uint32_t key);

  bool sql2000_ = false;
  std::optional<uint16_t> databaseVersion_;
  const PageMap* systemPages_ = nullptr;
  const PageMap* dataPages_ = nullptr;
  const PageMap* iamPages_ = nullptr;
  std::unique_ptr<Lookups> lookups_;
};

}  // namespace ravelin

#endif  // RAVELIN_CATALOG_SYSTEM_CATALOG_H_
