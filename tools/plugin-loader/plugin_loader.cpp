#include "tools/plugin-loader/plugin_loader.h"

#include "tools/plugin-loader/code_pages.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace korvo {
namespace {

void* FindExport(void* module, const char* name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
#else
  return dlsym(module, name);
#endif
}

template <typename Function>
void Resolve(void* module, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(FindExport(module, name));
}

constexpr char kSeparator =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif

}  // namespace

bool LoadPlugin(const std::string& path, LoadedPlugin* plugin) {
  *plugin = LoadedPlugin{};
#ifdef _WIN32
  plugin->module = LoadLibraryW(WideOf(path).c_str());  // paths are UTF-8 everywhere
#else
  plugin->module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  if (plugin->module == nullptr) return false;
  Resolve(plugin->module, "GetPluginInfo", &plugin->GetPluginInfo);
  Resolve(plugin->module, "IsSupported", &plugin->IsSupported);
  Resolve(plugin->module, "GetPictureInfo", &plugin->GetPictureInfo);
  Resolve(plugin->module, "GetPicture", &plugin->GetPicture);
  Resolve(plugin->module, "GetArchiveInfo", &plugin->GetArchiveInfo);
  Resolve(plugin->module, "GetFileInfo", &plugin->GetFileInfo);
  Resolve(plugin->module, "GetFile", &plugin->GetFile);
  Resolve(plugin->module, "GetPluginInfoW", &plugin->GetPluginInfoW);
  Resolve(plugin->module, "IsSupportedW", &plugin->IsSupportedW);
  Resolve(plugin->module, "GetPictureInfoW", &plugin->GetPictureInfoW);
  Resolve(plugin->module, "GetPictureW", &plugin->GetPictureW);
  Resolve(plugin->module, "GetPreview", &plugin->GetPreview);
  Resolve(plugin->module, "GetPreviewW", &plugin->GetPreviewW);
  Resolve(plugin->module, "GetArchiveInfoW", &plugin->GetArchiveInfoW);
  Resolve(plugin->module, "GetFileInfoW", &plugin->GetFileInfoW);
  Resolve(plugin->module, "GetFileW", &plugin->GetFileW);
  if (plugin->GetPluginInfo == nullptr || plugin->IsSupported == nullptr) {
    UnloadPlugin(plugin);
    return false;
  }
  return true;
}

void UnloadPlugin(LoadedPlugin* plugin) {
  if (plugin->module != nullptr) {
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(plugin->module));
#else
    dlclose(plugin->module);
#endif
  }
  *plugin = LoadedPlugin{};
}

std::string PluginExtension() {
#if defined(_WIN32) && (defined(_M_ARM64) || defined(__aarch64__))
  return ".spha";
#elif defined(_WIN32)
  return sizeof(void*) == 8 ? ".SPH" : ".SPI";
#else
  return ".so";
#endif
}

std::string PluginFileName(const std::string& name) { return name + PluginExtension(); }

std::string ExecutableDirectory() {
#ifdef _WIN32
  wchar_t wide[4096] = {};
  DWORD units = GetModuleFileNameW(nullptr, wide, 4095);
  std::string text = Utf8OfWide(std::wstring(wide, units));
#else
  char path[4096] = {};
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string text(path, static_cast<size_t>(length < 0 ? 0 : length));
#endif
  size_t slash = text.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

std::string BuildPluginDirectory() {
  return ExecutableDirectory() + ".." + kSeparator + "plugins" + kSeparator;
}

std::string BuildTestPluginDirectory() {
  return ExecutableDirectory() + ".." + kSeparator + "test-plugins" + kSeparator;
}

}  // namespace korvo
