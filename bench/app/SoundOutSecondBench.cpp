// The wave-out road's work for each next second (what must be done within
// one segment, 50 ms at the smallest buffer size): the sweep and the noise
// generated again (tones are generated once per play), mixed, quantised with
// the output gains and packed into the device's segments.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/OneSecond.h"
#include "app/UnitThread.h"
#include "synthesis/UnitFunction.h"

namespace {

// The budget of BM_NextSecond is one 50 ms segment.
// Args: sampling rate, quantisation, every record audible (1) or the
// start-up set (0).
TSynthesisInputs Inputs(const benchmark::State& State) {
  TSynthesisInputs inputs;
  inputs.xChannelNumber = 6;
  inputs.PCMFormat = TExFunctionLib::InitializePCMFormat();
  inputs.PCMFormat._SamplingRate = static_cast<std::int32_t>(State.range(0));
  inputs.PCMFormat._Quantization = static_cast<std::int32_t>(State.range(1));
  inputs.InternalSetting = TExFunctionLib::InitializeInternalSetting();
  inputs.SignalAttributeArray.assign(6, TExFunctionLib::InitializeSignalAttribute());
  inputs.SignalAttributeArray[0]._OutputChannel = TOutputChannel::_Both;
  inputs.SignalAttributeArray[4]._Waveform = TWaveform::_Sweep;
  inputs.SignalAttributeArray[5]._Waveform = TWaveform::_Noise;
  if (State.range(2) != 0) {
    const TWaveform tones[] = {TWaveform::_Sine, TWaveform::_Square, TWaveform::_Triangle, TWaveform::_Sawtooth};
    for (int r = 0; r < 6; ++r) {
      TSignalAttribute& record = inputs.SignalAttributeArray[static_cast<std::size_t>(r)];
      record._OutputChannel = r % 2 ? TOutputChannel::_Lch : TOutputChannel::_Both;
      record._Amplitude = -20;
      if (r < 4) {
        record._Waveform = tones[r];
        record._Frequency = 440 * (r + 1);
      }
    }
    inputs.SignalAttributeArray[5]._NoiseType = TNoiseType::_PinkNoise;
  }
  return inputs;
}

void BM_NextSecond(benchmark::State& State) {
  const TSynthesisInputs inputs = Inputs(State);
  TExFunctionEngine engine;
  TOneSecondSynthesizer synthesizer(engine);
  synthesizer.Begin(inputs, TGeneratorChoice::_Direct);
  const std::int32_t segments = SegmentsPerSecond(TWavBufferSize::_50ms);
  const std::int32_t frames = FramesPerSegment(inputs.PCMFormat._SamplingRate, segments);
  std::vector<std::uint8_t> device(static_cast<std::size_t>(frames) * BytesPerFrame(inputs.PCMFormat._Quantization));
  for (auto _ : State) {
    synthesizer.Advance();
    const TWaveBufferIntegerStereo second =
        engine.QuantizeSignal(inputs.PCMFormat, 0.1L, 0.1L, synthesizer.Mix());
    for (std::int32_t k = 0; k < segments; ++k)
      PackSegment(second[0], second[1], k, frames, inputs.PCMFormat._Quantization, device.data());
    benchmark::DoNotOptimize(device.data());
  }
}
BENCHMARK(BM_NextSecond)
    ->ArgNames({"rate", "bits", "all"})
    ->Args({48000, 16, 0})
    ->Args({192000, 24, 0})
    ->Args({384000, 24, 0})
    ->Args({48000, 16, 1})
    ->Args({192000, 24, 1})
    ->Args({384000, 24, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The first second of a play: every audible record generated.
void BM_FirstSecond(benchmark::State& State) {
  const TSynthesisInputs inputs = Inputs(State);
  TExFunctionEngine engine;
  for (auto _ : State) {
    TOneSecondSynthesizer synthesizer(engine);
    synthesizer.Begin(inputs, TGeneratorChoice::_Direct);
    benchmark::DoNotOptimize(engine.QuantizeSignal(inputs.PCMFormat, 0.1L, 0.1L, synthesizer.Mix()));
  }
}
BENCHMARK(BM_FirstSecond)
    ->ArgNames({"rate", "bits", "all"})
    ->Args({48000, 16, 1})
    ->Args({192000, 24, 1})
    ->Args({384000, 24, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
