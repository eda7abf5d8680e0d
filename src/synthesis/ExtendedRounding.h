// Whole-number rounding of extended values without switching the x87
// rounding mode: rint rounds to the nearest integer, halves to even (the
// unit's default rounding), in one instruction whatever the precision
// setting. floor and ceil of the library, and a conversion of an extended
// value to an integer type (which truncates), switch the mode twice per
// call; in a per-sample loop such a switch costs a few cycles or some
// hundreds depending on where the code happens to lie, so those loops use
// the forms below.
#pragma once

#include <cmath>
#include <cstdint>

namespace krv {

// x rounded to the nearest integer, halves to even.
inline long double NearestEven(long double x) { return std::rint(x); }

// An integer-valued extended value as a 64-bit integer; |x| < 2^53.
inline std::int64_t ToInteger(long double x) { return static_cast<std::int64_t>(static_cast<double>(x)); }

// x rounded to the nearest integer, halves to even, as an integer; |x| < 2^63.
inline std::int64_t NearestInteger(long double x) {
#if defined(__x86_64__) || defined(__i386__)
  // One store of the x87 unit in its rounding mode (to nearest, set on every
  // signal thread).
  std::int64_t r;
  __asm__("fistpll %0" : "=m"(r) : "t"(x) : "st");
  return r;
#else
  return static_cast<std::int64_t>(std::rint(x));
#endif
}

// The largest integer not above x (|x| < 2^63), as an extended value and as
// an integer in *n. The unit's store in its current mode gives one of the
// two integers around x, whatever the mode; one less where that one lies
// above x. The correction is picked from a table, not by a branch (the
// fraction of a signal is not predictable), and the extended result does not
// pass through an integer register (a feedback loop waits on it). The store
// rather than rint: rint's cost on some processors depends on the value.
inline constexpr double kRoundingStep[2] = {0.0, 1.0};  // indexed by a comparison

inline long double FloorOf(long double x, std::int64_t* n) {
  const std::int64_t r = NearestInteger(x);
  const long double v = static_cast<long double>(r);
  const bool above = v > x;
  *n = r - above;
  return v - kRoundingStep[above];
}

// The smallest integer not below x (|x| < 2^63), as an extended value and
// as an integer in *n.
inline long double CeilOf(long double x, std::int64_t* n) {
  const std::int64_t r = NearestInteger(x);
  const long double v = static_cast<long double>(r);
  const bool below = v < x;
  *n = r + below;
  return v + kRoundingStep[below];
}

}  // namespace krv
