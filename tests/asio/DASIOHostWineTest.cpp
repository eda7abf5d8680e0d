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
#include <mutex>
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
                             "KRV_TEST_ASIO_CAPTURE", "KRV_TEST_ASIO_OUTPUTS", "KRV_TEST_ASIO_TYPE",
                             "KRV_TEST_ASIO_CALLBACK"})
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

// A driver with one sample type per output (packed, big-endian, N-in-32 and
// float among them) gets each channel in its own type: every captured sample
// is what the conversion table stores for the value the handler wrote.
TEST_F(AsioWineTest, EachOutputIsStoredInItsOwnSampleType) {
  const std::vector<ASIOSampleType> types{ASIOSTInt32LSB24, ASIOSTInt16MSB, ASIOSTInt24LSB, ASIOSTFloat64LSB,
                                          ASIOSTInt32MSB18};
  const std::string capture = TempFile("krv_asio_out%d.cap");
  SetEnvironmentVariableA("KRV_TEST_ASIO_CAPTURE", capture.c_str());
  SetEnvironmentVariableA("KRV_TEST_ASIO_OUTPUTS", "5");
  SetEnvironmentVariableA("KRV_TEST_ASIO_TYPE", "27,0,17,20,9");
  auto value = [](std::size_t channel, std::int64_t frame) {
    // Full scale and beyond at the ends of each 1000-frame ramp.
    return static_cast<double>((frame * 7 + static_cast<std::int64_t>(channel) * 311) % 1001 - 500) / 490.0;
  };
  TASIOHost host(CreateWin32ASIOHostPlatform());
  std::int64_t frame = 0;
  host.SetOnBufferSwitch64([&](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray& out) {
    for (std::size_t i = 0; i < out[0].size(); ++i, ++frame)
      for (std::size_t c = 0; c < out.size(); ++c) out[c][i] = value(c, frame);
  });
  host.SetDriverName(L"KRV Test Driver");
  ASSERT_TRUE(host.DriverOpen());
  ASSERT_EQ(host.OutputChannelCount(), 5);
  host.SetActive(true);
  ASSERT_TRUE(host.Active());
  PumpMessages(400);
  host.SetActive(false);
  const std::int64_t written = frame;
  host.CloseDriver();
  ASSERT_GT(written, 0);

  for (std::size_t c = 0; c < types.size(); ++c) {
    SCOPED_TRACE(types[c]);
    std::string path = capture;
    path.replace(path.find("%d"), 2, std::to_string(c));
    auto bytes = ReadFile(path);
    std::remove(path.c_str());
    const bool wav = types[c] >= ASIOSTInt16LSB;
    ASSERT_EQ(bytes.size() >= 4 && std::memcmp(bytes.data(), "RIFF", 4) == 0, wav);
    if (wav) bytes.erase(bytes.begin(), bytes.begin() + 44);
    std::vector<double> x(static_cast<std::size_t>(written));
    for (std::size_t n = 0; n < x.size(); ++n) x[n] = value(c, static_cast<std::int64_t>(n));
    const std::size_t width = types[c] == ASIOSTInt16MSB ? 2 : types[c] == ASIOSTInt24LSB ? 3
                              : types[c] == ASIOSTFloat64LSB ? 8 : 4;
    std::vector<unsigned char> expected(x.size() * width);
    OutConvertorOf(types[c])->oc64(x.data(), expected.data(), static_cast<std::int32_t>(x.size()));
    EXPECT_EQ(bytes.size(), expected.size());
    EXPECT_TRUE(bytes == expected);
  }
}

// A driver that calls only the plain bufferSwitch: the host takes each
// half's sample position from getSamplePosition.
TEST_F(AsioWineTest, PlainBufferSwitchTakesThePositionFromTheDriver) {
  SetEnvironmentVariableA("KRV_TEST_ASIO_CALLBACK", "plain");
  TASIOHost host(CreateWin32ASIOHostPlatform());
  std::mutex lock;
  std::vector<std::int64_t> positions;
  positions.reserve(1000);
  host.OnUpdateSamplePos = [&](TCustomASIOHostBasic&, std::int64_t position) {
    std::lock_guard guard(lock);
    if (positions.size() < positions.capacity()) positions.push_back(position);
  };
  std::atomic<int> halves{0};
  host.SetOnBufferSwitch64(
      [&](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray&) { ++halves; });
  host.SetDriverName(L"KRV Test Driver");
  ASSERT_TRUE(host.DriverOpen());
  EXPECT_FALSE(host.CanTimeInfo());
  host.SetActive(true);
  ASSERT_TRUE(host.Active());
  PumpMessages(300);
  host.SetActive(false);
  std::lock_guard guard(lock);
  ASSERT_GE(positions.size(), 5u);
  EXPECT_EQ(static_cast<int>(positions.size()), halves.load());
  for (std::size_t i = 0; i < positions.size(); ++i)
    EXPECT_EQ(positions[i], static_cast<std::int64_t>(i) * host.BufferSize()) << i;
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
