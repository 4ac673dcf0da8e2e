// korvo info FILE...: which plug-in takes each file, and what the file is.
// Files are offered as a viewer offers them: IsSupported with the file's
// name and its first 2 KB, import filters first.
#include <cstdio>

#include "tools/korvo/commands.h"
#include "tools/korvo/error_text.h"

namespace korvo {
namespace {

// "" and the description printed, or the failure's message.
std::string DescribePicture(const Plugin& filter, const std::string& path) {
  PictureInfo info = {};
  int code = filter.exports.GetPictureInfo(path.c_str(), 0, 0, &info);
  if (code != 0) return ResultMessage(filter.fileName, "GetPictureInfo", code);
  printf("%s: %s picture, %d x %d, %d bits per pixel (%s)\n", path.c_str(),
         filter.typeName.c_str(), info.width, info.height, info.colorDepth,
         filter.fileName.c_str());
  return std::string();
}

std::string DescribeArchive(const Plugin& extractor, const std::string& path) {
  std::vector<ArchiveEntry> entries;
  CallResult result = ListArchive(extractor, path, &entries);
  if (!result.ok()) return result.message;
  uint64_t bytes = 0;
  for (const ArchiveEntry& entry : entries) bytes += entry.size;
  printf("%s: %s archive, %zu %s, %llu bytes extracted (%s)\n", path.c_str(),
         extractor.typeName.c_str(), entries.size(), entries.size() == 1 ? "entry" : "entries",
         static_cast<unsigned long long>(bytes), extractor.fileName.c_str());
  return std::string();
}

// Archive extractors first: they answer IsSupported by reading the whole
// directory, while an import filter offered a buffer may take any bytes and
// refuse the file only when asked for the picture.
std::string Describe(const PluginSet& set, const std::string& path, const Bytes& head) {
  std::string firstFailure;
  for (const Plugin* extractor : FindPlugins(set, PluginKind::kArchiveExtractor, path, head)) {
    std::string failure = DescribeArchive(*extractor, path);
    if (failure.empty()) return failure;
    if (firstFailure.empty()) firstFailure = failure;
  }
  for (const Plugin* filter : FindPlugins(set, PluginKind::kImportFilter, path, head)) {
    std::string failure = DescribePicture(*filter, path);
    if (failure.empty()) return failure;
    if (firstFailure.empty()) firstFailure = failure;
  }
  return firstFailure.empty() ? "no plug-in in " + set.directory + " takes this file"
                              : firstFailure;
}

}  // namespace

int RunInfo(const Arguments& arguments) {
  PluginSet set;
  if (!LoadCommandPlugins(arguments, &set)) return kExitFailure;
  int status = 0;
  for (const std::string& path : arguments.operands) {
    Bytes head;
    std::string error;
    if (ReadHeadBuffer(path, &head, &error)) error = Describe(set, path, head);
    if (!error.empty()) status = ReportFailure(path, error);
  }
  return status;
}

}  // namespace korvo
