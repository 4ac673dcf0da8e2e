// A host's view of a plug-in: the library loaded by its file name and its
// exports found by their undecorated names, nothing linked.
#pragma once

#include <string>

#include "host-contract/host_contract.h"

namespace korvo {

struct LoadedPlugin {
  void* module = nullptr;
  GetPluginInfoFunction GetPluginInfo = nullptr;
  IsSupportedFunction IsSupported = nullptr;
  // Import filters.
  GetPictureInfoFunction GetPictureInfo = nullptr;
  GetPictureFunction GetPicture = nullptr;
  // Archive extractors.
  GetArchiveInfoFunction GetArchiveInfo = nullptr;
  GetFileInfoFunction GetFileInfo = nullptr;
  GetFileFunction GetFile = nullptr;
  // The Unicode twins, each null when the plug-in does not export it.
  GetPluginInfoWFunction GetPluginInfoW = nullptr;
  IsSupportedWFunction IsSupportedW = nullptr;
  GetPictureInfoWFunction GetPictureInfoW = nullptr;
  GetPictureWFunction GetPictureW = nullptr;
  GetPictureFunction GetPreview = nullptr;
  GetPictureWFunction GetPreviewW = nullptr;
  GetArchiveInfoWFunction GetArchiveInfoW = nullptr;
  GetFileInfoWFunction GetFileInfoW = nullptr;
  GetFileWFunction GetFileW = nullptr;
};

// Paths are UTF-8 (on Linux, any bytes). Loads the library at path and
// looks up every export it has. Fails when the library cannot be loaded or
// lacks GetPluginInfo or IsSupported.
bool LoadPlugin(const std::string& path, LoadedPlugin* plugin);
void UnloadPlugin(LoadedPlugin* plugin);

// The file name of plug-in `name` (IFKORVO, AXKORVO) on this target.
std::string PluginFileName(const std::string& name);

// Folder of the running program, with a trailing separator.
std::string ExecutableDirectory();

// build/<preset>/plugins as seen from a program in build/<preset>/<folder>/:
// the plug-ins as shipped.
std::string BuildPluginDirectory();
// build/<preset>/test-plugins, likewise: the instrumented copies, which
// report to the test hooks of the program that loads them.
std::string BuildTestPluginDirectory();

}  // namespace korvo
