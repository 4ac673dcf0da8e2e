// What the instrumented POSIX layer adds for tests, seen from the Windows
// emulation: the fault injection and counts of fault_injection.cpp,
// and the files served from memory of memory_files.cpp. The plain
// layer compiles neither; its calls here fold away.
#pragma once

#ifndef _WIN32

#include <atomic>
#include <cstdint>

#include "platform/platform.h"
#include "platform/test_hooks.h"

namespace platform {

struct MemoryFile {
  std::atomic<bool> open;
  const unsigned char* bytes;
  uint64_t size;
};

#if KORVO_PLATFORM_HOOKS

// The test program's hooks, or nullptr when it exports none.
PlatformHooks* Hooks();
// Counts the call and tells whether a test asked this one to fail.
bool InjectedFault(PlatformOperation op);
// Counts a file opened (+1) or closed (-1).
void CountOpenFile(int change);
// Counts the bytes a read delivered.
void CountBytesRead(DWORD bytes);
// Counts a block of `bytes` allocated (+1) or freed (-1), and the peak.
void CountBlock(int change, long long bytes);

// Files served from memory: CreateFileA of the path the hooks name reads the
// bytes they give. Their handles lie below the invalid handle, so they never
// collide with a descriptor.
HANDLE OpenMemoryFile(const char* name);  // nullptr: not the served path
MemoryFile* MemoryFileOf(HANDLE file);    // nullptr: a file of the system

#else

inline PlatformHooks* Hooks() { return nullptr; }
inline bool InjectedFault(PlatformOperation) { return false; }
inline void CountOpenFile(int) {}
inline void CountBytesRead(DWORD) {}
inline void CountBlock(int, long long) {}
inline HANDLE OpenMemoryFile(const char*) { return nullptr; }
inline MemoryFile* MemoryFileOf(HANDLE) { return nullptr; }

#endif

}  // namespace platform

#endif
