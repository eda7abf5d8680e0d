#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "synthesis/ReferenceSpectral.h"
#include "synthesis/UnitFunction.h"

namespace {

struct Lib : TExFunctionLib {
  using TExFunctionLib::BurstGate;
};

using Generator = TWaveBufferExtended (*)(const TPCMFormat&, const TSignalAttribute&, std::int32_t,
                                          const TInternalSetting&);

Generator GeneratorOf(ref::Tone tone) {
  switch (tone) {
    case ref::Tone::Square: return &TExFunctionLib::GenerateWaveDataSquareIFFT;
    case ref::Tone::Triangle: return &TExFunctionLib::GenerateWaveDataTriangleIFFT;
    case ref::Tone::Sawtooth:
    default: return &TExFunctionLib::GenerateWaveDataSawtoothIFFT;
  }
}

struct Case {
  ref::Tone tone;
  std::int32_t fs, F, dB, phase, offset, bits;
  bool wholeSecond;  // every sample; otherwise spot samples
};

constexpr long double kTolerance = 1e-12L;  // of full scale

void Check(const Case& c) {
  SCOPED_TRACE(::testing::Message() << "tone " << static_cast<int>(c.tone) << " fs " << c.fs << " F " << c.F
                                    << " phase " << c.phase);
  auto fmt = TExFunctionLib::InitializePCMFormat();
  fmt._SamplingRate = c.fs;
  fmt._Quantization = c.bits;
  auto sig = TExFunctionLib::InitializeSignalAttribute();
  sig._Frequency = c.F;
  sig._Amplitude = c.dB;
  sig._Phase = c.phase;
  sig._Offset = c.offset;
  const auto y = GeneratorOf(c.tone)(fmt, sig, 1000, TExFunctionLib::InitializeInternalSetting());
  ASSERT_EQ(y.size(), static_cast<std::size_t>(c.fs));
  const long double amp = std::pow(10.0L, c.dB / 20.0L);
  const long double off = c.offset / std::pow(2.0L, c.bits);
  const ref::SpectralTone tone(c.tone, c.fs, c.F);

  std::vector<std::int64_t> samples;
  long double peak = 1.0L;
  if (c.wholeSecond) {
    std::vector<long double> R(c.fs);
    for (std::int64_t i = 0; i < c.fs; ++i) R[i] = tone.Rotated(i, c.phase);
    peak = std::max(peak, *std::max_element(R.begin(), R.end()));
    for (std::int64_t i = 0; i < c.fs; ++i) samples.push_back(i);
  } else {
    // The literal peak around the sample where the result has its largest value.
    const auto top = std::max_element(y.begin(), y.end()) - y.begin();
    for (std::int64_t d = -3; d <= 3; ++d) peak = std::max(peak, tone.Rotated(top + d, c.phase));
    samples = {0, 1, 2, 3, 11, 12, 13, 1000, 12345, c.fs / 3, c.fs / 2, c.fs - 2, c.fs - 1, top};
  }
  for (std::int64_t i : samples) {
    const long double expected = amp * (tone.Rotated(i, c.phase) / peak) + off;
    ASSERT_LE(std::fabs(y[i] - expected), kTolerance) << "sample " << i;
  }
}

TEST(SpectralVariants, MatchTheLiteralSpectrumOnWholeSeconds) {
  const Case cases[] = {
      {ref::Tone::Square, 48000, 1000, -6, 0, 0, 16, true},
      {ref::Tone::Sawtooth, 48000, 1000, -6, 90, 0, 16, true},
      {ref::Tone::Triangle, 48000, 1000, 0, -90, 100, 16, true},
      {ref::Tone::Square, 48000, 1000, -6, 90, 0, 16, true},   // starts at Y[12]
      {ref::Tone::Square, 48000, 23999, -6, 0, 0, 16, true},   // harmonic 1 alone
      {ref::Tone::Sawtooth, 48000, 23999, 0, 0, 0, 16, true},
      {ref::Tone::Sawtooth, 44056, 1000, -6, 45, -7, 16, true},  // odd phase, negative offset
  };
  for (const auto& c : cases) Check(c);
}

TEST(SpectralVariants, MatchTheLiteralSpectrumOnSpotSamples) {
  const Case cases[] = {
      {ref::Tone::Triangle, 48000, 10, -6, 0, 0, 16, false},
      {ref::Tone::Square, 192000, 10, -6, 33, 0, 24, false},
      {ref::Tone::Sawtooth, 192000, 11, 0, -90, 5, 24, false},
      {ref::Tone::Square, 384000, 11, -6, 90, 0, 32, false},
      {ref::Tone::Triangle, 384000, 10, -6, -45, 3, 32, false},
  };
  for (const auto& c : cases) Check(c);
}

TEST(SpectralVariants, ToneAtHalfTheRateGivesTheOffsetOnly) {
  auto fmt = TExFunctionLib::InitializePCMFormat();
  auto sig = TExFunctionLib::InitializeSignalAttribute();
  sig._Offset = 64;
  for (std::int32_t F : {24000, 30000}) {
    sig._Frequency = F;
    for (auto tone : {ref::Tone::Square, ref::Tone::Triangle, ref::Tone::Sawtooth}) {
      const auto y = GeneratorOf(tone)(fmt, sig, 1000, TExFunctionLib::InitializeInternalSetting());
      ASSERT_EQ(y.size(), 48000u);
      for (long double v : y) ASSERT_EQ(v, 64 / 65536.0L);
    }
  }
}

TEST(SpectralVariants, BurstGateSilencesTheOffCycles) {
  auto fmt = TExFunctionLib::InitializePCMFormat();
  auto sig = TExFunctionLib::InitializeSignalAttribute();
  sig._CycleOn = 3;
  sig._CycleOff = 4;
  sig._Phase = 90;
  sig._Offset = 16;
  const auto gate = Lib::BurstGate(fmt, sig);
  ASSERT_EQ(gate.size(), 48000u);
  sig._CycleOff = 0;
  const auto continuous = TExFunctionLib::GenerateWaveDataSawtoothIFFT(fmt, sig, 1000, {});
  sig._CycleOff = 4;
  const auto burst = TExFunctionLib::GenerateWaveDataSawtoothIFFT(fmt, sig, 1000, {});
  const long double off = 16 / 65536.0L;
  int silent = 0;
  for (std::size_t i = 0; i < burst.size(); ++i) {
    if (gate[i] == 0) {
      ASSERT_EQ(burst[i], off) << i;
      ++silent;
    } else {
      ASSERT_EQ(burst[i], continuous[i]) << i;
    }
  }
  EXPECT_EQ(silent, 142 * 192 + 288);
}

}  // namespace
