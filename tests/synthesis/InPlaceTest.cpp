// The in-place forms against the returning ones: written over storage that
// holds an older, longer block (and garbage), they give the same values bit
// for bit.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>

#include "synthesis/UnitFunction.h"

namespace {

struct Lib : TExFunctionLib {
  using TExFunctionLib::SetLocalClock;
};

// Bit for bit, the sign of zero included.
template <class T>
bool Same(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::memcmp(&a[i], &b[i], std::is_same_v<T, long double> ? 10 : sizeof(T)) != 0) return false;
  return true;
}

TWaveBufferExtended Stale() { return TWaveBufferExtended(400000, std::numeric_limits<long double>::quiet_NaN()); }

TPCMFormat Format(std::int32_t fs, TRounding r = TRounding::_RNE, TNoiseShaping s = TNoiseShaping::_Off,
                  TDither d = TDither::_White) {
  return TPCMFormat{fs, 24, r, d, s};
}

TSignalAttribute Record(TWaveform w, std::int32_t F, std::int32_t phase = 0) {
  TSignalAttribute a = TExFunctionLib::InitializeSignalAttribute();
  a._Waveform = w;
  a._Frequency = F;
  a._Phase = phase;
  a._OutputChannel = TOutputChannel::_Both;
  return a;
}

TEST(InPlace, GeneratorsWriteWhatTheReturningFormsReturn) {
  Lib::SetLocalClock([] { return TExFunctionLib::TClockTime{5, 19, 12, 30}; });
  using Returning = std::function<TWaveBufferExtended(const TPCMFormat&, const TSignalAttribute&)>;
  using InPlace = std::function<void(const TPCMFormat&, const TSignalAttribute&, TWaveBufferExtended&)>;
  const TInternalSetting is = TExFunctionLib::InitializeInternalSetting();
  using L = TExFunctionLib;
#define KRV_TONE(G)                                                                        \
  {#G, [&](auto& f, auto& a) { return L::G(f, a, 1000, is); },                             \
   [&](auto& f, auto& a, auto& b) { L::G(f, a, 1000, is, b); }}
  const struct {
    const char* Name;
    Returning Make;
    InPlace Fill;
  } generators[] = {
      KRV_TONE(GenerateWaveDataSine),         KRV_TONE(GenerateWaveDataSquare),
      KRV_TONE(GenerateWaveDataTriangle),     KRV_TONE(GenerateWaveDataSawtooth),
      KRV_TONE(GenerateWaveDataSquareIFFT),   KRV_TONE(GenerateWaveDataTriangleIFFT),
      KRV_TONE(GenerateWaveDataSawtoothIFFT),
      {"sweep", [](auto& f, auto& a) { return L::GenerateWaveDataSweep(f, a, 1000, 7 * f._SamplingRate); },
       [](auto& f, auto& a, auto& b) { L::GenerateWaveDataSweep(f, a, 1000, 7 * f._SamplingRate, b); }},
      {"noise Kellet", [](auto& f, auto& a) { return L::GenerateWaveDataNoise(f, a, 1000, TPinkNoiseMethod::_Kellet); },
       [](auto& f, auto& a, auto& b) { L::GenerateWaveDataNoise(f, a, 1000, TPinkNoiseMethod::_Kellet, b); }},
      {"noise LPF", [](auto& f, auto& a) { return L::GenerateWaveDataNoise(f, a, 1000, TPinkNoiseMethod::_LPF); },
       [](auto& f, auto& a, auto& b) { L::GenerateWaveDataNoise(f, a, 1000, TPinkNoiseMethod::_LPF, b); }},
  };
#undef KRV_TONE
  // A plain tone, a burst with a phase, a warble, silence above fs/2, and
  // every noise type and sweep shape.
  TSignalAttribute burst = Record(TWaveform::_Sine, 440, 90);
  burst._CycleOn = 3;
  burst._CycleOff = 2;
  TSignalAttribute warble = Record(TWaveform::_Sine, 1000);
  warble._WarbleCycle = TWarbleCycle::_8Hz;
  TSignalAttribute logSweep = Record(TWaveform::_Sweep, 0);
  logSweep._SweepType = TSweepType::_Log;
  TSignalAttribute pink = Record(TWaveform::_Noise, 0), gauss = pink;
  pink._NoiseType = TNoiseType::_PinkNoise;
  gauss._NoiseType = TNoiseType::_GaussNoise;
  const TSignalAttribute records[] = {Record(TWaveform::_Sine, 11, -45), burst, warble, Record(TWaveform::_Sine, 30000),
                                      Record(TWaveform::_Sweep, 0), logSweep, pink, gauss};
  for (const std::int32_t fs : {44100, 48000}) {
    for (const auto& g : generators) {
      for (const TSignalAttribute& a : records) {
        SCOPED_TRACE(testing::Message() << g.Name << " at " << fs << " Hz, " << a._Frequency << " Hz");
        TWaveBufferExtended b = Stale();
        g.Fill(Format(fs), a, b);
        EXPECT_TRUE(Same(g.Make(Format(fs), a), b));
      }
    }
  }
  Lib::SetLocalClock(nullptr);
}

TEST(InPlace, MixAndQuantiserWriteWhatTheReturningFormsReturn) {
  Lib::SetLocalClock([] { return TExFunctionLib::TClockTime{31, 23, 59, 59}; });
  TSignalAttributeArray set(6, Record(TWaveform::_Sine, 1000));
  set[1]._OutputChannel = TOutputChannel::_Lch;
  set[2]._OutputChannel = TOutputChannel::_Rch;
  set[3]._OutputChannel = TOutputChannel::_Mute;
  const TPCMFormat f = Format(48000);
  TWaveBufferExtendedArray buffers;
  for (int r = 0; r < 6; ++r)
    buffers.push_back(TExFunctionLib::GenerateWaveDataSine(f, Record(TWaveform::_Sine, 100 * (r + 1)), 1000, {}));
  for (const std::int32_t phase : {0, 180}) {  // the noise record's phase turns the right channel over
    set[5]._Phase = phase;
    TWaveBufferExtendedStereo mix{Stale(), TWaveBufferExtended(3, 1.0L)};
    TExFunctionLib::SynthesizeSignals(f, 6, set, buffers, 1000, mix);
    const TWaveBufferExtendedStereo want = TExFunctionLib::SynthesizeSignals(f, 6, set, buffers, 1000);
    EXPECT_TRUE(Same(want[0], mix[0]) && Same(want[1], mix[1])) << phase;
    for (const TRounding r : {TRounding::_RZ, TRounding::_RI, TRounding::_RN, TRounding::_RNE, TRounding::_DITHER})
      for (const TNoiseShaping s : {TNoiseShaping::_Off, TNoiseShaping::_1st, TNoiseShaping::_2nd})
        for (const TDither d : {TDither::_White, TDither::_Pink, TDither::_Gauss}) {
          TWaveBufferIntegerStereo q{TWaveBufferInteger(500000, 7), {}};
          TExFunctionLib::QuantizeSignal(Format(48000, r, s, d), 1.5L, 0.25L, mix, 1000, q);
          const auto want = TExFunctionLib::QuantizeSignal(Format(48000, r, s, d), 1.5L, 0.25L, mix, 1000);
          EXPECT_TRUE(want == q) << int(r) << " " << int(s) << " " << int(d);
        }
  }
  Lib::SetLocalClock(nullptr);
}

}  // namespace
