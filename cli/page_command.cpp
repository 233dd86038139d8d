// ravelin page FILE PAGE: a forensic dump of one page, its header and every
// slot, for users chasing corruption.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/opened_database.h"
#include "cli/cli_context.h"
#include "cli/command_options.h"
#include "cli/commands.h"
#include "cli/file_table.h"
#include "cli/json_writer.h"
#include "cli/output.h"
#include "cli/terminal_sink.h"
#include "cli/xml_token_preview.h"
#include "storage/compressed_page.h"
#include "storage/compressed_record.h"
#include "storage/database_file.h"
#include "storage/page.h"
#include "storage/text_codec.h"

namespace ravelin {
namespace {

struct PageOptions {
  std::string file;
  int64_t page = 0;
  int64_t fileId = 1;
  bool json = false;
  bool quiet = false;
  bool deleted = false;
  bool deletedAdvanced = false;
};

const char* RecordTypeName(int type) {
  static const char* const kNames[] = {"primary", "forwarded",   "forwarding stub", "index",
                                       "text",    "ghost index", "ghost data",      "ghost version"};
  return kNames[type & 7];
}

// A short readable form of a column's bytes: the text when they look like
// UTF-16 text (names in the catalog are), hex otherwise.
std::string Preview(const ColumnValue& value) {
  if (!value.data) return "";
  const Bytes& b = *value.data;
  bool utf16 = b.size() >= 2 && b.size() % 2 == 0;
  for (size_t i = 0; utf16 && i + 1 < b.size(); i += 2) utf16 = b[i + 1] == 0 && b[i] >= 0x20 && b[i] < 0x7F;
  if (utf16) return Utf16ToUtf8(b);
  constexpr size_t kMaxHex = 32;
  std::string hex = "0x" + HexDigits(ByteSpan(b).first(std::min(b.size(), kMaxHex)));
  if (b.size() > kMaxHex) hex += "...";
  return hex;
}

// What one slot holds, read both from the record object and from the raw
// bytes at its offset (a rejected record has no object).
struct SlotView {
  int slot = 0;
  uint16_t offset = 0;
  bool inRange = false;
  uint8_t statusA = 0;
  int recordType = 0;
  bool ghost = false;
  const CRecord* record = nullptr;
  bool stub = false;
  PageRef forwardTo;
  int16_t forwardSlot = 0;
  // A record in the compressed layout, parsed from the page's bytes.
  std::optional<CdRecord> cd;
};

SlotView ViewSlot(const PrimaryRecordPage& page, size_t slot) {
  SlotView v;
  v.slot = static_cast<int>(slot);
  v.offset = slot < page.slotOffsets.size() ? page.slotOffsets[slot] : 0;
  v.inRange = v.offset >= kPageHeaderSize && v.offset < kPageSize;
  if (slot < page.records.size()) v.record = page.records[slot].get();
  if (v.inRange) {
    ByteSpan at = page.bytes().subspan(v.offset);
    v.statusA = at[0];
    if (IsCdRecord(at)) {
      const size_t end = std::max<size_t>(page.RecordSpaceEnd(), v.offset);
      v.cd = ParseCdRecord(at.first(std::min(at.size(), end - v.offset)));
      v.ghost = v.cd->IsGhost();
      v.stub = v.cd->type == CdRecordType::kForwardingStub && v.cd->forwardPage;
      if (v.stub) {
        v.forwardTo = *v.cd->forwardPage;
        v.forwardSlot = v.cd->forwardSlot;
      }
      return v;
    }
    v.recordType = (v.statusA >> 1) & 7;
    v.ghost = v.recordType >= kRecordGhostIndex;
    if (v.recordType == kRecordForwardingStub) {
      v.stub = true;
      v.forwardTo.pageNo = LoadLE<int32_t>(at, 1);
      v.forwardTo.fileId = LoadLE<int16_t>(at, 5);
      v.forwardSlot = LoadLE<int16_t>(at, 7);
    }
  }
  return v;
}

void JsonHex(JsonWriter& j, ByteSpan bytes) { j.String(HexDigits(bytes)); }

void WriteCompressionJson(JsonWriter& j, const CompressionInfo& info) {
  j.Key("compression").BeginObject();
  j.Key("flags").Int(info.flags).Key("anchor").Bool(info.hasAnchor()).Key("dictionary").Bool(info.hasDictionary());
  j.Key("changes").Int(info.pageModCount).Key("size").Int(info.size).Key("dictionaryOffset").Int(info.dictionaryOffset);
  j.Key("damaged").Bool(info.damaged).Key("dictionaryDamaged").Bool(info.dictionaryDamaged);
  j.Key("anchorValues").BeginArray();
  if (info.anchor) {
    for (size_t i = 0; i < info.anchor->columns.size(); ++i) {
      const AnchorValue anchor = info.AnchorFor(i);
      j.BeginObject().Key("column").Int(static_cast<int64_t>(i + 1));
      j.Key("code").String(CdCodeName(info.anchor->columns[i].code));
      j.Key("prefix");
      if (anchor.kind == AnchorKind::kPrefix)
        JsonHex(j, anchor.bytes);
      else
        j.Null();
      if (anchor.kind == AnchorKind::kUnknown) j.Key("unreadable").Bool(true);
      j.EndObject();
    }
  }
  j.EndArray().Key("dictionaryEntries").BeginArray();
  for (const auto& entry : info.dictionary) {
    if (entry)
      JsonHex(j, *entry);
    else
      j.Null();
  }
  j.EndArray().EndObject();
}

void WriteCdJson(JsonWriter& j, const CdRecord& cd, const CompressionInfo* info) {
  j.Key("compressed").BeginObject();
  j.Key("header").Int(cd.header).Key("type").String(CdRecordTypeName(cd.type)).Key("readable").Bool(cd.readable);
  j.Key("damaged")
      .Bool(cd.damaged)
      .Key("columnCount")
      .Int(cd.columnCount)
      .Key("length")
      .Int(static_cast<int64_t>(cd.length));
  j.Key("columns").BeginArray();
  Bytes scratch;
  for (size_t i = 0; i < cd.columns.size(); ++i) {
    const CdValue& v = cd.columns[i];
    j.BeginObject().Key("column").Int(static_cast<int64_t>(i + 1)).Key("code").Int(v.code);
    j.Key("codeName").String(CdCodeName(v.code));
    if (v.state == CdValueState::kShort || v.state == CdValueState::kLong || v.state == CdValueState::kPageSymbol) {
      j.Key("stored");
      JsonHex(j, v.bytes);
    }
    if (v.complex) j.Key("pointer").Bool(true);
    const ResolvedValue resolved = ResolveCdValue(cd, i, info, scratch);
    j.Key("value");
    if (resolved.state == ResolvedState::kBytes)
      JsonHex(j, resolved.bytes);
    else if (resolved.state == ResolvedState::kBitOne)
      j.String("01");
    else
      j.Null();
    if (resolved.state == ResolvedState::kUnreadable) j.Key("unreadable").Bool(true);
    j.EndObject();
  }
  j.EndArray().EndObject();
}

void WriteJson(Output& out, const CPage_Header& h, const PrimaryRecordPage& page, const PageOptions& o,
               const std::vector<std::string>& warnings) {
  JsonWriter j;
  j.BeginObject().Key("fileId").Int(o.fileId).Key("page").Int(o.page);
  j.Key("header").BeginObject();
  auto ref = [&j](const char* key, PageRef r) {
    j.Key(key).BeginObject().Key("fileId").Int(r.fileId).Key("pageNo").Int(r.pageNo).EndObject();
  };
  j.Key("headerVersion").Int(h.headerVersion).Key("pageType").Int(h.pageType).Key("typeFlagBits").Int(h.typeFlagBits);
  j.Key("level").Int(h.level).Key("flagBits").Int(h.flagBits).Key("indexId").Int(h.indexId);
  ref("prevPage", h.prevPage);
  j.Key("minLen").Int(h.minLen);
  ref("nextPage", h.nextPage);
  j.Key("slotCount").Int(h.slotCount).Key("objectId").UInt(h.objectId).Key("freeCount").Int(h.freeCount);
  j.Key("freeData").Int(h.freeData);
  ref("thisPage", h.thisPage);
  j.Key("reservedCount").Int(h.reservedCount);
  j.Key("lsn").String(std::to_string(h.lsnFile) + ":" + std::to_string(h.lsnOffset) + ":" + std::to_string(h.lsnSlot));
  j.Key("xactReserved").Int(h.xactReserved);
  j.Key("xdesId").String(std::to_string(h.xdesIdLow) + ":" + std::to_string(h.xdesIdHigh));
  j.Key("ghostRecordCount").Int(h.ghostRecordCount).Key("tornBits").UInt(h.tornBits);
  j.EndObject();
  j.Key("tornBitsRestored").Bool(h.tornBitsRestored);
  if (page.compression) WriteCompressionJson(j, *page.compression);
  j.Key("slots").BeginArray();
  for (size_t s = 0; s < page.slotOffsets.size(); ++s) {
    SlotView v = ViewSlot(page, s);
    j.BeginObject().Key("slot").Int(v.slot).Key("offset").Int(v.offset);
    // Records the slot array no longer lists, found by the deleted-record
    // hunt; they follow the header's slots.
    if (s >= page.huntedFrom) j.Key("hunted").Bool(true);
    if (v.cd) {
      j.Key("statusA").Int(v.statusA).Key("recordTypeName").String(CdRecordTypeName(v.cd->type));
      j.Key("ghost").Bool(v.ghost);
      WriteCdJson(j, *v.cd, page.compressionInfo());
    } else if (v.inRange) {
      j.Key("statusA").Int(v.statusA).Key("recordType").Int(v.recordType);
      j.Key("recordTypeName").String(RecordTypeName(v.recordType)).Key("ghost").Bool(v.ghost);
    }
    if (v.cd) {
      // The compressed form says it all.
    } else if (v.record) {
      const CRecord& r = *v.record;
      j.Key("error").Bool(r.hasError).Key("fixedLength").Int(r.fixedLength).Key("columnCount").Int(r.columnCount);
      j.Key("nullBitmap");
      if (r.nullBitmap)
        j.String(HexDigits(*r.nullBitmap));
      else
        j.Null();
      j.Key("recordLength").Int(r.recordLength);
      j.Key("varColumns").BeginArray();
      for (size_t k = 0; k < r.varColumnEnds.size(); ++k) {
        bool complex = k < r.varValues.size() && r.varValues[k].complex;
        j.BeginObject().Key("end").Int(r.varColumnEnds[k]).Key("complex").Bool(complex);
        if (k < r.varValues.size()) {
          j.Key("preview").String(Preview(r.varValues[k]));
          AddXmlTokensJson(j, r.varValues[k]);
        }
        j.EndObject();
      }
      j.EndArray();
    } else {
      j.Key("record").Null();
    }
    if (v.stub) {
      j.Key("forwardedTo").BeginObject().Key("fileId").Int(v.forwardTo.fileId).Key("pageNo").Int(v.forwardTo.pageNo);
      j.Key("slot").Int(v.forwardSlot).EndObject();
    }
    j.EndObject();
  }
  j.EndArray().Key("warnings").BeginArray();
  for (const std::string& warning : warnings) j.String(warning);
  j.EndArray().EndObject();
  out.Line(j.str());
}

void WriteText(Output& out, const CPage_Header& h, const PrimaryRecordPage& page, const PageOptions& o) {
  out.Printf("Page %lld:%lld\n", static_cast<long long>(o.fileId), static_cast<long long>(o.page));
  out.Printf("  headerVersion %u  pageType %u  typeFlagBits 0x%02X  level %u  flagBits 0x%04X  indexId %u\n",
             h.headerVersion, h.pageType, h.typeFlagBits, h.level, h.flagBits, h.indexId);
  out.Printf("  objectId %u  minLen %u  slotCount %d  freeCount %d  freeData %u  reservedCount %u\n", h.objectId,
             h.minLen, h.slotCount, h.freeCount, h.freeData, h.reservedCount);
  out.Printf("  thisPage %d:%d  prevPage %d:%d  nextPage %d:%d\n", h.thisPage.fileId, h.thisPage.pageNo,
             h.prevPage.fileId, h.prevPage.pageNo, h.nextPage.fileId, h.nextPage.pageNo);
  out.Printf("  lsn %u:%u:%d  xactReserved %u  xdesId %d:%u  ghostRecordCount %d  tornBits 0x%08X\n", h.lsnFile,
             h.lsnOffset, h.lsnSlot, h.xactReserved, h.xdesIdLow, h.xdesIdHigh, h.ghostRecordCount, h.tornBits);
  out.Printf("  torn bits %s\n", h.tornBitsRestored ? "restored" : "not used");
  if (page.compression)
    for (const std::string& line : DescribeCompressionInfo(*page.compression)) out.Printf("%s\n", line.c_str());
  for (size_t s = 0; s < page.slotOffsets.size(); ++s) {
    SlotView v = ViewSlot(page, s);
    if (s >= page.huntedFrom)
      out.Printf("Hunted record  offset %u", v.offset);
    else
      out.Printf("Slot %d  offset %u", v.slot, v.offset);
    if (!v.inRange) {
      out.Printf("  (outside the page's records)\n");
      continue;
    }
    if (v.cd) {
      // A compressed record: its codes, stored bytes and the bytes each
      // value stands for once the page's anchor and dictionary are applied.
      out.Printf("  status 0x%02X  compressed\n", v.statusA);
      for (const std::string& line : DescribeCdRecord(*v.cd, page.compressionInfo()))
        out.Printf("    %s\n", line.c_str());
      continue;
    }
    out.Printf("  status 0x%02X  %s%s", v.statusA, RecordTypeName(v.recordType), v.ghost ? " (ghost)" : "");
    if (v.stub) out.Printf("  -> %d:%d slot %d", v.forwardTo.fileId, v.forwardTo.pageNo, v.forwardSlot);
    if (!v.record) {
      out.Printf("  (not read)\n");
      continue;
    }
    const CRecord& r = *v.record;
    if (r.hasError) {
      out.Printf("  (rejected)\n");
      continue;
    }
    out.Printf("\n    fixedLength %d  columnCount %d  recordLength %d", r.fixedLength, r.columnCount, r.recordLength);
    if (r.nullBitmap) out.Printf("  nullBitmap %s", HexDigits(*r.nullBitmap).c_str());
    if (!r.varColumnEnds.empty()) {
      out.Printf("\n    variable column ends");
      for (size_t k = 0; k < r.varColumnEnds.size(); ++k)
        out.Printf(" %u%s", r.varColumnEnds[k], k < r.varValues.size() && r.varValues[k].complex ? "c" : "");
    }
    for (size_t k = 0; k < r.varValues.size(); ++k) {
      std::string preview = Preview(r.varValues[k]);
      if (!preview.empty()) out.Printf("\n    [%zu] %s", k, preview.c_str());
    }
    out.Printf("\n");
    for (size_t k = 0; k < r.varValues.size(); ++k) out.Write(XmlTokenLines(k, r.varValues[k]));
  }
}

int RunPage(const PageOptions& o) {
  TerminalSink sink(o.quiet, false);
  sink.SetDataFile(o.file, *Cli().env);
  Output out(&sink);
  OpenRequest request;
  request.path = o.file;
  request.env = Cli().env;
  request.options.showDeleted = o.deleted || o.deletedAdvanced;
  request.options.huntDeleted = o.deletedAdvanced;
  // Secondary files are mapped so that their pages, and forwarding stubs
  // that point into them, can be read.
  request.loadCatalog = false;
  std::unique_ptr<OpenedDatabase> opened = OpenedDatabase::Open(request, sink, StopToken());
  sink.Finish();
  if (!opened) return kExitFailure;
  const CDatabaseFile& db = opened->file();
  const PageRef ref{static_cast<int16_t>(o.fileId), static_cast<int32_t>(o.page)};
  uint64_t pageCount = db.pageCount;
  if (ref.fileId != 1) {
    auto it = db.secondaryFiles.find(ref.fileId);
    pageCount = it == db.secondaryFiles.end() ? 0 : it->second.pageCount;
  }
  if (static_cast<uint64_t>(ref.pageNo) >= pageCount) {
    sink.Error("Page " + std::to_string(ref.fileId) + ":" + std::to_string(ref.pageNo) + " cannot be read: " +
               (pageCount == 0 ? "the database has no file with id " + std::to_string(ref.fileId) + " that was found"
                               : "the file has " + std::to_string(pageCount) + " pages"));
    return kExitFailure;
  }
  auto bytes = db.ReadPageBytes(ref, true);
  if (!bytes) {
    sink.Error("Page " + std::to_string(ref.fileId) + ":" + std::to_string(ref.pageNo) + " cannot be read.");
    return kExitFailure;
  }
  PrimaryRecordPage page(std::move(*bytes), &db);
  if (o.json)
    WriteJson(out, *page.header, page, o, sink.warnings());
  else
    WriteText(out, *page.header, page, o);
  return FinishCommand(out, &sink, kExitOk);
}

}  // namespace

void AddPageCommand(CLI::App& app, int& exitCode) {
  auto o = std::make_shared<PageOptions>();
  CLI::App* cmd = app.add_subcommand("page", "Dump one page: its header and every slot");
  cmd->add_option("FILE", o->file, "Primary data file (.mdf)")->required();
  AddCountOption(cmd, "PAGE", o->page, "Page number (0 is the file header page)", 0)->required();
  AddCountOption(cmd, "--file-id", o->fileId, "File id of the page (1: the primary file)", 1, INT16_MAX);
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->add_flag("--quiet", o->quiet, "No status texts or progress bar");
  cmd->add_flag("--deleted", o->deleted, "Show deleted (ghost) records");
  cmd->add_flag("--deleted-advanced", o->deletedAdvanced,
                "Also hunt for records the slot array no longer lists (implies --deleted)");
  cmd->callback([o, &exitCode] { exitCode = RunPage(*o); });
}

}  // namespace ravelin
