#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "synthesis/ReferenceWave.h"
#include "synthesis/UnitFunction.h"

namespace {

struct Lib : TExFunctionLib {
  using TExFunctionLib::GaussNoise;
  using TExFunctionLib::PinkNoiseKellet;
  using TExFunctionLib::QuantizeSample;
  using TExFunctionLib::SetLocalClock;
  using TExFunctionLib::TClockTime;
  using TExFunctionLib::TimeSeed;
  using TExFunctionLib::UniformRandom;
};

// A fixed wall clock for the dither: the 5th, 19:12:30.
struct FixedClock {
  FixedClock() {
    Lib::SetLocalClock([] { return Lib::TClockTime{5, 19, 12, 30}; });
  }
  ~FixedClock() { Lib::SetLocalClock(nullptr); }
};

TPCMFormat Format(std::int32_t fs, std::int32_t bits, TRounding rounding = TRounding::_RNE,
                  TNoiseShaping shaping = TNoiseShaping::_Off, TDither dither = TDither::_White) {
  return TPCMFormat{fs, bits, rounding, dither, shaping};
}

TWaveBufferExtended Random(std::size_t n, unsigned seed, long double scale = 1.0L) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  TWaveBufferExtended x(n);
  for (auto& v : x) v = scale * static_cast<long double>(u(gen));
  return x;
}

TSignalAttributeArray Records(std::initializer_list<TOutputChannel> channels, std::int32_t noisePhase = 0) {
  TSignalAttributeArray a;
  for (const auto c : channels) {
    a.push_back(TExFunctionLib::InitializeSignalAttribute());
    a.back()._OutputChannel = c;
  }
  a.back()._Phase = noisePhase;
  return a;
}

// --- mixing ------------------------------------------------------------------------

TEST(Mix, AllMutedGivesSilence) {
  const auto a = Records({TOutputChannel::_Mute, TOutputChannel::_Mute, TOutputChannel::_Mute});
  // Muted records' buffers are not read: they may be empty.
  const auto mix = TExFunctionLib::SynthesizeSignals(Format(48000, 16), 3, a, {{}, {}, {}}, 1000);
  for (const auto& ch : mix) {
    ASSERT_EQ(ch.size(), 48000u);
    for (const long double v : ch) ASSERT_EQ(v, 0.0L);
  }
}

TEST(Mix, ChannelsAreTheMeanOfTheirRecords) {
  const TWaveBufferExtended full(48, 1.0L), half(48, 0.5L);
  auto mix = TExFunctionLib::SynthesizeSignals(Format(48000, 16), 2, Records({TOutputChannel::_Both, TOutputChannel::_Both}),
                                               {full, full}, 1);
  EXPECT_EQ(mix[0], full);  // full scale, not twice it
  EXPECT_EQ(mix[1], full);
  mix = TExFunctionLib::SynthesizeSignals(Format(48000, 16), 2, Records({TOutputChannel::_Lch, TOutputChannel::_Both}),
                                          {full, half}, 1);
  EXPECT_EQ(mix[0], TWaveBufferExtended(48, 0.75L));
  EXPECT_EQ(mix[1], half);
}

TEST(Mix, NoisePhase180TurnsTheRightChannelOver) {
  const TWaveBufferExtended tone = Random(48, 1);
  for (const std::int32_t phase : {180, -180, 0, 90}) {
    const auto mix = TExFunctionLib::SynthesizeSignals(
        Format(48000, 16), 2, Records({TOutputChannel::_Both, TOutputChannel::_Mute}, phase), {tone, {}}, 1);
    EXPECT_EQ(mix[0], tone);
    for (std::size_t i = 0; i < tone.size(); ++i) ASSERT_EQ(mix[1][i], phase == 180 ? -tone[i] : tone[i]);
  }
}

TEST(Mix, EveryChannelCombinationMatchesTheDefinition) {
  const TOutputChannel all[] = {TOutputChannel::_Both, TOutputChannel::_Lch, TOutputChannel::_Rch, TOutputChannel::_Mute};
  TWaveBufferExtendedArray w;
  for (unsigned r = 0; r < 6; ++r) w.push_back(Random(4410, r + 10));
  for (int combo = 0; combo < 4 * 4 * 4; ++combo) {
    TSignalAttributeArray a = Records({all[combo % 4], all[(combo / 4) % 4], TOutputChannel::_Both, TOutputChannel::_Mute,
                                       all[combo / 16], TOutputChannel::_Rch},
                                      combo % 2 ? 180 : 0);
    const auto mix = TExFunctionLib::SynthesizeSignals(Format(44100, 16), 6, a, w, 100);
    const auto want = ref::Mix(Format(44100, 16), 6, a, w, 100);
    ASSERT_EQ(mix, want) << combo;
    // Continued from the running sums of each channel's first records.
    for (const auto& lead : {std::array<std::size_t, 2>{2, 1}, {1, 3}, {6, 6}}) {
      TWaveBufferExtendedStereo sums, continued;
      TExFunctionLib::SumLeadingSignals(Format(44100, 16), 6, a, w, 100, {lead[0], lead[1]}, sums);
      TExFunctionLib::SynthesizeSignals(Format(44100, 16), 6, a, w, 100,
                                        TExFunctionLib::TMixSums{&sums, {lead[0], lead[1]}}, continued);
      ASSERT_EQ(continued, want) << combo << " from " << lead[0] << "," << lead[1];
    }
  }
}

TEST(Mix, ShortOrMissingInputsAreReadSafely) {
  // More records asked for than given, and a buffer shorter than the block:
  // the missing samples count as silence.
  const auto a = Records({TOutputChannel::_Both, TOutputChannel::_Both});
  const auto mix = TExFunctionLib::SynthesizeSignals(Format(48000, 16), 6, a, {TWaveBufferExtended(10, 1.0L)}, 1);
  ASSERT_EQ(mix[0].size(), 48u);
  EXPECT_EQ(mix[0][9], 0.5L);
  EXPECT_EQ(mix[0][10], 0.0L);
  EXPECT_EQ(TExFunctionLib::SynthesizeSignals(Format(48000, 16), 0, a, {}, 1000)[0], TWaveBufferExtended(48000, 0.0L));
}

// --- the per-sample quantiser --------------------------------------------------------

TEST(QuantizeSample, RoundingModes) {
  struct Case {
    long double x;
    std::int32_t rz, ri, rn, rne;
  };
  const Case cases[] = {
      {2.5L, 2, 3, 3, 2},     {3.5L, 3, 4, 4, 4},       {-2.5L, -2, -3, -3, -2}, {-3.5L, -3, -4, -4, -4},
      {2.4L, 2, 3, 2, 2},     {2.6L, 2, 3, 3, 3},       {0.0L, 0, 0, 0, 0},      {-0.0L, 0, 0, 0, 0},
      {16383.0L, 16383, 16383, 16383, 16383},           {32766.5L, 32766, 32766, 32766, 32766},
      {-32766.5L, -32766, -32766, -32766, -32766},      {32765.5L, 32765, 32766, 32766, 32766},
      {40000.0L, 32766, 32766, 32766, 32766},           {-1e300L, -32766, -32766, -32766, -32766},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<double>(c.x));
    const std::int32_t want[] = {c.rz, c.ri, c.rn, c.rne};
    const TRounding modes[] = {TRounding::_RZ, TRounding::_RI, TRounding::_RN, TRounding::_RNE};
    for (int m = 0; m < 4; ++m) {
      EXPECT_EQ(Lib::QuantizeSample(Format(48000, 16, modes[m]), c.x, 0.3L), want[m]) << m;
      EXPECT_EQ(ref::QuantizeSample(Format(48000, 16, modes[m]), c.x, 0.3L), want[m]) << m;
    }
  }
}

TEST(QuantizeSample, DitherAddsBeforeTruncation) {
  const TPCMFormat f = Format(48000, 16, TRounding::_DITHER);
  EXPECT_EQ(Lib::QuantizeSample(f, 2.25L, 0.75L), 3);
  EXPECT_EQ(Lib::QuantizeSample(f, 2.25L, 0.74L), 2);
  EXPECT_EQ(Lib::QuantizeSample(f, -2.25L, 0.8L), -3);
  // x = 0 with a dither value of exactly 1.0 gives -1, as defined.
  EXPECT_EQ(Lib::QuantizeSample(f, 0.0L, 1.0L), -1);
  EXPECT_EQ(Lib::QuantizeSample(f, 0.0L, 0.999L), 0);
  // Never beyond the limit: just below it, any dither value gives at most M.
  EXPECT_EQ(Lib::QuantizeSample(f, 32765.9L, 1.0L), 32766);
  EXPECT_EQ(Lib::QuantizeSample(f, -32765.9L, 1.0L), -32766);
}

TEST(QuantizeSample, LimitsOfEachDepth) {
  const struct {
    std::int32_t bits, M;
  } depths[] = {{16, 32766}, {20, 524286}, {24, 8388606}, {32, 2147483646}};
  for (const auto& d : depths) {
    for (const TRounding r : {TRounding::_RZ, TRounding::_RI, TRounding::_RN, TRounding::_RNE, TRounding::_DITHER}) {
      const TPCMFormat f = Format(48000, d.bits, r);
      EXPECT_EQ(Lib::QuantizeSample(f, 1e30L, 0.5L), d.M);
      EXPECT_EQ(Lib::QuantizeSample(f, -1e30L, 0.5L), -d.M);
      EXPECT_EQ(Lib::QuantizeSample(f, std::numeric_limits<long double>::infinity(), 0.5L), d.M);
      EXPECT_EQ(Lib::QuantizeSample(f, -std::numeric_limits<long double>::infinity(), 0.5L), -d.M);
      // Out-of-range values are never converted: NaN gives 0.
      EXPECT_EQ(Lib::QuantizeSample(f, std::numeric_limits<long double>::quiet_NaN(), 0.5L), 0);
      EXPECT_EQ(Lib::QuantizeSample(f, d.M - 0.5L, 0.5L), r == TRounding::_RZ ? d.M - 1 : d.M);
    }
  }
}

// --- whole-block quantisation --------------------------------------------------------

TEST(Quantize, FullScaleAndHalfScaleAt16Bits) {
  const TWaveBufferExtendedStereo in{TWaveBufferExtended{1.0L, -1.0L, 0.5L}, TWaveBufferExtended{0.0L, 0.5L, -0.5L}};
  for (const TRounding r : {TRounding::_RNE, TRounding::_RZ, TRounding::_RN, TRounding::_RI}) {
    // 3 samples: 3000 Hz for 1 ms.
    const auto q = TExFunctionLib::QuantizeSignal(Format(3000, 16, r), 1.0L, 1.0L, in, 1);
    const std::int32_t half = r == TRounding::_RI ? 16384 : 16383;
    EXPECT_EQ(q[0], (TWaveBufferInteger{32766, -32766, half})) << static_cast<int>(r);
    EXPECT_EQ(q[1], (TWaveBufferInteger{0, half, -half})) << static_cast<int>(r);
  }
}

// Every rounding mode and shaping order against the literal loops, on input
// within full scale: bit for bit, with the dither block of the same clock.
TEST(Quantize, MatchesTheDefinitionBitForBit) {
  FixedClock clock;
  const std::uint32_t seed = Lib::TimeSeed();
  const TWaveBufferExtendedStereo in{Random(4800, 3, 0.999L), Random(4800, 4, 0.7L)};
  for (const std::int32_t bits : {16, 24, 32}) {
    for (const TNoiseShaping shaping : {TNoiseShaping::_Off, TNoiseShaping::_1st, TNoiseShaping::_2nd}) {
      for (const TRounding r : {TRounding::_RZ, TRounding::_RI, TRounding::_RN, TRounding::_RNE, TRounding::_DITHER}) {
        for (const TDither d : {TDither::_White, TDither::_Pink, TDither::_Gauss}) {
          if (r != TRounding::_DITHER && d != TDither::_White) continue;
          SCOPED_TRACE(testing::Message() << bits << " bits, shaping " << static_cast<int>(shaping) << ", rounding "
                                          << static_cast<int>(r) << ", dither " << static_cast<int>(d));
          const TPCMFormat f = Format(48000, bits, r, shaping, d);
          ref::Wave D(4800, 0.0L);
          if (r == TRounding::_DITHER)
            D = d == TDither::_White ? Lib::UniformRandom(seed, 4800)
                : d == TDither::_Pink ? Lib::PinkNoiseKellet(seed, 4800)
                                      : Lib::GaussNoise(seed, 4800);
          const auto q = TExFunctionLib::QuantizeSignal(f, 0.9L, 0.25L, in, 100);
          const auto want = ref::Quantize(f, 0.9L, 0.25L, in, 100, D);
          ASSERT_EQ(q[0], want[0]);
          ASSERT_EQ(q[1], want[1]);
          // The form with a seed draws the dither from that seed, not the clock.
          if (r == TRounding::_DITHER) {
            const std::uint32_t other = seed + 1;
            D = d == TDither::_White ? Lib::UniformRandom(other, 4800)
                : d == TDither::_Pink ? Lib::PinkNoiseKellet(other, 4800)
                                      : Lib::GaussNoise(other, 4800);
          }
          const auto seeded = TExFunctionLib::QuantizeSignal(f, 0.9L, 0.25L, in, 100, seed + 1);
          const auto wantSeeded = ref::Quantize(f, 0.9L, 0.25L, in, 100, D);
          ASSERT_EQ(seeded[0], wantSeeded[0]);
          ASSERT_EQ(seeded[1], wantSeeded[1]);
        }
      }
    }
  }
}

TEST(Quantize, ShapingFeedsTheEndOfTheSecondIntoItsStart) {
  // Nine samples of a steady value below one step: the first values are
  // made again after the pass, from the error left at the end of the block.
  const TWaveBufferExtendedStereo in{TWaveBufferExtended(9, 0.4L / 32765.5L), TWaveBufferExtended(9, -0.7L / 32763.5L)};
  for (const TNoiseShaping shaping : {TNoiseShaping::_1st, TNoiseShaping::_2nd}) {
    for (const TRounding r : {TRounding::_RZ, TRounding::_RNE, TRounding::_RI}) {
      const TPCMFormat f = Format(9000, 16, r, shaping);
      EXPECT_EQ(TExFunctionLib::QuantizeSignal(f, 1, 1, in, 1), ref::Quantize(f, 1, 1, in, 1, ref::Wave(9, 0)));
    }
  }
  // First order toward zero with v = 0.4: x runs 0.4, 0.8, 1.2, 0.6, ...
  const auto q = TExFunctionLib::QuantizeSignal(Format(9000, 16, TRounding::_RZ, TNoiseShaping::_1st), 1, 1, in, 1);
  EXPECT_EQ(q[0][1], 0);
  EXPECT_EQ(q[0][2], 1);
}

// A 0 dB tone with an offset drives the shaping loops beyond full scale for a
// stretch of every cycle. The literal loops wind up and stay saturated long
// after the input has come back; the engine holds the loop state on the
// saturating samples only, so the output follows the input to within the
// shaping's own few steps of noise.
TEST(Quantize, ShapingDoesNotWindUpBeyondFullScale) {
  const std::size_t N = 4800;
  TWaveBufferExtended tone(N);
  for (std::size_t i = 0; i < N; ++i)
    tone[i] = std::sin(2 * std::numbers::pi_v<long double> * 100 * i / 48000) + 2000.0L / 65536;
  const TWaveBufferExtendedStereo in{tone, tone};
  for (const TNoiseShaping shaping : {TNoiseShaping::_1st, TNoiseShaping::_2nd}) {
    for (const TRounding r : {TRounding::_RNE, TRounding::_RZ, TRounding::_RI, TRounding::_DITHER}) {
      const TPCMFormat f = Format(48000, 16, r, shaping, TDither::_Gauss);
      const long double s = shaping == TNoiseShaping::_1st ? 32765.5L : 32763.5L;
      const auto q = TExFunctionLib::QuantizeSignal(f, 1, 1, in, 100);
      long double worst = 0;
      for (std::size_t i = 0; i < N; ++i) {
        const long double target = std::clamp(s * tone[i], -32766.0L, 32766.0L);
        worst = std::max(worst, std::fabs(q[0][i] - target));
      }
      EXPECT_LE(worst, 5.0L) << "shaping " << static_cast<int>(shaping) << ", rounding " << static_cast<int>(r);
      if (r == TRounding::_RNE) {
        const auto lit = ref::Quantize(f, 1, 1, in, 100, ref::Wave(N, 0));
        long double litWorst = 0;
        for (std::size_t i = 0; i < N; ++i)
          litWorst = std::max(litWorst, std::fabs(lit[0][i] - std::clamp(s * tone[i], -32766.0L, 32766.0L)));
        EXPECT_GT(litWorst, 1000.0L);  // what the plain loops would do
      }
    }
  }
}

TEST(Quantize, NaNInputGivesZeroAndTheLoopsRecover) {
  TWaveBufferExtended x = Random(480, 5, 0.5L);
  x[100] = std::numeric_limits<long double>::quiet_NaN();
  for (const TNoiseShaping shaping : {TNoiseShaping::_Off, TNoiseShaping::_1st, TNoiseShaping::_2nd}) {
    const auto q = TExFunctionLib::QuantizeSignal(Format(48000, 16, TRounding::_RNE, shaping), 1, 1, {x, x}, 10);
    EXPECT_EQ(q[0][100], 0);
    for (std::size_t i = 110; i < 480; ++i) ASSERT_LE(std::fabs(q[0][i] - 32763.5L * x[i]), 5.0L) << i;
  }
}

TEST(Quantize, ShortBlocksAndInputsAreSafe) {
  // One sample with second-order shaping, and an input shorter than the block.
  const auto one = TExFunctionLib::QuantizeSignal(Format(1000, 16, TRounding::_RNE, TNoiseShaping::_2nd), 1, 1,
                                                  {TWaveBufferExtended{0.5L}, TWaveBufferExtended{-0.5L}}, 1);
  EXPECT_EQ(one[0].size(), 1u);
  const auto part = TExFunctionLib::QuantizeSignal(Format(48000, 16), 1, 1, {TWaveBufferExtended(5, 0.5L), {}}, 1);
  EXPECT_EQ(part[0][4], 16383);
  EXPECT_EQ(part[0][5], 0);
  EXPECT_EQ(part[1], TWaveBufferInteger(48, 0));
}

}  // namespace
