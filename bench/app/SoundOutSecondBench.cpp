// The per-second work of the wave-out road: the next second of the signal
// set (sweep and noise generated again, tones kept), mixed, quantised and
// packed into its segments; beside it the same second generated in full,
// as every second was before the tones were kept.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/OneSecond.h"
#include "app/UnitThread.h"

namespace {

// The start-up signal set with the sweep and the noise audible too
// (Tones = 1), or with all four tone generators audible (Tones = 4).
TSynthesisInputs Inputs(std::int32_t Rate, int Tones) {
  TSynthesisInputs inputs = StartUpSynthesisInputs(Rate);
  const TWaveform tones[4] = {TWaveform::_Sine, TWaveform::_Square, TWaveform::_Triangle, TWaveform::_Sawtooth};
  for (int r = 0; r < Tones; ++r) {
    inputs.SignalAttributeArray[r]._Waveform = tones[r];
    inputs.SignalAttributeArray[r]._OutputChannel = TOutputChannel::_Both;
  }
  inputs.SignalAttributeArray[4]._OutputChannel = TOutputChannel::_Both;
  inputs.SignalAttributeArray[5]._OutputChannel = TOutputChannel::_Both;
  return inputs;
}

// Mix, quantise with the start-up gains and pack every segment (250 ms).
void FinishSecond(TSignalEngine& Engine, const TOneSecondSynthesizer& Synthesizer, std::vector<std::uint32_t>& Device) {
  const TPCMFormat& format = Synthesizer.Inputs().PCMFormat;
  const TWaveBufferIntegerStereo second = Engine.QuantizeSignal(format, 0.1L, 0.1L, Synthesizer.Mix());
  const std::int32_t frames = FramesPerSegment(format._SamplingRate, 4);
  for (std::int32_t k = 0; k < 4; ++k) PackSegment(second[0], second[1], k, frames, 16, Device.data());
  benchmark::DoNotOptimize(Device.data());
}

void BM_NextSecond(benchmark::State& State) {
  TExFunctionEngine engine;
  TOneSecondSynthesizer synthesizer(engine);
  synthesizer.Begin(Inputs(static_cast<std::int32_t>(State.range(0)), static_cast<int>(State.range(1))),
                    TGeneratorChoice::_Direct);
  std::vector<std::uint32_t> device(static_cast<std::size_t>(State.range(0)));
  for (auto _ : State) {
    synthesizer.Advance();
    FinishSecond(engine, synthesizer, device);
  }
}

void BM_FullSecond(benchmark::State& State) {
  TExFunctionEngine engine;
  TOneSecondSynthesizer synthesizer(engine);
  const TSynthesisInputs inputs =
      Inputs(static_cast<std::int32_t>(State.range(0)), static_cast<int>(State.range(1)));
  std::vector<std::uint32_t> device(static_cast<std::size_t>(State.range(0)));
  for (auto _ : State) {
    synthesizer.Begin(inputs, TGeneratorChoice::_Direct);
    FinishSecond(engine, synthesizer, device);
  }
}

void Rates(benchmark::internal::Benchmark* B) {
  for (int tones : {1, 4})
    for (int rate : {48000, 192000, 384000}) B->Args({rate, tones});
  B->ArgNames({"rate", "tones"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_NextSecond)->Apply(Rates);
BENCHMARK(BM_FullSecond)->Apply(Rates);

}  // namespace

BENCHMARK_MAIN();
