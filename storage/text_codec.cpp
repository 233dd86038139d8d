#include "storage/text_codec.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <string>

namespace ravelin {
namespace {

std::atomic<int> g_ansiCodePage{1252};

const char* IconvName(int codePage) {
  switch (codePage) {
    case 437:
      return "CP437";
    case 850:
      return "CP850";
    case 874:
      return "WINDOWS-874";
    case 932:
      return "CP932";
    case 936:
      return "CP936";
    case 949:
      return "CP949";
    case 950:
      return "CP950";
    case 1250:
      return "CP1250";
    case 1251:
      return "CP1251";
    case 1252:
      return "CP1252";
    case 1253:
      return "CP1253";
    case 1254:
      return "CP1254";
    case 1255:
      return "CP1255";
    case 1256:
      return "CP1256";
    case 1257:
      return "CP1257";
    case 1258:
      return "CP1258";
    case 28591:
      return "ISO-8859-1";
    case 20127:
      return "ASCII";
    default:
      return nullptr;
  }
}

// iconv descriptors are not thread-safe, so each thread keeps its own.
class IconvCache {
 public:
  ~IconvCache() {
    for (auto& [cp, cd] : open_)
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  iconv_t Get(int codePage) {
    auto it = open_.find(codePage);
    if (it != open_.end()) return it->second;
    const char* name = IconvName(codePage);
    iconv_t cd = name ? iconv_open("UTF-8", name) : reinterpret_cast<iconv_t>(-1);
    open_.emplace(codePage, cd);
    return cd;
  }

 private:
  std::map<int, iconv_t> open_;
};

iconv_t Descriptor(int codePage) {
  thread_local IconvCache cache;
  return cache.Get(codePage);
}

int EffectiveCodePage(int codePage) {
  if (codePage == kCodePageUtf8) return codePage;
  if (codePage <= 0 || IconvName(codePage) == nullptr) return AnsiCodePage();
  return codePage;
}

bool AllAscii(ByteSpan bytes) {
  for (uint8_t b : bytes)
    if (b >= 0x80) return false;
  return true;
}

// Decodes UTF-8; invalid sequences are taken byte by byte as code points
// of the same value.
void DecodeUtf8(ByteSpan in, std::string& out) {
  size_t i = 0;
  while (i < in.size()) {
    uint8_t b = in[i];
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    bool ok = len > 0 && i + len <= in.size();
    uint32_t cp = 0;
    if (ok) {
      cp = len == 1 ? b : (b & (0x7F >> len));
      for (int k = 1; k < len && ok; ++k) {
        if ((in[i + k] & 0xC0) != 0x80) ok = false;
        cp = (cp << 6) | (in[i + k] & 0x3F);
      }
      static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    }
    if (!ok) {
      AppendUtf8(out, b);
      ++i;
      continue;
    }
    out.append(reinterpret_cast<const char*>(in.data() + i), len);
    i += len;
  }
}

void Convert(ByteSpan bytes, int codePage, std::string& out) {
  out.clear();
  if (bytes.empty()) return;
  codePage = EffectiveCodePage(codePage);
  if (codePage == kCodePageUtf8) return DecodeUtf8(bytes, out);
  if (AllAscii(bytes)) {
    out.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return;
  }
  iconv_t cd = Descriptor(codePage);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    out = Latin1ToUtf8(bytes);
    return;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string buffer(bytes.size() * 4 + 16, '\0');
  // Converters that combine a character with the marks after it (1255,
  // 1258) hold the last one back until they are flushed.
  auto flush = [&]() {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1))
      out.append(buffer.data(), buffer.size() - outLeft);
  };
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // An undefined or incomplete sequence: Windows keeps such a byte as the
    // code point of the same value.
    flush();
    AppendUtf8(out, static_cast<uint8_t>(*in));
    ++in;
    --inLeft;
  }
  flush();
}

}  // namespace

int AnsiCodePage() { return g_ansiCodePage.load(std::memory_order_relaxed); }
void SetAnsiCodePage(int codePage) { g_ansiCodePage.store(codePage, std::memory_order_relaxed); }

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string Utf16ToUtf8(ByteSpan utf16le, bool stopAtNul) {
  std::string out;
  out.reserve(utf16le.size() / 2);
  size_t units = utf16le.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    uint32_t u = utf16le[2 * i] | (utf16le[2 * i + 1] << 8);
    if (u == 0 && stopAtNul) break;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      uint32_t low = utf16le[2 * i + 2] | (utf16le[2 * i + 3] << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    AppendUtf8(out, u);
  }
  return out;
}

Bytes Utf8ToUtf16(std::string_view utf8) {
  std::string cps;  // validated copy
  DecodeUtf8(ByteSpan(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size()), cps);
  Bytes out;
  out.reserve(cps.size() * 2);
  auto put = [&out](uint32_t unit) {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  };
  const auto* p = reinterpret_cast<const uint8_t*>(cps.data());
  size_t i = 0, n = cps.size();
  while (i < n) {
    uint8_t b = p[i];
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 4;
    uint32_t cp = len == 1 ? b : (b & (0x7F >> len));
    for (int k = 1; k < len && i + k < n; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

std::string CodePageToUtf8(ByteSpan bytes, int codePage) {
  std::string out;
  Convert(bytes, codePage, out);
  return out;
}

std::string Latin1ToUtf8(ByteSpan bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (uint8_t b : bytes) AppendUtf8(out, b);
  return out;
}

ByteSpan UpToNul(ByteSpan bytes) {
  for (size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == 0) return bytes.first(i);
  return bytes;
}

}  // namespace ravelin
