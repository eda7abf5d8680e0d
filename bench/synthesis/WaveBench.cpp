// One second of each waveform generator. "Cold" runs drop every cached
// sine table and transform plan before each call, so they include building
// them; the others measure the steady state of a playing signal.
#include <benchmark/benchmark.h>

#include "synthesis/FourierPlan.h"
#include "synthesis/ToneTable.h"
#include "synthesis/UnitFunction.h"

namespace {

TPCMFormat Format(std::int64_t fs) {
  TPCMFormat f = TExFunctionLib::InitializePCMFormat();
  f._SamplingRate = static_cast<std::int32_t>(fs);
  return f;
}

TSignalAttribute Tone(TWaveform w, std::int64_t F) {
  TSignalAttribute a = TExFunctionLib::InitializeSignalAttribute();
  a._Waveform = w;
  a._Frequency = static_cast<std::int32_t>(F);
  a._Phase = 37;
  a._Offset = 3;
  return a;
}

TWaveBufferExtended Generate(const TPCMFormat& f, const TSignalAttribute& a, const TInternalSetting& s) {
  switch (a._Waveform) {
    case TWaveform::_Square: return TExFunctionLib::GenerateWaveDataSquare(f, a, 1000, s);
    case TWaveform::_Triangle: return TExFunctionLib::GenerateWaveDataTriangle(f, a, 1000, s);
    case TWaveform::_Sawtooth: return TExFunctionLib::GenerateWaveDataSawtooth(f, a, 1000, s);
    default: return TExFunctionLib::GenerateWaveDataSine(f, a, 1000, s);
  }
}

void DropCaches() {
  krv::ClearToneTableCache();
  krv::ClearFourierPlans();
}

// Args: waveform, sampling rate, tone frequency, cold (1) or warm (0).
void BM_Tone(benchmark::State& state) {
  const auto w = static_cast<TWaveform>(state.range(0));
  const TPCMFormat f = Format(state.range(1));
  const TSignalAttribute a = Tone(w, state.range(2));
  const bool cold = state.range(3) != 0;
  const TInternalSetting s = TExFunctionLib::InitializeInternalSetting();
  for (auto _ : state) {
    if (cold) DropCaches();
    benchmark::DoNotOptimize(Generate(f, a, s));
  }
}

void ToneArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"wave", "fs", "F", "cold"});
  for (const int w : {0, 1, 2, 3}) {
    for (const int fs : {48000, 192000, 384000}) b->Args({w, fs, 1000, 0});
    b->Args({w, 384000, 1000, 1});
  }
  // The worst cases, cold: a period of 38400 (10 Hz) or of the whole second
  // (11 Hz) with up to 19199 harmonics; 44056 Hz has the prime factor 5507.
  for (const int w : {1, 2, 3}) {
    for (const int F : {10, 11}) b->Args({w, 384000, F, 1});
    b->Args({w, 352800, 11, 1});
    b->Args({w, 44056, 11, 1});
    b->Args({w, 192000, 11, 1});
  }
  b->Args({0, 384000, 11, 1});
}
BENCHMARK(BM_Tone)->Apply(ToneArgs)->Unit(benchmark::kMillisecond);

// A warbled sine (one third of an octave at 4 Hz) and a tone burst.
void BM_SineVariants(benchmark::State& state) {
  const TPCMFormat f = Format(state.range(0));
  TSignalAttribute a = Tone(TWaveform::_Sine, 1000);
  if (state.range(1) == 0) {
    a._WarbleCycle = TWarbleCycle::_4Hz;
  } else {
    a._CycleOn = 3;
    a._CycleOff = 4;
  }
  const TInternalSetting s = TExFunctionLib::InitializeInternalSetting();
  for (auto _ : state) {
    DropCaches();
    benchmark::DoNotOptimize(Generate(f, a, s));
  }
}
BENCHMARK(BM_SineVariants)
    ->ArgNames({"fs", "burst"})
    ->Args({48000, 0})
    ->Args({384000, 0})
    ->Args({384000, 1})
    ->Unit(benchmark::kMillisecond);

// Args: sweep type (0 linear, 1 log), sampling rate.
void BM_Sweep(benchmark::State& state) {
  const auto fs = static_cast<std::int32_t>(state.range(1));
  TSignalAttribute a = TExFunctionLib::InitializeSignalAttribute();
  a._Waveform = TWaveform::_Sweep;
  a._SweepType = static_cast<TSweepType>(state.range(0));
  a._SweepFrequency = {20, 20000};
  a._SweepPeriod = 10;
  std::int32_t t = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(TExFunctionLib::GenerateWaveDataSweep(Format(fs), a, 1000, t));
    t = (t + fs) % (10 * fs);
  }
}
BENCHMARK(BM_Sweep)
    ->ArgNames({"log", "fs"})
    ->ArgsProduct({{0, 1}, {48000, 192000, 384000}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
