// The threads' engine calls forwarded to TExFunctionLib, every one for one
// second. Kept apart so that code tested with a fake engine does not link
// the engine.
#include "app/OneSecond.h"
#include "synthesis/UnitFunction.h"

namespace {
constexpr std::int32_t kOneSecond = 1000;  // ms
}

std::uint32_t TExFunctionEngine::TimeSeed() { return TExFunctionLib::TimeSeed(); }

TWaveBufferExtended TExFunctionEngine::GenerateTone(const TPCMFormat& PCMFormat,
                                                    const TSignalAttribute& SignalAttribute,
                                                    const TInternalSetting& InternalSetting,
                                                    bool InverseTransform) {
  TWaveBufferExtended buffer;
  GenerateToneInto(PCMFormat, SignalAttribute, InternalSetting, InverseTransform, buffer);
  return buffer;
}

void TExFunctionEngine::GenerateToneInto(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                         const TInternalSetting& InternalSetting, bool InverseTransform,
                                         TWaveBufferExtended& Buffer) {
  using Lib = TExFunctionLib;
  const auto& s = SignalAttribute;
  switch (SignalAttribute._Waveform) {
    case TWaveform::_Square:
      return InverseTransform ? Lib::GenerateWaveDataSquareIFFT(PCMFormat, s, kOneSecond, InternalSetting, Buffer)
                              : Lib::GenerateWaveDataSquare(PCMFormat, s, kOneSecond, InternalSetting, Buffer);
    case TWaveform::_Triangle:
      return InverseTransform ? Lib::GenerateWaveDataTriangleIFFT(PCMFormat, s, kOneSecond, InternalSetting, Buffer)
                              : Lib::GenerateWaveDataTriangle(PCMFormat, s, kOneSecond, InternalSetting, Buffer);
    case TWaveform::_Sawtooth:
      return InverseTransform ? Lib::GenerateWaveDataSawtoothIFFT(PCMFormat, s, kOneSecond, InternalSetting, Buffer)
                              : Lib::GenerateWaveDataSawtooth(PCMFormat, s, kOneSecond, InternalSetting, Buffer);
    default:
      return Lib::GenerateWaveDataSine(PCMFormat, s, kOneSecond, InternalSetting, Buffer);
  }
}

TWaveBufferExtended TExFunctionEngine::GenerateSweep(const TPCMFormat& PCMFormat,
                                                     const TSignalAttribute& SignalAttribute,
                                                     std::int32_t TimeStart) {
  return TExFunctionLib::GenerateWaveDataSweep(PCMFormat, SignalAttribute, kOneSecond, TimeStart);
}

void TExFunctionEngine::GenerateSweepInto(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                          std::int32_t TimeStart, TWaveBufferExtended& Buffer) {
  TExFunctionLib::GenerateWaveDataSweep(PCMFormat, SignalAttribute, kOneSecond, TimeStart, Buffer);
}

TWaveBufferExtended TExFunctionEngine::GenerateNoise(const TPCMFormat& PCMFormat,
                                                     const TSignalAttribute& SignalAttribute,
                                                     TPinkNoiseMethod PinkNoiseMethod, std::uint32_t Seed) {
  return TExFunctionLib::GenerateWaveDataNoise(PCMFormat, SignalAttribute, kOneSecond, PinkNoiseMethod, Seed);
}

void TExFunctionEngine::GenerateNoiseInto(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                          TPinkNoiseMethod PinkNoiseMethod, std::uint32_t Seed,
                                          TWaveBufferExtended& Buffer) {
  TExFunctionLib::GenerateWaveDataNoise(PCMFormat, SignalAttribute, kOneSecond, PinkNoiseMethod, Seed, Buffer);
}

TWaveBufferExtendedStereo TExFunctionEngine::SynthesizeSignals(const TPCMFormat& PCMFormat,
                                                               std::int32_t ChannelNumber,
                                                               const TSignalAttributeArray& SignalAttributeArray,
                                                               const TWaveBufferExtendedArray& WaveBufferArray) {
  return TExFunctionLib::SynthesizeSignals(PCMFormat, ChannelNumber, SignalAttributeArray, WaveBufferArray,
                                           kOneSecond);
}

void TExFunctionEngine::SynthesizeSignalsInto(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                              const TSignalAttributeArray& SignalAttributeArray,
                                              const TWaveBufferExtendedArray& WaveBufferArray,
                                              TWaveBufferExtendedStereo& Mix) {
  TExFunctionLib::SynthesizeSignals(PCMFormat, ChannelNumber, SignalAttributeArray, WaveBufferArray, kOneSecond, Mix);
}

bool TExFunctionEngine::SumLeadingSignalsInto(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                              const TSignalAttributeArray& SignalAttributeArray,
                                              const TWaveBufferExtendedArray& WaveBufferArray,
                                              const std::size_t (&Records)[2], TWaveBufferExtendedStereo& Sums) {
  TExFunctionLib::SumLeadingSignals(PCMFormat, ChannelNumber, SignalAttributeArray, WaveBufferArray, kOneSecond,
                                    Records, Sums);
  return true;
}

void TExFunctionEngine::SynthesizeSignalsFromSumsInto(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                                      const TSignalAttributeArray& SignalAttributeArray,
                                                      const TWaveBufferExtendedArray& WaveBufferArray,
                                                      const TExFunctionLib::TMixSums& From,
                                                      TWaveBufferExtendedStereo& Mix) {
  TExFunctionLib::SynthesizeSignals(PCMFormat, ChannelNumber, SignalAttributeArray, WaveBufferArray, kOneSecond, From,
                                    Mix);
}

TWaveBufferIntegerStereo TExFunctionEngine::QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL,
                                                           long double OutputGainR,
                                                           const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                                           std::uint32_t Seed) {
  return TExFunctionLib::QuantizeSignal(PCMFormat, OutputGainL, OutputGainR, WaveBufferExtendedStereo, kOneSecond,
                                        Seed);
}

void TExFunctionEngine::QuantizeSignalInto(const TPCMFormat& PCMFormat, long double OutputGainL,
                                           long double OutputGainR,
                                           const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                           std::uint32_t Seed, TWaveBufferIntegerStereo& Quantized) {
  TExFunctionLib::QuantizeSignal(PCMFormat, OutputGainL, OutputGainR, WaveBufferExtendedStereo, kOneSecond, Seed,
                                 Quantized);
}
