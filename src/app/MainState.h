// The main window's shared state and its side of the worker-thread protocol,
// without any window: the Win32 main window (TFormMain) is a view over it.
//
// Threads: the handlers (Play, Stop, the gain controls, ...) run on the
// user-interface thread. The records, the gains and the two flags are read
// and written from other threads too and are guarded here (a lock for the
// records and one for the four gain factors, which are always read together;
// atomics for the flags).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "app/OneSecond.h"
#include "app/ThreadPlatform.h"
#include "app/UnitThread.h"
#include "synthesis/UnitType.h"

// Texts of the messages and names of the Play button's pictures.
inline constexpr std::string_view kMessageCannotStopping = "Error - Cannot Stopping.";
inline constexpr std::string_view kMessageCannotStopPlaying = "Error - Cannot Stop Playing.";
inline constexpr std::string_view kMessageCannotChangeGain = "Error - Cannot Change Gain.";
inline constexpr std::string_view kGlyphSignalActive = "_SignalActive";
inline constexpr std::string_view kGlyphSignalInactive = "_SignalInactive";

// The message of a playback-memory or device-open error; empty for the codes
// that show none.
std::string_view WavMemErrMessage(TWavMemErr WavMemErr);
std::string_view WavOutErrMessage(TWavOutErr WavOutErr);

// What the main window shows, called on the user-interface thread.
class TMainView {
 public:
  // Loads the named bitmap resource into the Play button's glyph.
  virtual void SetPlayGlyph(std::string_view ResourceName) = 0;
  // Message box without owner, caption "Error", OK button, no icon.
  virtual void ShowErrorMessage(std::string_view Text) = 0;
  // Runs Task on the user-interface thread after DelayMs, unless the window
  // has gone by then.
  virtual void CallLater(std::uint32_t DelayMs, std::function<void()> Task) = 0;

 protected:
  ~TMainView() = default;
};

// The place of the ASIO playback road. Its branches run on the
// user-interface thread after the same guards as the wave-out branches;
// StopHost runs on the display thread when display command 0 carries it.
class TAsioRoad {
 public:
  virtual void Play() = 0;
  virtual void Stop() = 0;
  virtual void Close() = 0;
  virtual void StopHost() = 0;

 protected:
  ~TAsioRoad() = default;
};

struct TProtocolTimeouts {
  // Play waits this long inside its handler for the start to be answered;
  // a start still in progress then (a busy machine) is shown as playing and
  // followed from a timer, until StartBoundMs from the Play.
  std::uint32_t StartAnswerMs = 250;
  std::uint32_t StopAnswerMs = 1000;   // Stop, each of its waits
  std::uint32_t GainAnswerMs = 300;
  // Longest wait for a second that the create-wave thread is making; a
  // thread that fails answers at once.
  std::uint32_t CreateWaveAnswerMs = 10000;
  // A playing device that returns no buffer for this long has stopped.
  std::uint32_t DeviceStallMs = TThreadSoundOut::kDefaultDeviceStallMs;
  // Longest wait for the worker threads at shutdown: one deadline for all
  // of them, from the moment they are told to end.
  std::uint32_t ShutdownWaitMs = 2000;
  // A call into the device that has not returned for this long when the
  // window closes: the device hangs, and neither the close nor the shutdown
  // waits for it any longer.
  std::uint32_t DeviceHangMs = 250;
  // Longest wait for the sound-out thread to open the device and make the
  // first second, from the Play.
  std::uint32_t StartBoundMs = 10000;
};

// What the main window is built on; everything must outlive it.
struct TMainServices {
  TEventFactory CreateEvent;
  TWaveOutDevice& WaveOut;
  TWaveMemory& WaveMemory;
  TSignalEngine& Engine;
  TUserInterfaceSink& UserInterface;  // posted to by the worker threads
  TMainView& View;                    // called by the handlers
  TProtocolTimeouts Timeouts{};
};

enum class TGainSide : std::uint8_t { _Left, _Right };

class TMainState final : private TSoundOutOwner {
 public:
  // The main window's creation: default state, the three call events, the
  // three worker threads (running on return).
  explicit TMainState(const TMainServices& Services);
  // Shutdown, if not done yet.
  ~TMainState();
  // The program ends: stops the output whatever the state (the ASIO road's
  // Close, which must do nothing when its host is not active; the sound-out
  // thread closes an open device as it ends) and tells every thread to end,
  // waking it. Returns at once; the shutdown deadline runs from here. The
  // main window calls it as it closes, so that the threads end while the
  // windows go.
  void BeginShutdown();
  // BeginShutdown if not done yet, then waits for the threads, all of them
  // together at most until the shutdown deadline; the sound-out thread is
  // not waited for once it hangs inside the device. False when a thread did
  // not end (stuck inside the device: it is left running) or the device
  // would not close: neither this object nor anything it was built on may
  // then be freed.
  bool Shutdown();

  // --- Records and their display strings (any thread) ---------------------
  std::int32_t xChannelNumber() const { return FChannelNumber; }
  TPCMFormat PCMFormat() const;
  TPCMFormatString PCMFormatString() const;
  void SetPCMFormat(const TPCMFormat& Value);  // the strings follow
  TInternalSetting InternalSetting() const;
  TInternalSettingString InternalSettingString() const;
  void SetInternalSetting(const TInternalSetting& Value);
  TSignalAttributeArray SignalAttributeArray() const;
  TSignalAttributeStringArray SignalAttributeStringArray() const;
  void SetSignalAttribute(std::int32_t Index, const TSignalAttribute& Value);

  // --- Gains (any thread) --------------------------------------------------
  TOutputGains OutputGains() const;
  void SetOutputGains(const TOutputGains& Value);
  // Gain bar, for the bar at TrackBarPosition (0 top .. 100 bottom):
  // 10^((progress - 100) / 20) with progress = 100 - position.
  static long double TrackBarGain(std::int32_t TrackBarPosition);
  void SetTrackBarGain(TGainSide Side, std::int32_t TrackBarPosition);
  // Both track-bar gains from one position at once (the L/R lock).
  void SetTrackBarGains(std::int32_t TrackBarPosition);

  // --- Flags (any thread) --------------------------------------------------
  TOperation xOperation() const { return FOperation.load(); }
  void SetOperation(TOperation Value) { FOperation.store(Value); }  // REC, the recording window
  bool xEnableChangeData() const { return FEnableChangeData.load(); }
  void SetEnableChangeData(bool Value) { FEnableChangeData.store(Value); }  // dialogs

  // --- Handlers (user-interface thread) -----------------------------------
  void Play();   // BitBtnExt_PlayClick
  void Stop();   // BitBtnExt_StopClick
  // FormClose: stops a running output as Stop does, except that a device
  // that hangs is left to the end of the program without a message.
  void Close();
  // The gain command after a gain change (bars, MUTE, -20dB). It is sent and
  // the handler returns; when the sound-out thread has not taken it within
  // the gain time-out, "Error - Cannot Change Gain." is shown then and
  // Refused runs. Only the latest change is checked.
  void ChangeGain(std::function<void()> Refused = {});
  // MUTE and -20dB: toggle and send the gain command; a refused command
  // undoes the toggle later and reports the restored value through Undone.
  // Return the new xMute / xAttenuation.
  bool ToggleMute(std::function<void(bool)> Undone = {});
  bool ToggleAttenuation(std::function<void(bool)> Undone = {});
  // The user-interface thread's part of a timed play that ended by itself
  // (TUserInterfaceSink::PostSinglePlayEnd).
  void CompleteSinglePlay();
  // The messages of a failed wave-out start: the memory message, then the
  // device message.
  void ShowSoundOutError(TWavMemErr MemErr, TWavOutErr OutErr);

  // --- Create-wave requests (ASIO road, WAV writer) ------------------------
  // Command 0 hands over copies of the records, the format, the internal
  // setting and SweepStartTime; command 1 asks for the next second.
  void RequestCreateWave(std::uint8_t Command);
  // The signal set changed (an editor closed) while nothing plays or is
  // written: where the driver road would make costly tones at its next
  // Play, the create-wave thread makes them now in the background, so that
  // the Play keeps them; otherwise a warm-up under way stops. Returns at
  // once; a Play, a REC, another set and the close stop the warm-up.
  void WarmUpCreateWave();
  // Whether the tones of Inputs are worth making ahead: the output device is
  // the driver road and a harmonic tone (square, triangle or saw) sounds.
  static bool WarmUpWorthwhile(const TSynthesisInputs& Inputs);
  // The engine's time seed now.
  std::uint32_t TimeSeed() { return FServices.Engine.TimeSeed(); }
  // Waits for the second last requested, while the create-wave thread makes
  // it, at most the create-wave bound: the mixed second, or null when the
  // thread failed, the bound passed or Abandon (asked every few
  // milliseconds) ended the wait; nothing is shown. Valid until the request
  // after the next one. The WAV writer's source of seconds. Seed, when
  // given, receives the second's seed, to quantise it with.
  const TWaveBufferExtendedStereo* FetchMixedSecond(std::uint32_t* Seed = nullptr,
                                                    const std::function<bool()>& Abandon = {});
  // The second last requested if it has come, without waiting: the second,
  // or null when the thread failed it; empty while it is being made.
  std::optional<const TWaveBufferExtendedStereo*> PeekMixedSecond(std::uint32_t* Seed = nullptr);
  // Every wait for the create-wave thread ends within this long.
  std::uint32_t CreateWaveBoundMs() const { return FServices.Timeouts.CreateWaveAnswerMs; }
  // The handler's own part of a wait (Play).
  std::uint32_t StartAnswerMs() const { return FServices.Timeouts.StartAnswerMs; }
  // Waits for the second last requested and quantises it with the gains into
  // WaveBufferL and WaveBufferR. On a time-out or a failure shows
  // "Error - Cannot Create Wave Data." and leaves both as they are.
  bool FetchWaveData(long double GainL, long double GainR);

  // --- A WAV file being written (user-interface thread) -------------------
  // The writer runs while this is set; it handles window events meanwhile.
  bool Rendering() const { return FRendering; }
  // The writer begins a file. CancelNow ends it at once as CANCEL does (its
  // temporary file removed), from inside the writer's own event handling.
  void BeginRendering(std::function<void()> CancelNow);
  // The writer is done with its file, however the writing ended (complete,
  // cancelled, failed or by an exception): a close deferred meanwhile is
  // carried out now.
  void EndRendering();
  // The main window was closed while a file was written: Close runs once
  // the writing ends.
  void DeferClose(std::function<void()> Close) { FDeferredClose = std::move(Close); }
  bool CloseDeferred() const { return static_cast<bool>(FDeferredClose); }
  // The user's session ends, and the system ends the program soon after
  // this returns, without waiting for anything: a file being written is
  // ended now as CANCEL ends it (an earlier file of its name stays as it
  // was), then the main window closes through Close, which stops a play as
  // any close does (while the writer is still on its way out, the close
  // follows it).
  void EndSession(const std::function<void()>& Close);

  // --- The threads ---------------------------------------------------------
  TThreadSoundOut& ThreadSoundOut() { return *FThreadSoundOut; }
  TThreadCreateWave& ThreadCreateWave() { return *FThreadCreateWave; }
  TThreadDisplayOut& ThreadDisplayOut() { return *FThreadDisplayOut; }

  // --- Display and ASIO ----------------------------------------------------
  // Display command 0; it also stops the ASIO host when the output device
  // is ASIO now.
  void SendDisplayStop();
  // The ASIO road, set once by the window that owns it and its host.
  void SetAsioRoad(TAsioRoad* Road) { ASIOHost = Road; }

  // --- State of the user-interface thread ----------------------------------
  TDisplayPanel xCurrentDisplay = TDisplayPanel::_SettingGlobal;
  bool xAttenuation = true;
  bool xMute = false;
  bool xLockLR = true;
  std::int32_t xCurrentChannel = -1;
  TWaveBufferInteger WaveBufferL, WaveBufferR;  // one second, ASIO road and WAV writer
  TWaveBufferIntegerStereo FQuantized;           // the storage of the second before
  std::int32_t SweepStartTime = 0;
  // The seed of the first second of the series that command 0 starts; none:
  // the time seed when the series begins.
  std::optional<std::uint32_t> SeriesSeed;
  TWavMemErr WavMemErr = TWavMemErr::_MemErrNo;
  TWavOutErr WavOutErr = TWavOutErr::_MMSYSERR_No;
  // The ASIO output channels of left and right (the settings window's
  // choice); the ASIO road takes its own copy at Play.
  std::int32_t ActiveAsioChannelL = 0;
  std::int32_t ActiveAsioChannelR = 1;

 private:
  // TSoundOutOwner, called on the sound-out thread.
  TPlaySettings LoadPlaySetting() override;
  TOutputGains LoadOutputGain() override;
  TOperation Operation() const override { return xOperation(); }
  void RestorePlayTime() override;
  void BeginSinglePlayEnd() override { SetEnableChangeData(true); }

  // What command 0 hands over, but for the sweep start and the seed.
  TSynthesisInputs CreateWaveInputs() const;
  void StopWaveOut(bool Closing);
  // The wave-out start: its answer, and the wait for it that goes on from a
  // timer after the handler's own wait.
  void StartAnswered(const TThreadSoundOut::TAnswer& Answer);
  void PollStart(std::uint32_t Wait);
  void EndStartWait() { ++FStartWait; FStartSequence.reset(); }
  // The gain change last sent is no longer checked: a Stop or a Play made
  // it moot.
  void EndGainCheck() { FGainSequence = 0; }
  void StartNotAnswered();
  std::optional<TThreadSoundOut::TAnswer> AwaitStopAnswer(std::uint32_t Sequence, std::uint32_t HangMs);
  bool DeviceHangs() const;
  void CheckGainAnswer(std::uint32_t Sequence, const std::function<void()>& Refused);
  bool ToggleGainFactor(bool& Flag, long double TOutputGains::*Factor, long double On, long double Off,
                        std::function<void(bool)> Undone);

  TMainServices FServices;
  TAsioRoad* ASIOHost = nullptr;
  const std::int32_t FChannelNumber = 6;

  mutable std::mutex FSettingsLock;
  TPCMFormat FPCMFormat{};
  TInternalSetting FInternalSetting{};
  TSignalAttributeArray FSignalAttributeArray;
  TPCMFormatString FPCMFormatString;
  TInternalSettingString FInternalSettingString;
  TSignalAttributeStringArray FSignalAttributeStringArray;

  mutable std::mutex FGainLock;
  TOutputGains FGains;

  std::atomic<TOperation> FOperation{TOperation::_Stop};
  std::atomic<bool> FEnableChangeData{false};
  std::atomic<std::uint32_t> FCreateWaveSequence{0};  // UI thread, then the ASIO driver's
  std::uint32_t FGainSequence = 0;                    // the latest gain command to check; 0 none (UI thread)

  // Events first: they outlive the threads that use them.
  std::unique_ptr<TAutoResetEvent> EventCallSoundOut;
  std::unique_ptr<TAutoResetEvent> EventCallCreateWave;
  std::unique_ptr<TAutoResetEvent> EventCallDisplayOut;
  std::unique_ptr<TThreadDisplayOut> FThreadDisplayOut;
  std::unique_ptr<TThreadCreateWave> FThreadCreateWave;
  std::unique_ptr<TThreadSoundOut> FThreadSoundOut;
  // The start being waited for from the timer, its wait's number (a timer
  // of an ended wait does nothing) and its bound.
  std::optional<std::uint32_t> FStartSequence;
  std::uint32_t FStartWait = 0;
  std::chrono::steady_clock::time_point FStartDeadline{};
  bool FRendering = false;
  std::function<void()> FCancelRendering;
  std::function<void()> FDeferredClose;
  bool FShutdownBegun = false;
  std::chrono::steady_clock::time_point FShutdownDeadline{};
  bool FShutDown = false;
  bool FLeftBehind = false;
};
