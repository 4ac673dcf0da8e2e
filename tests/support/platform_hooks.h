// The test program's platform hooks, and the one way a test is gated. The
// program links the instrumented platform layer and loads the instrumented
// plug-ins, so every copy of the layer in the process reports to the hooks:
// live blocks and open files on every target; call counts, injected faults,
// the peak of live bytes, the code-page table and files served from memory
// on POSIX only, where the layer emulates the system (on Windows it calls
// KERNEL32 itself).
//
// Every test is compiled on every target and skips at run time, with its
// reason, where the target cannot run it: SKIP_UNLESS(need) at its start.
// Code a target cannot compile at all sits in an #if inside such a test.
#pragma once

#include <gtest/gtest.h>

#include "platform/test_hooks.h"

extern "C" platform::PlatformHooks KorvoPlatformHooks;
platform::PlatformHooks& TestHooks();

// Whether the hooks count and fail calls, keep the peak of live bytes, take
// the lead-byte table and serve files from memory.
#ifdef _WIN32
constexpr bool kHasFullHooks = false;
#else
constexpr bool kHasFullHooks = true;
#endif

// What a test may need that not every target gives.
enum class Need {
  kFullHooks,           // the hooks beyond live blocks and open files
  kWindows,            // Windows itself: its modules, its code page
  kInotify,            // a watch on a folder's new files (Linux)
  kPathsBeyondMaxPath,  // 8-bit paths longer than the cache keeps
  kCodePage932,        // lead bytes of code page 932: the hooks' table, or
                       // Windows in that code page
  kPosixTools,         // POSIX programs and files (a shell, ulimit, strace,
                       // FIFOs, signals) and PNGs read through libpng
};

// nullptr when this target gives `need`; otherwise why a test that needs it
// cannot run here. Asking for code page 932 sets the hooks' table, which
// the test clears (UseNoLeadBytes); on Windows run with
// KORVO_EXPECT_CODE_PAGE=932, another code page fails instead of skipping.
const char* CannotRunHere(Need need);

#define SKIP_UNLESS(need)                                               \
  do {                                                                  \
    if (const char* why = CannotRunHere(need)) GTEST_SKIP() << why;     \
  } while (0)

// The lead bytes of code page 932 (0x81-0x9F and 0xE0-0xFC), for the hooks'
// replaceable table.
const unsigned char* CodePage932LeadBytes();

// Clears the hooks' lead-byte table (nothing where the layer has none).
void UseNoLeadBytes();

// The system's ANSI code page on Windows; 0 elsewhere, where the hooks'
// table stands in for one.
unsigned SystemCodePage();
