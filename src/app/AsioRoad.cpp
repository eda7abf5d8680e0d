#include "app/AsioRoad.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <thread>

#include "synthesis/ExtendedPrecision.h"

namespace {

// The road's thread looks for work at least this often (a gain change is
// found by looking).
constexpr std::uint32_t kPrepareWaitMs = 20;

bool SameGains(const TOutputGains& A, const TOutputGains& B) {
  return A.OutputATT == B.OutputATT && A.OutputMute == B.OutputMute && A.OutputGainL == B.OutputGainL &&
         A.OutputGainR == B.OutputGainR;
}

}  // namespace

// ---------------------------------------------------------------------------
// The road's own thread: prepares the next seconds, hands each second that
// begins to the display thread, reports a missing second, ends a timed play.

class TAsioPlayback::TPrepareThread final : public TWorkerThread {
 public:
  explicit TPrepareThread(TAsioPlayback& Road) : FRoad(Road) {}
  ~TPrepareThread() override { End(); }

 protected:
  void Execute() override {
    while (!Terminated()) {
      FRoad.FEventCall->Wait(kPrepareWaitMs);
      if (Terminated()) break;
      FRoad.Serve();
    }
  }
  void Wake() override { FRoad.FEventCall->Set(); }

 private:
  TAsioPlayback& FRoad;
};

TAsioPlayback::TAsioPlayback(const TAsioRoadServices& Services)
    : FServices(Services),
      FAlive(std::make_shared<TAsioPlayback*>(this)),
      FEventCall(Services.CreateEvent("EventCallAsioRoad")) {
  FServices.Host.SetOnDriverReset([this](bool Reopened) {
    if (Reopened)
      HostReset();
    else
      HostResetFailed();
  });
  FThread = std::make_unique<TPrepareThread>(*this);
  FThread->Start();
}

TAsioPlayback::~TAsioPlayback() { Close(); }

long double TAsioPlayback::SampleScale(std::int32_t Quantization) {
  return std::ldexp(1.0L, Quantization - 1) - 1.0L;
}

std::int32_t TAsioPlayback::StartSecondsFor(std::uint32_t BufferSize, std::int32_t Rate) {
  if (Rate <= 0) return 1;
  // The first half covers frames 0 to BufferSize - 1; one that ends on a
  // boundary takes the next second there.
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(static_cast<std::int64_t>(BufferSize) / Rate + 1, 1, kMaxAhead));
}

std::int32_t TAsioPlayback::AheadFor(std::uint32_t BufferSize, std::int32_t Rate) {
  if (Rate <= 0) return 2;
  // A half that begins on the last frame of a second reaches this many
  // boundaries.
  const std::int64_t spanned = (static_cast<std::int64_t>(BufferSize) + Rate - 1) / Rate;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(spanned + 1, 2, kMaxAhead));
}

// ---------------------------------------------------------------------------
// The hand-over word

std::uint64_t TAsioPlayback::THandOver::Pack() const {
  std::uint64_t word = static_cast<std::uint64_t>(Playing) | static_cast<std::uint64_t>(Count) << 4;
  for (std::size_t i = 0; i < Ready.size(); ++i) word |= static_cast<std::uint64_t>(Ready[i] & 15) << (8 + 4 * i);
  return word;
}

TAsioPlayback::THandOver TAsioPlayback::THandOver::Unpack(std::uint64_t Word) {
  THandOver unpacked;
  unpacked.Playing = static_cast<std::uint8_t>(Word & 15);
  unpacked.Count = static_cast<std::uint8_t>(Word >> 4 & 15);
  for (std::size_t i = 0; i < unpacked.Ready.size(); ++i)
    unpacked.Ready[i] = static_cast<std::uint8_t>(Word >> (8 + 4 * i) & 15);
  return unpacked;
}

bool TAsioPlayback::THandOver::Holds(std::uint8_t Slot) const {
  return std::find(Ready.begin(), Ready.begin() + Count, Slot) != Ready.begin() + Count;
}

std::uint8_t TAsioPlayback::FreeSlot(const THandOver& Word) {
  for (std::uint8_t slot = 0; slot < kSlots; ++slot)
    if (slot != Word.Playing && !Word.Holds(slot)) return slot;
  return 0;  // never: more slots than the playing one and the ready ones
}

// ---------------------------------------------------------------------------
// User-interface thread

void TAsioPlayback::RequestCreateWave(std::uint8_t Command) { FServices.State.RequestCreateWave(Command); }

void TAsioPlayback::Play() {
  if (FClosed) return;
  if (FServices.Host.DriverIndex() < 0) {
    FServices.View.ShowErrorMessage(kMessageNoAsioDevice);
    return;
  }
  EndPlay();
  const TPCMFormat format = FServices.State.PCMFormat();
  std::string failure;
  const std::string_view refusal = PrepareHost(format._SamplingRate, failure);
  if (!refusal.empty()) {
    FServices.View.ShowErrorMessage(refusal);
    return;
  }
  if (!failure.empty()) {
    FServices.View.ShowErrorMessage(failure);
    return;
  }
  if (RateReported(format._SamplingRate)) {
    StartPlay(format, false);
    return;
  }
  // The driver is still locking to the rate: the play shows at once and
  // starts once the driver reports the rate.
  FWaitFormat = format;
  FServices.View.SetPlayGlyph(kGlyphSignalActive);
  FServices.State.SetOperation(TOperation::_Play);
  AwaitRate(TRateWait::_Play);
}

std::string_view TAsioPlayback::PrepareHost(double Rate, std::string& Failure) {
  TAsioRoadHost& host = FServices.Host;
  // A stop still waiting for its turn is carried out first, so that the rate
  // kept below is the driver's own and the old stop cannot reach the new play.
  CompletePendingStop();
  DefaultAsioSamplingRate = host.SampleRate();
  std::string_view refusal;
  try {
    if (host.CanSampleRate(Rate) == kAsioNoClock) {
      refusal = kMessageAsioRateRefused;
      host.Reset();
      return refusal;
    }
    // The first second is made while the driver opens.
    RequestStartSecond(kCreateWaveAll);
    host.Reset();
    const std::int32_t outputs = host.OutputChannelCount();
    const auto& state = FServices.State;
    for (const std::int32_t channel : {state.ActiveAsioChannelL, state.ActiveAsioChannelR})
      if (channel < 0 || channel >= outputs) return kMessageAsioChannelMissing;
    host.SetSampleRate(Rate);
  } catch (const std::exception& e) {
    if (refusal.empty()) Failure = e.what();
  }
  return refusal;
}

bool TAsioPlayback::RateReported(double Rate) {
  // A driver may report its measured clock (48000.02 Hz), or nothing while
  // it locks to the new rate.
  const std::optional<double> actual = FServices.Host.DriverSampleRate();
  return actual && std::isfinite(*actual) && std::llround(*actual) == std::llround(Rate);
}

void TAsioPlayback::AwaitRate(TRateWait Kind) {
  FRateWait = Kind;
  const std::uint32_t wait = ++FRateWaitNumber;
  FRateDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRateLockWaitMs);
  FServices.View.CallLater(kRateReadPauseMs, [alive = std::weak_ptr<TAsioPlayback*>(FAlive), wait] {
    if (const auto road = alive.lock()) (*road)->PollRate(wait);
  });
}

void TAsioPlayback::PollRate(std::uint32_t Wait) {
  if (FClosed || Wait != FRateWaitNumber || FRateWait == TRateWait::_None) return;
  const TRateWait kind = FRateWait;
  if (kind == TRateWait::_Reopen && (!FRunning.load() || FEnded.load())) {
    EndRateWait();  // the play has ended meanwhile (a timed play)
    return;
  }
  const TPCMFormat& format = kind == TRateWait::_Play ? FWaitFormat : FFormat;
  if (RateReported(format._SamplingRate)) {
    EndRateWait();
    if (kind == TRateWait::_Play) StartPlay(FWaitFormat, true);
    return;
  }
  if (std::chrono::steady_clock::now() >= FRateDeadline) {
    EndRateWait();
    RateNotReported(kind);
    return;
  }
  FServices.View.CallLater(kRateReadPauseMs, [alive = std::weak_ptr<TAsioPlayback*>(FAlive), Wait] {
    if (const auto road = alive.lock()) (*road)->PollRate(Wait);
  });
}

void TAsioPlayback::EndRateWait() {
  FRateWait = TRateWait::_None;
  ++FRateWaitNumber;  // its timer finds nothing to do
}

void TAsioPlayback::RateNotReported(TRateWait Kind) {
  if (Kind != TRateWait::_Play) {
    ReopenFailed();
    return;
  }
  RestoreRate();
  FServices.View.SetPlayGlyph(kGlyphSignalInactive);
  FServices.State.SetOperation(TOperation::_Stop);
  FServices.View.ShowErrorMessage(kMessageAsioRateRefused);
}

void TAsioPlayback::ReopenFailed() {
  StopOutput();
  FServices.View.ShowErrorMessage(kMessageAsioDriverFailed);
}

TAsioPlayback::TSecond TAsioPlayback::Quantize(const TWaveBufferExtendedStereo& Mixed, const TOutputGains& Gains,
                                               std::uint32_t Seed) {
  TWaveBufferIntegerStereo quantized =
      FServices.Engine.QuantizeSignal(FFormat, Gains.Left(), Gains.Right(), Mixed, Seed);
  return TSecond{std::move(quantized[0]), std::move(quantized[1])};
}

// Quantises the mixed second into Second; false when there is none or it
// is not a whole second.
bool TAsioPlayback::QuantizeSecond(TSecond& Second, const TWaveBufferExtendedStereo* Mixed, std::uint32_t Seed,
                                   const TOutputGains& Gains) {
  if (Mixed) Second = Quantize(*Mixed, Gains, Seed);
  const std::size_t frames = static_cast<std::size_t>(FFormat._SamplingRate);
  return Mixed && Second.L.size() == frames && Second.R.size() == frames;
}

// Fetches the second last asked for and quantises it; false when it could
// not be made (or the play changed meanwhile: the road's thread).
bool TAsioPlayback::MakeSecond(TSecond& Second, const TWaveBufferExtendedStereo*& Mixed, std::uint32_t& Seed,
                               const TOutputGains& Gains, std::uint32_t Generation) {
  Mixed = FServices.State.FetchMixedSecond(&Seed, [this, Generation] { return Generation != FGeneration.load(); });
  return QuantizeSecond(Second, Mixed, Seed, Gains);
}

bool TAsioPlayback::StartPlay(const TPCMFormat& Format, bool Shown) {
  TMainState& state = FServices.State;
  FFormat = Format;
  const TInternalSetting setting = state.InternalSetting();
  FSingle = setting._Repeat == TRepeat::_Single;
  FPlayTime = setting._PlayTime;
  FReadyGains = state.OutputGains();
  FStartBufferSize = FServices.Host.BufferSize();
  FAhead.store(AheadFor(FStartBufferSize, Format._SamplingRate));

  // The first second (asked for before the driver opened) is made before
  // the driver starts; a play never starts on anything else. So are the
  // other seconds the driver's first half reaches, so that it never finds
  // one missing; the road's thread makes the rest once the driver runs, the
  // next while the first plays.
  FMixed.fill(nullptr);
  FStartShown = Shown;
  FStartMade = 0;
  FStartWord = THandOver{};
  FStartFirst = StartSecondsFor(FStartBufferSize, Format._SamplingRate) - 1;
  if (FSingle) FStartFirst = std::min(FStartFirst, FPlayTime - 1);
  return ContinueStart(std::chrono::steady_clock::now() + std::chrono::milliseconds(state.StartAnswerMs()));
}

void TAsioPlayback::RequestStartSecond(std::uint8_t Command) {
  RequestCreateWave(Command);
  FStartDeadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(FServices.State.CreateWaveBoundMs());
}

bool TAsioPlayback::ContinueStart(std::chrono::steady_clock::time_point HandlerUntil) {
  using Clock = std::chrono::steady_clock;
  TMainState& state = FServices.State;
  TMainView& view = FServices.View;
  for (;;) {
    // The handler waits its own part; then the window stays responsive and
    // the second is looked for from a timer while the create-wave thread
    // makes it, until its bound.
    std::uint32_t seed = 0;
    const auto until = std::min(HandlerUntil, FStartDeadline);
    const TWaveBufferExtendedStereo* mixed =
        Clock::now() < until ? state.FetchMixedSecond(&seed, [until] { return Clock::now() >= until; }) : nullptr;
    bool answered = mixed != nullptr;
    if (!answered) {
      if (const auto peeked = state.PeekMixedSecond(&seed)) {
        mixed = *peeked;
        answered = true;
      }
    }
    if (!answered && Clock::now() < FStartDeadline) {
      if (!FStartShown) {
        FStartShown = true;
        view.SetPlayGlyph(kGlyphSignalActive);
        state.SetOperation(TOperation::_Play);
      }
      FRateWait = TRateWait::_Seconds;
      const std::uint32_t wait = ++FRateWaitNumber;
      view.CallLater(kRateReadPauseMs, [alive = std::weak_ptr<TAsioPlayback*>(FAlive), wait] {
        if (const auto road = alive.lock()) (*road)->PollStart(wait);
      });
      return true;
    }
    const auto slot = static_cast<std::uint8_t>(FStartMade);
    if (!QuantizeSecond(FSlots[slot], mixed, seed, FReadyGains)) {
      if (FStartMade == 0) {
        view.ShowErrorMessage(kMessageCannotCreateWaveData);
        RestoreRate();
        if (FStartShown) {
          view.SetPlayGlyph(kGlyphSignalInactive);
          state.SetOperation(TOperation::_Stop);
        }
        return false;
      }
      // The road's thread tries again and reports it.
      FMixed.fill(nullptr);
      break;
    }
    KeepMix(slot, mixed, seed, slot);
    if (slot > 0) FStartWord.Ready[FStartWord.Count++] = slot;
    if (++FStartMade > FStartFirst) break;
    RequestStartSecond(kCreateWaveNext);
  }
  return LaunchPlay();
}

void TAsioPlayback::PollStart(std::uint32_t Wait) {
  if (FClosed || Wait != FRateWaitNumber || FRateWait != TRateWait::_Seconds) return;
  FRateWait = TRateWait::_None;
  ContinueStart(std::chrono::steady_clock::now());
}

bool TAsioPlayback::LaunchPlay() {
  TMainState& state = FServices.State;
  TMainView& view = FServices.View;
  const TPCMFormat& Format = FFormat;
  const bool Shown = FStartShown;
  const THandOver word = FStartWord;
  FHandOver.store(word.Pack());
  FPrepared = 1 + word.Count;
  FScale = SampleScale(Format._Quantization);
  FChannelL = state.ActiveAsioChannelL;
  FChannelR = state.ActiveAsioChannelR;
  AsioCountMax = Format._SamplingRate;
  AsioCount = 0;
  AsioPlayTime = 0;
  FStarved = false;
  FSilentFrames = 0;
  FBoundaries.store(0);
  FSilentSeconds.store(0);
  FEnded.store(false);

  TThreadDisplayOut& display = state.ThreadDisplayOut();
  display.HandOver(FSlots[0].L, FSlots[0].R);
  display.Call(kDisplayStart);

  FRunning.store(true);
  FServices.Host.SetActive(true);
  if (!FServices.Host.Active()) {
    // The driver did not start: undo, without a host stop.
    EndPlay();
    display.Call(kDisplayStop);
    RestoreRate();
    view.SetPlayGlyph(kGlyphSignalInactive);
    state.SetOperation(TOperation::_Stop);
    view.ShowErrorMessage(kMessageAsioDriverFailed);
    return false;
  }
  if (!Shown) view.SetPlayGlyph(kGlyphSignalActive);
  state.SetOperation(TOperation::_Play);
  {
    std::lock_guard<std::mutex> lock(FPlayLock);
    FActivePlay = true;
    FFailedAt = -1;
    FFailureShown = false;
    FShownBoundary = 0;
    FEndHandled = false;
  }
  FEventCall->Set();
  return true;
}

void TAsioPlayback::RestoreRate() { FServices.Host.SetSampleRate(DefaultAsioSamplingRate); }

void TAsioPlayback::EndPlay() {
  EndRateWait();
  {
    std::unique_lock<std::mutex> lock(FPlayLock);
    FActivePlay = false;
    ++FGeneration;
    FServed.wait(lock, [this] { return !FServing; });
  }
  FRunning.store(false);
  // A block being written when the switch turned finishes first.
  while (FInHandler.load() != 0) std::this_thread::yield();
}

void TAsioPlayback::CompletePendingStop() {
  if (!FStopPending.exchange(false)) return;
  FServices.Host.SetActive(false);
  FServices.Host.SetSampleRate(DefaultAsioSamplingRate);
}

void TAsioPlayback::Stop() {
  if (FClosed) return;
  StopOutput();
}

void TAsioPlayback::StopOutput() {
  EndPlay();  // from here on the handler writes silence
  FStopPending.store(true);
  FServices.State.SendDisplayStop();  // the display thread has the host stopped
  FServices.View.SetPlayGlyph(kGlyphSignalInactive);
  FServices.State.SetOperation(TOperation::_Stop);
}

void TAsioPlayback::StopHost() {
  // The driver is stopped on the user-interface thread, which a driver may
  // need while it stops; this thread never waits for it.
  if (!FStopPending.load()) return;
  FServices.PostTask([alive = std::weak_ptr<TAsioPlayback*>(FAlive)] {
    if (const auto road = alive.lock()) (*road)->CompletePendingStop();
  });
}

void TAsioPlayback::HostReset() {
  if (FClosed) return;
  TAsioRoadHost& host = FServices.Host;
  if (FRateWait == TRateWait::_Play) {
    // Reopened before the play began: the new driver is given the rate and
    // has its own time to report it.
    host.SetSampleRate(FWaitFormat._SamplingRate);
    AwaitRate(TRateWait::_Play);
    return;
  }
  if (!FRunning.load() || FEnded.load()) return;
  // The driver may come back with halves of another length.
  FAhead.store(AheadFor(host.BufferSize(), FFormat._SamplingRate));
  const double rate = FFormat._SamplingRate;
  // The reopened driver plays on meanwhile; one that refuses the rate, or
  // does not report it in time, ends the play.
  if (host.CanSampleRate(rate) == kAsioNoClock) {
    EndRateWait();
    ReopenFailed();
    return;
  }
  host.SetSampleRate(rate);
  if (RateReported(rate))
    EndRateWait();
  else
    AwaitRate(TRateWait::_Reopen);
}

void TAsioPlayback::HostResetFailed() {
  if (FClosed || ((!FRunning.load() || FEnded.load()) && FRateWait != TRateWait::_Play)) return;
  // No driver is open any more: nothing to stop, no rate to give back.
  EndPlay();
  FServices.State.SendDisplayStop();
  FServices.View.SetPlayGlyph(kGlyphSignalInactive);
  FServices.State.SetOperation(TOperation::_Stop);
}

void TAsioPlayback::Close() {
  if (FClosed) return;
  FClosed = true;
  const bool waiting = FRateWait != TRateWait::_None;  // the rate is set, the driver not started yet
  EndPlay();
  TAsioRoadHost& host = FServices.Host;
  host.SetOnDriverReset({});
  if (FStopPending.exchange(false) || host.Active() || waiting) {
    try {
      host.SetActive(false);
      host.SetSampleRate(DefaultAsioSamplingRate);
      host.CloseDriver();
    } catch (const std::exception&) {
      // The program ends: nothing is left to report it to.
    }
  }
  FThread.reset();
}

// ---------------------------------------------------------------------------
// The road's thread

void TAsioPlayback::Serve() {
  std::uint32_t generation;
  {
    std::lock_guard<std::mutex> lock(FPlayLock);
    if (!FActivePlay) return;
    FServing = true;
    generation = FGeneration.load();
  }
  struct TDone {
    TAsioPlayback& Road;
    ~TDone() {
      {
        std::lock_guard<std::mutex> lock(Road.FPlayLock);
        Road.FServing = false;
      }
      Road.FServed.notify_all();
    }
  } done{*this};

  if (FEnded.load(std::memory_order_acquire)) {
    if (!FEndHandled) {
      FEndHandled = true;
      EndTimedPlay(generation);
    }
    return;
  }
  const std::int32_t boundary = FBoundaries.load(std::memory_order_acquire);
  if (boundary != FShownBoundary) {
    FShownBoundary = boundary;
    const TSecond& playing = FSlots[THandOver::Unpack(FHandOver.load(std::memory_order_acquire)).Playing];
    TThreadDisplayOut& display = FServices.State.ThreadDisplayOut();
    display.HandOver(playing.L, playing.R, boundary);
    display.Call(kDisplayPlayTimeAndCharts);
  }
  const TOutputGains gains = FServices.State.OutputGains();
  if (!SameGains(gains, FReadyGains)) RequantizeReady(generation, gains);
  // One second per pass, so that a second that begins meanwhile is shown at
  // once; after a failure, one attempt per second the driver plays (sound or
  // silence). A timed play makes no second beyond its end.
  const std::int32_t token = boundary + FSilentSeconds.load(std::memory_order_acquire);
  const bool more = !FSingle || FPrepared < FPlayTime;
  const std::int32_t ahead = FAhead.load();
  if (more && (FFailedAt < 0 || FFailedToken != token) &&
      THandOver::Unpack(FHandOver.load(std::memory_order_acquire)).Count < ahead) {
    PrepareNext(generation, token);
    if (FFailedAt < 0 && THandOver::Unpack(FHandOver.load(std::memory_order_acquire)).Count < ahead)
      FEventCall->Set();
  }
}

void TAsioPlayback::ReportFailure() {
  // One message for one incident: the attempts that fail one after the
  // other (one per second the driver plays meanwhile) are one failure, over
  // once a second is made again.
  if (FFailureShown) return;
  FFailureShown = true;
  FServices.UserInterface.PostErrorMessage(std::string(kMessageCannotCreateWaveData));
}

void TAsioPlayback::KeepMix(std::uint8_t Slot, const TWaveBufferExtendedStereo* Mixed, std::uint32_t Seed,
                            std::int32_t Index) {
  FMixed[Slot] = Mixed;
  FMixedSeeds[Slot] = Seed;
  FMixedIndex[Slot] = Index;
  // The create-wave thread writes its two result slots in turn: only the
  // mixes of the last two seconds are still there.
  for (std::uint8_t slot = 0; slot < kSlots; ++slot)
    if (FMixed[slot] && FMixedIndex[slot] < Index - 1) FMixed[slot] = nullptr;
}

void TAsioPlayback::PrepareNext(std::uint32_t Generation, std::int32_t Token) {
  const std::int32_t index = FPrepared;
  RequestCreateWave(kCreateWaveNext);
  const TOutputGains gains = FServices.State.OutputGains();
  TSecond second;
  const TWaveBufferExtendedStereo* mixed = nullptr;
  std::uint32_t seed = 0;
  const bool made = MakeSecond(second, mixed, seed, gains, Generation);
  if (Generation != FGeneration.load()) return;
  if (!made) {
    FFailedAt = index;
    FFailedToken = Token;
    // A late answer may still land in either result slot.
    FMixed.fill(nullptr);
    ReportFailure();
    return;
  }
  FFailedAt = -1;
  FFailureShown = false;
  // The ready seconds take the gains the new one was made with; a change
  // during the wait reaches them all at the next pass.
  if (!SameGains(gains, FReadyGains)) RequantizeReady(Generation, gains);
  std::uint8_t slot;
  if (Queue(Generation, second, kAppend, slot)) {
    KeepMix(slot, mixed, seed, index);
    ++FPrepared;
  }
}

void TAsioPlayback::RequantizeReady(std::uint32_t Generation, const TOutputGains& Gains) {
  FReadyGains = Gains;
  const THandOver word = THandOver::Unpack(FHandOver.load(std::memory_order_acquire));
  for (std::uint8_t i = 0; i < word.Count; ++i) {
    const std::uint8_t old = word.Ready[i];
    if (!FMixed[old]) continue;
    // The second keeps its seed: only the gains change.
    TSecond second = Quantize(*FMixed[old], Gains, FMixedSeeds[old]);
    std::uint8_t slot;
    if (Queue(Generation, second, old, slot)) {
      FMixed[slot] = FMixed[old];
      FMixedIndex[slot] = FMixedIndex[old];
      FMixedSeeds[slot] = FMixedSeeds[old];
    }
    FMixed[old] = nullptr;  // replaced, or begun meanwhile
  }
}

bool TAsioPlayback::Queue(std::uint32_t Generation, TSecond& Second, std::uint8_t Old, std::uint8_t& Slot) {
  std::uint64_t packed = FHandOver.load(std::memory_order_acquire);
  THandOver word = THandOver::Unpack(packed);
  Slot = FreeSlot(word);
  std::swap(FSlots[Slot], Second);
  // The driver's thread may take from the queue meanwhile: try again on
  // what it left.
  for (;;) {
    if (Generation != FGeneration.load()) return false;
    THandOver changed = word;
    if (Old == kAppend) {
      if (word.Count >= kMaxAhead) return false;
      changed.Ready[changed.Count++] = Slot;
    } else {
      if (!word.Holds(Old)) return false;  // it has begun
      *std::find(changed.Ready.begin(), changed.Ready.begin() + changed.Count, Old) = Slot;
    }
    if (FHandOver.compare_exchange_weak(packed, changed.Pack(), std::memory_order_acq_rel)) return true;
    word = THandOver::Unpack(packed);
  }
}

void TAsioPlayback::EndTimedPlay(std::uint32_t Generation) {
  {
    std::lock_guard<std::mutex> lock(FPlayLock);
    if (Generation != FGeneration.load()) return;  // stopped meanwhile
    FActivePlay = false;
  }
  FRunning.store(false);
  FStopPending.store(true);
  // The main window's actions wait until the user-interface thread has
  // completed the stop.
  FServices.State.SetEnableChangeData(true);
  FServices.State.SendDisplayStop();
  FServices.UserInterface.PostSinglePlayEnd();
}

// ---------------------------------------------------------------------------
// The driver's thread

void TAsioPlayback::Silence(TAVDArrayOfDoubleDynArray& OutBuffer) {
  for (std::vector<double>& block : OutBuffer) std::fill(block.begin(), block.end(), 0.0);
}

bool TAsioPlayback::TakeNext() {
  std::uint64_t packed = FHandOver.load(std::memory_order_acquire);
  for (;;) {
    const THandOver word = THandOver::Unpack(packed);
    if (word.Count == 0) return false;
    THandOver taken;
    taken.Playing = word.Ready[0];
    taken.Count = static_cast<std::uint8_t>(word.Count - 1);
    std::copy(word.Ready.begin() + 1, word.Ready.begin() + word.Count, taken.Ready.begin());
    if (FHandOver.compare_exchange_weak(packed, taken.Pack(), std::memory_order_acq_rel, std::memory_order_acquire))
      return true;
  }
}

bool TAsioPlayback::EndOfSecond() {
  ++AsioPlayTime;
  if (FSingle && AsioPlayTime == FPlayTime) {
    FEnded.store(true, std::memory_order_release);
    FEventCall->Set();
    return false;
  }
  AsioCount = 0;
  if (TakeNext()) {
    FBoundaries.store(AsioPlayTime, std::memory_order_release);
  } else {
    // Never the second before again: silence until this one is ready.
    FStarved = true;
    FSilentFrames = 0;
  }
  FEventCall->Set();
  return true;
}

void TAsioPlayback::ASIOHostBufferSwitch64(const TAVDArrayOfDoubleDynArray&, TAVDArrayOfDoubleDynArray& OutBuffer) {
  // The driver's thread runs at whatever precision its owner chose.
  krv::ExtendedPrecisionScope precision;
  FInHandler.fetch_add(1);
  if (!FRunning.load() || FEnded.load(std::memory_order_relaxed)) {
    Silence(OutBuffer);
    FInHandler.fetch_sub(1);
    return;
  }
  const std::size_t channels = OutBuffer.size();
  const auto channelL = static_cast<std::size_t>(FChannelL), channelR = static_cast<std::size_t>(FChannelR);
  std::size_t frames = 0;
  for (std::size_t c = 0; c < channels; ++c) {
    if (c != channelL && c != channelR) std::fill(OutBuffer[c].begin(), OutBuffer[c].end(), 0.0);
    frames = c == 0 ? OutBuffer[c].size() : std::min(frames, OutBuffer[c].size());
  }
  // When both name one channel, it carries the right side.
  double* left = channelL < channels && channelL != channelR ? OutBuffer[channelL].data() : nullptr;
  double* right = channelR < channels ? OutBuffer[channelR].data() : nullptr;
  auto silentFrom = [&](std::size_t j) {
    for (double* block : {left, right})
      if (block) std::fill(block + j, block + frames, 0.0);
  };

  std::size_t j = 0;
  while (j < frames) {
    if (FStarved) {
      if (!TakeNext()) {
        silentFrom(j);
        FSilentFrames += static_cast<std::int32_t>(frames - j);
        if (FSilentFrames >= AsioCountMax) {
          FSilentFrames %= AsioCountMax;
          FSilentSeconds.fetch_add(1, std::memory_order_release);
          FEventCall->Set();
        }
        break;
      }
      // The missing second has come: it begins here.
      FStarved = false;
      FBoundaries.store(AsioPlayTime, std::memory_order_release);
      FEventCall->Set();
    }
    const TSecond& second = FSlots[THandOver::Unpack(FHandOver.load(std::memory_order_relaxed)).Playing];
    const std::size_t n = std::min(frames - j, static_cast<std::size_t>(AsioCountMax - AsioCount));
    const std::int32_t* l = second.L.data() + AsioCount;
    const std::int32_t* r = second.R.data() + AsioCount;
    for (std::size_t k = 0; k < n; ++k) {
      if (left) left[j + k] = static_cast<double>(static_cast<long double>(l[k]) / FScale);
      if (right) right[j + k] = static_cast<double>(static_cast<long double>(r[k]) / FScale);
    }
    j += n;
    AsioCount += static_cast<std::int32_t>(n);
    if (AsioCount == AsioCountMax && !EndOfSecond()) {
      silentFrom(j);  // a timed play ended: the rest of the block is silent
      break;
    }
  }
  FInHandler.fetch_sub(1);
}
