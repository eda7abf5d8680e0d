// Speed of one buffer switch of the host: 512 frames, 8 output channels of
// which the handler fills 2, converted into the driver's format (the other 6
// carry silence), as the driver's callback runs it.
#include "asio/DASIOHost.h"

#include <benchmark/benchmark.h>

#include <cmath>

#include "asio/FakeASIODriver.h"  // tests/asio

namespace {

void BM_BufferSwitch(benchmark::State& state, ASIOSampleType type) {
  SelectProcessorRoutines();
  krvtest::TFakeDriver model;
  model.outputs = 8;
  model.preferred = 512;
  model.type = type;
  std::vector<std::shared_ptr<krvtest::TFakeDriver>> made;
  std::vector<std::string> errors;
  int wakes = 0;
  TASIOHost host(std::make_unique<krvtest::TFakePlatform>(1, made, model, errors, wakes));
  host.SetDriverIndex(0);
  std::vector<double> tone(512);
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5 * std::sin(0.0712 * static_cast<double>(i));
  host.SetOnBufferSwitch64([&](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray& out) {
    std::copy(tone.begin(), tone.end(), out[0].begin());
    std::copy(tone.begin(), tone.end(), out[1].begin());
  });
  host.SetActive(true);
  krvtest::TFakeDriver& driver = *made.back();
  std::int32_t index = 0;
  for (auto _ : state) {
    driver.Switch(index);
    index ^= 1;
  }
  benchmark::DoNotOptimize(driver.halves[2].data());
  host.SetActive(false);
}

BENCHMARK_CAPTURE(BM_BufferSwitch, Int32LSB, ASIOSTInt32LSB);
BENCHMARK_CAPTURE(BM_BufferSwitch, Int24LSB, ASIOSTInt24LSB);

}  // namespace

BENCHMARK_MAIN();
