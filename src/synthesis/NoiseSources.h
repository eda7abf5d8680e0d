// The engine's random sources as streams: each gives the same values as the
// one-call source of the same seed, a block at a time, so that a caller can
// draw a second of noise or dither in small pieces that stay in the cache.
// Count is how many values will be drawn in all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "synthesis/MersenneTwister.h"

namespace krv {

struct RadiusTable;

// Uniform values in the open interval 0 .. 1.
class UniformSource {
 public:
  UniformSource(std::uint32_t Seed, std::size_t /*Count*/) : mt_(Seed) {}
  void Fill(long double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = MtOpenUnit(mt_.Next());
  }

 private:
  MersenneTwister mt_;
};

// Kellet's pink filter over uniform white values, clipped and moved into
// 0 .. 1.
class KelletSource {
 public:
  KelletSource(std::uint32_t Seed, std::size_t /*Count*/) : mt_(Seed) {}
  void Fill(long double* out, std::size_t n);
  // The values as the noise record's samples: (v - 0.5) * 2 * amp.
  void FillNoise(long double* out, std::size_t n, long double amp);

 private:
  template <bool Scaled>
  void Run(long double* out, std::size_t n, long double amp);
  MersenneTwister mt_;
  long double b_[6] = {0, 0, 0, 0, 0, 0};  // the six filter poles
};

// Box-Muller Gaussian values (standard deviation 0.3, clipped to +-1) moved
// into 0 .. 1.
class GaussSource {
 public:
  GaussSource(std::uint32_t Seed, std::size_t Count);
  void Fill(long double* out, std::size_t n);

 private:
  std::shared_ptr<const RadiusTable> radius_;  // of the fixed first stream
  MersenneTwister u1_;                                      // read only past the kept radii
  MersenneTwister u2_;
  std::size_t index_ = 0;
};

}  // namespace krv
