// The directory lock: the one lock of the extractor, guarding the directory
// cache and the parse context it holds. Every parse runs with it held. It is
// marked as a lock so that clang checks, when compiling, that whatever needs
// it holds it (common/thread_annotations.h).
#pragma once

#include "common/thread_annotations.h"
#include "platform/platform.h"

namespace korvo {

struct CAPABILITY("mutex") DirectoryLock {
  CRITICAL_SECTION section;
};
// Created and deleted with the cache (LoadDirectoryCache, UnloadDirectoryCache).
extern DirectoryLock directoryLock;

void EnterDirectoryLock() ACQUIRE(directoryLock);
void LeaveDirectoryLock() RELEASE(directoryLock);

// Holds the directory lock from its construction to the end of its scope,
// on every way out.
struct SCOPED_CAPABILITY ScopedDirectoryLock {
  ScopedDirectoryLock() ACQUIRE(directoryLock) { EnterDirectoryLock(); }
  ~ScopedDirectoryLock() RELEASE() { LeaveDirectoryLock(); }
  ScopedDirectoryLock(const ScopedDirectoryLock&) = delete;
  ScopedDirectoryLock& operator=(const ScopedDirectoryLock&) = delete;
};

}  // namespace korvo
