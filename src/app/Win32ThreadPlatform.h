// The Win32 versions of the worker threads' platform (Windows build only):
// named auto-reset events, the wave mapper through the multimedia wave-out
// functions, playback memory from a private heap and committed pages, and
// the program's error message box.
#pragma once

#include <string_view>

#include "app/ThreadPlatform.h"

// Raises the calling thread to the priority of audio work for the rest of
// its life: time-critical in any case, and the multimedia class scheduler's
// "Pro Audio" task on top where the system has one (avrt.dll, looked up at
// run time, so the program also starts where it is missing).
TAudioPriority RaiseAudioThreadPriority();

// Named Win32 auto-reset events, initially not signalled.
TEventFactory Win32EventFactory();

// The wave mapper. The device handle and the callback's instance data are
// pointer-sized; the callback only forwards the open, close and done
// messages to the client.
class TWin32WaveOutDevice final : public TWaveOutDevice {
 public:
  TWin32WaveOutDevice() = default;
  ~TWin32WaveOutDevice() override;
  std::uint32_t DeviceCount() override;
  std::uint32_t Open(const TWaveFormatExtensible& Format, TWaveOutClient& Client) override;
  std::uint32_t PrepareHeader(PWaveHdr Header) override;
  std::uint32_t Write(PWaveHdr Header) override;
  std::uint32_t Reset() override;
  std::uint32_t UnprepareHeader(PWaveHdr Header) override;
  std::uint32_t Close() override;
  std::uint32_t Position(std::uint64_t& Played) override;
  TAudioPriority RaiseFeederPriority() override { return RaiseAudioThreadPriority(); }

 private:
  void* FHandle = nullptr;  // HWAVEOUT
};

// A growable private heap for the wave headers; sample buffers as committed
// read/write pages.
class TWin32WaveMemory final : public TWaveMemory {
 public:
  ~TWin32WaveMemory() override;
  bool CreateHeap() override;
  void* AllocateHeap(std::size_t Bytes) override;
  void DestroyHeap() override;
  void* CommitPages(std::size_t Bytes) override;
  bool DecommitPages(void* Address, std::size_t Bytes) override;
  bool ReleasePages(void* Address) override;

 private:
  void* FHeap = nullptr;  // HANDLE
};

// Message box without owner window, caption "Error", OK button, no icon.
void ShowErrorMessageBox(std::string_view Text);
