#include "app/UnitThread.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "synthesis/ExtendedPrecision.h"

namespace {

constexpr std::uint32_t kIdleWaitMs = 100;
constexpr std::uint32_t kDeviceWaitMs = 10;

// Steady-clock milliseconds; never 0 in practice.
std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
             .count() + 1;
}

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
  FThread = krv::StartExtendedThread([this] {
    Execute();
    std::lock_guard<std::mutex> lock(FPauseLock);
    FEnded = true;
    FPauseWake.notify_all();
  });
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

bool TWorkerThread::WaitFor(std::uint32_t TimeoutMs) {
  if (!FThread.joinable()) return true;
  bool ended;
  {
    std::unique_lock<std::mutex> lock(FPauseLock);
    ended = FPauseWake.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [this] { return FEnded; });
  }
  if (ended) {
    FThread.join();
  } else {
    FThread.detach();
  }
  return ended;
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
      FMaker(Engine, [this] { EventWaveOutCallback->Set(); }) {}

TThreadSoundOut::~TThreadSoundOut() { End(); }

std::uint32_t TThreadSoundOut::Call(std::uint8_t Command, bool* Absorbed) {
  const std::uint32_t sequence = FMailbox.Post(Command, {}, Absorbed);
  FEventCallSoundOut.Set();
  return sequence;
}

std::optional<TThreadSoundOut::TAnswer> TThreadSoundOut::AwaitAnswer(std::uint32_t Sequence,
                                                                     std::uint32_t TimeoutMs,
                                                                     std::optional<TSoundOutNotify>* Stale) {
  return FAnswer.Await(Sequence, TimeoutMs, Stale);
}

void TThreadSoundOut::Wake() {
  // A second at work stops at its next engine call: the thread's end waits
  // for no more.
  if (Terminated()) FMaker.Cancel();
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

bool TThreadSoundOut::InsideDevice(std::uint32_t ForMs) const {
  const std::int64_t since = FDeviceCallSince.load();
  return since != 0 && NowMs() - since >= static_cast<std::int64_t>(ForMs);
}

template <class F>
std::uint32_t TThreadSoundOut::DeviceCall(F Call) {
  FDeviceCallSince.store(NowMs());
  const std::uint32_t result = Call();
  FDeviceCallSince.store(0);
  return result;
}

void TThreadSoundOut::Execute() {
  // The device is fed from this thread: busy programs beside it must not
  // starve it.
  FDevice.RaiseFeederPriority();
  while (!Terminated()) {
    try {
      switch (FState) {
        case TState::_Idle: IdlePass(); break;
        case TState::_Opening: OpeningPass(); break;
        case TState::_Starting: StartingPass(); break;
        case TState::_Playing: PlayingPass(); break;
        case TState::_Closing: ClosingPass(); break;
      }
    } catch (...) {
      if (!Terminated()) Fail();  // a second cut short by the end is no failure
    }
  }
  try {
    EndWhileOpen();
  } catch (...) {
  }
  FMaker.End();
}

// Whatever failed (an allocation, the engine), the play ends: the device is
// closed, the memory freed and the window told once; the thread then takes
// the next command.
void TThreadSoundOut::Fail() noexcept {
  try {
    switch (FState) {
      case TState::_Opening:  // the requester is told with the answer
      case TState::_Starting:
        FErrors.Failure = kMessageWorkerThreadFailed;
        BeginClosing(TOutcome::_Erred, FPlaySequence);
        break;
      case TState::_Playing:
        EndPlay(kMessageWorkerThreadFailed);
        break;
      case TState::_Closing:  // the device is closed: complete the end
        FinishClose();
        FUserInterface.PostErrorMessage(std::string(kMessageWorkerThreadFailed));
        break;
      case TState::_Idle:
        FUserInterface.PostErrorMessage(std::string(kMessageWorkerThreadFailed));
        break;
    }
  } catch (...) {
  }
}

void TThreadSoundOut::IdlePass() {
  if (FOwner.Operation() == TOperation::_Record) {  // a WAV file renders: take no command
    Pause(kIdleWaitMs);
    return;
  }
  std::optional<TCommand> command = std::exchange(FKept, std::nullopt);
  if (!command) {
    if (!FEventCallSoundOut.Wait(kIdleWaitMs) || Terminated()) return;
    command = FMailbox.Take();
  }
  if (!command) return;
  if (FEnableWaveOut) {
    // A device that would not close at the end of the last play: close it
    // before anything else; a start is served once it is closed.
    if (command->Code != kSoundOutStart && command->Code != kSoundOutStop) return;
    if (CloseWaveOutDevice() == TCloseResult::_StillOpen) {
      FErrors = TSoundOutErrors{};
      if (command->Code == kSoundOutStart) FErrors.Failure = kMessageCannotCloseWaveOut;
      AnswerErred(command->Sequence);
      return;
    }
    if (command->Code == kSoundOutStart) {
      FKept = command;
      EnterClosing(TOutcome::_Ended, 0);
    } else {
      EnterClosing(TOutcome::_Stopped, command->Sequence);
    }
    return;
  }
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
  try {
    LoadPlaySetting();
  } catch (...) {
    FErrors.Failure = kMessageWorkerThreadFailed;
    AnswerErred(Sequence);
    return;
  }
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
  if (const auto command = FMailbox.Take()) {
    ServeStartingCommand(*command);
    if (FState != TState::_Opening) return;
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
  for (int i = 0; i < 2; ++i) {
    wavehdr_tag& header = *pWaveHdr[i];
    header = wavehdr_tag{};
    header.lpData = static_cast<char*>(pWaveBuffer[i]);
    header.dwBufferLength = bytes;
    // Each write plays its segment once: no loop flags. (A header marked as
    // a loop of one pass plays once on Windows too, but under Wine the
    // second segment of a play at 50 ms segments then comes out as silence.)
    header.dwFlags = 0;
    header.dwLoops = 0;
    FHeaderPrepared[i] = DeviceCall([&] { return FDevice.PrepareHeader(pWaveHdr[i]); }) == 0;
    if (!FHeaderPrepared[i]) {
      FErrors.Failure = kMessageCannotWriteWaveOut;
      BeginClosing(TOutcome::_Erred, FPlaySequence);
      return;
    }
  }
  FOddEven = true;
  FCount = 0;
  FPlayTime = 0;
  EnterFlow(TFlow::_Writing);
  BeginSeconds();
  FState = TState::_Starting;
}

// While the play starts (the device opening, the first second made): a
// Stop ends it at once (the second in the making is dropped at its next
// engine call), a start given again is served by this one (its requester
// gets the answer), and new gains are loaded: the first second comes with
// them, or gets them as a second that plays does.
void TThreadSoundOut::ServeStartingCommand(const TCommand& Command) {
  switch (Command.Code) {
    case kSoundOutStop:
      BeginClosing(TOutcome::_Stopped, Command.Sequence);
      break;
    case kSoundOutStart:
      FPlaySequence = Command.Sequence;
      break;
    case kSoundOutGainChanged:
      LoadOutputGain();
      if (FState == TState::_Starting) ChangeGains();
      FAnswer.Publish(TSoundOutNotify::_Changed, Command.Sequence);
      break;
    default:
      break;
  }
}

void TThreadSoundOut::StartingPass() {
  const bool signalled = EventWaveOutCallback->Wait(kDeviceWaitMs);
  if (Terminated()) return;
  if (const auto command = FMailbox.Take()) {
    ServeStartingCommand(*command);
    if (FState != TState::_Starting) return;
  }
  if (signalled && TakeDeviceMessages().Close) {  // the system closed the device before the play began
    FMaker.Cancel();
    FEnableWaveOut = false;
    FHeaderPrepared[0] = FHeaderPrepared[1] = false;
    FErrors.Failure = kMessageOutputDeviceStopped;
    FOutcome = TOutcome::_Erred;
    FOutcomeSequence = FPlaySequence;
    FinishClose();
    return;
  }
  if (TakeFirstSecond()) BeginOutput();
}

// The first second is there: two segments go to the device and the start
// is answered.
void TThreadSoundOut::BeginOutput() {
  FDisplay.HandOver(WaveBufferL, WaveBufferR);
  FDisplay.Call(kDisplayStart);
  bool written = WriteWaveOutBuffer();
  FCount = 1;
  if (!written || !WriteWaveOutBuffer()) {
    FErrors.Failure = kMessageCannotWriteWaveOut;
    BeginClosing(TOutcome::_Erred, FPlaySequence);
    SendDisplay(kDisplayStop, false);
    return;
  }
  // The thread plays from here on, whether or not the requester still
  // waits: a done message that comes at once is served.
  FState = TState::_Playing;
  FLastDone = std::chrono::steady_clock::now();
  FAnswer.Publish(TSoundOutNotify::_Started, FPlaySequence);
}

void TThreadSoundOut::PlayingPass() {
  const bool signalled = EventWaveOutCallback->Wait(kDeviceWaitMs);
  if (Terminated()) return;
  // Commands are taken at once, so that a stop works also when the device
  // returns no buffer any more.
  if (const auto command = FMailbox.Take()) {
    ServePlayingCommand(*command);
    if (FState != TState::_Playing) return;
  }
  const auto now = std::chrono::steady_clock::now();
  const TDeviceMessages messages = signalled ? TakeDeviceMessages() : TDeviceMessages{};
  if (messages.Close) {  // the system closed the device
    FEnableWaveOut = false;
    FHeaderPrepared[0] = FHeaderPrepared[1] = false;
    EndPlay(kMessageOutputDeviceStopped);
    return;
  }
  if (messages.Done > 0) FLastDone = now;
  for (std::uint32_t i = 0; i < messages.Done && FState == TState::_Playing; ++i) {
    if (FFlow == TFlow::_AwaitingSecond)
      ++FOwedDones;
    else
      HandleDone();
  }
  if (FState == TState::_Playing && FFlow == TFlow::_AwaitingSecond) ResumeLateSecond();
  // A late second is waited for as long as the first one may take, no more.
  if (FState == TState::_Playing && FFlow == TFlow::_AwaitingSecond &&
      now - FSecondAwaitedSince > std::chrono::milliseconds(FLateSecondMs.load())) {
    EndPlay(kMessageCannotCreateWaveData);
    return;
  }
  // A device left without samples while a late second is awaited is not
  // stalled.
  if (FState == TState::_Playing && FFlow != TFlow::_AwaitingSecond &&
      now - FLastDone > std::chrono::milliseconds(FDeviceStallMs.load())) {
    if (DeviceStopped(now)) EndPlay(kMessageOutputDeviceStopped);  // the device takes no more samples
  } else {
    FStallLooks = 0;
    FStallPosition.reset();
  }
  if (FState == TState::_Playing && FFlow != TFlow::_AwaitingSecond) TakeRequantized();
}

// The device has returned no buffer for the stall time. Wall time alone
// cannot tell a stopped device from a program that was held as a whole
// (the device's own threads with it), whose done messages come a little
// after it runs again: the device's position can. It is looked at once a
// pass; a move gives the device its time again.
bool TThreadSoundOut::DeviceStopped(std::chrono::steady_clock::time_point Now) {
  if (FStallLooks == 0) FStallLookSince = Now;
  std::uint64_t position = 0;
  if (DeviceCall([&] { return FDevice.Position(position); }) == 0) {
    if (FStallPosition && *FStallPosition != position) {
      FLastDone = Now;
      FStallLooks = 0;
      FStallPosition.reset();
      return false;
    }
    FStallPosition = position;
  }
  ++FStallLooks;
  return FStallLooks >= kStallLooks && Now - FStallLookSince >= std::chrono::milliseconds(kStallLookMs);
}

// The late second, once it is made: its first segment, then what the done
// messages that came meanwhile ask for, as if it had been there in time.
void TThreadSoundOut::ResumeLateSecond() {
  if (!GenerateOneSecond()) return;
  std::uint32_t owed = FOwedDones;
  EnterFlow(TFlow::_Writing);
  WriteFirstSegment();
  for (; owed > 0 && FState == TState::_Playing; --owed) HandleDone();
}

void TThreadSoundOut::ServePlayingCommand(const TCommand& Command) {
  switch (Command.Code) {
    case kSoundOutStop:
      BeginClosing(TOutcome::_Stopped, Command.Sequence);
      SendDisplay(kDisplayStop, false);
      break;
    case kSoundOutGainChanged:
      LoadOutputGain();
      ChangeGains();
      FAnswer.Publish(TSoundOutNotify::_Changed, Command.Sequence);
      break;
    case kSoundOutStart:  // its requester gave up on the start that plays now
      FAnswer.Publish(TSoundOutNotify::_Started, Command.Sequence);
      break;
    default:
      break;
  }
}

void TThreadSoundOut::HandleDone() {
  if (FFlow == TFlow::_LastSegment) {
    // The last segment of a timed play has been heard: the play is whole,
    // and the reset finds nothing left to discard.
    FPlayTime = 0;
    FOwner.BeginSinglePlayEnd();
    BeginClosing(TOutcome::_SingleEnd, 0);
    SendDisplay(kDisplayStop, false);
    return;
  }
  ++FCount;
  if (FCount < FCountMax) {
    TakeRequantized();  // new gains, when the second is quantised with them
    if (!WriteWaveOutBuffer()) EndPlay(kMessageCannotWriteWaveOut);
    return;
  }
  FCount = 0;
  ++FPlayTime;
  const TInternalSetting& setting = FSettings.Signals.InternalSetting;
  if (setting._Repeat == TRepeat::_Single && FPlayTime == setting._PlayTime) {
    // The last segment of the last second plays now and nothing follows it:
    // its done message ends the play. The counter shows the whole time
    // while it plays, as every other second shows its count.
    EnterFlow(TFlow::_LastSegment);
    FDisplay.HandOverPlayTime(FPlayTime);
    FDisplay.Call(kDisplayPlayTime);
    return;
  }
  // Made ahead: normally it is there. A late one is awaited with the
  // commands served meanwhile.
  if (!GenerateOneSecond()) {
    EnterFlow(TFlow::_AwaitingSecond);
    return;
  }
  WriteFirstSegment();
}

void TThreadSoundOut::WriteFirstSegment() {
  if (!WriteWaveOutBuffer()) {
    EndPlay(kMessageCannotWriteWaveOut);
    return;
  }
  // The device may have run dry while a late second was awaited: it is
  // given its time again from this buffer on.
  FLastDone = std::chrono::steady_clock::now();
  SendDisplay(kDisplayPlayTimeAndCharts, true);
}

// A fault ends the play. The window is told before the device is closed, so
// that it is back in _Stop even when the device does not return from its
// reset.
void TThreadSoundOut::EndPlay(std::string_view Message) {
  FOwner.BeginSinglePlayEnd();
  FUserInterface.PostSinglePlayEnd();
  FUserInterface.PostErrorMessage(std::string(Message));
  SendDisplay(kDisplayStop, false);
  BeginClosing(TOutcome::_Ended, 0);
}

void TThreadSoundOut::BeginClosing(TOutcome Outcome, std::uint32_t Sequence) {
  // Nothing more is written: a second at work is dropped, never waited for.
  FMaker.Cancel();
  EnterFlow(TFlow::_Writing);
  FOutcome = Outcome;
  FOutcomeSequence = Sequence;
  switch (CloseWaveOutDevice()) {
    case TCloseResult::_Closed: EnterClosing(Outcome, Sequence); break;
    case TCloseResult::_NothingOpen: FinishClose(); break;
    case TCloseResult::_StillOpen: CloseFailed(); break;
  }
}

// The device is closed; its close message completes the outcome.
void TThreadSoundOut::EnterClosing(TOutcome Outcome, std::uint32_t Sequence) {
  FOutcome = Outcome;
  FOutcomeSequence = Sequence;
  FState = TState::_Closing;
  FCloseDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseWaitMs);
}

void TThreadSoundOut::ClosingPass() {
  const bool signalled = EventWaveOutCallback->Wait(kDeviceWaitMs);
  if (const auto command = FMailbox.Take()) {
    if (command->Code == kSoundOutStop) {
      // A stop given while the play ends is answered once the device is
      // closed.
      if (FOutcome == TOutcome::_Stopped)
        FOutcomeSequence = command->Sequence;
      else
        FStopSequence = command->Sequence;
    } else if (command->Code == kSoundOutStart) {
      FKept = command;  // served when the thread is idle again
    } else if (command->Code == kSoundOutGainChanged && FKept) {
      // The start kept loads the gains the window shows when it is served.
      FAnswer.Publish(TSoundOutNotify::_Changed, command->Sequence);
    }
  }
  // The device is closed: its close message normally follows at once; a
  // missing one is not waited for beyond its time.
  if ((signalled && TakeDeviceMessages().Close) || std::chrono::steady_clock::now() >= FCloseDeadline)
    FinishClose();
}

// The device would not close: it keeps its buffers (freeing them could let
// it write into freed memory) and the thread tries again at the next
// command. The play is over for the window.
void TThreadSoundOut::CloseFailed() {
  FOwner.RestorePlayTime();
  FState = TState::_Idle;
  switch (FOutcome) {
    case TOutcome::_SingleEnd:
      FUserInterface.PostSinglePlayEnd();
      FUserInterface.PostErrorMessage(std::string(kMessageCannotCloseWaveOut));
      break;
    case TOutcome::_Erred:
      if (FErrors.Failure.empty() && FErrors.WavMemErr == TWavMemErr::_MemErrNo)
        FErrors.Failure = kMessageCannotCloseWaveOut;
      AnswerErred(FOutcomeSequence);
      break;
    case TOutcome::_Stopped:  // the requester reports that the stop failed
      AnswerErred(FOutcomeSequence);
      break;
    case TOutcome::_Ended:
      break;
  }
  if (FStopSequence) AnswerErred(std::exchange(FStopSequence, 0));
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
    case TOutcome::_Ended:
      break;
  }
  if (FStopSequence) FAnswer.Publish(TSoundOutNotify::_Stopped, std::exchange(FStopSequence, 0));
}

void TThreadSoundOut::EndWhileOpen() {
  bool closed = FState == TState::_Closing;
  switch (CloseWaveOutDevice()) {
    case TCloseResult::_Closed: closed = true; break;
    case TCloseResult::_StillOpen: return;  // the memory stays with the device
    case TCloseResult::_NothingOpen: break;
  }
  if (closed) {
    // Wait (bounded) for the close message so that the device is done with
    // this thread before it goes away.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseWaitMs);
    while (!FCloseMessage.load() && std::chrono::steady_clock::now() < deadline)
      EventWaveOutCallback->Wait(kDeviceWaitMs);
  }
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
  const TWaveFormatExtensible format = WaveOutFormat(FSettings.Signals.PCMFormat);
  const std::uint32_t result = DeviceCall([&] { return FDevice.Open(format, *this); });
  FEnableWaveOut = result == 0;
  if (!FEnableWaveOut) FErrors.WavOutErr = WavOutErrFromResult(result);
}

// Resets the device (which returns every queued buffer), unprepares the
// headers and closes it. A close that fails is tried again; a device that
// still refuses stays open with its headers.
TThreadSoundOut::TCloseResult TThreadSoundOut::CloseWaveOutDevice() {
  if (!FEnableWaveOut) return TCloseResult::_NothingOpen;
  for (int attempt = 0; attempt < kCloseAttempts; ++attempt) {
    if (attempt > 0) Pause(kCloseRetryMs);
    DeviceCall([&] { return FDevice.Reset(); });
    for (int i = 0; i < 2; ++i)
      if (FHeaderPrepared[i] && DeviceCall([&] { return FDevice.UnprepareHeader(pWaveHdr[i]); }) == 0)
        FHeaderPrepared[i] = false;
    if (DeviceCall([&] { return FDevice.Close(); }) == 0) {
      FEnableWaveOut = false;
      FHeaderPrepared[0] = FHeaderPrepared[1] = false;
      return TCloseResult::_Closed;
    }
  }
  return TCloseResult::_StillOpen;
}

bool TThreadSoundOut::AllocateWaveMemory() {
  if (!FMemory.CreateHeap()) {
    FErrors.WavMemErr = TWavMemErr::_MemErrNoCreateHeap;
    return false;
  }
  FHeapCreated = true;
  for (PWaveHdr& header : pWaveHdr) {
    header = static_cast<PWaveHdr>(FMemory.AllocateHeap(sizeof(wavehdr_tag)));
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
  if (FEnableWaveOut) return;  // never while an open device may still use it
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

bool TThreadSoundOut::WriteWaveOutBuffer() {
  const int index = FOddEven ? 0 : 1;
  PackSegment(WaveBufferL, WaveBufferR, FCount, FFrames, FSettings.Signals.PCMFormat._Quantization,
              pWaveBuffer[index]);
  const bool written = DeviceCall([&] { return FDevice.Write(pWaveHdr[index]); }) == 0;
  FOddEven = !FOddEven;
  // The next second is due when the segment before its first one ends.
  const auto segment = std::chrono::microseconds(1000000LL * FFrames / FSettings.Signals.PCMFormat._SamplingRate);
  FMaker.SetDue(std::chrono::steady_clock::now() + (FCountMax - FCount) * segment, segment);
  return written;
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
