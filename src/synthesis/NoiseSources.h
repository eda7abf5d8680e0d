// The engine's random sources as streams: each gives the same values as the
// one-call source of the same seed, a block at a time, so that a caller can
// draw a second of noise or dither in small pieces that stay in the cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "synthesis/MersenneTwister.h"

namespace krv {

// Uniform values in the open interval 0 .. 1.
class UniformSource {
 public:
  explicit UniformSource(std::uint32_t Seed) : mt_(Seed) {}
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
  explicit KelletSource(std::uint32_t Seed) : mt_(Seed) {}
  void Fill(long double* out, std::size_t n);

 private:
  MersenneTwister mt_;
  long double b_[6] = {0, 0, 0, 0, 0, 0};  // the six filter poles
};

// Box-Muller Gaussian values (standard deviation 0.3, clipped to +-1) moved
// into 0 .. 1.
class GaussSource {
 public:
  explicit GaussSource(std::uint32_t Seed);
  void Fill(long double* out, std::size_t n);

 private:
  std::shared_ptr<const std::vector<long double>> radius_;  // of the fixed first stream
  MersenneTwister u1_;                                      // read only past the kept radii
  MersenneTwister u2_;
  std::size_t index_ = 0;
};

}  // namespace krv
