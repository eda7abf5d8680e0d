#include "synthesis/EngineCache.h"

#include <algorithm>
#include <exception>
#include <future>
#include <list>
#include <mutex>

#include "synthesis/ExtendedPrecision.h"

namespace krv {
namespace {

struct Entry {
  CacheKind kind;
  std::size_t length;
  std::uint64_t id;  // tells a remade entry from the one it replaced
  std::shared_future<std::shared_ptr<const void>> value;
  std::size_t bytes = 0;  // 0 while it is being made
};

struct Cache {
  std::mutex mutex;
  std::list<Entry> entries;  // most recently used first
  std::size_t bytes = 0;
  std::uint64_t nextId = 0;

  std::list<Entry>::iterator Find(CacheKind kind, std::size_t length) {
    for (auto it = entries.begin(); it != entries.end(); ++it)
      if (it->kind == kind && it->length == length) return it;
    return entries.end();
  }
  std::list<Entry>::iterator FindId(std::uint64_t id) {
    for (auto it = entries.begin(); it != entries.end(); ++it)
      if (it->id == id) return it;
    return entries.end();
  }
  // The least recently used made entries leave until the rest fit.
  void Trim() {
    for (auto it = entries.end(); bytes > kEngineCacheBudget && it != entries.begin();) {
      --it;
      if (it->bytes == 0) continue;  // still being made
      bytes -= it->bytes;
      it = entries.erase(it);
    }
  }
};

Cache& TheCache() {
  static Cache cache;
  return cache;
}

}  // namespace

std::shared_ptr<const void> CachedEntry(CacheKind Kind, std::size_t Length,
                                        const std::function<std::shared_ptr<const void>()>& Make,
                                        const std::function<std::size_t(const void*)>& Bytes) {
  Cache& cache = TheCache();
  std::promise<std::shared_ptr<const void>> promise;
  std::shared_future<std::shared_ptr<const void>> found;
  std::uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (auto it = cache.Find(Kind, Length); it != cache.entries.end()) {
      cache.entries.splice(cache.entries.begin(), cache.entries, it);
      found = it->value;
    } else {
      id = cache.nextId++;
      cache.entries.push_front({Kind, Length, id, promise.get_future().share()});
    }
  }
  // Waited for outside the lock: other entries stay available meanwhile.
  if (found.valid()) return found.get();
  std::shared_ptr<const void> made;
  try {
    const ExtendedPrecisionScope precision;
    made = Make();
  } catch (...) {
    {
      std::lock_guard<std::mutex> lock(cache.mutex);
      if (auto it = cache.FindId(id); it != cache.entries.end()) cache.entries.erase(it);
    }
    promise.set_exception(std::current_exception());
    throw;
  }
  promise.set_value(made);
  std::lock_guard<std::mutex> lock(cache.mutex);
  if (auto it = cache.FindId(id); it != cache.entries.end()) {
    it->bytes = std::max<std::size_t>(Bytes(made.get()), 1);
    cache.bytes += it->bytes;
    cache.Trim();
  }
  return made;
}

std::size_t EngineCacheBytes() {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  return cache.bytes;
}

void ClearEngineCache() {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  for (auto it = cache.entries.begin(); it != cache.entries.end();) {
    if (it->bytes == 0) {  // being made: its maker still needs it
      ++it;
      continue;
    }
    cache.bytes -= it->bytes;
    it = cache.entries.erase(it);
  }
}

}  // namespace krv
