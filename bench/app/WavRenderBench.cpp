// Speed of rendering a WAV file on the program's own road: the main window's
// writer over the create-wave thread, every second asked of the thread (the
// next while the last is quantised at unity gain, packed and written) into a
// file, 60 s of stereo at 192000 Hz / 24 bits. One benchmark per signal set;
// scripts/sox-compare.sh runs them side by side with sox.
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
  bool KeepResponsive() override { return false; }
};

enum class TSet { StartUp, Sine, Square, LogSweep, PinkDither };

// Record 0 as the tone (or muted), record 4 the sweep, record 5 the noise.
void Apply(TSet Set, TMainState& State) {
  TSignalAttributeArray records = State.SignalAttributeArray();
  TPCMFormat format = State.PCMFormat();
  format._SamplingRate = 192000;
  format._Quantization = 24;
  switch (Set) {
    case TSet::StartUp: break;
    case TSet::Sine: break;
    case TSet::Square: records[0]._Waveform = TWaveform::_Square; break;
    case TSet::LogSweep:
      records[0]._OutputChannel = TOutputChannel::_Mute;
      records[4]._OutputChannel = TOutputChannel::_Both;
      records[4]._SweepType = TSweepType::_Log;
      records[4]._SweepPeriod = kSeconds;
      break;
    case TSet::PinkDither:
      records[0]._OutputChannel = TOutputChannel::_Mute;
      records[5]._OutputChannel = TOutputChannel::_Both;
      records[5]._NoiseType = TNoiseType::_PinkNoise;
      format._Rounding = TRounding::_DITHER;
      break;
  }
  for (std::size_t r = 0; r < records.size(); ++r) State.SetSignalAttribute(std::int32_t(r), records[r]);
  State.SetPCMFormat(format);
  TInternalSetting setting = State.InternalSetting();
  setting._RecordTime = kSeconds;
  State.SetInternalSetting(setting);
}

void BM_CreateWavFile_192k24_60s(benchmark::State& State) {
  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  TExFunctionEngine engine;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  TMainState state(TMainServices{PortableEventFactory(), device, memory, engine, ui, view, {}});
  Apply(static_cast<TSet>(State.range(0)), state);
  std::random_device rd;
  TBenchWindow window;
  window.FileName = std::filesystem::temp_directory_path() / ("krv_render_bench_" + std::to_string(rd()) + ".wav");
  for (auto _ : State) {
    const TWavRenderResult r = CreateWavFile(state, window);
    if (!r.Completed() || r.MissingSeconds != 0 || window.Messages != 0) State.SkipWithError("render failed");
  }
  std::filesystem::remove(window.FileName);
  static const char* const kNames[] = {"start-up set", "sine", "square", "log sweep", "pink noise, dither"};
  State.SetLabel(kNames[State.range(0)]);
  // Seconds of sound written per second of wall time.
  State.counters["x_realtime"] =
      benchmark::Counter(double(kSeconds) * double(State.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CreateWavFile_192k24_60s)
    ->ArgName("set")
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
