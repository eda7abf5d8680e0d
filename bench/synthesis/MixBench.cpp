// Mixing and quantising one second, alone and as the whole chain a playing
// second of sweep and noise goes through.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "synthesis/UnitFunction.h"

namespace {

TPCMFormat Format(std::int64_t fs, std::int32_t bits, TRounding r, TNoiseShaping shaping, TDither d) {
  return TPCMFormat{static_cast<std::int32_t>(fs), bits, r, d, shaping};
}

TWaveBufferExtended Tone(std::int64_t n) {
  TWaveBufferExtended x(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = 0.9L * std::sin(0.001L * static_cast<long double>(i));
  return x;
}

// Args: sampling rate, bits, rounding, shaping, dither.
void BM_Quantize(benchmark::State& state) {
  const TPCMFormat f = Format(state.range(0), static_cast<std::int32_t>(state.range(1)),
                              static_cast<TRounding>(state.range(2)), static_cast<TNoiseShaping>(state.range(3)),
                              static_cast<TDither>(state.range(4)));
  const TWaveBufferExtendedStereo in{Tone(state.range(0)), Tone(state.range(0))};
  for (auto _ : state) benchmark::DoNotOptimize(TExFunctionLib::QuantizeSignal(f, 0.8L, 0.7L, in, 1000));
}
BENCHMARK(BM_Quantize)
    ->ArgNames({"fs", "bits", "round", "shape", "dither"})
    ->Args({192000, 32, 4, 0, 2})   // dither, 2nd order, Gauss
    ->Args({384000, 32, 4, 0, 2})
    ->Args({192000, 16, 3, 2, 0})   // the default: nearest even, no shaping
    ->Args({192000, 24, 4, 1, 1})   // dither, 1st order, pink
    ->Unit(benchmark::kMillisecond);

// One second of 192000 Hz / 24-bit stereo through every rounding, shaping
// and dither (the dither types only with rounding by dither), on a sine,
// engine-made pink noise and a block of random signs at -1 dBFS. The
// quantiser's cost must not depend on the data. Args: input, rounding,
// shaping, dither.
TWaveBufferExtended Input(std::int64_t kind, std::size_t n) {
  if (kind == 0) return Tone(static_cast<std::int64_t>(n));
  TWaveBufferExtended x(n);
  if (kind == 1) {
    TSignalAttribute a = TExFunctionLib::InitializeSignalAttribute();
    a._Waveform = TWaveform::_Noise;
    a._NoiseType = TNoiseType::_PinkNoise;
    const TPCMFormat f = Format(static_cast<std::int64_t>(n), 24, TRounding::_RNE, TNoiseShaping::_Off, TDither::_White);
    TExFunctionLib::GenerateWaveDataNoise(f, a, 1000, TPinkNoiseMethod::_Kellet, 1, x);
  } else {
    std::mt19937 gen(1);
    for (auto& v : x) v = gen() & 1 ? 0.89L : -0.89L;
  }
  return x;
}

void BM_QuantizeModes(benchmark::State& state) {
  constexpr std::int64_t fs = 192000;
  const TPCMFormat f = Format(fs, 24, static_cast<TRounding>(state.range(1)), static_cast<TNoiseShaping>(state.range(2)),
                              static_cast<TDither>(state.range(3)));
  const TWaveBufferExtended x = Input(state.range(0), fs);
  const TWaveBufferExtendedStereo in{x, x};
  TWaveBufferIntegerStereo q;
  for (auto _ : state) {
    TExFunctionLib::QuantizeSignal(f, 1.0L, 1.0L, in, 1000, 7, q);
    benchmark::DoNotOptimize(q);
  }
  static const char* const kInputs[] = {"sine", "pink", "random sign"};
  state.SetLabel(kInputs[state.range(0)]);
}
BENCHMARK(BM_QuantizeModes)
    ->ArgNames({"input", "round", "shape", "dither"})
    ->Apply([](benchmark::internal::Benchmark* b) {
      for (int input = 0; input < 3; ++input)
        for (int r = 0; r <= static_cast<int>(TRounding::_DITHER); ++r)
          for (int shape = 0; shape <= static_cast<int>(TNoiseShaping::_Off); ++shape)
            for (int d = 0; d <= (r == static_cast<int>(TRounding::_DITHER) ? 2 : 0); ++d) b->Args({input, r, shape, d});
    })
    ->Unit(benchmark::kMillisecond);

void BM_Mix(benchmark::State& state) {
  const auto fs = state.range(0);
  TSignalAttributeArray a(6, TExFunctionLib::InitializeSignalAttribute());
  for (auto& r : a) r._OutputChannel = TOutputChannel::_Both;
  const TWaveBufferExtendedArray w(6, Tone(fs));
  const TPCMFormat f = Format(fs, 16, TRounding::_RNE, TNoiseShaping::_Off, TDither::_White);
  for (auto _ : state) benchmark::DoNotOptimize(TExFunctionLib::SynthesizeSignals(f, 6, a, w, 1000));
}
BENCHMARK(BM_Mix)->Arg(192000)->Arg(384000)->Unit(benchmark::kMillisecond);

// The next second of a playing set with only the sweep and the noise audible
// (what the create-wave road rebuilds every second): generate both, mix,
// quantise. Args: sampling rate, noise type, rounding, shaping, dither.
void BM_SweepNoiseMixQuantize(benchmark::State& state) {
  const auto fs = state.range(0);
  const TPCMFormat f = Format(fs, 24, static_cast<TRounding>(state.range(2)), static_cast<TNoiseShaping>(state.range(3)),
                              static_cast<TDither>(state.range(4)));
  TSignalAttributeArray a(6, TExFunctionLib::InitializeSignalAttribute());
  a[4]._Waveform = TWaveform::_Sweep;
  a[4]._OutputChannel = TOutputChannel::_Both;
  a[4]._SweepType = TSweepType::_Log;
  a[5]._Waveform = TWaveform::_Noise;
  a[5]._OutputChannel = TOutputChannel::_Both;
  a[5]._NoiseType = static_cast<TNoiseType>(state.range(1));
  std::int32_t t = 0;
  for (auto _ : state) {
    TWaveBufferExtendedArray w(6);
    w[4] = TExFunctionLib::GenerateWaveDataSweep(f, a[4], 1000, t);
    w[5] = TExFunctionLib::GenerateWaveDataNoise(f, a[5], 1000, TPinkNoiseMethod::_Kellet);
    const auto mix = TExFunctionLib::SynthesizeSignals(f, 6, a, w, 1000);
    benchmark::DoNotOptimize(TExFunctionLib::QuantizeSignal(f, 1.0L, 1.0L, mix, 1000));
    t = (t + static_cast<std::int32_t>(fs)) % (10 * static_cast<std::int32_t>(fs));
  }
}
BENCHMARK(BM_SweepNoiseMixQuantize)
    ->ArgNames({"fs", "noise", "round", "shape", "dither"})
    ->Args({192000, 0, 3, 2, 0})  // white noise, nearest even, no shaping
    ->Args({192000, 1, 3, 2, 0})  // pink (Kellet)
    ->Args({192000, 2, 3, 2, 0})  // Gauss
    ->Args({192000, 0, 4, 0, 2})  // white noise, Gauss dither with 2nd-order shaping
    ->Unit(benchmark::kMillisecond);

}  // namespace
