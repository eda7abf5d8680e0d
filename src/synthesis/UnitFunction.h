// The signal engine. Stateless: every operation reads only its arguments and
// returns new buffers that the caller owns; all signal arithmetic is done in
// 80-bit extended precision. Safe to call from several threads at once.
#pragma once

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

  // --- Noise ----------------------------------------------------------------
  static TWaveBufferExtended GenerateWaveDataNoise(const TPCMFormat& PCMFormat,
                                                   const TSignalAttribute& SignalAttribute,
                                                   std::int32_t WaveBufferMilliSec,
                                                   TPinkNoiseMethod PinkNoiseMethod);

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

 protected:
  // Building blocks shared by the operations above (reachable from tests
  // through a derived accessor).

  // --- waveform building blocks ---
  static TWaveBufferExtended BurstGate(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute);
  static TWaveBufferExtended NormalizeByPeak(const TWaveBufferExtended& Buffer);
  static std::int32_t RoundHalfAway(long double x);

  // --- quantiser ---
  static std::int32_t QuantizeSample(const TPCMFormat& PCMFormat, long double x, long double d);

  // --- randomness and noise (MT19937 and time seed) ---
  // [noise declarations]

  // --- transforms ---
  // [transform declarations]
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
