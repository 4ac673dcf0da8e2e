// A host's view of a plug-in: the library loaded by its file name and its
// exports found by their undecorated names, nothing linked.
#pragma once

#include <string>

#include "host-contract/host_contract.h"
#include "tools/host/platform/plugin_library.h"

namespace korvo {

struct LoadedPlugin {
  void* module = nullptr;
  Exports::GetPluginInfo GetPluginInfo = nullptr;
  Exports::IsSupported IsSupported = nullptr;
  // Import filters.
  Exports::GetPictureInfo GetPictureInfo = nullptr;
  Exports::GetPicture GetPicture = nullptr;
  // Archive extractors.
  Exports::GetArchiveInfo GetArchiveInfo = nullptr;
  Exports::GetFileInfo GetFileInfo = nullptr;
  Exports::GetFile GetFile = nullptr;
  // The Unicode twins, each null when the plug-in does not export it.
  ExportsW::GetPluginInfo GetPluginInfoW = nullptr;
  ExportsW::IsSupported IsSupportedW = nullptr;
  ExportsW::GetPictureInfo GetPictureInfoW = nullptr;
  ExportsW::GetPicture GetPictureW = nullptr;
  Exports::GetPicture GetPreview = nullptr;
  ExportsW::GetPicture GetPreviewW = nullptr;
  ExportsW::GetArchiveInfo GetArchiveInfoW = nullptr;
  ExportsW::GetFileInfo GetFileInfoW = nullptr;
  ExportsW::GetFile GetFileW = nullptr;
};

// Paths are UTF-8 (on Linux, any bytes). Loads the library at path and
// looks up every export it has. Fails when the library cannot be loaded or
// lacks GetPluginInfo or IsSupported.
bool LoadPlugin(const std::string& path, LoadedPlugin* plugin);
void UnloadPlugin(LoadedPlugin* plugin);

// The file name of plug-in `name` (IFKORVO, AXKORVO) on this target.
std::string PluginFileName(const std::string& name);

// build/<preset>/plugins as seen from a program in build/<preset>/<folder>/:
// the plug-ins as shipped.
std::string BuildPluginDirectory();
// build/<preset>/test-plugins, likewise: the instrumented copies, which
// report to the test hooks of the program that loads them.
std::string BuildTestPluginDirectory();

}  // namespace korvo
