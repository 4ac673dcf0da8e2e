// Files served from memory to tests and fuzzers, so that they run at memory
// speed: CreateFileA of exactly the path the hooks name reads the bytes they
// give. Their handles are -2, -3, ..., below the invalid handle.
#ifndef _WIN32

#include <cstring>

#include "platform/test_instruments.h"

namespace platform {
namespace {

constexpr int kMemoryFileSlots = 16;
MemoryFile memoryFiles[kMemoryFileSlots];

}  // namespace

MemoryFile* MemoryFileOf(HANDLE file) {
  intptr_t value = reinterpret_cast<intptr_t>(file);
  if (value > -2 || value < -1 - kMemoryFileSlots) return nullptr;
  return &memoryFiles[-2 - value];
}

HANDLE OpenMemoryFile(const char* name) {
  PlatformHooks* hooks = Hooks();
  const char* path = hooks == nullptr ? nullptr : hooks->memoryFilePath.load();
  if (path == nullptr || strcmp(path, name) != 0) return nullptr;
  for (int slot = 0; slot < kMemoryFileSlots; ++slot) {
    bool closed = false;
    if (memoryFiles[slot].open.compare_exchange_strong(closed, true)) {
      memoryFiles[slot].bytes = hooks->memoryFileBytes.load();
      memoryFiles[slot].size = hooks->memoryFileSize.load();
      return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2 - slot));
    }
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace platform

#endif
