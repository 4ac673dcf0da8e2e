// Opening an archive as list and extract do: the extractor that takes it and
// its entries, with a one-line error when there is none.
#pragma once

#include <string>
#include <vector>

#include "tools/korvo/plugin_set.h"

namespace korvo {

// Finds the extractor for `path` among `set` and lists the archive. On
// failure the error has been reported and nullptr is returned.
const Plugin* OpenArchive(const PluginSet& set, const std::string& path,
                          std::vector<ArchiveEntry>* entries);

}  // namespace korvo
