// Large values (text, ntext, image and max-length values stored outside the
// row): the structures found in text records, and the readers that follow a
// pointer held by a row to the value's bytes and render them.
//
// A row holds either a 16-byte text pointer or an in-row root; both lead to
// records on text pages whose fixed data is a structure: a small root (the
// bytes themselves), a large root or internal node (links to further
// records), or a data fragment.

#ifndef RAVELIN_STORAGE_LOB_H_
#define RAVELIN_STORAGE_LOB_H_

#include <cstdint>
#include <string>
#include <vector>

#include "storage/bytes.h"
#include "storage/page_types.h"

namespace ravelin {

class CDatabaseFile;

// SQL Server values reach 2 GB; more than this is not assembled for one
// value (what is kept is the value's start, and the outcome says so).
constexpr uint64_t kLobValueByteLimit = uint64_t{256} << 20;

// How the bytes of a value become text. The column decoders set them from
// the column's type.
struct LobReadOptions {
  bool asHex = false;     // two uppercase hex digits per byte, no prefix
  bool prefixed = false;  // sql_variant: 8-byte prefix, type id first
  bool wideText = false;  // UTF-16 text (ntext, nvarchar(max))
  bool collect = false;   // keep the raw pieces (xml); the text stays empty
  // Code page of 8-bit text, as CodePageForCollation gives it for the
  // column's collation; 0 means the ANSI code page.
  int codePage = 0;
  uint64_t byteLimit = kLobValueByteLimit;
};

// What a read found beyond its text.
struct LobReadOutcome {
  // Collect mode: the bytes of every fragment of the value, in order.
  std::vector<Bytes> pieces;
  // The value was longer than byteLimit; only its start was assembled.
  bool truncated = false;
  // Some part of the value could not be read (page, slot, record, a link
  // that loops back, a tree too deep): the value is shorter than stored.
  bool incomplete = false;
};

// A link from a root, an internal node or an in-row root to a record.
struct LobLink {
  PageRef page;
  int32_t slot = 0;
  int64_t size = 0;  // offset of the end of the linked bytes in the value
};

// Kinds of structure are named in storage/text_page.h (kLobSmallRoot ...).
class LobStructureBase {
 public:
  // `structure` is a text record's fixed data: blob id, kind, the rest.
  LobStructureBase(ByteSpan structure, const CDatabaseFile* databaseFile);
  virtual ~LobStructureBase() = default;

  // The structure's own bytes as text or hex; empty for structures that
  // only link to others.
  virtual std::string RenderText(const LobReadOptions& options) const;
  virtual std::string RenderHex() const;

  uint32_t blobIdLow = 0;
  uint32_t blobIdHigh = 0;
  const CDatabaseFile* file = nullptr;  // not owned
};

// Kind 0: a short value held in the root itself.
class SmallRoot : public LobStructureBase {
 public:
  SmallRoot(ByteSpan structure, const CDatabaseFile* databaseFile);

  std::string RenderText(const LobReadOptions& options) const override;
  std::string RenderHex() const override;

  // Turns UTF-16 text of 8-bit characters into 8-bit text in place when
  // exactly half of the bytes are zero; false when it does not apply.
  bool NarrowUtf16();

  int16_t dataLength = 0;
  bool valid = false;  // dataLength in 1 ... 8192 and its bytes present
  Bytes data;
};

// Kind 2: links to the records below it.
class Internal : public LobStructureBase {
 public:
  Internal(ByteSpan structure, const CDatabaseFile* databaseFile);

  int16_t entryCount = 0;
  std::vector<LobLink> entries;  // the entries that lie inside the record
};

// Kind 3: a fragment of the value's bytes.
class LobSData : public LobStructureBase {
 public:
  LobSData(ByteSpan structure, int32_t payloadLength, const CDatabaseFile* databaseFile);

  std::string RenderText(const LobReadOptions& options) const override;
  std::string RenderHex() const override;

  bool valid = false;  // payloadLength in 1 ... 8192 and its bytes present
  Bytes data;
};

// Kinds 4, 5 and 6: the root of a value held in several records.
class LargeRootYukon : public LobStructureBase {
 public:
  LargeRootYukon(ByteSpan structure, int32_t payloadLength, const CDatabaseFile* databaseFile);

  int16_t entryCount = 0;
  std::vector<LobLink> entries;
};

// Renders assembled bytes by the options: prefixed values by their type id
// (165 and 173 as hex, others as 8-bit text), then hex, UTF-16 text, or
// 8-bit text in the options' code page. Text ends at the first zero
// character.
std::string RenderLobBytes(ByteSpan bytes, const LobReadOptions& options);

// The value whose structure is `structure` (a text record's fixed data with
// `payloadLength` bytes after its 10-byte header). Empty when nothing can
// be read.
std::string ReadLobValue(ByteSpan structure, int32_t payloadLength, const CDatabaseFile& file,
                         const LobReadOptions& options, LobReadOutcome* outcome = nullptr);

// The value a 16-byte text pointer (timestamp, page number, file id, slot)
// leads to. Empty when the pointer's record cannot be found; a value whose
// text is empty reads as one blank.
std::string ReadTextPointerValue(ByteSpan textPointer, const CDatabaseFile& file, const LobReadOptions& options,
                                 LobReadOutcome* outcome = nullptr);

// The value an in-row root (a complex column of type 2 or 4: a 12-byte
// header, then 12-byte links) leads to: the values of its links with a
// size above 0, in order.
std::string ReadInRowRootValue(ByteSpan column, const CDatabaseFile& file, const LobReadOptions& options,
                               LobReadOutcome* outcome = nullptr);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_LOB_H_
