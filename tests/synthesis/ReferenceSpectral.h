// Literal spectral tones: the line spectrum written bin by bin and the
// inverse sum y[n] = 1/2 sum X[k] exp(+2 pi i n k / N) evaluated at chosen
// samples (phase n k reduced modulo N in integers), then the rotation, peak
// normalisation, amplitude and offset as the tone frame defines them.
#pragma once

#include <cstdint>
#include <vector>

#include "synthesis/UnitType.h"

namespace ref {

enum class Tone { Square, Triangle, Sawtooth };

class SpectralTone {
 public:
  SpectralTone(Tone tone, std::int64_t fs, std::int64_t F);

  // Y[n].Real before rotation and normalisation.
  long double Raw(std::int64_t n) const;
  // R[i] = Y[(shift + i) mod N].Real for the phase in degrees.
  long double Rotated(std::int64_t i, std::int32_t phase) const;
  std::int64_t Shift(std::int32_t phase) const;

 private:
  struct Bin {
    std::int64_t k;
    TComplex X;
  };
  std::int64_t fs_, F_, N_;
  std::vector<Bin> bins_;              // the non-zero bins
  std::vector<long double> cos_, sin_;  // of 2 pi j / N
};

}  // namespace ref
