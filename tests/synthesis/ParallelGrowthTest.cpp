// The work split when the pool cannot make a thread for want of memory: the
// call fails with std::bad_alloc, no part of it runs, and nothing of it is
// left for a worker to take, neither one made before the failure nor one
// made later. A program of its own, since the pool grows once per process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "asio/AllocationHook.h"
#include "synthesis/Parallel.h"

namespace {

TEST(RunPartsGrowth, AThreadWithoutMemoryFailsTheCallAndLeavesNothingQueued) {
  const std::size_t capacity = krv::PoolCapacity();  // the pool itself is made here
  ASSERT_EQ(krv::PoolThreads(), 0u);
  // Every worker the pool may have, and the caller.
  const std::size_t parts = capacity + 1;
  std::atomic<int> runs{0};
  const auto count = [&](std::size_t) { ++runs; };
  // A std::thread takes one allocation: the first call gets none and makes
  // no worker, each later one makes one worker and then fails on the next.
  for (long allowed = 0; krv::PoolThreads() + static_cast<std::size_t>(allowed) < capacity; allowed = 1) {
    const std::size_t before = krv::PoolThreads();
    bool failed = false;
    krvtest::AllocationsLeft = allowed;
    try {
      krv::RunParts(parts, count);
    } catch (const std::bad_alloc&) {
      failed = true;
    }
    krvtest::AllocationsLeft = -1;
    EXPECT_TRUE(failed) << before << " threads";
    EXPECT_EQ(krv::PoolThreads(), before + static_cast<std::size_t>(allowed));
    // The workers there are, the new one among them, find nothing of the
    // call that failed.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(runs.load(), 0) << before << " threads";
  }
  // The pool works on with all its threads; a part that splits its own work
  // meets no stale batch either.
  std::atomic<int> leaves{0};
  krv::RunParts(parts, [&](std::size_t) {
    ++runs;
    krv::RunParts(3, [&](std::size_t) { ++leaves; });
  });
  EXPECT_EQ(runs.load(), static_cast<int>(parts));
  EXPECT_EQ(leaves.load(), static_cast<int>(parts) * 3);
  EXPECT_EQ(krv::PoolThreads(), capacity);
}

}  // namespace
