// The test program's platform hooks. The program links the instrumented
// platform layer and loads the instrumented plug-ins, so every copy of the
// layer in the process reports to them: live blocks and open files on every
// target; fault injection, the code-page table and files served from memory
// on POSIX only (on Windows the layer calls KERNEL32 itself, and the tests
// that need those skip).
#pragma once

#include "platform/test_hooks.h"

extern "C" platform::PlatformHooks KorvoPlatformHooks;
platform::PlatformHooks& TestHooks();

#ifndef _WIN32
#define KORVO_HAS_PLATFORM_HOOKS 1
#else
#define KORVO_HAS_PLATFORM_HOOKS 0
#endif

// Skips a test that needs the POSIX hooks.
#define REQUIRE_PLATFORM_HOOKS()                                        \
  do {                                                                  \
    if (!KORVO_HAS_PLATFORM_HOOKS) GTEST_SKIP() << "needs POSIX hooks"; \
  } while (0)
