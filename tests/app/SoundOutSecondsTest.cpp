// The wave-out road's seconds: the next one made ahead while the current one
// plays, and gain changes that reach both.
#include <gtest/gtest.h>

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

// A gain change quantises again first the second that the next write takes
// from: the playing one while some of it is still to be written, else the
// one made ahead; then the other one. Every segment written once its second
// is quantised again carries the new gains.
TEST(SoundOutSeconds, AGainChangeQuantisesFirstWhatTheNextWriteTakes) {
  TRoad road;
  road.MakeAudible({4, 5});
  soundout::SetFormat(*road.Main, 48000, 16, TWavBufferSize::_50ms);
  road.Engine.ClockSeed = 100;
  road.Main->Play();
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 2; }));
  road.Main->SetTrackBarGain(TGainSide::_Left, 20);
  road.Main->ChangeGain();
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 4; }));
  EXPECT_EQ(road.Engine.QuantizeSeeds(), (std::vector<std::uint32_t>{100, 101, 100, 101}));

  constexpr std::size_t kSegments = 20;
  ASSERT_TRUE(road.DoneUntilWrites(kSegments));  // the last segment of the first second is written
  road.Main->SetTrackBarGain(TGainSide::_Left, 40);
  road.Main->ChangeGain();
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 6; }));
  EXPECT_EQ(road.Engine.QuantizeSeeds(), (std::vector<std::uint32_t>{100, 101, 100, 101, 101, 100}));
  ASSERT_TRUE(road.DoneUntilWrites(2 * kSegments + 1));  // into the third second, made with the last gains
  road.View.RunLater();
  EXPECT_TRUE(road.View.Messages().empty());

  const auto before = ExpectedSeconds(*road.Main, 3, 0.1L, 0.1L);
  const auto minus20 = ExpectedSeconds(*road.Main, 3, 0.1L * TMainState::TrackBarGain(20), 0.1L);
  const auto minus40 = ExpectedSeconds(*road.Main, 3, 0.1L * TMainState::TrackBarGain(40), 0.1L);
  const auto writes = road.Device.Writes();
  ASSERT_EQ(writes.size(), 2 * kSegments + 1);
  for (std::size_t i = 0; i < writes.size(); ++i) {
    const auto& second = i < 2 ? before : i < kSegments ? minus20 : minus40;
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

}  // namespace
