#include "app/OneSecond.h"

#include <algorithm>

#include "synthesis/UnitFunction.h"

namespace {

bool IsTone(TWaveform Waveform) {
  return Waveform == TWaveform::_Sine || Waveform == TWaveform::_Square ||
         Waveform == TWaveform::_Triangle || Waveform == TWaveform::_Sawtooth;
}

}  // namespace

TSignalAttributeArray StartUpSignalAttributeArray() {
  TSignalAttributeArray records(6, TExFunctionLib::InitializeSignalAttribute());
  records[0]._OutputChannel = TOutputChannel::_Both;
  records[4]._Waveform = TWaveform::_Sweep;
  records[5]._Waveform = TWaveform::_Noise;
  return records;
}

TSynthesisInputs StartUpSynthesisInputs(std::int32_t SamplingRate) {
  TSynthesisInputs inputs;
  inputs.xChannelNumber = 6;
  inputs.PCMFormat = TExFunctionLib::InitializePCMFormat();
  inputs.PCMFormat._SamplingRate = SamplingRate;
  inputs.InternalSetting = TExFunctionLib::InitializeInternalSetting();
  inputs.SignalAttributeArray = StartUpSignalAttributeArray();
  return inputs;
}

std::int32_t TOneSecondSynthesizer::RecordCount() const {
  return std::clamp<std::int32_t>(FInputs.xChannelNumber, 0,
                                  static_cast<std::int32_t>(FInputs.SignalAttributeArray.size()));
}

void TOneSecondSynthesizer::Begin(const TSynthesisInputs& Inputs, TGeneratorChoice Choice) {
  FInputs = Inputs;
  FChoice = Choice;
  FSweepStartTime = Inputs.SweepStartTime;
  FWaveBufferArray.assign(static_cast<std::size_t>(RecordCount()), TWaveBufferExtended{});
  Generate(true);
  FBegun = true;
}

void TOneSecondSynthesizer::Clear() {
  FBegun = false;
  TWaveBufferExtendedArray().swap(FWaveBufferArray);
}

void TOneSecondSynthesizer::Advance() {
  if (FBegun) Generate(false);
}

void TOneSecondSynthesizer::Generate(bool Tones) {
  const TPCMFormat& format = FInputs.PCMFormat;
  const bool spectral =
      FChoice == TGeneratorChoice::_FollowFFTuse && FInputs.InternalSetting._FFTuse == TFFTuse::_Use;
  const std::int64_t rate = format._SamplingRate;
  for (std::int32_t r = 0; r < RecordCount(); ++r) {
    const TSignalAttribute& record = FInputs.SignalAttributeArray[static_cast<std::size_t>(r)];
    if (record._OutputChannel == TOutputChannel::_Mute) continue;
    TWaveBufferExtended& buffer = FWaveBufferArray[static_cast<std::size_t>(r)];
    if (IsTone(record._Waveform)) {
      if (Tones) buffer = FEngine.GenerateTone(format, record, FInputs.InternalSetting, spectral);
    } else if (record._Waveform == TWaveform::_Sweep) {
      buffer = FEngine.GenerateSweep(format, record, FSweepStartTime);
      std::int64_t next = FSweepStartTime + rate;
      if (static_cast<std::int64_t>(record._SweepPeriod) * rate <= next) next = 0;
      FSweepStartTime = static_cast<std::int32_t>(next);
    } else {
      buffer = FEngine.GenerateNoise(format, record,
                                     spectral ? TPinkNoiseMethod::_LPF : TPinkNoiseMethod::_Kellet);
    }
  }
}

TWaveBufferExtendedStereo TOneSecondSynthesizer::Mix() const {
  return FEngine.SynthesizeSignals(FInputs.PCMFormat, RecordCount(), FInputs.SignalAttributeArray,
                                   FWaveBufferArray);
}
