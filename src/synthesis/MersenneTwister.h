// MT19937, the 32-bit Mersenne Twister with the 2002 initialisation. A fresh
// generator per call of the engine: no state is shared between threads.
#pragma once

#include <array>
#include <cstdint>

namespace krv {

inline constexpr std::uint32_t MtAddModulo32(std::uint32_t a, std::uint32_t b) { return a + b; }
inline constexpr std::uint32_t MtMulModulo32(std::uint32_t a, std::uint32_t b) { return a * b; }

// The top bit of u and the low 31 bits of v.
inline constexpr std::uint32_t MtMixBits(std::uint32_t u, std::uint32_t v) {
  return (u & 0x80000000u) | (v & 0x7fffffffu);
}

inline constexpr std::uint32_t MtTwist(std::uint32_t u, std::uint32_t v) {
  return (MtMixBits(u, v) >> 1) ^ ((v & 1u) ? 0x9908b0dfu : 0u);
}

inline constexpr std::uint32_t MtTemper(std::uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= y >> 18;
  return y;
}

class MersenneTwister {
 public:
  static constexpr int kN = 624;
  static constexpr int kM = 397;

  // Seed 0 stands for the reference default 5489.
  explicit MersenneTwister(std::uint32_t seed) {
    if (seed == 0) seed = 5489u;
    state_[0] = seed;
    for (int i = 1; i < kN; ++i) {
      const std::uint32_t prev = state_[i - 1];
      state_[i] = MtAddModulo32(MtMulModulo32(1812433253u, prev ^ (prev >> 30)),
                                static_cast<std::uint32_t>(i));
    }
  }

  std::uint32_t Next() {
    if (index_ >= kN) Regenerate();
    return MtTemper(state_[index_++]);
  }

 private:
  void Regenerate() {
    int k = 0;
    for (; k < kN - kM; ++k) state_[k] = state_[k + kM] ^ MtTwist(state_[k], state_[k + 1]);
    for (; k < kN - 1; ++k) state_[k] = state_[k + kM - kN] ^ MtTwist(state_[k], state_[k + 1]);
    state_[kN - 1] = state_[kM - 1] ^ MtTwist(state_[kN - 1], state_[0]);
    index_ = 0;
  }

  std::array<std::uint32_t, kN> state_{};
  int index_ = kN;
};

// A tempered 32-bit value as a number strictly between 0 and 1.
inline long double MtOpenUnit(std::uint32_t y) {
  return (static_cast<long double>(y) + 0.5L) * 0x1p-32L;
}

}  // namespace krv
