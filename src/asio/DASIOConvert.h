// Sample-format conversion between ASIO driver buffers and blocks of
// single- and double-precision samples (full scale -1.0 .. +1.0).
//
// One process-wide table holds, for each of the eighteen PCM sample types a
// driver may report, an in-convertor pair (driver format to a float block and
// to a double block) and an out-convertor pair (the reverse), plus in-place
// clip pairs and a few block utilities (detectors, mix, volume, fades,
// scanners). SelectProcessorRoutines() fills it at program start with the
// plain routines overlaid by the processor-specific sets; the host copies a
// pair per channel when it creates the driver's buffers.
//
// Every routine works on exactly `count` samples (count >= 1; a count of 0 or
// below does nothing, detectors then answer false) and keeps no state between
// calls except DitherSeed. Source and destination of a convertor must not
// overlap.
//
// Integer out-convertors store values within the type's own bits: an N-bit
// value in a 32-bit container saturates at -2^(N-1) .. 2^(N-1) - 1 like the
// packed and 16-bit types do (hardware that reads the low N bits would turn
// anything beyond into a full-scale click of the other sign); NaN stores 0.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

// ---------------------------------------------------------------------------
// Sample types of the ASIO driver interface (the number in a channel's vType)

using ASIOSampleType = std::int32_t;

inline constexpr ASIOSampleType ASIOSTInt16MSB = 0;
inline constexpr ASIOSampleType ASIOSTInt24MSB = 1;   // packed, 3 bytes
inline constexpr ASIOSampleType ASIOSTInt32MSB = 2;
inline constexpr ASIOSampleType ASIOSTFloat32MSB = 3;
inline constexpr ASIOSampleType ASIOSTFloat64MSB = 4;
inline constexpr ASIOSampleType ASIOSTInt32MSB16 = 8;  // N-bit value, right-aligned
inline constexpr ASIOSampleType ASIOSTInt32MSB18 = 9;  // in a 32-bit container,
inline constexpr ASIOSampleType ASIOSTInt32MSB20 = 10; // sign-extended
inline constexpr ASIOSampleType ASIOSTInt32MSB24 = 11;
inline constexpr ASIOSampleType ASIOSTInt16LSB = 16;
inline constexpr ASIOSampleType ASIOSTInt24LSB = 17;  // packed, 3 bytes
inline constexpr ASIOSampleType ASIOSTInt32LSB = 18;
inline constexpr ASIOSampleType ASIOSTFloat32LSB = 19;
inline constexpr ASIOSampleType ASIOSTFloat64LSB = 20;
inline constexpr ASIOSampleType ASIOSTInt32LSB16 = 24;
inline constexpr ASIOSampleType ASIOSTInt32LSB18 = 25;
inline constexpr ASIOSampleType ASIOSTInt32LSB20 = 26;
inline constexpr ASIOSampleType ASIOSTInt32LSB24 = 27;

// Number of sample types with conversion routines, and the type of each slot
// of the table (the slots follow the order of the type numbers).
inline constexpr int ConvertTypeCount = 18;
inline constexpr std::array<ASIOSampleType, ConvertTypeCount> ConvertSlotTypes = {
    ASIOSTInt16MSB,   ASIOSTInt24MSB,   ASIOSTInt32MSB,   ASIOSTFloat32MSB, ASIOSTFloat64MSB,
    ASIOSTInt32MSB16, ASIOSTInt32MSB18, ASIOSTInt32MSB20, ASIOSTInt32MSB24, ASIOSTInt16LSB,
    ASIOSTInt24LSB,   ASIOSTInt32LSB,   ASIOSTFloat32LSB, ASIOSTFloat64LSB, ASIOSTInt32LSB16,
    ASIOSTInt32LSB18, ASIOSTInt32LSB20, ASIOSTInt32LSB24};

// Table slot of a sample type, or -1 when the type has no routines.
int ConvertSlotOf(ASIOSampleType type) noexcept;

// ---------------------------------------------------------------------------
// Routine shapes

// In-convertors may rewrite the driver block (MSB types are byte-swapped in
// place; the caller treats the source as consumed).
using TInConvert32 = void (*)(void* source, float* dest, std::int32_t count);
using TInConvert64 = void (*)(void* source, double* dest, std::int32_t count);
using TOutConvert32 = void (*)(const float* source, void* dest, std::int32_t count);
using TOutConvert64 = void (*)(const double* source, void* dest, std::int32_t count);
using TBlockRoutine32 = void (*)(float* block, std::int32_t count);
using TBlockRoutine64 = void (*)(double* block, std::int32_t count);
using TMixBlock32 = void (*)(const float* source, float* dest, std::int32_t count);
using TMixBlock64 = void (*)(const double* source, double* dest, std::int32_t count);
using TScaleBlock32 = void (*)(float* block, std::int32_t count, float factor);
using TScaleBlock64 = void (*)(double* block, std::int32_t count, double factor);
using TStepFadeBlock32 = void (*)(float* block, std::int32_t count, double start, double step);
using TStepFadeBlock64 = void (*)(double* block, std::int32_t count, double start, double step);
using TScanBlock32 = std::int32_t (*)(const float* block, std::int32_t count, double threshold);
using TScanBlock64 = std::int32_t (*)(const double* block, std::int32_t count, double threshold);
using TFullScaleDetector = bool (*)(const void* block, std::int32_t count);

// Routine pairs: the 32-bit member works on float blocks, the 64-bit member on
// double blocks.
struct TInConvertor {
  TInConvert32 ic32;
  TInConvert64 ic64;
  bool operator==(const TInConvertor&) const = default;
};

struct TOutConvertor {
  TOutConvert32 oc32;
  TOutConvert64 oc64;
  bool operator==(const TOutConvertor&) const = default;
};

struct TClipBuffer {
  TBlockRoutine32 cb32;
  TBlockRoutine64 cb64;
  bool operator==(const TClipBuffer&) const = default;
};

struct TMixBuffer {
  TMixBlock32 mb32;
  TMixBlock64 mb64;
  bool operator==(const TMixBuffer&) const = default;
};

struct TVolumeBuffer {
  TScaleBlock32 vb32;
  TScaleBlock64 vb64;
  bool operator==(const TVolumeBuffer&) const = default;
};

struct TFadeBuffer {
  TBlockRoutine32 fb32;
  TBlockRoutine64 fb64;
  bool operator==(const TFadeBuffer&) const = default;
};

struct TStepFadeBuffer {
  TStepFadeBlock32 sf32;
  TStepFadeBlock64 sf64;
  bool operator==(const TStepFadeBuffer&) const = default;
};

struct TScanBuffer {
  TScanBlock32 sc32;
  TScanBlock64 sc64;
  bool operator==(const TScanBuffer&) const = default;
};

struct TConvertRoutineTable {
  std::array<TInConvertor, ConvertTypeCount> InConvertors;
  std::array<TOutConvertor, ConvertTypeCount> OutConvertors;
  std::array<TFullScaleDetector, ConvertTypeCount> FullScaleDetectors;
  TMixBuffer MixPair;
  TVolumeBuffer VolumePair;
  TFadeBuffer RampUpPair;
  TFadeBuffer RampDownPair;
  TStepFadeBuffer StepFadePair;
  TStepFadeBuffer MultiplyFadePair;
  TClipBuffer DigitalClipPair;
  TClipBuffer AnalogClipPair;
  TScanBuffer ScannerPair;
  bool operator==(const TConvertRoutineTable&) const = default;
};

// ---------------------------------------------------------------------------
// Process-wide state

// The routine table. Holds the plain routines until SelectProcessorRoutines
// or an installer changes it.
extern TConvertRoutineTable ConvertRoutineTable;

// 0 = plain floating point only, 1 = SSE found, 2 = 3DNow! found.
// Set only by SelectProcessorRoutines.
inline constexpr std::uint8_t ProcessorFpu = 0;
inline constexpr std::uint8_t ProcessorSse = 1;
inline constexpr std::uint8_t Processor3DNow = 2;
extern std::uint8_t ProcessorType;

// State of the dither generator, shared by every dithered out-convertor.
// Seeded from the tick count whenever a dither mode is installed.
extern std::uint32_t DitherSeed;

// ---------------------------------------------------------------------------
// Lookups (the host copies the pair it gets)

std::optional<TInConvertor> InConvertorOf(ASIOSampleType type) noexcept;
std::optional<TOutConvertor> OutConvertorOf(ASIOSampleType type) noexcept;
// Null when the type has no routines.
TFullScaleDetector FullScaleDetectorOf(ASIOSampleType type) noexcept;

// ---------------------------------------------------------------------------
// Installers: each overwrites the entries it names and leaves the rest.

void InstallFpuRoutines();     // every entry := plain routine, no dither
void InstallSseRoutines();     // clip cb32 members, mix and volume 32-bit members
void Install3DNowRoutines();   // ic32/oc32 of Int32LSB and Int32LSB16..24, mix/volume 32
void UseRectangularDither();   // plain routines, reseed, one draw per sample
void UseTriangularDither();    // plain routines, reseed, two draws per sample

// ---------------------------------------------------------------------------
// Processor identification

struct TCpuIdRegisters {
  std::uint32_t eax = 0;
  std::uint32_t ebx = 0;
  std::uint32_t ecx = 0;
  std::uint32_t edx = 0;
};

// Runs the processor identification instruction for one leaf. Returns false
// when the processor cannot execute it.
using TCpuIdQuery = bool (*)(std::uint32_t leaf, TCpuIdRegisters& regs);

// The running processor's identification (false on processors without it).
bool NativeCpuId(std::uint32_t leaf, TCpuIdRegisters& regs);

// Program start-up step: installs the plain routines, identifies the
// processor through `query` and overlays the SSE and then the 3DNow! set as
// the processor allows. Sets ProcessorType.
void SelectProcessorRoutines(TCpuIdQuery query = NativeCpuId);

// ---------------------------------------------------------------------------
// Named routines (the table refers to these; tests and benchmarks call them)

// In-place byte-order reversal of 3-, 4- and 8-byte samples.
void SwapBytes24(void* block, std::int32_t count);
void SwapBytes32(void* block, std::int32_t count);
void SwapBytes64(void* block, std::int32_t count);

// Digital clips: magnitudes above 1, infinities and NaN become +-1 by their sign.
void DigitalClip32(float* block, std::int32_t count);
void DigitalClip64(double* block, std::int32_t count);
void DigitalClip32SSE(float* block, std::int32_t count);
// Soft curve 2x(3+|x|) / (|x|(3+|x|) + 6): gain 1 near 0, +-1 -> +-0.8,
// tends to +-2; +-infinity gives +-1, NaN 0.
void AnalogClip32(float* block, std::int32_t count);
void AnalogClip64(double* block, std::int32_t count);
void AnalogClip32SSE(float* block, std::int32_t count);

void MixBlocks32(const float* source, float* dest, std::int32_t count);
void MixBlocks64(const double* source, double* dest, std::int32_t count);
void MixBlocks32SSE(const float* source, float* dest, std::int32_t count);
void MixBlocks32_3DNow(const float* source, float* dest, std::int32_t count);

void ScaleBlock32(float* block, std::int32_t count, float factor);
void ScaleBlock64(double* block, std::int32_t count, double factor);
void ScaleBlock32SSE(float* block, std::int32_t count, float factor);
void ScaleBlock32_3DNow(float* block, std::int32_t count, float factor);
