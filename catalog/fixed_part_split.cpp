#include "catalog/fixed_part_split.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace ravelin {
namespace {

// Bounds of the search: longer fixed parts or more columns are left whole.
constexpr int kLongestPart = 256;
constexpr int kMostSlices = 32;
constexpr int kLongestText = 128;
constexpr size_t kRecordsScored = 256;

constexpr double kNever = -std::numeric_limits<double>::infinity();

// SQL Server system type ids.
constexpr uint8_t kTinyInt = 48;
constexpr uint8_t kSmallInt = 52;
constexpr uint8_t kInt = 56;
constexpr uint8_t kSmallDateTime = 58;
constexpr uint8_t kReal = 59;
constexpr uint8_t kMoney = 60;
constexpr uint8_t kDateTime = 61;
constexpr uint8_t kFloat = 62;
constexpr uint8_t kBigInt = 127;
constexpr uint8_t kBinary = 173;
constexpr uint8_t kChar = 175;
constexpr uint8_t kNChar = 239;

// Days from 1900-01-01 to 1930-01-01 and to 2100-01-01: dates a table
// holds fall between, mostly.
constexpr int64_t kDay1930 = 10957;
constexpr int64_t kDay2100 = 73050;

// Significant digits of the shortest decimal text of `v` at `digits`.
int SignificantDigits(double v, int digits) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*e", digits - 1, v);
  // Mantissa digits without trailing zeros.
  int count = 0, last = 0;
  for (const char* p = text; *p && *p != 'e'; ++p) {
    if (*p < '0' || *p > '9') continue;
    ++count;
    if (*p != '0') last = count;
  }
  return last;
}

double FloatScore(double v, int digits) {
  if (!std::isfinite(v)) return kNever;
  const double a = std::fabs(v);
  if (a != 0 && (a < 1e-6 || a > 1e15)) return kNever;
  const int significant = SignificantDigits(v, digits);
  return significant <= 3 ? 3.0 : significant <= digits / 2 ? 1.0 : -1.0;
}

bool Printable(uint8_t b) { return b >= 0x20 && b != 0x7F; }

bool PrintableUnit(uint16_t u) {
  return u >= 0x20 && u != 0x7F && u != 0xFFFE && u != 0xFFFF && (u < 0xD800 || u > 0xDFFF);
}

// Per record, runs that make slices cheap to test: how many printable
// bytes, printable UTF-16 units and zero bytes follow each offset.
struct Runs {
  std::vector<int> text, units, zeros;
  std::vector<int> letters;       // prefix count of bytes that are not blanks
  std::vector<int> unitLetters;   // per offset parity: prefix count of units that are not blanks
  std::vector<int> foreignUnits;  // likewise, of units past the Latin, Greek and Cyrillic blocks
};

Runs MakeRuns(ByteSpan b) {
  const size_t n = b.size();
  Runs r;
  r.text.assign(n + 2, 0);
  r.units.assign(n + 2, 0);
  r.zeros.assign(n + 2, 0);
  r.letters.assign(n + 1, 0);
  r.unitLetters.assign(n + 2, 0);
  r.foreignUnits.assign(n + 2, 0);
  for (size_t i = n; i-- > 0;) {
    r.text[i] = Printable(b[i]) ? r.text[i + 1] + 1 : 0;
    r.zeros[i] = b[i] == 0 ? r.zeros[i + 1] + 1 : 0;
    if (i + 1 < n) {
      const auto u = static_cast<uint16_t>(b[i] | (b[i + 1] << 8));
      r.units[i] = PrintableUnit(u) ? r.units[i + 2] + 1 : 0;
    }
  }
  for (size_t i = 0; i < n; ++i) r.letters[i + 1] = r.letters[i] + (b[i] != ' ' ? 1 : 0);
  // Unit prefix sums run in steps of two from offsets 0 and 1.
  for (size_t i = 0; i + 1 < n; ++i) {
    const auto u = static_cast<uint16_t>(b[i] | (b[i + 1] << 8));
    r.unitLetters[i + 2] = r.unitLetters[i] + (u != ' ' ? 1 : 0);
    r.foreignUnits[i + 2] = r.foreignUnits[i] + (u >= 0x0530 ? 1 : 0);
  }
  return r;
}

struct Candidate {
  uint8_t type;
  int width;
};

class Splitter {
 public:
  Splitter(const std::vector<ByteSpan>& fixedParts, int length) {
    for (ByteSpan fixed : fixedParts) {
      if (static_cast<int>(fixed.size()) < length) continue;
      samples_.push_back(fixed.first(static_cast<size_t>(length)));
      if (samples_.size() >= kRecordsScored) break;
    }
    for (ByteSpan s : samples_) runs_.push_back(MakeRuns(s));
  }

  size_t records() const { return samples_.size(); }

  // The evidence the sampled values give that bytes [at, at+width) hold a
  // column of `type`.
  double Score(uint8_t type, int at, int width) const {
    double total = 0;
    for (size_t i = 0; i < samples_.size(); ++i) {
      const double s = ValueScore(i, type, at, width);
      if (s == kNever) return kNever;
      total += s;
    }
    return total;
  }

 private:
  double ValueScore(size_t i, uint8_t type, int at, int width) const {
    const ByteSpan b = samples_[i];
    const Runs& r = runs_[i];
    const auto o = static_cast<size_t>(at);
    // Zeros are a NULL or a zero of any type.
    if (r.zeros[o] >= width) return 0;
    switch (type) {
      case kTinyInt:
        return b[o] <= 100 ? 0.5 : -0.5;
      case kSmallInt: {
        const int64_t v = LoadLE<int16_t>(b, o);
        if ((v & 0xFF) == 0) return 0.3;
        return v >= -1000 && v <= 10000 ? 1.5 : -0.5;
      }
      case kInt: {
        const int64_t v = LoadLE<int32_t>(b, o);
        // A low byte of zero under higher ones set: mostly a slice that
        // starts inside the column before, whose high bytes are zeros.
        if ((v & 0xFFFF) == 0) return 0;
        if ((v & 0xFF) == 0) return 0.5;
        return v >= -1000 && v <= 10000000 ? 2 : (v > -(1 << 28) && v < (1 << 28)) ? 0.5 : -0.5;
      }
      case kBigInt: {
        const int64_t v = LoadLE<int64_t>(b, o);
        if ((v & 0xFFFF) == 0) return 0;
        return v > -(int64_t{1} << 31) && v < (int64_t{1} << 31) ? 1 : -0.5;
      }
      case kMoney: {
        const int64_t v = LoadLE<int64_t>(b, o);
        if (v <= -10000000000000 || v >= 10000000000000) return -0.5;
        if ((v & 0xFFFF) == 0) return 0;
        if ((v & 0xFF) == 0) return 1;
        return v % 100 == 0 ? 3 : 1;
      }
      case kDateTime: {
        const int64_t ticks = LoadLE<int32_t>(b, o);
        const int64_t days = LoadLE<int32_t>(b, o + 4);
        if (ticks < 0 || ticks >= 25920000 || days < -53690 || days > 2958463) return kNever;
        if (days < kDay1930 || days > kDay2100) return -1;
        return ticks == 0 ? 5 : 4;
      }
      case kSmallDateTime: {
        const int64_t minutes = LoadLE<uint16_t>(b, o);
        const int64_t days = LoadLE<uint16_t>(b, o + 2);
        if (minutes >= 1440) return kNever;
        if (days < kDay1930) return -1;
        // Midnight is common, but so are the zero high bytes of the column
        // before read as minutes.
        return minutes == 0 ? 1 : 3;
      }
      case kReal: {
        float f;
        std::memcpy(&f, b.data() + o, 4);
        return FloatScore(f, 7);
      }
      case kFloat: {
        double d;
        std::memcpy(&d, b.data() + o, 8);
        return FloatScore(d, 15);
      }
      case kChar: {
        if (r.text[o] < width) return kNever;
        const int letters = r.letters[o + static_cast<size_t>(width)] - r.letters[o];
        return 0.3 * letters;
      }
      case kNChar: {
        if (r.units[o] < width / 2) return kNever;
        const size_t end = o + static_cast<size_t>(width);
        const int letters = r.unitLetters[end] - r.unitLetters[o];
        const int foreign = r.foreignUnits[end] - r.foreignUnits[o];
        // Units past the Latin, Greek and Cyrillic blocks are what most
        // bytes read as UTF-16 give: they count against.
        return 0.7 * (letters - foreign) - 0.3 * foreign;
      }
      default:  // binary: bytes no type explains
        return -0.5;
    }
  }

  std::vector<ByteSpan> samples_;
  std::vector<Runs> runs_;
};

}  // namespace

std::optional<std::vector<FixedSlice>> SplitFixedPart(const std::vector<ByteSpan>& fixedParts, int length, int count) {
  if (length <= 0 || count <= 0 || count > length || length > kLongestPart || count > kMostSlices) return std::nullopt;
  const Splitter splitter(fixedParts, length);
  if (splitter.records() < 2) return std::nullopt;

  std::vector<Candidate> candidates = {{kInt, 4},           {kSmallInt, 2}, {kTinyInt, 1}, {kDateTime, 8}, {kMoney, 8},
                                       {kSmallDateTime, 4}, {kReal, 4},     {kFloat, 8},   {kBigInt, 8}};
  for (int w = 1; w <= kLongestText && w <= length; ++w) candidates.push_back({kChar, w});
  for (int w = 2; w <= kLongestText && w <= length; w += 2) candidates.push_back({kNChar, w});
  for (int w = 1; w <= length; ++w) candidates.push_back({kBinary, w});

  // The evidence of every slice, once.
  std::vector<std::vector<double>> scores(static_cast<size_t>(length), std::vector<double>(candidates.size(), kNever));
  for (int at = 0; at < length; ++at)
    for (size_t c = 0; c < candidates.size(); ++c)
      if (at + candidates[c].width <= length)
        scores[at][c] = splitter.Score(candidates[c].type, at, candidates[c].width);

  // best[k][at]: the most evidence for k slices covering bytes [0, at).
  const auto slots = static_cast<size_t>(length + 1);
  std::vector<std::vector<double>> best(static_cast<size_t>(count + 1), std::vector<double>(slots, kNever));
  std::vector<std::vector<int>> choice(static_cast<size_t>(count + 1), std::vector<int>(slots, -1));
  best[0][0] = 0;
  for (int k = 0; k < count; ++k) {
    for (int at = 0; at < length; ++at) {
      if (best[k][at] == kNever) continue;
      for (size_t c = 0; c < candidates.size(); ++c) {
        const double s = scores[at][c];
        if (s == kNever) continue;
        const int end = at + candidates[c].width;
        const double total = best[k][at] + s;
        if (total > best[k + 1][end]) {
          best[k + 1][end] = total;
          choice[k + 1][end] = static_cast<int>(c);
        }
      }
    }
  }
  if (best[count][length] == kNever || best[count][length] <= 0) return std::nullopt;

  std::vector<FixedSlice> slices(static_cast<size_t>(count));
  int end = length;
  for (int k = count; k > 0; --k) {
    const auto c = static_cast<size_t>(choice[k][end]);
    const int at = end - candidates[c].width;
    // Every column is there for what its own bytes say, not carried by
    // the others.
    if (scores[at][c] < 0) return std::nullopt;
    slices[static_cast<size_t>(k - 1)] = {candidates[c].type, static_cast<int16_t>(at),
                                          static_cast<int16_t>(candidates[c].width)};
    end = at;
  }
  return slices;
}

}  // namespace ravelin
