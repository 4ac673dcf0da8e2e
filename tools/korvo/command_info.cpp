// korvo info FILE...: which plug-in takes each file, and what the file is.
// Files are offered as a viewer offers them: IsSupported with the file's
// name and its first 2 KB, archive extractors first.
#include <cstdio>

#include "tools/korvo/archive_access.h"
#include "tools/korvo/commands.h"
#include "tools/korvo/filter_name.h"

namespace korvo {
namespace {

// "" and the description printed, or the failure's message. The filter
// reads the file under `filterPath` (filter_name.h).
std::string DescribePicture(const Plugin& filter, const std::string& path,
                            const std::string& filterPath) {
  PictureInfo info;
  CallResult result = DescribePictureFile(filter, filterPath, &info);
  if (!result.ok()) return result.message;
  printf("%s: %s picture, %d x %d, %d bits per pixel (%s)\n", path.c_str(),
         filter.typeName.c_str(), info.width, info.height, info.colorDepth,
         filter.fileName.c_str());
  return std::string();
}

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
// refuse the file only when asked for the picture.
std::string Describe(const PluginSet& set, const std::string& path, const Bytes& head,
                     const NameEncoding& encoding) {
  std::vector<ArchiveEntry> entries;
  std::string firstFailure;
  if (const Plugin* extractor = FindArchive(set, path, head, &entries, &firstFailure)) {
    DescribeArchive(*extractor, path, encoding, std::move(entries));
    return std::string();
  }
  FilterName name;
  NameForFilter(path, &name);
  for (const Plugin* filter : FindPlugins(set, PluginKind::kImportFilter, name.path, head)) {
    std::string failure = DescribePicture(*filter, path, name.path);
    if (failure.empty()) return failure;
    if (firstFailure.empty()) firstFailure = failure;
  }
  return firstFailure.empty() ? "no plug-in in " + set.directory + " takes this file"
                              : firstFailure;
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
    std::string error;
    if (ReadHeadBuffer(path, &head, &error)) error = Describe(set, path, head, encoding);
    if (!error.empty()) status = ReportFailure(path, error);
  }
  return status;
}

}  // namespace korvo
