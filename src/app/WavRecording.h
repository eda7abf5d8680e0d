// The main window's WAV writer: renders the current signal set into the file
// that the recording window names, one second after the other from the
// create-wave thread, at unity gain, stepping the window's progress bar.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "app/MainState.h"
#include "app/WavRender.h"

// The recording window as the writer drives it (user-interface thread).
class TWavRecordingWindow {
 public:
  // xWavFileName: the file to write.
  virtual std::filesystem::path WavFileName() const = 0;
  virtual std::int32_t ProgressMax() const = 0;
  // Advances the progress bar by Step and repaints it at once.
  virtual void StepProgress(std::int32_t Step) = 0;
  // Message box without owner, caption "Error", OK button, no icon.
  virtual void ShowErrorMessage(std::string_view Text) = 0;
  // Closes the window; its close handler returns the main window to _Stop.
  virtual void CloseWindow() = 0;
  // Handles the window events that have come meanwhile, so that the windows
  // stay responsive while the file is written; true once the user has
  // cancelled the file.
  virtual bool KeepResponsive() = 0;

 protected:
  ~TWavRecordingWindow() = default;
};

// Where the sweep of second Second (0 first) of a file starts, in frames.
std::int32_t SweepStartOfSecond(const TSignalAttributeArray& Records, std::int32_t SamplingRate,
                                std::int32_t Second);

// Writes InternalSetting._RecordTime seconds of the signal set in the current
// PCM format into Window.WavFileName(), the sweep starting from its
// beginning. Each second is asked of the create-wave thread (command 0 with
// the inputs for the first, command 1 for every next one) and waited for; a
// second that does not come shows "Error - Cannot Create Wave Data." and keeps
// its place in the file; the second after it starts a new series (command 0)
// at its own place in the sweep. The bar advances by its maximum div _RecordTime per
// second. A complete file closes the window; a file that cannot be created or
// written is reported, removed, and the window stays open. One file at a
// time: a request made while a file is being written is refused (_Busy).
// A second is waited for as long as the create-wave thread makes it (up to
// its bound), and the windows stay responsive meanwhile; a file the user
// cancels is not kept (an earlier file of its name stays as it was) and the
// window closes. State.Rendering() holds while the file is written; a close
// of the main window deferred meanwhile is carried out when the writing ends,
// however it ends. With such a close pending, a second that does not come
// ends the file as CANCEL does (the close does not wait second by second
// for a synthesis that is stuck). The end of the user's session ends the
// file at once, as CANCEL does (State.EndSession).
TWavRenderResult CreateWavFile(TMainState& State, TWavRecordingWindow& Window);
