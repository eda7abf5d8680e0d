// The per-second work of the playing roads, done as the threads do it: the
// next second of the signal set (sweep and noise generated again, tones
// kept) written over the buffers of the second before, mixed, quantised and
// packed into its segments; and the first second of a play, cold.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

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
