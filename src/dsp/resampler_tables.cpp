#include "dsp/resampler_tables.h"

#include <pthread.h>
#include <algorithm>
#include <cstddef>
#include <mutex>
#include <vector>

namespace wavfx {
namespace {

constexpr std::size_t kKeptUnused = 8;

struct Entry {
  ResamplerTableKey key;
  void* table;
  void (*release)(void*);
  std::size_t holders;
};

// Most recently used last. Never destroyed: resamplers may outlive static destruction.
struct Cache {
  std::mutex lock;
  std::vector<Entry> entries;
};

Cache& TheCache();

// A fork waits for the lock and both processes continue with it free, so that a child forked
// while another thread held it (a data loader's worker) does not wait for ever.
void LockForFork() {
  TheCache().lock.lock();
}
void UnlockAfterFork() {
  TheCache().lock.unlock();
}

Cache& TheCache() {
  static Cache* const cache = [] {
#if !defined(__EMSCRIPTEN__)
    pthread_atfork(LockForFork, UnlockAfterFork, UnlockAfterFork);
#endif
    return new Cache;
  }();
  return *cache;
}

bool SameKey(const ResamplerTableKey& a, const ResamplerTableKey& b) {
  return a.phases == b.phases && a.interpolated == b.interpolated && a.mixed == b.mixed &&
         a.taps == b.taps && a.cutoff == b.cutoff && a.quality == b.quality;
}

// Frees the least recently used unused tables beyond the few kept.
void Trim(std::vector<Entry>& entries) {
  std::size_t unused = 0;
  for (auto it = entries.end(); it != entries.begin();) {
    --it;
    if (it->holders == 0 && ++unused > kKeptUnused) {
      it->release(it->table);
      it = entries.erase(it);
    }
  }
}

}  // namespace

const void* AcquireResamplerTable(const ResamplerTableKey& key, const std::function<void*()>& make,
                                  void (*release)(void*)) {
  Cache& cache = TheCache();
  {
    const std::lock_guard<std::mutex> guard(cache.lock);
    auto& entries = cache.entries;
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const Entry& e) { return SameKey(e.key, key); });
    if (found != entries.end()) {
      Entry entry = *found;
      ++entry.holders;
      entries.erase(found);
      entries.push_back(entry);
      return entry.table;
    }
  }
  // Made outside the lock; a second thread making the same table meanwhile keeps its own.
  void* table = make();
  if (table == nullptr) return nullptr;
  const std::lock_guard<std::mutex> guard(cache.lock);
  cache.entries.push_back({key, table, release, 1});
  return table;
}

void ReleaseResamplerTable(const void* table) {
  if (table == nullptr) return;
  Cache& cache = TheCache();
  const std::lock_guard<std::mutex> guard(cache.lock);
  for (Entry& entry : cache.entries) {
    if (entry.table == table) {
      --entry.holders;
      break;
    }
  }
  Trim(cache.entries);
}

}  // namespace wavfx
