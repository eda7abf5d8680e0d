// The per-second work of the playing roads, done as the threads do it: the
// next second of the signal set (sweep and noise generated again, tones
// kept) written over the buffers of the second before, mixed, quantised and
// packed into its segments; and the first second of a play, cold.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <vector>

#include "app/OneSecond.h"
#include "app/UnitThread.h"
#include "synthesis/FourierPlan.h"
#include "synthesis/ToneTable.h"

namespace {

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// Set 0: the start-up set as it is (the 1000 Hz sine alone audible); set 1:
// with the sweep and the noise audible too; set 4: all four tone generators
// (sine, square, triangle, sawtooth), the sweep and the noise.
TSynthesisInputs Inputs(std::int32_t Rate, int Set) {
  TSynthesisInputs inputs = StartUpSynthesisInputs(Rate);
  if (Set == 0) return inputs;
  const TWaveform tones[4] = {TWaveform::_Sine, TWaveform::_Square, TWaveform::_Triangle, TWaveform::_Sawtooth};
  for (int r = 0; r < Set; ++r) {
    inputs.SignalAttributeArray[r]._Waveform = tones[r];
    inputs.SignalAttributeArray[r]._OutputChannel = TOutputChannel::_Both;
  }
  inputs.SignalAttributeArray[4]._OutputChannel = TOutputChannel::_Both;
  inputs.SignalAttributeArray[5]._OutputChannel = TOutputChannel::_Both;
  return inputs;
}

// The buffers a sound-out thread keeps from one second to the next.
struct TRoad {
  TWaveBufferExtendedStereo Mixed;
  TWaveBufferIntegerStereo Quantized, Previous;
  std::vector<std::uint32_t> Device;

  // Mix, quantise with the start-up gains and pack every segment (250 ms).
  void Finish(TSignalEngine& Engine, const TOneSecondSynthesizer& Synthesizer) {
    const TPCMFormat& format = Synthesizer.Inputs().PCMFormat;
    Synthesizer.Mix(Mixed);
    Engine.QuantizeSignalInto(format, 0.1L, 0.1L, Mixed, Synthesizer.Seed(), Quantized);
    Quantized.swap(Previous);
    const std::int32_t frames = FramesPerSegment(format._SamplingRate, 4);
    Device.resize(static_cast<std::size_t>(frames));
    for (std::int32_t k = 0; k < 4; ++k) PackSegment(Previous[0], Previous[1], k, frames, 16, Device.data());
    benchmark::DoNotOptimize(Device.data());
  }
};

void BM_NextSecond(benchmark::State& State) {
  TExFunctionEngine engine;
  TOneSecondSynthesizer synthesizer(engine);
  synthesizer.Begin(Inputs(static_cast<std::int32_t>(State.range(0)), static_cast<int>(State.range(1))),
                    TGeneratorChoice::_Direct);
  TRoad road;
  for (int warm = 0; warm < 3; ++warm) {  // the first seconds map the buffers
    synthesizer.Advance();
    road.Finish(engine, synthesizer);
  }
  const long faults = MinorFaults();
  for (auto _ : State) {
    synthesizer.Advance();
    road.Finish(engine, synthesizer);
  }
  State.counters["minor_faults_per_second"] = double(MinorFaults() - faults) / double(State.iterations());
}

void Rates(benchmark::internal::Benchmark* B) {
  for (int set : {0, 1, 4})
    for (int rate : {44100, 48000, 192000, 384000}) B->Args({rate, set});
  B->ArgNames({"rate", "set"})->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_NextSecond)->Apply(Rates);

// The wave-out road's heavy set: a warbled 1000 Hz sine in bursts, a 3000 Hz
// square on L, a warbled 5000 Hz triangle on R, a 7000 Hz saw, a 5 s log
// sweep and pink noise at -30 dB, at 32 bits with white dither and
// 2nd-order shaping.
TSynthesisInputs WaveOutHeavySet(std::int32_t Rate) {
  TSynthesisInputs inputs = StartUpSynthesisInputs(Rate);
  inputs.PCMFormat._Quantization = 32;
  inputs.PCMFormat._Rounding = TRounding::_DITHER;
  inputs.PCMFormat._Dither = TDither::_White;
  inputs.PCMFormat._NoiseShaping = TNoiseShaping::_2nd;
  inputs.InternalSetting._FFTuse = TFFTuse::_Use;
  TSignalAttributeArray& r = inputs.SignalAttributeArray;
  const TWaveform tones[4] = {TWaveform::_Sine, TWaveform::_Square, TWaveform::_Triangle, TWaveform::_Sawtooth};
  const std::int32_t frequencies[4] = {1000, 3000, 5000, 7000};
  const TOutputChannel channels[4] = {TOutputChannel::_Both, TOutputChannel::_Lch, TOutputChannel::_Rch,
                                      TOutputChannel::_Both};
  for (int k = 0; k < 4; ++k) {
    r[k]._Waveform = tones[k];
    r[k]._Frequency = frequencies[k];
    r[k]._OutputChannel = channels[k];
  }
  r[0]._WarbleCycle = TWarbleCycle::_16Hz;
  r[0]._CycleOn = 10;
  r[0]._CycleOff = 5;
  r[2]._WarbleCycle = TWarbleCycle::_8Hz;
  r[4]._OutputChannel = TOutputChannel::_Both;
  r[4]._SweepType = TSweepType::_Log;
  r[4]._SweepPeriod = 5;
  r[4]._SweepFrequency = {20, std::min(150000, Rate / 2 - 1)};
  r[5]._OutputChannel = TOutputChannel::_Both;
  r[5]._NoiseType = TNoiseType::_PinkNoise;
  r[5]._Amplitude = -30;
  return inputs;
}

// Each step of a next second of the heavy set as the wave-out road makes it
// ahead, on a thread of its own (step 0: the sweep and the noise generated,
// 1: mixed, 2: quantised; a gain change quantises again).
void BM_NextSecondStep(benchmark::State& State) {
  TExFunctionEngine engine;
  TOneSecondSynthesizer synthesizer(engine);
  const TSynthesisInputs inputs = WaveOutHeavySet(static_cast<std::int32_t>(State.range(0)));
  synthesizer.Begin(inputs, TGeneratorChoice::_Direct);
  TWaveBufferExtendedStereo mixed;
  TWaveBufferIntegerStereo quantized;
  auto step = [&](int Step) {
    if (Step == 0) synthesizer.Advance();
    if (Step == 1) synthesizer.Mix(mixed);
    if (Step == 2) engine.QuantizeSignalInto(inputs.PCMFormat, 0.1L, 0.1L, mixed, synthesizer.Seed(), quantized);
  };
  for (int warm = 0; warm < 2; ++warm)
    for (int s = 0; s < 3; ++s) step(s);
  for (auto _ : State) step(static_cast<int>(State.range(1)));
  benchmark::DoNotOptimize(quantized[0].data());
}
BENCHMARK(BM_NextSecondStep)
    ->ArgsProduct({{192000, 384000}, {0, 1, 2}})
    ->ArgNames({"rate", "step"})
    ->Unit(benchmark::kMillisecond);

// The first second of the heaviest set on the create-wave road, cold (no
// table or plan kept): four spectral tones at low frequencies and spectral
// pink noise at 384000 Hz / 32 bits, mixed.
void BM_FirstSecondHeaviestSet(benchmark::State& State) {
  TSynthesisInputs inputs = StartUpSynthesisInputs(384000);
  inputs.PCMFormat._Quantization = 32;
  inputs.InternalSetting._FFTuse = TFFTuse::_Use;
  const TWaveform tones[4] = {TWaveform::_Square, TWaveform::_Triangle, TWaveform::_Sawtooth, TWaveform::_Square};
  const std::int32_t frequencies[4] = {11, 13, 17, 19};
  for (int r = 0; r < 4; ++r) {
    inputs.SignalAttributeArray[r]._Waveform = tones[r];
    inputs.SignalAttributeArray[r]._Frequency = frequencies[r];
    inputs.SignalAttributeArray[r]._OutputChannel = TOutputChannel::_Both;
  }
  inputs.SignalAttributeArray[5]._OutputChannel = TOutputChannel::_Both;
  inputs.SignalAttributeArray[5]._NoiseType = TNoiseType::_PinkNoise;
  TExFunctionEngine engine;
  TWaveBufferExtendedStereo mixed;
  for (auto _ : State) {
    State.PauseTiming();
    krv::ClearFourierPlans();
    krv::ClearToneTableCache();
    TOneSecondSynthesizer synthesizer(engine);
    State.ResumeTiming();
    synthesizer.Begin(inputs, TGeneratorChoice::_FollowFFTuse);
    synthesizer.Mix(mixed);
    benchmark::DoNotOptimize(mixed[0].data());
  }
}
BENCHMARK(BM_FirstSecondHeaviestSet)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
