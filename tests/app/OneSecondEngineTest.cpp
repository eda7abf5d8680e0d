// With the real engine: keeping the tone records of a play gives the same
// seconds, bit for bit, as generating every record again each second.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

#include "CountingEngine.h"
#include "app/OneSecond.h"
#include "app/MainState.h"
#include "app/UnitThread.h"
#include "synthesis/ExtendedPrecision.h"
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


TEST(OneSecondWithEngine, FirstSecondOnWorkerThreadsEqualsTheOneMadeInTurn) {
  TSynthesisInputs inputs = Inputs(32000);
  inputs.SignalAttributeArray[3] = inputs.SignalAttributeArray[1];  // a second square, on the right
  inputs.SignalAttributeArray[3]._Frequency = 13;
  inputs.SignalAttributeArray[3]._OutputChannel = TOutputChannel::_Rch;
  for (const TFFTuse use : {TFFTuse::_Use, TFFTuse::_NoUse}) {
    inputs.InternalSetting._FFTuse = use;
    TExFunctionEngine engine;
    TCountingEngine serial;
    TOneSecondSynthesizer parallel(engine), inTurn(serial);
    parallel.Begin(inputs, TGeneratorChoice::_FollowFFTuse);
    inTurn.Begin(inputs, TGeneratorChoice::_FollowFFTuse);
    EXPECT_TRUE(parallel.Mix() == inTurn.Mix()) << int(use);
  }
}

// A synthesizer that keeps its tones across series (the create-wave road's)
// makes again only the tones whose second may differ: a new series of an
// unchanged set gives, bit for bit, the seconds of a synthesizer that makes
// every tone; so does one after a series that failed half-way.
TEST(OneSecondWithEngine, TonesKeptAcrossSeriesGiveTheSameSecondsAndAnyChangeMakesThemAgain) {
  TSynthesisInputs base = Inputs(32000);  // three audible tones, the sweep
  base.InternalSetting._FFTuse = TFFTuse::_Use;
  base.SignalAttributeArray[5]._OutputChannel = TOutputChannel::_Both;  // the noise, from the seed
  base.Seed = 5u;
  struct Case {
    const char* Name;
    std::function<void(TSynthesisInputs&, TGeneratorChoice&)> Change;
    int Made;  // tones made again
  };
  const Case cases[] = {
      {"the same set", [](TSynthesisInputs&, TGeneratorChoice&) {}, 0},
      {"the sweep further on, another seed",
       [](TSynthesisInputs& i, TGeneratorChoice&) {
         i.SweepStartTime = 32000;
         i.Seed = 77u;
       },
       0},
      {"one tone's frequency", [](TSynthesisInputs& i, TGeneratorChoice&) { i.SignalAttributeArray[1]._Frequency = 13; },
       1},
      {"one tone's channel", [](TSynthesisInputs& i, TGeneratorChoice&) {
         i.SignalAttributeArray[0]._OutputChannel = TOutputChannel::_Lch;
       },
       1},
      {"a tone muted", [](TSynthesisInputs& i, TGeneratorChoice&) {
         i.SignalAttributeArray[2]._OutputChannel = TOutputChannel::_Mute;
       },
       0},
      {"the bits", [](TSynthesisInputs& i, TGeneratorChoice&) { i.PCMFormat._Quantization = 24; }, 3},
      {"the rate", [](TSynthesisInputs& i, TGeneratorChoice&) { i.PCMFormat._SamplingRate = 44100; }, 3},
      {"the warble's deviation",
       [](TSynthesisInputs& i, TGeneratorChoice&) { i.InternalSetting._WableDeviation = TWableDeviation::_1d1; }, 3},
      {"the transforms off", [](TSynthesisInputs& i, TGeneratorChoice&) { i.InternalSetting._FFTuse = TFFTuse::_NoUse; },
       3},
      {"the direct generators", [](TSynthesisInputs&, TGeneratorChoice& c) { c = TGeneratorChoice::_Direct; }, 3},
  };
  for (const bool failedBefore : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.Name) + (failedBefore ? ", after a failed series" : ""));
      TCountingEngine engine;
      engine.Seed = 11u;
      TOneSecondSynthesizer kept(engine);
      kept.KeepTonesAcrossSeries(true);
      kept.Begin(base, TGeneratorChoice::_FollowFFTuse);
      kept.Advance();
      TSynthesisInputs inputs = base;
      TGeneratorChoice choice = TGeneratorChoice::_FollowFFTuse;
      c.Change(inputs, choice);
      if (failedBefore) {
        engine.Fail = true;  // the next series fails at its first tone...
        TSynthesisInputs other = base;
        other.SignalAttributeArray[1]._Frequency = 17;
        EXPECT_THROW(kept.Begin(other, TGeneratorChoice::_FollowFFTuse), std::bad_alloc);
        engine.Fail = false;  // ...and nothing it left is kept
      }
      const int before = engine.Tones.load();
      kept.Begin(inputs, choice);
      EXPECT_EQ(engine.Tones.load() - before, failedBefore ? 3 - (c.Name == std::string("a tone muted")) : c.Made);
      TCountingEngine freshEngine;
      freshEngine.Seed = 11u;
      TOneSecondSynthesizer fresh(freshEngine);
      fresh.Begin(inputs, choice);
      for (int second = 0; second < 2; ++second) {
        if (second > 0) {
          kept.Advance();
          fresh.Advance();
        }
        const TWaveBufferExtendedStereo a = kept.Mix(), b = fresh.Mix();
        ASSERT_EQ(a[0].size(), static_cast<std::size_t>(inputs.PCMFormat._SamplingRate));
        EXPECT_TRUE(a[0] == b[0] && a[1] == b[1]) << "second " << second;
      }
    }
  }
}

// A series and its gains made on a thread whose control words foreign code
// changed (a driver or a file dialog on the user-interface thread): the same
// seconds and codes as on a signal thread, and the caller's control words
// back afterwards.
TEST(OneSecondWithEngine, ForeignControlWordsChangeNoSecond) {
  TSynthesisInputs inputs = Inputs(44100);
  inputs.SignalAttributeArray[3] = inputs.SignalAttributeArray[1];  // two heavy tones: worker threads
  inputs.SignalAttributeArray[3]._OutputChannel = TOutputChannel::_Rch;
  inputs.SignalAttributeArray[5]._OutputChannel = TOutputChannel::_Both;  // the noise from a given seed
  inputs.Seed = 1207u;
  inputs.PCMFormat._Quantization = 24;
  TOutputGains gains;  // -20 dB, and -7 dB on the left track bar
  gains.OutputGainL = 0.44668359215096311L;
  auto run = [&] {
    TExFunctionEngine engine;
    TOneSecondSynthesizer series(engine);
    std::vector<TWaveBufferIntegerStereo> seconds;
    series.Begin(inputs, TGeneratorChoice::_Direct);
    for (int second = 0; second < 3; ++second) {
      if (second > 0) series.Advance();
      seconds.push_back(engine.QuantizeSignal(inputs.PCMFormat, gains.Left(), gains.Right(), series.Mix(),
                                              series.Seed()));
    }
    return seconds;
  };
  const std::uint16_t ownX87 = krv::ReadFpuControlWord();
  const std::uint32_t ownSse = krv::ReadSseControl();
  const auto expected = run();
  const long double expectedLeft = gains.Left();
  std::vector<long double> expectedTrack;
  for (std::int32_t position = 0; position <= 100; ++position) expectedTrack.push_back(TMainState::TrackBarGain(position));
  struct TState {
    const char* Name;
    std::uint16_t X87;
    std::uint32_t Sse;
  };
  for (const TState state : {TState{"53-bit precision", krv::kFpuPrecision53, 0},
                             TState{"rounding toward zero", krv::kFpuPrecision64 | krv::kFpuRoundTowardZero,
                                    krv::kSseRoundTowardZero},
                             TState{"rounding up", krv::kFpuPrecision64 | krv::kFpuRoundUp, krv::kSseRoundUp}}) {
    const auto x87 = static_cast<std::uint16_t>((ownX87 & ~0x0F00) | state.X87);
    const std::uint32_t sse = (ownSse & ~krv::kSseRoundingMask) | state.Sse;
    krv::WriteFpuControlWord(x87);
    krv::WriteSseControl(sse);
    const auto got = run();
    const long double left = gains.Left();
    std::size_t trackDiffer = 0;
    for (std::int32_t position = 0; position <= 100; ++position)
      trackDiffer += TMainState::TrackBarGain(position) != expectedTrack[static_cast<std::size_t>(position)];
    const std::uint16_t x87After = krv::ReadFpuControlWord();
    const std::uint32_t sseAfter = krv::ReadSseControl();
    krv::WriteFpuControlWord(ownX87);
    krv::WriteSseControl(ownSse);
    EXPECT_TRUE(left == expectedLeft) << state.Name << ": the left gain differs";
    EXPECT_EQ(trackDiffer, 0u) << state.Name << ": track-bar gains differ";
    for (std::size_t second = 0; second < expected.size(); ++second) {
      std::size_t differ = 0;
      for (std::size_t c = 0; c < 2; ++c)
        for (std::size_t i = 0; i < expected[second][c].size(); ++i)
          differ += got[second][c][i] != expected[second][c][i];
      EXPECT_EQ(differ, 0u) << state.Name << ", second " << second << ": samples differ";
    }
    EXPECT_EQ(x87After, x87) << state.Name;
    EXPECT_EQ(sseAfter & ~krv::kSseExceptionFlags, sse & ~krv::kSseExceptionFlags) << state.Name;
  }
}

}  // namespace
