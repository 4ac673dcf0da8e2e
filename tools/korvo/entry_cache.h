// Extracted entries kept in memory, so that each is extracted once however
// many reads ask for it: within a budget of bytes, the least recently used
// entry leaving first. Many threads may ask at once; a second reader of an
// entry being extracted waits for that extraction instead of repeating it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "common/bytes.h"

namespace korvo {

using SharedBytes = std::shared_ptr<const Bytes>;

struct EntryCache {
  struct Slot {
    SharedBytes bytes;  // null while not held
    bool extracting = false;
    std::list<size_t>::iterator recency;  // valid while bytes are held
  };
  std::mutex lock;
  std::condition_variable extracted;
  uint64_t budget = 0;  // bytes
  uint64_t held = 0;
  std::list<size_t> recency;  // entries held, the most recently used first
  std::vector<Slot> slots;    // by entry
};

void StartEntryCache(EntryCache* cache, size_t entries, uint64_t budget);

// Entry `index`'s bytes, from memory or else from `extract` (run without the
// lock held; null for a failure, which is not kept, so a later read tries
// again). The entry just extracted stays even when it alone exceeds the
// budget, so a large entry is not extracted once per read; the bytes handed
// out stay valid however the cache changes.
SharedBytes CachedEntry(EntryCache* cache, size_t index, const std::function<SharedBytes()>& extract);

}  // namespace korvo
