#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "synthesis/ReferenceNoise.h"
#include "synthesis/UnitFunction.h"

namespace {

struct Lib : TExFunctionLib {
  using TExFunctionLib::AddModulo32;
  using TExFunctionLib::GaussNoise;
  using TExFunctionLib::LocalClock;
  using TExFunctionLib::MixBits;
  using TExFunctionLib::MulModulo32;
  using TExFunctionLib::PinkNoiseKellet;
  using TExFunctionLib::SetLocalClock;
  using TExFunctionLib::Temper;
  using TExFunctionLib::TClockTime;
  using TExFunctionLib::TimeSeed;
  using TExFunctionLib::Twist;
  using TExFunctionLib::UniformRandom;
};

// Restores the local clock when a test that injected one ends.
struct ClockGuard {
  explicit ClockGuard(Lib::TLocalClock clock) { Lib::SetLocalClock(clock); }
  ~ClockGuard() { Lib::SetLocalClock(nullptr); }
};

void ExpectSame(const ref::Buffer& expected, const TWaveBufferExtended& actual, long double tolerance) {
  ASSERT_EQ(expected.size(), actual.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    ASSERT_NEAR(static_cast<double>(expected[i]), static_cast<double>(actual[i]), static_cast<double>(tolerance))
        << "at " << i;
}

TEST(TimeSeed, FormatsDayHourMinuteSecond) {
  struct Case {
    Lib::TClockTime time;
    std::uint32_t seed;
  };
  const Case cases[] = {{{31, 23, 59, 59}, 31235959u}, {{1, 0, 0, 0}, 1000000u}, {{5, 19, 12, 30}, 5191230u}};
  for (const auto& c : cases) EXPECT_EQ(Lib::TimeSeed(c.time), c.seed);
}

TEST(TimeSeed, ReadsTheInjectedClockAndRestoresTheLocalOne) {
  {
    ClockGuard guard([] { return Lib::TClockTime{31, 23, 59, 59}; });
    EXPECT_EQ(Lib::TimeSeed(), 31235959u);
  }
  const Lib::TClockTime now = Lib::LocalClock();
  EXPECT_GE(now.Day, 1);
  EXPECT_LE(now.Day, 31);
  EXPECT_GE(Lib::TimeSeed(), 1000000u);
  EXPECT_LE(Lib::TimeSeed(), 31235960u);
}

TEST(MersenneTwister, HelpersAreThe32BitReferenceOperations) {
  EXPECT_EQ(Lib::AddModulo32(0xffffffffu, 2u), 1u);
  EXPECT_EQ(Lib::MulModulo32(1812433253u, 0x80000000u), 0x80000000u);
  EXPECT_EQ(Lib::MixBits(0x80000000u, 0xffffffffu), 0xffffffffu);
  EXPECT_EQ(Lib::MixBits(0x7fffffffu, 0x80000000u), 0u);
  EXPECT_EQ(Lib::Twist(0x80000000u, 0u), 0x40000000u);
  EXPECT_EQ(Lib::Twist(0u, 1u), 0x9908b0dfu);
  EXPECT_EQ(Lib::Temper(0u), 0u);
}

TEST(MersenneTwister, ReferenceValues) {
  // First output and 10000th output of the reference generator seeded 5489.
  const auto u = Lib::UniformRandom(5489, 10000);
  EXPECT_EQ(u[0], (3499211612.0L + 0.5L) * std::pow(2.0L, -32));
  EXPECT_EQ(u[9999], (4123659995.0L + 0.5L) * std::pow(2.0L, -32));
  EXPECT_EQ(Lib::UniformRandom(0, 1000), Lib::UniformRandom(5489, 1000));
  for (std::uint32_t seed : {1u, 31235959u, 0xffffffffu})
    ExpectSame(ref::Uniform(seed, 2000), Lib::UniformRandom(seed, 2000), 0);
}

TEST(UniformRandom, OpenIntervalAndDeterministic) {
  const auto u = Lib::UniformRandom(1234, 48000);
  for (long double v : u) {
    ASSERT_GT(v, 0.0L);
    ASSERT_LT(v, 1.0L);
  }
  EXPECT_EQ(u, Lib::UniformRandom(1234, 48000));
  EXPECT_NE(u, Lib::UniformRandom(1235, 48000));
  EXPECT_TRUE(Lib::UniformRandom(1, 0).empty());
  EXPECT_TRUE(Lib::UniformRandom(1, -5).empty());
}

TEST(PinkNoiseKellet, MatchesTheFilterAndStaysInRange) {
  const auto p = Lib::PinkNoiseKellet(5191230, 48000);
  ExpectSame(ref::Kellet(5191230, 48000), p, 0);
  for (long double v : p) {
    ASSERT_GE(v, 0.0L);
    ASSERT_LE(v, 1.0L);
  }
}

TEST(GaussNoise, MatchesBoxMullerWithinRounding) {
  for (std::int32_t count : {1, 1000, 48000}) ExpectSame(ref::Gauss(777, count), Lib::GaussNoise(777, count), 1e-15L);
}

TEST(GaussNoise, ClipsToTheUnitIntervalAndIsCentred) {
  const auto g = Lib::GaussNoise(31235959, 192000);
  long double sum = 0;
  int clipped = 0;
  for (long double v : g) {
    ASSERT_GE(v, 0.0L);
    ASSERT_LE(v, 1.0L);
    if (v == 0.0L || v == 1.0L) ++clipped;
    sum += v;
  }
  EXPECT_GT(clipped, 0);  // beyond 3.33 standard deviations: about 0.09 %
  EXPECT_NEAR(static_cast<double>(sum / g.size()), 0.5, 0.002);
}

TEST(GaussNoise, LongerThanTheKeptRadiiStillMatches) {
  // 600000 values: past the kept table, the radii are computed per call.
  const auto g = Lib::GaussNoise(42, 600000);
  const auto r = ref::Gauss(42, 600000);
  for (std::size_t i : {0u, 524287u, 524288u, 524289u, 599999u})
    EXPECT_NEAR(static_cast<double>(r[i]), static_cast<double>(g[i]), 1e-15) << i;
}

}  // namespace
