// Literal transforms, written straight from their definitions (radix-2
// decimation in frequency with a copy per stage, Bluestein on top of it, and
// the plain O(N^2) sum), against which the engine's fast kernels are tested.
#pragma once

#include <cstddef>
#include <random>
#include <vector>

#include "synthesis/UnitType.h"

namespace ref {

using Complexes = std::vector<TComplex>;

Complexes FFT(const Complexes& X);
Complexes IFFT(const Complexes& X);
Complexes DFTBluestein(const Complexes& X);
Complexes IDFTBluestein(const Complexes& X);
// X[k] = scale * sum x[n] exp(sign * 2 pi i n k / N), with the phase n*k
// reduced modulo N in integers.
Complexes PlainDFT(const Complexes& X, int sign, long double scale);

// n points with real and imaginary parts drawn evenly from -1 .. 1, the same
// for the same seed: inputs of the transform tests.
inline Complexes RandomComplexes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> d(-1, 1);
  Complexes x(n);
  for (auto& v : x) v = {d(gen), d(gen)};
  return x;
}

}  // namespace ref
