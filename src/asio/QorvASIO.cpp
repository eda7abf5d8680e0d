#include "asio/QorvASIO.h"

#include <cwctype>

namespace {

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[pos].
bool ReadHex(const wchar_t* text, int pos, int digits, std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = HexDigit(text[pos + i]);
    if (d < 0) return false;
    value = value << 4 | static_cast<std::uint32_t>(d);
  }
  return true;
}

}  // namespace

bool GuidFromString(const wchar_t* text, TGUID& guid) noexcept {
  if (!text) return false;
  // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
  static constexpr wchar_t kShape[] = L"{________-____-____-____-____________}";
  for (int i = 0; i < 38; ++i) {
    if (text[i] == 0) return false;
    if (kShape[i] != L'_' && text[i] != kShape[i]) return false;
  }
  if (text[38] != 0) return false;
  TGUID result;
  std::uint32_t v = 0;
  if (!ReadHex(text, 1, 8, v)) return false;
  result.Data1 = v;
  if (!ReadHex(text, 10, 4, v)) return false;
  result.Data2 = static_cast<std::uint16_t>(v);
  if (!ReadHex(text, 15, 4, v)) return false;
  result.Data3 = static_cast<std::uint16_t>(v);
  static constexpr int kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kBytePos[i], 2, v)) return false;
    result.Data4[i] = static_cast<std::uint8_t>(v);
  }
  guid = result;
  return true;
}

#ifdef _WIN32
#include <objbase.h>

#include <cstring>

namespace {

// COM for the calling thread: initialised on its first driver creation and
// ended when the thread ends, on that same thread.
struct TThreadCom {
  bool initialised = false;
  TThreadCom() {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    initialised = result == S_OK || result == S_FALSE;
  }
  ~TThreadCom() {
    if (initialised) CoUninitialize();
  }
};

void EnsureThreadCom() { static thread_local TThreadCom com; }

class TQorvASIO final : public IQorvASIO {
 public:
  explicit TQorvASIO(IASIODriverObject* driver) : ASIODriverInterface(driver) {}
  ~TQorvASIO() override { ASIODriverInterface->Release(); }

  ASIOBool Init(std::intptr_t SysHandle) override {
    return ASIODriverInterface->init(reinterpret_cast<void*>(SysHandle));
  }
  void GetDriverName(char* Name) override { ASIODriverInterface->getDriverName(Name); }
  std::int32_t GetDriverVersion() override { return ASIODriverInterface->getDriverVersion(); }
  void GetErrorMessage(char* ErrorString) override { ASIODriverInterface->getErrorMessage(ErrorString); }
  ASIOError Start() override { return ASIODriverInterface->start(); }
  ASIOError Stop() override { return ASIODriverInterface->stop(); }
  ASIOError GetChannels(std::int32_t& in, std::int32_t& out) override {
    return ASIODriverInterface->getChannels(&in, &out);
  }
  ASIOError GetLatencies(std::int32_t& in, std::int32_t& out) override {
    return ASIODriverInterface->getLatencies(&in, &out);
  }
  ASIOError GetBufferSize(std::int32_t& mn, std::int32_t& mx, std::int32_t& pref, std::int32_t& gran) override {
    return ASIODriverInterface->getBufferSize(&mn, &mx, &pref, &gran);
  }
  ASIOError CanSampleRate(double rate) override { return ASIODriverInterface->canSampleRate(rate); }
  ASIOError GetSampleRate(double& rate) override { return ASIODriverInterface->getSampleRate(&rate); }
  ASIOError SetSampleRate(double rate) override { return ASIODriverInterface->setSampleRate(rate); }
  ASIOError GetClockSources(PASIOClockSource clocks, std::int32_t& count) override {
    return ASIODriverInterface->getClockSources(clocks, &count);
  }
  ASIOError SetClockSource(std::int32_t reference) override { return ASIODriverInterface->setClockSource(reference); }
  ASIOError GetSamplePosition(TASIOInt64& position, TASIOInt64& stamp) override {
    return ASIODriverInterface->getSamplePosition(&position, &stamp);
  }
  ASIOError GetChannelInfo(TASIOChannelInfo& info) override { return ASIODriverInterface->getChannelInfo(&info); }
  ASIOError CreateBuffers(PASIOBufferInfo infos, std::int32_t count, std::int32_t size,
                          const TASIOCallbacks& callbacks) override {
    return ASIODriverInterface->createBuffers(infos, count, size, const_cast<TASIOCallbacks*>(&callbacks));
  }
  ASIOError DisposeBuffers() override { return ASIODriverInterface->disposeBuffers(); }
  ASIOError ControlPanel() override { return ASIODriverInterface->controlPanel(); }
  ASIOError Future(std::int32_t selector, void* opt) override { return ASIODriverInterface->future(selector, opt); }
  ASIOError outputReady() override { return ASIODriverInterface->outputReady(); }

 private:
  IASIODriverObject* ASIODriverInterface;
};

}  // namespace

bool CreateQorvASIO(const TGUID& AsioCLSID, IQorvASIOPtr& driver) {
  driver.reset();
  EnsureThreadCom();
  CLSID clsid;
  static_assert(sizeof(clsid) == sizeof(AsioCLSID));
  std::memcpy(&clsid, &AsioCLSID, sizeof(clsid));
  void* object = nullptr;
  // The standard's drivers answer to their class identifier as the interface.
  const HRESULT result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, clsid, &object);
  if (FAILED(result) || !object) return false;
  driver = std::make_shared<TQorvASIO>(static_cast<IASIODriverObject*>(object));
  return true;
}
#endif
