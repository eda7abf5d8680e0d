// The spectral tones and the transforms behind them: time once the plan
// exists, the plan's own cost, and the heap peak of one call.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <fstream>
#include <new>
#include <unistd.h>

#include "synthesis/EngineCache.h"
#include "synthesis/ExtendedPrecision.h"
#include "synthesis/FourierPlan.h"
#include "synthesis/UnitFunction.h"

// --- heap accounting: every operator new of this program ------------------------
namespace {
std::atomic<std::int64_t> gLive{0}, gPeak{0};

void* Counted(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  const std::int64_t live = gLive += static_cast<std::int64_t>(malloc_usable_size(p));
  std::int64_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
  }
  return p;
}
void Uncounted(void* p) {
  if (!p) return;
  gLive -= static_cast<std::int64_t>(malloc_usable_size(p));
  std::free(p);
}
}  // namespace

void* operator new(std::size_t n) { return Counted(n); }
void* operator new[](std::size_t n) { return Counted(n); }
void operator delete(void* p) noexcept { Uncounted(p); }
void operator delete[](void* p) noexcept { Uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { Uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { Uncounted(p); }

namespace {

struct Lib : TExFunctionLib {
  using TExFunctionLib::DFTBluestein;
  using TExFunctionLib::FFT;
  using TExFunctionLib::IDFTBluestein;
};

using Generator = TWaveBufferExtended (*)(const TPCMFormat&, const TSignalAttribute&, std::int32_t,
                                          const TInternalSetting&);
constexpr Generator kGenerators[] = {&TExFunctionLib::GenerateWaveDataSquareIFFT,
                                     &TExFunctionLib::GenerateWaveDataTriangleIFFT,
                                     &TExFunctionLib::GenerateWaveDataSawtoothIFFT};
const char* const kNames[] = {"square", "triangle", "sawtooth"};

constexpr double kMB = 1024.0 * 1024.0;

// Args: variant, sampling rate, frequency. The plan exists before timing.
void BM_SpectralSecond(benchmark::State& state) {
  auto fmt = TExFunctionLib::InitializePCMFormat();
  fmt._SamplingRate = static_cast<std::int32_t>(state.range(1));
  auto sig = TExFunctionLib::InitializeSignalAttribute();
  sig._Frequency = static_cast<std::int32_t>(state.range(2));
  const Generator generate = kGenerators[state.range(0)];
  const TInternalSetting setting = TExFunctionLib::InitializeInternalSetting();
  benchmark::DoNotOptimize(generate(fmt, sig, 1000, setting));  // builds the plan
  const std::int64_t before = gLive.load();
  gPeak = before;
  benchmark::DoNotOptimize(generate(fmt, sig, 1000, setting));
  state.counters["heap_peak_MB"] = static_cast<double>(gPeak.load() - before) / kMB;
  // The transform's work array, made on the first call and kept in the
  // engine's shared set for the next (not part of the peak above).
  const auto half = static_cast<std::size_t>(fmt._SamplingRate / 2);
  state.counters["kept_work_MB"] =
      static_cast<double>(krv::BluesteinPlan::Get(half)->Padded() * sizeof(TComplex)) / kMB;
  for (auto _ : state) benchmark::DoNotOptimize(generate(fmt, sig, 1000, setting));
  state.SetLabel(kNames[state.range(0)]);
}
BENCHMARK(BM_SpectralSecond)
    ->ArgsProduct({{0, 1, 2}, {48000, 192000, 384000}, {1000}})
    ->ArgsProduct({{0, 1, 2}, {384000}, {10, 11}})
    ->Unit(benchmark::kMillisecond);

// Building the plan of one length (the spectral tones at rate N use the
// plan of N/2), and the memory the plan keeps.
void BM_BluesteinPlan(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::size_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    krv::ClearFourierPlans();
    state.ResumeTiming();
    bytes = krv::BluesteinPlan::Get(n)->Bytes();
  }
  state.counters["plan_MB"] = static_cast<double>(bytes) / kMB;
}
BENCHMARK(BM_BluesteinPlan)->Arg(24000)->Arg(96000)->Arg(192000)->Arg(384000)->Unit(benchmark::kMillisecond);

double ResidentMB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / kMB;
}

// What stays resident after one 384000 Hz call each of a square, its
// spectral variant, spectral pink noise and Gaussian noise, made on a thread
// that has ended: the caches within their budget, the thread's work array
// gone with it.
void BM_ResidentAfterSequence(benchmark::State& state) {
  auto fmt = TExFunctionLib::InitializePCMFormat();
  fmt._SamplingRate = 384000;
  auto sig = TExFunctionLib::InitializeSignalAttribute();
  sig._Frequency = 11;
  const TInternalSetting setting = TExFunctionLib::InitializeInternalSetting();
  double before = 0, untrimmed = 0, after = 0;
  for (auto _ : state) {
    krv::ClearFourierPlans();
    before = ResidentMB();
    krv::StartExtendedThread([&] {
      benchmark::DoNotOptimize(TExFunctionLib::GenerateWaveDataSquare(fmt, sig, 1000, setting));
      benchmark::DoNotOptimize(TExFunctionLib::GenerateWaveDataSquareIFFT(fmt, sig, 1000, setting));
      auto noise = sig;
      noise._NoiseType = TNoiseType::_PinkNoise;
      benchmark::DoNotOptimize(TExFunctionLib::GenerateWaveDataNoise(fmt, noise, 1000, TPinkNoiseMethod::_LPF));
      noise._NoiseType = TNoiseType::_GaussNoise;
      benchmark::DoNotOptimize(TExFunctionLib::GenerateWaveDataNoise(fmt, noise, 1000, TPinkNoiseMethod::_LPF));
    }).join();
    untrimmed = ResidentMB();
    malloc_trim(0);  // what the C library keeps of freed memory goes back
    after = ResidentMB();
  }
  state.counters["resident_before_MB"] = before;
  state.counters["resident_after_MB"] = after;
  state.counters["resident_untrimmed_MB"] = untrimmed;
  state.counters["cache_MB"] = static_cast<double>(krv::EngineCacheBytes()) / kMB;
}
BENCHMARK(BM_ResidentAfterSequence)->Unit(benchmark::kMillisecond)->Iterations(1);

TProgressionComplex Signal(std::size_t n) {
  TProgressionComplex x(n);
  for (std::size_t i = 0; i < n; ++i) x[i] = {static_cast<long double>(i % 7) - 3, static_cast<long double>(i % 5)};
  return x;
}

// A general (not symmetric) transform of one second, plan existing.
void BM_IDFTBluesteinGeneral(benchmark::State& state) {
  const auto x = Signal(static_cast<std::size_t>(state.range(0)));
  benchmark::DoNotOptimize(Lib::IDFTBluestein(x));
  for (auto _ : state) benchmark::DoNotOptimize(Lib::IDFTBluestein(x));
}
BENCHMARK(BM_IDFTBluesteinGeneral)->Arg(48000)->Arg(192000)->Arg(384000)->Unit(benchmark::kMillisecond);

void BM_FFT16384(benchmark::State& state) {
  const auto x = Signal(16384);
  for (auto _ : state) benchmark::DoNotOptimize(Lib::FFT(x));
}
BENCHMARK(BM_FFT16384)->Unit(benchmark::kMicrosecond);

}  // namespace
