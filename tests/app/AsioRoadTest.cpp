// The ASIO road with a fake host: the test thread plays the driver's thread
// and calls the buffer-switch handler block after block.
#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <stdexcept>

#include "FakeUiThread.h"
#include "Fakes.h"
#include "app/AsioRoad.h"
#include "synthesis/ExtendedPrecision.h"

namespace {

using namespace std::chrono_literals;
using fakes::WaitUntil;

class TFakeAsioHost final : public TAsioRoadHost {
  template <class F>
  auto Locked(F Body) {
    std::lock_guard<std::mutex> lock(FLock);
    return Body();
  }
  std::mutex FLock;
  double FRate = 44100.0;
  double FDriverRate = 44100.0;
  std::atomic<bool> FActive{false};
  std::vector<std::string> FCalls;
  std::function<void(bool)> FOnDriverReset;
  std::chrono::steady_clock::time_point FSettledAt{};

 public:
  // What the test sets before Play.
  std::int32_t Driver = 0;
  std::int32_t CanRateAnswer = kAsioOK;
  bool HoldsRate = true;  // the driver takes the rate it is given
  bool Starts = true;
  bool ResetFails = false;
  std::int32_t Outputs = 2;
  std::uint32_t Frames = 512;
  // Read-backs of the driver's rate that answer "not present" first, and an
  // offset of the rate it then reports (a measured clock).
  std::atomic<int> RateUnreadable{0};
  double RateOffset = 0.0;
  // A driver that reports no rate for this long after each rate change.
  std::chrono::milliseconds Settle{0};

  std::int32_t DriverIndex() override { return Driver; }
  double SampleRate() override { return Locked([&] { return FRate; }); }
  void SetSampleRate(double Rate) override {
    Locked([&] {
      FRate = Rate;
      FSettledAt = std::chrono::steady_clock::now() + Settle;
      if (HoldsRate) FDriverRate = Rate;
      FCalls.push_back("rate " + std::to_string(static_cast<int>(Rate)));
    });
  }
  std::int32_t CanSampleRate(double) override {
    Locked([&] { FCalls.push_back("can rate"); });
    return CanRateAnswer;
  }
  std::optional<double> DriverSampleRate() override {
    return Locked([&]() -> std::optional<double> {
      FCalls.push_back("read rate");
      if (std::chrono::steady_clock::now() < FSettledAt) return std::nullopt;
      if (RateUnreadable > 0) {
        --RateUnreadable;
        return std::nullopt;
      }
      return FDriverRate + RateOffset;
    });
  }
  void Reset() override {
    Locked([&] { FCalls.push_back("reset"); });
    if (ResetFails) throw std::runtime_error("ASIO Driver Failed!");
  }
  bool Active() override { return FActive.load(); }
  void SetActive(bool Value) override {
    Locked([&] { FCalls.push_back(Value ? "start" : "stop"); });
    FActive.store(Value && Starts);
  }
  std::int32_t OutputChannelCount() override { return Outputs; }
  std::uint32_t BufferSize() override { return Frames; }
  void CloseDriver() override {
    Locked([&] { FCalls.push_back("close"); });
  }
  void SetOnDriverReset(std::function<void(bool)> Handler) override {
    Locked([&] { FOnDriverReset = std::move(Handler); });
  }
  // The host after a reset the driver asked for, on the user-interface thread.
  void DriverReset(bool Reopened) {
    auto handler = Locked([&] { return FOnDriverReset; });
    if (handler) handler(Reopened);
  }
  bool ResetHandlerSet() {
    return Locked([&] { return static_cast<bool>(FOnDriverReset); });
  }

  std::vector<std::string> Calls() {
    return Locked([&] { return FCalls; });
  }
  double Rate() { return SampleRate(); }
  std::chrono::steady_clock::time_point SettleEnd() {
    return Locked([&] { return FSettledAt; });
  }

};

// The fake engine with a hold on the sweep (the part of every next second)
// and a count of quantised seconds.
class TAsioEngine final : public fakes::TFakeEngine {
 public:
  std::atomic<bool> HoldSweep{false};
  std::atomic<int> SweepMs{0};  // a slow machine: each next second takes this long
  std::atomic<int> Quantized{0};
  std::atomic<int> Sweeps{0};
  // Called on the quantising thread before each quantisation, with its number.
  std::function<void(int)> OnQuantize;

  TWaveBufferExtended GenerateSweep(const TPCMFormat& Format, const TSignalAttribute& Record,
                                    std::int32_t TimeStart) override {
    while (HoldSweep.load()) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(SweepMs.load()));
    ++Sweeps;
    return TFakeEngine::GenerateSweep(Format, Record, TimeStart);
  }
  TWaveBufferIntegerStereo QuantizeSignal(const TPCMFormat& Format, long double GainL, long double GainR,
                                          const TWaveBufferExtendedStereo& Stereo, std::uint32_t Seed) override {
    const int number = ++Quantized;
    if (OnQuantize) OnQuantize(number);
    return TFakeEngine::QuantizeSignal(Format, GainL, GainR, Stereo, Seed);
  }
};

class AsioRoadTest : public ::testing::Test {
 protected:
  AsioRoadTest() { SetUpRoad(); }
  // A main window of other bounds, the road over it.
  void Rebuild(const TProtocolTimeouts& Timeouts) {
    state->Shutdown();
    road.reset();
    state = std::make_unique<TMainState>(
        TMainServices{PortableEventFactory(), device, memory, engine, ui, view, Timeouts});
    road = std::make_unique<TAsioPlayback>(
        TAsioRoadServices{*state, host, engine, PortableEventFactory(), ui, view, uiQueue.Poster()});
    SetUpRoad();
  }
  void SetUpRoad() {
    TInternalSetting setting = state->InternalSetting();
    setting._OutputDevice = TOutputDevice::_ASIO;
    state->SetInternalSetting(setting);
    // Left the tone, right the sweep: every second differs on the right.
    TSignalAttribute tone = state->SignalAttributeArray()[0], sweep = state->SignalAttributeArray()[4];
    tone._OutputChannel = TOutputChannel::_Lch;
    sweep._OutputChannel = TOutputChannel::_Rch;
    state->SetSignalAttribute(0, tone);
    state->SetSignalAttribute(4, sweep);
    state->SetAsioRoad(road.get());
  }
  ~AsioRoadTest() override {
    state->Shutdown();
    road.reset();
  }

  void SetFormat(std::int32_t Rate, std::int32_t Bits) {
    TPCMFormat format = state->PCMFormat();
    format._SamplingRate = Rate;
    format._Quantization = Bits;
    state->SetPCMFormat(format);
  }

  // Seconds 0 .. Count-1 of the play as the driver must receive them.
  std::vector<TWaveBufferIntegerStereo> ExpectedSeconds(std::int32_t Count, long double Gain) {
    fakes::TFakeEngine reference;
    TOneSecondSynthesizer synthesizer(reference);
    TSynthesisInputs inputs{6, state->PCMFormat(), state->InternalSetting(), 0, state->SignalAttributeArray(), {}};
    std::vector<TWaveBufferIntegerStereo> seconds;
    for (std::int32_t s = 0; s < Count; ++s) {
      if (s == 0)
        synthesizer.Begin(inputs, TGeneratorChoice::_FollowFFTuse);
      else
        synthesizer.Advance();
      seconds.push_back(reference.QuantizeSignal(inputs.PCMFormat, Gain, Gain, synthesizer.Mix(), synthesizer.Seed()));
    }
    return seconds;
  }

  // Waits for Condition while running what was posted to the
  // user-interface thread, which this test thread is, and its timers.
  template <class F>
  bool Pump(F Condition) {
    return WaitUntil([&] {
      uiQueue.RunPending();
      view.RunLater();
      return Condition();
    });
  }

  // One buffer half of Frames frames on Channels channels, as the driver asks
  // for it once the road has its seconds ready.
  TAVDArrayOfDoubleDynArray& Switch(std::size_t Channels, std::size_t Frames, bool WaitReady = true) {
    if (WaitReady) {
      EXPECT_TRUE(WaitUntil([&] { return road->ReadySeconds() == road->AheadSeconds(); }));
    }
    out.assign(Channels, std::vector<double>(Frames, 7.0));  // what the last half left
    road->ASIOHostBufferSwitch64({}, out);
    return out;
  }

  TFakeAsioHost host;
  TAsioEngine engine;
  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  fakes::TUiQueue uiQueue;
  std::unique_ptr<TMainState> state = std::make_unique<TMainState>(
      TMainServices{PortableEventFactory(), device, memory, engine, ui, view, {5000, 5000, 5000, 300}});
  std::unique_ptr<TAsioPlayback> road =
      std::make_unique<TAsioPlayback>(
          TAsioRoadServices{*state, host, engine, PortableEventFactory(), ui, view, uiQueue.Poster()});
  TAVDArrayOfDoubleDynArray out;
};

// ---------------------------------------------------------------------------
// The handler

TEST_F(AsioRoadTest, BlocksCarryTheConcatenatedSecondsScaledOnTheChosenPair) {
  struct Case {
    std::int32_t Rate, Bits;
    long double Scale;
    std::size_t Frames, Channels;
    std::int32_t Left, Right;
  };
  const Case cases[] = {
      {48000, 16, 32767.0L, 480, 2, 0, 1},            // blocks end on the second
      {44100, 32, 2147483647.0L, 512, 8, 2, 3},       // blocks cross it
      {32000, 24, 8388607.0L, 65530, 4, 1, 1},        // one block spans two boundaries
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Rate);
    SetFormat(c.Rate, c.Bits);
    state->ActiveAsioChannelL = c.Left;
    state->ActiveAsioChannelR = c.Right;
    host.Outputs = static_cast<std::int32_t>(c.Channels);
    const auto seconds = ExpectedSeconds(5, 0.1L);
    state->Play();
    ASSERT_EQ(state->xOperation(), TOperation::_Play);
    const std::size_t total = 4 * static_cast<std::size_t>(c.Rate);
    std::size_t frame = 0;
    while (frame < total) {
      // Driver threads run at 53-bit precision; the handler gives it back.
      krv::WriteFpuControlWord(0x027F);
      Switch(c.Channels, c.Frames);
      const std::uint16_t after = krv::ReadFpuControlWord();
      krv::SetExtendedPrecision();
      ASSERT_EQ(after, 0x027F);
      for (std::size_t j = 0; j < c.Frames; ++j, ++frame) {
        const auto& second = seconds[frame / c.Rate];
        const std::size_t i = frame % c.Rate;
        for (std::size_t ch = 0; ch < c.Channels; ++ch) {
          long double expected = 0.0L;
          if (ch == std::size_t(c.Right)) expected = second[1][i] / c.Scale;
          else if (ch == std::size_t(c.Left)) expected = second[0][i] / c.Scale;
          ASSERT_EQ(out[ch][j], static_cast<double>(expected)) << "frame " << frame << " channel " << ch;
        }
      }
    }
    state->Stop();
    Switch(c.Channels, c.Frames, false);
    for (const auto& block : out) EXPECT_EQ(block, std::vector<double>(c.Frames, 0.0));  // silence after Stop
  }
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(AsioRoadTest, TimedPlayEndsByItselfWithTheTailSilentAndMakesNoSecondBeyond) {
  SetFormat(8000, 16);
  TInternalSetting setting = state->InternalSetting();
  setting._Repeat = TRepeat::_Single;
  setting._PlayTime = 10;
  state->SetInternalSetting(setting);
  const auto seconds = ExpectedSeconds(10, 0.1L);
  state->Play();
  std::size_t frame = 0;
  while (frame < 10 * 8000) {
    const bool lastSeconds = frame >= 8 * 8000;  // nothing is prepared beyond the tenth
    if (!lastSeconds) {
      ASSERT_TRUE(WaitUntil([&] { return road->ReadySeconds() == 2; }));
    }
    Switch(2, 3000, false);
    for (std::size_t j = 0; j < 3000; ++j, ++frame) {
      const double expected = frame < 80000 ? seconds[frame / 8000][1][frame % 8000] / 32767.0L : 0.0;
      ASSERT_EQ(out[1][j], expected) << frame;
    }
  }
  Switch(2, 3000, false);
  EXPECT_EQ(out[1], std::vector<double>(3000, 0.0));
  ASSERT_TRUE(WaitUntil([&] { return ui.SinglePlayEnds() == 1; }));
  ASSERT_TRUE(Pump([&] { return !host.Active(); }));
  EXPECT_EQ(host.Rate(), 44100.0);  // the driver's own rate again
  EXPECT_EQ(engine.Sweeps.load(), 10);
  EXPECT_TRUE(state->xEnableChangeData());  // until the window completes the stop
  state->CompleteSinglePlay();
  EXPECT_EQ(state->xOperation(), TOperation::_Stop);
  state->Play();
  EXPECT_EQ(state->xOperation(), TOperation::_Play);
}

// A busy machine: the first second takes 1.5 s to make, longer than the
// handler's own wait. The play shows at once, the window goes on handling
// its events, and the driver starts on that second; nothing is shown.
TEST_F(AsioRoadTest, ASlowFirstSecondIsWaitedForAndPlays) {
  Rebuild({});  // the program's own bounds
  SetFormat(8000, 16);
  const auto seconds = ExpectedSeconds(1, 0.1L);
  engine.CloseGate();
  auto open = std::async(std::launch::async, [this] {
    std::this_thread::sleep_for(1500ms);
    engine.OpenGate();
  });
  state->Play();
  EXPECT_EQ(state->xOperation(), TOperation::_Play);
  EXPECT_TRUE(Pump([&] { return host.Active(); }));
  open.get();
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(state->xOperation(), TOperation::_Play);
  Switch(2, 3000);
  for (std::size_t j = 0; j < 3000; ++j) ASSERT_EQ(out[1][j], seconds[0][1][j] / 32767.0L) << j;
  state->Stop();
  EXPECT_TRUE(Pump([&] { return !host.Active(); }));
}

// Stop while the first seconds are made ends the wait: the driver never
// starts, its rate is given back, and a second made later changes nothing.
// (The sweep is held: the tones of an unchanged set are made only once.)
// A second that never comes ends the play at its bound with one message;
// the close ends the wait too.
TEST_F(AsioRoadTest, StopOrTheBoundEndsTheWaitForTheFirstSeconds) {
  TProtocolTimeouts timeouts;
  timeouts.StartAnswerMs = 20;
  timeouts.CreateWaveAnswerMs = 300;
  Rebuild(timeouts);
  SetFormat(8000, 16);
  engine.HoldSeconds();
  state->Play();
  ASSERT_EQ(state->xOperation(), TOperation::_Play);
  EXPECT_EQ(host.Rate(), 8000.0);
  state->Stop();
  EXPECT_EQ(state->xOperation(), TOperation::_Stop);
  EXPECT_TRUE(Pump([&] { return host.Rate() == 44100.0; }));
  engine.ReleaseSeconds();
  std::this_thread::sleep_for(50ms);
  Pump([] { return true; });
  EXPECT_FALSE(host.Active());
  EXPECT_EQ(state->xOperation(), TOperation::_Stop);
  EXPECT_TRUE(view.Messages().empty());

  engine.HoldSeconds();
  state->Play();
  ASSERT_EQ(state->xOperation(), TOperation::_Play);
  EXPECT_TRUE(Pump([&] { return state->xOperation() == TOperation::_Stop; }));
  engine.ReleaseSeconds();
  EXPECT_EQ(view.Messages(), std::vector<std::string>{"Error - Cannot Create Wave Data."});
  EXPECT_FALSE(host.Active());
  EXPECT_EQ(host.Rate(), 44100.0);

  // The window closes meanwhile: the rate is given back, nothing starts.
  engine.HoldSeconds();
  state->Play();
  ASSERT_EQ(state->xOperation(), TOperation::_Play);
  road->Close();
  EXPECT_EQ(host.Rate(), 44100.0);
  engine.ReleaseSeconds();
  std::this_thread::sleep_for(50ms);
  Pump([] { return true; });
  EXPECT_FALSE(host.Active());
  EXPECT_EQ(view.Messages().size(), 1u);
}

// A second that is not there at its boundary is never replaced by the one
// before: silence until it is made, one message for it.
TEST_F(AsioRoadTest, ASecondThatCannotBeMadeIsSilenceWithOneMessageNeverTheSecondBefore) {
  SetFormat(8000, 16);
  state->Play();
  ASSERT_TRUE(WaitUntil([&] { return road->ReadySeconds() == 2; }));
  engine.HoldSweep = true;  // seconds 3 and on cannot be made
  std::vector<std::vector<double>> right;
  for (int k = 0; k < 3; ++k) right.push_back(Switch(2, 8000, false)[1]);  // seconds 0, 1, 2
  ASSERT_TRUE(WaitUntil([&] { return ui.Messages().size() == 1; }));
  const std::vector<double> silence(8000, 0.0);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(Switch(2, 8000, false)[1], silence) << k;  // second 3 is missing
    std::this_thread::sleep_for(400ms);                  // one more attempt per silent second
  }
  engine.HoldSweep = false;
  std::vector<double> resumed = silence;
  for (int tries = 0; tries < 100 && resumed == silence; ++tries) {
    std::this_thread::sleep_for(50ms);
    resumed = Switch(2, 8000, false)[1];
  }
  EXPECT_NE(resumed, silence);
  for (const auto& before : right) EXPECT_NE(resumed, before);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Error - Cannot Create Wave Data."});
  // A later second that goes missing gets its own message, and only that,
  // also while the driver has not reached it yet.
  ASSERT_TRUE(WaitUntil([&] { return road->ReadySeconds() == 2; }));
  engine.HoldSweep = true;
  EXPECT_NE(Switch(2, 8000, false)[1], silence);  // the road makes the next one: it fails
  ASSERT_TRUE(WaitUntil([&] { return ui.Messages().size() == 2; }));
  std::this_thread::sleep_for(100ms);
  std::vector<double> block;
  for (int tries = 0; tries < 20 && (block = Switch(2, 8000, false)[1]) != silence; ++tries)
    std::this_thread::sleep_for(50ms);
  EXPECT_EQ(block, silence);
  std::this_thread::sleep_for(800ms);
  engine.HoldSweep = false;
  EXPECT_EQ(ui.Messages(), std::vector<std::string>(2, "Error - Cannot Create Wave Data."));
  EXPECT_TRUE(view.Messages().empty());
}

// A driver that catches up after the whole program was held (as drivers
// that keep to the clock do) asks for halves much faster than the seconds
// can be made, so second after second is missing at its boundary: silence,
// and no message, since each second still comes well within its bound. A
// second that does not come within the bound while the driver runs on is
// one incident: one message, however many seconds it leaves silent.
TEST_F(AsioRoadTest, ADriverCatchingUpGetsSilenceAndOneMessageOnlyForASecondPastItsBound) {
  struct Case {
    const char* Name;
    bool PastTheBound;  // the engine is stuck longer than the create-wave bound (300 ms here)
    std::size_t Messages;
  };
  for (const Case c : {Case{"late seconds", false, 0}, Case{"a second past its bound", true, 1}}) {
    SCOPED_TRACE(c.Name);
    SetFormat(8000, 16);
    state->Play();
    ASSERT_TRUE(WaitUntil([&] { return road->ReadySeconds() == 2; }));
    const std::size_t before = ui.Messages().size();
    engine.SweepMs = 40;  // a second in 40 ms: the driver below takes one in 8 ms
    if (c.PastTheBound) engine.HoldSweep = true;
    std::size_t silent = 0, sounding = 0;
    const auto burst = std::chrono::steady_clock::now() + (c.PastTheBound ? 900ms : 500ms);
    while (std::chrono::steady_clock::now() < burst) {
      // The left channel carries the tone: silence there is a missing second.
      const auto& block = Switch(2, 1000, false);
      (block[0] == std::vector<double>(1000, 0.0) ? silent : sounding) += 1;
      std::this_thread::sleep_for(1ms);
      if (c.PastTheBound && std::chrono::steady_clock::now() > burst - 400ms) engine.HoldSweep = false;
    }
    engine.SweepMs = 0;
    EXPECT_GT(silent, 8u);  // whole seconds went missing
    EXPECT_GT(sounding, 8u);
    // The play goes on with every second again.
    ASSERT_TRUE(WaitUntil([&] { return road->ReadySeconds() == 2; }));
    EXPECT_NE(Switch(2, 1000, false)[0], std::vector<double>(1000, 0.0));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ui.Messages().size() - before, c.Messages) << silent << " silent halves";
    for (std::size_t m = before; m < ui.Messages().size(); ++m)
      EXPECT_EQ(ui.Messages()[m], "Error - Cannot Create Wave Data.");
    state->Stop();
    ASSERT_TRUE(Pump([&] { return !host.Active(); }));
  }
  EXPECT_TRUE(view.Messages().empty());
}

// Halves of 65530 frames at 32000 Hz reach up to three seconds beyond the one
// that plays; a half of exactly one second asks for the second second as the
// first ends, right after the start. Both get every second once, in order.
TEST_F(AsioRoadTest, HalvesSpanningSeveralSecondsOrOneWholeSecondGetEverySecondOnce) {
  struct Case {
    std::int32_t Rate;
    std::uint32_t Frames;
    std::size_t Blocks;
  };
  for (const Case c : {Case{32000, 65530, 28}, Case{48000, 48000, 6}}) {
    SCOPED_TRACE(c.Rate);
    SetFormat(c.Rate, 16);
    host.Frames = c.Frames;
    const std::size_t total = c.Frames * c.Blocks;
    const auto seconds = ExpectedSeconds(static_cast<std::int32_t>(total / c.Rate + 1), 0.1L);
    state->Play();
    ASSERT_EQ(state->xOperation(), TOperation::_Play);
    std::size_t frame = 0, wrong = 0;
    for (std::size_t block = 0; block < c.Blocks; ++block) {
      Switch(2, c.Frames, block > 0);  // the first half comes at once
      for (std::size_t j = 0; j < c.Frames; ++j, ++frame) {
        const auto& second = seconds[frame / c.Rate];
        const std::size_t i = frame % c.Rate;
        wrong += out[0][j] != static_cast<double>(second[0][i] / 32767.0L) ||
                 out[1][j] != static_cast<double>(second[1][i] / 32767.0L);
      }
    }
    EXPECT_EQ(wrong, 0u) << "of " << total << " frames";
    state->Stop();
    ASSERT_TRUE(Pump([&] { return !host.Active(); }));
  }
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_TRUE(view.Messages().empty());
}

// ---------------------------------------------------------------------------
// Play, Stop and the close

TEST_F(AsioRoadTest, PlayRefusalsShowOneMessageAndLeaveTheHostStopped) {
  struct Case {
    const char* Name;
    std::function<void(TFakeAsioHost&, TAsioEngine&)> Setup;
    const char* Message;
  };
  const Case cases[] = {
      {"no driver", [](TFakeAsioHost& h, TAsioEngine&) { h.Driver = -1; }, "Error - No ASIO Device Existed."},
      {"no clock", [](TFakeAsioHost& h, TAsioEngine&) { h.CanRateAnswer = kAsioNoClock; },
       "Error - ASIO Device not support this Sampling Rate."},
      {"locked clock", [](TFakeAsioHost& h, TAsioEngine&) { h.HoldsRate = false; },
       "Error - ASIO Device not support this Sampling Rate."},
      {"driver fails", [](TFakeAsioHost& h, TAsioEngine&) { h.ResetFails = true; }, "ASIO Driver Failed!"},
      {"no such channel", [](TFakeAsioHost& h, TAsioEngine&) { h.Outputs = 1; },
       "Error - ASIO Output Channel Not Existed."},
      {"does not start", [](TFakeAsioHost& h, TAsioEngine&) { h.Starts = false; }, "ASIO Driver Failed!"},
      {"first second fails", [](TFakeAsioHost&, TAsioEngine& e) { e.HoldSeconds(); },
       "Error - Cannot Create Wave Data."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeAsioHost fresh;
    TAsioPlayback playback(
        TAsioRoadServices{*state, fresh, engine, PortableEventFactory(), ui, view, uiQueue.Poster()});
    state->SetAsioRoad(&playback);
    const auto before = view.Messages().size();
    c.Setup(fresh, engine);
    state->Play();
    engine.ReleaseSeconds();
    EXPECT_TRUE(Pump([&] { return view.Messages().size() > before; }));  // a locked clock: after the wait
    EXPECT_EQ(view.Messages().size(), before + 1);
    EXPECT_EQ(view.Messages().back(), c.Message);
    EXPECT_EQ(state->xOperation(), TOperation::_Stop);
    EXPECT_FALSE(fresh.Active());
    EXPECT_EQ(fresh.Rate(), 44100.0);
    playback.Close();
  }
  state->SetAsioRoad(road.get());
}

TEST_F(AsioRoadTest, StopThenPlayAtOnceKeepsPlayingAndRestoresTheDriversOwnRate) {
  state->Play();
  ASSERT_TRUE(host.Active());
  state->Stop();
  state->Play();  // before or after the display thread stops the host
  ASSERT_EQ(state->xOperation(), TOperation::_Play);
  std::this_thread::sleep_for(100ms);  // the display thread has run
  uiQueue.RunPending();                // and so has the stop it posted
  EXPECT_TRUE(host.Active());
  state->Stop();
  ASSERT_TRUE(Pump([&] { return !host.Active(); }));
  EXPECT_EQ(host.Rate(), 44100.0);
  EXPECT_TRUE(view.Messages().empty());
}

TEST_F(AsioRoadTest, ResetDuringPlaySetsTheRateAgainAndStopsWhenTheDriverKeepsAnother) {
  state->Play();
  host.DriverReset(true);  // the driver takes the rate again: the play goes on
  EXPECT_EQ(state->xOperation(), TOperation::_Play);
  host.SetSampleRate(44100.0);  // reopened at its default rate...
  host.HoldsRate = false;       // ...and locked there
  host.DriverReset(true);
  EXPECT_EQ(state->xOperation(), TOperation::_Play);  // it plays on while the rate may still come
  ASSERT_TRUE(Pump([&] { return !view.Messages().empty(); }));
  EXPECT_EQ(view.Messages(), std::vector<std::string>{"ASIO Driver Failed!"});
  EXPECT_EQ(state->xOperation(), TOperation::_Stop);
  ASSERT_TRUE(Pump([&] { return !host.Active(); }));
}

// A reopened driver that takes its time to report the rate plays on; one
// that refuses the rate ends the play at once.
TEST_F(AsioRoadTest, ReopenedDriverMayLockSlowlyButARefusedRateEndsThePlayAtOnce) {
  state->Play();
  host.Settle = 300ms;
  host.DriverReset(true);
  const std::size_t calls = host.Calls().size();
  const auto until = host.SettleEnd() + 200ms;
  Pump([&] { return std::chrono::steady_clock::now() > until; });
  const auto after = host.Calls();
  EXPECT_GT(std::count(after.begin() + static_cast<std::ptrdiff_t>(calls), after.end(), "read rate"), 2);
  EXPECT_EQ(state->xOperation(), TOperation::_Play);
  EXPECT_TRUE(view.Messages().empty());
  host.Settle = 0ms;
  host.CanRateAnswer = kAsioNoClock;
  host.DriverReset(true);
  EXPECT_EQ(view.Messages(), std::vector<std::string>{"ASIO Driver Failed!"});
  EXPECT_EQ(state->xOperation(), TOperation::_Stop);
  ASSERT_TRUE(Pump([&] { return !host.Active(); }));
  EXPECT_EQ(host.Rate(), 44100.0);
}

// A timed play that ends while a reopened driver still settles ends quietly.
TEST_F(AsioRoadTest, ATimedPlayThatEndsWhileAReopenedDriverSettlesShowsNothing) {
  SetFormat(8000, 16);
  TInternalSetting setting = state->InternalSetting();
  setting._Repeat = TRepeat::_Single;
  setting._PlayTime = 10;  // the sweep's period
  state->SetInternalSetting(setting);
  state->Play();
  host.Settle = 5000ms;
  host.DriverReset(true);
  for (int second = 0; second < 10; ++second) {  // the whole play
    if (second < 8) {
      ASSERT_TRUE(WaitUntil([&] { return road->ReadySeconds() == 2; }));
    }
    Switch(2, 8000, false);
  }
  ASSERT_TRUE(WaitUntil([&] { return ui.SinglePlayEnds() == 1; }));
  const auto until = std::chrono::steady_clock::now() + 1200ms;  // past the wait
  Pump([&] { return std::chrono::steady_clock::now() > until; });
  EXPECT_TRUE(view.Messages().empty());
  state->CompleteSinglePlay();
  EXPECT_EQ(state->xOperation(), TOperation::_Stop);
}

// While Play waits for the driver to report the rate, the handler has
// returned: the play shows, the driver has not started. Stop or the close
// then end the wait: nothing starts later, the driver's rate comes back.
TEST_F(AsioRoadTest, PlayWaitsForTheRateWithoutBlockingAndStopOrCloseEndTheWait) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "close" : "Stop");
    TFakeAsioHost fresh;
    fresh.Settle = 400ms;
    TAsioPlayback playback(
        TAsioRoadServices{*state, fresh, engine, PortableEventFactory(), ui, view, uiQueue.Poster()});
    state->SetAsioRoad(&playback);
    state->Play();
    EXPECT_EQ(state->xOperation(), TOperation::_Play);
    EXPECT_EQ(view.Glyphs().back(), "_SignalActive");
    EXPECT_FALSE(fresh.Active());
    state->Play();  // again: nothing more
    if (close) {
      state->Close();
    } else {
      state->Stop();
      EXPECT_EQ(state->xOperation(), TOperation::_Stop);
      EXPECT_EQ(view.Glyphs().back(), "_SignalInactive");
    }
    std::this_thread::sleep_for(500ms);  // the driver would report the rate by now
    Pump([&] { return fresh.Rate() == 44100.0; });
    const auto calls = fresh.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "start"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "reset"), 1);
    EXPECT_EQ(fresh.Rate(), 44100.0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "close"), close ? 1 : 0);
    EXPECT_TRUE(view.Messages().empty());
    playback.Close();
    state->SetOperation(TOperation::_Stop);
  }
  state->SetAsioRoad(road.get());
}

TEST_F(AsioRoadTest, CloseWhilePlayingStopsRestoresAndClosesTheDriverOnce) {
  state->Play();
  state->Close();
  state->Shutdown();  // the road's close again
  const auto calls = host.Calls();
  const std::vector<std::string> tail(calls.end() - 3, calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"stop", "rate 44100", "close"}));
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "reset"), 1);  // Play's only
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_FALSE(host.ResetHandlerSet());  // a closed road hears no more of the host
  Switch(2, 64, false);
  EXPECT_EQ(out[0], std::vector<double>(64, 0.0));
}

// A driver may report its measured clock, or nothing while it locks: a rate
// that rounds to the one asked for is taken, read again for a short while.
TEST_F(AsioRoadTest, RateReadBackRoundsToHertzAndWaitsForADriverThatLocks) {
  struct Case {
    const char* Name;
    double Offset;
    int Unreadable;
    bool Plays;
  };
  const Case cases[] = {
      {"exact", 0.0, 0, true},
      {"measured clock above", 0.02, 0, true},
      {"measured clock below", -0.4, 0, true},
      {"not present while it locks", 0.0, 3, true},
      {"locks in 900 ms", 0.0, -900, true},
      {"a hertz off", 0.6, 0, false},
      {"never reported", 0.0, 1 << 20, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeAsioHost fresh;
    fresh.RateOffset = c.Offset;
    if (c.Unreadable >= 0)
      fresh.RateUnreadable = c.Unreadable;
    else
      fresh.Settle = std::chrono::milliseconds(-c.Unreadable);
    TAsioPlayback playback(
        TAsioRoadServices{*state, fresh, engine, PortableEventFactory(), ui, view, uiQueue.Poster()});
    state->SetAsioRoad(&playback);
    const auto before = view.Messages().size();
    state->Play();
    ASSERT_TRUE(Pump([&] { return fresh.Active() || view.Messages().size() > before; }));
    EXPECT_EQ(state->xOperation(), c.Plays ? TOperation::_Play : TOperation::_Stop);
    EXPECT_EQ(fresh.Active(), c.Plays);
    if (c.Plays) {
      EXPECT_EQ(view.Messages().size(), before);
      state->Stop();
      ASSERT_TRUE(Pump([&] { return !fresh.Active(); }));
    } else {
      EXPECT_EQ(view.Messages().size(), before + 1);
      EXPECT_EQ(view.Messages().back(), "Error - ASIO Device not support this Sampling Rate.");
      const auto calls = fresh.Calls();
      EXPECT_GT(std::count(calls.begin(), calls.end(), "read rate"), 1);  // read again before refusing
    }
    playback.Close();
  }
  state->SetAsioRoad(road.get());
}

// A reset the driver asked for that could not open it again ends the play as
// a failed play does; the host shows the one message.
TEST_F(AsioRoadTest, ADriverResetThatCannotReopenEndsThePlay) {
  SetFormat(8000, 16);
  state->Play();
  ASSERT_TRUE(WaitUntil([&] { return road->ReadySeconds() == 2; }));
  host.SetActive(false);  // the host closed the driver
  host.DriverReset(false);
  EXPECT_EQ(state->xOperation(), TOperation::_Stop);
  EXPECT_EQ(view.Glyphs().back(), "_SignalInactive");
  ASSERT_TRUE(Pump([&] { return !ui.PlayTimes().empty() && ui.PlayTimes().back() == "0" && !ui.Charts().empty() &&
                                ui.Charts().back().first.empty(); }));
  const int sweeps = engine.Sweeps.load();
  Switch(2, 512, false);
  EXPECT_EQ(out[1], std::vector<double>(512, 0.0));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(engine.Sweeps.load(), sweeps);  // no more seconds are made
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_TRUE(ui.Messages().empty());
  host.DriverReset(false);  // not playing: nothing more
  EXPECT_EQ(view.Glyphs().back(), "_SignalInactive");
  state->Play();  // the next play opens the driver again
  EXPECT_EQ(state->xOperation(), TOperation::_Play);
}

TEST_F(AsioRoadTest, GainChangeIsHeardFromTheNextSecond) {
  SetFormat(8000, 16);
  const auto before = ExpectedSeconds(3, 0.1L);
  const auto after = ExpectedSeconds(3, 1.0L);
  state->Play();
  ASSERT_TRUE(WaitUntil([&] { return road->ReadySeconds() == 2; }));
  const int quantized = engine.Quantized.load();
  TOutputGains gains = state->OutputGains();
  gains.OutputATT = 1.0L;
  state->SetOutputGains(gains);
  ASSERT_TRUE(WaitUntil([&] { return engine.Quantized.load() == quantized + 2; }));  // both ready seconds
  Switch(2, 8000);
  EXPECT_EQ(out[1][1], static_cast<double>(before[0][1][1] / 32767.0L));  // the playing second keeps its gains
  Switch(2, 8000);
  EXPECT_EQ(out[1][0], static_cast<double>(after[1][1][0] / 32767.0L));
  EXPECT_EQ(out[0][5], static_cast<double>(after[1][0][5] / 32767.0L));
}

// Gains that change while the road quantises again and once more while it
// waits for the next second: the next second is quantised with the gains
// it was made with, and those are what the road takes for the ready seconds'
// gains, so the later change reaches it too.
TEST_F(AsioRoadTest, ASecondMadeWhileTheGainsChangeTakesTheLatestGains) {
  SetFormat(8000, 16);
  constexpr long double first = 0.5L, second = 0.25L, latest = 1.0L;
  const auto expected = ExpectedSeconds(4, latest);
  state->Play();
  ASSERT_TRUE(WaitUntil([&] { return road->ReadySeconds() == 2; }));
  const auto setAtt = [this](long double Att) {
    TOutputGains gains = state->OutputGains();
    gains.OutputATT = Att;
    state->SetOutputGains(gains);
  };
  const int quantized = engine.Quantized.load();
  // The hook stays until the road has ended (it acts on two numbers only).
  engine.OnQuantize = [this, setAtt, quantized](int Number) {
    if (Number == quantized + 1) {
      // The road quantises the ready seconds again for the first change:
      // meanwhile the gains change again and the second second begins, so
      // the road makes the next one at these gains.
      setAtt(second);
      TAVDArrayOfDoubleDynArray driverOut(2, std::vector<double>(8001, 0.0));
      road->ASIOHostBufferSwitch64({}, driverOut);
    } else if (Number == quantized + 3) {
      setAtt(latest);  // while that next second is made
    }
  };
  setAtt(first);
  // The second and the third seconds quantised again at the latest gains.
  EXPECT_TRUE(WaitUntil([&] { return engine.Quantized.load() >= quantized + 6; }));
  Switch(2, 7999, false);  // the rest of the second second
  Switch(2, 8000);
  EXPECT_EQ(out[1][3], static_cast<double>(expected[2][1][3] / 32767.0L));
  Switch(2, 8000);
  for (std::size_t j = 0; j < 8000; ++j)
    ASSERT_EQ(out[1][j], static_cast<double>(expected[3][1][j] / 32767.0L)) << j;
}

// Every second of a play has its own seed, the time seed read at Play plus
// its number (modulo 2^32), for its noise and its dither; the ready seconds
// quantised again after a gain change keep theirs.
TEST_F(AsioRoadTest, EverySecondHasItsOwnSeedAndRequantisingKeepsIt) {
  SetFormat(8000, 16);
  TSignalAttribute noise = state->SignalAttributeArray()[5];
  noise._OutputChannel = TOutputChannel::_Both;
  state->SetSignalAttribute(5, noise);
  engine.ClockSeed = 0xFFFFFFFEu;
  state->Play();
  ASSERT_TRUE(WaitUntil([&] { return road->ReadySeconds() == 2; }));
  const std::vector<std::uint32_t> first{0xFFFFFFFEu, 0xFFFFFFFFu, 0u};
  EXPECT_EQ(engine.NoiseSeeds(), first);
  EXPECT_EQ(engine.QuantizeSeeds(), first);

  TOutputGains gains = state->OutputGains();
  gains.OutputATT = 1.0L;
  state->SetOutputGains(gains);
  ASSERT_TRUE(WaitUntil([&] { return engine.QuantizeSeeds().size() == 5; }));
  EXPECT_EQ(engine.QuantizeSeeds(), (std::vector<std::uint32_t>{0xFFFFFFFEu, 0xFFFFFFFFu, 0u, 0xFFFFFFFFu, 0u}));

  Switch(2, 8000);  // the second second begins: the fourth is made
  ASSERT_TRUE(WaitUntil([&] { return engine.QuantizeSeeds().size() == 6; }));
  EXPECT_EQ(engine.QuantizeSeeds().back(), 1u);
  EXPECT_EQ(engine.NoiseSeeds().back(), 1u);
}

}  // namespace
