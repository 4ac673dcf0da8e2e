#include "tools/korvo/archive_access.h"

#include "tools/korvo/commands.h"

namespace korvo {

const Plugin* OpenArchive(const PluginSet& set, const std::string& path,
                          std::vector<ArchiveEntry>* entries) {
  Bytes head;
  std::string error;
  if (!ReadHeadBuffer(path, &head, &error)) {
    ReportFailure(path, error);
    return nullptr;
  }
  std::string failure;
  for (const Plugin* extractor : FindPlugins(set, PluginKind::kArchiveExtractor, path, head)) {
    CallResult result = ListArchive(*extractor, path, entries);
    if (result.ok()) return extractor;
    if (failure.empty()) failure = result.message;
  }
  ReportFailure(path, !failure.empty() ? failure
                                       : "not a supported archive (no archive extractor in " +
                                             set.directory + " takes it)");
  return nullptr;
}

}  // namespace korvo
