// The create-wave thread: one second of the signal set on request, into two
// result slots used in turn.
#include <algorithm>

#include "app/UnitThread.h"

namespace {

constexpr std::uint32_t kCreateWaveWaitMs = 10;

}  // namespace

TThreadCreateWave::TThreadCreateWave(TAutoResetEvent& EventCallCreateWave, const TEventFactory& CreateEvent,
                                     TSignalEngine& Engine)
    : FEventCallCreateWave(EventCallCreateWave),
      FAnswer(CreateEvent(kEventCreateWaveNotify)),
      FSynthesizer(Engine) {
  // Each Play of the driver road and each new series of a render begins a
  // series: the tones of an unchanged set are not made again.
  FSynthesizer.KeepTonesAcrossSeries(true);
}

TThreadCreateWave::~TThreadCreateWave() { End(); }

std::uint32_t TThreadCreateWave::Call(std::uint8_t Command, TSynthesisInputs Inputs) {
  const std::uint32_t sequence = FMailbox.Post(Command, std::move(Inputs));
  FEventCallCreateWave.Set();
  return sequence;
}

void TThreadCreateWave::WarmUp(TSynthesisInputs Inputs) {
  FMailbox.Post(kCreateWaveWarmUp, std::move(Inputs));
  FEventCallCreateWave.Set();
}

const TWaveBufferExtendedStereo* TThreadCreateWave::Fetch(std::uint32_t Sequence, std::uint32_t TimeoutMs,
                                                         std::uint32_t* Seed, const std::function<bool()>& Abandon) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    const auto now = Clock::now();
    const auto left = static_cast<std::uint32_t>(
        now < deadline ? std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count() : 0);
    if (const auto answer = FAnswer.Await(Sequence, std::min(left, kFetchSliceMs))) return Result(*answer, Seed);
    if (left <= kFetchSliceMs || (Abandon && Abandon())) return nullptr;
  }
}

std::optional<const TWaveBufferExtendedStereo*> TThreadCreateWave::Peek(std::uint32_t Sequence,
                                                                        std::uint32_t* Seed) {
  const auto answer = FAnswer.Peek(Sequence);
  if (!answer) return std::nullopt;
  return Result(*answer, Seed);
}

const TWaveBufferExtendedStereo* TThreadCreateWave::Result(const TAnswer& Answer, std::uint32_t* Seed) {
  if (Answer.Status != TCreateWaveNotify::_Prepared) return nullptr;
  if (Seed) *Seed = FSlotSeeds[Answer.Detail];
  return &WaveBufferExtendedStereoArray[Answer.Detail];
}

void TThreadCreateWave::Serve(const TCommand& Command) {
  if (Command.Code == kCreateWaveWarmUp) {
    if (Command.Payload.xChannelNumber <= 0) return;  // a stop only
    try {
      FSynthesizer.WarmUp(Command.Payload, TGeneratorChoice::_FollowFFTuse,
                          [this] { return Terminated() || FMailbox.Pending(); });
    } catch (...) {
      // Nobody waits for it: the tone that failed is made again when a
      // second needs it, and that request reports a failure then.
    }
    return;
  }
  if (Command.Code == kCreateWaveAll) {
    FSynthesizer.Begin(Command.Payload, TGeneratorChoice::_FollowFFTuse);
  } else if (Command.Code == kCreateWaveNext) {
    if (!FSynthesizer.Begun()) {  // nothing to continue from
      FAnswer.Publish(TCreateWaveNotify::_FailedError, Command.Sequence, 0);
      return;
    }
    FSynthesizer.Advance();
  } else {
    return;
  }
  const std::uint8_t slot = FOddEven ? 0 : 1;
  FSynthesizer.Mix(WaveBufferExtendedStereoArray[slot]);
  FSlotSeeds[slot] = FSynthesizer.Seed();
  FOddEven = !FOddEven;
  FAnswer.Publish(TCreateWaveNotify::_Prepared, Command.Sequence, slot);
}

void TThreadCreateWave::Execute() {
  FOddEven = true;
  while (!Terminated()) {
    if (!FEventCallCreateWave.Wait(kCreateWaveWaitMs)) continue;
    if (Terminated()) break;
    auto command = FMailbox.Take();
    if (!command) continue;
    try {
      Serve(*command);
    } catch (...) {
      // The series is over (a next second has nothing to continue from) and
      // its buffers are freed; the requester reports the failure.
      FSynthesizer.Clear();
      FAnswer.Publish(TCreateWaveNotify::_FailedError, command->Sequence, 0);
    }
  }
}
