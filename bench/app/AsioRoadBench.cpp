// The ASIO road's buffer-switch handler: what one buffer half costs on the
// driver's thread (copy and scale of the ready second into the chosen pair,
// silence elsewhere), to compare with the time a half lasts; and what a Play
// costs before the driver starts, step by step and as a whole.
#include <benchmark/benchmark.h>

#include <thread>

#include "app/AsioRoad.h"
#include "app/Fakes.h"
#include "app/PlayableSignals.h"

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

// The main window's state over the real engine and fake devices.
struct TBenchState {
  TExFunctionEngine engine;
  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  fakes::TFakeUserInterface ui;
  fakes::TFakeView view;
  TMainState state{TMainServices{PortableEventFactory(), device, memory, engine, ui, view}};
};

// That state with the driver road over a driver that plays whatever it is
// given; nothing here stops the host: no task is ever posted.
struct TBenchRoad : TBenchState {
  TBenchHost host;
  TAsioPlayback road{
      TAsioRoadServices{state, host, engine, PortableEventFactory(), ui, view, [](std::function<void()>) {}}};
  TBenchRoad() { state.SetAsioRoad(&road); }
};

void BM_BufferSwitch(benchmark::State& State) {
  const auto rate = static_cast<std::int32_t>(State.range(0));
  const auto frames = static_cast<std::size_t>(State.range(1));
  TBenchRoad bench;
  auto& host = bench.host;
  auto& road = bench.road;
  auto& state = bench.state;
  host.Frames = static_cast<std::uint32_t>(frames);
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

// The heavy set of the end-to-end tests (heavy_set.sh): a warbled 1000 Hz
// sine in bursts, a 3000 Hz square on L, a warbled 5000 Hz triangle on R, a
// 7000 Hz saw, a 5 s log sweep and pink noise at -30 dB; 32 bits with white
// dither and 2nd-order shaping, the transforms on.
void SetHeavySet(TMainState& State, std::int32_t Rate) {
  TPCMFormat format = State.PCMFormat();
  format._SamplingRate = Rate;
  format._Quantization = 32;
  format._Rounding = TRounding::_DITHER;
  format._Dither = TDither::_White;
  format._NoiseShaping = TNoiseShaping::_2nd;
  State.SetPCMFormat(format);
  TInternalSetting setting = State.InternalSetting();
  setting._FFTuse = TFFTuse::_Use;
  setting._OutputDevice = TOutputDevice::_ASIO;
  State.SetInternalSetting(setting);
  const TWaveform tones[4] = {TWaveform::_Sine, TWaveform::_Square, TWaveform::_Triangle, TWaveform::_Sawtooth};
  const std::int32_t frequencies[4] = {1000, 3000, 5000, 7000};
  const TOutputChannel channels[4] = {TOutputChannel::_Both, TOutputChannel::_Lch, TOutputChannel::_Rch,
                                      TOutputChannel::_Both};
  for (int k = 0; k < 6; ++k) {
    TSignalAttribute r = State.SignalAttributeArray()[static_cast<std::size_t>(k)];
    if (k < 4) {
      r._Waveform = tones[k];
      r._Frequency = frequencies[k];
      r._OutputChannel = channels[k];
    }
    if (k == 0) {
      r._WarbleCycle = TWarbleCycle::_16Hz;
      r._CycleOn = 10;
      r._CycleOff = 5;
    }
    if (k == 2) r._WarbleCycle = TWarbleCycle::_8Hz;
    if (k == 4) {
      r._OutputChannel = TOutputChannel::_Both;
      r._SweepType = TSweepType::_Log;
      r._SweepPeriod = 5;
      r._SweepFrequency = {20, std::min(150000, Rate / 2 - 1)};
    }
    if (k == 5) {
      r._OutputChannel = TOutputChannel::_Both;
      r._NoiseType = TNoiseType::_PinkNoise;
      r._Amplitude = -30;
    }
    State.SetSignalAttribute(k, r);
  }
}

// A Play of the heavy set on the driver road, from the press to the
// driver's start (the driver's own open and start cost nothing here): the
// seconds made, mixed and quantised before the start, and the waits between.
// The engine's caches are warm, as at every Play but the first. changed 1:
// the set changes before each Play (the amplitudes of its square, triangle
// and saw), so that every tone is made again, as at the first Play after a
// set is loaded or edited; changed 0: the same set Play after Play;
// changed 2: the set changes as with 1, its editor closes (the create-wave
// thread makes its tones ahead) and the Play comes a while later, the
// warm-up done.
void BM_AsioPlayToStart(benchmark::State& State) {
  const auto rate = static_cast<std::int32_t>(State.range(0));
  const bool changed = State.range(1) != 0;
  const bool warmUp = State.range(1) == 2;
  TBenchRoad bench;
  auto& host = bench.host;
  auto& state = bench.state;
  auto& view = bench.view;
  SetHeavySet(state, rate);
  auto play = [&] {
    state.Play();
    while (!host.Active()) {  // a start that outlasts the handler's wait goes on from a timer
      view.RunLater();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  };
  auto stop = [&] {
    state.Stop();
    host.SetActive(false);  // what the display thread has done by the next Play
  };
  play();  // the caches
  stop();
  std::int32_t amplitude = 0;
  for (auto _ : State) {
    if (changed) {
      State.PauseTiming();
      amplitude = amplitude == 0 ? -1 : 0;
      for (std::size_t k = 1; k < 4; ++k) {
        TSignalAttribute r = state.SignalAttributeArray()[k];
        r._Amplitude = amplitude;
        state.SetSignalAttribute(static_cast<std::int32_t>(k), r);
      }
      if (warmUp) {
        state.WarmUpCreateWave();
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      }
      State.ResumeTiming();
    }
    play();
    State.PauseTiming();
    stop();
    // The road's thread makes the next seconds after the start: let it end
    // before the next Play, as a play of a few seconds does.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    State.ResumeTiming();
  }
  state.Shutdown();
}
BENCHMARK(BM_AsioPlayToStart)->ArgsProduct({{384000}, {0, 1, 2}})->ArgNames({"rate", "changed"})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// The steps of that start on the create-wave thread and the road, one by
// one (caches warm): 0 the first second's records (every tone, the sweep
// and the noise), 1 its mix, 2 its quantisation, 3 the second second's
// records (the sweep and the noise, and the tones summed once for the later
// mixes), 4 its mix (from the sums); 5 the first second's records at a
// later Play of the same set (the create-wave thread keeps the tones); 6
// the first second's records as the wave-out road makes them (the direct
// generators and Kellet's pink noise, whatever the transforms setting).
void BM_AsioStartStep(benchmark::State& State) {
  const auto rate = static_cast<std::int32_t>(State.range(0));
  const int step = static_cast<int>(State.range(1));
  TBenchState bench;
  auto& engine = bench.engine;
  auto& state = bench.state;
  SetHeavySet(state, rate);
  TSynthesisInputs inputs{6, state.PCMFormat(), state.InternalSetting(), 0,
                          PlayableSignalAttributeArray(state.SignalAttributeArray(), state.PCMFormat()), 1u};
  TOneSecondSynthesizer synthesizer(engine);
  synthesizer.KeepTonesAcrossSeries(step == 5);
  TWaveBufferExtendedStereo mixed;
  TWaveBufferIntegerStereo quantized;
  auto run = [&](int Step) {
    if (Step == 0 || Step == 5) synthesizer.Begin(inputs, TGeneratorChoice::_FollowFFTuse);
    if (Step == 6) synthesizer.Begin(inputs, TGeneratorChoice::_Direct);
    if (Step == 1 || Step == 4) synthesizer.Mix(mixed);
    if (Step == 2) engine.QuantizeSignalInto(inputs.PCMFormat, 0.1L, 0.1L, mixed, synthesizer.Seed(), quantized);
    if (Step == 3) synthesizer.Advance();
  };
  for (int s = 0; s < 5; ++s) run(s);  // the caches
  for (auto _ : State) {
    State.PauseTiming();
    for (int s = 0; s < step && s < 5; ++s) run(s);
    State.ResumeTiming();
    run(step);
  }
  benchmark::DoNotOptimize(quantized[0].data());
  state.Shutdown();
}
BENCHMARK(BM_AsioStartStep)
    ->ArgsProduct({{384000}, {0, 1, 2, 3, 4, 5, 6}})
    ->ArgNames({"rate", "step"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);

// The create-wave thread's warm-up of the heavy set after its square,
// triangle and saw changed (caches warm): the three made side by side, as
// after an edit before the Play; what it takes off that Play's first second.
void BM_AsioWarmUp(benchmark::State& State) {
  const auto rate = static_cast<std::int32_t>(State.range(0));
  TBenchState bench;
  auto& state = bench.state;
  SetHeavySet(state, rate);
  TSynthesisInputs inputs{6, state.PCMFormat(), state.InternalSetting(), 0,
                          PlayableSignalAttributeArray(state.SignalAttributeArray(), state.PCMFormat()), 1u};
  TOneSecondSynthesizer synthesizer(bench.engine);
  synthesizer.KeepTonesAcrossSeries(true);
  synthesizer.WarmUp(inputs, TGeneratorChoice::_FollowFFTuse, {});  // the caches
  std::int32_t amplitude = 0;
  for (auto _ : State) {
    State.PauseTiming();
    amplitude = amplitude == 0 ? -1 : 0;
    for (std::size_t k = 1; k < 4; ++k) inputs.SignalAttributeArray[k]._Amplitude = amplitude;
    State.ResumeTiming();
    synthesizer.WarmUp(inputs, TGeneratorChoice::_FollowFFTuse, {});
  }
  state.Shutdown();
}
BENCHMARK(BM_AsioWarmUp)->Arg(384000)->ArgName("rate")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Each record of the heavy set's first second on its own (caches warm), as
// the create-wave thread makes it (spectral 1: the inverse-transform tones
// and the spectral pink noise) or as the wave-out road does (spectral 0: the
// direct generators and Kellet's pink noise): 0 to 3 the tones, 4 the
// sweep, 5 the pink noise.
void BM_AsioFirstSecondRecord(benchmark::State& State) {
  const auto rate = static_cast<std::int32_t>(State.range(0));
  const auto record = static_cast<std::size_t>(State.range(1));
  const bool spectral = State.range(2) != 0;
  TBenchState bench;
  auto& engine = bench.engine;
  auto& state = bench.state;
  SetHeavySet(state, rate);
  const TPCMFormat format = state.PCMFormat();
  const TInternalSetting setting = state.InternalSetting();
  const TSignalAttribute r = PlayableSignalAttributeArray(state.SignalAttributeArray(), format)[record];
  TWaveBufferExtended buffer;
  auto run = [&] {
    if (record < 4)
      engine.GenerateToneInto(format, r, setting, spectral, buffer);
    else if (record == 4)
      engine.GenerateSweepInto(format, r, 0, buffer);
    else
      engine.GenerateNoiseInto(format, r, spectral ? TPinkNoiseMethod::_LPF : TPinkNoiseMethod::_Kellet, 1u, buffer);
  };
  run();
  for (auto _ : State) run();
  benchmark::DoNotOptimize(buffer.data());
  state.Shutdown();
}
BENCHMARK(BM_AsioFirstSecondRecord)
    ->ArgsProduct({{384000}, {0, 1, 2, 3, 4, 5}, {1, 0}})
    ->ArgNames({"rate", "record", "spectral"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
