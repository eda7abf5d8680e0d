// Series of seconds as a play through ASIO makes them (a first second, then
// a next one) at 384000 Hz with the spectral generators: the process's
// memory stays where it was after the first series, however many follow.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "app/OneSecond.h"
#include "synthesis/ExtendedPrecision.h"

namespace {

struct TMemory {
  double PrivateMB;
  double WorkingSetMB;
};

TMemory ProcessMemory() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                   sizeof counters));
  // The commit charge: Windows gives it as both PrivateUsage and
  // PagefileUsage, Wine only as the latter.
  const SIZE_T committed = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
  return {double(committed) / (1 << 20), double(counters.WorkingSetSize) / (1 << 20)};
}

// The four tone records of a heavy play: a warbled sine, a square burst, a
// triangle burst and a sawtooth; the sweep and the noise stay muted.
TSynthesisInputs HeavyFourTones() {
  TSynthesisInputs inputs = StartUpSynthesisInputs(384000);
  inputs.InternalSetting._FFTuse = TFFTuse::_Use;
  TSignalAttributeArray& records = inputs.SignalAttributeArray;
  records[0]._Waveform = TWaveform::_Sine;
  records[0]._Frequency = 1000;
  records[0]._WarbleCycle = TWarbleCycle::_16Hz;
  records[1]._Waveform = TWaveform::_Square;
  records[1]._Frequency = 997;
  records[1]._CycleOn = 3;
  records[1]._CycleOff = 2;
  records[2]._Waveform = TWaveform::_Triangle;
  records[2]._Frequency = 443;
  records[2]._CycleOn = 5;
  records[2]._CycleOff = 5;
  records[3]._Waveform = TWaveform::_Sawtooth;
  records[3]._Frequency = 101;
  for (int r = 0; r < 4; ++r) records[r]._OutputChannel = TOutputChannel::_Both;
  return inputs;
}

// One play's seconds: the first one, mixed, and the next one, mixed.
void Series(TOneSecondSynthesizer& Synthesizer, const TSynthesisInputs& Inputs, TWaveBufferExtendedStereo& Mixed) {
  Synthesizer.Begin(Inputs, TGeneratorChoice::_FollowFFTuse);
  Synthesizer.Mix(Mixed);
  Synthesizer.Advance();
  Synthesizer.Mix(Mixed);
}

TEST(OneSecondMemory, FiftySeriesAt384000WithTransformsStayFlat) {
  krv::SetExtendedPrecision();
  const TSynthesisInputs inputs = HeavyFourTones();
  TExFunctionEngine engine;
  TOneSecondSynthesizer synthesizer(engine);
  TWaveBufferExtendedStereo mixed;
  Series(synthesizer, inputs, mixed);  // the buffers, plans and tables a play keeps
  ASSERT_EQ(mixed[0].size(), 384000u);
  const TMemory before = ProcessMemory();
  TMemory after = before;
  for (int series = 1; series <= 50; ++series) {
    Series(synthesizer, inputs, mixed);
    if (series % 10 == 0) {
      after = ProcessMemory();
      std::printf("after %2d series: private %.1f MB, working set %.1f MB\n", series, after.PrivateMB,
                  after.WorkingSetMB);
    }
  }
  std::printf("before: private %.1f MB, working set %.1f MB\n", before.PrivateMB, before.WorkingSetMB);
  constexpr double kSlackMB = 8;
  EXPECT_LT(after.PrivateMB - before.PrivateMB, kSlackMB);
  EXPECT_LT(after.WorkingSetMB - before.WorkingSetMB, kSlackMB);
}

}  // namespace
