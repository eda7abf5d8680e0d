// The host's logic against a fake driver behind the driver interface.
#include "asio/DASIOHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "AllocationHook.h"
#include "FakeASIODriver.h"
#include "synthesis/ExtendedPrecision.h"

namespace {

using krvtest::TFakeDriver;
using krvtest::TFakePlatform;

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallFpuRoutines(); }
  TASIOHost& Host(int drivers = 3) {
    host = std::make_unique<TASIOHost>(std::make_unique<TFakePlatform>(drivers, made, model, errors, wakes));
    return *host;
  }
  TASIOHost& Open(int drivers = 3) {
    Host(drivers).SetDriverIndex(0);
    return *host;
  }
  TFakeDriver& Driver() { return *made.back(); }

  TFakeDriver model;
  std::vector<std::shared_ptr<TFakeDriver>> made;
  std::vector<std::string> errors;
  int wakes = 0;
  std::unique_ptr<TASIOHost> host;
};

TEST_F(HostTest, ChoosingADriverCallsItInTheStandardOrder) {
  model.inputs = 1;
  Open();
  EXPECT_EQ(Driver().calls,
            (std::vector<std::string>{"Init", "GetBufferSize", "GetSampleRate", "SetSampleRate 48000.000000",
                                      "GetChannels", "GetChannelInfo 0 1", "GetChannelInfo 0 0",
                                      "GetChannelInfo 1 0", "CreateBuffers 3 512", "GetLatencies", "GetDriverName",
                                      "GetDriverVersion", "Future 11", "Future 10", "Future 12", "Future 13",
                                      "Future 14", "Future 15", "Future 16"}));
  EXPECT_EQ(host->DriverVersion(), 7);
  EXPECT_EQ(host->CanDos(), SetOf(TASIOCanDo::acdTimeInfo));
  EXPECT_EQ(host->SampleRate(), 48000.0);
  EXPECT_EQ(host->OutputLatency(), 100);
  EXPECT_EQ(Driver().records[0].isInput, 1);
  EXPECT_EQ(Driver().records[2].channelNum, 1);
}

TEST_F(HostTest, BufferSizeFallbacks) {
  struct Case {
    std::int32_t min, max, pref;
    std::uint32_t size;
    std::int32_t gran = -1;
  };
  for (const Case c : {Case{256, 256, 512, 256, 0}, Case{64, 8192, 0, 4096}, Case{64, 8192, 65531, 4096},
                       Case{64, 8192, -1, 4096}, Case{64, 70000, 65530, 65530, 1},
                       // A preferred size outside the driver's own range is brought inside it.
                       Case{64, 1024, 2048, 1024}, Case{512, 1024, 128, 512}, Case{64, 2048, 0, 2048},
                       // ...and onto its steps: the nearest power of two, step or the minimum.
                       Case{64, 8192, 1000, 1024}, Case{64, 8192, 100, 128}, Case{64, 8192, 96, 128},
                       Case{64, 8192, 95, 64}, Case{64, 70000, 65530, 32768}, Case{64, 8192, 1000, 64, 0},
                       Case{64, 8192, 1000, 1024, 96}, Case{48, 1000, 1000, 948, 100}, Case{48, 1000, 97, 48, 100},
                       // No power of two in the range, or steps of no known kind: only the range.
                       Case{100, 120, 110, 110}, Case{100, 120, 200, 120}, Case{64, 8192, 1000, 1000, -2}}) {
    model.minSize = c.min, model.maxSize = c.max, model.preferred = c.pref, model.granularity = c.gran;
    Open();
    EXPECT_EQ(host->BufferSize(), c.size) << c.min << " " << c.max << " " << c.pref << " " << c.gran;
    EXPECT_EQ(Driver().size, static_cast<std::int32_t>(c.size));
  }
  EXPECT_EQ(host->BufferPreferredSize(), 1000);  // the driver's own figure is kept
}

TEST_F(HostTest, SampleRateRangeAndOnlyValidRatesReachTheDriver) {
  TASIOHost& h = Open();
  for (double rate : {0.0, -1.0, 2000000.0, std::numeric_limits<double>::quiet_NaN(), 1048575.0, 96000.0}) {
    Driver().calls.clear();
    h.SetSampleRate(rate);
    const bool valid = rate == 1048575.0 || rate == 96000.0;
    EXPECT_EQ(h.SampleRate(), valid ? rate : 44100.0) << rate;
    EXPECT_EQ(Driver().calls.size(), valid ? 1u : 0u) << rate;
    if (!std::isnan(rate)) {
      EXPECT_EQ(h.ASIOTime().SampleRate(), rate);
    }
  }
  EXPECT_EQ(h.CanSampleRate(0.0), ASE_NoClock);
  // A rate the driver could not read is not taken.
  model.rateResult = ASE_HWMalfunction;
  Open();
  EXPECT_EQ(host->SampleRate(), 44100.0);
  EXPECT_EQ(Driver().calls[2], "GetSampleRate");
  EXPECT_EQ(Driver().calls[3], "GetChannels");
}

TEST_F(HostTest, DriverIndexIsClampedAndNamesMatchWithoutCase) {
  TASIOHost& h = Host(3);
  EXPECT_EQ(h.CanSampleRate(48000.0), ASE_NotPresent);
  h.SetDriverIndex(99);
  EXPECT_EQ(h.DriverIndex(), 2);
  EXPECT_EQ(h.DriverName(), L"Driver 2");
  const std::size_t opened = made.size();
  h.SetDriverIndex(2);
  EXPECT_EQ(made.size(), opened);  // no reopen
  h.SetDriverName(L"driver 1");
  EXPECT_EQ(h.DriverIndex(), 1);
  h.SetDriverName(L"none");
  EXPECT_EQ(h.DriverIndex(), 1);
  h.SetDriverIndex(-5);
  EXPECT_EQ(h.DriverIndex(), -1);
  EXPECT_EQ(h.DriverName(), L"");
  EXPECT_FALSE(h.DriverOpen());
  EXPECT_EQ(h.OutputChannelCount(), 0);
  EXPECT_EQ(h.BufferSize(), 0u);
  EXPECT_EQ(TCustomASIOHostBasic::CurrentHost(), nullptr);
  EXPECT_THROW(h.Reset(), EASIOHostError);
}

TEST_F(HostTest, MessageTable) {
  TASIOHost& h = Open();
  struct Row {
    std::int32_t selector, value, answer;
  };
  for (const Row r : {Row{kAsioSelectorSupported, kAsioResyncRequest, 1}, Row{kAsioSelectorSupported, 7, 0},
                      Row{kAsioSelectorSupported, 99, 0}, Row{kAsioEngineVersion, 0, 2},
                      Row{kAsioResyncRequest, 0, 0}, Row{kAsioSupportsTimeInfo, 0, 1},
                      Row{kAsioSupportsTimeCode, 0, 0}, Row{kAsioSupportsInputMonitor, 0, 1}, Row{0, 0, 0},
                      Row{9, 0, 0}, Row{-3, 0, 0}}) {
    EXPECT_EQ(Driver().callbacks.asioMessage(r.selector, r.value, nullptr, nullptr), r.answer)
        << r.selector << " " << r.value;
  }
  EXPECT_EQ(wakes, 0);
  h.SetSelectorSupport(SetOf(TASIOSelectorSupport::assSupportsTimeInfo));
  EXPECT_EQ(Driver().callbacks.asioMessage(kAsioSelectorSupported, kAsioSupportsTimeInfo, nullptr, nullptr), 1);
}

TEST_F(HostTest, DriverRequestsAreAnsweredAtOnceAndCarriedOutOnTheOwnerThread) {
  TASIOHost& h = Open();
  int resets = 0, latencies = 0;
  h.OnReset = [&](TCustomASIOHostBasic&) { ++resets; };
  h.OnLatencyChanged = [&](TCustomASIOHostBasic& s) { latencies = s.OutputLatency(); };
  h.SetActive(true);
  auto* first = &Driver();
  EXPECT_EQ(first->callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr), 1);
  EXPECT_EQ(first->callbacks.asioMessage(kAsioBufferSizeChange, 0, nullptr, nullptr), 1);
  first->latency = 300;
  EXPECT_EQ(first->callbacks.asioMessage(kAsioLatenciesChanged, 0, nullptr, nullptr), 1);
  EXPECT_EQ(made.size(), 1u);  // nothing reopened inside the driver's call
  EXPECT_EQ(wakes, 2);         // one wake per kind of pending request
  h.ServiceRequests();
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(made.size(), 2u);
  EXPECT_TRUE(h.Active());
  EXPECT_EQ(latencies, 100);  // re-read from the reopened driver
  EXPECT_TRUE(errors.empty());
  // A reopen that fails is reported there.
  model.initResult = ASIOFalse;
  Driver().callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
  h.ServiceRequests();
  EXPECT_EQ(errors, std::vector<std::string>{"ASIO Driver Failed!"});
  EXPECT_FALSE(h.DriverOpen());
  EXPECT_EQ(TCustomASIOHostBasic::CurrentHost(), nullptr);
}

// Only a reset the driver asked for reaches OnDriverReset, once per request,
// after the reopen and before its error; the host's own Reset never does.
TEST_F(HostTest, DriverResetEventTellsOnlyRequestedResetsAndTheirOutcome) {
  TASIOHost& h = Open();
  std::vector<std::string> seen;
  h.OnReset = [&](TCustomASIOHostBasic&) { seen.push_back("reset"); };
  h.OnDriverReset = [&](TCustomASIOHostBasic& s, bool reopened) {
    seen.push_back(reopened ? "reopened" : "failed");
    EXPECT_EQ(s.DriverOpen(), reopened);
    EXPECT_TRUE(errors.empty());  // the error follows the event
    if (reopened) s.SetSampleRate(96000.0);  // the owner may call the host from its handler
  };
  h.Reset();
  EXPECT_EQ(seen, std::vector<std::string>{"reset"});
  Driver().callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
  h.ServiceRequests();
  EXPECT_EQ(seen, (std::vector<std::string>{"reset", "reset", "reopened"}));
  EXPECT_EQ(Driver().calls.back(), "SetSampleRate 96000.000000");
  h.ServiceRequests();  // nothing pending: no event
  EXPECT_EQ(seen.size(), 3u);
  model.initResult = ASIOFalse;
  Driver().callbacks.asioMessage(kAsioBufferSizeChange, 0, nullptr, nullptr);
  h.ServiceRequests();
  EXPECT_EQ(seen.back(), "failed");
  EXPECT_EQ(errors, std::vector<std::string>{"ASIO Driver Failed!"});
  EXPECT_EQ(h.DriverSampleRate(), std::nullopt);
}

// A reset the driver asks for while it plays fails at any step of the
// reopen (init, buffers, start): one error, the event says so, and no driver
// is left half open. A reset while it is stopped needs no start.
TEST_F(HostTest, ARequestedReopenThatFailsAtAnyStepIsOneErrorAndLeavesNoDriver) {
  struct Case {
    const char* name;
    void (*fail)(TFakeDriver&);
    bool active;
    bool reopened;
  };
  const Case cases[] = {
      {"init", [](TFakeDriver& d) { d.initResult = ASIOFalse; }, true, false},
      {"buffers", [](TFakeDriver& d) { d.createResult = ASE_InvalidMode; }, true, false},
      {"start", [](TFakeDriver& d) { d.startResult = ASE_HWMalfunction; }, true, false},
      {"buffers while stopped", [](TFakeDriver& d) { d.createResult = ASE_InvalidMode; }, false, false},
      {"start while stopped", [](TFakeDriver& d) { d.startResult = ASE_HWMalfunction; }, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    model = TFakeDriver{};
    errors.clear();
    TASIOHost& h = Open();
    std::vector<bool> outcomes;
    h.OnDriverReset = [&](TCustomASIOHostBasic&, bool reopened) { outcomes.push_back(reopened); };
    h.SetActive(c.active);
    ASSERT_EQ(h.Active(), c.active);
    c.fail(model);  // the drivers made from now on
    Driver().callbacks.asioMessage(kAsioBufferSizeChange, 1024, nullptr, nullptr);
    h.ServiceRequests();
    EXPECT_EQ(outcomes, std::vector<bool>{c.reopened});
    EXPECT_EQ(h.DriverOpen(), c.reopened);
    EXPECT_FALSE(h.Active());
    EXPECT_EQ(errors, c.reopened ? std::vector<std::string>{} : std::vector<std::string>{"ASIO Driver Failed!"});
    if (!c.reopened) {
      EXPECT_EQ(TCustomASIOHostBasic::CurrentHost(), nullptr);
    }
  }
  // A request that finds the driver closed meanwhile does nothing.
  model = TFakeDriver{};
  errors.clear();
  TASIOHost& h = Open();
  int events = 0;
  h.OnDriverReset = [&](TCustomASIOHostBasic&, bool) { ++events; };
  Driver().callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
  const std::size_t drivers = made.size();
  h.SetDriverIndex(-1);
  h.ServiceRequests();
  EXPECT_EQ(made.size(), drivers);
  EXPECT_EQ(events, 0);
  EXPECT_TRUE(errors.empty());
}

TEST_F(HostTest, FailedOpensLeaveNoDriverAndNoStart) {
  struct Case {
    std::int32_t inputs, outputs;
    ASIOBool init;
  };
  for (const Case c : {Case{-1, 2, 1}, Case{0, 100000, 1}, Case{0, 2, ASIOFalse}}) {
    model.inputs = c.inputs, model.outputs = c.outputs, model.initResult = c.init;
    TASIOHost& h = Open();
    EXPECT_FALSE(h.DriverOpen()) << c.outputs;
    EXPECT_EQ(h.OutputChannelCount(), 0);
    EXPECT_THROW(h.Reset(), EASIOHostError);
  }
  // Refused buffers: no half address survives and the driver is not started.
  model = TFakeDriver{};
  model.createResult = ASE_NoMemory;
  TASIOHost& h = Open();
  EXPECT_TRUE(h.DriverOpen());
  EXPECT_FALSE(h.BuffersCreated());
  h.SetActive(true);
  EXPECT_FALSE(h.Active());
  EXPECT_EQ(std::count(Driver().calls.begin(), Driver().calls.end(), "Start"), 0);
}

// The handler's doubles reach every output type: read back through the
// type's own in-convertor, each channel gives its value within one step.
TEST_F(HostTest, HandlerBlocksAreConvertedIntoEachOutputType) {
  for (const ASIOSampleType type : ConvertSlotTypes) {
    model.type = type;
    TASIOHost& h = Open();
    h.SetOnBufferSwitch64([](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray& out) {
      std::fill(out[0].begin(), out[0].end(), 0.5);
      std::fill(out[1].begin(), out[1].end(), -0.25);
    });
    h.SetActive(true);
    Driver().Switch(1);
    EXPECT_EQ(Driver().outputReadyCount, 1);
    for (int channel = 0; channel < 2; ++channel) {
      std::vector<double> back(h.BufferSize());
      std::vector<unsigned char> copy(Driver().halves[2 * channel + 1]);
      InConvertorOf(type)->ic64(copy.data(), back.data(), static_cast<std::int32_t>(back.size()));
      EXPECT_NEAR(back[17], channel ? -0.25 : 0.5, 1.0 / 32000) << "type " << type;
      EXPECT_EQ(Driver().halves[2 * channel][0], 0xAB);  // the other half untouched
    }
  }
}

TEST_F(HostTest, PreFillMonitorAndClipOptions) {
  model.inputs = 2, model.outputs = 8, model.type = ASIOSTFloat64LSB;
  TASIOHost& h = Open();
  std::vector<std::vector<double>> seen;
  double write = 0.0;
  h.SetOnBufferSwitch64([&](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray& out) {
    seen.assign(out.begin(), out.end());
    if (write != 0.0) out[7][0] = write, out[7][1] = -write;
  });
  h.SetActive(true);
  for (int i = 0; i < 2; ++i) {
    auto* in = reinterpret_cast<double*>(Driver().Half(i, 0));
    std::fill(in, in + h.BufferSize(), i ? -0.5 : 0.25);
  }
  h.SetInputMonitor(TInputMonitor::imAll);
  Driver().Switch(0);
  EXPECT_EQ(seen[0][5], 0.25);
  EXPECT_EQ(seen[1][5], -0.5);
  EXPECT_EQ(seen[2][5], 0.0);
  h.SetInputMonitor(TInputMonitor::imDisabled);
  h.SetPreFillOutBuffer(TBufferPreFill::bpfNoise);
  Driver().Switch(0);
  EXPECT_NE(seen[3][0], seen[3][1]);
  EXPECT_LE(std::abs(seen[3][0]), 1.0);
  h.SetPreFillOutBuffer(TBufferPreFill::bpfZero);
  h.SetPreventClipping(TPreventClipping::pcDigital);
  write = 1.5;
  Driver().Switch(0);
  const auto* out7 = reinterpret_cast<const double*>(Driver().Half(2 + 7, 0));
  EXPECT_EQ(out7[0], 1.0);
  EXPECT_EQ(out7[1], -1.0);
  EXPECT_EQ(out7[2], 0.0);
  // Offsets beyond the channel counts are refused.
  h.SetInputChannelOffset(5);
  EXPECT_EQ(h.InputChannelOffset(), 0);
  h.SetOutputChannelOffset(7);
  EXPECT_EQ(h.OutputChannelOffset(), 7);
  // The native event replaces conversion; outputReady still follows.
  int native = 0;
  h.OnBufferSwitchNative = [&](TCustomASIOHostBasic&, PASIOBufferList, std::int32_t) { ++native; };
  const int ready = Driver().outputReadyCount;
  write = 0.75;
  Driver().Switch(0);
  EXPECT_EQ(native, 1);
  EXPECT_EQ(out7[0], 1.0);
  EXPECT_EQ(Driver().outputReadyCount, ready + 1);
}

TEST_F(HostTest, TheDoubleEventWinsAndTheSinglePathStillPlays) {
  TASIOHost& h = Open();
  int singles = 0, doubles = 0;
  h.SetOnBufferSwitch32([&](TCustomASIOHost&, const TAVDArrayOfSingleDynArray&, TAVDArrayOfSingleDynArray& out) {
    ++singles;
    out[0][0] = 0.5f;
  });
  h.SetOnBufferSwitch64(
      [&](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray&) { ++doubles; });
  h.SetActive(true);
  Driver().Switch(0);
  EXPECT_EQ(doubles, 1);
  EXPECT_EQ(singles, 0);
  h.SetOnBufferSwitch64(nullptr);
  EXPECT_EQ(h.ConvertMethod(), TConvertMethod::cm32);
  Driver().Switch(1);
  EXPECT_EQ(singles, 1);
  std::int32_t first;
  std::memcpy(&first, Driver().Half(0, 1), 4);
  EXPECT_NEAR(first, 1073741824, 1);
  h.SetOnBufferSwitch32(nullptr);
  EXPECT_EQ(h.ConvertMethod(), TConvertMethod::cmNone);
  Driver().Switch(0);  // no event: the blocks are still converted
  std::memcpy(&first, Driver().Half(0, 0), 4);
  EXPECT_NEAR(first, 1073741824, 1);
  EXPECT_EQ(Driver().outputReadyCount, 3);
}

TEST_F(HostTest, MsbInputsAreConvertedWithoutTouchingTheDriverBuffer) {
  model.inputs = 1, model.type = ASIOSTInt32MSB;
  TASIOHost& h = Open();
  double got = 0.0;
  h.SetOnBufferSwitch64([&](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray& in, TAVDArrayOfDoubleDynArray&) {
    got = in[0][0];
  });
  h.SetActive(true);
  unsigned char* half = Driver().Half(0, 1);
  const unsigned char sample[4] = {0x40, 0, 0, 0};  // +0.5, big-endian
  std::memcpy(half, sample, 4);
  Driver().Switch(1);
  EXPECT_NEAR(got, 0.5, 1e-9);
  EXPECT_EQ(std::memcmp(half, sample, 4), 0);
}

TEST_F(HostTest, StopZeroesOnlyKnownTypesAndCallbacksIgnoreBadInput) {
  for (const ASIOSampleType type : {ASIOSTInt24LSB, ASIOSampleType{32}}) {
    model.type = type;
    TASIOHost& h = Open();
    h.SetActive(true);
    h.SetActive(false);
    const std::size_t zeroed = std::count(Driver().halves[3].begin(), Driver().halves[3].end(), 0);
    EXPECT_EQ(zeroed, type == ASIOSTInt24LSB ? 3u * h.BufferSize() : 0u) << type;
  }
  TASIOHost& h = Open();
  h.SetActive(true);
  Driver().callbacks.bufferSwitchTimeInfo(nullptr, 0, ASIOTrue);  // no time record: the half still plays
  Driver().callbacks.bufferSwitch(2, ASIOTrue);
  Driver().callbacks.bufferSwitchTimeInfo(nullptr, -1, ASIOTrue);
  EXPECT_EQ(Driver().outputReadyCount, 1);
}

TEST_F(HostTest, AFailingHandlerGivesSilenceAndOneErrorOnTheOwnerThread) {
  model.type = ASIOSTInt16LSB;
  TASIOHost& h = Open();
  h.SetOnBufferSwitch64([](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray&) {
    throw std::runtime_error("handler");
  });
  h.SetActive(true);
  Driver().Switch(0);
  Driver().Switch(1);
  EXPECT_EQ(Driver().outputReadyCount, 2);
  EXPECT_EQ(std::count(Driver().halves[0].begin(), Driver().halves[0].end(), 0), 2 * h.BufferSize());
  EXPECT_EQ(wakes, 1);
  EXPECT_TRUE(errors.empty());
  h.ServiceRequests();
  Driver().Switch(0);  // reported once until the driver is opened again
  h.ServiceRequests();
  EXPECT_EQ(errors, std::vector<std::string>{"ASIO Driver Failed!"});
  EXPECT_EQ(wakes, 1);
}

TEST_F(HostTest, BufferSwitchAllocatesNothingAndRestoresTheDriversControlWord) {
  model.outputs = 8;
  TASIOHost& h = Open();
  bool extended = false;
  h.SetOnBufferSwitch64([&](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray& out) {
    extended = krv::HasExtendedPrecision();
    for (std::size_t i = 0; i < out[0].size(); ++i) out[0][i] = out[1][i] = 0.25;
  });
  h.SetActive(true);
  const std::uint16_t saved = krv::ReadFpuControlWord();
  krv::WriteFpuControlWord(0x027F);
  krvtest::AllocationCount = 0;
  krvtest::CountAllocations = true;
  for (int i = 0; i < 4; ++i) Driver().Switch(i & 1);
  krvtest::CountAllocations = false;
  const std::uint16_t after = krv::ReadFpuControlWord();
  krv::WriteFpuControlWord(saved);
  EXPECT_EQ(krvtest::AllocationCount, 0);
  EXPECT_TRUE(extended);
  EXPECT_EQ(after, 0x027F);
}

// A driver whose own code, in a call the host makes inside the callback (the
// sample position of a plain buffer switch), leaves 53-bit precision and
// rounding toward zero: the host converts the handler's blocks as it does
// for any other driver.
void LeaveControlWordsChanged() {
  krv::WriteFpuControlWord(static_cast<std::uint16_t>((krv::ReadFpuControlWord() & ~0x0F00) | 0x0E00));
  krv::WriteSseControl((krv::ReadSseControl() & ~krv::kSseRoundingMask) | krv::kSseRoundTowardZero);
}

TEST_F(HostTest, ADriverCallInsideThePlainCallbackChangesNoConvertedSample) {
  auto play = [&](bool changing) {
    model.type = ASIOSTInt32LSB;
    model.samplePositionHook = changing ? &LeaveControlWordsChanged : nullptr;
    TASIOHost& h = Open();
    h.SetOnBufferSwitch64([](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray& out) {
      for (std::size_t i = 0; i < out[0].size(); ++i) {
        out[0][i] = static_cast<double>(i + 1) / 1000.3;
        out[1][i] = -static_cast<double>(i + 1) / 777.7;
      }
    });
    h.SetActive(true);
    const std::uint16_t x87 = krv::ReadFpuControlWord();
    const std::uint32_t sse = krv::ReadSseControl();
    Driver().callbacks.bufferSwitch(1, ASIOTrue);
    const bool back = krv::ReadFpuControlWord() == x87 &&
                      (krv::ReadSseControl() & ~krv::kSseExceptionFlags) == (sse & ~krv::kSseExceptionFlags);
    krv::WriteFpuControlWord(x87);
    krv::WriteSseControl(sse);
    EXPECT_TRUE(back) << "the driver's control words are not back after the callback";
    return std::vector<std::vector<unsigned char>>{Driver().halves[1], Driver().halves[3]};
  };
  const auto expected = play(false);
  const auto got = play(true);
  for (std::size_t c = 0; c < 2; ++c) {
    std::size_t differ = 0;
    for (std::size_t i = 0; i < expected[c].size(); i += 4) differ += std::memcmp(&got[c][i], &expected[c][i], 4) != 0;
    EXPECT_EQ(differ, 0u) << "channel " << c << ": samples differ";
  }
}

TEST_F(HostTest, TimeObjectRules) {
  TASIOTimeSub time;
  int changes = 0;
  time.OnChanged = [&](TASIOTimeSub&) { ++changes; };
  EXPECT_EQ(time.Flags(), 0x0F);
  time.SetFlags(ATFlag(TATFlag::atSampleRateValid));
  EXPECT_EQ(time.BufferTime().timeInfo.flags, 4u);
  time.SetSpeed(1.0);
  EXPECT_EQ(changes, 0);
  time.SetSamplePos(1LL << 40);
  EXPECT_EQ(time.SamplePos(), 1LL << 40);
  EXPECT_EQ(changes, 1);
  TASIOTimeSub copy;
  time.AssignTo(copy);
  EXPECT_EQ(copy.SamplePos(), 1LL << 40);
}

}  // namespace
