// The quantiser's per-sample rounding against the form it had before it
// stopped switching the x87 rounding mode per sample: that form, a
// conversion of the extended value to an integer (which truncates), is kept
// here as the reference, inside the engine's block loops (shaping, held
// state on saturation, the wrap into the first samples). Both must agree bit
// for bit on every rounding, dither and shaping, at ties, at the limits and
// beyond them, on NaN, infinities and zeros of either sign.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "synthesis/UnitFunction.h"

namespace {

struct Lib : TExFunctionLib {
  using TExFunctionLib::GaussNoise;
  using TExFunctionLib::PinkNoiseKellet;
  using TExFunctionLib::QuantizeSample;
  using TExFunctionLib::UniformRandom;
};

constexpr TRounding kRoundings[] = {TRounding::_RZ, TRounding::_RI, TRounding::_RN, TRounding::_RNE,
                                    TRounding::_DITHER};
constexpr long double kInf = std::numeric_limits<long double>::infinity();
constexpr long double kNaN = std::numeric_limits<long double>::quiet_NaN();

// --- the previous per-sample path ------------------------------------------------

long double Limit(std::int32_t bits) { return std::trunc(std::ldexp(1.0L, bits - 1) - 2); }

std::int64_t OldRoundMagnitude(TRounding R, long double A, long double d, long double M) {
  switch (R) {
    case TRounding::_RZ: return static_cast<std::int64_t>(A);
    case TRounding::_RI: {
      const auto m = static_cast<std::int64_t>(A);
      return m + (static_cast<long double>(m) < A);
    }
    case TRounding::_RN: return static_cast<std::int64_t>(A + 0.5L);
    case TRounding::_RNE: return static_cast<std::int64_t>(std::rint(A));
    default: {
      const long double t = A + d;
      if (t < M) return t > 0 ? static_cast<std::int64_t>(t) : 0;
      return static_cast<std::int64_t>(std::isnan(t) ? A : M);
    }
  }
}

long double OldQuantize(TRounding R, long double x, long double d, long double M, std::int32_t* q) {
  const long double A = std::fabs(x);
  std::int64_t m;
  if (A < M) {
    m = OldRoundMagnitude(R, A, R == TRounding::_DITHER ? d : 0.0L, M);
  } else if (A >= M) {
    m = static_cast<std::int64_t>(M);
  } else {
    *q = 0;
    return 0;
  }
  const bool positive = x > 0;
  *q = static_cast<std::int32_t>(positive ? m : -m);
  return positive ? static_cast<long double>(m) : -static_cast<long double>(m);
}

void Hold(long double& state, long double q, long double limit) {
  if (state - q > limit) state = q + limit;
  else if (state - q < -limit) state = q - limit;
}

// One channel through the engine's block loops with the previous rounding.
TWaveBufferInteger OldChannel(const TPCMFormat& f, long double gain, const TWaveBufferExtended& in,
                              const TWaveBufferExtended& D) {
  const long double M = Limit(f._Quantization);
  const long double M0 = std::trunc(std::ldexp(1.0L, f._Quantization - 1) - 1);
  const long double s = f._NoiseShaping == TNoiseShaping::_Off   ? M0 - 0.5L
                        : f._NoiseShaping == TNoiseShaping::_1st ? M0 - 1.5L
                                                                 : M0 - 3.5L;
  const long double sg = s * gain;
  const std::size_t N = in.size();
  TWaveBufferInteger q(N);
  long double x = 0, a = 0, b = 0, last = 0;
  const auto V = [&](std::size_t i) { return sg * in[i]; };
  const auto Q = [&](long double v, std::size_t i) { return OldQuantize(f._Rounding, v, D[i], M, &q[i]); };
  const auto first = [&](std::size_t i) {
    last = Q(x, i);
    if (std::isnan(x)) x = 0;
    else if (std::fabs(x) >= M) Hold(x, last, 1);
  };
  const auto second = [&](std::size_t i) {
    last = Q(b, i);
    if (std::isnan(a) || std::isnan(b)) {
      a = b = last;
    } else if (std::fabs(b) >= M) {
      Hold(a, last, 2);
      Hold(b, last, 1);
    }
  };
  const auto step2 = [&](std::size_t i) {
    a = a + V(i) - last;
    b = b + a - last;
    second(i);
  };
  for (std::size_t i = 0; i < N; ++i) {
    if (f._NoiseShaping == TNoiseShaping::_1st) {
      x = i == 0 ? V(0) : V(i) + x - last;
      first(i);
    } else if (f._NoiseShaping == TNoiseShaping::_2nd) {
      if (i == 0) {
        a = b = V(0);
        second(0);
      } else {
        step2(i);
      }
    } else {
      Q(V(i), i);
    }
  }
  if (f._NoiseShaping == TNoiseShaping::_1st) {
    x = V(0) + x - last;
    first(0);
  } else if (f._NoiseShaping == TNoiseShaping::_2nd) {
    step2(0);
    if (N >= 2) step2(1);
  }
  return q;
}

// --- inputs ------------------------------------------------------------------------

// Samples whose scaled value sg * x is exactly k + 1/2 (the nearest of a few
// neighbours of (k + 1/2) / sg that gives it), for k around 0, mid-scale and
// the limit M, with both signs.
std::vector<long double> Ties(long double sg, long double M) {
  std::vector<long double> out;
  for (const long double k : {0.0L, 1.0L, 2.0L, 3.0L, 1000.0L, 1001.0L, M / 2, M - 3, M - 2, M - 1, M, M + 1}) {
    long double x = (k + 0.5L) / sg;
    for (int n = 0; n < 8 && sg * x != k + 0.5L; ++n) x = std::nextafter(x, sg * x < k + 0.5L ? kInf : -kInf);
    if (sg * x == k + 0.5L) {
      out.push_back(x);
      out.push_back(-x);
    }
  }
  return out;
}

// Values at and around the limits, beyond them, and the special values.
std::vector<long double> Edges(long double sg, long double M) {
  std::vector<long double> out = {0.0L, -0.0L, std::numeric_limits<long double>::denorm_min(), -1e-4000L, 1e30L,
                                  -1e30L, kInf, -kInf, kNaN, -kNaN, 1.0L, -1.0L};
  for (const long double v : {M - 1, M - 0.75L, M - 0.5L, M - 0.25L, M - 1e-12L, M, M + 0.5L, M + 1, 2 * M})
    for (const long double sign : {1.0L, -1.0L}) out.push_back(sign * v / sg);
  return out;
}

TWaveBufferExtended Signal(int kind, std::size_t N, long double level, std::uint32_t seed) {
  TWaveBufferExtended x(N);
  if (kind == 0) {  // sine
    for (std::size_t i = 0; i < N; ++i)
      x[i] = level * std::sin(2 * std::numbers::pi_v<long double> * 997 * static_cast<long double>(i) / 48000);
  } else if (kind == 1) {  // pink
    x = Lib::PinkNoiseKellet(seed, static_cast<std::int32_t>(N));
    for (auto& v : x) v *= level;
  } else {  // random sign and magnitude
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (auto& v : x) v = (gen() & 1 ? level : -level) * static_cast<long double>(u(gen));
  }
  return x;
}

TEST(QuantizePath, EverySampleMatchesThePreviousRounding) {
  for (const std::int32_t bits : {16, 20, 24, 32}) {
    const long double M = Limit(bits);
    std::vector<long double> xs = Edges(1, M), extra = Ties(1, M);
    xs.insert(xs.end(), extra.begin(), extra.end());
    for (const long double x : Signal(2, 500, M * 1.01L, 7)) xs.push_back(x);
    const long double ds[] = {0.0L, 0.5L, 1.0L, 0.999L, -0.5L, -1.0L, 2.0L, -3.0L, 1e-20L, kNaN};
    for (const TRounding r : kRoundings) {
      const TPCMFormat f{48000, bits, r, TDither::_White, TNoiseShaping::_Off};
      for (const long double x : xs) {
        for (const long double d : ds) {
          std::int32_t want = 0;
          OldQuantize(r, x, d, M, &want);
          ASSERT_EQ(Lib::QuantizeSample(f, x, d), want)
              << bits << " bits, rounding " << static_cast<int>(r) << ", x " << static_cast<double>(x) << ", d "
              << static_cast<double>(d);
        }
      }
    }
  }
}

TEST(QuantizePath, BlocksMatchThePreviousRoundingInEveryMode) {
  constexpr std::size_t N = 4800;  // 100 ms at 48000 Hz
  constexpr std::uint32_t seed = 12345;
  for (const std::int32_t bits : {16, 24, 32}) {
    for (const TNoiseShaping shaping : {TNoiseShaping::_Off, TNoiseShaping::_1st, TNoiseShaping::_2nd}) {
      const long double M = Limit(bits);
      // Gain 1 on the left: the scale alone; ties and edges in its units.
      const long double M0 = std::trunc(std::ldexp(1.0L, bits - 1) - 1);
      const long double s = shaping == TNoiseShaping::_Off   ? M0 - 0.5L
                            : shaping == TNoiseShaping::_1st ? M0 - 1.5L
                                                             : M0 - 3.5L;
      std::vector<TWaveBufferExtended> inputs;
      for (int kind = 0; kind < 3; ++kind)
        for (const long double level : {0.5L, 0.999L, 1.5L}) inputs.push_back(Signal(kind, N, level, seed + kind));
      TWaveBufferExtended special(N, 0.0L);
      std::vector<long double> values = Edges(s, M), ties = Ties(s, M);
      ASSERT_GE(ties.size(), 16u) << bits << " bits";
      values.insert(values.end(), ties.begin(), ties.end());
      // Every 8th sample is one of them; a quiet signal lies between.
      for (std::size_t i = 0; i < N; ++i)
        special[i] = i % 8 == 0 ? values[(i / 8) % values.size()] : 0.3L * std::sin(0.01L * static_cast<long double>(i));
      inputs.push_back(special);
      for (const TRounding r : kRoundings) {
        for (const TDither d : {TDither::_White, TDither::_Pink, TDither::_Gauss}) {
          if (r != TRounding::_DITHER && d != TDither::_White) continue;
          const TPCMFormat f{48000, bits, r, d, shaping};
          TWaveBufferExtended D(N, 0.0L);
          if (r == TRounding::_DITHER)
            D = d == TDither::_White ? Lib::UniformRandom(seed, static_cast<std::int32_t>(N))
                : d == TDither::_Pink ? Lib::PinkNoiseKellet(seed, static_cast<std::int32_t>(N))
                                      : Lib::GaussNoise(seed, static_cast<std::int32_t>(N));
          for (std::size_t k = 0; k < inputs.size(); ++k) {
            SCOPED_TRACE(testing::Message() << bits << " bits, shaping " << static_cast<int>(shaping) << ", rounding "
                                            << static_cast<int>(r) << ", dither " << static_cast<int>(d) << ", input "
                                            << k);
            const TWaveBufferExtendedStereo in{inputs[k], inputs[(k + 1) % inputs.size()]};
            const auto q = TExFunctionLib::QuantizeSignal(f, 1.0L, 0.61L, in, 100, seed);
            ASSERT_EQ(q[0], OldChannel(f, 1.0L, in[0], D));
            ASSERT_EQ(q[1], OldChannel(f, 0.61L, in[1], D));
          }
        }
      }
    }
  }
}

}  // namespace
