// Speed of rendering a WAV file of the start-up signal set: 60 s at
// 192000 Hz / 24 bits, every second synthesised as the create-wave road does
// it (all records for the first second, then the sweep and the noise again),
// quantised at unity gain, packed and written.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "app/WavRender.h"
#include "app/CreateWaveRoad.h"
#include "synthesis/UnitFunction.h"

namespace {

constexpr std::int32_t kSeconds = 60;
class TNullSink final : public TByteSink {
 public:
  void Write(const std::uint8_t*, std::size_t Size) override { Bytes += Size; }
  void Close() override {}
  void Discard() noexcept override {}
  std::size_t Bytes = 0;
};

TPCMFormat BenchFormat() {
  TPCMFormat f = TExFunctionLib::InitializePCMFormat();
  f._SamplingRate = 192000;
  f._Quantization = 24;
  return f;
}

TWavRenderHooks Hooks(wavtest::TCreateWaveRoad& Road, const TPCMFormat& Format) {
  TWavRenderHooks h;
  h.FetchSecond = [&Road](std::int32_t n) { return Road.Second(n); };
  h.Quantize = UnityGainQuantizer(Format);
  return h;
}

void Report(benchmark::State& State) {
  // Seconds of audio rendered per second of wall time.
  State.counters["x_realtime"] =
      benchmark::Counter(double(kSeconds) * double(State.iterations()), benchmark::Counter::kIsRate);
}

void BM_RenderStartUpSet_192k24_60s_NullSink(benchmark::State& State) {
  const TPCMFormat format = BenchFormat();
  for (auto _ : State) {
    wavtest::TCreateWaveRoad road(format, wavtest::StartUpSignals());
    TNullSink sink;
    const TWavRenderResult r = TWavRenderer().Render(format, kSeconds, sink, Hooks(road, format));
    if (!r.Completed() || r.MissingSeconds != 0) State.SkipWithError("render failed");
    benchmark::DoNotOptimize(sink.Bytes);
  }
  Report(State);
}
BENCHMARK(BM_RenderStartUpSet_192k24_60s_NullSink)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_RenderStartUpSet_192k24_60s_File(benchmark::State& State) {
  const TPCMFormat format = BenchFormat();
  std::random_device rd;
  const auto name = std::filesystem::temp_directory_path() / ("krv_wav_bench_" + std::to_string(rd()) + ".wav");
  for (auto _ : State) {
    wavtest::TCreateWaveRoad road(format, wavtest::StartUpSignals());
    const TWavRenderResult r = TWavRenderer().RenderFile(format, kSeconds, name, Hooks(road, format));
    if (!r.Completed() || r.MissingSeconds != 0) State.SkipWithError(r.Message.c_str());
  }
  std::filesystem::remove(name);
  Report(State);
}
BENCHMARK(BM_RenderStartUpSet_192k24_60s_File)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The share of the WAV layer alone: quantising, packing and writing one
// already mixed second.
void BM_QuantizePackOneSecond_192k24(benchmark::State& State) {
  const TPCMFormat format = BenchFormat();
  wavtest::TCreateWaveRoad road(format, wavtest::StartUpSignals());
  const TWaveBufferExtendedStereo mixed = *road.Second(0);
  const auto quantize = UnityGainQuantizer(format);
  const TWavLayout layout = MakeWavLayout(format._SamplingRate, format._Quantization, 1);
  std::vector<std::uint8_t> packed;
  for (auto _ : State) {
    PackWavSecond(layout, quantize(mixed), packed);
    benchmark::DoNotOptimize(packed.data());
  }
  State.counters["x_realtime"] = benchmark::Counter(double(State.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_QuantizePackOneSecond_192k24)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
