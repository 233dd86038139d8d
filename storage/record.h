// Records: the unit a slot of a page points at.
//
// A record's bytes are split into status bytes, fixed-length data, column
// count, null bitmap and variable-length columns (with an optional sparse
// column vector). Every part is copied out of the page, so a record holds no
// pointer into the page buffer.

#ifndef RAVELIN_STORAGE_RECORD_H_
#define RAVELIN_STORAGE_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/bytes.h"
#include "storage/page_types.h"

namespace ravelin {

class CPage;
struct ResolvedCdRecord;

// Record types: bits 1-3 of status byte A.
constexpr int kRecordPrimary = 0;
constexpr int kRecordForwarded = 1;
constexpr int kRecordForwardingStub = 2;
constexpr int kRecordIndex = 3;
constexpr int kRecordTextFragment = 4;
constexpr int kRecordGhostIndex = 5;
constexpr int kRecordGhostData = 6;
constexpr int kRecordGhostVersion = 7;

// Status byte A bits.
constexpr uint8_t kStatusCompressed = 0x01;
constexpr uint8_t kStatusNullBitmap = 0x10;
constexpr uint8_t kStatusVarColumns = 0x20;

// fixedLength of a forwarding stub whose forwarded record cannot be read.
constexpr int16_t kUnreadableForward = -5;
// fixedLength of a record that reads as a forwarding stub but whose address
// names no page of the database: damaged bytes, not a row.
constexpr int16_t kImpossibleForward = -6;

// Where a record stands: a page and a slot of it.
struct RecordLocation {
  PageRef page;
  int32_t slot = -1;

  friend bool operator==(const RecordLocation&, const RecordLocation&) = default;
  friend auto operator<=>(const RecordLocation&, const RecordLocation&) = default;
};

// One variable-length column (or sparse column) value of a record.
struct ColumnValue {
  int32_t columnId = -1;      // -1 for variable columns; the sparse column id
  std::optional<Bytes> data;  // absent when the column is empty or damaged
  int32_t length = 0;         // bytes in data
  std::string text;           // filled by the value decoders
  bool complex = false;       // bit 15 of the column's end offset
};

class CRecord {
 public:
  virtual ~CRecord() = default;

  std::vector<uint16_t> varColumnEnds;  // bit 15 cleared
  int32_t recordType = 0;
  bool hasNullBitmap = false;
  // A record in the compressed (CD) layout: it has no fixed part or
  // column offsets of its own; its values, with the page's abbreviations
  // resolved, are in `compressed` (absent for a stub whose record is lost).
  // The table reader rebuilds it with the table's columns.
  bool isCompressed = false;
  std::shared_ptr<const ResolvedCdRecord> compressed;
  bool hasError = false;
  bool hasVarColumns = false;
  bool isHiddenGhost = false;
  std::optional<Bytes> fixedData;
  int16_t columnCount = 0;
  std::optional<Bytes> nullBitmap;
  int16_t varColumnCount = 0;
  std::vector<ColumnValue> varValues;
  std::optional<Bytes> recordBytes;
  std::optional<std::vector<ColumnValue>> sparseValues;
  const CPage* page = nullptr;  // the page the record was read from
  int32_t recordLength = 0;
  uint16_t maxLength = 0;
  int16_t fixedLength = 0;
  // A forwarding stub that was followed: where the forwarded record it
  // stands for lies, so that a listing can show that row only once.
  std::optional<RecordLocation> forwardTarget;

  // Bit `column` of the null bitmap (least significant bit first); false
  // without a bitmap or beyond its end.
  bool IsNullBitSet(int column) const;

  // Whether a table listing shows the record: not an index record, not
  // rejected, not a hidden ghost.
  bool IsListed() const { return recordType != kRecordIndex && !hasError && !isHiddenGhost; }
};

class CPrimaryRecord : public CRecord {
 public:
  // Parses the record at the start of `bytes` (the page from the record's
  // offset on), reading at most `maxLength` bytes. With `followForwarding`
  // a forwarding stub is replaced by the record it points to. Never fails
  // to construct: the outcome is in hasError, fixedLength and the parts.
  CPrimaryRecord(ByteSpan bytes, const CPage* page, uint16_t maxLength, bool followForwarding = true);

 private:
  void Parse(ByteSpan bytes, bool followForwarding);
  void ParseCompressed(ByteSpan bytes, bool followForwarding);
  // Takes the values of the compressed record a stub points at.
  void AdoptCompressed(const CRecord& record);
  bool FollowForwardingStub(ByteSpan stub, Bytes& forwarded);
  bool FollowStubTo(PageRef target, int16_t slot, Bytes& forwarded);
  void ParseVarColumns(ByteSpan bytes, int& position);
};

// Where the record at the start of `bytes` ends, or -1 when no record of an
// accepted type stands there. Used to find records the slot array no longer
// lists. `showDeleted` also accepts ghost data records.
int32_t MeasureRecordLength(ByteSpan bytes, bool showDeleted);

// Parses a sparse column vector (a complex column of kind 5).
std::optional<std::vector<ColumnValue>> ParseSparseVector(ByteSpan column);

// The kind of a complex column (2 in-row root, 5 sparse vector, ...): its
// first byte, or its first 16-bit word when that byte is zero.
int ComplexKind(ByteSpan column);
// Kinds of complex columns: those that lead to large-value structures, and
// the sparse column set.
constexpr int kInRowRoot = 2;
constexpr int kLargeInRowRoot = 4;
constexpr int kSparseVector = 5;
// A text pointer (text, ntext and image) is 16 bytes; no other complex
// column is that long (an in-row root needs 24), so it is known by its
// length: its timestamp may start with any byte.
constexpr size_t kTextPointerSize = 16;

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_RECORD_H_
