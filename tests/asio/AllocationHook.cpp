#include "AllocationHook.h"

#include <cstdlib>
#include <new>

namespace krvtest {
std::atomic<bool> CountAllocations{false};
std::atomic<int> AllocationCount{0};
std::atomic<long> AllocationsLeft{-1};
}  // namespace krvtest

void* operator new(std::size_t size) {
  if (krvtest::CountAllocations) ++krvtest::AllocationCount;
  for (long left = krvtest::AllocationsLeft.load(); left >= 0;) {
    if (left == 0) throw std::bad_alloc();
    if (krvtest::AllocationsLeft.compare_exchange_weak(left, left - 1)) break;
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
