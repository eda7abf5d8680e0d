// The engine's quantiser at unity gain, as the WAV renderer uses it.
#include "app/WavRender.h"
#include "synthesis/UnitFunction.h"

std::function<void(const TWaveBufferExtendedStereo&, std::uint32_t, TWaveBufferIntegerStereo&)>
UnityGainQuantizer(const TPCMFormat& PCMFormat) {
  return [PCMFormat](const TWaveBufferExtendedStereo& Mixed, std::uint32_t Seed, TWaveBufferIntegerStereo& Quantized) {
    TExFunctionLib::QuantizeSignal(PCMFormat, 1.0L, 1.0L, Mixed, 1000, Seed, Quantized);
  };
}
