// Counts the allocations through operator new while counting is on, and
// makes them fail on demand (the whole test program's operator new is
// replaced).
#pragma once

#include <atomic>

namespace krvtest {
extern std::atomic<bool> CountAllocations;
extern std::atomic<int> AllocationCount;
// The allocations that still succeed, on any thread; every one after them
// throws std::bad_alloc. Negative: no limit (the default).
extern std::atomic<long> AllocationsLeft;
}  // namespace krvtest
