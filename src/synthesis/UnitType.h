// Shared data model of the signal generator: enumerations, setting records,
// their string twins and the sample buffers. Types only, no code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Enumerations: one byte each, counting from 0 in the order given.

enum class TKeyType : std::uint8_t {
  _Enter, _CLR, _Dot, _Plus, _Minus,
  _0, _1, _2, _3, _4, _5, _6, _7, _8, _9,
  _Invalid
};
enum class TSelectSignalAttributeItem : std::uint8_t {
  _Frequency, _Amplitude, _Phase, _Offset, _Cycle, _Period, _Unselected
};
enum class TDisplayPanel : std::uint8_t { _SettingGlobal, _SettingSignal, _SettingSignalEx, _Chart };
enum class TRounding : std::uint8_t { _RZ, _RI, _RN, _RNE, _DITHER };
enum class TDither : std::uint8_t { _White, _Pink, _Gauss };
enum class TNoiseShaping : std::uint8_t { _2nd, _1st, _Off };
enum class TRepeat : std::uint8_t { _Continuous, _Single };
enum class TOutputDevice : std::uint8_t { _NoDevice, _WaveMapper, _ASIO };
enum class TWavBufferSize : std::uint8_t { _50ms, _100ms, _125ms, _200ms, _250ms, _500ms };
enum class TWableDeviation : std::uint8_t { _1d3, _1d1 };
enum class TPropertySheet : std::uint8_t { _PropertyNo, _PropertySignal, _PropertyAll };
enum class TFFTuse : std::uint8_t { _Use, _NoUse };
enum class TWaveform : std::uint8_t { _Sine, _Square, _Triangle, _Sawtooth, _Sweep, _Noise };
enum class TWarbleCycle : std::uint8_t { _16Hz, _12Hz, _8Hz, _4Hz, _0Hz };
enum class TOutputChannel : std::uint8_t { _Both, _Lch, _Rch, _Mute };
enum class TSweepType : std::uint8_t { _Linear, _Log };
enum class TNoiseType : std::uint8_t { _WhiteNoise, _PinkNoise, _GaussNoise };
enum class TPinkNoiseMethod : std::uint8_t { _Voss, _Kellet, _LPF };
enum class TWavMemErr : std::uint8_t {
  _MemErrNo, _MemErrNoCreateHeap, _MemErrNoAllocateHeap, _MemErrNoAllocateVirtual,
  _MemErrNoDecommit, _MemErrNoRelease
};
enum class TWavOutErr : std::uint8_t {
  _MMSYSERR_No, _MMSYSERR_ALLOCATED, _MMSYSERR_BADDEVICEID, _MMSYSERR_NODRIVER,
  _MMSYSERR_NOMEM, _WAVERR_SYNC, _WAVERR_BADFORMAT
};
enum class TWaveOutCallback : std::uint8_t { _OpenWaveOut, _CloseWaveOut, _DoneWaveOut };
enum class TOperation : std::uint8_t { _Play, _Stop, _Record };
enum class TSoundOutNotify : std::uint8_t { _Started, _Stopped, _Changed, _Erred };
enum class TCreateWaveNotify : std::uint8_t { _Prepared, _FailedError };
enum class TDisplayOutNotify : std::uint8_t { _DisplayDone };

// ---------------------------------------------------------------------------
// Setting records.

struct TSweepFrequency {
  std::int32_t _Start;
  std::int32_t _Stop;
  bool operator==(const TSweepFrequency&) const = default;
};

struct TSignalAttribute {
  std::int32_t _Frequency;          // Hz
  std::int32_t _Amplitude;          // dB relative to full scale, <= 0
  TOutputChannel _OutputChannel;
  std::int32_t _Phase;              // degrees
  std::int32_t _Offset;             // _Offset / 2^_Quantization of full scale
  TWaveform _Waveform;
  TWarbleCycle _WarbleCycle;
  std::int32_t _CycleOn;
  std::int32_t _CycleOff;           // 0: continuous tone
  TSweepType _SweepType;
  std::int32_t _SweepPeriod;        // s
  TSweepFrequency _SweepFrequency;  // Hz
  TNoiseType _NoiseType;
  bool operator==(const TSignalAttribute&) const = default;
};

struct TPCMFormat {
  std::int32_t _SamplingRate;  // Hz
  std::int32_t _Quantization;  // bits: 16, 20, 24 or 32
  TRounding _Rounding;
  TDither _Dither;
  TNoiseShaping _NoiseShaping;
  bool operator==(const TPCMFormat&) const = default;
};

struct TInternalSetting {
  TOutputDevice _OutputDevice;
  TWavBufferSize _WavBufferSize;
  std::int32_t _DefaultPeriod;  // s
  std::int32_t _RecordTime;     // s
  std::int32_t _PlayTime;       // s
  TRepeat _Repeat;
  TPropertySheet _PropertySheet;
  TWableDeviation _WableDeviation;
  TFFTuse _FFTuse;
  bool operator==(const TInternalSetting&) const = default;
};

// String twins: the display texts, which are also the values the settings
// and signal set files store.
struct TSignalAttributeString {
  std::string _Frequency, _Amplitude, _OutputChannel, _Phase, _Offset, _Waveform,
      _WarbleCycle, _CycleOn, _CycleOff, _SweepType, _SweepPeriod, _SweepFrequencyStart,
      _SweepFrequencyStop, _NoiseType;
  bool operator==(const TSignalAttributeString&) const = default;
};

struct TPCMFormatString {
  std::string _SamplingRate, _Quantization, _Rounding, _Dither, _NoiseShaping;
  bool operator==(const TPCMFormatString&) const = default;
};

struct TInternalSettingString {
  std::string _OutputDevice, _WavBufferSize, _DefaultPeriod, _Repeat, _WableDeviation,
      _PropertySheet, _FFTuse;
  bool operator==(const TInternalSettingString&) const = default;
};

struct TFileAttribute {
  std::string _VenderString, _Version, _FileType;
  bool operator==(const TFileAttribute&) const = default;
};

// ---------------------------------------------------------------------------
// Other records.

struct TComplex {
  long double Real;
  long double Imaginary;
};

struct TPinkNoise {
  std::vector<std::uint32_t> Rows;
  std::uint32_t RunningSum;
  std::int32_t Index;
  std::int32_t indexMask;
  long double Scaler;
};

// One 16-bit value known by three names.
union TSamples {
  std::uint16_t wValidBitsPerSample;
  std::uint16_t wSamplesPerBlock;
  std::uint16_t wReserved;
};

struct TGuid {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};

#pragma pack(push, 1)
// The Windows WAVEFORMATEX layout, 18 bytes.
struct tWAVEFORMATEX {
  std::uint16_t wFormatTag;
  std::uint16_t nChannels;
  std::uint32_t nSamplesPerSec;
  std::uint32_t nAvgBytesPerSec;
  std::uint16_t nBlockAlign;
  std::uint16_t wBitsPerSample;
  std::uint16_t cbSize;
};

// The Windows extensible wave format, 40 bytes with no gaps.
struct TWaveFormatExtensible {
  tWAVEFORMATEX Format;
  TSamples Samples;
  std::uint32_t dwChannelMask;
  TGuid SubFormat;
};
#pragma pack(pop)

static_assert(sizeof(tWAVEFORMATEX) == 18);
static_assert(sizeof(TWaveFormatExtensible) == 40);
static_assert(offsetof(TWaveFormatExtensible, Samples) == 18);
static_assert(offsetof(TWaveFormatExtensible, dwChannelMask) == 20);
static_assert(offsetof(TWaveFormatExtensible, SubFormat) == 24);

// The Windows wave header (WAVEHDR): one buffer handed to the wave-out
// device, in the platform's own layout.
struct wavehdr_tag {
  char* lpData;
  std::uint32_t dwBufferLength;
  std::uint32_t dwBytesRecorded;
  std::uintptr_t dwUser;
  std::uint32_t dwFlags;
  std::uint32_t dwLoops;
  wavehdr_tag* lpNext;
  std::uintptr_t reserved;
};
using PWaveHdr = wavehdr_tag*;

// Header flags: the buffer starts and ends a loop (played dwLoops times).
inline constexpr std::uint32_t WaveHdrBeginLoop = 0x04;
inline constexpr std::uint32_t WaveHdrEndLoop = 0x08;

// Format tags and the published PCM sub-format GUID
// {00000001-0000-0010-8000-00AA00389B71}.
inline constexpr std::uint16_t WaveFormatTagPCM = 0x0001;
inline constexpr std::uint16_t WaveFormatTagExtensible = 0xFFFE;
inline constexpr TGuid PCMSubFormatGuid = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// ---------------------------------------------------------------------------
// Arrays and sample buffers.

using TWaveBufferExtended = std::vector<long double>;        // full scale -1 .. +1
using TWaveBufferExtendedArray = std::vector<TWaveBufferExtended>;
using TWaveBufferExtendedStereo = std::array<TWaveBufferExtended, 2>;  // 0 left, 1 right
using TWaveBufferInteger = std::vector<std::int32_t>;
using TWaveBufferIntegerStereo = std::array<TWaveBufferInteger, 2>;
using TWaveBuffer = std::array<std::int32_t, 384000>;
using PWaveBuffer = TWaveBuffer*;
using TSignalAttributeArray = std::vector<TSignalAttribute>;
using TSignalAttributeStringArray = std::vector<TSignalAttributeString>;
using TProgressionComplex = std::vector<TComplex>;

// Every enumeration is stored in one byte.
static_assert(sizeof(TKeyType) == 1 && sizeof(TSelectSignalAttributeItem) == 1 &&
              sizeof(TDisplayPanel) == 1 && sizeof(TRounding) == 1 && sizeof(TDither) == 1 &&
              sizeof(TNoiseShaping) == 1 && sizeof(TRepeat) == 1 && sizeof(TOutputDevice) == 1 &&
              sizeof(TWavBufferSize) == 1 && sizeof(TWableDeviation) == 1 &&
              sizeof(TPropertySheet) == 1 && sizeof(TFFTuse) == 1 && sizeof(TWaveform) == 1 &&
              sizeof(TWarbleCycle) == 1 && sizeof(TOutputChannel) == 1 &&
              sizeof(TSweepType) == 1 && sizeof(TNoiseType) == 1 &&
              sizeof(TPinkNoiseMethod) == 1 && sizeof(TWavMemErr) == 1 &&
              sizeof(TWavOutErr) == 1 && sizeof(TWaveOutCallback) == 1 &&
              sizeof(TOperation) == 1 && sizeof(TSoundOutNotify) == 1 &&
              sizeof(TCreateWaveNotify) == 1 && sizeof(TDisplayOutNotify) == 1);
