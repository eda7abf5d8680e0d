// The bound of the program's close: the process ends within it, whatever
// thread is stuck and wherever, as a test can make one stuck (fakes that do
// not return until released).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "Fakes.h"
#include "app/MainState.h"
#include "app/ProgramClose.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using fakes::WaitUntil;

// Something that does not return until released.
class TLatch {
 public:
  void Hold() {
    std::unique_lock<std::mutex> lock(FLock);
    ++FHeld;
    FChanged.notify_all();
    FChanged.wait(lock, [this] { return FReleased; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(FLock);
    FReleased = true;
    FChanged.notify_all();
  }
  bool Holding() {
    std::lock_guard<std::mutex> lock(FLock);
    return FHeld > 0;
  }

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  int FHeld = 0;
  bool FReleased = false;
};

// Records when the process would have ended.
struct TEndRecord {
  std::mutex Lock;
  int Calls = 0;
  std::optional<Clock::time_point> At;
  std::function<void()> Function() {
    return [this] {
      std::lock_guard<std::mutex> lock(Lock);
      ++Calls;
      if (!At) At = Clock::now();
    };
  }
  int CallCount() {
    std::lock_guard<std::mutex> lock(Lock);
    return Calls;
  }
  std::optional<Clock::time_point> When() {
    std::lock_guard<std::mutex> lock(Lock);
    return At;
  }
};

TEST(ProgramClose, TheWatchEndsTheProcessOnceAtTheBound) {
  TEndRecord ended;
  TProgramClose close(300, ended.Function());
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(ended.CallCount(), 0) << "never closed: no end";
  const auto start = Clock::now();
  close.Begin();
  std::this_thread::sleep_for(100ms);
  close.Begin();  // a second close keeps the first bound
  ASSERT_TRUE(WaitUntil([&] { return ended.CallCount() > 0; }));
  EXPECT_GE(*ended.When() - start, 300ms);
  EXPECT_LT(*ended.When() - start, 600ms);
  close.EndNow();  // the orderly end, too late: nothing more
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ended.CallCount(), 1);
  EXPECT_TRUE(close.Ended());
}

TEST(ProgramClose, AnOrderlyEndBeforeTheBoundIsTheOnlyOne) {
  TEndRecord ended;
  {
    TProgramClose close(300, ended.Function());
    close.Begin();
    close.EndNow();
    EXPECT_EQ(ended.CallCount(), 1);
    std::this_thread::sleep_for(450ms);
  }
  EXPECT_EQ(ended.CallCount(), 1);
  // A watch that goes before its bound (a process that ended by itself)
  // ends nothing.
  TEndRecord other;
  {
    TProgramClose close(300, other.Function());
    close.Begin();
  }
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(other.CallCount(), 0);
}

// The main window's close as the window runs it: the bound from the close,
// the output stopped, the threads told to end and waited for, and the
// process ended at once when one stays behind.
void CloseAsTheWindowDoes(TProgramClose& Close, TMainState& State) {
  Close.Begin();
  State.Close();
  State.BeginShutdown();
  if (!State.Shutdown()) Close.EndNow();
}

// A driver road whose close does not come back from the driver.
class TStuckRoad final : public TAsioRoad {
 public:
  // Latch: the close holds there; null, the driver answers.
  explicit TStuckRoad(TLatch* Latch) : FLatch(Latch) {}
  void Play() override {}
  void Stop() override {}
  void Close() override {
    if (!FClosed && FLatch) FLatch->Hold();
    FClosed = true;
  }
  void StopHost() override {}

 private:
  TLatch* FLatch;
  bool FClosed = false;
};

enum class TStuck { _EngineInWaveOutStart, _DeviceCall, _DriverCall, _EngineInCreateWave };

// Whatever is stuck, the process ends within the bound of the close.
TEST(ProgramClose, AStuckThreadNeverHoldsTheEndPastTheBound) {
  constexpr std::uint32_t kBoundMs = 1200;
  for (const TStuck stuck :
       {TStuck::_EngineInWaveOutStart, TStuck::_DeviceCall, TStuck::_DriverCall, TStuck::_EngineInCreateWave}) {
    SCOPED_TRACE(static_cast<int>(stuck));
    fakes::TFakeWaveOutDevice device;
    fakes::TFakeWaveMemory memory;
    fakes::TFakeEngine engine;
    fakes::TFakeUserInterface ui;
    fakes::TFakeView view;
    memory.HeldByDevice = [&device](const void* p) { return device.Holds(p); };
    TLatch box;     // a message box waits for its answer
    TLatch driver;  // the driver's call does not return
    view.OnMessage = [&box](std::string_view) { box.Hold(); };
    TProtocolTimeouts timeouts{200, 300, 300, 60000};
    timeouts.ShutdownWaitMs = 600;
    timeouts.DeviceHangMs = 150;
    auto state = std::make_unique<TMainState>(
        TMainServices{PortableEventFactory(), device, memory, engine, ui, view, timeouts});
    TStuckRoad road(stuck == TStuck::_DriverCall ? &driver : nullptr);
    state->SetAsioRoad(&road);

    switch (stuck) {
      case TStuck::_EngineInWaveOutStart:
        // The sound-out thread makes its first second inside the engine
        // and does not come back: the close's stop is not answered.
        engine.CloseGate();
        state->Play();
        ASSERT_EQ(state->xOperation(), TOperation::_Play);
        break;
      case TStuck::_DeviceCall:
        state->Play();
        ASSERT_EQ(state->xOperation(), TOperation::_Play);
        device.BlockReset();
        break;
      case TStuck::_DriverCall: {
        TInternalSetting setting = state->InternalSetting();
        setting._OutputDevice = TOutputDevice::_ASIO;
        state->SetInternalSetting(setting);
        state->SetOperation(TOperation::_Play);
        break;
      }
      case TStuck::_EngineInCreateWave:
        // The driver road's first-second wait: the create-wave thread is
        // inside the engine.
        engine.CloseGate();
        state->RequestCreateWave(kCreateWaveAll);
        ASSERT_TRUE(WaitUntil([&] { return !engine.ToneCalls().empty(); }));
        break;
    }

    TEndRecord ended;
    TProgramClose close(kBoundMs, ended.Function());
    const auto start = Clock::now();
    // The process ends when the window's close returns (the program leaves
    // its message loop and returns) or when it is ended.
    TEndRecord returned;
    auto window = std::async(std::launch::async, [&] {
      CloseAsTheWindowDoes(close, *state);
      returned.Function()();
    });
    const auto endedAt = [&]() -> std::optional<Clock::time_point> {
      const auto a = ended.When(), b = returned.When();
      if (a && b) return std::min(*a, *b);
      return a ? a : b;
    };
    const bool endedInTime = WaitUntil([&] { return endedAt().has_value(); }, std::chrono::milliseconds(kBoundMs + 1500));
    EXPECT_TRUE(endedInTime) << "the process did not end within the bound of the close; messages: " << ::testing::PrintToString(view.Messages()) << " box " << box.Holding() << " driver " << driver.Holding();
    if (endedInTime) {
      EXPECT_LE(*endedAt() - start, std::chrono::milliseconds(kBoundMs + 300));
    }

    // Everything is let go, so that the test itself can end.
    box.Release();
    driver.Release();
    engine.OpenGate();
    device.ReleaseReset();
    window.get();
    EXPECT_LE(ended.CallCount(), 1);
    ASSERT_TRUE(WaitUntil([&] { return state->ThreadSoundOut().Ended() && state->ThreadCreateWave().Ended(); }));
    state.reset();
    EXPECT_EQ(memory.FreedWhileHeld(), 0);
  }
}

// The end of the user's session with no file being written: the window
// closes as it does for the user, and a play is stopped before the system
// ends the program.
TEST(ProgramClose, TheEndOfTheSessionStopsAPlay) {
  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  fakes::TFakeEngine engine;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  TMainState state(TMainServices{PortableEventFactory(), device, memory, engine, ui, view, {5000, 5000, 5000, 5000}});
  state.Play();
  ASSERT_EQ(state.xOperation(), TOperation::_Play);
  ASSERT_TRUE(device.IsOpen());
  int closes = 0;
  state.EndSession([&] {
    ++closes;
    state.Close();
    state.BeginShutdown();
  });
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(state.xOperation(), TOperation::_Stop);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_TRUE(state.Shutdown());
}

}  // namespace
