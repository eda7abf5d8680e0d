// Speed of converting one 512-frame block between double/float blocks and
// driver formats through the routine table.
#include "asio/DASIOConvert.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr std::int32_t kFrames = 512;

template <class T>
std::vector<T> Sine() {
  std::vector<T> x(kFrames);
  for (std::int32_t i = 0; i < kFrames; ++i) x[static_cast<std::size_t>(i)] = static_cast<T>(0.9 * std::sin(0.05 * i));
  return x;
}

enum class Mode { Plain, ThreeDNow, Rectangular, Triangular };

void Install(Mode mode) {
  InstallFpuRoutines();
  if (mode == Mode::ThreeDNow) Install3DNowRoutines();
  if (mode == Mode::Rectangular) UseRectangularDither();
  if (mode == Mode::Triangular) UseTriangularDither();
}

template <class T>
void BM_Out(benchmark::State& state, ASIOSampleType type, Mode mode) {
  Install(mode);
  const auto x = Sine<T>();
  std::vector<std::uint8_t> driver(kFrames * 8);
  const auto oc = OutConvertorOf(type).value();
  for (auto _ : state) {
    if constexpr (sizeof(T) == 4)
      oc.oc32(x.data(), driver.data(), kFrames);
    else
      oc.oc64(x.data(), driver.data(), kFrames);
    benchmark::DoNotOptimize(driver.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
  InstallFpuRoutines();
}

template <class T>
void BM_In(benchmark::State& state, ASIOSampleType type) {
  InstallFpuRoutines();
  std::vector<std::uint8_t> driver(kFrames * 8);
  OutConvertorOf(type)->oc64(Sine<double>().data(), driver.data(), kFrames);
  std::vector<T> x(kFrames);
  const auto ic = InConvertorOf(type).value();
  for (auto _ : state) {
    if constexpr (sizeof(T) == 4)
      ic.ic32(driver.data(), x.data(), kFrames);
    else
      ic.ic64(driver.data(), x.data(), kFrames);
    benchmark::DoNotOptimize(x.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
}

void BM_OutDouble(benchmark::State& state, ASIOSampleType type, Mode mode) { BM_Out<double>(state, type, mode); }
void BM_OutSingle(benchmark::State& state, ASIOSampleType type, Mode mode) { BM_Out<float>(state, type, mode); }
void BM_InDouble(benchmark::State& state, ASIOSampleType type) { BM_In<double>(state, type); }
void BM_InSingle(benchmark::State& state, ASIOSampleType type) { BM_In<float>(state, type); }

void BM_DigitalClip64(benchmark::State& state) {
  auto x = Sine<double>();
  for (auto& v : x) v *= 1.5;
  for (auto _ : state) {
    auto y = x;
    DigitalClip64(y.data(), kFrames);
    benchmark::DoNotOptimize(y.data());
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
}

}  // namespace

BENCHMARK_CAPTURE(BM_OutDouble, Int16LSB, ASIOSTInt16LSB, Mode::Plain);
BENCHMARK_CAPTURE(BM_OutDouble, Int24LSB, ASIOSTInt24LSB, Mode::Plain);
BENCHMARK_CAPTURE(BM_OutDouble, Int32LSB, ASIOSTInt32LSB, Mode::Plain);
BENCHMARK_CAPTURE(BM_OutDouble, Int32MSB, ASIOSTInt32MSB, Mode::Plain);
BENCHMARK_CAPTURE(BM_OutDouble, Int32LSB24, ASIOSTInt32LSB24, Mode::Plain);
BENCHMARK_CAPTURE(BM_OutDouble, Int32MSB18, ASIOSTInt32MSB18, Mode::Plain);
BENCHMARK_CAPTURE(BM_OutDouble, Float32LSB, ASIOSTFloat32LSB, Mode::Plain);
BENCHMARK_CAPTURE(BM_OutDouble, Float64MSB, ASIOSTFloat64MSB, Mode::Plain);
BENCHMARK_CAPTURE(BM_OutDouble, Int16LSB_rectangular, ASIOSTInt16LSB, Mode::Rectangular);
BENCHMARK_CAPTURE(BM_OutDouble, Int24LSB_triangular, ASIOSTInt24LSB, Mode::Triangular);
BENCHMARK_CAPTURE(BM_OutSingle, Int32LSB, ASIOSTInt32LSB, Mode::Plain);
BENCHMARK_CAPTURE(BM_OutSingle, Int32LSB_3DNow, ASIOSTInt32LSB, Mode::ThreeDNow);
BENCHMARK_CAPTURE(BM_OutSingle, Int32LSB24_3DNow, ASIOSTInt32LSB24, Mode::ThreeDNow);
BENCHMARK_CAPTURE(BM_InDouble, Int16LSB, ASIOSTInt16LSB);
BENCHMARK_CAPTURE(BM_InDouble, Int24LSB, ASIOSTInt24LSB);
BENCHMARK_CAPTURE(BM_InDouble, Int32MSB, ASIOSTInt32MSB);
BENCHMARK_CAPTURE(BM_InSingle, Float32LSB, ASIOSTFloat32LSB);
BENCHMARK(BM_DigitalClip64);

BENCHMARK_MAIN();
