#include "app/ProgramClose.h"

#include <system_error>
#include <utility>

#include "synthesis/ExtendedPrecision.h"

TProgramClose::TProgramClose(std::uint32_t BoundMs, std::function<void()> EndProcess)
    : FBoundMs(BoundMs), FEndProcess(std::move(EndProcess)) {}

TProgramClose::~TProgramClose() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FStopped = true;
  }
  FWake.notify_all();
  if (FWatch.joinable()) FWatch.join();
}

void TProgramClose::Begin() {
  std::lock_guard<std::mutex> lock(FLock);
  if (FBegun) return;
  FBegun = true;
  FDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(FBoundMs);
  // The watch starts only now: a program that is never closed has no thread
  // for it. Should no thread be had, the orderly end is all there is.
  try {
    FWatch = krv::StartExtendedThread([this] { Watch(); });
  } catch (const std::system_error&) {
  }
}

bool TProgramClose::Begun() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FBegun;
}

void TProgramClose::EndNow() { CallEnd(); }

bool TProgramClose::Ended() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FEnded;
}

void TProgramClose::Watch() {
  {
    std::unique_lock<std::mutex> lock(FLock);
    FWake.wait_until(lock, FDeadline, [this] { return FStopped; });
    if (FStopped) return;
  }
  CallEnd();
}

void TProgramClose::CallEnd() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FEnded) return;
    FEnded = true;
  }
  if (FEndProcess) FEndProcess();
}
