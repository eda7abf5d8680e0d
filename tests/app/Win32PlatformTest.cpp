// The Win32 platform of the worker threads, under Wine: named events, the
// playback memory, and a play and stop through the main window's state with
// Win32 events and memory (the device stays a fake).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

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

// A thread that asks for the priority of audio work runs at least
// time-critical, whether or not the system has the "Pro Audio" task.
TEST(Win32Platform, AudioThreadPriority) {
  TAudioPriority got = TAudioPriority::_Normal;
  int priority = THREAD_PRIORITY_NORMAL;
  std::thread([&] {
    got = RaiseAudioThreadPriority();
    priority = GetThreadPriority(GetCurrentThread());
  }).join();
  EXPECT_NE(got, TAudioPriority::_Normal);
  EXPECT_EQ(priority, THREAD_PRIORITY_TIME_CRITICAL);
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);  // the caller's own is untouched
}

// The wave mapper's position grows as it plays a buffer and stands still
// once the buffer is done.
TEST(Win32Platform, WaveMapperPosition) {
  TWin32WaveOutDevice device;
  if (device.DeviceCount() == 0) GTEST_SKIP() << "no wave-out device";
  struct TClient final : TWaveOutClient {
    std::atomic<int> Opened{0}, Done{0}, Closed{0};
    void WaveOutMessage(TWaveOutCallback Message) noexcept override {
      switch (Message) {
        case TWaveOutCallback::_OpenWaveOut: ++Opened; break;
        case TWaveOutCallback::_DoneWaveOut: ++Done; break;
        case TWaveOutCallback::_CloseWaveOut: ++Closed; break;
      }
    }
  } client;
  TPCMFormat format{};
  format._SamplingRate = 48000;
  format._Quantization = 16;
  if (device.Open(WaveOutFormat(format), client) != 0) GTEST_SKIP() << "the wave mapper does not open";
  std::uint64_t before = 1;
  EXPECT_EQ(device.Position(before), 0u);
  EXPECT_EQ(before, 0u);
  std::vector<std::uint32_t> samples(4800, 0x10001000u);  // 100 ms
  wavehdr_tag header{};
  header.lpData = reinterpret_cast<char*>(samples.data());
  header.dwBufferLength = static_cast<std::uint32_t>(samples.size() * 4);
  ASSERT_EQ(device.PrepareHeader(&header), 0u);
  ASSERT_EQ(device.Write(&header), 0u);
  EXPECT_TRUE(WaitUntil([&] { return client.Done.load() == 1; }, 5000ms));
  std::uint64_t played = 0;
  EXPECT_EQ(device.Position(played), 0u);
  EXPECT_EQ(played, header.dwBufferLength);
  std::this_thread::sleep_for(50ms);
  std::uint64_t later = 0;
  EXPECT_EQ(device.Position(later), 0u);
  EXPECT_EQ(later, played);
  device.Reset();
  device.UnprepareHeader(&header);
  EXPECT_EQ(device.Close(), 0u);
}

}  // namespace
