// The wave-out road and the main window's requests, with a fake device that
// reports "done" on demand, a fake engine and short time-outs.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <initializer_list>
#include <thread>

#include "SoundOutSupport.h"

namespace {

using namespace std::chrono_literals;
using fakes::WaitUntil;
using soundout::ExpectedFirstSecond;
using soundout::Packed;
using soundout::TRoad;

class SoundOutTest : public ::testing::Test {
 protected:
  // Created on demand so that a test can set up the fakes first.
  TMainState& Main(TProtocolTimeouts Timeouts = {5000, 5000, 5000, 5000}) {
    if (!main)
      main = std::make_unique<TMainState>(TMainServices{PortableEventFactory(), device, memory, engine, ui, view, Timeouts});
    return *main;
  }

  void SetFormat(std::int32_t Rate, std::int32_t Bits, TWavBufferSize Size) {
    soundout::SetFormat(Main(), Rate, Bits, Size);
  }

  // Runs a blocking request of the main window while the device reports
  // "done" every few milliseconds.
  template <class F>
  void WhileDeviceRuns(F Request) {
    soundout::WhileDeviceRuns(device, Request);
  }

  TWaveBufferIntegerStereo ExpectedSecond(long double GainL, long double GainR) {
    return ExpectedFirstSecond(Main(), GainL, GainR);
  }

  bool DoneUntilWrites(std::size_t Count) { return soundout::DoneUntilWrites(device, Count); }
  void MakeAudible(std::initializer_list<std::size_t> Records) { soundout::MakeAudible(Main(), Records); }

  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  fakes::TFakeEngine engine;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  std::unique_ptr<TMainState> main;
};

// ---------------------------------------------------------------------------
// Start-up state

TEST_F(SoundOutTest, DefaultStateOfTheMainWindow) {
  TMainState& m = Main();
  EXPECT_EQ(m.xOperation(), TOperation::_Stop);
  EXPECT_FALSE(m.xEnableChangeData());
  EXPECT_EQ(m.xChannelNumber(), 6);
  EXPECT_EQ(m.xCurrentChannel, -1);
  EXPECT_EQ(m.PCMFormatString()._SamplingRate, "48000");
  EXPECT_EQ(m.InternalSetting()._OutputDevice, TOutputDevice::_WaveMapper);
  const auto records = m.SignalAttributeArray();
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(records[0]._OutputChannel, TOutputChannel::_Both);
  EXPECT_EQ(records[1]._OutputChannel, TOutputChannel::_Mute);
  EXPECT_EQ(records[4]._Waveform, TWaveform::_Sweep);
  EXPECT_EQ(records[5]._Waveform, TWaveform::_Noise);
  EXPECT_EQ(m.SignalAttributeStringArray()[0]._OutputChannel, "L R");
  const TOutputGains gains = m.OutputGains();
  EXPECT_EQ(gains.OutputATT, 0.1L);
  EXPECT_EQ(gains.OutputMute, 1.0L);
  EXPECT_EQ(gains.Left(), 0.1L);
}

TEST_F(SoundOutTest, WithoutAnyDeviceTheOutputIsNoDeviceAndPlayDoesNothing) {
  device.Devices = 0;
  EXPECT_EQ(Main().InternalSetting()._OutputDevice, TOutputDevice::_NoDevice);
  EXPECT_EQ(Main().InternalSettingString()._OutputDevice, "No Device");
  Main().Play();
  EXPECT_EQ(device.OpenCalls(), 0);
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
}

TEST_F(SoundOutTest, PlayRaisesThePlayTimeToAnAudibleSweepPeriod) {
  device.Devices = 0;  // the rule holds for every device
  TSignalAttribute sweep = Main().SignalAttributeArray()[4];
  sweep._SweepPeriod = 30;
  Main().Play();
  EXPECT_EQ(Main().InternalSetting()._PlayTime, 10);  // muted sweep
  sweep._OutputChannel = TOutputChannel::_Both;
  Main().SetSignalAttribute(4, sweep);
  Main().Play();
  EXPECT_EQ(Main().InternalSetting()._PlayTime, 30);
}

TEST_F(SoundOutTest, SoundOutErrorMessagesMemoryFirst) {
  Main().ShowSoundOutError(TWavMemErr::_MemErrNoAllocateHeap, TWavOutErr::_WAVERR_BADFORMAT);
  Main().ShowSoundOutError(TWavMemErr::_MemErrNo, TWavOutErr::_MMSYSERR_No);
  Main().ShowSoundOutError(TWavMemErr::_MemErrNoDecommit, TWavOutErr::_MMSYSERR_No);
  EXPECT_EQ(view.Messages(),
            (std::vector<std::string>{"Error - Cannot Allocate Heap Memory.", "Error - Invalid Format."}));
}

// ---------------------------------------------------------------------------
// Playing

TEST_F(SoundOutTest, StartQueuesTwoSegmentsAndEachDoneOneMoreAlternatingTheHeaders) {
  Main().Play();
  ASSERT_EQ(Main().xOperation(), TOperation::_Play);
  EXPECT_EQ(view.Glyphs(), std::vector<std::string>{"_SignalActive"});
  const TWaveFormatExtensible format = device.Format();
  EXPECT_EQ(format.Format.nSamplesPerSec, 48000u);
  EXPECT_EQ(format.Format.wBitsPerSample, 16);
  EXPECT_EQ(format.dwChannelMask, 3u);
  EXPECT_EQ(device.WriteCount(), 2u);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(device.WriteCount(), 2u);  // nothing more without "done"
  for (std::size_t n = 3; n <= 7; ++n) {
    ASSERT_TRUE(device.ReportDone());
    ASSERT_TRUE(WaitUntil([&] { return device.WriteCount() == n; }));
  }
  const auto writes = device.Writes();
  for (std::size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(writes[i].Header, static_cast<int>(i % 2)) << i;
    EXPECT_EQ(writes[i].Data.size(), 48000u) << i;  // 12000 frames of 4 bytes
  }
  EXPECT_EQ(device.Queued(), 2u);
  // Segments 0 to 3 of the first second, then segment 0 of the next one.
  const auto second = ExpectedSecond(0.1L, 0.1L);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(writes[k].Data, Packed(second, k, 12000, 16)) << k;
  EXPECT_EQ(ui.PlayTimes().front(), "0");
  ASSERT_TRUE(WaitUntil([&] { return ui.PlayTimes().size() >= 2; }));
  EXPECT_EQ(ui.PlayTimes()[1], "1");
}

TEST_F(SoundOutTest, EachSegmentIsWrittenToPlayOnceWithoutLoopFlags) {
  SetFormat(48000, 16, TWavBufferSize::_50ms);
  Main().Play();
  ASSERT_EQ(Main().xOperation(), TOperation::_Play);
  for (std::size_t n = 3; n <= 5; ++n) {  // both headers written again
    ASSERT_TRUE(device.ReportDone());
    ASSERT_TRUE(WaitUntil([&] { return device.WriteCount() == n; }));
  }
  for (const auto& write : device.Writes()) {
    EXPECT_EQ(write.Flags & (WaveHdrBeginLoop | WaveHdrEndLoop), 0u);
    EXPECT_EQ(write.Loops, 0u);
  }
}

TEST_F(SoundOutTest, TwentyFourBitsArePackedShiftedInThirtyTwoBitContainers) {
  SetFormat(96000, 24, TWavBufferSize::_500ms);
  Main().Play();
  ASSERT_EQ(Main().xOperation(), TOperation::_Play);
  EXPECT_EQ(device.Format().Format.wBitsPerSample, 32);
  EXPECT_EQ(device.Format().Samples.wValidBitsPerSample, 24);
  const auto writes = device.Writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].Data.size(), 48000u * 8u);
  const auto second = ExpectedSecond(0.1L, 0.1L);
  EXPECT_EQ(writes[1].Data, Packed(second, 1, 48000, 24));
  std::int32_t firstLeft;
  std::memcpy(&firstLeft, writes[0].Data.data(), 4);
  EXPECT_EQ(firstLeft, second[0][0] * 256);
  EXPECT_NE(second[0][0], 0);
}

TEST_F(SoundOutTest, LastSegmentOfA44100HzSecondEndsInSilence) {
  SetFormat(44100, 16, TWavBufferSize::_125ms);
  Main().Play();
  for (std::size_t n = 3; n <= 8; ++n) {
    ASSERT_TRUE(device.ReportDone());
    ASSERT_TRUE(WaitUntil([&] { return device.WriteCount() == n; }));
  }
  const auto last = device.Writes()[7].Data;
  ASSERT_EQ(last.size(), 5513u * 4u);
  EXPECT_EQ(last, Packed(ExpectedSecond(0.1L, 0.1L), 7, 5513, 16));
  EXPECT_TRUE(std::all_of(last.end() - 16, last.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(SoundOutTest, DoneBeforeTheMainWindowEntersPlayIsServed) {
  view.OnGlyph = [&](std::string_view) {
    // The main window has the answer but has not entered _Play yet.
    device.ReportDone();
    EXPECT_TRUE(WaitUntil([&] { return device.WriteCount() == 3; }));
  };
  Main().Play();
  EXPECT_EQ(Main().xOperation(), TOperation::_Play);
  EXPECT_EQ(device.WriteCount(), 3u);
}

TEST_F(SoundOutTest, TonesAreGeneratedOncePerPlaySweepAndNoiseEverySecond) {
  MakeAudible({5});
  SetFormat(48000, 16, TWavBufferSize::_500ms);
  Main().Play();
  ASSERT_TRUE(DoneUntilWrites(6));  // two more seconds
  // And the one after them, made ahead.
  ASSERT_TRUE(WaitUntil([&] { return engine.NoiseMethods().size() == 4; }));
  EXPECT_EQ(engine.ToneCalls().size(), 1u);
  EXPECT_EQ(engine.NoiseMethods(), std::vector<TPinkNoiseMethod>(4, TPinkNoiseMethod::_Kellet));
  EXPECT_TRUE(engine.SweepStarts().empty());  // the sweep is muted
}

// Second n of a play has the time seed read at its start plus n (modulo
// 2^32) for its noise and its dither; a gain change quantises the second
// made ahead again with its own seed, and the one that plays with its own.
TEST_F(SoundOutTest, EverySecondHasItsOwnSeedAndAGainChangeKeepsIt) {
  MakeAudible({5});
  SetFormat(48000, 16, TWavBufferSize::_500ms);
  engine.ClockSeed = 0xFFFFFFFFu;
  Main().Play();
  engine.ClockSeed = 7;  // read once per play: a later clock changes nothing
  ASSERT_TRUE(DoneUntilWrites(5));  // the third second's first segment plays
  ASSERT_TRUE(WaitUntil([&] { return engine.QuantizeSeeds().size() == 4; }));  // the fourth made ahead
  Main().SetTrackBarGain(TGainSide::_Left, 20);
  Main().ChangeGain();
  ASSERT_TRUE(WaitUntil([&] { return engine.QuantizeSeeds().size() == 6; }));
  EXPECT_EQ(engine.QuantizeSeeds(), (std::vector<std::uint32_t>{0xFFFFFFFFu, 0u, 1u, 2u, 2u, 1u}));
  EXPECT_EQ(engine.NoiseSeeds(), (std::vector<std::uint32_t>{0xFFFFFFFFu, 0u, 1u, 2u}));
  WhileDeviceRuns([&] { Main().Stop(); });

  // The next play reads the clock again.
  const std::size_t made = engine.QuantizeSeeds().size(), noises = engine.NoiseSeeds().size();
  Main().Play();
  ASSERT_TRUE(WaitUntil([&] { return engine.QuantizeSeeds().size() > made; }));
  EXPECT_EQ(engine.QuantizeSeeds()[made], 7u);
  EXPECT_EQ(engine.NoiseSeeds()[noises], 7u);
  WhileDeviceRuns([&] { Main().Stop(); });
}

TEST_F(SoundOutTest, StopClosesTheDeviceAndRestoresThePlayTime) {
  TInternalSetting setting = Main().InternalSetting();
  setting._PlayTime = 25;
  Main().SetInternalSetting(setting);
  Main().Play();
  WhileDeviceRuns([&] { Main().Stop(); });
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
  EXPECT_EQ(view.Glyphs().back(), "_SignalInactive");
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_EQ(device.CloseCalls(), 1);
  EXPECT_EQ(memory.LiveBlocks(), 0u);
  EXPECT_EQ(Main().InternalSetting()._PlayTime, 10);
  ASSERT_TRUE(WaitUntil([&] { return !ui.Charts().empty() && ui.Charts().back().first.empty(); }));
  EXPECT_TRUE(ui.Messages().empty());
  // And it plays again.
  Main().Play();
  EXPECT_EQ(Main().xOperation(), TOperation::_Play);
}

TEST_F(SoundOutTest, SingleThreeSecondPlayWith500msSegmentsEndsByItself) {
  SetFormat(48000, 16, TWavBufferSize::_500ms);
  TInternalSetting setting = Main().InternalSetting();
  setting._Repeat = TRepeat::_Single;
  setting._PlayTime = 3;
  setting._DefaultPeriod = 7;
  Main().SetInternalSetting(setting);
  Main().Play();
  ASSERT_EQ(Main().xOperation(), TOperation::_Play);
  while (device.IsOpen()) {
    device.ReportDone();
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_TRUE(WaitUntil([&] { return ui.SinglePlayEnds() == 1; }));
  EXPECT_EQ(device.WriteCount(), 6u);  // three seconds of two segments
  EXPECT_TRUE(Main().xEnableChangeData());  // until the user-interface thread completes it
  Main().CompleteSinglePlay();
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
  EXPECT_FALSE(Main().xEnableChangeData());
  EXPECT_EQ(Main().InternalSetting()._PlayTime, 7);
  EXPECT_EQ(view.Glyphs().back(), "_SignalInactive");
  EXPECT_EQ(memory.LiveBlocks(), 0u);
  EXPECT_EQ(device.CloseCalls(), 1);
}

TEST_F(SoundOutTest, GainChangeAnswersChangedAndReachesOnlySegmentsNotYetQueued) {
  Main().Play();
  const auto before = ExpectedSecond(0.1L, 0.1L);
  Main().SetTrackBarGain(TGainSide::_Left, 20);
  Main().ChangeGain();  // returns at once
  const auto after = ExpectedSecond(0.1L * TMainState::TrackBarGain(20), 0.1L);
  ASSERT_TRUE(WaitUntil([&] {
    device.ReportDone();
    const auto writes = device.Writes();
    return writes.back().Data == Packed(after, static_cast<std::int32_t>((writes.size() - 1) % 4), 12000, 16);
  }));
  view.RunLater();  // the answer came in time: nothing to show
  EXPECT_TRUE(view.Messages().empty());
  const auto writes = device.Writes();
  // The two segments queued before the change keep the old gain; from the
  // first segment written after the command was taken on, the new one.
  // (Every second is the same here: the sweep and the noise are muted.)
  std::size_t first = 0;
  while (first < writes.size() && writes[first].Data == Packed(before, static_cast<std::int32_t>(first % 4), 12000, 16))
    ++first;
  EXPECT_GE(first, 2u);
  for (std::size_t i = first; i < writes.size(); ++i)
    EXPECT_EQ(writes[i].Data, Packed(after, static_cast<std::int32_t>(i % 4), 12000, 16)) << i;
}

TEST_F(SoundOutTest, UnansweredGainChangeIsReportedLaterAndMuteUndone) {
  Main();
  Main().SetOperation(TOperation::_Play);  // the thread is idle: it never answers
  bool undone = true;
  EXPECT_TRUE(Main().ToggleMute([&](bool On) { undone = On; }));  // returns without waiting
  Main().ChangeGain();  // a later change: only its check reports
  EXPECT_TRUE(view.Messages().empty());
  view.RunLater();
  EXPECT_EQ(view.Messages(), std::vector<std::string>{"Error - Cannot Change Gain."});
  EXPECT_TRUE(Main().xMute);  // the bar's change came last: the toggle stands
  Main().ToggleMute([&](bool On) { undone = On; });
  view.RunLater();
  EXPECT_EQ(view.Messages().size(), 2u);
  EXPECT_TRUE(Main().xMute);  // undone back to on
  EXPECT_TRUE(undone);
  EXPECT_EQ(Main().OutputGains().OutputMute, 0.0L);
  Main().SetOperation(TOperation::_Stop);
}

// ---------------------------------------------------------------------------
// Late answers and time-outs

TEST_F(SoundOutTest, StopWorksWhenNoDoneEverComes) {
  Main(TProtocolTimeouts{5000, 1000, 200, 200}).Play();
  ASSERT_EQ(Main().xOperation(), TOperation::_Play);
  Main().Stop();  // the device returns no buffer
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(memory.LiveBlocks(), 0u);
}

// A start that is still in progress after the handler's own wait shows as
// playing and is followed from the window's timer; past its bound the play
// ends with one message.
TProtocolTimeouts BoundedStart(TProtocolTimeouts Timeouts, std::uint32_t BoundMs) {
  Timeouts.StartBoundMs = BoundMs;
  return Timeouts;
}

TEST_F(SoundOutTest, PlayWithoutOpenMessageTimesOutAndTheDeviceIsClosed) {
  device.SendOpenMessage = false;
  Main(BoundedStart({50, 50, 50, 50}, 150)).Play();
  EXPECT_EQ(Main().xOperation(), TOperation::_Play);
  ASSERT_TRUE(WaitUntil([&] {
    view.RunLater();
    return Main().xOperation() == TOperation::_Stop;
  }));
  EXPECT_EQ(view.Messages(), std::vector<std::string>{"Error - Cannot Create Wave Data."});
  EXPECT_EQ(view.Glyphs(), (std::vector<std::string>{"_SignalActive", "_SignalInactive"}));
  ASSERT_TRUE(WaitUntil([&] { return device.CloseCalls() == 1; }));
  device.ReportOpen();  // far too late
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(device.WriteCount(), 0u);
  // The _Stopped answering that stop never satisfies the next start.
  device.SendOpenMessage = true;
  const auto start = Main().ThreadSoundOut().Call(kSoundOutStart);
  const auto answer = Main().ThreadSoundOut().AwaitAnswer(start, 5000);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->Status, TSoundOutNotify::_Started);
}

// A busy machine: opening the device and making the first second take a
// second, far longer than the handler's own wait. The play shows at once
// and plays once the thread has started; nothing is shown.
TEST_F(SoundOutTest, ASlowStartIsWaitedForAndPlays) {
  engine.CloseGate();
  auto open = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(1000ms);
    engine.OpenGate();
  });
  Main(TProtocolTimeouts{250, 5000, 5000, 5000}).Play();
  EXPECT_TRUE(WaitUntil([&] {
    view.RunLater();
    return device.WriteCount() == 2 && Main().xOperation() == TOperation::_Play;
  }));
  open.get();
  std::this_thread::sleep_for(50ms);
  view.RunLater();
  EXPECT_EQ(Main().xOperation(), TOperation::_Play);
  EXPECT_TRUE(device.IsOpen());
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_EQ(view.Glyphs(), std::vector<std::string>{"_SignalActive"});
  Main().Stop();
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
}

// Stop while the start is in progress ends the play and the wait for it: a
// start answered later changes nothing.
TEST_F(SoundOutTest, StopEndsAStartInProgress) {
  engine.CloseGate();
  Main(TProtocolTimeouts{50, 5000, 5000, 5000}).Play();
  ASSERT_EQ(Main().xOperation(), TOperation::_Play);
  auto open = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(100ms);
    engine.OpenGate();
  });
  WhileDeviceRuns([&] { Main().Stop(); });
  open.get();
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
  EXPECT_TRUE(WaitUntil([&] { return !device.IsOpen(); }));
  std::this_thread::sleep_for(50ms);
  view.RunLater();
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_EQ(view.Glyphs(), (std::vector<std::string>{"_SignalActive", "_SignalInactive"}));
}

TEST_F(SoundOutTest, LateStartedIsDroppedAndTheLateStartIsStopped) {
  engine.CloseGate();  // the first second takes too long
  Main(BoundedStart({50, 50, 50, 50}, 150)).Play();
  ASSERT_TRUE(WaitUntil([&] {
    view.RunLater();
    return Main().xOperation() == TOperation::_Stop;
  }));
  EXPECT_EQ(view.Messages(), std::vector<std::string>{"Error - Cannot Create Wave Data."});
  // The stop sent on the time-out is served while the first second is
  // still made: the device is closed and the second dropped; nothing plays
  // when the engine comes back, and no _Started is answered.
  ASSERT_TRUE(WaitUntil([&] { return device.CloseCalls() == 1; }));
  engine.OpenGate();
  ASSERT_TRUE(WaitUntil([&] { return memory.LiveBlocks() == 0; }));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(device.WriteCount(), 0u);
  const auto start = Main().ThreadSoundOut().Call(kSoundOutStart);
  const auto answer = Main().ThreadSoundOut().AwaitAnswer(start, 5000);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->Status, TSoundOutNotify::_Started);
  EXPECT_EQ(device.OpenCalls(), 2);
}

// ---------------------------------------------------------------------------
// Failures

TEST_F(SoundOutTest, FailedOpenShowsTheDeviceMessageAndClearsTheCodes) {
  device.OpenResult = 4;  // MMSYSERR_ALLOCATED
  Main().Play();
  EXPECT_EQ(view.Messages(), std::vector<std::string>{"Error - Already Allocated."});
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
  EXPECT_EQ(view.Glyphs(), std::vector<std::string>{"_SignalInactive"});
  EXPECT_EQ(Main().WavMemErr, TWavMemErr::_MemErrNo);
  EXPECT_EQ(Main().WavOutErr, TWavOutErr::_MMSYSERR_No);
}

TEST_F(SoundOutTest, WhileAFileRendersTheThreadTakesNoCommand) {
  Main().SetOperation(TOperation::_Record);
  Main().Play();  // refused in _Record
  std::this_thread::sleep_for(150ms);  // the thread has seen _Record
  Main().ThreadSoundOut().Call(kSoundOutStart);
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(device.OpenCalls(), 0);
  Main().SetOperation(TOperation::_Stop);  // the recording window closed
  EXPECT_TRUE(WaitUntil([&] { return device.OpenCalls() == 1; }));
}

// ---------------------------------------------------------------------------
// Shutdown

// Bounded even when the close message never comes.
TEST_F(SoundOutTest, ShutdownWhilePlayingClosesTheDeviceAndEndsEveryThread) {
  for (const bool closeMessage : {true, false}) {
    SCOPED_TRACE(closeMessage ? "close message" : "no close message");
    main.reset();
    device.SendCloseMessage = closeMessage;
    Main().Play();
    ASSERT_EQ(Main().xOperation(), TOperation::_Play);
    const auto start = std::chrono::steady_clock::now();
    Main().Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              closeMessage ? 2s : std::chrono::milliseconds(TThreadSoundOut::kCloseWaitMs) + 2s);
    EXPECT_EQ(device.CloseCalls(), closeMessage ? 1 : 2);
    EXPECT_EQ(memory.LiveBlocks(), 0u);
  }
}

TEST_F(SoundOutTest, ShutdownWhileIdleEndsEveryLoopPromptly) {
  Main();
  std::this_thread::sleep_for(20ms);  // every thread is inside its wait
  const auto start = std::chrono::steady_clock::now();
  Main().Shutdown();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);  // the display waits 1000 ms unless woken
}

// ---------------------------------------------------------------------------
// Create-wave requests of the main window

TEST_F(SoundOutTest, FetchWithoutAnswerShowsCannotCreateWaveData) {
  Main(TProtocolTimeouts{50, 50, 50, 50});
  Main().WaveBufferL = {1, 2, 3};
  EXPECT_FALSE(Main().FetchWaveData(1.0L, 1.0L));
  EXPECT_EQ(view.Messages(), std::vector<std::string>{"Error - Cannot Create Wave Data."});
  EXPECT_EQ(Main().WaveBufferL, (TWaveBufferInteger{1, 2, 3}));
}

TEST_F(SoundOutTest, FetchQuantisesTheRequestedSecond) {
  Main().RequestCreateWave(kCreateWaveAll);
  ASSERT_TRUE(Main().FetchWaveData(1.0L, 1.0L));
  EXPECT_EQ(Main().WaveBufferL.size(), 48000u);
  const auto expected = ExpectedSecond(1.0L, 1.0L);
  EXPECT_EQ(Main().WaveBufferL, expected[0]);
  Main().RequestCreateWave(kCreateWaveNext);
  ASSERT_TRUE(Main().FetchWaveData(1.0L, 1.0L));
  EXPECT_TRUE(view.Messages().empty());
}

TEST_F(SoundOutTest, CreateWaveWorksOnACopyOfTheRecords) {
  engine.CloseGate();
  Main().RequestCreateWave(kCreateWaveAll);
  ASSERT_TRUE(WaitUntil([&] { return engine.ToneCalls().size() == 1; }));  // generating
  TSignalAttribute muted = Main().SignalAttributeArray()[0];
  muted._OutputChannel = TOutputChannel::_Mute;
  Main().SetSignalAttribute(0, muted);  // an edit while the second is made
  engine.OpenGate();
  ASSERT_TRUE(Main().FetchWaveData(1.0L, 1.0L));
  EXPECT_NE(Main().WaveBufferL[0], 0);  // made from the records as they were
}

class FakeAsioRoad : public TAsioRoad {
 public:
  void Play() override { ++Plays; }
  void Stop() override { ++Stops; }
  void Close() override { ++Closes; }
  void StopHost() override { ++HostStops; }
  int Plays = 0, Stops = 0, Closes = 0;
  std::atomic<int> HostStops{0};
};

TEST_F(SoundOutTest, AsioBranchesAndTheHostStopDecidedByTheSender) {
  FakeAsioRoad road;
  Main().SetAsioRoad(&road);
  Main().SendDisplayStop();  // wave mapper: the host is left alone
  ASSERT_TRUE(WaitUntil([&] { return ui.Charts().size() == 1; }));
  TInternalSetting setting = Main().InternalSetting();
  setting._OutputDevice = TOutputDevice::_ASIO;
  Main().SetInternalSetting(setting);
  Main().SendDisplayStop();
  ASSERT_TRUE(WaitUntil([&] { return road.HostStops.load() == 1; }));
  Main().Play();
  EXPECT_EQ(road.Plays, 1);
  EXPECT_EQ(device.OpenCalls(), 0);
  Main().SetOperation(TOperation::_Play);  // as the road does
  Main().Stop();
  EXPECT_EQ(road.Stops, 1);
  Main().Shutdown();
  EXPECT_EQ(road.Closes, 1);
}

// ---------------------------------------------------------------------------
// Timed plays

// A timed play of T seconds is heard whole at every buffer size: the device
// is reset only after its last segment was reported done, so the reset
// discards nothing; the counter shows T while that segment plays, then 0.
TEST(SoundOutTimedPlay, EverySegmentOfTheLastSecondIsPlayedAndTheCounterReachesT) {
  const struct {
    TWavBufferSize Size;
    std::int32_t Segments;
  } sizes[] = {{TWavBufferSize::_50ms, 20},  {TWavBufferSize::_100ms, 10}, {TWavBufferSize::_125ms, 8},
               {TWavBufferSize::_200ms, 5},  {TWavBufferSize::_250ms, 4},  {TWavBufferSize::_500ms, 2}};
  constexpr std::int32_t kSeconds = 3;
  for (const auto& size : sizes) {
    SCOPED_TRACE(size.Segments);
    TRoad road;
    TInternalSetting setting = road.Main->InternalSetting();
    setting._WavBufferSize = size.Size;
    setting._Repeat = TRepeat::_Single;
    setting._PlayTime = kSeconds;
    setting._DefaultPeriod = 7;
    road.Main->SetInternalSetting(setting);
    road.Main->Play();
    ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
    const std::size_t total = static_cast<std::size_t>(kSeconds * size.Segments);
    for (std::size_t n = 3; n <= total; ++n) {
      ASSERT_TRUE(road.Device.ReportDone());
      ASSERT_TRUE(WaitUntil([&] { return road.Device.WriteCount() == n; }));
    }
    // The last-but-one segment is done: the last one plays, nothing follows.
    ASSERT_TRUE(road.Device.ReportDone());
    ASSERT_TRUE(WaitUntil([&] {
      const auto shown = road.Ui.PlayTimes();
      return !shown.empty() && shown.back() == std::to_string(kSeconds);
    }));
    EXPECT_TRUE(road.Device.IsOpen());
    EXPECT_EQ(road.Device.Queued(), 1u);
    EXPECT_FALSE(road.Main->xEnableChangeData());  // Stop still works while it plays
    ASSERT_TRUE(road.Device.ReportDone());
    ASSERT_TRUE(WaitUntil([&] { return road.Ui.SinglePlayEnds() == 1; }));
    EXPECT_EQ(road.Device.WriteCount(), total);
    EXPECT_EQ(road.Device.Discarded(), 0);
    EXPECT_EQ(road.Device.CloseCalls(), 1);
    ASSERT_TRUE(WaitUntil([&] { return road.Ui.PlayTimes().back() == "0"; }));
    road.Main->CompleteSinglePlay();
    EXPECT_EQ(road.Main->xOperation(), TOperation::_Stop);
    EXPECT_EQ(road.Main->InternalSetting()._PlayTime, 7);
    EXPECT_EQ(road.Memory.LiveBlocks(), 0u);
    // What was written is the set, second after second (the sweep and the
    // noise are muted: every second is the same).
    const auto second = ExpectedFirstSecond(*road.Main, 0.1L, 0.1L);
    const std::int32_t frames = 48000 / size.Segments;
    const auto writes = road.Device.Writes();
    for (std::size_t i = 0; i < writes.size(); ++i)
      EXPECT_EQ(writes[i].Data, Packed(second, static_cast<std::int32_t>(i) % size.Segments, frames, 16)) << i;
  }
}

// A Stop while the last segment of a timed play plays stops it as any Stop.
TEST(SoundOutTimedPlay, StopDuringTheLastSegmentIsAnsweredStopped) {
  TRoad road;
  road.SetTimedPlay(TWavBufferSize::_500ms, 1);
  road.Main->Play();
  ASSERT_TRUE(road.Device.ReportDone());  // the last segment of the only second plays
  ASSERT_TRUE(WaitUntil([&] { return !road.Ui.PlayTimes().empty() && road.Ui.PlayTimes().back() == "1"; }));
  road.Main->Stop();
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Stop);
  EXPECT_TRUE(road.View.Messages().empty());
  EXPECT_EQ(road.Device.Discarded(), 1);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(road.Ui.SinglePlayEnds(), 0);
  road.Main->Play();  // and it plays again
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Play);
}

// ---------------------------------------------------------------------------
// Faults of the device, the memory and the engine. Each ends the play: the
// device closed, nothing left allocated or freed while the device held it,
// the window in _Stop with exactly one message, and the next Play works.

struct TFault {
  const char* Name;
  std::function<void(TRoad&)> Inject;
  const char* Message;
};

TEST(SoundOutFaults, FaultsWhileStartingEndInStopWithOneMessage) {
  const TFault faults[] = {
      {"prepare fails", [](TRoad& r) { r.Device.FailPrepare = 2; }, "Error - Cannot Write Wave Out Device."},
      {"first write fails", [](TRoad& r) { r.Device.FailWrite = 1; }, "Error - Cannot Write Wave Out Device."},
      {"second write fails", [](TRoad& r) { r.Device.FailWrite = 2; }, "Error - Cannot Write Wave Out Device."},
      {"engine throws", [](TRoad& r) { r.Engine.Throw = true; }, "Error - Worker Thread Failed."},
      {"no heap", [](TRoad& r) { r.Memory.FailCreateHeap = true; }, "Error - Cannot Creat Local Heap Memory."},
      {"no header", [](TRoad& r) { r.Memory.FailHeapBlock = 2; }, "Error - Cannot Allocate Heap Memory."},
      {"no pages", [](TRoad& r) { r.Memory.FailPages = 2; }, "Error - Cannot Allocate Virtual Memory."},
  };
  for (const TFault& fault : faults) {
    SCOPED_TRACE(fault.Name);
    TRoad road;
    fault.Inject(road);
    road.Main->Play();
    road.ExpectCleanEnd(road.View.Messages(), fault.Message);
    EXPECT_TRUE(road.Ui.Messages().empty());
    road.Device.FailPrepare = road.Device.FailWrite = 0;
    road.Engine.Throw = false;
    road.Memory.FailCreateHeap = false;
    road.Memory.FailHeapBlock = road.Memory.FailPages = 0;
    road.Main->Play();
    EXPECT_EQ(road.Main->xOperation(), TOperation::_Play);
  }
}

TEST(SoundOutFaults, FaultsWhilePlayingEndInStopWithOneMessage) {
  const TFault faults[] = {
      {"a later write fails", [](TRoad& r) { r.Device.FailWrite = 4; }, "Error - Cannot Write Wave Out Device."},
      {"the system closes the device", [](TRoad& r) { r.Device.CloseBySystem(); }, "Error - Output Device Stopped."},
      {"the device stalls", nullptr, "Error - Output Device Stopped."},
      {"engine throws", [](TRoad& r) { r.Engine.Throw = true; }, "Error - Worker Thread Failed."},
  };
  for (const TFault& fault : faults) {
    SCOPED_TRACE(fault.Name);
    TProtocolTimeouts timeouts{5000, 5000, 5000, 5000};
    timeouts.DeviceStallMs = 300;
    TRoad road(timeouts);
    TSignalAttribute noise = road.Main->SignalAttributeArray()[5];
    noise._OutputChannel = TOutputChannel::_Both;  // generated every second
    road.Main->SetSignalAttribute(5, noise);
    road.Main->Play();
    ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
    if (fault.Inject) fault.Inject(road);
    // The device keeps playing (except when it stalls) until the play ends;
    // the thread posts the end, then the message.
    ASSERT_TRUE(WaitUntil([&] {
      if (fault.Inject) road.Device.ReportDone();
      return road.Ui.SinglePlayEnds() == 1 && !road.Ui.Messages().empty();
    }));
    road.Main->CompleteSinglePlay();  // what the user-interface thread does with the post
    road.ExpectCleanEnd(road.Ui.Messages(), fault.Message);
    EXPECT_TRUE(road.View.Messages().empty());
    ASSERT_TRUE(WaitUntil([&] { return !road.Ui.Charts().empty() && road.Ui.Charts().back().first.empty(); }));
    road.Device.FailWrite = 0;
    road.Engine.Throw = false;
    road.Main->Play();
    EXPECT_EQ(road.Main->xOperation(), TOperation::_Play);
  }
}

TEST_F(SoundOutTest, CloseIsRetriedAndAHeldBufferNeverFreed) {
  memory.HeldByDevice = [this](const void* p) { return device.Holds(p); };
  device.CloseFailures = 1;  // fails once, then works
  Main().Play();
  Main().Stop();
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_EQ(memory.LiveBlocks(), 0u);

  device.CloseFailures = 1000;  // never closes
  Main().Play();
  Main().Stop();
  EXPECT_EQ(view.Messages(), std::vector<std::string>{"Error - Cannot Stop Playing."});
  EXPECT_EQ(Main().xOperation(), TOperation::_Play);  // still open: Stop can be pressed again
  EXPECT_GT(memory.LiveBlocks(), 0u);
  EXPECT_EQ(memory.FreedWhileHeld(), 0);
  device.CloseFailures = 0;
  Main().Stop();
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
  EXPECT_EQ(memory.LiveBlocks(), 0u);

  // At shutdown a device that will not close keeps its memory.
  device.CloseFailures = 1000;
  Main().Play();
  EXPECT_FALSE(Main().Shutdown());
  EXPECT_GT(memory.LiveBlocks(), 0u);
  EXPECT_EQ(memory.FreedWhileHeld(), 0);
}

TEST_F(SoundOutTest, CommandsDuringOpeningAndClosingAreServedNotDropped) {
  // A Play pressed again after a Play that timed out is answered.
  engine.CloseGate();  // the first second takes long
  Main(BoundedStart({2000, 5000, 5000, 5000}, 100)).Play();
  ASSERT_TRUE(WaitUntil([&] {
    view.RunLater();
    return Main().xOperation() == TOperation::_Stop;
  }));
  auto open = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(30ms);
    engine.OpenGate();
  });
  Main().Play();
  open.get();
  EXPECT_EQ(Main().xOperation(), TOperation::_Play);
  Main().Stop();

  // A Stop that lands as a timed play ends is answered _Stopped.
  TInternalSetting setting = Main().InternalSetting();
  setting._Repeat = TRepeat::_Single;
  setting._PlayTime = 1;
  Main().SetInternalSetting(setting);
  device.SendCloseMessage = false;  // the end waits for the close message
  Main().Play();
  ASSERT_TRUE(WaitUntil([&] {
    device.ReportDone();
    return !device.IsOpen();
  }));
  const auto stop = Main().ThreadSoundOut().Call(kSoundOutStop);
  const auto answer = Main().ThreadSoundOut().AwaitAnswer(stop, 5000);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->Status, TSoundOutNotify::_Stopped);
  EXPECT_TRUE(WaitUntil([&] { return ui.SinglePlayEnds() == 1; }));
}

// The threads are waited for side by side: a shutdown with two threads that
// do not end returns after the one deadline, not after one per thread.
TEST_F(SoundOutTest, ShutdownWaitsOneDeadlineForAllThreads) {
  memory.HeldByDevice = [this](const void* p) { return device.Holds(p); };
  TProtocolTimeouts timeouts{5000, 300, 300, 300};
  timeouts.ShutdownWaitMs = 600;
  Main(timeouts).Play();
  ASSERT_EQ(Main().xOperation(), TOperation::_Play);
  device.BlockReset();  // the sound-out thread will not return from its reset
  engine.CloseGate();   // nor the create-wave thread from its second
  Main().RequestCreateWave(kCreateWaveAll);
  ASSERT_TRUE(WaitUntil([&] { return engine.ToneCalls().size() >= 2; }));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Main().Shutdown());
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 550ms);
  EXPECT_LT(took, 1100ms);  // one wait after the other takes 1200 ms
  EXPECT_TRUE(Main().ThreadDisplayOut().Ended());
  device.ReleaseReset();
  engine.OpenGate();
  ASSERT_TRUE(WaitUntil([&] { return Main().ThreadSoundOut().Ended() && Main().ThreadCreateWave().Ended(); }));
  EXPECT_EQ(memory.FreedWhileHeld(), 0);
}

// The deadline runs from the moment the threads are told to end: time spent
// between that and the wait (the windows going) counts.
TEST_F(SoundOutTest, ShutdownDeadlineRunsFromItsBeginning) {
  TProtocolTimeouts timeouts{5000, 300, 300, 300};
  timeouts.ShutdownWaitMs = 400;
  Main(timeouts).Play();
  device.BlockReset();
  Main().BeginShutdown();
  std::this_thread::sleep_for(500ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Main().Shutdown());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms);
  device.ReleaseReset();
  ASSERT_TRUE(WaitUntil([&] { return Main().ThreadSoundOut().Ended(); }));
}

TEST_F(SoundOutTest, StalledDeviceNeitherHangsStopNorShutdown) {
  memory.HeldByDevice = [this](const void* p) { return device.Holds(p); };
  TProtocolTimeouts timeouts{5000, 300, 300, 300};
  timeouts.ShutdownWaitMs = 300;
  Main(timeouts).Play();
  device.BlockReset();  // the reset does not return
  Main().Stop();
  EXPECT_EQ(view.Messages(), std::vector<std::string>{"Error - Output Device Stopped."});
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
  EXPECT_FALSE(Main().Shutdown());  // the thread stays behind, nothing freed under it
  EXPECT_GT(memory.LiveBlocks(), 0u);
  device.ReleaseReset();  // the device comes back: the thread closes it and ends
  ASSERT_TRUE(WaitUntil([&] { return Main().ThreadSoundOut().Ended(); }));
  EXPECT_EQ(memory.LiveBlocks(), 0u);
  EXPECT_EQ(memory.FreedWhileHeld(), 0);
}

// Closing the window while the device hangs: the close neither waits out
// the stop time-out nor shows a message, and the shutdown does not wait for
// the thread stuck inside the device. Before the device hangs the thread
// may be between device calls (the close's own reset then hangs) or already
// inside the reset of a play that its stall check ended.
TEST_F(SoundOutTest, CloseWhileTheDeviceHangsEndsQuicklyAndQuietly) {
  for (const bool stallNoticed : {false, true}) {
    SCOPED_TRACE(stallNoticed ? "the play noticed the stall" : "the close comes first");
    main.reset();
    memory.HeldByDevice = [this](const void* p) { return device.Holds(p); };
    TProtocolTimeouts timeouts{5000, 5000, 5000, 5000};
    timeouts.ShutdownWaitMs = 5000;
    timeouts.DeviceStallMs = stallNoticed ? 100 : 60000;
    timeouts.DeviceHangMs = 200;
    Main(timeouts).Play();
    ASSERT_EQ(Main().xOperation(), TOperation::_Play);
    device.BlockReset();  // the reset does not return
    if (stallNoticed) {
      ASSERT_TRUE(WaitUntil([&] { return ui.SinglePlayEnds() == 1; }));
      ASSERT_TRUE(WaitUntil([&] { return Main().ThreadSoundOut().InsideDevice(0); }));
    }
    const std::size_t shown = view.Messages().size();
    const auto start = std::chrono::steady_clock::now();
    Main().Close();
    Main().BeginShutdown();
    EXPECT_FALSE(Main().Shutdown());  // the thread stays behind, nothing freed under it
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    EXPECT_EQ(view.Messages().size(), shown);
    EXPECT_EQ(Main().xOperation(), stallNoticed ? TOperation::_Play : TOperation::_Stop);  // the post is not run
    EXPECT_TRUE(Main().ThreadCreateWave().Ended());
    EXPECT_TRUE(Main().ThreadDisplayOut().Ended());
    EXPECT_EQ(memory.FreedWhileHeld(), 0);
    device.ReleaseReset();  // the device comes back: the thread closes it and ends
    ASSERT_TRUE(WaitUntil([&] { return Main().ThreadSoundOut().Ended(); }));
    EXPECT_EQ(memory.LiveBlocks(), 0u);
    EXPECT_EQ(memory.FreedWhileHeld(), 0);
  }
}

// A reset that is only slow is waited for: the close stops the play as Stop
// does, and the shutdown closes nothing twice.
TEST_F(SoundOutTest, CloseWaitsForASlowResetThatReturns) {
  TProtocolTimeouts timeouts{5000, 5000, 5000, 5000};
  timeouts.DeviceHangMs = 300;
  Main(timeouts).Play();
  device.BlockReset();
  auto release = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(100ms);
    device.ReleaseReset();
  });
  Main().Close();
  release.get();
  EXPECT_EQ(Main().xOperation(), TOperation::_Stop);
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(memory.LiveBlocks(), 0u);
  EXPECT_TRUE(Main().Shutdown());
  EXPECT_EQ(device.CloseCalls(), 1);
}

}  // namespace
