#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The fuzz programs' hooks, found by the platform layer through dlsym.
KORVO_DEFINE_PLATFORM_HOOKS

namespace fuzz {

platform::PlatformHooks& Hooks() { return KorvoPlatformHooks; }

void ServeFile(const char* path, const uint8_t* data, size_t size) {
  Hooks().memoryFilePath = path;
  Hooks().memoryFileBytes = data;
  Hooks().memoryFileSize = size;
}

void Fail(const char* file, int line, const char* what) {
  fprintf(stderr, "\nwrong answer at %s:%d: %s\n", file, line, what);
  abort();
}

unsigned LockCount(HGLOBAL block) { return platform::GlobalFlags(block) & GMEM_LOCKCOUNT; }

Bytes BlockBytes(HGLOBAL block) {
  const auto* data = static_cast<const uint8_t*>(platform::GlobalLock(block));
  FUZZ_CHECK(data != nullptr);
  Bytes bytes(data, data + platform::GlobalSize(block));
  platform::GlobalUnlock(block);
  return bytes;
}

}  // namespace fuzz
