// Quick hands and slow starts on the wave-out road: gain changes, Stops and
// closes that come while a play starts or right after a restart, and the
// orders of Play, Stop, gain changes and the device's and thread's messages,
// after which the window must show what the device does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <random>
#include <thread>

#include "SoundOutSupport.h"

namespace {

using namespace std::chrono_literals;
using fakes::WaitUntil;
using soundout::ExpectedSeconds;
using soundout::Packed;
using soundout::TRoad;

TProtocolTimeouts Timeouts(std::uint32_t StartAnswerMs, std::uint32_t StopAnswerMs, std::uint32_t GainAnswerMs) {
  TProtocolTimeouts timeouts;
  timeouts.StartAnswerMs = StartAnswerMs;
  timeouts.StopAnswerMs = StopAnswerMs;
  timeouts.GainAnswerMs = GainAnswerMs;
  return timeouts;
}

std::int64_t Ms(std::chrono::steady_clock::duration Duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Duration).count();
}

// The three gain controls, each as the window's handler calls the state.
struct TGainControl {
  const char* Name;
  std::function<void(TMainState&)> Change;
  long double Left, Right;  // the gains once changed (from ATT on, 0 dB)
};

const TGainControl kGainControls[] = {
    {"bar",
     [](TMainState& m) {
       m.SetTrackBarGain(TGainSide::_Left, 20);
       m.ChangeGain();
     },
     0.1L * TMainState::TrackBarGain(20), 0.1L},
    {"MUTE", [](TMainState& m) { m.ToggleMute(); }, 0.0L, 0.0L},
    {"ATT", [](TMainState& m) { m.ToggleAttenuation(); }, 1.0L, 1.0L},
};

// Bar moved, Stop, Play at once: the gain command that the Stop made moot
// brings no "Error - Cannot Change Gain.", and the new play has the gains the
// bar shows.
TEST(SoundOutQuickHands, ARestartRightAfterAGainChangeBringsNoBox) {
  TRoad road(Timeouts(5000, 5000, 300));
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  constexpr int kRestarts = 10;
  std::int32_t position = 0;
  for (int i = 0; i < kRestarts; ++i) {
    position = position == 0 ? 20 : 0;
    road.Main->SetTrackBarGain(TGainSide::_Left, position);
    road.Main->ChangeGain();
    soundout::WhileDeviceRuns(road.Device, [&] { road.Main->Stop(); });
    ASSERT_EQ(road.Main->xOperation(), TOperation::_Stop);
    const std::size_t writes = road.Device.WriteCount();
    road.Main->Play();
    ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
    // What the new play starts with carries the bar's gain.
    const auto second = ExpectedSeconds(*road.Main, 1, 0.1L * TMainState::TrackBarGain(position), 0.1L)[0];
    EXPECT_EQ(road.Device.Writes()[writes].Data, Packed(second, 0, 12000, 16)) << i;
    road.View.RunLater();  // the window's gain check
  }
  EXPECT_EQ(road.View.Messages(), std::vector<std::string>{}) << "of " << kRestarts << " restarts";
  soundout::WhileDeviceRuns(road.Device, [&] { road.Main->Stop(); });
}

// A gain command that a pending start takes with it (the start loads the
// gains the window shows) is answered by that start; a later start or stop
// that takes the place of a gain command makes it moot. No gain command is
// dropped without its requester knowing.
TEST(SoundOutQuickHands, AGainCommandTakenOverByAPendingStartOrStopIsNoFailure) {
  TCommandMailbox<std::uint8_t> mailbox{SoundOutKeeps};
  for (const std::uint8_t pending : {kSoundOutStop, kSoundOutStart}) {
    SCOPED_TRACE(int(pending));
    bool absorbed = false;
    mailbox.Post(pending);
    mailbox.Post(kSoundOutGainChanged, {}, &absorbed);
    EXPECT_TRUE(absorbed);
    ASSERT_TRUE(mailbox.Take());
  }
  bool absorbed = true;
  mailbox.Post(kSoundOutGainChanged, {}, &absorbed);
  EXPECT_FALSE(absorbed);
  mailbox.Post(kSoundOutGainChanged, {}, &absorbed);
  EXPECT_FALSE(absorbed);  // replaces the earlier one: the latest is answered
}

// A gain change (bar, MUTE or ATT) while the first second is being made: no
// box, and the first segments already have the new gains.
TEST(SoundOutQuickHands, AGainChangeWhileThePlayStartsIsHeardFromTheFirstSegment) {
  for (const TGainControl& control : kGainControls) {
    SCOPED_TRACE(control.Name);
    TRoad road(Timeouts(50, 5000, 300));
    road.Engine.CloseGate();  // the first second takes long (a busy machine)
    road.Main->Play();
    ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);  // shown, still starting
    control.Change(*road.Main);
    std::this_thread::sleep_for(350ms);  // the gain time-out passes while the start goes on
    road.View.RunLater();
    EXPECT_EQ(road.View.Messages(), std::vector<std::string>{});
    road.Engine.OpenGate();
    ASSERT_TRUE(WaitUntil([&] {
      road.View.RunLater();
      return road.Device.WriteCount() >= 2;
    }));
    const auto second = ExpectedSeconds(*road.Main, 1, control.Left, control.Right)[0];
    const auto writes = road.Device.Writes();
    EXPECT_EQ(writes[0].Data, Packed(second, 0, 12000, 16));
    EXPECT_EQ(writes[1].Data, Packed(second, 1, 12000, 16));
    road.View.RunLater();
    EXPECT_EQ(road.View.Messages(), std::vector<std::string>{});
    EXPECT_EQ(road.Main->xOperation(), TOperation::_Play);
    soundout::WhileDeviceRuns(road.Device, [&] { road.Main->Stop(); });
  }
}

// Stop while the first second is being made is answered within half a
// second with no box: the second in the making is dropped, the device
// closed, the window in _Stop; nothing is played when the engine comes back.
TEST(SoundOutQuickHands, StopWhileThePlayStartsIsAnsweredAtOnce) {
  TRoad road(Timeouts(50, 1000, 300));
  road.Engine.CloseGate();  // the engine is inside the first second's tones
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  ASSERT_TRUE(WaitUntil([&] { return !road.Engine.ToneCalls().empty(); }));
  const auto began = std::chrono::steady_clock::now();
  road.Main->Stop();
  const auto took = std::chrono::steady_clock::now() - began;
  std::printf("Stop while the play starts: answered after %lld ms\n", static_cast<long long>(Ms(took)));
  EXPECT_LT(took, 500ms) << Ms(took) << " ms";
  EXPECT_EQ(road.View.Messages(), std::vector<std::string>{});
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Stop);
  EXPECT_EQ(road.View.Glyphs().back(), "_SignalInactive");
  EXPECT_TRUE(WaitUntil([&] { return !road.Device.IsOpen(); }));
  road.Engine.OpenGate();
  std::this_thread::sleep_for(50ms);
  road.View.RunLater();
  EXPECT_EQ(road.Device.WriteCount(), 0u);
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Stop);
  EXPECT_EQ(road.Memory.LiveBlocks(), 0u);
  // And the next Play plays.
  road.Main->Play();
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Play);
  EXPECT_TRUE(WaitUntil([&] { return road.Device.WriteCount() == 2; }));
  soundout::WhileDeviceRuns(road.Device, [&] { road.Main->Stop(); });
  EXPECT_EQ(road.View.Messages(), std::vector<std::string>{});
}

// The window closes while a play starts, and the second of the play before
// is still at work in the engine (it comes back only after the program was
// told to end): the close brings no box and the program's threads end
// within the shutdown deadline, waiting for no more than that engine call.
TEST(SoundOutQuickHands, ACloseWhileThePlayStartsEndsWithinTheDeadline) {
  TProtocolTimeouts timeouts = Timeouts(50, 1000, 300);
  timeouts.ShutdownWaitMs = 2000;
  TRoad road(timeouts);
  road.MakeAudible({4, 5});  // a sweep and a noise every second
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 2; }));  // the next second is made
  road.Engine.HoldSeconds();  // the engine stalls in the second after it
  ASSERT_TRUE(road.DoneUntilWrites(5));
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.SweepStarts().size() == 3; }));
  soundout::WhileDeviceRuns(road.Device, [&] { road.Main->Stop(); });
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Stop);
  road.Engine.SecondDelayMs = 2000;  // each sweep and noise from now on: a slow machine
  road.Main->Play();  // its first second waits for the engine
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  const auto began = std::chrono::steady_clock::now();
  auto release = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(1200ms);
    road.Engine.ReleaseSeconds();
  });
  road.Main->Close();
  const auto closed = std::chrono::steady_clock::now() - began;
  road.Main->BeginShutdown();
  const bool ended = road.Main->Shutdown();
  const auto took = std::chrono::steady_clock::now() - began;
  release.get();
  std::printf("close while the play starts: the stop took %lld ms, the threads ended after %lld ms\n",
              static_cast<long long>(Ms(closed)), static_cast<long long>(Ms(took)));
  EXPECT_EQ(road.View.Messages(), std::vector<std::string>{});
  EXPECT_LT(closed, 500ms) << Ms(closed) << " ms";
  EXPECT_TRUE(ended);
  EXPECT_LT(took, 2000ms) << Ms(took) << " ms";
  if (!ended) {
    ASSERT_TRUE(WaitUntil([&] { return road.Main->ThreadSoundOut().Ended(); }, 10s));
  }
}

// The system closes the device while the first second is being made: the
// start fails with one message, the window is back in _Stop with nothing
// left allocated, and the next Play plays.
TEST(SoundOutQuickHands, TheDeviceGoneWhileThePlayStartsEndsItWithOneMessage) {
  TRoad road(Timeouts(50, 1000, 300));
  road.Engine.CloseGate();
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  road.Device.CloseBySystem();
  ASSERT_TRUE(WaitUntil([&] {
    road.View.RunLater();
    return road.Main->xOperation() == TOperation::_Stop;
  }));
  road.Engine.OpenGate();
  road.ExpectCleanEnd(road.View.Messages(), "Error - Output Device Stopped.");
  EXPECT_EQ(road.Device.WriteCount(), 0u);
  road.Main->Play();
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Play);
  EXPECT_TRUE(WaitUntil([&] { return road.Device.WriteCount() == 2; }));
}

// A timed play whose start was answered only from the window's timer, and
// which ends by itself before that timer looks: the window ends in _Stop with
// the stopped picture, and Play plays again.
TEST(SoundOutQuickHands, ATimedPlayThatEndsRightAfterALateStartLeavesTheWindowStopped) {
  TRoad road(Timeouts(50, 1000, 300));
  road.SetTimedPlay(TWavBufferSize::_500ms, 1);
  road.Engine.CloseGate();
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  road.Engine.OpenGate();
  ASSERT_TRUE(WaitUntil([&] { return road.Device.WriteCount() == 2; }));
  ASSERT_TRUE(WaitUntil([&] {
    road.Device.ReportDone();
    return road.Ui.SinglePlayEnds() == 1;
  }));
  road.Main->CompleteSinglePlay();  // the thread's post, then the timer
  road.View.RunLater();
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Stop);
  EXPECT_EQ(road.View.Glyphs().back(), "_SignalInactive");
  road.Main->Play();
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Play);
  EXPECT_TRUE(WaitUntil([&] { return road.Device.WriteCount() == 4; }));
}

// The second maker's series: Begin never waits for a job of the series
// before, whose second is dropped; a Cancel that comes while that job is
// still in the engine holds (nothing of the cancelled series is made), and
// the next series' first second is the set's own, with the gains it was
// given last.
TEST(SecondMakerSeries, BeginNeverWaitsAndACancelDuringTheOldJobHolds) {
  fakes::TFakeEngine engine;
  std::atomic<int> made{0};
  TSecondMaker maker(engine, [&] { ++made; });
  TSynthesisInputs inputs = StartUpSynthesisInputs(8000);
  inputs.SignalAttributeArray[5]._OutputChannel = TOutputChannel::_Both;  // noise: held below
  inputs.Seed = 77;
  const TQuantizeGains gains{0.5L, 0.25L, 1};
  TWaveBufferInteger left, right;

  engine.HoldSeconds();
  maker.Begin(inputs, gains, true);
  ASSERT_TRUE(WaitUntil([&] { return engine.NoiseSeeds().size() == 1; }));  // in the engine
  const auto began = std::chrono::steady_clock::now();
  maker.Begin(inputs, gains, true);  // a new play while the old job works
  maker.Cancel();                    // and its Stop, or the program's end
  EXPECT_LT(std::chrono::steady_clock::now() - began, 50ms);
  engine.ReleaseSeconds();
  ASSERT_TRUE(WaitUntil([&] { return made.load() >= 1; }));  // the old job has ended
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(maker.TakeFirst(left, right));
  EXPECT_EQ(engine.Quantized(), 0u);
  EXPECT_EQ(engine.NoiseSeeds().size(), 1u);

  // The next series: gains changed while its first second is mixed are in it.
  inputs.SignalAttributeArray[5]._OutputChannel = TOutputChannel::_Mute;  // (the fake counts its noises)
  engine.CloseGate();
  maker.Begin(inputs, gains, false);
  ASSERT_TRUE(WaitUntil([&] { return engine.ToneCalls().size() == 2; }));
  const TQuantizeGains later{0.125L, 0.25L, 2};
  maker.ChangeGains(later, true);
  engine.OpenGate();
  ASSERT_TRUE(WaitUntil([&] { return maker.TakeFirst(left, right); }));
  fakes::TFakeEngine reference;
  TOneSecondSynthesizer synthesizer(reference);
  synthesizer.Begin(inputs, TGeneratorChoice::_Direct);
  const auto expected =
      reference.QuantizeSignal(inputs.PCMFormat, later.Left, later.Right, synthesizer.Mix(), synthesizer.Seed());
  EXPECT_EQ(left, expected[0]);
  EXPECT_EQ(right, expected[1]);
  EXPECT_FALSE(maker.TakeFirst(left, right));  // taken once
  maker.End();
  maker.Begin(inputs, gains, true);  // an ended maker takes no series
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(maker.TakeFirst(left, right));
}

// Random orders of Play, Stop, the three gain controls, slow and quick
// starts, the device's done messages, the system closing the device, the
// window's timers and the thread's posts, with continuous and timed plays:
// once everything has settled the window shows what the device does, no box
// has come but the one of a device the system closed, and a device that
// plays has the gains the window shows. The window's close then ends every
// thread at once, without a box.
TEST(SoundOutQuickHands, NoOrderOfEventsLeavesTheWindowUnlikeTheDevice) {
  constexpr int kRuns = 16;
  constexpr int kSteps = 40;
  for (int run = 0; run < kRuns; ++run) {
    SCOPED_TRACE(run);
    std::mt19937 random(3000 + static_cast<unsigned>(run));
    TRoad road(Timeouts(20, 1000, 300));
    if (run % 3 == 2) road.SetTimedPlay(TWavBufferSize::_500ms, 1);
    int endsSeen = 0;
    bool gateClosed = false;
    bool systemClosed = false;
    const auto takePosts = [&] {
      for (; endsSeen < road.Ui.SinglePlayEnds(); ++endsSeen) road.Main->CompleteSinglePlay();
    };
    for (int step = 0; step < kSteps; ++step) {
      switch (std::uniform_int_distribution<int>(0, 11)(random)) {
        case 0: road.Main->Play(); break;
        case 1: soundout::WhileDeviceRuns(road.Device, [&] { road.Main->Stop(); }); break;
        case 2: kGainControls[0].Change(*road.Main); break;
        case 3: road.Main->ToggleMute(); break;
        case 4: road.Main->ToggleAttenuation(); break;
        case 5:
          if (gateClosed)
            road.Engine.OpenGate();
          else
            road.Engine.CloseGate();
          gateClosed = !gateClosed;
          break;
        case 6: road.Device.ReportDone(); break;
        case 7: road.View.RunDue(); break;
        case 8: takePosts(); break;
        case 9: std::this_thread::sleep_for(std::chrono::milliseconds(random() % 30)); break;
        case 10:
          road.Main->SetTrackBarGain(TGainSide::_Left, static_cast<std::int32_t>(random() % 41));
          road.Main->ChangeGain();
          break;
        case 11:
          if (run % 4 == 3 && road.Device.IsOpen()) {
            road.Device.CloseBySystem();
            systemClosed = true;
          }
          break;
      }
    }
    road.Engine.OpenGate();
    // Settle: the timers run, the thread's posts are taken, the device plays
    // what is queued; the thread then does what the window asked last.
    const auto settled = [&] {
      road.View.RunDue();
      takePosts();
      const bool playing = road.Main->xOperation() == TOperation::_Play;
      if (playing) road.Device.ReportDone();
      return !road.Main->xEnableChangeData() && playing == road.Device.IsOpen() &&
             (!playing || road.Device.Queued() > 0);
    };
    EXPECT_TRUE(WaitUntil([&] {
      if (!settled()) return false;
      std::this_thread::sleep_for(60ms);  // and stays so
      return settled();
    }, 8s)) << "window " << (road.Main->xOperation() == TOperation::_Play ? "plays" : "stopped") << ", device "
            << (road.Device.IsOpen() ? "open" : "closed");
    for (const auto& messages : {road.View.Messages(), road.Ui.Messages()})
      for (const std::string& message : messages)
        EXPECT_TRUE(systemClosed && message == "Error - Output Device Stopped.") << message;
    if (road.Main->xOperation() == TOperation::_Play && run % 3 != 2) {
      // Everything written from two segments after now on has the shown gains.
      const TOutputGains gains = road.Main->OutputGains();
      ASSERT_TRUE(WaitUntil([&] { return road.Device.Queued() == 2; }));  // the thread has served every done
      ASSERT_TRUE(WaitUntil([&] {
        const std::size_t from = road.Device.WriteCount() + 2;
        if (!road.DoneUntilWrites(from + 1)) return false;
        const auto shown = ExpectedSeconds(*road.Main, 1, gains.Left(), gains.Right())[0];
        // The sweep and the noise are muted: every second is the same.
        const auto writes = road.Device.Writes();
        for (std::int32_t k = 0; k < 4; ++k)
          if (writes[from].Data == Packed(shown, k, 12000, 16)) return true;
        return false;
      }, 3s));
    }
    const std::size_t shown = road.View.Messages().size();
    const auto closing = std::chrono::steady_clock::now();
    road.Main->Close();
    road.Main->BeginShutdown();
    EXPECT_TRUE(road.Main->Shutdown());
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 1000ms);
    EXPECT_EQ(road.View.Messages().size(), shown);
    EXPECT_FALSE(road.Device.IsOpen());
    EXPECT_EQ(road.Memory.LiveBlocks(), 0u);
  }
}

}  // namespace
