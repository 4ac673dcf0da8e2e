// Files served from memory to tests and fuzzers, so that they run at memory
// speed: CreateFileA of exactly the path the hooks name reads the bytes they
// give. Their handles are -2, -3, ..., below the invalid handle.
#ifndef _WIN32

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/test_instruments.h"

namespace platform {
namespace {

struct MemoryFile {
  std::atomic<bool> open;
  const unsigned char* bytes;
  uint64_t size;
  uint64_t position;
};
constexpr int kMemoryFileSlots = 16;
MemoryFile memoryFiles[kMemoryFileSlots];

MemoryFile* MemoryFileOf(HANDLE file) {
  intptr_t value = reinterpret_cast<intptr_t>(file);
  if (value > -2 || value < -1 - kMemoryFileSlots) return nullptr;
  return &memoryFiles[-2 - value];
}

}  // namespace

HANDLE OpenMemoryFile(const char* name) {
  PlatformHooks* hooks = Hooks();
  const char* path = hooks == nullptr ? nullptr : hooks->memoryFilePath.load();
  if (path == nullptr || strcmp(path, name) != 0) return nullptr;
  for (int slot = 0; slot < kMemoryFileSlots; ++slot) {
    bool closed = false;
    if (memoryFiles[slot].open.compare_exchange_strong(closed, true)) {
      memoryFiles[slot].bytes = hooks->memoryFileBytes.load();
      memoryFiles[slot].size = hooks->memoryFileSize.load();
      memoryFiles[slot].position = 0;
      return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2 - slot));
    }
  }
  return INVALID_HANDLE_VALUE;
}

bool IsMemoryFile(HANDLE file) { return MemoryFileOf(file) != nullptr; }

DWORD ReadMemoryFile(HANDLE file, void* buffer, DWORD count) {
  MemoryFile* served = MemoryFileOf(file);
  uint64_t left = served->size - std::min(served->position, served->size);
  auto got = static_cast<DWORD>(std::min<uint64_t>(count, left));
  if (got > 0) memcpy(buffer, served->bytes + served->position, got);
  served->position += got;
  return got;
}

void SeekMemoryFile(HANDLE file, uint64_t position) { MemoryFileOf(file)->position = position; }

uint64_t MemoryFileSize(HANDLE file) { return MemoryFileOf(file)->size; }

void CloseMemoryFile(HANDLE file) { MemoryFileOf(file)->open = false; }

}  // namespace platform

#endif
