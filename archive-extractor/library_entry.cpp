// Load and unload of the archive extractor: the directory cache and its lock
// live exactly as long as the library.
#include "archive-extractor/directory_cache.h"
#include "platform/platform.h"

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    platform::DisableThreadLibraryCalls(module);
    korvo::LoadDirectoryCache();
  } else if (reason == DLL_PROCESS_DETACH) {
    korvo::UnloadDirectoryCache();
  }
  return TRUE;
}
#else
// Without DllMain, the library's constructor and destructor stand for the
// process attach and detach notifications.
namespace {

__attribute__((constructor)) void LoadArchiveExtractor() { korvo::LoadDirectoryCache(); }
__attribute__((destructor)) void UnloadArchiveExtractor() { korvo::UnloadDirectoryCache(); }

}  // namespace
#endif
