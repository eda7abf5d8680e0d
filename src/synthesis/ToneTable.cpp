#include "synthesis/ToneTable.h"

#include <cmath>
#include <numbers>
#include <utility>

#include "synthesis/EngineCache.h"
#include "synthesis/ExtendedPrecision.h"

namespace krv {

namespace {

constexpr long double kTwoPi = 2.0L * std::numbers::pi_v<long double>;

// sin and cos of 2 pi j / L for j = 0 .. count-1, two levels deep: the angle
// j = a * B + b is the coarse angle a * B rotated by the fine angle b, each
// evaluated directly, so every entry is within a few units in the last place
// and the whole costs about 2 * sqrt(count) sincos evaluations.
void SinCosRange(std::int64_t length, std::int64_t count, long double* sinOut, long double* cosOut) {
  std::int64_t block = 1;
  while (block * block < count) ++block;
  std::vector<long double> fineSin(static_cast<std::size_t>(block)), fineCos(fineSin.size());
  for (std::int64_t b = 0; b < block; ++b) {
    const long double x = kTwoPi * static_cast<long double>(b) / static_cast<long double>(length);
    fineSin[static_cast<std::size_t>(b)] = std::sin(x);
    fineCos[static_cast<std::size_t>(b)] = std::cos(x);
  }
  for (std::int64_t a = 0; a * block < count; ++a) {
    const long double x = kTwoPi * static_cast<long double>(a * block) / static_cast<long double>(length);
    const long double sa = std::sin(x), ca = std::cos(x);
    for (std::int64_t b = 0; b < block && a * block + b < count; ++b) {
      const auto j = static_cast<std::size_t>(a * block + b);
      const long double sb = fineSin[static_cast<std::size_t>(b)], cb = fineCos[static_cast<std::size_t>(b)];
      sinOut[j] = sa * cb + ca * sb;
      if (cosOut) cosOut[j] = ca * cb - sa * sb;
    }
  }
}

}  // namespace

ToneTable::ToneTable(std::int64_t Length)
    : length_(Length < 1 ? 1 : Length),
      quarter_(length_ % 4 == 0 ? length_ / 4 : 0),
      sin_(static_cast<std::size_t>(length_)) {
  // Tables are shared: built at full precision whatever the calling
  // thread's x87 setting.
  const ExtendedPrecisionScope precision;
  long double* s = sin_.data();
  if (quarter_ > 0) {
    // First quarter computed, the rest by symmetry: exact zeros at 0 and L/2,
    // exact ones at L/4 and 3L/4, and sin(pi - x) = sin x bit for bit.
    SinCosRange(length_, quarter_ + 1, s, nullptr);
    s[0] = 0;
    s[quarter_] = 1;
    const std::int64_t half = 2 * quarter_;
    for (std::int64_t j = 1; j < quarter_; ++j) s[half - j] = s[j];
    for (std::int64_t j = 0; j < half; ++j) s[half + j] = -s[j];
  } else {
    cos_.resize(sin_.size());
    SinCosRange(length_, length_, s, cos_.data());
    s[0] = 0;
    cos_[0] = 1;
  }
}

std::shared_ptr<const ToneTable> ToneTableFor(std::int64_t Length) {
  return Cached<ToneTable>(CacheKind::ToneTable, static_cast<std::size_t>(Length < 1 ? 1 : Length),
                           [Length] { return std::make_shared<const ToneTable>(Length); });
}

void ClearToneTableCache() { ClearEngineCache(); }

CycleSine::CycleSine() {
  const ExtendedPrecisionScope precision;
  long double s[kPoints], c[kPoints];
  SinCosRange(kPoints, kPoints, s, c);
  for (std::int64_t j = 0; j < kPoints; ++j) {
    const double sHi = static_cast<double>(s[j]), cHi = static_cast<double>(c[j]);
    table_[static_cast<std::size_t>(j)] = {sHi, static_cast<double>(s[j] - sHi), cHi, static_cast<double>(c[j] - cHi)};
  }
}

const CycleSine& CycleSine::Get() {
  static const CycleSine instance;
  return instance;
}

long double CycleSine::Reduce(long double u) {
  if (!std::isfinite(u)) return u;
  return std::fmod(u, 1.0L);
}

std::int64_t Gcd(std::int64_t a, std::int64_t b) {
  while (b != 0) a = std::exchange(b, a % b);
  return a;
}

}  // namespace krv
