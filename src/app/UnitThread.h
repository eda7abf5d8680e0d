// The three worker threads of the playback engine and the command protocol
// between them and their requesters.
//
// A requester writes a one-byte command (with what travels with it) into the
// thread's mailbox and sets the thread's call event; for the sound-out and
// create-wave threads it then waits, with a time-out, for the answer. Every
// command gets a sequence number and its answer carries it back, so an
// answer that comes after its requester gave up never satisfies a later
// request. A command written before the previous one was taken replaces it,
// unless the thread's rule keeps the earlier one (the sound-out thread's
// stop and start are never replaced by a gain change).
//
// The threads are started by their owner (Start) and ended by it
// (Terminate, then WaitFor); they never free themselves.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "app/OneSecond.h"
#include "app/SecondMaker.h"
#include "app/ThreadPlatform.h"
#include "synthesis/ExtendedPrecision.h"
#include "synthesis/UnitType.h"

// ---------------------------------------------------------------------------
// Commands.

// Sound-out thread.
inline constexpr std::uint8_t kSoundOutStop = 0;
inline constexpr std::uint8_t kSoundOutStart = 1;
inline constexpr std::uint8_t kSoundOutGainChanged = 2;
// Create-wave thread.
inline constexpr std::uint8_t kCreateWaveAll = 0;   // take the inputs, build every record
inline constexpr std::uint8_t kCreateWaveNext = 1;  // next second: sweep and noise only
// Make the tones of the inputs ahead, for a series to come; never answered.
inline constexpr std::uint8_t kCreateWaveWarmUp = 2;
// Display thread.
inline constexpr std::uint8_t kDisplayStop = 0;
inline constexpr std::uint8_t kDisplayStart = 1;
inline constexpr std::uint8_t kDisplayPlayTime = 2;
inline constexpr std::uint8_t kDisplayCharts = 3;
inline constexpr std::uint8_t kDisplayPlayTimeAndCharts = 4;

// The pending command of one thread, with what travels with it.
template <class TPayload>
class TCommandMailbox {
 public:
  struct TCommand {
    std::uint8_t Code;
    std::uint32_t Sequence;
    TPayload Payload;
  };
  // The mailbox's rule: true when a command Pending not yet taken stays
  // and a later Incoming one is dropped. Without a rule the later command
  // always replaces it.
  using TKeeps = bool (*)(std::uint8_t Pending, std::uint8_t Incoming);

  explicit TCommandMailbox(TKeeps Keeps = nullptr) : FKeeps(Keeps) {}

  // Replaces any command not yet taken, unless the rule keeps that one;
  // returns the new command's number. A command the rule drops is never
  // answered: Absorbed, when given, tells whether the pending command took
  // its place.
  std::uint32_t Post(std::uint8_t Code, TPayload Payload = {}, bool* Absorbed = nullptr) {
    std::lock_guard<std::mutex> lock(FLock);
    const std::uint32_t sequence = ++FLastSequence;
    const bool absorbed = FPending && FKeeps && FKeeps(FPending->Code, Code);
    if (Absorbed) *Absorbed = absorbed;
    if (absorbed) return sequence;
    FPending = TCommand{Code, sequence, std::move(Payload)};
    return sequence;
  }

  // Whether a command waits to be taken.
  bool Pending() {
    std::lock_guard<std::mutex> lock(FLock);
    return FPending.has_value();
  }

  // The pending command, if any; it is used up.
  std::optional<TCommand> Take() {
    std::lock_guard<std::mutex> lock(FLock);
    std::optional<TCommand> taken = std::move(FPending);
    FPending.reset();
    return taken;
  }

 private:
  std::mutex FLock;
  TKeeps FKeeps;
  std::optional<TCommand> FPending;
  std::uint32_t FLastSequence = 0;
};

// The sound-out thread's rule: a gain change never replaces a stop or a
// start that is not taken yet (the stop would be lost, and a start's
// answer); the pending command takes its place: a start loads the gains
// when it is taken, so the play starts with them, and after a stop nothing
// plays. Its requester is told so at once (it gets no answer).
constexpr bool SoundOutKeeps(std::uint8_t Pending, std::uint8_t Incoming) {
  return Incoming == kSoundOutGainChanged && (Pending == kSoundOutStop || Pending == kSoundOutStart);
}

// The create-wave thread's rule: a warm-up never replaces a second asked
// for and not taken yet; it is dropped (a Play, a REC or a new set comes
// after it anyway). A second asked for replaces a pending warm-up.
constexpr bool CreateWaveKeeps(std::uint8_t Pending, std::uint8_t Incoming) {
  return Incoming == kCreateWaveWarmUp && Pending != kCreateWaveWarmUp;
}

// A thread's answers, each tagged with the number of the command it answers,
// and the answer event that announces them. The last Kept answers are kept,
// so that an answer is not lost when another one follows before its
// requester looks.
template <class TStatus, class TDetail, std::size_t Kept = 1>
class TAnswerChannel {
 public:
  struct TAnswer {
    TStatus Status;
    std::uint32_t Sequence;
    TDetail Detail;
  };

  explicit TAnswerChannel(std::unique_ptr<TAutoResetEvent> Event) : FEvent(std::move(Event)) {}

  void Publish(TStatus Status, std::uint32_t Sequence, TDetail Detail = {}) {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FKept[FNext] = TAnswer{Status, Sequence, Detail};
      FLatest = FNext;
      FNext = (FNext + 1) % FKept.size();
    }
    FEvent->Set();
  }

  // The answer to command Sequence if it has come; never waits.
  std::optional<TAnswer> Peek(std::uint32_t Sequence) {
    std::lock_guard<std::mutex> lock(FLock);
    return Find(Sequence);
  }

  // Waits at most TimeoutMs for the answer to command Sequence. Answers to
  // earlier commands that turn up meanwhile are dropped; the last of them is
  // reported through Stale.
  std::optional<TAnswer> Await(std::uint32_t Sequence, std::uint32_t TimeoutMs,
                               std::optional<TStatus>* Stale = nullptr) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(FLock);
        if (auto found = Find(Sequence)) return found;
      }
      const auto now = Clock::now();
      const auto left = now < deadline
                            ? std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count()
                            : 0;
      if (!FEvent->Wait(static_cast<std::uint32_t>(left))) return std::nullopt;
      std::lock_guard<std::mutex> lock(FLock);
      if (auto found = Find(Sequence)) return found;
      if (Stale && FKept[FLatest]) *Stale = FKept[FLatest]->Status;
    }
  }

 private:
  std::optional<TAnswer> Find(std::uint32_t Sequence) const {
    for (const auto& kept : FKept)
      if (kept && kept->Sequence == Sequence) return kept;
    return std::nullopt;
  }

  std::unique_ptr<TAutoResetEvent> FEvent;
  std::mutex FLock;
  std::array<std::optional<TAnswer>, Kept> FKept;
  std::size_t FNext = 0;
  std::size_t FLatest = 0;
};

// ---------------------------------------------------------------------------
// Worker thread: Execute runs on its own thread, in 80-bit extended
// precision, until Terminate is called.
class TWorkerThread {
 public:
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;
  virtual ~TWorkerThread();

  void Start();
  // Asks the loop to end and wakes it from its wait.
  void Terminate();
  // Waits until the loop has ended.
  void WaitFor();
  // Waits at most TimeoutMs for the loop to end. A loop that has not ended
  // by then (stuck in a call that does not return) is left running on its
  // own: false, and the object must then never be destroyed.
  bool WaitFor(std::uint32_t TimeoutMs);
  bool Terminated() const { return FTerminated.load(); }
  // True once the loop has ended.
  bool Ended() {
    std::lock_guard<std::mutex> lock(FPauseLock);
    return FEnded;
  }

 protected:
  TWorkerThread() = default;
  virtual void Execute() = 0;
  // Sets whatever the loop waits on.
  virtual void Wake() = 0;
  // Sleeps at most TimeoutMs; returns early when the thread is terminated.
  void Pause(std::uint32_t TimeoutMs);
  // Terminate and WaitFor; every derived destructor calls it first.
  void End();

 private:
  std::atomic<bool> FTerminated{false};
  std::mutex FPauseLock;
  std::condition_variable FPauseWake;
  bool FEnded = false;  // guarded by FPauseLock
  std::thread FThread;
};

// ---------------------------------------------------------------------------
// Display thread: turns display commands into the playing-time label and the
// two scope charts, which it posts to the user-interface thread.
class TThreadDisplayOut final : public TWorkerThread {
 public:
  // Travels with command 0: has the ASIO host stopped when the sender says
  // so; it never waits for another thread.
  using TStopHost = std::function<void()>;
  static constexpr std::int32_t kMaxChartPoints = 1023;

  TThreadDisplayOut(TAutoResetEvent& EventCallDisplayOut, TUserInterfaceSink& UserInterface);
  ~TThreadDisplayOut() override;

  // Sender side: replace the two streams (and the seconds played) under the
  // hand-over lock, then send the command.
  void HandOver(const TWaveBufferInteger& Left, const TWaveBufferInteger& Right);
  void HandOver(const TWaveBufferInteger& Left, const TWaveBufferInteger& Right, std::int32_t PlayTime);
  // The seconds played alone (for command 2); the streams stay.
  void HandOverPlayTime(std::int32_t PlayTime);
  void Call(std::uint8_t Command, TStopHost StopHost = {});

  // The label's caption for PlayTime seconds; PlayTime is held at 1000.
  static std::string PlayTimeCaption(std::int32_t& PlayTime);

 protected:
  void Execute() override;
  void Wake() override { FEventCallDisplayOut.Set(); }

 private:
  static void CopyChartPoints(const TWaveBufferInteger& From, TWaveBufferInteger& To);
  void Run(std::uint8_t Command, const TStopHost& StopHost);
  void DisplayPlayTime();
  void DisplayWaveChart();

  TAutoResetEvent& FEventCallDisplayOut;
  TUserInterfaceSink& FUserInterface;
  TCommandMailbox<TStopHost> FMailbox;
  std::mutex Section0;  // held while the ASIO host's stop is handed on
  std::mutex FHandOverLock;
  // Guarded by the hand-over lock.
  std::int32_t FPlayTime = 0;
  TWaveBufferInteger WaveBufferL, WaveBufferR;
  // The display thread's own.
  std::int32_t DataNumberL = 0, DataNumberR = 0, maxL = 0, maxR = 0;
};

// ---------------------------------------------------------------------------
// Create-wave thread: one second of the signal set on request, into two
// result slots used in turn, so one second can be computed while the other
// is in use.
class TThreadCreateWave final : public TWorkerThread {
 public:
  TThreadCreateWave(TAutoResetEvent& EventCallCreateWave, const TEventFactory& CreateEvent,
                    TSignalEngine& Engine);
  ~TThreadCreateWave() override;

  // Command 0 with its inputs (copied), or command 1; returns the request's
  // number. The requester does not wait here.
  std::uint32_t Call(std::uint8_t Command, TSynthesisInputs Inputs = {});
  // Command 2: the tones of Inputs made ahead, while nothing asks for a
  // second, so that the next command 0 with the same tones keeps them.
  // Any later command (another warm-up too) and the end of the thread stop
  // it before its next tone; a tone begun is completed and kept. Inputs
  // without records (xChannelNumber 0) only stop a warm-up under way.
  // Nobody waits for it, and it answers nothing.
  void WarmUp(TSynthesisInputs Inputs);
  // Waits at most TimeoutMs for the second of request Sequence: null on a
  // time-out or a failure. The slot stays untouched until the request after
  // the next one. Seed, when given, receives the second's seed, which its
  // noise was drawn from and its dither is to be drawn from. Abandon, when
  // given, is asked every few milliseconds while the second is not there;
  // true ends the wait (null).
  const TWaveBufferExtendedStereo* Fetch(std::uint32_t Sequence, std::uint32_t TimeoutMs,
                                         std::uint32_t* Seed = nullptr,
                                         const std::function<bool()>& Abandon = {});
  // The answer to request Sequence if it has come, without waiting: the
  // second, or null when the thread failed it; empty while it has not come.
  std::optional<const TWaveBufferExtendedStereo*> Peek(std::uint32_t Sequence, std::uint32_t* Seed = nullptr);
  // How often Fetch asks Abandon.
  static constexpr std::uint32_t kFetchSliceMs = 10;

 protected:
  void Execute() override;
  void Wake() override { FEventCallCreateWave.Set(); }

 private:
  using TCommand = TCommandMailbox<TSynthesisInputs>::TCommand;
  using TAnswer = TAnswerChannel<TCreateWaveNotify, std::uint8_t>::TAnswer;
  void Serve(const TCommand& Command);
  const TWaveBufferExtendedStereo* Result(const TAnswer& Answer, std::uint32_t* Seed);

  TAutoResetEvent& FEventCallCreateWave;
  TCommandMailbox<TSynthesisInputs> FMailbox{CreateWaveKeeps};
  TAnswerChannel<TCreateWaveNotify, std::uint8_t> FAnswer;  // detail: the slot written
  TOneSecondSynthesizer FSynthesizer;
  bool FOddEven = true;  // True: the next result goes into slot 0
  // Left and right of slot 0, then of slot 1, and the seed of each.
  std::array<TWaveBufferExtendedStereo, 2> WaveBufferExtendedStereoArray;
  std::array<std::uint32_t, 2> FSlotSeeds{};
};

// ---------------------------------------------------------------------------
// Sound-out thread: plays the signal set through the wave-out device.

// The four gain factors, taken together.
struct TOutputGains {
  long double OutputATT = 0.1L;
  long double OutputMute = 1.0L;
  long double OutputGainL = 1.0L;
  long double OutputGainR = 1.0L;
  long double Left() const { return krv::ExtendedProduct(OutputATT, OutputMute, OutputGainL); }
  long double Right() const { return krv::ExtendedProduct(OutputATT, OutputMute, OutputGainR); }
};

// What a play takes from the main window at its start.
struct TPlaySettings {
  TSynthesisInputs Signals;  // format, internal setting, records; sweep from 0
  TOutputGains Gains;
};

// The main window as the sound-out thread sees it. Every operation is safe to
// call from the sound-out thread.
class TSoundOutOwner {
 public:
  virtual TPlaySettings LoadPlaySetting() = 0;
  virtual TOutputGains LoadOutputGain() = 0;
  virtual TOperation Operation() const = 0;
  // _PlayTime := _DefaultPeriod (after every wave-out play).
  virtual void RestorePlayTime() = 0;
  // A timed play is ending by itself: block the main window's actions until
  // the user-interface thread has completed the stop.
  virtual void BeginSinglePlayEnd() = 0;

 protected:
  ~TSoundOutOwner() = default;
};

struct TSoundOutErrors {
  TWavMemErr WavMemErr = TWavMemErr::_MemErrNo;
  TWavOutErr WavOutErr = TWavOutErr::_MMSYSERR_No;
  // The message of a failure that has no code of its own (the device refused
  // a buffer, the thread failed); empty when there was none.
  std::string_view Failure{};
};

// Messages of the wave-out road's failures that have no code of their own.
inline constexpr std::string_view kMessageCannotWriteWaveOut = "Error - Cannot Write Wave Out Device.";
inline constexpr std::string_view kMessageCannotCloseWaveOut = "Error - Cannot Close Wave Out Device.";
inline constexpr std::string_view kMessageOutputDeviceStopped = "Error - Output Device Stopped.";
inline constexpr std::string_view kMessageWorkerThreadFailed = "Error - Worker Thread Failed.";
// A second that was not made within its bound (the first one of a play, or a
// later one).
inline constexpr std::string_view kMessageCannotCreateWaveData = "Error - Cannot Create Wave Data.";

// Segments per second for a buffer size (50 ms 20 ... 500 ms 2).
std::int32_t SegmentsPerSecond(TWavBufferSize WavBufferSize);
// Frames per segment: Ceil(rate / segments).
std::int32_t FramesPerSegment(std::int32_t SamplingRate, std::int32_t Segments);
// Bytes of one frame on the device: 4 up to 16-bit quantisation, else 8.
std::uint32_t BytesPerFrame(std::int32_t Quantization);
// The extensible PCM format handed to the device.
TWaveFormatExtensible WaveOutFormat(const TPCMFormat& PCMFormat);
// Packs segment Segment (Frames frames from frame Segment x Frames) of the
// quantised second into Destination: up to 16 bits one 32-bit word per frame
// (left in the low half, right in the high half), else two 32-bit words per
// frame, left then right, each shifted left by 32 - Quantization bits.
// Frames past the end of the second are silence.
void PackSegment(const TWaveBufferInteger& Left, const TWaveBufferInteger& Right, std::int32_t Segment,
                 std::int32_t Frames, std::int32_t Quantization, void* Destination);

class TThreadSoundOut final : public TWorkerThread, private TWaveOutClient {
 public:
  // Answers are kept for the gain check that looks after its time-out.
  using TAnswers = TAnswerChannel<TSoundOutNotify, TSoundOutErrors, 8>;
  using TAnswer = TAnswers::TAnswer;
  // Longest wait for the device's close message.
  static constexpr std::uint32_t kCloseWaitMs = 1000;
  // A device that returns no buffer for this long while playing is looked
  // at: it has stopped when its position then stands still for
  // kStallLookMs and at least kStallLooks looks of the thread in a row. A
  // position that moves gives it its time again: a pause of the whole
  // program, the device's own threads included, is ridden out.
  static constexpr std::uint32_t kDefaultDeviceStallMs = 2000;
  static constexpr std::uint32_t kStallLookMs = 1000;
  static constexpr int kStallLooks = 10;
  // Longest wait for a second that is late in the middle of a play, the
  // same as for the first one.
  static constexpr std::uint32_t kDefaultLateSecondMs = 10000;
  // Attempts to close a device that refuses to close, and the pause between.
  static constexpr int kCloseAttempts = 3;
  static constexpr std::uint32_t kCloseRetryMs = 20;

  TThreadSoundOut(TSoundOutOwner& Owner, TAutoResetEvent& EventCallSoundOut, const TEventFactory& CreateEvent,
                  TWaveOutDevice& Device, TWaveMemory& Memory, TSignalEngine& Engine,
                  TUserInterfaceSink& UserInterface, TThreadDisplayOut& Display);
  ~TThreadSoundOut() override;

  // Writes the command and sets the call event; returns its number.
  // Absorbed: a pending start or stop took its place (SoundOutKeeps), and
  // it is never answered.
  std::uint32_t Call(std::uint8_t Command, bool* Absorbed = nullptr);
  // Waits at most TimeoutMs for the answer to command Sequence; a late answer
  // to an earlier command is dropped and reported through Stale.
  std::optional<TAnswer> AwaitAnswer(std::uint32_t Sequence, std::uint32_t TimeoutMs,
                                     std::optional<TSoundOutNotify>* Stale = nullptr);
  // The answer to command Sequence if it has come; never waits.
  std::optional<TAnswer> PeekAnswer(std::uint32_t Sequence) { return FAnswer.Peek(Sequence); }
  // True while a call into the device has not returned for ForMs or longer.
  bool InsideDevice(std::uint32_t ForMs) const;
  void SetDeviceStallMs(std::uint32_t Value) { FDeviceStallMs.store(Value); }
  void SetLateSecondMs(std::uint32_t Value) { FLateSecondMs.store(Value); }
  // After the loop has ended: the device would not close and keeps its
  // buffers.
  bool DeviceLeftOpen() const { return FEnableWaveOut; }

 protected:
  void Execute() override;
  void Wake() override;

 private:
  using TCommand = TCommandMailbox<std::uint8_t>::TCommand;
  // The thread's state, changed only by the passes and the steps they call:
  // idle; opening (the device is asked open, its open message awaited);
  // starting (memory and headers ready, the maker makes the first second);
  // playing; closing (the device is closed, its close message awaited).
  // Commands are served in every state.
  enum class TState : std::uint8_t { _Idle, _Opening, _Starting, _Playing, _Closing };
  // What the close message completes: a stop, a failed start, the end of a
  // timed play, or a play that a fault ended (the window knows already).
  enum class TOutcome : std::uint8_t { _Stopped, _Erred, _SingleEnd, _Ended };
  // While playing, see FFlow.
  enum class TFlow : std::uint8_t { _Writing, _AwaitingSecond, _LastSegment };
  enum class TCloseResult : std::uint8_t { _NothingOpen, _Closed, _StillOpen };
  struct TDeviceMessages {
    bool Open = false;
    bool Close = false;
    std::uint32_t Done = 0;
  };

  void WaveOutMessage(TWaveOutCallback Message) noexcept override;
  TDeviceMessages TakeDeviceMessages();

  void IdlePass();
  void OpeningPass();
  void StartingPass();
  void PlayingPass();
  void ClosingPass();
  void StartPlay(std::uint32_t Sequence);
  void StartOutput();
  void BeginOutput();
  void ServeStartingCommand(const TCommand& Command);
  void ServePlayingCommand(const TCommand& Command);
  void HandleDone();
  bool DeviceStopped(std::chrono::steady_clock::time_point Now);
  void EndPlay(std::string_view Message);
  void Fail() noexcept;
  void BeginClosing(TOutcome Outcome, std::uint32_t Sequence);
  void EnterClosing(TOutcome Outcome, std::uint32_t Sequence);
  void CloseFailed();
  void FinishClose();
  void EndWhileOpen();

  void LoadPlaySetting();
  void LoadOutputGain();
  void OpenWaveOutDevice();
  TCloseResult CloseWaveOutDevice();
  bool AllocateWaveMemory();
  void ReleaseWaveMemory();
  // The seconds are made by FMaker on a thread of its own: the first one
  // while the thread serves commands, the next one while the current one
  // plays, so that a second's boundary has only a segment to write, and
  // both again when the gains change. No second is waited for: false when
  // it is not made yet.
  void BeginSeconds();
  bool TakeFirstSecond();
  bool GenerateOneSecond();
  void EnterFlow(TFlow Flow) {
    FFlow = Flow;
    FOwedDones = 0;
    if (Flow == TFlow::_AwaitingSecond) FSecondAwaitedSince = std::chrono::steady_clock::now();
  }
  void ResumeLateSecond();
  void WriteFirstSegment();
  bool NextSecondComes() const;
  void ChangeGains();
  void TakeRequantized();
  TQuantizeGains Gains() const;
  bool WriteWaveOutBuffer();
  void AnswerErred(std::uint32_t Sequence);
  void SendDisplay(std::uint8_t Command, bool WithPlayTime);
  template <class F>
  std::uint32_t DeviceCall(F Call);

  TSoundOutOwner& FOwner;
  TAutoResetEvent& FEventCallSoundOut;
  TWaveOutDevice& FDevice;
  TWaveMemory& FMemory;
  TSignalEngine& FEngine;
  TUserInterfaceSink& FUserInterface;
  TThreadDisplayOut& FDisplay;
  TCommandMailbox<std::uint8_t> FMailbox{SoundOutKeeps};
  TAnswers FAnswer;

  // Written by the device's callback.
  std::unique_ptr<TAutoResetEvent> EventWaveOutCallback;
  std::atomic<bool> FOpenMessage{false};
  std::atomic<bool> FCloseMessage{false};
  std::atomic<std::uint32_t> FDoneMessages{0};

  // Read by the requesters.
  std::atomic<std::int64_t> FDeviceCallSince{0};  // steady-clock ms of the running device call; 0 none
  std::atomic<std::uint32_t> FDeviceStallMs{kDefaultDeviceStallMs};
  std::atomic<std::uint32_t> FLateSecondMs{kDefaultLateSecondMs};

  // The thread's own.
  TState FState = TState::_Idle;
  TOutcome FOutcome = TOutcome::_Stopped;
  std::uint32_t FPlaySequence = 0;     // the start command being served
  std::uint32_t FOutcomeSequence = 0;  // the command the close message answers
  std::uint32_t FStopSequence = 0;     // a stop that came while the play was ending
  std::optional<TCommand> FKept;       // a start that came while the device closed
  std::chrono::steady_clock::time_point FLastDone{};      // the device's last sign of progress
  // The looks at a device that returns no buffer: since when, how many, and
  // the position it stands at.
  std::chrono::steady_clock::time_point FStallLookSince{};
  int FStallLooks = 0;
  std::optional<std::uint64_t> FStallPosition;
  std::chrono::steady_clock::time_point FCloseDeadline{};  // longest wait for the close message
  bool FEnableWaveOut = false;
  bool FHeapCreated = false;
  PWaveHdr pWaveHdr[2] = {nullptr, nullptr};
  bool FHeaderPrepared[2] = {false, false};
  void* pWaveBuffer[2] = {nullptr, nullptr};
  std::size_t FWaveBufferBytes = 0;
  bool FOddEven = false;  // True: the next segment goes into buffer 0 with header 0
  std::int32_t FCount = 0;
  std::int32_t FCountMax = 4;
  std::int32_t FFrames = 0;
  std::int32_t FPlayTime = 0;
  // How a play's segments go to the device (changed only by EnterFlow):
  // each done message has the next one written; the next second was not
  // made at its boundary (the device gets nothing until it is, and the done
  // messages meanwhile are owed: served then, in order); or a timed play's
  // last segment plays (nothing more is written, its done message ends the
  // play).
  TFlow FFlow = TFlow::_Writing;
  std::uint32_t FOwedDones = 0;  // while _AwaitingSecond
  std::chrono::steady_clock::time_point FSecondAwaitedSince{};  // since _AwaitingSecond
  TSoundOutErrors FErrors;
  TPlaySettings FSettings;
  std::uint32_t FGainsVersion = 0;  // counts the gains taken
  // The current second, quantised.
  TWaveBufferInteger WaveBufferL, WaveBufferR;
  TSecondMaker FMaker;
};
