#include "app/UnitThread.h"

#include <algorithm>
#include <cstring>

#include "synthesis/ExtendedPrecision.h"

namespace {

constexpr std::uint32_t kIdleWaitMs = 100;
constexpr std::uint32_t kDeviceWaitMs = 10;
constexpr std::uint32_t kCreateWaveWaitMs = 10;
constexpr std::uint32_t kDisplayWaitMs = 1000;

}  // namespace

// ---------------------------------------------------------------------------
// TWorkerThread

TWorkerThread::~TWorkerThread() {
  // Derived destructors end the loop first; this only catches a thread that
  // was never started or already joined.
  if (FThread.joinable()) std::terminate();
}

void TWorkerThread::Start() {
  // Windows starts threads at 53-bit x87 precision; the signal arithmetic
  // needs the 64-bit mantissa.
  FThread = krv::StartExtendedThread([this] { Execute(); });
}

void TWorkerThread::Terminate() {
  {
    std::lock_guard<std::mutex> lock(FPauseLock);
    FTerminated.store(true);
  }
  FPauseWake.notify_all();
  Wake();
}

void TWorkerThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

void TWorkerThread::End() {
  Terminate();
  WaitFor();
}

void TWorkerThread::Pause(std::uint32_t TimeoutMs) {
  std::unique_lock<std::mutex> lock(FPauseLock);
  FPauseWake.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [this] { return FTerminated.load(); });
}

// ---------------------------------------------------------------------------
// TThreadDisplayOut

TThreadDisplayOut::TThreadDisplayOut(TAutoResetEvent& EventCallDisplayOut, TUserInterfaceSink& UserInterface)
    : FEventCallDisplayOut(EventCallDisplayOut), FUserInterface(UserInterface) {}

TThreadDisplayOut::~TThreadDisplayOut() { End(); }

void TThreadDisplayOut::HandOver(const TWaveBufferInteger& Left, const TWaveBufferInteger& Right) {
  std::lock_guard<std::mutex> lock(FHandOverLock);
  WaveBufferL = Left;
  WaveBufferR = Right;
}

void TThreadDisplayOut::HandOver(const TWaveBufferInteger& Left, const TWaveBufferInteger& Right,
                                 std::int32_t PlayTime) {
  std::lock_guard<std::mutex> lock(FHandOverLock);
  WaveBufferL = Left;
  WaveBufferR = Right;
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
    if (auto command = FMailbox.Take()) Run(command->Code, command->Payload);
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

// ---------------------------------------------------------------------------
// TThreadCreateWave

TThreadCreateWave::TThreadCreateWave(TAutoResetEvent& EventCallCreateWave, const TEventFactory& CreateEvent,
                                     TSignalEngine& Engine)
    : FEventCallCreateWave(EventCallCreateWave),
      FAnswer(CreateEvent(kEventCreateWaveNotify)),
      FSynthesizer(Engine) {}

TThreadCreateWave::~TThreadCreateWave() { End(); }

std::uint32_t TThreadCreateWave::Call(std::uint8_t Command, TSynthesisInputs Inputs) {
  const std::uint32_t sequence = FMailbox.Post(Command, std::move(Inputs));
  FEventCallCreateWave.Set();
  return sequence;
}

const TWaveBufferExtendedStereo* TThreadCreateWave::Fetch(std::uint32_t Sequence, std::uint32_t TimeoutMs) {
  const auto answer = FAnswer.Await(Sequence, TimeoutMs);
  if (!answer || answer->Status != TCreateWaveNotify::_Prepared) return nullptr;
  return &WaveBufferExtendedStereoArray[answer->Detail];
}

void TThreadCreateWave::Execute() {
  FOddEven = true;
  while (!Terminated()) {
    if (!FEventCallCreateWave.Wait(kCreateWaveWaitMs)) continue;
    if (Terminated()) break;
    auto command = FMailbox.Take();
    if (!command) continue;
    if (command->Code == kCreateWaveAll) {
      FSynthesizer.Begin(command->Payload, TGeneratorChoice::_FollowFFTuse);
    } else if (command->Code == kCreateWaveNext) {
      if (!FSynthesizer.Begun()) {  // nothing to continue from
        FAnswer.Publish(TCreateWaveNotify::_FailedError, command->Sequence, 0);
        continue;
      }
      FSynthesizer.Advance();
    } else {
      continue;
    }
    const std::uint8_t slot = FOddEven ? 0 : 1;
    FSynthesizer.Mix(WaveBufferExtendedStereoArray[slot]);
    FOddEven = !FOddEven;
    FAnswer.Publish(TCreateWaveNotify::_Prepared, command->Sequence, slot);
  }
}

// ---------------------------------------------------------------------------
// Wave-out helpers

std::int32_t SegmentsPerSecond(TWavBufferSize WavBufferSize) {
  switch (WavBufferSize) {
    case TWavBufferSize::_50ms: return 20;
    case TWavBufferSize::_100ms: return 10;
    case TWavBufferSize::_125ms: return 8;
    case TWavBufferSize::_200ms: return 5;
    case TWavBufferSize::_250ms: return 4;
    case TWavBufferSize::_500ms: return 2;
  }
  return 4;
}

std::int32_t FramesPerSegment(std::int32_t SamplingRate, std::int32_t Segments) {
  return (SamplingRate + Segments - 1) / Segments;
}

std::uint32_t BytesPerFrame(std::int32_t Quantization) { return Quantization <= 16 ? 4u : 8u; }

TWaveFormatExtensible WaveOutFormat(const TPCMFormat& PCMFormat) {
  TWaveFormatExtensible format{};
  tWAVEFORMATEX& base = format.Format;
  base.wFormatTag = WaveFormatTagExtensible;
  base.nChannels = 2;
  base.wBitsPerSample = PCMFormat._Quantization <= 16 ? 16 : 32;
  base.nSamplesPerSec = static_cast<std::uint32_t>(PCMFormat._SamplingRate);
  base.nBlockAlign = static_cast<std::uint16_t>(base.nChannels * base.wBitsPerSample / 8);
  base.nAvgBytesPerSec = base.nBlockAlign * base.nSamplesPerSec;
  base.cbSize = 22;
  format.Samples.wValidBitsPerSample = static_cast<std::uint16_t>(PCMFormat._Quantization);
  format.dwChannelMask = 3;  // front left, front right
  format.SubFormat = PCMSubFormatGuid;
  return format;
}

void PackSegment(const TWaveBufferInteger& Left, const TWaveBufferInteger& Right, std::int32_t Segment,
                 std::int32_t Frames, std::int32_t Quantization, void* Destination) {
  const std::size_t first = static_cast<std::size_t>(Segment) * static_cast<std::size_t>(Frames);
  const std::size_t available = std::min(Left.size(), Right.size());
  const std::size_t count = first < available ? std::min<std::size_t>(Frames, available - first) : 0;
  auto* words = static_cast<std::uint32_t*>(Destination);
  if (Quantization <= 16) {
    for (std::size_t j = 0; j < count; ++j) {
      const auto l = static_cast<std::uint16_t>(Left[first + j]);
      const auto r = static_cast<std::uint16_t>(Right[first + j]);
      words[j] = static_cast<std::uint32_t>(l) | (static_cast<std::uint32_t>(r) << 16);
    }
    std::fill(words + count, words + Frames, 0u);
  } else {
    const int shift = 32 - Quantization;
    for (std::size_t j = 0; j < count; ++j) {
      words[2 * j] = static_cast<std::uint32_t>(Left[first + j]) << shift;
      words[2 * j + 1] = static_cast<std::uint32_t>(Right[first + j]) << shift;
    }
    std::fill(words + 2 * count, words + 2 * static_cast<std::size_t>(Frames), 0u);
  }
}

// ---------------------------------------------------------------------------
// TThreadSoundOut

TThreadSoundOut::TThreadSoundOut(TSoundOutOwner& Owner, TAutoResetEvent& EventCallSoundOut,
                                 const TEventFactory& CreateEvent, TWaveOutDevice& Device, TWaveMemory& Memory,
                                 TSignalEngine& Engine, TUserInterfaceSink& UserInterface,
                                 TThreadDisplayOut& Display)
    : FOwner(Owner),
      FEventCallSoundOut(EventCallSoundOut),
      FDevice(Device),
      FMemory(Memory),
      FEngine(Engine),
      FUserInterface(UserInterface),
      FDisplay(Display),
      FAnswer(CreateEvent(kEventSoundOutNotify)),
      EventWaveOutCallback(CreateEvent(kEventWaveOutCallback)),
      FSynthesizer(Engine) {}

TThreadSoundOut::~TThreadSoundOut() { End(); }

std::uint32_t TThreadSoundOut::Call(std::uint8_t Command) {
  const std::uint32_t sequence = FMailbox.Post(Command);
  FEventCallSoundOut.Set();
  return sequence;
}

std::optional<TThreadSoundOut::TAnswer> TThreadSoundOut::AwaitAnswer(std::uint32_t Sequence,
                                                                     std::uint32_t TimeoutMs,
                                                                     std::optional<TSoundOutNotify>* Stale) {
  return FAnswer.Await(Sequence, TimeoutMs, Stale);
}

void TThreadSoundOut::Wake() {
  FEventCallSoundOut.Set();
  EventWaveOutCallback->Set();
}

// The device's callback, on the system's thread: count, flag, wake.
void TThreadSoundOut::WaveOutMessage(TWaveOutCallback Message) noexcept {
  switch (Message) {
    case TWaveOutCallback::_OpenWaveOut: FOpenMessage.store(true); break;
    case TWaveOutCallback::_CloseWaveOut: FCloseMessage.store(true); break;
    case TWaveOutCallback::_DoneWaveOut: FDoneMessages.fetch_add(1); break;
  }
  EventWaveOutCallback->Set();
}

TThreadSoundOut::TDeviceMessages TThreadSoundOut::TakeDeviceMessages() {
  TDeviceMessages messages;
  messages.Open = FOpenMessage.exchange(false);
  messages.Done = FDoneMessages.exchange(0);
  messages.Close = FCloseMessage.exchange(false);
  return messages;
}

void TThreadSoundOut::Execute() {
  while (!Terminated()) {
    switch (FState) {
      case TState::_Idle: IdlePass(); break;
      case TState::_Opening: OpeningPass(); break;
      case TState::_Playing: PlayingPass(); break;
      case TState::_Closing: ClosingPass(); break;
    }
  }
  EndWhileOpen();
}

void TThreadSoundOut::IdlePass() {
  if (FOwner.Operation() == TOperation::_Record) {  // a WAV file renders: take no command
    Pause(kIdleWaitMs);
    return;
  }
  if (!FEventCallSoundOut.Wait(kIdleWaitMs) || Terminated()) return;
  const auto command = FMailbox.Take();
  if (!command) return;
  if (command->Code == kSoundOutStart) {
    StartPlay(command->Sequence);
  } else if (command->Code == kSoundOutStop) {
    // Nothing plays: the stop has nothing left to do. Answering it lets a
    // requester that gave up on an earlier stop see the output stopped.
    FAnswer.Publish(TSoundOutNotify::_Stopped, command->Sequence);
  }
}

void TThreadSoundOut::StartPlay(std::uint32_t Sequence) {
  FPlaySequence = Sequence;
  FErrors = TSoundOutErrors{};
  LoadPlaySetting();
  TakeDeviceMessages();  // nothing left over from an earlier device
  OpenWaveOutDevice();
  if (FEnableWaveOut)
    FState = TState::_Opening;
  else
    AnswerErred(Sequence);
}

void TThreadSoundOut::OpeningPass() {
  const bool signalled = EventWaveOutCallback->Wait(kDeviceWaitMs);
  if (Terminated()) return;
  // A requester that gave up waiting for the start stops it; the device is
  // closed rather than left open.
  if (const auto command = FMailbox.Take(); command && command->Code == kSoundOutStop) {
    BeginClosing(TOutcome::_Stopped, command->Sequence);
    return;
  }
  if (!signalled) return;
  const TDeviceMessages messages = TakeDeviceMessages();
  if (messages.Close) {  // closed before it opened
    FEnableWaveOut = false;
    FOutcome = TOutcome::_Erred;
    FOutcomeSequence = FPlaySequence;
    FinishClose();
    return;
  }
  if (!messages.Open) return;
  if (!AllocateWaveMemory()) {  // freed with the close message
    BeginClosing(TOutcome::_Erred, FPlaySequence);
    return;
  }
  StartOutput();
}

void TThreadSoundOut::StartOutput() {
  const std::uint32_t bytes = static_cast<std::uint32_t>(FFrames) * BytesPerFrame(FSettings.Signals.PCMFormat._Quantization);
  for (int i = 0; i < 2; ++i)
    FHeaderPrepared[i] = FDevice.PrepareHeader(pWaveHdr[i], pWaveBuffer[i], bytes) == 0;
  FOddEven = true;
  FCount = 0;
  FPlayTime = 0;
  GenerateOneSecond(true);
  FDisplay.HandOver(WaveBufferL, WaveBufferR);
  FDisplay.Call(kDisplayStart);
  WriteWaveOutBuffer();
  FCount = 1;
  WriteWaveOutBuffer();
  // The thread plays from here on, whether or not the requester still
  // waits: a done message that comes at once is served.
  FState = TState::_Playing;
  FAnswer.Publish(TSoundOutNotify::_Started, FPlaySequence);
}

void TThreadSoundOut::PlayingPass() {
  if (!EventWaveOutCallback->Wait(kDeviceWaitMs) || Terminated()) return;
  const TDeviceMessages messages = TakeDeviceMessages();
  for (std::uint32_t i = 0; i < messages.Done && FState == TState::_Playing; ++i) HandleDone();
  if (messages.Close) {
    FEnableWaveOut = false;
    FHeaderPrepared[0] = FHeaderPrepared[1] = false;
    if (FState == TState::_Playing) {  // closed by the system
      FOutcome = TOutcome::_Stopped;
      FOutcomeSequence = 0;
    }
    FinishClose();
  }
}

void TThreadSoundOut::HandleDone() {
  if (const auto command = FMailbox.Take()) {
    if (command->Code == kSoundOutStop) {
      BeginClosing(TOutcome::_Stopped, command->Sequence);
      SendDisplay(kDisplayStop, false);
      return;
    }
    if (command->Code == kSoundOutGainChanged) {
      LoadOutputGain();
      RequantizeOneSecond();  // the segments still to be written carry the new gains
      SendDisplay(kDisplayCharts, false);
      FAnswer.Publish(TSoundOutNotify::_Changed, command->Sequence);
    }
  }
  ++FCount;
  if (FCount < FCountMax) {
    WriteWaveOutBuffer();
    return;
  }
  FCount = 0;
  ++FPlayTime;
  const TInternalSetting& setting = FSettings.Signals.InternalSetting;
  if (setting._Repeat == TRepeat::_Single && FPlayTime == setting._PlayTime) {
    // The reset discards the segment still queued, the last of this second.
    FPlayTime = 0;
    FOwner.BeginSinglePlayEnd();
    BeginClosing(TOutcome::_SingleEnd, 0);
    SendDisplay(kDisplayStop, false);
    return;
  }
  GenerateOneSecond(false);
  WriteWaveOutBuffer();
  SendDisplay(kDisplayPlayTimeAndCharts, true);
}

void TThreadSoundOut::BeginClosing(TOutcome Outcome, std::uint32_t Sequence) {
  FOutcome = Outcome;
  FOutcomeSequence = Sequence;
  if (CloseWaveOutDevice())
    FState = TState::_Closing;
  else
    FinishClose();
}

void TThreadSoundOut::ClosingPass() {
  const bool signalled = EventWaveOutCallback->Wait(kDeviceWaitMs);
  // A stop given again while the device closes is answered with it.
  if (const auto command = FMailbox.Take();
      command && command->Code == kSoundOutStop && FOutcome == TOutcome::_Stopped)
    FOutcomeSequence = command->Sequence;
  if (!signalled) return;
  if (TakeDeviceMessages().Close) FinishClose();
}

void TThreadSoundOut::FinishClose() {
  ReleaseWaveMemory();
  FOwner.RestorePlayTime();
  FState = TState::_Idle;
  switch (FOutcome) {
    case TOutcome::_SingleEnd:
      FUserInterface.PostSinglePlayEnd();
      break;
    case TOutcome::_Erred:
      AnswerErred(FOutcomeSequence);
      break;
    case TOutcome::_Stopped:
      FAnswer.Publish(TSoundOutNotify::_Stopped, FOutcomeSequence);
      break;
  }
}

void TThreadSoundOut::EndWhileOpen() {
  if (!CloseWaveOutDevice() && FState != TState::_Closing) {
    ReleaseWaveMemory();
    return;
  }
  // Wait (bounded) for the close message so that the device is done with the
  // buffers and with this thread before either goes away.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseWaitMs);
  while (!FCloseMessage.load() && std::chrono::steady_clock::now() < deadline)
    EventWaveOutCallback->Wait(kDeviceWaitMs);
  TakeDeviceMessages();
  ReleaseWaveMemory();
  FState = TState::_Idle;
}

void TThreadSoundOut::AnswerErred(std::uint32_t Sequence) {
  FAnswer.Publish(TSoundOutNotify::_Erred, Sequence, FErrors);
}

void TThreadSoundOut::LoadPlaySetting() {
  FSettings = FOwner.LoadPlaySetting();
  FCountMax = SegmentsPerSecond(FSettings.Signals.InternalSetting._WavBufferSize);
  FFrames = FramesPerSegment(FSettings.Signals.PCMFormat._SamplingRate, FCountMax);
}

void TThreadSoundOut::LoadOutputGain() { FSettings.Gains = FOwner.LoadOutputGain(); }

void TThreadSoundOut::OpenWaveOutDevice() {
  const std::uint32_t result = FDevice.Open(WaveOutFormat(FSettings.Signals.PCMFormat), *this);
  FEnableWaveOut = result == 0;
  if (!FEnableWaveOut) FErrors.WavOutErr = WavOutErrFromResult(result);
}

bool TThreadSoundOut::CloseWaveOutDevice() {
  if (!FEnableWaveOut) return false;
  FDevice.Reset();
  for (int i = 0; i < 2; ++i) {
    if (FHeaderPrepared[i]) FDevice.UnprepareHeader(pWaveHdr[i]);
    FHeaderPrepared[i] = false;
  }
  FDevice.Close();
  FEnableWaveOut = false;
  return true;
}

bool TThreadSoundOut::AllocateWaveMemory() {
  if (!FMemory.CreateHeap()) {
    FErrors.WavMemErr = TWavMemErr::_MemErrNoCreateHeap;
    return false;
  }
  FHeapCreated = true;
  for (void*& header : pWaveHdr) {
    header = FMemory.AllocateHeap(FDevice.HeaderSize());
    if (!header) {
      FErrors.WavMemErr = TWavMemErr::_MemErrNoAllocateHeap;
      return false;
    }
  }
  // One second of the widest frame each: more than a segment needs.
  FWaveBufferBytes = static_cast<std::size_t>(FSettings.Signals.PCMFormat._SamplingRate) * 8;
  for (void*& buffer : pWaveBuffer) {
    buffer = FMemory.CommitPages(FWaveBufferBytes);
    if (!buffer) {
      FErrors.WavMemErr = TWavMemErr::_MemErrNoAllocateVirtual;
      return false;
    }
  }
  return true;
}

void TThreadSoundOut::ReleaseWaveMemory() {
  if (FHeapCreated) FMemory.DestroyHeap();  // frees both headers
  FHeapCreated = false;
  pWaveHdr[0] = pWaveHdr[1] = nullptr;
  bool decommitted = true;
  for (void* buffer : pWaveBuffer)
    if (buffer && !FMemory.DecommitPages(buffer, FWaveBufferBytes)) decommitted = false;
  if (!decommitted) FUserInterface.PostErrorMessage("Error - Cannot Decommit Memory.");
  bool released = true;
  for (void*& buffer : pWaveBuffer) {
    if (buffer && !FMemory.ReleasePages(buffer)) released = false;
    buffer = nullptr;
  }
  if (!released) FUserInterface.PostErrorMessage("Error - Cannot Release Memory.");
}

void TThreadSoundOut::GenerateOneSecond(bool First) {
  if (First)
    FSynthesizer.Begin(FSettings.Signals, TGeneratorChoice::_Direct);
  else
    FSynthesizer.Advance();
  FSynthesizer.Mix(WaveBufferExtendedStereo);
  RequantizeOneSecond();
}

void TThreadSoundOut::RequantizeOneSecond() {
  // Written over the storage of the second before last and swapped in: the
  // second allocates nothing.
  FEngine.QuantizeSignalInto(FSettings.Signals.PCMFormat, FSettings.Gains.Left(), FSettings.Gains.Right(),
                             WaveBufferExtendedStereo, FQuantized);
  WaveBufferL.swap(FQuantized[0]);
  WaveBufferR.swap(FQuantized[1]);
}

void TThreadSoundOut::WriteWaveOutBuffer() {
  const int index = FOddEven ? 0 : 1;
  PackSegment(WaveBufferL, WaveBufferR, FCount, FFrames, FSettings.Signals.PCMFormat._Quantization,
              pWaveBuffer[index]);
  FDevice.Write(pWaveHdr[index]);
  FOddEven = !FOddEven;
}

void TThreadSoundOut::SendDisplay(std::uint8_t Command, bool WithPlayTime) {
  if (Command != kDisplayStop) {
    if (WithPlayTime)
      FDisplay.HandOver(WaveBufferL, WaveBufferR, FPlayTime);
    else
      FDisplay.HandOver(WaveBufferL, WaveBufferR);
  }
  FDisplay.Call(Command);
}
