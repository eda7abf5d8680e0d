// Whole-number rounding of extended values without switching the x87
// rounding mode: adding and taking away 1.5 * 2^63 leaves x rounded to the
// nearest integer, halves to even (the unit's default rounding at its
// default 64-bit precision, which every synthesising thread keeps). The
// integer itself then passes through a double, which holds it exactly.
#pragma once

#include <cstdint>

namespace krv {

inline constexpr long double kRoundingBias = 0x1.8p63L;

// x rounded to the nearest integer, halves to even; |x| < 2^62.
inline long double NearestEven(long double x) { return (x + kRoundingBias) - kRoundingBias; }

// An integer-valued extended value as a 64-bit integer; |x| < 2^53.
inline std::int64_t ToInteger(long double x) { return static_cast<std::int64_t>(static_cast<double>(x)); }

// Floor of x >= 0 (any x with |x| < 2^53).
inline long double FloorOf(long double x) {
  const long double r = NearestEven(x);
  return r > x ? r - 1 : r;
}

}  // namespace krv
