// KRV Test Driver: an in-process COM server with the 21 driver operations,
// for the host's tests under Wine. Its behaviour comes from the environment
// of the process that loads it (read when the driver object is created):
//
//   KRV_TEST_ASIO_INPUTS, KRV_TEST_ASIO_OUTPUTS  channel counts (0, 2)
//   KRV_TEST_ASIO_TYPE        sample type number of every channel (18, Int32LSB)
//   KRV_TEST_ASIO_BUFFER      preferred buffer size in frames (512)
//   KRV_TEST_ASIO_RATE        sample rate at creation (44100)
//   KRV_TEST_ASIO_REFUSE_RATE a rate that canSampleRate/setSampleRate refuse
//   KRV_TEST_ASIO_FAIL        comma list: init, createbuffers, start
//   KRV_TEST_ASIO_MODE        realtime (halves at the sample rate) or paced
//                             (each half right after the previous one returned)
//   KRV_TEST_ASIO_RESET_AFTER   after this many halves, a reset request
//   KRV_TEST_ASIO_LATENCY_AFTER after this many halves, new latencies (+100)
//   KRV_TEST_ASIO_CAPTURE     file that receives every output half the host
//                             delivered: a WAV file (channels = outputs) for
//                             the 16/24/32-bit integer and 32-bit float LSB
//                             types, raw interleaved bytes for the others
//   KRV_TEST_ASIO_LOG         file that receives one line per call
#include <windows.h>

#include <atomic>
#include <cstdarg>
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

std::string Env(const char* name, const char* fallback = "") {
  char value[1024];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string(fallback);
}

long EnvInt(const char* name, long fallback) {
  const std::string text = Env(name);
  return text.empty() ? fallback : std::strtol(text.c_str(), nullptr, 10);
}

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
    FType = static_cast<ASIOSampleType>(EnvInt("KRV_TEST_ASIO_TYPE", ASIOSTInt32LSB));
    FPreferred = EnvInt("KRV_TEST_ASIO_BUFFER", 512);
    FRate = static_cast<double>(EnvInt("KRV_TEST_ASIO_RATE", 44100));
    FRefusedRate = static_cast<double>(EnvInt("KRV_TEST_ASIO_REFUSE_RATE", -1));
    const std::string fail = "," + Env("KRV_TEST_ASIO_FAIL") + ",";
    FFailInit = fail.find(",init,") != std::string::npos;
    FFailCreate = fail.find(",createbuffers,") != std::string::npos;
    FFailStart = fail.find(",start,") != std::string::npos;
    FPaced = Env("KRV_TEST_ASIO_MODE") == "paced";
    FResetAfter = EnvInt("KRV_TEST_ASIO_RESET_AFTER", -1);
    FLatencyAfter = EnvInt("KRV_TEST_ASIO_LATENCY_AFTER", -1);
    FCapturePath = Env("KRV_TEST_ASIO_CAPTURE");
    const std::string log = Env("KRV_TEST_ASIO_LOG");
    if (!log.empty()) FLog = std::fopen(log.c_str(), "a");
    Log("create");
  }
  ~TTestDriver() {
    StopThread();
    ReleaseBuffers();
    Log("release");
    if (FLog) std::fclose(FLog);
  }

  // The driver operations
  ASIOBool init(void* sysHandle) override {
    Log("init %p", sysHandle);
    return FFailInit ? ASIOFalse : ASIOTrue;
  }
  void getDriverName(char* name) override {
    Log("getDriverName");
    std::strcpy(name, "KRV Test Driver");
  }
  std::int32_t getDriverVersion() override {
    Log("getDriverVersion");
    return 1;
  }
  void getErrorMessage(char* string) override {
    Log("getErrorMessage");
    std::strcpy(string, "");
  }
  ASIOError start() override {
    Log("start");
    if (FFailStart || FHalves.empty()) return ASE_HWMalfunction;
    if (FThread.joinable()) return ASE_OK;
    FRunning = true;
    FThread = std::thread([this] { Run(); });
    return ASE_OK;
  }
  ASIOError stop() override {
    Log("stop");
    StopThread();
    return ASE_OK;
  }
  ASIOError getChannels(std::int32_t* in, std::int32_t* out) override {
    Log("getChannels");
    *in = FInputs;
    *out = FOutputs;
    return ASE_OK;
  }
  ASIOError getLatencies(std::int32_t* in, std::int32_t* out) override {
    Log("getLatencies");
    *in = FBufferSize + FExtraLatency;
    *out = FBufferSize + FExtraLatency;
    return ASE_OK;
  }
  ASIOError getBufferSize(std::int32_t* mn, std::int32_t* mx, std::int32_t* pref, std::int32_t* gran) override {
    Log("getBufferSize");
    *mn = 64;
    *mx = 8192;
    *pref = FPreferred;
    *gran = -1;
    return ASE_OK;
  }
  ASIOError canSampleRate(double rate) override {
    Log("canSampleRate %.3f", rate);
    return Accepts(rate) ? ASE_OK : ASE_NoClock;
  }
  ASIOError getSampleRate(double* rate) override {
    Log("getSampleRate");
    *rate = FRate;
    return ASE_OK;
  }
  ASIOError setSampleRate(double rate) override {
    Log("setSampleRate %.3f", rate);
    if (!Accepts(rate)) return ASE_NoClock;
    FRate = rate;
    return ASE_OK;
  }
  ASIOError getClockSources(TASIOClockSource* clocks, std::int32_t* count) override {
    Log("getClockSources");
    if (*count >= 1) {
      *clocks = TASIOClockSource{0, -1, 0, ASIOTrue, "Internal"};
      *count = 1;
    }
    return ASE_OK;
  }
  ASIOError setClockSource(std::int32_t reference) override {
    Log("setClockSource %d", reference);
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
  }
  ASIOError getSamplePosition(TASIOInt64* position, TASIOInt64* stamp) override {
    *position = Int64(FPosition);
    *stamp = Int64(static_cast<std::int64_t>(GetTickCount64()) * 1000000);
    return ASE_OK;
  }
  ASIOError getChannelInfo(TASIOChannelInfo* info) override {
    Log("getChannelInfo %d %d", info->channel, info->isInput);
    info->isActive = ASIOFalse;
    info->channelGroup = 0;
    info->vType = FType;
    std::snprintf(info->name, sizeof info->name, "%s %d", info->isInput ? "In" : "Out", info->channel + 1);
    return ASE_OK;
  }
  ASIOError createBuffers(TASIOBufferInfo* infos, std::int32_t count, std::int32_t size,
                          TASIOCallbacks* callbacks) override {
    Log("createBuffers %d %d", count, size);
    ReleaseBuffers();
    FBufferSize = size;
    const std::size_t bytes = static_cast<std::size_t>(size) * static_cast<std::size_t>(BytesOf(FType));
    FHalves.assign(static_cast<std::size_t>(count) * 2, std::vector<unsigned char>(bytes, 0));
    for (std::int32_t i = 0; i < count; ++i) {
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
    FTimeInfo = FCallbacks.asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1;
    OpenCapture();
    return ASE_OK;
  }
  ASIOError disposeBuffers() override {
    Log("disposeBuffers");
    StopThread();
    ReleaseBuffers();
    return ASE_OK;
  }
  ASIOError controlPanel() override {
    Log("controlPanel");
    return ASE_OK;
  }
  ASIOError future(std::int32_t selector, void* opt) override {
    Log("future %d", selector);
    if (selector == kAsioCanTimeInfo) return ASE_SUCCESS;
    if (selector == kAsioGetOutputMeter && opt) {
      static_cast<TASIOChannelControls*>(opt)->meter = 0x1234;
      return ASE_SUCCESS;
    }
    return ASE_InvalidParameter;
  }
  ASIOError outputReady() override {
    FOutputReady = true;
    return ASE_OK;
  }

 private:
  static TASIOInt64 Int64(std::int64_t v) {
    return TASIOInt64{static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32), static_cast<std::uint32_t>(v)};
  }

  bool Accepts(double rate) const { return rate != FRefusedRate && rate >= 8000.0 && rate <= 384000.0; }

  void Log(const char* format, ...) {
    if (!FLog) return;
    std::lock_guard lock(FLogLock);
    va_list args;
    va_start(args, format);
    std::vfprintf(FLog, format, args);
    va_end(args);
    std::fputc('\n', FLog);
    std::fflush(FLog);
  }

  void Run() {
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
      if (FTimeInfo) {
        TASIOTime time{};
        time.timeInfo.speed = 1.0;
        time.timeInfo.sampleRate = FRate;
        time.timeInfo.samplePosition = Int64(FPosition);
        time.timeInfo.systemTime = Int64(static_cast<std::int64_t>(GetTickCount64()) * 1000000);
        time.timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid | kSpeedValid;
        FCallbacks.bufferSwitchTimeInfo(&time, index, ASIOTrue);
      } else {
        FCallbacks.bufferSwitch(index, ASIOTrue);
      }
      Log("half %ld index %d outputReady %d", half, index, FOutputReady ? 1 : 0);
      Capture(index);
      FPosition += FBufferSize;
      ++half;
      index ^= 1;
      if (half == FResetAfter) {
        Log("asioMessage reset -> %d", FCallbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr));
      }
      if (half == FLatencyAfter) {
        FExtraLatency += 100;
        Log("asioMessage latencies -> %d", FCallbacks.asioMessage(kAsioLatenciesChanged, 0, nullptr, nullptr));
      }
    }
  }

  void StopThread() {
    FRunning = false;
    if (!FThread.joinable()) return;
    if (FThread.get_id() == std::this_thread::get_id()) {
      Log("stop called on the driver's own thread");
      FThread.detach();
      return;
    }
    FThread.join();
  }

  bool CaptureAsWav() const {
    return FType == ASIOSTInt16LSB || FType == ASIOSTInt24LSB || FType == ASIOSTInt32LSB ||
           FType == ASIOSTFloat32LSB;
  }

  void OpenCapture() {
    if (FCapturePath.empty() || FOutputRecords.empty()) return;
    FCapture = std::fopen(FCapturePath.c_str(), "wb");
    FCaptureBytes = 0;
    if (FCapture && CaptureAsWav()) WriteWavHeader();
  }

  void WriteWavHeader() {
    const std::uint16_t channels = static_cast<std::uint16_t>(FOutputRecords.size());
    const std::uint16_t bits = static_cast<std::uint16_t>(BytesOf(FType) * 8);
    const std::uint16_t format = FType == ASIOSTFloat32LSB ? 3 : 1;
    const std::uint32_t rate = static_cast<std::uint32_t>(FRate);
    const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
    const std::uint32_t byteRate = rate * align;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(FCaptureBytes);
    const std::uint32_t riffBytes = 36 + dataBytes;
    const std::uint32_t fmtBytes = 16;
    std::fseek(FCapture, 0, SEEK_SET);
    std::fwrite("RIFF", 1, 4, FCapture);
    std::fwrite(&riffBytes, 4, 1, FCapture);
    std::fwrite("WAVEfmt ", 1, 8, FCapture);
    std::fwrite(&fmtBytes, 4, 1, FCapture);
    std::fwrite(&format, 2, 1, FCapture);
    std::fwrite(&channels, 2, 1, FCapture);
    std::fwrite(&rate, 4, 1, FCapture);
    std::fwrite(&byteRate, 4, 1, FCapture);
    std::fwrite(&align, 2, 1, FCapture);
    std::fwrite(&bits, 2, 1, FCapture);
    std::fwrite("data", 1, 4, FCapture);
    std::fwrite(&dataBytes, 4, 1, FCapture);
    std::fseek(FCapture, 0, SEEK_END);
  }

  void Capture(std::int32_t index) {
    if (!FCapture) return;
    const int bytes = BytesOf(FType);
    std::vector<unsigned char>& frame = FFrame;
    frame.resize(FOutputRecords.size() * static_cast<std::size_t>(bytes));
    for (std::int32_t f = 0; f < FBufferSize; ++f) {
      for (std::size_t c = 0; c < FOutputRecords.size(); ++c) {
        const auto* half = static_cast<const unsigned char*>(FOutputRecords[c].buffers[index]);
        std::memcpy(&frame[c * static_cast<std::size_t>(bytes)], half + static_cast<std::size_t>(f) * bytes,
                    static_cast<std::size_t>(bytes));
      }
      std::fwrite(frame.data(), 1, frame.size(), FCapture);
      FCaptureBytes += frame.size();
    }
    std::fflush(FCapture);
    if (CaptureAsWav()) WriteWavHeader();
  }

  void ReleaseBuffers() {
    if (FCapture) {
      if (CaptureAsWav()) WriteWavHeader();
      std::fclose(FCapture);
      FCapture = nullptr;
    }
    FOutputRecords.clear();
    FHalves.clear();
  }

  long FInputs, FOutputs, FPreferred, FResetAfter, FLatencyAfter;
  ASIOSampleType FType;
  double FRate, FRefusedRate;
  bool FFailInit, FFailCreate, FFailStart, FPaced, FTimeInfo = false;
  std::string FCapturePath;
  std::FILE* FLog = nullptr;
  std::FILE* FCapture = nullptr;
  std::size_t FCaptureBytes = 0;
  std::mutex FLogLock;
  std::int32_t FBufferSize = 0;
  std::int32_t FExtraLatency = 0;
  std::int64_t FPosition = 0;
  std::vector<std::vector<unsigned char>> FHalves;
  std::vector<TASIOBufferInfo> FOutputRecords;
  std::vector<unsigned char> FFrame;
  TASIOCallbacks FCallbacks{};
  std::thread FThread;
  std::atomic<bool> FRunning{false};
  std::atomic<bool> FOutputReady{false};
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
