// Assembles large values from arbitrary text pages: a text pointer or an
// in-row root, as a row holds it, leads into two text pages built from the
// input, whose small roots, large roots, internal nodes and data fragments
// link to each other (and back, and in loops). Any crash, hang, leak or
// undefined behaviour is a finding, and so are collected pieces longer
// than the byte limit.
//
// Input (fuzz_support.h: kLobInputPages): one option byte, the length of
// the row's value (one byte), the value, then pages 1 and 2 of the file in
// the short form kLobPage. Option bits: 0 hexadecimal, 1 UTF-16 text,
// 2 sql_variant prefix, 3 collect the pieces (xml), 4 a byte limit of 16,
// 5 the value is an in-row root (else a text pointer), 6-7 the code page.

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "storage/lob.h"
#include "storage/text_page.h"

namespace {

using namespace ravelin;
using namespace ravelin::fuzz;

constexpr int kCodePages[] = {0, 1252, 932, 1251};
constexpr uint64_t kSmallLimit = 16;

struct Fixture {
  MemoryEnv env;
  MemoryDataFile file{env, "/fuzz/text.mdf", kLobInputPages + 2};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture f;
  if (size < 2) return 0;
  const uint8_t options = data[0];
  const size_t valueLength = std::min<size_t>(data[1], size - 2);
  const ByteSpan value(data + 2, valueLength);
  ByteSpan pages(data + 2 + valueLength, size - 2 - valueLength);
  for (uint32_t n = 1; n <= kLobInputPages; ++n) {
    kLobPage.Expand(SubSpan(pages, 0, kLobPage.size()), f.file.Page(n));
    pages = SubSpan(pages, kLobPage.size(), pages.size());
  }

  LobReadOptions read;
  read.asHex = options & 1;
  read.wideText = options & 2;
  read.prefixed = options & 4;
  read.collect = options & 8;
  if (options & 16) read.byteLimit = kSmallLimit;
  read.codePage = kCodePages[options >> 6];

  const CDatabaseFile& file = f.file.Open(0);
  LobReadOutcome outcome;
  if (options & 32)
    ReadInRowRootValue(value, file, read, &outcome);
  else
    ReadTextPointerValue(value, file, read, &outcome);
  uint64_t collected = 0;
  for (const Bytes& piece : outcome.pieces) collected += piece.size();
  if (collected > read.byteLimit) std::abort();

  // The structure in slot 0 of page 1 read as a value of its own, as the
  // page command does.
  if (auto page = file.ReadTextPage(PageRef{1, 1})) {
    const TextRecord* record = page->RecordAt(0);
    if (record && record->fixedData) ReadLobValue(*record->fixedData, record->payloadLength, file, read);
  }
  return 0;
}
