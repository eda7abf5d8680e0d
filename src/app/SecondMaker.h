// The seconds of a wave-out play, made on a thread of their own so that the
// thread that feeds the device is free whenever the device asks for more.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "app/OneSecond.h"

// The gains a second is quantised with. Each change gets a greater Version.
struct TQuantizeGains {
  long double Left = 0.1L;
  long double Right = 0.1L;
  std::uint32_t Version = 0;
};

// Makes, on its own thread, the first second of a play, then the next one
// (generated, mixed, quantised) while the current one plays, and, when the
// gains change, both seconds quantised again. The feeding thread never waits for it: it takes
// the next second at a second's boundary when it is made, the current one
// quantised again whenever it looks. Every second keeps its own seed (the
// series' seed plus its number), so what is made is what the synthesis
// makes second after second, bit for bit, whichever thread makes it.
//
// The next second has a time by which it is due (SetDue). Quantising the
// current second again goes before making the next one only while both
// still fit before that time, by how long each took last; gains that change
// faster than a quantisation takes merge into the latest.
class TSecondMaker {
 public:
  using TClock = std::chrono::steady_clock;

  // Made is called on the maker's thread whenever a job has ended, without
  // the maker's lock: it only wakes the feeder.
  explicit TSecondMaker(TSignalEngine& Engine, std::function<void()> Made = {});
  ~TSecondMaker();
  TSecondMaker(const TSecondMaker&) = delete;
  TSecondMaker& operator=(const TSecondMaker&) = delete;

  // Starts a series and returns at once: the maker makes its first second
  // once it has left what it was doing (a job of an ended series stops at
  // its next engine call), quantised with the latest gains when its mix is
  // done, then the next one unless MoreComes is false.
  void Begin(const TSynthesisInputs& Inputs, const TQuantizeGains& Gains, bool MoreComes);
  // The first second, swapped into Left and Right, once it is made; false
  // until then. Gains newer than those it was quantised with reach it as
  // they reach a second that plays (TakeRequantized).
  bool TakeFirst(TWaveBufferInteger& Left, TWaveBufferInteger& Right);
  // The next second becomes the current one, swapped into Left and Right,
  // when it is made; false (and the maker at it first) when it is not. The
  // maker goes on to the one after unless MoreComes is false.
  bool TakeNext(bool MoreComes, TWaveBufferInteger& Left, TWaveBufferInteger& Right);
  // When the next second is due (the feeder writes its first segment), and
  // how often the feeder writes a segment: a second is quantised again at
  // most once in that time, since only the last quantisation before a
  // write is heard.
  void SetDue(TClock::time_point Due, TClock::duration Segment);
  // New gains: the current second (first, when CurrentFirst and there is
  // time before the next one is due) and the next one are quantised again.
  void ChangeGains(const TQuantizeGains& Gains, bool CurrentFirst);
  // The current second quantised with newer gains than the feeder has, if
  // it is made: swapped into Left and Right. Gains once heard are never
  // followed by older ones: it is held back while the next second still
  // comes with older gains than it.
  bool TakeRequantized(TWaveBufferInteger& Left, TWaveBufferInteger& Right);
  // True once the maker has failed (the engine threw); its series is over.
  bool Failed();
  // The series is over: the maker takes no more jobs, and one at work stops
  // at its next engine call. Never waits.
  void Cancel();
  // Ends the maker's thread; waits only for the engine call at work. The
  // maker then takes no series any more.
  void End();

 private:
  struct TSecond {
    TWaveBufferExtendedStereo Mix;
    std::uint32_t Seed = 0;
    std::uint64_t Number = 0;
    bool Mixed = false;             // Mix holds the second
    bool Made = false;              // Out holds it quantised with Version
    std::uint32_t Version = 0;
    std::uint32_t TakenVersion = 0;  // the gains of what the feeder holds
    TWaveBufferIntegerStereo Out;
  };
  // A job, and what the maker's thread does (_None: it waits for work).
  enum class TJob : std::uint8_t { _None, _MakeFirst, _MakeNext, _RequantizeCurrent, _RequantizeNext };
  // The series: none yet, running, failed (the engine threw; the feeder is
  // told at its next call), cancelled by the feeder, or the maker ended.
  // Changed by Begin, Cancel and End, and by the maker's thread to _Failed.
  enum class TSeries : std::uint8_t { _None, _Running, _Failed, _Cancelled, _Ended };

  // The engine as the maker calls it: every call first looks whether the
  // series of the job at work is still the live one, and throws TCancelled
  // when it is not.
  class TCancellableEngine final : public TSignalEngine {
   public:
    struct TCancelled {};
    TCancellableEngine(TSignalEngine& Engine, const std::atomic<std::uint64_t>& Live, const std::uint64_t& Job)
        : FEngine(Engine), FLive(Live), FJob(Job) {}
    std::uint32_t TimeSeed() override { return FEngine.TimeSeed(); }
    TWaveBufferExtended GenerateTone(const TPCMFormat& F, const TSignalAttribute& S, const TInternalSetting& I,
                                     bool Inverse) override;
    TWaveBufferExtended GenerateSweep(const TPCMFormat& F, const TSignalAttribute& S, std::int32_t Start) override;
    TWaveBufferExtended GenerateNoise(const TPCMFormat& F, const TSignalAttribute& S, TPinkNoiseMethod Pink,
                                      std::uint32_t Seed) override;
    TWaveBufferExtendedStereo SynthesizeSignals(const TPCMFormat& F, std::int32_t N, const TSignalAttributeArray& A,
                                                const TWaveBufferExtendedArray& B) override;
    TWaveBufferIntegerStereo QuantizeSignal(const TPCMFormat& F, long double L, long double R,
                                            const TWaveBufferExtendedStereo& S, std::uint32_t Seed) override;
    void GenerateToneInto(const TPCMFormat& F, const TSignalAttribute& S, const TInternalSetting& I, bool Inverse,
                          TWaveBufferExtended& Buffer) override;
    void GenerateSweepInto(const TPCMFormat& F, const TSignalAttribute& S, std::int32_t Start,
                           TWaveBufferExtended& Buffer) override;
    void GenerateNoiseInto(const TPCMFormat& F, const TSignalAttribute& S, TPinkNoiseMethod Pink, std::uint32_t Seed,
                           TWaveBufferExtended& Buffer) override;
    void SynthesizeSignalsInto(const TPCMFormat& F, std::int32_t N, const TSignalAttributeArray& A,
                               const TWaveBufferExtendedArray& B, TWaveBufferExtendedStereo& Mix) override;
    void QuantizeSignalInto(const TPCMFormat& F, long double L, long double R, const TWaveBufferExtendedStereo& S,
                            std::uint32_t Seed, TWaveBufferIntegerStereo& Out) override;
    bool SumLeadingSignalsInto(const TPCMFormat& F, std::int32_t N, const TSignalAttributeArray& A,
                               const TWaveBufferExtendedArray& B, const std::size_t (&Records)[2],
                               TWaveBufferExtendedStereo& Sums) override;
    void SynthesizeSignalsFromSumsInto(const TPCMFormat& F, std::int32_t N, const TSignalAttributeArray& A,
                                       const TWaveBufferExtendedArray& B, const TExFunctionLib::TMixSums& From,
                                       TWaveBufferExtendedStereo& Mix) override;
    bool Concurrent() const override { return FEngine.Concurrent(); }

   private:
    void Check() const {
      if (FLive.load(std::memory_order_relaxed) != FJob) throw TCancelled{};
    }
    TSignalEngine& FEngine;
    const std::atomic<std::uint64_t>& FLive;
    const std::uint64_t& FJob;
  };

  void Run();
  TJob NextJob(TClock::time_point& Until, bool& NewRound) const;
  bool Outdated(const TSecond& Second, std::uint32_t Version) const;
  bool NextComesWith(std::uint32_t Version) const;
  void Quantize(const TSecond& Second, const TQuantizeGains& Gains, TWaveBufferIntegerStereo& Out);
  // The job's work, outside the lock; false when its series was cancelled.
  bool Work(TJob Job, TSecond& Second, TQuantizeGains& Gains, TClock::duration& QuantizeTook);
  void Notify();

  // The series engine calls may serve (0: none), and the job's series; only
  // the maker's thread writes FJobSeries.
  std::atomic<std::uint64_t> FLiveSeries{0};
  std::uint64_t FJobSeries = 0;
  TCancellableEngine FEngine;
  std::function<void()> FMade;
  // The maker's thread's own.
  TOneSecondSynthesizer FSynthesizer;
  TPCMFormat FFormat{};
  TWaveBufferIntegerStereo FScratch;

  std::mutex FLock;
  std::condition_variable FWake;  // work for the maker, or its end
  TSeries FSeries = TSeries::_None;
  std::uint64_t FSeriesNumber = 0;  // counts the series begun
  TSynthesisInputs FInputs;         // of the series, for its first second
  TJob FWork = TJob::_None;         // what the maker's thread does; changed only by Run
  TSecond FSeconds[2];
  int FCurrent = 0;
  // The feeder's orders.
  TQuantizeGains FGains;
  bool FCurrentFirst = false;
  bool FMoreComes = false;
  std::uint32_t FWorkVersion = 0;  // the gains of the job at work
  TClock::time_point FDue = TClock::time_point::max();
  TClock::duration FSegment{};
  // The last round of quantising again: when it began, and its gains.
  TClock::time_point FRoundAt{};
  TQuantizeGains FRound;
  int FRoundJobs = 0;  // its quantisations so far
  // How long the last jobs took, wall time (a busy machine included).
  TClock::duration FMakeTime{};
  TClock::duration FQuantizeTime{};
  std::thread FThread;
};
