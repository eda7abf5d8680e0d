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

TAudioPriority RaiseAudioThreadPriority() {
  // Time-critical first: it holds where the scheduler service is missing or
  // refuses the task, and is what the thread returns to when the service
  // lets it go.
  const bool timeCritical = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
  using TSetTask = HANDLE(WINAPI*)(LPCWSTR TaskName, LPDWORD TaskIndex);
  // Loaded once and kept: the thread's registration lives in it.
  static const HMODULE avrt = LoadLibraryExW(L"avrt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (avrt) {
    const auto setTask = reinterpret_cast<TSetTask>(
        reinterpret_cast<void*>(GetProcAddress(avrt, "AvSetMmThreadCharacteristicsW")));
    DWORD taskIndex = 0;
    if (setTask && setTask(L"Pro Audio", &taskIndex)) return TAudioPriority::_ProAudio;
  }
  return timeCritical ? TAudioPriority::_TimeCritical : TAudioPriority::_Normal;
}

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
