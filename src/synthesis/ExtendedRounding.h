// Whole-number rounding of extended values without switching the x87
// rounding mode: rint rounds to the nearest integer, halves to even (the
// unit's default rounding), in one instruction whatever the precision
// setting; floor and ceil of the library switch the mode twice per call.
// The integer itself then passes through a double, which holds it exactly.
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

// The largest integer not above x.
inline long double FloorOf(long double x) {
  const long double r = NearestEven(x);
  return r > x ? r - 1 : r;
}

}  // namespace krv
