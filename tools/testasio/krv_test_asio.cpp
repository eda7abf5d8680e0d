// KRV Test Driver: an in-process COM server with the 21 driver operations,
// for the host's tests under Wine. It behaves as sound-card drivers do, each
// behaviour switchable through the environment of the process that loads it
// (read when the driver object is created):
//
//   KRV_TEST_ASIO_INPUTS, KRV_TEST_ASIO_OUTPUTS  channel counts (0, 2)
//   KRV_TEST_ASIO_TYPE        sample type number of every channel (18,
//                             Int32LSB), or a comma list: one type per channel
//                             of each direction, the last one repeated
//   KRV_TEST_ASIO_BUFFER      preferred buffer size in frames (512)
//   KRV_TEST_ASIO_BUFFER_MIN, KRV_TEST_ASIO_BUFFER_MAX  the size range (64,
//                             8192); createBuffers refuses a size outside it
//   KRV_TEST_ASIO_BUFFER_GRANULARITY  -1 powers of two, 0 only the minimum,
//                             n steps of n frames from the minimum (0 when
//                             minimum = maximum, else -1)
//   KRV_TEST_ASIO_RATE        nominal sample rate at creation (44100)
//   KRV_TEST_ASIO_RATE_ERROR  Hz that getSampleRate adds to the nominal rate,
//                             as a measured clock does (0; e.g. 0.02)
//   KRV_TEST_ASIO_RATE_SETTLE_MS  after setSampleRate, getSampleRate answers
//                             ASE_NotPresent for this many ms (0)
//   KRV_TEST_ASIO_REFUSE_RATE a rate that canSampleRate/setSampleRate refuse
//   KRV_TEST_ASIO_FAIL        comma list: init, createbuffers, start,
//                             setsamplerate (answers ASE_HWMalfunction and
//                             keeps its rate), getsamplerate (answers
//                             ASE_HWMalfunction)
//   KRV_TEST_ASIO_FAIL_WHEN   always (the default) or reopen: the faults only
//                             in driver objects created after a driver object
//                             of the process asked the host for a reset or a
//                             buffer size change
//   KRV_TEST_ASIO_MODE        realtime (halves at the sample rate) or paced
//                             (each half right after the previous one returned)
//   KRV_TEST_ASIO_CALLBACK    timeinfo (bufferSwitchTimeInfo when the host
//                             supports it, the default) or plain (bufferSwitch
//                             only; the host asks getSamplePosition)
//   KRV_TEST_ASIO_STOP        direct (the default) or message: init creates a
//                             window on the calling thread, and stop() waits
//                             KRV_TEST_ASIO_STOP_MS (one buffer period: the
//                             half being played), then sends the window a
//                             message and waits for the answer, so stop()
//                             returns only once that thread has handled it
//   KRV_TEST_ASIO_HANG        comma list of operations that never return, as
//                             a driver stuck in the hardware: stop
//   KRV_TEST_ASIO_RESET_AFTER      after this many halves, a reset request
//   KRV_TEST_ASIO_LATENCY_AFTER    after this many halves, new latencies (+100)
//   KRV_TEST_ASIO_BUFFERSIZE_AFTER after this many halves, a buffer size change
//                             to KRV_TEST_ASIO_BUFFERSIZE_NEW frames (twice the
//                             preferred size), which becomes the preferred
//                             size of every later driver object of the
//                             process (so it is announced once); a reset
//                             request when the host does not take it
//   KRV_TEST_ASIO_RESYNC_AFTER     after this many halves, a resync request
//                             (the sample position jumps by one half)
//   KRV_TEST_ASIO_CAPTURE     file that receives every output half the host
//                             delivered, started anew at each buffer creation:
//                             a WAV file (channels = outputs) when every
//                             output has the same little-endian type, raw
//                             interleaved bytes otherwise. A name with "%d"
//                             gives one file per output channel (the number
//                             in place of %d), each a WAV file for the
//                             little-endian types and raw bytes for the
//                             big-endian ones
//   KRV_TEST_ASIO_LOG         file that receives one line per call, each
//                             ending with the wall-clock time it was written
//                             (" @" and seconds since 1970 with microseconds,
//                             the clock of the machine's own date); a half
//                             in which every output is all zeros is logged
//                             with " silent", and the first half after each
//                             buffer creation in which an output holds a
//                             sample other than zero gets the line "first
//                             sound in half N"
//   KRV_TEST_ASIO_CONTROL_WORD  53bit, zero, down or up: every operation
//                             leaves the calling thread's floating-point
//                             control at 53-bit x87 precision, or rounding
//                             toward zero, down or up (x87 and SSE), as
//                             drivers built with other runtimes do; so does
//                             the driver's thread before each buffer switch,
//                             and a timer of a window that init creates on
//                             its calling thread, every 20 ms
//
// Messages to the host (reset, buffer size, latencies, resync) are sent from
// the driver's thread between two halves, after asking kAsioSelectorSupported.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "asio/QorvASIO.h"

namespace {

// The classes this library serves (the registrations of the test prefix).
const CLSID kClasses[] = {
    {0x54324874, 0x9E15, 0x4A5F, {0x85, 0xDD, 0x17, 0xDE, 0xFD, 0xD1, 0x69, 0xFE}},
    {0x4EEDE98F, 0x630F, 0x45C2, {0xBC, 0xD6, 0x20, 0x09, 0x91, 0x1E, 0x55, 0xCB}},
    {0x4B569FE3, 0xA8C6, 0x4D10, {0x88, 0x65, 0x29, 0x56, 0x90, 0xA1, 0x6F, 0x3E}},
};

std::atomic<long> LiveObjects{0};

// A buffer size change outlives the driver object that announced it, as a
// setting of the sound card does: later objects of the process prefer it.
std::atomic<long> ChangedPreferredSize{0};

// A driver object of the process has asked the host to reopen it.
std::atomic<bool> ReopenAsked{false};

std::string Env(const char* name, const char* fallback = "") {
  char value[1024];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string(fallback);
}

long EnvInt(const char* name, long fallback) {
  const std::string text = Env(name);
  return text.empty() ? fallback : std::strtol(text.c_str(), nullptr, 10);
}

double EnvDouble(const char* name, double fallback) {
  const std::string text = Env(name);
  return text.empty() ? fallback : std::strtod(text.c_str(), nullptr);
}

// The items of a comma list.
std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    if (end > start) items.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

bool InList(const std::vector<std::string>& items, const char* item) {
  for (const std::string& i : items)
    if (i == item) return true;
  return false;
}

// The little-endian types a capture keeps as WAV data.
bool CaptureAsWav(ASIOSampleType type) {
  return (type >= ASIOSTInt16LSB && type <= ASIOSTFloat64LSB) || (type >= ASIOSTInt32LSB16 && type <= ASIOSTInt32LSB24);
}

// The floating-point control a driver leaves behind (KRV_TEST_ASIO_CONTROL_WORD).
struct TControlWordFault {
  bool Active = false;
  std::uint16_t X87Fields = 0;  // precision and rounding of the x87 control word
  std::uint32_t SseRounding = 0;
};

TControlWordFault ControlWordFault(const std::string& text) {
  // x87: precision bits 8-9 (2 = 53 bits, 3 = 64 bits), rounding bits 10-11;
  // SSE: rounding bits 13-14.
  if (text == "53bit") return {true, 0x0200, 0};
  if (text == "down") return {true, 0x0700, 0x2000};
  if (text == "up") return {true, 0x0B00, 0x4000};
  if (text == "zero") return {true, 0x0F00, 0x6000};
  return {};
}

void ApplyControlWordFault(const TControlWordFault& fault) {
  if (!fault.Active) return;
  std::uint16_t x87 = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(x87));
  x87 = static_cast<std::uint16_t>((x87 & ~0x0F00) | fault.X87Fields);
  __asm__ __volatile__("fldcw %0" : : "m"(x87));
  std::uint32_t sse = 0;
  __asm__ __volatile__("stmxcsr %0" : "=m"(sse));
  sse = (sse & ~0x6000u) | fault.SseRounding;
  __asm__ __volatile__("ldmxcsr %0" : : "m"(sse));
}

// The fault the driver's window applies on its timer (the thread that
// called init: drivers keep hidden windows that poll the hardware).
TControlWordFault WindowFault;
const UINT_PTR kFaultTimer = 1;

bool IsPowerOfTwo(long v) { return v > 0 && (v & (v - 1)) == 0; }

const UINT kStopMessage = WM_APP + 1;

int BytesOf(ASIOSampleType type) {
  switch (type) {
    case ASIOSTInt16LSB: case ASIOSTInt16MSB: return 2;
    case ASIOSTInt24LSB: case ASIOSTInt24MSB: return 3;
    case ASIOSTFloat64LSB: case ASIOSTFloat64MSB: return 8;
    default: return 4;
  }
}

// Reference counting and IUnknown for an object that answers to one
// interface identifier besides IUnknown.
template <class Interface>
class TComObject : public Interface {
 public:
  explicit TComObject(const IID& iid) : FIid(iid) { ++LiveObjects; }
  virtual ~TComObject() { --LiveObjects; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, FIid)) {
      *object = this;
      this->AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++FReferences); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --FReferences;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

 private:
  IID FIid;
  std::atomic<long> FReferences{1};
};

class TTestDriver final : public TComObject<IASIODriverObject> {
 public:
  // The standard's drivers answer to their class identifier as interface.
  explicit TTestDriver(const CLSID& clsid) : TComObject(clsid) {
    FInputs = EnvInt("KRV_TEST_ASIO_INPUTS", 0);
    FOutputs = EnvInt("KRV_TEST_ASIO_OUTPUTS", 2);
    for (const std::string& type : SplitList(Env("KRV_TEST_ASIO_TYPE")))
      FTypes.push_back(static_cast<ASIOSampleType>(std::strtol(type.c_str(), nullptr, 10)));
    if (FTypes.empty()) FTypes.push_back(ASIOSTInt32LSB);
    FPreferred = EnvInt("KRV_TEST_ASIO_BUFFER", 512);
    FNewBufferSize = EnvInt("KRV_TEST_ASIO_BUFFERSIZE_NEW", 2 * FPreferred);
    if (ChangedPreferredSize > 0) FPreferred = ChangedPreferredSize.load();
    FMinimum = EnvInt("KRV_TEST_ASIO_BUFFER_MIN", 64);
    FMaximum = EnvInt("KRV_TEST_ASIO_BUFFER_MAX", 8192);
    FGranularity = EnvInt("KRV_TEST_ASIO_BUFFER_GRANULARITY", FMinimum == FMaximum ? 0 : -1);
    FRate = EnvDouble("KRV_TEST_ASIO_RATE", 44100.0);
    FRateError = EnvDouble("KRV_TEST_ASIO_RATE_ERROR", 0.0);
    FSettleMs = EnvInt("KRV_TEST_ASIO_RATE_SETTLE_MS", 0);
    FRefusedRate = EnvDouble("KRV_TEST_ASIO_REFUSE_RATE", -1.0);
    std::vector<std::string> fail = SplitList(Env("KRV_TEST_ASIO_FAIL"));
    if (Env("KRV_TEST_ASIO_FAIL_WHEN") == "reopen" && !ReopenAsked) fail.clear();
    FFailInit = InList(fail, "init");
    FFailCreate = InList(fail, "createbuffers");
    FFailStart = InList(fail, "start");
    FFailSetRate = InList(fail, "setsamplerate");
    FFailGetRate = InList(fail, "getsamplerate");
    FPaced = Env("KRV_TEST_ASIO_MODE") == "paced";
    FPlainCallback = Env("KRV_TEST_ASIO_CALLBACK") == "plain";
    FStopByMessage = Env("KRV_TEST_ASIO_STOP") == "message";
    FHangStop = InList(SplitList(Env("KRV_TEST_ASIO_HANG")), "stop");
    FStopMs = EnvInt("KRV_TEST_ASIO_STOP_MS", -1);
    FResetAfter = EnvInt("KRV_TEST_ASIO_RESET_AFTER", -1);
    FLatencyAfter = EnvInt("KRV_TEST_ASIO_LATENCY_AFTER", -1);
    FBufferSizeAfter = EnvInt("KRV_TEST_ASIO_BUFFERSIZE_AFTER", -1);
    FResyncAfter = EnvInt("KRV_TEST_ASIO_RESYNC_AFTER", -1);
    FCapturePath = Env("KRV_TEST_ASIO_CAPTURE");
    FControlWordFault = ControlWordFault(Env("KRV_TEST_ASIO_CONTROL_WORD"));
    ApplyControlWordFault(FControlWordFault);
    const std::string log = Env("KRV_TEST_ASIO_LOG");
    if (!log.empty()) FLog = std::fopen(log.c_str(), "a");
    Log("create");
  }
  ~TTestDriver() {
    StopThread(GetCurrentThreadId());
    ReleaseBuffers();
    DestroyStopWindow();
    Log("release");
    if (FLog) std::fclose(FLog);
  }

  // The driver operations
  ASIOBool init(void* sysHandle) override {
    Fault();
    Log("init %p", sysHandle);
    if (FFailInit) return ASIOFalse;
    if (FStopByMessage && !FStopWindow) CreateStopWindow();
    if (FControlWordFault.Active) {
      // Its window's timer changes that thread's control word every 20 ms,
      // between the host's own calls.
      if (!FStopWindow) CreateStopWindow();
      WindowFault = FControlWordFault;
      SetTimer(FStopWindow, kFaultTimer, 20, nullptr);
    }
    return ASIOTrue;
  }
  void getDriverName(char* name) override {
    Fault();
    Log("getDriverName");
    std::strcpy(name, "KRV Test Driver");
  }
  std::int32_t getDriverVersion() override {
    Fault();
    Log("getDriverVersion");
    return 1;
  }
  void getErrorMessage(char* string) override {
    Fault();
    Log("getErrorMessage");
    std::strcpy(string, "");
  }
  ASIOError start() override {
    Fault();
    Log("start");
    if (FFailStart || FHalves.empty()) return ASE_HWMalfunction;
    if (FThread.joinable()) return ASE_OK;
    FRunning = true;
    FThreadId = 0;
    FThread = std::thread([this] { Run(); });
    return ASE_OK;
  }
  ASIOError stop() override {
    Fault();
    const DWORD caller = GetCurrentThreadId();
    if (FHangStop) {
      Log("stop (does not return) on thread %lu", caller);
      for (;;) Sleep(INFINITE);
    }
    if (FStopByMessage && FStopWindow && IsWindow(FStopWindow)) {
      // As drivers that own a window do: the hardware finishes the half it
      // plays, then the stop is carried out on the window's thread, and
      // stop() returns when that thread has done it.
      Log("stop (message) from thread %lu", caller);
      long drain = FStopMs;
      if (drain < 0) drain = FBufferSize > 0 && FRate > 0 ? static_cast<long>(std::ceil(1000.0 * FBufferSize / FRate)) : 0;
      Sleep(static_cast<DWORD>(drain));
      SendMessageW(FStopWindow, kStopMessage, caller, reinterpret_cast<LPARAM>(this));
      Log("stop (message answered)");
    } else {
      Log("stop");
      StopThread(caller);
    }
    return ASE_OK;
  }
  ASIOError getChannels(std::int32_t* in, std::int32_t* out) override {
    Fault();
    Log("getChannels");
    *in = FInputs;
    *out = FOutputs;
    return ASE_OK;
  }
  ASIOError getLatencies(std::int32_t* in, std::int32_t* out) override {
    Fault();
    Log("getLatencies");
    *in = FBufferSize + FExtraLatency;
    *out = FBufferSize + FExtraLatency;
    return ASE_OK;
  }
  ASIOError getBufferSize(std::int32_t* mn, std::int32_t* mx, std::int32_t* pref, std::int32_t* gran) override {
    Fault();
    Log("getBufferSize");
    *mn = FMinimum;
    *mx = FMaximum;
    *pref = static_cast<std::int32_t>(FPreferred.load());
    *gran = FGranularity;
    return ASE_OK;
  }
  ASIOError canSampleRate(double rate) override {
    Fault();
    Log("canSampleRate %.3f", rate);
    return Accepts(rate) ? ASE_OK : ASE_NoClock;
  }
  ASIOError getSampleRate(double* rate) override {
    Fault();
    if (FFailGetRate) {
      Log("getSampleRate -> fails");
      return ASE_HWMalfunction;
    }
    if (GetTickCount64() < FSettledAt) {
      Log("getSampleRate -> not present (settling)");
      return ASE_NotPresent;
    }
    *rate = FRate + FRateError;
    Log("getSampleRate -> %.3f", *rate);
    return ASE_OK;
  }
  ASIOError setSampleRate(double rate) override {
    Fault();
    Log("setSampleRate %.3f", rate);
    if (!Accepts(rate)) return ASE_NoClock;
    if (FFailSetRate) {
      Log("setSampleRate fails");
      return ASE_HWMalfunction;
    }
    // A measured rate handed back selects its nominal rate.
    FRate = std::round(rate);
    if (FSettleMs > 0) FSettledAt = GetTickCount64() + static_cast<ULONGLONG>(FSettleMs);
    return ASE_OK;
  }
  ASIOError getClockSources(TASIOClockSource* clocks, std::int32_t* count) override {
    Fault();
    Log("getClockSources");
    if (*count >= 1) {
      *clocks = TASIOClockSource{0, -1, 0, ASIOTrue, "Internal"};
      *count = 1;
    }
    return ASE_OK;
  }
  ASIOError setClockSource(std::int32_t reference) override {
    Fault();
    Log("setClockSource %d", reference);
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
  }
  ASIOError getSamplePosition(TASIOInt64* position, TASIOInt64* stamp) override {
    Fault();
    *position = Int64(FPosition);
    *stamp = Int64(static_cast<std::int64_t>(GetTickCount64()) * 1000000);
    return ASE_OK;
  }
  ASIOError getChannelInfo(TASIOChannelInfo* info) override {
    Fault();
    Log("getChannelInfo %d %d", info->channel, info->isInput);
    if (info->channel < 0 || info->channel >= (info->isInput ? FInputs : FOutputs)) return ASE_InvalidParameter;
    info->isActive = ASIOFalse;
    info->channelGroup = 0;
    info->vType = TypeOf(info->channel);
    std::snprintf(info->name, sizeof info->name, "%s %d", info->isInput ? "In" : "Out", info->channel + 1);
    return ASE_OK;
  }
  ASIOError createBuffers(TASIOBufferInfo* infos, std::int32_t count, std::int32_t size,
                          TASIOCallbacks* callbacks) override {
    Fault();
    Log("createBuffers %d %d", count, size);
    ReleaseBuffers();
    if (!SizeAllowed(size)) {
      Log("createBuffers refuses %d frames (range %ld to %ld, granularity %ld)", size, FMinimum, FMaximum,
          FGranularity);
      return ASE_InvalidMode;
    }
    for (std::int32_t i = 0; i < count; ++i) {
      if (infos[i].channelNum < 0 || infos[i].channelNum >= (infos[i].isInput ? FInputs : FOutputs)) {
        Log("createBuffers: no channel %d", infos[i].channelNum);
        return ASE_InvalidParameter;
      }
    }
    FBufferSize = size;
    FHalves.resize(static_cast<std::size_t>(count) * 2);
    for (std::int32_t i = 0; i < count; ++i) {
      const std::size_t bytes =
          static_cast<std::size_t>(size) * static_cast<std::size_t>(BytesOf(TypeOf(infos[i].channelNum)));
      FHalves[2 * i].assign(bytes, 0);
      FHalves[2 * i + 1].assign(bytes, 0);
      infos[i].buffers[0] = FHalves[2 * i].data();
      infos[i].buffers[1] = FHalves[2 * i + 1].data();
      if (!infos[i].isInput) FOutputRecords.push_back(infos[i]);
      // A refusing driver that had filled in the first record already.
      if (FFailCreate) {
        FOutputRecords.clear();
        FHalves.clear();
        return ASE_NoMemory;
      }
    }
    FCallbacks = *callbacks;
    FTimeInfo = !FPlainCallback && FCallbacks.asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1;
    FSoundHeard = false;
    OpenCapture();
    return ASE_OK;
  }
  ASIOError disposeBuffers() override {
    Fault();
    Log("disposeBuffers");
    StopThread(GetCurrentThreadId());
    ReleaseBuffers();
    return ASE_OK;
  }
  ASIOError controlPanel() override {
    Fault();
    Log("controlPanel");
    return ASE_OK;
  }
  ASIOError future(std::int32_t selector, void* opt) override {
    Fault();
    Log("future %d", selector);
    if (selector == kAsioCanTimeInfo) return FPlainCallback ? ASE_InvalidParameter : ASE_SUCCESS;
    if (selector == kAsioGetOutputMeter && opt) {
      static_cast<TASIOChannelControls*>(opt)->meter = 0x1234;
      return ASE_SUCCESS;
    }
    return ASE_InvalidParameter;
  }
  ASIOError outputReady() override {
    Fault();
    FOutputReady = true;
    return ASE_OK;
  }

  // The stop that the window's thread carries out for stop().
  void StopThread(DWORD caller) {
    FRunning = false;
    if (!FThread.joinable()) return;
    if (caller == FThreadId) {
      Log("stop called on the driver's own thread");
      FThread.detach();
      return;
    }
    FThread.join();
  }

 private:
  static TASIOInt64 Int64(std::int64_t v) {
    return TASIOInt64{static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32), static_cast<std::uint32_t>(v)};
  }

  ASIOSampleType TypeOf(std::int32_t channel) const {
    return FTypes[std::min(static_cast<std::size_t>(channel < 0 ? 0 : channel), FTypes.size() - 1)];
  }

  bool SizeAllowed(std::int32_t size) const {
    if (size < FMinimum || size > FMaximum) return false;
    if (FGranularity == -1) return IsPowerOfTwo(size);
    if (FGranularity == 0) return size == FMinimum;
    return (size - FMinimum) % FGranularity == 0;
  }

  bool Accepts(double rate) const {
    return std::fabs(rate - std::round(rate)) < 1.0 && std::round(rate) != std::round(FRefusedRate) &&
           rate >= 8000.0 && rate <= 384000.0;
  }

  // The control word a faulty driver leaves on the calling thread; the log
  // tells what the caller had.
  void Fault() {
    if (!FControlWordFault.Active) return;
    std::uint16_t x87 = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(x87));
    Log("control word %04x on thread %lu", x87, GetCurrentThreadId());
    ApplyControlWordFault(FControlWordFault);
  }

  void Log(const char* format, ...) {
    if (!FLog) return;
    std::lock_guard lock(FLogLock);
    va_list args;
    va_start(args, format);
    std::vfprintf(FLog, format, args);
    va_end(args);
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    // 100 ns steps since 1601; 11644473600 s from there to 1970.
    const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const std::uint64_t micros = ticks / 10 - 11644473600ull * 1000000ull;
    std::fprintf(FLog, " @%llu.%06llu", static_cast<unsigned long long>(micros / 1000000),
                 static_cast<unsigned long long>(micros % 1000000));
    std::fputc('\n', FLog);
    std::fflush(FLog);
  }

  static LRESULT CALLBACK StopWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kStopMessage) {
      reinterpret_cast<TTestDriver*>(lParam)->StopThread(static_cast<DWORD>(wParam));
      return 1;
    }
    if (message == WM_TIMER && wParam == kFaultTimer) {
      ApplyControlWordFault(WindowFault);
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  void CreateStopWindow() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&StopWindowProc), &module);
    WNDCLASSW cls{};
    cls.lpfnWndProc = &StopWindowProc;
    cls.hInstance = module;
    cls.lpszClassName = L"KRVTestAsioDriverWindow";
    RegisterClassW(&cls);  // fails harmlessly when already registered
    FStopWindow = CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
    Log("stop window %p on thread %lu", static_cast<void*>(FStopWindow), GetCurrentThreadId());
  }

  void DestroyStopWindow() {
    if (!FStopWindow || !IsWindow(FStopWindow)) return;
    // Only the window's own thread can destroy it; others ask it to close.
    if (GetWindowThreadProcessId(FStopWindow, nullptr) == GetCurrentThreadId())
      DestroyWindow(FStopWindow);
    else
      PostMessageW(FStopWindow, WM_CLOSE, 0, 0);
    FStopWindow = nullptr;
  }

  // Sends a message that the host says it supports.
  std::int32_t SendHostMessage(std::int32_t selector, std::int32_t value, const char* name) {
    if (FCallbacks.asioMessage(kAsioSelectorSupported, selector, nullptr, nullptr) != 1) {
      Log("asioMessage %s not supported by the host", name);
      return -1;
    }
    const std::int32_t answer = FCallbacks.asioMessage(selector, value, nullptr, nullptr);
    Log("asioMessage %s -> %d", name, answer);
    return answer;
  }

  void Run() {
    FThreadId = GetCurrentThreadId();
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    long half = 0;
    std::int32_t index = 0;
    while (FRunning) {
      if (!FPaced) {
        // Half n is due n buffer periods after the start.
        const double due = static_cast<double>(half) * FBufferSize / FRate;
        for (;;) {
          QueryPerformanceCounter(&now);
          const double elapsed = static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
          if (elapsed >= due || !FRunning) break;
          Sleep(1);
        }
        if (!FRunning) break;
      }
      FOutputReady = false;
      ApplyControlWordFault(FControlWordFault);
      if (FTimeInfo) {
        TASIOTime time{};
        time.timeInfo.speed = 1.0;
        time.timeInfo.sampleRate = FRate + FRateError;
        time.timeInfo.samplePosition = Int64(FPosition);
        time.timeInfo.systemTime = Int64(static_cast<std::int64_t>(GetTickCount64()) * 1000000);
        time.timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid | kSpeedValid;
        FCallbacks.bufferSwitchTimeInfo(&time, index, ASIOTrue);
      } else {
        FCallbacks.bufferSwitch(index, ASIOTrue);
      }
      const bool sounds = FLog && Sounds(index);
      Log("half %ld index %d outputReady %d%s", half, index, FOutputReady ? 1 : 0, sounds ? "" : " silent");
      if (sounds && !FSoundHeard) {
        FSoundHeard = true;
        Log("first sound in half %ld", half);
      }
      Capture(index);
      FPosition += FBufferSize;
      ++half;
      index ^= 1;
      if (!FRunning) break;  // a stop from inside the callback
      if (half == FResetAfter) {
        ReopenAsked = true;
        SendHostMessage(kAsioResetRequest, 0, "reset");
      }
      if (half == FLatencyAfter) {
        FExtraLatency += 100;
        SendHostMessage(kAsioLatenciesChanged, 0, "latencies");
      }
      if (half == FBufferSizeAfter && FPreferred != FNewBufferSize) {
        FPreferred = FNewBufferSize;
        ChangedPreferredSize = FNewBufferSize;
        ReopenAsked = true;
        if (SendHostMessage(kAsioBufferSizeChange, FNewBufferSize, "buffer size") != 1)
          SendHostMessage(kAsioResetRequest, 0, "reset");
      }
      if (half == FResyncAfter) {
        FPosition += FBufferSize;  // a half lost to the clock
        SendHostMessage(kAsioResyncRequest, 0, "resync");
      }
    }
  }

  // An output half the host delivered holds a sample other than zero (for
  // every type, zero is all bytes zero).
  bool Sounds(std::int32_t index) const {
    for (const TASIOBufferInfo& record : FOutputRecords) {
      const auto* half = static_cast<const unsigned char*>(record.buffers[index]);
      const auto bytes =
          static_cast<std::size_t>(FBufferSize) * static_cast<std::size_t>(BytesOf(TypeOf(record.channelNum)));
      if (std::any_of(half, half + bytes, [](unsigned char b) { return b != 0; })) return true;
    }
    return false;
  }

  // Per capture file: the output channels it holds, interleaved.
  struct TCaptureFile {
    std::FILE* File = nullptr;
    std::vector<std::size_t> Channels;
    std::size_t Bytes = 0;
    bool Wav = false;
  };

  void OpenCapture() {
    if (FCapturePath.empty() || FOutputRecords.empty()) return;
    const std::size_t marker = FCapturePath.find("%d");
    if (marker == std::string::npos) {
      TCaptureFile file;
      file.Wav = true;
      for (std::size_t c = 0; c < FOutputRecords.size(); ++c) {
        file.Channels.push_back(c);
        const ASIOSampleType type = OutputType(c);
        file.Wav = file.Wav && CaptureAsWav(type) && type == OutputType(0);
      }
      file.File = std::fopen(FCapturePath.c_str(), "wb");
      FCaptures.push_back(file);
    } else {
      for (std::size_t c = 0; c < FOutputRecords.size(); ++c) {
        std::string path = FCapturePath;
        path.replace(marker, 2, std::to_string(FOutputRecords[c].channelNum));
        TCaptureFile file;
        file.Channels.push_back(c);
        file.Wav = CaptureAsWav(OutputType(c));
        file.File = std::fopen(path.c_str(), "wb");
        FCaptures.push_back(file);
      }
    }
    for (TCaptureFile& file : FCaptures)
      if (file.File && file.Wav) WriteWavHeader(file);
  }

  ASIOSampleType OutputType(std::size_t record) const { return TypeOf(FOutputRecords[record].channelNum); }

  void WriteWavHeader(TCaptureFile& file) {
    const ASIOSampleType type = OutputType(file.Channels.front());
    const std::uint16_t channels = static_cast<std::uint16_t>(file.Channels.size());
    const std::uint16_t bits = static_cast<std::uint16_t>(BytesOf(type) * 8);
    const std::uint16_t format = type == ASIOSTFloat32LSB || type == ASIOSTFloat64LSB ? 3 : 1;
    const std::uint32_t rate = static_cast<std::uint32_t>(FRate);
    const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
    const std::uint32_t byteRate = rate * align;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(file.Bytes);
    const std::uint32_t riffBytes = 36 + dataBytes;
    const std::uint32_t fmtBytes = 16;
    std::FILE* f = file.File;
    std::fseek(f, 0, SEEK_SET);
    std::fwrite("RIFF", 1, 4, f);
    std::fwrite(&riffBytes, 4, 1, f);
    std::fwrite("WAVEfmt ", 1, 8, f);
    std::fwrite(&fmtBytes, 4, 1, f);
    std::fwrite(&format, 2, 1, f);
    std::fwrite(&channels, 2, 1, f);
    std::fwrite(&rate, 4, 1, f);
    std::fwrite(&byteRate, 4, 1, f);
    std::fwrite(&align, 2, 1, f);
    std::fwrite(&bits, 2, 1, f);
    std::fwrite("data", 1, 4, f);
    std::fwrite(&dataBytes, 4, 1, f);
    std::fseek(f, 0, SEEK_END);
  }

  void Capture(std::int32_t index) {
    for (TCaptureFile& file : FCaptures) {
      if (!file.File) continue;
      FFrame.clear();
      for (std::int32_t f = 0; f < FBufferSize; ++f) {
        for (const std::size_t c : file.Channels) {
          const auto bytes = static_cast<std::size_t>(BytesOf(OutputType(c)));
          const auto* half = static_cast<const unsigned char*>(FOutputRecords[c].buffers[index]);
          FFrame.insert(FFrame.end(), half + static_cast<std::size_t>(f) * bytes,
                        half + static_cast<std::size_t>(f + 1) * bytes);
        }
      }
      std::fwrite(FFrame.data(), 1, FFrame.size(), file.File);
      file.Bytes += FFrame.size();
      if (file.Wav) WriteWavHeader(file);
      std::fflush(file.File);
    }
  }

  void ReleaseBuffers() {
    for (TCaptureFile& file : FCaptures) {
      if (!file.File) continue;
      if (file.Wav) WriteWavHeader(file);
      std::fclose(file.File);
    }
    FCaptures.clear();
    FOutputRecords.clear();
    FHalves.clear();
  }

  long FInputs, FOutputs, FMinimum, FMaximum, FGranularity, FSettleMs, FStopMs;
  long FResetAfter, FLatencyAfter, FBufferSizeAfter, FNewBufferSize, FResyncAfter;
  std::vector<ASIOSampleType> FTypes;
  std::atomic<long> FPreferred{0};  // changed on the driver's thread
  double FRate, FRateError, FRefusedRate;
  ULONGLONG FSettledAt = 0;
  bool FFailInit, FFailCreate, FFailStart, FFailSetRate, FFailGetRate, FPaced, FPlainCallback, FStopByMessage, FTimeInfo = false;
  bool FHangStop = false;
  HWND FStopWindow = nullptr;
  std::string FCapturePath;
  TControlWordFault FControlWordFault;
  std::FILE* FLog = nullptr;
  std::vector<TCaptureFile> FCaptures;
  std::mutex FLogLock;
  std::int32_t FBufferSize = 0;
  std::int32_t FExtraLatency = 0;
  std::int64_t FPosition = 0;
  std::vector<std::vector<unsigned char>> FHalves;
  std::vector<TASIOBufferInfo> FOutputRecords;
  std::vector<unsigned char> FFrame;
  TASIOCallbacks FCallbacks{};
  std::thread FThread;
  std::atomic<DWORD> FThreadId{0};
  std::atomic<bool> FRunning{false};
  std::atomic<bool> FOutputReady{false};
  std::atomic<bool> FSoundHeard{false};  // since the buffers were created
};

class TFactory final : public TComObject<IClassFactory> {
 public:
  explicit TFactory(const CLSID& clsid) : TComObject(IID_IClassFactory), FClass(clsid) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* driver = new TTestDriver(FClass);
    const HRESULT result = driver->QueryInterface(iid, object);
    driver->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  CLSID FClass;
};

}  // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  for (const CLSID& served : kClasses) {
    if (IsEqualCLSID(clsid, served)) {
      auto* factory = new TFactory(clsid);
      const HRESULT result = factory->QueryInterface(iid, object);
      factory->Release();
      return result;
    }
  }
  *object = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() { return LiveObjects == 0 ? S_OK : S_FALSE; }
