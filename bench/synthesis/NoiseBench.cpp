// One second of each noise source, and the random sources alone.
#include <benchmark/benchmark.h>

#include "synthesis/UnitFunction.h"

namespace {

struct Lib : TExFunctionLib {
  using TExFunctionLib::SetLocalClock;
  using TExFunctionLib::TClockTime;
};

struct Source {
  TNoiseType type;
  TPinkNoiseMethod method;
};

constexpr Source kSources[] = {{TNoiseType::_WhiteNoise, TPinkNoiseMethod::_Kellet},
                               {TNoiseType::_PinkNoise, TPinkNoiseMethod::_Kellet},
                               {TNoiseType::_PinkNoise, TPinkNoiseMethod::_Voss},
                               {TNoiseType::_PinkNoise, TPinkNoiseMethod::_LPF},
                               {TNoiseType::_GaussNoise, TPinkNoiseMethod::_Kellet}};

// Args: source index, sampling rate.
void BM_NoiseSecond(benchmark::State& state) {
  Lib::SetLocalClock([] { return Lib::TClockTime{5, 19, 12, 30}; });
  const Source& source = kSources[state.range(0)];
  auto fmt = TExFunctionLib::InitializePCMFormat();
  fmt._SamplingRate = static_cast<std::int32_t>(state.range(1));
  auto sig = TExFunctionLib::InitializeSignalAttribute();
  sig._NoiseType = source.type;
  benchmark::DoNotOptimize(TExFunctionLib::GenerateWaveDataNoise(fmt, sig, 1000, source.method));  // warm
  for (auto _ : state) benchmark::DoNotOptimize(TExFunctionLib::GenerateWaveDataNoise(fmt, sig, 1000, source.method));
  Lib::SetLocalClock(nullptr);
  static const char* const kNames[] = {"white", "pink Kellet", "pink Voss", "pink LPF", "gauss"};
  state.SetLabel(kNames[state.range(0)]);
}
BENCHMARK(BM_NoiseSecond)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {48000, 192000, 384000}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
