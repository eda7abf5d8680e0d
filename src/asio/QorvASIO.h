// One ASIO driver behind the interface the host calls: its 21 operations in
// the driver's own order. On Windows, TQorvASIO wraps the driver's in-process
// COM object; tests put a fake driver behind the same interface.
#pragma once

#include <cstdint>
#include <memory>

#include "asio/ASIO.h"

// A COM class identifier.
struct TGUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};
  bool operator==(const TGUID&) const = default;
};

// Parses "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (hex digits of either case).
// False, and `guid` unchanged, for any other text.
bool GuidFromString(const wchar_t* text, TGUID& guid) noexcept;

class IQorvASIO {
 public:
  virtual ~IQorvASIO() = default;
  virtual ASIOBool Init(std::intptr_t SysHandle) = 0;
  virtual void GetDriverName(char* Name) = 0;  // at least 32 characters
  virtual std::int32_t GetDriverVersion() = 0;
  virtual void GetErrorMessage(char* ErrorString) = 0;  // at least 124 characters
  virtual ASIOError Start() = 0;
  virtual ASIOError Stop() = 0;
  virtual ASIOError GetChannels(std::int32_t& NumInputChannels, std::int32_t& NumOutputChannels) = 0;
  virtual ASIOError GetLatencies(std::int32_t& InputLatency, std::int32_t& OutputLatency) = 0;
  virtual ASIOError GetBufferSize(std::int32_t& MinSize, std::int32_t& MaxSize, std::int32_t& PreferredSize,
                                  std::int32_t& Granularity) = 0;
  virtual ASIOError CanSampleRate(double SampleRate) = 0;
  virtual ASIOError GetSampleRate(double& SampleRate) = 0;
  virtual ASIOError SetSampleRate(double SampleRate) = 0;
  virtual ASIOError GetClockSources(PASIOClockSource Clocks, std::int32_t& NumSources) = 0;
  virtual ASIOError SetClockSource(std::int32_t Reference) = 0;
  virtual ASIOError GetSamplePosition(TASIOInt64& SamplePosition, TASIOInt64& TimeStamp) = 0;
  virtual ASIOError GetChannelInfo(TASIOChannelInfo& Info) = 0;
  virtual ASIOError CreateBuffers(PASIOBufferInfo BufferInfos, std::int32_t NumChannels, std::int32_t BufferSize,
                                  const TASIOCallbacks& Callbacks) = 0;
  virtual ASIOError DisposeBuffers() = 0;
  virtual ASIOError ControlPanel() = 0;
  virtual ASIOError Future(std::int32_t Selector, void* Opt) = 0;
  virtual ASIOError outputReady() = 0;
};

using IQorvASIOPtr = std::shared_ptr<IQorvASIO>;

#ifdef _WIN32
#include <unknwn.h>

// The driver object's own table: IUnknown, then the 21 operations. Shared by
// the wrapper and the project's test driver.
struct IASIODriverObject : public IUnknown {
  virtual ASIOBool init(void* sysHandle) = 0;
  virtual void getDriverName(char* name) = 0;
  virtual std::int32_t getDriverVersion() = 0;
  virtual void getErrorMessage(char* string) = 0;
  virtual ASIOError start() = 0;
  virtual ASIOError stop() = 0;
  virtual ASIOError getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels) = 0;
  virtual ASIOError getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) = 0;
  virtual ASIOError getBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                                  std::int32_t* granularity) = 0;
  virtual ASIOError canSampleRate(double sampleRate) = 0;
  virtual ASIOError getSampleRate(double* sampleRate) = 0;
  virtual ASIOError setSampleRate(double sampleRate) = 0;
  virtual ASIOError getClockSources(TASIOClockSource* clocks, std::int32_t* numSources) = 0;
  virtual ASIOError setClockSource(std::int32_t reference) = 0;
  virtual ASIOError getSamplePosition(TASIOInt64* samplePosition, TASIOInt64* timeStamp) = 0;
  virtual ASIOError getChannelInfo(TASIOChannelInfo* info) = 0;
  virtual ASIOError createBuffers(TASIOBufferInfo* bufferInfos, std::int32_t numChannels, std::int32_t bufferSize,
                                  TASIOCallbacks* callbacks) = 0;
  virtual ASIOError disposeBuffers() = 0;
  virtual ASIOError controlPanel() = 0;
  virtual ASIOError future(std::int32_t selector, void* opt) = 0;
  virtual ASIOError outputReady() = 0;
};

// Creates the driver object of class AsioCLSID in process and hands out its
// wrapper; false and no interface when the class cannot be created. COM is
// initialised once on each calling thread and ended when that thread ends.
bool CreateQorvASIO(const TGUID& AsioCLSID, IQorvASIOPtr& driver);
#endif
