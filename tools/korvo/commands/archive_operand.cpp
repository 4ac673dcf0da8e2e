#include "tools/korvo/commands/archive_operand.h"

#include "tools/host/archive_access.h"
#include "tools/korvo/commands/commands.h"
#include "tools/korvo/names/archive_names.h"

namespace korvo {

const Plugin* OpenNamedArchive(const PluginSet& set, const std::string& path,
                               const NameEncoding& encoding, std::vector<ArchiveEntry>* entries) {
  Status status;
  const Plugin* extractor = OpenArchive(set, path, entries, &status);
  if (extractor == nullptr) {
    ReportStatus(path, status);
    return nullptr;
  }
  NameEntries(encoding, entries);
  return extractor;
}

int OpenArchiveOperand(const Arguments& arguments, OpenedArchive* archive) {
  if (!ChooseNameEncoding(arguments, &archive->encoding)) return kExitUsage;
  if (!LoadCommandPlugins(arguments, &archive->set)) return kExitFailure;
  archive->path = arguments.operands[0];
  archive->extractor = OpenNamedArchive(archive->set, archive->path, archive->encoding, &archive->entries);
  return archive->extractor == nullptr ? kExitFailure : 0;
}

}  // namespace korvo
