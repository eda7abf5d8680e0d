#include "app/MainState.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "app/PlayableSignals.h"
#include "synthesis/ExtendedPrecision.h"
#include "synthesis/UnitFunction.h"

std::string_view WavMemErrMessage(TWavMemErr WavMemErr) {
  switch (WavMemErr) {
    case TWavMemErr::_MemErrNoCreateHeap: return "Error - Cannot Creat Local Heap Memory.";
    case TWavMemErr::_MemErrNoAllocateHeap: return "Error - Cannot Allocate Heap Memory.";
    case TWavMemErr::_MemErrNoAllocateVirtual: return "Error - Cannot Allocate Virtual Memory.";
    default: return {};  // freeing failures are reported by the sound-out thread
  }
}

std::string_view WavOutErrMessage(TWavOutErr WavOutErr) {
  switch (WavOutErr) {
    case TWavOutErr::_MMSYSERR_ALLOCATED: return "Error - Already Allocated.";
    case TWavOutErr::_MMSYSERR_BADDEVICEID: return "Error - Invalid Device ID.";
    case TWavOutErr::_MMSYSERR_NODRIVER: return "Error - Not Exist Device Driver.";
    case TWavOutErr::_MMSYSERR_NOMEM: return "Error - Cannot Allocate Memory.";
    case TWavOutErr::_WAVERR_SYNC: return "Error - Missing WAVE_ALLOWSYNC flag.";
    case TWavOutErr::_WAVERR_BADFORMAT: return "Error - Invalid Format.";
    default: return {};
  }
}

TMainState::TMainState(const TMainServices& Services) : FServices(Services) {
  FPCMFormat = TExFunctionLib::InitializePCMFormat();
  FPCMFormatString = TExFunctionLib::StringPCMFormat(FPCMFormat);
  FInternalSetting = TExFunctionLib::InitializeInternalSetting();
  if (FServices.WaveOut.DeviceCount() == 0) FInternalSetting._OutputDevice = TOutputDevice::_NoDevice;
  FInternalSettingString = TExFunctionLib::StringInternalSetting(FInternalSetting);
  FSignalAttributeArray = StartUpSignalAttributeArray();
  for (const TSignalAttribute& record : FSignalAttributeArray)
    FSignalAttributeStringArray.push_back(TExFunctionLib::StringSignalAttribute(record));

  EventCallSoundOut = FServices.CreateEvent(kEventCallSoundOut);
  EventCallCreateWave = FServices.CreateEvent(kEventCallCreateWave);
  EventCallDisplayOut = FServices.CreateEvent(kEventCallDisplayOut);
  FThreadDisplayOut = std::make_unique<TThreadDisplayOut>(*EventCallDisplayOut, FServices.UserInterface);
  FThreadSoundOut = std::make_unique<TThreadSoundOut>(
      static_cast<TSoundOutOwner&>(*this), *EventCallSoundOut, FServices.CreateEvent, FServices.WaveOut, FServices.WaveMemory,
      FServices.Engine, FServices.UserInterface, *FThreadDisplayOut);
  FThreadSoundOut->SetDeviceStallMs(FServices.Timeouts.DeviceStallMs);
  FThreadSoundOut->SetLateSecondMs(FServices.Timeouts.StartBoundMs);
  FThreadCreateWave =
      std::make_unique<TThreadCreateWave>(*EventCallCreateWave, FServices.CreateEvent, FServices.Engine);
  FThreadSoundOut->Start();
  FThreadCreateWave->Start();
  FThreadDisplayOut->Start();
}

TMainState::~TMainState() { Shutdown(); }

namespace {
// How often the shutdown looks whether the sound-out thread has ended.
constexpr std::uint32_t kShutdownPollMs = 5;
// How often a Play that goes on from a timer looks for the start's answer.
constexpr std::uint32_t kStartPollMs = 10;
}  // namespace

void TMainState::BeginShutdown() {
  if (FShutdownBegun) return;
  FShutdownBegun = true;
  if (ASIOHost) ASIOHost->Close();
  FShutdownDeadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(FServices.Timeouts.ShutdownWaitMs);
  FThreadSoundOut->Terminate();
  FThreadCreateWave->Terminate();
  FThreadDisplayOut->Terminate();
}

bool TMainState::Shutdown() {
  if (FShutDown) return !FLeftBehind;
  FShutDown = true;
  BeginShutdown();
  // The threads end side by side; each is waited for only what is left of
  // the one deadline. A device that does not return from its reset holds
  // the sound-out thread for ever: the program ends without it.
  const auto left = [this]() -> std::uint32_t {
    const auto now = std::chrono::steady_clock::now();
    if (now >= FShutdownDeadline) return 0;
    return static_cast<std::uint32_t>(
        std::chrono::ceil<std::chrono::milliseconds>(FShutdownDeadline - now).count());
  };
  // The sound-out thread is not waited for once it hangs inside the device.
  while (left() > 0 && !FThreadSoundOut->Ended() && !DeviceHangs())
    std::this_thread::sleep_for(std::chrono::milliseconds(kShutdownPollMs));
  bool ended = FThreadSoundOut->WaitFor(0) && !FThreadSoundOut->DeviceLeftOpen();
  ended = FThreadCreateWave->WaitFor(left()) && ended;
  ended = FThreadDisplayOut->WaitFor(left()) && ended;
  FLeftBehind = !ended;
  return ended;
}

// ---------------------------------------------------------------------------
// Records

TPCMFormat TMainState::PCMFormat() const {
  std::lock_guard<std::mutex> lock(FSettingsLock);
  return FPCMFormat;
}

TPCMFormatString TMainState::PCMFormatString() const {
  std::lock_guard<std::mutex> lock(FSettingsLock);
  return FPCMFormatString;
}

void TMainState::SetPCMFormat(const TPCMFormat& Value) {
  std::lock_guard<std::mutex> lock(FSettingsLock);
  FPCMFormat = Value;
  FPCMFormatString = TExFunctionLib::StringPCMFormat(Value);
}

TInternalSetting TMainState::InternalSetting() const {
  std::lock_guard<std::mutex> lock(FSettingsLock);
  return FInternalSetting;
}

TInternalSettingString TMainState::InternalSettingString() const {
  std::lock_guard<std::mutex> lock(FSettingsLock);
  return FInternalSettingString;
}

void TMainState::SetInternalSetting(const TInternalSetting& Value) {
  std::lock_guard<std::mutex> lock(FSettingsLock);
  FInternalSetting = Value;
  FInternalSettingString = TExFunctionLib::StringInternalSetting(Value);
}

TSignalAttributeArray TMainState::SignalAttributeArray() const {
  std::lock_guard<std::mutex> lock(FSettingsLock);
  return FSignalAttributeArray;
}

TSignalAttributeStringArray TMainState::SignalAttributeStringArray() const {
  std::lock_guard<std::mutex> lock(FSettingsLock);
  return FSignalAttributeStringArray;
}

void TMainState::SetSignalAttribute(std::int32_t Index, const TSignalAttribute& Value) {
  if (Index < 0 || Index >= FChannelNumber) return;
  std::lock_guard<std::mutex> lock(FSettingsLock);
  FSignalAttributeArray[static_cast<std::size_t>(Index)] = Value;
  FSignalAttributeStringArray[static_cast<std::size_t>(Index)] = TExFunctionLib::StringSignalAttribute(Value);
}

// ---------------------------------------------------------------------------
// Gains

TOutputGains TMainState::OutputGains() const {
  std::lock_guard<std::mutex> lock(FGainLock);
  return FGains;
}

void TMainState::SetOutputGains(const TOutputGains& Value) {
  std::lock_guard<std::mutex> lock(FGainLock);
  FGains = Value;
}

long double TMainState::TrackBarGain(std::int32_t TrackBarPosition) {
  const krv::ExtendedPrecisionScope precision;  // a driver or dialog may have changed it
  const std::int32_t progress = 100 - TrackBarPosition;
  return std::pow(10.0L, static_cast<long double>(progress - 100) / 20.0L);
}

void TMainState::SetTrackBarGain(TGainSide Side, std::int32_t TrackBarPosition) {
  const long double gain = TrackBarGain(TrackBarPosition);
  std::lock_guard<std::mutex> lock(FGainLock);
  (Side == TGainSide::_Left ? FGains.OutputGainL : FGains.OutputGainR) = gain;
}

void TMainState::SetTrackBarGains(std::int32_t TrackBarPosition) {
  const long double gain = TrackBarGain(TrackBarPosition);
  std::lock_guard<std::mutex> lock(FGainLock);
  FGains.OutputGainL = gain;
  FGains.OutputGainR = gain;
}

// ---------------------------------------------------------------------------
// Sound-out owner

TPlaySettings TMainState::LoadPlaySetting() {
  TPlaySettings settings;
  {
    std::lock_guard<std::mutex> lock(FSettingsLock);
    settings.Signals.xChannelNumber = FChannelNumber;
    settings.Signals.PCMFormat = FPCMFormat;
    settings.Signals.InternalSetting = FInternalSetting;
    settings.Signals.SignalAttributeArray = PlayableSignalAttributeArray(FSignalAttributeArray, FPCMFormat);
  }
  settings.Gains = OutputGains();
  return settings;
}

TOutputGains TMainState::LoadOutputGain() { return OutputGains(); }

void TMainState::RestorePlayTime() {
  std::lock_guard<std::mutex> lock(FSettingsLock);
  FInternalSetting._PlayTime = FInternalSetting._DefaultPeriod;
}

// ---------------------------------------------------------------------------
// Handlers

void TMainState::Play() {
  if (xEnableChangeData() || xOperation() != TOperation::_Stop) return;
  TOutputDevice device;
  {
    // A timed play lasts at least one whole sweep.
    std::lock_guard<std::mutex> lock(FSettingsLock);
    const TSignalAttribute& sweep = FSignalAttributeArray[4];
    if (sweep._OutputChannel != TOutputChannel::_Mute && sweep._SweepPeriod > FInternalSetting._PlayTime)
      FInternalSetting._PlayTime = sweep._SweepPeriod;
    device = FInternalSetting._OutputDevice;
  }
  if (device == TOutputDevice::_ASIO) {
    if (ASIOHost) ASIOHost->Play();
    return;
  }
  if (device != TOutputDevice::_WaveMapper) return;

  const std::uint32_t sequence = FThreadSoundOut->Call(kSoundOutStart);
  EndStartWait();
  EndGainCheck();  // the start loads the gains the window shows now
  FStartDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(FServices.Timeouts.StartBoundMs);
  const auto answer = FThreadSoundOut->AwaitAnswer(
      sequence, std::min(FServices.Timeouts.StartAnswerMs, FServices.Timeouts.StartBoundMs));
  if (answer) {
    StartAnswered(*answer);
    return;
  }
  // The thread is still opening the device or making the first second (a
  // busy machine): the play shows now, Stop and the close may end it, and
  // the answer is looked for from a timer until the bound.
  FStartSequence = sequence;
  FServices.View.SetPlayGlyph(kGlyphSignalActive);
  SetOperation(TOperation::_Play);
  FServices.View.CallLater(kStartPollMs, [this, wait = FStartWait] { PollStart(wait); });
}

void TMainState::PollStart(std::uint32_t Wait) {
  if (Wait != FStartWait || !FStartSequence) return;  // answered, stopped or closed meanwhile
  if (const auto answer = FThreadSoundOut->PeekAnswer(*FStartSequence)) {
    StartAnswered(*answer);
    return;
  }
  if (std::chrono::steady_clock::now() >= FStartDeadline) {
    StartNotAnswered();
    return;
  }
  FServices.View.CallLater(kStartPollMs, [this, Wait] { PollStart(Wait); });
}

void TMainState::StartAnswered(const TThreadSoundOut::TAnswer& Answer) {
  const bool shown = FStartSequence.has_value();
  EndStartWait();
  switch (Answer.Status) {
    case TSoundOutNotify::_Started:
      if (!shown) FServices.View.SetPlayGlyph(kGlyphSignalActive);
      SetOperation(TOperation::_Play);
      break;
    case TSoundOutNotify::_Erred:
      WavMemErr = Answer.Detail.WavMemErr;
      WavOutErr = Answer.Detail.WavOutErr;
      ShowSoundOutError(WavMemErr, WavOutErr);
      if (!Answer.Detail.Failure.empty()) FServices.View.ShowErrorMessage(Answer.Detail.Failure);
      WavMemErr = TWavMemErr::_MemErrNo;
      WavOutErr = TWavOutErr::_MMSYSERR_No;
      FServices.View.SetPlayGlyph(kGlyphSignalInactive);
      SetOperation(TOperation::_Stop);
      break;
    default:
      if (shown) {
        FServices.View.SetPlayGlyph(kGlyphSignalInactive);
        SetOperation(TOperation::_Stop);
      }
      break;
  }
}

void TMainState::StartNotAnswered() {
  // The thread has not started within the bound: the play is over, and a
  // start that comes later must not go on playing. The stop is not waited
  // for.
  const bool inDevice = DeviceHangs();
  EndStartWait();
  EndGainCheck();
  FThreadSoundOut->Call(kSoundOutStop);
  FServices.View.SetPlayGlyph(kGlyphSignalInactive);
  SetOperation(TOperation::_Stop);
  FServices.View.ShowErrorMessage(inDevice ? kMessageOutputDeviceStopped : kMessageCannotCreateWaveData);
}

void TMainState::Stop() {
  if (xEnableChangeData() || xOperation() != TOperation::_Play) return;
  switch (InternalSetting()._OutputDevice) {
    case TOutputDevice::_WaveMapper: StopWaveOut(false); break;
    case TOutputDevice::_ASIO:
      if (ASIOHost) ASIOHost->Stop();
      break;
    default: break;
  }
}

void TMainState::StopWaveOut(bool Closing) {
  const std::uint32_t sequence = FThreadSoundOut->Call(kSoundOutStop);
  // A gain change not served yet is moot: the stop may even have taken its
  // place. The next play loads the gains the window shows.
  EndGainCheck();
  const auto answer = AwaitStopAnswer(sequence, Closing ? FServices.Timeouts.DeviceHangMs : 0);
  // Whatever its answer, the stop ends a wait for the start: a start answered
  // after it no longer counts.
  EndStartWait();
  if (!answer) {
    if (Closing ? DeviceHangs() : FThreadSoundOut->InsideDevice(FServices.Timeouts.StopAnswerMs / 2)) {
      // The device does not return from its reset: it has stopped taking
      // samples. The play is over; the thread finishes the close if the
      // device ever returns. A window that closes says nothing: the
      // program ends without the device.
      FServices.View.SetPlayGlyph(kGlyphSignalInactive);
      SetOperation(TOperation::_Stop);
      SendDisplayStop();
      if (!Closing) FServices.View.ShowErrorMessage(kMessageOutputDeviceStopped);
      return;
    }
    FServices.View.ShowErrorMessage(kMessageCannotStopping);
    return;
  }
  switch (answer->Status) {
    case TSoundOutNotify::_Stopped:
      FServices.View.SetPlayGlyph(kGlyphSignalInactive);
      SetOperation(TOperation::_Stop);
      break;
    case TSoundOutNotify::_Erred:
      FServices.View.ShowErrorMessage(kMessageCannotStopPlaying);
      break;
    default:
      break;
  }
}

// Waits at most the stop time-out for the answer, once more when a late
// answer to a gain command took part of the wait. With HangMs, stops waiting
// as soon as the thread has been inside one device call for that long.
std::optional<TThreadSoundOut::TAnswer> TMainState::AwaitStopAnswer(std::uint32_t Sequence,
                                                                    std::uint32_t HangMs) {
  using Clock = std::chrono::steady_clock;
  constexpr std::uint32_t kPollMs = 5;
  std::optional<TSoundOutNotify> stale;
  for (int wait = 0; wait < 2; ++wait) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(FServices.Timeouts.StopAnswerMs);
    for (;;) {
      const auto now = Clock::now();
      const auto left = static_cast<std::uint32_t>(
          now < deadline ? std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count() : 0);
      if (auto answer = FThreadSoundOut->AwaitAnswer(Sequence, HangMs ? std::min(left, kPollMs) : left, &stale))
        return answer;
      if (HangMs && FThreadSoundOut->InsideDevice(HangMs)) return std::nullopt;
      if (Clock::now() >= deadline) break;
    }
    if (stale != TSoundOutNotify::_Changed) break;
    stale.reset();
  }
  return std::nullopt;
}

bool TMainState::DeviceHangs() const { return FThreadSoundOut->InsideDevice(FServices.Timeouts.DeviceHangMs); }

void TMainState::Close() {
  if (xEnableChangeData() || xOperation() != TOperation::_Play) return;
  switch (InternalSetting()._OutputDevice) {
    case TOutputDevice::_WaveMapper: StopWaveOut(true); break;
    case TOutputDevice::_ASIO:
      if (ASIOHost) ASIOHost->Close();
      break;
    default: break;
  }
}

void TMainState::ChangeGain(std::function<void()> Refused) {
  if (xEnableChangeData() || xOperation() != TOperation::_Play ||
      InternalSetting()._OutputDevice != TOutputDevice::_WaveMapper)
    return;
  // The handler never waits for the thread: a bar dragged while playing
  // stays smooth. The answer is looked at once its time is up. A start not
  // taken yet takes the command's place: it loads these gains itself.
  bool absorbed = false;
  const std::uint32_t sequence = FThreadSoundOut->Call(kSoundOutGainChanged, &absorbed);
  if (absorbed) {
    EndGainCheck();
    return;
  }
  FGainSequence = sequence;
  FServices.View.CallLater(FServices.Timeouts.GainAnswerMs, [this, sequence, Refused = std::move(Refused)] {
    CheckGainAnswer(sequence, Refused);
  });
}

void TMainState::CheckGainAnswer(std::uint32_t Sequence, const std::function<void()>& Refused) {
  // A later change replaced this one (its own check follows), a Stop or a
  // Play since made it moot, or the play has ended: nothing to report.
  if (Sequence != FGainSequence || xOperation() != TOperation::_Play) return;
  const auto answer = FThreadSoundOut->PeekAnswer(Sequence);
  if (answer && answer->Status == TSoundOutNotify::_Changed) return;
  FServices.View.ShowErrorMessage(kMessageCannotChangeGain);
  if (Refused) Refused();
}

bool TMainState::ToggleGainFactor(bool& Flag, long double TOutputGains::*Factor, long double On,
                                  long double Off, std::function<void(bool)> Undone) {
  const long double before = OutputGains().*Factor;
  Flag = !Flag;
  {
    std::lock_guard<std::mutex> lock(FGainLock);
    FGains.*Factor = Flag ? On : Off;
  }
  ChangeGain([this, &Flag, Factor, before, Undone = std::move(Undone)] {
    Flag = !Flag;
    {
      std::lock_guard<std::mutex> lock(FGainLock);
      FGains.*Factor = before;
    }
    if (Undone) Undone(Flag);
  });
  return Flag;
}

bool TMainState::ToggleMute(std::function<void(bool)> Undone) {
  return ToggleGainFactor(xMute, &TOutputGains::OutputMute, 0.0L, 1.0L, std::move(Undone));
}

bool TMainState::ToggleAttenuation(std::function<void(bool)> Undone) {
  return ToggleGainFactor(xAttenuation, &TOutputGains::OutputATT, 0.1L, 1.0L, std::move(Undone));
}

void TMainState::CompleteSinglePlay() {
  // The play is over, whether or not its start was answered yet: a start
  // answer that a timer finds later changes nothing.
  EndStartWait();
  EndGainCheck();
  SetEnableChangeData(false);
  FServices.View.SetPlayGlyph(kGlyphSignalInactive);
  SetOperation(TOperation::_Stop);
}

void TMainState::ShowSoundOutError(TWavMemErr MemErr, TWavOutErr OutErr) {
  if (const auto text = WavMemErrMessage(MemErr); !text.empty()) FServices.View.ShowErrorMessage(text);
  if (const auto text = WavOutErrMessage(OutErr); !text.empty()) FServices.View.ShowErrorMessage(text);
}

// ---------------------------------------------------------------------------
// Create-wave requests

TSynthesisInputs TMainState::CreateWaveInputs() const {
  TSynthesisInputs inputs;
  std::lock_guard<std::mutex> lock(FSettingsLock);
  inputs.xChannelNumber = FChannelNumber;
  inputs.PCMFormat = FPCMFormat;
  inputs.InternalSetting = FInternalSetting;
  inputs.SignalAttributeArray = PlayableSignalAttributeArray(FSignalAttributeArray, FPCMFormat);
  return inputs;
}

void TMainState::RequestCreateWave(std::uint8_t Command) {
  if (Command == kCreateWaveAll) {
    TSynthesisInputs inputs = CreateWaveInputs();
    inputs.SweepStartTime = SweepStartTime;
    inputs.Seed = SeriesSeed;
    FCreateWaveSequence = FThreadCreateWave->Call(kCreateWaveAll, std::move(inputs));
  } else {
    FCreateWaveSequence = FThreadCreateWave->Call(Command);
  }
}

bool TMainState::WarmUpWorthwhile(const TSynthesisInputs& Inputs) {
  // The driver road's seconds come from the create-wave thread (the
  // wave-out road makes its own); of its tones, the harmonic ones sum or
  // transform a whole series each.
  if (Inputs.InternalSetting._OutputDevice != TOutputDevice::_ASIO) return false;
  const auto records = std::min<std::size_t>(static_cast<std::size_t>(std::max(Inputs.xChannelNumber, 0)),
                                             Inputs.SignalAttributeArray.size());
  for (std::size_t r = 0; r < records; ++r) {
    const TSignalAttribute& record = Inputs.SignalAttributeArray[r];
    if (record._OutputChannel != TOutputChannel::_Mute &&
        (record._Waveform == TWaveform::_Square || record._Waveform == TWaveform::_Triangle ||
         record._Waveform == TWaveform::_Sawtooth))
      return true;
  }
  return false;
}

void TMainState::WarmUpCreateWave() {
  // Only while nothing asks the thread for seconds: a play, a file or an
  // open editor (its set is not the one to come yet).
  if (FShutdownBegun || FRendering || xOperation() != TOperation::_Stop || xEnableChangeData()) return;
  TSynthesisInputs inputs = CreateWaveInputs();
  // Otherwise a warm-up under way for an earlier set only stops.
  FThreadCreateWave->WarmUp(WarmUpWorthwhile(inputs) ? std::move(inputs) : TSynthesisInputs{});
}

const TWaveBufferExtendedStereo* TMainState::FetchMixedSecond(std::uint32_t* Seed,
                                                              const std::function<bool()>& Abandon) {
  // The thread ends its loop at shutdown: a second asked for then never comes.
  const std::function<bool()> abandon = [this, &Abandon] {
    return FThreadCreateWave->Terminated() || (Abandon && Abandon());
  };
  return FThreadCreateWave->Fetch(FCreateWaveSequence.load(), FServices.Timeouts.CreateWaveAnswerMs, Seed, abandon);
}

std::optional<const TWaveBufferExtendedStereo*> TMainState::PeekMixedSecond(std::uint32_t* Seed) {
  return FThreadCreateWave->Peek(FCreateWaveSequence.load(), Seed);
}

bool TMainState::FetchWaveData(long double GainL, long double GainR) {
  std::uint32_t seed = 0;
  const TWaveBufferExtendedStereo* second = FetchMixedSecond(&seed);
  if (!second) {
    FServices.View.ShowErrorMessage(kMessageCannotCreateWaveData);
    return false;
  }
  // Written over the storage of the second before last and swapped in.
  FServices.Engine.QuantizeSignalInto(PCMFormat(), GainL, GainR, *second, seed, FQuantized);
  WaveBufferL.swap(FQuantized[0]);
  WaveBufferR.swap(FQuantized[1]);
  return true;
}

// ---------------------------------------------------------------------------
// A WAV file being written

void TMainState::BeginRendering(std::function<void()> CancelNow) {
  FRendering = true;
  FCancelRendering = std::move(CancelNow);
}

void TMainState::EndRendering() {
  FRendering = false;
  FCancelRendering = nullptr;
  if (const std::function<void()> close = std::exchange(FDeferredClose, {})) close();
}

void TMainState::EndSession(const std::function<void()>& Close) {
  if (FRendering && FCancelRendering) FCancelRendering();
  if (Close) Close();
}

// ---------------------------------------------------------------------------
// Display

void TMainState::SendDisplayStop() {
  TThreadDisplayOut::TStopHost stopHost;
  if (ASIOHost && InternalSetting()._OutputDevice == TOutputDevice::_ASIO)
    stopHost = [road = ASIOHost] { road->StopHost(); };
  FThreadDisplayOut->Call(kDisplayStop, std::move(stopHost));
}
