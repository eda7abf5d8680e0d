// The render loop of a WAV file.
#include "app/WavRender.h"

#include <exception>
#include <memory>
#include <optional>

namespace {

// Marks the renderer busy for the life of one render.
class TBusyScope {
 public:
  explicit TBusyScope(bool& Flag) : FFlag(Flag) { FFlag = true; }
  ~TBusyScope() { FFlag = false; }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;

 private:
  bool& FFlag;
};

TWavRenderResult Failed(std::string Message) {
  return {TWavRenderStatus::_Failed, 0, std::move(Message)};
}

TWavRenderResult BusyResult() { return {TWavRenderStatus::_Busy, 0, kMsgWavFileBusy}; }

TWavRenderResult Cancel(TByteSink& Sink) {
  Sink.Discard();
  return {TWavRenderStatus::_Cancelled, 0, {}};
}

bool HoldsSecond(const auto& Stereo, std::int32_t Rate) {
  return Stereo[0].size() == std::size_t(Rate) && Stereo[1].size() == std::size_t(Rate);
}

std::optional<TWavLayout> LayoutFor(const TPCMFormat& PCMFormat, std::int32_t RecordTime,
                                    std::string& Message) {
  try {
    return MakeWavLayout(PCMFormat._SamplingRate, PCMFormat._Quantization, RecordTime);
  } catch (const std::invalid_argument& e) {
    Message = std::string("Error - ") + e.what();
    return std::nullopt;
  }
}

}  // namespace

TWavRenderResult TWavRenderer::Render(const TPCMFormat& PCMFormat, std::int32_t RecordTime,
                                      TByteSink& Sink, const TWavRenderHooks& Hooks) {
  if (FBusy) return BusyResult();
  TBusyScope busy(FBusy);
  std::string message;
  const auto layout = LayoutFor(PCMFormat, RecordTime, message);
  if (!layout) {
    Sink.Discard();
    return Failed(message);
  }
  return Run(*layout, Sink, Hooks);
}

TWavRenderResult TWavRenderer::RenderFile(const TPCMFormat& PCMFormat, std::int32_t RecordTime,
                                          const std::filesystem::path& FileName,
                                          const TWavRenderHooks& Hooks) {
  if (FBusy) return BusyResult();
  TBusyScope busy(FBusy);
  // Check everything before the file is created, so that a refused request
  // leaves an existing file of that name alone, and before the first second,
  // so that no render is spent on a file that could never be written (the
  // sink refuses a target that the final replace would refuse).
  std::string message;
  const auto layout = LayoutFor(PCMFormat, RecordTime, message);
  if (!layout) return Failed(message);
  std::unique_ptr<TFileSink> sink;
  try {
    sink = std::make_unique<TFileSink>(FileName);
  } catch (const EFileError& e) {
    return Failed(e.what());
  }
  return Run(*layout, *sink, Hooks);
}

void TWavRenderer::CancelNow() noexcept {
  if (!FSink) return;
  FCancelledNow = true;
  FSink->Discard();
}

TWavRenderResult TWavRenderer::Run(const TWavLayout& Layout, TByteSink& Sink, const TWavRenderHooks& Hooks) {
  // The render's sink, for CancelNow, while it runs.
  struct TSinkScope {
    TWavRenderer& Renderer;
    TSinkScope(TWavRenderer& R, TByteSink& Sink) : Renderer(R) {
      Renderer.FSink = &Sink;
      Renderer.FCancelledNow = false;
    }
    ~TSinkScope() {
      Renderer.FSink = nullptr;
      Renderer.FCancelledNow = false;
    }
  } sinkScope(*this, Sink);
  TWavRenderResult result{TWavRenderStatus::_Completed, 0, {}};
  try {
    TWavWriter writer(Sink, Layout);
    TWaveBufferIntegerStereo quantised;  // written over every second
    // A cancel asked for inside a hook counts as soon as the hook returns.
    const auto cancelled = [this, &Hooks] {
      const bool asked = Hooks.Cancelled && Hooks.Cancelled();
      return asked || FCancelledNow;
    };
    for (std::int32_t second = 0; second < Layout.Seconds; ++second) {
      if (cancelled()) return Cancel(Sink);
      bool written = false;
      std::uint32_t seed = 0;
      const TWaveBufferExtendedStereo* mixed = Hooks.FetchSecond(second, seed);
      if (FCancelledNow) return Cancel(Sink);
      if (mixed != nullptr && HoldsSecond(*mixed, Layout.SamplingRate)) {
        Hooks.Quantize(*mixed, seed, quantised);
        if (HoldsSecond(quantised, Layout.SamplingRate)) {
          writer.WriteSecond(quantised);
          written = true;
        }
      }
      // A wait for the second that the user's cancel ended is no missing second.
      if (!written && cancelled()) return Cancel(Sink);
      if (!written) {
        // The second keeps its place in the file, so nothing after it shifts.
        ++result.MissingSeconds;
        if (Hooks.ShowError) Hooks.ShowError(kMsgCannotCreateWaveData);
        if (FCancelledNow) return Cancel(Sink);
        writer.WriteMissingSecond();
      }
      if (Hooks.SecondWritten) Hooks.SecondWritten(second + 1, Layout.Seconds);
    }
    if (FCancelledNow) return Cancel(Sink);
    writer.Finish();
  } catch (const EFileError& e) {
    Sink.Discard();
    return Failed(e.what());
  } catch (const std::exception& e) {
    Sink.Discard();
    return Failed(std::string("Error - Cannot Create the WAV File: ") + e.what());
  }
  return result;
}
