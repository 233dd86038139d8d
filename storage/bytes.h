// Bounds-checked little-endian reads from untrusted byte buffers.
//
// Every on-disk structure is decoded through these helpers: a read either
// lies wholly inside the buffer or reports that it cannot be made, so a
// damaged length or offset never turns into an out-of-bounds access.

#ifndef RAVELIN_STORAGE_BYTES_H_
#define RAVELIN_STORAGE_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace ravelin {

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;

// Reads an integer of type T stored little-endian at `offset`; false when
// the value does not lie wholly inside `data`.
template <typename T>
bool ReadLE(ByteSpan data, size_t offset, T& out) {
  static_assert(std::is_integral_v<T>, "integers only");
  if (offset > data.size() || data.size() - offset < sizeof(T)) return false;
  using U = std::make_unsigned_t<T>;
  U value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<U>(static_cast<U>(data[offset + i]) << (8 * i));
  out = static_cast<T>(value);
  return true;
}

// As ReadLE, but yields `fallback` when the value is out of bounds.
template <typename T>
T LoadLE(ByteSpan data, size_t offset, T fallback = 0) {
  T value;
  return ReadLE(data, offset, value) ? value : fallback;
}

// The part of `data` from `offset` with at most `length` bytes; empty when
// `offset` lies beyond the end.
inline ByteSpan SubSpan(ByteSpan data, size_t offset, size_t length) {
  if (offset >= data.size()) return {};
  return data.subspan(offset, std::min(length, data.size() - offset));
}

// Copies exactly `length` bytes at `offset`, or nothing when they are not
// all present.
inline std::optional<Bytes> CopyBytes(ByteSpan data, size_t offset, size_t length) {
  if (offset > data.size() || data.size() - offset < length) return std::nullopt;
  return Bytes(data.begin() + static_cast<std::ptrdiff_t>(offset),
               data.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

inline void StoreLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// Appends two upper-case hexadecimal digits per byte, no prefix.
inline void AppendHexDigits(std::string& out, ByteSpan bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const size_t start = out.size();
  out.resize(start + 2 * bytes.size());
  char* p = out.data() + start;
  for (uint8_t b : bytes) {
    *p++ = kDigits[b >> 4];
    *p++ = kDigits[b & 0x0F];
  }
}
inline void AppendHexDigits(std::string& out, std::string_view bytes) {
  AppendHexDigits(out, ByteSpan(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

// Two upper-case hexadecimal digits per byte, no prefix.
inline std::string HexDigits(ByteSpan bytes) {
  std::string out;
  AppendHexDigits(out, bytes);
  return out;
}

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_BYTES_H_
