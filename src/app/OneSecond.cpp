#include "app/OneSecond.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "synthesis/Parallel.h"
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

void TOneSecondSynthesizer::TakeToneSource(const TSynthesisInputs& Inputs, TGeneratorChoice Choice) {
  // A tone's second depends only on its record, the format, the warble
  // deviation, the generators and whether they transform.
  const bool same = FKeepTones && Choice == FToneChoice && Inputs.PCMFormat == FToneFormat &&
                    Inputs.InternalSetting._WableDeviation == FToneSetting._WableDeviation &&
                    Inputs.InternalSetting._FFTuse == FToneSetting._FFTuse;
  if (!same) ForgetTones();
  FToneFormat = Inputs.PCMFormat;
  FToneSetting = Inputs.InternalSetting;
  FToneChoice = Choice;
}

bool TOneSecondSynthesizer::ToneHeld(std::size_t Record) const {
  const TSignalAttribute& record = FInputs.SignalAttributeArray[Record];
  return IsTone(record._Waveform) && FToneOf[Record] && *FToneOf[Record] == record &&
         FWaveBufferArray[Record].size() == static_cast<std::size_t>(FInputs.PCMFormat._SamplingRate);
}

void TOneSecondSynthesizer::Begin(const TSynthesisInputs& Inputs, TGeneratorChoice Choice) {
  FBegun = false;
  FToneSumsKept = FToneSumsTried = false;
  // The record buffers stay from one series to the next: only their values
  // are written again. A tone that the last series or a warm-up generated
  // from the same record and source is still in its buffer, and is kept
  // when the owner asks for it.
  TakeToneSource(Inputs, Choice);
  FInputs = Inputs;
  FChoice = Choice;
  FSweepStartTime = Inputs.SweepStartTime;
  FSeed = Inputs.Seed ? *Inputs.Seed : FEngine.TimeSeed();
  FWaveBufferArray.resize(static_cast<std::size_t>(RecordCount()));
  FToneOf.resize(FWaveBufferArray.size());
  std::vector<bool> kept(FWaveBufferArray.size(), false);
  for (std::size_t r = 0; r < kept.size(); ++r) {
    const bool audible = FInputs.SignalAttributeArray[r]._OutputChannel != TOutputChannel::_Mute;
    kept[r] = FKeepTones && ToneHeld(r);
    // Every audible record not kept is written again: until it is, its
    // buffer holds no tone.
    if (audible && !kept[r]) FToneOf[r].reset();
  }
  try {
    Generate(true, kept);
  } catch (...) {
    ForgetTones();  // whatever a failed series left is made again
    throw;
  }
  for (std::size_t r = 0; r < kept.size(); ++r) {
    const TSignalAttribute& record = FInputs.SignalAttributeArray[r];
    if (record._OutputChannel != TOutputChannel::_Mute && IsTone(record._Waveform)) FToneOf[r] = record;
  }
  FBegun = true;
}

bool TOneSecondSynthesizer::WarmUp(const TSynthesisInputs& Inputs, TGeneratorChoice Choice,
                                   const std::function<bool()>& Cancel) {
  // The buffers change: no series continues from them.
  FBegun = false;
  FToneSumsKept = FToneSumsTried = false;
  TakeToneSource(Inputs, Choice);
  FInputs = Inputs;
  FChoice = Choice;
  FWaveBufferArray.resize(static_cast<std::size_t>(RecordCount()));
  FToneOf.resize(FWaveBufferArray.size());
  const bool spectral = Choice == TGeneratorChoice::_FollowFFTuse && Inputs.InternalSetting._FFTuse == TFFTuse::_Use;
  std::vector<std::size_t> tones;
  for (std::size_t r = 0; r < FWaveBufferArray.size(); ++r) {
    const TSignalAttribute& record = FInputs.SignalAttributeArray[r];
    if (record._OutputChannel != TOutputChannel::_Mute && IsTone(record._Waveform) && !ToneHeld(r))
      tones.push_back(r);
  }
  std::atomic<bool> cancelled{false};
  auto make = [&](std::size_t Record) {
    if (cancelled.load() || (Cancel && Cancel())) {
      cancelled.store(true);
      return;
    }
    const TSignalAttribute& record = FInputs.SignalAttributeArray[Record];
    FToneOf[Record].reset();
    FEngine.GenerateToneInto(FInputs.PCMFormat, record, FInputs.InternalSetting, spectral, FWaveBufferArray[Record]);
    FToneOf[Record] = record;
  };
  // The heavy tones side by side, as Begin makes them; the sines (a few
  // milliseconds) after them.
  std::vector<std::size_t> heavy, light;
  for (const std::size_t r : tones)
    (FInputs.SignalAttributeArray[r]._Waveform == TWaveform::_Sine ? light : heavy).push_back(r);
  if (heavy.size() < 2 || !FEngine.Concurrent()) {
    for (const std::size_t r : heavy) make(r);
  } else {
    krv::RunParts(heavy.size(), [&](std::size_t part) { make(heavy[part]); });
  }
  for (const std::size_t r : light) make(r);
  return !cancelled.load();
}

void TOneSecondSynthesizer::SumLeadingTones() {
  // Each channel's records in mixing order, counted while they are tones.
  std::size_t lead[2] = {0, 0};
  bool tones[2] = {true, true};
  for (std::int32_t r = 0; r < RecordCount(); ++r) {
    const TSignalAttribute& record = FInputs.SignalAttributeArray[static_cast<std::size_t>(r)];
    const TOutputChannel channel = record._OutputChannel;
    const bool to[2] = {channel == TOutputChannel::_Both || channel == TOutputChannel::_Lch,
                        channel == TOutputChannel::_Both || channel == TOutputChannel::_Rch};
    for (std::size_t c = 0; c < 2; ++c) {
      if (!to[c]) continue;
      tones[c] = tones[c] && IsTone(record._Waveform);
      if (tones[c]) ++lead[c];
    }
  }
  // A single tone is read as cheaply as its sum.
  FToneSumsKept = std::max(lead[0], lead[1]) >= 2 &&
                  FEngine.SumLeadingSignalsInto(FInputs.PCMFormat, RecordCount(), FInputs.SignalAttributeArray,
                                                FWaveBufferArray, lead, FToneSums);
  FToneRecords[0] = lead[0];
  FToneRecords[1] = lead[1];
}

void TOneSecondSynthesizer::Clear() {
  FBegun = false;
  FToneOf.clear();
  TWaveBufferExtendedArray().swap(FWaveBufferArray);
  TWaveBufferExtendedStereo().swap(FToneSums);
  FToneSumsKept = FToneSumsTried = false;
}

void TOneSecondSynthesizer::Advance() {
  if (!FBegun) return;
  // The tone sums wait for the second second: the first one, the one a
  // play waits for, mixes every record.
  if (!FToneSumsTried) {
    FToneSumsTried = true;
    SumLeadingTones();
  }
  ++FSeed;  // wraps modulo 2^32
  Generate(false, {});
}

void TOneSecondSynthesizer::Generate(bool Tones, const std::vector<bool>& Kept) {
  const TPCMFormat& format = FInputs.PCMFormat;
  const bool spectral =
      FChoice == TGeneratorChoice::_FollowFFTuse && FInputs.InternalSetting._FFTuse == TFFTuse::_Use;
  const TPinkNoiseMethod pink = spectral ? TPinkNoiseMethod::_LPF : TPinkNoiseMethod::_Kellet;
  const std::int64_t rate = format._SamplingRate;
  // The records of one second share nothing: each is one job, the sweeps
  // given their start first. Heavy are the harmonic tones (a whole series
  // each) and the spectral pink noise; a next second (sweep and noise, a
  // few milliseconds) stays on this thread.
  struct TJob {
    std::size_t Record;
    std::int32_t SweepStart;
    bool Heavy;
  };
  std::vector<TJob> jobs;
  for (std::int32_t r = 0; r < RecordCount(); ++r) {
    const TSignalAttribute& record = FInputs.SignalAttributeArray[static_cast<std::size_t>(r)];
    if (record._OutputChannel == TOutputChannel::_Mute) continue;
    const auto index = static_cast<std::size_t>(r);
    if (IsTone(record._Waveform)) {
      // Every harmonic tone sums or transforms a whole series.
      if (Tones && !(index < Kept.size() && Kept[index]))
        jobs.push_back({index, 0, record._Waveform != TWaveform::_Sine});
    } else if (record._Waveform == TWaveform::_Sweep) {
      jobs.push_back({index, FSweepStartTime, false});
      std::int64_t next = FSweepStartTime + rate;
      if (static_cast<std::int64_t>(record._SweepPeriod) * rate <= next) next = 0;
      FSweepStartTime = static_cast<std::int32_t>(next);
    } else {
      jobs.push_back({index, 0, pink == TPinkNoiseMethod::_LPF && record._NoiseType == TNoiseType::_PinkNoise});
    }
  }
  auto run = [&](const TJob& job) {
    const TSignalAttribute& record = FInputs.SignalAttributeArray[job.Record];
    TWaveBufferExtended& buffer = FWaveBufferArray[job.Record];
    if (IsTone(record._Waveform))
      FEngine.GenerateToneInto(format, record, FInputs.InternalSetting, spectral, buffer);
    else if (record._Waveform == TWaveform::_Sweep)
      FEngine.GenerateSweepInto(format, record, job.SweepStart, buffer);
    else
      FEngine.GenerateNoiseInto(format, record, pink, FSeed, buffer);
  };
  // More than one heavy record: the heavy ones side by side on worker
  // threads, the rest on this one.
  std::vector<const TJob*> heavy, light;
  for (const TJob& job : jobs) (job.Heavy ? heavy : light).push_back(&job);
  if (heavy.size() < 2 || !FEngine.Concurrent()) {
    for (const TJob& job : jobs) run(job);
    return;
  }
  krv::RunParts(heavy.size() + 1, [&](std::size_t part) {
    if (part < heavy.size()) {
      run(*heavy[part]);
    } else {
      for (const TJob* job : light) run(*job);
    }
  });
}

void TOneSecondSynthesizer::Mix(TWaveBufferExtendedStereo& Stereo) const {
  if (FToneSumsKept)
    FEngine.SynthesizeSignalsFromSumsInto(FInputs.PCMFormat, RecordCount(), FInputs.SignalAttributeArray,
                                          FWaveBufferArray, {&FToneSums, {FToneRecords[0], FToneRecords[1]}},
                                          Stereo);
  else
    FEngine.SynthesizeSignalsInto(FInputs.PCMFormat, RecordCount(), FInputs.SignalAttributeArray, FWaveBufferArray,
                                  Stereo);
}

TWaveBufferExtendedStereo TOneSecondSynthesizer::Mix() const {
  TWaveBufferExtendedStereo stereo;
  Mix(stereo);
  return stereo;
}
