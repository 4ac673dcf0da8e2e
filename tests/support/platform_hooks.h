// Leak counting and fault injection for tests (POSIX builds only; on Windows
// the plug-ins call KERNEL32 itself and the tests that need hooks skip).
#pragma once

#include "platform/test_hooks.h"

#ifndef _WIN32
extern "C" platform::PlatformHooks KorvoPlatformHooks;
platform::PlatformHooks& TestHooks();
#define KORVO_HAS_PLATFORM_HOOKS 1
#else
#define KORVO_HAS_PLATFORM_HOOKS 0
#endif

// Skips a test that needs the POSIX hooks.
#define REQUIRE_PLATFORM_HOOKS()                                        \
  do {                                                                  \
    if (!KORVO_HAS_PLATFORM_HOOKS) GTEST_SKIP() << "needs POSIX hooks"; \
  } while (0)
