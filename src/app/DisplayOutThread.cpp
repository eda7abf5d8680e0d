// The display thread: the playing-time label and the two scope charts,
// posted to the user-interface thread.
#include <algorithm>

#include "app/UnitThread.h"

namespace {

constexpr std::uint32_t kDisplayWaitMs = 1000;

}  // namespace

// ---------------------------------------------------------------------------
// TThreadDisplayOut

TThreadDisplayOut::TThreadDisplayOut(TAutoResetEvent& EventCallDisplayOut, TUserInterfaceSink& UserInterface)
    : FEventCallDisplayOut(EventCallDisplayOut), FUserInterface(UserInterface) {}

TThreadDisplayOut::~TThreadDisplayOut() { End(); }

// Only what the charts show is copied (by the sound-out thread, often while a gain bar moves).
void TThreadDisplayOut::CopyChartPoints(const TWaveBufferInteger& From, TWaveBufferInteger& To) {
  To.assign(From.begin(), From.begin() + std::min<std::ptrdiff_t>(std::ssize(From), kMaxChartPoints));
}

void TThreadDisplayOut::HandOver(const TWaveBufferInteger& Left, const TWaveBufferInteger& Right) {
  std::lock_guard<std::mutex> lock(FHandOverLock);
  CopyChartPoints(Left, WaveBufferL);
  CopyChartPoints(Right, WaveBufferR);
}

void TThreadDisplayOut::HandOver(const TWaveBufferInteger& Left, const TWaveBufferInteger& Right,
                                 std::int32_t PlayTime) {
  std::lock_guard<std::mutex> lock(FHandOverLock);
  CopyChartPoints(Left, WaveBufferL);
  CopyChartPoints(Right, WaveBufferR);
  FPlayTime = PlayTime;
}

void TThreadDisplayOut::HandOverPlayTime(std::int32_t PlayTime) {
  std::lock_guard<std::mutex> lock(FHandOverLock);
  FPlayTime = PlayTime;
}

void TThreadDisplayOut::Call(std::uint8_t Command, TStopHost StopHost) {
  FMailbox.Post(Command, std::move(StopHost));
  FEventCallDisplayOut.Set();
}

std::string TThreadDisplayOut::PlayTimeCaption(std::int32_t& PlayTime) {
  if (PlayTime > 1000) PlayTime = 1000;
  return PlayTime == 1000 ? std::string("---") : std::to_string(PlayTime);
}

void TThreadDisplayOut::Execute() {
  while (!Terminated()) {
    if (!FEventCallDisplayOut.Wait(kDisplayWaitMs)) continue;
    if (Terminated()) break;
    try {
      if (auto command = FMailbox.Take()) Run(command->Code, command->Payload);
    } catch (...) {  // the command is dropped; the next one is served
      try {
        FUserInterface.PostErrorMessage(std::string(kMessageWorkerThreadFailed));
      } catch (...) {
      }
    }
  }
}

void TThreadDisplayOut::Run(std::uint8_t Command, const TStopHost& StopHost) {
  switch (Command) {
    case kDisplayStop:
      {
        std::lock_guard<std::mutex> lock(FHandOverLock);
        FPlayTime = 0;
        WaveBufferL.clear();
        WaveBufferR.clear();
      }
      DisplayPlayTime();
      DisplayWaveChart();
      DataNumberL = DataNumberR = maxL = maxR = 0;
      if (StopHost) {
        std::lock_guard<std::mutex> lock(Section0);
        StopHost();
      }
      break;
    case kDisplayStart:
      {
        std::lock_guard<std::mutex> lock(FHandOverLock);
        FPlayTime = 0;
      }
      DisplayPlayTime();
      DisplayWaveChart();
      break;
    case kDisplayPlayTime:
      DisplayPlayTime();
      break;
    case kDisplayCharts:
      DisplayWaveChart();
      break;
    case kDisplayPlayTimeAndCharts:
      DisplayPlayTime();
      DisplayWaveChart();
      break;
    default:
      break;
  }
}

void TThreadDisplayOut::DisplayPlayTime() {
  std::string caption;
  {
    std::lock_guard<std::mutex> lock(FHandOverLock);
    caption = PlayTimeCaption(FPlayTime);
  }
  FUserInterface.PostPlayTime(std::move(caption));
}

void TThreadDisplayOut::DisplayWaveChart() {
  std::vector<std::int32_t> left, right;
  {
    std::lock_guard<std::mutex> lock(FHandOverLock);
    DataNumberL = static_cast<std::int32_t>(WaveBufferL.size());
    DataNumberR = static_cast<std::int32_t>(WaveBufferR.size());
    maxL = std::min(DataNumberL, kMaxChartPoints);
    maxR = std::min(DataNumberR, kMaxChartPoints);
    left.assign(WaveBufferL.begin(), WaveBufferL.begin() + maxL);
    right.assign(WaveBufferR.begin(), WaveBufferR.begin() + maxR);
  }
  FUserInterface.PostWaveChart(std::move(left), std::move(right));
}
