// Parses arbitrary bytes as one record and decodes it against a fixed
// column set of every kind, with both column readers: the record parser
// (status bytes, fixed part, null bitmap, variable columns, sparse vector,
// forwarding stubs), the record measure the deleted-record hunt uses, the
// value decoder and, through text pointers and in-row roots, the
// large-value reader. Any crash, hang, leak or undefined behaviour is a
// finding.
//
// Input: one option byte, then the record. Option bits: 0 shows deleted
// records, 1 reads with the 2000 catalog layout, 2 lists a table's first
// page (large roots show a placeholder), 3 reads as a definition table
// (no null bitmap, large values always read).
//
// Forwarding stubs and large-value pointers lead into a small file in
// memory (fuzz_support.h: WriteRecordFixture); seeds come from
// fuzz_seeds.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "rows/value_decoder.h"
#include "storage/page.h"
#include "storage/record.h"

namespace {

using namespace ravelin;
using namespace ravelin::fuzz;

struct Fixture {
  MemoryEnv env;
  MemoryDataFile file{env, "/fuzz/records.mdf", kRecordFixturePages};
  CollationContext collation{&FuzzCollations()};
  // The page a record is read from, once with each deleted-record option:
  // the record takes the reading options and the file from it.
  std::unique_ptr<CPage> hosts[2];
  std::vector<ColumnDescriptor> laidOut = RecordColumns(true);
  std::vector<ColumnDescriptor> positional = RecordColumns(false);

  Fixture() {
    WriteRecordFixture(file);
    collation.ApplyDatabaseCollation(872468488);
    for (uint8_t deleted = 0; deleted < 2; ++deleted)
      hosts[deleted] = std::make_unique<CPage>(Bytes(kPageSize, 0), &file.Open(deleted));
  }
};

void Decode(const CRecord& record, std::vector<ColumnDescriptor>& columns, ColumnReader reader,
            const DecodeContext& context) {
  DecodeCounters counters = DecodeCounters::ForRecord(record, columns.size());
  for (size_t c = 0; c < columns.size(); ++c) {
    if (c < static_cast<size_t>(counters.columnsDecoded))
      DecodeColumnValue(record, columns[c], counters, reader, context);
    else
      MarkColumnAbsent(columns[c]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture f;
  if (size < 1) return 0;
  const uint8_t options = data[0];
  const ByteSpan bytes(data + 1, std::min<size_t>(size - 1, kPageSize - kPageHeaderSize));
  const CPage& host = *f.hosts[options & 1];

  MeasureRecordLength(bytes, options & 1);
  const CPrimaryRecord record(bytes, &host, static_cast<uint16_t>(kPageSize - kPageHeaderSize));

  DecodeContext context(f.collation);
  context.file = host.file;
  context.legacyLayout = options & 2;
  context.firstPageListing = options & 4;
  context.systemVariant = options & 8;
  Decode(record, f.laidOut, ColumnReader::kLayout, context);
  Decode(record, f.positional, ColumnReader::kPositional, context);
  return 0;
}
