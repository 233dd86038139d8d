#include "fuzz_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "rows/value_render.h"
#include "support/synthetic.h"

namespace ravelin::fuzz {

using namespace ravelin::testing;

ReadOptions ReadOptionsFrom(uint8_t bits) {
  ReadOptions options;
  options.showDeleted = bits & 1;
  options.huntDeleted = bits & 2;
  options.mode = (bits & 4) ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
  return options;
}

Bytes PageFrom(ByteSpan bytes) {
  Bytes page(kPageSize, 0);
  const size_t n = std::min<size_t>(bytes.size(), kPageSize);
  if (n > 0) std::memcpy(page.data(), bytes.data(), n);
  return page;
}

void CompactPage::Expand(ByteSpan chunk, uint8_t* page) const {
  std::memset(page, 0, kPageSize);
  const ByteSpan first = SubSpan(chunk, 0, head);
  if (!first.empty()) std::memcpy(page, first.data(), first.size());
  const ByteSpan last = SubSpan(chunk, head, tail);
  if (!last.empty()) std::memcpy(page + kPageSize - tail, last.data(), last.size());
}

Bytes CompactPage::Shorten(ByteSpan page) const {
  const Bytes whole = PageFrom(page);
  Bytes out(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(head));
  out.insert(out.end(), whole.end() - static_cast<std::ptrdiff_t>(tail), whole.end());
  return out;
}

MemoryDataFile::MemoryDataFile(MemoryEnv& env, std::string path, uint32_t pageCount)
    : env_(env), path_(std::move(path)), pageCount_(pageCount), image_(static_cast<size_t>(pageCount) * kPageSize, 0) {
  env_.AddFileView(path_, ByteSpan(image_));
}

uint8_t* MemoryDataFile::Page(uint32_t pageNo) { return image_.data() + static_cast<size_t>(pageNo) * kPageSize; }

void MemoryDataFile::SetPage(uint32_t pageNo, ByteSpan bytes) {
  uint8_t* page = Page(pageNo);
  const size_t n = std::min<size_t>(bytes.size(), kPageSize);
  if (n > 0) std::memcpy(page, bytes.data(), n);
  std::memset(page + n, 0, kPageSize - n);
}

DataFileInfo MemoryDataFile::Describe(int32_t fileId) const {
  DataFileInfo info;
  info.fileId = fileId;
  info.logicalName = "fuzz" + std::to_string(fileId);
  info.physicalName = path_;
  info.fileSize = image_.size();
  info.pageCount = pageCount_;
  return info;
}

CDatabaseFile& MemoryDataFile::Open(uint8_t bits) {
  std::unique_ptr<CDatabaseFile>& file = opened_[bits & 7];
  if (!file) file = std::make_unique<CDatabaseFile>(path_, env_, sink_, StopToken(), ReadOptionsFrom(bits));
  return *file;
}

namespace {

ColumnDescriptor Column(int id, const std::string& name, const std::string& typeText, int32_t typeCode,
                        uint8_t precision = 0, uint8_t scale = 0) {
  ColumnDescriptor d = MakeColumnDescriptor(name, typeText, typeCode);
  d.columnId = d.hobtColumnId = id;
  d.precision = precision;
  d.scale = scale;
  d.stored = 1;
  d.nullable = 1;
  return d;
}

PageRef Ref(int32_t pageNo) { return PageRef{1, pageNo}; }

}  // namespace

std::vector<ColumnDescriptor> RecordColumns(bool laidOut) {
  std::vector<ColumnDescriptor> c = {
      Column(1, "id", "int(4)", kTypeInt),
      Column(2, "big", "bigint(8)", kTypeBigInt),
      Column(3, "small", "smallint(2)", kTypeSmallInt),
      Column(4, "tiny", "tinyint(1)", kTypeTinyInt),
  };
  for (int i = 0; i < 9; ++i) c.push_back(Column(5 + i, "b" + std::to_string(i), "bit(1)", kTypeBit));
  const std::vector<ColumnDescriptor> rest = {
      Column(14, "dt", "datetime(8)", kTypeDateTime),
      Column(15, "sdt", "smalldatetime(4)", kTypeSmallDateTime),
      Column(16, "d", "date(3)", kTypeDate),
      Column(17, "t", "time(5)", kTypeTime, 16, 7),
      Column(18, "dt2", "datetime2(8)", kTypeDateTime2, 27, 7),
      Column(19, "dto", "datetimeoffset(10)", kTypeDateTimeOffset, 34, 7),
      Column(20, "m", "money(8)", kTypeMoney),
      Column(21, "sm", "smallmoney(4)", kTypeSmallMoney),
      Column(22, "dec", "decimal(9)", kTypeDecimal, 18, 2),
      Column(23, "num", "numeric(17)", kTypeNumeric, 38, 10),
      Column(24, "f", "float(8)", kTypeFloat),
      Column(25, "r", "real(4)", kTypeReal),
      Column(26, "g", "uniqueidentifier(16)", kTypeUniqueIdentifier),
      Column(27, "c", "char(10)", kTypeChar),
      Column(28, "nc", "nchar(10)", kTypeNChar),
      Column(29, "bin", "binary(6)", kTypeBinary),
      Column(30, "ts", "timestamp(8)", kTypeTimestamp),
      Column(31, "vc", "varchar(50)", kTypeVarChar),
      Column(32, "nvc", "nvarchar(100)", kTypeNVarChar),
      Column(33, "vb", "varbinary(100)", kTypeVarBinary),
      Column(34, "txt", "text(16)", kTypeText),
      Column(35, "ntxt", "ntext(16)", kTypeNText),
      Column(36, "img", "image(16)", kTypeImage),
      Column(37, "nvmax", "nvarchar(-1)", kTypeNVarChar),
      Column(38, "vbmax", "varbinary(-1)", kTypeVarBinary),
      Column(39, "var", "sql_variant(8016)", kTypeSqlVariant),
      Column(40, "x", "xml(-1)", kTypeXml),
      Column(41, "hid", "hierarchyid(892)", kTypeHierarchyId),
      Column(42, "sp1", "int(4)", kTypeInt),
      Column(43, "sp2", "nvarchar(40)", kTypeNVarChar),
  };
  c.insert(c.end(), rest.begin(), rest.end());
  c[c.size() - 2].statusBit24 = 1;
  c[c.size() - 1].statusBit24 = 1;
  for (ColumnDescriptor& d : c)
    if (d.name == "c") d.collationId = 53269;  // Cyrillic_General_CI_AS: text in code page 1251
  if (!laidOut) return c;

  // Fixed columns in order after the 4-byte record header, bits sharing
  // bytes, variable columns numbered -1, -2, ...; sparse columns live in
  // the sparse vector and have neither.
  int16_t offset = 4;
  int16_t variable = -1;
  int bits = 8;
  int16_t bitByte = 0;
  for (ColumnDescriptor& d : c) {
    if (d.statusBit24) continue;
    d.nullBit = d.columnId;
    BitCursor cursor;
    const ValueLayout shape = DescribeValue(d, cursor);
    if (shape.variable) {
      d.leafOffset = variable--;
    } else if (d.typeCode == kTypeBit) {
      if (bits == 8) {
        bitByte = offset++;
        bits = 0;
      }
      ++bits;
      d.leafOffset = bitByte;
    } else {
      d.leafOffset = offset;
      offset = static_cast<int16_t>(offset + shape.fixedLength);
    }
    d.legacyFixedOffset = d.leafOffset;
  }
  return c;
}

void WriteRecordFixture(MemoryDataFile& file) {
  PageBuilder forwarded(kForwardedPage);
  forwarded.ObjectId(300).IndexId(256);
  for (int slot = 0; slot < kForwardedSlots; ++slot) {
    // A forwarded record: an int, a varchar and a back pointer, as a
    // forwarded row keeps them.
    forwarded.AddRecord(RecordBuilder()
                            .Type(1)
                            .Fixed(LE32(static_cast<uint32_t>(100 + slot)))
                            .ColumnCount(static_cast<int16_t>(2 + slot))
                            .Var(Ascii("moved row " + std::to_string(slot)))
                            .Var(Concat({LE16(0x0400), DiskPageRef(Ref(5)), LE16(static_cast<uint16_t>(slot))}), true)
                            .Build());
  }
  file.SetPage(kForwardedPage, forwarded.Build());

  PageBuilder text(kTextPage);
  text.PageType(3).ObjectId(301).IndexId(256);
  text.AddRecord(TextRecordBytes(SmallRootStructure(Ascii("a small root"), 80)));
  text.AddRecord(TextRecordBytes(DataStructure(Ascii("fragment one "))));
  text.AddRecord(TextRecordBytes(LargeRootStructure({{Ref(kTextPage), 1, 13}, {Ref(kTextPage), 3, 26}})));
  text.AddRecord(TextRecordBytes(DataStructure(Ascii("fragment two."))));
  text.AddRecord(TextRecordBytes(InternalStructure({{Ref(kTextPage), 1, 13}, {Ref(kTextPage), 3, 26}})));
  text.AddRecord(TextRecordBytes(SmallRootStructure(Utf16("wide text"), 80)));
  text.AddRecord(TextRecordBytes(LargeRootStructure({{Ref(kSecondTextPage), 0, 10}, {Ref(kSecondTextPage), 1, 20}})));
  file.SetPage(kTextPage, text.Build());

  PageBuilder second(kSecondTextPage);
  second.PageType(3).ObjectId(301).IndexId(256);
  second.AddRecord(TextRecordBytes(DataStructure(Ascii("third page"))));
  second.AddRecord(TextRecordBytes(
      LargeRootStructure({{Ref(kTextPage), 1, 13}, {Ref(kSecondTextPage), 1, 26}, {Ref(kTextPage), 6, 40}}, 4)));
  file.SetPage(kSecondTextPage, second.Build());
}

const CollationTable& FuzzCollations() {
  static const CollationTable table = [] {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    folder.resize(folder.rfind('/') + 1);
    CollationTable loaded = LoadCollationTable(folder + "collation.txt");
    if (loaded.empty()) {
      loaded[53269] = {"Cyrillic_General_CI_AS", 1251};
      loaded[53264] = {"Japanese_CI_AS", 932};
      loaded[53284] = {"Chinese_PRC_CI_AS", 936};
      loaded[872468488] = {"SQL_Latin1_General_CP1_CI_AS", 1252};
    }
    return loaded;
  }();
  return table;
}

}  // namespace ravelin::fuzz
