// Stand-ins for the user-interface thread: a queue of posted tasks that the
// test thread runs itself (TUiQueue), and a thread of its own that runs
// posted tasks in order and answers a sent task as a window's thread answers
// SendMessage (TFakeUiThread).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace fakes {

class TUiQueue {
 public:
  void Post(std::function<void()> Task) {
    std::lock_guard<std::mutex> lock(FLock);
    FTasks.push_back(std::move(Task));
  }
  // Runs what is queued now (on the calling thread).
  void RunPending() {
    std::deque<std::function<void()>> tasks;
    {
      std::lock_guard<std::mutex> lock(FLock);
      tasks.swap(FTasks);
    }
    for (auto& task : tasks) task();
  }
  std::function<void(std::function<void()>)> Poster() {
    return [this](std::function<void()> Task) { Post(std::move(Task)); };
  }

 private:
  std::mutex FLock;
  std::deque<std::function<void()>> FTasks;
};

class TFakeUiThread {
 public:
  TFakeUiThread() : FThread([this] { Loop(); }) {}
  ~TFakeUiThread() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FEnd = true;
    }
    FWake.notify_all();
    FThread.join();
  }

  void Post(std::function<void()> Task) {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FTasks.push_back(std::move(Task));
    }
    FWake.notify_all();
  }
  std::function<void(std::function<void()>)> Poster() {
    return [this](std::function<void()> Task) { Post(std::move(Task)); };
  }
  bool OnThread() const { return std::this_thread::get_id() == FThread.get_id(); }

  // As SendMessage to a window of this thread: run at once on this thread,
  // else queued and waited for. False when it did not run within TimeoutMs
  // (the thread is blocked: a deadlock, broken by the time-out).
  bool Send(std::function<void()> Task, std::chrono::milliseconds Timeout = std::chrono::milliseconds(3000)) {
    if (OnThread()) {
      Task();
      return true;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ran = done->get_future();
    Post([Task = std::move(Task), done] {
      Task();
      done->set_value();
    });
    return ran.wait_for(Timeout) == std::future_status::ready;
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
      FWake.wait(lock, [this] { return FEnd || !FTasks.empty(); });
      if (FTasks.empty()) return;
      auto task = std::move(FTasks.front());
      FTasks.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
  }

  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FTasks;
  bool FEnd = false;
  std::thread FThread;
};

}  // namespace fakes
