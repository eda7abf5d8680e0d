// The main window's WAV writer over the create-wave thread.
#include "app/WavRecording.h"

TWavRenderResult CreateWavFile(TMainState& State, TWavRecordingWindow& Window) {
  // One writer for the program: the user-interface thread writes one file at
  // a time, and a request from an event handled meanwhile is refused.
  static TWavRenderer Renderer;
  if (Renderer.Busy()) return {TWavRenderStatus::_Busy, 0, kMsgWavFileBusy};

  State.SweepStartTime = 0;
  const TPCMFormat format = State.PCMFormat();
  const std::int32_t recordTime = State.InternalSetting()._RecordTime;
  const std::int32_t step = recordTime > 0 ? Window.ProgressMax() / recordTime : 0;

  TWavRenderHooks hooks;
  hooks.FetchSecond = [&State](std::int32_t Second) {
    State.RequestCreateWave(Second == 0 ? kCreateWaveAll : kCreateWaveNext);
    return State.FetchMixedSecond();
  };
  hooks.Quantize = UnityGainQuantizer(format);
  hooks.SecondWritten = [&Window, step](std::int32_t, std::int32_t) { Window.StepProgress(step); };
  hooks.ShowError = [&Window](const std::string& Message) { Window.ShowErrorMessage(Message); };

  TWavRenderResult result = Renderer.RenderFile(format, recordTime, Window.WavFileName(), hooks);
  if (result.Completed())
    Window.CloseWindow();
  else
    Window.ShowErrorMessage(result.Message);
  return result;
}
