// The host against the project's test driver, registered in the test prefix
// (scripts/wine-prefix.sh): discovery, a real-time play, a reset request
// from the driver's thread, a failing init.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "asio/DASIOHost.h"
#include "asio/DASIOHostWin32.h"
#include "framework/Messages.h"

namespace {

// Runs the thread's messages (the host's hidden window) for `ms`.
void PumpMessages(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  while (GetTickCount64() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(5);
  }
}

std::string TempFile(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + name;
}

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class AsioWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"KRV_TEST_ASIO_FAIL", "KRV_TEST_ASIO_RESET_AFTER", "KRV_TEST_ASIO_MODE",
                             "KRV_TEST_ASIO_CAPTURE", "KRV_TEST_ASIO_OUTPUTS", "KRV_TEST_ASIO_TYPE"})
      SetEnvironmentVariableA(name, nullptr);
  }
  TMessageRecorder messages;
};

TEST_F(AsioWineTest, DiscoveryListsTheUsableRegistrationsOnly) {
  TAsioDriverList list;
  ListAsioDrivers(list);
  std::vector<std::wstring> names;
  for (const auto& desc : list) names.emplace_back(desc.name);
  std::sort(names.begin(), names.end());
  // No clsid value, no server key, a missing library and a class text that
  // is no class identifier are left out.
  EXPECT_EQ(names, (std::vector<std::wstring>{L"KRV Broken Not Creatable", L"KRV Test Driver",
                                              L"KRV Test Driver Bare", L"KRV Test Driver Expand"}));
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring inSystem = std::wstring(system) + L"\\krv_test_asio.dll";
  for (const auto& desc : list) {
    const std::wstring name = desc.name;
    if (name == L"KRV Test Driver Bare" || name == L"KRV Test Driver Expand") {
      EXPECT_EQ(_wcsicmp(desc.path, inSystem.c_str()), 0) << desc.path;
    }
  }
}

TEST_F(AsioWineTest, BrokenDriversAreAFailedOpenAndTheHostStaysUsable) {
  SetEnvironmentVariableA("KRV_TEST_ASIO_FAIL", "init");
  TASIOHost host(CreateWin32ASIOHostPlatform());
  host.SetDriverName(L"KRV Test Driver");
  EXPECT_FALSE(host.DriverOpen());
  EXPECT_EQ(host.OutputChannelCount(), 0);
  try {
    host.Reset();
    FAIL() << "no error";
  } catch (const EASIOHostError& error) {
    EXPECT_STREQ(error.what(), "ASIO Driver Failed!");
  }
  SetEnvironmentVariableA("KRV_TEST_ASIO_FAIL", nullptr);
  host.Reset();
  EXPECT_TRUE(host.DriverOpen());
  EXPECT_EQ(host.OutputChannelCount(), 2);

  host.SetDriverName(L"KRV Broken Not Creatable");
  EXPECT_FALSE(host.DriverOpen());
  EXPECT_THROW(host.Reset(), EASIOHostError);
}

// Frame n of channel 0 carries n, channel 1 carries -n (Int32LSB).
void WriteRamp(std::int64_t& frame, TAVDArrayOfDoubleDynArray& out) {
  for (std::size_t i = 0; i < out[0].size(); ++i, ++frame) {
    out[0][i] = static_cast<double>(frame) / 2147483647.0;
    out[1][i] = -static_cast<double>(frame) / 2147483647.0;
  }
}

TEST_F(AsioWineTest, RealTimePlayLosesAndRepeatsNoFrame) {
  const std::string capture = TempFile("krv_asio_play.wav");
  SetEnvironmentVariableA("KRV_TEST_ASIO_CAPTURE", capture.c_str());
  TASIOHost host(CreateWin32ASIOHostPlatform());
  std::int64_t frame = 0;
  host.SetOnBufferSwitch64(
      [&](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray& out) { WriteRamp(frame, out); });
  host.SetDriverName(L"KRV Test Driver");
  ASSERT_TRUE(host.DriverOpen());
  host.Reset();
  host.SetSampleRate(44100.0);
  host.SetActive(true);
  ASSERT_TRUE(host.Active());
  PumpMessages(3000);
  host.SetActive(false);
  const std::int64_t written = frame;
  host.CloseDriver();  // the driver completes its capture file

  const auto bytes = ReadFile(capture);
  ASSERT_GT(bytes.size(), 44u);
  const std::size_t frames = (bytes.size() - 44) / 8;
  EXPECT_EQ(static_cast<std::int64_t>(frames), written);
  EXPECT_GT(frames, 2u * 44100u);  // about 3 s in real time
  std::size_t bad = 0;
  for (std::size_t n = 0; n < frames; ++n) {
    std::int32_t left, right;
    std::memcpy(&left, &bytes[44 + 8 * n], 4);
    std::memcpy(&right, &bytes[48 + 8 * n], 4);
    if (left != static_cast<std::int32_t>(n) || right != -static_cast<std::int32_t>(n)) ++bad;
  }
  EXPECT_EQ(bad, 0u);
  EXPECT_TRUE(messages.Messages().empty());
  std::remove(capture.c_str());
}

TEST_F(AsioWineTest, ResetRequestFromTheDriverThreadReopensWithoutDeadlock) {
  SetEnvironmentVariableA("KRV_TEST_ASIO_RESET_AFTER", "8");
  TASIOHost host(CreateWin32ASIOHostPlatform());
  int resets = 0;
  std::atomic<int> halves{0};
  host.OnReset = [&](TCustomASIOHostBasic&) { ++resets; };
  host.SetOnBufferSwitch64(
      [&](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray&) { ++halves; });
  host.SetDriverName(L"KRV Test Driver");
  host.SetActive(true);
  ASSERT_TRUE(host.Active());
  PumpMessages(1500);
  EXPECT_GE(resets, 1);
  EXPECT_TRUE(host.Active());  // reopened and started again
  const int before = halves.load();
  PumpMessages(300);
  EXPECT_GT(halves.load(), before);
  host.SetActive(false);
  EXPECT_TRUE(messages.Messages().empty());
}

}  // namespace
