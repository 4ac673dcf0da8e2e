#include "tools/host/platform/plugin_library.h"

#include "tools/host/platform/code_pages.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace korvo {

#ifdef _WIN32

void* OpenLibrary(const std::string& path) {
  return LoadLibraryW(WideOf(path).c_str());  // paths are UTF-8 everywhere
}

void* FindLibraryExport(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::string PluginExtension() {
#if defined(_M_ARM64) || defined(__aarch64__)
  return ".spha";
#else
  return sizeof(void*) == 8 ? ".SPH" : ".SPI";
#endif
}

std::string ExecutableDirectory() {
  wchar_t wide[4096] = {};
  DWORD units = GetModuleFileNameW(nullptr, wide, 4095);
  std::string text = Utf8OfWide(std::wstring(wide, units));
  size_t slash = text.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

char PathSeparator() { return '\\'; }

#else

void* OpenLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* FindLibraryExport(void* library, const char* name) { return dlsym(library, name); }

void CloseLibrary(void* library) { dlclose(library); }

std::string PluginExtension() { return ".so"; }

std::string ExecutableDirectory() {
  char path[4096] = {};
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string text(path, static_cast<size_t>(length < 0 ? 0 : length));
  size_t slash = text.rfind('/');
  return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

char PathSeparator() { return '/'; }

#endif

}  // namespace korvo
