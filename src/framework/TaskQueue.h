// The queue behind the user-interface dispatcher: worker threads push tasks,
// the user-interface thread runs them. Pushing never waits for the consumer.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

class TTaskQueue {
public:
    using TTask = std::function<void()>;

    // Queues a task. Returns true when the consumer has to be woken (no wake
    // is pending yet).
    bool Push(TTask task);
    // Queues a task that replaces a pending task with the same key (for
    // displays that only need the latest state). Key 0 never coalesces.
    bool PushLatest(std::uintptr_t key, TTask task);

    // Runs every task queued so far, in order; a failing task is reported
    // through the message sink and the others still run. Returns the count.
    std::size_t RunAll();

    // Drops every pending task; later pushes are dropped too.
    void Close();
    std::size_t Pending() const;

private:
    struct TEntry {
        std::uintptr_t Key;
        TTask Task;
    };
    bool PushEntry(TEntry entry);

    mutable std::mutex FLock;
    std::deque<TEntry> FTasks;
    bool FWakePending = false;
    bool FClosed = false;
};
