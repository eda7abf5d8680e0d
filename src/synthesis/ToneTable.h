// One second of a unit sine, sin(2 pi j / L) for j = 0 .. L-1, where L is
// normally the sampling rate. A tone of a whole number of hertz F then reads
// sample i exactly at index (F * i) mod L: the phase is reduced in integers,
// with no large-argument error. Tables are cached per length; a published
// table never changes, so any number of threads may read it at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace krv {

class ToneTable {
 public:
  // Length >= 1. Builds the table (a few hundred sincos evaluations plus
  // one multiply-add per entry).
  explicit ToneTable(std::int64_t Length);

  std::int64_t Length() const { return length_; }

  // sin(2 pi j / L) and cos(2 pi j / L), 0 <= j < L.
  long double Sin(std::int64_t j) const { return sin_[static_cast<std::size_t>(j)]; }
  long double Cos(std::int64_t j) const {
    if (!cos_.empty()) return cos_[static_cast<std::size_t>(j)];
    j += quarter_;
    if (j >= length_) j -= length_;
    return sin_[static_cast<std::size_t>(j)];
  }

  // sin(2 pi (j + r) / L) for an index 0 <= j < L and a fraction |r| <= 2:
  // the table entry rotated by the small remainder (short series; tables
  // shorter than kSeriesLength evaluate the angle directly).
  long double SinBetween(std::int64_t j, long double r) const {
    if (length_ < kSeriesLength) return SinDirect(j, r);
    const long double d = r * step_;
    const long double d2 = d * d;
    const long double s = d * (1 - d2 / 6 * (1 - d2 / 20 * (1 - d2 / 42)));
    const long double c = 1 - d2 / 2 * (1 - d2 / 12 * (1 - d2 / 30 * (1 - d2 / 56)));
    return Sin(j) * c + Cos(j) * s;
  }

  // sin(2 pi u) of a phase u counted in cycles (any finite u).
  long double SinCycles(long double u) const {
    if (!(u > -0x1p40L && u < 0x1p40L)) u = ReduceCycles(u);
    const long double t = u * static_cast<long double>(length_);
    std::int64_t k = static_cast<std::int64_t>(t);
    if (static_cast<long double>(k) > t) --k;
    const long double r = t - static_cast<long double>(k);
    k %= length_;
    if (k < 0) k += length_;
    return SinBetween(k, r);
  }

  static constexpr std::int64_t kSeriesLength = 4096;

 private:
  std::int64_t length_;
  std::int64_t quarter_;            // L / 4 when L is a multiple of 4, else 0
  std::vector<long double> sin_;
  std::vector<long double> cos_;    // only when L is not a multiple of 4
  long double step_;                // 2 pi / L

  long double SinDirect(std::int64_t j, long double r) const;
  static long double ReduceCycles(long double u);
};

// The cached table of length L (built on first use; at most a few lengths
// are kept, the least recently used is dropped first).
std::shared_ptr<const ToneTable> ToneTableFor(std::int64_t Length);

// Drops every cached table (benchmarks measure cold calls with it). Tables
// still held by callers stay valid.
void ClearToneTableCache();

// A fine table of 65536 points, built once and never dropped: sin(2 pi u)
// of any phase u in cycles is FineToneTable().SinCycles(u) (the whole
// cycles are dropped exactly, the remainder rotates the nearest entry).
const ToneTable& FineToneTable();

// The greatest common divisor of two non-negative integers (gcd(0, b) = b).
std::int64_t Gcd(std::int64_t a, std::int64_t b);

}  // namespace krv
