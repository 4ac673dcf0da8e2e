// Load and unload of the import filter. It keeps no state, so loading only
// declines the thread notifications.
#include "platform/platform.h"

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) platform::DisableThreadLibraryCalls(module);
  return TRUE;
}
#endif
