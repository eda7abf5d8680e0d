// A stand-in for the create-wave thread on the WAV road, without the thread:
// second 0 builds every record from the start of the sweep, each later second
// builds the sweep and the noise again, and the records are mixed. Second n
// has the seed FirstSeed + n.
#pragma once

#include <cstdint>

#include "synthesis/UnitFunction.h"

namespace wavtest {

// The start-up signal set: signal 1 on both channels, record 4 the sweep,
// record 5 the noise, everything else muted defaults.
inline TSignalAttributeArray StartUpSignals() {
  TSignalAttributeArray set(6, TExFunctionLib::InitializeSignalAttribute());
  set[0]._OutputChannel = TOutputChannel::_Both;
  set[4]._Waveform = TWaveform::_Sweep;
  set[5]._Waveform = TWaveform::_Noise;
  return set;
}

class TCreateWaveRoad {
 public:
  TCreateWaveRoad(const TPCMFormat& Format, const TSignalAttributeArray& Signals)
      : FFormat(Format), FSetting(TExFunctionLib::InitializeInternalSetting()), FSignals(Signals),
        FRecords(Signals.size()) {}

  std::uint32_t FirstSeed = 5191230;

  const TWaveBufferExtendedStereo* Second(std::int32_t n, std::uint32_t& Seed) {
    Seed = FirstSeed + std::uint32_t(n);
    if (n == 0) FSweepStart = 0;
    for (std::size_t r = 0; r < FSignals.size(); ++r) {
      const TSignalAttribute& a = FSignals[r];
      if (a._Waveform == TWaveform::_Sweep) {
        FRecords[r] = TExFunctionLib::GenerateWaveDataSweep(FFormat, a, 1000, FSweepStart);
        FSweepStart += FFormat._SamplingRate;
        if (std::int64_t(a._SweepPeriod) * FFormat._SamplingRate <= FSweepStart) FSweepStart = 0;
      } else if (a._Waveform == TWaveform::_Noise) {
        FRecords[r] = TExFunctionLib::GenerateWaveDataNoise(FFormat, a, 1000, TPinkNoiseMethod::_Kellet, Seed);
      } else if (n == 0) {
        FRecords[r] = TExFunctionLib::GenerateWaveDataSine(FFormat, a, 1000, FSetting);
      }
    }
    FMixed = TExFunctionLib::SynthesizeSignals(FFormat, std::int32_t(FSignals.size()), FSignals, FRecords, 1000);
    return &FMixed;
  }

 private:
  TPCMFormat FFormat;
  TInternalSetting FSetting;
  TSignalAttributeArray FSignals;
  TWaveBufferExtendedArray FRecords;
  TWaveBufferExtendedStereo FMixed;
  std::int32_t FSweepStart = 0;
};

}  // namespace wavtest
