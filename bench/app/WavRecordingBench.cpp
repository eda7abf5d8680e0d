// Speed of the main window's WAV writer on its real road: the start-up signal
// set, 60 s at 192000 Hz / 24 bits, every second asked of the create-wave
// thread and waited for, quantised at unity gain, packed and written to a file.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "app/Fakes.h"
#include "app/WavRecording.h"

namespace {

constexpr std::int32_t kSeconds = 60;

class TBenchWindow final : public TWavRecordingWindow {
 public:
  std::filesystem::path FileName;
  int Messages = 0;
  std::filesystem::path WavFileName() const override { return FileName; }
  std::int32_t ProgressMax() const override { return 100; }
  void StepProgress(std::int32_t) override {}
  void ShowErrorMessage(std::string_view) override { ++Messages; }
  void CloseWindow() override {}
};

void BM_CreateWavFile_StartUpSet_192k24_60s(benchmark::State& State) {
  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  TExFunctionEngine engine;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  TMainState state(TMainServices{PortableEventFactory(), device, memory, engine, ui, view, {}});
  TPCMFormat format = state.PCMFormat();
  format._SamplingRate = 192000;
  format._Quantization = 24;
  state.SetPCMFormat(format);
  TInternalSetting setting = state.InternalSetting();
  setting._RecordTime = kSeconds;
  state.SetInternalSetting(setting);
  std::random_device rd;
  TBenchWindow window;
  window.FileName = std::filesystem::temp_directory_path() / ("krv_recording_bench_" + std::to_string(rd()) + ".wav");
  for (auto _ : State) {
    const TWavRenderResult r = CreateWavFile(state, window);
    if (!r.Completed() || r.MissingSeconds != 0 || window.Messages != 0) State.SkipWithError("recording failed");
  }
  std::filesystem::remove(window.FileName);
  // Seconds of sound written per second of wall time.
  State.counters["x_realtime"] =
      benchmark::Counter(double(kSeconds) * double(State.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CreateWavFile_StartUpSet_192k24_60s)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
