// How long the main window's handlers hold its message loop while a gain bar
// is dragged during a play: the start-up set plays at 48000 Hz with 250 ms
// segments through a device that returns each buffer after its playing time;
// the left bar is dragged from top to bottom and back with L/R Lock on (each
// move runs both bars' handlers and sends the gain command twice), and the
// gain checks run when their time is up, as the window's timer runs them.
// Reports the longest and the mean handler of the drag, and the Play and Stop
// handlers around it, in milliseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "app/Fakes.h"
#include "app/MainControls.h"

namespace {

using Clock = std::chrono::steady_clock;

// Keeps positions; a track bar given a new position runs its handler. The
// handlers' times are taken by the caller.
class TDragWindow final : public TMainWindowView {
 public:
  TMainControls* Controls = nullptr;
  std::vector<std::pair<Clock::time_point, std::function<void()>>> Later;
  int Messages = 0;

  void SetPlayGlyph(std::string_view) override {}
  void ShowErrorMessage(std::string_view) override { ++Messages; }
  void CallLater(std::uint32_t DelayMs, std::function<void()> Task) override {
    Later.emplace_back(Clock::now() + std::chrono::milliseconds(DelayMs), std::move(Task));
  }
  void SetCaption(std::string_view, const std::string&) override {}
  void SetVisible(std::string_view, bool) override {}
  void SetGlyph(std::string_view, std::string_view) override {}
  void SetFontColor(std::string_view, TColor) override {}
  void SetFaceColor(std::string_view, TColor) override {}
  std::int32_t Position(std::string_view Component) const override {
    const auto found = Positions.find(std::string(Component));
    return found == Positions.end() ? 0 : found->second;
  }
  void SetPosition(std::string_view Component, std::int32_t Value) override {
    const bool changed = Position(Component) != Value;
    Positions[std::string(Component)] = Value;
    if (!changed || !Controls) return;
    if (Component == "TrackBar_L") Controls->TrackBarChange(TGainSide::_Left);
    if (Component == "TrackBar_R") Controls->TrackBarChange(TGainSide::_Right);
  }
  void SetLeftAxisAutomatic(std::string_view, bool) override {}
  void SetLeftAxisMaximum(std::string_view, double) override {}
  void SetLeftAxisMinimum(std::string_view, double) override {}
  bool ShowDialog(TMainDialog) override { return false; }

  std::map<std::string, std::int32_t> Positions;
};

void BM_GainDragWhilePlaying(benchmark::State& State) {
  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  TExFunctionEngine engine;
  fakes::TFakeUserInterface ui;
  TDragWindow window;
  TMainState state(TMainServices{PortableEventFactory(), device, memory, engine, ui, window, {}});
  TMainControls controls(state, window);
  window.Controls = &controls;
  const auto playStart = Clock::now();
  state.Play();
  const double playMs = std::chrono::duration<double, std::milli>(Clock::now() - playStart).count();
  if (state.xOperation() != TOperation::_Play) {
    State.SkipWithError("the play did not start");
    return;
  }
  // The device returns one buffer per segment length.
  std::atomic<bool> playing{true};
  std::thread player([&] {
    while (playing) {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
      device.ReportDone();
    }
  });

  double longest = 0, total = 0;
  std::int64_t handlers = 0;
  auto timed = [&](const std::function<void()>& Handler) {
    const auto start = Clock::now();
    Handler();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    longest = std::max(longest, ms);
    total += ms;
    ++handlers;
  };
  std::int32_t position = 0, step = 1;
  for (auto _ : State) {
    // One move every 5 ms, as a quick drag delivers them.
    position += step;
    if (position == 100 || position == 0) step = -step;
    timed([&] { window.SetPosition("TrackBar_L", position); });
    while (!window.Later.empty() && window.Later.front().first <= Clock::now()) {
      auto task = std::move(window.Later.front().second);
      window.Later.erase(window.Later.begin());
      timed(task);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const auto stopStart = Clock::now();
  state.Stop();
  const double stopMs = std::chrono::duration<double, std::milli>(Clock::now() - stopStart).count();
  playing = false;
  player.join();
  State.counters["play_handler_ms"] = playMs;
  State.counters["stop_handler_ms"] = stopMs;
  State.counters["longest_handler_ms"] = longest;
  State.counters["mean_handler_ms"] = handlers ? total / static_cast<double>(handlers) : 0.0;
  State.counters["gain_messages"] = window.Messages;
}
BENCHMARK(BM_GainDragWhilePlaying)->Iterations(400)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
