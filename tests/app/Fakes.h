// Fakes of the worker threads' platform: engine, wave-out device, playback
// memory, user-interface sink and main view.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/MainState.h"
#include "app/OneSecond.h"
#include "app/ThreadPlatform.h"

namespace fakes {

using namespace std::chrono_literals;

// Polls Condition until it holds or Timeout has passed.
template <class F>
bool WaitUntil(F Condition, std::chrono::milliseconds Timeout = 3000ms) {
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  while (!Condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A deterministic engine: tones are steady levels per record, the sweep
// encodes its start position, the noise counts its calls. The mix and the
// quantiser follow the engine's rules closely enough for the threads.
class TFakeEngine : public TSignalEngine {
 public:
  struct TToneCall {
    TWaveform Waveform;
    bool InverseTransform;
  };

  // Every generator throws std::bad_alloc while set (memory runs out).
  std::atomic<bool> Throw{false};
  // What the clock gives as the time seed.
  std::atomic<std::uint32_t> ClockSeed{5191230};
  // A slow engine: each sweep and noise generation, and each quantisation,
  // takes so long (a busy machine).
  std::atomic<int> SecondDelayMs{0};
  std::atomic<int> QuantizeDelayMs{0};

  std::uint32_t TimeSeed() override { return ClockSeed.load(); }

  TWaveBufferExtended GenerateTone(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                   const TInternalSetting&, bool InverseTransform) override {
    if (Throw) throw std::bad_alloc();
    {
      std::unique_lock<std::mutex> lock(FLock);
      FToneCalls.push_back({SignalAttribute._Waveform, InverseTransform});
      FGateOpen.wait(lock, [this] { return !FGateClosed; });
    }
    const long double level = std::pow(10.0L, SignalAttribute._Amplitude / 20.0L);
    TWaveBufferExtended buffer(static_cast<std::size_t>(PCMFormat._SamplingRate));
    for (std::size_t i = 0; i < buffer.size(); ++i)
      buffer[i] = level * static_cast<long double>(static_cast<int>(i % 8) - 4) / 4.0L;
    return buffer;
  }

  TWaveBufferExtended GenerateSweep(const TPCMFormat& PCMFormat, const TSignalAttribute&,
                                    std::int32_t TimeStart) override {
    if (Throw) throw std::bad_alloc();
    std::this_thread::sleep_for(std::chrono::milliseconds(SecondDelayMs.load()));
    {
      std::unique_lock<std::mutex> lock(FLock);
      FSweepStarts.push_back(TimeStart);
      FSecondsReleased.wait(lock, [this] { return !FSecondsHeld; });
    }
    return TWaveBufferExtended(static_cast<std::size_t>(PCMFormat._SamplingRate),
                               static_cast<long double>(TimeStart) / 1.0e7L);
  }

  TWaveBufferExtended GenerateNoise(const TPCMFormat& PCMFormat, const TSignalAttribute&,
                                    TPinkNoiseMethod PinkNoiseMethod, std::uint32_t Seed) override {
    if (Throw) throw std::bad_alloc();
    std::this_thread::sleep_for(std::chrono::milliseconds(SecondDelayMs.load()));
    std::unique_lock<std::mutex> lock(FLock);
    FNoiseMethods.push_back(PinkNoiseMethod);
    FNoiseSeeds.push_back(Seed);
    FSecondsReleased.wait(lock, [this] { return !FSecondsHeld; });
    return TWaveBufferExtended(static_cast<std::size_t>(PCMFormat._SamplingRate),
                               static_cast<long double>(FNoiseMethods.size()) / 1.0e4L);
  }

  TWaveBufferExtendedStereo SynthesizeSignals(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                              const TSignalAttributeArray& Records,
                                              const TWaveBufferExtendedArray& Buffers) override {
    const std::size_t n = static_cast<std::size_t>(PCMFormat._SamplingRate);
    TWaveBufferExtendedStereo out{TWaveBufferExtended(n, 0.0L), TWaveBufferExtended(n, 0.0L)};
    int nl = 0, nr = 0;
    for (std::int32_t r = 0; r < ChannelNumber; ++r) {
      const TOutputChannel channel = Records[r]._OutputChannel;
      if (channel == TOutputChannel::_Mute) continue;
      const bool left = channel != TOutputChannel::_Rch, right = channel != TOutputChannel::_Lch;
      for (std::size_t i = 0; i < n; ++i) {
        if (left) out[0][i] += Buffers[r][i];
        if (right) out[1][i] += Buffers[r][i];
      }
      nl += left;
      nr += right;
    }
    for (std::size_t i = 0; i < n; ++i) {
      out[0][i] = nl ? out[0][i] / nl : 0.0L;
      out[1][i] = nr ? out[1][i] / nr : 0.0L;
    }
    return out;
  }

  TWaveBufferIntegerStereo QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL,
                                          long double OutputGainR, const TWaveBufferExtendedStereo& Stereo,
                                          std::uint32_t Seed) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(QuantizeDelayMs.load()));
    {
      std::lock_guard<std::mutex> lock(FLock);
      FQuantizeSeeds.push_back(Seed);
    }
    const long double m = std::ldexp(1.0L, PCMFormat._Quantization - 1) - 2.0L;
    TWaveBufferIntegerStereo out;
    for (int c = 0; c < 2; ++c) {
      const long double gain = c == 0 ? OutputGainL : OutputGainR;
      out[c].resize(Stereo[c].size());
      for (std::size_t i = 0; i < Stereo[c].size(); ++i)
        out[c][i] = static_cast<std::int32_t>(std::lround(std::clamp(Stereo[c][i] * gain * m, -m, m)));
    }
    ++FQuantized;
    return out;
  }

  // Holds every tone generation until OpenGate.
  void CloseGate() {
    std::lock_guard<std::mutex> lock(FLock);
    FGateClosed = true;
  }
  void OpenGate() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FGateClosed = false;
    }
    FGateOpen.notify_all();
  }

  // Holds every sweep and noise generation (a next second) until
  // ReleaseSeconds; each is recorded before it waits.
  void HoldSeconds() {
    std::lock_guard<std::mutex> lock(FLock);
    FSecondsHeld = true;
  }
  void ReleaseSeconds() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FSecondsHeld = false;
    }
    FSecondsReleased.notify_all();
  }

  std::vector<TToneCall> ToneCalls() {
    std::lock_guard<std::mutex> lock(FLock);
    return FToneCalls;
  }
  std::vector<std::int32_t> SweepStarts() {
    std::lock_guard<std::mutex> lock(FLock);
    return FSweepStarts;
  }
  std::vector<TPinkNoiseMethod> NoiseMethods() {
    std::lock_guard<std::mutex> lock(FLock);
    return FNoiseMethods;
  }
  // The seeds of the noise records made and of the seconds quantised.
  std::vector<std::uint32_t> NoiseSeeds() {
    std::lock_guard<std::mutex> lock(FLock);
    return FNoiseSeeds;
  }
  std::vector<std::uint32_t> QuantizeSeeds() {
    std::lock_guard<std::mutex> lock(FLock);
    return FQuantizeSeeds;
  }
  // The quantisations ended (QuantizeSeeds has those begun).
  std::size_t Quantized() const { return FQuantized.load(); }

 private:
  std::mutex FLock;
  std::condition_variable FGateOpen, FSecondsReleased;
  bool FGateClosed = false, FSecondsHeld = false;
  std::vector<TToneCall> FToneCalls;
  std::vector<std::int32_t> FSweepStarts;
  std::vector<TPinkNoiseMethod> FNoiseMethods;
  std::vector<std::uint32_t> FNoiseSeeds, FQuantizeSeeds;
  std::atomic<std::size_t> FQuantized{0};
};

// A wave-out device that plays nothing: it keeps the queued headers and
// reports "done" for the oldest one when the test says so. Faults on demand:
// a prepare or write that fails, closes that fail, a reset that does not
// return, the system closing the device.
class TFakeWaveOutDevice : public TWaveOutDevice {
 public:
  struct TWrite {
    int Header;  // 0: the first header prepared since the open, 1: the second
    std::vector<std::uint8_t> Data;
    std::uint32_t Flags;  // dwFlags and dwLoops as written
    std::uint32_t Loops;
  };
  static constexpr std::uint32_t kError = 1;  // MMSYSERR_ERROR

  // Settings the test may change before the thread uses the device.
  std::uint32_t Devices = 1;
  std::uint32_t OpenResult = 0;
  bool SendOpenMessage = true;
  bool SendCloseMessage = true;
  int FailPrepare = 0;    // 1-based number of the prepare (since the open) that fails; 0 none
  int FailWrite = 0;      // 1-based number of the write (since the open) that fails; 0 none
  int CloseFailures = 0;  // so many closes fail before one works

  std::uint32_t DeviceCount() override { return Devices; }

  std::uint32_t Open(const TWaveFormatExtensible& Format, TWaveOutClient& Client) override {
    bool send;
    {
      std::lock_guard<std::mutex> lock(FLock);
      FFormat = Format;
      ++FOpenCalls;
      if (OpenResult != 0) return OpenResult;
      FClient = &Client;
      FOpen = true;
      FHeaderIndex.clear();
      FPrepares = FWritesSinceOpen = 0;
      send = SendOpenMessage;
    }
    if (send) Client.WaveOutMessage(TWaveOutCallback::_OpenWaveOut);
    return 0;
  }

  std::uint32_t PrepareHeader(PWaveHdr Header) override {
    std::lock_guard<std::mutex> lock(FLock);
    if (!FOpen || ++FPrepares == FailPrepare) return kError;
    const int index = static_cast<int>(FHeaderIndex.size());
    FHeaderIndex.emplace(Header, index);
    FPrepared.insert(Header);
    return 0;
  }

  std::uint32_t Write(PWaveHdr Header) override {
    std::lock_guard<std::mutex> lock(FLock);
    FWroteOn = std::this_thread::get_id();
    if (!FOpen || FPrepared.count(Header) == 0 || ++FWritesSinceOpen == FailWrite) return kError;
    const auto* data = reinterpret_cast<const std::uint8_t*>(Header->lpData);
    FWrites.push_back({FHeaderIndex.at(Header), std::vector<std::uint8_t>(data, data + Header->dwBufferLength),
                       Header->dwFlags, Header->dwLoops});
    FQueue.push_back(Header);
    return 0;
  }

  std::uint32_t Reset() override {
    std::size_t returned;
    TWaveOutClient* client;
    {
      std::unique_lock<std::mutex> lock(FLock);
      ++FResets;
      FResetReleased.wait(lock, [this] { return !FBlockReset; });
      returned = FQueue.size();
      FDiscarded += static_cast<int>(returned);
      FQueue.clear();
      client = FClient;
    }
    for (std::size_t i = 0; i < returned; ++i) client->WaveOutMessage(TWaveOutCallback::_DoneWaveOut);
    return 0;
  }

  std::uint32_t UnprepareHeader(PWaveHdr Header) override {
    std::lock_guard<std::mutex> lock(FLock);
    FPrepared.erase(Header);
    return 0;
  }

  std::uint32_t Close() override {
    TWaveOutClient* client;
    {
      std::lock_guard<std::mutex> lock(FLock);
      ++FCloseCalls;
      if (CloseFailures > 0) {
        --CloseFailures;
        return kError;
      }
      FOpen = false;
      FPrepared.clear();
      client = FClient;
      if (!SendCloseMessage) return 0;
    }
    client->WaveOutMessage(TWaveOutCallback::_CloseWaveOut);
    return 0;
  }

  // Bytes played since the device was created: the headers reported done,
  // and what the test says was played of the next one.
  std::uint32_t Position(std::uint64_t& Played) override {
    std::lock_guard<std::mutex> lock(FLock);
    if (!FOpen) return kError;
    ++FPositionCalls;
    Played = FPlayed;
    return 0;
  }

  TAudioPriority RaiseFeederPriority() override {
    std::lock_guard<std::mutex> lock(FLock);
    FRaisedOn.push_back(std::this_thread::get_id());
    FOpensBeforeRaise = FOpenCalls;
    return TAudioPriority::_ProAudio;
  }

  // --- the test's side ---
  // Reports "done" for the oldest queued header; false when none is queued.
  bool ReportDone() {
    TWaveOutClient* client;
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (FQueue.empty()) return false;
      FPlayed += FQueue.front()->dwBufferLength;
      FQueue.pop_front();
      client = FClient;
    }
    client->WaveOutMessage(TWaveOutCallback::_DoneWaveOut);
    return true;
  }
  void ReportOpen() {
    TWaveOutClient* client;
    {
      std::lock_guard<std::mutex> lock(FLock);
      client = FClient;
    }
    client->WaveOutMessage(TWaveOutCallback::_OpenWaveOut);
  }
  // The system closes the device (it went away).
  void CloseBySystem() {
    TWaveOutClient* client;
    {
      std::lock_guard<std::mutex> lock(FLock);
      FOpen = false;
      FPrepared.clear();
      FQueue.clear();
      client = FClient;
    }
    client->WaveOutMessage(TWaveOutCallback::_CloseWaveOut);
  }
  // From now on a reset does not return until ReleaseReset.
  void BlockReset() {
    std::lock_guard<std::mutex> lock(FLock);
    FBlockReset = true;
  }
  void ReleaseReset() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FBlockReset = false;
    }
    FResetReleased.notify_all();
  }
  // True while the open device holds Memory: a prepared header or its data.
  bool Holds(const void* Memory) {
    std::lock_guard<std::mutex> lock(FLock);
    if (!FOpen) return false;
    for (PWaveHdr header : FPrepared)
      if (header == Memory || header->lpData == Memory) return true;
    return false;
  }

  std::vector<TWrite> Writes() {
    std::lock_guard<std::mutex> lock(FLock);
    return FWrites;
  }
  std::size_t WriteCount() {
    std::lock_guard<std::mutex> lock(FLock);
    return FWrites.size();
  }
  std::size_t Queued() {
    std::lock_guard<std::mutex> lock(FLock);
    return FQueue.size();
  }
  bool IsOpen() {
    std::lock_guard<std::mutex> lock(FLock);
    return FOpen;
  }
  int OpenCalls() {
    std::lock_guard<std::mutex> lock(FLock);
    return FOpenCalls;
  }
  int CloseCalls() {
    std::lock_guard<std::mutex> lock(FLock);
    return FCloseCalls;
  }
  int Resets() {
    std::lock_guard<std::mutex> lock(FLock);
    return FResets;
  }
  // Queued headers that a reset returned unplayed.
  int Discarded() {
    std::lock_guard<std::mutex> lock(FLock);
    return FDiscarded;
  }
  TWaveFormatExtensible Format() {
    std::lock_guard<std::mutex> lock(FLock);
    return FFormat;
  }
  // The device plays Bytes of the oldest header, which is not done yet.
  void Play(std::uint64_t Bytes) {
    std::lock_guard<std::mutex> lock(FLock);
    FPlayed += Bytes;
  }
  int PositionCalls() {
    std::lock_guard<std::mutex> lock(FLock);
    return FPositionCalls;
  }
  // The threads that asked for the feeder's priority, and the opens before
  // the last one asked.
  std::vector<std::thread::id> RaisedOn() {
    std::lock_guard<std::mutex> lock(FLock);
    return FRaisedOn;
  }
  int OpensBeforeRaise() {
    std::lock_guard<std::mutex> lock(FLock);
    return FOpensBeforeRaise;
  }
  // The thread of the last write.
  std::thread::id WroteOn() {
    std::lock_guard<std::mutex> lock(FLock);
    return FWroteOn;
  }

 private:
  std::mutex FLock;
  std::condition_variable FResetReleased;
  TWaveOutClient* FClient = nullptr;
  bool FOpen = false;
  bool FBlockReset = false;
  int FOpenCalls = 0;
  int FCloseCalls = 0;
  int FResets = 0;
  int FDiscarded = 0;
  int FPrepares = 0;
  int FWritesSinceOpen = 0;
  int FPositionCalls = 0;
  int FOpensBeforeRaise = -1;
  std::uint64_t FPlayed = 0;
  std::vector<std::thread::id> FRaisedOn;
  std::thread::id FWroteOn;
  TWaveFormatExtensible FFormat{};
  std::map<PWaveHdr, int> FHeaderIndex;
  std::set<PWaveHdr> FPrepared;
  std::deque<PWaveHdr> FQueue;
  std::vector<TWrite> FWrites;
};

// Playback memory from the C heap, with failures on demand and a count of
// what is still allocated. Freeing something never allocated fails.
class TFakeWaveMemory : public TWaveMemory {
 public:
  bool FailCreateHeap = false;
  int FailHeapBlock = 0;  // 1-based number of the heap block that fails; 0 none
  int FailPages = 0;      // 1-based number of the page commit that fails; 0 none
  // Whether the device still holds a block; freeing such a block is counted.
  std::function<bool(const void*)> HeldByDevice;

  bool CreateHeap() override {
    std::lock_guard<std::mutex> lock(FLock);
    if (FailCreateHeap) return false;
    FHeap = true;
    FHeapBlockCalls = 0;
    return true;
  }
  void* AllocateHeap(std::size_t Bytes) override {
    std::lock_guard<std::mutex> lock(FLock);
    if (!FHeap || ++FHeapBlockCalls == FailHeapBlock) return nullptr;
    void* block = std::calloc(1, Bytes);
    FHeapBlocks.insert(block);
    return block;
  }
  void DestroyHeap() override {
    std::lock_guard<std::mutex> lock(FLock);
    for (void* block : FHeapBlocks) {
      if (HeldByDevice && HeldByDevice(block)) ++FFreedWhileHeld;
      std::free(block);
    }
    FHeapBlocks.clear();
    FHeap = false;
  }
  void* CommitPages(std::size_t Bytes) override {
    std::lock_guard<std::mutex> lock(FLock);
    if (++FPageCalls == FailPages) return nullptr;
    void* pages = std::calloc(1, Bytes);
    FPages.insert(pages);
    return pages;
  }
  bool DecommitPages(void* Address, std::size_t) override {
    std::lock_guard<std::mutex> lock(FLock);
    return FPages.count(Address) != 0;
  }
  bool ReleasePages(void* Address) override {
    std::lock_guard<std::mutex> lock(FLock);
    if (FPages.erase(Address) == 0) return false;
    if (HeldByDevice && HeldByDevice(Address)) ++FFreedWhileHeld;
    std::free(Address);
    return true;
  }
  ~TFakeWaveMemory() override { DestroyHeap(); for (void* p : FPages) std::free(p); }

  // Heap blocks and page blocks still allocated, and whether a heap exists.
  std::size_t LiveBlocks() {
    std::lock_guard<std::mutex> lock(FLock);
    return FHeapBlocks.size() + FPages.size() + (FHeap ? 1 : 0);
  }
  // Blocks freed while the device still held them.
  int FreedWhileHeld() {
    std::lock_guard<std::mutex> lock(FLock);
    return FFreedWhileHeld;
  }

 private:
  std::mutex FLock;
  bool FHeap = false;
  int FHeapBlockCalls = 0;
  int FPageCalls = 0;
  int FFreedWhileHeld = 0;
  std::set<void*> FHeapBlocks;
  std::set<void*> FPages;
};

// Records what the threads post.
class TFakeUserInterface : public TUserInterfaceSink {
 public:
  void PostPlayTime(std::string Caption) override {
    std::lock_guard<std::mutex> lock(FLock);
    FPlayTimes.push_back(std::move(Caption));
  }
  std::atomic<bool> ThrowOnChart{false};

  void PostWaveChart(std::vector<std::int32_t> Left, std::vector<std::int32_t> Right) override {
    if (ThrowOnChart) throw std::bad_alloc();
    std::lock_guard<std::mutex> lock(FLock);
    FCharts.push_back({std::move(Left), std::move(Right)});
  }
  void PostSinglePlayEnd() override {
    std::lock_guard<std::mutex> lock(FLock);
    ++FSinglePlayEnds;
  }
  void PostErrorMessage(std::string Text) override {
    std::lock_guard<std::mutex> lock(FLock);
    FMessages.push_back(std::move(Text));
  }

  std::vector<std::string> PlayTimes() {
    std::lock_guard<std::mutex> lock(FLock);
    return FPlayTimes;
  }
  std::vector<std::pair<std::vector<std::int32_t>, std::vector<std::int32_t>>> Charts() {
    std::lock_guard<std::mutex> lock(FLock);
    return FCharts;
  }
  int SinglePlayEnds() {
    std::lock_guard<std::mutex> lock(FLock);
    return FSinglePlayEnds;
  }
  std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> lock(FLock);
    return FMessages;
  }

 private:
  std::mutex FLock;
  std::vector<std::string> FPlayTimes;
  std::vector<std::pair<std::vector<std::int32_t>, std::vector<std::int32_t>>> FCharts;
  int FSinglePlayEnds = 0;
  std::vector<std::string> FMessages;
};

// The main window's pictures and message boxes.
class TFakeView : public TMainView {
 public:
  std::function<void(std::string_view)> OnGlyph;  // runs inside SetPlayGlyph

  void SetPlayGlyph(std::string_view ResourceName) override {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FGlyphs.emplace_back(ResourceName);
    }
    if (OnGlyph) OnGlyph(ResourceName);
  }
  // Runs inside ShowErrorMessage after the message is recorded (a box that
  // waits for its answer).
  std::function<void(std::string_view)> OnMessage;

  void ShowErrorMessage(std::string_view Text) override {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FMessages.emplace_back(Text);
    }
    if (OnMessage) OnMessage(Text);
  }
  // Kept until the test runs them (RunLater, or RunDue once their delay has
  // passed), as the window's timer would.
  void CallLater(std::uint32_t DelayMs, std::function<void()> Task) override {
    std::lock_guard<std::mutex> lock(FLock);
    FLater.push_back(std::move(Task));
    FDue.push_back(std::chrono::steady_clock::now() + std::chrono::milliseconds(DelayMs));
  }
  void RunLater() {
    std::vector<std::function<void()>> tasks;
    {
      std::lock_guard<std::mutex> lock(FLock);
      tasks.swap(FLater);
      FDue.clear();
    }
    for (auto& task : tasks) task();
  }
  void RunDue() {
    std::vector<std::function<void()>> tasks;
    {
      std::lock_guard<std::mutex> lock(FLock);
      const auto now = std::chrono::steady_clock::now();
      for (std::size_t i = 0; i < FLater.size();) {
        if (FDue[i] <= now) {
          tasks.push_back(std::move(FLater[i]));
          FLater.erase(FLater.begin() + static_cast<std::ptrdiff_t>(i));
          FDue.erase(FDue.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
          ++i;
        }
      }
    }
    for (auto& task : tasks) task();
  }
  std::vector<std::string> Glyphs() {
    std::lock_guard<std::mutex> lock(FLock);
    return FGlyphs;
  }
  std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> lock(FLock);
    return FMessages;
  }

 private:
  std::mutex FLock;
  std::vector<std::string> FGlyphs;
  std::vector<std::string> FMessages;
  std::vector<std::function<void()>> FLater;
  std::vector<std::chrono::steady_clock::time_point> FDue;
};

}  // namespace fakes
