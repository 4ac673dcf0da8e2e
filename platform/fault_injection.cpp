// Fault injection and counting of the instrumented POSIX layer: every
// counted call may be made to fail, and blocks and open files are tallied,
// into the hooks the test program exports (see test_hooks.h).
#ifndef _WIN32

#include <dlfcn.h>

#include "platform/test_instruments.h"

namespace platform {

PlatformHooks* Hooks() {
  static PlatformHooks* const hooks =
      static_cast<PlatformHooks*>(dlsym(RTLD_DEFAULT, kHooksSymbol));
  return hooks;
}

bool InjectedFault(PlatformOperation op) {
  PlatformHooks* hooks = Hooks();
  if (hooks == nullptr) return false;
  long call = hooks->calls[op].fetch_add(1) + 1;
  return call == hooks->failAt[op].load();
}

void CountOpenFile(int change) {
  if (PlatformHooks* hooks = Hooks()) hooks->openFiles += change;
}

void CountBytesRead(DWORD bytes) {
  if (PlatformHooks* hooks = Hooks()) hooks->bytesRead += bytes;
}

void CountBlock(int change, long long bytes) {
  PlatformHooks* hooks = Hooks();
  if (hooks == nullptr) return;
  hooks->liveBlocks += change;
  long long live = hooks->liveBytes += change * bytes;
  long long peak = hooks->peakLiveBytes.load();
  while (live > peak && !hooks->peakLiveBytes.compare_exchange_weak(peak, live)) {
  }
}

}  // namespace platform

#endif
