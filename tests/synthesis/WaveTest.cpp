#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

#include "synthesis/ExtendedPrecisionProbe.h"
#include "synthesis/ReferenceWave.h"
#include "synthesis/ToneSeries.h"
#include "synthesis/ToneTable.h"
#include "synthesis/UnitFunction.h"

namespace {

struct Lib : TExFunctionLib {
  using TExFunctionLib::BurstGate;
  using TExFunctionLib::NormalizeByPeak;
  using TExFunctionLib::RoundHalfAway;
};

// Every comparison with the literal formulas: within 1e-12 of full scale.
constexpr double kTolerance = 1e-12;

TPCMFormat Format(std::int32_t fs, std::int32_t bits = 16) {
  TPCMFormat f = TExFunctionLib::InitializePCMFormat();
  f._SamplingRate = fs;
  f._Quantization = bits;
  return f;
}

TSignalAttribute Tone(TWaveform w, std::int32_t F, std::int32_t phase = 0, std::int32_t dB = -6,
                      std::int32_t offset = 0) {
  TSignalAttribute a = TExFunctionLib::InitializeSignalAttribute();
  a._Waveform = w;
  a._Frequency = F;
  a._Phase = phase;
  a._Amplitude = dB;
  a._Offset = offset;
  return a;
}

const TInternalSetting kSetting = TExFunctionLib::InitializeInternalSetting();

TWaveBufferExtended Generate(const TPCMFormat& f, const TSignalAttribute& a, std::int32_t ms = 1000,
                             const TInternalSetting& s = kSetting) {
  switch (a._Waveform) {
    case TWaveform::_Square: return TExFunctionLib::GenerateWaveDataSquare(f, a, ms, s);
    case TWaveform::_Triangle: return TExFunctionLib::GenerateWaveDataTriangle(f, a, ms, s);
    case TWaveform::_Sawtooth: return TExFunctionLib::GenerateWaveDataSawtooth(f, a, ms, s);
    default: return TExFunctionLib::GenerateWaveDataSine(f, a, ms, s);
  }
}

void ExpectClose(const ref::Wave& expected, const TWaveBufferExtended& actual, double tolerance = kTolerance) {
  ASSERT_EQ(expected.size(), actual.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    ASSERT_NEAR(static_cast<double>(expected[i]), static_cast<double>(actual[i]), tolerance) << "at sample " << i;
}

// --- building blocks ------------------------------------------------------------

TEST(RoundHalfAway, RoundsHalvesAwayFromZero) {
  const struct {
    long double x;
    std::int32_t want;
  } cases[] = {{2.5L, 3},   {-2.5L, -3}, {2.4999L, 2}, {-0.5L, -1}, {0.0L, 0},
               {0.49L, 0},  {1006.68L, 1007}, {1060.66L, 1061}, {-7.5L, -8}};
  for (const auto& c : cases) EXPECT_EQ(Lib::RoundHalfAway(c.x), c.want) << static_cast<double>(c.x);
  // Values no 32-bit integer holds are held at the ends; NaN gives 0.
  EXPECT_EQ(Lib::RoundHalfAway(1e30L), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(Lib::RoundHalfAway(-1e30L), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(Lib::RoundHalfAway(std::numeric_limits<long double>::quiet_NaN()), 0);
}

TEST(NormalizeByPeak, ScalesOnlyAPositivePeakAboveOne) {
  EXPECT_EQ(Lib::NormalizeByPeak({0.5L, -3.0L, 1.0L}), (TWaveBufferExtended{0.5L, -3.0L, 1.0L}));
  EXPECT_EQ(Lib::NormalizeByPeak({2.0L, -1.0L, 1.0L}), (TWaveBufferExtended{1.0L, -0.5L, 0.5L}));
  EXPECT_TRUE(Lib::NormalizeByPeak({}).empty());
}

struct GateCase {
  std::int32_t fs, F, on, off, phase;
  std::int64_t repeats, onLength, offLength;  // expected pattern (before rotation)
};

TEST(BurstGate, PatternsMatchTheDefinition) {
  const GateCase cases[] = {
      {48000, 1000, 1, 1, 0, 500, 48, 48},       // fills the second exactly
      {48000, 1000, 3, 4, 0, 142, 144, 192},     // 47712 samples, then 288 of silence
      {48000, 10, 5, 10, 0, 1, 24000, 24000},    // a burst longer than the second
      {48000, 10, 20, 10, 0, 1, 48000, 0},       // more cycles on than F: continuous
      {384000, 190000, 100000, 7, 0, 1, 202105, 14},  // On * fs beyond 32 bits
      // Rotated by the phase both ways (90 degrees of 1000 Hz: 12 samples).
      {48000, 1000, 3, 4, 90, 0, 0, 0},  {48000, 1000, 3, 4, -90, 0, 0, 0},
      {48000, 1000, 3, 4, 37, 0, 0, 0},  {48000, 1000, 3, 4, -360, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fs << " Hz, " << c.F << " Hz, " << c.on << "/" << c.off << ", " << c.phase);
    TSignalAttribute a = Tone(TWaveform::_Sine, c.F, c.phase);
    a._CycleOn = c.on;
    a._CycleOff = c.off;
    const TWaveBufferExtended gate = Lib::BurstGate(Format(c.fs), a);
    ASSERT_EQ(gate.size(), static_cast<std::size_t>(c.fs));
    ExpectClose(ref::BurstGate(Format(c.fs), a), gate, 0);
    if (c.phase != 0) continue;
    std::size_t i = 0;
    for (std::int64_t r = 0; r < c.repeats; ++r) {
      for (std::int64_t k = 0; k < c.onLength; ++k) ASSERT_EQ(gate[i++], 1.0L) << i;
      for (std::int64_t k = 0; k < c.offLength; ++k) ASSERT_EQ(gate[i++], 0.0L) << i;
    }
    for (; i < gate.size(); ++i) ASSERT_EQ(gate[i], 0.0L) << i;
  }
}

// --- sine ------------------------------------------------------------------------

TEST(Sine, DefaultRecordOnTheDefaultFormat) {
  const TWaveBufferExtended y = Generate(TExFunctionLib::InitializePCMFormat(), TExFunctionLib::InitializeSignalAttribute());
  ASSERT_EQ(y.size(), 48000u);
  EXPECT_EQ(y[0], 0.0L);
  EXPECT_NEAR(static_cast<double>(y[12]), 0.50118723362727229, 1e-15);
  EXPECT_EQ(y[12], std::pow(10.0L, -0.3L));
}

struct SineCase {
  std::int32_t fs, F, phase, dB, offset, bits;
  std::int32_t on = 1, off = 0;  // a burst when off > 0
  TWarbleCycle W = TWarbleCycle::_0Hz;
  TWableDeviation dev = TWableDeviation::_1d3;
};

TEST(Sine, WholeSecondsMatchTheFormula) {
  const SineCase cases[] = {
      {48000, 1000, 0, -6, 0, 16},   {48000, 1000, 90, -6, 0, 16},   {48000, 1000, -90, 0, 0, 16},
      {48000, 1000, 37, -6, 100, 16}, {48000, 997, -181, -20, -7, 24}, {44056, 11, 45, 0, 3, 16},
      {44100, 22049, 1, 0, 0, 16},   {192000, 10, -37, -6, 1, 32},    {384000, 11, 359, 0, 0, 24},
      // Bursts are gated tones.
      {48000, 1000, 90, -6, 5, 16, 3, 4}, {96000, 10, -45, -6, 0, 16, 5, 10},
      // Warble; a warbled sine ignores the burst settings.
      {48000, 1000, 0, -6, 0, 16, 1, 0, TWarbleCycle::_16Hz, TWableDeviation::_1d3},
      {48000, 1000, 45, -6, 0, 16, 1, 3, TWarbleCycle::_4Hz, TWableDeviation::_1d1},
      {44056, 5000, -90, -6, 0, 16, 1, 3, TWarbleCycle::_12Hz, TWableDeviation::_1d3},
      {192000, 15000, 7, -6, 0, 16, 1, 0, TWarbleCycle::_8Hz, TWableDeviation::_1d1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fs << " Hz, " << c.F << " Hz, phase " << c.phase);
    TSignalAttribute a = Tone(TWaveform::_Sine, c.F, c.phase, c.dB, c.offset);
    a._CycleOn = c.on;
    a._CycleOff = c.off;
    a._WarbleCycle = c.W;
    TInternalSetting s = kSetting;
    s._WableDeviation = c.dev;
    ExpectClose(ref::Sine(Format(c.fs, c.bits), a, 1000, s), Generate(Format(c.fs, c.bits), a, 1000, s));
  }
}

// --- tones at or above half the sampling rate, and bad settings -----------------------

TEST(Tone, AtOrAboveHalfTheRateGivesTheOffsetOnly) {
  for (const TWaveform w : {TWaveform::_Sine, TWaveform::_Square, TWaveform::_Triangle, TWaveform::_Sawtooth}) {
    for (const std::int32_t F : {24000, 24001, 30000, 96000, 0, -5}) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(w) << " at " << F << " Hz");
      TSignalAttribute a = Tone(w, F, 90, 0, 100);
      a._CycleOff = 2;
      const TWaveBufferExtended y = Generate(Format(48000), a);
      ASSERT_EQ(y.size(), 48000u);
      for (const long double v : y) ASSERT_EQ(v, 100.0L / 65536);
    }
  }
}

TEST(Tone, BlockLengthFollowsTheMilliseconds) {
  // No caller passes anything but 1000; other lengths must still be safe.
  for (const TWaveform w : {TWaveform::_Sine, TWaveform::_Square}) {
    TSignalAttribute a = Tone(w, 1000, 90);
    a._CycleOff = 1;
    EXPECT_EQ(Generate(Format(48000), a, 1500).size(), 72000u);
    EXPECT_EQ(Generate(Format(48000), a, 1).size(), 48u);
    EXPECT_TRUE(Generate(Format(48000), a, 0).empty());
    EXPECT_TRUE(Generate(Format(0), a, 1000).empty());
  }
}

// --- square, triangle, sawtooth ------------------------------------------------------

struct HarmonicCase {
  TWaveform w;
  std::int32_t fs, F, phase, dB, offset;
  std::int32_t on = 1, off = 0;  // a burst when off > 0
};

TEST(Harmonic, WholeSecondsMatchTheDirectSum) {
  const HarmonicCase cases[] = {
      {TWaveform::_Square, 48000, 1000, 0, 0, 0},     {TWaveform::_Square, 48000, 1000, 90, -6, 0},
      {TWaveform::_Square, 48000, 1000, -90, -6, 9},  {TWaveform::_Triangle, 48000, 1000, 37, -6, 0},
      {TWaveform::_Triangle, 48000, 1000, -181, 0, -3}, {TWaveform::_Sawtooth, 48000, 1000, 0, 0, 0},
      {TWaveform::_Sawtooth, 48000, 1000, 91, -6, 1}, {TWaveform::_Sawtooth, 44056, 5000, -45, 0, 0},
      {TWaveform::_Square, 48000, 23999, 0, 0, 0},    {TWaveform::_Triangle, 44100, 3001, 11, -6, 0},
      // Bursts are gated.
      {TWaveform::_Square, 48000, 1000, -90, -6, 2, 3, 4}, {TWaveform::_Triangle, 48000, 1000, -90, -6, 2, 3, 4},
      {TWaveform::_Sawtooth, 48000, 1000, -90, -6, 2, 3, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.w) << ", " << c.fs << " Hz, " << c.F << " Hz, phase "
                                    << c.phase);
    TSignalAttribute a = Tone(c.w, c.F, c.phase, c.dB, c.offset);
    a._CycleOn = c.on;
    a._CycleOff = c.off;
    ExpectClose(ref::Harmonic(c.w, Format(c.fs), a, 1000), Generate(Format(c.fs), a));
  }
}

TEST(Harmonic, SquarePeakIsExactlyFullScaleAndTheTriangleIsNotRaised) {
  const TWaveBufferExtended square = Generate(Format(48000), Tone(TWaveform::_Square, 1000, 0, 0));
  EXPECT_EQ(*std::max_element(square.begin(), square.end()), 1.0L);
  const TWaveBufferExtended saw = Generate(Format(48000), Tone(TWaveform::_Sawtooth, 1000, 0, 0));
  EXPECT_EQ(*std::max_element(saw.begin(), saw.end()), 1.0L);
  const TWaveBufferExtended tri = Generate(Format(48000), Tone(TWaveform::_Triangle, 10, 0, 0));
  const long double top = *std::max_element(tri.begin(), tri.end());
  EXPECT_LT(top, 1.0L);
  EXPECT_GT(top, 0.999L);
  EXPECT_NEAR(static_cast<double>(tri[1200]), static_cast<double>(ref::HarmonicSum(TWaveform::_Triangle, 48000, 10, 1200)),
              kTolerance);
}

TEST(Harmonic, PhaseShiftIsTakenExactly) {
  // The shift is Trunc(fs * phase / (F * 360)) taken exactly: -4040 samples
  // for -303 degrees of 10 Hz at 48000 Hz, where a rounded quotient would
  // truncate to -4039.
  const TWaveBufferExtended base = Generate(Format(48000), Tone(TWaveform::_Sawtooth, 10, 0, 0));
  const TWaveBufferExtended odd = Generate(Format(48000), Tone(TWaveform::_Sawtooth, 10, -303, 0));
  for (std::size_t i = 0; i < odd.size(); i += 997) ASSERT_EQ(odd[i], base[(i + 48000 - 4040) % 48000]) << i;
}

// Spot samples of the worst cases (a direct sum costs one sine per harmonic
// per sample). The peak is searched around the generator's own largest
// sample, where the direct sum has its overshoot.
void ExpectSpots(TWaveform w, std::int32_t fs, std::int32_t F, std::int32_t phase) {
  SCOPED_TRACE(testing::Message() << static_cast<int>(w) << ", " << fs << " Hz, " << F << " Hz, phase " << phase);
  const TSignalAttribute a = Tone(w, F, phase, 0);
  const TWaveBufferExtended y = Generate(Format(fs), a);
  ASSERT_EQ(y.size(), static_cast<std::size_t>(fs));
  const std::int64_t shift = ref::Shift(fs, F, phase);
  auto S = [&](std::int64_t i) { return ref::HarmonicSum(w, fs, F, ((shift + i) % fs + fs) % fs); };
  long double peak = 1.0L;
  if (w != TWaveform::_Triangle) {
    const auto top = static_cast<std::int64_t>(std::max_element(y.begin(), y.end()) - y.begin());
    for (std::int64_t i = top - 2; i <= top + 2; ++i) peak = std::max(peak, S(i));
  }
  for (const std::int64_t i : {std::int64_t{0}, std::int64_t{1}, std::int64_t{fs / 7}, std::int64_t{fs / 3 + 5},
                               std::int64_t{fs - 2}, std::int64_t{fs / (2 * F)}})
    EXPECT_NEAR(static_cast<double>(S(i) / peak), static_cast<double>(y[static_cast<std::size_t>(i)]), kTolerance)
        << "at sample " << i;
}

TEST(Harmonic, WorstCasesAtHighRatesOnSpotSamples) {
  for (const TWaveform w : {TWaveform::_Square, TWaveform::_Triangle, TWaveform::_Sawtooth}) {
    ExpectSpots(w, 192000, 10, 0);
    ExpectSpots(w, 384000, 11, -37);
    ExpectSpots(w, 44056, 11, 90);   // a length with the prime factor 5507
  }
  ExpectSpots(TWaveform::_Sawtooth, 384000, 10, 90);
  ExpectSpots(TWaveform::_Square, 352800, 11, 1);
  ExpectSpots(TWaveform::_Triangle, 44056, 10, -90);
}

TEST(Tone, RatesThatAreNotMultiplesOfFour) {
  // No listed rate is, but a settings file could give one: the tables then
  // keep their own cosines and the period transform runs at full length.
  for (const std::int32_t fs : {22050, 8001}) {
    const TSignalAttribute sine = Tone(TWaveform::_Sine, 441, 33, -3, 5);
    ExpectClose(ref::Sine(Format(fs), sine, 1000, kSetting), Generate(Format(fs), sine));
    for (const TWaveform w : {TWaveform::_Square, TWaveform::_Sawtooth}) {
      ExpectClose(ref::Harmonic(w, Format(fs), Tone(w, 1003, 45, 0), 1000), Generate(Format(fs), Tone(w, 1003, 45, 0)));
      ExpectSpots(w, fs, 11, -90);
    }
  }
}

TEST(Harmonic, ShortBlockReadsOnlyWhatItHolds) {
  // 500 ms of a tone whose period is a whole second: the block holds half of
  // it, and the peak is taken over that half.
  const TSignalAttribute a = Tone(TWaveform::_Sawtooth, 1001, 45, 0);
  ExpectClose(ref::Harmonic(TWaveform::_Sawtooth, Format(48000), a, 500), Generate(Format(48000), a, 500));
}

// --- the series behind them -------------------------------------------------------------

TEST(Series, DirectSumAndTransformAgree) {
  const auto table = krv::ToneTableFor(48000);
  for (const auto kind : {krv::SeriesKind::Square, krv::SeriesKind::Triangle, krv::SeriesKind::Sawtooth}) {
    for (const std::int64_t F : {70, 250, 1280}) {
      const std::int64_t g = krv::Gcd(F, 48000), P = 48000 / g, K = 47999 / (2 * F);
      const auto direct = krv::SeriesPeriodDirect(kind, K, F / g, P, *table);
      const auto fast = krv::SeriesPeriodTransform(kind, K, F / g, P, *table);
      ASSERT_EQ(direct.size(), fast.size());
      for (std::size_t n = 0; n < direct.size(); ++n)
        ASSERT_NEAR(static_cast<double>(direct[n]), static_cast<double>(fast[n]), 1e-15) << F << " Hz at " << n;
    }
  }
}

TEST(ToneTable, EntriesAreTheUnitSine) {
  for (const std::int64_t L : {4, 12, 44056, 65536, 30, 7}) {
    const krv::ToneTable t(L);
    for (std::int64_t j = 0; j < L; j += 1 + L / 1000) {
      const long double x = 2 * std::numbers::pi_v<long double> * j / L;
      ASSERT_LE(std::fabs(t.Sin(j) - std::sin(x)), 1e-18L) << L << " " << j;
      ASSERT_LE(std::fabs(t.Cos(j) - std::cos(x)), 1e-18L) << L << " " << j;
    }
  }
  const krv::CycleSine& sinCycles = krv::CycleSine::Get();
  for (const long double u : {0.0L, 0.123456789L, -3.75L, 12345.678L, 1e15L + 0.25L, -0.999999L})
    EXPECT_LE(std::fabs(sinCycles(u) - std::sin(2 * std::numbers::pi_v<long double> * std::fmod(u, 1.0L))), 1e-18L)
        << static_cast<double>(u);
}

TEST(ToneTable, SharedTableBuiltOnAThreadAtDoublePrecisionIsStillExtended) {
  krv::ClearToneTableCache();
  std::shared_ptr<const krv::ToneTable> low;
  {
    const krvtest::DoublePrecisionScope atDouble;
    low = krv::ToneTableFor(44100);  // built (and kept) here
  }
  const krv::ToneTable full(44100);
  for (std::int64_t j = 0; j < 44100; ++j) ASSERT_EQ(low->Sin(j), full.Sin(j)) << j;
}

// --- sweep ---------------------------------------------------------------------------

TSignalAttribute Sweep(TSweepType type, std::int32_t f0, std::int32_t f1, std::int32_t period, std::int32_t dB = -6) {
  TSignalAttribute a = TExFunctionLib::InitializeSignalAttribute();
  a._Waveform = TWaveform::_Sweep;
  a._SweepType = type;
  a._SweepFrequency = {f0, f1};
  a._SweepPeriod = period;
  a._Amplitude = dB;
  a._Phase = 90;     // ignored
  a._Offset = 1000;  // ignored
  return a;
}

TEST(Sweep, MatchesTheFormula) {
  struct Case {
    TSweepType type;
    std::int32_t fs, f0, f1, period, timeStart;
  };
  const Case cases[] = {
      {TSweepType::_Linear, 48000, 20, 20000, 10, 0},      {TSweepType::_Linear, 48000, 20, 20000, 10, 9 * 48000},
      {TSweepType::_Linear, 48000, 20000, 20, 10, 48000},  {TSweepType::_Log, 48000, 20, 20000, 10, 0},
      {TSweepType::_Log, 48000, 20, 20000, 10, 9 * 48000}, {TSweepType::_Log, 44056, 20000, 20, 3, 44056},
      {TSweepType::_Log, 192000, 10, 90000, 180, 100 * 192000}, {TSweepType::_Linear, 192000, 20, 20000, 10, 9 * 192000},
      {TSweepType::_Log, 384000, 20, 20000, 10, 9 * 384000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fs << " Hz, " << c.f0 << " to " << c.f1 << ", from " << c.timeStart);
    const TSignalAttribute a = Sweep(c.type, c.f0, c.f1, c.period);
    ExpectClose(ref::Sweep(Format(c.fs), a, 1000, c.timeStart),
                TExFunctionLib::GenerateWaveDataSweep(Format(c.fs), a, 1000, c.timeStart));
  }
}

TEST(Sweep, LinearPhaseIsExactFarIntoALongSweep) {
  // 179 s into a 180 s sweep at 192000 Hz the phase is near 5 * 10^7 rad,
  // where a sine of the full argument is good to only about 10^-11. The
  // engine keeps the phase as an exact fraction of a cycle: compare with
  // that fraction computed afresh for each sample.
  const std::int64_t fs = 192000, P = 180, f0 = 10, f1 = 90000, T = 179 * fs;
  const TSignalAttribute a = Sweep(TSweepType::_Linear, f0, f1, P, 0);
  const auto y = TExFunctionLib::GenerateWaveDataSweep(Format(fs), a, 1000, T);
  const __int128 D = static_cast<__int128>(2) * P * fs * fs;
  for (std::int64_t i = 0; i < fs; i += 97) {
    const __int128 n = T + i;
    const __int128 num = 2 * static_cast<__int128>(f0) * P * fs * n + static_cast<__int128>(f1 - f0) * n * n;
    const long double cycles = static_cast<long double>(static_cast<std::int64_t>(num % D)) / static_cast<long double>(D);
    ASSERT_NEAR(static_cast<double>(std::sin(2 * std::numbers::pi_v<long double> * cycles)),
                static_cast<double>(y[static_cast<std::size_t>(i)]), 1e-15)
        << i;
  }
}

TEST(Sweep, ConsecutiveBlocksJoinWithoutAJump) {
  for (const TSweepType type : {TSweepType::_Linear, TSweepType::_Log}) {
    const TSignalAttribute a = Sweep(type, 20, 20000, 10);
    const auto both = TExFunctionLib::GenerateWaveDataSweep(Format(48000), a, 2000, 0);
    const auto first = TExFunctionLib::GenerateWaveDataSweep(Format(48000), a, 1000, 0);
    const auto second = TExFunctionLib::GenerateWaveDataSweep(Format(48000), a, 1000, 48000);
    for (std::size_t i = 0; i < 48000; ++i) {
      ASSERT_NEAR(static_cast<double>(both[i]), static_cast<double>(first[i]), 1e-15) << i;
      ASSERT_NEAR(static_cast<double>(both[48000 + i]), static_cast<double>(second[i]), 1e-15) << i;
    }
  }
}

TEST(Sweep, LogarithmicWithEqualEndsIsASteadyTone) {
  const TSignalAttribute a = Sweep(TSweepType::_Log, 1000, 1000, 10, 0);
  const auto y = TExFunctionLib::GenerateWaveDataSweep(Format(48000), a, 1000, 3 * 48000);
  TSignalAttribute tone = Tone(TWaveform::_Sine, 1000, 0, 0);
  ExpectClose(ref::Sine(Format(48000), tone, 1000, kSetting), y);
}

TEST(Sweep, OutOfRangeSettingsStaySafe) {
  // A zero period or a zero start frequency has no defined sweep; the
  // generator still returns a block of samples within full scale.
  TSignalAttribute a = Sweep(TSweepType::_Log, 0, 1000, 0, 0);
  for (const auto& y : {TExFunctionLib::GenerateWaveDataSweep(Format(48000), a, 1000, 0),
                        TExFunctionLib::GenerateWaveDataSweep(Format(48000), Sweep(TSweepType::_Linear, 10, 20, -3), 1000, -5)}) {
    ASSERT_EQ(y.size(), 48000u);
    for (const long double v : y) ASSERT_TRUE(std::fabs(v) <= 1.0L);
  }
}

}  // namespace
