// What the worker threads need from the system, as small interfaces: an
// auto-reset event, the wave-out device, the playback memory and the user
// interface. The program plugs in the Win32 versions (Win32ThreadPlatform.h);
// the portable event below and the fakes of the tests stand in elsewhere.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "synthesis/UnitType.h"

// ---------------------------------------------------------------------------
// Auto-reset event: Set signals it; one Wait that sees the signal consumes it.
// Several Sets before a Wait count once.
class TAutoResetEvent {
 public:
  virtual ~TAutoResetEvent() = default;
  virtual void Set() = 0;
  // Waits at most TimeoutMs milliseconds; true when the event was signalled.
  virtual bool Wait(std::uint32_t TimeoutMs) = 0;
};

// Creates a named auto-reset event, initially not signalled.
using TEventFactory = std::function<std::unique_ptr<TAutoResetEvent>(const std::string& Name)>;

// Mutex and condition variable; the name is kept only for diagnostics.
class TPortableAutoResetEvent final : public TAutoResetEvent {
 public:
  explicit TPortableAutoResetEvent(std::string Name = {});
  void Set() override;
  bool Wait(std::uint32_t TimeoutMs) override;
  const std::string& Name() const { return FName; }

 private:
  std::string FName;
  std::mutex FLock;
  std::condition_variable FSignalled;
  bool FState = false;
};

TEventFactory PortableEventFactory();

// Object names of the program's events.
inline constexpr const char* kEventCallSoundOut = "EventCallSoundOut";
inline constexpr const char* kEventCallCreateWave = "EventCallCreateWave";
inline constexpr const char* kEventCallDisplayOut = "EventCallDisplayOut";
inline constexpr const char* kEventSoundOutNotify = "EventSoundOutNotify";
inline constexpr const char* kEventCreateWaveNotify = "EventCreateWaveNotify";
inline constexpr const char* kEventWaveOutCallback = "EventWaveOutCallback";

// ---------------------------------------------------------------------------
// Wave-out device.

// Receives the device's messages on the system's own thread. Implementations
// only record the message and wake their thread.
class TWaveOutClient {
 public:
  virtual void WaveOutMessage(TWaveOutCallback Message) noexcept = 0;

 protected:
  ~TWaveOutClient() = default;
};

// The priority a thread that feeds a device got: none above normal, the
// multimedia class scheduler's "Pro Audio" task, or time-critical.
enum class TAudioPriority : std::uint8_t { _Normal, _ProAudio, _TimeCritical };

// One device handle at a time. Results are the system's codes: 0 is success
// (MMSYSERR_NOERROR), anything else a failure (see WavOutErrFromResult).
class TWaveOutDevice {
 public:
  virtual ~TWaveOutDevice() = default;
  virtual std::uint32_t DeviceCount() = 0;
  // Opens the wave mapper with the format and reports every message to Client.
  virtual std::uint32_t Open(const TWaveFormatExtensible& Format, TWaveOutClient& Client) = 0;
  // Prepares the header that the caller filled in (lpData, dwBufferLength,
  // dwFlags, dwLoops) for playing.
  virtual std::uint32_t PrepareHeader(PWaveHdr Header) = 0;
  virtual std::uint32_t Write(PWaveHdr Header) = 0;
  // Stops playing and returns every queued header (each reported as done).
  virtual std::uint32_t Reset() = 0;
  virtual std::uint32_t UnprepareHeader(PWaveHdr Header) = 0;
  // Closes the device, which then reports its close message. On failure the
  // device stays open and keeps its headers.
  virtual std::uint32_t Close() = 0;
  // How far the open device has played, in a unit of its own: a value that
  // grows while it plays and stands still while it does not. Only ever
  // compared with an earlier value of the same play.
  virtual std::uint32_t Position(std::uint64_t& Played) = 0;
  // Asks, on the thread that feeds the device and once before it first
  // opens it, for the priority of audio work for that thread, so that busy
  // programs beside it cannot starve the device. What the system gave.
  virtual TAudioPriority RaiseFeederPriority() { return TAudioPriority::_Normal; }
};

// The device's open result as the error code the main window reports; codes
// that have no message (success included) give _MMSYSERR_No.
TWavOutErr WavOutErrFromResult(std::uint32_t Result);

// ---------------------------------------------------------------------------
// Playback memory: a private heap for the two wave headers and committed
// pages for the two sample buffers. Failures are null pointers or false.
class TWaveMemory {
 public:
  virtual ~TWaveMemory() = default;
  virtual bool CreateHeap() = 0;
  // Zero-filled block from the heap; null on failure.
  virtual void* AllocateHeap(std::size_t Bytes) = 0;
  // Frees the heap and every block taken from it.
  virtual void DestroyHeap() = 0;
  // Zero-filled committed read/write pages; null on failure.
  virtual void* CommitPages(std::size_t Bytes) = 0;
  virtual bool DecommitPages(void* Address, std::size_t Bytes) = 0;
  virtual bool ReleasePages(void* Address) = 0;
};

// ---------------------------------------------------------------------------
// What the worker threads hand to the user-interface thread. Every call posts
// and returns at once: a worker never waits for the user-interface thread.
class TUserInterfaceSink {
 public:
  virtual ~TUserInterfaceSink() = default;
  // New caption of the playing-time label.
  virtual void PostPlayTime(std::string Caption) = 0;
  // New contents of the left and right scope charts (empty clears a chart).
  virtual void PostWaveChart(std::vector<std::int32_t> Left, std::vector<std::int32_t> Right) = 0;
  // A timed wave-out play has ended by itself and its device is closed; the
  // main window completes the stop (TMainState::CompleteSinglePlay).
  virtual void PostSinglePlayEnd() = 0;
  // An error message box ("Error - ...") shown by the user-interface thread.
  virtual void PostErrorMessage(std::string Text) = 0;
};
