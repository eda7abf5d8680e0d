#include "app/SecondMaker.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "synthesis/ExtendedPrecision.h"

namespace {

// What the next second's time must hold beyond a quantisation and twice a
// make (a busy machine makes one slower than the last) before the current
// second is quantised again ahead of it.
constexpr auto kDueMargin = std::chrono::milliseconds(50);

// Quantising again takes at most about one part in this many of the time,
// so that on a busy machine the thread that feeds the device and the
// device's own thread keep the processor they need.
constexpr int kRoundShare = 3;

// A job's time as the scheduler reckons it: a longer one at once, a shorter
// one slowly, so that one quick job on a busy machine does not make room
// that is not there.
TSecondMaker::TClock::duration Reckon(TSecondMaker::TClock::duration Was, TSecondMaker::TClock::duration Took) {
  return Took >= Was ? Took : (3 * Was + Took) / 4;
}

}  // namespace

// ---------------------------------------------------------------------------
// The engine as the maker calls it.

TWaveBufferExtended TSecondMaker::TCancellableEngine::GenerateTone(const TPCMFormat& F, const TSignalAttribute& S,
                                                                   const TInternalSetting& I, bool Inverse) {
  Check();
  return FEngine.GenerateTone(F, S, I, Inverse);
}
TWaveBufferExtended TSecondMaker::TCancellableEngine::GenerateSweep(const TPCMFormat& F, const TSignalAttribute& S,
                                                                    std::int32_t Start) {
  Check();
  return FEngine.GenerateSweep(F, S, Start);
}
TWaveBufferExtended TSecondMaker::TCancellableEngine::GenerateNoise(const TPCMFormat& F, const TSignalAttribute& S,
                                                                    TPinkNoiseMethod Pink, std::uint32_t Seed) {
  Check();
  return FEngine.GenerateNoise(F, S, Pink, Seed);
}
TWaveBufferExtendedStereo TSecondMaker::TCancellableEngine::SynthesizeSignals(const TPCMFormat& F, std::int32_t N,
                                                                              const TSignalAttributeArray& A,
                                                                              const TWaveBufferExtendedArray& B) {
  Check();
  return FEngine.SynthesizeSignals(F, N, A, B);
}
TWaveBufferIntegerStereo TSecondMaker::TCancellableEngine::QuantizeSignal(const TPCMFormat& F, long double L,
                                                                          long double R,
                                                                          const TWaveBufferExtendedStereo& S,
                                                                          std::uint32_t Seed) {
  Check();
  return FEngine.QuantizeSignal(F, L, R, S, Seed);
}
void TSecondMaker::TCancellableEngine::GenerateToneInto(const TPCMFormat& F, const TSignalAttribute& S,
                                                        const TInternalSetting& I, bool Inverse,
                                                        TWaveBufferExtended& Buffer) {
  Check();
  FEngine.GenerateToneInto(F, S, I, Inverse, Buffer);
}
void TSecondMaker::TCancellableEngine::GenerateSweepInto(const TPCMFormat& F, const TSignalAttribute& S,
                                                         std::int32_t Start, TWaveBufferExtended& Buffer) {
  Check();
  FEngine.GenerateSweepInto(F, S, Start, Buffer);
}
void TSecondMaker::TCancellableEngine::GenerateNoiseInto(const TPCMFormat& F, const TSignalAttribute& S,
                                                         TPinkNoiseMethod Pink, std::uint32_t Seed,
                                                         TWaveBufferExtended& Buffer) {
  Check();
  FEngine.GenerateNoiseInto(F, S, Pink, Seed, Buffer);
}
void TSecondMaker::TCancellableEngine::SynthesizeSignalsInto(const TPCMFormat& F, std::int32_t N,
                                                             const TSignalAttributeArray& A,
                                                             const TWaveBufferExtendedArray& B,
                                                             TWaveBufferExtendedStereo& Mix) {
  Check();
  FEngine.SynthesizeSignalsInto(F, N, A, B, Mix);
}
void TSecondMaker::TCancellableEngine::QuantizeSignalInto(const TPCMFormat& F, long double L, long double R,
                                                          const TWaveBufferExtendedStereo& S, std::uint32_t Seed,
                                                          TWaveBufferIntegerStereo& Out) {
  Check();
  FEngine.QuantizeSignalInto(F, L, R, S, Seed, Out);
}
bool TSecondMaker::TCancellableEngine::SumLeadingSignalsInto(const TPCMFormat& F, std::int32_t N,
                                                             const TSignalAttributeArray& A,
                                                             const TWaveBufferExtendedArray& B,
                                                             const std::size_t (&Records)[2],
                                                             TWaveBufferExtendedStereo& Sums) {
  Check();
  return FEngine.SumLeadingSignalsInto(F, N, A, B, Records, Sums);
}
void TSecondMaker::TCancellableEngine::SynthesizeSignalsFromSumsInto(const TPCMFormat& F, std::int32_t N,
                                                                     const TSignalAttributeArray& A,
                                                                     const TWaveBufferExtendedArray& B,
                                                                     const TExFunctionLib::TMixSums& From,
                                                                     TWaveBufferExtendedStereo& Mix) {
  Check();
  FEngine.SynthesizeSignalsFromSumsInto(F, N, A, B, From, Mix);
}

// ---------------------------------------------------------------------------
// TSecondMaker

TSecondMaker::TSecondMaker(TSignalEngine& Engine, std::function<void()> Made)
    : FEngine(Engine, FLiveSeries, FJobSeries), FMade(std::move(Made)), FSynthesizer(FEngine) {
  // Its arithmetic needs the 64-bit mantissa, as every synthesis thread's.
  FThread = krv::StartExtendedThread([this] { Run(); });
}

TSecondMaker::~TSecondMaker() { End(); }

void TSecondMaker::End() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FSeries = TSeries::_Ended;
    FLiveSeries.store(0);
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
}

void TSecondMaker::Cancel() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FSeries != TSeries::_Ended) FSeries = TSeries::_Cancelled;
    FLiveSeries.store(0);
    FMoreComes = false;
  }
  FWake.notify_all();
}

void TSecondMaker::Notify() {
  if (FMade) FMade();
}

void TSecondMaker::Quantize(const TSecond& Second, const TQuantizeGains& Gains, TWaveBufferIntegerStereo& Out) {
  // With the second's own seed: new gains keep its dither.
  FEngine.QuantizeSignalInto(FFormat, Gains.Left, Gains.Right, Second.Mix, Second.Seed, Out);
}

void TSecondMaker::Begin(const TSynthesisInputs& Inputs, const TQuantizeGains& Gains, bool MoreComes) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FSeries == TSeries::_Ended) return;
    // A job of the last series stops at its next engine call; what it
    // makes is dropped.
    FSeries = TSeries::_Running;
    FLiveSeries.store(++FSeriesNumber);
    FInputs = Inputs;
    for (TSecond& second : FSeconds) {
      second.Mixed = second.Made = false;
      second.TakenVersion = 0;
    }
    FMoreComes = MoreComes;
    FCurrentFirst = false;
    FDue = TClock::time_point::max();
    FSegment = {};
    FRoundAt = {};
    FRound = Gains;
    FRoundJobs = 0;
    FGains = Gains;
  }
  FWake.notify_all();
}

bool TSecondMaker::TakeFirst(TWaveBufferInteger& Left, TWaveBufferInteger& Right) {
  std::lock_guard<std::mutex> lock(FLock);
  if (FSeries == TSeries::_Failed) throw std::runtime_error("the first second could not be made");
  TSecond& current = FSeconds[FCurrent];
  if (!(current.Mixed && current.Made) || current.TakenVersion != 0) return false;
  Left.swap(current.Out[0]);
  Right.swap(current.Out[1]);
  current.Made = false;
  current.TakenVersion = current.Version;
  return true;
}

bool TSecondMaker::TakeNext(bool MoreComes, TWaveBufferInteger& Left, TWaveBufferInteger& Right) {
  std::unique_lock<std::mutex> lock(FLock);
  if (FSeries == TSeries::_Failed) throw std::runtime_error("the next second could not be made");
  TSecond& next = FSeconds[1 - FCurrent];
  if (!(next.Mixed && next.Made)) {
    // Late: nothing goes before it now.
    FMoreComes = true;
    FDue = TClock::time_point::min();
    lock.unlock();
    FWake.notify_all();
    return false;
  }
  Left.swap(next.Out[0]);
  Right.swap(next.Out[1]);
  next.Made = false;
  next.TakenVersion = next.Version;
  TSecond& old = FSeconds[FCurrent];
  old.Mixed = old.Made = false;  // a job still at it is dropped
  FCurrent = 1 - FCurrent;
  FMoreComes = MoreComes;
  FDue = TClock::time_point::max();
  lock.unlock();
  FWake.notify_all();
  return true;
}

void TSecondMaker::SetDue(TClock::time_point Due, TClock::duration Segment) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FDue = Due;
    FSegment = Segment;
  }
  FWake.notify_all();
}

void TSecondMaker::ChangeGains(const TQuantizeGains& Gains, bool CurrentFirst) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FGains = Gains;
    FCurrentFirst = CurrentFirst;
  }
  FWake.notify_all();
}

bool TSecondMaker::TakeRequantized(TWaveBufferInteger& Left, TWaveBufferInteger& Right) {
  std::lock_guard<std::mutex> lock(FLock);
  TSecond& current = FSeconds[FCurrent];
  if (!current.Mixed || !current.Made || current.Version <= current.TakenVersion) return false;
  if (!NextComesWith(current.Version)) return false;
  Left.swap(current.Out[0]);
  Right.swap(current.Out[1]);
  current.Made = false;
  current.TakenVersion = current.Version;
  return true;
}

bool TSecondMaker::Failed() {
  std::lock_guard<std::mutex> lock(FLock);
  return FSeries == TSeries::_Failed;
}

// A second whose newest quantisation has older gains than Version.
bool TSecondMaker::Outdated(const TSecond& Second, std::uint32_t Version) const {
  return Second.Mixed && (Second.Made ? Second.Version : Second.TakenVersion) < Version;
}

// True when the next second will come with gains no older than Version: it
// is made with them or newer ones, or it is still to be made (with the
// latest gains). The next second at work takes the gains it began with.
bool TSecondMaker::NextComesWith(std::uint32_t Version) const {
  const TSecond& next = FSeconds[1 - FCurrent];
  if (next.Mixed) return next.Made && next.Version >= Version;
  return FWork != TJob::_MakeNext || FWorkVersion >= Version;
}

// What to do next, by urgency. New gains are brought in by a round, with
// the gains it began with: the second made ahead quantised again first (it
// is taken next, and the playing one quantised again is heard only once the
// one made ahead has its gains too), then the playing one while some of it
// is still written after the work would end. A round begins once as many
// segments have passed since the last one began as it had jobs (or, where
// a quantisation takes longer than a third of a segment, three times their
// time), so that a drag that changes the gains faster costs no more than
// one quantisation a segment, nor more than a third of the processor; its
// second job follows at once.
// Before the next second is made, the playing one comes first when there is
// time to spare. NewRound tells whether the job begins a round; a job held
// back by the pace gives the time it may begin in Until.
TSecondMaker::TJob TSecondMaker::NextJob(TClock::time_point& Until, bool& NewRound) const {
  const TSecond& current = FSeconds[FCurrent];
  const TSecond& next = FSeconds[1 - FCurrent];
  NewRound = false;
  // The first second of the series goes before everything.
  if (!current.Mixed) return TJob::_MakeFirst;
  const bool makeNext = FMoreComes && !next.Mixed;
  const auto now = TClock::now();
  const auto roundDue = FRoundAt + std::max(FRoundJobs, 1) * std::max(FSegment, kRoundShare * FQuantizeTime);
  // The current second quantised again is heard only when a segment of it
  // is still written after the quantisation ends: the last one is written
  // a segment before the next second is due.
  const bool currentHeard = FDue == TClock::time_point::max() ||
                            (FDue != TClock::time_point::min() && now + FQuantizeTime + FSegment <= FDue);
  const bool currentOutdated = currentHeard && Outdated(current, FGains.Version);
  const bool currentInRound = currentHeard && Outdated(current, FRound.Version);
  const auto begin = [&](TJob Job) {
    if (now >= roundDue) {
      NewRound = true;
      return Job;
    }
    Until = roundDue;
    return TJob::_None;
  };
  if (FCurrentFirst && currentOutdated && makeNext && FDue != TClock::time_point::max() &&
      now + FQuantizeTime + 2 * FMakeTime + kDueMargin <= FDue) {
    if (currentInRound) return TJob::_RequantizeCurrent;
    if (now >= roundDue) return begin(TJob::_RequantizeCurrent);
  }
  if (makeNext) return TJob::_MakeNext;
  if (Outdated(next, FRound.Version)) return TJob::_RequantizeNext;
  if (currentInRound) return TJob::_RequantizeCurrent;
  if (Outdated(next, FGains.Version)) return begin(TJob::_RequantizeNext);
  if (currentOutdated) return begin(TJob::_RequantizeCurrent);
  return TJob::_None;
}

void TSecondMaker::Run() {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    TJob job = TJob::_None;
    bool newRound = false;
    for (;;) {
      if (FSeries == TSeries::_Ended) return;
      auto until = TClock::time_point::max();
      if (FSeries == TSeries::_Running && (job = NextJob(until, newRound)) != TJob::_None) break;
      if (until == TClock::time_point::max())
        FWake.wait(lock);
      else
        FWake.wait_until(lock, until);
    }
    // The job's second and gains are taken under the lock; its work is done
    // outside it. Only this thread writes a second's mix.
    TSecond& second = FSeconds[job == TJob::_MakeNext || job == TJob::_RequantizeNext ? 1 - FCurrent : FCurrent];
    TQuantizeGains gains = FGains;
    if (job == TJob::_MakeFirst) {
      second.Number = 0;
    } else if (job == TJob::_MakeNext) {
      second.Number = FSeconds[FCurrent].Number + 1;
    }
    if (job == TJob::_MakeFirst || job == TJob::_MakeNext) {
      second.Made = false;
      second.TakenVersion = 0;
    }
    const std::uint64_t number = second.Number;
    if (newRound) {
      FRound = FGains;
      FRoundAt = TClock::now();
      FRoundJobs = 0;
    }
    if (job == TJob::_RequantizeCurrent || job == TJob::_RequantizeNext) {
      gains = FRound;
      ++FRoundJobs;
    }
    FJobSeries = FSeriesNumber;
    FWork = job;
    FWorkVersion = gains.Version;
    lock.unlock();
    bool failed = false, cancelled = false;
    const auto began = TClock::now();
    TClock::duration quantizeTook{};
    try {
      cancelled = !Work(job, second, gains, quantizeTook);
    } catch (const TCancellableEngine::TCancelled&) {
      cancelled = true;  // the series is over
    } catch (...) {
      failed = true;
    }
    const auto took = TClock::now() - began;
    lock.lock();
    FWork = TJob::_None;
    // What a job of an ended series made is dropped.
    if (FJobSeries == FSeriesNumber && FSeries == TSeries::_Running && !cancelled) {
      if (failed) {
        FSeries = TSeries::_Failed;
      } else {
        if (job == TJob::_MakeFirst) {
          // The first second makes every record: the later ones cost no more.
          FMakeTime = took;
          FQuantizeTime = quantizeTook;
        } else if (job == TJob::_MakeNext) {
          FMakeTime = Reckon(FMakeTime, took);
        } else {
          FQuantizeTime = Reckon(FQuantizeTime, took);
        }
        if (second.Number == number && (job == TJob::_MakeFirst || job == TJob::_MakeNext || second.Mixed)) {
          second.Mixed = true;
          second.Out.swap(FScratch);
          second.Made = true;
          second.Version = gains.Version;
        }
      }
    }
    lock.unlock();
    Notify();
    lock.lock();
  }
}

bool TSecondMaker::Work(TJob Job, TSecond& Second, TQuantizeGains& Gains, TClock::duration& QuantizeTook) {
  if (Job == TJob::_MakeFirst) {
    TSynthesisInputs inputs;
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (FJobSeries != FSeriesNumber) return false;
      inputs = FInputs;
    }
    FFormat = inputs.PCMFormat;
    FSynthesizer.Begin(inputs, TGeneratorChoice::_Direct);
    FSynthesizer.Mix(Second.Mix);
    Second.Seed = FSynthesizer.Seed();
    // A gain change while it was made is in it: the gains are taken now.
    {
      std::lock_guard<std::mutex> lock(FLock);
      Gains = FGains;
      FWorkVersion = Gains.Version;
    }
  } else if (Job == TJob::_MakeNext) {
    FSynthesizer.Advance();
    FSynthesizer.Mix(Second.Mix);
    Second.Seed = FSynthesizer.Seed();
  }
  const auto quantizing = TClock::now();
  Quantize(Second, Gains, FScratch);
  QuantizeTook = TClock::now() - quantizing;
  return true;
}
