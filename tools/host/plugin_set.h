// The plug-ins a host works with: the plug-in libraries of one folder,
// sorted into import filters and archive extractors by their API version
// string.
#pragma once

#include <string>
#include <vector>

#include "common/bytes.h"
#include "tools/host/status.h"
#include "tools/host/plugin_loader.h"

namespace korvo {

enum class PluginKind { kImportFilter, kArchiveExtractor, kOther };

struct Plugin {
  std::string path;
  std::string fileName;  // for messages: "IFKORVO.so"
  std::string version;   // information string 0: "00IN", "00AM"
  std::string fileMask;  // information string 2: "*.qkz"
  std::string typeName;  // information string 3: "Brimmel Archives"
  PluginKind kind = PluginKind::kOther;
  LoadedPlugin exports;
};

struct PluginSet {
  std::string directory;
  std::vector<Plugin> plugins;
  std::vector<std::string> failures;  // libraries that would not load
  PluginSet() = default;
  PluginSet(const PluginSet&) = delete;
  PluginSet& operator=(const PluginSet&) = delete;
  ~PluginSet();
};

// The folder of KORVO's own plug-ins when no --plugins names one: the
// install's lib/korvo/ (PREFIX/bin/korvo beside PREFIX/lib/korvo/), else
// korvo's own folder when they lie there by name (a release folder), else
// build/<preset>/plugins.
std::string DefaultPluginDirectory();

// Which libraries of a folder are loaded: every plug-in library (.so here,
// .spi, .sph or .spha on Windows, any letter case) of a folder the user
// named, or only IFKORVO and AXKORVO of a folder korvo found itself, so
// that no stray library of a system folder is ever loaded.
enum class PluginChoice { kEvery, kOwnByName };

// Loads the chosen plug-ins of `directory` in name order. Fails when none
// loads.
Status LoadPluginSet(const std::string& directory, PluginChoice choice, PluginSet* set);

// What a host loads: every plug-in of `named`, a folder the user named, or
// KORVO's own from DefaultPluginDirectory when `named` is "".
Status LoadHostPlugins(const std::string& named, PluginSet* set);

// A plug-in's file mask (information string 2: "*.qkz", or "cg", several
// joined by ';') takes the name, letter case aside.
bool MaskTakesName(const std::string& mask, const std::string& name);

// A viewer's first question: the first 2 KB of the file, zero-padded.
constexpr size_t kHeadBufferSize = 2048;
// Reads them; fails when the file cannot be read.
Status ReadHeadBuffer(const std::string& path, Bytes* head);
Bytes HeadBufferOf(const Bytes& data);

}  // namespace korvo
