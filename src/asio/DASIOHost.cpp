#include "asio/DASIOHost.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cwctype>

#include "synthesis/ExtendedPrecision.h"

namespace {

std::atomic<TCustomASIOHostBasic*> HostInstance{nullptr};

// Requests from the driver's thread, carried out on the owner thread.
constexpr std::uint32_t kRequestReset = 1;
constexpr std::uint32_t kRequestLatencies = 2;
constexpr std::uint32_t kRequestError = 4;

constexpr double kMaxSampleRate = 1048575.0;

bool ValidRate(double rate) { return rate > 0.0 && rate <= kMaxSampleRate; }  // false for NaN

bool SameText(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
         });
}

}  // namespace

std::uint32_t FitBufferSize(std::uint32_t Size, std::int32_t Minimum, std::int32_t Maximum, std::int32_t Granularity) {
  if (Minimum < 1 || Minimum > Maximum || Minimum > kMaxBufferFrames) return Size;
  const std::int64_t low = Minimum, high = std::min(Maximum, kMaxBufferFrames);
  const std::int64_t size = std::clamp<std::int64_t>(Size, low, high);
  if (Granularity == 0) return static_cast<std::uint32_t>(low);
  if (Granularity > 0) {
    // The nearest step from the minimum (halfway goes up), within the maximum.
    std::int64_t fitted = low + (size - low + Granularity / 2) / Granularity * Granularity;
    if (fitted > high) fitted -= Granularity;
    return static_cast<std::uint32_t>(std::max(fitted, low));
  }
  if (Granularity != -1) return static_cast<std::uint32_t>(size);
  // The nearest power of two within the range (halfway goes up); none there:
  // the size as it is.
  std::int64_t below = 0, above = 0;
  for (std::int64_t power = 1; power <= high; power <<= 1) {
    if (power < low) continue;
    if (power <= size) below = power;
    if (power >= size && above == 0) above = power;
  }
  if (below == 0 && above == 0) return static_cast<std::uint32_t>(size);
  if (below == 0 || (above != 0 && above - size <= size - below)) return static_cast<std::uint32_t>(above);
  return static_cast<std::uint32_t>(below);
}

void SetDriverDescText(wchar_t (&field)[512], const std::wstring& text) {
  const std::size_t n = std::min<std::size_t>(text.size(), 511);
  std::copy_n(text.data(), n, field);
  field[n] = 0;
}

// ---------------------------------------------------------------------------
// TASIOTimeSub

TASIOTimeSub::TASIOTimeSub() {
  FBufferTime.timeInfo.speed = 1.0;
  FBufferTime.timeInfo.sampleRate = 44100.0;
  FBufferTime.timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid | kSpeedValid;
}

std::int64_t TASIOTimeSub::SamplePos() const { return AsioInt64ToInt64(FBufferTime.timeInfo.samplePosition); }

void TASIOTimeSub::SetSamplePos(std::int64_t value) {
  if (value == SamplePos()) return;
  FBufferTime.timeInfo.samplePosition = Int64ToAsioInt64(value);
  Changed();
}

void TASIOTimeSub::SetSpeed(double value) {
  if (value == FBufferTime.timeInfo.speed) return;
  FBufferTime.timeInfo.speed = value;
  Changed();
}

void TASIOTimeSub::SetSampleRate(double value) {
  if (value == FBufferTime.timeInfo.sampleRate) return;
  FBufferTime.timeInfo.sampleRate = value;
  Changed();
}

void TASIOTimeSub::AssignTo(TASIOTimeSub& Dest) const {
  Dest.FBufferTime = FBufferTime;
  Dest.Changed();
}

void TASIOTimeSub::Changed() {
  if (OnChanged) OnChanged(*this);
}

// ---------------------------------------------------------------------------
// The four entry points handed to the driver. They run on the driver's
// thread: extended precision for the host's arithmetic, the driver's own
// control word restored on return, and no exception ever passes back.

struct TASIOHostCallbacks {
  static void BufferSwitch(std::int32_t index, ASIOBool) {
    TCustomASIOHostBasic* host = HostInstance.load(std::memory_order_acquire);
    if (!host || (index != 0 && index != 1)) return;
    krv::ExtendedPrecisionScope precision;
    try {
      TASIOHostMessage message{HostMessageBufferSwitch, 1, index, 0};
      host->Dispatch(message);
    } catch (...) {
      host->PostCallbackError();
      host->SilenceHalf(index);
    }
  }

  static PASIOTime BufferSwitchTimeInfo(TASIOTime* params, std::int32_t index, ASIOBool) {
    TCustomASIOHostBasic* host = HostInstance.load(std::memory_order_acquire);
    if (!host || (index != 0 && index != 1)) return nullptr;
    krv::ExtendedPrecisionScope precision;
    try {
      if (params) host->FSwitchTime = *params;
      TASIOHostMessage message{HostMessageBufferSwitchTimeInfo, 2, index, 0};
      host->Dispatch(message);
    } catch (...) {
      host->PostCallbackError();
      host->SilenceHalf(index);
    }
    return nullptr;
  }

  static void SampleRateDidChange(double) {
    TCustomASIOHostBasic* host = HostInstance.load(std::memory_order_acquire);
    if (!host) return;
    krv::ExtendedPrecisionScope precision;
    try {
      if (host->OnSampleRateChanged) host->OnSampleRateChanged(*host);
    } catch (...) {
      host->PostCallbackError();
    }
  }

  static std::int32_t AsioMessage(std::int32_t selector, std::int32_t value, void*, double*) {
    TCustomASIOHostBasic* host = HostInstance.load(std::memory_order_acquire);
    if (!host) return 0;
    return host->AsioMessage(selector, value);
  }
};

// ---------------------------------------------------------------------------
// TCustomASIOHostBasic

TCustomASIOHostBasic* TCustomASIOHostBasic::CurrentHost() { return HostInstance.load(std::memory_order_acquire); }

TCustomASIOHostBasic::TCustomASIOHostBasic(std::unique_ptr<TASIOHostPlatform> platform)
    : FASIOSelectorSupport(SetOf(TASIOSelectorSupport::assEngineVersion) |
                           SetOf(TASIOSelectorSupport::assResetRequest) |
                           SetOf(TASIOSelectorSupport::assBufferSizeChange) |
                           SetOf(TASIOSelectorSupport::assResyncRequest) |
                           SetOf(TASIOSelectorSupport::assLatenciesChanged)),
      FPlatform(std::move(platform)) {
  FHandle = FPlatform->WindowHandle();
  FASIOdriverlist = FPlatform->ScanDrivers();
  for (const TAsioDriverDesc& desc : FASIOdriverlist) FDriverList.emplace_back(desc.name);
  FCallbacks.bufferSwitch = &TASIOHostCallbacks::BufferSwitch;
  FCallbacks.sampleRateDidChange = &TASIOHostCallbacks::SampleRateDidChange;
  FCallbacks.asioMessage = &TASIOHostCallbacks::AsioMessage;
  FCallbacks.bufferSwitchTimeInfo = &TASIOHostCallbacks::BufferSwitchTimeInfo;
  FPlatform->SetServiceRoutine([this] { ServiceRequests(); });
}

TCustomASIOHostBasic::~TCustomASIOHostBasic() {
  if (OnDestroy) OnDestroy(*this);
  SetActive(false);
  CloseDriver();
  FPlatform->SetServiceRoutine(nullptr);
}

std::int32_t TCustomASIOHostBasic::GetNumDrivers() const { return static_cast<std::int32_t>(FASIOdriverlist.size()); }

void TCustomASIOHostBasic::SetDriverIndex(std::int32_t value) {
  std::lock_guard lock(FLock);
  if (value == FDriverIndex) return;
  const bool wasActive = Active();
  SetActive(false);
  FDriverIndex = std::clamp(value, -1, GetNumDrivers() - 1);
  if (FDriverIndex < 0) {
    FDriverName.clear();
    CloseDriver();
    FInputLatency = FOutputLatency = FInputChannelCount = FOutputChannelCount = 0;
    FBufferSize = 0;
  } else {
    try {
      CloseDriver();
      FDriverName = FDriverList[static_cast<std::size_t>(FDriverIndex)];
      OpenDriver();
    } catch (...) {
      return;  // a driver that cannot be opened leaves the host without one
    }
    char name[128] = {};
    FDriver->GetDriverName(name);
    FDriverVersion = FDriver->GetDriverVersion();
    CanTimeCode();
    CanTimeInfo();
    CanTransport();
    CanInputGain();
    CanInputMeter();
    CanOutputGain();
    CanOutputMeter();
  }
  if (OnDriverChanged) OnDriverChanged(*this);
  SetActive(wasActive);
}

void TCustomASIOHostBasic::SetDriverName(const std::wstring& value) {
  for (std::size_t i = 0; i < FDriverList.size(); ++i) {
    if (SameText(FDriverList[i], value)) {
      SetDriverIndex(static_cast<std::int32_t>(i));
      return;
    }
  }
}

void TCustomASIOHostBasic::ReleaseDriver() {
  FDriver.reset();
  TCustomASIOHostBasic* self = this;
  HostInstance.compare_exchange_strong(self, nullptr);
}

void TCustomASIOHostBasic::OpenDriver() {
  std::lock_guard lock(FLock);
  bool wasActive = false;
  if (FDriver) {
    try {
      wasActive = Active();
      SetActive(false);
      CloseDriver();
    } catch (...) {
    }
  }
  if (FDriverIndex >= 0 && FDriverIndex < GetNumDrivers()) {
    try {
      IQorvASIOPtr driver;
      if (FPlatform->CreateDriver(FASIOdriverlist[static_cast<std::size_t>(FDriverIndex)].id, driver) && driver) {
        FDriver = std::move(driver);
        HostInstance.store(this, std::memory_order_release);
        if (FDriver->Init(FHandle) == ASIOFalse) ReleaseDriver();
      }
    } catch (...) {
      ReleaseDriver();
    }
  }
  if (!FDriver) throw EASIOHostError();
  FCallbackFailed = false;
  FChannelCountRefused = false;
  FBuffersCreated = CreateBuffers();
  if (FChannelCountRefused) {
    CloseDriver();
    throw EASIOHostError();
  }
  if (wasActive) SetActive(true);
}

void TCustomASIOHostBasic::CloseDriver() {
  std::lock_guard lock(FLock);
  if (FDriver) {
    // Never free what a running driver still writes into.
    if (Active()) SetActive(false);
    if (FBuffersCreated) {
      try {
        DisposeBuffers();
      } catch (...) {
      }
    }
    ReleaseDriver();
  }
  FBuffersCreated = false;
  FInputLatency = FOutputLatency = FInputChannelCount = FOutputChannelCount = 0;
  FSampleRate = 44100.0;
}

void TCustomASIOHostBasic::Reset() {
  std::lock_guard lock(FLock);
  OpenDriver();
  if (OnReset) OnReset(*this);
}

void TCustomASIOHostBasic::SetActive(bool value) {
  std::lock_guard lock(FLock);
  if (!FDriver || value == Active()) return;
  if (value) {
    if (!FBuffersCreated) return;  // nothing to play into
    ASIOError result = ASE_HWMalfunction;
    try {
      result = FDriver->Start();
    } catch (...) {
      FSampleRate = 44100.0;
    }
    FActive = result == ASE_OK;
    if (!FActive) FDriver->Stop();
  } else {
    FActive = false;
    try {
      FDriver->Stop();
    } catch (...) {
    }
    if (FBuffersCreated) ZeroDriverHalves();
  }
}

void TCustomASIOHostBasic::SetSampleRate(double value) {
  std::lock_guard lock(FLock);
  const bool valid = ValidRate(value);
  FSampleRate = valid ? value : 44100.0;
  FASIOTime.SetSampleRate(value);
  // A rate of 0 would switch a driver to its external clock.
  if (FDriver && valid) FDriver->SetSampleRate(value);
}

std::optional<double> TCustomASIOHostBasic::DriverSampleRate() {
  std::lock_guard lock(FLock);
  double rate = 0.0;
  if (!FDriver || FDriver->GetSampleRate(rate) != ASE_OK) return std::nullopt;
  return rate;
}

ASIOError TCustomASIOHostBasic::CanSampleRate(double sampleRate) {
  std::lock_guard lock(FLock);
  if (!FDriver) return ASE_NotPresent;
  if (!ValidRate(sampleRate)) return ASE_NoClock;
  return FDriver->CanSampleRate(sampleRate);
}

void TCustomASIOHostBasic::ControlPanel() {
  std::lock_guard lock(FLock);
  if (FDriver) FDriver->ControlPanel();
}

bool TCustomASIOHostBasic::QueryCanDo(std::int32_t selector, TASIOCanDo member) {
  if (!FDriver) return false;
  const bool can = FDriver->Future(selector, nullptr) == ASE_SUCCESS;
  if (can) FASIOCanDos |= SetOf(member);
  return can;
}

bool TCustomASIOHostBasic::CanTimeInfo() { return QueryCanDo(kAsioCanTimeInfo, TASIOCanDo::acdTimeInfo); }
bool TCustomASIOHostBasic::CanTimeCode() { return QueryCanDo(kAsioCanTimeCode, TASIOCanDo::acdTimeCode); }
bool TCustomASIOHostBasic::CanTransport() { return QueryCanDo(kAsioCanTransport, TASIOCanDo::acdTransport); }
bool TCustomASIOHostBasic::CanInputGain() { return QueryCanDo(kAsioCanInputGain, TASIOCanDo::acdInputGain); }
bool TCustomASIOHostBasic::CanInputMeter() { return QueryCanDo(kAsioCanInputMeter, TASIOCanDo::acdInputMeter); }
bool TCustomASIOHostBasic::CanOutputGain() { return QueryCanDo(kAsioCanOutputGain, TASIOCanDo::acdOutputGain); }
bool TCustomASIOHostBasic::CanOutputMeter() { return QueryCanDo(kAsioCanOutputMeter, TASIOCanDo::acdOutputMeter); }

std::int32_t TCustomASIOHostBasic::ChannelControl(std::int32_t selector, std::int32_t channel, ASIOBool isInput,
                                                  std::int32_t gain) {
  TASIOChannelControls controls{};
  controls.channel = channel;
  controls.isInput = isInput;
  controls.gain = gain;
  FDriver->Future(selector, &controls);
  return controls.meter;  // 0 when the driver does not fill it in
}

std::int32_t TCustomASIOHostBasic::GetInputMeter(std::int32_t Channel) {
  return FDriver ? ChannelControl(kAsioGetInputMeter, Channel, 1, 0) : -1;
}

std::int32_t TCustomASIOHostBasic::GetOutputMeter(std::int32_t Channel) {
  return FDriver ? ChannelControl(kAsioGetOutputMeter, Channel, 0, 0) : -1;
}

void TCustomASIOHostBasic::SetInputGain(std::int32_t Channel, std::int32_t Gain) {
  if (FDriver) ChannelControl(kAsioSetInputGain, Channel, 1, Gain);
}

void TCustomASIOHostBasic::GetOutputGain(std::int32_t Channel, std::int32_t Gain) {
  if (FDriver) ChannelControl(kAsioSetOutputGain, Channel, 0, Gain);
}

bool TCustomASIOHostBasic::CreateBuffers() {
  if (!FDriver) return false;
  if (FBuffersCreated) DisposeBuffers();
  FDriver->GetBufferSize(Fmin, Fmax, Fpref, Fgran);
  if (Fmin == Fmax) Fpref = Fmin;
  FBufferSize = (Fpref < 1 || Fpref > 65530) ? 4096u : static_cast<std::uint32_t>(Fpref);
  // A driver refuses buffers of a size it does not offer: a preferred size
  // outside its own range or steps (some drivers report one, or announce one
  // in a buffer size change) is brought to the nearest size it offers.
  FBufferSize = FitBufferSize(FBufferSize, Fmin, Fmax, Fgran);
  double rate = 0.0;
  if (FDriver->GetSampleRate(rate) == ASE_OK) {
    FSampleRate = rate;
    SetSampleRate(rate);
  }
  std::int32_t inputs = 0, outputs = 0;
  FDriver->GetChannels(inputs, outputs);
  if (inputs < 0 || outputs < 0 || inputs > MaxDriverChannels || outputs > MaxDriverChannels) {
    FChannelCountRefused = true;
    FInputChannelCount = FOutputChannelCount = 0;
    return false;
  }
  FInputChannelCount = inputs;
  FOutputChannelCount = outputs;
  // The records, inputs first (std::allocator aligns them to 16 bytes).
  FBufferArea.assign(static_cast<std::size_t>(inputs + outputs), TASIOBufferInfo{});
  FInputBuffer = FBufferArea.data();
  FOutputBuffer = FInputBuffer + inputs;
  auto describe = [this](std::vector<TASIOChannelInfo>& infos, std::int32_t count, ASIOBool isInput,
                         PASIOBufferInfo records) {
    infos.assign(static_cast<std::size_t>(count), TASIOChannelInfo{});
    for (std::int32_t i = 0; i < count; ++i) {
      TASIOChannelInfo& info = infos[static_cast<std::size_t>(i)];
      info.channel = i;
      info.isInput = isInput;
      FDriver->GetChannelInfo(info);
      records[i].isInput = isInput;
      records[i].channelNum = i;
    }
  };
  describe(FInputChannelInfos, inputs, 1, FInputBuffer);
  describe(FOutputChannelInfos, outputs, 0, FOutputBuffer);
  FInConvertors.clear();
  for (const TASIOChannelInfo& info : FInputChannelInfos) FInConvertors.push_back(InConvertorOf(info.vType));
  FOutConvertors.clear();
  for (const TASIOChannelInfo& info : FOutputChannelInfos) FOutConvertors.push_back(OutConvertorOf(info.vType));
  PrepareChannelBlocks();
  const bool created = FDriver->CreateBuffers(FInputBuffer, inputs + outputs, static_cast<std::int32_t>(FBufferSize),
                                              FCallbacks) == ASE_OK;
  FDriver->GetLatencies(FInputLatency, FOutputLatency);
  // A driver that refused may have filled some halves: nothing may reach them.
  if (!created) ClearBufferArea();
  if (OnBuffersCreate) OnBuffersCreate(*this);
  if (OnLatencyChanged) OnLatencyChanged(*this);
  FNoiseSeed = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return created;
}

void TCustomASIOHostBasic::ClearBufferArea() {
  FBufferArea.clear();
  FBufferArea.shrink_to_fit();
  FInputBuffer = FOutputBuffer = nullptr;
}

void TCustomASIOHostBasic::DisposeBuffers() {
  if (!FDriver || !FBuffersCreated) return;
  if (OnBuffersDestroy) OnBuffersDestroy(*this);
  try {
    FDriver->DisposeBuffers();
  } catch (...) {
  }
  // Freed only now that the driver no longer writes into them.
  ClearBufferArea();
  FBuffersCreated = false;
  FInputChannelInfos.clear();
  FOutputChannelInfos.clear();
  ReleaseChannelBlocks();
}

void TCustomASIOHostBasic::ZeroDriverHalves() {
  auto zero = [this](const std::vector<TASIOChannelInfo>& infos, PASIOBufferInfo records) {
    for (std::size_t i = 0; records && i < infos.size(); ++i) {
      const int bytes = AsioSampleBytes(infos[i].vType);  // unknown types are left alone
      for (void* half : records[i].buffers)
        if (half && bytes > 0) std::memset(half, 0, static_cast<std::size_t>(bytes) * FBufferSize);
    }
  };
  zero(FOutputChannelInfos, FOutputBuffer);
  zero(FInputChannelInfos, FInputBuffer);
}

void TCustomASIOHostBasic::SilenceHalf(std::int32_t Index) noexcept {
  try {
    for (std::size_t i = 0; FOutputBuffer && i < FOutputChannelInfos.size(); ++i) {
      const int bytes = AsioSampleBytes(FOutputChannelInfos[i].vType);
      void* half = FOutputBuffer[i].buffers[Index];
      if (half && bytes > 0) std::memset(half, 0, static_cast<std::size_t>(bytes) * FBufferSize);
    }
    if (FDriver) FDriver->outputReady();
  } catch (...) {
  }
}

void TCustomASIOHostBasic::PostCallbackError() {
  // One report per opening of the driver, however many halves fail.
  if (FCallbackFailed.exchange(true)) return;
  if (!(FPendingRequests.fetch_or(kRequestError) & kRequestError)) FPlatform->WakeOwner();
}

double TCustomASIOHostBasic::NoiseDraw() noexcept {
  FNoiseSeed = FNoiseSeed * 134775813u + 1u;
  return FNoiseSeed * (1.0 / 4294967296.0);
}

std::int32_t TCustomASIOHostBasic::AsioMessage(std::int32_t selector, std::int32_t value) {
  auto request = [this](std::uint32_t bit) {
    if (!(FPendingRequests.fetch_or(bit) & bit)) FPlatform->WakeOwner();
    return 1;
  };
  switch (selector) {
    case kAsioSelectorSupported: {
      static constexpr std::pair<std::int32_t, TASIOSelectorSupport> kSupport[] = {
          {kAsioEngineVersion, TASIOSelectorSupport::assEngineVersion},
          {kAsioResetRequest, TASIOSelectorSupport::assResetRequest},
          {kAsioBufferSizeChange, TASIOSelectorSupport::assBufferSizeChange},
          {kAsioResyncRequest, TASIOSelectorSupport::assResyncRequest},
          {kAsioLatenciesChanged, TASIOSelectorSupport::assLatenciesChanged},
          {kAsioSupportsTimeInfo, TASIOSelectorSupport::assSupportsTimeInfo},
          {kAsioSupportsTimeCode, TASIOSelectorSupport::assSupportsTimeCode},
          {kAsioSupportsInputMonitor, TASIOSelectorSupport::assSupportsInputMonitor}};
      for (const auto& [asked, member] : kSupport)
        if (asked == value) return (FASIOSelectorSupport & SetOf(member)) ? 1 : 0;
      return 0;
    }
    case kAsioEngineVersion:
      return 2;
    case kAsioResetRequest:
    case kAsioBufferSizeChange:
      // Reopening the driver inside its own call would free it under itself.
      return request(kRequestReset);
    case kAsioLatenciesChanged:
      return request(kRequestLatencies);
    case kAsioSupportsTimeInfo:
    case kAsioSupportsInputMonitor:
      return 1;
    default:
      return 0;
  }
}

void TCustomASIOHostBasic::ServiceRequests() {
  const std::uint32_t requests = FPendingRequests.exchange(0);
  bool failed = (requests & kRequestError) != 0;
  bool reset = false, resetFailed = false;
  try {
    std::lock_guard lock(FLock);
    // A request that finds no driver open (closed meanwhile) has nothing to do.
    reset = (requests & kRequestReset) && FDriver;
    if (reset) {
      const bool wasActive = Active();
      try {
        TASIOHostMessage message{HostMessageAsio, 0, 0, 0};
        Dispatch(message);
        // The driver is back only with its buffers, and running if it ran.
        resetFailed = !FDriver || !FBuffersCreated || (wasActive && !Active());
      } catch (...) {
        resetFailed = true;
      }
      // A driver that came back only in part is closed: the next Reset
      // opens it anew.
      if (resetFailed) CloseDriver();
    }
    if (requests & kRequestLatencies) {
      TASIOHostMessage message{HostMessageAsio, 3, 0, 0};
      Dispatch(message);
    }
  } catch (...) {
    failed = true;
  }
  // The owner hears of the reset, then the error is shown, both without the
  // lock: the owner calls the host again from its handler.
  if (reset) {
    try {
      if (OnDriverReset) OnDriverReset(*this, !resetFailed);
    } catch (...) {
      failed = true;
    }
  }
  if (failed || resetFailed) FPlatform->ShowError(ASIODriverFailedText);
}

void TCustomASIOHostBasic::Dispatch(TASIOHostMessage& message) {
  switch (message.Msg) {
    case HostMessageAsio:
      if (!FDriver) return;
      switch (message.WParam) {
        case 0:
          OpenDriver();
          if (OnReset) OnReset(*this);
          break;
        case 1:
          BufferSwitch(static_cast<std::int32_t>(message.LParam));
          break;
        case 2:
          BufferSwitchTimeInfo(static_cast<std::int32_t>(message.LParam), FSwitchTime);
          break;
        case 3:
          FDriver->GetLatencies(FInputLatency, FOutputLatency);
          if (OnLatencyChanged) OnLatencyChanged(*this);
          break;
        default:
          break;
      }
      break;
    case HostMessageUpdateSamplePos:
      if (OnUpdateSamplePos)
        OnUpdateSamplePos(*this, static_cast<std::int64_t>(static_cast<std::uint64_t>(message.WParam) << 32 |
                                                           static_cast<std::uint32_t>(message.LParam)));
      break;
    case HostMessageBufferSwitch:
      BufferSwitch(static_cast<std::int32_t>(message.LParam));
      break;
    case HostMessageBufferSwitchTimeInfo:
      BufferSwitchTimeInfo(static_cast<std::int32_t>(message.LParam), FSwitchTime);
      break;
    default:
      break;
  }
}

void TCustomASIOHostBasic::BufferSwitch(std::int32_t Index) {
  TASIOTime& time = FSwitchTime;
  time = TASIOTime{};
  if (FDriver && FDriver->GetSamplePosition(time.timeInfo.samplePosition, time.timeInfo.systemTime) == ASE_OK)
    time.timeInfo.flags |= kSystemTimeValid | kSamplePositionValid;
  const krv::ExtendedPrecisionScope precision;  // the driver's call may have changed it
  BufferSwitchTimeInfo(Index, time);
}

void TCustomASIOHostBasic::BufferSwitchTimeInfo(std::int32_t Index, TASIOTime& Params) {
  if (!FDriver) return;
  TASIOHostMessage position{HostMessageUpdateSamplePos, Params.timeInfo.samplePosition.hi,
                            Params.timeInfo.samplePosition.lo, 0};
  Dispatch(position);
  if (OnBufferSwitch) OnBufferSwitch(*this, FInputBuffer, Index);
  FDriver->outputReady();
}

// ---------------------------------------------------------------------------
// TCustomASIOHost

TCustomASIOHost::TCustomASIOHost(std::unique_ptr<TASIOHostPlatform> platform)
    : TCustomASIOHostBasic(std::move(platform)),
      FConvertOptimizations(SetOf(TConvertOptimization::coSSE) | SetOf(TConvertOptimization::co3DNow)),
      FClipPrevent(ConvertRoutineTable.DigitalClipPair) {}

TCustomASIOHost::~TCustomASIOHost() {
  if (OnDestroy) OnDestroy(*this);
  OnDestroy = nullptr;
  // Stopped and closed here, while this layer's blocks still exist.
  SetActive(false);
  CloseDriver();
}

void TCustomASIOHost::SetPreventClipping(TPreventClipping value) {
  FPreventClipping = value;
  if (value == TPreventClipping::pcDigital) FClipPrevent = ConvertRoutineTable.DigitalClipPair;
  if (value == TPreventClipping::pcAnalog) FClipPrevent = ConvertRoutineTable.AnalogClipPair;
}

void TCustomASIOHost::SetCustomGenerator(TASIOGenerator* value) {
  if (value == FASIOGenerator) return;
  FASIOGenerator = value;
  if (value) {
    value->SetBlockSize(FBufferSize);
    value->SetSampleRate(FSampleRate);
  }
}

void TCustomASIOHost::SetInputChannelOffset(std::uint16_t value) {
  if (value != FInputChannelOffset && value < FInputChannelCount) FInputChannelOffset = value;
}

void TCustomASIOHost::SetOutputChannelOffset(std::uint16_t value) {
  if (value != FOutputChannelOffset && value < FOutputChannelCount) FOutputChannelOffset = value;
}

void TCustomASIOHost::InstallRoutinesFor(TConvertOptimizations value) {
  InstallFpuRoutines();
  if (ProcessorType == ProcessorSse && (value & SetOf(TConvertOptimization::coSSE)))
    InstallSseRoutines();
  else if (ProcessorType == Processor3DNow && (value & SetOf(TConvertOptimization::co3DNow)))
    Install3DNowRoutines();
}

void TCustomASIOHost::SetConvertOptimizations(TConvertOptimizations value) {
  InstallRoutinesFor(value);
  FConvertOptimizations = value;
}

void TCustomASIOHost::SetOutputDither(TASIOOutputDither value) {
  if (value == FOutputDither) return;
  FOutputDither = value;
  switch (value) {
    case TASIOOutputDither::odNone:
      InstallRoutinesFor(FConvertOptimizations);
      break;
    case TASIOOutputDither::odUDF:
      UseRectangularDither();
      break;
    case TASIOOutputDither::odTDF:
      UseTriangularDither();
      break;
  }
}

void TCustomASIOHost::SetOnBufferSwitch32(TBufferSwitchEvent32 value) {
  FOnBufferSwitch32 = std::move(value);
  UpdateConvertMethod();
}

void TCustomASIOHost::SetOnBufferSwitch64(TBufferSwitchEvent64 value) {
  FOnBufferSwitch64 = std::move(value);
  UpdateConvertMethod();
}

void TCustomASIOHost::UpdateConvertMethod() {
  FConvertMethod = FOnBufferSwitch64 ? TConvertMethod::cm64
                   : FOnBufferSwitch32 ? TConvertMethod::cm32
                                       : TConvertMethod::cmNone;
}

void TCustomASIOHost::PrepareChannelBlocks() {
  const std::size_t frames = FBufferSize;
  auto size = [frames](auto& blocks, std::int32_t count) {
    blocks.resize(static_cast<std::size_t>(count));
    for (auto& block : blocks) block.assign(frames, 0);
  };
  size(FSingleInBuffer, FInputChannelCount);
  size(FDoubleInBuffer, FInputChannelCount);
  size(FSingleOutBuffer, FOutputChannelCount);
  size(FDoubleOutBuffer, FOutputChannelCount);
  const bool msbInput = std::any_of(FInputChannelInfos.begin(), FInputChannelInfos.end(),
                                    [](const TASIOChannelInfo& info) { return AsioSampleIsMSB(info.vType); });
  FSwapScratch.assign(msbInput ? frames : 0, 0);
  if (FASIOGenerator) FASIOGenerator->SetBlockSize(FBufferSize);
}

void TCustomASIOHost::ReleaseChannelBlocks() {
  FSingleInBuffer.clear();
  FSingleOutBuffer.clear();
}

void TCustomASIOHost::BufferSwitchTimeInfo(std::int32_t Index, TASIOTime& Params) {
  if (!FDriver) return;
  TASIOHostMessage position{HostMessageUpdateSamplePos, Params.timeInfo.samplePosition.hi,
                            Params.timeInfo.samplePosition.lo, 0};
  Dispatch(position);
  if (OnBufferSwitchNative)
    OnBufferSwitchNative(*this, FInputBuffer, Index);
  else if (FConvertMethod == TConvertMethod::cm64)
    ProcessHalf(Index, FDoubleInBuffer, FDoubleOutBuffer);
  else
    ProcessHalf(Index, FSingleInBuffer, FSingleOutBuffer);
  FDriver->outputReady();
}

template <class Sample>
void TCustomASIOHost::ProcessHalf(std::int32_t Index, std::vector<std::vector<Sample>>& in,
                                  std::vector<std::vector<Sample>>& out) {
  constexpr bool wide = sizeof(Sample) == sizeof(double);
  const auto count = static_cast<std::int32_t>(FBufferSize);
  auto clip = [this, count](std::vector<std::vector<Sample>>& blocks) {
    if (FPreventClipping == TPreventClipping::pcNone) return;
    for (auto& block : blocks) {
      if constexpr (wide)
        FClipPrevent.cb64(block.data(), count);
      else
        FClipPrevent.cb32(block.data(), count);
    }
  };
  // Pre-fills one direction's blocks; true when they are left as they are
  // (for the inputs: converted from the driver).
  auto preFill = [&](TBufferPreFill mode, std::vector<std::vector<Sample>>& blocks, bool isOutput) {
    switch (mode) {
      case TBufferPreFill::bpfZero:
        for (auto& block : blocks) std::fill(block.begin(), block.end(), Sample(0));
        return false;
      case TBufferPreFill::bpfNoise:
        for (auto& block : blocks)
          for (Sample& s : block) s = static_cast<Sample>(2.0 * NoiseDraw() - 1.0);
        return false;
      case TBufferPreFill::bpfCustom:
        if constexpr (!wide) {
          if (FASIOGenerator) FASIOGenerator->ProcessBlock(blocks, isOutput);
          return false;
        }
        return true;  // the double path has no generator
      case TBufferPreFill::bpfNone:
        break;
    }
    return true;
  };

  if (preFill(FInBufferPreFill, in, false)) {
    for (std::size_t i = 0; i < in.size(); ++i) {
      void* source = FInputBuffer ? FInputBuffer[i].buffers[Index] : nullptr;
      const auto& convertor = FInConvertors[i];
      if (!source || !convertor) continue;
      if (AsioSampleIsMSB(FInputChannelInfos[i].vType)) {
        // The convertor reverses bytes in place: never in the driver's memory.
        std::memcpy(FSwapScratch.data(), source,
                    static_cast<std::size_t>(AsioSampleBytes(FInputChannelInfos[i].vType)) * FBufferSize);
        source = FSwapScratch.data();
      }
      if constexpr (wide)
        convertor->ic64(source, in[i].data(), count);
      else
        convertor->ic32(source, in[i].data(), count);
    }
  }
  clip(in);
  preFill(FOutBufferPreFill, out, true);

  auto monitor = [&](std::size_t from, std::size_t to) {
    if (from < in.size() && to < out.size()) std::copy(in[from].begin(), in[from].end(), out[to].begin());
  };
  switch (FInputMonitor) {
    case TInputMonitor::imMono:
      monitor(FInputChannelOffset, FOutputChannelOffset);
      break;
    case TInputMonitor::imStereo:
      // Both channels of the pair, or neither.
      if (FInputChannelOffset + 1u < in.size() && FOutputChannelOffset + 1u < out.size()) {
        monitor(FInputChannelOffset, FOutputChannelOffset);
        monitor(FInputChannelOffset + 1u, FOutputChannelOffset + 1u);
      }
      break;
    case TInputMonitor::imAll:
      for (std::size_t i = 0; i < std::min(in.size(), out.size()); ++i) monitor(i, i);
      break;
    case TInputMonitor::imDisabled:
      break;
  }

  if constexpr (wide) {
    FOnBufferSwitch64(*this, in, out);
  } else if (FConvertMethod == TConvertMethod::cm32) {
    FOnBufferSwitch32(*this, in, out);
  }
  clip(out);
  for (std::size_t i = 0; i < out.size(); ++i) {
    void* dest = FOutputBuffer ? FOutputBuffer[i].buffers[Index] : nullptr;
    const auto& convertor = FOutConvertors[i];
    if (!dest || !convertor) continue;  // a type without routines stays untouched
    if constexpr (wide)
      convertor->oc64(out[i].data(), dest, count);
    else
      convertor->oc32(out[i].data(), dest, count);
  }
}
