// The ASIO road over the real host and a fake driver, with a user-interface
// thread of its own: every handler runs there, as in the program, and the
// driver's requests are carried out there.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "FakeUiThread.h"
#include "Fakes.h"
#include "app/AsioRoad.h"
#include "app/AsioRoadHost.h"
#include "asio/FakeASIODriver.h"

namespace {

using namespace std::chrono_literals;
using fakes::WaitUntil;

// Shared by the platform and the drivers it makes.
struct TDriverBench {
  explicit TDriverBench(fakes::TFakeUiThread& UiThread) : Ui(UiThread) {}
  fakes::TFakeUiThread& Ui;
  std::mutex Lock;
  std::vector<std::string> Log;          // calls that matter here, of every driver
  std::vector<std::string> Errors;       // the host's error boxes
  std::atomic<int> StopsThatHung{0};     // stops that waited in vain for the window's thread
  std::atomic<int> StopsStarted{0};
  std::atomic<bool> ReopenFails{false};  // drivers made from now on fail Init
  std::atomic<bool> BuffersFail{false};  // ... refuse their buffers
  std::atomic<bool> StartFails{false};   // ... do not start
  std::atomic<int> Preferred{512};       // ... prefer this size (powers of two only)
  void Note(std::string Text) {
    std::lock_guard<std::mutex> lock(Lock);
    Log.push_back(std::move(Text));
  }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(Lock);
    return Log;
  }
};

// A driver that sends a message to a window of its own (made on the thread
// that called Init, the user-interface thread) while it stops, and takes the
// rate it is given.
class TWindowDriver final : public krvtest::TFakeDriver {
 public:
  explicit TWindowDriver(TDriverBench& Bench)
      : FBench(Bench), FFailsBuffers(Bench.BuffersFail), FFailsStart(Bench.StartFails) {
    rate = 44100.0;
    minSize = 64, maxSize = 8192, granularity = -1, preferred = Bench.Preferred;
  }
  ASIOBool Init(std::intptr_t) override { return FBench.ReopenFails ? ASIOFalse : ASIOTrue; }
  ASIOError CreateBuffers(PASIOBufferInfo infos, std::int32_t count, std::int32_t frames,
                          const TASIOCallbacks& cb) override {
    FBench.Note("buffers " + std::to_string(frames));
    // As hardware does: only the sizes it offers.
    if (FFailsBuffers || (frames & (frames - 1)) != 0) return ASE_InvalidMode;
    return TFakeDriver::CreateBuffers(infos, count, frames, cb);
  }
  ASIOError Start() override {
    FBench.Note("start");
    return FFailsStart ? ASE_HWMalfunction : ASE_OK;
  }
  ASIOError Stop() override {
    ++FBench.StopsStarted;
    if (!FBench.Ui.Send([] {}, 2000ms)) ++FBench.StopsThatHung;
    FBench.Note("stop");
    return ASE_OK;
  }
  ASIOError SetSampleRate(double r) override {
    FBench.Note("rate " + std::to_string(static_cast<int>(r)));
    rate = r;
    return ASE_OK;
  }

 private:
  TDriverBench& FBench;
  const bool FFailsBuffers, FFailsStart;
};

class TBenchPlatform final : public TASIOHostPlatform {
 public:
  TBenchPlatform(TDriverBench& Bench, std::vector<std::shared_ptr<TWindowDriver>>& Made)
      : FBench(Bench), FMade(Made) {}
  TAsioDriverList ScanDrivers() override {
    TAsioDriverList list(1);
    SetDriverDescText(list[0].name, L"Window Driver");
    return list;
  }
  bool CreateDriver(const TGUID&, IQorvASIOPtr& driver) override {
    auto made = std::make_shared<TWindowDriver>(FBench);
    FMade.push_back(made);
    driver = made;
    return true;
  }
  std::intptr_t WindowHandle() const override { return 0x1234; }
  void SetServiceRoutine(std::function<void()> Routine) override {
    std::lock_guard<std::mutex> lock(FLock);
    FRoutine = std::move(Routine);
  }
  void WakeOwner() override {
    FBench.Ui.Post([this] {
      std::function<void()> routine;
      {
        std::lock_guard<std::mutex> lock(FLock);
        routine = FRoutine;
      }
      if (routine) routine();
    });
  }
  void ShowError(const std::string& Text) override {
    std::lock_guard<std::mutex> lock(FBench.Lock);
    FBench.Errors.push_back(Text);
  }

 private:
  TDriverBench& FBench;
  std::vector<std::shared_ptr<TWindowDriver>>& FMade;
  std::mutex FLock;
  std::function<void()> FRoutine;
};

class AsioHostRoadTest : public ::testing::Test {
 protected:
  AsioHostRoadTest() {
    InstallFpuRoutines();
    OnUi([&] {
      host = TAsioHostComponent::Create(std::make_unique<TBenchPlatform>(bench, made));
      state = std::make_unique<TMainState>(
          TMainServices{PortableEventFactory(), device, memory, engine, ui, view, {5000, 5000, 5000, 1000}});
      road = std::make_unique<TAsioPlayback>(
          TAsioRoadServices{*state, *host, engine, PortableEventFactory(), ui, view, uiThread.Poster()});
      state->SetAsioRoad(road.get());
      TInternalSetting setting = state->InternalSetting();
      setting._OutputDevice = TOutputDevice::_ASIO;
      state->SetInternalSetting(setting);
      host->SetOnBufferSwitch64([this](const TAVDArrayOfDoubleDynArray& In, TAVDArrayOfDoubleDynArray& Out) {
        road->ASIOHostBufferSwitch64(In, Out);
      });
      host->SetDriverIndex(0);
    });
  }
  ~AsioHostRoadTest() override {
    OnUi([&] {
      if (state) state->Shutdown();
      road.reset();
      host.reset();
      state.reset();
    });
  }

  // Runs Body as a handler of the user-interface thread and waits for it.
  void OnUi(std::function<void()> Body) { ASSERT_TRUE(uiThread.Send(std::move(Body), 20000ms)); }
  // Lets the user-interface thread run what was posted to it so far.
  void Settle() {
    std::this_thread::sleep_for(100ms);
    OnUi([] {});
  }
  TWindowDriver& Driver() { return *made.back(); }
  TOperation Operation() {
    TOperation operation{};
    OnUi([&] { operation = state->xOperation(); });
    return operation;
  }

  fakes::TFakeUiThread uiThread;
  TDriverBench bench{uiThread};
  std::vector<std::shared_ptr<TWindowDriver>> made;
  fakes::TFakeEngine engine;
  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  std::unique_ptr<TAsioHostComponent> host;
  std::unique_ptr<TMainState> state;
  std::unique_ptr<TAsioPlayback> road;
};

// Stop hands the host's stop on; Play or the close right after it must not
// wait for a stop that itself waits for the user-interface thread.
TEST_F(AsioHostRoadTest, StopThenPlayOrCloseAtOnceFinishWhenTheDriversStopNeedsTheWindowThread) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "Stop, then close" : "Stop, then Play");
    OnUi([&] { state->Play(); });
    ASSERT_EQ(Operation(), TOperation::_Play);
    const int stops = bench.StopsStarted.load();
    OnUi([&] {
      state->Stop();
      // Long enough for the display thread to have taken the stop.
      WaitUntil([&] { return bench.StopsStarted.load() > stops; }, 300ms);
      if (close)
        state->Shutdown();
      else
        state->Play();
    });
    Settle();
    EXPECT_EQ(bench.StopsThatHung.load(), 0);
    if (!close) {
      EXPECT_EQ(Operation(), TOperation::_Play);
      bool active = false;
      OnUi([&] { active = host->Active(); });
      EXPECT_TRUE(active);
    }
  }
  bool active = true;
  OnUi([&] { active = host->Active(); });
  EXPECT_FALSE(active);
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_TRUE(bench.Errors.empty());
}

// Play sets the rate once, before the driver starts; a reset the driver asks
// for sets it once more on the reopened driver.
TEST_F(AsioHostRoadTest, PlaySetsTheRateOnceAndOnlyADriversResetSetsItAgain) {
  OnUi([&] { state->Play(); });
  Settle();
  auto calls = bench.Calls();
  auto start = std::find(calls.begin(), calls.end(), "start");
  ASSERT_NE(start, calls.end());
  EXPECT_EQ(std::count(calls.begin(), start, "rate 48000"), 1);
  EXPECT_EQ(std::find(start, calls.end(), "rate 48000"), calls.end()) << "the rate was set on the running driver";
  Driver().callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);  // the driver's thread
  Settle();
  const auto started = start - calls.begin();
  calls = bench.Calls();
  EXPECT_EQ(std::count(calls.begin() + started, calls.end(), "rate 48000"), 1);
  EXPECT_EQ(Operation(), TOperation::_Play);
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_TRUE(bench.Errors.empty());
}

// A reset the driver asks for that cannot open it again ends the play, with
// the host's one message.
TEST_F(AsioHostRoadTest, ADriversResetThatCannotReopenEndsThePlayWithOneMessage) {
  OnUi([&] { state->Play(); });
  ASSERT_EQ(Operation(), TOperation::_Play);
  bench.ReopenFails = true;
  Driver().callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
  Settle();
  EXPECT_EQ(Operation(), TOperation::_Stop);
  EXPECT_EQ(view.Glyphs().back(), "_SignalInactive");
  EXPECT_EQ(bench.Errors, std::vector<std::string>{"ASIO Driver Failed!"});
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_TRUE(ui.Messages().empty());
  ASSERT_TRUE(WaitUntil([&] { return !ui.PlayTimes().empty() && ui.PlayTimes().back() == "0"; }));
  bench.ReopenFails = false;
  OnUi([&] { state->Play(); });  // the next play opens the driver again
  EXPECT_EQ(Operation(), TOperation::_Play);
}

// A driver that announces a buffer size it does not offer (1000 frames, its
// sizes being powers of two) comes back with the nearest one it offers and
// plays on; one that fails at any step of the reopen ends the play with one
// message, and the next Play opens it again.
TEST_F(AsioHostRoadTest, AReopenThatFailsAtAnyStepEndsThePlayWithOneMessage) {
  OnUi([&] { state->Play(); });
  ASSERT_EQ(Operation(), TOperation::_Play);
  bench.Preferred = 1000;
  Driver().callbacks.asioMessage(kAsioBufferSizeChange, 1000, nullptr, nullptr);
  Settle();
  EXPECT_EQ(Operation(), TOperation::_Play);
  EXPECT_EQ(bench.Calls().back(), "rate 48000");
  std::uint32_t frames = 0;
  OnUi([&] { frames = host->BufferSize(); });
  EXPECT_EQ(frames, 1024u);
  EXPECT_TRUE(bench.Errors.empty());

  struct Case {
    const char* Name;
    std::atomic<bool>& Fault;
  };
  for (const Case& c : {Case{"init", bench.ReopenFails}, Case{"buffers", bench.BuffersFail},
                        Case{"start", bench.StartFails}}) {
    SCOPED_TRACE(c.Name);
    bench.Errors.clear();
    const std::size_t drivers = made.size();
    c.Fault = true;
    Driver().callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
    ASSERT_TRUE(WaitUntil([&] {
      OnUi([] {});
      return Operation() == TOperation::_Stop;
    }));
    Settle();
    EXPECT_EQ(made.size(), drivers + 1);
    EXPECT_EQ(view.Glyphs().back(), "_SignalInactive");
    EXPECT_EQ(bench.Errors, std::vector<std::string>{"ASIO Driver Failed!"});
    EXPECT_TRUE(view.Messages().empty());
    bool active = true;
    OnUi([&] { active = host->Active(); });
    EXPECT_FALSE(active);
    c.Fault = false;
    OnUi([&] { state->Play(); });  // the next play opens the driver again
    EXPECT_EQ(Operation(), TOperation::_Play);
  }
}

}  // namespace
