// Work split over a few threads: the calling one and the workers of one
// process-wide pool. The pool's threads start at 64-bit x87 precision (the
// signal arithmetic gives the same values on every thread), are made when
// work first needs them and live as long as the process, so nothing a
// thread keeps for itself is made anew for every piece of work.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <thread>
#include <type_traits>

namespace krv {

// Threads worth using for one piece of work: the processors there are, at
// most four.
inline std::size_t WorkerCount() {
  const unsigned n = std::thread::hardware_concurrency();
  return std::clamp<std::size_t>(n, 1, 4);
}

// The most threads the pool keeps (besides every caller's own).
std::size_t PoolCapacity();
// The threads the pool has made so far.
std::size_t PoolThreads();

namespace detail {
using PartFunction = void (*)(void* body, std::size_t part);
void RunPartsOnPool(std::size_t parts, PartFunction run, void* body);
}  // namespace detail

// body(part) for part = 0 .. parts-1, on the calling thread and on idle pool
// workers; returns when all are done. A caller runs every part that no
// worker has taken, so a part may itself split its work (the pool never
// waits on itself). The first exception a part throws is thrown here, once
// every part has ended. When the pool needs another thread and there is no
// memory for it, std::bad_alloc is thrown here and no part runs.
template <class Body>
void RunParts(std::size_t parts, Body&& body) {
  using B = std::remove_reference_t<Body>;
  detail::RunPartsOnPool(
      parts, [](void* b, std::size_t part) { (*static_cast<B*>(b))(part); },
      const_cast<void*>(static_cast<const void*>(std::addressof(body))));
}

// body(begin, end) over 0 .. n split into WorkerCount() even ranges.
template <class Body>
void ParallelRanges(std::size_t n, Body&& body) {
  const std::size_t parts = std::min(WorkerCount(), std::max<std::size_t>(n / 4096, 1));
  RunParts(parts, [&](std::size_t p) { body(n * p / parts, n * (p + 1) / parts); });
}

}  // namespace krv
