// Opening an archive as a host does: the extractor that takes it and its
// entries as listed, or why none does; and an extracted entry decoded by
// the import filter that takes it.
#pragma once

#include <string>
#include <vector>

#include "tools/host/plugin_calls.h"
#include "tools/host/status.h"

namespace korvo {

// The extractor of `set` that lists `path` (whose first bytes are `head`),
// with the entries as listed; nullptr and why not. When the extractor only
// refuses the file, the archive layouts say in words why each does not
// take it.
const Plugin* FindArchive(const PluginSet& set, const std::string& path, const Bytes& head,
                          std::vector<ArchiveEntry>* entries, Status* status);

// Reads the head buffer of `path`, then FindArchive.
const Plugin* OpenArchive(const PluginSet& set, const std::string& path,
                          std::vector<ArchiveEntry>* entries, Status* status);

// Decodes an extracted entry's bytes (named `name` for the filters' masks)
// through the first import filter of `set` that takes them.
Status DecodeExtractedEntry(const PluginSet& set, const std::string& name, const Bytes& data,
                            DecodedBitmap* bitmap);

}  // namespace korvo
