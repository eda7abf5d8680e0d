// Work split over a few threads of the calling one's kind: every worker
// starts at 64-bit x87 precision (the signal arithmetic gives the same
// values on every thread) and ends, freeing what it kept, before the call
// returns.
#pragma once

#include <algorithm>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

#include "synthesis/ExtendedPrecision.h"

namespace krv {

// Threads worth using for one piece of work: the processors there are, at
// most four.
inline std::size_t WorkerCount() {
  const unsigned n = std::thread::hardware_concurrency();
  return std::clamp<std::size_t>(n, 1, 4);
}

// body(part) for part = 0 .. parts-1: the first parts - 1 on worker threads,
// the last on the calling thread; returns when all are done. A worker that
// cannot be started runs its part on the calling thread.
template <class Body>
void RunParts(std::size_t parts, Body&& body) {
  std::vector<std::thread> workers;
  for (std::size_t p = 0; p + 1 < parts; ++p) {
    try {
      workers.push_back(StartExtendedThread([&body, p] { body(p); }));
    } catch (const std::system_error&) {
      body(p);
    }
  }
  if (parts > 0) body(parts - 1);
  for (std::thread& worker : workers) worker.join();
}

// body(begin, end) over 0 .. n split into WorkerCount() even ranges.
template <class Body>
void ParallelRanges(std::size_t n, Body&& body) {
  const std::size_t parts = std::min(WorkerCount(), std::max<std::size_t>(n / 4096, 1));
  RunParts(parts, [&](std::size_t p) { body(n * p / parts, n * (p + 1) / parts); });
}

}  // namespace krv
