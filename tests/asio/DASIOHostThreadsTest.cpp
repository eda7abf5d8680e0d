// The host with a driver thread: buffer switches on the driver's thread
// while the owner thread sets the rate and reads the host (run under
// ThreadSanitizer in the threads tree).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "FakeASIODriver.h"
#include "asio/DASIOHost.h"

namespace {

using krvtest::TFakeDriver;
using krvtest::TFakePlatform;

TEST(HostThreadsTest, BufferSwitchesWhileTheOwnerSetsTheRate) {
  InstallFpuRoutines();
  TFakeDriver model;
  std::vector<std::shared_ptr<TFakeDriver>> made;
  std::vector<std::string> errors;
  int wakes = 0;
  TASIOHost host(std::make_unique<TFakePlatform>(1, made, model, errors, wakes));
  host.SetDriverIndex(0);
  std::atomic<int> positions{0};
  host.OnUpdateSamplePos = [&](TCustomASIOHostBasic&, std::int64_t) { ++positions; };
  host.SetOnBufferSwitch64([](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray& out) {
    out[0][0] = 0.5;
  });
  host.SetActive(true);
  TFakeDriver& driver = *made.back();
  std::atomic<bool> run{true};
  std::thread driverThread([&] {
    // Both callbacks: with the driver's time record and without one.
    for (int i = 0; run.load(); ++i) {
      if (i & 1)
        driver.Switch(i & 2 ? 1 : 0);
      else
        driver.callbacks.bufferSwitch(i & 2 ? 1 : 0, ASIOTrue);
    }
  });
  for (int i = 0; i < 2000; ++i) {
    host.SetSampleRate(i & 1 ? 44100.0 : 48000.0);
    EXPECT_GT(host.SampleRate(), 0.0);
  }
  while (positions.load() < 100) std::this_thread::yield();
  run = false;
  driverThread.join();
  host.SetActive(false);
  EXPECT_EQ(host.ASIOTime().SampleRate(), 44100.0);
  EXPECT_TRUE(errors.empty());
}

}  // namespace
