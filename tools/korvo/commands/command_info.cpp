// korvo info FILE...: which plug-in takes each file, and what the file is.
// Files are offered as a viewer offers them: IsSupported with the file's
// name and its first 2 KB, archive extractors first.
#include <cstdio>

#include "tools/host/archive_access.h"
#include "tools/host/first_taker.h"
#include "tools/korvo/commands/commands.h"
#include "tools/korvo/names/archive_names.h"
#include "tools/korvo/names/filter_name.h"

namespace korvo {
namespace {

// An archive's entries and size, and how many names do not decode.
void DescribeArchive(const Plugin& extractor, const std::string& path, const NameEncoding& encoding,
                     std::vector<ArchiveEntry> entries) {
  NameEntries(encoding, &entries);
  uint64_t bytes = 0;
  size_t undecoded = 0;
  for (const ArchiveEntry& entry : entries) {
    bytes += entry.size;
    undecoded += entry.decoded ? 0 : 1;
  }
  std::string names = undecoded == 0 ? std::string()
                                     : ", " + std::to_string(undecoded) + " of the names not " +
                                           encoding.name;
  printf("%s: %s archive, %zu %s, %llu bytes extracted%s (%s)\n", path.c_str(),
         extractor.typeName.c_str(), entries.size(), entries.size() == 1 ? "entry" : "entries",
         static_cast<unsigned long long>(bytes), names.c_str(), extractor.fileName.c_str());
}

// Archive extractors first: they answer IsSupported by reading the whole
// directory, while an import filter offered a buffer may take any bytes and
// refuse the file only when asked for the picture. When neither describes
// it, the line gives the failure of a plug-in that claims the file.
Status Describe(const PluginSet& set, const std::string& path, const Bytes& head,
                const NameEncoding& encoding) {
  std::vector<ArchiveEntry> entries;
  Status archive;
  if (const Plugin* extractor = FindArchive(set, path, head, &entries, &archive)) {
    DescribeArchive(*extractor, path, encoding, std::move(entries));
    return Done();
  }
  FilterName name;
  NameForFilter(path, &name);
  PictureInfo info;
  Status picture;
  const Plugin* filter = FirstTaker(set, PluginKind::kImportFilter, name.path, head,
                                    [&](const Plugin& candidate) {
                                      return DescribePictureFile(candidate, name.path, &info);
                                    },
                                    &picture);
  if (filter != nullptr) {
    printf("%s: %s picture, %d x %d, %d bits per pixel (%s)\n", path.c_str(),
           filter->typeName.c_str(), info.width, info.height, info.colorDepth,
           filter->fileName.c_str());
    return Done();
  }
  if (archive.kind == Status::kFailed) return archive;
  if (picture.kind == Status::kFailed) return picture;
  return NotTaken("no plug-in in " + set.directory + " takes this file");
}

}  // namespace

int RunInfo(const Arguments& arguments) {
  NameEncoding encoding;
  if (!ChooseNameEncoding(arguments, &encoding)) return kExitUsage;
  PluginSet set;
  if (!LoadCommandPlugins(arguments, &set)) return kExitFailure;
  int status = 0;
  for (const std::string& path : arguments.operands) {
    Bytes head;
    Status described = ReadHeadBuffer(path, &head);
    if (described.ok()) described = Describe(set, path, head, encoding);
    if (!described.ok()) status = ReportStatus(path, described);
  }
  return status;
}

}  // namespace korvo
