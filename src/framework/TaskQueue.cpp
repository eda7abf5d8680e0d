#include "framework/TaskQueue.h"

#include "framework/Messages.h"

bool TTaskQueue::Push(TTask task) { return PushEntry({0, std::move(task)}); }

bool TTaskQueue::PushLatest(std::uintptr_t key, TTask task) { return PushEntry({key, std::move(task)}); }

bool TTaskQueue::PushEntry(TEntry entry)
{
    std::lock_guard<std::mutex> guard(FLock);
    if (FClosed) return false;
    bool replaced = false;
    if (entry.Key != 0) {
        for (auto& pending : FTasks) {
            if (pending.Key == entry.Key) {
                pending.Task = std::move(entry.Task);
                replaced = true;
                break;
            }
        }
    }
    if (!replaced) FTasks.push_back(std::move(entry));
    if (FWakePending) return false;
    FWakePending = true;
    return true;
}

std::size_t TTaskQueue::RunAll()
{
    std::deque<TEntry> batch;
    {
        std::lock_guard<std::mutex> guard(FLock);
        FWakePending = false;
        batch.swap(FTasks);
    }
    for (auto& entry : batch) {
        try {
            if (entry.Task) entry.Task();
        } catch (...) {
            ReportException(std::current_exception());
        }
    }
    return batch.size();
}

void TTaskQueue::Close()
{
    std::deque<TEntry> dropped;
    std::lock_guard<std::mutex> guard(FLock);
    FClosed = true;
    dropped.swap(FTasks);
}

std::size_t TTaskQueue::Pending() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FTasks.size();
}
