// The ASIO road's buffer-switch handler: what one buffer half costs on the
// driver's thread (copy and scale of the ready second into the chosen pair,
// silence elsewhere), to compare with the time a half lasts.
#include <benchmark/benchmark.h>

#include "app/AsioRoad.h"
#include "app/Fakes.h"

namespace {

// A driver that plays whatever it is given.
class TBenchHost final : public TAsioRoadHost {
 public:
  std::int32_t DriverIndex() override { return 0; }
  double SampleRate() override { return FRate; }
  void SetSampleRate(double Rate) override { FRate = Rate; }
  std::int32_t CanSampleRate(double) override { return kAsioOK; }
  std::optional<double> DriverSampleRate() override { return FRate; }
  void Reset() override {}
  bool Active() override { return FActive; }
  void SetActive(bool Value) override { FActive = Value; }
  std::int32_t OutputChannelCount() override { return 8; }
  std::uint32_t BufferSize() override { return Frames; }
  void CloseDriver() override {}
  void SetOnDriverReset(std::function<void(bool)>) override {}
  std::uint32_t Frames = 512;

 private:
  double FRate = 44100.0;
  bool FActive = false;
};

void BM_BufferSwitch(benchmark::State& State) {
  const auto rate = static_cast<std::int32_t>(State.range(0));
  const auto frames = static_cast<std::size_t>(State.range(1));
  TBenchHost host;
  host.Frames = static_cast<std::uint32_t>(frames);
  TExFunctionEngine engine;
  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  TMainState state(TMainServices{PortableEventFactory(), device, memory, engine, ui, view});
  // Nothing here stops the host: no task is ever posted.
  TAsioPlayback road(
      TAsioRoadServices{state, host, engine, PortableEventFactory(), ui, view, [](std::function<void()>) {}});
  state.SetAsioRoad(&road);
  TInternalSetting setting = state.InternalSetting();
  setting._OutputDevice = TOutputDevice::_ASIO;
  state.SetInternalSetting(setting);
  TPCMFormat format = state.PCMFormat();
  format._SamplingRate = rate;
  format._Quantization = 24;
  state.SetPCMFormat(format);
  state.ActiveAsioChannelL = 2;
  state.ActiveAsioChannelR = 3;
  state.Play();
  TAVDArrayOfDoubleDynArray out(8, std::vector<double>(frames));
  for (auto _ : State) {
    road.ASIOHostBufferSwitch64({}, out);
    benchmark::DoNotOptimize(out[2].data());
  }
  State.counters["half_ms"] = 1000.0 * static_cast<double>(frames) / rate;
  state.Shutdown();
}

BENCHMARK(BM_BufferSwitch)
    ->Args({48000, 480})
    ->Args({44100, 512})
    ->Args({384000, 512})
    ->Args({32000, 65530})
    ->ArgNames({"rate", "frames"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
