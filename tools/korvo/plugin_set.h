// The plug-ins korvo works with: every plug-in library of one folder, sorted
// into import filters and archive extractors by their API version string,
// and the calls a host makes on them, with what it receives copied out of the
// plug-ins' memory handles.
#pragma once

#include <string>
#include <vector>

#include "tools/korvo/pictures.h"
#include "tools/plugin-loader/plugin_loader.h"

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

// Loads the chosen plug-ins of `directory` in name order. Fails with a
// message when none loads.
bool LoadPluginSet(const std::string& directory, PluginChoice choice, PluginSet* set,
                   std::string* error);

// A plug-in's file mask (information string 2: "*.qkz", or "cg", several
// joined by ';') takes the name, letter case aside.
bool MaskTakesName(const std::string& mask, const std::string& name);

// A viewer's first question: the first 2 KB of the file, zero-padded.
constexpr size_t kHeadBufferSize = 2048;
// Reads them; fails with the reason the file cannot be read.
bool ReadHeadBuffer(const std::string& path, Bytes* head, std::string* error);
Bytes HeadBufferOf(const Bytes& data);

// The calls below use the plug-ins' W entry points on Windows when they are
// exported, with paths in UTF-16, and the 8-bit ones otherwise (on Windows
// with paths in the system code page). Paths are UTF-8 throughout.

// The plug-ins of `kind` whose IsSupported takes the file (its name and the
// head buffer), in folder order. An import filter may say yes to a buffer
// and still refuse the file by name, so callers try each in turn.
std::vector<const Plugin*> FindPlugins(const PluginSet& set, PluginKind kind,
                                       const std::string& name, const Bytes& head);

// One result of a plug-in call: its code, and for failures the words for it.
struct CallResult {
  int code = 0;
  std::string message;  // "file ends inside an entry (AXKORVO.so GetFile returned 6)"
  bool ok() const { return code == 0 && message.empty(); }
};

// GetPictureInfo of a file.
CallResult DescribePictureFile(const Plugin& filter, const std::string& path, PictureInfo* info);

// GetPicture from a file or from memory, the blocks copied out and freed.
CallResult DecodePictureFile(const Plugin& filter, const std::string& path, DecodedBitmap* bitmap);
CallResult DecodePictureMemory(const Plugin& filter, const Bytes& data, DecodedBitmap* bitmap);

// One entry of an archive, as GetArchiveInfo lists it.
struct ArchiveEntry {
  std::string method;
  uint64_t position = 0;
  uint64_t storedSize = 0;
  uint64_t size = 0;
  std::string storedName;  // the name's bytes in the archive's encoding
  // Filled in by NameEntries (archive_access.h): the name as listings show
  // it (UTF-8, undecodable bytes as \xNN), and in UTF-8 when it decodes.
  std::string name;
  bool decoded = false;
  std::string decodedName;
};

CallResult ListArchive(const Plugin& extractor, const std::string& path,
                       std::vector<ArchiveEntry>* entries);
// GetFile to memory; the entry's bytes, at most entry.size of them.
CallResult ExtractEntry(const Plugin& extractor, const std::string& path,
                        const ArchiveEntry& entry, Bytes* data);
// GetFile to a folder: the plug-in writes the entry into `staging`, an
// empty folder, under a name of its choice; the one file found there is
// read back into `data` (at most entry.size bytes) and removed.
CallResult ExtractEntryThroughFolder(const Plugin& extractor, const std::string& path,
                                     const ArchiveEntry& entry, const std::string& staging,
                                     Bytes* data);

}  // namespace korvo
