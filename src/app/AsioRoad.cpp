#include "app/AsioRoad.h"

#include <algorithm>
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
// The road's own thread: prepares the next second, hands each second that
// begins to the display thread, ends a timed play.

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
    : FServices(Services), FEventCall(Services.CreateEvent("EventCallAsioRoad")) {
  FThread = std::make_unique<TPrepareThread>(*this);
  FThread->Start();
}

TAsioPlayback::~TAsioPlayback() { Close(); }

long double TAsioPlayback::SampleScale(std::int32_t Quantization) {
  return std::ldexp(1.0L, Quantization - 1) - 1.0L;
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
  // Boxes only once the host lock is released: the display thread takes it.
  if (!refusal.empty()) {
    FServices.View.ShowErrorMessage(refusal);
    return;
  }
  if (!failure.empty()) {
    FServices.View.ShowErrorMessage(failure);
    return;
  }
  StartPlay(format);
}

std::string_view TAsioPlayback::PrepareHost(double Rate, std::string& Failure) {
  TAsioRoadHost& host = FServices.Host;
  std::lock_guard<std::mutex> lock(FHostLock);
  // A stop still waiting for the display thread is carried out first, so
  // that the rate kept below is the driver's own and the old stop cannot
  // reach the new play.
  CompletePendingStop();
  DefaultAsioSamplingRate = host.SampleRate();
  std::string_view refusal;
  try {
    if (host.CanSampleRate(Rate) == kAsioNoClock) {
      refusal = kMessageAsioRateRefused;
      host.Reset();
      return refusal;
    }
    host.Reset();
    const std::int32_t outputs = host.OutputChannelCount();
    const auto& state = FServices.State;
    for (const std::int32_t channel : {state.ActiveAsioChannelL, state.ActiveAsioChannelR})
      if (channel < 0 || channel >= outputs) return kMessageAsioChannelMissing;
    host.SetSampleRate(Rate);
    if (!RateHeld(Rate)) {
      host.SetSampleRate(DefaultAsioSamplingRate);
      return kMessageAsioRateRefused;
    }
  } catch (const std::exception& e) {
    if (refusal.empty()) Failure = e.what();
  }
  return refusal;
}

bool TAsioPlayback::RateHeld(double Rate) {
  const std::optional<double> actual = FServices.Host.DriverSampleRate();
  return actual && *actual == Rate;
}

TAsioPlayback::TSecond TAsioPlayback::Quantize(const TWaveBufferExtendedStereo& Mixed, const TOutputGains& Gains,
                                               std::uint32_t Seed) {
  TWaveBufferIntegerStereo quantized =
      FServices.Engine.QuantizeSignal(FFormat, Gains.Left(), Gains.Right(), Mixed, Seed);
  return TSecond{std::move(quantized[0]), std::move(quantized[1])};
}

void TAsioPlayback::StartPlay(const TPCMFormat& Format) {
  TMainState& state = FServices.State;
  TMainView& view = FServices.View;
  FFormat = Format;
  const std::size_t frames = static_cast<std::size_t>(Format._SamplingRate);

  // The first second is made here; a play never starts on anything else.
  RequestCreateWave(kCreateWaveAll);
  std::uint32_t seed = 0;
  const TWaveBufferExtendedStereo* mixed = state.FetchMixedSecond(&seed);
  TSecond first;
  if (mixed) first = Quantize(*mixed, state.OutputGains(), seed);
  if (first.L.size() != frames || first.R.size() != frames) {
    view.ShowErrorMessage(kMessageCannotCreateWaveData);
    RestoreRate();
    return;
  }
  FSlots[0] = std::move(first);
  FHandOver.store(THandOver{}.Pack());
  const TInternalSetting setting = state.InternalSetting();
  FSingle = setting._Repeat == TRepeat::_Single;
  FPlayTime = setting._PlayTime;
  FScale = SampleScale(Format._Quantization);
  FChannelL = state.ActiveAsioChannelL;
  FChannelR = state.ActiveAsioChannelR;
  AsioCountMax = Format._SamplingRate;
  AsioCount = 0;
  AsioPlayTime = 0;
  FBoundaries.store(0);
  FEnded.store(false);
  FReadyGains = state.OutputGains();

  TThreadDisplayOut& display = state.ThreadDisplayOut();
  display.HandOver(FSlots[0].L, FSlots[0].R);
  display.Call(kDisplayStart);

  FRunning.store(true);
  bool active;
  {
    std::lock_guard<std::mutex> lock(FHostLock);
    FServices.Host.SetActive(true);
    active = FServices.Host.Active();
  }
  if (!active) {
    // The driver did not start: undo, without a host stop.
    EndPlay();
    display.Call(kDisplayStop);
    RestoreRate();
    view.SetPlayGlyph(kGlyphSignalInactive);
    state.SetOperation(TOperation::_Stop);
    view.ShowErrorMessage(kMessageAsioDriverFailed);
    return;
  }
  view.SetPlayGlyph(kGlyphSignalActive);
  state.SetOperation(TOperation::_Play);
  {
    std::lock_guard<std::mutex> lock(FPlayLock);
    FActivePlay = true;
    FFailedAt = -1;
    FPrepared = 1;
    FShownBoundary = 0;
    FEndHandled = false;
    FMixed.fill(nullptr);
  }
  FEventCall->Set();
}

void TAsioPlayback::RestoreRate() {
  std::lock_guard<std::mutex> lock(FHostLock);
  FServices.Host.SetSampleRate(DefaultAsioSamplingRate);
}

void TAsioPlayback::EndPlay() {
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

void TAsioPlayback::MarkStopPending() {
  std::lock_guard<std::mutex> lock(FHostLock);
  FStopPending = true;
}

void TAsioPlayback::CompletePendingStop() {
  if (!FStopPending) return;
  FStopPending = false;
  FServices.Host.SetActive(false);
  FServices.Host.SetSampleRate(DefaultAsioSamplingRate);
}

void TAsioPlayback::Stop() {
  if (FClosed) return;
  StopOutput();
}

void TAsioPlayback::StopOutput() {
  EndPlay();  // from here on the handler writes silence
  MarkStopPending();
  FServices.State.SendDisplayStop();  // the display thread stops the host
  FServices.View.SetPlayGlyph(kGlyphSignalInactive);
  FServices.State.SetOperation(TOperation::_Stop);
}

void TAsioPlayback::StopHost() {
  std::lock_guard<std::mutex> lock(FHostLock);
  CompletePendingStop();
}

void TAsioPlayback::HostReset() {
  if (FClosed || !FRunning.load() || FEnded.load()) return;
  const double rate = FFormat._SamplingRate;
  bool held;
  {
    std::lock_guard<std::mutex> lock(FHostLock);
    FServices.Host.SetSampleRate(rate);
    held = RateHeld(rate);
  }
  if (held) return;
  StopOutput();
  FServices.View.ShowErrorMessage(kMessageAsioRateRefused);
}

void TAsioPlayback::Close() {
  if (FClosed) return;
  FClosed = true;
  EndPlay();
  {
    std::lock_guard<std::mutex> lock(FHostLock);
    TAsioRoadHost& host = FServices.Host;
    if (FStopPending || host.Active()) {
      FStopPending = false;
      try {
        host.SetActive(false);
        host.SetSampleRate(DefaultAsioSamplingRate);
        host.CloseDriver();
      } catch (const std::exception&) {
        // The program ends: nothing is left to report it to.
      }
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
  if (!SameGains(FServices.State.OutputGains(), FReadyGains)) RequantizeReady(generation);
  // One second per pass, so that a second that begins meanwhile is shown at
  // once; after a failure, one attempt per second boundary.
  // A timed play makes no second beyond its end.
  const bool more = !FSingle || FPrepared < FPlayTime;
  if (more && FFailedAt != boundary && THandOver::Unpack(FHandOver.load(std::memory_order_acquire)).Count < kAhead) {
    PrepareNext(generation, boundary);
    if (THandOver::Unpack(FHandOver.load(std::memory_order_acquire)).Count < kAhead) FEventCall->Set();
  }
}

void TAsioPlayback::PrepareNext(std::uint32_t Generation, std::int32_t Boundary) {
  RequestCreateWave(kCreateWaveNext);
  std::uint32_t seed = 0;
  const TWaveBufferExtendedStereo* mixed = FServices.State.FetchMixedSecond(&seed);
  if (Generation != FGeneration.load()) return;
  const TOutputGains gains = FServices.State.OutputGains();
  TSecond second;
  if (mixed) second = Quantize(*mixed, gains, seed);
  const std::size_t frames = static_cast<std::size_t>(FFormat._SamplingRate);
  if (second.L.size() != frames || second.R.size() != frames) {
    // Without it the second playing at its boundary plays again.
    FFailedAt = Boundary;
    FServices.UserInterface.PostErrorMessage(std::string(kMessageCannotCreateWaveData));
    return;
  }
  if (!SameGains(gains, FReadyGains)) RequantizeReady(Generation);
  std::uint8_t slot;
  if (Queue(Generation, second, kAppend, slot)) {
    FMixed[slot] = mixed;
    FMixedSeeds[slot] = seed;
    ++FPrepared;
  }
}

void TAsioPlayback::RequantizeReady(std::uint32_t Generation) {
  const TOutputGains gains = FServices.State.OutputGains();
  FReadyGains = gains;
  const THandOver word = THandOver::Unpack(FHandOver.load(std::memory_order_acquire));
  for (std::uint8_t i = 0; i < word.Count; ++i) {
    const std::uint8_t old = word.Ready[i];
    if (!FMixed[old]) continue;
    // The second keeps its seed: only the gains change.
    TSecond second = Quantize(*FMixed[old], gains, FMixedSeeds[old]);
    std::uint8_t slot;
    if (Queue(Generation, second, old, slot)) {
      FMixed[slot] = FMixed[old];
      FMixedSeeds[slot] = FMixedSeeds[old];
    }
    FMixed[old] = nullptr;  // replaced, or begun meanwhile
  }
}

bool TAsioPlayback::THandOver::Holds(std::uint8_t Slot) const {
  return std::find(Ready.begin(), Ready.begin() + Count, Slot) != Ready.begin() + Count;
}

std::uint8_t TAsioPlayback::FreeSlot(const THandOver& Word) {
  for (std::uint8_t slot = 0; slot < kSlots; ++slot)
    if (slot != Word.Playing && !Word.Holds(slot)) return slot;
  return 0;  // never: more slots than the playing one and the ready ones
}

bool TAsioPlayback::Queue(std::uint32_t Generation, TSecond& Second, std::uint8_t Old, std::uint8_t& Slot) {
  std::uint16_t packed = FHandOver.load(std::memory_order_acquire);
  THandOver word = THandOver::Unpack(packed);
  Slot = FreeSlot(word);
  std::swap(FSlots[Slot], Second);
  // The driver's thread may take from the queue meanwhile: try again on
  // what it left.
  for (;;) {
    if (Generation != FGeneration.load()) return false;
    THandOver changed = word;
    if (Old == kAppend) {
      if (word.Count >= kAhead) return false;
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
  MarkStopPending();
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

bool TAsioPlayback::EndOfSecond() {
  ++AsioPlayTime;
  if (FSingle && AsioPlayTime == FPlayTime) {
    FEnded.store(true, std::memory_order_release);
    FEventCall->Set();
    return false;
  }
  // Take the next ready second; without one the current second plays again.
  std::uint16_t packed = FHandOver.load(std::memory_order_acquire);
  for (;;) {
    THandOver word = THandOver::Unpack(packed);
    if (word.Count == 0) break;
    const THandOver taken{word.Ready[0], static_cast<std::uint8_t>(word.Count - 1), {word.Ready[1], 0}};
    if (FHandOver.compare_exchange_weak(packed, taken.Pack(), std::memory_order_acq_rel, std::memory_order_acquire))
      break;
  }
  AsioCount = 0;
  FBoundaries.store(AsioPlayTime, std::memory_order_release);
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

  std::size_t j = 0;
  while (j < frames) {
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
      // A timed play ended: the rest of the block is silent.
      for (double* block : {left, right})
        if (block) std::fill(block + j, block + frames, 0.0);
      break;
    }
  }
  FInHandler.fetch_sub(1);
}
