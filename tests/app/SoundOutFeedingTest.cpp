// The thread that feeds the wave-out device: the priority it asks for, a
// device that stopped told from a program that was held as a whole, and a
// second that does not come in the middle of a play.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "SoundOutSupport.h"

namespace {

using namespace std::chrono_literals;
using fakes::WaitUntil;
using soundout::TRoad;

// The whole program held (kill -STOP) and let go again: while it is held,
// the sound-out thread's waits on its device do not return; once it runs
// again, a wait whose time has passed returns at once.
class THold {
 public:
  TEventFactory Events() {
    return [this](const std::string& Name) -> std::unique_ptr<TAutoResetEvent> {
      if (Name == kEventWaveOutCallback) return std::make_unique<THeldEvent>(*this, Name);
      return std::make_unique<TPortableAutoResetEvent>(Name);
    };
  }
  void Hold() {
    std::lock_guard<std::mutex> lock(FLock);
    FHeld = true;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FHeld = false;
    }
    FReleased.notify_all();
  }
  bool ThreadHeld() {
    std::lock_guard<std::mutex> lock(FLock);
    return FWaiting > 0;
  }

 private:
  class THeldEvent final : public TAutoResetEvent {
   public:
    THeldEvent(THold& Hold, const std::string& Name) : FHold(Hold), FEvent(Name) {}
    void Set() override { FEvent.Set(); }
    bool Wait(std::uint32_t TimeoutMs) override {
      {
        std::unique_lock<std::mutex> lock(FHold.FLock);
        if (FHold.FHeld) {
          ++FHold.FWaiting;
          FHold.FReleased.wait(lock, [this] { return !FHold.FHeld; });
          --FHold.FWaiting;
          TimeoutMs = 0;
        }
      }
      return FEvent.Wait(TimeoutMs);
    }

   private:
    THold& FHold;
    TPortableAutoResetEvent FEvent;
  };

  std::mutex FLock;
  std::condition_variable FReleased;
  bool FHeld = false;
  int FWaiting = 0;
};

// Returns one buffer per segment, as a device playing at real time does,
// until Pause, and again after Resume.
class TPacedDevice {
 public:
  TPacedDevice(fakes::TFakeWaveOutDevice& Device, std::chrono::milliseconds Segment)
      : FThread([this, &Device, Segment] {
          while (!FEnd.load()) {
            std::this_thread::sleep_for(Segment);
            if (!FPaused.load()) Device.ReportDone();
          }
        }) {}
  ~TPacedDevice() {
    FEnd.store(true);
    FThread.join();
  }
  void Pause() { FPaused.store(true); }
  void Resume() { FPaused.store(false); }

 private:
  std::atomic<bool> FEnd{false};
  std::atomic<bool> FPaused{false};
  std::thread FThread;
};

// The program is held for longer than the stall time while it plays. Once
// it runs again the device's position moves, and its done messages follow
// a little later: the play goes on with no message. A device that does not
// move again has stopped: the play ends with exactly one message.
TEST(SoundOutFeeding, AHeldProgramIsNotTakenForAStoppedDevice) {
  struct TCase {
    const char* Name;
    bool MovesFirst;    // the position moves before the done messages come
    bool DoneComes;     // the done messages come again
  };
  const TCase cases[] = {
      {"the position moves, then the done messages come", true, true},
      {"position and done messages come together, late", false, true},
      {"the device does not move again", false, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    THold hold;
    TProtocolTimeouts timeouts{5000, 1000, 1000, 5000};
    timeouts.DeviceStallMs = 300;
    TRoad road(timeouts, hold.Events());
    soundout::SetFormat(*road.Main, 48000, 16, TWavBufferSize::_50ms);
    road.Main->Play();
    ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
    TPacedDevice device(road.Device, 50ms);
    ASSERT_TRUE(WaitUntil([&] { return road.Device.WriteCount() >= 10; }));

    // Held: the device's thread and the feeding thread stand still.
    device.Pause();
    hold.Hold();
    ASSERT_TRUE(WaitUntil([&] { return hold.ThreadHeld(); }));
    std::this_thread::sleep_for(800ms);
    hold.Release();
    if (c.MovesFirst) {
      std::this_thread::sleep_for(20ms);
      road.Device.Play(1000);
    }
    std::this_thread::sleep_for(150ms);
    if (c.DoneComes) device.Resume();

    if (c.DoneComes) {
      const std::size_t written = road.Device.WriteCount();
      EXPECT_TRUE(WaitUntil([&] { return road.Device.WriteCount() >= written + 10; }));
      EXPECT_EQ(road.Main->xOperation(), TOperation::_Play);
      EXPECT_EQ(road.Ui.SinglePlayEnds(), 0);
      EXPECT_EQ(road.Ui.Messages(), std::vector<std::string>{});
      road.Main->Stop();
      EXPECT_EQ(road.Main->xOperation(), TOperation::_Stop);
      EXPECT_TRUE(road.View.Messages().empty());
      EXPECT_GT(road.Device.PositionCalls(), 0);  // it was looked at
      continue;
    }
    ASSERT_TRUE(WaitUntil([&] { return road.Ui.SinglePlayEnds() == 1; }));
    road.Main->CompleteSinglePlay();
    std::this_thread::sleep_for(400ms);  // no second message follows
    road.ExpectCleanEnd(road.Ui.Messages(), "Error - Output Device Stopped.");
    EXPECT_TRUE(road.View.Messages().empty());
  }
}

// A second the engine never delivers in the middle of a play is waited for
// as long as the first one may take (the start's bound): then the play ends
// with one message and the window is back in Stop. The next Play plays.
TEST(SoundOutFeeding, ALateSecondIsWaitedForWithinTheStartsBound) {
  TProtocolTimeouts timeouts{5000, 1000, 1000, 5000};
  timeouts.StartBoundMs = 500;
  TRoad road(timeouts);
  road.MakeAudible({4, 5});
  soundout::SetFormat(*road.Main, 48000, 16, TWavBufferSize::_50ms);
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  ASSERT_TRUE(WaitUntil([&] { return road.Engine.QuantizeSeeds().size() == 2; }));
  road.Engine.HoldSeconds();  // the third second never comes
  TPacedDevice device(road.Device, 50ms);
  if (!WaitUntil([&] { return road.Ui.SinglePlayEnds() == 1; }, 5s)) {
    road.Engine.ReleaseSeconds();  // the play may end now
    FAIL() << "the play still runs with a dry device after 5 s, messages: " << road.Ui.Messages().size();
  }
  road.Main->CompleteSinglePlay();
  std::this_thread::sleep_for(700ms);  // no second message follows
  road.ExpectCleanEnd(road.Ui.Messages(), "Error - Cannot Create Wave Data.");
  EXPECT_TRUE(road.View.Messages().empty());
  EXPECT_EQ(road.Device.WriteCount(), 40u);  // the two seconds made, nothing after

  road.Engine.ReleaseSeconds();
  road.Main->Play();
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Play);
  road.Main->Stop();
  EXPECT_EQ(road.Main->xOperation(), TOperation::_Stop);
  EXPECT_TRUE(road.View.Messages().empty());
}

// The thread that writes to the device asked for the priority of audio
// work once, before it opened the device the first time.
TEST(SoundOutFeeding, TheFeedingThreadAsksForAudioPriorityBeforeItOpens) {
  TRoad road;
  road.Main->Play();
  ASSERT_EQ(road.Main->xOperation(), TOperation::_Play);
  ASSERT_TRUE(road.DoneUntilWrites(4));
  road.Main->Stop();
  road.Main->Play();
  ASSERT_TRUE(road.DoneUntilWrites(8));
  road.Main->Stop();
  const auto raised = road.Device.RaisedOn();
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0], road.Device.WroteOn());
  EXPECT_NE(raised[0], std::this_thread::get_id());
  EXPECT_EQ(road.Device.OpensBeforeRaise(), 0);
}

}  // namespace
