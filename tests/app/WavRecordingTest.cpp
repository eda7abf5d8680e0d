// The main window's WAV writer over the create-wave thread: seconds in order
// from the start of the sweep, the progress bar, the window closed only after
// a complete file, failures reported.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <thread>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Fakes.h"
#include "WavTestSupport.h"
#include "app/WavRecording.h"
#include "synthesis/UnitFunction.h"

namespace {

class TFakeRecordingWindow final : public TWavRecordingWindow {
 public:
  std::filesystem::path FileName;
  std::vector<std::int32_t> Steps;
  std::vector<std::string> Messages;
  int Closed = 0;
  std::function<void()> OnStep;
  std::function<void()> OnMessage;
  // Runs where the window handles its events; its answer cancels the file.
  std::function<bool()> OnEvents;
  int EventPasses = 0;

  // Runs where the writer reads the window's progress bar, before the file
  // is created; and inside CloseWindow.
  std::function<void()> OnBegin;
  std::function<void()> OnClose;

  std::filesystem::path WavFileName() const override { return FileName; }
  std::int32_t ProgressMax() const override {
    if (OnBegin) OnBegin();
    return 100;
  }
  void StepProgress(std::int32_t Step) override {
    Steps.push_back(Step);
    if (OnStep) OnStep();
  }
  void ShowErrorMessage(std::string_view Text) override {
    Messages.emplace_back(Text);
    if (OnMessage) OnMessage();
  }
  void CloseWindow() override {
    ++Closed;
    if (OnClose) OnClose();
  }
  bool KeepResponsive() {
    ++EventPasses;
    return OnEvents && OnEvents();
  }
};

class WavRecordingTest : public ::testing::Test {
 protected:
  WavRecordingTest()
      : state(TMainServices{PortableEventFactory(), device, memory, engine, ui, view, {1000, 1000, 300, 200}}) {}

  void SetRecordTime(std::int32_t Seconds) {
    TInternalSetting setting = state.InternalSetting();
    setting._RecordTime = Seconds;
    state.SetInternalSetting(setting);
  }

  wavtest::TScratchDir dir{"recording"};
  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  fakes::TFakeEngine engine;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  TMainState state;
  TFakeRecordingWindow window;
};

TEST_F(WavRecordingTest, WritesEverySecondFromTheStartOfTheSweepAndClosesTheWindow) {
  // The sweep audible, so that its start shows in the engine's calls.
  TSignalAttribute sweep = state.SignalAttributeArray()[4];
  sweep._OutputChannel = TOutputChannel::_Both;
  state.SetSignalAttribute(4, sweep);
  state.SweepStartTime = 12345;  // left over from a play
  SetRecordTime(3);
  window.FileName = dir / "tone.wav";

  const TWavRenderResult result = CreateWavFile(state, window);

  // The file, the progress steps and the closing window are the recording
  // end-to-end test's; here every second asks for the sweep from its start.
  ASSERT_TRUE(result.Completed()) << result.Message;
  EXPECT_EQ(engine.SweepStarts(), (std::vector<std::int32_t>{0, 48000, 96000}));
}

TEST_F(WavRecordingTest, ASecondThatDoesNotComeIsReportedOnceAndKeepsItsPlace) {
  TSignalAttribute sweep = state.SignalAttributeArray()[4];
  sweep._OutputChannel = TOutputChannel::_Both;
  state.SetSignalAttribute(4, sweep);
  SetRecordTime(3);
  window.FileName = dir / "late.wav";
  engine.CloseGate();  // the first second is late
  window.OnMessage = [this] { engine.OpenGate(); };

  const TWavRenderResult result = CreateWavFile(state, window);

  ASSERT_TRUE(result.Completed()) << result.Message;
  EXPECT_EQ(result.MissingSeconds, 1);
  EXPECT_EQ(window.Messages, (std::vector<std::string>{"Error - Cannot Create Wave Data."}));
  EXPECT_EQ(window.Steps.size(), 3u);
  EXPECT_EQ(window.Closed, 1);
  // The late series (sweep at 0) is dropped; a new one starts where the
  // second second belongs, and the third continues it.
  EXPECT_EQ(engine.SweepStarts(), (std::vector<std::int32_t>{0, 48000, 96000}));
  const auto bytes = wavtest::ReadBytes(window.FileName);
  ASSERT_EQ(bytes.size(), 44u + 3u * 48000u * 4u);
  // The late first second is silence; the second one is the signal.
  EXPECT_EQ(wavtest::U32At(bytes, 44), 0u);
  bool signal = false;
  for (std::size_t at = 44 + 48000 * 4; at < bytes.size(); at += 4) signal |= wavtest::U32At(bytes, at) != 0;
  EXPECT_TRUE(signal);
}

// A busy machine: the first second takes 1.5 s to make. It is waited for
// (the windows handle their events meanwhile) and the file is whole.
TEST(WavRecordingSlowTest, ASlowSecondIsWaitedForAndTheFileIsWhole) {
  wavtest::TScratchDir dir{"recording_slow"};
  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  fakes::TFakeEngine engine;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  TMainState state(TMainServices{PortableEventFactory(), device, memory, engine, ui, view, {}});
  TFakeRecordingWindow window;
  TInternalSetting setting = state.InternalSetting();
  setting._RecordTime = 3;
  state.SetInternalSetting(setting);
  window.FileName = dir / "slow.wav";
  engine.CloseGate();
  // The second comes after 1.5 s and after the window has handled its events
  // 50 times in the wait (counted, not timed: on a loaded machine the wait's
  // slices last longer).
  const auto asked = std::chrono::steady_clock::now();
  window.OnEvents = [&] {
    if (window.EventPasses >= 50 && std::chrono::steady_clock::now() - asked >= std::chrono::milliseconds(1500))
      engine.OpenGate();
    return false;
  };
  const TWavRenderResult result = CreateWavFile(state, window);
  const auto waited = std::chrono::steady_clock::now() - asked;

  ASSERT_TRUE(result.Completed()) << result.Message;
  EXPECT_EQ(result.MissingSeconds, 0);
  EXPECT_TRUE(window.Messages.empty());
  EXPECT_EQ(window.Closed, 1);
  EXPECT_GE(window.EventPasses, 50);  // the window's events were handled all through the wait
  EXPECT_GE(waited, std::chrono::milliseconds(1500));
  const auto bytes = wavtest::ReadBytes(window.FileName);
  ASSERT_EQ(bytes.size(), 44u + 3u * 48000u * 4u);
  bool signal = false;
  for (std::size_t at = 44; at < 44 + 48000 * 4; at += 4) signal |= wavtest::U32At(bytes, at) != 0;
  EXPECT_TRUE(signal);  // the first second is the signal, not a stand-in
}

// CANCEL while a second is waited for, or between two seconds: nothing is
// kept, the earlier file of the name is as it was, no temporary file is left,
// and the window closes without a message.
TEST_F(WavRecordingTest, CancelEndsTheFileAndKeepsTheEarlierOne) {
  for (const bool whileWaiting : {true, false}) {
    SCOPED_TRACE(whileWaiting);
    const auto name = dir / (whileWaiting ? "waiting.wav" : "between.wav");
    {
      std::ofstream earlier(name, std::ios::binary);
      earlier << "the earlier take";
    }
    SetRecordTime(5);
    window = {};
    window.FileName = name;
    if (whileWaiting) {
      engine.CloseGate();  // never made: only the cancel ends the wait
      window.OnEvents = [this] { return window.EventPasses > 1; };  // far within the bound, even on a slow machine
    } else {
      window.OnEvents = [this] { return window.Steps.size() == 2; };
    }
    bool rendering = true;  // while the file is written, the main window knows it
    window.OnStep = [&] { rendering = rendering && state.Rendering(); };

    const TWavRenderResult result = CreateWavFile(state, window);
    engine.OpenGate();

    EXPECT_EQ(result.Status, TWavRenderStatus::_Cancelled);
    EXPECT_TRUE(window.Messages.empty());
    EXPECT_EQ(window.Closed, 1);
    EXPECT_EQ(window.Steps.size(), whileWaiting ? 0u : 2u);
    const auto bytes = wavtest::ReadBytes(name);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "the earlier take");
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    EXPECT_TRUE(rendering);
    EXPECT_FALSE(state.Rendering());
  }
}

// No ".tmp" file is left in Folder.
void ExpectNoTemporary(const std::filesystem::path& Folder) {
  for (const auto& entry : std::filesystem::directory_iterator(Folder))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

void WriteEarlierTake(const std::filesystem::path& Name) {
  std::ofstream earlier(Name, std::ios::binary);
  earlier << "the earlier take";
}

std::string Contents(const std::filesystem::path& Name) {
  const auto bytes = wavtest::ReadBytes(Name);
  return {bytes.begin(), bytes.end()};
}

// The main window closed while the file is written: the close is carried
// out once when the writing ends, however it ends, and never again by a
// later file.
TEST_F(WavRecordingTest, ADeferredCloseIsCarriedOutOnceHoweverTheWritingEnds) {
  enum class TEnd { _Completed, _Cancelled, _Failed, _Exception };
  for (const TEnd end : {TEnd::_Completed, TEnd::_Cancelled, TEnd::_Failed, TEnd::_Exception}) {
    SCOPED_TRACE(static_cast<int>(end));
    SetRecordTime(2);
    window = {};
    window.FileName = end == TEnd::_Failed ? dir / "no such folder" / "x.wav" : dir / "closed.wav";
    int closes = 0;
    bool closedAfterTheWriting = true;
    window.OnBegin = [&] {
      state.DeferClose([&] {
        ++closes;
        closedAfterTheWriting = closedAfterTheWriting && !state.Rendering();
      });
    };
    if (end == TEnd::_Cancelled) window.OnEvents = [this] { return window.Steps.size() == 1; };
    if (end == TEnd::_Exception) window.OnClose = [] { throw std::runtime_error("the window went"); };

    if (end == TEnd::_Exception) {
      EXPECT_THROW(CreateWavFile(state, window), std::runtime_error);
    } else {
      const TWavRenderResult result = CreateWavFile(state, window);
      EXPECT_EQ(result.Status, end == TEnd::_Completed   ? TWavRenderStatus::_Completed
                               : end == TEnd::_Cancelled ? TWavRenderStatus::_Cancelled
                                                         : TWavRenderStatus::_Failed);
    }
    EXPECT_EQ(closes, 1) << "the close deferred during the file";
    EXPECT_TRUE(closedAfterTheWriting);
    EXPECT_FALSE(state.CloseDeferred());

    // A later file, with no close asked for, closes nothing.
    window = {};
    window.FileName = dir / "later.wav";
    EXPECT_TRUE(CreateWavFile(state, window).Completed());
    EXPECT_EQ(closes, 1) << "a later file closed the program unasked";
  }
}

// A close that waits for the file does not wait for a second that does not
// come: the file ends as CANCEL ends it and the close follows, with no
// message. A second that is only slow (within its bound) is waited for, and
// the file is whole.
TEST_F(WavRecordingTest, ACloseDuringAFileEndsItWhenASecondDoesNotCome) {
  for (const bool secondComes : {false, true}) {
    SCOPED_TRACE(secondComes ? "the second comes within its bound" : "the second never comes");
    const auto name = dir / (secondComes ? "slow.wav" : "stuck.wav");
    WriteEarlierTake(name);
    SetRecordTime(5);
    window = {};
    window.FileName = name;
    int closes = 0;
    engine.CloseGate();
    window.OnEvents = [&] {
      if (window.EventPasses == 3) state.DeferClose([&closes] { ++closes; });
      // The pass right after the close: late, and far within the 200 ms
      // bound even when the machine makes each pass slow.
      if (secondComes && window.EventPasses == 4) engine.OpenGate();
      return false;
    };

    const TWavRenderResult result = CreateWavFile(state, window);
    engine.OpenGate();

    EXPECT_TRUE(window.Messages.empty()) << ::testing::PrintToString(window.Messages);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(window.Closed, 1);
    ExpectNoTemporary(dir.Path());
    if (secondComes) {
      EXPECT_TRUE(result.Completed());
      EXPECT_EQ(result.MissingSeconds, 0);
      EXPECT_EQ(wavtest::ReadBytes(name).size(), 44u + 5u * 48000u * 4u);
    } else {
      EXPECT_EQ(result.Status, TWavRenderStatus::_Cancelled);
      EXPECT_TRUE(Contents(name) == "the earlier take");
    }
  }
}

// The end of the user's session while a file is written: the temporary
// file is gone before the end returns (the system may end the process right
// after it), the earlier file of the name is as it was, and the window
// closes once the writer is out. Wherever the writer handles the event:
// while it waits for a second, inside the message box of a missing second,
// between two seconds.
TEST_F(WavRecordingTest, TheEndOfTheSessionCancelsTheFileAtOnce) {
  enum class TWhere { _Waiting, _InABox, _BetweenSeconds };
  // The sweep audible, so that a second can be held whether or not its
  // tones are kept from the case before.
  TSignalAttribute sweep = state.SignalAttributeArray()[4];
  sweep._OutputChannel = TOutputChannel::_Both;
  state.SetSignalAttribute(4, sweep);
  for (const TWhere where : {TWhere::_Waiting, TWhere::_InABox, TWhere::_BetweenSeconds}) {
    SCOPED_TRACE(static_cast<int>(where));
    const auto name = dir / "session.wav";
    WriteEarlierTake(name);
    SetRecordTime(5);
    window = {};
    window.FileName = name;
    int closes = 0;
    bool ended = false;
    // The main window's close as it runs while a file is written.
    const std::function<void()> close = [&] {
      if (state.Rendering())
        state.DeferClose([&closes] { ++closes; });
      else
        ++closes;
    };
    const auto endSession = [&] {
      if (std::exchange(ended, true)) return;
      state.EndSession(close);
      // What the system leaves once this returns.
      EXPECT_TRUE(Contents(name) == "the earlier take");
      ExpectNoTemporary(dir.Path());
      EXPECT_EQ(closes, 0);  // not while the writer is on its way out
    };
    switch (where) {
      case TWhere::_Waiting:
        engine.CloseGate();
        engine.HoldSeconds();
        window.OnEvents = [&] {
          if (window.EventPasses == 3) endSession();
          return false;
        };
        break;
      case TWhere::_InABox:
        engine.CloseGate();
        engine.HoldSeconds();
        window.OnMessage = endSession;
        break;
      case TWhere::_BetweenSeconds:
        window.OnStep = [&] {
          if (window.Steps.size() == 2) endSession();
        };
        break;
    }

    const TWavRenderResult result = CreateWavFile(state, window);
    engine.OpenGate();
    engine.ReleaseSeconds();

    EXPECT_TRUE(ended);
    EXPECT_EQ(result.Status, TWavRenderStatus::_Cancelled);
    EXPECT_LE(window.Messages.size(), where == TWhere::_InABox ? 1u : 0u);
    EXPECT_EQ(window.Closed, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(Contents(name) == "the earlier take");
    ExpectNoTemporary(dir.Path());
  }
  // With no file being written the window closes at once (a play is
  // stopped by the close).
  int closes = 0;
  state.EndSession([&closes] { ++closes; });
  EXPECT_EQ(closes, 1);
}

TEST(SweepStartOfSecond, StepsOneSecondAndWrapsAtThePeriod) {
  TSignalAttributeArray records(6);
  records[4]._Waveform = TWaveform::_Sweep;
  records[4]._SweepPeriod = 3;
  const std::vector<std::int32_t> want{0, 1000, 2000, 0, 1000};
  for (std::int32_t second = 0; second < 5; ++second)
    EXPECT_EQ(SweepStartOfSecond(records, 1000, second), want[std::size_t(second)]) << second;
  records[4]._Waveform = TWaveform::_Sine;  // no sweep at all
  EXPECT_EQ(SweepStartOfSecond(records, 1000, 4), 0);
}

TEST_F(WavRecordingTest, AFileThatCannotBeCreatedIsReportedAndTheWindowStaysOpen) {
  SetRecordTime(1);
  window.FileName = dir / "no such folder" / "tone.wav";

  const TWavRenderResult result = CreateWavFile(state, window);

  EXPECT_EQ(result.Status, TWavRenderStatus::_Failed);
  ASSERT_EQ(window.Messages.size(), 1u);
  EXPECT_EQ(window.Messages[0].rfind("Error - ", 0), 0u) << window.Messages[0];
  EXPECT_EQ(window.Closed, 0);
  EXPECT_TRUE(window.Steps.empty());
  EXPECT_FALSE(std::filesystem::exists(window.FileName));
}

TEST_F(WavRecordingTest, EverySecondHasItsOwnSeedAlsoAfterAMissingOne) {
  TSignalAttribute noise = state.SignalAttributeArray()[5];
  noise._OutputChannel = TOutputChannel::_Both;
  state.SetSignalAttribute(5, noise);
  SetRecordTime(4);
  window.FileName = dir / "seeds.wav";
  engine.ClockSeed = 0xFFFFFFFEu;  // the seeds wrap
  engine.CloseGate();              // the first second is late
  window.OnMessage = [this] { engine.OpenGate(); };

  ASSERT_TRUE(CreateWavFile(state, window).Completed());
  // The second after the missing one starts a new series with its own
  // second's seed (the late first second never reaches the file).
  const auto noiseSeeds = engine.NoiseSeeds();
  ASSERT_GE(noiseSeeds.size(), 3u);
  EXPECT_EQ(std::vector<std::uint32_t>(noiseSeeds.end() - 3, noiseSeeds.end()),
            (std::vector<std::uint32_t>{0xFFFFFFFFu, 0u, 1u}));
}

// The engine's clock held still: every second of a render is made within
// the same clock second.
struct TStillClock : TExFunctionLib {
  using TExFunctionLib::SetLocalClock;
  TStillClock() = delete;
};

class WavRecordingEngineTest : public ::testing::Test {
 protected:
  WavRecordingEngineTest() { TStillClock::SetLocalClock([] { return TExFunctionLib::TClockTime{5, 19, 12, 30}; }); }
  ~WavRecordingEngineTest() override { TStillClock::SetLocalClock(nullptr); }
  static constexpr std::uint32_t kClockSeed = 5191230;

  wavtest::TScratchDir dir{"recording_engine"};
  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  TExFunctionEngine engine;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  TMainState state{TMainServices{PortableEventFactory(), device, memory, engine, ui, view, {5000, 5000, 300, 200}}};
  TFakeRecordingWindow window;
};

// Noise and dither in a file: no two seconds alike, and second n exactly what
// the engine makes from the time seed read at the start plus n.
TEST_F(WavRecordingEngineTest, NoiseAndDitherNeverRepeatFromSecondToSecond) {
  const struct {
    TNoiseType Noise;
    TDither Dither;
    TPinkNoiseMethod Method;
  } cases[] = {
      {TNoiseType::_WhiteNoise, TDither::_White, TPinkNoiseMethod::_Kellet},
      {TNoiseType::_PinkNoise, TDither::_Pink, TPinkNoiseMethod::_Kellet},
      {TNoiseType::_GaussNoise, TDither::_Gauss, TPinkNoiseMethod::_Kellet},
  };
  constexpr std::int32_t kSeconds = 5, kRate = 48000;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(EnumText(c.Noise)));
    TPCMFormat format = state.PCMFormat();
    format._SamplingRate = kRate;
    format._Quantization = 16;
    format._Rounding = TRounding::_DITHER;
    format._Dither = c.Dither;
    state.SetPCMFormat(format);
    TSignalAttributeArray records = state.SignalAttributeArray();
    records[0]._OutputChannel = TOutputChannel::_Mute;
    records[5]._OutputChannel = TOutputChannel::_Both;
    records[5]._NoiseType = c.Noise;
    for (std::size_t r = 0; r < records.size(); ++r) state.SetSignalAttribute(std::int32_t(r), records[r]);
    TInternalSetting setting = state.InternalSetting();
    setting._RecordTime = kSeconds;
    state.SetInternalSetting(setting);
    window.FileName = dir / "noise.wav";

    const TWavRenderResult result = CreateWavFile(state, window);
    ASSERT_TRUE(result.Completed()) << result.Message;
    ASSERT_EQ(result.MissingSeconds, 0);

    const TWavLayout layout = MakeWavLayout(kRate, 16, kSeconds);
    const auto file = wavtest::ReadBytes(window.FileName);
    ASSERT_EQ(file.size(), layout.FileSize());
    std::vector<std::vector<std::uint8_t>> seconds;
    for (std::int32_t n = 0; n < kSeconds; ++n) {
      const auto from = file.begin() + std::ptrdiff_t(layout.HeaderSize + std::size_t(n) * layout.SecondBytes());
      seconds.emplace_back(from, from + std::ptrdiff_t(layout.SecondBytes()));
    }
    for (std::int32_t a = 0; a < kSeconds; ++a)
      for (std::int32_t b = a + 1; b < kSeconds; ++b) EXPECT_NE(seconds[a], seconds[b]) << a << " and " << b;

    // The engine's own second n, made directly from seed kClockSeed + n.
    const TSignalAttributeArray playable = state.SignalAttributeArray();
    for (std::int32_t n = 0; n < kSeconds; ++n) {
      const std::uint32_t seed = kClockSeed + std::uint32_t(n);
      TWaveBufferExtendedArray buffers(playable.size());
      buffers[5] = TExFunctionLib::GenerateWaveDataNoise(format, playable[5], 1000, c.Method, seed);
      const auto mix = TExFunctionLib::SynthesizeSignals(format, 6, playable, buffers, 1000);
      std::vector<std::uint8_t> expected;
      PackWavSecond(layout, TExFunctionLib::QuantizeSignal(format, 1.0L, 1.0L, mix, 1000, seed), expected);
      EXPECT_EQ(seconds[std::size_t(n)], expected) << "second " << n;
    }
  }
}

}  // namespace
