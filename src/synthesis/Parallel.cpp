#include "synthesis/Parallel.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <vector>

#include "synthesis/ExtendedPrecision.h"

namespace krv {
namespace {

// One call of RunParts: its parts are taken one by one, by the caller and by
// idle workers.
struct TBatch {
  TBatch(detail::PartFunction run, void* body, std::size_t parts) : Run(run), Body(body), Parts(parts) {}
  detail::PartFunction Run;
  void* Body;
  std::size_t Parts;
  std::size_t Next = 0;  // the first part nobody has taken
  std::size_t Done = 0;
  std::exception_ptr Failure;
  std::condition_variable Finished;
};

class TWorkerPool {
 public:
  // Made once and never destroyed: its threads wait for work until the
  // process ends (joining them while the process exits could wait on threads
  // that the system has already ended).
  static TWorkerPool& Instance() {
    static TWorkerPool* const pool = new TWorkerPool;
    return *pool;
  }

  void Run(std::size_t parts, detail::PartFunction run, void* body) {
    if (parts == 0) return;
    TBatch batch(run, body, parts);
    std::unique_lock<std::mutex> lock(mutex_);
    {
      // However this block is left, normally or by an exception (a thread
      // the pool cannot make, a queue that cannot grow), the batch leaves the
      // queue and every part taken has ended before `batch` goes out of
      // scope: no worker ever reaches a finished call's frame.
      const TBatchEnd end(*this, batch, lock);
      if (parts > 1) {
        // Queued until its last part has been taken.
        queue_.push_back(&batch);
        // Enough workers for the parts beyond the caller's own, as far as the
        // pool may grow.
        while (idle_ < parts - 1 && threads_.size() < capacity_ && Grow()) {
        }
        if (idle_ > 0) wake_.notify_all();
      }
      // The caller works on its own batch until every part is taken.
      while (batch.Next < batch.Parts) RunOne(batch, lock);
    }
    if (batch.Failure) std::rethrow_exception(batch.Failure);
  }

  std::size_t Capacity() {
    std::lock_guard<std::mutex> lock(mutex_);
    return capacity_;
  }
  std::size_t Threads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_.size();
  }

 private:
  TWorkerPool() {
    const unsigned n = std::thread::hardware_concurrency();
    capacity_ = std::clamp<std::size_t>(n > 1 ? n - 1 : 1, 1, 7);
    threads_.reserve(capacity_);  // a thread once made is always kept
  }

  // Ends a batch on the way out of Run: parts nobody has taken are taken by
  // nobody, and the caller waits for those that are running (the lock is
  // held, as everywhere in Run).
  class TBatchEnd {
   public:
    TBatchEnd(TWorkerPool& pool, TBatch& batch, std::unique_lock<std::mutex>& lock)
        : pool_(pool), batch_(batch), lock_(lock) {}
    TBatchEnd(const TBatchEnd&) = delete;
    TBatchEnd& operator=(const TBatchEnd&) = delete;
    ~TBatchEnd() {
      if (batch_.Next < batch_.Parts) {
        pool_.Dequeue(&batch_);
        batch_.Parts = batch_.Next;
      }
      batch_.Finished.wait(lock_, [this] { return batch_.Done == batch_.Parts; });
    }

   private:
    TWorkerPool& pool_;
    TBatch& batch_;
    std::unique_lock<std::mutex>& lock_;
  };

  // Adds a worker; false when the system gives no thread (the parts then
  // run on the threads there are). Without memory for one, std::bad_alloc
  // leaves here and fails the call that wanted the thread.
  bool Grow() {
    try {
      // Never reallocates (capacity_ threads are reserved), so a thread
      // once started is always kept.
      threads_.push_back(StartExtendedThread([this] { Work(); }));
    } catch (const std::system_error&) {
      capacity_ = threads_.size();
      return false;
    }
    // Counted idle from now on: it takes work as soon as it runs.
    ++idle_;
    return true;
  }

  // Takes the next part of `batch` and runs it with the lock released.
  void RunOne(TBatch& batch, std::unique_lock<std::mutex>& lock) {
    const std::size_t part = batch.Next++;
    if (batch.Next == batch.Parts) Dequeue(&batch);
    lock.unlock();
    std::exception_ptr failure;
    try {
      batch.Run(batch.Body, part);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (failure && !batch.Failure) batch.Failure = failure;
    if (++batch.Done == batch.Parts) batch.Finished.notify_all();
  }

  void Dequeue(TBatch* batch) {
    for (auto it = queue_.begin(); it != queue_.end(); ++it)
      if (*it == batch) {
        queue_.erase(it);
        return;
      }
  }

  [[noreturn]] void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return !queue_.empty(); });
      --idle_;
      // Every part at extended precision, whatever an earlier part's code
      // left on this thread.
      SetExtendedPrecision();
      // The oldest batch first: its caller has waited longest.
      RunOne(*queue_.front(), lock);
      ++idle_;
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<TBatch*> queue_;  // batches with parts nobody has taken
  std::vector<std::thread> threads_;
  std::size_t idle_ = 0;
  std::size_t capacity_ = 1;
};

}  // namespace

std::size_t PoolCapacity() { return TWorkerPool::Instance().Capacity(); }
std::size_t PoolThreads() { return TWorkerPool::Instance().Threads(); }

namespace detail {
void RunPartsOnPool(std::size_t parts, PartFunction run, void* body) {
  TWorkerPool::Instance().Run(parts, run, body);
}
}  // namespace detail

}  // namespace krv
