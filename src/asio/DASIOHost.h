// The ASIO host: lists the installed drivers, opens one, creates its buffers,
// takes the driver's callbacks on the driver's thread and hands every buffer
// half to its owner as per-channel blocks of doubles (or singles), converted
// to and from the driver's sample format.
//
// Threads. Opening, closing, starting, stopping and rate changes are
// serialised by one lock. A driver may need the thread that created its
// window (the owner thread, which called Init) inside any of its calls, so
// the program makes them on that thread only. The per-buffer path on the driver's thread
// never takes that lock, never allocates and never shows anything. A driver's
// reset, buffer-size or latency request is answered at once and carried out
// later on the owner thread (TASIOHostPlatform::WakeOwner, then
// ServiceRequests), which then raises OnDriverReset with no lock held;
// failures found there, or exceptions caught in a callback, are reported once
// through TASIOHostPlatform::ShowError.
//
// The time object (ASIOTime) belongs to the owner thread. The driver's time
// record of each buffer half is copied into a record of the driver's thread
// of its own, which the buffer switch reads; the owner learns the position
// through OnUpdateSamplePos.
//
// How a Win32 program creates its one host (after SelectProcessorRoutines):
//
//   auto host = std::make_unique<TASIOHost>(CreateWin32ASIOHostPlatform());
//   host->SetOnBufferSwitch64([](TCustomASIOHost& h, const TAVDArrayOfDoubleDynArray& in,
//                                TAVDArrayOfDoubleDynArray& out) { ... });
//
// CreateWin32ASIOHostPlatform (DASIOHostWin32.h) must be called on the
// user-interface thread: it scans the registry and creates the host's hidden
// window there, whose messages carry out the driver's requests. The owner
// sets Active(false) before it destroys the host.
//
// Errors: OpenDriver and Reset throw EASIOHostError("ASIO Driver Failed!");
// the handler that called them shows it. Choosing a driver (DriverIndex,
// DriverName) swallows it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "asio/ASIO.h"
#include "asio/DASIOConvert.h"
#include "asio/DASIOGenerator.h"
#include "asio/QorvASIO.h"

inline constexpr char ASIODriverFailedText[] = "ASIO Driver Failed!";

// Raised by OpenDriver and Reset when no driver can be opened.
class EASIOHostError : public std::runtime_error {
 public:
  EASIOHostError() : std::runtime_error(ASIODriverFailedText) {}
};

// ---------------------------------------------------------------------------
// Driver discovery

struct TAsioDriverDesc {
  TGUID id;
  wchar_t name[512];  // registry subkey name, zero-terminated
  wchar_t path[512];  // the driver's DLL, zero-terminated
};
using TAsioDriverList = std::vector<TAsioDriverDesc>;

// Copies `text` into a 512-character field, cut at 511 characters.
void SetDriverDescText(wchar_t (&field)[512], const std::wstring& text);

#ifdef _WIN32
// Looks up the DLL of a COM class under HKEY_CLASSES_ROOT; 0 when the path
// names an existing file, -1 otherwise.
int FindDriverDll(const std::wstring& clsid, std::wstring& path);
// Empties the list and fills it from "software\asio" under the local machine.
void ListAsioDrivers(TAsioDriverList& list);
#endif

// ---------------------------------------------------------------------------
// The Win32 seams of the host: the registry, COM creation, the hidden window
// and the owner thread. Tests use a fake.

class TASIOHostPlatform {
 public:
  virtual ~TASIOHostPlatform() = default;
  // The installed drivers (read once, when the host is created).
  virtual TAsioDriverList ScanDrivers() = 0;
  // Creates the driver of a class; false and no interface when it cannot.
  virtual bool CreateDriver(const TGUID& clsid, IQorvASIOPtr& driver) = 0;
  // The handle given to the driver's Init.
  virtual std::intptr_t WindowHandle() const = 0;
  // Sets the routine that WakeOwner makes the owner thread run.
  virtual void SetServiceRoutine(std::function<void()> routine) = 0;
  // Asks the owner thread to run the service routine soon. Callable from any
  // thread; never waits, never allocates.
  virtual void WakeOwner() = 0;
  // Shows an error to the user (owner thread only).
  virtual void ShowError(const std::string& text) = 0;
};

// ---------------------------------------------------------------------------
// Time record

enum class TATFlag : std::uint8_t {
  atSystemTimeValid,
  atSamplePositionValid,
  atSampleRateValid,
  atSpeedValid,
  atSampleRateChanged,
  atClockSourceChanged
};
using TATFlags = std::uint8_t;  // bit k = member k
constexpr TATFlags ATFlag(TATFlag f) { return static_cast<TATFlags>(1u << static_cast<unsigned>(f)); }

class TASIOTimeSub {
 public:
  TASIOTimeSub();
  std::int64_t SamplePos() const;
  void SetSamplePos(std::int64_t value);
  double Speed() const { return FBufferTime.timeInfo.speed; }
  void SetSpeed(double value);
  double SampleRate() const { return FBufferTime.timeInfo.sampleRate; }
  void SetSampleRate(double value);
  TATFlags Flags() const { return static_cast<TATFlags>(FBufferTime.timeInfo.flags & 0x3F); }
  void SetFlags(TATFlags value) { FBufferTime.timeInfo.flags = value; }
  std::function<void(TASIOTimeSub&)> OnChanged;
  void AssignTo(TASIOTimeSub& Dest) const;
  TASIOTime& BufferTime() { return FBufferTime; }

 protected:
  virtual void Changed();

 private:
  TASIOTime FBufferTime{};
};

// ---------------------------------------------------------------------------
// Enumerations

enum class TASIOSelectorSupport : std::uint8_t {
  assEngineVersion,
  assResetRequest,
  assBufferSizeChange,
  assResyncRequest,
  assLatenciesChanged,
  assSupportsTimeInfo,
  assSupportsTimeCode,
  assSupportsInputMonitor
};
using TASIOSelectorSupports = std::uint8_t;  // bit k = member k

enum class TASIOCanDo : std::uint8_t {
  acdInputMonitor,
  acdTimeInfo,
  acdTimeCode,
  acdTransport,
  acdInputGain,
  acdInputMeter,
  acdOutputGain,
  acdOutputMeter
};
using TASIOCanDos = std::uint8_t;  // bit k = member k

template <class E>
constexpr std::uint8_t SetOf(E member) {
  return static_cast<std::uint8_t>(1u << static_cast<unsigned>(member));
}

enum class TBufferPreFill : std::uint8_t { bpfNone, bpfZero, bpfNoise, bpfCustom };
enum class TInputMonitor : std::uint8_t { imDisabled, imMono, imStereo, imAll };
enum class TPreventClipping : std::uint8_t { pcNone, pcDigital, pcAnalog };
enum class TASIOOutputDither : std::uint8_t { odNone, odUDF, odTDF };
enum class TConvertMethod : std::uint8_t { cmNone, cm32, cm64 };
enum class TConvertOptimization : std::uint8_t { coSSE, co3DNow };
using TConvertOptimizations = std::uint8_t;  // bit k = member k

// Messages of the host's own dispatch (one record per dispatch).
inline constexpr std::uint32_t HostMessageAsio = 2676;
inline constexpr std::uint32_t HostMessageUpdateSamplePos = 2677;
inline constexpr std::uint32_t HostMessageBufferSwitch = 2678;
inline constexpr std::uint32_t HostMessageBufferSwitchTimeInfo = 2679;

struct TASIOHostMessage {
  std::uint32_t Msg;
  std::intptr_t WParam;
  std::intptr_t LParam;
  std::intptr_t Result;
};

class TCustomASIOHostBasic;
class TCustomASIOHost;

using TSamplePositionUpdateEvent = std::function<void(TCustomASIOHostBasic& Sender, std::int64_t SamplePosition)>;
using TBufferSwitchEventNative =
    std::function<void(TCustomASIOHostBasic& Sender, PASIOBufferList BufferInfo, std::int32_t BufferIndex)>;
// The handler writes into the blocks; it never resizes the arrays.
using TBufferSwitchEvent64 = std::function<void(TCustomASIOHost& Sender, const TAVDArrayOfDoubleDynArray& InBuffer,
                                                TAVDArrayOfDoubleDynArray& OutBuffer)>;
using TBufferSwitchEvent32 = std::function<void(TCustomASIOHost& Sender, const TAVDArrayOfSingleDynArray& InBuffer,
                                                TAVDArrayOfSingleDynArray& OutBuffer)>;

// Largest channel count accepted from a driver; more is a failed open.
inline constexpr std::int32_t MaxDriverChannels = 1024;
// Longest buffer half the host asks a driver for, in frames.
inline constexpr std::int32_t kMaxBufferFrames = 65530;

// The buffer size nearest to Size that a driver offers: within Minimum ..
// Maximum (and kMaxBufferFrames), a power of two for Granularity -1, the
// minimum for 0, a whole number of Granularity steps above the minimum for
// more. Size unchanged when the driver's figures make no range.
std::uint32_t FitBufferSize(std::uint32_t Size, std::int32_t Minimum, std::int32_t Maximum, std::int32_t Granularity);

// ---------------------------------------------------------------------------
// The host core

class TCustomASIOHostBasic {
 public:
  explicit TCustomASIOHostBasic(std::unique_ptr<TASIOHostPlatform> platform);
  virtual ~TCustomASIOHostBasic();
  TCustomASIOHostBasic(const TCustomASIOHostBasic&) = delete;
  TCustomASIOHostBasic& operator=(const TCustomASIOHostBasic&) = delete;

  // Drivers
  const std::vector<std::wstring>& DriverList() const { return FDriverList; }
  virtual std::int32_t GetNumDrivers() const;
  std::int32_t DriverIndex() const { return FDriverIndex; }
  virtual void SetDriverIndex(std::int32_t value);
  const std::wstring& DriverName() const { return FDriverName; }
  virtual void SetDriverName(const std::wstring& value);
  std::int32_t DriverVersion() const { return FDriverVersion; }

  virtual void OpenDriver();   // throws EASIOHostError
  virtual void CloseDriver();  // the caller stops the driver first
  virtual void Reset();        // throws EASIOHostError
  bool DriverOpen() const { return FDriver != nullptr; }
  bool BuffersCreated() const { return FBuffersCreated; }

  bool Active() const { return FActive.load(); }
  virtual void SetActive(bool value);
  double SampleRate() const { return FSampleRate; }
  virtual void SetSampleRate(double value);
  virtual ASIOError CanSampleRate(double sampleRate);
  // The rate the open driver reports it runs at; empty without a driver or
  // when the driver does not answer ASE_OK.
  std::optional<double> DriverSampleRate();
  virtual void ControlPanel();

  std::uint32_t BufferSize() const { return FBufferSize; }
  std::int32_t BufferMinimum() const { return Fmin; }
  std::int32_t BufferMaximum() const { return Fmax; }
  std::int32_t BufferPreferredSize() const { return Fpref; }
  std::int32_t BufferGranularity() const { return Fgran; }
  std::int32_t InputLatency() const { return FInputLatency; }
  std::int32_t OutputLatency() const { return FOutputLatency; }
  std::int32_t InputChannelCount() const { return FInputChannelCount; }
  std::int32_t OutputChannelCount() const { return FOutputChannelCount; }
  const std::vector<TASIOChannelInfo>& InputChannelInfos() const { return FInputChannelInfos; }
  const std::vector<TASIOChannelInfo>& OutputChannelInfos() const { return FOutputChannelInfos; }

  // Capabilities
  virtual bool CanTimeInfo();
  virtual bool CanTimeCode();
  virtual bool CanTransport();
  virtual bool CanInputGain();
  virtual bool CanInputMeter();
  virtual bool CanOutputGain();
  virtual bool CanOutputMeter();
  TASIOCanDos CanDos() const { return FASIOCanDos; }
  virtual void SetASIOCanDos(TASIOCanDos) {}
  TASIOSelectorSupports SelectorSupport() const { return FASIOSelectorSupport; }
  void SetSelectorSupport(TASIOSelectorSupports value) { FASIOSelectorSupport = value; }

  virtual std::int32_t GetInputMeter(std::int32_t Channel);
  virtual std::int32_t GetOutputMeter(std::int32_t Channel);
  virtual void SetInputGain(std::int32_t Channel, std::int32_t Gain);
  virtual void GetOutputGain(std::int32_t Channel, std::int32_t Gain);  // sets the output gain

  TASIOTimeSub& ASIOTime() { return FASIOTime; }

  // Carries out the driver's pending requests (reset, latency change) and
  // reports pending errors. Owner thread only; WakeOwner leads here.
  void ServiceRequests();

  // Answer of the host to the driver's asioMessage callback.
  std::int32_t AsioMessage(std::int32_t selector, std::int32_t value);

  // Events
  // Its own notify type: the sender is the host, not a window control.
  using TNotifyEvent = std::function<void(TCustomASIOHostBasic& Sender)>;
  TNotifyEvent OnCreate, OnDestroy, OnReset, OnDriverChanged, OnLatencyChanged, OnSampleRateChanged,
      OnBuffersCreate, OnBuffersDestroy;
  TSamplePositionUpdateEvent OnUpdateSamplePos;
  TBufferSwitchEventNative OnBufferSwitch;
  // A reset the driver asked for has been carried out (owner thread, after
  // OnReset, with no lock held): Reopened is false when the driver could not
  // be opened again, or came back without its buffers, or did not start
  // again though it ran before; the host has then closed it, and its error
  // is shown right after this event. The host's own Reset does not raise
  // it, nor does a request that finds no driver open.
  using TDriverResetEvent = std::function<void(TCustomASIOHostBasic& Sender, bool Reopened)>;
  TDriverResetEvent OnDriverReset;

  // The host the driver callbacks reach, or null (set when a host opens a
  // driver, cleared once it is stopped and closed).
  static TCustomASIOHostBasic* CurrentHost();

 protected:
  virtual bool CreateBuffers();
  virtual void DisposeBuffers();
  virtual void BufferSwitch(std::int32_t Index);
  virtual void BufferSwitchTimeInfo(std::int32_t Index, TASIOTime& Params);
  // Called by CreateBuffers once the channel infos are read, before the
  // driver's buffers are asked for: a layer sizes its blocks here.
  virtual void PrepareChannelBlocks() {}
  // Called by DisposeBuffers after the driver disposed its buffers.
  virtual void ReleaseChannelBlocks() {}
  void Dispatch(TASIOHostMessage& message);
  // Raises the error report of a failing callback (driver thread; no wait).
  void PostCallbackError();
  // Silence for half Index of every output channel, then outputReady: what
  // the driver gets when the processing of a half failed.
  void SilenceHalf(std::int32_t Index) noexcept;
  double NoiseDraw() noexcept;

  IQorvASIOPtr FDriver;
  std::int32_t Fmin = 0, Fmax = 0, Fpref = 0, Fgran = 0;
  bool FBuffersCreated = false;
  std::intptr_t FHandle = 0;
  TASIOTimeSub FASIOTime;
  TASIOTime FSwitchTime{};  // the driver thread's: the time record of the half in hand
  TASIOCanDos FASIOCanDos = 0;
  TAsioDriverList FASIOdriverlist;
  TASIOCallbacks FCallbacks{};
  std::vector<TASIOBufferInfo> FBufferArea;  // the records the driver fills
  double FSampleRate = 44100.0;
  PASIOBufferInfo FInputBuffer = nullptr;
  PASIOBufferInfo FOutputBuffer = nullptr;
  std::atomic<bool> FActive{false};
  std::int32_t FDriverIndex = -1;
  std::vector<std::wstring> FDriverList;
  std::wstring FDriverName;
  std::int32_t FDriverVersion = 0;
  std::int32_t FInputLatency = 0, FOutputLatency = 0;
  std::int32_t FInputChannelCount = 0, FOutputChannelCount = 0;
  std::uint32_t FBufferSize = 0;
  std::vector<TASIOChannelInfo> FInputChannelInfos, FOutputChannelInfos;
  std::vector<std::optional<TInConvertor>> FInConvertors;
  std::vector<std::optional<TOutConvertor>> FOutConvertors;
  TASIOSelectorSupports FASIOSelectorSupport;
  std::unique_ptr<TASIOHostPlatform> FPlatform;
  std::recursive_mutex FLock;  // open, close, start, stop, rate
  std::atomic<std::uint32_t> FPendingRequests{0};
  std::atomic<bool> FCallbackFailed{false};
  std::uint32_t FNoiseSeed = 1;
  bool FChannelCountRefused = false;

 private:
  bool QueryCanDo(std::int32_t selector, TASIOCanDo member);
  std::int32_t ChannelControl(std::int32_t selector, std::int32_t channel, ASIOBool isInput, std::int32_t gain);
  void ZeroDriverHalves();
  void ClearBufferArea();
  void ReleaseDriver();
  friend struct TASIOHostCallbacks;
};

// ---------------------------------------------------------------------------
// The buffer layer

class TCustomASIOHost : public TCustomASIOHostBasic {
 public:
  explicit TCustomASIOHost(std::unique_ptr<TASIOHostPlatform> platform);
  ~TCustomASIOHost() override;

  TPreventClipping PreventClipping() const { return FPreventClipping; }
  void SetPreventClipping(TPreventClipping value);
  TBufferPreFill PreFillInBuffer() const { return FInBufferPreFill; }
  void SetPreFillInBuffer(TBufferPreFill value) { FInBufferPreFill = value; }
  TBufferPreFill PreFillOutBuffer() const { return FOutBufferPreFill; }
  void SetPreFillOutBuffer(TBufferPreFill value) { FOutBufferPreFill = value; }
  TASIOGenerator* CustomGenerator() const { return FASIOGenerator; }
  void SetCustomGenerator(TASIOGenerator* value);
  std::uint16_t InputChannelOffset() const { return FInputChannelOffset; }
  void SetInputChannelOffset(std::uint16_t value);
  std::uint16_t OutputChannelOffset() const { return FOutputChannelOffset; }
  void SetOutputChannelOffset(std::uint16_t value);
  TASIOOutputDither OutputDither() const { return FOutputDither; }
  void SetOutputDither(TASIOOutputDither value);
  TConvertOptimizations ConvertOptimizations() const { return FConvertOptimizations; }
  void SetConvertOptimizations(TConvertOptimizations value);
  TInputMonitor InputMonitor() const { return FInputMonitor; }
  void SetInputMonitor(TInputMonitor value) { FInputMonitor = value; }
  TConvertMethod ConvertMethod() const { return FConvertMethod; }

  const TBufferSwitchEvent32& OnBufferSwitch32() const { return FOnBufferSwitch32; }
  void SetOnBufferSwitch32(TBufferSwitchEvent32 value);
  const TBufferSwitchEvent64& OnBufferSwitch64() const { return FOnBufferSwitch64; }
  void SetOnBufferSwitch64(TBufferSwitchEvent64 value);
  TBufferSwitchEventNative OnBufferSwitchNative;

 protected:
  void PrepareChannelBlocks() override;
  void ReleaseChannelBlocks() override;
  void BufferSwitchTimeInfo(std::int32_t Index, TASIOTime& Params) override;

 private:
  template <class Sample>
  void ProcessHalf(std::int32_t Index, std::vector<std::vector<Sample>>& in, std::vector<std::vector<Sample>>& out);
  void InstallRoutinesFor(TConvertOptimizations value);
  void UpdateConvertMethod();

  TPreventClipping FPreventClipping = TPreventClipping::pcNone;
  TBufferPreFill FInBufferPreFill = TBufferPreFill::bpfNone;
  TBufferPreFill FOutBufferPreFill = TBufferPreFill::bpfNone;
  TBufferSwitchEvent32 FOnBufferSwitch32;
  TBufferSwitchEvent64 FOnBufferSwitch64;
  std::uint16_t FInputChannelOffset = 0;
  std::uint16_t FOutputChannelOffset = 0;
  TASIOGenerator* FASIOGenerator = nullptr;
  TAVDArrayOfSingleDynArray FSingleInBuffer, FSingleOutBuffer;
  TAVDArrayOfDoubleDynArray FDoubleInBuffer, FDoubleOutBuffer;
  std::vector<std::uint64_t> FSwapScratch;  // MSB inputs are converted here
  TInputMonitor FInputMonitor = TInputMonitor::imDisabled;
  TConvertOptimizations FConvertOptimizations;
  TClipBuffer FClipPrevent;
  TConvertMethod FConvertMethod = TConvertMethod::cmNone;
  TASIOOutputDither FOutputDither = TASIOOutputDither::odNone;
};

class TASIOHost : public TCustomASIOHost {
 public:
  using TCustomASIOHost::TCustomASIOHost;
};
