// The calls a host makes on the plug-ins, with what it receives copied out
// of the plug-ins' memory handles and checked before use. A failed call
// answers kFailed with its result code and the words for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/bitmaps.h"
#include "tools/host/plugin_set.h"
#include "tools/host/status.h"

namespace korvo {

// The calls below use the plug-ins' W entry points on Windows when they are
// exported, with paths in UTF-16, and the 8-bit ones otherwise (on Windows
// with paths in the system code page). Paths are UTF-8 throughout.

// The plug-ins of `kind` whose IsSupported takes the file (its name and the
// head buffer), in folder order. An import filter may say yes to a buffer
// and still refuse the file by name, so callers try each in turn.
std::vector<const Plugin*> FindPlugins(const PluginSet& set, PluginKind kind,
                                       const std::string& name, const Bytes& head);

// GetPictureInfo of a file.
Status DescribePictureFile(const Plugin& filter, const std::string& path, PictureInfo* info);

// GetPicture from a file or from memory, the blocks copied out and freed.
Status DecodePictureFile(const Plugin& filter, const std::string& path, DecodedBitmap* bitmap);
Status DecodePictureMemory(const Plugin& filter, const Bytes& data, DecodedBitmap* bitmap);

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

Status ListArchive(const Plugin& extractor, const std::string& path,
                       std::vector<ArchiveEntry>* entries);
// GetFile to memory; the entry's bytes, at most entry.size of them.
Status FetchEntry(const Plugin& extractor, const std::string& path,
                        const ArchiveEntry& entry, Bytes* data);
// GetFile to a folder: the plug-in writes the entry into `staging`, an
// empty folder, under a name of its choice; the one file found there is
// read back into `data` (at most entry.size bytes) and removed.
Status FetchEntryThroughFolder(const Plugin& extractor, const std::string& path,
                                     const ArchiveEntry& entry, const std::string& staging,
                                     Bytes* data);

}  // namespace korvo
