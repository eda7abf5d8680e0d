// One second of a unit sine, sin(2 pi j / L) for j = 0 .. L-1, where L is
// normally the sampling rate. A tone of a whole number of hertz F then reads
// sample i exactly at index (F * i) mod L: the phase is reduced in integers,
// with no large-argument error. Tables are cached per length; a published
// table never changes, so any number of threads may read it at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "synthesis/ExtendedRounding.h"

namespace krv {

class ToneTable {
 public:
  // Length >= 1. Builds the table (a few hundred sincos evaluations plus
  // one multiply-add per entry).
  explicit ToneTable(std::int64_t Length);

  std::int64_t Length() const { return length_; }
  std::size_t Bytes() const { return (sin_.size() + cos_.size()) * sizeof(long double); }

  // sin(2 pi j / L) and cos(2 pi j / L), 0 <= j < L.
  long double Sin(std::int64_t j) const { return sin_[static_cast<std::size_t>(j)]; }
  long double Cos(std::int64_t j) const {
    if (!cos_.empty()) return cos_[static_cast<std::size_t>(j)];
    j += quarter_;
    if (j >= length_) j -= length_;
    return sin_[static_cast<std::size_t>(j)];
  }

 private:
  std::int64_t length_;
  std::int64_t quarter_;            // L / 4 when L is a multiple of 4, else 0
  std::vector<long double> sin_;
  std::vector<long double> cos_;    // only when L is not a multiple of 4
};

// The cached table of length L (built on first use, kept in the engine's
// cache within its budget).
std::shared_ptr<const ToneTable> ToneTableFor(std::int64_t Length);

// Drops every cached table and plan (benchmarks measure cold calls with
// it). Tables still held by callers stay valid.
void ClearToneTableCache();

// sin(2 pi u) of a phase u counted in cycles, for phases that are not whole
// table steps (sweeps, warble). The whole cycles are dropped exactly; the
// rest rotates the nearest of 4096 points (sine and cosine side by side, so
// that the table stays in the core's cache) by the remaining angle
// |d| <= pi / 4096, with sin d = d - d^3/6 + d^5/120 and
// cos d = 1 - d^2/2 + d^4/24 (what they leave out is below 1e-21).
class CycleSine {
 public:
  static const CycleSine& Get();

  long double operator()(long double u) const {
    if (!(u > -kNear && u < kNear)) u = Reduce(u);
    return Near(u);
  }

  // The same for a phase known to lie within +-kNear cycles.
  static constexpr long double kNear = 0x1p40L;
  long double Near(long double u) const {
    const long double t = u * kPoints;
    const long double whole = NearestEven(t);
    const Entry& e = table_[static_cast<std::size_t>(ToInteger(whole) & (kPoints - 1))];
    // Each entry is held as two doubles (high part and remainder): they load
    // faster than one extended value and carry more than its 64 bits.
    const long double s = static_cast<long double>(e.sHi) + e.sLo;
    const long double c = static_cast<long double>(e.cHi) + e.cLo;
    // The constants and the step need no more than double precision: their
    // rounding moves the result by less than 1e-19.
    constexpr double i2 = 1.0 / 2, i6 = 1.0 / 6, i24 = 1.0 / 24, i120 = 1.0 / 120;
    const long double d = (t - whole) * kStep;
    const long double d2 = d * d;
    const long double sinD = d * (1 - d2 * (i6 - d2 * i120));
    const long double versD = d2 * (i2 - d2 * i24);  // 1 - cos d
    return s + (c * sinD - s * versD);
  }

 private:
  static constexpr std::int64_t kPoints = 4096;
  static constexpr double kStep = 2 * 3.14159265358979323846 / kPoints;
  struct Entry {
    double sHi, sLo, cHi, cLo;
  };
  CycleSine();
  static long double Reduce(long double u);
  std::array<Entry, kPoints> table_;
};

// The greatest common divisor of two non-negative integers (gcd(0, b) = b).
std::int64_t Gcd(std::int64_t a, std::int64_t b);

}  // namespace krv
