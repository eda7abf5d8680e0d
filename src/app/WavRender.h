// Rendering the signal set into a WAV file, second after second: each second
// is fetched from the synthesis road, quantised at unity gain, packed and
// written, and progress is reported after each one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "app/WavFile.h"
#include "synthesis/UnitType.h"

// Shown once for every second that could not be synthesised.
inline constexpr const char* kMsgCannotCreateWaveData = "Error - Cannot Create Wave Data.";
// Shown when a render is requested while one is running.
inline constexpr const char* kMsgWavFileBusy = "Error - A WAV file is already being written.";

struct TWavRenderHooks {
  // Second number `Second` (0 first) of the mixed signal, or nullptr when it
  // could not be made in time. Second 0 starts a new series with the sweep at
  // its beginning. The result must belong to exactly that second (an answer
  // that arrives late for an earlier second must not be returned for a later
  // one) and stays valid until the next call. Seed receives the second's
  // seed: its noise was drawn from it, and its dither is.
  std::function<const TWaveBufferExtendedStereo*(std::int32_t Second, std::uint32_t& Seed)> FetchSecond;
  // Quantisation of one mixed second to the file's PCM format, gains 1.0,
  // dither from the second's seed, written over the last argument (kept from
  // one second to the next).
  std::function<void(const TWaveBufferExtendedStereo&, std::uint32_t Seed, TWaveBufferIntegerStereo&)> Quantize;
  // Called after each second written (1 .. Seconds); may be empty.
  std::function<void(std::int32_t SecondsDone, std::int32_t Seconds)> SecondWritten;
  // Shows a message to the user while the render goes on; may be empty.
  std::function<void(const std::string& Message)> ShowError;
  // Asked before each second and after one that did not come: true ends the
  // render, and nothing of the file is kept (the user cancelled). May be
  // empty.
  std::function<bool()> Cancelled;
};

enum class TWavRenderStatus : std::uint8_t {
  _Completed,  // the file holds every second (some possibly as stand-ins)
  _Failed,     // nothing usable was written; Message says why
  _Busy,       // another render was running; nothing was touched
  _Cancelled,  // the user ended it; nothing was written, an earlier file is as it was
};

struct TWavRenderResult {
  TWavRenderStatus Status = TWavRenderStatus::_Failed;
  std::int32_t MissingSeconds = 0;  // seconds written as stand-ins
  std::string Message;              // for _Failed and _Busy: the text to show
  bool Completed() const { return Status == TWavRenderStatus::_Completed; }
};

// Renders one file at a time; a request made while a file is being rendered
// (for example from a window event handled during the render) is refused
// with _Busy and touches nothing.
class TWavRenderer {
 public:
  // Renders `RecordTime` seconds of `PCMFormat` into `Sink`. On failure the
  // sink is discarded.
  TWavRenderResult Render(const TPCMFormat& PCMFormat, std::int32_t RecordTime, TByteSink& Sink,
                          const TWavRenderHooks& Hooks);
  // Creates (or replaces) `FileName` and renders into it. A file that cannot
  // be written completely is removed.
  TWavRenderResult RenderFile(const TPCMFormat& PCMFormat, std::int32_t RecordTime,
                              const std::filesystem::path& FileName, const TWavRenderHooks& Hooks);

  bool Busy() const { return FBusy; }

  // Ends the render under way at once, as a cancel does: its file is
  // discarded now (an earlier file of its name stays as it was) and the
  // render returns _Cancelled as soon as it has control again, writing
  // nothing more. Meant for a call from inside one of the render's own hooks
  // (a window event handled meanwhile) when the process may end before the
  // render unwinds: the end of the user's session. Nothing without a render.
  void CancelNow() noexcept;
  // True from CancelNow to the end of that render.
  bool CancelledNow() const { return FCancelledNow; }

 private:
  TWavRenderResult Run(const TWavLayout& Layout, TByteSink& Sink, const TWavRenderHooks& Hooks);
  bool FBusy = false;
  TByteSink* FSink = nullptr;  // the sink of the render under way
  bool FCancelledNow = false;
};

// The engine's quantiser for `PCMFormat` at unity gain, one second per call.
std::function<void(const TWaveBufferExtendedStereo&, std::uint32_t, TWaveBufferIntegerStereo&)>
UnityGainQuantizer(const TPCMFormat& PCMFormat);
