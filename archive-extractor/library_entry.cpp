// Load and unload of the archive extractor.
#include "platform/platform.h"

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) platform::DisableThreadLibraryCalls(module);
  return TRUE;
}
#endif
