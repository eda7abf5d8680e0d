// The seconds of a wave-out play, made on a thread of their own so that the
// thread that feeds the device is free whenever the device asks for more.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "app/OneSecond.h"

// The gains a second is quantised with. Each change gets a greater Version.
struct TQuantizeGains {
  long double Left = 0.1L;
  long double Right = 0.1L;
  std::uint32_t Version = 0;
};

// Makes, on its own thread, the next second of a play (generated, mixed,
// quantised) while the current one plays, and, when the gains change, both
// seconds quantised again. The feeding thread takes what is made without
// waiting: the next second at a second's boundary (it waits only when the
// next one is not made yet), the current one quantised again whenever it
// looks. Every second keeps its own seed (the series' seed plus its number),
// so what is made is what the synthesis makes second after second, bit for
// bit, whichever thread makes it.
class TSecondMaker {
 public:
  explicit TSecondMaker(TSignalEngine& Engine);
  ~TSecondMaker();
  TSecondMaker(const TSecondMaker&) = delete;
  TSecondMaker& operator=(const TSecondMaker&) = delete;

  // Starts a series: once the maker has ended what it was doing, the first
  // second is made on the calling thread and quantised into Left and Right;
  // the maker then makes the next one unless MoreComes is false.
  void Begin(const TSynthesisInputs& Inputs, const TQuantizeGains& Gains, bool MoreComes, TWaveBufferInteger& Left,
             TWaveBufferInteger& Right);
  // The next second becomes the current one: swapped into Left and Right.
  // Waits while it is not made yet; false then (it was late). The maker goes
  // on to the one after unless MoreComes is false.
  bool TakeNext(bool MoreComes, TWaveBufferInteger& Left, TWaveBufferInteger& Right);
  // New gains: the current second (first when CurrentFirst) and the next
  // one are quantised again.
  void ChangeGains(const TQuantizeGains& Gains, bool CurrentFirst);
  // The current second quantised with newer gains than the feeder has, if
  // it is made: swapped into Left and Right.
  bool TakeRequantized(TWaveBufferInteger& Left, TWaveBufferInteger& Right);
  // True once the maker has failed (the engine threw); its series is over.
  bool Failed();

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
  enum class TJob : std::uint8_t { _None, _MakeNext, _RequantizeCurrent, _RequantizeNext };

  void Run();
  TJob NextJob();
  bool Outdated(const TSecond& Second) const;
  void Quantize(const TSecond& Second, const TQuantizeGains& Gains, TWaveBufferIntegerStereo& Out);
  void WaitIdle(std::unique_lock<std::mutex>& Lock);

  TSignalEngine& FEngine;
  // Used by the maker's thread, and by Begin while the maker is idle.
  TOneSecondSynthesizer FSynthesizer;
  TPCMFormat FFormat{};
  TWaveBufferIntegerStereo FScratch;

  std::mutex FLock;
  std::condition_variable FWake;  // work for the maker, or its end
  std::condition_variable FDone;  // a job has ended
  TSecond FSeconds[2];
  int FCurrent = 0;
  TQuantizeGains FGains;
  bool FCurrentFirst = false;
  bool FMoreComes = false;
  bool FBusy = false;
  bool FFailed = false;
  bool FStop = false;
  std::thread FThread;
};
