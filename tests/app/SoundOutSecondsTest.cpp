// The wave-out road's seconds: the next one made ahead while the current one
// plays, and gain changes that reach both.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "SoundOutSupport.h"

namespace {

using namespace std::chrono_literals;
using fakes::WaitUntil;
using soundout::ExpectedSeconds;
using soundout::Packed;
using soundout::TRoad;

// The next second is made while the current one plays, before the last
// segment of the current one is written, on a thread other than the one
// that feeds the device: a boundary only writes, even while the engine is
// busy with the second after. What is written is the set second after
// second, bit for bit as the engine makes it.
TEST(SoundOutSeconds, TheNextSecondIsMadeAheadAndTheBoundaryOnlyWrites) {
  TRoad road;
  road.MakeAudible({4, 5});  // the sweep and the noise: every second differs
  soundout::SetFormat(*road.Main, 48000, 16, TWavBufferSize::_50ms);
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  constexpr std::size_t kSegments = 20;
  for (std::size_t second = 1; second <= 3; ++second) {
    SCOPED_TRACE(second);
    // Made without the device asking for anything: one second ahead, no more.
    ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == second + 1; }));
    EXPECT_EQ(road.Engine.NoiseSeeds().size(), second + 1);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(road.Engine.QuantizeSeeds().size(), second + 1);
    // The engine stalls on the second after: this one's rest and the next
    // one's first segment are written all the same.
    road.Engine.HoldSeconds();
    const bool written = road.DoneUntilWrites(second * kSegments + 1);
    EXPECT_TRUE(WaitUntil([&] { return road.Engine.SweepStarts().size() == second + 2; }));  // held in it
    road.Engine.ReleaseSeconds();
    ASSERT_TRUE(written);
  }
  const auto expected = ExpectedSeconds(*road.Main, 4, 0.1L, 0.1L);
  const auto writes = road.Device.Writes();
  for (std::size_t i = 0; i < writes.size(); ++i)
    EXPECT_EQ(writes[i].Data, Packed(expected[i / kSegments], static_cast<std::int32_t>(i % kSegments), 2400, 16))
        << i;
  soundout::WhileDeviceRuns(road.Device, [&] { road.Main->Stop(); });
}

// A gain change quantises again first the second made ahead, then the
// playing one while some of it is still to be written: the playing one's
// new gains are taken once the one made ahead has them too. Every segment
// written from then on carries the new gains.
TEST(SoundOutSeconds, AGainChangeQuantisesAgainTheSecondMadeAheadThenThePlayingOne) {
  TRoad road;
  road.MakeAudible({4, 5});
  soundout::SetFormat(*road.Main, 48000, 16, TWavBufferSize::_50ms);
  road.Engine.ClockSeed = 100;
  const auto before = ExpectedSeconds(*road.Main, 3, 0.1L, 0.1L);
  const auto minus20 = ExpectedSeconds(*road.Main, 3, 0.1L * TMainState::TrackBarGain(20), 0.1L);
  const auto minus40 = ExpectedSeconds(*road.Main, 3, 0.1L * TMainState::TrackBarGain(40), 0.1L);
  road.Main->Play();
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 2; }));
  road.Main->SetTrackBarGain(TGainSide::_Left, 20);
  road.Main->ChangeGain();
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.Quantized() == 4; }));
  EXPECT_EQ(road.Engine.QuantizeSeeds(), (std::vector<std::uint32_t>{100, 101, 101, 100}));
  // The engine has returned the playing second with the new gains; the
  // feeding thread has taken it once the charts show it.
  const std::vector<std::int32_t> chart(minus20[0][0].begin(), minus20[0][0].begin() + 1023);
  ASSERT_TRUE(WaitUntil([&] {
    const auto charts = road.Ui.Charts();
    return !charts.empty() && charts.back().first == chart;
  }));

  constexpr std::size_t kSegments = 20;
  ASSERT_TRUE(road.DoneUntilWrites(kSegments));  // the last segment of the first second is written
  road.Main->SetTrackBarGain(TGainSide::_Left, 40);
  road.Main->ChangeGain();
  // The playing second is written out: only the one made ahead is
  // quantised again (see TheWrittenOutSecondIsNotQuantisedAgain).
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 5; }));
  std::this_thread::sleep_for(120ms);
  EXPECT_EQ(road.Engine.QuantizeSeeds(), (std::vector<std::uint32_t>{100, 101, 101, 100, 101}));
  ASSERT_TRUE(road.DoneUntilWrites(2 * kSegments + 1));  // into the third second, made with the last gains
  road.View.RunLater();
  EXPECT_TRUE(road.View.Messages().empty());

  const auto writes = road.Device.Writes();
  ASSERT_EQ(writes.size(), 2 * kSegments + 1);
  for (std::size_t i = 0; i < writes.size(); ++i) {
    const auto& second = i < 2 ? before : i < kSegments ? minus20 : minus40;
    EXPECT_EQ(writes[i].Data, Packed(second[i / kSegments], static_cast<std::int32_t>(i % kSegments), 2400, 16)) << i;
  }
  soundout::WhileDeviceRuns(road.Device, [&] { road.Main->Stop(); });
}

// Quantising the playing second again is useless once no segment of it is
// written after the quantisation ends: a gain change after its last segment
// is written quantises only the second made ahead, and the playing second
// is left as it is.
TEST(SoundOutSeconds, TheWrittenOutSecondIsNotQuantisedAgain) {
  TRoad road;
  road.MakeAudible({4, 5});
  soundout::SetFormat(*road.Main, 48000, 16, TWavBufferSize::_50ms);
  road.Engine.ClockSeed = 100;
  road.Main->Play();
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 2; }));
  constexpr std::size_t kSegments = 20;
  ASSERT_TRUE(road.DoneUntilWrites(kSegments));  // the last segment of the first second is written
  road.Main->SetTrackBarGain(TGainSide::_Left, 40);
  road.Main->ChangeGain();
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 3; }));
  std::this_thread::sleep_for(120ms);  // more than a segment: a quantisation again is no longer held back
  EXPECT_EQ(road.Engine.QuantizeSeeds(), (std::vector<std::uint32_t>{100, 101, 101}));
  ASSERT_TRUE(road.DoneUntilWrites(kSegments + 2));
  const auto before = ExpectedSeconds(*road.Main, 2, 0.1L, 0.1L);
  const auto minus40 = ExpectedSeconds(*road.Main, 2, 0.1L * TMainState::TrackBarGain(40), 0.1L);
  const auto writes = road.Device.Writes();
  ASSERT_EQ(writes.size(), kSegments + 2);
  for (std::size_t i = 0; i < writes.size(); ++i) {
    const auto& second = i < kSegments ? before : minus40;
    EXPECT_EQ(writes[i].Data, Packed(second[i / kSegments], static_cast<std::int32_t>(i % kSegments), 2400, 16)) << i;
  }
  soundout::WhileDeviceRuns(road.Device, [&] { road.Main->Stop(); });
}

// The second made ahead never goes past the last second of a timed play.
TEST(SoundOutSeconds, NoSecondIsMadePastTheLastOfATimedPlay) {
  TRoad road;
  road.MakeAudible({5});  // generated every second
  road.SetTimedPlay(TWavBufferSize::_500ms, 2);
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 2; }));
  ASSERT_TRUE(WaitUntil([&] {
    road.Device.ReportDone();
    return road.Ui.SinglePlayEnds() == 1;
  }));
  EXPECT_EQ(road.Device.WriteCount(), 4u);
  EXPECT_EQ(road.Engine.NoiseSeeds().size(), 2u);
  EXPECT_EQ(road.Engine.QuantizeSeeds().size(), 2u);
  road.Main->CompleteSinglePlay();
}

// A device that takes its buffers at real time: every segment's time it
// returns the oldest one. A buffer that is not queued by then is a gap in
// the sound (the device plays silence) while it is open.
class TRealTimeDevice {
 public:
  TRealTimeDevice(fakes::TFakeWaveOutDevice& Device, std::chrono::microseconds Segment)
      : FThread([this, &Device, Segment] {
          auto due = std::chrono::steady_clock::now() + Segment;
          while (!FEnd.load()) {
            std::this_thread::sleep_until(due);
            due += Segment;
            if (Device.IsOpen() && Device.Queued() < 2) ++FGaps;
            Device.ReportDone();
          }
        }) {}
  ~TRealTimeDevice() { End(); }
  void End() {
    FEnd.store(true);
    if (FThread.joinable()) FThread.join();
  }
  int Gaps() const { return FGaps.load(); }

 private:
  std::atomic<bool> FEnd{false};
  std::atomic<int> FGaps{0};
  std::thread FThread;
};

// The left bar moved between 0 and -20 dB every 5 to 50 ms, as a drag does.
class TBarDrag {
 public:
  explicit TBarDrag(TMainState& Main) : FMain(Main) {}
  void Move() {
    FPosition = FPosition == 0 ? 20 : 0;
    FMain.SetTrackBarGain(TGainSide::_Left, FPosition);
    FMain.ChangeGain();
    std::this_thread::sleep_for(std::chrono::milliseconds(FPause(FRandom)));
  }

 private:
  TMainState& FMain;
  std::int32_t FPosition = 0;
  std::mt19937 FRandom{2400};
  std::uniform_int_distribution<int> FPause{5, 50};
};

// On a slow machine a gain change in the middle of a second is heard once
// the playing second and the one made ahead are both quantised with it,
// and from then on only: never the new gains and then the old ones again
// at the next second's boundary.
TEST(SoundOutSeconds, GainsOnceHeardAreNeverFollowedByOlderOnes) {
  constexpr std::size_t kSegments = 20;
  TRoad road;
  road.MakeAudible({4, 5});
  soundout::SetFormat(*road.Main, 48000, 16, TWavBufferSize::_50ms);
  road.Main->Play();
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.Quantized() == 2; }));
  road.Engine.QuantizeDelayMs = 300;
  TRealTimeDevice device(road.Device, 50ms);
  ASSERT_TRUE(WaitUntil([&] { return road.Device.WriteCount() >= kSegments / 2; }));
  road.Main->SetTrackBarGain(TGainSide::_Left, 20);
  road.Main->ChangeGain();
  ASSERT_TRUE(WaitUntil([&] { return road.Device.WriteCount() >= 2 * kSegments + 10; }, 5s));
  device.End();
  const auto before = ExpectedSeconds(*road.Main, 3, 0.1L, 0.1L);
  const auto after = ExpectedSeconds(*road.Main, 3, 0.1L * TMainState::TrackBarGain(20), 0.1L);
  const auto writes = road.Device.Writes();
  bool heard = false;
  for (std::size_t i = 0; i < 2 * kSegments + 10; ++i) {
    const auto segment = static_cast<std::int32_t>(i % kSegments);
    const bool old = writes[i].Data == Packed(before[i / kSegments], segment, 2400, 16);
    const bool now = writes[i].Data == Packed(after[i / kSegments], segment, 2400, 16);
    ASSERT_TRUE(old || now) << i;
    EXPECT_TRUE(now || !heard) << "segment " << i << " has the old gains after the new ones were heard";
    heard = heard || now;
  }
  EXPECT_TRUE(heard);
  soundout::WhileDeviceRuns(road.Device, [&] { road.Main->Stop(); });
}

// On a slow engine (a second takes 360 ms to make, 60 ms to quantise
// again, of the 1000 ms it plays) and a device at real time, gain changes
// every 5 to 50 ms never make a second late: quantising the playing second
// again goes first only while the next one still fits before it is due.
// Every segment is the set's own, bit for bit, at one of the two gains; a
// Stop meanwhile is answered within one segment.
TEST(SoundOutSeconds, GainChangesOnASlowEngineLeaveNoSecondLate) {
  TRoad road;
  road.MakeAudible({4, 5});
  soundout::SetFormat(*road.Main, 48000, 16, TWavBufferSize::_50ms);
  road.Engine.SecondDelayMs = 150;  // sweep and noise
  road.Engine.QuantizeDelayMs = 60;
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  TRealTimeDevice device(road.Device, 50ms);
  TBarDrag drag(*road.Main);
  const auto end = std::chrono::steady_clock::now() + 4500ms;
  while (std::chrono::steady_clock::now() < end) drag.Move();
  const auto stopped = std::chrono::steady_clock::now();
  road.Main->Stop();
  const auto stopTook = std::chrono::steady_clock::now() - stopped;
  device.End();
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Stop);
  EXPECT_EQ(device.Gaps(), 0);
  EXPECT_LE(stopTook, 50ms);
  road.View.RunLater();
  EXPECT_TRUE(road.View.Messages().empty());

  constexpr std::size_t kSegments = 20;
  const auto writes = road.Device.Writes();
  ASSERT_GE(writes.size(), 4 * kSegments);
  const std::size_t seconds = writes.size() / kSegments + 1;
  const auto still = ExpectedSeconds(*road.Main, seconds, 0.1L, 0.1L);
  const auto moved = ExpectedSeconds(*road.Main, seconds, 0.1L * TMainState::TrackBarGain(20), 0.1L);
  for (std::size_t i = 0; i < writes.size(); ++i) {
    const auto segment = static_cast<std::int32_t>(i % kSegments);
    const bool known = writes[i].Data == Packed(still[i / kSegments], segment, 2400, 16) ||
                       writes[i].Data == Packed(moved[i / kSegments], segment, 2400, 16);
    EXPECT_TRUE(known) << "segment " << i;
  }
}

// Only the last quantisation before a segment is written is heard: gain
// changes every 2 ms quantise the seconds again about once a segment
// (50 ms: a round of two every two segments), not once a change.
TEST(SoundOutSeconds, GainChangesQuantiseAgainAtMostOnceASegment) {
  TRoad road;
  road.MakeAudible({4, 5});
  soundout::SetFormat(*road.Main, 48000, 16, TWavBufferSize::_50ms);
  road.Main->Play();
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 2; }));
  std::int32_t position = 0;
  const auto began = std::chrono::steady_clock::now();
  for (int i = 0; i < 250; ++i) {
    position = position == 0 ? 20 : 0;
    road.Main->SetTrackBarGain(TGainSide::_Left, position);
    road.Main->ChangeGain();
    std::this_thread::sleep_for(2ms);
  }
  std::this_thread::sleep_for(100ms);
  // Counted over the whole time the quantisations had: the changes and the
  // pause after them.
  const auto seeds = road.Engine.QuantizeSeeds().size();
  const auto segments = (std::chrono::steady_clock::now() - began) / 50ms;
  EXPECT_LE(seeds, static_cast<std::size_t>(2 + segments + 3));
  EXPECT_GE(road.Engine.QuantizeSeeds().size(), 4u);  // both seconds got the last gains
  soundout::WhileDeviceRuns(road.Device, [&] { road.Main->Stop(); });
}

// A second the engine does not deliver in time leaves the device without
// samples, but never the thread deaf: gain changes are answered and a Stop
// is served within one segment while it is awaited.
TEST(SoundOutSeconds, AStopIsServedWhileALateSecondIsAwaited) {
  TRoad road({5000, 1000, 300, 5000});
  road.MakeAudible({4, 5});
  soundout::SetFormat(*road.Main, 48000, 16, TWavBufferSize::_50ms);
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 2; }));
  road.Engine.HoldSeconds();  // the third second never comes
  TRealTimeDevice device(road.Device, 50ms);
  ASSERT_TRUE(WaitUntil([&] { return road.Device.WriteCount() >= 21 && road.Device.Queued() == 0; }));
  TBarDrag drag(*road.Main);
  for (int i = 0; i < 10; ++i) drag.Move();
  std::this_thread::sleep_for(300ms);  // the window looks at the last change's answer
  road.View.RunLater();
  EXPECT_TRUE(road.View.Messages().empty());
  const auto stopped = std::chrono::steady_clock::now();
  road.Main->Stop();
  const auto stopTook = std::chrono::steady_clock::now() - stopped;
  device.End();
  road.Engine.ReleaseSeconds();
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Stop);
  EXPECT_LE(stopTook, 50ms);
  road.View.RunLater();
  EXPECT_TRUE(road.View.Messages().empty());
}

// The thread's end waits for no second in the making beyond the engine call
// at work: the sound-out thread and its maker are gone well inside the
// shutdown's deadline.
TEST(SoundOutSeconds, ShutdownLeavesASecondInTheMakingAtItsNextEngineCall) {
  TRoad road;
  road.MakeAudible({4, 5});
  soundout::SetFormat(*road.Main, 48000, 16, TWavBufferSize::_500ms);
  road.Engine.SecondDelayMs = 300;
  road.Engine.QuantizeDelayMs = 300;
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.SweepStarts().size() == 2; }));  // the second one is made
  const auto began = std::chrono::steady_clock::now();
  soundout::WhileDeviceRuns(road.Device, [&] { EXPECT_TRUE(road.Main->Shutdown()); });
  road.Main.reset();
  const auto took = std::chrono::steady_clock::now() - began;
  // One engine call (300 ms), not the rest of the second (600 ms).
  EXPECT_LT(took, 500ms) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
}

}  // namespace
