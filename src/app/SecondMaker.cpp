#include "app/SecondMaker.h"

#include <stdexcept>
#include <utility>

#include "synthesis/ExtendedPrecision.h"

TSecondMaker::TSecondMaker(TSignalEngine& Engine) : FEngine(Engine), FSynthesizer(Engine) {
  // Its arithmetic needs the 64-bit mantissa, as every synthesis thread's.
  FThread = krv::StartExtendedThread([this] { Run(); });
}

TSecondMaker::~TSecondMaker() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FStop = true;
  }
  FWake.notify_all();
  FThread.join();
}

void TSecondMaker::WaitIdle(std::unique_lock<std::mutex>& Lock) {
  FDone.wait(Lock, [this] { return !FBusy; });
}

void TSecondMaker::Quantize(const TSecond& Second, const TQuantizeGains& Gains, TWaveBufferIntegerStereo& Out) {
  // With the second's own seed: new gains keep its dither.
  FEngine.QuantizeSignalInto(FFormat, Gains.Left, Gains.Right, Second.Mix, Second.Seed, Out);
}

void TSecondMaker::Begin(const TSynthesisInputs& Inputs, const TQuantizeGains& Gains, bool MoreComes,
                         TWaveBufferInteger& Left, TWaveBufferInteger& Right) {
  std::unique_lock<std::mutex> lock(FLock);
  WaitIdle(lock);
  for (TSecond& second : FSeconds) {
    second.Mixed = second.Made = false;
    second.TakenVersion = 0;
  }
  FFailed = false;
  FMoreComes = false;
  FCurrentFirst = false;
  FGains = Gains;
  FBusy = true;  // the maker takes no job meanwhile
  lock.unlock();
  TSecond& current = FSeconds[FCurrent];
  try {
    FFormat = Inputs.PCMFormat;
    FSynthesizer.Begin(Inputs, TGeneratorChoice::_Direct);
    FSynthesizer.Mix(current.Mix);
    current.Seed = FSynthesizer.Seed();
    Quantize(current, Gains, FScratch);
  } catch (...) {
    lock.lock();
    FBusy = false;
    FDone.notify_all();
    throw;
  }
  Left.swap(FScratch[0]);
  Right.swap(FScratch[1]);
  lock.lock();
  current.Number = 0;
  current.Mixed = true;
  current.TakenVersion = Gains.Version;
  FMoreComes = MoreComes;
  FBusy = false;
  lock.unlock();
  FDone.notify_all();
  FWake.notify_all();
}

bool TSecondMaker::TakeNext(bool MoreComes, TWaveBufferInteger& Left, TWaveBufferInteger& Right) {
  std::unique_lock<std::mutex> lock(FLock);
  TSecond& next = FSeconds[1 - FCurrent];
  const bool ready = next.Mixed && next.Made;
  if (!ready) {
    FMoreComes = true;
    FWake.notify_all();
    FDone.wait(lock, [&] { return FFailed || (next.Mixed && next.Made); });
  }
  if (FFailed) throw std::runtime_error("the next second could not be made");
  Left.swap(next.Out[0]);
  Right.swap(next.Out[1]);
  next.Made = false;
  next.TakenVersion = next.Version;
  TSecond& old = FSeconds[FCurrent];
  old.Mixed = old.Made = false;  // a job still at it is dropped
  FCurrent = 1 - FCurrent;
  FMoreComes = MoreComes;
  lock.unlock();
  FWake.notify_all();
  return ready;
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
  Left.swap(current.Out[0]);
  Right.swap(current.Out[1]);
  current.Made = false;
  current.TakenVersion = current.Version;
  return true;
}

bool TSecondMaker::Failed() {
  std::lock_guard<std::mutex> lock(FLock);
  return FFailed;
}

// A second whose newest quantisation has older gains than the latest.
bool TSecondMaker::Outdated(const TSecond& Second) const {
  return Second.Mixed && (Second.Made ? Second.Version : Second.TakenVersion) < FGains.Version;
}

// What to do next, by urgency: the current second again when the feeder
// still writes from it, the next second, the next second again, the
// current second again.
TSecondMaker::TJob TSecondMaker::NextJob() {
  const TSecond& current = FSeconds[FCurrent];
  const TSecond& next = FSeconds[1 - FCurrent];
  if (FCurrentFirst && Outdated(current)) return TJob::_RequantizeCurrent;
  if (FMoreComes && !next.Mixed) return TJob::_MakeNext;
  if (Outdated(next)) return TJob::_RequantizeNext;
  if (Outdated(current)) return TJob::_RequantizeCurrent;
  return TJob::_None;
}

void TSecondMaker::Run() {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    TJob job = TJob::_None;
    FWake.wait(lock, [&] { return FStop || (!FBusy && !FFailed && (job = NextJob()) != TJob::_None); });
    if (FStop) return;
    // The job's second and gains are taken under the lock; its work is done
    // outside it. Only this thread writes a second's mix.
    TSecond& second = FSeconds[job == TJob::_RequantizeCurrent ? FCurrent : 1 - FCurrent];
    const TQuantizeGains gains = FGains;
    if (job == TJob::_MakeNext) {
      second.Number = FSeconds[FCurrent].Number + 1;
      second.Made = false;
      second.TakenVersion = 0;
    }
    const std::uint64_t number = second.Number;
    FBusy = true;
    lock.unlock();
    bool failed = false;
    try {
      if (job == TJob::_MakeNext) {
        FSynthesizer.Advance();
        FSynthesizer.Mix(second.Mix);
        second.Seed = FSynthesizer.Seed();
      }
      Quantize(second, gains, FScratch);
    } catch (...) {
      failed = true;
    }
    lock.lock();
    FBusy = false;
    if (failed) {
      FFailed = true;
    } else if (second.Number == number && (job == TJob::_MakeNext || second.Mixed)) {
      second.Mixed = true;
      second.Out.swap(FScratch);
      second.Made = true;
      second.Version = gains.Version;
    }
    FDone.notify_all();
  }
}
