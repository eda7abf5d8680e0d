// The command protocol's pieces, the display thread and the create-wave
// thread, with fakes and short time-outs.
#include <gtest/gtest.h>

#include <thread>

#include "Fakes.h"
#include "app/UnitThread.h"

namespace {

using namespace std::chrono_literals;
using fakes::WaitUntil;

// ---------------------------------------------------------------------------
// Events, mailbox, answers

TEST(AutoResetEvent, SignalIsConsumedByOneWaitAndCountsOnce) {
  TPortableAutoResetEvent event("EventCallSoundOut");
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(5));
  std::thread setter([&] {
    std::this_thread::sleep_for(5ms);
    event.Set();
  });
  EXPECT_TRUE(event.Wait(5000));
  setter.join();
}

// The sound-out thread's rule: a gain change never replaces a stop or a
// start not yet taken (it is dropped); everything else replaces what waits.
TEST(CommandMailbox, AGainChangeNeverReplacesAPendingStopOrStart) {
  TCommandMailbox<std::uint8_t> mailbox{SoundOutKeeps};
  for (const std::uint8_t kept : {kSoundOutStop, kSoundOutStart}) {
    SCOPED_TRACE(int(kept));
    const auto first = mailbox.Post(kept);
    const auto gain = mailbox.Post(kSoundOutGainChanged);
    EXPECT_GT(gain, first);
    const auto taken = mailbox.Take();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->Code, kept);
    EXPECT_EQ(taken->Sequence, first);
    EXPECT_FALSE(mailbox.Take());
  }
  // A later stop or start replaces a gain change, a start a stop, a stop a
  // start, a gain change a gain change.
  const std::uint8_t pairs[][2] = {{kSoundOutGainChanged, kSoundOutStop},
                                   {kSoundOutGainChanged, kSoundOutStart},
                                   {kSoundOutStop, kSoundOutStart},
                                   {kSoundOutStart, kSoundOutStop},
                                   {kSoundOutGainChanged, kSoundOutGainChanged}};
  for (const auto& pair : pairs) {
    SCOPED_TRACE(int(pair[0]) * 10 + pair[1]);
    mailbox.Post(pair[0]);
    const auto later = mailbox.Post(pair[1]);
    const auto taken = mailbox.Take();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->Code, pair[1]);
    EXPECT_EQ(taken->Sequence, later);
  }
  EXPECT_FALSE(SoundOutKeeps(kSoundOutGainChanged, kSoundOutGainChanged));
}

TEST(CommandMailbox, LaterCommandReplacesOneNotYetTaken) {
  TCommandMailbox<int> mailbox;
  EXPECT_FALSE(mailbox.Take());
  const auto first = mailbox.Post(2, 20);
  const auto second = mailbox.Post(3, 30);
  EXPECT_LT(first, second);
  const auto taken = mailbox.Take();
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->Code, 3);
  EXPECT_EQ(taken->Sequence, second);
  EXPECT_EQ(taken->Payload, 30);
  EXPECT_FALSE(mailbox.Take());
}

TEST(AnswerChannel, LateAnswerIsDroppedAndReportedAsStale) {
  TAnswerChannel<TSoundOutNotify, int> channel(std::make_unique<TPortableAutoResetEvent>());
  channel.Publish(TSoundOutNotify::_Changed, 1);  // answer to a request that gave up
  std::optional<TSoundOutNotify> stale;
  EXPECT_FALSE(channel.Await(2, 20, &stale));
  EXPECT_EQ(stale, TSoundOutNotify::_Changed);

  std::thread answer([&] {
    std::this_thread::sleep_for(5ms);
    channel.Publish(TSoundOutNotify::_Stopped, 2, 7);
  });
  const auto got = channel.Await(2, 5000);
  answer.join();
  ASSERT_TRUE(got);
  EXPECT_EQ(got->Status, TSoundOutNotify::_Stopped);
  EXPECT_EQ(got->Detail, 7);
}

// ---------------------------------------------------------------------------
// Display thread

TEST(DisplayOut, PlayTimeCaption) {
  struct Case {
    std::int32_t Seconds;
    const char* Caption;
    std::int32_t Kept;
  };
  for (const Case& c : {Case{0, "0", 0}, Case{999, "999", 999}, Case{1000, "---", 1000},
                        Case{1500, "---", 1000}}) {
    std::int32_t seconds = c.Seconds;
    EXPECT_EQ(TThreadDisplayOut::PlayTimeCaption(seconds), c.Caption) << c.Seconds;
    EXPECT_EQ(seconds, c.Kept) << c.Seconds;
  }
}

class DisplayOutTest : public ::testing::Test {
 protected:
  TPortableAutoResetEvent call{"EventCallDisplayOut"};
  fakes::TFakeUserInterface ui;
  TThreadDisplayOut display{call, ui};
};

TEST_F(DisplayOutTest, LaterOfTwoCommandsBeforeTheThreadWakesIsCarriedOut) {
  display.HandOver(TWaveBufferInteger(10, 5), TWaveBufferInteger(10, -5), 1500);
  display.Call(kDisplayPlayTime);
  display.Call(kDisplayCharts);
  display.Start();
  ASSERT_TRUE(WaitUntil([&] { return ui.Charts().size() == 1; }));
  display.Call(kDisplayPlayTime);  // a later command, to know the first has gone by
  ASSERT_TRUE(WaitUntil([&] { return ui.PlayTimes().size() == 1; }));
  EXPECT_EQ(ui.Charts().size(), 1u);
  EXPECT_EQ(ui.PlayTimes(), std::vector<std::string>{"---"});
}

TEST_F(DisplayOutTest, ChartsShowAtMost1023PointsAndStopClearsEverything) {
  display.Start();
  TWaveBufferInteger left(48000), right(48000);
  for (std::size_t i = 0; i < left.size(); ++i) {
    left[i] = static_cast<std::int32_t>(i);
    right[i] = -static_cast<std::int32_t>(i);
  }
  display.HandOver(left, right, 7);
  display.Call(kDisplayPlayTimeAndCharts);
  ASSERT_TRUE(WaitUntil([&] { return ui.Charts().size() == 1; }));
  auto chart = ui.Charts()[0];
  ASSERT_EQ(chart.first.size(), 1023u);
  EXPECT_EQ(chart.first[1022], 1022);
  EXPECT_EQ(chart.second[1022], -1022);
  EXPECT_EQ(ui.PlayTimes().back(), "7");

  bool hostStopped = false;
  display.Call(kDisplayStop, [&] { hostStopped = true; });
  ASSERT_TRUE(WaitUntil([&] { return ui.Charts().size() == 2; }));
  EXPECT_TRUE(ui.Charts()[1].first.empty());
  EXPECT_TRUE(ui.Charts()[1].second.empty());
  EXPECT_EQ(ui.PlayTimes().back(), "0");
  display.Terminate();
  display.WaitFor();  // the hook ran on the display thread before
  EXPECT_TRUE(hostStopped);
}

TEST_F(DisplayOutTest, FailedUpdateIsReportedOnceAndTheNextCommandServed) {
  display.Start();
  ui.ThrowOnChart = true;
  display.Call(kDisplayCharts);
  ASSERT_TRUE(WaitUntil([&] { return ui.Messages().size() == 1; }));
  EXPECT_EQ(ui.Messages().front(), "Error - Worker Thread Failed.");
  ui.ThrowOnChart = false;
  display.Call(kDisplayCharts);
  EXPECT_TRUE(WaitUntil([&] { return ui.Charts().size() == 1; }));
}

TEST_F(DisplayOutTest, UnknownCommandAndStopWithoutHostDoNothingElse) {
  display.Start();
  display.Call(7);
  display.Call(kDisplayStop);  // the wave-out road: no host to stop
  ASSERT_TRUE(WaitUntil([&] { return ui.Charts().size() == 1; }));
  EXPECT_EQ(ui.PlayTimes().size(), 1u);
}

// ---------------------------------------------------------------------------
// Create-wave thread

TSynthesisInputs Inputs(TFFTuse FFTuse = TFFTuse::_NoUse) {
  TSynthesisInputs inputs;
  inputs.xChannelNumber = 6;
  inputs.PCMFormat = TPCMFormat{8000, 16, TRounding::_RNE, TDither::_White, TNoiseShaping::_Off};
  inputs.InternalSetting._FFTuse = FFTuse;
  TSignalAttribute record{};
  record._Frequency = 1000;
  record._Amplitude = -6;
  record._OutputChannel = TOutputChannel::_Mute;
  record._SweepPeriod = 2;
  inputs.SignalAttributeArray.assign(6, record);
  inputs.SignalAttributeArray[0]._OutputChannel = TOutputChannel::_Both;
  inputs.SignalAttributeArray[1]._OutputChannel = TOutputChannel::_Lch;
  inputs.SignalAttributeArray[1]._Waveform = TWaveform::_Square;
  inputs.SignalAttributeArray[4]._Waveform = TWaveform::_Sweep;
  inputs.SignalAttributeArray[4]._OutputChannel = TOutputChannel::_Rch;
  inputs.SignalAttributeArray[5]._Waveform = TWaveform::_Noise;
  inputs.SignalAttributeArray[5]._OutputChannel = TOutputChannel::_Both;
  return inputs;
}

class CreateWaveTest : public ::testing::Test {
 protected:
  void SetUp() override { thread.Start(); }
  TPortableAutoResetEvent call{"EventCallCreateWave"};
  fakes::TFakeEngine engine;
  TThreadCreateWave thread{call, PortableEventFactory(), engine};
};

TEST_F(CreateWaveTest, CommandsZeroThenOneAlternateTheSlotsAndContinueTheSweep) {
  const auto first = thread.Fetch(thread.Call(kCreateWaveAll, Inputs()), 5000);
  ASSERT_NE(first, nullptr);
  const auto second = thread.Fetch(thread.Call(kCreateWaveNext), 5000);
  ASSERT_NE(second, nullptr);
  const auto third = thread.Fetch(thread.Call(kCreateWaveNext), 5000);
  EXPECT_NE(first, second);
  EXPECT_EQ(first, third);
  // The sweep (right channel only) continues one second later, then wraps
  // after its period of two seconds.
  EXPECT_EQ(engine.SweepStarts(), (std::vector<std::int32_t>{0, 8000, 0}));
  // Right at frame 0: the mean of the tone (-level), the sweep from 8000 and
  // the second noise.
  const long double expected = (-std::pow(10.0L, -6.0L / 20.0L) + 8000.0L / 1.0e7L + 2.0L / 1.0e4L) / 3.0L;
  EXPECT_NEAR(static_cast<double>((*second)[1][0]), static_cast<double>(expected), 1e-15);
  // Muted records are skipped; tones are made once, sweep and noise each second.
  EXPECT_EQ(engine.ToneCalls().size(), 2u);
  EXPECT_EQ(engine.NoiseMethods().size(), 3u);
}

TEST_F(CreateWaveTest, FFTuseChoosesTheInverseTransformAndSpectralPinkNoise) {
  ASSERT_NE(thread.Fetch(thread.Call(kCreateWaveAll, Inputs(TFFTuse::_Use)), 5000), nullptr);
  ASSERT_NE(thread.Fetch(thread.Call(kCreateWaveAll, Inputs(TFFTuse::_NoUse)), 5000), nullptr);
  const auto tones = engine.ToneCalls();
  ASSERT_EQ(tones.size(), 4u);
  EXPECT_TRUE(tones[0].InverseTransform && tones[1].InverseTransform);
  EXPECT_FALSE(tones[2].InverseTransform || tones[3].InverseTransform);
  EXPECT_EQ(engine.NoiseMethods(), (std::vector<TPinkNoiseMethod>{TPinkNoiseMethod::_LPF, TPinkNoiseMethod::_Kellet}));
}

TEST_F(CreateWaveTest, LateResultNeverSatisfiesALaterRequest) {
  engine.CloseGate();
  const auto late = thread.Call(kCreateWaveAll, Inputs());
  EXPECT_EQ(thread.Fetch(late, 20), nullptr);  // the requester gives up
  ASSERT_TRUE(WaitUntil([&] { return engine.ToneCalls().size() == 1; }));
  const auto next = thread.Call(kCreateWaveAll, Inputs());
  engine.OpenGate();
  const auto second = thread.Fetch(next, 5000);
  ASSERT_NE(second, nullptr);
  // The late result went into slot 0; the answer taken is the later one's
  // (made with the late one's tones: the set has not changed).
  EXPECT_EQ(engine.ToneCalls().size(), 2u);
  EXPECT_EQ(engine.NoiseMethods().size(), 2u);
  EXPECT_EQ(thread.Fetch(late, 0), nullptr);
}

TEST_F(CreateWaveTest, EngineFailureIsAnsweredAndTheNextCommandServed) {
  ASSERT_NE(thread.Fetch(thread.Call(kCreateWaveAll, Inputs()), 5000), nullptr);
  engine.Throw = true;  // memory runs out
  EXPECT_EQ(thread.Fetch(thread.Call(kCreateWaveAll, Inputs()), 5000), nullptr);
  engine.Throw = false;
  EXPECT_EQ(thread.Fetch(thread.Call(kCreateWaveNext), 5000), nullptr);  // that series is over
  EXPECT_NE(thread.Fetch(thread.Call(kCreateWaveAll, Inputs()), 5000), nullptr);
}

TEST_F(CreateWaveTest, NextSecondWithoutAFirstFails) {
  EXPECT_EQ(thread.Fetch(thread.Call(kCreateWaveNext), 5000), nullptr);
  EXPECT_EQ(thread.Fetch(thread.Call(9), 20), nullptr);  // ignored: no answer
}

// ---------------------------------------------------------------------------
// Wave-out format and packing

TEST(WaveOut, SegmentsAndFormat) {
  const std::pair<TWavBufferSize, std::int32_t> segments[] = {
      {TWavBufferSize::_50ms, 20}, {TWavBufferSize::_100ms, 10}, {TWavBufferSize::_125ms, 8},
      {TWavBufferSize::_200ms, 5}, {TWavBufferSize::_250ms, 4},  {TWavBufferSize::_500ms, 2}};
  for (const auto& [size, count] : segments) EXPECT_EQ(SegmentsPerSecond(size), count);
  EXPECT_EQ(FramesPerSegment(48000, 4), 12000);
  EXPECT_EQ(FramesPerSegment(44100, 8), 5513);

  const auto f16 = WaveOutFormat({48000, 16, TRounding::_RNE, TDither::_White, TNoiseShaping::_Off});
  EXPECT_EQ(f16.Format.wFormatTag, 0xFFFE);
  EXPECT_EQ(f16.Format.nChannels, 2);
  EXPECT_EQ(f16.Format.wBitsPerSample, 16);
  EXPECT_EQ(f16.Format.nBlockAlign, 4);
  EXPECT_EQ(f16.Format.nAvgBytesPerSec, 192000u);
  EXPECT_EQ(f16.Format.cbSize, 22);
  EXPECT_EQ(f16.Samples.wValidBitsPerSample, 16);
  EXPECT_EQ(f16.dwChannelMask, 3u);
  EXPECT_EQ(std::memcmp(&f16.SubFormat, &PCMSubFormatGuid, sizeof(TGuid)), 0);
  const auto f24 = WaveOutFormat({96000, 24, TRounding::_RNE, TDither::_White, TNoiseShaping::_Off});
  EXPECT_EQ(f24.Format.wBitsPerSample, 32);
  EXPECT_EQ(f24.Format.nBlockAlign, 8);
  EXPECT_EQ(f24.Samples.wValidBitsPerSample, 24);
  EXPECT_EQ(BytesPerFrame(16), 4u);
  EXPECT_EQ(BytesPerFrame(20), 8u);
}

TEST(WaveOut, PackingOfSixteenAndWiderSamples) {
  const TWaveBufferInteger left{1, -2, 32766, -32766, 5}, right{-1, 3, -32766, 0, 6};
  std::uint32_t words[6];
  PackSegment(left, right, 0, 3, 16, words);
  EXPECT_EQ(words[0], 0xFFFF0001u);
  EXPECT_EQ(words[1], 0x0003FFFEu);
  EXPECT_EQ(words[2], 0x80027FFEu);
  // The second segment runs past the end of the second: silence.
  PackSegment(left, right, 1, 3, 16, words);
  EXPECT_EQ(words[0], 0x00008002u);
  EXPECT_EQ(words[1], 0x00060005u);
  EXPECT_EQ(words[2], 0u);

  struct Case {
    std::int32_t Bits;
    std::uint32_t Left, Right;
  };
  for (const Case& c : {Case{24, 0x00000100u, 0xFFFFFF00u}, Case{20, 0x00001000u, 0xFFFFF000u},
                        Case{32, 0x00000001u, 0xFFFFFFFFu}}) {
    PackSegment(TWaveBufferInteger{1}, TWaveBufferInteger{-1}, 0, 3, c.Bits, words);
    EXPECT_EQ(words[0], c.Left) << c.Bits;
    EXPECT_EQ(words[1], c.Right) << c.Bits;
    EXPECT_EQ(words[2], 0u);
    EXPECT_EQ(words[5], 0u);
  }
}

TEST(WaveOut, OpenResultsMapToErrorCodes) {
  const std::pair<std::uint32_t, TWavOutErr> map[] = {
      {0, TWavOutErr::_MMSYSERR_No},           {4, TWavOutErr::_MMSYSERR_ALLOCATED},
      {2, TWavOutErr::_MMSYSERR_BADDEVICEID},  {6, TWavOutErr::_MMSYSERR_NODRIVER},
      {7, TWavOutErr::_MMSYSERR_NOMEM},        {35, TWavOutErr::_WAVERR_SYNC},
      {32, TWavOutErr::_WAVERR_BADFORMAT},     {1, TWavOutErr::_MMSYSERR_No}};
  for (const auto& [result, code] : map) EXPECT_EQ(WavOutErrFromResult(result), code) << result;
}

}  // namespace
