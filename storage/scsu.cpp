// SCSU decoding: single-byte mode with eight dynamic and eight static
// windows, Unicode mode, quote and define tags, extended windows.

#include "storage/scsu.h"

#include <array>
#include <cstdint>
#include <optional>

#include "storage/text_codec.h"

namespace ravelin {
namespace {

constexpr std::array<uint32_t, 8> kStaticWindows = {0x0000, 0x0080, 0x0100, 0x0300, 0x2000, 0x2080, 0x2100, 0x3000};
constexpr std::array<uint32_t, 8> kInitialWindows = {0x0080, 0x00C0, 0x0400, 0x0600, 0x0900, 0x3040, 0x30A0, 0xFF00};

// Single-byte mode tags.
constexpr uint8_t kSQ0 = 0x01;
constexpr uint8_t kSQ7 = 0x08;
constexpr uint8_t kSDX = 0x0B;
constexpr uint8_t kSQU = 0x0E;
constexpr uint8_t kSCU = 0x0F;
constexpr uint8_t kSC0 = 0x10;
constexpr uint8_t kSC7 = 0x17;
constexpr uint8_t kSD0 = 0x18;
// Unicode mode tags.
constexpr uint8_t kUC0 = 0xE0;
constexpr uint8_t kUC7 = 0xE7;
constexpr uint8_t kUD0 = 0xE8;
constexpr uint8_t kUD7 = 0xEF;
constexpr uint8_t kUQU = 0xF0;
constexpr uint8_t kUDX = 0xF1;
constexpr uint8_t kUReserved = 0xF2;

// The offset a define tag's operand selects; nothing for reserved values.
std::optional<uint32_t> WindowOffset(uint8_t x) {
  if (x >= 0x01 && x <= 0x67) return x * 0x80u;
  if (x >= 0x68 && x <= 0xA7) return x * 0x80u + 0xAC00u;
  switch (x) {
    case 0xF9:
      return 0x00C0;
    case 0xFA:
      return 0x0250;
    case 0xFB:
      return 0x0370;
    case 0xFC:
      return 0x0530;
    case 0xFD:
      return 0x3040;
    case 0xFE:
      return 0x30A0;
    case 0xFF:
      return 0xFF60;
    default:
      return std::nullopt;
  }
}

uint32_t ExtendedWindow(uint8_t high, uint8_t low) {
  return 0x10000u + 0x80u * ((static_cast<uint32_t>(high & 0x1F) << 8) | low);
}

// Runs the decoder over `in`, handing every UTF-16 code unit to `emit`.
template <typename Emit>
ScsuStatus Decode(ByteSpan in, Emit&& emit) {
  std::array<uint32_t, 8> windows = kInitialWindows;
  size_t active = 0;
  bool unicodeMode = false;
  size_t i = 0;
  const size_t n = in.size();
  auto emitCodePoint = [&emit](uint32_t cp) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      emit(static_cast<uint16_t>(0xD800 + (cp >> 10)));
      emit(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      emit(static_cast<uint16_t>(cp));
    }
  };
  // Whether `count` operand bytes follow; at the end of the input a cut-off
  // operand is padding.
  auto has = [&](size_t count) { return n - i >= count; };

  while (i < n) {
    const uint8_t b = in[i++];
    if (!unicodeMode) {
      if (b >= 0x80) {
        emitCodePoint(windows[active] + (b - 0x80u));
      } else if (b >= 0x20 || b == 0x00 || b == 0x09 || b == 0x0A || b == 0x0D) {
        emit(b);
      } else if (b >= kSQ0 && b <= kSQ7) {
        if (!has(1)) break;
        const uint8_t c = in[i++];
        const size_t w = b - kSQ0;
        emitCodePoint(c < 0x80 ? kStaticWindows[w] + c : windows[w] + (c - 0x80u));
      } else if (b >= kSC0 && b <= kSC7) {
        active = b - kSC0;
      } else if (b >= kSD0) {
        if (!has(1)) break;
        const auto offset = WindowOffset(in[i++]);
        if (!offset) return ScsuStatus::kDamaged;
        active = b - kSD0;
        windows[active] = *offset;
      } else if (b == kSDX) {
        if (!has(2)) break;
        active = in[i] >> 5;
        windows[active] = ExtendedWindow(in[i], in[i + 1]);
        i += 2;
      } else if (b == kSQU) {
        if (!has(2)) break;
        emit(static_cast<uint16_t>((in[i] << 8) | in[i + 1]));
        i += 2;
      } else if (b == kSCU) {
        unicodeMode = true;
      } else {
        return ScsuStatus::kDamaged;  // 0x0C is reserved
      }
      continue;
    }
    if (b >= kUC0 && b <= kUC7) {
      active = b - kUC0;
      unicodeMode = false;
    } else if (b >= kUD0 && b <= kUD7) {
      if (!has(1)) break;
      const auto offset = WindowOffset(in[i++]);
      if (!offset) return ScsuStatus::kDamaged;
      active = b - kUD0;
      windows[active] = *offset;
      unicodeMode = false;
    } else if (b == kUQU) {
      if (!has(2)) break;
      emit(static_cast<uint16_t>((in[i] << 8) | in[i + 1]));
      i += 2;
    } else if (b == kUDX) {
      if (!has(2)) break;
      active = in[i] >> 5;
      windows[active] = ExtendedWindow(in[i], in[i + 1]);
      i += 2;
      unicodeMode = false;
    } else if (b == kUReserved) {
      return ScsuStatus::kDamaged;
    } else {
      if (!has(1)) break;  // the odd pad byte
      emit(static_cast<uint16_t>((b << 8) | in[i++]));
    }
  }
  return ScsuStatus::kOk;
}

}  // namespace

ScsuStatus ScsuToUtf16(ByteSpan scsu, Bytes& out) {
  out.reserve(out.size() + 2 * scsu.size());
  return Decode(scsu, [&out](uint16_t unit) {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  });
}

ScsuStatus ScsuToUtf8(ByteSpan scsu, std::string& out) {
  uint16_t pendingHigh = 0;
  auto flush = [&] {
    if (pendingHigh) AppendUtf8(out, 0xFFFD);
    pendingHigh = 0;
  };
  const ScsuStatus status = Decode(scsu, [&](uint16_t unit) {
    if (unit >= 0xDC00 && unit <= 0xDFFF && pendingHigh) {
      AppendUtf8(out, 0x10000u + ((pendingHigh - 0xD800u) << 10) + (unit - 0xDC00u));
      pendingHigh = 0;
      return;
    }
    flush();
    if (unit >= 0xD800 && unit <= 0xDBFF)
      pendingHigh = unit;
    else
      AppendUtf8(out, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
  });
  flush();
  return status;
}

bool IsScsuValue(ByteSpan stored, bool maxType) { return !maxType && stored.size() % 2 == 1; }

bool UnicodeValueToUtf16(ByteSpan stored, bool maxType, Bytes& out) {
  if (!IsScsuValue(stored, maxType)) {
    out.insert(out.end(), stored.begin(), stored.end());
    return true;
  }
  return ScsuToUtf16(stored, out) == ScsuStatus::kOk;
}

}  // namespace ravelin
