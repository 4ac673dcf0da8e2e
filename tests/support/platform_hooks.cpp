// The test program's platform hooks, found by every instrumented copy of the
// platform layer in the process, the plug-ins' included.
#include "tests/support/platform_hooks.h"

KORVO_DEFINE_PLATFORM_HOOKS

platform::PlatformHooks& TestHooks() { return KorvoPlatformHooks; }

const unsigned char* CodePage932LeadBytes() {
  static unsigned char table[256];
  for (int byte = 0; byte < 256; ++byte)
    table[byte] = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  return table;
}
