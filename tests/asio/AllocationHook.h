// Counts the allocations through operator new while counting is on (the
// whole test program's operator new is replaced).
#pragma once

#include <atomic>

namespace krvtest {
extern std::atomic<bool> CountAllocations;
extern std::atomic<int> AllocationCount;
}  // namespace krvtest
