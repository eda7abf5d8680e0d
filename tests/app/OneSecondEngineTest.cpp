// With the real engine: keeping the tone records of a play gives the same
// seconds, bit for bit, as generating every record again each second.
#include <gtest/gtest.h>

#include "app/OneSecond.h"
#include "synthesis/UnitFunction.h"

namespace {

TSynthesisInputs Inputs(std::int32_t Rate) {
  TSynthesisInputs inputs = StartUpSynthesisInputs(Rate);
  auto& r = inputs.SignalAttributeArray;
  // r[0]: the 1000 Hz sine on both channels, with warble.
  r[0]._WarbleCycle = TWarbleCycle::_8Hz;
  r[1] = r[0];
  r[1]._Waveform = TWaveform::_Square;
  r[1]._Frequency = 11;
  r[1]._WarbleCycle = TWarbleCycle::_0Hz;
  r[1]._OutputChannel = TOutputChannel::_Lch;
  r[2] = r[1];
  r[2]._Waveform = TWaveform::_Sawtooth;
  r[2]._Frequency = 440;
  r[2]._CycleOn = 3;                                          // a burst
  r[2]._CycleOff = 2;
  r[2]._Phase = 90;
  r[2]._OutputChannel = TOutputChannel::_Rch;
  r[4]._OutputChannel = TOutputChannel::_Both;
  r[4]._SweepPeriod = 3;
  r[4]._SweepType = TSweepType::_Log;
  // r[5], the noise, stays muted: it is drawn anew from the clock.
  return inputs;
}

TEST(OneSecondWithEngine, KeptTonesGiveTheSameSecondsAsFreshOnes) {
  for (std::int32_t rate : {44100, 48000}) {
    SCOPED_TRACE(rate);
    TExFunctionEngine engine;
    TOneSecondSynthesizer kept(engine);
    TSynthesisInputs inputs = Inputs(rate);
    kept.Begin(inputs, TGeneratorChoice::_Direct);
    for (int second = 0; second < 4; ++second) {
      if (second > 0) kept.Advance();
      TOneSecondSynthesizer fresh(engine);
      inputs.SweepStartTime = (second % 3) * rate;  // the sweep wraps after 3 s
      fresh.Begin(inputs, TGeneratorChoice::_Direct);
      const TWaveBufferExtendedStereo a = kept.Mix(), b = fresh.Mix();
      ASSERT_EQ(a[0].size(), static_cast<std::size_t>(rate));
      EXPECT_TRUE(a[0] == b[0] && a[1] == b[1]) << "second " << second;
      EXPECT_EQ(engine.QuantizeSignal(inputs.PCMFormat, 0.1L, 0.1L, a, 7)[0],
                engine.QuantizeSignal(inputs.PCMFormat, 0.1L, 0.1L, b, 7)[0]);
    }
  }
}

// The engine with its tone records made one after the other.
class TSerialEngine final : public TSignalEngine {
 public:
  std::uint32_t TimeSeed() override { return FEngine.TimeSeed(); }
  TWaveBufferExtended GenerateTone(const TPCMFormat& f, const TSignalAttribute& a, const TInternalSetting& s,
                                   bool t) override {
    return FEngine.GenerateTone(f, a, s, t);
  }
  TWaveBufferExtended GenerateSweep(const TPCMFormat& f, const TSignalAttribute& a, std::int32_t t) override {
    return FEngine.GenerateSweep(f, a, t);
  }
  TWaveBufferExtended GenerateNoise(const TPCMFormat& f, const TSignalAttribute& a, TPinkNoiseMethod m,
                                    std::uint32_t seed) override {
    return FEngine.GenerateNoise(f, a, m, seed);
  }
  TWaveBufferExtendedStereo SynthesizeSignals(const TPCMFormat& f, std::int32_t n, const TSignalAttributeArray& a,
                                              const TWaveBufferExtendedArray& b) override {
    return FEngine.SynthesizeSignals(f, n, a, b);
  }
  TWaveBufferIntegerStereo QuantizeSignal(const TPCMFormat& f, long double l, long double r,
                                          const TWaveBufferExtendedStereo& s, std::uint32_t seed) override {
    return FEngine.QuantizeSignal(f, l, r, s, seed);
  }

 private:
  TExFunctionEngine FEngine;
};

TEST(OneSecondWithEngine, FirstSecondOnWorkerThreadsEqualsTheOneMadeInTurn) {
  TSynthesisInputs inputs = Inputs(32000);
  inputs.SignalAttributeArray[3] = inputs.SignalAttributeArray[1];  // a second square, on the right
  inputs.SignalAttributeArray[3]._Frequency = 13;
  inputs.SignalAttributeArray[3]._OutputChannel = TOutputChannel::_Rch;
  for (const TFFTuse use : {TFFTuse::_Use, TFFTuse::_NoUse}) {
    inputs.InternalSetting._FFTuse = use;
    TExFunctionEngine engine;
    TSerialEngine serial;
    TOneSecondSynthesizer parallel(engine), inTurn(serial);
    parallel.Begin(inputs, TGeneratorChoice::_FollowFFTuse);
    inTurn.Begin(inputs, TGeneratorChoice::_FollowFFTuse);
    EXPECT_TRUE(parallel.Mix() == inTurn.Mix()) << int(use);
  }
}

}  // namespace
