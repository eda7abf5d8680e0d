#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "synthesis/ReferenceNoise.h"
#include "synthesis/UnitFunction.h"

namespace {

struct Lib : TExFunctionLib {
  using TExFunctionLib::GaussNoise;
  using TExFunctionLib::LocalClock;
  using TExFunctionLib::PinkNoiseKellet;
  using TExFunctionLib::SetLocalClock;
  using TExFunctionLib::TClockTime;
  using TExFunctionLib::TimeSeed;
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
    ASSERT_LE(std::fabs(expected[i] - actual[i]), tolerance) << "at " << i;
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
  // 600000 values: past the kept table, the radii are computed per call.
  const auto g = Lib::GaussNoise(42, 600000);
  const auto r = ref::Gauss(42, 600000);
  for (std::size_t i : {0u, 524287u, 524288u, 524289u, 599999u})
    EXPECT_NEAR(static_cast<double>(r[i]), static_cast<double>(g[i]), 1e-15) << i;
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

}  // namespace

namespace {

struct NoiseLib : TExFunctionLib {
  using TExFunctionLib::GaussNoise;
  using TExFunctionLib::PinkNoiseCorner;
  using TExFunctionLib::PinkNoiseKellet;
  using TExFunctionLib::PinkNoiseLPF;
  using TExFunctionLib::PinkNoiseVoss;
  using TExFunctionLib::SetLocalClock;
  using TExFunctionLib::TClockTime;
  using TExFunctionLib::TimeSeed;
  using TExFunctionLib::UniformRandom;
};

TEST(PinkNoiseVoss, MatchesTheRowMethodAndItsRange) {
  for (std::int32_t rows : {12, 3}) {
    const auto v = NoiseLib::PinkNoiseVoss(99, 20000, rows);
    ExpectSame(ref::Voss(99, 20000, rows), v, 0);
    for (long double x : v) {
      ASSERT_GE(x, 0.375L);
      ASSERT_LT(x, 0.625L);
    }
  }
  // Draws wrap round to the first value: more draws than values.
  ExpectSame(ref::Voss(5, 7, 12), NoiseLib::PinkNoiseVoss(5, 7, 12), 0);
}

TEST(PinkNoiseLPF, MatchesTheBlockShapingWithinRounding) {
  // 48000 values: blocks 0 and 1 in full, then 15232 values from the block
  // made of the last 16384 white values.
  ExpectSame(ref::PinkLPF(1234, 48000, 3), NoiseLib::PinkNoiseLPF(1234, 48000, 3), 1e-17L);
  // An exact multiple of the block: no tail is used.
  ExpectSame(ref::PinkLPF(1234, 32768, 1), NoiseLib::PinkNoiseLPF(1234, 32768, 1), 1e-17L);
  // An odd count of blocks (the last transform shapes one block alone).
  ExpectSame(ref::PinkLPF(7, 16384 * 3, 2), NoiseLib::PinkNoiseLPF(7, 16384 * 3, 2), 1e-17L);
}

TEST(PinkNoiseLPF, ShortCountAndCornerZeroStayDefined) {
  // Fewer values than a block: the end of the block of the first 16384.
  const auto full = ref::PinkLPF(3, 16384, 3);
  const auto shortRun = NoiseLib::PinkNoiseLPF(3, 100, 3);
  ASSERT_EQ(shortRun.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_LE(std::fabs(full[16284 + i] - shortRun[i]), 1e-17L);
  // A corner of 0 is taken as bin 1.
  EXPECT_EQ(NoiseLib::PinkNoiseLPF(3, 16384, 0), NoiseLib::PinkNoiseLPF(3, 16384, 1));
}

TEST(PinkNoiseCorner, TenHertzBinByRateNeverZero) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {32000, 3}, {44056, 3}, {44100, 3}, {48000, 3}, {88200, 1}, {96000, 1}, {176400, 1}, {192000, 1}, {352800, 1},
      {384000, 1}};
  for (const auto& [fs, corner] : cases) EXPECT_EQ(NoiseLib::PinkNoiseCorner(fs), corner) << fs;
}

struct NoiseCase {
  TNoiseType type;
  TPinkNoiseMethod method;
  ref::Buffer (*source)(std::uint32_t, std::int32_t);
};

ref::Buffer Voss12(std::uint32_t seed, std::int32_t n) { return ref::Voss(seed, n, 12); }
ref::Buffer Lpf(std::uint32_t seed, std::int32_t n) {
  return ref::PinkLPF(seed, n, 1);  // 192000 Hz: the 10 Hz bin is below 1
}

TEST(GenerateWaveDataNoise, EachSourceScaledAroundZeroFromTheTimeSeed) {
  ClockGuard guard([] { return Lib::TClockTime{5, 19, 12, 30}; });
  const std::uint32_t seed = 5191230;
  auto fmt = TExFunctionLib::InitializePCMFormat();
  fmt._SamplingRate = 192000;
  auto sig = TExFunctionLib::InitializeSignalAttribute();
  sig._Amplitude = -6;
  sig._Offset = 1000;  // not used by the noise
  const long double amp = std::pow(10.0L, -6 / 20.0L);
  const NoiseCase cases[] = {{TNoiseType::_WhiteNoise, TPinkNoiseMethod::_Kellet, ref::Uniform},
                             {TNoiseType::_PinkNoise, TPinkNoiseMethod::_Kellet, ref::Kellet},
                             {TNoiseType::_PinkNoise, TPinkNoiseMethod::_Voss, Voss12},
                             {TNoiseType::_PinkNoise, TPinkNoiseMethod::_LPF, Lpf},
                             {TNoiseType::_GaussNoise, TPinkNoiseMethod::_LPF, ref::Gauss}};
  for (const auto& c : cases) {
    sig._NoiseType = c.type;
    const auto y = TExFunctionLib::GenerateWaveDataNoise(fmt, sig, 1000, c.method);
    const auto x = c.source(seed, 192000);
    ASSERT_EQ(y.size(), 192000u);
    for (std::size_t i = 0; i < y.size(); i += 997)
      ASSERT_NEAR(static_cast<double>((x[i] - 0.5L) * 2 * amp), static_cast<double>(y[i]), 1e-15) << i;
    for (long double v : y) ASSERT_LE(std::fabs(v), amp);
    // The form with a seed: the same source from that seed, not the clock's.
    const auto seeded = TExFunctionLib::GenerateWaveDataNoise(fmt, sig, 1000, c.method, seed + 1);
    const auto x1 = c.source(seed + 1, 192000);
    ASSERT_EQ(seeded.size(), 192000u);
    for (std::size_t i = 0; i < seeded.size(); i += 997)
      ASSERT_NEAR(static_cast<double>((x1[i] - 0.5L) * 2 * amp), static_cast<double>(seeded[i]), 1e-15) << i;
  }
}

TEST(GenerateWaveDataNoise, WhiteNeverReachesTheAmplitudeAndRepeatsWithinASecond) {
  ClockGuard guard([] { return Lib::TClockTime{31, 23, 59, 59}; });
  auto fmt = TExFunctionLib::InitializePCMFormat();
  auto sig = TExFunctionLib::InitializeSignalAttribute();
  const long double amp = std::pow(10.0L, -6 / 20.0L);
  const auto a = TExFunctionLib::GenerateWaveDataNoise(fmt, sig, 1000, TPinkNoiseMethod::_Kellet);
  for (long double v : a) ASSERT_LT(std::fabs(v), amp);
  EXPECT_EQ(a, TExFunctionLib::GenerateWaveDataNoise(fmt, sig, 1000, TPinkNoiseMethod::_Kellet));
  ASSERT_EQ(a.size(), 48000u);
  fmt._SamplingRate = 44056;
  EXPECT_EQ(TExFunctionLib::GenerateWaveDataNoise(fmt, sig, 1000, TPinkNoiseMethod::_Kellet).size(), 44056u);
  EXPECT_EQ(TExFunctionLib::GenerateWaveDataNoise(fmt, sig, 0, TPinkNoiseMethod::_LPF).size(), 0u);
}

TEST(GenerateWaveDataNoise, KelletAtFullScaleIsHeldAtTheAmplitude) {
  ClockGuard guard([] { return Lib::TClockTime{1, 0, 0, 0}; });
  auto fmt = TExFunctionLib::InitializePCMFormat();
  auto sig = TExFunctionLib::InitializeSignalAttribute();
  sig._NoiseType = TNoiseType::_PinkNoise;
  sig._Amplitude = 0;
  const auto y = TExFunctionLib::GenerateWaveDataNoise(fmt, sig, 1000, TPinkNoiseMethod::_Kellet);
  for (long double v : y) ASSERT_LE(std::fabs(v), 1.0L);
}

}  // namespace
