// One period of a band-limited tone built from its harmonics:
//   S[n] = A * sum over k = 1 .. K of c_k * sin(2 pi k q n / P),  n = 0 .. P-1,
// where the tone makes q whole cycles in P samples (q and P coprime). The
// sum is evaluated either directly, reading every sine from a tone table
// with exact integer phase, or as one inverse transform of length P with
// the coefficients placed at bins k * q.
#pragma once

#include <cstdint>
#include <vector>

#include "synthesis/ToneTable.h"

namespace krv {

enum class SeriesKind { Square, Triangle, Sawtooth };

// c_k of the waveform without its overall factor: square 1/k on odd k,
// triangle +-1/k^2 on odd k (+ for k = 1, 5, 9, ...), sawtooth (-1)^(k+1)/k.
long double SeriesCoefficient(SeriesKind Kind, std::int64_t k);

// The overall factor A: 4/pi, 8/pi^2, 2/pi.
long double SeriesFactor(SeriesKind Kind);

// S over one period by the direct sum (harmonics in ascending order).
// The table's length must be a multiple of P.
std::vector<long double> SeriesPeriodDirect(SeriesKind Kind, std::int64_t K, std::int64_t q,
                                            std::int64_t P, const ToneTable& Table);

// S over one period by an inverse transform of length P (for P a multiple
// of 4, a sine transform computed as one complex transform of length P/4).
// The table's length must be a multiple of P.
std::vector<long double> SeriesPeriodTransform(SeriesKind Kind, std::int64_t K, std::int64_t q,
                                               std::int64_t P, const ToneTable& Table);

// The estimated time of each road (for a table of length L), to pick the
// cheaper.
std::int64_t SeriesDirectCost(SeriesKind Kind, std::int64_t K, std::int64_t P, std::int64_t L);
std::int64_t SeriesTransformCost(std::int64_t P);

}  // namespace krv
