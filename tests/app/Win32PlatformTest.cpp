// The Win32 platform of the worker threads, under Wine: named events, the
// playback memory, and a play and stop through the main window's state with
// Win32 events and memory (the device stays a fake).
#include <gtest/gtest.h>

#include <future>

#include "Fakes.h"
#include "app/MainState.h"
#include "app/Win32ThreadPlatform.h"

namespace {

using namespace std::chrono_literals;
using fakes::WaitUntil;

TEST(Win32Platform, NamedAutoResetEvent) {
  const TEventFactory create = Win32EventFactory();
  auto event = create("EventCallSoundOut");
  auto sameName = create("EventCallSoundOut");  // the same kernel object
  EXPECT_FALSE(event->Wait(0));
  event->Set();
  event->Set();
  EXPECT_TRUE(sameName->Wait(0));
  EXPECT_FALSE(event->Wait(5));
}

TEST(Win32Platform, PlaybackMemory) {
  TWin32WaveMemory memory;
  ASSERT_TRUE(memory.CreateHeap());
  auto* header = static_cast<unsigned char*>(memory.AllocateHeap(48));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header[47], 0);
  memory.DestroyHeap();
  EXPECT_EQ(memory.AllocateHeap(48), nullptr);  // no heap any more
  auto* pages = static_cast<std::uint32_t*>(memory.CommitPages(384000 * 8));
  ASSERT_NE(pages, nullptr);
  pages[384000 * 2 - 1] = 7;
  EXPECT_TRUE(memory.DecommitPages(pages, 384000 * 8));
  EXPECT_TRUE(memory.ReleasePages(pages));
}

// Records whether the thread that generates computes with the 64-bit
// mantissa of long double.
class PrecisionProbe : public fakes::TFakeEngine {
 public:
  TWaveBufferExtended GenerateTone(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                   const TInternalSetting& InternalSetting, bool InverseTransform) override {
    volatile long double one = 1.0L, tiny = 0x1p-60L;
    Extended.store(one + tiny != one);
    return TFakeEngine::GenerateTone(PCMFormat, SignalAttribute, InternalSetting, InverseTransform);
  }
  std::atomic<bool> Extended{false};
};

TEST(Win32Platform, PlayAndStopWithWin32EventsAndMemory) {
  fakes::TFakeWaveOutDevice device;
  TWin32WaveMemory memory;
  PrecisionProbe engine;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  TMainState main(TMainServices{Win32EventFactory(), device, memory, engine, ui, view, {}});
  main.Play();
  ASSERT_EQ(main.xOperation(), TOperation::_Play);
  EXPECT_TRUE(engine.Extended.load());  // the sound-out thread set 64-bit precision
  EXPECT_EQ(device.WriteCount(), 2u);
  auto stop = std::async(std::launch::async, [&] { main.Stop(); });
  while (stop.wait_for(2ms) != std::future_status::ready) device.ReportDone();
  stop.get();
  EXPECT_EQ(main.xOperation(), TOperation::_Stop);
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_TRUE(ui.Messages().empty());  // decommit and release succeeded
  main.Shutdown();
}

}  // namespace

namespace {

// The wave mapper itself, when the machine has an output device: a short
// play and stop through the main window's state.
TEST(Win32Platform, PlayAndStopOnTheWaveMapper) {
  TWin32WaveOutDevice device;
  if (device.DeviceCount() == 0) GTEST_SKIP() << "no wave-out device";
  TWin32WaveMemory memory;
  fakes::TFakeEngine engine;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  TMainState main(TMainServices{Win32EventFactory(), device, memory, engine, ui, view, {}});
  main.Play();
  if (!view.Messages().empty()) GTEST_SKIP() << view.Messages().front();
  ASSERT_EQ(main.xOperation(), TOperation::_Play);
  ASSERT_TRUE(WaitUntil([&] { return ui.PlayTimes().size() >= 2; }, 5000ms));  // a second went by
  main.Stop();
  EXPECT_EQ(main.xOperation(), TOperation::_Stop);
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_TRUE(ui.Messages().empty());
  main.Shutdown();
}

}  // namespace
