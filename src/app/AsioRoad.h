// Playing through an ASIO driver, without any window or driver: Play, Stop
// and the close on the user-interface thread, the host stop on the display
// thread, the buffer-switch handler on the driver's thread, and a thread of
// the road's own that prepares each next second ahead of time.
//
// Threads and hand-overs:
// - The create-wave thread mixes each second; the road's thread fetches it,
//   quantises it with the gains of the moment into a free slot and hands it
//   to the driver's thread through one atomic word (which slot plays, which
//   slots are ready, up to two seconds ahead). The driver's thread only
//   copies, scales and takes the next ready slot at a second boundary; it
//   never waits, locks or allocates.
// - Everything the driver's thread has to report (a second began, a timed
//   play ended) is counted in atomics and its event is set; the road's thread
//   hands the second to the display thread and posts to the user-interface
//   thread.
// - A gain change re-quantises the ready second while it has not started.
// - The host is started, stopped and reset under one lock of the road's own;
//   a stop handed to the display thread is pending until it runs, and a Play
//   (or the close) that comes first carries it out itself.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
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

// The ASIO host as the road drives it (user-interface and display threads).
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
  // Closes the driver without opening it again.
  virtual void CloseDriver() = 0;

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
  // Display command 0 (display thread): stops the host and restores its rate
  // when a stop is still pending.
  void StopHost() override;

  // The host reopened its driver during a play (a reset asked for by the
  // driver): the rate is set again and checked. User-interface thread.
  void HostReset();

  // Seconds ready after the one that plays.
  std::int32_t ReadySeconds() const { return THandOver::Unpack(FHandOver.load()).Count; }

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
  // Seconds prepared ahead: enough for a buffer longer than a second.
  static constexpr std::uint8_t kAhead = 2;
  static constexpr std::uint8_t kSlots = kAhead + 3;
  // The hand-over word: the slot that plays and the slots that are ready, in
  // playing order. Only the driver's thread takes from the queue, only the
  // road's thread adds to it or replaces a queued slot.
  struct THandOver {
    std::uint8_t Playing = 0;
    std::uint8_t Count = 0;
    std::array<std::uint8_t, kAhead> Ready{};
    std::uint16_t Pack() const {
      return static_cast<std::uint16_t>(Playing | Count << 3 | Ready[0] << 5 | Ready[1] << 8);
    }
    static THandOver Unpack(std::uint16_t Word) {
      return {static_cast<std::uint8_t>(Word & 7), static_cast<std::uint8_t>(Word >> 3 & 3),
              {static_cast<std::uint8_t>(Word >> 5 & 7), static_cast<std::uint8_t>(Word >> 8 & 7)}};
    }
    bool Holds(std::uint8_t Slot) const;
  };

  // User-interface thread.
  void RequestCreateWave(std::uint8_t Command);
  std::string_view PrepareHost(double Rate, std::string& Failure);
  void StartPlay(const TPCMFormat& Format);
  void RestoreRate();
  void EndPlay();  // the road's thread and the handler leave the play alone
  void MarkStopPending();
  void CompletePendingStop();  // under FHostLock
  void StopOutput();           // Stop's steps, also after a failed rate check
  bool RateHeld(double Rate);  // under FHostLock
  TSecond Quantize(const TWaveBufferExtendedStereo& Mixed, const TOutputGains& Gains, std::uint32_t Seed);

  // The road's thread.
  void Serve();
  void PrepareNext(std::uint32_t Generation, std::int32_t Boundary);
  void RequantizeReady(std::uint32_t Generation);
  // Queues Second after the ready ones, or in place of the ready slot Old;
  // false when the play changed or Old has begun meanwhile.
  static constexpr std::uint8_t kAppend = 7;
  bool Queue(std::uint32_t Generation, TSecond& Second, std::uint8_t Old, std::uint8_t& Slot);
  void EndTimedPlay(std::uint32_t Generation);
  static std::uint8_t FreeSlot(const THandOver& Word);

  // The driver's thread.
  void Silence(TAVDArrayOfDoubleDynArray& OutBuffer);
  bool EndOfSecond();

  TAsioRoadServices FServices;

  // Host: started, stopped, reset under this lock.
  std::mutex FHostLock;
  bool FStopPending = false;
  bool FClosed = false;
  double DefaultAsioSamplingRate = 48000.0;

  // The play as the driver's thread sees it; set up before the host starts.
  std::array<TSecond, kSlots> FSlots;
  std::atomic<std::uint16_t> FHandOver{0};
  std::atomic<bool> FRunning{false};
  std::atomic<std::int32_t> FInHandler{0};
  std::atomic<bool> FEnded{false};
  std::atomic<std::int32_t> FBoundaries{0};  // seconds played, for the road's thread
  long double FScale = 32767.0L;
  std::int32_t FChannelL = 0, FChannelR = 1;
  bool FSingle = false;
  std::int32_t FPlayTime = 0;
  std::int32_t AsioCount = 0;
  std::int32_t AsioCountMax = 0;
  std::int32_t AsioPlayTime = 0;

  // The road's thread and its hand-shake with the user-interface thread.
  std::mutex FPlayLock;
  std::condition_variable FServed;
  bool FActivePlay = false;  // the road's thread serves a play
  bool FServing = false;
  std::atomic<std::uint32_t> FGeneration{0};
  std::int32_t FFailedAt = -1;  // boundary at which a second could not be made
  std::int32_t FPrepared = 0;   // seconds of this play made so far
  std::int32_t FShownBoundary = 0;
  bool FEndHandled = false;
  // The mix of each ready slot (kept by the create-wave thread until the
  // request after the next) with its seed, and the gains the ready slots
  // were made with.
  std::array<const TWaveBufferExtendedStereo*, kSlots> FMixed{};
  std::array<std::uint32_t, kSlots> FMixedSeeds{};
  TOutputGains FReadyGains;
  TPCMFormat FFormat{};
  std::unique_ptr<TAutoResetEvent> FEventCall;
  std::unique_ptr<TPrepareThread> FThread;
};
