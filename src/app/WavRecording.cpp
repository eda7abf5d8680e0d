// The main window's WAV writer over the create-wave thread.
#include "app/WavRecording.h"

std::int32_t SweepStartOfSecond(const TSignalAttributeArray& Records, std::int32_t SamplingRate,
                                std::int32_t Second) {
  std::int64_t period = 0;
  for (const TSignalAttribute& record : Records)
    if (record._Waveform == TWaveform::_Sweep) {
      period = std::int64_t(record._SweepPeriod) * SamplingRate;
      break;
    }
  // As the synthesis advances it: one second on, back to 0 at the period's end.
  std::int64_t start = 0;
  for (std::int32_t s = 0; s < Second; ++s) {
    start += SamplingRate;
    if (period <= start) start = 0;
  }
  return static_cast<std::int32_t>(start);
}

namespace {

// One writer for the program: the user-interface thread writes one file at a
// time, and a request from an event handled meanwhile is refused.
TWavRenderer Renderer;

}  // namespace

TWavRenderResult CreateWavFile(TMainState& State, TWavRecordingWindow& Window) {
  if (Renderer.Busy()) return {TWavRenderStatus::_Busy, 0, kMsgWavFileBusy};

  // However the writing ends (an exception included), a close of the main
  // window deferred meanwhile is carried out at its end.
  struct TRenderingScope {
    TMainState& State;
    explicit TRenderingScope(TMainState& S) : State(S) {
      State.BeginRendering([] { Renderer.CancelNow(); });
    }
    ~TRenderingScope() {
      try {
        State.EndRendering();
      } catch (...) {
      }
    }
  } rendering(State);

  State.SweepStartTime = 0;
  const TPCMFormat format = State.PCMFormat();
  const std::int32_t recordTime = State.InternalSetting()._RecordTime;
  const std::int32_t step = recordTime > 0 ? Window.ProgressMax() / recordTime : 0;

  // After a second that did not come the thread's series may lag behind (its
  // answer is late, or a command it had not taken yet was replaced), so the
  // next second starts a new series where the sweep stands at that second:
  // nothing after a missing second shifts.
  bool inStep = false;
  // Each next second is asked for as soon as the one before has come: the
  // thread makes it in its other result slot while this one is quantised
  // and written.
  bool asked = false;
  const TSignalAttributeArray records = State.SignalAttributeArray();
  // The time seed, read once: second n of the file has this seed plus n, for
  // its noise and its dither, also when it starts a new series.
  const std::uint32_t firstSeed = State.TimeSeed();
  TWavRenderHooks hooks;
  // A close of the main window that waits for this file does not wait for a
  // second that did not come (past its bound, or failed): the file then ends
  // as CANCEL ends it, and the close follows. While the seconds come, the
  // close waits for the whole file.
  bool closeCancels = false;
  const std::function<bool()> cancelled = [&Window, &closeCancels] {
    const bool asked = Window.KeepResponsive();
    return asked || closeCancels || Renderer.CancelledNow();
  };
  hooks.FetchSecond = [&State, &inStep, &asked, &records, &cancelled, &closeCancels, rate = format._SamplingRate,
                       recordTime, firstSeed](std::int32_t Second, std::uint32_t& Seed) {
    if (asked) {
      // asked for by the second before
    } else if (inStep) {
      State.RequestCreateWave(kCreateWaveNext);
    } else {
      State.SweepStartTime = SweepStartOfSecond(records, rate, Second);
      State.SeriesSeed = firstSeed + static_cast<std::uint32_t>(Second);
      State.RequestCreateWave(kCreateWaveAll);
      State.SeriesSeed.reset();
    }
    const TWaveBufferExtendedStereo* mixed = State.FetchMixedSecond(&Seed, cancelled);
    if (!mixed && State.CloseDeferred()) closeCancels = true;
    inStep = mixed != nullptr;
    asked = inStep && Second + 1 < recordTime;
    if (asked) State.RequestCreateWave(kCreateWaveNext);
    return mixed;
  };
  hooks.Quantize = UnityGainQuantizer(format);
  hooks.SecondWritten = [&Window, step](std::int32_t, std::int32_t) { Window.StepProgress(step); };
  hooks.ShowError = [&Window](const std::string& Message) { Window.ShowErrorMessage(Message); };
  hooks.Cancelled = cancelled;

  TWavRenderResult result = Renderer.RenderFile(format, recordTime, Window.WavFileName(), hooks);
  State.SweepStartTime = 0;
  if (result.Completed() || result.Status == TWavRenderStatus::_Cancelled)
    Window.CloseWindow();
  else
    Window.ShowErrorMessage(result.Message);
  return result;
}
