// The engine's quantiser at unity gain, as the WAV renderer uses it.
#include "app/WavRender.h"
#include "synthesis/UnitFunction.h"

std::function<TWaveBufferIntegerStereo(const TWaveBufferExtendedStereo&)>
UnityGainQuantizer(const TPCMFormat& PCMFormat) {
  return [PCMFormat](const TWaveBufferExtendedStereo& Mixed) {
    return TExFunctionLib::QuantizeSignal(PCMFormat, 1.0L, 1.0L, Mixed, 1000);
  };
}
