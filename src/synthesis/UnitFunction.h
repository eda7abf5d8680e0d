// The signal engine. Stateless: every operation reads only its arguments and
// returns new buffers that the caller owns; all signal arithmetic is done in
// 80-bit extended precision. Safe to call from several threads at once.
//
// Every generator, the mixer and the quantiser also come in an in-place form
// with the result as a last argument: it is resized to the block and written
// over, so storage kept from one second to the next is reused without new
// allocations. The returning forms call them and give the same values bit
// for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "synthesis/UnitType.h"

class TExFunctionLib {
 public:
  TExFunctionLib() = delete;

  // --- Defaults and display strings -------------------------------------
  static TSignalAttribute InitializeSignalAttribute();
  static TPCMFormat InitializePCMFormat();
  static TInternalSetting InitializeInternalSetting();
  static TSignalAttributeString StringSignalAttribute(const TSignalAttribute& SignalAttribute);
  static TPCMFormatString StringPCMFormat(const TPCMFormat& PCMFormat);
  static TInternalSettingString StringInternalSetting(const TInternalSetting& InternalSetting);

  // --- Waveform generators ------------------------------------------------
  static TWaveBufferExtended GenerateWaveDataSine(const TPCMFormat& PCMFormat,
                                                  const TSignalAttribute& SignalAttribute,
                                                  std::int32_t WaveBufferMilliSec,
                                                  const TInternalSetting& InternalSetting);
  static TWaveBufferExtended GenerateWaveDataSquare(const TPCMFormat& PCMFormat,
                                                    const TSignalAttribute& SignalAttribute,
                                                    std::int32_t WaveBufferMilliSec,
                                                    const TInternalSetting& InternalSetting);
  static TWaveBufferExtended GenerateWaveDataTriangle(const TPCMFormat& PCMFormat,
                                                      const TSignalAttribute& SignalAttribute,
                                                      std::int32_t WaveBufferMilliSec,
                                                      const TInternalSetting& InternalSetting);
  static TWaveBufferExtended GenerateWaveDataSawtooth(const TPCMFormat& PCMFormat,
                                                      const TSignalAttribute& SignalAttribute,
                                                      std::int32_t WaveBufferMilliSec,
                                                      const TInternalSetting& InternalSetting);
  static TWaveBufferExtended GenerateWaveDataSweep(const TPCMFormat& PCMFormat,
                                                   const TSignalAttribute& SignalAttribute,
                                                   std::int32_t WaveBufferMilliSec,
                                                   std::int32_t TimeStart);
  // In-place forms.
  static void GenerateWaveDataSine(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                   std::int32_t WaveBufferMilliSec, const TInternalSetting& InternalSetting,
                                   TWaveBufferExtended& Buffer);
  static void GenerateWaveDataSquare(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                     std::int32_t WaveBufferMilliSec, const TInternalSetting& InternalSetting,
                                     TWaveBufferExtended& Buffer);
  static void GenerateWaveDataTriangle(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                       std::int32_t WaveBufferMilliSec, const TInternalSetting& InternalSetting,
                                       TWaveBufferExtended& Buffer);
  static void GenerateWaveDataSawtooth(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                       std::int32_t WaveBufferMilliSec, const TInternalSetting& InternalSetting,
                                       TWaveBufferExtended& Buffer);
  static void GenerateWaveDataSweep(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                    std::int32_t WaveBufferMilliSec, std::int32_t TimeStart,
                                    TWaveBufferExtended& Buffer);

  // --- Noise ----------------------------------------------------------------
  static TWaveBufferExtended GenerateWaveDataNoise(const TPCMFormat& PCMFormat,
                                                   const TSignalAttribute& SignalAttribute,
                                                   std::int32_t WaveBufferMilliSec,
                                                   TPinkNoiseMethod PinkNoiseMethod);
  static void GenerateWaveDataNoise(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                    std::int32_t WaveBufferMilliSec, TPinkNoiseMethod PinkNoiseMethod,
                                    TWaveBufferExtended& Buffer);
  // The same from a given seed instead of the time seed: a series of seconds
  // gives each second a seed of its own.
  static TWaveBufferExtended GenerateWaveDataNoise(const TPCMFormat& PCMFormat,
                                                   const TSignalAttribute& SignalAttribute,
                                                   std::int32_t WaveBufferMilliSec,
                                                   TPinkNoiseMethod PinkNoiseMethod, std::uint32_t Seed);
  static void GenerateWaveDataNoise(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                    std::int32_t WaveBufferMilliSec, TPinkNoiseMethod PinkNoiseMethod,
                                    std::uint32_t Seed, TWaveBufferExtended& Buffer);

  // --- Spectral variants ---------------------------------------------------
  static TWaveBufferExtended GenerateWaveDataSquareIFFT(const TPCMFormat& PCMFormat,
                                                        const TSignalAttribute& SignalAttribute,
                                                        std::int32_t WaveBufferMilliSec,
                                                        const TInternalSetting& InternalSetting);
  static TWaveBufferExtended GenerateWaveDataTriangleIFFT(const TPCMFormat& PCMFormat,
                                                          const TSignalAttribute& SignalAttribute,
                                                          std::int32_t WaveBufferMilliSec,
                                                          const TInternalSetting& InternalSetting);
  static TWaveBufferExtended GenerateWaveDataSawtoothIFFT(const TPCMFormat& PCMFormat,
                                                          const TSignalAttribute& SignalAttribute,
                                                          std::int32_t WaveBufferMilliSec,
                                                          const TInternalSetting& InternalSetting);
  // In-place forms.
  static void GenerateWaveDataSquareIFFT(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                         std::int32_t WaveBufferMilliSec, const TInternalSetting& InternalSetting,
                                         TWaveBufferExtended& Buffer);
  static void GenerateWaveDataTriangleIFFT(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                           std::int32_t WaveBufferMilliSec, const TInternalSetting& InternalSetting,
                                           TWaveBufferExtended& Buffer);
  static void GenerateWaveDataSawtoothIFFT(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                           std::int32_t WaveBufferMilliSec, const TInternalSetting& InternalSetting,
                                           TWaveBufferExtended& Buffer);

  // --- Mixing and quantisation ----------------------------------------------
  static TWaveBufferExtendedStereo SynthesizeSignals(const TPCMFormat& PCMFormat,
                                                     std::int32_t ChannelNumber,
                                                     const TSignalAttributeArray& SignalAttributeArray,
                                                     const TWaveBufferExtendedArray& WaveBufferArray,
                                                     std::int32_t WaveBufferMilliSec);
  static TWaveBufferIntegerStereo QuantizeSignal(const TPCMFormat& PCMFormat,
                                                 long double OutputGainL, long double OutputGainR,
                                                 const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                                 std::int32_t WaveBufferMilliSec);
  // In-place forms. The mix must not be one of the records' buffers, nor the
  // quantiser's result its input.
  static void SynthesizeSignals(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                const TSignalAttributeArray& SignalAttributeArray,
                                const TWaveBufferExtendedArray& WaveBufferArray, std::int32_t WaveBufferMilliSec,
                                TWaveBufferExtendedStereo& Mix);
  static void QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL, long double OutputGainR,
                             const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                             std::int32_t WaveBufferMilliSec, TWaveBufferIntegerStereo& Quantized);
  // The quantiser with the dither drawn from a given seed instead of the
  // time seed.
  static TWaveBufferIntegerStereo QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL,
                                                 long double OutputGainR,
                                                 const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                                 std::int32_t WaveBufferMilliSec, std::uint32_t Seed);
  static void QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL, long double OutputGainR,
                             const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                             std::int32_t WaveBufferMilliSec, std::uint32_t Seed,
                             TWaveBufferIntegerStereo& Quantized);
  // A mix continued from sums carried over: Sums[c] holds, for the first
  // Records[c] records that channel c mixes (in record order), the running
  // sum the mix forms before it reads the next record; the records' own
  // buffers are not read then. The result equals SynthesizeSignals bit for
  // bit. SumLeadingSignals writes such sums (Records[c] no more than channel
  // c mixes).
  struct TMixSums {
    const TWaveBufferExtendedStereo* Sums = nullptr;
    std::size_t Records[2] = {0, 0};
  };
  static void SumLeadingSignals(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                const TSignalAttributeArray& SignalAttributeArray,
                                const TWaveBufferExtendedArray& WaveBufferArray, std::int32_t WaveBufferMilliSec,
                                const std::size_t (&Records)[2], TWaveBufferExtendedStereo& Sums);
  static void SynthesizeSignals(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                const TSignalAttributeArray& SignalAttributeArray,
                                const TWaveBufferExtendedArray& WaveBufferArray, std::int32_t WaveBufferMilliSec,
                                const TMixSums& From, TWaveBufferExtendedStereo& Mix);

 protected:
  // Building blocks shared by the operations above (reachable from tests
  // through a derived accessor).

  // --- waveform building blocks ---
  static TWaveBufferExtended BurstGate(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute);
  static TWaveBufferExtended NormalizeByPeak(const TWaveBufferExtended& Buffer);
  static std::int32_t RoundHalfAway(long double x);

  // --- quantiser ---
  static std::int32_t QuantizeSample(const TPCMFormat& PCMFormat, long double x, long double d);
  // QuantizeSignal with the dither from *Seed, or from the time seed when
  // Seed is null (read only when the rounding dithers).
  static void QuantizeWithSeed(const TPCMFormat& PCMFormat, long double OutputGainL, long double OutputGainR,
                               const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                               std::int32_t WaveBufferMilliSec, const std::uint32_t* Seed,
                               TWaveBufferIntegerStereo& Quantized);

  // --- randomness and noise (MT19937 and time seed) ---
  // [noise declarations]
 public:
  // The local date and time as the time seed reads it.
  struct TClockTime {
    std::int32_t Day;     // 1 .. 31
    std::int32_t Hour;    // 0 .. 23
    std::int32_t Minute;  // 0 .. 59
    std::int32_t Second;  // 0 .. 59 (60 on a leap second)
  };
  using TLocalClock = TClockTime (*)();

 protected:
  // Replaces the clock behind the time seed (nullptr restores the local
  // clock). Takes effect for every thread at once.
  static void SetLocalClock(TLocalClock Clock);
  static TClockTime LocalClock();

 public:
  // The clock reading as the decimal number "ddhhnnss"; without an argument
  // the local clock now.
  static std::uint32_t TimeSeed(const TClockTime& Time);
  static std::uint32_t TimeSeed();

 protected:

  // 32-bit helpers of the Mersenne Twister.
  static std::uint32_t AddModulo32(std::uint32_t A, std::uint32_t B);
  static std::uint32_t MulModulo32(std::uint32_t A, std::uint32_t B);
  static std::uint32_t MixBits(std::uint32_t U, std::uint32_t V);
  static std::uint32_t Twist(std::uint32_t U, std::uint32_t V);
  static std::uint32_t Temper(std::uint32_t Y);

  // Each returns Count values (Count >= 1; fewer gives an empty array).
  static TWaveBufferExtended UniformRandom(std::uint32_t Seed, std::int32_t Count);
  static TWaveBufferExtended PinkNoiseKellet(std::uint32_t Seed, std::int32_t Count);
  static TWaveBufferExtended PinkNoiseVoss(std::uint32_t Seed, std::int32_t Count, std::int32_t Rows);
  static TWaveBufferExtended PinkNoiseLPF(std::uint32_t Seed, std::int32_t Count, std::int32_t Corner);
  static TWaveBufferExtended GaussNoise(std::uint32_t Seed, std::int32_t Count);
  // The corner bin of the spectral pink source for a sampling rate (at least 1).
  static std::int32_t PinkNoiseCorner(std::int32_t SamplingRate);

  // --- transforms ---
  // [transform declarations]
  static TComplex ComplexAdd(const TComplex& A, const TComplex& B);
  static TComplex ComplexSub(const TComplex& A, const TComplex& B);
  static TComplex ComplexMul(const TComplex& A, const TComplex& B);
  static TComplex ComplexExp(const TComplex& Z);
  // Radix-2 pair: forward scaled 2/N, inverse scaled 1/2; a length that is
  // not a power of two gives all zeros.
  static TProgressionComplex FFT(const TProgressionComplex& X);
  static TProgressionComplex IFFT(const TProgressionComplex& X);
  // Any length from 1 up, same scaling (chirp z-transform).
  static TProgressionComplex DFTBluestein(const TProgressionComplex& X);
  static TProgressionComplex IDFTBluestein(const TProgressionComplex& X);
};

// Display-string tables shared with the file readers: each enumeration value
// has exactly one text, and a text maps back to its value.
template <class E>
struct TEnumText {
  E Value;
  std::string_view Text;
};

std::string_view EnumText(TOutputChannel v);
std::string_view EnumText(TWaveform v);
std::string_view EnumText(TWarbleCycle v);
std::string_view EnumText(TSweepType v);
std::string_view EnumText(TNoiseType v);
std::string_view EnumText(TRounding v);
std::string_view EnumText(TDither v);
std::string_view EnumText(TNoiseShaping v);
std::string_view EnumText(TOutputDevice v);
std::string_view EnumText(TWavBufferSize v);
std::string_view EnumText(TRepeat v);
std::string_view EnumText(TWableDeviation v);
std::string_view EnumText(TPropertySheet v);
std::string_view EnumText(TFFTuse v);

// The value whose display text is exactly `Text`, or nothing.
template <class E>
std::optional<E> EnumFromText(std::string_view Text);
