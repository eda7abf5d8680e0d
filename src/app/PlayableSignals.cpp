#include "app/PlayableSignals.h"

#include <algorithm>
#include <limits>

namespace {

std::int32_t ToInt32(std::int64_t Value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(Value, std::numeric_limits<std::int32_t>::min(),
                                                             std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

TFormatBounds FormatBounds(std::int32_t SamplingRate, std::int32_t Quantization) {
  const std::int64_t half = static_cast<std::int64_t>(SamplingRate) / 2;
  const std::int64_t bits = std::clamp<std::int64_t>(Quantization, 1, 33);
  return {ToInt32(half - 1), ToInt32(half), ToInt32((std::int64_t{1} << (bits - 1)) - 1),
          ToInt32(-6 * static_cast<std::int64_t>(Quantization))};
}

bool IsToneWaveform(TWaveform Waveform) {
  return Waveform == TWaveform::_Sine || Waveform == TWaveform::_Square || Waveform == TWaveform::_Triangle ||
         Waveform == TWaveform::_Sawtooth;
}

TSignalAttributeArray PlayableSignalAttributeArray(TSignalAttributeArray Records, const TPCMFormat& PCMFormat) {
  const TFormatBounds b = FormatBounds(PCMFormat._SamplingRate, PCMFormat._Quantization);
  for (TSignalAttribute& r : Records) {
    r._Frequency = std::min(r._Frequency, b.MaxFrequency);
    r._SweepFrequency._Start = std::min(r._SweepFrequency._Start, b.MaxFrequency);
    r._SweepFrequency._Stop = std::min(r._SweepFrequency._Stop, b.MaxFrequency);
    r._Offset = std::clamp(r._Offset, -b.MaxSample, b.MaxSample);
  }
  return Records;
}
