// The test program's platform hooks, found by every instrumented copy of the
// platform layer in the process, the plug-ins' included.
#include "tests/support/platform_hooks.h"

KORVO_DEFINE_PLATFORM_HOOKS

platform::PlatformHooks& TestHooks() { return KorvoPlatformHooks; }
