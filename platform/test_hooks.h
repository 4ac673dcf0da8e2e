// Test hooks of the instrumented platform layer (built with
// KORVO_PLATFORM_HOOKS): live-handle counting everywhere, and on POSIX fault
// injection, so that every failure path of the plug-ins can be driven.
//
// A test program defines one PlatformHooks object named by kHooksSymbol and
// exports it from the executable (KORVO_DEFINE_PLATFORM_HOOKS). Every
// instrumented copy of the platform layer in the process, the one linked into
// a test and the one inside an instrumented plug-in it loads, finds it (dlsym,
// or GetProcAddress of the program on Windows) and reports to it. The plain
// layer of the shipped plug-ins has no hooks at all.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

enum PlatformOperation {
  kOpAlloc,  // GlobalAlloc
  kOpLock,   // GlobalLock
  kOpOpen,   // CreateFileA
  kOpRead,   // ReadFileAt
  kOpSize,   // GetFileSize, GetFileInformationByHandle
  kOpCreate,  // CreateFileA/W of a new file for writing
  kOpWrite,   // WriteFile
  kOpRename,  // MoveFileExA/W
  kOpCount
};

struct PlatformHooks {
  // Calls of each operation since the last ResetPlatformFaults (POSIX).
  std::atomic<long> calls[kOpCount];
  // The call number (1-based, counted in `calls`) that fails; 0: none.
  std::atomic<long> failAt[kOpCount];
  // A failing read still delivers this many bytes fewer than asked (0: none
  // at all), so that "one byte short" can be injected.
  std::atomic<long> readShortBy;
  // Blocks alive in the process, and their bytes.
  std::atomic<long> liveBlocks;
  std::atomic<long long> liveBytes;
  std::atomic<long long> peakLiveBytes;  // POSIX only
  // Files the layer opened and has not closed.
  std::atomic<long> openFiles;
  // Replaces the lead-byte table of the system code page (256 entries, nonzero
  // for a lead byte); nullptr: no double-byte characters, as in UTF-8.
  std::atomic<const unsigned char*> leadBytes;
  // A file served from memory instead of the disk, so that fuzzing runs at
  // memory speed: CreateFileA of exactly this path reads these bytes.
  std::atomic<const char*> memoryFilePath;
  std::atomic<const unsigned char*> memoryFileBytes;
  std::atomic<uint64_t> memoryFileSize;
  // Bytes the reads delivered since the last ResetPlatformFaults (POSIX).
  // Last, so that layers built before it still find every other field.
  std::atomic<long long> bytesRead;
};

inline constexpr const char* kHooksSymbol = "KorvoPlatformHooks";

// Clears the call counters and faults; keeps the live-block counts.
inline void ResetPlatformFaults(PlatformHooks& hooks) {
  for (int op = 0; op < kOpCount; ++op) {
    hooks.calls[op] = 0;
    hooks.failAt[op] = 0;
  }
  hooks.readShortBy = 0;
  hooks.bytesRead = 0;
}

}  // namespace platform

#ifdef _WIN32
#define KORVO_EXPORTED_HOOKS __declspec(dllexport)
#else
#define KORVO_EXPORTED_HOOKS __attribute__((visibility("default"), used))
#endif

#define KORVO_DEFINE_PLATFORM_HOOKS                                            \
  extern "C" {                                                                 \
  KORVO_EXPORTED_HOOKS platform::PlatformHooks KorvoPlatformHooks = {};        \
  }
