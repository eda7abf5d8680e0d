#include "app/ThreadPlatform.h"

#include <chrono>

TPortableAutoResetEvent::TPortableAutoResetEvent(std::string Name) : FName(std::move(Name)) {}

void TPortableAutoResetEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FState = true;
  }
  FSignalled.notify_one();
}

bool TPortableAutoResetEvent::Wait(std::uint32_t TimeoutMs) {
  std::unique_lock<std::mutex> lock(FLock);
  if (!FSignalled.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [this] { return FState; }))
    return false;
  FState = false;
  return true;
}

TEventFactory PortableEventFactory() {
  return [](const std::string& Name) -> std::unique_ptr<TAutoResetEvent> {
    return std::make_unique<TPortableAutoResetEvent>(Name);
  };
}

TWavOutErr WavOutErrFromResult(std::uint32_t Result) {
  switch (Result) {
    case 4: return TWavOutErr::_MMSYSERR_ALLOCATED;     // MMSYSERR_ALLOCATED
    case 2: return TWavOutErr::_MMSYSERR_BADDEVICEID;   // MMSYSERR_BADDEVICEID
    case 6: return TWavOutErr::_MMSYSERR_NODRIVER;      // MMSYSERR_NODRIVER
    case 7: return TWavOutErr::_MMSYSERR_NOMEM;         // MMSYSERR_NOMEM
    case 35: return TWavOutErr::_WAVERR_SYNC;           // WAVERR_SYNC
    case 32: return TWavOutErr::_WAVERR_BADFORMAT;      // WAVERR_BADFORMAT
    default: return TWavOutErr::_MMSYSERR_No;
  }
}
