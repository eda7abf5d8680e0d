// Playing through an ASIO driver, without any window or driver: Play, Stop
// and the close on the user-interface thread, the host stop that display
// command 0 carries, the buffer-switch handler on the driver's thread, and a
// thread of the road's own that prepares each next second ahead of time.
//
// Threads and hand-overs:
// - The host is called on the user-interface thread only, with no lock of
//   the road held: a driver may need that thread inside any of its calls (a
//   driver that sends a message to a window of its own from stop()). The
//   display thread's host stop is posted there; a Play or close that comes
//   first carries the pending stop out itself.
// - The create-wave thread mixes each second; the road's thread fetches it,
//   quantises it with the gains of the moment into a free slot and hands it
//   to the driver's thread through one atomic word (which slot plays, which
//   slots are ready, in playing order). It keeps as many seconds ready as one
//   buffer half can span, and one more; Play asks for the first second
//   before it opens the driver, and prepares the ones the first half needs
//   before the driver starts. The driver's thread only copies,
//   scales and takes the next ready slot at a second boundary; it never
//   waits, locks or allocates.
// - A second that is not ready at its boundary is never replaced by the one
//   before: the driver gets silence until it is ready. A second that comes
//   late (a busy machine, or a driver that catches up after the whole
//   program was held) is no failure; one that cannot be made (the synthesis
//   failed, or did not deliver within the create-wave bound) is, and the
//   road's thread reports "Error - Cannot Create Wave Data." once for the
//   incident: the seconds that fail one after the other, until one is made
//   again.
// - Everything the driver's thread has to report (a second began, a second
//   was missing, a timed play ended) is counted in atomics and its event is
//   set; the road's thread hands the second to the display thread and posts
//   to the user-interface thread.
// - A gain change re-quantises the ready seconds that have not started while
//   the create-wave thread still holds their mix (the last two it made).
// - A driver may take a while to report the rate it was given (it locks to
//   it, or to an external clock). Play then shows the play at once and reads
//   the rate again from a timer of the user-interface thread, for at most
//   kRateLockWaitMs, before it starts the driver; Stop or the close meanwhile
//   end the wait. The rate of a driver reopened during a play is read back
//   the same way while it plays.
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

#include "app/MainState.h"
#include "app/ThreadPlatform.h"
#include "app/UnitThread.h"
#include "asio/DASIOGenerator.h"

inline constexpr std::string_view kMessageNoAsioDevice = "Error - No ASIO Device Existed.";
inline constexpr std::string_view kMessageAsioRateRefused = "Error - ASIO Device not support this Sampling Rate.";
inline constexpr std::string_view kMessageAsioDriverFailed = "ASIO Driver Failed!";
inline constexpr std::string_view kMessageAsioChannelMissing = "Error - ASIO Output Channel Not Existed.";

// The driver's answers the road looks at.
inline constexpr std::int32_t kAsioOK = 0;
inline constexpr std::int32_t kAsioNoClock = -995;

// The ASIO host as the road drives it (user-interface thread only).
class TAsioRoadHost {
 public:
  virtual std::int32_t DriverIndex() = 0;  // -1: no driver chosen
  virtual double SampleRate() = 0;
  virtual void SetSampleRate(double Rate) = 0;
  virtual std::int32_t CanSampleRate(double Rate) = 0;
  // The open driver's own rate; empty when it does not answer OK.
  virtual std::optional<double> DriverSampleRate() = 0;
  // Closes and reopens the chosen driver with new buffers; throws when no
  // driver can be opened (the exception's text is the message to show).
  virtual void Reset() = 0;
  virtual bool Active() = 0;
  virtual void SetActive(bool Value) = 0;
  virtual std::int32_t OutputChannelCount() = 0;
  // Frames per buffer half of the open driver.
  virtual std::uint32_t BufferSize() = 0;
  // Closes the driver without opening it again.
  virtual void CloseDriver() = 0;
  // Runs on the user-interface thread, with no lock of the host held, after
  // a reset the driver asked for (not after Reset): Reopened is false when
  // the driver could not be opened again (the host shows that error itself).
  // Empty to remove it.
  virtual void SetOnDriverReset(std::function<void(bool Reopened)> Handler) = 0;

 protected:
  ~TAsioRoadHost() = default;
};

struct TAsioRoadServices {
  TMainState& State;                  // records, gains, flags, create-wave and display threads
  TAsioRoadHost& Host;
  TSignalEngine& Engine;              // quantises each second
  TEventFactory CreateEvent;          // the road thread's call event
  TUserInterfaceSink& UserInterface;  // posted to by the road's thread
  TMainView& View;                    // Play, Stop (user-interface thread)
  // Queues a task for the user-interface thread; any thread, never waits.
  std::function<void(std::function<void()>)> PostTask;
};

class TAsioPlayback final : public TAsioRoad {
 public:
  explicit TAsioPlayback(const TAsioRoadServices& Services);
  ~TAsioPlayback();

  // --- TAsioRoad ---------------------------------------------------------------
  // User-interface thread, after the main window's guards.
  void Play() override;
  void Stop() override;
  // Stops a running output, restores the rate and closes the driver; ends the
  // road's thread. Safe to call more than once.
  void Close() override;
  // Display command 0 (display thread): has the user-interface thread stop
  // the host and restore its rate when a stop is still pending.
  void StopHost() override;

  // The host reopened its driver during a play (a reset asked for by the
  // driver): the rate is set again and read back; a driver that does not
  // take it ends the play with "ASIO Driver Failed!". User-interface thread.
  void HostReset();
  // The driver asked for a reset and could not be opened again: the play
  // ends as a failed play does (the host shows the error). User-interface
  // thread.
  void HostResetFailed();
  // Play waits for the driver to report its rate.
  bool AwaitingRate() const { return FRateWait == TRateWait::_Play; }

  // Seconds ready after the one that plays, and how many the road keeps ready.
  std::int32_t ReadySeconds() const { return THandOver::Unpack(FHandOver.load()).Count; }
  std::int32_t AheadSeconds() const { return FAhead.load(); }
  // Seconds kept ready for halves of BufferSize frames at Rate: as many as one
  // half can reach beyond the one that plays, and one more.
  static std::int32_t AheadFor(std::uint32_t BufferSize, std::int32_t Rate);
  // Seconds made before the driver starts: those its first half of
  // BufferSize frames at Rate reaches.
  static std::int32_t StartSecondsFor(std::uint32_t BufferSize, std::int32_t Rate);
  // Longest wait for a driver to report the rate it was given, and the pause
  // between two read-backs.
  static constexpr std::uint32_t kRateLockWaitMs = 1000;
  static constexpr std::uint32_t kRateReadPauseMs = 10;

  // The 64-bit buffer-switch event, on the driver's thread: one block of
  // samples for every output channel.
  void ASIOHostBufferSwitch64(const TAVDArrayOfDoubleDynArray& InBuffer, TAVDArrayOfDoubleDynArray& OutBuffer);

  // Scale of a quantised sample: 2^(bits - 1) - 1.
  static long double SampleScale(std::int32_t Quantization);

 private:
  class TPrepareThread;
  friend class TPrepareThread;

  // One quantised second.
  struct TSecond {
    TWaveBufferInteger L, R;
  };
  // Most seconds kept ready (halves of 65530 frames at 6000 Hz and more).
  static constexpr std::uint8_t kMaxAhead = 12;
  static constexpr std::uint8_t kSlots = kMaxAhead + 3;
  // The hand-over word: the slot that plays and the slots that are ready, in
  // playing order, four bits each. Only the driver's thread takes from the
  // queue, only the road's thread adds to it or replaces a queued slot.
  struct THandOver {
    std::uint8_t Playing = 0;
    std::uint8_t Count = 0;
    std::array<std::uint8_t, kMaxAhead> Ready{};
    std::uint64_t Pack() const;
    static THandOver Unpack(std::uint64_t Word);
    bool Holds(std::uint8_t Slot) const;
  };
  static_assert(std::atomic<std::uint64_t>::is_always_lock_free);

  // User-interface thread.
  void RequestCreateWave(std::uint8_t Command);
  std::string_view PrepareHost(double Rate, std::string& Failure);
  // Shown: Play already shows the play (it waited for the rate).
  bool StartPlay(const TPCMFormat& Format, bool Shown);
  // The seconds made before the driver starts: each is waited for while the
  // create-wave thread makes it, in the handler until HandlerUntil, then from
  // a timer, until the create-wave bound from its request.
  void RequestStartSecond(std::uint8_t Command);
  bool ContinueStart(std::chrono::steady_clock::time_point HandlerUntil);
  void PollStart(std::uint32_t Wait);
  bool LaunchPlay();  // the seconds are there: the driver starts
  bool QuantizeSecond(TSecond& Second, const TWaveBufferExtendedStereo* Mixed, std::uint32_t Seed,
                      const TOutputGains& Gains);
  bool MakeSecond(TSecond& Second, const TWaveBufferExtendedStereo*& Mixed, std::uint32_t& Seed,
                  const TOutputGains& Gains, std::uint32_t Generation);
  void RestoreRate();
  void EndPlay();  // the road's thread and the handler leave the play alone
  void CompletePendingStop();
  void StopOutput();  // Stop's steps, also after a failed rate check
  // The rate the driver reports rounds to Rate (a measured clock may be a
  // little off).
  bool RateReported(double Rate);
  // _Seconds: Play waits for the first seconds.
  enum class TRateWait : std::uint8_t { _None, _Play, _Reopen, _Seconds };
  void AwaitRate(TRateWait Kind);
  void PollRate(std::uint32_t Wait);
  void EndRateWait();
  void RateNotReported(TRateWait Kind);
  void ReopenFailed();
  TSecond Quantize(const TWaveBufferExtendedStereo& Mixed, const TOutputGains& Gains, std::uint32_t Seed);

  // The road's thread.
  void Serve();
  void PrepareNext(std::uint32_t Generation, std::int32_t Token);
  void RequantizeReady(std::uint32_t Generation, const TOutputGains& Gains);
  void KeepMix(std::uint8_t Slot, const TWaveBufferExtendedStereo* Mixed, std::uint32_t Seed, std::int32_t Index);
  void ReportFailure();
  // Queues Second after the ready ones, or in place of the ready slot Old;
  // false when the play changed or Old has begun meanwhile.
  static constexpr std::uint8_t kAppend = 0xFF;
  bool Queue(std::uint32_t Generation, TSecond& Second, std::uint8_t Old, std::uint8_t& Slot);
  void EndTimedPlay(std::uint32_t Generation);
  static std::uint8_t FreeSlot(const THandOver& Word);

  // The driver's thread.
  void Silence(TAVDArrayOfDoubleDynArray& OutBuffer);
  bool TakeNext();
  bool EndOfSecond();

  TAsioRoadServices FServices;
  // Tasks posted to the user-interface thread run only while this lives.
  std::shared_ptr<TAsioPlayback*> FAlive;

  // Host: user-interface thread, except the pending stop, which the road's
  // thread also sets when a timed play ends.
  std::atomic<bool> FStopPending{false};
  bool FClosed = false;
  double DefaultAsioSamplingRate = 48000.0;
  // The wait for the driver's rate (user-interface thread): what waits, its
  // number (a timer of an ended wait does nothing) and its end.
  TRateWait FRateWait = TRateWait::_None;
  std::uint32_t FRateWaitNumber = 0;
  std::chrono::steady_clock::time_point FRateDeadline;
  TPCMFormat FWaitFormat{};
  // The first seconds of a Play: how many are made, how many come after the
  // first, the ready ones, whether the play shows, the current one's bound.
  std::int32_t FStartMade = 0;
  std::int32_t FStartFirst = 0;
  THandOver FStartWord;
  bool FStartShown = false;
  std::uint32_t FStartBufferSize = 0;
  std::chrono::steady_clock::time_point FStartDeadline;

  // The play as the driver's thread sees it; set up before the host starts.
  std::array<TSecond, kSlots> FSlots;
  std::atomic<std::uint64_t> FHandOver{0};
  std::atomic<bool> FRunning{false};
  std::atomic<std::int32_t> FInHandler{0};
  std::atomic<bool> FEnded{false};
  std::atomic<std::int32_t> FBoundaries{0};     // seconds played, for the road's thread
  std::atomic<std::int32_t> FSilentSeconds{0};  // whole seconds of silence written since
  long double FScale = 32767.0L;
  std::int32_t FChannelL = 0, FChannelR = 1;
  bool FSingle = false;
  std::int32_t FPlayTime = 0;
  std::int32_t AsioCount = 0;
  std::int32_t AsioCountMax = 0;
  std::int32_t AsioPlayTime = 0;
  bool FStarved = false;  // waiting for the next second, writing silence
  std::int32_t FSilentFrames = 0;

  // The road's thread and its hand-shake with the user-interface thread.
  std::mutex FPlayLock;
  std::condition_variable FServed;
  bool FActivePlay = false;  // the road's thread serves a play
  bool FServing = false;
  std::atomic<std::uint32_t> FGeneration{0};
  std::atomic<std::int32_t> FAhead{2};
  std::int32_t FFailedAt = -1;     // the second that could not be made
  std::int32_t FFailedToken = 0;   // the driver's progress then: one attempt per second played
  bool FFailureShown = false;      // the failure going on has been reported
  std::int32_t FPrepared = 0;      // seconds of this play made so far
  std::int32_t FShownBoundary = 0;
  bool FEndHandled = false;
  // The mix of each ready slot (the create-wave thread keeps the last two it
  // made), the second it belongs to and its seed, and the gains the ready
  // slots were made with.
  std::array<const TWaveBufferExtendedStereo*, kSlots> FMixed{};
  std::array<std::int32_t, kSlots> FMixedIndex{};
  std::array<std::uint32_t, kSlots> FMixedSeeds{};
  TOutputGains FReadyGains;
  TPCMFormat FFormat{};
  std::unique_ptr<TAutoResetEvent> FEventCall;
  std::unique_ptr<TPrepareThread> FThread;
};
