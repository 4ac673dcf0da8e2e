// The test program's platform hooks, found by every instrumented copy of the
// platform layer in the process, the plug-ins' included, and what each
// target can run.
#include "tests/support/platform_hooks.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

KORVO_DEFINE_PLATFORM_HOOKS

platform::PlatformHooks& TestHooks() { return KorvoPlatformHooks; }

const unsigned char* CodePage932LeadBytes() {
  static unsigned char table[256];
  for (int lead = 0; lead < 256; ++lead)
    table[lead] = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
  return table;
}

void UseNoLeadBytes() { TestHooks().leadBytes = nullptr; }

unsigned SystemCodePage() {
#ifdef _WIN32
  return GetACP();
#else
  return 0;
#endif
}

namespace {

// Windows runs the code page 932 tests in that code page only (under Wine,
// in the Japanese locale); where it was asked for, another one fails.
const char* CannotRunInCodePage932() {
  if (kHasFullHooks) {
    TestHooks().leadBytes = CodePage932LeadBytes();
    return nullptr;
  }
  if (SystemCodePage() == 932) return nullptr;
  const char* expected = getenv("KORVO_EXPECT_CODE_PAGE");
  if (expected != nullptr && strcmp(expected, "932") == 0)
    ADD_FAILURE() << "expected code page 932, running in " << SystemCodePage();
  return "runs in code page 932; the system's is another";
}

}  // namespace

const char* CannotRunHere(Need need) {
#ifdef _WIN32
  constexpr bool kWindows = true;
#else
  constexpr bool kWindows = false;
#endif
#ifdef __linux__
  constexpr bool kLinux = true;
#else
  constexpr bool kLinux = false;
#endif
  switch (need) {
    case Need::kFullHooks:
      return kHasFullHooks ? nullptr
                         : "the Windows platform layer calls KERNEL32 itself: no call counts, "
                           "injected faults, peak bytes, lead-byte table or files from memory";
    case Need::kWindows:
      return kWindows ? nullptr : "needs Windows itself";
    case Need::kInotify:
      return kLinux ? nullptr : "watches a folder with inotify, which only Linux has";
    case Need::kPathsBeyondMaxPath:
      return kWindows ? "the Windows file open refuses 8-bit paths longer than the cache keeps"
                      : nullptr;
    case Need::kCodePage932:
      return CannotRunInCodePage932();
    case Need::kPosixTools:
      return kWindows ? "runs POSIX programs (a shell, ulimit, strace), makes FIFOs and reads PNGs "
                        "through libpng, which the Windows test build lacks"
                      : nullptr;
  }
  return "an unknown need";
}
