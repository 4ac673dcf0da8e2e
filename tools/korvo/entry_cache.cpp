#include "tools/korvo/entry_cache.h"

namespace korvo {

void StartEntryCache(EntryCache* cache, size_t entries, uint64_t budget) {
  cache->budget = budget;
  cache->slots.assign(entries, EntryCache::Slot());
}

SharedBytes CachedEntry(EntryCache* cache, size_t index, const std::function<SharedBytes()>& extract) {
  std::unique_lock<std::mutex> held(cache->lock);
  EntryCache::Slot& slot = cache->slots[index];
  cache->extracted.wait(held, [&] { return !slot.extracting; });
  if (slot.bytes != nullptr) {
    cache->recency.splice(cache->recency.begin(), cache->recency, slot.recency);
    return slot.bytes;
  }
  slot.extracting = true;
  held.unlock();
  SharedBytes bytes = extract();
  held.lock();
  slot.extracting = false;
  cache->extracted.notify_all();
  if (bytes == nullptr) return nullptr;
  cache->recency.push_front(index);
  slot.recency = cache->recency.begin();
  slot.bytes = bytes;
  cache->held += bytes->size();
  while (cache->held > cache->budget && cache->recency.size() > 1) {
    EntryCache::Slot& oldest = cache->slots[cache->recency.back()];
    cache->held -= oldest.bytes->size();
    oldest.bytes.reset();
    cache->recency.pop_back();
  }
  return bytes;
}

}  // namespace korvo
