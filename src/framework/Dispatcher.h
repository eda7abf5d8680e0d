// Hands changes of what a window shows from worker threads to the
// user-interface thread. Post never waits: the task is queued and runs on
// the user-interface thread when its message loop next turns.
#pragma once

#include <cstdint>
#include <functional>

class TUIDispatcher {
public:
    using TTask = std::function<void()>;
    // Queues a task for the user-interface thread.
    static void Post(TTask task);
    // Queues a task that replaces a still pending task of the same key (a
    // counter or chart that only needs its latest state).
    static void PostLatest(std::uintptr_t key, TTask task);
    // Runs the pending tasks now (user-interface thread only).
    static void RunPending();

    // Called by the application on the user-interface thread.
    static void Start();
    static void Stop();
};
