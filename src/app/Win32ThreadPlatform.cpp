#include "app/Win32ThreadPlatform.h"

#include <windows.h>

#include <string>

namespace {

std::wstring Widen(std::string_view Text) {
  if (Text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), wide.data(), length);
  return wide;
}

class TWin32AutoResetEvent final : public TAutoResetEvent {
 public:
  explicit TWin32AutoResetEvent(const std::string& Name)
      : FHandle(CreateEventW(nullptr, FALSE, FALSE, Widen(Name).c_str())) {}
  ~TWin32AutoResetEvent() override {
    if (FHandle) CloseHandle(FHandle);
  }
  void Set() override {
    if (FHandle) SetEvent(FHandle);
  }
  bool Wait(std::uint32_t TimeoutMs) override {
    if (!FHandle) {  // an event that could not be created never signals
      Sleep(TimeoutMs);
      return false;
    }
    return WaitForSingleObject(FHandle, TimeoutMs) == WAIT_OBJECT_0;
  }

 private:
  HANDLE FHandle;
};

}  // namespace

TEventFactory Win32EventFactory() {
  return [](const std::string& Name) -> std::unique_ptr<TAutoResetEvent> {
    return std::make_unique<TWin32AutoResetEvent>(Name);
  };
}

// ---------------------------------------------------------------------------
// Playback memory

TWin32WaveMemory::~TWin32WaveMemory() { DestroyHeap(); }

bool TWin32WaveMemory::CreateHeap() {
  DestroyHeap();
  FHeap = HeapCreate(0, 0, 0);
  return FHeap != nullptr;
}

void* TWin32WaveMemory::AllocateHeap(std::size_t Bytes) {
  return FHeap ? HeapAlloc(static_cast<HANDLE>(FHeap), HEAP_ZERO_MEMORY, Bytes) : nullptr;
}

void TWin32WaveMemory::DestroyHeap() {
  if (FHeap) HeapDestroy(static_cast<HANDLE>(FHeap));
  FHeap = nullptr;
}

void* TWin32WaveMemory::CommitPages(std::size_t Bytes) {
  return VirtualAlloc(nullptr, Bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

bool TWin32WaveMemory::DecommitPages(void* Address, std::size_t Bytes) {
  return VirtualFree(Address, Bytes, MEM_DECOMMIT) != 0;
}

bool TWin32WaveMemory::ReleasePages(void* Address) { return VirtualFree(Address, 0, MEM_RELEASE) != 0; }

// ---------------------------------------------------------------------------

void ShowErrorMessageBox(std::string_view Text) {
  MessageBoxW(nullptr, Widen(Text).c_str(), L"Error", MB_OK);
}
