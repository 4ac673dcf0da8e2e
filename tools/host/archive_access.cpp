#include "tools/host/archive_access.h"

#include "host-contract/failure_words.h"
#include "thumbnail/archive_picture.h"
#include "tools/host/first_taker.h"
#include "tools/host/platform/native_path.h"

namespace korvo {
namespace {

// "as an offset-table archive, <why>; as a named-entry archive, <why>".
std::string LayoutReasons(const std::string& path) {
  static const char* const kLayoutNames[kLayoutCount] = {"an offset-table", "a named-entry"};
  Failure reasons[kLayoutCount];
  ParseEachLayout(NativePath(path).Host(), reasons);
  std::string text;
  for (int i = 0; i < kLayoutCount; ++i)
    text += std::string(i == 0 ? "" : "; ") + "as " + kLayoutNames[i] + " archive, " + FailureWords(reasons[i]);
  return text;
}

}  // namespace

const Plugin* FindArchive(const PluginSet& set, const std::string& path, const Bytes& head,
                          std::vector<ArchiveEntry>* entries, Status* status) {
  const Plugin* extractor = FirstTaker(set, PluginKind::kArchiveExtractor, path, head,
                                       [&](const Plugin& plugin) {
                                         return ListArchive(plugin, path, entries);
                                       },
                                       status);
  // A refusal says only that the file is no archive the extractor knows:
  // the layouts themselves say why, in words.
  if (extractor == nullptr && status->code == -1) status->message += ": " + LayoutReasons(path);
  return extractor;
}

const Plugin* OpenArchive(const PluginSet& set, const std::string& path,
                          std::vector<ArchiveEntry>* entries, Status* status) {
  Bytes head;
  *status = ReadHeadBuffer(path, &head);
  return status->ok() ? FindArchive(set, path, head, entries, status) : nullptr;
}

Status DecodeExtractedEntry(const PluginSet& set, const std::string& name, const Bytes& data,
                            DecodedBitmap* bitmap) {
  Status status;
  FirstTaker(set, PluginKind::kImportFilter, name, HeadBufferOf(data),
             [&](const Plugin& filter) { return DecodePictureMemory(filter, data, bitmap); }, &status);
  return status;
}

}  // namespace korvo
