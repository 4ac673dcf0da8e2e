#include "tools/host/plugin_loader.h"

#include "tools/host/platform/plugin_library.h"

namespace korvo {
namespace {

template <typename Function>
void Resolve(void* module, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(FindLibraryExport(module, name));
}

}  // namespace

bool LoadPlugin(const std::string& path, LoadedPlugin* plugin) {
  *plugin = LoadedPlugin{};
  plugin->module = OpenLibrary(path);
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
  if (plugin->module != nullptr) CloseLibrary(plugin->module);
  *plugin = LoadedPlugin{};
}

std::string PluginFileName(const std::string& name) { return name + PluginExtension(); }

std::string BuildPluginDirectory() {
  return ExecutableDirectory() + ".." + PathSeparator() + "plugins" + PathSeparator();
}

std::string BuildTestPluginDirectory() {
  return ExecutableDirectory() + ".." + PathSeparator() + "test-plugins" + PathSeparator();
}

}  // namespace korvo
