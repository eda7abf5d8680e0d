// The engine's process-wide caches (tone tables, the Gaussian radius table,
// transform plans) under one memory budget: at most kEngineCacheBudget bytes
// are kept together, and the least recently used entries leave first when a
// new one would go beyond it. An entry that leaves stays alive for as long as
// a caller still holds it. Every entry is immutable once made, so any number
// of threads may read it at once; an entry asked for while another thread
// makes it is made once, and the second thread waits for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace krv {

inline constexpr std::size_t kEngineCacheBudget = std::size_t{48} << 20;

enum class CacheKind : std::uint8_t { ToneTable, GaussRadius, Radix2Plan, BluesteinPlan };

// The entry of `Kind` for `Length`; on a miss Make() builds it (at 64-bit
// precision, whatever the calling thread runs at) and Bytes tells its size.
std::shared_ptr<const void> CachedEntry(CacheKind Kind, std::size_t Length,
                                        const std::function<std::shared_ptr<const void>()>& Make,
                                        const std::function<std::size_t(const void*)>& Bytes);

template <class T, class Make>
std::shared_ptr<const T> Cached(CacheKind Kind, std::size_t Length, Make&& make) {
  return std::static_pointer_cast<const T>(CachedEntry(
      Kind, Length, [&make]() -> std::shared_ptr<const void> { return make(); },
      [](const void* p) { return static_cast<const T*>(p)->Bytes(); }));
}

// Bytes the cache keeps now.
std::size_t EngineCacheBytes();
// Drops every kept entry (entries in use stay alive with their users).
void ClearEngineCache();

}  // namespace krv
