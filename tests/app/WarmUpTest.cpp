// The create-wave thread's warm-up: the tones of a set made ahead while
// nothing asks for a second. Every later command stops it at its next tone
// and takes over the tones made; the seconds and files made afterwards are
// bit for bit those made without it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "CountingEngine.h"
#include "Fakes.h"
#include "WavTestSupport.h"
#include "app/OneSecond.h"
#include "app/UnitThread.h"
#include "app/WavRecording.h"
#include "synthesis/UnitFunction.h"

namespace {

using namespace std::chrono_literals;
using fakes::WaitUntil;

// Four audible tones (a sine, a square, a triangle, a saw), the sweep and
// the noise, the transforms on; Rate frames a second.
TSynthesisInputs FourTones(std::int32_t Rate) {
  TSynthesisInputs inputs = StartUpSynthesisInputs(Rate);
  inputs.InternalSetting._FFTuse = TFFTuse::_Use;
  auto& r = inputs.SignalAttributeArray;
  const TWaveform waveforms[4] = {TWaveform::_Sine, TWaveform::_Square, TWaveform::_Triangle, TWaveform::_Sawtooth};
  const TOutputChannel channels[4] = {TOutputChannel::_Both, TOutputChannel::_Lch, TOutputChannel::_Rch,
                                      TOutputChannel::_Both};
  for (std::size_t k = 0; k < 4; ++k) {
    r[k]._Waveform = waveforms[k];
    r[k]._Frequency = 440 + 110 * static_cast<std::int32_t>(k);
    r[k]._OutputChannel = channels[k];
  }
  r[0]._WarbleCycle = TWarbleCycle::_8Hz;
  r[4]._OutputChannel = TOutputChannel::_Both;
  r[4]._SweepPeriod = 3;
  r[5]._OutputChannel = TOutputChannel::_Rch;
  r[5]._NoiseType = TNoiseType::_PinkNoise;
  r[5]._Amplitude = -30;
  return inputs;
}

TEST(CreateWaveMailbox, AWarmUpNeverReplacesASecondAskedForAndAnyCommandReplacesAWarmUp) {
  struct Case {
    std::uint8_t Pending, Incoming, Taken;
  };
  const Case cases[] = {
      {kCreateWaveAll, kCreateWaveWarmUp, kCreateWaveAll},   {kCreateWaveNext, kCreateWaveWarmUp, kCreateWaveNext},
      {kCreateWaveWarmUp, kCreateWaveAll, kCreateWaveAll},   {kCreateWaveWarmUp, kCreateWaveNext, kCreateWaveNext},
      {kCreateWaveWarmUp, kCreateWaveWarmUp, kCreateWaveWarmUp}, {kCreateWaveAll, kCreateWaveNext, kCreateWaveNext},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Pending) + " then " + std::to_string(c.Incoming));
    TCommandMailbox<TSynthesisInputs> mailbox(CreateWaveKeeps);
    TSynthesisInputs first, second;
    first.xChannelNumber = 1;
    second.xChannelNumber = 2;
    const std::uint32_t a = mailbox.Post(c.Pending, first);
    EXPECT_TRUE(mailbox.Pending());
    const std::uint32_t b = mailbox.Post(c.Incoming, second);
    const auto taken = mailbox.Take();
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->Code, c.Taken);
    const bool kept = c.Taken == c.Pending && c.Pending != c.Incoming;
    EXPECT_EQ(taken->Sequence, kept ? a : b);
    EXPECT_EQ(taken->Payload.xChannelNumber, kept ? 1 : 2);
    EXPECT_FALSE(mailbox.Pending());
  }
}

// The thread over the fake engine, whose tones a test can hold (one after
// the other: the fake engine makes nothing side by side).
class WarmUpThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { thread.Start(); }
  // The first second of Inputs made by a synthesizer of its own.
  static TWaveBufferExtendedStereo Cold(const TSynthesisInputs& Inputs) {
    fakes::TFakeEngine fresh;
    TOneSecondSynthesizer synthesizer(fresh);
    synthesizer.Begin(Inputs, TGeneratorChoice::_FollowFFTuse);
    return synthesizer.Mix();
  }
  std::size_t Tones() { return engine.ToneCalls().size(); }

  TPortableAutoResetEvent call{"EventCallCreateWave"};
  fakes::TFakeEngine engine;
  TThreadCreateWave thread{call, PortableEventFactory(), engine};
  const TSynthesisInputs set = [] {
    TSynthesisInputs inputs = FourTones(8000);
    inputs.Seed = 7u;
    // The fake's noise counts its calls: a second made cold would differ.
    inputs.SignalAttributeArray[5]._OutputChannel = TOutputChannel::_Mute;
    return inputs;
  }();
};

// A Play of a set whose first tone the warm-up is making: the warm-up makes
// no other tone, the Play keeps the one made and makes only what it lacks.
TEST_F(WarmUpThreadTest, APlayStopsTheWarmUpAtItsNextToneAndTakesOverTheToneMade) {
  engine.CloseGate();
  thread.WarmUp(set);
  ASSERT_TRUE(WaitUntil([&] { return Tones() == 1; }));  // the square, held
  TSynthesisInputs play = set;
  play.SignalAttributeArray[2]._OutputChannel = TOutputChannel::_Mute;
  play.SignalAttributeArray[3]._OutputChannel = TOutputChannel::_Mute;
  const std::uint32_t sequence = thread.Call(kCreateWaveAll, play);
  engine.OpenGate();
  const TWaveBufferExtendedStereo* second = thread.Fetch(sequence, 5000);
  ASSERT_NE(second, nullptr);
  // The square by the warm-up, the sine by the Play; the triangle and the
  // saw never.
  const auto calls = engine.ToneCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].Waveform, TWaveform::_Square);
  EXPECT_EQ(calls[1].Waveform, TWaveform::_Sine);
  EXPECT_TRUE(*second == Cold(play));
}

// A new set while the warm-up of the last one is under way: its warm-up
// starts over, and the Play's second is the new set's, bit for bit, with
// none of the old set's tones and no tone made at the Play.
TEST_F(WarmUpThreadTest, ANewSetDuringAWarmUpLeavesTheNewSetsTonesNeverTheOldOnes) {
  engine.CloseGate();
  thread.WarmUp(set);
  ASSERT_TRUE(WaitUntil([&] { return Tones() == 1; }));
  TSynthesisInputs edited = set;
  for (std::size_t k = 0; k < 4; ++k) edited.SignalAttributeArray[k]._Amplitude = -12;
  thread.WarmUp(edited);
  engine.OpenGate();
  ASSERT_TRUE(WaitUntil([&] { return Tones() == 1 + 4; }));  // the old square, then the new four
  const TWaveBufferExtendedStereo* second = thread.Fetch(thread.Call(kCreateWaveAll, edited), 5000);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Tones(), 5u);
  EXPECT_TRUE(*second == Cold(edited));
  EXPECT_FALSE(*second == Cold(set));
}

// The close during a warm-up: the thread ends after the tone under way.
TEST_F(WarmUpThreadTest, TheCloseStopsTheWarmUpAfterTheToneUnderWay) {
  engine.CloseGate();
  thread.WarmUp(set);
  ASSERT_TRUE(WaitUntil([&] { return Tones() == 1; }));
  thread.Terminate();
  engine.OpenGate();
  EXPECT_TRUE(thread.WaitFor(5000));
  EXPECT_EQ(Tones(), 1u);
}

// A warm-up answers nothing: the second asked for before it stays in its
// slot and its answer is still there; a warm-up that fails is silent, and
// the next Play makes the tones itself. A warm-up without records stops
// another and makes nothing.
TEST_F(WarmUpThreadTest, AWarmUpLosesNoAnswerAndItsFailureOnlyLeavesTheTonesToThePlay) {
  const std::uint32_t asked = thread.Call(kCreateWaveAll, set);
  ASSERT_TRUE(WaitUntil([&] { return thread.Peek(asked).has_value(); }));
  const TWaveBufferExtendedStereo before = **thread.Peek(asked);
  TSynthesisInputs edited = set;
  edited.SignalAttributeArray[1]._Frequency = 13;
  thread.WarmUp(edited);
  ASSERT_TRUE(WaitUntil([&] { return Tones() == 4 + 1; }));
  const TWaveBufferExtendedStereo* kept = thread.Fetch(asked, 0);
  ASSERT_NE(kept, nullptr);
  EXPECT_TRUE(*kept == before);

  engine.Throw = true;
  edited.SignalAttributeArray[1]._Frequency = 17;
  thread.WarmUp(edited);
  std::this_thread::sleep_for(50ms);  // taken, and failed at its first tone
  thread.WarmUp(TSynthesisInputs{});  // nothing to warm: only a stop
  engine.Throw = false;
  const TWaveBufferExtendedStereo* second = thread.Fetch(thread.Call(kCreateWaveAll, edited), 5000);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(*second == Cold(edited));
  EXPECT_EQ(Tones(), 5u + 1u);  // the square at 17 Hz, by the Play
}

// The engine's time seed in these tests.
constexpr std::uint32_t kTimeSeed = 5191230;

// With the program's engine: the seconds of a series after a warm-up (whole,
// stopped after some tones, or of another set) are those of a series made
// cold, the first and the next, noise and dither seeds included; the series
// makes only the tones that the warm-up did not.
TEST(WarmUpWithEngine, TheSecondsAfterAWarmUpAreBitForBitTheColdOnes) {
  const TSynthesisInputs set = [] {
    TSynthesisInputs inputs = FourTones(32000);
    inputs.Seed = 99u;
    return inputs;
  }();
  TSynthesisInputs other = set;
  other.SignalAttributeArray[2]._Frequency = 1234;
  other.PCMFormat._Quantization = 24;
  // What a Play or a REC changes, or another output: no tone depends on it.
  TSynthesisInputs times = set;
  times.InternalSetting._PlayTime = 77;
  times.InternalSetting._RecordTime = 3;
  times.InternalSetting._Repeat = TRepeat::_Single;
  times.InternalSetting._OutputDevice = TOutputDevice::_WaveMapper;
  struct Case {
    const char* Name;
    bool Concurrent;
    const TSynthesisInputs* WarmedUp;
    int StopAfter;    // tones the warm-up makes before it is stopped; -1 never
    int MadeByBegin;  // tones the series makes
  };
  const Case cases[] = {
      {"whole, side by side", true, &set, -1, 0},
      {"whole, one after the other", false, &set, -1, 0},
      {"stopped after two tones", false, &set, 2, 2},
      {"stopped before any tone", false, &set, 0, 4},
      {"of another format and set", true, &other, -1, 4},
      {"with other play and record times", true, &times, -1, 0},
  };
  TCountingEngine coldEngine(true);
  coldEngine.Seed = kTimeSeed;
  TOneSecondSynthesizer cold(coldEngine);
  cold.Begin(set, TGeneratorChoice::_FollowFFTuse);
  const TWaveBufferExtendedStereo first = cold.Mix();
  cold.Advance();
  const TWaveBufferExtendedStereo next = cold.Mix();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TCountingEngine engine(c.Concurrent);
    engine.Seed = kTimeSeed;
    TOneSecondSynthesizer warm(engine);
    warm.KeepTonesAcrossSeries(true);
    const bool whole = warm.WarmUp(*c.WarmedUp, TGeneratorChoice::_FollowFFTuse,
                                   [&] { return c.StopAfter >= 0 && engine.Tones.load() >= c.StopAfter; });
    EXPECT_EQ(whole, c.StopAfter < 0);
    EXPECT_FALSE(warm.Begun());
    const int before = engine.Tones.load();
    warm.Begin(set, TGeneratorChoice::_FollowFFTuse);
    EXPECT_EQ(engine.Tones.load() - before, c.MadeByBegin);
    EXPECT_EQ(warm.Seed(), cold.Seed() - 1);
    EXPECT_TRUE(warm.Mix() == first) << "first second";
    warm.Advance();
    EXPECT_TRUE(warm.Mix() == next) << "next second";
  }
}

class TRecordingWindow final : public TWavRecordingWindow {
 public:
  std::filesystem::path FileName;
  std::filesystem::path WavFileName() const override { return FileName; }
  std::int32_t ProgressMax() const override { return 100; }
  void StepProgress(std::int32_t) override {}
  void ShowErrorMessage(std::string_view Text) override { Messages.emplace_back(Text); }
  void CloseWindow() override {}
  bool KeepResponsive() override { return false; }
  std::vector<std::string> Messages;
};

// The main window's warm-up, then a REC: the file is byte for byte the one
// written without a warm-up, and the REC makes no tone.
TEST(WarmUpWithEngine, AFileWrittenAfterAWarmUpIsTheOneWrittenCold) {
  wavtest::TScratchDir dir{"warm_up"};
  std::vector<std::uint8_t> files[2];
  for (const bool warmUp : {false, true}) {
    SCOPED_TRACE(warmUp ? "after a warm-up" : "cold");
    fakes::TFakeWaveOutDevice device;
    fakes::TFakeWaveMemory memory;
    TCountingEngine engine(true);
    engine.Seed = kTimeSeed;
    fakes::TFakeUserInterface ui;
    fakes::TFakeView view;
    TProtocolTimeouts timeouts;
    timeouts.CreateWaveAnswerMs = 20000;  // the tones made cold, on a slow (sanitised) build
    TMainState state{TMainServices{PortableEventFactory(), device, memory, engine, ui, view, timeouts}};
    const TSynthesisInputs set = FourTones(32000);
    state.SetPCMFormat(set.PCMFormat);
    TInternalSetting setting = state.InternalSetting();
    setting._OutputDevice = TOutputDevice::_ASIO;
    setting._FFTuse = TFFTuse::_Use;
    setting._RecordTime = 2;
    state.SetInternalSetting(setting);
    for (std::size_t r = 0; r < set.SignalAttributeArray.size(); ++r)
      state.SetSignalAttribute(static_cast<std::int32_t>(r), set.SignalAttributeArray[r]);
    if (warmUp) {
      state.WarmUpCreateWave();
      ASSERT_TRUE(WaitUntil([&] { return engine.Tones.load() == 4; }, 10000ms));
    }
    const int before = engine.Tones.load();
    TRecordingWindow window;
    window.FileName = dir / (warmUp ? "warm.wav" : "cold.wav");
    const TWavRenderResult result = CreateWavFile(state, window);
    ASSERT_TRUE(result.Completed()) << result.Message;
    EXPECT_EQ(result.MissingSeconds, 0);
    EXPECT_TRUE(window.Messages.empty()) << window.Messages.front();
    EXPECT_EQ(engine.Tones.load() - before, warmUp ? 0 : 4);
    files[warmUp] = wavtest::ReadBytes(window.FileName);
    state.Shutdown();
  }
  ASSERT_FALSE(files[0].empty());
  EXPECT_TRUE(files[0] == files[1]);
}

}  // namespace
