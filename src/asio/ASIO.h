// Records, result codes and selectors of the ASIO driver interface, as the
// host and a driver exchange them. Laid out for x86-64 Windows: fields packed
// on 4-byte boundaries, addresses 8 bytes wide. Portable (no windows.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "asio/DASIOConvert.h"  // ASIOSampleType and the type numbers

using ASIOError = std::int32_t;
using ASIOBool = std::int32_t;

inline constexpr ASIOBool ASIOFalse = 0;
inline constexpr ASIOBool ASIOTrue = 1;

// Result values the host relies on; every other value passes through.
inline constexpr ASIOError ASE_OK = 0;
inline constexpr ASIOError ASE_SUCCESS = 0x3F4847A0;
inline constexpr ASIOError ASE_NotPresent = -1000;
inline constexpr ASIOError ASE_HWMalfunction = -999;
inline constexpr ASIOError ASE_InvalidParameter = -998;
inline constexpr ASIOError ASE_InvalidMode = -997;
inline constexpr ASIOError ASE_SPNotAdvancing = -996;
inline constexpr ASIOError ASE_NoClock = -995;
inline constexpr ASIOError ASE_NoMemory = -994;

// Selectors of the driver's asioMessage callback.
inline constexpr std::int32_t kAsioSelectorSupported = 1;
inline constexpr std::int32_t kAsioEngineVersion = 2;
inline constexpr std::int32_t kAsioResetRequest = 3;
inline constexpr std::int32_t kAsioBufferSizeChange = 4;
inline constexpr std::int32_t kAsioResyncRequest = 5;
inline constexpr std::int32_t kAsioLatenciesChanged = 6;
inline constexpr std::int32_t kAsioSupportsTimeInfo = 7;
inline constexpr std::int32_t kAsioSupportsTimeCode = 8;
inline constexpr std::int32_t kAsioSupportsInputMonitor = 10;

// Selectors of the driver's Future operation.
inline constexpr std::int32_t kAsioSetInputGain = 5;
inline constexpr std::int32_t kAsioGetInputMeter = 6;
inline constexpr std::int32_t kAsioSetOutputGain = 7;
inline constexpr std::int32_t kAsioGetOutputMeter = 8;
inline constexpr std::int32_t kAsioCanTimeInfo = 10;
inline constexpr std::int32_t kAsioCanTimeCode = 11;
inline constexpr std::int32_t kAsioCanTransport = 12;
inline constexpr std::int32_t kAsioCanInputGain = 13;
inline constexpr std::int32_t kAsioCanInputMeter = 14;
inline constexpr std::int32_t kAsioCanOutputGain = 15;
inline constexpr std::int32_t kAsioCanOutputMeter = 16;

// Bits of TAsioTimeInfo::flags.
inline constexpr std::uint32_t kSystemTimeValid = 1;
inline constexpr std::uint32_t kSamplePositionValid = 2;
inline constexpr std::uint32_t kSampleRateValid = 4;
inline constexpr std::uint32_t kSpeedValid = 8;
inline constexpr std::uint32_t kSampleRateChanged = 16;
inline constexpr std::uint32_t kClockSourceChanged = 32;

#pragma pack(push, 4)

// 64-bit unsigned count in two halves: hi * 2^32 + lo.
struct TASIOInt64 {
  std::uint32_t hi;
  std::uint32_t lo;
};

struct TAsioTimeInfo {
  double speed;
  TASIOInt64 systemTime;
  TASIOInt64 samplePosition;
  double sampleRate;
  std::uint32_t flags;
  char reserved[12];
};

struct TASIOTimeCode {
  double speed;
  TASIOInt64 timecodeSamples;
  std::uint32_t flags;
  char future[64];
};

struct TASIOTime {
  std::int32_t reserved[4];
  TAsioTimeInfo timeInfo;
  TASIOTimeCode timeCode;
};
using PASIOTime = TASIOTime*;

using TASIOBufferSwitchProc = void (*)(std::int32_t doubleBufferIndex, ASIOBool directProcess);
using TASIOSampleRateDidChangeProc = void (*)(double sRate);
using TASIOMessageFunc = std::int32_t (*)(std::int32_t selector, std::int32_t value, void* message, double* opt);
using TASIOBufferSwitchTimeInfoFunc = PASIOTime (*)(TASIOTime* params, std::int32_t doubleBufferIndex,
                                                    ASIOBool directProcess);

struct TASIOCallbacks {
  TASIOBufferSwitchProc bufferSwitch;
  TASIOSampleRateDidChangeProc sampleRateDidChange;
  TASIOMessageFunc asioMessage;
  TASIOBufferSwitchTimeInfoFunc bufferSwitchTimeInfo;
};

struct TASIOClockSource {
  std::int32_t index;
  std::int32_t associatedChannel;
  std::int32_t associatedGroup;
  ASIOBool isCurrentSource;
  char name[32];
};
using PASIOClockSource = TASIOClockSource*;

struct TASIOChannelInfo {
  std::int32_t channel;
  ASIOBool isInput;
  ASIOBool isActive;
  std::int32_t channelGroup;
  ASIOSampleType vType;
  char name[32];
};

struct TASIOBufferInfo {
  ASIOBool isInput;
  std::int32_t channelNum;
  void* buffers[2];
};
using PASIOBufferInfo = TASIOBufferInfo*;
using PASIOBufferList = TASIOBufferInfo*;

// Record of the gain and meter requests of Future.
struct TASIOChannelControls {
  std::int32_t channel;
  ASIOBool isInput;
  std::int32_t gain;
  std::int32_t meter;
  char future[32];
};

#pragma pack(pop)

static_assert(sizeof(void*) == 8, "the driver records are laid out for x86-64");
static_assert(sizeof(TASIOInt64) == 8);
static_assert(sizeof(TAsioTimeInfo) == 48 && offsetof(TAsioTimeInfo, flags) == 32);
static_assert(sizeof(TASIOTimeCode) == 84 && offsetof(TASIOTimeCode, future) == 20);
static_assert(sizeof(TASIOTime) == 148 && offsetof(TASIOTime, timeCode) == 64);
static_assert(sizeof(TASIOCallbacks) == 32);
static_assert(sizeof(TASIOClockSource) == 48);
static_assert(sizeof(TASIOChannelInfo) == 52 && offsetof(TASIOChannelInfo, name) == 20);
static_assert(sizeof(TASIOBufferInfo) == 24 && offsetof(TASIOBufferInfo, buffers) == 8);
static_assert(sizeof(TASIOChannelControls) == 48);

std::int64_t AsioInt64ToInt64(const TASIOInt64& value) noexcept;
TASIOInt64 Int64ToAsioInt64(std::int64_t value) noexcept;

// Bytes per sample of a sample type the host knows; 0 for any other type.
int AsioSampleBytes(ASIOSampleType type) noexcept;
// True for the big-endian types (0 to 11).
bool AsioSampleIsMSB(ASIOSampleType type) noexcept;
