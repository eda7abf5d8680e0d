// The bound of the program's close. Once the main window closes, the program
// is gone within that bound, whatever thread is stuck and wherever: inside a
// driver call on the user-interface thread (stopping, closing or releasing a
// driver), inside a device call of the sound-out thread, inside the engine,
// or in anything the process runs on its way out (the windows going, the
// drivers' libraries unloading). The orderly end (the output stopped, every
// thread told to end and waited for up to the shutdown deadline) normally
// comes first; a thread of this object's own watches the bound and ends the
// process when it has passed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class TProgramClose {
 public:
  // The program's bound, from the close of its main window to its end.
  static constexpr std::uint32_t kBoundMs = 2500;

  // EndProcess ends the process at once (it may run on any thread and must
  // not wait for any other); it is called at most once.
  TProgramClose(std::uint32_t BoundMs, std::function<void()> EndProcess);
  // Stops watching (a process that ends on its own is not ended again). The
  // program keeps its watch for the whole life of the process.
  ~TProgramClose();
  TProgramClose(const TProgramClose&) = delete;
  TProgramClose& operator=(const TProgramClose&) = delete;

  // The main window closes: the bound runs from now. A later call keeps the
  // first bound.
  void Begin();
  bool Begun() const;
  // The orderly end could not finish (a thread stays behind): the process
  // ends now.
  void EndNow();
  // True once EndProcess has been called.
  bool Ended() const;

 private:
  void Watch();
  void CallEnd();

  const std::uint32_t FBoundMs;
  const std::function<void()> FEndProcess;
  mutable std::mutex FLock;
  std::condition_variable FWake;
  std::chrono::steady_clock::time_point FDeadline{};
  bool FBegun = false;
  bool FStopped = false;
  bool FEnded = false;
  std::thread FWatch;
};
