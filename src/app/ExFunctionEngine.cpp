// The threads' engine calls forwarded to TExFunctionLib, every one for one
// second. Kept apart so that code tested with a fake engine does not link
// the engine.
#include "app/OneSecond.h"
#include "synthesis/UnitFunction.h"

namespace {
constexpr std::int32_t kOneSecond = 1000;  // ms
}

TWaveBufferExtended TExFunctionEngine::GenerateTone(const TPCMFormat& PCMFormat,
                                                    const TSignalAttribute& SignalAttribute,
                                                    const TInternalSetting& InternalSetting,
                                                    bool InverseTransform) {
  switch (SignalAttribute._Waveform) {
    case TWaveform::_Square:
      return InverseTransform
                 ? TExFunctionLib::GenerateWaveDataSquareIFFT(PCMFormat, SignalAttribute, kOneSecond, InternalSetting)
                 : TExFunctionLib::GenerateWaveDataSquare(PCMFormat, SignalAttribute, kOneSecond, InternalSetting);
    case TWaveform::_Triangle:
      return InverseTransform
                 ? TExFunctionLib::GenerateWaveDataTriangleIFFT(PCMFormat, SignalAttribute, kOneSecond, InternalSetting)
                 : TExFunctionLib::GenerateWaveDataTriangle(PCMFormat, SignalAttribute, kOneSecond, InternalSetting);
    case TWaveform::_Sawtooth:
      return InverseTransform
                 ? TExFunctionLib::GenerateWaveDataSawtoothIFFT(PCMFormat, SignalAttribute, kOneSecond, InternalSetting)
                 : TExFunctionLib::GenerateWaveDataSawtooth(PCMFormat, SignalAttribute, kOneSecond, InternalSetting);
    default:
      return TExFunctionLib::GenerateWaveDataSine(PCMFormat, SignalAttribute, kOneSecond, InternalSetting);
  }
}

TWaveBufferExtended TExFunctionEngine::GenerateSweep(const TPCMFormat& PCMFormat,
                                                     const TSignalAttribute& SignalAttribute,
                                                     std::int32_t TimeStart) {
  return TExFunctionLib::GenerateWaveDataSweep(PCMFormat, SignalAttribute, kOneSecond, TimeStart);
}

TWaveBufferExtended TExFunctionEngine::GenerateNoise(const TPCMFormat& PCMFormat,
                                                     const TSignalAttribute& SignalAttribute,
                                                     TPinkNoiseMethod PinkNoiseMethod) {
  return TExFunctionLib::GenerateWaveDataNoise(PCMFormat, SignalAttribute, kOneSecond, PinkNoiseMethod);
}

TWaveBufferExtendedStereo TExFunctionEngine::SynthesizeSignals(const TPCMFormat& PCMFormat,
                                                               std::int32_t ChannelNumber,
                                                               const TSignalAttributeArray& SignalAttributeArray,
                                                               const TWaveBufferExtendedArray& WaveBufferArray) {
  return TExFunctionLib::SynthesizeSignals(PCMFormat, ChannelNumber, SignalAttributeArray, WaveBufferArray,
                                           kOneSecond);
}

TWaveBufferIntegerStereo TExFunctionEngine::QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL,
                                                           long double OutputGainR,
                                                           const TWaveBufferExtendedStereo& WaveBufferExtendedStereo) {
  return TExFunctionLib::QuantizeSignal(PCMFormat, OutputGainL, OutputGainR, WaveBufferExtendedStereo,
                                        kOneSecond);
}
